// The simulated module's commands for people: one line each on modsim's standard input, so the
// module can be made to misbehave while the tool runs.
//
//   silent on|off     answer nothing at all / answer again
//   id TEXT           the identification line (e.g. "id OTHER 1.0 x 1")
//   listing on|off    "Readout" lists the commands / answers "command error"
//   status N          a fixed status word (0..65535, decimal or 0x hex)
//   inputs N          the digital input byte (0..255, decimal or 0x hex)
//   stream SECONDS [lines|plain]
//                     the module prints text of its own for SECONDS at the line's pace
//                     (StreamText: lines with CR LF, or plain text without line ends);
//                     "stream" alone tells how far it is
//   hangup            the line hangs up as when the adapter is pulled; then the module is plugged
//                     in again on a new pseudo-terminal (the tool must connect anew)
#pragma once

#include <string>

namespace modsim {

class PtyModule;

struct ConsoleResult {
  bool Ok = false;
  // What to tell the person: the new state, or why the line was not taken.
  std::string Text;
  // The module sits on a new pseudo-terminal now: the port link must point at it.
  bool NewLine = false;
};

// Carries out one command line (blanks around it and a CR are ignored; an empty line does
// nothing and is Ok with an empty text).
ConsoleResult RunConsoleCommand(PtyModule& Sim, const std::string& Line);

}  // namespace modsim
