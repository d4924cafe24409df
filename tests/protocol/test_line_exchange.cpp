// The exchange rules on the line: echo, terminator, the per-character timeout, half duplex, and
// the reads without a command.
#include <atomic>
#include <thread>

#include "ProtocolTestUtil.h"

namespace prottest {
namespace {

class ExchangeWithPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(peer.Path().empty());
    port.SetPort(peer.Path());
    port.SetBaudRate(br19200);
    port.Open();
  }
  void TearDown() override { port.Close(); }

  ScriptedPeer peer;
  TComPort port;
  std::string reply;
};

TEST_F(ExchangeWithPeer, FullDuplexReplyIsEchoThenEverythingUpToThePrompt) {
  peer.Answer("ID\r\nMOD-1 2.0\r\n>");
  EXPECT_TRUE(ExchangeFullDuplex(&port, "ID\r", "ID", ">", reply, 400));
  EXPECT_EQ(reply, "ID\r\nMOD-1 2.0\r\n>");
  EXPECT_EQ(peer.Received(), "ID\r");
}

TEST_F(ExchangeWithPeer, FullDuplexEchoMatchesWithoutRegardToCaseAndReplyKeepsCallersEcho) {
  peer.Answer("noise readout\r\nL1\r\n>");
  EXPECT_TRUE(ExchangeFullDuplex(&port, "Readout\r", "READOUT", ">", reply, 400));
  EXPECT_EQ(reply, "READOUT\r\nL1\r\n>");
}

TEST_F(ExchangeWithPeer, FullDuplexEmptyEchoDropsTheFirstCharacter) {
  peer.Answer("\r\n>");
  EXPECT_TRUE(ExchangeFullDuplex(&port, "\r", "", ">", reply, 400));
  EXPECT_EQ(reply, "\n>");
}

TEST_F(ExchangeWithPeer, FullDuplexFailuresEmptyTheReply) {
  // The terminator never comes: the exchange ends after the timeout of silence.
  peer.Answer("ID\r\nMOD-1");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ExchangeFullDuplex(&port, "ID\r", "ID", ">", reply, 150));
  EXPECT_TRUE(reply.empty());
  EXPECT_GE(MsSince(start), 140);
  EXPECT_LT(MsSince(start), 5000);

  // An echo that never arrives swallows everything into the echo buffer.
  peer.Answer("XY\r\n12\r\n>");
  EXPECT_FALSE(ExchangeFullDuplex(&port, "ID\r", "ID", ">", reply, 100));
  EXPECT_TRUE(reply.empty());

  // An empty terminator never completes.
  peer.Answer("ID\r\n>");
  EXPECT_FALSE(ExchangeFullDuplex(&port, "ID\r", "ID", "", reply, 100));
}

