// The typed commands a module offers, the four command lists, the process-data records, and the
// parsers of the module's listing lines and replies.
//
// Ownership: a command belongs to the list that holds it. The parsers and CreateModCommandCopy
// hand out std::unique_ptr; give a command to an owning list with list.Add(cmd.release()).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "model/MyGlobalUtils.h"

// ---- Kinds, groups, units, pins ---------------------------------------------------------------

// The kind of a command (field 1 of a listing line, attribute "Type" of the XML file). Values of
// 12 and more can occur in a listing; they have no class and make no command.
enum TModCmdKind : std::uint8_t {
  ProzessPara = 0,
  TextPara = 1,
  NumPara = 2,
  Dummy1 = 3,
  InPara = 4,
  NoPara = 5,
  CCPara = 6,
  AinPara = 7,
  AinSPara = 8,
  LPara = 9,
  InfoPara = 10,
  RemoteCtrlPara = 11,
};

// The kind's own name ("ProzessPara" .. "RemoteCtrlPara"); empty for values of 12 and more.
std::string ModCmdKindName(TModCmdKind Kind);

// One of the 16 group bits of a command's GCode; the value is the bit number.
enum class TModCmdGroup : std::uint8_t {
  NewTab = 0,
  NewData,
  All,
  Appli,
  QEL,
  Basic,
  DRUVTEC,
  Password,
  Pressure,
  Special,
  FreeBit10,
  FreeBit11,
  FreeBit12,
  FreeBit13,
  FreeBit14,
  FreeBit15,
};

// The group's name ("NewTab" .. "FreeBit15").
std::string ModCmdGroupName(TModCmdGroup Group);

// The set of groups whose bits are set: the same bits as GCode.
class TModCmdGroups {
 public:
  TModCmdGroups() = default;
  explicit TModCmdGroups(std::uint16_t bits) : Bits(bits) {}
  bool Contains(TModCmdGroup G) const { return (Bits >> static_cast<unsigned>(G)) & 1u; }
  void Include(TModCmdGroup G) { Bits = static_cast<std::uint16_t>(Bits | (1u << static_cast<unsigned>(G))); }
  void Exclude(TModCmdGroup G) { Bits = static_cast<std::uint16_t>(Bits & ~(1u << static_cast<unsigned>(G))); }
  bool Empty() const { return Bits == 0; }
  bool operator==(const TModCmdGroups&) const = default;

  std::uint16_t Bits = 0;
};

// The group set of a GCode word: group i is in the set when bit i is set.
TModCmdGroups GCodeToGroupSet(std::uint16_t GCode);

// The GCode of a listing line without a group field: all groups but NewTab, NewData and DRUVTEC.
constexpr std::uint16_t DefaultGCode = 0xFFBC;

// Unit of an analog-input parameter. A file may hold other values; they have no letter.
enum TModAinUnit : std::uint8_t { auVoltage = 0, auCurrent = 1 };

// Letters of the two units, indexed by TModAinUnit: "V", "C" at start; the main window sets
// "U", "I" while its option AinCommandUI is on. Window thread only.
extern std::string AinUnitLetters[2];

// The letter of a unit: AinUnitLetters[Unit], "?" for a value without a letter.
std::string AinUnitLetter(TModAinUnit Unit);

// One point of a characteristic curve.
struct TModCCPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  bool operator==(const TModCCPoint&) const = default;
};

// Remote-control pins 0..5, taken from a command's name (exact comparison, case included):
// 1 "RC:910" "PIN 9/10", 2 "RC:6" "Pin 6", 3 "RC:13" "PIN 13", 4 "RC:14" "Pin 14",
// 5 "RC:29" "PIN 29"; any other name is pin 0 with an empty caption.
std::uint8_t RemoteCtrlPinOfName(const std::string& Name);
std::string RemoteCtrlPinCaption(std::uint8_t Pin);

// ---- Command objects --------------------------------------------------------------------------

// One command of a module. Kind is fixed by the constructor.
class TModBaseCommand : public TObject {
 public:
  explicit TModBaseCommand(TModCmdKind kind) : Kind(kind) {}
  TModBaseCommand(const TModBaseCommand&) = delete;
  TModBaseCommand& operator=(const TModBaseCommand&) = delete;

