#include "protocol/osDRUVParamText.h"

#include <algorithm>
#include <unordered_map>

#include "model/osDRUVModProtBase.h"

namespace {

constexpr std::size_t kTemplateWidth = 25;  // the blank template of a parameter line
constexpr std::size_t kValueEnd = 24;       // text and number values end at this column
constexpr std::size_t kWideValueStart = 19; // analog-input and curve-point texts start here

// Line T with N placed so that it ends at column End (columns from 1); a longer N pushes the
// rest of T to the right.
std::string PlaceEndingAt(const std::string& T, const std::string& N, std::size_t End) {
  const std::size_t keep = End > N.size() ? End - N.size() : 0;
  std::string line = T.substr(0, std::min(keep, T.size()));
  line.append(keep > line.size() ? keep - line.size() : 0, ' ');
  line += N;
  if (T.size() > End) line += T.substr(End);
  return line;
}

// Line T with N laid over it from column Start on.
std::string PlaceFrom(const std::string& T, const std::string& N, std::size_t Start) {
  std::string line = T.substr(0, std::min(Start - 1, T.size()));
  line.append(Start - 1 - line.size(), ' ');
  line += N;
  if (T.size() > line.size()) line += T.substr(line.size());
  return line;
}

// The blank template with Name from column 1 (a longer name makes the line longer).
std::string NameTemplate(const std::string& Name) {
  std::string t = Name;
  if (t.size() < kTemplateWidth) t.append(kTemplateWidth - t.size(), ' ');
  return t;
}

// A one-line value ending at column 24, or "name value " where the name leaves no room for it:
// laid over the name, the value would cut it or run into it and the line would not read back.
std::string ValueLine(const std::string& Name, const std::string& Value) {
  if (Name.size() + 1 + Value.size() <= kValueEnd)
    return PlaceEndingAt(NameTemplate(Name), Value, kValueEnd);
  return Name + " " + Value + " ";
}

// An analog-input or curve-point text from column 19, or "name text" where the name (or curve
// label) is longer than the 18 columns kept for it, or would run into the text: cut to 18
// columns, "K12345678901234:10" would read back as point 1.
std::string WideValueLine(const std::string& Name, const std::string& Value) {
  const std::size_t room = kWideValueStart - 1;
  if (Name.size() < room || (Name.size() == room && !Value.empty() && Value[0] == ' '))
    return PlaceFrom(NameTemplate(Name), Value, kWideValueStart);
  return Name + " " + Value;
}

// A text that the reply splitting would cut into several items, or change, goes in quotes.
std::string ValueItem(const std::string& Text) {
  bool quote = false;
  for (char c : Text) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || c == ',' || c == '"') quote = true;
  }
  if (!quote) return Text;
  std::string q = "\"";
  for (char c : Text) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

}  // namespace

std::string BuildParameterText(const std::string& ModuleId, const TModCommandList& List) {
  std::string text = ModuleId + "\n##\n";
  for (int i = 0; i < List.Count(); ++i) {
    const TModBaseCommand* cmd = List.GetCommand(i);
    if (!cmd || cmd->GetGroups().Contains(TModCmdGroup::DRUVTEC)) continue;
    if (auto* t = dynamic_cast<const TModTextParaCmd*>(cmd)) {
      text += ValueLine(t->Name, ValueItem(t->Text)) + "\n";
    } else if (auto* n = dynamic_cast<const TModNumParaCmd*>(cmd)) {
      text += ValueLine(n->Name, n->GetValueStr()) + "\n";
    } else if (auto* a = dynamic_cast<const TModAinParaCmd*>(cmd)) {
      text += WideValueLine(a->Name, a->GetValueStr()) + "\n";
    } else if (auto* c = dynamic_cast<const TModCCParaCmd*>(cmd)) {
      for (int k = TModCCParaCmd::MinIndex; k <= TModCCParaCmd::MaxIndex; ++k)
        text += WideValueLine(c->Name + ":" + std::to_string(k), c->GetPointStr(k)) + "\n";
    }
  }
  return text + "##\n";
}

TStringList SplitTextLines(const std::string& Text) {
  TStringList lines;
  std::string cur;
  bool open = false;  // a line has begun that no break has ended yet
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      open = false;
      if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else {
      cur += c;
      open = true;
    }
  }
  if (open) lines.push_back(cur);
  return lines;
}

std::string ParFileIdText(const std::string& FirstLine) {
  std::string s = Trim(FirstLine);
  if (s.size() >= 4 && s.compare(s.size() - 4, 4, "CMD>") == 0) {
    s.resize(s.size() - 4);
  } else if (!s.empty() && s.back() == '>') {
    s.pop_back();
  }
  s = Trim(s);
  // Only a whole leading word "ID": a module named "SLIDE1" or "IDX" keeps its name.
  if (s.compare(0, 2, "ID") == 0 && (s.size() == 2 || static_cast<unsigned char>(s[2]) <= 32))
    s = Trim(s.substr(2));
  return s;
}

TParFileContent ParseParameterText(const std::string& Text) {
  TParFileContent f;
  const TStringList lines = SplitTextLines(Text);
  if (lines.size() < 3) return f;
  f.Usable = true;
  f.IdText = ParFileIdText(lines[0]);

  const auto begin = lines.begin() + 1;
  auto section = std::find(begin, lines.end(), "##");
  if (section != lines.end()) {
    f.Section = psParameters;
    for (auto it = section + 1; it != lines.end() && *it != "##"; ++it) {
      TParLine line;
      if (CheckModAnswer(*it, line.Name, line.Values)) f.Lines.push_back(std::move(line));
    }
    return f;
  }
  auto block = std::find(begin, lines.end(), "#");
  if (block == lines.end()) return f;
  std::string joined;
  for (auto it = block + 1; it != lines.end(); ++it) {
    if (*it == "#") {
      f.Section = psBlock;
      f.Block = std::move(joined);
      return f;
    }
    joined += *it;
  }
  f.Section = psBlockOpen;
  return f;
}

