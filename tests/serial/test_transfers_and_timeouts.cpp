// Reads and writes with every timeout form, over a pseudo-terminal whose other end the test
// plays. Lower time bounds are strict; upper bounds are loose (shared, noisy machines).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "pty_fixture.h"
#include "platform/Threads.h"
#include "serial/CPort.h"

using serialtest::Clock;
using serialtest::MsSince;
using serialtest::PtyPair;

namespace {

constexpr long long kSlack = 1500;  // loose upper bound added to every expected duration

class Transfers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    port.SetPort(pty.path);
    port.SetEvents(TComEvents());  // no event thread: these tests read themselves
    port.Open();
  }

  // Sends `text` from the other end after `ms`, on a thread of its own.
  void SendLater(int ms, std::string text) {
    sender = std::thread([this, ms, text] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      pty.Send(text);
    });
  }
  void TearDown() override {
    if (sender.joinable()) sender.join();
  }

  // Waits until the port's input queue holds `n` bytes.
  bool WaitInput(int n) {
    const auto t0 = Clock::now();
    while (MsSince(t0) < 5000) {
      if (port.InputCount() >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  PtyPair pty;
  TComPort port;
  std::thread sender;
};

}  // namespace

TEST_F(Transfers, EmptyTransfersTouchNothing) {
  EXPECT_EQ(port.WriteText(""), 0);
  EXPECT_EQ(pty.Receive(100), "");
  std::string s = "old";
  EXPECT_EQ(port.ReadText(s, 0), 0);
  EXPECT_TRUE(s.empty());
}

TEST_F(Transfers, DefaultTimeoutsReturnAtOnceWithWhatIsQueued) {
  std::string s;
  auto t0 = Clock::now();
  EXPECT_EQ(port.ReadText(s, 10), 0);
  EXPECT_TRUE(s.empty());
  EXPECT_LT(MsSince(t0), 500);

  pty.Send("abc");
  ASSERT_TRUE(WaitInput(3));
  EXPECT_EQ(port.ReadText(s, 2), 2);
  EXPECT_EQ(s, "ab");
  EXPECT_EQ(port.ReadText(s, 10), 1);
  EXPECT_EQ(s, "c");
}

TEST_F(Transfers, ReturnWhenAByteIsThereElseAfterTheTotal) {
  // The form the protocol uses for every character: MAXDWORD / 0 / T.
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(300);
  std::string s;
  auto t0 = Clock::now();
  EXPECT_EQ(port.ReadText(s, 1), 0);
  long long ms = MsSince(t0);
  EXPECT_GE(ms, 300);
  EXPECT_LT(ms, 300 + kSlack);

  // A byte arriving during the wait ends it at once.
  port.Timeouts().SetReadTotalConstant(5000);
  SendLater(100, "x");
  t0 = Clock::now();
  EXPECT_EQ(port.ReadText(s, 2), 1);
  ms = MsSince(t0);
  EXPECT_EQ(s, "x");
  EXPECT_GE(ms, 90);
  EXPECT_LT(ms, 100 + kSlack);
  sender.join();

  // Queued bytes come back without waiting, up to the count.
  pty.Send("hello");
  ASSERT_TRUE(WaitInput(5));
  t0 = Clock::now();
  EXPECT_EQ(port.ReadText(s, 3), 3);
  EXPECT_EQ(s, "hel");
  EXPECT_LT(MsSince(t0), 1000);
}

TEST_F(Transfers, AReadWaitingOnTheLineRunsTheThreadsWaitHookThroughoutAndStillTakesItsByte) {
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(5000);
  std::vector<Clock::time_point> calls;
  platform::SetWaitHook([&] { calls.push_back(Clock::now()); });
  SendLater(400, "x");
  std::string s;
  EXPECT_EQ(port.ReadText(s, 1), 1);
  platform::SetWaitHook(nullptr);
  EXPECT_EQ(s, "x");
  // Between the slices of the wait, not once at its start: about every 20 ms of the 400.
  ASSERT_GE(calls.size(), 5u);
  EXPECT_GE((calls.back() - calls.front()) / std::chrono::milliseconds(1), 200);
}

// The busy mode's pump may outlast a read's time: what came meanwhile is still the read's, and
// a read with nothing there ends as soon as the pump gives the thread back.
TEST_F(Transfers, AReadWhoseTimeRunsOutInTheWaitHookFirstTakesWhatCameMeanwhile) {
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(100);
  std::string arriving = "y";
  platform::SetWaitHook([&] {
    pty.Send(std::exchange(arriving, ""));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // past the read's 100 ms
  });
  std::string s;
  EXPECT_EQ(port.ReadText(s, 1), 1);
  EXPECT_EQ(s, "y");
  const auto t0 = Clock::now();
  EXPECT_EQ(port.ReadText(s, 1), 0);
  const long long ms = MsSince(t0);
  platform::SetWaitHook(nullptr);
  EXPECT_TRUE(s.empty());
  EXPECT_GE(ms, 100);
  EXPECT_LT(ms, 2 * 300 + kSlack);  // at most a hook's run at the start and one in the wait
}

// Read calls this thread has made so far (each look adds one of its own, measured away below).
static long long ThreadReadCalls() {
  const int fd = ::open("/proc/thread-self/io", O_RDONLY | O_CLOEXEC);
  char buf[1024] = {};
  const ssize_t n = fd < 0 ? -1 : ::read(fd, buf, sizeof buf - 1);
  if (fd >= 0) ::close(fd);
  const char* at = n > 0 ? std::strstr(buf, "syscr: ") : nullptr;
  return at ? std::atoll(at + 7) : -1;
}

// A read that waits for an answer reads the line once per arrival, as a plain poll-then-read
// loop does: never first an empty queue, nor a wake-up nobody set.
TEST_F(Transfers, AWaitingReadReadsTheLineOnlyWhenBytesArrived) {
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(5000);
  const char* const pieces[] = {"SINE\r", "\n4", "0\r\n", ">"};
  std::atomic<int> asked{0};
  sender = std::thread([&] {
    for (int i = 0; i < 4; ++i) {
      while (asked.load() <= i) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the reader waits by then
      pty.Send(pieces[i]);
    }
  });
  const long long first = ThreadReadCalls();
  const long long look = ThreadReadCalls() - first;
  const long long before = ThreadReadCalls();
  std::string got, s;
  int calls = 0;
  for (int i = 0; i < 4; ++i) {
    asked = i + 1;
    for (const std::string want = got + pieces[i]; got != want && calls < 20; ++calls) {
      ASSERT_GT(port.ReadText(s, 64), 0);
      got += s;
    }
  }
  const long long reads = ThreadReadCalls() - before - look;
  EXPECT_EQ(got, "SINE\r\n40\r\n>");
  ASSERT_GE(look, 0);
  EXPECT_EQ(reads, calls);
}

TEST_F(Transfers, IntervalEndsAReadAtAGapAfterAByte) {
  port.Timeouts().SetReadInterval(100);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(0);
  // Three bytes, then silence: the read ends one interval after the last byte (which left no
  // earlier than 50 ms after t0).
  auto t0 = Clock::now();
  SendLater(50, "abc");
  std::string s;
  EXPECT_EQ(port.ReadText(s, 10), 3);
  const long long ms = MsSince(t0);
  EXPECT_EQ(s, "abc");
  EXPECT_GE(ms, 150);
  EXPECT_LT(ms, 150 + kSlack);
  sender.join();

  // The count ends it before any gap.
  pty.Send("wxyz");
  t0 = Clock::now();
  EXPECT_EQ(port.ReadText(s, 4), 4);
  EXPECT_EQ(s, "wxyz");
  EXPECT_LT(MsSince(t0), 100 + kSlack);
}

TEST_F(Transfers, TotalLimitIsMultiplierTimesCountPlusConstant) {
  port.Timeouts().SetReadInterval(0);  // no interval limit
  port.Timeouts().SetReadTotalMultiplier(20);
  port.Timeouts().SetReadTotalConstant(100);
  SendLater(30, "ab");
  std::string s;
  auto t0 = Clock::now();
  EXPECT_EQ(port.ReadText(s, 5), 2);  // 20 * 5 + 100 = 200 ms
  const long long ms = MsSince(t0);
  EXPECT_EQ(s, "ab");
  EXPECT_GE(ms, 200);
  EXPECT_LT(ms, 200 + kSlack);
}

TEST_F(Transfers, ATotalLimitOfDecadesIsNoLimit) {
  // -1 is MAXDWORD per byte: 128 KiB of it overflows a clock reading in nanoseconds; the write
  // must still wait for the other end instead of giving up at once with a short count.
  port.Timeouts().SetWriteTotalMultiplier(-1);
  port.Timeouts().SetWriteTotalConstant(0);
  const std::string big(128 * 1024, 'd');
  std::thread reader([this, &big] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(pty.Receive(20000, big.size()).size(), big.size());
  });
  const auto t0 = Clock::now();
  EXPECT_EQ(port.WriteText(big), static_cast<int>(big.size()));
  EXPECT_GE(MsSince(t0), 150);
  reader.join();
  port.PurgeBuffers(false, true);

  // With a finite interval, MAXDWORD per byte is such a total too: not a limit of the constant.
  port.Timeouts().SetReadInterval(50);
  port.Timeouts().SetReadTotalMultiplier(-1);
  port.Timeouts().SetReadTotalConstant(100);
  SendLater(300, "m");
  std::string s;
  EXPECT_EQ(port.ReadText(s, 1), 1);
  EXPECT_EQ(s, "m");
}

