// The module protocol component: the one object through which the rest of the tool talks to a
// module over its serial line. It owns the port, the monitor poll timer, the four command lists
// of the identified module and the carrier of parsed replies; it refers to the views it feeds
// (parameter list, terminal, monitor, scope) without owning them.
//
// Threads: everything runs in the window thread except PollScopeData, which the scope's sample
// timer calls on its own thread. One recursive lock is held for every whole exchange, so the
// exchanges of the two threads never interleave on the line; a reset waits for a running poll.
//
// Failures: operations return a Boolean or a small result code. Serial-port errors raised inside
// an exchange are caught and become a failed result; nothing here shows a message.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/MyGlobalUtils.h"
#include "model/osDRUVModProtBase.h"
#include "model/osWinUtils.h"
#include "platform/Component.h"
#include "protocol/ViewInterfaces.h"
#include "protocol/osAdvTimer.h"
#include "serial/CPort.h"

// ---- Rates and line use -----------------------------------------------------------------------

// The bit rates a module may listen at.
enum TModBaudrate : std::uint8_t { mb9600, mb19200, mb38400, mb57600, mb115200 };
constexpr int ModBaudrateCount = 5;

// 9600 .. 115200, indexed by TModBaudrate.
extern const int ModBaudrates[ModBaudrateCount];
// "9.6 KBaud" .. "115.2 KBaud", indexed by TModBaudrate.
extern const char* const ModBaudrateNames[ModBaudrateCount];

// Full duplex: the PC sees only the module's output. Half duplex: the PC also receives its own
// transmitted characters.
enum TTransferMode : std::uint8_t { tmFullDuplex, tmHalfDuplex };
// "FDX", "HDX", indexed by TTransferMode.
extern const char* const TransferModeNames[2];

// Help texts of the last identification: captions of the analog inputs, the digital inputs and
// the mode buttons. Window thread only.
extern std::string RCMHelpText;
extern std::string RCSHelpText;
extern std::string ModeHelpText;

// The index of a bit rate; false, with Index one past the table, when there is none.
bool ModBaudrateFromBits(int Bits, TModBaudrate& Index);
// The index of a display name (exact comparison); false, with Index one past the table, when
// there is none.
bool ModBaudrateFromName(const std::string& Name, TModBaudrate& Index);
// The serial port's rate value of an index; brCustom (0) for an index past the table.
TBaudRate ModBaudrateToPortBaud(TModBaudrate Index);
// The factor sent with "BR ": the bit rate divided by 9600 (1, 2, 4, 6, 12); 0 past the table.
int ModBaudrateFactor(TModBaudrate Index);

// Splits a module identification ("NAME 1.20 word 4711"): item 1 the name, item 2 the version
// (with the user's decimal separator), item 4 the number. False when it has fewer than four
// items; Number -1, Name empty and Version -1.0 stand for what did not split or convert.
bool SplitModuleId(const std::string& ModuleId, int& Number, std::string& Name, double& Version);

// ---- Exchanges on the line ----------------------------------------------------------------------

// Lengths real answers never reach: a short command's (its echo, a line or two of values, a
// banner, a help text), and the command listing's (every command of a large module, about a
// hundred bytes each: 300 parameters are some 30 KB).
constexpr std::size_t ShortReplyLimit = 4096;
constexpr std::size_t ListingReplyLimit = 128 * 1024;

// One command and its answer in full duplex: the module echoes the command, then answers up to
// Terminator. Reply begins with Echo as given. TimeoutMs bounds the silence between two
// characters (negative: 3000). On failure Reply is empty. Port errors give false.
// A line that keeps talking fails the exchange: an answer longer than MaxReplyBytes, or one
// still going after TimeoutMs plus the line time of the command and MaxReplyBytes.
// With Gather (the polls), the answer is read in pieces of a few characters (see GatherPause).
bool ExchangeFullDuplex(TComPort* Port, const std::string& Cmd, const std::string& Echo,
                        const std::string& Terminator, std::string& Reply, int TimeoutMs,
                        std::size_t MaxReplyBytes = ShortReplyLimit, bool Gather = false);
