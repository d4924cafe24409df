// The simulated module's command language, driven directly (no line).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ModsimTestUtil.h"
#include "tools/modsim/ModuleLogic.h"

using namespace modsim;
using modsim_test::Feed;
using modsim_test::FeedOutputs;

namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::string cur;
  for (char c : line) {
    if (c == '\\') {
      f.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  f.push_back(cur);
  return f;
}

int GroupsOf(const std::vector<std::string>& f) {
  if (f.size() < 9 || f[8].empty()) return 0xFFBC;
  if (f[8][0] == '$') return std::stoi(f[8].substr(1), nullptr, 16);
  return std::stoi(f[8]);
}

bool HasViolation(const ModuleLogic& m, const std::string& part) {
  for (const auto& v : m.Violations()) {
    if (v.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

TEST(ModuleListing, HoldsEveryKindAccessTypeAndGroupVariant) {
  ModuleLogic m;
  std::set<int> kinds, atypes;
  int processValues = 0, activeBits = 0, invertedBits = 0, inactiveBits = 0;
  bool vtype21 = false, newDataOnly = false, newTabOnly = false, both = false, druvtec = false;
  bool blankInItem = false, latin1Help = false, noGroupField = false;
  std::vector<std::string> remoteNames;
  std::string firstStatusLine;
  for (const auto& line : m.ListingLines()) {
    auto f = Fields(line);
    if (f.back().empty()) f.pop_back();  // a trailing backslash
    ASSERT_GE(f.size(), 8u) << line;
    const int kind = std::stoi(f[1]);
    kinds.insert(kind);
    atypes.insert(std::stoi(f[0]));
    const int g = GroupsOf(f);
    if (f.size() < 9) noGroupField = true;
    if (kind == 0) ++processValues;
    if (kind == 2 && f[5] == "21") vtype21 = true;
    if (kind == 10) {
      if (firstStatusLine.empty()) firstStatusLine = f[2];
      const int flags = std::stoi(f[7]);
      if (flags & 1) ++activeBits; else ++inactiveBits;
      if ((flags & 1) && (flags & 2)) ++invertedBits;
    }
    if (kind == 11) remoteNames.push_back(f[2]);
    if ((g & 3) == 2) newDataOnly = true;
    if ((g & 3) == 1) newTabOnly = true;
    if ((g & 3) == 3) both = true;
    if (g & 0x40) druvtec = true;
    if (f[3].find(' ') != std::string::npos && f[3].find('|') != std::string::npos) blankInItem = true;
    if (f[4].find('\xB0') != std::string::npos) latin1Help = true;
  }
  EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(atypes, (std::set<int>{1, 2, 3}));
  EXPECT_GE(processValues, 2);
  EXPECT_GE(activeBits, 3);
  EXPECT_GE(invertedBits, 1);
  EXPECT_GE(inactiveBits, 1);
  EXPECT_TRUE(vtype21 && newDataOnly && newTabOnly && both && druvtec);
  EXPECT_TRUE(blankInItem && latin1Help && noGroupField);
  EXPECT_EQ(remoteNames, (std::vector<std::string>{"RC:910", "RC:6", "RC:13", "RC:14", "RC:29", "RC:99"}));
  // The status command is the first ACTIVE bit, not the first status line.
  EXPECT_EQ(firstStatusLine, "ST:Spare");
  EXPECT_EQ(m.StatusCommand(), "ST:Ready");
}

TEST(ModuleListing, FollowsTheModuleVariant) {
  ModuleLogic m;
  const auto count = [&](const std::string& text) {
    const auto lines = m.ListingLines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(text) != std::string::npos; });
  };
  EXPECT_EQ(count("\\SAVE\\"), 0);
  m.SetSaveCommandListed(true);
  EXPECT_EQ(count("1\\5\\SAVE\\"), 1);
  m.SetRemoteControl(false);
  EXPECT_EQ(count("\\11\\"), 0);

  ModuleLogic big(ModuleOptions{.GeneratedParams = 300, .GeneratedCurves = 20});
  int params = 0, curves = 0;
  for (const auto& line : big.ListingLines()) {
    const int kind = std::stoi(Fields(line)[1]);
    if (kind == 6) ++curves;
    if (kind == 1 || kind == 2 || kind == 6) ++params;
  }
  EXPECT_EQ(params, 300);
  EXPECT_EQ(curves, 20);
  EXPECT_EQ(Feed(big, "CC20:-10\r"), "CC20:-10\r\n-10 -10000 -2000\r\n>");
}

TEST(ModuleReplies, AnswerFollowsTheEchoedCommandLine) {
  ModuleLogic m;
  EXPECT_EQ(Feed(m, "ID\r"), "ID\r\nKVX-SIM 1.20 2026 4711\r\n>");
  EXPECT_EQ(Feed(m, "\r"), "\r\n>");  // the prompt check
  // Mixed case in, upper case echoed.
  const std::string readout = Feed(m, "Readout\r");
  EXPECT_EQ(readout, "READOUT\r\n" + m.ListingText() + "\r\n>");
  EXPECT_EQ(Feed(m, "Loadback\r"), "LOADBACK\r\n>");
  EXPECT_EQ(Feed(m, "ACODE\r"), "ACODE\r\n" + std::to_string(0xFF3C) + "\r\n>");
  // A text with a blank is quoted so that it stays one item.
  EXPECT_EQ(Feed(m, "OPMODE\r"), "OPMODE\r\n\"Gain 1\"\r\n>");
  EXPECT_EQ(Feed(m, "DIR\r"), "DIR\r\nForward\r\n>");
  EXPECT_EQ(Feed(m, "OFFSET\r"), "OFFSET\r\n150\r\n>");
  EXPECT_EQ(Feed(m, "AIN1\r"), "AIN1\r\n1000 0 10000 V\r\n>");
  EXPECT_EQ(Feed(m, "AIN2\r"), "AIN2\r\n500 -100 20000 C\r\n>");
  EXPECT_EQ(Feed(m, "CURVE:-3\r"), "CURVE:-3\r\n-3 -3000 -2400\r\n>");
  EXPECT_EQ(Feed(m, "SERNO\r"), "SERNO\r\n4711\r\n>");
  EXPECT_EQ(Feed(m, "LIMITS\r"), "LIMITS\r\nOff\r\n>");
  EXPECT_EQ(Feed(m, "INPUTS\r"), "INPUTS\r\n0\r\n>");
  EXPECT_EQ(Feed(m, "REMOTE\r"), "REMOTE\r\ncommand error\r\n>");
  EXPECT_EQ(Feed(m, "RC:M\r"), "RC:M\r\n0\r\n>");
  EXPECT_EQ(Feed(m, "RC:S\r"), "RC:S\r\n0\r\n>");
  EXPECT_EQ(Feed(m, "MODE ?\r"), "MODE ?\r\nSYSTEM IO_CONFIG START_UP POSITION OUTPUT P_STAGE \r\n>");
  EXPECT_NE(Feed(m, "RC:M ?\r").find("Setpoint"), std::string::npos);
  EXPECT_NE(Feed(m, "RC:S ?\r").find("Enable"), std::string::npos);
  EXPECT_EQ(Feed(m, "PASSWORD\r"), "PASSWORD\r\nlocked\r\n>");
  EXPECT_TRUE(m.Violations().empty());
}

TEST(ModuleReplies, ProcessValuesStatusWordAndDataBlock) {
  ModuleLogic m;
  m.SetProcessValue("SINE", -2);
  m.SetProcessValue("RAMP", 0x3E41);  // a '>' byte inside the block
  m.SetProcessValue("PRESS", 2500);
  m.SetProcessValue("TEMP", 40);
  EXPECT_EQ(Feed(m, "SINE\r"), "SINE\r\n-2\r\n>");
  EXPECT_EQ(Feed(m, "PRESS\r"), "PRESS\r\n2500\r\n>");
  // Between the echo and the prompt the block: its 2 header bytes are the line end of the echo
  // (as for every command), then 2 bytes per value, high byte first.
  const std::string block = Feed(m, "PD\r");
  const std::string expected =
      std::string("PD\r\n\xFF\xFE\x3E\x41\x09\xC4\x00\x28", 12) + ">";
  EXPECT_EQ(block, expected);

  // Status word: fixed, or live (Ready and no-error bits set, Enable from input 1).
  m.SetStatusWord(0x1234);
  EXPECT_EQ(Feed(m, "ST:Ready\r"), "ST:READY\r\n4660\r\n>");
  m.SetStatusWord(std::nullopt);
  m.SetDigitalInputs(1);
  EXPECT_EQ(m.StatusWord(Clock::now()) & 0x7, 0x7);
  // Only the status command answers; other bit names are no commands.
  EXPECT_EQ(Feed(m, "ST:Error\r"), "ST:ERROR\r\ncommand error\r\n>");
  EXPECT_TRUE(HasViolation(m, "ST:Error"));

  // Live values move.
  m.SetProcessValue("SINE", std::nullopt);
  m.SetProcessValue("RAMP", std::nullopt);
  const auto t0 = Clock::now();
  EXPECT_NE(m.ProcessValue("SINE", t0 + std::chrono::milliseconds(100)),
            m.ProcessValue("SINE", t0 + std::chrono::milliseconds(600)));
  EXPECT_NE(m.ProcessValue("RAMP", t0 + std::chrono::milliseconds(100)),
            m.ProcessValue("RAMP", t0 + std::chrono::milliseconds(1100)));
}

TEST(ModuleWrites, AcceptValuesInRangeAndRefuseTheRest) {
  ModuleLogic m;
  EXPECT_EQ(Feed(m, "GAIN 500\r"), "GAIN 500\r\n>");
  EXPECT_EQ(m.ValueText("GAIN"), "500");
  EXPECT_EQ(Feed(m, "GAIN 1001\r"), "GAIN 1001\r\ncommand error\r\n>");
  EXPECT_EQ(Feed(m, "OFFSET -10000\r"), "OFFSET -10000\r\n>");
  // Texts: any case in, the list's own text kept; a text outside the list is refused.
  EXPECT_EQ(Feed(m, "OPMODE gain 2\r"), "OPMODE GAIN 2\r\n>");
  EXPECT_EQ(m.ValueText("OPMODE"), "Gain 2");
  Feed(m, "OPMODE \"Off\"\r");
  EXPECT_EQ(m.ValueText("OPMODE"), "Off");
  EXPECT_EQ(Feed(m, "OPMODE Gain 3\r"), "OPMODE GAIN 3\r\ncommand error\r\n>");
  // Read-only: refused (a tool writing every parameter may send it).
  EXPECT_EQ(Feed(m, "SERNO 1\r"), "SERNO 1\r\ncommand error\r\n>");
  // Analog input as the tool formats it (22 columns), unit letters V/U and C/I.
  EXPECT_EQ(Feed(m, "AIN1    100    -50      0 I\r"), "AIN1    100    -50      0 I\r\n>");
  EXPECT_EQ(m.ValueText("AIN1"), "100 -50 0 C");
  EXPECT_NE(Feed(m, "AIN1 100 -50 100000 V\r").find("command error"), std::string::npos);
  // Curve points, with the blank the tool leaves before the CR.
  EXPECT_EQ(Feed(m, "CURVE:10 10000 9000 \r"), "CURVE:10 10000 9000 \r\n>");
  EXPECT_EQ(m.CurvePoint("CURVE", 10), std::make_pair(10000, 9000));
  EXPECT_NE(Feed(m, "CURVE:-10 -10001 0\r").find("command error"), std::string::npos);
  // A parameter with NewData changes another one.
  Feed(m, "RANGE 8\r");
  EXPECT_EQ(m.ValueText("PRESSMAX"), "4000");
  // The action and the write list.
  EXPECT_EQ(Feed(m, "CLRERR \r"), "CLRERR \r\n>");
  const std::vector<WriteRecord> expected{{"GAIN", "500"},        {"OFFSET", "-10000"},
                                          {"OPMODE", "gain 2"},   {"OPMODE", "\"Off\""},
                                          {"AIN1", "100    -50      0 I"},
                                          {"CURVE:10", "10000 9000"}, {"RANGE", "8"},
                                          {"CLRERR", ""}};
  EXPECT_EQ(m.Writes(), expected);
  // Refusals for range and read-only are no violations: a correct tool may cause them.
  EXPECT_TRUE(m.Violations().empty());
}

TEST(ModuleWrites, MalformedValuesAreViolations) {
  ModuleLogic m;
  for (const char* line : {"GAIN abc\r", "GAIN 12 13\r", "AIN1 1 2 3 X\r", "AIN1 1 2\r",
                           "CURVE:3 1\r", "CURVE:11\r", "CURVE\r", "RC:M 2\r", "SINE 5\r"}) {
    const std::string reply = Feed(m, line);
    EXPECT_NE(reply.find("command error"), std::string::npos) << line;
  }
  EXPECT_EQ(m.Violations().size(), 9u);
  EXPECT_TRUE(m.Writes().empty());
  EXPECT_EQ(m.ValueText("GAIN"), "250");
}

TEST(ModuleWrites, RemoteControlNeedsRemoteOn) {
  ModuleLogic m;
  EXPECT_NE(Feed(m, "RC:6 500\r").find("command error"), std::string::npos);
  EXPECT_NE(Feed(m, "RC:S 5\r").find("command error"), std::string::npos);
  EXPECT_EQ(Feed(m, "RC:M 1\r"), "RC:M 1\r\n>");
  EXPECT_TRUE(m.RemoteOn());
  EXPECT_EQ(Feed(m, "RC:M\r"), "RC:M\r\n1\r\n>");
  EXPECT_EQ(Feed(m, "RC:6 500\r"), "RC:6 500\r\n>");
  EXPECT_EQ(Feed(m, "RC:6\r"), "RC:6\r\n500\r\n>");
  EXPECT_EQ(Feed(m, "RC:S 5\r"), "RC:S 5\r\n>");
  EXPECT_EQ(Feed(m, "RC:S\r"), "RC:S\r\n5\r\n>");
  EXPECT_NE(Feed(m, "RC:910 10001\r").find("command error"), std::string::npos);
  EXPECT_TRUE(m.Violations().empty());
}

TEST(ModuleState, SaveDefaultLoadbackPasswordAndModes) {
  ModuleLogic m;
  Feed(m, "GAIN 300\r");
  EXPECT_FALSE(m.Saved());
  EXPECT_EQ(Feed(m, "SAVE\r"), "SAVE\r\n>");
  EXPECT_TRUE(m.Saved());
  Feed(m, "GAIN 400\r");
  Feed(m, "LOADBACK\r");
  EXPECT_EQ(m.ValueText("GAIN"), "300");
  Feed(m, "DEFAULT\r");
  EXPECT_EQ(m.ValueText("GAIN"), "250");

  // Password: unlocks the DRUVTEC and Password groups; a wrong one locks again.
  EXPECT_EQ(Feed(m, "PASSWORD nope\r"), "PASSWORD NOPE\r\nwrong password\r\n>");
  EXPECT_EQ(m.AccessCode() & 0xC0, 0);
  EXPECT_EQ(Feed(m, "PASSWORD kvx7\r"), "PASSWORD KVX7\r\nOK\r\n>");
  EXPECT_EQ(m.AccessCode() & 0xC0, 0xC0);
  Feed(m, "PASSWORD x\r");
  EXPECT_FALSE(m.PasswordAccepted());

  // The display level and the mode change the access code the tool filters with.
  Feed(m, "LEVEL Expert\r");
  EXPECT_EQ(m.AccessCode() & 0x80, 0x80);
  EXPECT_EQ(Feed(m, "MODE SYSTEM \r"), "MODE SYSTEM \r\n>");
  EXPECT_EQ(m.AccessCode(), 0x20 | 0x80);
  Feed(m, "MODE ALL\r");
  EXPECT_EQ(m.ModeName(), "ALL");
  EXPECT_NE(Feed(m, "MODE FOO\r").find("command error"), std::string::npos);
  EXPECT_EQ(m.Violations().size(), 1u);
}

TEST(ModuleRate, RateChangeConfirmsAtTheOldRateThenSwitches) {
  ModuleLogic m(ModuleOptions{.Rate = 9600});
  const auto out = FeedOutputs(m, "BR 12\r");
  std::string text;
  for (const auto& o : out) text += o.Bytes;
  // The command's echo carries the factor, its one value; then the prompt.
  EXPECT_EQ(text, "BR 12\r\n>");
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back().SwitchRate, 115200);
  EXPECT_EQ(m.Rate(), 115200);
  EXPECT_NE(Feed(m, "BR 5\r").find("command error"), std::string::npos);
  EXPECT_EQ(m.Rate(), 115200);
  EXPECT_EQ(m.Violations().size(), 1u);
}

TEST(ModuleFaults, ControlsChangeTheAnswers) {
  ModuleLogic m;
  m.SetCommandError("GAIN");
  EXPECT_EQ(Feed(m, "GAIN\r"), "GAIN\r\ncommand error\r\n>");
  EXPECT_EQ(Feed(m, "gain 5\r"), "GAIN 5\r\ncommand error\r\n>");
  m.SetCommandError("GAIN", false);
  m.SetCommandError("CURVE:0");
  EXPECT_NE(Feed(m, "CURVE:0\r").find("command error"), std::string::npos);
  EXPECT_EQ(Feed(m, "CURVE:1\r"), "CURVE:1\r\n1 1000 800\r\n>");

  m.SetListingAvailable(false);
  EXPECT_EQ(Feed(m, "Readout\r"), "READOUT\r\ncommand error\r\n>");
  m.SetIdText("KVX-SIM error 1.20 4711");
  EXPECT_EQ(Feed(m, "ID\r"), "ID\r\nKVX-SIM error 1.20 4711\r\n>");
  m.SetCmdPrompt(true);
  EXPECT_EQ(Feed(m, "ACODE\r"), "ACODE\r\n65340\r\nCMD>");
  m.SetCmdPrompt(false);

  m.SetPasswordSupport(false);
  EXPECT_EQ(Feed(m, "PASSWORD\r"), "PASSWORD\r\ncommand error\r\n>");

  m.SetRemoteControl(false);
  EXPECT_EQ(Feed(m, "REMOTE\r"), "REMOTE\r\n0\r\n>");
  EXPECT_NE(Feed(m, "RC:M\r").find("command error"), std::string::npos);
  EXPECT_TRUE(HasViolation(m, "without remote control"));

  m.SetSaveCommandListed(true);
  EXPECT_EQ(Feed(m, "SAVE \r"), "SAVE \r\n>");
  EXPECT_EQ(m.Writes().back(), (WriteRecord{"SAVE", ""}));

  m.SetGarble(Garble::WrongEcho);
  EXPECT_EQ(Feed(m, "ID\r"), "JE\r\nKVX-SIM error 1.20 4711\r\n>");
  m.SetGarble(Garble::CorruptReply);
  const std::string corrupt = Feed(m, "SERNO\r");
  EXPECT_EQ(corrupt.substr(0, 7), "SERNO\r\n");
  EXPECT_NE(corrupt, "SERNO\r\n4711\r\n>");
  EXPECT_EQ(corrupt.back(), '>');
  m.SetGarble(Garble::None);

  // Silent: nothing at all comes back, but the line is still recorded.
  m.SetSilent(true);
  EXPECT_EQ(Feed(m, "ID\r"), "");
  EXPECT_EQ(m.ReceivedCommands().back(), "ID");
}

TEST(ModuleFaults, SlowAndPauseShapeTheReply) {
  ModuleLogic m;
  m.SetSlowDelay(std::chrono::milliseconds(7));
  auto out = FeedOutputs(m, "ID\r");
  // Echo bytes go at once; every reply byte waits.
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out[0].ByteDelay.count(), 0);
  EXPECT_FALSE(out[0].Reply);
  EXPECT_EQ(out.back().ByteDelay.count(), 7);
  EXPECT_TRUE(out.back().Faulted);
  m.SetSlowDelay(std::chrono::milliseconds(0));

  m.SetPauseOnce(5, std::chrono::milliseconds(400));
  out = FeedOutputs(m, "ID\r");
  std::string before;
  bool found = false;
  for (const auto& o : out) {
    if (o.Delay.count() == 400) {
      found = true;
      break;
    }
    if (o.Reply) before += o.Bytes;
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(before, "\r\nKVX");
  // Only once.
  for (const auto& o : FeedOutputs(m, "ID\r")) EXPECT_EQ(o.Delay.count(), 0);
}

TEST(ModuleViolations, WhatACorrectToolNeverSends) {
  ModuleLogic m;
  Feed(m, "ID\r");
  Feed(m, "FOO\r");
  EXPECT_EQ(Feed(m, "ID\n\r"), "ID\r\nKVX-SIM 1.20 2026 4711\r\n>");
  Feed(m, std::string("AC\x01ODE\r"));
  EXPECT_EQ(m.Violations().size(), 3u);
  EXPECT_TRUE(HasViolation(m, "unknown command \"FOO\""));
  EXPECT_TRUE(HasViolation(m, "line feed"));
  EXPECT_TRUE(HasViolation(m, "0x01"));

  // A byte that arrived while the previous answer was still going out.
  m.ClearRecords();
  const auto now = Clock::now();
  m.Receive('I', now, true);
  m.Receive('D', now, false);
  m.Receive('\r', now, false);
  ASSERT_EQ(m.Violations().size(), 1u);
  EXPECT_NE(m.Violations()[0].find("interleaved"), std::string::npos);

  // An over-long line is refused, not kept.
  m.ClearRecords();
  EXPECT_NE(Feed(m, std::string(5000, 'A') + "\r").find("command error"), std::string::npos);
  EXPECT_EQ(m.Violations().size(), 1u);
  EXPECT_EQ(m.ReceivedCommands().size(), 1u);
  EXPECT_EQ(m.ReceivedCommands()[0].size(), 1024u);
}

// A person at the terminal corrects typing: Backspace and DEL take back the last character of
// the line, the echoed backspace takes it off the screen; on an empty line they do nothing.
TEST(ModuleLine, BackspaceAndDeleteTakeBackTheLastCharacter) {
  ModuleLogic m;
  EXPECT_EQ(Feed(m, "IX\bD\r"), "IX\bD\r\nKVX-SIM 1.20 2026 4711\r\n>");
  EXPECT_EQ(Feed(m, std::string("\x7FGAINN\x7F 9\x7F") + "8\r"), "GAINN\b 9\b8\r\n>");
  EXPECT_EQ(m.ValueText("GAIN"), "8");
  EXPECT_EQ(m.ReceivedCommands(), (std::vector<std::string>{"ID", "GAIN 8"}));
  EXPECT_TRUE(m.Violations().empty());
}

// Bytes a wrong rate garbled are taken like any byte: echoed, and a line holding them is
// answered with "command error" (a lone garbled CR with the prompt), never a violation.
TEST(ModuleLine, GarbageFromAWrongRateIsEchoedAndRefused) {
  ModuleLogic m;
  const auto now = Clock::now();
  std::string out;
  for (char c : std::string("\x86\x98\x0D")) {
    for (const auto& o : m.Receive(c, now, false, true)) out += o.Bytes;
  }
  EXPECT_EQ(out, "\x86\x98\r\ncommand error\r\n>");
  // Garbage left on a line spoils the command that follows it at the right rate.
  m.Receive('\x80', now, false, true);
  EXPECT_EQ(Feed(m, "ID\r"), "ID\r\ncommand error\r\n>");
  EXPECT_EQ(Feed(m, "ID\r"), "ID\r\nKVX-SIM 1.20 2026 4711\r\n>");
  EXPECT_EQ(m.Receive('\r', now, false, true).front().Bytes, "\r\n");
  EXPECT_TRUE(m.Violations().empty());
}