TEST_F(Transfers, ReadOfTwoWhenOneByteArrivesBeforeTheTotalReturnsThatByte) {
  port.Timeouts().SetReadInterval(50);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(400);
  SendLater(20, "Q");
  std::string s;
  EXPECT_EQ(port.ReadText(s, 2), 1);
  EXPECT_EQ(s, "Q");
}

TEST_F(Transfers, WritesGoOutWholeAndNullsAreDroppedOnRequest) {
  const std::string bytes("A\0B\r\n\x13\xff", 7);
  EXPECT_EQ(port.WriteText(bytes), 7);
  EXPECT_EQ(pty.Receive(2000, 7), bytes);  // raw: nothing translated, nothing eaten

  port.SetDiscardNull(true);
  pty.Send(std::string("x\0y\0\0z", 6));
  std::string s;
  ASSERT_TRUE(WaitInput(6));
  EXPECT_EQ(port.ReadText(s, 6), 3);
  EXPECT_EQ(s, "xyz");
}

TEST_F(Transfers, WriteHeldByXoffEndsAtItsTimeoutWithTheCountWritten) {
  port.FlowControl().SetXonXoffOut(true);
  port.Timeouts().SetWriteTotalMultiplier(0);
  port.Timeouts().SetWriteTotalConstant(300);
  pty.Send("\x13");  // XOFF from the other end
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto t0 = Clock::now();
  EXPECT_EQ(port.WriteText("held"), 0);
  const long long ms = MsSince(t0);
  EXPECT_GE(ms, 300);
  EXPECT_LT(ms, 300 + kSlack);
  EXPECT_EQ(pty.Receive(100), "");
  pty.Send("\x11");  // XON: the line runs again
  EXPECT_EQ(port.WriteText("go"), 2);
  EXPECT_EQ(pty.Receive(2000, 2), "go");
}