// The same in half duplex: each character is written alone, the line's own copy of it is read
// and dropped, then the module's echo is kept. Reply keeps what arrived, also on failure. Each
// character of the command takes two reads, so only the answer after it can be drawn out: it
// has the same bounds as in full duplex.
bool ExchangeHalfDuplex(TComPort* Port, const std::string& Cmd, const std::string& Echo,
                        const std::string& Terminator, std::string& Reply, int TimeoutMs,
                        std::size_t MaxReplyBytes = ShortReplyLimit);
// Writes nothing: reads until StartText has arrived (then Reply := StartText), then until
// EndText has arrived or the line falls silent. An empty text counts as seen at once. True when
// both were seen and Reply is not empty; else Reply is empty. Nothing is purged first: an answer
// that came before the call (a bootloader that confirms at once) is read, not lost; a caller
// that must not see older input purges before it sends what is answered. A line that keeps
// talking ends it as a failure after a short answer's length or TotalMs plus that length's line
// time.
bool ReadBetween(TComPort* Port, const std::string& StartText, const std::string& EndText,
                 std::string& Reply, std::uint32_t TotalMs, std::uint32_t IntervalMs);

// ---- Events and carriers ----------------------------------------------------------------------

// The questions a file load asks the user through OnInfoMsg.
enum TKVXCommProtMsgKind : std::uint8_t { cpmkImpFktNoValidModulId, cpmkImpFktOverWriteQuestion };

// How the last parameter-file operation ended, beyond its result: whether the user declined it,
// and why the file could not be used.
enum TFileErrorKind : std::uint8_t {
  fekNone,      // done, or stopped for a reason the result itself tells (no module, wrong module,
                // a file without usable content, a value the module refused)
  fekDeclined,  // the user answered no to the operation's question; nothing was changed
  fekFailed,    // the file could not be read or written, or is not well-formed XML: Text says why
};

struct TFileError {
  TFileErrorKind Kind = fekNone;
  // With fekFailed: the file name and the reason ("m.par: No space left on device").
  std::string Text;
};

// What the last parameter download did with the file's parameters.
struct TDownloadReport {
  struct TNotWritten {
    std::string Name;
    std::string Reason;  // "unknown name", "read-only", "beyond 32 bits", ...
  };
  // The file's values were taken in (not so for no module, a module that does not match, a file
  // without parameters, or a "#" block the module interprets itself).
  bool Values = false;
  bool Online = false;    // to the module; else into the offline data
  int Total = 0;          // the file's parameters (a curve counts once)
  int Done = 0;           // of those, gone through (fewer after a stop or a lost line)
  int Written = 0;        // written to the module (offline: loaded); a curve counts once
  bool LineLost = false;  // the line hung up: nothing was sent after that
  std::vector<TNotWritten> NotWritten;  // in file order, each name once
};

// What the module on the line answers to "ID", measured against the stored identification.
enum TModuleIdCheck : std::uint8_t {
  micSameModule,   // the identification stored
  micOtherModule,  // an answer, but another identification
  micNoAnswer,     // no answer (also on a closed port)
};

// A dialog's modal result; 1 (OK) means yes.
using TModalResult = int;

using TDigitalInputStateInfoEvent = std::function<void(TObject* Sender, std::uint8_t State)>;
// The handler may fill ExtCmdList with listing lines (from a fallback file of the module).
using TModReadoutErrorEvent =
    std::function<void(TObject* Sender, const std::string& ModID, TStringList& ExtCmdList)>;
using TModParaDownloadErrEvent = std::function<void(TObject* Sender, TStringList& CmdErrList)>;
using TModIdSelectEvent = std::function<void(TObject* Sender, TStringList& IdList, int& SelIdx)>;
using TCommProtMsgInfoEvent =
    std::function<void(TObject* Sender, TKVXCommProtMsgKind MsgKind, TModalResult& Result)>;
