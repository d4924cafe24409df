// The text parameter file (".par"): building it from a command list and reading it back, without
// any port, so that both sides can be tested and fuzzed on their own.
//
//   line 1    the module's identification text
//   "##"
//   one line per parameter: the name from column 1, the value ending at column 24 (text and
//   number), the 22-column analog-input text from column 19, or 21 lines "NAME:k" with the
//   13-column point text from column 19 for a curve
//   "##"
//
// Instead of the "##" section a file may hold a "#" block: a line "#", lines the module itself
// interprets (joined without separators), and a closing "#".
#pragma once

#include <string>
#include <vector>

#include "model/MyGlobalUtils.h"

class TModCommandList;
class TModCtrlCommand;

// The file as text, lines ended by "\n". Commands of the group DRUVTEC and kinds without a value
// in this format are left out. A text value that would not read back as one item (blanks,
// commas, quotes) is written in double quotes. A name too long for the columns before its value
// is written whole, followed by a blank and the value, and a number too wide for its columns
// starts one blank after the one before, so that every line reads back.
std::string BuildParameterText(const std::string& ModuleId, const TModCommandList& List);

// The lines of a text, split at CR LF, CR or LF; a line break at the very end ends the last
// line and starts no new one.
TStringList SplitTextLines(const std::string& Text);

// The identification text of a file's first line: a trailing prompt (">" or "CMD>") and a
// leading "ID" command word are removed (a line captured from a terminal), blanks trimmed.
std::string ParFileIdText(const std::string& FirstLine);

enum TParSection {
  psNone,        // neither a "##" nor a "#" line
  psParameters,  // a "##" section (closed or running to the end of the file)
  psBlock,       // a closed "#" block
  psBlockOpen,   // a "#" block without its closing "#"
};

// One parameter line: the name and the value texts, as a module reply would give them.
struct TParLine {
  std::string Name;
  TStringList Values;
};

struct TParFileContent {
  bool Usable = false;  // the file has at least three lines
  std::string IdText;
  TParSection Section = psNone;
  std::vector<TParLine> Lines;  // psParameters: every line that parses, in file order
  std::string Block;            // psBlock: the block's lines joined
};

TParFileContent ParseParameterText(const std::string& Text);

// The settable command of List that Line names, and the values to give it (for a curve line
// "NAME:k" the point index first, then X and Y; for a text, words written without quotes joined
// by one blank when that gives an allowed text). nullptr when the list has no such settable
// command.
TModCtrlCommand* ResolveParLine(const TModCommandList& List, const TParLine& Line, TStringList& Values);

// One parameter of a file: every line that names it (the points of a curve, a name given again),
// wherever they stand, so that the module gets it as a whole, once. Lines index
// TParFileContent::Lines, in file order.
struct TParEntry {
  std::vector<std::size_t> Lines;
};

// The parameters of Lines in the order they first come up, found through List (a name List
// lacks is one parameter too, whatever its case).
std::vector<TParEntry> GroupParLines(const TModCommandList& List, const std::vector<TParLine>& Lines);

enum TParValueCheck {
  pvFits,     // the values are a whole value of the command's kind
  pvNoValue,  // a text parameter without a text (so its file line has none): nothing to load
  // A value the command cannot hold, and why:
  pvBeyond32Bits,   // a whole number beyond 32 bits
  pvNotWhole,       // a number that is not whole (or no number)
  pvTextNotListed,  // a text the module does not offer
  pvOffCurve,       // a curve point whose index is not on the curve (-10 .. 10)
  pvValueCount,     // too many or too few values for the kind
};

// Whether Values (as ResolveParLine gives them) can be loaded into Cmd. Only what fits is loaded
// and written: a value that does not fit would leave the command as it was, and writing that
// would send the module its own old value as if it came from the file. An analog input takes A,
// B, C and the unit letter and ignores further values, as in the module's own reply.
TParValueCheck CheckParValues(const TModCtrlCommand& Cmd, const TStringList& Values);

// A check that found a value the command cannot hold.
inline bool IsBadParValue(TParValueCheck Check) { return Check != pvFits && Check != pvNoValue; }

// Why a value is not loaded, for the user: "no value", "beyond 32 bits", "text not in the list",
// ...; empty for pvFits.
const char* ParValueCheckText(TParValueCheck Check);
