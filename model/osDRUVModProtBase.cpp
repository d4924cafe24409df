#include "model/osDRUVModProtBase.h"

#include <algorithm>
#include <cstring>
#include <iterator>

// ---- Kinds, groups, units, pins ---------------------------------------------------------------

std::string ModCmdKindName(TModCmdKind Kind) {
  static const char* const names[] = {"ProzessPara", "TextPara", "NumPara",   "Dummy1",
                                      "InPara",      "NoPara",   "CCPara",    "AinPara",
                                      "AinSPara",    "LPara",    "InfoPara",  "RemoteCtrlPara"};
  const auto k = static_cast<unsigned>(Kind);
  return k < std::size(names) ? names[k] : std::string();
}

std::string ModCmdGroupName(TModCmdGroup Group) {
  static const char* const names[16] = {"NewTab",    "NewData",   "All",       "Appli",
                                        "QEL",       "Basic",     "DRUVTEC",   "Password",
                                        "Pressure",  "Special",   "FreeBit10", "FreeBit11",
                                        "FreeBit12", "FreeBit13", "FreeBit14", "FreeBit15"};
  return names[static_cast<unsigned>(Group) & 15u];
}

TModCmdGroups GCodeToGroupSet(std::uint16_t GCode) { return TModCmdGroups(GCode); }

std::string AinUnitLetters[2] = {"V", "C"};

std::string AinUnitLetter(TModAinUnit Unit) {
  // A unit from a file may be neither voltage nor current; "?" shows that it has no letter.
  return Unit <= auCurrent ? AinUnitLetters[Unit] : std::string("?");
}

namespace {
const char* const kPinNames[6] = {"", "RC:910", "RC:6", "RC:13", "RC:14", "RC:29"};
const char* const kPinCaptions[6] = {"", "PIN 9/10", "Pin 6", "PIN 13", "Pin 14", "PIN 29"};
}  // namespace

std::uint8_t RemoteCtrlPinOfName(const std::string& Name) {
  for (std::uint8_t pin = 1; pin < 6; ++pin)
    if (Name == kPinNames[pin]) return pin;
  return 0;
}

std::string RemoteCtrlPinCaption(std::uint8_t Pin) { return Pin < 6 ? kPinCaptions[Pin] : ""; }

// ---- Command objects --------------------------------------------------------------------------

namespace {

// Places N so that it ends at column E (from 1) of T. A text too wide for its room starts one
// blank after the text already in T: laid over it, it would glue to the value before or cut it,
// and the line would read back as other numbers.
std::string PlaceAt(const std::string& T, const std::string& N, int E) {
  const std::size_t last = T.find_last_not_of(' ');
  const std::size_t used = last == std::string::npos ? 0 : last + 2;
  const std::size_t end = E > 0 ? static_cast<std::size_t>(E) : 0;
  const std::size_t start = std::max(end > N.size() ? end - N.size() : 0, used);
  std::string r = T.substr(0, std::min(start, T.size()));
  r.append(start - r.size(), ' ');
  r += N;
  // The values are placed left to right: only blanks follow. A text longer than E lengthens the
  // line by what it lacks in room.
  const std::size_t width = T.size() + (N.size() > end ? N.size() - end : 0);
  if (r.size() < width) r.append(width - r.size(), ' ');
  return r;
}

}  // namespace

void TModBaseCommand::AssignTo(TModBaseCommand* Dest) const {
  if (!Dest || Dest->Kind != Kind) return;
  Dest->AType = AType;
  Dest->Name = Name;
  Dest->Help = Help;
  Dest->GCode = GCode;
  Dest->VType = VType;
}

std::string TModBaseCommand::GetGroupNames() const {
  std::string r;
  for (unsigned i = 0; i < 16; ++i) {
    if (!((GCode >> i) & 1u)) continue;
    if (!r.empty()) r += ", ";
    r += ModCmdGroupName(static_cast<TModCmdGroup>(i));
  }
  return r;
}