// Raised around long module work started from the grid (true: show the busy cursor, false:
// restore it). Nothing happens while it is unset.
using TBusyCursorEvent = std::function<void(TObject* Sender, bool Busy)>;
// Raised where a long transfer lets the window process its pending events.
using TProcessMessagesEvent = std::function<void(TObject* Sender)>;
// Progress of a firmware transfer: bytes done of all bytes of the file.
using TFirmwareProgressEvent = std::function<void(std::int64_t Position, std::int64_t Max)>;
// What a long operation is doing, for the window's progress display.
enum TProgressStep : std::uint8_t {
  pgsConnect,          // looking for the module's rate: Position of Max tries
  pgsIdentify,         // asking for the identification, the access code, the help texts
  pgsReadListing,      // reading the module's command listing
  pgsReadParameters,   // Position of Max parameters read
  pgsWriteParameters,  // Position of Max parameters (of a ".par" file: lines) written
  pgsSendText,         // Position of Max lines of a text file sent to the line
  pgsSendFirmware,     // Position of Max records of a firmware file sent to the bootloader
};
// Raised before each command (or line) of a long operation, Position counting what is done.
// Setting Stop ends a stoppable operation there (identification, both downloads, a text file):
// the command in flight has been answered and nothing half sent stays on the line. The others
// ignore it. Window thread.
using TProgressEvent =
    std::function<void(TObject* Sender, TProgressStep Step, int Position, int Max, bool& Stop)>;
// Why polling stopped by itself: the module stopped answering, or the line hung up (adapter
// pulled, the module's end of the line gone).
enum TLineLossKind : std::uint8_t { llkNoAnswer, llkHangUp };
// Raised on the window thread, once per stop of the polling. With llkHangUp the port has been
// closed and the module data reset (the device is released, so the same name opens again when
// it is back); with llkNoAnswer the port stays open, so polling can be restarted. Reason is a
// short text for the user.
using TModuleLostEvent =
    std::function<void(TObject* Sender, TLineLossKind Kind, const std::string& Reason)>;

// One parsed reply: the command it belongs to and its value texts.
class TCmdUpdateInfo : public TObject {
 public:
  TStringList Values;
  std::string CmdName;
};

// ---- The component ----------------------------------------------------------------------------

class TKVXModCommProt : public TosBaseMsgComponent {
 public:
  explicit TKVXModCommProt(platform::TComponent* AOwner = nullptr);
  ~TKVXModCommProt() override;

  // ---- Properties (window thread) ----
  // The setters that close and reopen the port (BaudRate, PortName, PortOpen, TransferMode,
  // FixBaudrate, AutoBaudDetection) pass the port's EComPort on to the caller when the device
  // cannot be opened; the port is then left closed.

  int DelayOnSendFirmwareData() const { return DelayOnSendFirmwareData_; }
  void SetDelayOnSendFirmwareData(int Value) { DelayOnSendFirmwareData_ = Value; }
  // The rate index the port is set to. Setting it reopens an open port at the new rate.
  TModBaudrate BaudRate() const { return BaudRate_.load(); }
  void SetBaudRate(TModBaudrate Value);
  // The serial port's name ("COM1" by default, "ttyUSB0", a link name in ports/, or a path).
  const std::string& PortName() const { return PortName_; }
  void SetPortName(const std::string& Value);
  TTransferMode TransferMode() const { return TransferMode_.load(); }
  void SetTransferMode(TTransferMode Value);
  bool GetPortOpen() const;
  bool PortOpen() const { return GetPortOpen(); }
  void SetPortOpen(bool Value);
  // After a successful detection, move module and port to AutoBaudrate.
  bool AutoSetBaudrate() const { return AutoSetBaudrate_; }
  void SetAutoSetBaudrate(bool Value) { AutoSetBaudrate_ = Value; }
  TModBaudrate AutoBaudrate() const { return AutoBaudrate_; }
  void SetAutoBaudrate(TModBaudrate Value) { AutoBaudrate_ = Value; }
  // The rate used when no detection runs.
  TModBaudrate FixBaudrate() const { return FixBaudrate_; }
  void SetFixBaudrate(TModBaudrate Value);
  bool AutoBaudDetection() const { return AutoBaudDetection_; }
  void SetAutoBaudDetection(bool Value);

  // The views. Each call into a view is skipped while none is attached; a view that goes away
  // is forgotten (when it is also a platform::TComponent).
  IMonitorView* Monitor() const { return Monitor_; }
  void SetMonitor(IMonitorView* Value);
  // Attaching installs ParamListWriteRequest as the list's send request.
  IParamListView* ParameterList() const { return ParameterList_; }
  void SetParameterList(IParamListView* Value);
  // Attaching installs TerminalKeyPress as the terminal's key input.
  ITerminalView* Terminal() const { return Terminal_; }
  void SetTerminal(ITerminalView* Value);
  IScopeView* Scope() const { return Scope_.load(); }
  // Returns when no running scope poll still uses the previous view. The scope's sample entry
  // points must therefore never wait for the window thread or call back into this component.
  void SetScope(IScopeView* Value);