TEST_F(Transfers, WriteIntoAFullLineReturnsTheShorterCount) {
  port.Timeouts().SetWriteTotalMultiplier(0);
  port.Timeouts().SetWriteTotalConstant(200);
  const std::string big(256 * 1024, 'x');  // more than the line buffers, nobody reading
  auto t0 = Clock::now();
  const int n = port.WriteText(big);
  EXPECT_GT(n, 0);
  EXPECT_LT(n, static_cast<int>(big.size()));
  EXPECT_GE(MsSince(t0), 200);
  port.PurgeBuffers(false, true);
}

TEST_F(Transfers, PurgeAndInputCount) {
  pty.Send("12345");
  ASSERT_TRUE(WaitInput(5));
  EXPECT_EQ(port.InputCount(), 5);
  port.PurgeBuffers(true, false);
  EXPECT_EQ(port.InputCount(), 0);
  std::string s;
  EXPECT_EQ(port.ReadText(s, 5), 0);
  port.PurgeBuffers(false, false);  // nothing to do, still fine
  EXPECT_TRUE(port.LastErrors().Empty());
  EXPECT_TRUE(port.Signals().Empty());
}

TEST_F(Transfers, AsyncReadAndWriteCanBePendingTogether) {
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalConstant(3000);
  PAsync r = nullptr, w = nullptr;
  InitAsync(r);
  InitAsync(w);
  char buf[4] = {};
  EXPECT_EQ(port.ReadAsync(buf, 4, r), 0);  // pending
  {
    std::string text = "ping";
    port.WriteStrAsync(text, w);
    text.assign("XXXX");  // the transfer sends its own copy
  }
  EXPECT_EQ(port.WaitForAsync(w), 4);
  EXPECT_EQ(pty.Receive(2000, 4), "ping");
  pty.Send("ok");
  EXPECT_EQ(port.WaitForAsync(r), 2);
  EXPECT_EQ(std::string(buf, 2), "ok");
  DoneAsync(r);
  DoneAsync(w);
  EXPECT_EQ(r, nullptr);
  PAsync none = nullptr;
  try {
    port.ReadAsync(buf, 1, none);
    ADD_FAILURE() << "no error for a nil record";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 4);
  }
}