  std::string Help;           // help text of the listing
  std::uint8_t AType = 2;     // access type: 1 write only, 2 read only, 3 read and write
  const TModCmdKind Kind;
  std::uint8_t VType = 1;     // value type; 21 and 22 may be shown with two decimals
  std::string Name;           // the command word the module understands
  std::uint16_t GCode = 0;    // group bits

  // The value as the grid and the parameter files show it.
  virtual std::string GetValueStr() const = 0;
  // Copies this command's data into Dest when Dest has the same Kind; otherwise does nothing.
  virtual void AssignTo(TModBaseCommand* Dest) const;

  TModCmdGroups GetGroups() const { return GCodeToGroupSet(GCode); }
  // Names of the set groups in bit order, joined by ", "; empty when no bit is set.
  std::string GetGroupNames() const;
};

// A parameter that can be set. Used as is for the kinds InPara, NoPara, AinSPara and LPara.
class TModCtrlCommand : public TModBaseCommand {
 public:
  explicit TModCtrlCommand(TModCmdKind kind) : TModBaseCommand(kind) {}

  TStringList VList;          // the allowed value texts
  std::int32_t Max = 0;
  std::int32_t Min = 0;
  // Raised by DoChange; the parameter list installs its handler when it fills the grid.
  std::function<void(TObject* Sender)> OnChange;

  // Calls OnChange with this command as sender when a handler is installed.
  void DoChange();

  // Empty for the plain kinds.
  std::string GetValueStr() const override;
  // Min, Max and the value texts (not OnChange).
  void AssignTo(TModBaseCommand* Dest) const override;
};

// A parameter whose value is one text of VList.
class TModTextParaCmd : public TModCtrlCommand {
 public:
  TModTextParaCmd() : TModCtrlCommand(TextPara) {}

  std::string Text;           // one of the texts of VList, or empty

  // Text := S when S is one of VList's texts (SameText), else empty.
  void SetText(const std::string& S);

  std::string GetValueStr() const override;  // Text
  void AssignTo(TModBaseCommand* Dest) const override;
};

// A parameter whose value is one integer.
class TModNumParaCmd : public TModCtrlCommand {
 public:
  TModNumParaCmd() : TModCtrlCommand(NumPara) {}

  std::int32_t Value = 0;

  // Value / 100 with exactly two decimals and the user's separator ("12.34", "-0.05").
  std::string GetValueStr100() const;

  std::string GetValueStr() const override;  // Value in decimal
  void AssignTo(TModBaseCommand* Dest) const override;
};

// An analog-input scaling: three integers and a unit.
class TModAinParaCmd : public TModCtrlCommand {
 public:
  TModAinParaCmd() : TModCtrlCommand(AinPara) {}

  std::int32_t B = 0;
  std::int32_t C = 0;
  std::int32_t A = 0;
  TModAinUnit Unit = auVoltage;

  // 22-column line: A ending at column 6, B at 13, C at 20, the unit letter at 22
  // ("   100    -50      0 V"); a number too wide for its room starts one blank after the text
  // before it and lengthens the line.
  std::string GetValueStr() const override;
  void AssignTo(TModBaseCommand* Dest) const override;
};

// A characteristic curve of 21 points, indexed -10 to +10.
class TModCCParaCmd : public TModCtrlCommand {
 public:
  static constexpr int MinIndex = -10;
  static constexpr int MaxIndex = 10;

  TModCCParaCmd() : TModCtrlCommand(CCPara) {}

  // The point at Index; (0, 0) for an index outside -10..10.
  TModCCPoint GetPoint(int Index) const;
  // Sets the point at Index; does nothing for an index outside -10..10.
  void SetPoint(int Index, const TModCCPoint& Point);
  // 13-column line: X ending at column 6, Y at column 13 ("-10000   2500"), a Y too wide for its
  // room one blank after X; empty for an index outside -10..10.
  std::string GetPointStr(int Index) const;

  std::string GetValueStr() const override;  // "characteristic curve"
  void AssignTo(TModBaseCommand* Dest) const override;