  // Read: asks the module ("RC:M"). Write: switches the module's remote control on or off.
  bool GetRemoteCtrlEnabled();
  bool RemoteCtrlEnabled() { return GetRemoteCtrlEnabled(); }
  void SetRemoteCtrlEnabled(bool Value);

  // ---- State the main window reads ----

  TComPort* Port() const { return Port_.get(); }
  TosThreadTimer_SL* PollTimer() const { return PollTimer_.get(); }
  TModCommandList* CommandList() const { return CommandList_.get(); }
  TModProcessData* ProcessData() const { return ProcessData_.get(); }
  TModStatusInfoData* StatusInfoData() const { return StatusInfoData_.get(); }
  TModRemoteCtrlCommandList* RemoteCtrlCmdList() const { return RemoteCtrlCmdList_.get(); }
  TCmdUpdateInfo* UpdateInfo() const { return UpdateInfo_.get(); }
  // Module identified and all its parameters read.
  bool ModuleLoaded() const { return ModuleLoaded_.load(); }
  // The module answered the remote-control queries.
  bool RemoteCtrlAvailable() const { return RemoteCtrlAvailable_.load(); }
  bool RemoteCtrlOn() const { return RemoteCtrlOn_.load(); }
  // Identification text of the last identification or offline load.
  const std::string& ModuleId() const { return ModuleId_; }
  // 0 none, 1 terminal, 2 monitor, 3 scope.
  std::uint8_t OperatingMode() const { return OperatingMode_.load(); }
  // 0 none, 1 monitor polling stopped, 2 scope polling stopped (set by the main window).
  std::uint8_t PollErrorState() const { return PollErrorState_.load(); }
  void SetPollErrorState(std::uint8_t Value) { PollErrorState_ = Value; }
  // True while a scope poll runs.
  bool Busy() const { return Busy_.load(); }
  bool BootloaderMode() const { return BootloaderMode_.load(); }
  bool GetBootloaderActive() const { return BootloaderMode_.load(); }
  // Local time of creation and of the last mode change; ScopeTime: stamp of the last scope sample.
  TDateTime ScopeStartTime() const { return ScopeStartTime_; }
  TDateTime ScopeTime() const { return ScopeTime_; }
  // Half duplex: the last key sent from the terminal, expected back first; 0 when none.
  char TerminalEcho() const { return TerminalEcho_.load(); }
  // Read the scope's samples as one binary block ("PD"); off unless a caller switches it on.
  bool UseProcessDataBlock() const { return UseProcessDataBlock_.load(); }
  void SetUseProcessDataBlock(bool Value) { UseProcessDataBlock_ = Value; }

  // ---- Events (all unset after construction) ----

  TDigitalInputStateInfoEvent OnDigitalInputStateInfo;
  TModReadoutErrorEvent OnReadoutError;
  TModParaDownloadErrEvent OnParaDownloadError;
  TModIdSelectEvent OnModIdSelRequest;
  TCommProtMsgInfoEvent OnInfoMsg;
  TBusyCursorEvent OnBusyCursor;
  TProcessMessagesEvent OnProcessMessages;
  TProgressEvent OnProgress;
  // Runs Work (which touches nothing but its own data) while the window stays alive, e.g. on
  // another thread while the window thread waits for it; unset, Work runs in place.
  std::function<void(const std::function<void()>& Work)> OnRunAside;
  TModuleLostEvent OnModuleLost;

  // ---- Command exchange ----

