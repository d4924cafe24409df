#include "platform/Component.h"

#include <algorithm>

namespace platform {

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->InsertComponent(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  // Tell everyone who holds a pointer to this component, then let go of the ones it holds.
  NotifyRemoval();
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::NotifyRemoval() {
  std::vector<TComponent*> notifies;
  notifies.swap(freeNotifies_);
  for (TComponent* c : notifies) {
    c->RemoveNotification(this);
    if (c != owner_) c->Notification(this, TOperation::opRemove);
  }
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) return nullptr;
  return components_[static_cast<std::size_t>(index)];
}

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end())
    freeNotifies_.push_back(other);
  // Both sides know each other, so whichever goes first unhooks the other.
  if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) ==
      other->freeNotifies_.end())
    other->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other) return;
  // Both sides, as FreeNotification hooked both: a side left behind would call into the other
  // after it is gone.
  RemoveNotification(other);
  other->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* other) {
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), other),
                      freeNotifies_.end());
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* child = components_.back();
    delete child;  // the child's destructor removes it from components_
  }
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::InsertComponent(TComponent* child) {
  components_.push_back(child);
  Notification(child, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* child) {
  components_.erase(std::remove(components_.begin(), components_.end(), child), components_.end());
  if (!destroying_) Notification(child, TOperation::opRemove);
}

}  // namespace platform
