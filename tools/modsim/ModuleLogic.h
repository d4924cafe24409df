// The simulated module's behaviour, free of I/O: it takes the bytes that arrive on its line one
// at a time and says what it sends back, when, and at which rate. PtyModule puts it on a
// pseudo-terminal; tests can also drive it directly.
//
// Every public operation is thread-safe (one internal lock), so a test may read values and
// records or change the controls while a PtyModule thread feeds the module.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tools/modsim/CommandTable.h"

namespace modsim {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// Fixed at construction: what kind of module this is.
struct ModuleOptions {
  int Rate = 19200;            // bit rate the module listens at after power-on (and after its
                               // bootloader, when the application starts again)
  bool HalfDuplex = false;
  int GeneratedParams = 0;     // > 0: a large generated module (see MakeCommandTable)
  int GeneratedCurves = 0;
  std::string IdText = "KVX-SIM 1.20 2026 4711";
  std::string Password = "kvx7";
  // The bootloader's delays, each may be 0: erasing ("1" until "done"), the programming prompt
  // ("2" until "Send file to Program"), writing the last page (the end of the file until the
  // confirmation "Programming done") and the application's start ("G" until the start question).
  Millis EraseTime{300};
  Millis ProgramPromptTime{0};
  Millis ProgramTime{300};
  Millis AppStartTime{500};
  // Writing one S-record into the flash after its CR: what arrives meanwhile is lost (the tool
  // pauses after each record for it). Measured on the line: with pacing on, from the end of the
  // CR to the end of the next byte.
  Millis RecordWriteTime{3};
};

// One piece of output, in order. The sender waits Delay (after the previous piece is on the
// line), then sends Bytes with ByteDelay before each byte, then, when SwitchRate is set, talks at
// that rate from then on. (The module listens at the new rate at once: Rate() has changed when
// Receive returns, since the tool can only send at the new rate after this output.)
struct Output {
  std::string Bytes;
  Millis Delay{0};
  Millis ByteDelay{0};
  int SwitchRate = 0;
  bool Reply = false;    // part of an answer (everything after the echoed command characters)
  bool Faulted = false;  // held back on purpose (slow or pause): a tool may rightly time out
  bool Talk = false;     // the endless talk of SetTalkOnce
};

// Ways to corrupt what the module sends.
enum class Garble {
  None,
  WrongEcho,      // every echoed letter or digit is replaced by the next one
  CorruptReply,   // the answer text (not the line ends and prompt) has its bytes altered
};

struct WriteRecord {
  std::string Name;   // as the module knows it: "GAIN", "CURVE:-3", "RC:S", "RC:6", ...
  std::string Value;  // the value text as received (trimmed)
  bool operator==(const WriteRecord&) const = default;
};

class ModuleLogic {
 public:
  explicit ModuleLogic(ModuleOptions options = {});

  // --- Feeding the module --------------------------------------------------------------
  // One byte taken off the line at `now`. `overlapped` tells that it arrived while the module
  // was still answering (or, in half duplex, still sending anything): a correct tool never does
  // that, so the module notes a violation where it matters. `misread` tells a byte the module's
  // UART made of bytes sent at another rate: the module takes it like any byte (echoes it, and
  // answers the garbled line with "command error"), but it is no violation of the tool's.
  // `earliest`, when given, is the earliest the byte can have arrived (a server that reads the
  // line late knows its arrival only between the two): the bootloader then loses a byte only
  // when it surely came while a record was still being written.
  std::vector<Output> Receive(char c, Clock::time_point now, bool overlapped = false,
                              bool misread = false,
                              std::optional<Clock::time_point> earliest = std::nullopt);
  // Timers: the bootloader's time-outs. Call now and then (the server does every 50 ms).
  std::vector<Output> Poll(Clock::time_point now);