  // Writes Cmd, recognises Echo and collects the answer up to Terminator, by TransferMode.
  // TimeoutMs bounds the silence between two received characters (negative: 3000 ms); the
  // answer has the bounds of a short one (ShortReplyLimit). Holds the exchange lock for the
  // whole exchange. False with an empty Reply while the port is closed.
  virtual bool SendCommand(const std::string& Cmd, const std::string& Echo,
                           const std::string& Terminator, std::string& Reply, int TimeoutMs);
  // SendCommand, and a reply containing "command error" counts as failed: for every command
  // whose success is the exchange itself (writes, SAVE, DEFAULT, Loadback, RC:M n, RC:S n, ...).
  bool SendCheckedCommand(const std::string& Cmd, const std::string& Echo,
                          const std::string& Terminator, std::string& Reply, int TimeoutMs);
  // One character out, everything until 500 ms of silence in Reply; true when anything came.
  virtual bool ExchangeRaw(char Ch, std::string& Reply);
  // A lone CR; true when the module's prompt comes back within 40 ms per character.
  bool CheckPrompt();
  // "ID" again; true when the module answers with the stored ModuleId.
  bool CheckModuleId();
  // "ID" again, telling a module that does not answer from another module.
  TModuleIdCheck CompareModuleId();

  // ---- Component ----

  // Offline (port closed) only the command's change event fires; online it is written.
  void ParamListWriteRequest(TObject* Sender, TModCtrlCommand* Cmd);
  // The name part of ModuleId; empty when it does not split.
  void GetModuleIdName(std::string& Name) const;
  virtual void ClearCommandLists();
  // Waits for a running scope poll, closes the port, clears the lists and flags, stops the poll
  // timer and empties the parameter list.
  void ResetModuleData();
  // The body of the message thread, which is never started.
  void MsgThreadExecute() override;

  // ---- Connection and rate ----

  // Finds the module's rate: "ID" at each rate from 9600 upward, Passes passes (at most 5).
  bool DetectBaudrate(TModBaudrate& Index, int Passes = 5);
  // Asks the module for the rate of Index ("BR n") and checks its answer; the port stays.
  virtual bool SetModuleBaudrate(TModBaudrate Index);
  // Moves module and port to AutoBaudrate and checks the module at the new rate.
  bool SwitchToAutoBaudrate();
  // Opens the port and, in full duplex with detection on, finds the module's rate.
  bool Connect();
  // Why the last Connect failed: the port's error text, or that no module answers; empty after
  // a successful one.
  const std::string& LastConnectError() const { return LastConnectError_; }
  // True when the open port's line has hung up. Any thread.
  bool LineHungUp() const;
  // Window thread, after polling stopped by itself (the monitor tick calls it; the window calls
  // it once it has stopped the scope timer after failed polls) or after work that found the line
  // hung up: finds out why, closes the port of a line that hung up (the terminal-driven
  // bootloader is then off too), and raises OnModuleLost. Once per stop: a second call before
  // polling runs again does nothing, unless the open port's line has hung up since.
  void ReportPollStop();

  // ---- Identification ----

  // ID, listing, access code, every parameter, remote-control queries; feeds the views.
  bool IdentifyModule(std::string& IdText);
  // "Readout": the raw reply in Listing, parsed into the four lists.
  virtual bool ReadCommandList(std::string& Listing);
  // Builds the four lists from listing lines; true when a command or process value came out.
  virtual bool ParseCommandList(const std::string& Listing);
  bool ReadAccessCode(std::uint16_t& Code);
  // Remote-control availability, its state, and the three help texts.
  bool QueryRemoteInfo(bool& RemoteOn);
  bool SendPassword(const std::string& Password);
  bool QueryPasswordSupport();

  // ---- Parameter read ----

  bool ReadParameter(TModCtrlCommand* Cmd);
  virtual bool ReadAllParameters();
  // Assigns value texts to a command by its kind, without a change event.
  bool AssignReplyValues(TModCtrlCommand* Cmd, const TStringList* Values);

  // ---- Parameter write ----

  // Writes one parameter, reads it back and follows its group bits (re-identify, re-read,
  // refill the parameter list).
  bool WriteParameter(TModCtrlCommand* Cmd);
  // Writes every text, number, analog-input and curve parameter; failed names go to FailList.
  bool WriteAllParameters(TStringList* FailList);
  bool RefreshParameterList();
  // Applies UpdateInfo to the command of that name and fires its change event.
  virtual void ApplyUpdateInfo();

  // ---- Operating modes and polling ----

