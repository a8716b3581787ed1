// The root classes of the toolkit: TObject (every object passed as an event's Sender) and
// TPersistent (objects that copy themselves from another through Assign), and the exception
// hierarchy.
#pragma once

#include <stdexcept>
#include <string>

namespace corvex {

class TObject {
 public:
  virtual ~TObject() = default;
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  // The unqualified name of the object's class, for messages.
  std::string ClassName() const;
};

class TPersistent : public TObject {
 public:
  // Copies Source into this object. The default asks Source to assign itself to this object
  // (AssignTo) and raises EConvertError when neither side knows the other.
  virtual void Assign(const TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest) const;
};

// Base of every exception the library raises; Message() is the text shown to the user.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& Msg) : std::runtime_error(Msg) {}
  std::string Message() const { return what(); }
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

class EOutOfMemory : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace corvex