TEST_F(ExchangeWithPeer, FullDuplexEchoThatNeverComesInAnEndlessStreamEndsTheExchange) {
  // Another device on the port (a receiver talking all the time, never a pause): the echo
  // never arrives, and no silence ever ends the wait.
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  std::thread talker([&] {
    const auto until = std::chrono::steady_clock::now() + 15s;
    while (!stop && std::chrono::steady_clock::now() < until)
      peer.Send("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
    done = true;
  });
  const auto start = std::chrono::steady_clock::now();
  const bool ok = ExchangeFullDuplex(&port, "ID\r", "ID", ">", reply, 200);
  const auto took = MsSince(start);
  stop = true;
  // The talker may be blocked on a full line: keep taking its output until it has ended.
  std::string sink;
  while (!done) port.ReadText(sink, 4096);
  talker.join();
  EXPECT_FALSE(ok);
  EXPECT_TRUE(reply.empty());
  EXPECT_LT(took, 10000);
}

TEST_F(ExchangeWithPeer, TimeoutBoundsTheSilenceBetweenCharactersNotTheWholeReply) {
  using P = ScriptedPeer::Piece;
  // Eight gaps of 60 ms each: far longer in total than the 250 ms per character.
  std::vector<P> slow;
  for (char c : std::string("ID\r\nABCD>")) slow.push_back(P{std::string(1, c), 60ms});
  peer.Answer(slow);
  EXPECT_TRUE(ExchangeFullDuplex(&port, "ID\r", "ID", ">", reply, 250));
  EXPECT_EQ(reply, "ID\r\nABCD>");

  // One silence longer than the timeout fails the exchange.
  peer.Answer(std::vector<P>{{"ID\r\nAB", 0ms}, {"CD\r\n>", 600ms}});
  EXPECT_FALSE(ExchangeFullDuplex(&port, "ID\r", "ID", ">", reply, 150));
  EXPECT_TRUE(reply.empty());
}

TEST_F(ExchangeWithPeer, NegativeTimeoutWaitsThreeSecondsPerCharacter) {
  peer.Answer(std::vector<ScriptedPeer::Piece>{{"G", 0ms}, {"\r\n>", 1200ms}});
  EXPECT_TRUE(ExchangeFullDuplex(&port, "G\r", "G", ">", reply, -1));
  EXPECT_EQ(reply, "G\r\n>");
}

TEST_F(ExchangeWithPeer, ClosedPortFailsAtOnceAndWritesNothing) {
  port.Close();
  reply = "old";
  EXPECT_FALSE(ExchangeFullDuplex(&port, "ID\r", "ID", ">", reply, 400));
  EXPECT_TRUE(reply.empty());
  reply = "old";
  EXPECT_FALSE(ExchangeHalfDuplex(&port, "ID\r", "ID", ">", reply, 400));
  EXPECT_TRUE(reply.empty());
  EXPECT_FALSE(ReadBetween(&port, "", "", reply, 100, 100));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(peer.Received(), "");
}

TEST_F(ExchangeWithPeer, ReadBetweenCollectsFromStartTextToEndText) {
  std::thread sender([this] {
    std::this_thread::sleep_for(100ms);
    peer.Send("\r\nProgramming done\r\n>trailing");
  });
  EXPECT_TRUE(ReadBetween(&port, "Programming", ">", reply, 2000, 0));
  sender.join();
  EXPECT_EQ(reply, "Programming done\r\n>");
}

TEST_F(ExchangeWithPeer, ReadBetweenWithBothTextsEmptySucceedsWhenAnythingArrived) {
  std::thread sender([this] {
    std::this_thread::sleep_for(100ms);
    peer.Send("\r\nStart application (y/n)?");
  });
  EXPECT_TRUE(ReadBetween(&port, "", "", reply, 1000, 1000));
  sender.join();
  EXPECT_EQ(reply, "\r\nStart application (y/n)?");

  // Nothing at all: failure after the silence.
  EXPECT_FALSE(ReadBetween(&port, "", "", reply, 100, 100));
  EXPECT_TRUE(reply.empty());
}

TEST_F(ExchangeWithPeer, ReadBetweenFailsWhenTheEndTextNeverComes) {
  std::thread sender([this] {
    std::this_thread::sleep_for(100ms);
    peer.Send("\r\nProgramming error");
  });
  EXPECT_FALSE(ReadBetween(&port, "Programming", ">", reply, 400, 0));
  sender.join();
  EXPECT_TRUE(reply.empty());
}

// ---- Through the component, against the simulated module ----

class ComponentExchange : public ModuleFixture {};

TEST_F(ComponentExchange, SendCommandRunsTheExchangeOfTheTransferMode) {
  StartModule({.Rate = 19200, .HalfDuplex = true});
  ConnectFixed();
  std::string reply;
  // Half duplex: the line's own copy of each character is dropped; the module's echo stays.
  EXPECT_TRUE(prot->SendCommand("ID\r", "ID", ">", reply, 400));
  EXPECT_EQ(reply, "ID\r\nKVX-SIM 1.20 2026 4711\r\n>");
  EXPECT_TRUE(prot->CheckPrompt());
  // Not yet identified: the stored ID is empty, so the check fails though the module answers.
  EXPECT_FALSE(prot->CheckModuleId());
}

TEST_F(ComponentExchange, ClosedPortGivesFalseAndAnEmptyReply) {
  StartModule();
  std::string reply = "x";
  EXPECT_FALSE(prot->SendCommand("ID\r", "ID", ">", reply, 200));
  EXPECT_TRUE(reply.empty());
  EXPECT_FALSE(prot->CheckPrompt());
  EXPECT_FALSE(prot->ExchangeRaw('\r', reply));
  EXPECT_TRUE(sim->ReceivedCommands().empty());
}

TEST_F(ComponentExchange, CheckModuleIdComparesWithTheStoredIdentification) {
  StartModule();
  Identify();
  EXPECT_TRUE(prot->CheckModuleId());
  sim->Module().SetIdText("KVX-SIM 1.21 2026 4711");
  EXPECT_FALSE(prot->CheckModuleId());
}

TEST_F(ComponentExchange, ExchangeRawCollectsUntilTheLineFallsSilent) {
  StartModule();
  ConnectFixed();
  std::string reply;
  EXPECT_TRUE(prot->ExchangeRaw('\r', reply));
  EXPECT_EQ(reply, "\r\n>");
}

TEST_F(ComponentExchange, CommandErrorFailsACheckedCommandButNotThePlainExchange) {
  StartModule();
  ConnectFixed();
  std::string reply;
  EXPECT_TRUE(prot->SendCommand("NOSUCH 1\r", "NOSUCH", ">", reply, 400));
  EXPECT_FALSE(prot->SendCheckedCommand("NOSUCH 1\r", "NOSUCH", ">", reply, 400));
  EXPECT_TRUE(prot->SendCheckedCommand("GAIN 300\r", "GAIN", ">", reply, 400));
  sim->Module().ClearRecords();  // the unknown command counts as a violation of the module's table
}

TEST_F(ComponentExchange, SlowCharactersPassAndOneLongSilenceFails) {
  StartModule();
  ConnectFixed();
  std::string reply;
  // 40 ms before every reply character: well within 200 ms per character.
  sim->Module().SetSlowDelay(40ms);
  EXPECT_TRUE(prot->SendCommand("ACODE\r", "ACODE", ">", reply, 200));
  sim->Module().SetSlowDelay(0ms);
  // One pause of 700 ms inside the answer: more than the 200 ms per character.
  sim->Module().SetPauseOnce(2, 700ms);
  EXPECT_FALSE(prot->SendCommand("ACODE\r", "ACODE", ">", reply, 200));
  EXPECT_TRUE(reply.empty());
  // The late rest of that answer is purged before the next command.
  std::this_thread::sleep_for(800ms);
  EXPECT_TRUE(prot->SendCommand("ID\r", "ID", ">", reply, 400));
  EXPECT_EQ(reply, "ID\r\nKVX-SIM 1.20 2026 4711\r\n>");
}

}  // namespace
}  // namespace prottest

