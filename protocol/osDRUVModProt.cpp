// The protocol component itself, connecting and the bit rate, identification and the command
// listing.
#include "protocol/osDRUVModProt.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "protocol/osDRUVModProtUtil.h"

// ---- Tables -------------------------------------------------------------------------------------

const int ModBaudrates[ModBaudrateCount] = {9600, 19200, 38400, 57600, 115200};
const char* const ModBaudrateNames[ModBaudrateCount] = {"9.6 KBaud", "19.2 KBaud", "38.4 KBaud",
                                                       "57.6 KBaud", "115.2 KBaud"};
const char* const TransferModeNames[2] = {"FDX", "HDX"};

std::string RCMHelpText;
std::string RCSHelpText;
std::string ModeHelpText;

namespace {

constexpr TBaudRate kPortRates[ModBaudrateCount] = {br9600, br19200, br38400, br57600, br115200};
constexpr std::uint16_t kAllGroups = 65535;

bool ValidRate(TModBaudrate Index) { return static_cast<int>(Index) < ModBaudrateCount; }

// Lines of a listing, split at CR, LF or CR LF.
TStringList SplitLines(const std::string& Text) {
  TStringList lines;
  std::string cur;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

// A help text: the reply from its 9th character on, without the prompt (and "CMD" before it) and
// the line break in front of the prompt. Too short a reply gives an empty text.
std::string CutHelpText(const std::string& Reply) {
  if (Reply.size() <= 8) return std::string();
  std::string s = Reply.substr(8);
  if (!s.empty() && s.back() == '>') s.pop_back();
  if (s.size() >= 3 && s.compare(s.size() - 3, 3, "CMD") == 0) s.erase(s.size() - 3);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
  return s;
}

// A floating-point text with the user's decimal separator; false when it is not one.
bool TryStrToFloatUser(const std::string& S, double& Value) {
  std::string t = Trim(S);
  if (t.empty()) return false;
  const char sep = DecimalSeparator();
  for (char& c : t) {
    if (c == sep)
      c = '.';
    else if (c == '.' && sep != '.')
      return false;  // another separator than the user's
  }
  for (char c : t) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
      return false;
  }
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end != '\0') return false;
  Value = v;
  return true;
}

// Why a port could not be opened, in the user's words, with the port's own error text.
std::string OpenFailureText(const EComPort& e) {
  std::string reason;
  switch (e.WinCode()) {
    case EACCES:
    case EPERM:
      reason = "permission denied (is the user in the group \"dialout\"?)";
      break;
    case EBUSY:
      reason = "the port is busy (another program uses it)";
      break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      reason = "the port is not there (adapter unplugged?)";
      break;
    default:
      reason = e.WinCode() > 0 ? std::strerror(e.WinCode()) : "the port cannot be opened";
      break;
  }
  return reason + " - " + e.Message();
}

}  // namespace

