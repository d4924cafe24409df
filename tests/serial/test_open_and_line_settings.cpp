// Opening a port by name (and the errors when that fails), and the line settings the other end
// of the line sees.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <cerrno>
#include <fstream>

#include "platform/CommTermios2.h"
#include "pty_fixture.h"
#include "serial/CPort.h"

using serialtest::PtyPair;
using serialtest::TempDir;

namespace {

// Runs `fn` and returns the EComPort it raised (Code 0 when none was raised).
template <typename F>
EComPort Raised(F&& fn) {
  try {
    fn();
  } catch (const EComPort& e) {
    return e;
  }
  return EComPort(0, 0, "");
}

}  // namespace

TEST(PortOpen, MissingPortRaisesCode1WithFileNotFound) {
  TempDir dir;
  TComPort port;
  port.SetPort(dir.Path() + "/no-such-port");
  const EComPort e = Raised([&] { port.Open(); });
  EXPECT_EQ(e.Code(), 1);
  EXPECT_EQ(e.WinCode(), 2);
  EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Handle(), -1);
}

TEST(PortOpen, BusyPortFileThatIsNoTerminalAndDeniedAccessAreReportedClearly) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TComPort first;
  first.SetPort(pty.path);
  first.Open();
  TComPort second;
  second.SetPort(pty.path);
  EComPort e = Raised([&] { second.Open(); });
  EXPECT_EQ(e.Code(), 1);
  EXPECT_EQ(e.WinCode(), EBUSY);
  EXPECT_FALSE(second.Connected());
  first.Close();
  // Free again once the first port closed.
  second.Open();
  EXPECT_TRUE(second.Connected());
  second.Close();

  TempDir dir;
  const std::string file = dir.Path() + "/plain";
  std::ofstream(file) << "not a terminal";
  TComPort plain;
  plain.SetPort(file);
  e = Raised([&] { plain.Open(); });
  EXPECT_EQ(e.Code(), 1);
  EXPECT_EQ(e.WinCode(), ENOTTY);

  if (::geteuid() != 0) {  // root opens anything
    ::chmod(pty.path.c_str(), 0);
    TComPort denied;
    denied.SetPort(pty.path);
    e = Raised([&] { denied.Open(); });
    EXPECT_EQ(e.Code(), 1);
    EXPECT_EQ(e.WinCode(), EACCES);
    ::chmod(pty.path.c_str(), 0620);
  }
}

TEST(PortOpen, PortLockedByAnotherProgramIsBusy) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  const int other = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  TComPort port;
  port.SetPort(pty.path);
  const EComPort e = Raised([&] { port.Open(); });
  EXPECT_EQ(e.Code(), 1);
  EXPECT_EQ(e.WinCode(), EBUSY);
  ::close(other);
}

TEST(PortOpen, OperationsOnAClosedPortRaiseTheirOwnErrors) {
  TComPort port;
  std::string s;
  EXPECT_EQ(Raised([&] { port.ReadText(s, 1); }).Code(), 3);
  EXPECT_EQ(Raised([&] { port.WriteText("x"); }).Code(), 2);
  EXPECT_EQ(Raised([&] { port.PurgeBuffers(true, true); }).Code(), 5);
  EXPECT_EQ(Raised([&] { port.InputCount(); }).Code(), 10);
  EXPECT_EQ(Raised([&] { port.Signals(); }).Code(), 11);
  PAsync none = nullptr;
  const EComPort e = Raised([&] { port.WaitForAsync(none); });
  EXPECT_EQ(e.Code(), 4);
  EXPECT_EQ(e.WinCode(), -1);
  // Closing a closed port does nothing.
  port.Close();
  EXPECT_FALSE(port.Connected());
}

TEST(PortOpen, OpenAndCloseFireTheirEventsInOrder) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TComPort port;
  port.SetPort(pty.path);
  std::string log;
  port.OnBeforeOpen = [&](TObject*) { log += "BO "; };
  port.OnAfterOpen = [&](TObject*) { log += "AO "; };
  port.OnCTSChange = [&](TObject*, bool on) { log += on ? "CTS1 " : "CTS0 "; };
  port.OnDSRChange = [&](TObject*, bool on) { log += on ? "DSR1 " : "DSR0 "; };
  port.OnRLSDChange = [&](TObject*, bool on) { log += on ? "RLSD1 " : "RLSD0 "; };
  port.OnBeforeClose = [&](TObject*) { log += "BC "; };
  port.OnAfterClose = [&](TObject*) { log += "AC"; };
  TComPortLink link;
  std::string links;
  link.OnConn = [&](TObject*, bool on) { links += on ? "conn1 " : "conn0"; };
  port.RegisterLink(&link);
  port.SetConnected(true);
  EXPECT_TRUE(port.Connected());
  port.Open();  // already open: nothing
  port.SetConnected(false);
  // A pseudo-terminal has no modem lines: they read as off.
  EXPECT_EQ(log, "BO AO CTS0 DSR0 RLSD0 CTS0 DSR0 RLSD0 BC AC");
  EXPECT_EQ(links, "conn1 conn0");
  port.UnRegisterLink(&link);
}

TEST(LineSettings, DefaultsSeenFromTheOtherEndAre9600EightNoneOneWithoutHandshake) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  // Start from settings a previous program might have left behind.
  termios t = pty.Settings();
  t.c_lflag |= ICANON | ECHO;
  t.c_oflag |= OPOST;
  t.c_iflag |= IXON | ICRNL;
  cfsetospeed(&t, B2400);
  cfsetispeed(&t, B2400);
  ::tcsetattr(pty.slave, TCSANOW, &t);

  TComPort port;
  port.SetPort(pty.path);
  port.Open();
  t = pty.Settings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  port.Close();
}