void TModCtrlCommand::DoChange() {
  if (OnChange) OnChange(this);
}

std::string TModCtrlCommand::GetValueStr() const { return std::string(); }

void TModCtrlCommand::AssignTo(TModBaseCommand* Dest) const {
  if (!Dest || Dest->Kind != Kind) return;
  TModBaseCommand::AssignTo(Dest);
  if (auto* d = dynamic_cast<TModCtrlCommand*>(Dest)) {
    d->Min = Min;
    d->Max = Max;
    if (d != this) d->VList = VList;
  }
}

void TModTextParaCmd::SetText(const std::string& S) {
  for (const auto& v : VList) {
    if (SameText(v, S)) {
      Text = S;
      return;
    }
  }
  Text.clear();
}

std::string TModTextParaCmd::GetValueStr() const { return Text; }

void TModTextParaCmd::AssignTo(TModBaseCommand* Dest) const {
  if (!Dest || Dest->Kind != Kind) return;
  TModCtrlCommand::AssignTo(Dest);
  if (auto* d = dynamic_cast<TModTextParaCmd*>(Dest)) {
    const std::string text = Text;  // Dest may be this
    d->SetText(text);
  }
}

std::string TModNumParaCmd::GetValueStr100() const { return FormatHundredths(Value); }

std::string TModNumParaCmd::GetValueStr() const { return std::to_string(Value); }

void TModNumParaCmd::AssignTo(TModBaseCommand* Dest) const {
  if (!Dest || Dest->Kind != Kind) return;
  TModCtrlCommand::AssignTo(Dest);
  if (auto* d = dynamic_cast<TModNumParaCmd*>(Dest)) d->Value = Value;
}

std::string TModAinParaCmd::GetValueStr() const {
  std::string t(22, ' ');
  t = PlaceAt(t, std::to_string(A), 6);
  t = PlaceAt(t, std::to_string(B), 13);
  t = PlaceAt(t, std::to_string(C), 20);
  t = PlaceAt(t, AinUnitLetter(Unit), 22);
  return t;
}

void TModAinParaCmd::AssignTo(TModBaseCommand* Dest) const {
  if (!Dest || Dest->Kind != Kind) return;
  TModCtrlCommand::AssignTo(Dest);
  if (auto* d = dynamic_cast<TModAinParaCmd*>(Dest)) {
    d->A = A;
    d->B = B;
    d->C = C;
    d->Unit = Unit;
  }
}

TModCCPoint TModCCParaCmd::GetPoint(int Index) const {
  if (Index < MinIndex || Index > MaxIndex) return TModCCPoint{};
  return Points[Index - MinIndex];
}

void TModCCParaCmd::SetPoint(int Index, const TModCCPoint& Point) {
  if (Index < MinIndex || Index > MaxIndex) return;
  Points[Index - MinIndex] = Point;
}

std::string TModCCParaCmd::GetPointStr(int Index) const {
  if (Index < MinIndex || Index > MaxIndex) return std::string();
  const TModCCPoint p = Points[Index - MinIndex];
  std::string t(13, ' ');
  t = PlaceAt(t, std::to_string(p.X), 6);
  t = PlaceAt(t, std::to_string(p.Y), 13);
  return t;
}

std::string TModCCParaCmd::GetValueStr() const { return "characteristic curve"; }

void TModCCParaCmd::AssignTo(TModBaseCommand* Dest) const {
  if (!Dest || Dest->Kind != Kind) return;
  TModCtrlCommand::AssignTo(Dest);
  if (auto* d = dynamic_cast<TModCCParaCmd*>(Dest)) {
    for (int i = MinIndex; i <= MaxIndex; ++i) d->Points[i - MinIndex] = Points[i - MinIndex];
  }
}

std::string TModRemoteCtrlCmd::GetValueStr() const { return std::to_string(Value); }

