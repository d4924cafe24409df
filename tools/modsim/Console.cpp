#include "tools/modsim/Console.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tools/modsim/PtyModule.h"

namespace modsim {

namespace {

std::string Trim(const std::string& s) {
  const char* ws = " \t\r\n";
  const std::size_t b = s.find_first_not_of(ws);
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

// A whole number 0..Max, decimal or with 0x in front.
bool ParseValue(const std::string& s, unsigned long Max, unsigned long& Value) {
  if (s.empty() || s[0] == '-' || s[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(s.c_str(), &end, 0);
  if (errno != 0 || end == s.c_str() || *end != '\0' || v > Max) return false;
  Value = v;
  return true;
}

bool ParseSwitch(const std::string& s, bool& On) {
  if (s == "on") return On = true, true;
  if (s == "off") return On = false, true;
  return false;
}

ConsoleResult Fail(const std::string& text) { return {false, text, false}; }
ConsoleResult Done(const std::string& text) { return {true, text, false}; }

}  // namespace

ConsoleResult RunConsoleCommand(PtyModule& Sim, const std::string& Line) {
  const std::string line = Trim(Line);
  if (line.empty()) return Done("");
  const std::size_t blank = line.find(' ');
  const std::string word = line.substr(0, blank);
  const std::string arg = blank == std::string::npos ? std::string() : Trim(line.substr(blank + 1));
  bool on = false;
  unsigned long value = 0;
  if (word == "silent") {
    if (!ParseSwitch(arg, on)) return Fail("usage: silent on|off");
    Sim.Module().SetSilent(on);
    return Done(on ? "silent: the module answers nothing" : "silent off: the module answers");
  }
  if (word == "listing") {
    if (!ParseSwitch(arg, on)) return Fail("usage: listing on|off");
    Sim.Module().SetListingAvailable(on);
    return Done(on ? "listing on" : "listing off: Readout answers command error");
  }
  if (word == "id") {
    if (arg.empty()) return Fail("usage: id TEXT");
    Sim.Module().SetIdText(arg);
    return Done("id: " + arg);
  }
  if (word == "status") {
    if (!ParseValue(arg, 0xFFFF, value)) return Fail("usage: status N (0..65535)");
    Sim.Module().SetStatusWord(static_cast<std::uint16_t>(value));
    return Done("status word " + std::to_string(value));
  }
  if (word == "inputs") {
    if (!ParseValue(arg, 0xFF, value)) return Fail("usage: inputs N (0..255)");
    Sim.Module().SetDigitalInputs(static_cast<std::uint8_t>(value));
    return Done("digital inputs " + std::to_string(value));
  }
  if (word == "stream") {
    if (arg.empty()) {
      const PtyModule::StreamState st = Sim.Stream();
      char took[32];
      std::snprintf(took, sizeof took, "%.3f", std::chrono::duration<double>(st.Took).count());
      return Done("stream: " + std::to_string(st.Sent) + " of " + std::to_string(st.Total) +
                  " bytes sent, the line's buffer full " + std::to_string(st.Full) + " times" +
                  (st.Done() ? std::string(", took ") + took + " s" : std::string(", sending")));
    }
    const std::size_t blank2 = arg.find(' ');
    const std::string kind = blank2 == std::string::npos ? "lines" : Trim(arg.substr(blank2 + 1));
    if (!ParseValue(arg.substr(0, blank2), 3600, value) || value == 0 || (kind != "lines" && kind != "plain"))
      return Fail("usage: stream SECONDS [lines|plain] (1..3600), or stream for its progress");
    const std::size_t bytes = value * static_cast<std::size_t>(Sim.Rate()) / 10;
    Sim.StartStream(StreamText(bytes, kind == "lines"));
    return Done("stream: " + std::to_string(bytes) + " bytes" +
                (kind == "lines" ? " in lines of 64" : " without line ends") + " at " +
                std::to_string(Sim.Rate()) + " bit/s");
  }
  if (word == "hangup") {
    if (!arg.empty()) return Fail("usage: hangup");
    Sim.Unplug();
    if (!Sim.PlugIn()) return {false, "hung up; plugging in again failed: " + Sim.LastError(), false};
    return {true, "hung up; plugged in again on " + Sim.PortPath(), true};
  }
  return Fail("unknown command: " + word +
              " (silent on|off, id TEXT, listing on|off, status N, inputs N, stream SECONDS "
              "[lines|plain], hangup)");
}

}  // namespace modsim
