// Method-pointer events: an object and one of its member functions, called through one indirect
// call. Two events compare equal when they name the same object and the same member function, so
// a component can register a handler and later remove exactly that handler (std::function cannot
// do this). An event may also wrap a plain function with a context pointer.
//
//   TNotifyEvent e(this, &TMyForm::ImageChanged);
//   if (e) e(sender);
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace corvex {

class TObject;

template <class Sig>
class TEvent;

template <class R, class... Args>
class TEvent<R(Args...)> {
 public:
  using Function = R (*)(void* Context, Args...);

  TEvent() = default;
  TEvent(std::nullptr_t) {}  // NOLINT: allows `OnChange = nullptr`

  // Binds a member function of B to obj (obj's class C derives from B or is B).
  template <class C, class B>
  TEvent(C* obj, R (B::*method)(Args...)) {
    static_assert(std::is_base_of_v<B, C>, "the method must belong to the object's class");
    Bind<B, R (B::*)(Args...)>(static_cast<B*>(obj), method);
  }
  template <class C, class B>
  TEvent(C* obj, R (B::*method)(Args...) const) {
    static_assert(std::is_base_of_v<B, C>, "the method must belong to the object's class");
    Bind<B, R (B::*)(Args...) const>(static_cast<B*>(obj), method);
  }

  // Wraps a plain function; Context is passed to it as its first argument.
  static TEvent FromFunction(Function fn, void* Context) {
    TEvent e;
    if (fn == nullptr) return e;
    e.obj_ = Context;
    e.thunk_ = &CallFunction;
    std::memcpy(e.code_, &fn, sizeof fn);
    return e;
  }

  bool Assigned() const { return thunk_ != nullptr; }
  explicit operator bool() const { return thunk_ != nullptr; }
  void Clear() { *this = TEvent(); }
  void* Object() const { return obj_; }

  // Calls the handler; an unassigned event does nothing (and returns a value-initialised R).
  R operator()(Args... args) const {
    if (thunk_ == nullptr) {
      if constexpr (std::is_void_v<R>) return;
      else return R{};
    }
    return thunk_(obj_, code_, static_cast<Args>(args)...);
  }

  bool operator==(const TEvent& o) const {
    return obj_ == o.obj_ && thunk_ == o.thunk_ && std::memcmp(code_, o.code_, sizeof code_) == 0;
  }
  bool operator!=(const TEvent& o) const { return !(*this == o); }

 private:
  using Thunk = R (*)(void* obj, const unsigned char* code, Args...);

  template <class B, class M>
  void Bind(B* obj, M method) {
    static_assert(sizeof(M) <= kCodeSize, "member function pointer larger than expected");
    obj_ = const_cast<void*>(static_cast<const void*>(obj));
    thunk_ = &CallMember<B, M>;
    std::memcpy(code_, &method, sizeof method);
  }

  template <class B, class M>
  static R CallMember(void* obj, const unsigned char* code, Args... args) {
    M method;
    std::memcpy(&method, code, sizeof method);
    return (static_cast<B*>(obj)->*method)(static_cast<Args>(args)...);
  }

  static R CallFunction(void* ctx, const unsigned char* code, Args... args) {
    Function fn;
    std::memcpy(&fn, code, sizeof fn);
    return fn(ctx, static_cast<Args>(args)...);
  }

  static constexpr std::size_t kCodeSize = 2 * sizeof(void*);
  void* obj_ = nullptr;
  Thunk thunk_ = nullptr;
  alignas(void*) unsigned char code_[kCodeSize] = {};
};

// procedure(Sender: TObject)
using TNotifyEvent = TEvent<void(TObject* Sender)>;

}  // namespace corvex