  // --- Line and behaviour controls ----------------------------------------------------
  int Rate() const;                 // the rate the module listens at now
  void SetRate(int bitsPerSecond);  // 9600, 19200, 38400, 57600 or 115200; others are ignored
  bool HalfDuplex() const;
  void SetHalfDuplex(bool on);
  void SetCmdPrompt(bool on);               // prompt "CMD>" instead of ">"
  void SetSilent(bool on);                  // answers nothing, not even the echo
  bool Silent() const;
  void SetSlowDelay(Millis perReplyByte);   // delay before each reply byte (0: off)
  // One pause before byte `offset` of the next reply (counted from the first byte after the
  // echoed command characters; past its end: before its last byte).
  void SetPauseOnce(std::size_t offset, Millis pause);
  // The next answer keeps talking: right after the echoed command characters the module sends
  // digits and line ends (never a prompt) for `duration`, a byte every `gap` (0: as fast as the
  // line carries them at its rate), and only then its answer. A line that never falls silent.
  void SetTalkOnce(Millis duration, Millis gap = Millis{0});
  // Answer "command error" to every line whose command word (first blank-separated token,
  // any case) is `word`, e.g. "ID", "GAIN", "CURVE:0".
  void SetCommandError(const std::string& word, bool on = true);
  void SetGarble(Garble g);
  void SetIdText(const std::string& text);
  void SetListingAvailable(bool on);        // off: "Readout" answers "command error"
  void SetSaveCommandListed(bool on);       // a "SAVE" action in the listing
  void SetRemoteControl(bool on);           // off: another remote scheme ("REMOTE" answered)
  void SetPasswordSupport(bool on);         // off: "PASSWORD" answers "command error"
  void SetStatusWord(std::optional<std::uint16_t> word);  // fixed status word; none: live
  void SetDigitalInputs(std::uint8_t inputs);
  // Pins a process value (raw), or lets it run again with std::nullopt.
  void SetProcessValue(const std::string& name, std::optional<int> raw);
  // Sets a parameter as a write would (same checks), without recording it. False if refused.
  bool SetValueText(const std::string& name, const std::string& value);

  // --- What the module holds ----------------------------------------------------------
  std::string IdText() const;
  std::string ListingText() const;           // the lines of the "Readout" answer, CR LF between
  std::vector<std::string> ListingLines() const;
  std::string StatusCommand() const;         // name of the first active status bit
  std::uint16_t StatusWord(Clock::time_point now) const;
  std::uint16_t AccessCode() const;
  std::string ModeName() const;              // "ALL", "SYSTEM", ...
  bool RemoteOn() const;                     // "RC:M 1" given
  std::uint8_t DigitalInputs() const;
  bool PasswordAccepted() const;
  // The value text as the module answers it, without quotes; empty for an unknown name.
  // Curves: see CurvePoint. Process values: the raw value at `now`.
  std::string ValueText(const std::string& name) const;
  std::optional<std::pair<int, int>> CurvePoint(const std::string& name, int index) const;
  int ProcessValue(const std::string& name, Clock::time_point now) const;
  std::vector<std::string> ProcessValueNames() const;
  bool InBootloader() const;
  // The bootloader takes an S19 file, which has begun: when its bytes arrive matters (see
  // RecordWriteTime).
  bool TakingFile() const;
  bool Saved() const;  // the values equal the stored set (after SAVE, DEFAULT+SAVE, LOADBACK)

  // --- Records for tests ----------------------------------------------------------------
  std::vector<std::string> ReceivedCommands() const;  // every command line / bootloader key
  std::vector<WriteRecord> Writes() const;             // every write the module applied
  std::vector<std::string> Violations() const;         // what a correct tool never sends
  std::vector<std::string> Downloads() const;          // "DOWNLOAD" blocks received
  std::string S19Text() const;   // text received by the last "2" (program) step
  std::map<std::uint32_t, std::uint8_t> FlashImage() const;
  int FlashEraseCount() const;
  void ClearRecords();
  // Waits until at least `count` command lines were received. False on time-out.
  bool WaitForCommands(std::size_t count, Millis timeout) const;

 private:
  enum class State { Command, DownloadBlock, BootMenu, BootProgram, BootAsk };
  struct Reply;

