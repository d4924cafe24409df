#include "services/osApplOptions.h"

#include <QListWidget>

#include "services/osApplIni.h"
#include "services/osApplOptionsDlg.h"
#include "services/osDialogHooks.h"
#include "services/osFormPlacement.h"

int TOptionItem::Index() const {
  for (int i = 0; i < Collection_->Count(); ++i)
    if (Collection_->Items(i) == this) return i;
  return -1;
}

TOptionItem* TOptions::Add() {
  Items_.push_back(std::unique_ptr<TOptionItem>(new TOptionItem(this, NextID_++)));
  return Items_.back().get();
}

TOptionItem* TOptions::Items(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return Items_[static_cast<std::size_t>(Index)].get();
}

void TOptions::Delete(int Index) {
  if (Index >= 0 && Index < Count()) Items_.erase(Items_.begin() + Index);
}

void TOptions::Assign(const TOptions& Source) {
  if (&Source == this) return;
  Items_.clear();
  for (const auto& src : Source.Items_) {
    TOptionItem* item = Add();
    item->Enabled = src->Enabled;
    item->Name = src->Name;
  }
}

TosApplOptions::TosApplOptions(platform::TComponent* AOwner)
    : platform::TComponent(AOwner), OptionsForm_(std::make_unique<TApplOptionsDlgForm>()) {}

TosApplOptions::~TosApplOptions() { SetApplIni(nullptr); }

void TosApplOptions::SetApplIni(TosApplIni* Value) {
  if (ApplIni_ == Value) return;
  if (ApplIni_) ApplIni_->RemoveFreeNotification(this);
  ApplIni_ = Value;
  if (ApplIni_) ApplIni_->FreeNotification(this);
}

void TosApplOptions::Notification(platform::TComponent* Component, platform::TOperation Operation) {
  platform::TComponent::Notification(Component, Operation);
  if (Operation == platform::TOperation::opRemove && Component == ApplIni_) ApplIni_ = nullptr;
}

bool TosApplOptions::Execute() {
  QListWidget* list = OptionsForm_->ChkLBox;
  list->clear();
  for (int i = 0; i < Options_.Count(); ++i) {
    const TOptionItem* option = Options_.Items(i);
    auto* entry = new QListWidgetItem(QString::fromLatin1(option->Name), list);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    entry->setCheckState(option->Enabled ? Qt::Checked : Qt::Unchecked);
    entry->setData(Qt::UserRole, option->ID());
  }
  if (list->count() > 0) list->setCurrentRow(0);
  CentreOnActiveWindow(OptionsForm_.get());
  if (ExecModal(OptionsForm_.get()) != QDialog::Accepted) return false;
  // Read the marks first: a handler may change the options or open the list again.
  std::vector<bool> marks;
  for (int i = 0; i < list->count(); ++i) marks.push_back(list->item(i)->checkState() == Qt::Checked);
  for (int i = 0; i < static_cast<int>(marks.size()); ++i) {
    TOptionItem* option = Options_.Items(i);
    if (!option || option->Enabled == marks[static_cast<std::size_t>(i)]) continue;
    option->Enabled = marks[static_cast<std::size_t>(i)];
    if (OnOptionStateChanged) OnOptionStateChanged(this, option->Name, i, option->ID());
  }
  return true;
}
