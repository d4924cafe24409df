// Placeholders for the operations still to be written: operating modes and polling, module
// commands, bootloader. Each is removed from here when its real body lands in
// its own file.
#include "protocol/osDRUVModProt.h"

// ---- Operating modes and polling ----

void TKVXModCommProt::SetOperatingMode(std::uint8_t) {}
void TKVXModCommProt::MonitorTimerTick(TObject*) {}
bool TKVXModCommProt::PollScopeData() { return false; }
bool TKVXModCommProt::ReadProcessDataBlock(std::vector<std::uint8_t>& Data, int& Size) {
  Data.clear();
  Size = 0;
  return false;
}
void TKVXModCommProt::PortRxChar(TObject*, int) {}
bool TKVXModCommProt::SendTerminalKey(char) { return false; }
void TKVXModCommProt::TerminalKeyPress(TObject*, char, std::string&) {}

// ---- Module commands ----

bool TKVXModCommProt::SaveInModule() { return false; }
bool TKVXModCommProt::LoadDefaults() { return false; }
bool TKVXModCommProt::Loadback() { return false; }
bool TKVXModCommProt::GetRemoteCtrlEnabled() { return false; }
void TKVXModCommProt::SetRemoteCtrlEnabled(bool) {}
bool TKVXModCommProt::ReadRemoteState(std::uint8_t& State) {
  State = 0;
  return false;
}
bool TKVXModCommProt::WriteRemoteState(std::uint8_t&) { return false; }
bool TKVXModCommProt::ReadRemoteCtrlValue(std::uint8_t, std::int32_t&) { return false; }
bool TKVXModCommProt::WriteRemoteCtrlValue(std::uint8_t, std::int32_t&) { return false; }

// ---- Bootloader and firmware ----

bool TKVXModCommProt::BootloaderStep(int) { return false; }
bool TKVXModCommProt::SendFirmwareFile(const std::string&, const TFirmwareProgressEvent&) {
  return false;
}
void TKVXModCommProt::SetBootloaderMode(bool) {}
bool TKVXModCommProt::SendTextFile(const std::string&) { return false; }
