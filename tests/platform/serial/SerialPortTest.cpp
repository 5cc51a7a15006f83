#include <cerrno>
#include <gtest/gtest.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "platform/core/Exceptions.h"
#include "platform/serial/SerialPort.h"
#include "platform/serial/SerialPortList.h"
#include "platform/serial/SerialTestSupport.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::FakeSysfs;
using test::PseudoTerminal;

termios attributesOf(int fd) {
  termios t{};
  EXPECT_EQ(::tcgetattr(fd, &t), 0);
  return t;
}

TEST(TermiosSerialPort, DefaultSettingsGiveRaw9600EightNoneOne) {
  PseudoTerminal pty;
  TTermiosSerialPort port(pty.SlavePath());
  port.Configure(TSerialLineSettings{});
  termios t = attributesOf(pty.Slave());
  EXPECT_EQ(cfgetispeed(&t), B9600);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | INPCK), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

// A pseudo-terminal is always 8 bits without parity, so the mapping is
// checked on the record that Configure hands to the line; the pseudo-terminal
// still shows what it keeps (stop bits, flow control, input flags).
TEST(TermiosSerialPort, SettingsMapToTermiosFlags) {
  struct Case {
    TSerialLineSettings s;
    speed_t speed;
    tcflag_t size, cflagSet, cflagClear, iflagSet;
  };
  auto make = [](Integer baud, Integer bits, TSerialParityMode p, TSerialStopMode st, bool cts, bool xo, bool xi,
                 bool chk) {
    TSerialLineSettings s;
    s.BaudRate = baud;
    s.DataBits = bits;
    s.Parity = p;
    s.StopBits = st;
    s.HardwareFlow = cts;
    s.XonXoffOut = xo;
    s.XonXoffIn = xi;
    s.CheckParity = chk;
    return s;
  };
  using P = TSerialParityMode;
  using S = TSerialStopMode;
  const Case cases[] = {
      {make(300, 7, P::Even, S::One, false, false, false, true), B300, CS7, PARENB, PARODD | CMSPAR | CSTOPB, INPCK},
      {make(19200, 8, P::Odd, S::Two, true, false, false, false), B19200, CS8, PARENB | PARODD | CSTOPB | CRTSCTS,
       CMSPAR, 0},
      {make(115200, 6, P::Mark, S::One, false, true, true, false), B115200, CS6, PARENB | PARODD | CMSPAR, CSTOPB,
       IXON | IXOFF},
      {make(4800, 5, P::Space, S::OneAndHalf, false, false, false, false), B4800, CS5, PARENB | CMSPAR | CSTOPB,
       PARODD, 0},
  };
  for (const Case& c : cases) {
    termios t{};
    FillTermios(t, c.s);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ(t.c_cflag & c.cflagSet, c.cflagSet) << c.s.BaudRate;
    EXPECT_EQ(t.c_cflag & c.cflagClear, 0u) << c.s.BaudRate;
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), c.iflagSet) << c.s.BaudRate;
  }
}

TEST(TermiosSerialPort, LineKeepsStopBitsFlowAndInputFlags) {
  PseudoTerminal pty;
  TTermiosSerialPort port(pty.SlavePath());
  TSerialLineSettings s;
  s.BaudRate = 19200;
  s.StopBits = TSerialStopMode::Two;
  s.HardwareFlow = true;
  s.XonXoffIn = true;
  port.Configure(s);
  termios t = attributesOf(pty.Slave());
  EXPECT_EQ(cfgetispeed(&t), B19200);
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXOFF));
}

TEST(TermiosSerialPort, RefusedSettingsAndPathsRaiseWithErrno) {
  PseudoTerminal pty;
  TTermiosSerialPort port(pty.SlavePath());
  TSerialLineSettings s;
  s.BaudRate = 12345;  // termios has no code for it
  try {
    port.Configure(s);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, EINVAL);
  }
  s = TSerialLineSettings{};
  s.DataBits = 9;
  EXPECT_THROW(port.Configure(s), EOSError);

  try {
    TTermiosSerialPort missing("/nonexistent/ttyUSB9");
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
  }
  try {
    TTermiosSerialPort notATerminal("/dev/null");
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, ENOTTY);
  }
}

