// Long work: the protocol's progress on the running busy job, and what a job did when it ended.
#include <QLabel>

#include "app/KVX7MainForm.h"
#include "services/osBusyMode.h"

void TKVXMainForm::KVXModProtProgress(TObject*, TProgressStep Step, int Position, int Max, bool& Stop) {
  LastStep_ = Step;
  LastPosition_ = Position;
  LastMax_ = Max;
  QString text;
  switch (Step) {
    case pgsConnect:
      text = QString("Looking for the module (try %1 of %2)").arg(Position + 1).arg(Max);
      break;
    case pgsIdentify:
      text = "Identifying the module";
      break;
    case pgsReadListing:
      text = "Reading the module's command list";
      break;
    case pgsReadParameters:
      text = QString("Reading parameters %1 of %2").arg(Position).arg(Max);
      break;
    case pgsWriteParameters:
      text = QString("Writing parameters %1 of %2").arg(Position).arg(Max);
      break;
    case pgsSendText:
      text = QString("Sending %1 %2 of %3").arg(SendTextWord_).arg(Position).arg(Max);
      break;
    case pgsSendFirmware:
      text = QString("Sending firmware line %1 of %2").arg(Position).arg(Max);
      break;
  }
  TBusyMode& busy = TBusyMode::Instance();
  if (busy.Active()) {
    // The counts are the progress where there are any.
    const bool counted = Step == pgsReadParameters || Step == pgsWriteParameters ||
                         Step == pgsSendText || Step == pgsSendFirmware;
    busy.Update(text, counted ? Position : 0, counted ? Max : 0);
  }
  Stop = busy.StopRequested();
}

QString TKVXMainForm::ProgressCount(TProgressStep Step) const {
  if (LastStep_ != Step || LastPosition_ < 0) return {};
  return QString("%1 of %2").arg(LastPosition_).arg(LastMax_);
}

void TKVXMainForm::ShowJobResult(const QString& Text) {
  // The panel shows what fits and keeps the whole text a click away; its tool tip follows
  // whatever it shows, so a result does not outlive its text.
  SetPanel(5, Text);
}

bool TKVXMainForm::EndIfLineLost() {
  if (ConnectTag == 0 || !KVXModProt->LineHungUp()) return false;
  // Closes the port and raises OnModuleLost: the window is disconnected and the one message,
  // naming the port, comes once the work has ended.
  KVXModProt->ReportPollStop();
  return true;
}