TEST(LineSettings, ChangesReachAnOpenPortAtOnce) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TComPort port;
  port.SetPort(pty.path);
  port.SetBaudRate(br57600);  // stored while closed, applied by Open
  port.Open();
  termios t = pty.Settings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));

  port.SetBaudRate(br19200);
  t = pty.Settings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));

  port.SetStopBits(sbTwoStopBits);
  port.FlowControl().SetFlowControl(fcSoftware);
  t = pty.Settings();
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_iflag & IXON, 0u);
  EXPECT_NE(t.c_iflag & IXOFF, 0u);
  port.FlowControl().SetFlowControl(fcHardware);
  t = pty.Settings();
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
  port.FlowControl().SetFlowControl(fcNone);

  // A rate without a constant of its own goes through as a number.
  port.SetCustomBaudRate(14400);
  port.SetBaudRate(brCustom);
  platform::TTermiosFields f;
  ASSERT_EQ(platform::Termios2Get(pty.slave, f), 0);
  EXPECT_EQ(f.baud, 14400u);
  EXPECT_EQ(f.speedCode, 0u);
  port.Close();
}

TEST(LineSettings, SettingsTheLineCannotDoAreRefusedAndTheOldOnesStay) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TComPort port;
  port.SetPort(pty.path);
  port.Open();
  // A pseudo-terminal always carries 8 bits without parity.
  EComPort e = Raised([&] { port.SetDataBits(dbSeven); });
  EXPECT_EQ(e.Code(), 7);
  EXPECT_EQ(e.WinCode(), EINVAL);
  termios t = pty.Settings();
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  port.SetDataBits(dbEight);

  e = Raised([&] { port.Parity().SetBits(prEven); });
  EXPECT_EQ(e.Code(), 7);
  port.Parity().SetBits(prNone);

  // A rate of 0 would hang the line up; a negative one is no rate.
  port.SetBaudRate(brCustom);  // CustomBaudRate 9600
  e = Raised([&] { port.SetCustomBaudRate(0); });
  EXPECT_EQ(e.Code(), 7);
  e = Raised([&] { port.SetCustomBaudRate(-5); });
  EXPECT_EQ(e.Code(), 7);
  t = pty.Settings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_TRUE(port.Connected());

  // Opening with a refused setting leaves the port closed.
  port.Close();
  TComPort other;
  other.SetPort(pty.path);
  other.SetDataBits(dbSeven);
  e = Raised([&] { other.Open(); });
  EXPECT_EQ(e.Code(), 7);
  EXPECT_FALSE(other.Connected());
  EXPECT_EQ(other.Handle(), -1);
  other.SetDataBits(dbEight);
  other.Open();  // the device was released
  EXPECT_TRUE(other.Connected());
}

TEST(LineSettings, PropertiesThatNeedAClosedPortRaiseCode14) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TComPort port;
  port.SetPort(pty.path);
  port.SetSyncMethod(smWindowSync);  // closed: stored
  port.SetSyncMethod(smThreadSync);
  port.Open();
  EComPort e = Raised([&] { port.SetSyncMethod(smNone); });
  EXPECT_EQ(e.Code(), 14);
  EXPECT_EQ(e.WinCode(), -1);
  EXPECT_STREQ(e.what(), "Cannot set property while connected");
  EXPECT_EQ(port.SyncMethod(), smThreadSync);
  e = Raised([&] { port.SetEventThreadPriority(platform::TThreadPriority::tpHigher); });
  EXPECT_EQ(e.Code(), 14);
  // The unchanged value is no change.
  port.SetSyncMethod(smThreadSync);
  port.SetEventThreadPriority(platform::TThreadPriority::tpNormal);
}

TEST(LineSettings, ChangingThePortNameReopensAndAFailedReopenEndsClosed) {
  PtyPair a, b;
  ASSERT_TRUE(a.ok() && b.ok());
  TComPort port;
  port.SetPort(a.path);
  int opens = 0, closes = 0;
  port.OnAfterOpen = [&](TObject*) { ++opens; };
  port.OnAfterClose = [&](TObject*) { ++closes; };
  port.Open();
  port.SetPort(a.path);  // same name: nothing
  EXPECT_EQ(opens, 1);
  port.SetPort(b.path);
  EXPECT_EQ(opens, 2);
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.DevicePath(), b.path);
  port.WriteText("hi");
  EXPECT_EQ(b.Receive(2000, 2), "hi");

  const EComPort e = Raised([&] { port.SetPort("/nonexistent/port"); });
  EXPECT_EQ(e.Code(), 1);
  EXPECT_FALSE(port.Connected());
}

TEST(LineSettings, LoadedOpensAPortThatWasStoredConnectedAndReportsFailures) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TComPort port;
  port.SetLoading(true);
  port.SetPort(pty.path);
  port.SetConnected(true);  // only recorded while loading
  EXPECT_EQ(port.Handle(), -1);
  port.Loaded();
  EXPECT_TRUE(port.Connected());
  EXPECT_GE(port.Handle(), 0);

  std::string reported;
  SetApplicationErrorHook([&](TObject*, std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      reported = x.what();
    }
  });
  TComPort broken;
  broken.SetLoading(true);
  broken.SetPort("/nonexistent/port");
  broken.SetConnected(true);
  broken.Loaded();  // raises nothing
  SetApplicationErrorHook(nullptr);
  EXPECT_FALSE(broken.Connected());
  EXPECT_EQ(reported, "Unable to open com port (win error code: 2)");
}