TEST_F(Transfers, AbortEndsAPendingReadFromAnotherThread) {
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalConstant(60000);
  std::thread aborter([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    port.AbortAllAsync();
  });
  std::string s;
  const auto t0 = Clock::now();
  try {
    port.ReadText(s, 1);
    ADD_FAILURE() << "an aborted read reported success";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 3);
    EXPECT_EQ(e.WinCode(), ECANCELED);
  }
  EXPECT_LT(MsSince(t0), 100 + kSlack);
  aborter.join();
  // The port goes on working.
  port.Timeouts().SetReadTotalConstant(2000);
  pty.Send("k");
  EXPECT_EQ(port.ReadText(s, 1), 1);
}

TEST_F(Transfers, HangUpOfTheOtherEndMidReadGivesAClearErrorWithoutHanging) {
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalConstant(60000);
  pty.CloseSlave();
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.CloseMaster();
  });
  std::string s;
  const auto t0 = Clock::now();
  try {
    port.ReadText(s, 1);
    ADD_FAILURE() << "a hung-up line reported success";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 3);
    EXPECT_EQ(e.WinCode(), EIO);
  }
  EXPECT_LT(MsSince(t0), 100 + kSlack);
  unplug.join();
  // Later transfers fail at once too.
  try {
    port.WriteText("x");
    ADD_FAILURE() << "a write to a hung-up line reported success";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 2);
  }
  // Close completes although the device is gone.
  port.Close();
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Handle(), -1);
}

TEST_F(Transfers, CloseAfterAHangUpDoesNotWaitForBytesThatCannotLeave) {
  // A slow rate and an unplugged line: the line time of what was written (seconds here) is
  // no reason to hold the window thread in Close.
  port.SetBaudRate(br110);
  EXPECT_EQ(port.WriteText(std::string(100, 'u')), 100);
  pty.CloseSlave();
  pty.CloseMaster();
  const auto t0 = Clock::now();
  port.Close();
  EXPECT_LT(MsSince(t0), 2500);
  EXPECT_FALSE(port.Connected());
}

TEST_F(Transfers, CloseAfterAWriteGivesTheBytesTheirLineTime) {
  // A write at 9600 bit/s, then a close and reopen at another rate (as the bootloader entry
  // does): the other end still gets every byte, and the close took the line time.
  const std::string cmd = "BOOTLOADER\r";
  const auto t0 = Clock::now();
  EXPECT_EQ(port.WriteText(cmd), static_cast<int>(cmd.size()));
  port.Close();
  EXPECT_GE(MsSince(t0), static_cast<long long>(cmd.size()) * 10 * 1000 / 9600);
  port.SetBaudRate(br57600);
  port.Open();
  port.PurgeBuffers(true, true);
  EXPECT_EQ(pty.Receive(2000, cmd.size()), cmd);
}

TEST_F(Transfers, AnotherProgramSettingVminZeroIsNoHangUp) {
  // The other side of a pseudo-terminal shares the terminal's settings and may change them.
  termios t{};
  ::tcgetattr(pty.slave, &t);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  ::tcsetattr(pty.slave, TCSANOW, &t);
  std::string s;
  EXPECT_EQ(port.ReadText(s, 1), 0);
  port.Timeouts().SetReadTotalConstant(3000);
  SendLater(50, "v");
  EXPECT_EQ(port.ReadText(s, 1), 1);
  EXPECT_EQ(s, "v");
  EXPECT_EQ(port.WriteText("w"), 1);
}