  void SetOperatingMode(std::uint8_t Mode);
  // The poll timer's handler (window thread). A tick that stops the polling reports it
  // (ReportPollStop) after the tick's reads.
  void MonitorTimerTick(TObject* Sender);
  // One scope sample set; called on the scope's sample-timer thread. Holds the exchange lock
  // while it talks to the module and sets Busy only while holding it; Busy stays set until the
  // samples are handed to the scope (outside the lock), so a reset or a mode change waits for a
  // running poll. The scope's sample entry points it calls must never wait for the window thread.
  bool PollScopeData();
  // The binary process-data block ("PD"): header bytes and 16-bit values, read by its length.
  bool ReadProcessDataBlock(std::vector<std::uint8_t>& Data, int& Size);
  // The port's receive handler: in terminal mode the received characters go to the terminal.
  void PortRxChar(TObject* Sender, int Count);
  bool SendTerminalKey(char Key);
  void TerminalKeyPress(TObject* Sender, char Key, std::string& Response);

  // ---- Module commands ----

  bool SaveInModule();
  bool LoadDefaults();
  bool Loadback();
  bool ReadRemoteState(std::uint8_t& State);
  bool WriteRemoteState(std::uint8_t& State);
  bool ReadRemoteCtrlValue(std::uint8_t Pin, std::int32_t& Value);
  bool WriteRemoteCtrlValue(std::uint8_t Pin, std::int32_t& Value);

  // ---- Parameter files (result codes: 0 done, 2 no module, 3 wrong module, 4 file unusable) ----

  bool SaveParameterText(const std::string& FileName);
  std::uint8_t DownloadParameterText(const std::string& FileName, bool SkipIdCheck);
  bool SaveParameterXml(const std::string& FileName);
  std::uint8_t DownloadParameterXml(const std::string& FileName);
  // Offline only: the whole command model of one module from an XML module description.
  bool OpenModuleDescription(const std::string& FileName);
  // How the last of the five operations above ended (declined, or the file's failure and its
  // reason); each of them sets it anew. Window thread only.
  const TFileError& LastFileError() const { return LastFileError_; }
  // What the last of the two downloads did. Window thread only.
  const TDownloadReport& LastDownload() const { return LastDownload_; }
  // True when the last IdentifyModule failed because nothing answered "ID".
  bool LastIdentifyUnanswered() const { return IdentifyUnanswered_; }
  // True when the last stoppable operation (identification, a download, a text file) ended
  // because OnProgress asked it to stop. A stopped identification leaves no module.
  bool LastStopped() const { return Stopped_; }

  // ---- Bootloader and firmware ----

  // 0 enter, 1 leave, 2 erase, 3 prepare programming; other values do nothing (false).
  bool BootloaderStep(int Step);
  // Sends an S19 file and waits for the bootloader's confirmation. Progress may be empty.
  // A file that fails CheckFirmwareFile is refused before anything is sent.
  bool SendFirmwareFile(const std::string& FileName, const TFirmwareProgressEvent& Progress);
  // Reads the S19 file whole and checks every record; false for a file that cannot be read or
  // that the bootloader would not take whole (see TS19Check). Reason, when given, then says why,
  // with the line at fault. To be called before anything goes to the module.
  static bool CheckFirmwareFile(const std::string& FileName, std::string* Reason = nullptr);
  // Terminal-driven bootloader on or off.
  void SetBootloaderMode(bool Active);
  // Sends a text file to the line for the terminal.
  bool SendTextFile(const std::string& FileName);

 protected:
  void Notification(platform::TComponent* AComponent, platform::TOperation Operation) override;

  // The lock held for every whole exchange (and every operation made of several). Recursive:
  // an operation that holds it may call others that take it again. Refused (false, nothing
  // held) to a call its holder's thread makes from work let run in the middle of an operation
  // (the window's events processed while it waits, a modal message's event loop, queued calls
  // served by a wait: a greater platform::PumpDepth): such a call would cut into the line and
  // into what the operation reads. What would write to the line or change the module's state
  // then fails at once and does nothing. The operation's own steps (a handler it calls directly,
  // the queued calls it serves itself) run at its depth and pass.
  class TCommLock {
   public:
    TCommLock() = default;
    TCommLock(TKVXModCommProt* P, std::unique_lock<std::recursive_mutex> Lock)
        : P_(P), Lock_(std::move(Lock)) {}
    TCommLock(TCommLock&& Other) noexcept : P_(Other.P_), Lock_(std::move(Other.Lock_)) {
      Other.P_ = nullptr;
    }
    TCommLock& operator=(TCommLock&&) = delete;
    ~TCommLock() { unlock(); }
    explicit operator bool() const { return P_ != nullptr; }
    void unlock() {
      if (!P_) return;
      --P_->CommDepth_;
      P_ = nullptr;
      Lock_.unlock();
    }

