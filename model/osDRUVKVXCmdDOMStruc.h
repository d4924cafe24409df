// The XML command and parameter file (".kvx"): one or more modules, each with its commands and
// their values, process values, status bits and remote-control inputs.
//
//   <DRUV-ModulCmdList version="1.0">
//     <Modul ID="...">
//       <Commands>    <CCmd Name Type AType VList VType GCode Min Max Help><Para .../></CCmd> ...
//       <ProzessData> <PCmd Name Type AType PhysUnit VType GCode CompFactor Help/> ...
//       <StatusInfo>  <SCmd Name Type AType GCode BIndex BActive BInvers BColor Help/> ...
//       <RemoteCtrl>  <RCmd Name Type AType VType GCode Help/> ...
//
// The caller points the object at its four command lists (not owned), calls one operation and
// frees it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/MyGlobalUtils.h"
#include "model/osKVXFileIndex.h"
#include "model/osXMLBase.h"

class TModCommandList;
class TModRemoteCtrlCommandList;
class TModProcessData;
class TModStatusInfoData;

class TosKVXCmdDOM : public TosXMLBaseDOM {
 public:
  TosKVXCmdDOM();

  TModCommandList* CommandList = nullptr;
  TModRemoteCtrlCommandList* RemoteCtrlList = nullptr;
  TModProcessData* ProcessData = nullptr;
  TModStatusInfoData* StatusInfo = nullptr;

  // Loads the file and accepts it only as a command-list file: root "DRUV-ModulCmdList" with
  // version "1.0". A file that is not one leaves the document empty.
  bool LoadFromFile(const std::string& FileName) override;

  // Appends the ID of every "Modul" directly below the root, in file order, each ID once; IDs is
  // not cleared. True when at least one was appended.
  bool GetModulIDs(const std::string& FileName, TStringList* IDs);
  // Whether the file holds a module of that ID (without regard to case).
  bool HasModulID(const std::string& FileName, const std::string& ID);
  // Replaces the four lists' contents with the module ID's (exact match). A file holding the ID
  // more than once is read from its first module of that ID, the one a save replaces. Commands
  // of the group DRUVTEC are not taken. True when the module was found and it has a
  // "RemoteCtrl" section; a module that is missing or lacks it is named in LastErrorText.
  bool ReadModulCmds(const std::string& FileName, const std::string& ID);
  // What ReadModulParaValues took, each name once.
  struct TParaValuesRead {
    TStringList Taken;    // the commands whose values were taken, by their names in the list
    TStringList NoValue;  // text parameters the file gives no text: they keep theirs
  };
  // Sets the values of the commands of CommandList from the module ID's parameters (its first
  // module, as above). Missing (emptied first, when given) receives the names whose values were
  // not taken: names the list lacks, and values the command cannot hold (a number that is no
  // 32-bit whole number, a text outside its value list); such a command keeps its value.
  // Commands the file holds without a value of their own (kinds other than text, number,
  // analog input and curve, and factory parameters) are never listed: the writer writes them
  // for every module, and the reader of a whole module does not take them. A name the file
  // gives more than once is read from its last entry, as a series of writes would leave it. No
  // change event fires. False, with the reason in LastErrorText, when the module or its
  // "Commands" section is missing. Read (when given, emptied first) receives what was taken.
  bool ReadModulParaValues(const std::string& FileName, const std::string& ID, TStringList* Missing,
                           TParaValuesRead* Read = nullptr);
  // Writes the four lists as the module ID into the file, keeping every other module. An
  // existing file that is not a command-list file is not replaced: the result is then false and
  // nothing is written.
  bool WriteModulCmds(const std::string& FileName, const std::string& ID);

 protected:
  // The quick paths and the whole-document lookups they stand in for (protected for the fuzz
  // target, which checks the one against the other).

  // Reads the file and indexes it (without building its document): false as LoadFromFile would
  // be. The index of the last file is kept while the file's bytes stay the same, so asking for a
  // file's modules and then reading one of them parses it once.
  bool LoadIndex(const std::string& FileName);
  // After LoadIndex: the first module of that ID, parsed from its own bytes where the file
  // allows it, else found in the whole document; nullptr when none.
  xmlNodePtr LoadModule(const std::string& FileName, const std::string& ID);
  // After LoadIndex: the file with the module ID written in place of the first module of that ID
  // (or after the last module), every other byte as it was; false where the file does not allow
  // it (the whole document is then rewritten).
  bool SpliceModule(const std::string& ID, std::string& Text);
  // The first "Modul" of that ID anywhere below the root, in document order; nullptr when none.
  xmlNodePtr FindFirstModule(const std::string& ID) const;
  // Every "Modul" of that ID anywhere below the root, in document order.
  std::vector<xmlNodePtr> FindModules(const std::string& ID) const;

 private:
  bool AllListsSet() const;
  void WriteModule(xmlNodePtr Module);
  void ReadCommands(xmlNodePtr Module);
  void ReadProcessData(xmlNodePtr Module);
  void ReadStatusInfo(xmlNodePtr Module);
  void ReadRemoteCtrl(xmlNodePtr Module);

  // Reads a whole number by the integer reading rule; false, and Value untouched, when the
  // attribute is missing or no whole number.
  static bool ReadInt(xmlNodePtr Node, const char* Name, std::int32_t& Value);
  // The same for a byte or a 16-bit field: its low 8 or 16 bits are kept.
  static void ReadByte(xmlNodePtr Node, const char* Name, std::uint8_t& Value);
  static void ReadWord(xmlNodePtr Node, const char* Name, std::uint16_t& Value);
  static void ReadText(xmlNodePtr Node, const char* Name, std::string& Value);
  static void ReadBool(xmlNodePtr Node, const char* Name, bool& Value);
  // The value of a command of CommandList from the "Para" element, by the command's kind. With
  // Strict, an attribute that is there but does not read leaves the whole command unchanged
  // and the result is false; otherwise what reads is taken (a curve coordinate that does not
  // read repeats the one of the point before).
  static bool ReadParaValue(xmlNodePtr Para, TObject* Cmd, bool Strict = false);
  // Whether a "CCmd" holds a value the reader of a whole module would take: it is none of the
  // kinds without a value and no factory parameter. Missing or unreadable attributes count as
  // a value, since the commands of another program may lack them.
  static bool CarriesValue(xmlNodePtr CCmd);
  // The reasons of a read that found no module of that ID, or the module without a section
  // (texts as LastErrorText gives them).
  void NoModule(const std::string& FileName, const std::string& ID);
  void NoSection(const std::string& FileName, const std::string& ID, const char* Section);

  TKvxFileIndex FIndex;
  bool FIndexValid = false;
};
