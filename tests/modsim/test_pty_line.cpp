// The simulated module over its pseudo-terminal, seen by a tiny raw client.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ModsimTestUtil.h"
#include "tools/modsim/PtyModule.h"
#include "tools/modsim/SRecord.h"

using namespace modsim;
using modsim_test::RawPort;
using namespace std::chrono_literals;

namespace {

const std::string kIdReply = "\r\nKVX-SIM 1.20 2026 4711\r\n>";

}  // namespace

TEST(PtyLine, FullDuplexEchoesAndAnswersAndSurvivesReopen) {
  PtyModule sim;
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  RawPort port;
  ASSERT_TRUE(port.Open(sim.PortPath(), 19200));
  ASSERT_TRUE(port.Write("ID\r"));
  EXPECT_EQ(port.ReadUntil(">"), "ID" + kIdReply);
  ASSERT_TRUE(port.Write("GAIN 321\r"));
  EXPECT_EQ(port.ReadUntil(">"), "GAIN 321\r\n>");

  // Closing and reopening the port is no hang-up for the module.
  port.Close();
  ASSERT_TRUE(port.Open(sim.PortPath(), 19200));
  ASSERT_TRUE(port.Write("GAIN\r"));
  EXPECT_EQ(port.ReadUntil(">"), "GAIN\r\n321\r\n>");
  EXPECT_EQ(sim.ReceivedCommands(), (std::vector<std::string>{"ID", "GAIN 321", "GAIN"}));
  EXPECT_TRUE(sim.Violations().empty());

  // Two commands in one go: the second arrived while the first was being answered.
  ASSERT_TRUE(port.Write("ACODE\rACODE\r"));
  port.ReadQuiet(300ms);
  ASSERT_EQ(sim.Violations().size(), 1u);
  EXPECT_NE(sim.Violations()[0].find("interleaved"), std::string::npos);
}

TEST(PtyLine, HalfDuplexReturnsLineCopyThenEcho) {
  PtyModule sim(ModuleOptions{.HalfDuplex = true});
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  RawPort port;
  ASSERT_TRUE(port.Open(sim.PortPath(), 19200));
  for (char c : std::string("ID")) {
    ASSERT_TRUE(port.Write(std::string(1, c)));
    EXPECT_EQ(port.ReadCount(2), std::string(2, c));
  }
  ASSERT_TRUE(port.Write("\r"));
  EXPECT_EQ(port.ReadUntil(">"), "\r" + kIdReply);
  EXPECT_TRUE(sim.Violations().empty());

  // A tool that writes a whole line at once talks over the module.
  ASSERT_TRUE(port.Write("ID\r"));
  port.ReadQuiet(300ms);
  EXPECT_FALSE(sim.Violations().empty());

  // The line copy comes back even from a silent module.
  sim.SetSilent(true);
  ASSERT_TRUE(port.Write("X"));
  EXPECT_EQ(port.ReadQuiet(300ms), "X");
}

TEST(PtyLine, WrongRateGivesGarbageAndRateChangeFollowsTheConfirmation) {
  PtyModule sim(ModuleOptions{.Rate = 38400});
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  RawPort port;
  ASSERT_TRUE(port.Open(sim.PortPath(), 9600));
  // The module's receiver makes garbage of it and echoes that, which is garbage again at 9600.
  ASSERT_TRUE(port.Write("ID\r"));
  EXPECT_EQ(port.ReadQuiet(300ms).find("ID"), std::string::npos);
  EXPECT_EQ(sim.WrongRateBytes(), 3u);
  EXPECT_TRUE(sim.ReceivedCommands().empty());  // no CR came out of it

  // The garbage still stands on the module's line: the next command is unknown to it.
  ASSERT_TRUE(port.SetRate(38400));
  ASSERT_TRUE(port.Write("ID\r"));
  EXPECT_EQ(port.ReadUntil(">"), "ID\r\ncommand error\r\n>");
  ASSERT_TRUE(port.Write("ID\r"));
  EXPECT_EQ(port.ReadUntil(">"), "ID" + kIdReply);

  // The confirmation comes at the old rate; afterwards only the new rate is understood.
  ASSERT_TRUE(port.Write("BR 12\r"));
  EXPECT_EQ(port.ReadUntil(">"), "BR 12\r\n>");
  EXPECT_EQ(sim.Rate(), 115200);
  ASSERT_TRUE(port.SetRate(115200));
  ASSERT_TRUE(port.Write("ID\r"));
  EXPECT_EQ(port.ReadUntil(">"), "ID" + kIdReply);
  EXPECT_TRUE(sim.Violations().empty());
}

TEST(PtyLine, PacingTakesTheLineTime) {
  PtyModule sim(ModuleOptions{.Rate = 38400});
  sim.SetPacing(true);
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  RawPort port;
  ASSERT_TRUE(port.Open(sim.PortPath(), 38400));
  const std::string expected = "READOUT\r\n" + sim.Module().ListingText() + "\r\n>";
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(port.Write("Readout\r"));
  const std::string got = port.ReadUntil(">");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ASSERT_EQ(got, expected);
  const double lineTime = static_cast<double>(expected.size()) * 10.0 / 38400.0;
  EXPECT_GE(seconds, lineTime * 0.95);
  EXPECT_LT(seconds, lineTime * 3.0 + 2.0);
}

