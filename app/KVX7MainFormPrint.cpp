// Printing the parameter list, the scope picture and the terminal.
#include "app/KVX7MainForm.h"

void TKVXMainForm::PrintActExecute() {}
bool TKVXMainForm::PrintParamList() { return false; }
void TKVXMainForm::PrintScopeDisplay() {}
