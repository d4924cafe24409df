// The simulated module's own commands: what its listing says about each, and the values it
// starts with.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace modsim {

// Command kinds as the module numbers them in field 1 of a listing line.
enum CommandKind : int {
  kProcessValue = 0,  // ProzessPara
  kTextPara = 1,
  kNumPara = 2,
  kInPara = 4,
  kNoPara = 5,  // an action
  kCurve = 6,   // CCPara, 21 points -10..10
  kAinPara = 7,
  kAinSPara = 8,
  kLPara = 9,
  kStatusBit = 10,  // InfoPara
  kRemoteCtrl = 11,  // RemoteCtrlPara
};

// Group bits of field 8.
enum GroupBit : std::uint16_t {
  kGrpNewTab = 1u << 0,
  kGrpNewData = 1u << 1,
  kGrpAll = 1u << 2,
  kGrpAppli = 1u << 3,
  kGrpQEL = 1u << 4,
  kGrpBasic = 1u << 5,
  kGrpDruvtec = 1u << 6,
  kGrpPassword = 1u << 7,
  kGrpPressure = 1u << 8,
  kGrpSpecial = 1u << 9,
  kGrpFree10 = 1u << 10,
};

// Status-bit flags of field 7.
enum StatusFlag : int { kBitActive = 1, kBitInverted = 2 };
constexpr int StatusColour(int c) { return (c & 3) << 2; }

constexpr int kCurveFirst = -10;
constexpr int kCurveLast = 10;
constexpr int kCurvePoints = kCurveLast - kCurveFirst + 1;

// The value a command holds (only the members of its kind are used).
struct CommandValue {
  int Value = 0;          // number, remote-control input, read-only readings
  std::string Text;       // text parameter: one item of the value list
  int A = 0, B = 0, C = 0;
  bool Current = false;   // analog input: unit current (else voltage)
  std::array<int, kCurvePoints> X{};
  std::array<int, kCurvePoints> Y{};
  bool operator==(const CommandValue&) const = default;
};

// When a command is part of the listing.
enum class Presence { Always, WithSaveCommand, WithRemoteControl };

struct CommandDef {
  int AType = 3;
  int Kind = kNumPara;
  std::string Name;
  std::string Field3;  // value list ("a|b") or the physical unit of a process value
  std::string Help;
  int VType = 1;
  int Field6 = 0;  // Min; the bit number of a status bit
  int Field7 = 0;  // Max; CompFactor of a process value; the flags of a status bit
  std::optional<std::uint16_t> GCode;  // none: the line has no group field
  bool HexGroups = false;               // write the group field as "$hex"
  bool TrailingBackslash = false;       // end the line with a backslash
  Presence When = Presence::Always;
  CommandValue Initial;

  int Min() const { return Field6; }
  int Max() const { return Field7; }
  // Groups as the tool reads them: a line without a group field counts as 0xFFBC.
  std::uint16_t Groups() const { return GCode.value_or(0xFFBC); }
  std::vector<std::string> ValueList() const;
};

// The module's table. With generatedParams > 0 the parameters are replaced by that many
// generated ones, generatedCurves of them curves (the rest alternating number and text);
// process values, status bits, remote-control inputs and the fixed actions stay.
std::vector<CommandDef> MakeCommandTable(int generatedParams = 0, int generatedCurves = 0);

// One listing line ("AType\Kind\Name\...").
std::string ListingLine(const CommandDef& def);

}  // namespace modsim
