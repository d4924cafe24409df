// Terminal files, the edit menu, the manuals, the firmware menu and the About box.
#include "app/KVX7MainForm.h"

void TKVXMainForm::ClearTerminalActExecute() {}
void TKVXMainForm::OpenTerminalActExecute() {}
void TKVXMainForm::SaveTerminalActExecute() {}
void TKVXMainForm::MMICutClick() {}
void TKVXMainForm::MMICopyClick() {}
void TKVXMainForm::MMIPasteClick() {}
void TKVXMainForm::MMICloseClick() { close(); }
void TKVXMainForm::ShowManual(const std::string&) {}
void TKVXMainForm::MMIFirmwareUpdClick() {}
void TKVXMainForm::MMISendFirmwareClick() {}
void TKVXMainForm::MMIFWUAssClick() {}