TEST(TermiosSerialPort, ReadsWithoutBlockingAndReportsHangUp) {
  PseudoTerminal pty;
  TTermiosSerialPort port(pty.SlavePath());
  port.Configure(TSerialLineSettings{});
  port.SetModemLines(true, true);  // a pseudo-terminal has no modem lines: nothing happens
  char buf[64];
  EXPECT_EQ(port.Read(buf, sizeof buf), 0);
  pty.Write("ab\r\n");
  for (int i = 0; i < 6000 && port.QueuedBytes() < 4; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(port.QueuedBytes(), 4);
  ASSERT_EQ(port.Read(buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "ab\r\n");  // raw: no CR/LF translation
  pty.ReleaseSlave();
  pty.CloseMaster();
  EXPECT_EQ(port.Read(buf, sizeof buf), -1);
}

TEST(SerialPortList, ListsHardwarePortsInNameOrder) {
  test::TempDir dir;
  FakeSysfs sys(dir.Path() / "sys");
  sys.AddUsbSerial("ttyUSB10", "1-3", "ftdi_sio", "FTDI", "FT232R USB UART", "0403", "6001");
  sys.AddUsbSerial("ttyUSB2", "1-1", "pl2303", "Prolific Technology Inc.", "USB-Serial Controller");
  sys.AddUsbAcm("ttyACM0", "1-2", std::nullopt, std::nullopt);
  sys.AddUart("ttyS0", 4);
  sys.AddUart("ttyS1", 0);  // node without a UART
  sys.AddVirtual("tty0");

  auto ports = ListSerialPorts((dir.Path() / "sys").string(), "/dev");
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports[0].Name, "ttyACM0");
  EXPECT_EQ(ports[1].Name, "ttyS0");
  EXPECT_EQ(ports[2].Name, "ttyUSB2");
  EXPECT_EQ(ports[3].Name, "ttyUSB10");

  EXPECT_TRUE(ports[0].IsUsb);
  EXPECT_EQ(ports[0].Driver, "cdc_acm");
  EXPECT_FALSE(ports[0].HasManufacturer);
  EXPECT_FALSE(ports[0].HasProduct);

  EXPECT_FALSE(ports[1].IsUsb);
  EXPECT_EQ(ports[1].Driver, "serial8250");
  EXPECT_EQ(ports[1].DevNode, "/dev/ttyS0");

  EXPECT_TRUE(ports[2].IsUsb);
  EXPECT_EQ(ports[2].DevNode, "/dev/ttyUSB2");
  EXPECT_EQ(ports[2].Driver, "pl2303");
  EXPECT_TRUE(ports[2].HasManufacturer);
  EXPECT_EQ(ports[2].Manufacturer, "Prolific Technology Inc.");
  EXPECT_EQ(ports[2].Product, "USB-Serial Controller");
  EXPECT_EQ(ports[2].VendorId, 0x067b);
  EXPECT_EQ(ports[2].ProductId, 0x2303);
  EXPECT_EQ(ports[3].VendorId, 0x0403);
}

TEST(SerialPortList, MissingTreeGivesEmptyList) {
  test::TempDir dir;
  EXPECT_TRUE(ListSerialPorts((dir.Path() / "nothing").string()).empty());
}

TEST(SerialPortList, RealSysfsListsOnlyPortsWithDevices) {
  // Whatever this machine has: every port listed has its node under /dev.
  for (const TSerialPortInfo& p : ListSerialPorts()) {
    EXPECT_TRUE(p.DevNode.starts_with("/dev/")) << p.DevNode;
    EXPECT_FALSE(p.Name.starts_with("pts")) << p.Name;
  }
}

}  // namespace
}  // namespace px