void TModRemoteCtrlCmd::AssignTo(TModBaseCommand* Dest) const {
  if (!Dest || Dest->Kind != Kind) return;
  TModCtrlCommand::AssignTo(Dest);
  if (auto* d = dynamic_cast<TModRemoteCtrlCmd*>(Dest)) d->Value = Value;
}

std::string TModProcCommand::GetValueStr() const { return FormatQuotient2(Value, CompFactor); }

void TModProcCommand::AssignTo(TModBaseCommand* Dest) const {
  if (!Dest || Dest->Kind != Kind) return;
  TModBaseCommand::AssignTo(Dest);
  if (auto* d = dynamic_cast<TModProcCommand*>(Dest)) {
    d->CompFactor = CompFactor;
    if (d != this) d->PhysUnit = PhysUnit;
  }
}

bool TModStatusBitCommand::IsBitSet() const {
  // Bits from 16 on lie outside the status word and read as 0.
  const bool bit = BIndex < 16 && ((Status >> BIndex) & 1u) != 0;
  return bit != BInvers;
}

std::string TModStatusBitCommand::GetBitName() const {
  const std::size_t p = Name.find(':');
  return p == std::string::npos ? Name : Name.substr(p + 1);
}

std::string TModStatusBitCommand::GetValueStr() const { return std::to_string(Status); }

void TModStatusBitCommand::AssignTo(TModBaseCommand* Dest) const {
  if (!Dest || Dest->Kind != Kind) return;
  TModBaseCommand::AssignTo(Dest);
  if (auto* d = dynamic_cast<TModStatusBitCommand*>(Dest)) {
    d->BActive = BActive;
    d->Status = Status;
    d->BIndex = BIndex;
    if (d != this) d->BHelp = BHelp;
    d->BInvers = BInvers;
    d->BColor = BColor;
  }
}

std::unique_ptr<TModBaseCommand> CreateModCommand(TModCmdKind Kind) {
  switch (Kind) {
    case ProzessPara: return std::make_unique<TModProcCommand>();
    case TextPara: return std::make_unique<TModTextParaCmd>();
    case NumPara: return std::make_unique<TModNumParaCmd>();
    case InPara:
    case NoPara:
    case AinSPara:
    case LPara: return std::make_unique<TModCtrlCommand>(Kind);
    case CCPara: return std::make_unique<TModCCParaCmd>();
    case AinPara: return std::make_unique<TModAinParaCmd>();
    case InfoPara: return std::make_unique<TModStatusBitCommand>();
    case RemoteCtrlPara: return std::make_unique<TModRemoteCtrlCmd>();
    default: return nullptr;
  }
}

std::unique_ptr<TModBaseCommand> CreateModCommandCopy(const TModBaseCommand* Cmd) {
  if (!Cmd || Cmd->Kind == InfoPara || Cmd->Kind == RemoteCtrlPara) return nullptr;
  auto copy = CreateModCommand(Cmd->Kind);
  if (copy) Cmd->AssignTo(copy.get());
  return copy;
}

// ---- Command lists ----------------------------------------------------------------------------

int TModCommandList::Add(TModBaseCommand* Cmd) { return Cmd ? AddObject(Cmd->Name, Cmd) : -1; }

TModBaseCommand* TModCommandList::GetCommand(int Index) const {
  return dynamic_cast<TModBaseCommand*>(GetObject(Index));
}

int TModProcessData::Add(TModProcCommand* Cmd) { return Cmd ? AddObject(Cmd->Name, Cmd) : -1; }

TModProcCommand* TModProcessData::GetProcCommand(int Index) const {
  return dynamic_cast<TModProcCommand*>(GetObject(Index));
}

void TModProcessData::CopyProcCommands(TModProcessData* Dest) const {
  // Copying onto itself would free the very commands it is about to copy.
  if (!Dest || Dest == this) return;
  Dest->Clear();
  for (int i = 0; i < Count(); ++i) {
    const TModProcCommand* cmd = GetProcCommand(i);
    if (!cmd) continue;
    auto copy = CreateModCommandCopy(cmd);
    Dest->Add(static_cast<TModProcCommand*>(copy.release()));
  }
}