TModCtrlCommand* ResolveParLine(const TModCommandList& List, const TParLine& Line, TStringList& Values) {
  Values = Line.Values;
  int idx = List.IndexOf(Line.Name);
  if (idx >= 0) {
    auto* cmd = dynamic_cast<TModCtrlCommand*>(List.GetObject(idx));
    // A text written without quotes by another program: its blank-separated parts are one text
    // when that is one of the allowed texts. Otherwise the parts stay apart, and the several
    // values leave the command as it was instead of emptying its text.
    if (cmd && cmd->Kind == TextPara && Values.size() > 1) {
      std::string joined;
      for (std::size_t i = 0; i < Values.size(); ++i) joined += (i ? " " : "") + Values[i];
      for (const std::string& item : cmd->VList) {
        if (SameText(item, joined)) {
          Values = {joined};
          break;
        }
      }
    }
    return cmd;
  }
  // A curve point: "NAME:k" with k a whole number.
  const std::size_t colon = Line.Name.find(':');
  if (colon == std::string::npos) return nullptr;
  idx = List.IndexOf(Line.Name.substr(0, colon));
  if (idx < 0) return nullptr;
  auto* curve = dynamic_cast<TModCCParaCmd*>(List.GetObject(idx));
  std::int32_t k = 0;
  if (!curve || !TryStrToInt(Line.Name.substr(colon + 1), k)) return nullptr;
  Values.insert(Values.begin(), Line.Name.substr(colon + 1));
  return curve;
}

std::vector<TParEntry> GroupParLines(const TModCommandList& List, const std::vector<TParLine>& Lines) {
  std::vector<TParEntry> entries;
  std::unordered_map<const TModCtrlCommand*, std::size_t> known;
  std::unordered_map<std::string, std::size_t> unknown;
  for (std::size_t i = 0; i < Lines.size(); ++i) {
    TStringList values;
    const TModCtrlCommand* cmd = ResolveParLine(List, Lines[i], values);
    const std::size_t next = entries.size();
    const std::size_t at = cmd ? known.emplace(cmd, next).first->second
                               : unknown.emplace(UpperCaseAnsi(Lines[i].Name), next).first->second;
    if (at == next) entries.emplace_back();
    entries[at].Lines.push_back(i);
  }
  return entries;
}

namespace {

// Why S is not a whole 32-bit number: a run of decimal digits (with a sign) is one beyond 32
// bits, anything else is not whole.
TParValueCheck WholeCheck(const std::string& S) {
  std::int32_t n = 0;
  if (TryStrToInt(S, n)) return pvFits;
  std::size_t i = S.find_first_not_of(' ');
  if (i != std::string::npos && (S[i] == '-' || S[i] == '+')) ++i;
  if (i == std::string::npos || i >= S.size()) return pvNotWhole;
  for (; i < S.size(); ++i)
    if (S[i] < '0' || S[i] > '9') return pvNotWhole;
  return pvBeyond32Bits;
}

}  // namespace

TParValueCheck CheckParValues(const TModCtrlCommand& Cmd, const TStringList& Values) {
  switch (Cmd.Kind) {
    case TextPara:
      if (Values.empty() || (Values.size() == 1 && Values[0].empty())) return pvNoValue;
      if (Values.size() == 1)
        for (const std::string& item : Cmd.VList)
          if (SameText(item, Values[0])) return pvFits;
      return pvTextNotListed;
    case NumPara:
    case RemoteCtrlPara:
      return Values.size() == 1 ? WholeCheck(Values[0]) : pvValueCount;
    case CCPara: {
      if (Values.size() != 3) return pvValueCount;
      std::int32_t k = 0;
      if (const TParValueCheck c = WholeCheck(Values[0]); c != pvFits) return c;
      TryStrToInt(Values[0], k);
      if (k < TModCCParaCmd::MinIndex || k > TModCCParaCmd::MaxIndex) return pvOffCurve;
      for (std::size_t i = 1; i < 3; ++i)
        if (const TParValueCheck c = WholeCheck(Values[i]); c != pvFits) return c;
      return pvFits;
    }
    case AinPara:
      // A, B and C, then the unit letter; a shorter line sets the leading ones, a longer one's
      // further values are ignored.
      if (Values.empty()) return pvValueCount;
      for (std::size_t i = 0; i < Values.size() && i < 3; ++i)
        if (const TParValueCheck c = WholeCheck(Values[i]); c != pvFits) return c;
      return pvFits;
    default:
      // Kinds without a value of their own take none from the file.
      return pvFits;
  }
}

const char* ParValueCheckText(TParValueCheck Check) {
  switch (Check) {
    case pvBeyond32Bits:
      return "beyond 32 bits";
    case pvNotWhole:
      return "not a whole number";
    case pvTextNotListed:
      return "text not in the list";
    case pvOffCurve:
      return "curve point off the curve";
    case pvValueCount:
      return "wrong number of values";
    case pvNoValue:
      return "no value";
    case pvFits:
      break;
  }
  return "";
}
