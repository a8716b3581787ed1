#include "corvex/platform/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvex {
namespace {

// A component that records the notifications it receives and may reference another component,
// dropping the reference when that component goes away.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::vector<std::string>* log, const std::string& name)
      : TComponent(owner), log_(log) {
    SetName(name);
  }
  ~Probe() override {
    if (log_) log_->push_back("free " + GetName());
  }
  void Reference(TComponent* c) {
    ref = c;
    if (c) c->FreeNotification(this);
  }
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opInsert) ++inserts;
    if (log_) log_->push_back(GetName() + (op == opInsert ? " +" : " -") + c->GetName());
    if (op == opRemove && c == ref) ref = nullptr;
  }
  TComponent* ref = nullptr;
  int inserts = 0;

 private:
  std::vector<std::string>* log_;
};

TEST(Component, OwnerFreesWhatItOwnsAndHearsInsertions) {
  std::vector<std::string> log;
  auto* form = new Probe(nullptr, &log, "form");
  auto* a = new Probe(form, &log, "a");
  new Probe(form, &log, "b");  // a hears b's insertion through its owner
  EXPECT_EQ(a->inserts, 1);
  EXPECT_EQ(form->GetComponentCount(), 2);
  EXPECT_EQ(form->FindComponent("B"), form->GetComponent(1));
  EXPECT_EQ(form->FindComponent("none"), nullptr);

  log.clear();
  delete a;  // leaves the owner's list; the owner and b hear the removal
  EXPECT_EQ(form->GetComponentCount(), 1);
  EXPECT_NE(std::find(log.begin(), log.end(), "form -a"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "b -a"), log.end());

  log.clear();
  delete form;
  // The owner's own destructor runs first, then it frees what it owns.
  EXPECT_EQ(log, (std::vector<std::string>{"free form", "free b"}));
}

TEST(Component, FreeNotificationDropsReferencesAcrossOwners) {
  std::vector<std::string> log;
  Probe formA(nullptr, nullptr, "formA");
  auto* formB = new Probe(nullptr, nullptr, "formB");
  auto* user = new Probe(&formA, &log, "user");
  auto* view = new Probe(formB, nullptr, "view");
  user->Reference(view);
  ASSERT_EQ(user->ref, view);
  delete formB;  // frees view; user, on another form, is told through the free notification
  EXPECT_EQ(user->ref, nullptr);
  EXPECT_NE(std::find(log.begin(), log.end(), "user -view"), log.end());

  // Once the link is removed, nothing is heard.
  Probe other(nullptr, nullptr, "other");
  auto* target = new Probe(nullptr, nullptr, "target");
  other.Reference(target);
  target->RemoveFreeNotification(&other);
  delete target;
  EXPECT_EQ(other.ref, target);  // stale on purpose: no notification arrived
  other.ref = nullptr;
}

TEST(Component, DesigningAndLoadingStates) {
  TComponent owner(nullptr);
  auto* child = new TComponent(&owner);
  owner.SetDesigning(true);
  EXPECT_TRUE(child->GetComponentState().Contains(csDesigning));
  auto* late = new TComponent(nullptr);
  owner.InsertComponent(late);  // joins a designing owner
  EXPECT_TRUE(late->GetComponentState().Contains(csDesigning));
  EXPECT_EQ(late->GetOwner(), &owner);
  owner.SetDesigning(false);
  EXPECT_FALSE(child->GetComponentState().Contains(csDesigning));

  child->BeginLoading();
  EXPECT_TRUE(child->GetComponentState().Contains(csLoading));
  child->Loaded();
  EXPECT_FALSE(child->GetComponentState().Contains(csReading));

  // Moving a component to another owner.
  TComponent other(nullptr);
  other.InsertComponent(child);
  EXPECT_EQ(owner.GetComponentCount(), 1);
  EXPECT_EQ(other.GetComponentCount(), 1);
}

}  // namespace
}  // namespace corvex