int TModStatusInfoData::Add(TModStatusBitCommand* Cmd) { return Cmd ? AddObject(Cmd->Name, Cmd) : -1; }

TModStatusBitCommand* TModStatusInfoData::GetStatusBit(int Index) const {
  return dynamic_cast<TModStatusBitCommand*>(GetObject(Index));
}

bool TModStatusInfoData::UpdateStatus(std::uint16_t Status, std::uint16_t& Mask) {
  Mask = 0;
  const int n = Count();
  for (int i = 0; i < n; ++i) {
    TModStatusBitCommand* bit = GetStatusBit(i);
    if (!bit) continue;
    bit->Status = Status;
    if (i < 16 && bit->IsBitSet()) Mask = static_cast<std::uint16_t>(Mask | (1u << i));
  }
  return n > 0;
}

int TModRemoteCtrlCommandList::Add(TModRemoteCtrlCmd* Cmd) { return Cmd ? AddObject(Cmd->Name, Cmd) : -1; }

TModRemoteCtrlCmd* TModRemoteCtrlCommandList::GetRemoteCtrlCmd(int Index) const {
  return dynamic_cast<TModRemoteCtrlCmd*>(GetObject(Index));
}

TModRemoteCtrlCmd* TModRemoteCtrlCommandList::FindByPin(std::uint8_t Pin) const {
  for (int i = 0; i < Count(); ++i) {
    TModRemoteCtrlCmd* cmd = GetRemoteCtrlCmd(i);
    if (cmd && cmd->GetPinIndex() == Pin) return cmd;
  }
  return nullptr;
}

bool TModRemoteCtrlCommandList::GetPinRange(std::uint8_t Pin, std::int32_t& Min, std::int32_t& Max) const {
  const TModRemoteCtrlCmd* cmd = FindByPin(Pin);
  if (!cmd) return false;
  Min = cmd->Min;
  Max = cmd->Max;
  return true;
}

// ---- Process-data records ---------------------------------------------------------------------

std::int32_t TBaseProcDataObj::GetValue(int Index) const {
  if (Index < 0 || Index >= Count || static_cast<std::size_t>(Index) >= Values.size()) return 0;
  return Values[static_cast<std::size_t>(Index)];
}

TBINProcDataObj::TBINProcDataObj(const void* Data, std::int32_t Len, bool Swap, TDateTime TimeStamp) {
  TBINProcDataObj::SetData(Data, Len, Swap, TimeStamp);
}

void TBINProcDataObj::SetData(const void* Data, std::int32_t Len, bool Swap, TDateTime TimeStamp) {
  this->TimeStamp = TimeStamp;
  Count = 0;
  Values.clear();
  Header0 = 0;
  Header1 = 0;
  // Too short for the two header bytes (or no data at all): an empty record.
  if (!Data || Len < 2) return;
  const auto* b = static_cast<const std::uint8_t*>(Data);
  Header0 = b[0];
  Header1 = b[1];
  Count = (Len - 2) / 2;
  Values.resize(static_cast<std::size_t>(Count));
  for (std::int32_t i = 0; i < Count; ++i) {
    std::uint16_t w = static_cast<std::uint16_t>(b[2 + 2 * i] | (b[3 + 2 * i] << 8));
    if (Swap) w = SwapWord(w);
    Values[static_cast<std::size_t>(i)] = w;
  }
}

TASCIIProcDataObj::TASCIIProcDataObj(const void* Data, std::int32_t Len, bool Swap, TDateTime TimeStamp) {
  TASCIIProcDataObj::SetData(Data, Len, Swap, TimeStamp);
}

void TASCIIProcDataObj::SetData(const void* Data, std::int32_t /*Len*/, bool /*Swap*/, TDateTime TimeStamp) {
  this->TimeStamp = TimeStamp;
  Value = 0;
  if (Data) std::memcpy(&Value, Data, sizeof Value);
}

