// The bootloader dialogue (enter, leave, erase, prepare programming), the firmware transfer of an
// S19 file, the terminal-driven bootloader mode and the sending of a text file to the terminal
// line.
#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "model/osFileUtils.h"
#include "protocol/osDRUVModProt.h"
#include "protocol/osDRUVModProtUtil.h"
#include "protocol/osS19File.h"

namespace {

using Clock = std::chrono::steady_clock;

// The bootloader's pause after each record, to write what it received.
constexpr unsigned kRecordPauseMs = 10;
// The bootloader's confirmation after the last record: the longest wait for one character.
constexpr std::uint32_t kConfirmTotalMs = 2000;
// Leaving the bootloader: the start question arrives after the switch to the application rate.
constexpr std::uint32_t kLeaveTotalMs = 3000;
constexpr std::uint32_t kLeaveIntervalMs = 1000;
constexpr int kEraseTimeoutMs = 6000;
// Looking for the application at one rate: the answer to "y", then to "ID" (the identification's
// own timeout).
constexpr int kRateProbeMs = 200;
constexpr int kDefaultTimeoutMs = -1;  // the exchange's own default
// Between the last byte at one rate and the port's change of rate: the module takes the byte
// at the rate it was sent with, whatever the driver's buffering.
constexpr unsigned kRateChangeSettleMs = 10;
// From the end of the module's echo to its bootloader listening at the new rate.
constexpr unsigned kBootloaderStartMs = 20;

// The bit rate of a rate index (the fastest for an index past the table).
int BitsOf(TModBaudrate Index) { return ModBaudrates[std::min<int>(Index, ModBaudrateCount - 1)]; }

// After the port reopened at the bootloader's rate: the module's echo of the command's last
// characters (a CR comes back as two) at the old rate, then its jump to the bootloader.
unsigned BootloaderStartMs(TModBaudrate OldIndex) {
  return kBootloaderStartMs + static_cast<unsigned>(3 * 10 * 1000 / BitsOf(OldIndex));
}

bool Contains(const std::string& S, const std::string& Part) {
  return S.find(Part) != std::string::npos;
}

bool ContainsNoCase(const std::string& S, const std::string& Part) {
  return UpperCaseAnsi(S).find(UpperCaseAnsi(Part)) != std::string::npos;
}

// Walks a text as the bootloader line gets it: line feeds and backspaces are left out; a line
// feed that ends a line on its own (a file written with line feeds only) is sent as the
// carriage return the bootloader needs. Calls Send(byte) for each byte that goes out and
// Done(position) after each byte of the text, sent or not. Stops when either returns false.
template <class SendFn, class DoneFn>
bool WalkLineText(const std::string& Text, SendFn Send, DoneFn Done) {
  for (std::size_t i = 0; i < Text.size(); ++i) {
    char out = Text[i];
    bool send = true;
    if (out == '\n') {
      if (i > 0 && Text[i - 1] == '\r')
        send = false;
      else
        out = '\r';
    } else if (out == '\b') {
      send = false;
    }
    if (send && !Send(out)) return false;
    if (!Done(i + 1, send)) return false;
  }
  return true;
}

// The lines of a text as WalkLineText sends it: each carriage return that goes out ends one, and
// a last line without one counts too.
int CountSentLines(const std::string& Text) {
  int lines = 0;
  bool open = false;
  WalkLineText(
      Text,
      [&](char C) {
        open = C != '\r';
        if (!open) ++lines;
        return true;
      },
      [](std::size_t, bool) { return true; });
  return lines + (open ? 1 : 0);
}

// Keeps the transfer to the pace of the line. The driver takes bytes far faster than the line
// carries them, so after a record's carriage return the transfer first waits until the record
// has crossed the line at the port's rate, and only then gives the receiver its pause: the pause
// after each record is a real gap on the line.
class TLinePacer {
 public:
  explicit TLinePacer(int Bits)
      : ByteTime_(std::chrono::nanoseconds(10'000'000'000LL / std::max(Bits, 1))),
        LineFree_(Clock::now()) {}
  void Sent(char C) {
    LineFree_ = std::max(LineFree_, Clock::now()) + ByteTime_;
    if (C != '\r') return;
    platform::SleepUntil(LineFree_);
    platform::Sleep(kRecordPauseMs);
  }
  // How long the line still carries what was written.
  std::chrono::milliseconds Remaining() const {
    return std::chrono::ceil<std::chrono::milliseconds>(
        std::max(LineFree_ - Clock::now(), Clock::duration::zero()));
  }

 private:
  Clock::duration ByteTime_;
  Clock::time_point LineFree_;
};

// The port's receive handler is off while the bootloader dialogue reads the line itself, and
// back on afterwards when it was on before, also when the operation is left early.
class TRxHandlerOff {
 public:
  // Attach switches the handler and returns whether it was on.
  explicit TRxHandlerOff(std::function<bool(bool)> Attach)
      : Attach_(std::move(Attach)), WasOn_(Attach_(false)) {}
  ~TRxHandlerOff() {
    if (WasOn_) Attach_(true);
  }
  TRxHandlerOff(const TRxHandlerOff&) = delete;
  TRxHandlerOff& operator=(const TRxHandlerOff&) = delete;

 private:
  std::function<bool(bool)> Attach_;
  bool WasOn_;
};

}  // namespace

// ---- Bootloader dialogue ------------------------------------------------------------------------

bool TKVXModCommProt::SendBootloaderLeaveKey() {
  if (TransferMode() == tmFullDuplex) {
    Port_->WriteText("G");
    platform::Sleep(kRateChangeSettleMs);
    Port_->Close();
    Port_->SetBaudRate(ModBaudrateToPortBaud(FixBaudrate_));
    BaudRate_ = FixBaudrate_;
    Port_->Open();
    return false;
  }
  std::string reply;
  SendCommand("G", "G", "G", reply, kDefaultTimeoutMs);
  return !reply.empty();
}

bool TKVXModCommProt::LeaveBootloader() {
  const bool fdx = TransferMode() == tmFullDuplex;
  std::string reply;
  const bool answered = SendBootloaderLeaveKey();
  bool result = false;
  if (ReadBetween(Port_.get(), "", "", reply, kLeaveTotalMs, kLeaveIntervalMs))
    result = SendCommand("y", "", ">", reply, kDefaultTimeoutMs);
  else
    result = answered;
  if (result) {
    if (fdx) {
      // The application's answer goes through the receive handler (terminal).
      Port_->WriteText("ID\r");
    } else {
      // On a two-wire line a whole command at once would collide with the module's echo of its
      // first characters: it goes character by character.
      SendCommand("ID\r", "ID", ">", reply, 200);
      ShowInTerminal(reply);
    }
    return true;
  }
  // The application starts at its own power-on rate, which need not be the fixed one: then its
  // start question was not heard (or heard garbled) and the module still waits for the answer.
  if (fdx && AutoBaudDetection_) return AnswerStartQuestionAtModuleRates();
  return false;
}

bool TKVXModCommProt::AnswerStartQuestionAtModuleRates() {
  // The rate found at connect first (most likely the module's power-on rate), then the others.
  TModBaudrate order[ModBaudrateCount];
  int count = 0;
  if (ConnectBaudrate_) order[count++] = *ConnectBaudrate_;
  for (int i = 0; i < ModBaudrateCount; ++i) {
    const auto rate = static_cast<TModBaudrate>(i);
    if (!ConnectBaudrate_ || rate != *ConnectBaudrate_) order[count++] = rate;
  }
  std::string reply;
  for (int i = 0; i < count; ++i) {
    ApplyPortRate(order[i]);
    Port_->PurgeBuffers(true, true);
    // At a wrong rate the module gets garbage, which its start question does not take as an
    // answer; only the application's answer to "ID" tells that it runs at this rate.
    SendCommand("y", "", ">", reply, kRateProbeMs);
    if (SendCommand("ID\r", "ID", ">", reply, kRateProbeMs)) {
      // The bootloader's menu: it started no application (none to start, as after an erase with
      // nothing programmed). The line stays at the rate the bootloader talks at.
      if (Contains(reply, "FLASH erase command")) return false;
      ShowInTerminal(reply);
      return true;
    }
  }
  ApplyPortRate(FixBaudrate_);
  return false;
}

void TKVXModCommProt::ShowInTerminal(const std::string& Text) {
  // What the receive handler would have shown of an answer read by an exchange.
  if (Terminal_ && OperatingMode_.load() == 1)
    for (char c : Text) Terminal_->PutChar(c);
}

bool TKVXModCommProt::BootloaderStep(int Step) {
  if (Step < 0 || Step > 3) return false;
  auto lock = LockComm();
  if (!lock) return false;
  TRxHandlerOff detach([this](bool On) { return AttachPortRxChar(On); });
  const bool fdx = TransferMode() == tmFullDuplex;
  std::string reply;
  bool result = false;
  try {
    if (Step == 0) {
      ResetModuleData();
      Port_->Open();
      if (fdx) {
        // The module jumps to its bootloader without answering; the bootloader talks at 57600.
        Port_->WriteText("BOOTLOADER\r");
        platform::Sleep(kRateChangeSettleMs);
        Port_->Close();
        const TBaudRate oldRate = Port_->BaudRate();
        const TModBaudrate oldIndex = BaudRate();
        Port_->SetBaudRate(br57600);
        BaudRate_ = mb57600;
        Port_->Open();
        // The close waited for the command to cross the line; the module's echo of its last
        // characters still follows at the old rate before it jumps: a key sent into that would
        // be lost or taken by the application.
        platform::Sleep(BootloaderStartMs(oldIndex));
        result = SendCommand("\r", "DRUVTEC", ">", reply, kDefaultTimeoutMs);
        if (!result) {
          // Back to where the module was: the port's rate and the rate index agree again.
          Port_->Close();
          Port_->SetBaudRate(oldRate);
          BaudRate_ = oldIndex;
          Port_->Open();
        }
      } else {
        result = SendCommand("BOOTLOADER\r", "BOOTLOADER", ">", reply, kDefaultTimeoutMs) &&
                 Contains(reply, "FLASH erase command");
      }
      return result;
    }

    if (!Port_->Connected()) return false;
    Port_->PurgeBuffers(true, true);
    switch (Step) {
      case 1:
        result = LeaveBootloader();
        break;
      // The answer must also have ended: in half duplex a reply cut short is kept, and its
      // first words alone do not make an erase that never finished a done one.
      case 2:
        result = SendCommand("1", fdx ? "Erasing" : "1", ">", reply, kEraseTimeoutMs) &&
                 Contains(reply, "Erasing");
        break;
      case 3:
        result = SendCommand("2", fdx ? "Send" : "2", "Program", reply, kDefaultTimeoutMs) &&
                 Contains(reply, "Send file");
        break;
      default:
        break;
    }
  } catch (...) {
    // An unplugged adapter or a port that does not open: the step failed.
    return false;
  }
  return result;
}

// ---- Firmware transfer ----------------------------------------------------------------------------

bool TKVXModCommProt::CheckFirmwareFile(const std::string& FileName, std::string* Reason) {
  std::string text, error;
  if (LoadFileBytes(FileName, text, &error) != flrOk) {
    if (Reason) *Reason = error;
    return false;
  }
  int line = 0;
  const TS19Check result = CheckS19Text(text, &line);
  if (Reason) *Reason = result == TS19Check::Ok ? std::string() : S19CheckText(result, line);
  return result == TS19Check::Ok;
}

bool TKVXModCommProt::SendFirmwareFile(const std::string& FileName,
                                       const TFirmwareProgressEvent& Progress) {
  // The whole file is read and checked first: a file that cannot be read or is not good
  // S-record text is refused before a single byte goes to the bootloader.
  std::string file;
  if (!ReadWholeFile(FileName, file) || CheckS19Text(file) != TS19Check::Ok) return false;
  // Position for position with the file, so the progress counts the file's bytes.
  const std::string text = S19TransferText(file);

  auto lock = LockComm();
  if (!lock) return false;
  TRxHandlerOff detach([this](bool On) { return AttachPortRxChar(On); });
  try {
    if (!Port_->Connected()) return false;
    // Nothing the bootloader said before the file counts; what it says after the file's first
    // byte stays in the port's buffer for the confirmation, however soon it comes.
    Port_->PurgeBuffers(true, false);
    const auto max = static_cast<std::int64_t>(text.size());
    if (Progress) Progress(0, max);

    TLinePacer pacer(BitsOf(BaudRate()));
    const int lines = CountSentLines(text);
    int linesDone = 0;
    bool lineStart = true;
    const bool sent = WalkLineText(
        text,
        [&](char C) {
          // Once a record has begun the bootloader needs the rest of it: nothing stops here.
          if (lineStart) TKVXModCommProt::Progress(pgsSendFirmware, linesDone, lines);
          lineStart = C == '\r';
          if (lineStart) ++linesDone;
          // A byte that does not go out is a failed transfer, never a finished one.
          if (Port_->WriteText(std::string(1, C)) != 1) return false;
          pacer.Sent(C);
          return true;
        },
        [&](std::size_t Position, bool) {
          if (Progress) Progress(static_cast<std::int64_t>(Position), max);
          return true;
        });
    if (!sent) return false;
    TKVXModCommProt::Progress(pgsSendFirmware, lines, lines);

    // The confirmation comes after the last record has crossed the line: its wait includes what
    // the line still has to carry of the file.
    const auto totalMs = kConfirmTotalMs + static_cast<std::uint32_t>(pacer.Remaining().count());
    std::string reply;
    if (!ReadBetween(Port_.get(), "Programming", ">", reply, totalMs, 0)) return false;
    // The bootloader also ends its error report with "Programming ... >".
    return !ContainsNoCase(reply, "error");
  } catch (...) {
    // A write error or an unplugged adapter part way: the transfer failed.
    return false;
  }
}

// ---- Terminal-driven bootloader ------------------------------------------------------------------

void TKVXModCommProt::SetBootloaderMode(bool Active) {
  if (Active == BootloaderMode_.load()) return;
  auto lock = LockComm();
  if (!lock) return;
  try {
    if (Active) {
      ResetModuleData();
      BootloaderMode_ = true;
      SetOperatingMode(1);
      Port_->Open();
      if (TransferMode() == tmFullDuplex) {
        // The bootloader's greeting reaches the terminal through the receive handler.
        const TModBaudrate oldIndex = BaudRate();
        Port_->WriteText("BOOTLOADER\r");
        platform::Sleep(kRateChangeSettleMs);
        Port_->Close();
        Port_->SetBaudRate(br57600);
        BaudRate_ = mb57600;
        Port_->Open();
        // A key typed at once must not reach the module before its bootloader listens.
        platform::Sleep(BootloaderStartMs(oldIndex));
      } else {
        std::string reply;
        SendCommand("BOOTLOADER\r", "BOOTLOADER", ">", reply, kDefaultTimeoutMs);
        // Past the echoed command word: the bootloader's banner.
        if (Terminal_ && reply.size() > 10)
          for (std::size_t i = 10; i < reply.size(); ++i) Terminal_->PutChar(reply[i]);
      }
      return;
    }
    if (!Port_->Connected()) return;
    BootloaderMode_ = false;
    Port_->PurgeBuffers(true, true);
    SendBootloaderLeaveKey();
  } catch (...) {
    // A port that does not open or an unplugged adapter: the mode stays as far as it got, but a
    // mode switched on without an open port is not on (nothing could switch it off again).
    if (Active && !Port_->Connected()) BootloaderMode_ = false;
  }
}

// ---- Text file to the terminal line --------------------------------------------------------------

bool TKVXModCommProt::SendTextFile(const std::string& FileName) {
  std::string text;
  // A file for the bootloader (the classic firmware send) cannot be stopped once begun: the
  // flash would keep a part image, which leaving the bootloader starts as the application.
  const bool firmware = BootloaderMode_.load();
  std::optional<TStoppable> stoppable;
  if (firmware)
    Stopped_ = false;
  else
    stoppable.emplace(this);
  if (!ReadWholeFile(FileName, text)) return false;
  // And it goes as the bootloader takes it: nothing after the end record, which the bootloader
  // would take for its keys, no blanks at the ends of lines, no end-of-file mark.
  if (firmware) text = S19TransferText(text);
  auto lock = LockComm();
  if (!lock) return false;
  try {
    // The module's answers appear in the terminal meanwhile: through the receive handler, or in
    // half duplex, where each character waits for its echo (and each line for its answer) so
    // that nothing is sent while the module talks, through those reads themselves.
    const bool hdx = TransferMode() == tmHalfDuplex;
    std::optional<TRxHandlerOff> rxOff;
    if (hdx) rxOff.emplace([this](bool On) { return AttachPortRxChar(On); });
    // A bootloader taking a file echoes nothing: only the line's own copies come back.
    bool echoing = !BootloaderMode_.load();
    TLinePacer pacer(BitsOf(BaudRate()));
    const int lines = CountSentLines(text);
    int linesDone = 0;
    bool lineStart = true;
    const bool sent = WalkLineText(
        text,
        [&](char C) {
          // A stop takes effect between two lines only: a line begun is sent whole.
          if (lineStart && !Progress(pgsSendText, linesDone, lines)) return false;
          lineStart = C == '\r';
          if (lineStart) ++linesDone;
          if (hdx ? !SendTextCharHalfDuplex(C, echoing) : Port_->WriteText(std::string(1, C)) != 1)
            return false;
          pacer.Sent(C);
          return true;
        },
        [&](std::size_t, bool Sent) {
          if (!Sent) return true;
          if (OnProcessMessages) OnProcessMessages(this);
          // Between two characters the receive handler may read the line: the module's answers
          // reach the terminal as they come.
          if (platform::MainThread::IsCurrent()) platform::MainThread::CheckSynchronize();
          return true;
        });
    if (sent) Progress(pgsSendText, lines, lines);
    return sent;
  } catch (...) {
    return false;  // a write error or an unplugged adapter
  }
}
