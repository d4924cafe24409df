// Remote control of the module's analog and digital inputs from the monitor page.
#include "app/KVX7MainForm.h"

void TKVXMainForm::SetupAnalogInputs() {}
void TKVXMainForm::UpdateRemoteCtrlState() {}
void TKVXMainForm::CBoxRemoteCtrlEnableClick() {}
void TKVXMainForm::ApplyRemoteCtrlEnable() {}
void TKVXMainForm::CBoxDigitalIOClick(QCheckBox*) {}
void TKVXMainForm::KVXModProtDigitalInputStateInfo(TObject*, std::uint8_t) {}
void TKVXMainForm::LEditAnaInputsDlbClick(TLabeledEdit*) {}
bool TKVXMainForm::LEditAnaInputsKeyPress(TLabeledEdit*, int, const QString&) { return false; }
void TKVXMainForm::GBoxAnaInputsExit() {}
void TKVXMainForm::TBarAnaInputsChange() {}
void TKVXMainForm::HighlightAnalogEdit(TLabeledEdit*, bool) {}
