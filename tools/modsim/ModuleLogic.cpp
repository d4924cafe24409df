#include "tools/modsim/ModuleLogic.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "tools/modsim/SRecord.h"

namespace modsim {

namespace {

constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kMaxBlock = 65536;
constexpr std::size_t kMaxRecord = 600;
constexpr int kBootloaderRate = 57600;
constexpr Millis kRecordIdle{200};      // a last record without CR counts after this silence
// The file is over when no byte came for this long: the image is written (a file needs no end
// record), or the transfer fails when it stopped inside a record. Well below the two seconds a
// tool waits for the confirmation, well above its pause after each record.
constexpr Millis kTransferIdle{1000};
constexpr Millis kBlockIdle{5000};      // a download block that never ends is dropped

const char* const kBanner =
    "\r\nDRUVTEC bootloader V1.00\r\n1: FLASH erase command\r\n2: Program FLASH\r\nG: Go\r\n>";
const char* const kAnalogHelp = "Setpoint Velocity Force Position Auxiliary input";
const char* const kDigitalHelp = "Enable Start Reset Jog+ Jog- Home Teach Spare input";
const char* const kModeHelp = "SYSTEM IO_CONFIG START_UP POSITION OUTPUT P_STAGE ";

struct ModeDef {
  const char* Name;
  std::uint16_t Groups;
};
const ModeDef kModes[] = {
    {"ALL", 0xFF3C},  // every group but NewTab, NewData, DRUVTEC and Password
    {"SYSTEM", kGrpBasic},     {"IO_CONFIG", kGrpAppli},   {"START_UP", kGrpQEL},
    {"POSITION", kGrpPressure}, {"OUTPUT", kGrpSpecial},   {"P_STAGE", kGrpFree10},
};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperText(const std::string& s) {
  std::string u = s;
  for (auto& c : u) c = Upper(c);
  return u;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return UpperText(a) == UpperText(b); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> SplitBlanks(const std::string& s) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (IsBlank(c)) {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

// Decimal only, optional sign, must fit 32 bits: the module's own number syntax.
bool ParseInt(const std::string& s, int& out) {
  std::size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  if (i >= s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (neg) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

// Text values with blanks or commas go out in double quotes, so the reply splits into one item.
std::string Quote(const std::string& t) {
  if (t.find_first_of(" ,\"") == std::string::npos) return t;
  std::string q = "\"";
  for (char c : t) {
    q += c;
    if (c == '"') q += '"';
  }
  return q + "\"";
}

std::string Unquote(const std::string& t) {
  if (t.size() < 2 || t.front() != '"' || t.back() != '"') return t;
  std::string u;
  for (std::size_t i = 1; i + 1 < t.size(); ++i) {
    u += t[i];
    if (t[i] == '"' && i + 2 < t.size() && t[i + 1] == '"') ++i;
  }
  return u;
}

std::string Hex2(unsigned char c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(c));
  return buf;
}

bool ValidRate(int r) {
  return r == 9600 || r == 19200 || r == 38400 || r == 57600 || r == 115200;
}

}  // namespace

// A reply is a few pieces: text, an optional delay before it, a rate switch after it.
struct Piece {
  std::string Text;
  Millis Delay{0};
  int SwitchRate = 0;
  bool Data = false;  // answer text proper: what CorruptReply alters
};
struct ModuleLogic::Reply {
  std::vector<Piece> Pieces;
};

ModuleLogic::ModuleLogic(ModuleOptions options)
    : options_(std::move(options)),
      defs_(MakeCommandTable(options_.GeneratedParams, options_.GeneratedCurves)),
      start_(Clock::now()) {
  for (std::size_t i = 0; i < defs_.size(); ++i) {
    index_.emplace(UpperText(defs_[i].Name), static_cast<int>(i));
    values_.push_back(defs_[i].Initial);
  }
  saved_ = values_;
  rate_ = powerOnRate_ = ValidRate(options_.Rate) ? options_.Rate : 19200;
  halfDuplex_ = options_.HalfDuplex;
  idText_ = options_.IdText;
}

// ---------------------------------------------------------------------------------------------
// Controls and queries

int ModuleLogic::Rate() const {
  std::lock_guard lock(mutex_);
  return rate_;
}

void ModuleLogic::SetRate(int bitsPerSecond) {
  std::lock_guard lock(mutex_);
  if (ValidRate(bitsPerSecond)) rate_ = bitsPerSecond;
}

bool ModuleLogic::HalfDuplex() const {
  std::lock_guard lock(mutex_);
  return halfDuplex_;
}

void ModuleLogic::SetHalfDuplex(bool on) {
  std::lock_guard lock(mutex_);
  halfDuplex_ = on;
}

void ModuleLogic::SetCmdPrompt(bool on) {
  std::lock_guard lock(mutex_);
  cmdPrompt_ = on;
}

void ModuleLogic::SetSilent(bool on) {
  std::lock_guard lock(mutex_);
  silent_ = on;
}

bool ModuleLogic::Silent() const {
  std::lock_guard lock(mutex_);
  return silent_;
}

void ModuleLogic::SetSlowDelay(Millis perReplyByte) {
  std::lock_guard lock(mutex_);
  slow_ = perReplyByte < Millis{0} ? Millis{0} : perReplyByte;
}

void ModuleLogic::SetPauseOnce(std::size_t offset, Millis pause) {
  std::lock_guard lock(mutex_);
  pause_ = std::make_pair(offset, pause);
}

void ModuleLogic::SetTalkOnce(Millis duration, Millis gap) {
  std::lock_guard lock(mutex_);
  talk_ = std::make_pair(duration, gap < Millis{0} ? Millis{0} : gap);
}

void ModuleLogic::SetCommandError(const std::string& word, bool on) {
  std::lock_guard lock(mutex_);
  if (on) {
    errorWords_.insert(UpperText(word));
  } else {
    errorWords_.erase(UpperText(word));
  }
}

void ModuleLogic::SetGarble(Garble g) {
  std::lock_guard lock(mutex_);
  garble_ = g;
}

void ModuleLogic::SetIdText(const std::string& text) {
  std::lock_guard lock(mutex_);
  idText_ = text;
}

void ModuleLogic::SetListingAvailable(bool on) {
  std::lock_guard lock(mutex_);
  listing_ = on;
}

void ModuleLogic::SetSaveCommandListed(bool on) {
  std::lock_guard lock(mutex_);
  saveListed_ = on;
}

void ModuleLogic::SetRemoteControl(bool on) {
  std::lock_guard lock(mutex_);
  remoteScheme_ = on;
  if (!on) remoteOn_ = false;
}

void ModuleLogic::SetPasswordSupport(bool on) {
  std::lock_guard lock(mutex_);
  passwords_ = on;
}

void ModuleLogic::SetStatusWord(std::optional<std::uint16_t> word) {
  std::lock_guard lock(mutex_);
  statusWord_ = word;
}

void ModuleLogic::SetDigitalInputs(std::uint8_t inputs) {
  std::lock_guard lock(mutex_);
  inputs_ = inputs;
}

void ModuleLogic::SetProcessValue(const std::string& name, std::optional<int> raw) {
  std::lock_guard lock(mutex_);
  if (raw) {
    pinned_[UpperText(name)] = *raw;
  } else {
    pinned_.erase(UpperText(name));
  }
}

bool ModuleLogic::SetValueText(const std::string& name, const std::string& value) {
  std::lock_guard lock(mutex_);
  bool malformed = false;
  int point = 0;
  int idx = Find(name);
  if (idx < 0) {
    const auto colon = name.find(':');
    if (colon == std::string::npos) return false;
    idx = Find(name.substr(0, colon));
    if (idx < 0 || defs_[static_cast<std::size_t>(idx)].Kind != kCurve ||
        !ParseInt(name.substr(colon + 1), point) || point < kCurveFirst || point > kCurveLast) {
      return false;
    }
  } else if (defs_[static_cast<std::size_t>(idx)].Kind == kCurve) {
    return false;  // a curve is set point by point: "NAME:i"
  }
  return ApplyWrite(idx, point, Trim(value), false, malformed);
}

std::string ModuleLogic::IdText() const {
  std::lock_guard lock(mutex_);
  return idText_;
}

std::string ModuleLogic::ListingText() const {
  std::lock_guard lock(mutex_);
  return ListingLocked();
}

std::vector<std::string> ModuleLogic::ListingLines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  for (const auto& d : defs_) {
    if (Listed(d)) lines.push_back(ListingLine(d));
  }
  return lines;
}

std::string ModuleLogic::StatusCommand() const {
  for (const auto& d : defs_) {
    if (d.Kind == kStatusBit && (d.Field7 & kBitActive)) return d.Name;
  }
  return {};
}

std::uint16_t ModuleLogic::StatusWord(Clock::time_point now) const {
  std::lock_guard lock(mutex_);
  return StatusWordLocked(now);
}

std::uint16_t ModuleLogic::AccessCode() const {
  std::lock_guard lock(mutex_);
  return AccessCodeLocked();
}

std::string ModuleLogic::ModeName() const {
  std::lock_guard lock(mutex_);
  return mode_;
}

bool ModuleLogic::RemoteOn() const {
  std::lock_guard lock(mutex_);
  return remoteOn_;
}

std::uint8_t ModuleLogic::DigitalInputs() const {
  std::lock_guard lock(mutex_);
  return inputs_;
}

bool ModuleLogic::PasswordAccepted() const {
  std::lock_guard lock(mutex_);
  return unlocked_;
}

std::string ModuleLogic::ValueText(const std::string& name) const {
  std::lock_guard lock(mutex_);
  const int idx = Find(name);
  if (idx < 0) return {};
  if (defs_[static_cast<std::size_t>(idx)].Kind == kProcessValue) {
    return std::to_string(ProcessValueLocked(idx, Clock::now()));
  }
  return ValueTextLocked(idx);
}

std::optional<std::pair<int, int>> ModuleLogic::CurvePoint(const std::string& name,
                                                           int index) const {
  std::lock_guard lock(mutex_);
  const int idx = Find(name);
  if (idx < 0 || defs_[static_cast<std::size_t>(idx)].Kind != kCurve || index < kCurveFirst ||
      index > kCurveLast) {
    return std::nullopt;
  }
  const auto& v = values_[static_cast<std::size_t>(idx)];
  const auto k = static_cast<std::size_t>(index - kCurveFirst);
  return std::make_pair(v.X[k], v.Y[k]);
}

int ModuleLogic::ProcessValue(const std::string& name, Clock::time_point now) const {
  std::lock_guard lock(mutex_);
  const int idx = Find(name);
  if (idx < 0 || defs_[static_cast<std::size_t>(idx)].Kind != kProcessValue) return 0;
  return ProcessValueLocked(idx, now);
}

std::vector<std::string> ModuleLogic::ProcessValueNames() const {
  std::vector<std::string> names;
  for (const auto& d : defs_) {
    if (d.Kind == kProcessValue) names.push_back(d.Name);
  }
  return names;
}

bool ModuleLogic::TakingFile() const {
  std::lock_guard lock(mutex_);
  return state_ == State::BootProgram && !s19_.empty();
}

bool ModuleLogic::InBootloader() const {
  std::lock_guard lock(mutex_);
  return state_ == State::BootMenu || state_ == State::BootProgram || state_ == State::BootAsk;
}

bool ModuleLogic::Saved() const {
  std::lock_guard lock(mutex_);
  return values_ == saved_;
}

std::vector<std::string> ModuleLogic::ReceivedCommands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::vector<WriteRecord> ModuleLogic::Writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

std::vector<std::string> ModuleLogic::Violations() const {
  std::lock_guard lock(mutex_);
  return violations_;
}

std::vector<std::string> ModuleLogic::Downloads() const {
  std::lock_guard lock(mutex_);
  return downloads_;
}

std::string ModuleLogic::S19Text() const {
  std::lock_guard lock(mutex_);
  return s19_;
}

std::map<std::uint32_t, std::uint8_t> ModuleLogic::FlashImage() const {
  std::lock_guard lock(mutex_);
  return flash_;
}

int ModuleLogic::FlashEraseCount() const {
  std::lock_guard lock(mutex_);
  return erases_;
}

void ModuleLogic::ClearRecords() {
  std::lock_guard lock(mutex_);
  commands_.clear();
  writes_.clear();
  violations_.clear();
  downloads_.clear();
}

bool ModuleLogic::WaitForCommands(std::size_t count, Millis timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return commands_.size() >= count; });
}

// ---------------------------------------------------------------------------------------------
// Input

std::vector<Output> ModuleLogic::Receive(char c, Clock::time_point now, bool overlapped,
                                         bool misread, std::optional<Clock::time_point> earliest) {
  std::lock_guard lock(mutex_);
  lastInput_ = now;
  switch (state_) {
    case State::Command:
    case State::DownloadBlock:
      return ReceiveCommandChar(c, now, overlapped, misread);
    default:
      return ReceiveBootChar(c, now, overlapped, misread, std::min(earliest.value_or(now), now));
  }
}

std::vector<Output> ModuleLogic::Poll(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  const auto quiet = now - lastInput_;
  if (state_ == State::BootProgram) {
    if (!record_.empty() && quiet >= kRecordIdle) {
      // The file's last line may lack its line end: a complete record still counts (a record
      // cut short never parses: its count would not match).
      SRecord rec;
      if (ParseSRecord(record_, rec) == SRecordCheck::Ok) {
        auto out = EndOfRecord(now);
        if (state_ != State::BootProgram) return out;  // it was the end record
      }
    }
    if (quiet >= kTransferIdle && !s19_.empty()) {
      // No more records: the file is over. Stopped inside a record, it was cut short.
      const bool cut = !record_.empty();
      record_.clear();
      recordMisread_ = false;
      return FinishProgramming(!cut && !programFailed_);
    }
  } else if (state_ == State::DownloadBlock && quiet >= kBlockIdle) {
    line_.clear();
    state_ = State::Command;
  }
  return {};
}

char ModuleLogic::EchoOf(char c) const {
  char e = Upper(c);
  if (garble_ == Garble::WrongEcho) {
    if (e >= 'A' && e <= 'Z') e = e == 'Z' ? 'A' : static_cast<char>(e + 1);
    else if (e >= '0' && e <= '9') e = e == '9' ? '0' : static_cast<char>(e + 1);
  }
  return e;
}

std::vector<Output> ModuleLogic::ReceiveCommandChar(char c, Clock::time_point now,
                                                    bool overlapped, bool misread) {
  const bool block = state_ == State::DownloadBlock;
  if (overlapped) lineOverlapped_ = true;
  if (misread) lineMisread_ = true;
  if (c == '\r') return block ? EndOfDownload() : EndOfLine(now);
  const auto uc = static_cast<unsigned char>(c);
  if (c == '\b' || uc == 127) {
    // Backspace or DEL: the last character of the line goes (a terminal user corrects typing),
    // and the echoed backspace takes it off the terminal too.
    if (line_.empty()) return {};
    line_.pop_back();
    if (silent_) return {};
    Output echo;
    echo.Bytes = "\b";
    return {echo};
  }
  // Garbage from a wrong rate is kept as it came: it only makes the line unknown.
  if (!misread && c == '\n') {
    Violation("line feed in a command line");
    return {};
  }
  if (!misread && uc < 32) {
    Violation("control character " + Hex2(uc) + " in a command line");
    return {};
  }
  if (line_.size() < (block ? kMaxBlock : kMaxLine)) {
    line_ += c;
  } else {
    lineOverflow_ = true;
  }
  if (silent_) return {};
  Output echo;
  echo.Bytes = std::string(1, EchoOf(c));
  return {echo};
}

std::vector<Output> ModuleLogic::EndOfLine(Clock::time_point now) {
  const std::string line = line_;
  line_.clear();
  RecordCommand(line);
  const bool overlapped = lineOverlapped_;
  const bool overflow = lineOverflow_;
  const bool misread = lineMisread_;
  lineOverlapped_ = lineOverflow_ = lineMisread_ = false;
  const std::string previous = lastCommand_;
  lastCommand_ = line;
  if (silent_) return {};
  // A line garbled by a wrong rate names no command (a lone garbled CR is an empty line).
  if (misread) return Send(Trim(line).empty() ? Answer("") : Refuse());
  if (overlapped) {
    Violation("bytes of two commands interleaved: \"" + line + "\" arrived while \"" + previous +
              "\" was being answered");
  }
  if (overflow) return Send(Refuse("command line longer than " + std::to_string(kMaxLine)));
  return Send(Dispatch(line, now));
}

ModuleLogic::Reply ModuleLogic::Answer(const std::string& text) const {
  Reply r;
  r.Pieces.push_back(Piece{"\r\n", Millis{0}, 0, false});
  if (!text.empty()) {
    r.Pieces.push_back(Piece{text, Millis{0}, 0, true});
    r.Pieces.push_back(Piece{"\r\n", Millis{0}, 0, false});
  }
  r.Pieces.push_back(Piece{Prompt(), Millis{0}, 0, false});
  return r;
}

ModuleLogic::Reply ModuleLogic::Refuse(const std::string& violation) {
  if (!violation.empty()) Violation(violation);
  return Answer("command error");
}

std::string ModuleLogic::Prompt() const { return cmdPrompt_ ? "CMD>" : ">"; }

ModuleLogic::Reply ModuleLogic::Dispatch(const std::string& rawLine, Clock::time_point now) {
  const std::string line = Trim(rawLine);
  if (line.empty()) return Answer("");  // a lone CR: just the prompt
  const auto blank = line.find_first_of(" \t");
  const std::string key = UpperText(line.substr(0, blank));
  const std::string rest = blank == std::string::npos ? "" : Trim(line.substr(blank));
  const std::string unknown = "unknown command \"" + line + "\"";

  if (errorWords_.count(key)) return Refuse();

  if (key == "ID") return rest.empty() ? Answer(idText_) : Refuse(unknown);
  if (key == "READOUT") {
    if (!rest.empty()) return Refuse(unknown);
    return listing_ ? Answer(ListingLocked()) : Refuse();
  }
  if (key == "ACODE") return rest.empty() ? Answer(std::to_string(AccessCodeLocked())) : Refuse(unknown);
  if (key == "REMOTE") {
    if (!rest.empty()) return Refuse(unknown);
    return remoteScheme_ ? Refuse() : Answer("0");
  }
  if (key == "RC:M" || key == "RC:S") {
    if (!remoteScheme_) return Refuse("\"" + line + "\" sent to a module without remote control");
    const bool m = key == "RC:M";
    if (rest.empty()) return Answer(m ? (remoteOn_ ? "1" : "0") : std::to_string(inputs_));
    if (rest == "?") return Answer(m ? kAnalogHelp : kDigitalHelp);
    int n = 0;
    if (!ParseInt(rest, n) || n < 0 || n > (m ? 1 : 255)) {
      return Refuse("malformed value in \"" + line + "\"");
    }
    if (m) {
      remoteOn_ = n == 1;
    } else {
      if (!remoteOn_) return Refuse();  // inputs are driven only under remote control
      inputs_ = static_cast<std::uint8_t>(n);
    }
    writes_.push_back({key, rest});
    return Answer("");
  }
  if (key == "MODE") {
    if (rest == "?") return Answer(kModeHelp);
    for (const auto& m : kModes) {
      if (UpperText(rest) == m.Name) {
        mode_ = m.Name;
        return Answer("");
      }
    }
    return Refuse("unknown mode in \"" + line + "\"");
  }
  if (key == "PASSWORD") {
    if (!passwords_) return Refuse();
    if (rest.empty()) return Answer(unlocked_ ? "unlocked" : "locked");
    unlocked_ = rest == options_.Password;
    return Answer(unlocked_ ? "OK" : "wrong password");
  }
  if (key == "SAVE" || key == "DEFAULT" || key == "LOADBACK") {
    if (!rest.empty()) return Refuse(unknown);
    if (key == "SAVE") {
      saved_ = values_;
      if (saveListed_) writes_.push_back({"SAVE", ""});
    } else if (key == "DEFAULT") {
      for (std::size_t i = 0; i < defs_.size(); ++i) values_[i] = defs_[i].Initial;
    } else {
      values_ = saved_;
    }
    return Answer("");
  }
  if (key == "BR") {
    int f = 0;
    if (!ParseInt(rest, f) || !(f == 1 || f == 2 || f == 4 || f == 6 || f == 12)) {
      return Refuse("bad rate factor in \"" + line + "\"");
    }
    // The confirmation goes out at the old rate; the module listens at the new one after it.
    rate_ = f * 9600;
    Reply r = Answer("");
    r.Pieces.push_back(Piece{"", Millis{0}, rate_, false});
    return r;
  }
  if (key == "BOOTLOADER") {
    if (!rest.empty()) return Refuse(unknown);
    state_ = State::BootMenu;
    Reply r;
    if (halfDuplex_) {
      r.Pieces.push_back(Piece{kBanner, Millis{0}, 0, false});
    } else {
      rate_ = kBootloaderRate;
      r.Pieces.push_back(Piece{"", Millis{0}, kBootloaderRate, false});  // no answer at all
    }
    return r;
  }
  if (key == "DOWNLOAD") {
    if (!rest.empty()) return Refuse(unknown);
    state_ = State::DownloadBlock;
    Reply r;
    r.Pieces.push_back(Piece{"\r\nready for download!", Millis{0}, 0, false});
    return r;
  }
  if (key == "PD") {
    if (!rest.empty()) return Refuse(unknown);
    // Everything between the echo and the prompt is the block, whose first two bytes are its
    // header: here the line end the command's CR comes back as, as for every command. Then each
    // process value, high byte first.
    std::string block = "\r\n";
    for (std::size_t i = 0; i < defs_.size(); ++i) {
      if (defs_[i].Kind != kProcessValue) continue;
      const auto w = static_cast<std::uint16_t>(ProcessValueLocked(static_cast<int>(i), now));
      block += static_cast<char>(w >> 8);
      block += static_cast<char>(w & 0xFF);
    }
    Reply r;
    r.Pieces.push_back(Piece{block, Millis{0}, 0, true});
    r.Pieces.push_back(Piece{Prompt(), Millis{0}, 0, false});
    return r;
  }

  // The module's own commands.
  int idx = Find(key);
  if (idx < 0) {
    const auto colon = key.find(':');
    const int curve = colon == std::string::npos ? -1 : Find(key.substr(0, colon));
    if (curve < 0 || defs_[static_cast<std::size_t>(curve)].Kind != kCurve) return Refuse(unknown);
    int point = 0;
    if (!ParseInt(key.substr(colon + 1), point) || point < kCurveFirst || point > kCurveLast) {
      return Refuse("bad curve index in \"" + line + "\"");
    }
    if (rest.empty()) {
      const auto& v = values_[static_cast<std::size_t>(curve)];
      const auto k = static_cast<std::size_t>(point - kCurveFirst);
      return Answer(std::to_string(point) + " " + std::to_string(v.X[k]) + " " +
                    std::to_string(v.Y[k]));
    }
    bool malformed = false;
    if (!ApplyWrite(curve, point, rest, false, malformed)) {
      return malformed ? Refuse("malformed value in \"" + line + "\"") : Refuse();
    }
    writes_.push_back({defs_[static_cast<std::size_t>(curve)].Name + ":" + std::to_string(point),
                       rest});
    return Answer("");
  }

  const CommandDef& d = defs_[static_cast<std::size_t>(idx)];
  switch (d.Kind) {
    case kProcessValue:
      return rest.empty() ? Answer(std::to_string(ProcessValueLocked(idx, now)))
                          : Refuse("write to process value \"" + line + "\"");
    case kStatusBit:
      if (!rest.empty() || !EqualNoCase(d.Name, StatusCommand())) return Refuse(unknown);
      return Answer(std::to_string(StatusWordLocked(now)));
    case kNoPara:
      if (!rest.empty()) return Refuse("value given to the action \"" + line + "\"");
      writes_.push_back({d.Name, ""});
      return Answer("");
    case kCurve:
      return Refuse("curve \"" + d.Name + "\" addressed without a point index");
    default:
      break;
  }
  if (rest.empty()) {
    if (d.AType == 1) return Refuse("read of the write-only \"" + d.Name + "\"");
    return Answer(AnswerValue(idx, now));
  }
  if (d.AType == 2) return Refuse();  // read-only
  if (d.Kind == kRemoteCtrl && !remoteOn_) return Refuse();
  bool malformed = false;
  if (!ApplyWrite(idx, 0, rest, false, malformed)) {
    return malformed ? Refuse("malformed value in \"" + line + "\"") : Refuse();
  }
  writes_.push_back({d.Name, rest});
  return Answer("");
}

std::vector<Output> ModuleLogic::EndOfDownload() {
  const std::string block = line_;
  line_.clear();
  state_ = State::Command;
  RecordCommand(block);
  const bool overflow = lineOverflow_;
  const bool misread = lineMisread_;
  lineOverlapped_ = lineOverflow_ = lineMisread_ = false;
  if (silent_) return {};
  if (misread) return Send(Refuse());
  if (overflow) return Send(Refuse("download block longer than " + std::to_string(kMaxBlock)));
  downloads_.push_back(block);

  // "NAME value;NAME value;...": all are checked first, so a bad item changes nothing.
  struct Item {
    int Index;
    int Point;
    std::string Key, Value;
  };
  std::vector<Item> items;
  std::size_t start = 0;
  bool ok = true;
  while (start <= block.size() && ok) {
    auto semi = block.find(';', start);
    if (semi == std::string::npos) semi = block.size();
    const std::string item = Trim(block.substr(start, semi - start));
    start = semi + 1;
    if (item.empty()) continue;
    const auto blank = item.find_first_of(" \t");
    const std::string key = UpperText(item.substr(0, blank));
    const std::string value = blank == std::string::npos ? "" : Trim(item.substr(blank));
    int idx = Find(key);
    int point = 0;
    if (idx < 0) {
      const auto colon = key.find(':');
      idx = colon == std::string::npos ? -1 : Find(key.substr(0, colon));
      if (idx < 0 || defs_[static_cast<std::size_t>(idx)].Kind != kCurve ||
          !ParseInt(key.substr(colon + 1), point) || point < kCurveFirst || point > kCurveLast) {
        ok = false;
        break;
      }
    } else if (defs_[static_cast<std::size_t>(idx)].Kind == kCurve) {
      ok = false;
      break;
    }
    const CommandDef& d = defs_[static_cast<std::size_t>(idx)];
    bool malformed = false;
    if (d.AType != 3 || value.empty() || !ApplyWrite(idx, point, value, true, malformed)) {
      ok = false;
      break;
    }
    items.push_back({idx, point, d.Kind == kCurve ? d.Name + ":" + std::to_string(point) : d.Name,
                     value});
  }
  if (!ok) return Send(Refuse());
  for (const auto& it : items) {
    bool malformed = false;
    ApplyWrite(it.Index, it.Point, it.Value, false, malformed);
    writes_.push_back({it.Key, it.Value});
  }
  Reply r;
  r.Pieces.push_back(Piece{"\r\ndownload completed!\r\n" + Prompt(), Millis{0}, 0, false});
  return Send(r);
}

// ---------------------------------------------------------------------------------------------
// Bootloader

std::vector<Output> ModuleLogic::ReceiveBootChar(char c, Clock::time_point now, bool overlapped,
                                                 bool misread, Clock::time_point earliest) {
  if (state_ == State::BootProgram) {
    s19_ += c;
    if (misread) recordMisread_ = true;
    if (now < recordWritten_) {
      // Still writing the last record: this byte is lost.
      if (!lossReported_ && !misread) {
        const auto early = std::chrono::duration_cast<std::chrono::microseconds>(
            now - (recordWritten_ - options_.RecordWriteTime));
        Violation("S19 byte at most " + std::to_string(early.count()) +
                  " us after a record's CR, while the bootloader still wrote it to its flash");
        lossReported_ = true;
      }
      // The record buffer starts again with the first byte after the write: the record now
      // begun has lost its start, unless the bytes lost ended with a CR.
      record_.clear();
      recordLost_ = c != '\r';
      programFailed_ = true;
      return {};
    }
    if (!misread && (c == '\n' || c == '\b')) {
      Violation(c == '\n' ? "line feed in the S19 transfer" : "backspace in the S19 transfer");
      return {};
    }
    if (c == '\r') return EndOfRecord(earliest);
    if (record_.size() < kMaxRecord) record_ += c;
    return {};
  }
  if (silent_) return {};
  const std::string key = c == '\r' ? std::string() : std::string(1, c);
  Output echo;
  echo.Bytes = std::string(1, EchoOf(c));
  Reply r;
  if (state_ == State::BootAsk) {
    if (c == 'y' || c == 'Y' || c == 'n' || c == 'N') {
      RecordCommand(key);
      r.Pieces.push_back(Piece{"\r\n>", Millis{0}, 0, false});
      if (c == 'y' || c == 'Y') {
        Restart();
      } else {
        state_ = State::BootMenu;
        if (!halfDuplex_) {
          rate_ = kBootloaderRate;
          r.Pieces.push_back(Piece{"", Millis{0}, kBootloaderRate, false});
        }
      }
      echo.Bytes = std::string(1, c);
      std::vector<Output> out{echo};
      for (auto& o : Send(r)) out.push_back(std::move(o));
      return out;
    }
    if (c != '\r' && !misread) {
      Violation("unexpected key " + Hex2(static_cast<unsigned char>(c)) + " at the start question");
    }
    return {};
  }
  // Menu. (At the start question a person may answer before it is asked: not counted.)
  if (overlapped && !misread) {
    Violation("bootloader key sent while the bootloader was still answering");
  }
  // After a refused start a tool answers the start question it expected, and looks for the
  // application at its rates ("y", "ID"): echoed and ignored, not counted, until a menu key.
  const bool searching = startRefused_;
  startRefused_ = false;
  switch (c) {
    case '\r':
      RecordCommand(key);
      r.Pieces.push_back(Piece{kBanner, Millis{0}, 0, false});
      return Send(r);
    case '1': {
      RecordCommand(key);
      flash_.clear();
      application_ = false;
      ++erases_;
      r.Pieces.push_back(Piece{"\r\nErasing FLASH...", Millis{0}, 0, false});
      r.Pieces.push_back(Piece{"done\r\n>", options_.EraseTime, 0, false});
      break;
    }
    case '2':
      RecordCommand(key);
      state_ = State::BootProgram;
      s19_.clear();
      record_.clear();
      recordMisread_ = false;
      recordLost_ = lossReported_ = false;
      recordWritten_ = Clock::time_point{};
      dataRecords_ = 0;
      programData_.clear();
      programFailed_ = false;
      r.Pieces.push_back(Piece{"\r\nSend file to Program", options_.ProgramPromptTime, 0, false});
      break;
    case 'G':
    case 'g':
      RecordCommand("G");
      if (!application_) {
        // Nothing programmed since the erase: the application's checksum does not hold, so the
        // bootloader stays in its menu, at its own rate.
        startRefused_ = true;
        r.Pieces.push_back(Piece{"\r\nChecksum error\r\n>", options_.AppStartTime, 0, false});
        break;
      }
      state_ = State::BootAsk;
      // The application starts as after power-on, at its own rate, not at the one in force
      // before the bootloader. (On a two-wire line the rate never changes.)
      if (!halfDuplex_) {
        rate_ = powerOnRate_;
        r.Pieces.push_back(Piece{"", Millis{0}, powerOnRate_, false});
      }
      r.Pieces.push_back(Piece{"\r\nStart application (y/n)?", options_.AppStartTime, 0, false});
      break;
    default:
      // Echoed like every key, and otherwise ignored.
      startRefused_ = searching;
      if (!misread && !searching)
        Violation("unknown bootloader key " + Hex2(static_cast<unsigned char>(c)));
      return {echo};
  }
  std::vector<Output> out{echo};
  for (auto& o : Send(r)) out.push_back(std::move(o));
  return out;
}

std::vector<Output> ModuleLogic::EndOfRecord(Clock::time_point earliest) {
  const std::string text = record_;
  const bool misread = recordMisread_;
  const bool lost = recordLost_;
  record_.clear();
  recordMisread_ = recordLost_ = false;
  if (text.empty()) return {};
  // Measured from the earliest the CR can have come: a byte counts as early only when it surely
  // was, whatever the lateness of the server that reads the line.
  recordWritten_ = earliest + options_.RecordWriteTime;
  if (lost) return {};  // what is left of it is no record (the image is void already)
  SRecord rec;
  switch (ParseSRecord(text, rec)) {
    case SRecordCheck::NotSRecord:
      if (!misread) Violation("S19 line that is not S-record text: " + text.substr(0, 40));
      programFailed_ = true;
      return {};
    case SRecordCheck::BadChecksum:
      programFailed_ = true;  // a broken file, not the tool's fault
      return {};
    case SRecordCheck::Ok:
      break;
  }
  if (rec.Type >= 1 && rec.Type <= 3) ++dataRecords_;
  // A count record holds the number of data records before it: one lost or added voids the image.
  if ((rec.Type == 5 || rec.Type == 6) && rec.Address != static_cast<std::uint32_t>(dataRecords_))
    programFailed_ = true;
  for (std::size_t i = 0; i < rec.Data.size(); ++i) {
    programData_[rec.Address + static_cast<std::uint32_t>(i)] = rec.Data[i];
  }
  if (IsEndRecord(rec)) return FinishProgramming(!programFailed_);
  return {};
}

std::vector<Output> ModuleLogic::FinishProgramming(bool ok) {
  state_ = State::BootMenu;
  if (ok) {
    for (const auto& [addr, byte] : programData_) flash_[addr] = byte;
    // A file without a data byte leaves the flash as it was.
    if (!programData_.empty()) application_ = true;
  } else {
    flash_.clear();  // a failed transfer leaves no usable image
    application_ = false;
  }
  programData_.clear();
  programFailed_ = false;
  if (silent_) return {};
  Reply r;
  r.Pieces.push_back(Piece{ok ? "\r\nProgramming done\r\n>" : "\r\nProgramming error\r\n>",
                           options_.ProgramTime, 0, false});
  return Send(r);
}

void ModuleLogic::Restart() {
  state_ = State::Command;
  line_.clear();
  lineOverlapped_ = lineOverflow_ = lineMisread_ = false;
  values_ = saved_;
  remoteOn_ = false;
  inputs_ = 0;
  unlocked_ = false;
  mode_ = "ALL";
}

// ---------------------------------------------------------------------------------------------
// Output shaping: faults

std::vector<Output> ModuleLogic::Send(const Reply& reply) {
  std::vector<Output> out;
  std::size_t total = 0;
  for (const auto& p : reply.Pieces) total += p.Text.size();
  std::optional<std::pair<std::size_t, Millis>> pause;
  if (pause_ && total > 0) {
    pause = std::make_pair(std::min(pause_->first, total - 1), pause_->second);
    pause_.reset();
  }
  std::optional<std::pair<Millis, Millis>> talk;
  if (talk_ && total > 0) {
    talk = talk_;
    talk_.reset();
  }
  const bool faulted = slow_ > Millis{0} || pause.has_value() || talk.has_value();
  if (talk) {
    // Digits and line ends only: no prompt, and nothing an echo could match.
    const auto [duration, gap] = *talk;
    const long long count = gap > Millis{0} ? duration / gap
                                            : duration.count() * rate_ / 10 / 1000;
    static const std::string kTalk = "0123456789 0123456789\r\n";
    Output o;
    for (long long i = 0; i < std::max(count, 1LL); ++i)
      o.Bytes += kTalk[static_cast<std::size_t>(i) % kTalk.size()];
    o.ByteDelay = gap;
    o.Reply = true;
    o.Faulted = true;
    o.Talk = true;
    out.push_back(std::move(o));
  }
  std::size_t pos = 0;
  for (const auto& p : reply.Pieces) {
    std::string text = p.Text;
    if (p.Data && garble_ == Garble::CorruptReply) {
      for (auto& ch : text) {
        if (ch == '\r' || ch == '\n') continue;
        ch = static_cast<char>(ch ^ 0x55);
        if (ch == '>') ch = '?';
      }
    }
    auto emit = [&](std::string bytes, Millis delay) {
      Output o;
      o.Bytes = std::move(bytes);
      o.Delay = delay;
      o.ByteDelay = slow_;
      o.Reply = true;
      o.Faulted = faulted;
      out.push_back(std::move(o));
    };
    if (pause && pause->first >= pos && pause->first < pos + text.size()) {
      const std::size_t cut = pause->first - pos;
      if (cut > 0 || p.Delay > Millis{0}) emit(text.substr(0, cut), p.Delay);
      emit(text.substr(cut), pause->second);
    } else {
      emit(text, p.Delay);
    }
    out.back().SwitchRate = p.SwitchRate;
    pos += text.size();
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Values

int ModuleLogic::Find(const std::string& name) const {
  const auto it = index_.find(UpperText(name));
  if (it == index_.end() || !Listed(defs_[static_cast<std::size_t>(it->second)])) return -1;
  return it->second;
}

bool ModuleLogic::Listed(const CommandDef& d) const {
  switch (d.When) {
    case Presence::WithSaveCommand: return saveListed_;
    case Presence::WithRemoteControl: return remoteScheme_;
    default: return true;
  }
}

bool ModuleLogic::ApplyWrite(int index, int point, const std::string& value, bool dryRun,
                             bool& malformed) {
  malformed = false;
  const auto i = static_cast<std::size_t>(index);
  const CommandDef& d = defs_[i];
  CommandValue& v = values_[i];
  switch (d.Kind) {
    case kTextPara:
    case kLPara: {
      const std::string text = Unquote(value);
      for (const auto& item : d.ValueList()) {
        if (EqualNoCase(item, text)) {
          if (!dryRun) v.Text = item;
          return true;
        }
      }
      return false;
    }
    case kNumPara:
    case kRemoteCtrl: {
      int n = 0;
      if (!ParseInt(value, n)) {
        malformed = true;
        return false;
      }
      if (n < d.Min() || n > d.Max()) return false;
      if (!dryRun) {
        v.Value = n;
        if (d.Name == "RANGE") {
          // The range decides the pressure limit: the tool reads all parameters again.
          const int p = Find("PRESSMAX");
          if (p >= 0) values_[static_cast<std::size_t>(p)].Value = n * 500;
        }
      }
      return true;
    }
    case kAinPara: {
      const auto tok = SplitBlanks(value);
      int a = 0, b = 0, c = 0;
      if (tok.size() != 4 || !ParseInt(tok[0], a) || !ParseInt(tok[1], b) ||
          !ParseInt(tok[2], c) || tok[3].size() != 1) {
        malformed = true;
        return false;
      }
      const char u = Upper(tok[3][0]);
      if (u != 'V' && u != 'U' && u != 'C' && u != 'I') {
        malformed = true;
        return false;
      }
      for (int x : {a, b, c}) {
        if (x < d.Min() || x > d.Max()) return false;
      }
      if (!dryRun) {
        v.A = a;
        v.B = b;
        v.C = c;
        v.Current = u == 'C' || u == 'I';
      }
      return true;
    }
    case kCurve: {
      const auto tok = SplitBlanks(value);
      int x = 0, y = 0;
      if (tok.size() != 2 || !ParseInt(tok[0], x) || !ParseInt(tok[1], y)) {
        malformed = true;
        return false;
      }
      if (x < d.Min() || x > d.Max() || y < d.Min() || y > d.Max()) return false;
      if (!dryRun) {
        const auto k = static_cast<std::size_t>(point - kCurveFirst);
        v.X[k] = x;
        v.Y[k] = y;
      }
      return true;
    }
    default:
      return false;
  }
}

std::string ModuleLogic::ValueTextLocked(int index) const {
  const auto i = static_cast<std::size_t>(index);
  const CommandDef& d = defs_[i];
  const CommandValue& v = values_[i];
  switch (d.Kind) {
    case kTextPara:
    case kLPara:
      return v.Text;
    case kNumPara:
    case kRemoteCtrl:
      return std::to_string(v.Value);
    case kAinPara:
      return std::to_string(v.A) + " " + std::to_string(v.B) + " " + std::to_string(v.C) +
             (v.Current ? " C" : " V");
    case kInPara:
      return std::to_string(inputs_);
    case kAinSPara:
      return "0";
    default:
      return {};
  }
}

std::string ModuleLogic::AnswerValue(int index, Clock::time_point now) const {
  const CommandDef& d = defs_[static_cast<std::size_t>(index)];
  if (d.Kind == kProcessValue) return std::to_string(ProcessValueLocked(index, now));
  if (d.Kind == kTextPara || d.Kind == kLPara) return Quote(ValueTextLocked(index));
  return ValueTextLocked(index);
}

int ModuleLogic::ProcessValueLocked(int index, Clock::time_point now) const {
  const CommandDef& d = defs_[static_cast<std::size_t>(index)];
  const auto pin = pinned_.find(UpperText(d.Name));
  if (pin != pinned_.end()) return pin->second;
  const double t = std::chrono::duration<double>(now - start_).count();
  constexpr double kTwoPi = 6.283185307179586;
  if (d.Name == "SINE") return static_cast<int>(std::lround(1000.0 * std::sin(kTwoPi * t / 2.0)));
  if (d.Name == "RAMP") return static_cast<int>(std::fmod(t, 5.0) / 5.0 * 1000.0);
  if (d.Name == "PRESS") return static_cast<int>(std::lround(2500.0 + 500.0 * std::sin(kTwoPi * t / 7.0)));
  if (d.Name == "TEMP") return static_cast<int>(std::lround(40.0 + 5.0 * std::sin(kTwoPi * t / 30.0)));
  return 0;
}

std::uint16_t ModuleLogic::StatusWordLocked(Clock::time_point now) const {
  if (statusWord_) return *statusWord_;
  // Ready, no error (the error bit reads inverted), Enable from input 1, Limit from the sine.
  std::uint16_t w = 0x0003;
  if (inputs_ & 1) w |= 0x0004;
  const int sine = Find("SINE");
  if (sine >= 0 && ProcessValueLocked(sine, now) > 900) w |= 0x0008;
  return w;
}

std::uint16_t ModuleLogic::AccessCodeLocked() const {
  std::uint16_t code = 0;
  for (const auto& m : kModes) {
    if (mode_ == m.Name) code = m.Groups;
  }
  if (unlocked_) code |= kGrpDruvtec | kGrpPassword;
  const int level = Find("LEVEL");
  if (level >= 0 && values_[static_cast<std::size_t>(level)].Text == "Expert") code |= kGrpPassword;
  return code;
}

std::string ModuleLogic::ListingLocked() const {
  std::string text;
  for (const auto& d : defs_) {
    if (!Listed(d)) continue;
    if (!text.empty()) text += "\r\n";
    text += ListingLine(d);
  }
  return text;
}

void ModuleLogic::Violation(const std::string& what) {
  violations_.push_back(what);
  changed_.notify_all();
}

void ModuleLogic::RecordCommand(const std::string& line) {
  commands_.push_back(line);
  changed_.notify_all();
}

}  // namespace modsim
