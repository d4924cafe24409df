// Feeds arbitrary bytes to the ".par" reader, and builds a module from values taken from the
// bytes (every kind, the whole 32-bit range, long names, texts with blanks, quotes and commas) to
// check the round trip: what is saved is read back into another module exactly as the offline
// download does it, and every value comes back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/osDRUVModProtBase.h"
#include "protocol/osDRUVModProt.h"
#include "protocol/osDRUVParamText.h"

namespace {

class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  bool Empty() const { return p_ >= end_; }
  std::uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  std::int32_t Int() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    return static_cast<std::int32_t>(v);
  }
  // Up to Max characters that a listing can give a name: no blanks, controls, commas, quotes or
  // colons. Long enough to need more room than the columns before the value.
  std::string Name(std::size_t Max) {
    std::string n;
    const std::size_t len = Byte() % (Max + 1);
    while (n.size() < len && !Empty()) {
      const char c = static_cast<char>(Byte());
      const auto u = static_cast<unsigned char>(c);
      if (u > 32 && c != ',' && c != '"' && c != ':') n += c;
    }
    return n;
  }
  // Up to Max characters of 32 and above: blanks, quotes, commas and Latin-1 letters included.
  std::string Text(std::size_t Max) {
    std::string t;
    const std::size_t len = Byte() % (Max + 1);
    while (t.size() < len && !Empty()) {
      const auto u = Byte();
      if (u >= 32) t += static_cast<char>(u);
    }
    return t;
  }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

// The component only lends its assignment of value texts to a command.
TKVXModCommProt& Assigner() {
  static auto* prot = new TKVXModCommProt();
  return *prot;
}

std::vector<std::string> ValuesOf(const TModCommandList& List) {
  std::vector<std::string> v;
  for (int i = 0; i < List.Count(); ++i) {
    const TModBaseCommand* c = List.GetCommand(i);
    if (auto* t = dynamic_cast<const TModTextParaCmd*>(c)) v.push_back(t->Text);
    if (auto* n = dynamic_cast<const TModNumParaCmd*>(c)) v.push_back(std::to_string(n->Value));
    if (auto* a = dynamic_cast<const TModAinParaCmd*>(c))
      v.push_back(std::to_string(a->A) + " " + std::to_string(a->B) + " " + std::to_string(a->C) + " " +
                  std::to_string(a->Unit));
    if (auto* k = dynamic_cast<const TModCCParaCmd*>(c))
      for (int p = TModCCParaCmd::MinIndex; p <= TModCCParaCmd::MaxIndex; ++p)
        v.push_back(std::to_string(k->GetPoint(p).X) + " " + std::to_string(k->GetPoint(p).Y));
  }
  return v;
}

template <class T>
T* Add(TModCommandList& List, const std::string& Name) {
  auto* c = new T();
  c->Name = Name;
  c->AType = 3;
  List.Add(c);
  return c;
}

void CheckReading(const std::string& text) {
  TModCommandList list;
  auto* curve = Add<TModCCParaCmd>(list, "CURVE");
  Add<TModNumParaCmd>(list, "GAIN");
  auto* txt = Add<TModTextParaCmd>(list, "MODE");
  txt->VList = {"Gain 1", "Off"};
  txt->SetText("Off");

  // Lines carry names, curve lines an integer index in front of their values; words of a text
  // that are no allowed text together leave the text as it was.
  const TParFileContent f = ParseParameterText(text);
  if (f.Usable != (SplitTextLines(text).size() >= 3)) std::abort();
  if (f.Section != psParameters && !f.Lines.empty()) std::abort();
  for (const TParLine& line : f.Lines) {
    if (line.Name.empty()) std::abort();
    TStringList values;
    TModCtrlCommand* cmd = ResolveParLine(list, line, values);
    std::int32_t k = 0;
    if (cmd == curve && !SameText(line.Name, "CURVE") && !TryStrToInt(values.at(0), k)) std::abort();
    if (cmd == txt) {
      const std::string before = txt->Text;
      Assigner().AssignReplyValues(cmd, &values);
      if (values.size() > 1 && txt->Text != before) std::abort();
    }
  }
}

void CheckRoundTrip(Bytes& in) {
  TModCommandList out, back;
  const int count = 1 + in.Byte() % 8;
  for (int i = 0; i < count; ++i) {
    // A prefix of kind and position keeps the names apart.
    const std::string name = "KIND" + std::to_string(i) + "_" + in.Name(30);
    switch (in.Byte() % 4) {
      case 0: {
        auto* t = Add<TModTextParaCmd>(out, name);
        std::string value = in.Text(24);
        // A module never holds such a text: its reply would be rejected, so no file has it.
        if (value.find("command error") != std::string::npos) value.clear();
        t->VList = {value, "#other"};
        t->SetText(value);
        auto* r = Add<TModTextParaCmd>(back, name);
        r->VList = t->VList;
        r->SetText("#other");
        break;
      }
      case 1:
        Add<TModNumParaCmd>(out, name)->Value = in.Int();
        Add<TModNumParaCmd>(back, name)->Value = 0;
        break;
      case 2: {
        auto* a = Add<TModAinParaCmd>(out, name);
        a->A = in.Int();
        a->B = in.Int();
        a->C = in.Int();
        a->Unit = in.Byte() % 2 ? auCurrent : auVoltage;
        auto* r = Add<TModAinParaCmd>(back, name);
        r->Unit = a->Unit == auCurrent ? auVoltage : auCurrent;
        break;
      }
      default: {
        auto* c = Add<TModCCParaCmd>(out, name);
        for (int k = TModCCParaCmd::MinIndex; k <= TModCCParaCmd::MaxIndex; ++k) c->SetPoint(k, {in.Int(), in.Int()});
        Add<TModCCParaCmd>(back, name);
      }
    }
  }

  const TParFileContent f = ParseParameterText(BuildParameterText("M 1 2 3", out));
  if (!f.Usable || f.Section != psParameters || f.IdText != "M 1 2 3") std::abort();
  for (const TParLine& line : f.Lines) {
    TStringList values;
    TModCtrlCommand* cmd = ResolveParLine(back, line, values);
    if (!cmd) std::abort();
    // What the program writes itself always loads: no line of it is reported.
    if (IsBadParValue(CheckParValues(*cmd, values))) std::abort();
    Assigner().AssignReplyValues(cmd, &values);
  }
  // An empty text (a value outside the list) is not written and so not restored.
  for (int i = 0; i < out.Count(); ++i) {
    auto* t = dynamic_cast<TModTextParaCmd*>(out.GetCommand(i));
    auto* r = dynamic_cast<TModTextParaCmd*>(back.GetCommand(i));
    if (t && t->Text.empty()) r->SetText("");
  }
  if (ValuesOf(back) != ValuesOf(out)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckReading(std::string(reinterpret_cast<const char*>(data), size));
  Bytes in(data, size);
  CheckRoundTrip(in);
  return 0;
}