  std::vector<Output> ReceiveCommandChar(char c, Clock::time_point now, bool overlapped,
                                         bool misread);
  std::vector<Output> ReceiveBootChar(char c, Clock::time_point now, bool overlapped, bool misread,
                                      Clock::time_point earliest);
  std::vector<Output> EndOfLine(Clock::time_point now);
  std::vector<Output> EndOfDownload();
  // `earliest`: the earliest the record's CR can have come.
  std::vector<Output> EndOfRecord(Clock::time_point earliest);
  std::vector<Output> FinishProgramming(bool ok);
  Reply Dispatch(const std::string& line, Clock::time_point now);
  Reply Answer(const std::string& text) const;
  Reply Refuse(const std::string& violation = {});
  std::vector<Output> Send(const Reply& reply);
  std::string Prompt() const;
  char EchoOf(char c) const;

  int Find(const std::string& name) const;  // index into defs_ of a listed command, or -1
  bool Listed(const CommandDef& d) const;
  bool ApplyWrite(int index, int point, const std::string& value, bool dryRun, bool& malformed);
  std::string AnswerValue(int index, Clock::time_point now) const;
  std::string ValueTextLocked(int index) const;
  int ProcessValueLocked(int index, Clock::time_point now) const;
  std::uint16_t StatusWordLocked(Clock::time_point now) const;
  std::uint16_t AccessCodeLocked() const;
  std::string ListingLocked() const;
  void Restart();
  void Violation(const std::string& what);
  void RecordCommand(const std::string& line);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;

  // What the module is.
  ModuleOptions options_;
  std::vector<CommandDef> defs_;
  std::map<std::string, int> index_;  // upper-case name -> defs_ index
  Clock::time_point start_;

  // Its memory.
  std::vector<CommandValue> values_, saved_;
  std::map<std::string, int> pinned_;  // process values held fixed
  int rate_ = 19200;
  int powerOnRate_ = 19200;
  bool halfDuplex_ = false;
  bool remoteOn_ = false;
  std::uint8_t inputs_ = 0;
  bool unlocked_ = false;
  std::string mode_ = "ALL";
  std::optional<std::uint16_t> statusWord_;

  // Controls.
  bool cmdPrompt_ = false;
  bool silent_ = false;
  Millis slow_{0};
  std::optional<std::pair<std::size_t, Millis>> pause_;
  std::optional<std::pair<Millis, Millis>> talk_;  // duration, gap
  std::set<std::string> errorWords_;
  Garble garble_ = Garble::None;
  std::string idText_;
  bool listing_ = true;
  bool saveListed_ = false;
  bool remoteScheme_ = true;
  bool passwords_ = true;

  // Input state.
  State state_ = State::Command;
  std::string line_;
  bool lineOverflow_ = false;
  bool lineOverlapped_ = false;
  bool lineMisread_ = false;    // the line holds garbage from a wrong rate
  std::string lastCommand_;
  Clock::time_point lastInput_{};
  std::string record_;        // S-record being received
  bool recordMisread_ = false;  // the record holds garbage from a wrong rate
  bool recordLost_ = false;     // the record's start came while the last one was written
  bool lossReported_ = false;   // a loss was noted in this transfer
  Clock::time_point recordWritten_{};  // the flash write of the last record ends then
  int dataRecords_ = 0;         // data records (S1, S2, S3) of this transfer so far
  bool programFailed_ = false;
  std::map<std::uint32_t, std::uint8_t> programData_;
  // The flash holds an application: false after an erase until a programming with data succeeds
  // (and after a failed one). "G" starts only an application that is there.
  bool application_ = true;
  bool startRefused_ = false;  // "G" found no application, no menu key since

  // Records.
  std::vector<std::string> commands_;
  std::vector<WriteRecord> writes_;
  std::vector<std::string> violations_;
  std::vector<std::string> downloads_;
  std::string s19_;
  std::map<std::uint32_t, std::uint8_t> flash_;
  int erases_ = 0;
};

}  // namespace modsim
