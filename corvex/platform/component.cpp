#include "corvex/platform/component.h"

#include <algorithm>
#include <cctype>

namespace corvex {

namespace {
bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

void Erase(std::vector<TComponent*>& v, TComponent* c) {
  auto it = std::find(v.begin(), v.end(), c);
  if (it != v.end()) v.erase(it);
}
}  // namespace

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  if (Owner_ != nullptr) Owner_->RemoveComponent(this);
}

void TComponent::Destroying() {
  if (DestroyingDone_) return;
  DestroyingDone_ = true;
  State_.Include(csDestroying);
  for (TComponent* c : Components_) c->State_.Include(csDestroying);
  // Tell everyone who asked; each Notification may remove entries, so take them one at a time.
  while (!FreeNotifies_.empty()) {
    TComponent* other = FreeNotifies_.back();
    FreeNotifies_.pop_back();
    Erase(other->FreeNotifies_, this);
    other->Notification(this, opRemove);
  }
  DestroyComponents();
}

void TComponent::DestroyComponents() {
  while (!Components_.empty()) {
    TComponent* c = Components_.back();
    Remove(c);  // detached first, so that it does not call back into its owner being destroyed
    delete c;
  }
}

TComponent* TComponent::GetComponent(int Index) const {
  if (Index < 0 || Index >= GetComponentCount()) return nullptr;
  return Components_[static_cast<size_t>(Index)];
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : Components_)
    if (SameText(c->Name_, AName)) return c;
  return nullptr;
}

void TComponent::SetDesigning(bool Value) {
  if (Value) State_.Include(csDesigning);
  else State_.Exclude(csDesigning);
  for (TComponent* c : Components_) c->SetDesigning(Value);
}

void TComponent::BeginLoading() {
  State_.Include(csLoading);
  State_.Include(csReading);
}

void TComponent::Loaded() {
  State_.Exclude(csLoading);
  State_.Exclude(csReading);
}

void TComponent::Insert(TComponent* AComponent) {
  Components_.push_back(AComponent);
  AComponent->Owner_ = this;
}

void TComponent::Remove(TComponent* AComponent) {
  AComponent->Owner_ = nullptr;
  Erase(Components_, AComponent);
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (AComponent->Owner_ == this) return;
  if (AComponent->Owner_ != nullptr) AComponent->Owner_->RemoveComponent(AComponent);
  if (State_.Contains(csDesigning)) AComponent->SetDesigning(true);
  Insert(AComponent);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->Owner_ != this) return;
  Notification(AComponent, opRemove);
  Remove(AComponent);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (std::find(FreeNotifies_.begin(), FreeNotifies_.end(), AComponent) == FreeNotifies_.end())
    FreeNotifies_.push_back(AComponent);
  if (std::find(AComponent->FreeNotifies_.begin(), AComponent->FreeNotifies_.end(), this) ==
      AComponent->FreeNotifies_.end())
    AComponent->FreeNotifies_.push_back(this);
}

void TComponent::RemoveNotification(TComponent* AComponent) { Erase(FreeNotifies_, AComponent); }

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  RemoveNotification(AComponent);
  AComponent->RemoveNotification(this);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
  // Pass it on; an owned component may free others in its handler, so index from the end and
  // re-check the bound each time.
  for (size_t i = Components_.size(); i-- > 0;) {
    if (i >= Components_.size()) continue;
    Components_[i]->Notification(AComponent, Operation);
  }
}

}  // namespace corvex
