// The commands a person types into the running simulated module.
#include <gtest/gtest.h>

#include "ModsimTestUtil.h"
#include "tools/modsim/Console.h"
#include "tools/modsim/PtyModule.h"

namespace {

using modsim::RunConsoleCommand;
using namespace std::chrono_literals;

TEST(ConsoleCommands, ChangeTheModuleAndRefuseWhatTheyDoNotKnow) {
  modsim::PtyModule sim;
  ASSERT_TRUE(sim.Start());
  modsim::ModuleLogic& m = sim.Module();
  EXPECT_TRUE(RunConsoleCommand(sim, "silent on\r").Ok);
  EXPECT_TRUE(m.Silent());
  EXPECT_TRUE(RunConsoleCommand(sim, "  silent off").Ok);
  EXPECT_FALSE(m.Silent());
  EXPECT_TRUE(RunConsoleCommand(sim, "id OTHER 1.0 x 1").Ok);
  EXPECT_EQ(m.IdText(), "OTHER 1.0 x 1");
  EXPECT_TRUE(RunConsoleCommand(sim, "status 0x8005").Ok);
  EXPECT_EQ(m.StatusWord(modsim::Clock::now()), 0x8005);
  EXPECT_TRUE(RunConsoleCommand(sim, "inputs 129").Ok);
  EXPECT_EQ(m.DigitalInputs(), 129);
  EXPECT_TRUE(RunConsoleCommand(sim, "listing off").Ok);
  EXPECT_NE(modsim_test::Feed(m, "Readout\r").find("command error"), std::string::npos);
  EXPECT_TRUE(RunConsoleCommand(sim, "").Ok);
  EXPECT_EQ(RunConsoleCommand(sim, "stream 2 plain").Text, "stream: 3840 bytes without line ends at 19200 bit/s");
  EXPECT_EQ(sim.Stream().Total, 3840u);
  EXPECT_TRUE(RunConsoleCommand(sim, "stream").Text.starts_with("stream: "));

  for (const char* bad : {"silent maybe", "status 65536", "status -1", "inputs 256", "id",
                          "hangup now", "stream 0", "stream 3601", "stream 1 lots", "reboot"}) {
    const modsim::ConsoleResult r = RunConsoleCommand(sim, bad);
    EXPECT_FALSE(r.Ok) << bad;
    EXPECT_FALSE(r.Text.empty()) << bad;
  }
  EXPECT_EQ(m.DigitalInputs(), 129);
}

TEST(ConsoleCommands, HangupGivesANewLineWithTheSameModule) {
  modsim::PtyModule sim;
  ASSERT_TRUE(sim.Start());
  sim.Module().SetDigitalInputs(7);
  modsim_test::RawPort before;
  ASSERT_TRUE(before.Open(sim.PortPath(), 19200));
  const modsim::ConsoleResult r = RunConsoleCommand(sim, "hangup");
  ASSERT_TRUE(r.Ok) << r.Text;
  EXPECT_TRUE(r.NewLine);
  EXPECT_TRUE(before.WaitHangUp(2s));
  EXPECT_TRUE(sim.Running());
  EXPECT_FALSE(sim.Unplugged());
  modsim_test::RawPort after;
  ASSERT_TRUE(after.Open(sim.PortPath(), 19200));
  after.Write("ID\r");
  EXPECT_NE(after.ReadUntil(">").find("KVX-SIM"), std::string::npos);
  EXPECT_EQ(sim.Module().DigitalInputs(), 7);
}

}  // namespace
