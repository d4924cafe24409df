// Mode buttons, the protocol's questions and error reports, the status lamps and the password.
#include "app/KVX7MainForm.h"

void TKVXMainForm::ModeButtonClick(int) {}
void TKVXMainForm::MODE_ALLClick() {}
void TKVXMainForm::KVXModProtInfoMsg(TObject*, TKVXCommProtMsgKind, TModalResult&) {}
void TKVXMainForm::KVXModProtModIdSelRequest(TObject*, TStringList&, int& SelIdx) { SelIdx = -1; }
void TKVXMainForm::KVXModProtParaDownloadError(TObject*, TStringList&) {}
void TKVXMainForm::KVXModProtReadoutError(TObject*, const std::string&, TStringList&) {}
void TKVXMainForm::KVXMonitorStatusInfoStrucInit(TObject*, TModStatusInfoData*) {}
void TKVXMainForm::KVXMonitorNewStatusInfo(TObject*, std::uint16_t) {}
void TKVXMainForm::PasswordActExecute() {}
void TKVXMainForm::PasswordDlgPasswordCheckReq(TObject*, const std::string&, bool&) {}
