// The settings objects (defaults, derived flow control, even buffer sizes, change propagation),
// the device control block the port builds from them, and the pure mapping of that block onto
// terminal settings: what a pseudo-terminal cannot show (parity, bit timing, handshakes, modem
// lines) is checked here.
#include <gtest/gtest.h>
#include <termios.h>

#include <cerrno>

#include "platform/Comm.h"
#include "pty_fixture.h"
#include "serial/CPort.h"

using namespace platform;

namespace {

// Counts the apply operations the settings objects trigger.
class CountingPort : public TComPort {
 public:
  int commState = 0, timeouts = 0, buffer = 0;
  void ApplyCommState() override {
    ++commState;
    TComPort::ApplyCommState();
  }
  void ApplyTimeouts() override {
    ++timeouts;
    TComPort::ApplyTimeouts();
  }
  void ApplyBuffer() override {
    ++buffer;
    TComPort::ApplyBuffer();
  }
};

TDCB DefaultDCB() {
  TComPort port;
  return port.BuildDCB();
}

}  // namespace

TEST(SettingsObjects, BufferSizesAreKeptEvenAndAppliedOnChange) {
  serialtest::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  CountingPort port;
  port.SetPort(pty.path);
  port.SetEvents(TComEvents());
  port.Open();
  port.buffer = 0;
  port.Buffer().SetInputSize(1023);
  EXPECT_EQ(port.Buffer().InputSize(), 1022);
  EXPECT_EQ(port.buffer, 1);
  port.Buffer().SetInputSize(1022);  // unchanged
  EXPECT_EQ(port.buffer, 1);
  port.Buffer().SetOutputSize(1);
  EXPECT_EQ(port.Buffer().OutputSize(), 0);
  // A negative size is stored as it is, and refused by the device.
  try {
    port.Buffer().SetOutputSize(-3);
    ADD_FAILURE() << "a negative queue size was accepted";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 9);
  }
  EXPECT_EQ(port.Buffer().OutputSize(), -3);
  EXPECT_EQ(port.BuildDCB().XonLim, 255);
  EXPECT_EQ(port.BuildDCB().XoffLim, 255);
}

TEST(SettingsObjects, FlowControlPresetsAndTheDerivedValue) {
  CountingPort port;
  TComFlowControl& f = port.FlowControl();
  f.SetFlowControl(fcHardware);
  EXPECT_EQ(f.ControlRTS(), rtsHandshake);
  EXPECT_TRUE(f.OutCTSFlow());
  EXPECT_FALSE(f.XonXoffIn() || f.XonXoffOut());
  EXPECT_EQ(f.FlowControl(), fcHardware);
  f.SetControlDTR(dtrHandshake);  // plays no part in the derived value
  EXPECT_EQ(f.FlowControl(), fcHardware);

  f.SetFlowControl(fcSoftware);
  EXPECT_EQ(f.ControlRTS(), rtsDisable);
  EXPECT_FALSE(f.OutCTSFlow());
  EXPECT_TRUE(f.XonXoffIn() && f.XonXoffOut());
  EXPECT_EQ(f.ControlDTR(), dtrHandshake);  // presets never touch DTR
  EXPECT_EQ(f.FlowControl(), fcSoftware);

  // XON/XOFF both ways is software flow control only while CTS does not hold the output too.
  f.SetOutCTSFlow(true);
  EXPECT_EQ(f.FlowControl(), fcCustom);

  f.SetFlowControl(fcNone);
  f.SetControlRTS(rtsEnable);
  EXPECT_EQ(f.FlowControl(), fcCustom);

  // fcCustom changes nothing but applies once, as every preset does.
  port.commState = 0;
  f.SetFlowControl(fcCustom);
  EXPECT_EQ(f.ControlRTS(), rtsEnable);
  EXPECT_EQ(port.commState, 1);
  f.SetFlowControl(fcNone);
  f.SetFlowControl(fcNone);
  EXPECT_EQ(port.commState, 3);
}

TEST(SettingsObjects, ChangesGoToTheMatchingApplyOperationOnlyWhenTheValueChanges) {
  CountingPort port;
  port.Timeouts().SetReadTotalConstant(200);
  port.Timeouts().SetReadTotalConstant(200);
  port.Parity().SetCheck(true);
  port.FlowControl().SetXonChar(1);
  port.Buffer().SetOutputSize(2048);
  EXPECT_EQ(port.timeouts, 1);
  EXPECT_EQ(port.commState, 2);
  EXPECT_EQ(port.buffer, 1);
  // Assigning copies values only, without applying.
  TComTimeouts t;
  t.SetReadInterval(7);
  port.Timeouts().Assign(t);
  EXPECT_EQ(port.Timeouts().ReadInterval(), 7);
  EXPECT_EQ(port.Timeouts().ComPort(), &port);
  EXPECT_EQ(port.timeouts, 1);
  // The port's setter assigns and applies.
  port.SetTimeouts(t);
  EXPECT_EQ(port.timeouts, 2);
}

