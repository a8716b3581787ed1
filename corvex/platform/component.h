// TComponent: objects with an owner. An owner frees the components it owns when it is destroyed;
// a component destroyed on its own leaves its owner's list. Components that reference one another
// by pointer ask for FreeNotification and drop the reference in Notification(opRemove).
//
// Notifications follow the toolkit: inserting a component into an owner, or removing it, calls
// Notification on the owner, which passes it on to every component it owns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvex/platform/object.h"
#include "corvex/platform/sets.h"

namespace corvex {

enum TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning, csUpdating };
using TComponentState = TSet<TComponentStateItem>;

enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* GetOwner() const { return Owner_; }
  int GetComponentCount() const { return static_cast<int>(Components_.size()); }
  TComponent* GetComponent(int Index) const;
  // The owned component with this name (case-insensitive), or nullptr.
  TComponent* FindComponent(const std::string& AName) const;

  const std::string& GetName() const { return Name_; }
  virtual void SetName(const std::string& NewName) { Name_ = NewName; }
  int64_t GetTag() const { return Tag_; }
  void SetTag(int64_t v) { Tag_ = v; }

  TComponentState GetComponentState() const { return State_; }
  // Sets or clears csDesigning on this component and every component it owns.
  void SetDesigning(bool Value);
  // Marks loading from a stream: csLoading and csReading until Loaded is called.
  void BeginLoading();
  // Called once all properties are read; clears csLoading and csReading.
  virtual void Loaded();

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  // Asks that AComponent be told (Notification with opRemove) when this component is destroyed,
  // whoever owns the two. The link is symmetric and dropped automatically.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Receives the insertion or removal of AComponent. Overrides drop references to a removed
  // component and must call the inherited version, which passes it on to owned components.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 protected:
  // Sets csDestroying, tells the components that asked for it, and frees the owned components.
  // The destructor does this; a derived class whose own destruction must come after it (so that
  // others drop their references first) may call it at the start of its destructor.
  void Destroying();

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void DestroyComponents();
  void RemoveNotification(TComponent* AComponent);

  TComponent* Owner_ = nullptr;
  std::vector<TComponent*> Components_;
  std::vector<TComponent*> FreeNotifies_;
  std::string Name_;
  int64_t Tag_ = 0;
  TComponentState State_;
  bool DestroyingDone_ = false;
};

}  // namespace corvex
