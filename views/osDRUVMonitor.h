// The monitor: the module's process values as a column of large read-outs, one row per value,
// on a row form it owns (embedded in a host widget of the main window, or a dialog of its own).
// It also hands the status-bit structure and each new status word on to the main window.
#pragma once

#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>

#include "model/osDRUVModProtBase.h"
#include "platform/Component.h"
#include "protocol/ViewInterfaces.h"
#include "views/osDRUVMonitorForm.h"

class QWidget;

// Raised with the module's status bits after identification (for the status LEDs).
using TStatusInfoStrucInit = std::function<void(TObject* Sender, TModStatusInfoData* StatusStruc)>;
// Raised with every status word the monitor poll reads.
using TNewStatusInfoAvail = std::function<void(TObject* Sender, std::uint16_t Status)>;

// Window thread only; the QApplication must exist before the monitor (it creates its form).
class TKVXMonitor : public platform::TComponent, public IMonitorView {
 public:
  explicit TKVXMonitor(platform::TComponent* owner = nullptr);
  ~TKVXMonitor() override;

  // The row form; nullptr once it was destroyed with its host widget.
  TMonitorForm* Form() const { return Form_.data(); }

  // The host widget of the form (not owned); nullptr makes the form a dialog of its own. The
  // reference is dropped when the host is destroyed.
  QWidget* Parent() const { return Parent_.data(); }
  void SetParent(QWidget* value);

  TVisibleParamKind VisibleParamKind() const { return VisibleParamKind_; }
  // Rebuilds the rows when the value changes.
  void SetVisibleParamKind(TVisibleParamKind value);
  int VisibleParamCnt() const { return VisibleParamCnt_; }
  void SetVisibleParamCnt(int value);

  // The monitor's own copy of the process values; the rows show its entries.
  TModProcessData* ProcData() { return &ProcData_; }

  // Copies the list (nullptr is ignored) and rebuilds the rows; the user's row choices go.
  void SetProcessDataStructure(TModProcessData* processData) override;
  // Takes the values of a record (binary block: every entry; text reply: the entry at its index)
  // and rewrites the read-outs. Any record, even nullptr, refreshes the rows.
  void NewProcessData(TBaseProcDataObj* obj) override;
  // OnStatusInfoStrucInit, when assigned and the structure is given.
  void FireStatusInfoStrucInit(TModStatusInfoData* statusInfo) override;
  // OnNewStatusInfo, when assigned.
  void FireNewStatusInfo(std::uint16_t status) override;

  // Shows the form: embedded, it takes on its host's background and hides its OK button bar.
  void Show();

  TStatusInfoStrucInit OnStatusInfoStrucInit;
  TNewStatusInfoAvail OnNewStatusInfo;

 private:
  class HostFilter;

  void Rebuild();
  void MakeDialog();
  void FitToHost();

  QPointer<TMonitorForm> Form_;
  QPointer<QWidget> Parent_;
  TModProcessData ProcData_;
  int VisibleParamCnt_ = 4;
  TVisibleParamKind VisibleParamKind_ = vpDefault;
  std::unique_ptr<HostFilter> hostFilter_;
};
