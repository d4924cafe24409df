// Operating modes and polling: the mode switch, the monitor poll on the thread timer, the scope
// poll on the scope's sample-timer thread, the binary process-data block, and the terminal's
// receive and key paths.
#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "protocol/osDRUVModProt.h"
#include "protocol/osDRUVModProtUtil.h"

namespace {

constexpr int kProcessValueTimeoutMs = 20;
// How long a scope poll waits for the line while the window thread uses it.
constexpr int kLineBusyWaitMs = 100;
constexpr int kStatusTimeoutMs = 2000;
// A line of a text file sent to a half-duplex line waits for its echo and answer as long as an
// exchange with the default timeout.
constexpr int kTextLineTimeoutMs = 3000;
constexpr std::uint32_t kFastMonitorMs = 320;
constexpr std::uint32_t kSlowMonitorMs = 500;
// The fast monitor period needs few enough values and a line faster than 9600 bit/s.
constexpr int kFastMonitorMaxValues = 10;
// Prompt texts after a binary block: ">" or "CMD>", and nothing much else.
constexpr std::size_t kMaxBlockTrailer = 8;

constexpr double kMsPerDay = 24.0 * 60.0 * 60.0 * 1000.0;

// Reads one character; false when the read timed out.
bool ReadOne(TComPort* Port, std::string& Buf, char& C) {
  if (Port->ReadText(Buf, 1) <= 0 || Buf.empty()) return false;
  C = Buf[0];
  return true;
}

// The "PD" exchange. Everything between the module's echo "PD" and its prompt is the block:
// two header bytes (where a module that ends its echo line, as for every command, puts its
// CR LF), then two bytes for each process value. The block is binary: any byte, the prompt's ">"
// and line ends included, may be a data byte, so it is taken by its length and only then is the
// prompt awaited.
bool ExchangeBlock(TComPort* Port, TTransferMode Mode, std::size_t Length, std::string& Block) {
  Block.clear();
  static const std::string kCmd = "PD\r";
  static const std::string kEcho = "PD";
  kvxprot::SetReadTimeouts(Port, static_cast<int>(platform::MAXDWORD), 0, kProcessValueTimeoutMs);
  if (!Port->Connected()) return false;
  Port->PurgeBuffers(true, true);
  // It ends at the prompt: reading ahead takes nothing that another read wants.
  kvxprot::TLineReader line(Port);
  char c = 0;
  if (Mode == tmFullDuplex) {
    Port->WriteText(kCmd);
    // Before its echo a module sends little; a line that keeps talking is not answering.
    const kvxprot::TLineBound bound(Port, kProcessValueTimeoutMs, ShortReplyLimit);
    std::string echo;
    while (!kvxprot::EndsWithNoCase(echo, kEcho)) {
      if (bound.Passed() || !line.Next(c)) return false;
      echo.push_back(c);
      if (echo.size() > kEcho.size()) echo.erase(0, echo.size() - kEcho.size());
    }
  } else {
    // Each character alone: the line's own copy comes back first, then the module's echo; the
    // CR has only its copy, the module's answer to it is the block.
    std::string echo;
    for (char out : kCmd) {
      if (Port->WriteText(std::string(1, out)) <= 0) return false;
      if (!line.Next(c)) return false;  // the line's copy
      if (out == '\r') break;
      if (!line.Next(c)) return false;  // the module's echo
      echo.push_back(c);
    }
    if (!kvxprot::StartsWithNoCase(echo, kEcho)) return false;
  }
  while (Block.size() < Length) {
    if (!line.Next(c)) return false;
    Block.push_back(c);
  }
  std::string trailer;
  while (trailer.empty() || trailer.back() != '>') {
    if (trailer.size() >= kMaxBlockTrailer || !line.Next(c)) return false;
    trailer.push_back(c);
  }
  return true;
}

}  // namespace

// ---- Mode switch ------------------------------------------------------------------------------

