// Feeds arbitrary bytes to the ".par" reader, and builds files from values taken from the bytes
// to check that what the writer puts in a file comes back out of the reader unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/osDRUVModProtBase.h"
#include "protocol/osDRUVParamText.h"

namespace {

// Prefix and up to Max characters that read back as themselves: no blanks, controls, commas,
// quotes or colons. Long enough to need more room than the columns before the value.
std::string NameFrom(const std::uint8_t*& p, const std::uint8_t* end, const char* prefix, std::size_t max) {
  std::string n = prefix;
  while (p < end && n.size() < max + 1) {
    const char c = static_cast<char>(*p++);
    const auto u = static_cast<unsigned char>(c);
    if (u == 0xFF) break;
    if (u <= 32 || c == ',' || c == '"' || c == ':') continue;
    n += c;
  }
  return n;
}

std::int32_t IntFrom(const std::uint8_t*& p, const std::uint8_t* end) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4 && p < end; ++i) v = (v << 8) | *p++;
  return static_cast<std::int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  TModCommandList list;
  auto* curve = new TModCCParaCmd();
  curve->Name = "CURVE";
  list.Add(curve);
  auto* num = new TModNumParaCmd();
  num->Name = "GAIN";
  list.Add(num);
  auto* txt = new TModTextParaCmd();
  txt->Name = "MODE";
  txt->VList = {"Gain 1", "Off"};
  list.Add(txt);

  // Reading anything: lines carry names, curve lines an integer index in front of their values.
  const TParFileContent f = ParseParameterText(text);
  if (f.Usable != (SplitTextLines(text).size() >= 3)) std::abort();
  if (f.Section != psParameters && !f.Lines.empty()) std::abort();
  for (const TParLine& line : f.Lines) {
    if (line.Name.empty()) std::abort();
    TStringList values;
    TModCtrlCommand* cmd = ResolveParLine(list, line, values);
    std::int32_t k = 0;
    if (cmd == curve && SameText(line.Name, "CURVE") == false && !TryStrToInt(values.at(0), k)) std::abort();
  }

  // Writing values taken from the input, then reading them back.
  const std::uint8_t* p = data;
  const std::uint8_t* end = data + size;
  TModCommandList out;
  auto* n = new TModNumParaCmd();
  n->Name = NameFrom(p, end, "N", 30);
  n->Value = IntFrom(p, end);
  out.Add(n);
  auto* c = new TModCCParaCmd();
  c->Name = NameFrom(p, end, "C", 24);
  for (int i = -10; i <= 10; ++i) c->SetPoint(i, {IntFrom(p, end) % 100000, IntFrom(p, end) % 100000});
  out.Add(c);
  auto* t = new TModTextParaCmd();
  t->Name = NameFrom(p, end, "T", 30);
  std::string value;
  while (p < end && value.size() < 5) {
    const auto u = *p++;
    if (u >= 32) value += static_cast<char>(u);
  }
  t->VList = {value};
  t->SetText(value);
  out.Add(t);

  const TParFileContent back = ParseParameterText(BuildParameterText("M 1 2 3", out));
  if (!back.Usable || back.Section != psParameters || back.IdText != "M 1 2 3") std::abort();
  bool numSeen = false;
  int points = 0;
  for (const TParLine& line : back.Lines) {
    TStringList values;
    TModCtrlCommand* cmd = ResolveParLine(out, line, values);
    std::int32_t a = 0, b = 0, k = 0;
    if (cmd == n) {
      if (values.size() != 1 || !TryStrToInt(values[0], a) || a != n->Value) std::abort();
      numSeen = true;
    } else if (cmd == c) {
      if (values.size() != 3 || !TryStrToInt(values[0], k) || !TryStrToInt(values[1], a) ||
          !TryStrToInt(values[2], b) || c->GetPoint(k) != TModCCPoint{a, b})
        std::abort();
      ++points;
    } else if (cmd == t) {
      // A text that only holds blanks or characters the reply rule drops has no item to read.
      if (values.size() > 1 || (values.size() == 1 && values[0] != t->Text)) std::abort();
    } else {
      std::abort();
    }
  }
  if (!numSeen || points != 21) std::abort();
  return 0;
}
