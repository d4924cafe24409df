// The component base: an owner that frees the components it owns, and removal notification
// so that a component holding a plain pointer to another one can forget it when it goes away.
#pragma once

#include <string>
#include <vector>

#include "platform/Object.h"

namespace platform {

enum class TOperation { opInsert, opRemove };

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  virtual ~TComponent();

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;

  // `other` gets Notification(this, opRemove) when this component is destroyed, and this one
  // when `other` is. The link is mutual, and so is its removal.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

  bool Destroying() const { return destroying_; }

  // Frees the owned components now, newest first. Derived destructors call it when their
  // children must go before the derived part of the owner does.
  void DestroyComponents();

  // Tells everyone who asked for FreeNotification, now, that this component goes away, so they
  // drop their pointers before the derived part is torn down. A component that other threads
  // may still be calling calls this first in its destructor; the holder can then wait for those
  // calls to end while the object is still whole. Later destruction notifies no one twice.
  void NotifyRemoval();

 protected:
  // Called on the owner when an owned component is destroyed, and on every component that asked
  // for FreeNotification. Runs during the other component's destruction: compare pointers only.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void InsertComponent(TComponent* child);
  // This side of a free-notification link only.
  void RemoveNotification(TComponent* other);
  void RemoveComponent(TComponent* child);

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  bool destroying_ = false;
};

}  // namespace platform