void TKVXModCommProt::SetOperatingMode(std::uint8_t Mode) {
  {
    // A scope poll on the sample-timer thread holds the exchange lock while it talks to the
    // module and stays Busy until its samples are handed over: the mode changes only after it.
    auto lock = LockComm();
    if (!lock) return;
    while (Busy_.load()) platform::Sleep(1);
    OperatingMode_ = Mode;
    AttachPortRxChar(Mode == 1);
    ScopeStartTime_ = Now();
    // Polling (re)starts: its next stop is news again.
    PollStopReported_ = false;
    switch (Mode) {
      case 2: {
        const bool fast = ProcessData_->Count() <= kFastMonitorMaxValues &&
                          ModBaudrates[std::min<int>(BaudRate(), ModBaudrateCount - 1)] > 9600;
        PollTimer_->Start(fast ? kFastMonitorMs : kSlowMonitorMs, true);
        break;
      }
      case 3:
        ScopeTime_ = Now();
        PollTimer_->Stop();
        break;
      default:
        PollTimer_->Stop();
        break;
    }
  }
  if (IScopeView* scope = Scope_.load()) scope->SetEnabled(Mode == 3);
}

// ---- Monitor poll -----------------------------------------------------------------------------

void TKVXModCommProt::MonitorTimerTick(TObject*) {
  PollErrorState_ = 0;
  {
    auto lock = LockComm();
    if (!lock) return;
    if (!ModuleLoaded_.load() || !Monitor_ || OperatingMode_.load() != 2) return;
    if (LineHungUp()) {
      // Nothing can answer on a line that hung up: stop without sending.
      PollTimer_->Stop();
      PollErrorState_ = 1;
    } else {
      MonitorPoll();
    }
  }
  if (PollErrorState_.load() == 1) ReportPollStop();
}

void TKVXModCommProt::MonitorPoll() {
  const kvxprot::TFlagScope gather(GatherReplies_);
  // Process values: a value that does not answer is skipped for this tick; a tick in which none
  // answers stops the polling.
  const int count = ProcessData_->Count();
  int failed = 0;
  std::string reply;
  for (int i = 0; i < count; ++i) {
    const std::string name = ProcessData_->GetName(i);
    if (!SendCommand(name + "\r", name, ">", reply, kProcessValueTimeoutMs)) {
      ++failed;
    } else {
      const TDateTime stamp = Now();
      std::string cmd;
      TStringList values;
      std::int32_t v = 0;
      if (CheckModAnswer(reply, cmd, values) && values.size() == 1 && TryStrToInt(values[0], v)) {
        UpdateInfo_->CmdName = cmd;
        UpdateInfo_->Values = values;
        TASCIIProcDataObj rec(&v, sizeof v, false, stamp);
        rec.Index = ProcessData_->IndexOf(cmd);
        if (Monitor_) Monitor_->NewProcessData(&rec);
      }
    }
    if (failed >= count) {
      PollTimer_->Stop();
      PollErrorState_ = 1;
    }
  }

  // The status word, spread over the status bits.
  if (StatusInfoData_->Count() > 0) {
    const std::string name = StatusInfoData_->GetName(0);
    if (SendCommand(name + "\r", name, ">", reply, kStatusTimeoutMs)) {
      std::string cmd;
      TStringList values;
      std::int32_t v = 0;
      std::uint16_t mask = 0;
      if (CheckModAnswer(reply, cmd, values) && values.size() == 1 && TryStrToInt(values[0], v) &&
          StatusInfoData_->UpdateStatus(static_cast<std::uint16_t>(v), mask) && Monitor_)
        Monitor_->FireNewStatusInfo(mask);
    }
  }

  // The digital inputs.
  std::uint8_t state = 0;
  if (ReadRemoteState(state) && OnDigitalInputStateInfo) OnDigitalInputStateInfo(this, state);
}

// ---- Scope poll -------------------------------------------------------------------------------