namespace kvxprot {

std::string JoinLines(const TStringList& Lines) {
  std::string out;
  for (const std::string& l : Lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

}  // namespace kvxprot

bool ModBaudrateFromBits(int Bits, TModBaudrate& Index) {
  for (int i = 0; i < ModBaudrateCount; ++i) {
    if (ModBaudrates[i] == Bits) {
      Index = static_cast<TModBaudrate>(i);
      return true;
    }
  }
  Index = static_cast<TModBaudrate>(ModBaudrateCount);
  return false;
}

bool ModBaudrateFromName(const std::string& Name, TModBaudrate& Index) {
  for (int i = 0; i < ModBaudrateCount; ++i) {
    if (Name == ModBaudrateNames[i]) {
      Index = static_cast<TModBaudrate>(i);
      return true;
    }
  }
  Index = static_cast<TModBaudrate>(ModBaudrateCount);
  return false;
}

TBaudRate ModBaudrateToPortBaud(TModBaudrate Index) {
  return ValidRate(Index) ? kPortRates[Index] : brCustom;
}

int ModBaudrateFactor(TModBaudrate Index) {
  return ValidRate(Index) ? ModBaudrates[Index] / 9600 : 0;
}

bool SplitModuleId(const std::string& ModuleId, int& Number, std::string& Name, double& Version) {
  Number = -1;
  Name.clear();
  Version = -1.0;
  TStringList items;
  for (std::string& item : SplitDelimitedText(Trim(ModuleId), ','))
    if (!item.empty()) items.push_back(std::move(item));
  if (items.size() < 4) return false;
  Name = items[0];
  double v = 0;
  if (TryStrToFloatUser(items[1], v)) Version = v;
  std::int32_t n = 0;
  if (TryStrToInt(items[3], n)) Number = n;
  return true;
}

// ---- Construction and destruction -------------------------------------------------------------

TKVXModCommProt::TKVXModCommProt(platform::TComponent* AOwner) : TosBaseMsgComponent(AOwner) {
  Port_ = std::make_unique<TComPort>(nullptr);
  Port_->SetEventThreadPriority(platform::TThreadPriority::tpNormal);
  PollTimer_ = std::make_unique<TosThreadTimer_SL>(true);
  PollTimer_->Synchronized = true;
  PollTimer_->OnTimer = [this](TObject* Sender) { MonitorTimerTick(Sender); };
  Port_->SetPort(PortName_);
  Port_->SetBaudRate(ModBaudrateToPortBaud(BaudRate_));
  CommandList_ = std::make_unique<TModCommandList>();
  ProcessData_ = std::make_unique<TModProcessData>();
  StatusInfoData_ = std::make_unique<TModStatusInfoData>();
  UpdateInfo_ = std::make_unique<TCmdUpdateInfo>();
  RemoteCtrlCmdList_ = std::make_unique<TModRemoteCtrlCommandList>();
  ScopeStartTime_ = Now();
  ScopeTime_ = ScopeStartTime_;
}

TKVXModCommProt::~TKVXModCommProt() {
  // The timer's ticks and the views' handlers point at this object: stop them first.
  PollTimer_.reset();
  if (ParameterList_) ParameterList_->SetOnCmdSendRequest(nullptr);
  if (Terminal_) Terminal_->SetOnTerminalInput(nullptr);
  {
    auto lock = LockComm();
    try {
      if (Port_->Connected()) Port_->Close();
    } catch (...) {
      // The device may be gone; the port is freed all the same.
    }
    Port_->OnRxChar = nullptr;
  }
  Port_.reset();
  if (RemoteCtrlCmdList_) RemoteCtrlCmdList_->FreeCommands();
  RemoteCtrlCmdList_.reset();
  CommandList_.reset();
  ProcessData_.reset();
  StatusInfoData_.reset();
  UpdateInfo_.reset();
}

void TKVXModCommProt::MsgThreadExecute() {
  // Never runs: the message thread is created suspended and nothing starts it.
  if (!MsgThread) return;
  platform::TMsg msg;
  while (!MsgThread->Terminated()) {
    if (!MsgThread->MessageQueue().Get(msg, 0, TM_LASTMESSAGE)) break;
  }
}

void TKVXModCommProt::Notification(platform::TComponent* AComponent,
                                   platform::TOperation Operation) {
  TosBaseMsgComponent::Notification(AComponent, Operation);
  if (Operation != platform::TOperation::opRemove || !AComponent) return;
  if (AComponent == MonitorComp_) {
    Monitor_ = nullptr;
    MonitorComp_ = nullptr;
  }
  if (AComponent == ParameterListComp_) {
    ParameterList_ = nullptr;
    ParameterListComp_ = nullptr;
  }
  if (AComponent == ScopeComp_) {
    ScopeComp_ = nullptr;
    DetachScope(nullptr);
  }
  if (AComponent == TerminalComp_) {
    Terminal_ = nullptr;
    TerminalComp_ = nullptr;
  }
}

template <class V>
void TKVXModCommProt::WatchView(platform::TComponent*& Slot, V* View) {
  Slot = View ? dynamic_cast<platform::TComponent*>(View) : nullptr;
  // Both sides keep the link, so whichever goes first unhooks the other; an old view stays
  // linked harmlessly (its removal matches no slot any more).
  if (Slot) FreeNotification(Slot);
}

// ---- Properties ---------------------------------------------------------------------------------

void TKVXModCommProt::SetBaudRate(TModBaudrate Value) {
  auto lock = LockComm();
  if (!lock) return;
  BaudRate_ = Value;
  ApplyPortRate(Value);
}

void TKVXModCommProt::ApplyPortRate(TModBaudrate Index) {
  BaudRate_ = Index;
  const TBaudRate rate = ModBaudrateToPortBaud(Index);
  if (Port_->Connected()) {
    Port_->Close();
    Port_->SetBaudRate(rate);
    Port_->Open();
  } else {
    Port_->SetBaudRate(rate);
  }
}

void TKVXModCommProt::SetPortName(const std::string& Value) {
  auto lock = LockComm();
  if (!lock) return;
  PortName_ = Value;
  Port_->SetPort(Value);
}

bool TKVXModCommProt::GetPortOpen() const { return Port_ && Port_->Connected(); }

void TKVXModCommProt::SetPortOpen(bool Value) {
  auto lock = LockComm();
  if (!lock) return;
  Port_->SetConnected(Value);
}

void TKVXModCommProt::SetFixBaudrate(TModBaudrate Value) {
  if (Value == FixBaudrate_) return;
  FixBaudrate_ = Value;
  // Half duplex always runs at 19200: a fixed rate only applies to full duplex.
  if (!AutoBaudDetection_ && TransferMode() == tmFullDuplex) SetBaudRate(Value);
}

void TKVXModCommProt::SetAutoBaudDetection(bool Value) {
  if (Value == AutoBaudDetection_) return;
  AutoBaudDetection_ = Value;
  if (!Value) {
    ResetModuleData();
    if (TransferMode() == tmFullDuplex) SetBaudRate(FixBaudrate_);
  }
}

void TKVXModCommProt::SetTransferMode(TTransferMode Value) {
  if (Value == TransferMode_.load()) return;
  auto lock = LockComm();
  if (!lock) return;
  TransferMode_ = Value;
  if (GetPortOpen()) ResetModuleData();
  if (Value == tmHalfDuplex)
    SetBaudRate(mb19200);
  else if (!AutoBaudDetection_)
    SetBaudRate(FixBaudrate_);
}

void TKVXModCommProt::SetMonitor(IMonitorView* Value) {
  Monitor_ = Value;
  WatchView(MonitorComp_, Value);
}

void TKVXModCommProt::SetParameterList(IParamListView* Value) {
  if (ParameterList_ && ParameterList_ != Value) ParameterList_->SetOnCmdSendRequest(nullptr);
  ParameterList_ = Value;
  WatchView(ParameterListComp_, Value);
  if (Value) {
    Value->SetOnCmdSendRequest(
        [this](TObject* Sender, TModCtrlCommand* Cmd) { ParamListWriteRequest(Sender, Cmd); });
  }
}

void TKVXModCommProt::SetTerminal(ITerminalView* Value) {
  if (Terminal_ && Terminal_ != Value) Terminal_->SetOnTerminalInput(nullptr);
  Terminal_ = Value;
  WatchView(TerminalComp_, Value);
  if (Value) {
    Value->SetOnTerminalInput([this](TObject* Sender, char Key, std::string& Response) {
      TerminalKeyPress(Sender, Key, Response);
    });
  }
}

void TKVXModCommProt::SetScope(IScopeView* Value) {
  DetachScope(Value);
  WatchView(ScopeComp_, Value);
}

void TKVXModCommProt::DetachScope(IScopeView* Value) {
  // A scope poll loads the view under the exchange lock and stays Busy until it has handed its
  // samples over: once the new view is stored, waiting for Busy to fall means no poll still
  // uses the old one (which may be on its way out).
  auto lock = LockComm();
  Scope_ = Value;
  while (Busy_.load()) platform::Sleep(1);
}

// ---- Small operations ---------------------------------------------------------------------------

bool TKVXModCommProt::AttachPortRxChar(bool Attach) {
  const bool wasOn = static_cast<bool>(Port_->OnRxChar);
  // Only the terminal shows what arrives by itself: in any other mode a handler would only make
  // the port hand every received byte to the window thread for nothing.
  if (Attach && OperatingMode_.load() == 1)
    Port_->OnRxChar = [this](TObject* Sender, int Count) { PortRxChar(Sender, Count); };
  else
    Port_->OnRxChar = nullptr;
  return wasOn;
}

void TKVXModCommProt::BusyCursor(bool Busy) {
  if (OnBusyCursor) OnBusyCursor(this, Busy);
}

bool TKVXModCommProt::Progress(TProgressStep Step, int Position, int Max) {
  if (Stopped_) return false;
  bool stop = false;
  if (OnProgress) OnProgress(this, Step, Position, Max, stop);
  // Only an operation that can be stopped takes the request.
  if (stop && StoppableDepth_ > 0) Stopped_ = true;
  return !Stopped_;
}

void TKVXModCommProt::RunAside(const std::function<void()>& Work) {
  if (OnRunAside)
    OnRunAside(Work);
  else
    Work();
}

void TKVXModCommProt::DropModuleLocked() {
  ClearListsLocked();
  ModuleLoaded_ = false;
  ModuleId_.clear();
  RemoteCtrlAvailable_ = false;
  RemoteCtrlOn_ = false;
  UseProcessDataBlock_ = false;
  FillParameterList(0);
  // The monitor and the scope must not keep the process values that are gone.
  if (Monitor_) {
    Monitor_->SetProcessDataStructure(ProcessData_.get());
    Monitor_->FireStatusInfoStrucInit(StatusInfoData_.get());
  }
  if (IScopeView* scope = Scope_.load()) scope->SetProcessDataStructure(ProcessData_.get());
}

void TKVXModCommProt::FillParameterList(std::uint16_t AccessCode) {
  if (ParameterList_) ParameterList_->Fill(CommandList_.get(), AccessCode);
}

void TKVXModCommProt::ParamListWriteRequest(TObject*, TModCtrlCommand* Cmd) {
  if (!Cmd) return;
  // Called from the grid's event handler: nothing may escape into the window's event loop.
  try {
    if (GetPortOpen())
      WriteParameter(Cmd);
    else
      Cmd->DoChange();  // offline editing
  } catch (...) {
    HandleApplicationException(this, std::current_exception());
  }
}

void TKVXModCommProt::GetModuleIdName(std::string& Name) const {
  int number = 0;
  double version = 0;
  if (!SplitModuleId(ModuleId_, number, Name, version)) Name.clear();
}

void TKVXModCommProt::ClearListsLocked() {
  // The remote-control list does not own its commands: free them before it forgets them.
  RemoteCtrlCmdList_->FreeCommands();
  CommandList_->Clear();
  ProcessData_->Clear();
  StatusInfoData_->Clear();
}

void TKVXModCommProt::ClearCommandLists() {
  auto lock = LockComm();
  if (!lock) return;
  ClearListsLocked();
}

void TKVXModCommProt::ResetModuleData() {
  // A running scope poll holds the exchange lock (and Busy) until it is done: taking the lock
  // waits for it, and no new poll can start an exchange meanwhile.
  auto lock = LockComm();
  if (!lock) return;
  while (Busy_.load()) platform::Sleep(10);
  // Closing the port serves the window thread's queue while the port's event thread ends: a
  // monitor tick waiting there must find the polling stopped and the module gone.
  PollTimer_->Stop();
  ModuleLoaded_ = false;
  try {
    if (Port_->Connected()) Port_->Close();
  } catch (...) {
    // A vanished device still leaves the port closed.
  }
  ClearListsLocked();
  RemoteCtrlAvailable_ = false;
  RemoteCtrlOn_ = false;
  UseProcessDataBlock_ = false;
  FillParameterList(0);
}

// ---- Connection and rate ------------------------------------------------------------------------

bool TKVXModCommProt::DetectBaudrate(TModBaudrate& Index, int Passes) {
  auto lock = LockComm();
  if (!lock) return false;
  if (Passes < 1) Passes = 1;
  if (Passes > 5) Passes = 5;
  bool found = false;
  try {
    kvxprot::SetReadTimeouts(Port_.get(), 5, 2, 600);
    if (!Port_->Connected()) return false;
    Index = mb9600;
    int pass = 1;
    std::string buf;
    int tries = 0;
    while (pass <= Passes && !found) {
      Progress(pgsConnect, tries++, Passes * ModBaudrateCount);
      Port_->Close();
      Port_->SetBaudRate(ModBaudrateToPortBaud(Index));
      BaudRate_ = Index;
      Port_->Open();
      platform::Sleep(10);
      Port_->PurgeBuffers(true, true);
      Port_->WriteText("ID\r");
      found = Port_->ReadText(buf, 2) == 2 && buf == "ID";
      if (found) {
        // The rest of the module's answer: a line and the prompt, however long the line talks.
        const kvxprot::TLineBound bound(Port_.get(), 600, ShortReplyLimit);
        for (std::size_t n = 0; n < ShortReplyLimit && !bound.Passed(); ++n)
          if (Port_->ReadText(buf, 1) <= 0) break;
      } else if (Index == mb115200) {
        Index = mb9600;
        ++pass;
      } else {
        Index = static_cast<TModBaudrate>(Index + 1);
      }
    }
  } catch (...) {
    return false;
  }
  return found;
}

bool TKVXModCommProt::SetModuleBaudrate(TModBaudrate Index) {
  const int factor = ModBaudrateFactor(Index);
  if (factor == 0) return false;
  std::string reply;
  if (!SendCommand("BR " + std::to_string(factor) + "\r", "BR", ">", reply, 200)) return false;
  std::string cmd;
  TStringList values;
  if (!CheckModAnswer(reply, cmd, values)) return false;
  // The module confirms with the factor; where the echoed command line also carries it, both
  // items are the same number.
  if (values.size() == 2 && values[0] == values[1]) values.pop_back();
  if (values.size() != 1) return false;
  std::int32_t n = 0;
  if (!TryStrToInt(values[0], n)) return false;
  if (n != 1 && n != 2 && n != 4 && n != 6 && n != 12) return false;
  TModBaudrate idx;
  return ModBaudrateFromBits(n * 9600, idx);
}

bool TKVXModCommProt::SwitchToAutoBaudrate() {
  auto lock = LockComm();
  if (!lock) return false;
  try {
    kvxprot::SetReadTimeouts(Port_.get(), static_cast<int>(platform::MAXDWORD), 0, 200);
    Port_->WriteText("BR " + std::to_string(ModBaudrateFactor(AutoBaudrate_)) + "\r");
    // The module answers at the old rate; drain it, however long the line talks.
    const kvxprot::TLineBound bound(Port_.get(), 200, ShortReplyLimit);
    std::string buf;
    for (std::size_t n = 0; n < ShortReplyLimit && !bound.Passed(); ++n)
      if (Port_->ReadText(buf, 1) <= 0) break;
  } catch (...) {
    // The check at the new rate tells whether the switch worked.
  }
  try {
    SetBaudRate(AutoBaudrate_);
  } catch (...) {
    return false;
  }
  std::string reply;
  return SendCommand("ID\r", "ID", ">", reply, 200);
}

bool TKVXModCommProt::Connect() {
  auto lock = LockComm();
  if (!lock) return false;
  LastConnectError_.clear();
  ClearListsLocked();
  ModuleLoaded_ = false;
  FillParameterList(0);
  bool result = false;
  try {
    if (!Port_->Connected()) {
      if (TransferMode() == tmHalfDuplex) {
        if (BaudRate() != mb19200) SetBaudRate(mb19200);
      } else if (!AutoBaudDetection_ && BaudRate() != FixBaudrate_) {
        SetBaudRate(FixBaudrate_);
      }
      Port_->Open();
    }
    result = Port_->Connected();
  } catch (const EComPort& e) {
    LastConnectError_ = OpenFailureText(e);
    return false;
  } catch (const std::exception& e) {
    LastConnectError_ = e.what();
    return false;
  } catch (...) {
    LastConnectError_ = "the port cannot be opened";
    return false;
  }
  if (!result) {
    LastConnectError_ = "the port cannot be opened";
    return false;
  }
  if (result) ConnectBaudrate_ = BaudRate();
  if (result && !BootloaderMode_ && AutoBaudDetection_ && TransferMode() == tmFullDuplex) {
    TModBaudrate found = mb9600;
    result = DetectBaudrate(found);
    if (result) ConnectBaudrate_ = found;
    if (result && SetModuleBaudrate(BaudRate()) && AutoSetBaudrate_) result = SwitchToAutoBaudrate();
  }
  if (!result) LastConnectError_ = "no module answers";
  return result;
}

// ---- Identification -----------------------------------------------------------------------------

bool TKVXModCommProt::IdentifyModule(std::string& IdText) {
  auto lock = LockComm();
  if (!lock) return false;
  TStoppable stoppable(this);
  ModuleLoaded_ = false;
  ModuleId_.clear();
  RemoteCtrlAvailable_ = false;
  RemoteCtrlOn_ = false;
  UseProcessDataBlock_ = false;
  // A stop or a failure leaves no half-built module (nor the one before) behind: the window shows
  // no module, as before any identification.
  auto dropped = [this] {
    DropModuleLocked();
    return false;
  };

  std::string reply;
  IdentifyUnanswered_ = false;
  if (!Progress(pgsIdentify, 0, 0)) return dropped();
  if (!SendCommand("ID\r", "ID", ">", reply, 200)) {
    IdentifyUnanswered_ = true;
    return dropped();
  }
  const std::string text = CutReply(reply, 2);

  bool ok = text.find("error") == std::string::npos;
  if (ok) {
    if (!Progress(pgsReadListing, 0, 0)) return dropped();
    std::string listing;
    ok = ReadCommandList(listing);
  }
  // A listing lost with the line is no reason to look for a fallback file.
  if (!ok && OnReadoutError && !LineHungUp()) {
    // The handler may supply the listing, e.g. from a fallback file named after the module.
    TStringList ext;
    OnReadoutError(this, text, ext);
    ok = ParseCommandList(kvxprot::JoinLines(ext));
  }
  if (!ok) return dropped();

  if (!Progress(pgsIdentify, 0, 0)) return dropped();
  if (ParameterList_) {
    std::uint16_t code = 0;
    FillParameterList(ReadAccessCode(code) ? code : kAllGroups);
  }

  ok = ReadAllParameters();
  if (!ok) return dropped();
  ModuleLoaded_ = true;

  IdText = text;
  ModuleId_ = text;

  if (!Progress(pgsIdentify, 0, 0)) return dropped();
  bool on = false;
  const bool available = QueryRemoteInfo(on);
  RemoteCtrlAvailable_ = available;
  if (available) RemoteCtrlOn_ = on;

  if (Monitor_) {
    Monitor_->SetProcessDataStructure(ProcessData_.get());
    Monitor_->FireStatusInfoStrucInit(StatusInfoData_.get());
  }
  if (IScopeView* scope = Scope_.load()) scope->SetProcessDataStructure(ProcessData_.get());
  return true;
}

bool TKVXModCommProt::ReadCommandList(std::string& Listing) {
  auto lock = LockComm();
  if (!lock) return false;
  std::string reply;
  if (!Exchange("Readout\r", "READOUT", ">", reply, 2000, ListingReplyLimit)) return false;
  Listing = reply;
  return ParseCommandList(CutReply(reply, 7));
}

bool TKVXModCommProt::ParseCommandList(const std::string& Listing) {
  auto lock = LockComm();
  if (!lock) return false;
  ClearListsLocked();
  for (const std::string& line : SplitLines(Trim(Listing))) {
    std::unique_ptr<TModBaseCommand> cmd = ParseModCommandLine(line);
    if (!cmd) continue;
    if (dynamic_cast<TModProcCommand*>(cmd.get())) {
      ProcessData_->Add(static_cast<TModProcCommand*>(cmd.release()));
    } else if (auto* bit = dynamic_cast<TModStatusBitCommand*>(cmd.get())) {
      if (bit->BActive) StatusInfoData_->Add(static_cast<TModStatusBitCommand*>(cmd.release()));
    } else if (auto* rc = dynamic_cast<TModRemoteCtrlCmd*>(cmd.get())) {
      const std::uint8_t pin = rc->GetPinIndex();
      if (pin >= 1 && pin <= 5) RemoteCtrlCmdList_->Add(static_cast<TModRemoteCtrlCmd*>(cmd.release()));
    } else {
      CommandList_->Add(cmd.release());
    }
  }
  return ProcessData_->Count() > 0 || CommandList_->Count() > 0;
}

bool TKVXModCommProt::ReadAccessCode(std::uint16_t& Code) {
  Code = 0;
  std::string reply;
  if (!SendCommand("ACODE\r", "ACODE", ">", reply, 200)) return false;
  std::int32_t v = 0;
  if (!TryStrToInt(CutReply(reply, 5), v)) return false;
  Code = static_cast<std::uint16_t>(v);
  return true;
}

bool TKVXModCommProt::QueryRemoteInfo(bool& RemoteOn) {
  auto lock = LockComm();
  if (!lock) return false;
  RemoteOn = false;
  bool result = false;
  std::string reply;
  std::string cmd;
  TStringList values;
  // A module that answers "REMOTE" uses another remote-control scheme.
  if (SendCommand("REMOTE\r", "REMOTE", ">", reply, 200) && CheckModAnswer(reply, cmd, values))
    return false;
  if (!SendCommand("RC:M\r", "RC:M", ">", reply, 200)) return false;
  cmd.clear();
  bool on = false;
  if (CheckModAnswer(reply, cmd, values) && values.size() == 1 && TryStrToBool(values[0], on)) {
    result = true;
    RemoteOn = on;
  }
  SendCommand("RC:M ?\r", "RC:M ?", ">", reply, 200);
  RCMHelpText = CutHelpText(reply);
  SendCommand("RC:S ?\r", "RC:S ?", ">", reply, 200);
  RCSHelpText = CutHelpText(reply);
  SendCommand("MODE ?\r", "MODE ?", ">", reply, 200);
  ModeHelpText = CutHelpText(reply);
  return result;
}

bool TKVXModCommProt::SendPassword(const std::string& Password) {
  auto lock = LockComm();
  if (!lock) return false;
  if (!GetPortOpen()) return false;
  // A line break inside would end the command early and send the rest as another command.
  for (char c : Password)
    if (static_cast<unsigned char>(c) < 32) return false;
  std::string reply;
  if (!SendCommand("PASSWORD " + Password + "\r", "", ">", reply, 200)) return false;
  // The first line is the module's echo of the command, password included: only what follows
  // it is the answer.
  const std::size_t eol = reply.find_first_of("\r\n");
  if (eol == std::string::npos) return false;
  const std::string answer = reply.substr(eol);
  if (kvxprot::HasCommandError(answer)) return false;
  for (const std::string& item : SplitDelimitedText(answer, ','))
    if (item == "OK") return true;
  return false;
}

bool TKVXModCommProt::QueryPasswordSupport() {
  auto lock = LockComm();
  if (!lock) return false;
  if (!GetPortOpen()) return false;
  std::string reply;
  return SendCommand("PASSWORD\r", "", ">", reply, 200) && !kvxprot::HasCommandError(reply);
}