namespace prottest {
namespace {

// Replies cut at fixed positions never read out of range: too short a reply gives an empty text.
TEST(ShortReplies, GiveEmptyTextsAndFailedReads) {
  ScriptedPeer peer;
  TKVXModCommProt prot;
  prot.SetPortName(peer.Path());
  prot.SetAutoBaudDetection(false);
  prot.SetPortOpen(true);

  peer.Answer("AC>");  // no code at all
  std::uint16_t code = 1;
  EXPECT_FALSE(prot.ReadAccessCode(code));
  EXPECT_EQ(code, 0);

  peer.Answer("REMOTE\r\ncommand error\r\n>");
  peer.Answer("RC:M>");
  peer.Answer("RC:M ?>");
  peer.Answer("RC:S ?\r>");
  peer.Answer("MODE ?\r\n>");
  RCMHelpText = RCSHelpText = ModeHelpText = "stale";
  bool on = true;
  EXPECT_FALSE(prot.QueryRemoteInfo(on));
  EXPECT_FALSE(on);
  EXPECT_EQ(RCMHelpText, "");
  EXPECT_EQ(RCSHelpText, "");
  EXPECT_EQ(ModeHelpText, "");

  // An ID reply that is nothing but the echo and the prompt: an empty identification, and the
  // listing read that follows fails on its own short reply.
  peer.Answer("ID>");
  peer.Answer("Readout>");
  std::string id = "unchanged";
  EXPECT_FALSE(prot.IdentifyModule(id));
  EXPECT_EQ(id, "unchanged");
}

}  // namespace
}  // namespace prottest