bool TKVXModCommProt::PollScopeData() {
  IScopeView* scope = nullptr;
  std::unique_ptr<TASCIIProcDataObj> records[4];
  std::unique_ptr<TBINProcDataObj> block;
  try {
    // The lock first, then Busy: a reset holding the lock waits for Busy to fall, so a poll
    // must never be Busy while it still waits for the lock. The wait is bounded: while the
    // window thread keeps the line (a long operation, or one that lets the window handle events
    // meanwhile, during which the scope timer may be killed from there), this sample is skipped
    // instead of holding the timer's thread, and a kill of the timer never waits on the line.
    // (Tried in short steps rather than with a timed lock, which thread checkers cannot follow.)
    std::unique_lock<std::recursive_mutex> lock(CommLock_, std::defer_lock);
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kLineBusyWaitMs);
    while (!lock.try_lock()) {
      if (std::chrono::steady_clock::now() >= giveUp) return true;
      platform::Sleep(1);
    }
    kvxprot::TFlagScope busy(Busy_);
    scope = Scope_.load();
    // After a mode change nothing more is polled, and nothing is handed to the scope.
    if (!ModuleLoaded_.load() || !scope || OperatingMode_.load() != 3) return true;
    // A line that hung up fails every sample, also one that polls no channel.
    if (LineHungUp()) return false;

    if (UseProcessDataBlock_.load()) {
      std::vector<std::uint8_t> data;
      int size = 0;
      if (!ReadProcessDataBlock(data, size)) return false;
      block = std::make_unique<TBINProcDataObj>(data.data(), size, true, Now());
    } else {
      ScopeTime_ += static_cast<double>(scope->DataSampleRate()) / kMsPerDay;
      std::string signal[4];
      for (int ch = 0; ch < 4; ++ch) signal[ch] = scope->ChannelSignalName(ch + 1);
      std::string reply;
      const kvxprot::TFlagScope gather(GatherReplies_);
      for (int i = 0; i < ProcessData_->Count() && OperatingMode_.load() == 3; ++i) {
        const std::string name = ProcessData_->GetName(i);
        int channel = -1;
        for (int ch = 0; ch < 4 && channel < 0; ++ch)
          if (!signal[ch].empty() && signal[ch] == name) channel = ch;
        if (channel < 0) continue;
        if (!SendCommand(name + "\r", name, ">", reply, kProcessValueTimeoutMs)) return false;
        std::string cmd;
        TStringList values;
        std::int32_t v = 0;
        if (!CheckModAnswer(reply, cmd, values) || values.size() != 1 ||
            !TryStrToInt(values[0], v))
          continue;
        auto rec = std::make_unique<TASCIIProcDataObj>(&v, sizeof v, false, ScopeTime_);
        rec->Index = ProcessData_->IndexOf(cmd);
        records[channel] = std::move(rec);
      }
    }
    // The samples go to the scope while still Busy (a reset waits for them) but outside the
    // exchange lock: the scope's own handlers must not be able to hold up the line.
    lock.unlock();
    if (block)
      scope->AddProcessData(block.get());
    else
      scope->AddScopeData(records[0].get(), records[1].get(), records[2].get(), records[3].get());
    return true;
  } catch (...) {
    // Called on the timer's thread: nothing may leave it. A view's failure fails this sample.
    return false;
  }
}

// ---- Polling that stops by itself ---------------------------------------------------------------

bool TKVXModCommProt::LineHungUp() const {
  try {
    return Port_ && Port_->LineHungUp();
  } catch (...) {
    return false;
  }
}

void TKVXModCommProt::ReportPollStop() {
  const bool hungUp = LineHungUp();
  // A hang-up closes the port, so it cannot be reported twice; a silent module once per stop.
  if (PollStopReported_.exchange(true) && !hungUp) return;
  if (hungUp) {
    // Release the device at once: an adapter plugged in again gets the same name, and a name
    // still held open here would not reach the new device.
    try {
      ResetModuleData();
    } catch (...) {
      // The port is closed all the same.
    }
    // Without its port the bootloader mode could never be switched off.
    BootloaderMode_ = false;
  }
  if (OnModuleLost)
    OnModuleLost(this, hungUp ? llkHangUp : llkNoAnswer,
                 hungUp ? "the line hung up (adapter unplugged or module gone)"
                        : "the module does not answer");
}