 private:
  TModCCPoint Points[MaxIndex - MinIndex + 1];
};

// A remote-control input of the module ("RC:6" and the like).
class TModRemoteCtrlCmd : public TModCtrlCommand {
 public:
  TModRemoteCtrlCmd() : TModCtrlCommand(RemoteCtrlPara) {}

  std::int32_t Value = 0;

  // The pin of Name (0 for a name that is no pin).
  std::uint8_t GetPinIndex() const { return RemoteCtrlPinOfName(Name); }
  // The caption of that pin; empty for pin 0.
  std::string GetPinCaption() const { return RemoteCtrlPinCaption(GetPinIndex()); }

  std::string GetValueStr() const override;  // Value in decimal
  void AssignTo(TModBaseCommand* Dest) const override;
};

// A process value.
class TModProcCommand : public TModBaseCommand {
 public:
  TModProcCommand() : TModBaseCommand(ProzessPara) {}

  std::int32_t CompFactor = 1;  // the raw value divided by it gives the physical value
  std::string PhysUnit;         // the physical unit
  std::int32_t Value = 0;       // the last raw value

  // Value / CompFactor with exactly two decimals, rounded half away from zero, the user's
  // separator; NoValueText when CompFactor is 0.
  std::string GetValueStr() const override;
  // CompFactor and PhysUnit (not Value).
  void AssignTo(TModBaseCommand* Dest) const override;
};

// One bit of the module's status word.
class TModStatusBitCommand : public TModBaseCommand {
 public:
  TModStatusBitCommand() : TModBaseCommand(InfoPara) {}

  std::uint16_t Status = 0;   // the last status word
  bool BActive = false;
  std::uint8_t BIndex = 0;    // the bit number in the status word
  std::string BHelp;          // shown with the bit's status LED
  bool BInvers = false;
  std::uint8_t BColor = 1;    // colour code 0..3

  // Bit BIndex of Status, inverted when BInvers. A BIndex of 16 or more reads as 0.
  bool IsBitSet() const;
  // The part of Name after its first ':'; the whole Name when it has none.
  std::string GetBitName() const;

  std::string GetValueStr() const override;  // Status in decimal
  void AssignTo(TModBaseCommand* Dest) const override;
};

// A new, empty command of the class for Kind: TModProcCommand (0), TModTextParaCmd (1),
// TModNumParaCmd (2), TModCtrlCommand with the kind (4, 5, 8, 9), TModCCParaCmd (6),
// TModAinParaCmd (7), TModStatusBitCommand (10), TModRemoteCtrlCmd (11); nullptr for 3 and 12+.
std::unique_ptr<TModBaseCommand> CreateModCommand(TModCmdKind Kind);

// A new command of Cmd's class with Cmd's data (AssignTo), for the kinds 0, 1, 2, 4..9;
// nullptr for a nullptr Cmd and for every other kind.
std::unique_ptr<TModBaseCommand> CreateModCommandCopy(const TModBaseCommand* Cmd);

// ---- Command lists ----------------------------------------------------------------------------

// Parameter commands (every kind except process values, status bits and remote-control inputs).
// Owns its commands.
class TModCommandList : public TosBaseObjStringList {
 public:
  // Appends (Cmd->Name, Cmd) and takes ownership; -1 and no change for nullptr.
  int Add(TModBaseCommand* Cmd);
  // The command at Index; nullptr for an invalid index or an object of another class.
  TModBaseCommand* GetCommand(int Index) const;
};

// Process values; the position of a value is its index in a binary process-data record.
// Owns its commands.
class TModProcessData : public TosBaseObjStringList {
 public:
  int Add(TModProcCommand* Cmd);
  TModProcCommand* GetProcCommand(int Index) const;
  // Clears Dest (freeing its commands) and appends a copy of every process command of this list,
  // in order; the copies' Value is 0. Does nothing for a nullptr Dest or Dest == this.
  void CopyProcCommands(TModProcessData* Dest) const;
};