   private:
    TKVXModCommProt* P_ = nullptr;
    std::unique_lock<std::recursive_mutex> Lock_;
  };
  TCommLock LockComm();
  // SendCommand for an answer of up to MaxReplyBytes (the command listing's is long).
  bool Exchange(const std::string& Cmd, const std::string& Echo, const std::string& Terminator,
                std::string& Reply, int TimeoutMs, std::size_t MaxReplyBytes);
  // Half duplex: one character of a text sent to the terminal line, written the way an exchange
  // writes it (the line's own copy, then the module's echo; after a CR the answer up to the
  // prompt), with what the module sends passed to the terminal. Without Echoing (a bootloader
  // taking a file) only the line's own copy is awaited; Echoing is cleared when the module does
  // not echo within the timeout. False when the line does not give the character back.
  bool SendTextCharHalfDuplex(char C, bool& Echoing);
  // Puts PortRxChar on the port's receive event (in terminal mode only), or takes it off.
  // Returns whether it was on before.
  bool AttachPortRxChar(bool Attach);
  // Closes the port, sets its rate to Index (and BaudRate), opens it again if it was open.
  void ApplyPortRate(TModBaudrate Index);
  // Shows or restores the busy cursor through OnBusyCursor.
  void BusyCursor(bool Busy);
  // The curve's 21 write lines (10 down to 0, then -10 up to -1), stopping at the first failure.
  bool WriteCurveLines(TModCCParaCmd* Cmd);
  // One write line "name value" of a text, number, analog-input or other parameter.
  bool WriteValueLine(TModCtrlCommand* Cmd);
  // The module's own listed command of that name written as a parameter, else the fixed line
  // (and, with ReadAll, every parameter read again): save, defaults, load-back.
  bool RunModuleAction(const std::string& ListedName, const std::string& Line,
                       const std::string& Echo, int TimeoutMs, bool ReadAll);
  // Writes one text, number or analog-input line, or a curve's 21 lines; Handled is false (and
  // nothing is sent) for the kinds a full write skips.
  bool WriteParameterValue(TModCtrlCommand* Cmd, bool& Handled);
  // The key that leaves the bootloader: in full duplex "G" and a reopen at the fixed rate, in half
  // duplex the "G" exchange. True when a half-duplex "G" came back.
  bool SendBootloaderLeaveKey();
  // Bootloader step 1: the leave key, then the answer to the application's start question at
  // the fixed rate; with rate detection on, at each module rate in turn when that fails.
  bool LeaveBootloader();
  // Answers the start question at each rate (the one found at connect first) until the
  // application answers "ID"; port and BaudRate stay at that rate. Else back to the fixed rate.
  bool AnswerStartQuestionAtModuleRates();
  // One monitor tick's reads: process values, status word, digital inputs (exchange lock held).
  void MonitorPoll();
  // Shows an answer read by an exchange in the terminal, as the receive handler would have.
  void ShowInTerminal(const std::string& Text);
  // Stores the scope view and returns only when no scope poll still uses the previous one.
  void DetachScope(IScopeView* Value);
  // Frees the remote-control commands and empties all four lists.
  void ClearListsLocked();
  // Refills the attached parameter list from the command list.
  void FillParameterList(std::uint16_t AccessCode);
  // Records the outcome of a parameter-file operation for LastFileError.
  void SetFileError(TFileErrorKind Kind, const std::string& Text = std::string());
  // Reports progress through OnProgress; false when the operation is to stop (then and for the
  // rest of the outermost stoppable operation, without asking again).
  bool Progress(TProgressStep Step, int Position, int Max);
  // Marks the life of a stoppable operation; the outermost one clears the stop of the last.
  class TStoppable {
   public:
    explicit TStoppable(TKVXModCommProt* P) : P_(P) {
      if (P_->StoppableDepth_++ == 0) P_->Stopped_ = false;
    }
    ~TStoppable() { --P_->StoppableDepth_; }
    TStoppable(const TStoppable&) = delete;
    TStoppable& operator=(const TStoppable&) = delete;

