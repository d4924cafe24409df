#include "views/osDRUVMonitor.h"

#include <QEvent>
#include <QFrame>
#include <QObject>
#include <QPalette>
#include <QWidget>
#include <exception>

// Keeps the embedded form filling its host, as the host is resized.
class TKVXMonitor::HostFilter : public QObject {
 public:
  explicit HostFilter(TKVXMonitor* owner) : owner_(owner) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize && watched == owner_->Parent_.data()) {
      try {
        owner_->FitToHost();
      } catch (const std::exception&) {
      } catch (...) {
      }
    }
    return false;
  }

 private:
  TKVXMonitor* owner_;
};

TKVXMonitor::TKVXMonitor(platform::TComponent* owner)
    : platform::TComponent(owner), hostFilter_(std::make_unique<HostFilter>(this)) {
  Form_ = new TMonitorForm(nullptr);
  MakeDialog();
}

TKVXMonitor::~TKVXMonitor() {
  if (Parent_) Parent_->removeEventFilter(hostFilter_.get());
  // The form refers to ProcData_, so it goes first.
  delete Form_.data();
}

void TKVXMonitor::MakeDialog() {
  TMonitorForm* form = Form_.data();
  form->setParent(nullptr, Qt::Dialog);
  // A fixed dialog like the one the rows were laid out for.
  form->setFixedSize(TMonitorForm::DesignWidth, TMonitorForm::DesignHeight);
  form->Arrange();
}

void TKVXMonitor::FitToHost() {
  TMonitorForm* form = Form_.data();
  QWidget* host = Parent_.data();
  if (!form || !host || form->parentWidget() != host) return;
  // The host's inside: a bevelled panel keeps its bevel visible around the rows.
  form->setGeometry(host->contentsRect());
  // A hidden form gets its resize event only when shown; its rows must follow now.
  form->Arrange();
}

void TKVXMonitor::SetParent(QWidget* value) {
  if (Parent_) Parent_->removeEventFilter(hostFilter_.get());
  Parent_ = value;
  TMonitorForm* form = Form_.data();
  if (!form) return;

  const bool wasShown = !form->isHidden();
  if (!value) {
    MakeDialog();
  } else {
    form->setMinimumSize(0, 0);
    form->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    form->setParent(value, Qt::Widget);
    value->installEventFilter(hostFilter_.get());
    FitToHost();
  }
  // Qt hides a widget that changes parent; it stays shown as it was.
  if (wasShown) form->show();
}

void TKVXMonitor::SetVisibleParamKind(TVisibleParamKind value) {
  if (value == VisibleParamKind_) return;
  VisibleParamKind_ = value;
  Rebuild();
}

void TKVXMonitor::SetVisibleParamCnt(int value) {
  if (value == VisibleParamCnt_) return;
  VisibleParamCnt_ = value;
  Rebuild();
}

void TKVXMonitor::Rebuild() {
  TMonitorForm* form = Form_.data();
  if (form) form->Build(&ProcData_, VisibleParamKind_, VisibleParamCnt_);
}

void TKVXMonitor::SetProcessDataStructure(TModProcessData* processData) {
  if (!processData) return;
  processData->CopyProcCommands(&ProcData_);
  Rebuild();
}

void TKVXMonitor::NewProcessData(TBaseProcDataObj* obj) {
  if (auto* block = dynamic_cast<TBINProcDataObj*>(obj)) {
    // Entries beyond the block's values read 0.
    for (int i = 0; i < ProcData_.Count(); ++i) {
      TModProcCommand* entry = ProcData_.GetProcCommand(i);
      if (!entry) break;
      entry->Value = block->GetValue(i);
    }
  } else if (auto* single = dynamic_cast<TASCIIProcDataObj*>(obj)) {
    TModProcCommand* entry = ProcData_.GetProcCommand(single->Index);
    if (entry) entry->Value = single->Value;
  }
  if (TMonitorForm* form = Form_.data()) form->RefreshPanels();
}

void TKVXMonitor::FireStatusInfoStrucInit(TModStatusInfoData* statusInfo) {
  if (OnStatusInfoStrucInit && statusInfo) OnStatusInfoStrucInit(this, statusInfo);
}

void TKVXMonitor::FireNewStatusInfo(std::uint16_t status) {
  if (OnNewStatusInfo) OnNewStatusInfo(this, status);
}

void TKVXMonitor::Show() {
  TMonitorForm* form = Form_.data();
  if (!form) return;
  if (QWidget* host = form->parentWidget()) {
    // Embedded, the form blends into its host: the host's colour and no button bar.
    QPalette palette = form->palette();
    palette.setColor(QPalette::Window, host->palette().color(host->backgroundRole()));
    form->setPalette(palette);
    form->Panel2->hide();
    form->Arrange();
  }
  form->show();
}
