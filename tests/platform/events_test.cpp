#include "corvex/platform/events.h"

#include <gtest/gtest.h>

#include "corvex/platform/object.h"

namespace corvex {
namespace {

struct Base : TObject {
  int calls = 0;
  void OnA(TObject*) { ++calls; }
  void OnB(TObject*) { calls += 10; }
  int Twice(int v) const { return 2 * v; }
};
struct Derived : Base {
  virtual void Extra() {}
};

int AddContext(void* ctx, int v) { return *static_cast<int*>(ctx) + v; }

TEST(Event, EqualityIsObjectAndMethod) {
  Base x, y;
  TNotifyEvent a1(&x, &Base::OnA), a2(&x, &Base::OnA), b(&x, &Base::OnB), ay(&y, &Base::OnA);
  EXPECT_EQ(a1, a2);
  EXPECT_NE(a1, b);
  EXPECT_NE(a1, ay);
  EXPECT_NE(a1, TNotifyEvent());
  EXPECT_EQ(TNotifyEvent(), TNotifyEvent(nullptr));

  a1(nullptr);
  b(nullptr);
  EXPECT_EQ(x.calls, 11);
}

TEST(Event, DerivedObjectsConstMethodsAndFunctions) {
  Derived d;
  TNotifyEvent e(&d, &Base::OnA);  // a method of the base bound to a derived object
  e(&d);
  EXPECT_EQ(d.calls, 1);
  EXPECT_EQ(e.Object(), static_cast<void*>(static_cast<Base*>(&d)));

  TEvent<int(int)> twice(&d, &Base::Twice);
  EXPECT_EQ(twice(21), 42);

  int base = 5;
  auto f = TEvent<int(int)>::FromFunction(&AddContext, &base);
  EXPECT_EQ(f(3), 8);
  EXPECT_EQ(f, TEvent<int(int)>::FromFunction(&AddContext, &base));
  int other = 0;
  EXPECT_NE(f, TEvent<int(int)>::FromFunction(&AddContext, &other));

  TEvent<int(int)> none;
  EXPECT_FALSE(none);
  EXPECT_EQ(none(7), 0);  // unassigned: nothing is called
  f.Clear();
  EXPECT_FALSE(f.Assigned());
}

}  // namespace
}  // namespace corvex
