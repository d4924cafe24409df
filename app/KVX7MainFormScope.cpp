// The scope page's controls, the cursor read-out and the scope data log.
#include "app/KVX7MainForm.h"

void TKVXMainForm::BtnStartClick() {}
void TKVXMainForm::BtnStopClick() {}
void TKVXMainForm::CheckTimeGrid() {}
void TKVXMainForm::CBChSignalDropDown(int, bool) {}
void TKVXMainForm::CBChSignalChange(int) {}
void TKVXMainForm::CBChCustSignalChange(int) {}
void TKVXMainForm::CBChColorChange(int) {}
void TKVXMainForm::CBChScaleChange(int) {}
void TKVXMainForm::CBChCustScaleChange(QComboBox*) {}
void TKVXMainForm::CBCustTimeScaleChange() {}
void TKVXMainForm::LEChPosChange(int) {}
void TKVXMainForm::LECh1PosExit() {}
void TKVXMainForm::KVXScopeProcessDataChanged(TObject*, const TStringList&) {}
void TKVXMainForm::KVXScopeCursorPosChanged(TObject*, const TCursorInfo&) {}
void TKVXMainForm::PMIScopeCursorClick() {}
void TKVXMainForm::PMICopyScopeDspClick() {}
void TKVXMainForm::ShowCursorValues(const TCursorInfo&, bool) {}
void TKVXMainForm::CursorTexts(const TCursorInfo&, bool, QString&, QString&) const {}
void TKVXMainForm::SaveToFileButtonClick() {}
void TKVXMainForm::KVXScopeScopeData(TASCIIProcDataObj*, TASCIIProcDataObj*, TASCIIProcDataObj*, TASCIIProcDataObj*) {}