bool TKVXModCommProt::ReadProcessDataBlock(std::vector<std::uint8_t>& Data, int& Size) {
  Data.clear();
  Size = 0;
  auto lock = LockComm();
  if (!lock) return false;
  // Two header bytes, then two bytes for each process value of the listing.
  const std::size_t length = 2 + 2 * static_cast<std::size_t>(ProcessData_->Count());
  std::string block;
  try {
    if (!ExchangeBlock(Port_.get(), TransferMode(), length, block)) return false;
  } catch (...) {
    return false;  // a port error is a failed read
  }
  Data.assign(block.begin(), block.end());
  Size = static_cast<int>(Data.size());
  return true;
}

// ---- Terminal ---------------------------------------------------------------------------------

void TKVXModCommProt::PortRxChar(TObject*, int Count) {
  // The port's receive event, delivered in the window thread: it must not throw.
  try {
    // Outside terminal mode nothing is read here: return before the exchange lock, which a scope
    // poll on its own thread may hold, so the window thread never stalls on received characters.
    if (OperatingMode_.load() != 1 || !Terminal_ || Count <= 0) return;
    auto lock = LockComm();
    if (!lock) return;
    if (OperatingMode_.load() != 1 || !Terminal_) return;
    // What is there already, without waiting.
    kvxprot::SetReadTimeouts(Port_.get(), static_cast<int>(platform::MAXDWORD), 0, 0);
    std::string text;
    if (Port_->ReadText(text, Count) <= 0 || text.empty()) return;
    std::size_t first = 0;
    if (TransferMode() == tmHalfDuplex) {
      // The line's own copy of the key just typed is not shown a second time.
      const char echo = TerminalEcho_.exchange(0);
      if (echo != 0 && text[0] == echo) first = 1;
    }
    for (std::size_t i = first; i < text.size() && Terminal_; ++i) Terminal_->PutChar(text[i]);
  } catch (...) {
    HandleApplicationException(this, std::current_exception());
  }
}

bool TKVXModCommProt::SendTerminalKey(char Key) {
  const bool result = OperatingMode_.load() == 1;
  if (!result) return false;
  auto lock = LockComm();
  if (!lock) return false;
  if (!GetPortOpen()) return result;
  try {
    if (Port_->WriteText(std::string(1, Key)) <= 0) return false;
  } catch (...) {
    return false;  // an unplugged adapter: the key did not go out
  }
  TerminalEcho_ = TransferMode() == tmHalfDuplex ? Key : 0;
  return result;
}

bool TKVXModCommProt::SendTextCharHalfDuplex(char C, bool& Echoing) {
  auto lock = LockComm();
  if (!lock) return false;
  TComPort* port = Port_.get();
  kvxprot::SetReadTimeouts(port, static_cast<int>(platform::MAXDWORD), 0, kTextLineTimeoutMs);
  if (port->WriteText(std::string(1, C)) != 1) return false;
  std::string buf;
  char c = 0;
  if (!ReadOne(port, buf, c)) return false;  // the line's own copy
  auto show = [this](const std::string& Text) {
    for (char ch : Text)
      if (Terminal_) Terminal_->PutChar(ch);
  };
  if (!Echoing) {
    // Whatever the module says meanwhile, without waiting for it.
    kvxprot::SetReadTimeouts(port, static_cast<int>(platform::MAXDWORD), 0, 0);
    if (const int n = port->InputCount(); n > 0 && port->ReadText(buf, n) > 0) show(buf);
    return true;
  }
  if (!ReadOne(port, buf, c)) {
    Echoing = false;  // the module does not echo: nothing to wait for from now on
    return true;
  }
  show(buf);
  if (C != '\r') return true;
  // The rest of the answer, up to the prompt: the next line goes out only after it.
  const kvxprot::TLineBound bound(port, kTextLineTimeoutMs, ListingReplyLimit);
  for (std::size_t n = 0; c != '>' && n < ListingReplyLimit && !bound.Passed(); ++n) {
    if (!ReadOne(port, buf, c)) break;
    show(buf);
  }
  return true;
}

void TKVXModCommProt::TerminalKeyPress(TObject*, char Key, std::string&) {
  try {
    SendTerminalKey(Key);
  } catch (...) {
    HandleApplicationException(this, std::current_exception());
  }
}