// ---- Parsers ----------------------------------------------------------------------------------

namespace {

// Reads field into an 8-bit field when it is a whole number (low 8 bits kept).
void ReadByte(const std::string& field, std::uint8_t& target) {
  std::int32_t v;
  if (TryStrToInt(field, v)) target = static_cast<std::uint8_t>(v);
}

void ReadInt(const std::string& field, std::int32_t& target) {
  std::int32_t v;
  if (TryStrToInt(field, v)) target = v;
}

}  // namespace

std::unique_ptr<TModBaseCommand> ParseModCommandLine(const std::string& Line) {
  if (Line.empty()) return nullptr;
  std::string t = Trim(Line);
  if (t.empty()) return nullptr;
  if (t.back() == '\\') t.pop_back();
  t = RemoveCtrlChars(t, false, false);
  // Only backslashes separate fields; blanks stay inside them, also next to a backslash.
  const TStringList f = SplitKeepingBlanks(t, '\\');
  if (f.size() < 6) return nullptr;
  std::int32_t kindValue;
  if (!TryStrToInt(f[1], kindValue)) return nullptr;
  auto cmd = CreateModCommand(static_cast<TModCmdKind>(static_cast<std::uint8_t>(kindValue)));
  if (!cmd) return nullptr;

  if (f.size() >= 8) {
    if (auto* proc = dynamic_cast<TModProcCommand*>(cmd.get())) {
      proc->PhysUnit = f[3];
      ReadInt(f[7], proc->CompFactor);
    } else if (auto* bit = dynamic_cast<TModStatusBitCommand*>(cmd.get())) {
      ReadByte(f[6], bit->BIndex);
      std::int32_t flags;
      if (TryStrToInt(f[7], flags)) {
        bit->BActive = (flags & 1) != 0;
        bit->BInvers = (flags & 2) != 0;
        bit->BColor = static_cast<std::uint8_t>((flags & 12) >> 2);
      }
      bit->BHelp = f[4];
    } else if (auto* ctrl = dynamic_cast<TModCtrlCommand*>(cmd.get())) {
      ctrl->VList = SplitString(f[3], '|');
      ReadInt(f[6], ctrl->Min);
      ReadInt(f[7], ctrl->Max);
    }
  }
  ReadByte(f[0], cmd->AType);
  cmd->Help = f[4];
  ReadByte(f[5], cmd->VType);
  cmd->Name = f[2];
  cmd->GCode = DefaultGCode;
  if (f.size() >= 9) {
    std::int32_t g;
    if (TryStrToInt(f[8], g)) cmd->GCode = static_cast<std::uint16_t>(g);
  }
  return cmd;
}

bool CheckModAnswer(const std::string& Answer, std::string& Cmd, TStringList& Lines) {
  // On every failure Lines ends up empty, so no caller can take a stale value for a reply.
  Lines.clear();
  if (Answer.empty() || Answer.find("command error") != std::string::npos) return false;
  std::string a = Answer;
  if (a.back() == '>') a.pop_back();
  if (a.size() >= 3 && a.compare(a.size() - 3, 3, "CMD") == 0) a.resize(a.size() - 3);
  TStringList items = SplitDelimitedText(Trim(a), ',');
  for (auto& item : items)
    if (!item.empty()) Lines.push_back(std::move(item));
  if (Lines.empty()) return false;
  if (Cmd.empty()) {
    Cmd = Lines.front();
    Lines.erase(Lines.begin());
  } else {
    std::string& first = Lines.front();
    std::size_t pos = 0;
    while ((pos = first.find(Cmd, pos)) != std::string::npos) first.erase(pos, Cmd.size());
  }
  return true;
}

bool IsCurrentLetter(const std::string& S) { return S == "C" || S == "c" || S == "I" || S == "i"; }