// Status bits; the position of a bit here is its bit number in UpdateStatus's Mask.
// Owns its commands.
class TModStatusInfoData : public TosBaseObjStringList {
 public:
  int Add(TModStatusBitCommand* Cmd);
  TModStatusBitCommand* GetStatusBit(int Index) const;
  // Gives every status bit the word Status; Mask bit i := IsBitSet of the entry at position i
  // (positions from 16 on have no bit). False, with Mask 0, for an empty list.
  bool UpdateStatus(std::uint16_t Status, std::uint16_t& Mask);
};

// Remote-control inputs. Does NOT own its commands (OwnsObjects is false): Clear, Delete and the
// destructor leave them alive. Its owner (the protocol component) frees them with FreeCommands()
// before it clears or destroys the list.
class TModRemoteCtrlCommandList : public TosBaseObjStringList {
 public:
  TModRemoteCtrlCommandList() { OwnsObjects = false; }

  int Add(TModRemoteCtrlCmd* Cmd);
  TModRemoteCtrlCmd* GetRemoteCtrlCmd(int Index) const;
  // The first command whose pin is Pin; nullptr when none.
  TModRemoteCtrlCmd* FindByPin(std::uint8_t Pin) const;
  // Min and Max of the first command whose pin is Pin, result true; false and both untouched
  // when none.
  bool GetPinRange(std::uint8_t Pin, std::int32_t& Min, std::int32_t& Max) const;
  // Frees every command held and empties the list: ClearObjects(true).
  void FreeCommands() { ClearObjects(true); }
};

// ---- Process-data records ---------------------------------------------------------------------

// One set of process values from the module with the moment of reception. The creator owns it.
class TBaseProcDataObj : public TObject {
 public:
  std::int32_t Count = 0;                // number of values held
  std::vector<std::int32_t> Values;      // Count entries
  TDateTime TimeStamp = 0;

  // Fills the record from the received data.
  virtual void SetData(const void* Data, std::int32_t Len, bool Swap, TDateTime TimeStamp) = 0;
  // Values[Index] for 0 <= Index < Count, else 0.
  std::int32_t GetValue(int Index) const;
};

// A block answered in binary: header byte 0, header byte 1, then unsigned 16-bit values (high
// byte first when Swap). Count = (Len - 2) / 2; a block shorter than 2 bytes (or a negative Len,
// or no Data) holds nothing and has headers 0.
class TBINProcDataObj : public TBaseProcDataObj {
 public:
  TBINProcDataObj(const void* Data, std::int32_t Len, bool Swap, TDateTime TimeStamp);

  std::uint8_t Header0 = 0;
  std::uint8_t Header1 = 0;

  void SetData(const void* Data, std::int32_t Len, bool Swap, TDateTime TimeStamp) override;
};

// One value answered as text. Data points to one std::int32_t (nullptr gives 0); Len and Swap
// are not used. Count stays 0: the value is in Value, for the process value at position Index.
class TASCIIProcDataObj : public TBaseProcDataObj {
 public:
  TASCIIProcDataObj(const void* Data, std::int32_t Len, bool Swap, TDateTime TimeStamp);

  std::int32_t Index = -1;    // position of the process value; set by the creator
  std::int32_t Value = 0;

  void SetData(const void* Data, std::int32_t Len, bool Swap, TDateTime TimeStamp) override;
};

// ---- Parsers ----------------------------------------------------------------------------------

// One line of the module's command listing (fields separated by backslashes) to one command;
// nullptr for a line that makes no command. Fields that are not whole numbers keep the defaults.
std::unique_ptr<TModBaseCommand> ParseModCommandLine(const std::string& Line);

// Checks a module reply (text up to and including the prompt ">") and splits it into items at
// commas and runs of blanks and control characters. On success Lines holds the items: with an
// empty Cmd, Cmd takes the first item and it is removed from Lines; otherwise every occurrence of
// Cmd is cut from the first item (the echo), which stays. False for an empty reply, a reply
// containing "command error" or one without items; Lines is then empty.
bool CheckModAnswer(const std::string& Answer, std::string& Cmd, TStringList& Lines);

// True exactly for "C", "c", "I" and "i": the unit item of an analog-input reply meaning current.
bool IsCurrentLetter(const std::string& S);
