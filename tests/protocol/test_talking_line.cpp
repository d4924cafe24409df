// A line that keeps talking: every exchange and every drain of the line ends within its bound
// while the module is still talking, and the longest real answer still passes at the line's
// pace. Half duplex: a text file sent to the terminal never talks into the module's answers.
#include <fstream>

#include "ModesTestUtil.h"
#include "TestTempDir.h"

namespace prottest {
namespace {

using namespace std::chrono_literals;

class TalkingLine : public ModuleFixture {};

TEST_F(TalkingLine, AnExchangeEndsWhileTheModuleStillTalks) {
  StartModule({.Rate = 115200});
  ConnectFixed();
  std::string reply;
  // The timeout leaves a loaded machine time to start the talk; the talk outlasts any bound.
  // Far more than a short answer, as fast as the line takes it.
  sim->Module().SetTalkOnce(30s);
  EXPECT_FALSE(prot->SendCommand("ID\r", "ID", ">", reply, 1000));
  EXPECT_TRUE(sim->Talking());
  sim.reset();  // the talk ends with the module

  // A trickle that never leaves a silence as long as the timeout.
  StartModule({.Rate = 115200});
  ConnectFixed();
  sim->Module().SetTalkOnce(30s, 10ms);
  EXPECT_FALSE(prot->SendCommand("ID\r", "ID", ">", reply, 1000));
  EXPECT_TRUE(sim->Talking());
}

TEST_F(TalkingLine, RateDetectionAndTheRateSwitchStopDrainingIt) {
  StartModule({.Rate = 19200});
  prot->SetPortOpen(true);
  sim->Module().SetTalkOnce(30s, 10ms);  // after the echoed "ID"
  TModBaudrate found = mb9600;
  EXPECT_TRUE(prot->DetectBaudrate(found));
  EXPECT_EQ(found, mb19200);
  EXPECT_TRUE(sim->Talking());
  sim.reset();

  StartModule({.Rate = 19200});
  ConnectFixed();
  prot->SetAutoBaudrate(mb38400);
  sim->Module().SetTalkOnce(30s, 10ms);  // after the echoed "BR 4", at the old rate
  EXPECT_FALSE(prot->SwitchToAutoBaudrate());  // the module talks on instead of answering "ID"
  EXPECT_TRUE(sim->Talking());
  EXPECT_EQ(prot->BaudRate(), mb38400);
}

TEST_F(TalkingLine, TheListingOfThreeHundredParametersArrivesWholeAtTheLinesPace) {
  StartModule({.Rate = 115200, .GeneratedParams = 300, .GeneratedCurves = 20});
  sim->SetPacing(true);
  ConnectFixed();
  std::string listing;
  EXPECT_TRUE(prot->ReadCommandList(listing));
  EXPECT_GT(listing.size(), ShortReplyLimit);
  EXPECT_GE(prot->CommandList()->Count(), 300);
}

// ---- Half duplex: a text file to the terminal ------------------------------------------------

class HalfDuplexText : public ModuleFixture {
 protected:
  void SetUp() override {
    StartModule({.Rate = 19200, .HalfDuplex = true});
    // Every byte takes its line time: a byte sent before the module's echo is out collides.
    sim->SetPacing(true);
    prot->SetTerminal(&terminal);
    ConnectFixed();
  }
  std::string File(const std::string& text) {
    const std::string path = dir.File("text.txt");
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  RecordingTerminal terminal;
  testutil::TempDir dir;
};

TEST_F(HalfDuplexText, EachLineWaitsForItsEchoAndAnswer) {
  prot->SetOperatingMode(1);
  EXPECT_TRUE(prot->SendTextFile(File("ID\nACODE\r\nRC:M\n")));
  EXPECT_EQ(sim->ReceivedCommands(), (std::vector<std::string>{"ID", "ACODE", "RC:M"}));
  // The module's echoes and answers, without the line's own copies.
  EXPECT_EQ(terminal.text.rfind("ID\r\nKVX-SIM 1.20 2026 4711\r\n>ACODE\r\n", 0), 0u)
      << terminal.text;
  prot->SetOperatingMode(0);
}  // the module's record of violations is checked on tear-down

TEST_F(HalfDuplexText, AnS19FileStillReachesABootloaderThatDoesNotEcho) {
  prot->SetBootloaderMode(true);
  terminal.Type('2');
  ASSERT_TRUE(PumpFor([&] { return terminal.text.find("to Program") != std::string::npos; }));
  // Two data records and the end record.
  EXPECT_TRUE(prot->SendTextFile(
      File("S107800011223344CE\nS1078004AABBCCDD66\nS9030000FC\n")));
  ASSERT_TRUE(PumpFor([&] { return terminal.text.find("Programming done") != std::string::npos; }))
      << terminal.text;
  const auto flash = sim->Module().FlashImage();
  ASSERT_EQ(flash.size(), 8u);
  EXPECT_EQ(flash.at(0x8000), 0x11);
  EXPECT_EQ(flash.at(0x8007), 0xDD);
}

}  // namespace
}  // namespace prottest