TEST(DeviceControlBlock, DefaultsAndTheTableOfFlags) {
  const TDCB d = DefaultDCB();
  EXPECT_EQ(d.DCBlength, 28u);
  EXPECT_EQ(d.BaudRate, 9600u);
  EXPECT_EQ(d.Flags, DCB_fBinary);
  EXPECT_EQ(d.XonLim, 256);
  EXPECT_EQ(d.XoffLim, 256);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity, 0);
  EXPECT_EQ(d.StopBits, 0);
  EXPECT_EQ(d.XonChar, 17);
  EXPECT_EQ(d.XoffChar, 19);
  EXPECT_EQ(d.ErrorChar, 0);

  TComPort port;
  port.SetCustomBaudRate(12345);
  EXPECT_EQ(port.BuildDCB().BaudRate, 9600u);  // ignored unless brCustom
  port.SetBaudRate(brCustom);
  EXPECT_EQ(port.BuildDCB().BaudRate, 12345u);

  port.Parity().SetReplace(true);
  port.Parity().SetReplaceChar('?');
  EXPECT_EQ(port.BuildDCB().Flags & (DCB_fErrorChar | DCB_fParity), 0u);
  EXPECT_EQ(port.BuildDCB().ErrorChar, 0);
  port.Parity().SetReplace(false);
  port.Parity().SetCheck(true);
  EXPECT_EQ(port.BuildDCB().Flags & (DCB_fErrorChar | DCB_fParity), DCB_fParity);
  port.Parity().SetReplace(true);
  EXPECT_EQ(port.BuildDCB().Flags & DCB_fErrorChar, DCB_fErrorChar);
  EXPECT_EQ(port.BuildDCB().ErrorChar, '?');

  port.FlowControl().SetFlowControl(fcHardware);
  port.FlowControl().SetControlDTR(dtrEnable);
  port.SetDiscardNull(true);
  port.SetEventChar('\n');
  port.SetDataBits(dbSeven);
  port.SetStopBits(sbTwoStopBits);
  port.Parity().SetBits(prSpace);
  const TDCB c = port.BuildDCB();
  EXPECT_EQ(c.Flags & DCB_fRtsControlMask, DCB_fRtsControlHandshake);
  EXPECT_NE(c.Flags & DCB_fOutxCtsFlow, 0u);
  EXPECT_EQ(c.Flags & DCB_fDtrControlMask, DCB_fDtrControlEnable);
  EXPECT_NE(c.Flags & DCB_fNull, 0u);
  EXPECT_EQ(c.Flags & DCB_fAbortOnError, 0u);
  EXPECT_EQ(c.EvtChar, '\n');
  EXPECT_EQ(c.ByteSize, 7);
  EXPECT_EQ(c.StopBits, 2);
  EXPECT_EQ(c.Parity, 4);
  EXPECT_EQ(port.BuildCommTimeouts().ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(port.BuildCommTimeouts().WriteTotalTimeoutConstant, 1000u);
}