   private:
    TKVXModCommProt* P_;
  };
  // Forgets the module: lists emptied, no module loaded, the views told (a stopped or failed
  // load must not leave half a module behind).
  void DropModuleLocked();
  // Runs Work through OnRunAside, or in place.
  void RunAside(const std::function<void()>& Work);

  // A reply less its first HeadLen characters, its last character and a trailing "CMD", trimmed.
  // Too short a reply gives an empty text.
  static std::string CutReply(const std::string& Reply, std::size_t HeadLen);

  // ---- Fields ----

  std::atomic<bool> Busy_{false};
  std::unique_ptr<TComPort> Port_;
  std::unique_ptr<TosThreadTimer_SL> PollTimer_;
  std::string PortName_ = "COM1";
  bool AutoSetBaudrate_ = true;
  TModBaudrate AutoBaudrate_ = mb57600;
  std::unique_ptr<TModCommandList> CommandList_;
  std::unique_ptr<TModProcessData> ProcessData_;
  std::unique_ptr<TModStatusInfoData> StatusInfoData_;
  std::unique_ptr<TModRemoteCtrlCommandList> RemoteCtrlCmdList_;
  std::unique_ptr<TCmdUpdateInfo> UpdateInfo_;
  std::atomic<TModBaudrate> BaudRate_{mb9600};
  std::atomic<bool> ModuleLoaded_{false};
  std::atomic<bool> RemoteCtrlAvailable_{false};
  std::string ModuleId_;
  std::atomic<std::uint8_t> OperatingMode_{0};
  IMonitorView* Monitor_ = nullptr;
  std::atomic<bool> BootloaderMode_{false};
  IParamListView* ParameterList_ = nullptr;
  // Read by the scope poll's thread.
  std::atomic<IScopeView*> Scope_{nullptr};
  ITerminalView* Terminal_ = nullptr;
  // The views as components, for their removal notification (nullptr when not a component).
  platform::TComponent* MonitorComp_ = nullptr;
  platform::TComponent* ParameterListComp_ = nullptr;
  platform::TComponent* ScopeComp_ = nullptr;
  platform::TComponent* TerminalComp_ = nullptr;
  std::atomic<bool> RemoteCtrlOn_{false};
  TModBaudrate FixBaudrate_ = mb9600;
  // The rate the module answered at when the port was connected (found by detection, or the
  // fixed one): where its application is looked for first after the bootloader.
  std::optional<TModBaudrate> ConnectBaudrate_;
  bool AutoBaudDetection_ = true;
  std::atomic<TTransferMode> TransferMode_{tmFullDuplex};
  std::atomic<char> TerminalEcho_{0};
  TDateTime ScopeStartTime_ = 0;
  TDateTime ScopeTime_ = 0;
  std::atomic<std::uint8_t> PollErrorState_{0};
  int DelayOnSendFirmwareData_ = 0;
  std::atomic<bool> UseProcessDataBlock_{false};
  std::string LastConnectError_;
  TFileError LastFileError_;
  TDownloadReport LastDownload_;
  bool IdentifyUnanswered_ = false;
  // Set when a stop of the polling has been reported; cleared when polling starts again.
  std::atomic<bool> PollStopReported_{false};
  // The stop asked through OnProgress, and the depth of stoppable operations running.
  bool Stopped_ = false;
  int StoppableDepth_ = 0;

 private:
  // Remembers the view as a component (when it is one) and asks to be told when it goes.
  template <class V>
  void WatchView(platform::TComponent*& Slot, V* View);
  std::recursive_mutex CommLock_;
  // Written by the lock's holder only: how often it holds the lock, and its pump depth when it
  // took it first.
  int CommDepth_ = 0;
  int CommPumpDepth_ = 0;
  // While a poll's exchanges run (under the lock): their answers are read in pieces.
  std::atomic<bool> GatherReplies_{false};
};