TEST(PtyLine, PacingAlsoHoldsBackWhatTheToolSends) {
  PtyModule sim(ModuleOptions{.Rate = 9600});
  sim.SetPacing(true);
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  RawPort port;
  ASSERT_TRUE(port.Open(sim.PortPath(), 9600));
  ASSERT_TRUE(port.Write("DOWNLOAD\r"));
  ASSERT_EQ(port.ReadUntil("!"), "DOWNLOAD\r\nready for download!");
  std::string block;
  while (block.size() < 180) block += "GAIN 123;";
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(port.Write(block + "\r"));
  // The module takes the block at line speed: its verdict cannot come sooner.
  EXPECT_NE(port.ReadUntil(">").find("download completed!"), std::string::npos);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(seconds, static_cast<double>(block.size() + 1) * 10.0 / 9600.0 * 0.95);
  EXPECT_TRUE(sim.Violations().empty());
}

TEST(PtyLine, SlowAndPausedRepliesOnTheLine) {
  PtyModule sim;
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  RawPort port;
  ASSERT_TRUE(port.Open(sim.PortPath(), 19200));
  sim.Module().SetSlowDelay(20ms);
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(port.Write("ID\r"));
  EXPECT_EQ(port.ReadUntil(">"), "ID" + kIdReply);
  const auto slow = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(slow, 20ms * static_cast<int>(kIdReply.size()) * 9 / 10);
  sim.Module().SetSlowDelay(0ms);

  // One pause before reply byte 4 ("\r\nKV|X..."): a gap the tool's per-character time-out sees.
  sim.Module().SetPauseOnce(4, 400ms);
  ASSERT_TRUE(port.Write("ID\r"));
  EXPECT_EQ(port.ReadCount(6), "ID\r\nKV");
  char c = 0;
  EXPECT_FALSE(port.ReadByte(c, 150ms));
  EXPECT_EQ(port.ReadUntil(">"), "X-SIM 1.20 2026 4711\r\n>");
  EXPECT_TRUE(sim.Violations().empty());
}

TEST(PtyLine, AStreamKeepsTheLinesPaceAndWaitsOutAFullBuffer) {
  PtyModule sim(ModuleOptions{.Rate = 115200});
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  RawPort port;
  ASSERT_TRUE(port.Open(sim.PortPath(), 115200));
  const std::string lines = StreamText(40 * 64, true);
  EXPECT_EQ(lines.substr(0, 64), "0000000 " + std::string("abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzab") + "\r\n");
  const auto t0 = std::chrono::steady_clock::now();
  sim.StartStream(lines);
  EXPECT_EQ(port.ReadCount(lines.size()), lines);
  // 40 chunks of 64 bytes, each 64 line times after the one before.
  const double lineTime = 40 * 64 * 10.0 / 115200.0;
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), lineTime * 39 / 40);
  ASSERT_TRUE(sim.Stream().Done());
  EXPECT_GE(std::chrono::duration<double>(sim.Stream().Took).count(), lineTime * 0.95);
  EXPECT_EQ(sim.Stream().Full, 0);

  // Nobody reads: the chunk waits for room, and nothing is lost.
  const std::string plain = StreamText(256 * 1024, false);
  EXPECT_EQ(plain.find_first_of("\r\n"), std::string::npos);
  sim.StartStream(plain, plain.size());
  for (int i = 0; i < 500 && sim.Stream().Full == 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(sim.Stream().Full, 1);
  EXPECT_FALSE(sim.Stream().Done());
  EXPECT_EQ(port.ReadCount(plain.size()), plain);
}

TEST(PtyLine, UnplugIsAHangUp) {
  PtyModule sim;
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  RawPort port;
  ASSERT_TRUE(port.Open(sim.PortPath(), 19200));
  ASSERT_TRUE(port.Write("ID\r"));
  ASSERT_EQ(port.ReadUntil(">"), "ID" + kIdReply);
  sim.Unplug();
  EXPECT_TRUE(sim.Unplugged());
  EXPECT_TRUE(port.WaitHangUp(5000ms));
}

TEST(PtyLine, BootloaderRoundTripAtItsOwnRate) {
  PtyModule sim(ModuleOptions{.Rate = 19200});
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  RawPort port;
  ASSERT_TRUE(port.Open(sim.PortPath(), 19200));
  ASSERT_TRUE(port.Write("BOOTLOADER\r"));
  EXPECT_EQ(port.ReadQuiet(200ms), "BOOTLOADER");
  ASSERT_TRUE(port.SetRate(57600));
  ASSERT_TRUE(port.Write("\r"));
  EXPECT_EQ(port.ReadUntil("G: Go\r\n>").substr(0, 9), "\r\nDRUVTEC");
  ASSERT_TRUE(port.Write("1"));
  EXPECT_EQ(port.ReadUntil(">"), "1\r\nErasing FLASH...done\r\n>");
  ASSERT_TRUE(port.Write("2"));
  EXPECT_EQ(port.ReadUntil("Program"), "2\r\nSend file to Program");
  // Each record, then the pause the bootloader needs to write it to its flash.
  for (const std::string& rec : {MakeSRecord(1, 0x100, {1, 2, 3}), MakeSRecord(9, 0x100)}) {
    ASSERT_TRUE(port.Write(rec + "\r"));
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(port.ReadUntil(">"), "\r\nProgramming done\r\n>");
  EXPECT_EQ(sim.Module().FlashImage().size(), 3u);
  // Leave: the echo still at 57600, the question at the application's rate.
  ASSERT_TRUE(port.Write("G"));
  EXPECT_EQ(port.ReadCount(1), "G");
  ASSERT_TRUE(port.SetRate(19200));
  EXPECT_EQ(port.ReadUntil("?"), "\r\nStart application (y/n)?");
  ASSERT_TRUE(port.Write("y"));
  EXPECT_EQ(port.ReadUntil(">"), "y\r\n>");
  ASSERT_TRUE(port.Write("ID\r"));
  EXPECT_EQ(port.ReadUntil(">"), "ID" + kIdReply);
  EXPECT_TRUE(sim.Violations().empty());
}
