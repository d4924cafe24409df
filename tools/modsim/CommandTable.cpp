#include "tools/modsim/CommandTable.h"

#include <cstdio>

namespace modsim {

std::vector<std::string> CommandDef::ValueList() const {
  std::vector<std::string> items;
  if (Kind == kProcessValue || Kind == kStatusBit || Field3.empty()) return items;
  std::string::size_type start = 0;
  for (;;) {
    const auto bar = Field3.find('|', start);
    items.push_back(Field3.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return items;
}

namespace {

CommandDef Def(int atype, int kind, std::string name, std::string field3, std::string help,
               int vtype, int f6, int f7, std::optional<std::uint16_t> gcode) {
  CommandDef d;
  d.AType = atype;
  d.Kind = kind;
  d.Name = std::move(name);
  d.Field3 = std::move(field3);
  d.Help = std::move(help);
  d.VType = vtype;
  d.Field6 = f6;
  d.Field7 = f7;
  d.GCode = gcode;
  return d;
}

CommandValue Num(int v) {
  CommandValue c;
  c.Value = v;
  return c;
}

CommandValue Text(std::string t) {
  CommandValue c;
  c.Text = std::move(t);
  return c;
}

CommandValue Ain(int a, int b, int c, bool current) {
  CommandValue v;
  v.A = a;
  v.B = b;
  v.C = c;
  v.Current = current;
  return v;
}

CommandValue LinearCurve(int step) {
  CommandValue v;
  for (int i = kCurveFirst; i <= kCurveLast; ++i) {
    v.X[static_cast<std::size_t>(i - kCurveFirst)] = i * 1000;
    v.Y[static_cast<std::size_t>(i - kCurveFirst)] = i * step;
  }
  return v;
}

// "Druck in °C" in Windows-1252 bytes; the module's help texts are 8-bit.
const std::string kDegreeC = "\xB0" "C";

void AddParameters(std::vector<CommandDef>& t) {
  const std::uint16_t basic = kGrpAll | kGrpBasic;
  CommandDef d;

  d = Def(3, kTextPara, "OPMODE", "Gain 1|Gain 2|Off", "Operating mode of the amplifier", 1, 0, 2,
          basic);
  d.Initial = Text("Gain 1");
  t.push_back(d);

  d = Def(3, kTextPara, "DIR", "Forward|Reverse", "Direction of the output", 1, 0, 1,
          kGrpAll | kGrpAppli);
  d.HexGroups = true;
  d.Initial = Text("Forward");
  t.push_back(d);

  d = Def(3, kNumPara, "GAIN", "", "Proportional gain", 1, 0, 1000, basic);
  d.Initial = Num(250);
  t.push_back(d);

  // Value type 21: hundredths, shown with two decimals.
  d = Def(3, kNumPara, "OFFSET", "", "Offset of the output in %", 21, -10000, 10000,
          kGrpAll | kGrpSpecial);
  d.HexGroups = true;
  d.Initial = Num(150);
  t.push_back(d);

  d = Def(3, kNumPara, "RANGE", "", "Measuring range (the module adapts PRESSMAX)", 1, 1, 10,
          kGrpNewData | kGrpAll | kGrpPressure);
  d.Initial = Num(5);
  t.push_back(d);

  d = Def(3, kTextPara, "LEVEL", "Basic|Expert", "Display level (Expert shows more)", 1, 0, 1,
          kGrpNewTab | basic);
  d.Initial = Text("Basic");
  t.push_back(d);

  d = Def(3, kTextPara, "CONFIG", "Standard|Extended", "Configuration of the module", 1, 0, 1,
          kGrpNewTab | kGrpNewData | basic);
  d.Initial = Text("Standard");
  t.push_back(d);

  d = Def(3, kAinPara, "AIN1", "", "Scaling of analog input 1", 1, -99999, 99999,
          kGrpAll | kGrpAppli);
  d.Initial = Ain(1000, 0, 10000, false);
  t.push_back(d);

  d = Def(3, kAinPara, "AIN2", "", "Scaling of analog input 2", 1, -99999, 99999,
          kGrpAll | kGrpAppli);
  d.Initial = Ain(500, -100, 20000, true);
  t.push_back(d);

  d = Def(3, kCurve, "CURVE", "", "Characteristic curve of the output", 1, -10000, 10000,
          kGrpAll | kGrpSpecial);
  d.Initial = LinearCurve(800);
  t.push_back(d);

  d = Def(3, kNumPara, "PRESSMAX", "", "Druck in " + kDegreeC, 1, 0, 5000,
          kGrpAll | kGrpPressure);
  d.Initial = Num(2500);
  t.push_back(d);

  d = Def(2, kNumPara, "SERNO", "", "Serial number", 1, 0, 99999, kGrpAll);
  d.Initial = Num(4711);
  t.push_back(d);

  // No group field: the tool assumes 0xFFBC.
  d = Def(2, kInPara, "INPUTS", "", "State of the digital inputs", 1, 0, 255, std::nullopt);
  t.push_back(d);

  d = Def(2, kAinSPara, "AINSTAT", "", "State of the analog inputs", 1, 0, 0, kGrpAll);
  d.TrailingBackslash = true;
  t.push_back(d);

  d = Def(2, kLPara, "LIMITS", "On|Off", "Limit switches", 1, 0, 1, kGrpAll);
  d.Initial = Text("Off");
  t.push_back(d);

  d = Def(1, kNoPara, "CLRERR", "", "Clear the error memory", 1, 0, 0, kGrpAll);
  t.push_back(d);

  d = Def(3, kNumPara, "CAL", "", "Factory calibration", 1, 0, 65535, kGrpDruvtec);
  d.HexGroups = true;
  d.Initial = Num(32768);
  t.push_back(d);

  d = Def(3, kNumPara, "PWLIMIT", "", "Power limit", 1, 0, 100, kGrpPassword);
  d.Initial = Num(80);
  t.push_back(d);
}

void AddGenerated(std::vector<CommandDef>& t, int params, int curves) {
  if (curves > params) curves = params;
  char name[32];
  for (int i = 0; i < curves; ++i) {
    std::snprintf(name, sizeof name, "CC%02d", i + 1);
    CommandDef d = Def(3, kCurve, name, "", "Generated curve", 1, -10000, 10000,
                       kGrpAll | kGrpBasic);
    d.Initial = LinearCurve(100 * (i % 9 + 1));
    t.push_back(d);
  }
  for (int i = 0; i < params - curves; ++i) {
    std::snprintf(name, sizeof name, "P%03d", i + 1);
    CommandDef d;
    if (i % 2 == 0) {
      d = Def(3, kNumPara, name, "", "Generated number", 1, 0, 10000, kGrpAll | kGrpBasic);
      d.Initial = Num(i * 10);
    } else {
      d = Def(3, kTextPara, name, "Low|Mid value|High", "Generated text", 1, 0, 2,
              kGrpAll | kGrpAppli);
      d.Initial = Text("Mid value");
    }
    t.push_back(d);
  }
}

void AddFixed(std::vector<CommandDef>& t) {
  CommandDef d = Def(1, kNoPara, "SAVE", "", "Save the parameters", 1, 0, 0, kGrpAll);
  d.When = Presence::WithSaveCommand;
  t.push_back(d);

  t.push_back(Def(2, kProcessValue, "SINE", "V", "Sine test signal", 1, 0, 100, kGrpAll));
  t.push_back(Def(2, kProcessValue, "RAMP", "%", "Ramp test signal", 1, 0, 10, kGrpAll));
  t.push_back(Def(2, kProcessValue, "PRESS", "bar", "Druck in " + kDegreeC, 1, 0, 10, kGrpAll));
  t.push_back(Def(2, kProcessValue, "TEMP", kDegreeC, "Temperatur in " + kDegreeC, 1, 0, 1,
                  kGrpAll));

  // The first active status bit names the status command; an inactive one comes first.
  t.push_back(Def(2, kStatusBit, "ST:Spare", "", "Not used", 1, 4, 0, kGrpAll));
  t.push_back(Def(2, kStatusBit, "ST:Ready", "", "Module ready", 1, 0,
                  kBitActive | StatusColour(3), kGrpAll));
  t.push_back(Def(2, kStatusBit, "ST:Error", "", "No error", 1, 1,
                  kBitActive | kBitInverted | StatusColour(1), kGrpAll));
  t.push_back(Def(2, kStatusBit, "ST:Enable", "", "Output enabled", 1, 2,
                  kBitActive | StatusColour(2), kGrpAll));
  t.push_back(Def(2, kStatusBit, "ST:Limit", "", "Limit reached", 1, 3,
                  kBitActive | StatusColour(1), kGrpAll));

  const char* pins[] = {"RC:910", "RC:6", "RC:13", "RC:14", "RC:29"};
  for (const char* pin : pins) {
    CommandDef d2 = Def(3, kRemoteCtrl, pin, "", std::string("Remote input ") + (pin + 3), 1,
                        -10000, 10000, kGrpAll);
    d2.When = Presence::WithRemoteControl;
    t.push_back(d2);
  }
  // A remote-control entry without a pin: the tool drops it.
  CommandDef d3 = Def(3, kRemoteCtrl, "RC:99", "", "Internal remote value", 1, 0, 100, kGrpAll);
  d3.When = Presence::WithRemoteControl;
  t.push_back(d3);
}

}  // namespace

std::vector<CommandDef> MakeCommandTable(int generatedParams, int generatedCurves) {
  std::vector<CommandDef> t;
  if (generatedParams > 0) {
    AddGenerated(t, generatedParams, generatedCurves < 0 ? 0 : generatedCurves);
  } else {
    AddParameters(t);
  }
  AddFixed(t);
  return t;
}

std::string ListingLine(const CommandDef& d) {
  std::string line = std::to_string(d.AType) + "\\" + std::to_string(d.Kind) + "\\" + d.Name +
                     "\\" + d.Field3 + "\\" + d.Help + "\\" + std::to_string(d.VType) + "\\" +
                     std::to_string(d.Field6) + "\\" + std::to_string(d.Field7);
  if (d.GCode) {
    if (d.HexGroups) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "$%X", static_cast<unsigned>(*d.GCode));
      line += "\\" + std::string(hex);
    } else {
      line += "\\" + std::to_string(*d.GCode);
    }
  }
  if (d.TrailingBackslash) line += "\\";
  return line;
}

}  // namespace modsim
