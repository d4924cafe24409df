// Module data commands (Default, Save, Loadback) and parameter files.
#include "app/KVX7MainForm.h"

void TKVXMainForm::BtnDefaultClick() {}
void TKVXMainForm::BtnLoadBackClick() {}
void TKVXMainForm::BtnSaveClick() {}
void TKVXMainForm::BBtnUploadClick() {}
void TKVXMainForm::BBtnDownloadClick() {}
void TKVXMainForm::MMILoadOfflineCmdListClick() {}
void TKVXMainForm::MMISaveCmdListClick() {}
void TKVXMainForm::MMIViewKVXFileClick() {}
void TKVXMainForm::MMFileClick() {}
std::string TKVXMainForm::ParaFileFolder() const { return {}; }