TEST(TermiosMapping, FrameFormatsParityKindsAndRates) {
  TDCB d = DefaultDCB();
  TTermiosFields f;
  ASSERT_EQ(MapDCBToTermios(d, f), 0);
  EXPECT_EQ(f.cflag & CSIZE, static_cast<std::uint32_t>(CS8));
  EXPECT_EQ(f.cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(f.cflag & (CREAD | CLOCAL), 0u);
  EXPECT_EQ(f.iflag & (IXON | IXOFF | INPCK | ICRNL), 0u);
  EXPECT_EQ(f.lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(f.oflag & OPOST, 0u);
  EXPECT_EQ(f.baud, 9600u);
  EXPECT_EQ(f.speedCode, static_cast<std::uint32_t>(B9600));
  EXPECT_FALSE(f.dtrOn || f.rtsOn);  // DTR and RTS held inactive

  struct Case {
    std::uint8_t parity;
    std::uint32_t bits;
  } cases[] = {{1, PARENB | PARODD}, {2, PARENB}, {3, PARENB | PARODD | CMSPAR}, {4, PARENB | CMSPAR}};
  for (const Case& c : cases) {
    d.Parity = c.parity;
    ASSERT_EQ(MapDCBToTermios(d, f), 0);
    EXPECT_EQ(f.cflag & (PARENB | PARODD | CMSPAR), c.bits) << int(c.parity);
  }
  d.Parity = 0;
  d.ByteSize = 7;
  d.StopBits = 2;
  ASSERT_EQ(MapDCBToTermios(d, f), 0);
  EXPECT_EQ(f.cflag & CSIZE, static_cast<std::uint32_t>(CS7));
  EXPECT_NE(f.cflag & CSTOPB, 0u);
  d.ByteSize = 5;
  d.StopBits = 1;  // 1.5 stop bits: five data bits only
  ASSERT_EQ(MapDCBToTermios(d, f), 0);
  EXPECT_EQ(f.cflag & CSIZE, static_cast<std::uint32_t>(CS5));
  EXPECT_NE(f.cflag & CSTOPB, 0u);

  d = DefaultDCB();
  d.BaudRate = 56000;
  ASSERT_EQ(MapDCBToTermios(d, f), 0);
  EXPECT_EQ(f.baud, 56000u);
  EXPECT_EQ(f.speedCode, 0u);  // no constant: the rate goes as a number
  d.BaudRate = 115200;
  ASSERT_EQ(MapDCBToTermios(d, f), 0);
  EXPECT_EQ(f.speedCode, static_cast<std::uint32_t>(B115200));
}

TEST(TermiosMapping, HandshakesModemLinesAndCharacters) {
  TDCB d = DefaultDCB();
  TTermiosFields f;
  d.Flags |= DCB_fOutxCtsFlow;
  ASSERT_EQ(MapDCBToTermios(d, f), 0);
  EXPECT_NE(f.cflag & CRTSCTS, 0u);
  d.Flags = DCB_fBinary | DCB_fRtsControlHandshake;
  ASSERT_EQ(MapDCBToTermios(d, f), 0);
  EXPECT_NE(f.cflag & CRTSCTS, 0u);
  EXPECT_TRUE(f.rtsByHandshake);
  d.Flags = DCB_fBinary | DCB_fRtsControlEnable | DCB_fDtrControlEnable;
  ASSERT_EQ(MapDCBToTermios(d, f), 0);
  EXPECT_EQ(f.cflag & CRTSCTS, 0u);
  EXPECT_TRUE(f.rtsOn);
  EXPECT_TRUE(f.dtrOn);

  d.Flags = DCB_fBinary | DCB_fOutX | DCB_fInX | DCB_fParity | DCB_fNull;
  d.XonChar = 'Q';
  d.XoffChar = 'S';
  ASSERT_EQ(MapDCBToTermios(d, f), 0);
  EXPECT_NE(f.iflag & IXON, 0u);
  EXPECT_NE(f.iflag & IXOFF, 0u);
  EXPECT_NE(f.iflag & INPCK, 0u);
  EXPECT_EQ(f.vstart, 'Q');
  EXPECT_EQ(f.vstop, 'S');
  EXPECT_TRUE(f.discardNull);
}

TEST(TermiosMapping, WhatTheLineCannotDoIsRefused) {
  TTermiosFields f;
  const TDCB base = DefaultDCB();
  auto refused = [&](auto&& change) {
    TDCB d = base;
    change(d);
    return MapDCBToTermios(d, f) == EINVAL;
  };
  EXPECT_TRUE(refused([](TDCB& d) { d.BaudRate = 0; }));
  EXPECT_TRUE(refused([](TDCB& d) { d.BaudRate = 0xFFFFFFFFu; }));  // a negative custom rate
  EXPECT_TRUE(refused([](TDCB& d) { d.ByteSize = 9; }));
  EXPECT_TRUE(refused([](TDCB& d) { d.Parity = 5; }));
  EXPECT_TRUE(refused([](TDCB& d) { d.StopBits = 1; }));  // 1.5 with eight data bits
  EXPECT_TRUE(refused([](TDCB& d) { d.ByteSize = 5, d.StopBits = 2; }));
  EXPECT_TRUE(refused([](TDCB& d) { d.Flags |= DCB_fOutxDsrFlow; }));
  EXPECT_TRUE(refused([](TDCB& d) { d.Flags |= DCB_fDsrSensitivity; }));
  EXPECT_TRUE(refused([](TDCB& d) { d.Flags |= DCB_fDtrControlHandshake; }));
  EXPECT_TRUE(refused([](TDCB& d) { d.Flags |= DCB_fRtsControlToggle; }));
  EXPECT_TRUE(refused([](TDCB& d) { d.Flags |= DCB_fParity | DCB_fErrorChar, d.ErrorChar = '?'; }));
  EXPECT_TRUE(refused([](TDCB& d) { d.Flags |= DCB_fOutX, d.XonChar = d.XoffChar = 17; }));
  // A NUL replacement is what the line does with a parity error anyway.
  EXPECT_FALSE(refused([](TDCB& d) { d.Flags |= DCB_fParity | DCB_fErrorChar; }));
}
