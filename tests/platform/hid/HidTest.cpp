#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "device/scalesim/FakeHidSysfs.h"
#include "platform/core/Exceptions.h"
#include "platform/hid/HidDevice.h"
#include "platform/hid/HidDeviceList.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::TempDir;

std::string propertyText(const THidDeviceDetails& d, Cardinal code, Cardinal type) {
  for (const auto& p : d.Properties)
    if (p.Code == code) {
      EXPECT_EQ(p.DataType, type) << code;
      return std::string(p.Data.begin(), p.Data.end());
    }
  return "<none>";
}

TEST(HidNodes, ListsNodesInNameOrderWithTheirDeviceDetails) {
  TempDir dir;
  FakeHidSysfs sys(dir.Path());
  FakeHidDevice a;
  a.Node = "hidraw1";
  a.Instance = 7;
  std::string pathA = sys.Add(a);
  FakeHidDevice b;
  b.Node = "hidraw0";
  b.Instance = 3;
  b.Usb = false;
  b.Bus = 5;
  b.VendorId = 0x046D;
  b.ProductId = 0xB33F;
  b.HidName = "Bluetooth Keyboard";
  b.HidUniq = "aa:bb:cc";
  sys.Add(b);

  auto nodes = ListHidNodes(sys.SysfsRoot(), sys.DevRoot());
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].DevNode, sys.DevRoot() + "/hidraw0");
  EXPECT_EQ(nodes[1].Path, pathA);
  EXPECT_NE(nodes[1].Path.find("0003:0FFF:0002.0007"), std::string::npos);

  THidDeviceDetails usb = ReadHidDeviceDetails(nodes[1]);
  EXPECT_TRUE(usb.HasAttributes);
  EXPECT_EQ(usb.VendorId, 0x0FFF);
  EXPECT_EQ(usb.ProductId, 2);
  EXPECT_EQ(usb.VersionNumber, 0x0107);
  EXPECT_EQ(usb.Manufacturer, "Maker");
  EXPECT_EQ(usb.Product, "Counting Scale");
  EXPECT_EQ(usb.SerialNumber, "SN0001");
  EXPECT_EQ(usb.ReportDescriptor.size(), 5u);
  EXPECT_EQ(propertyText(usb, SPDRP_HARDWAREID, REG_MULTI_SZ), std::string("hid:b0003g0001v00000FFFp00000002\0\0", 34));
  EXPECT_EQ(propertyText(usb, SPDRP_ENUMERATOR_NAME, REG_SZ), "USB");
  EXPECT_EQ(propertyText(usb, SPDRP_ADDRESS, REG_DWORD), std::string("\x0B\0\0\0", 4));

  // Without a USB device above it, the HID layer names the device.
  THidDeviceDetails bt = ReadHidDeviceDetails(nodes[0]);
  EXPECT_EQ(bt.VendorId, 0x046D);
  EXPECT_EQ(bt.ProductId, 0xB33F);
  EXPECT_EQ(bt.VersionNumber, 0);
  EXPECT_EQ(bt.Product, "Bluetooth Keyboard");
  EXPECT_EQ(bt.SerialNumber, "aa:bb:cc");
  EXPECT_EQ(bt.Manufacturer, "");
  EXPECT_EQ(propertyText(bt, SPDRP_ENUMERATOR_NAME, REG_SZ), "BLUETOOTH");
  EXPECT_EQ(propertyText(bt, SPDRP_ADDRESS, REG_DWORD), "<none>");
}

TEST(HidNodes, ReplugGivesANewPathUnderTheSameNodeName) {
  TempDir dir;
  FakeHidSysfs sys(dir.Path());
  FakeHidDevice d;
  std::string first = sys.Add(d);
  sys.Remove(d.Node);
  EXPECT_TRUE(ListHidNodes(sys.SysfsRoot(), sys.DevRoot()).empty());
  d.Instance = 2;
  std::string second = sys.Add(d);
  EXPECT_NE(first, second);
  auto nodes = ListHidNodes(sys.SysfsRoot(), sys.DevRoot());
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].Path, second);
  EXPECT_EQ(nodes[0].DevNode, sys.DevRoot() + "/hidraw0");
}

TEST(HidNodes, MissingClassIsEmptyAndBrokenDevicesStayEmpty) {
  TempDir dir;
  EXPECT_TRUE(ListHidNodes(dir.File("nothing"), "/dev").empty());

  // A node whose device folder is missing: listed, but without details; a
  // uevent with a climbing DEVNAME falls back to the node's name.
  FakeHidSysfs sys(dir.Path());
  std::filesystem::create_directories(dir.Path() / "sys/class/hidraw/hidraw5");
  test::WriteFileBytes(dir.Path() / "sys/class/hidraw/hidraw5/uevent", "DEVNAME=../etc/passwd\n");
  auto nodes = ListHidNodes(sys.SysfsRoot(), sys.DevRoot());
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].DevNode, sys.DevRoot() + "/hidraw5");
  THidDeviceDetails d = ReadHidDeviceDetails(nodes[0]);
  EXPECT_FALSE(d.HasAttributes);
  EXPECT_EQ(d.VendorId, 0);
  EXPECT_TRUE(d.Properties.empty());
}

TEST(HidNodes, MalformedIdsLeaveTheAttributesUnread) {
  TempDir dir;
  FakeHidSysfs sys(dir.Path());
  FakeHidDevice d;
  std::string path = sys.Add(d);
  for (const char* id : {"0003:00000FFF", "0003:XYZ:00000002", "0003:00010000:00000002", ""}) {
    test::WriteFileBytes(std::filesystem::path(path) / "device/uevent", std::string("HID_ID=") + id + "\n");
    THidDeviceDetails details = ReadHidDeviceDetails({path, "/dev/hidraw0"});
    EXPECT_FALSE(details.HasAttributes) << id;
    EXPECT_EQ(details.VendorId, 0) << id;
    EXPECT_EQ(details.ProductId, 0) << id;
  }
}

// --- report I/O -------------------------------------------------------------

struct SocketPair {
  std::unique_ptr<IHidDevice> host;
  int peer = -1;
  SocketPair() {
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv), 0);
    fcntl(sv[0], F_SETFL, fcntl(sv[0], F_GETFL) | O_NONBLOCK);
    host = std::make_unique<TDescriptorHidDevice>(sv[0]);
    peer = sv[1];
  }
  ~SocketPair() {
    if (peer >= 0) close(peer);
  }
};

double secondsOf(const std::function<void()>& fn) {
  auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

TEST(HidReports, WriteAndReadWholeReportsAndCutLongOnes) {
  SocketPair s;
  const Byte out[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(HidWriteReport(*s.host, out, 9, 1000), THidIoResult::Done);
  Byte got[16];
  EXPECT_EQ(read(s.peer, got, sizeof got), 9);
  EXPECT_EQ(got[8], 8);

  const Byte in[9] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
  ASSERT_EQ(write(s.peer, in, 9), 9);
  Byte buffer[8];
  size_t received = 0;
  EXPECT_EQ(HidReadReport(*s.host, buffer, 8, received, 1000), THidIoResult::Done);
  EXPECT_EQ(received, 8u);
  EXPECT_EQ(buffer[7], 2);
}

TEST(HidReports, SilentPeerTimesOutInBothDirections) {
  SocketPair s;
  Byte buffer[8];
  size_t received = 99;
  double t = secondsOf([&] { EXPECT_EQ(HidReadReport(*s.host, buffer, 8, received, 1000), THidIoResult::TimedOut); });
  EXPECT_EQ(received, 0u);
  EXPECT_GE(t, 1.0);
  EXPECT_LT(t, 3.0);  // only that it does not hang; a loaded machine may be late

  // A peer that takes nothing: fill the socket, then one more report waits
  // for its time-out.
  const Byte out[9] = {};
  int sent = 0;
  while (s.host->Write(out, 9) > 0 && sent < 100000) ++sent;
  t = secondsOf([&] { EXPECT_EQ(HidWriteReport(*s.host, out, 9, 1000), THidIoResult::TimedOut); });
  EXPECT_GE(t, 1.0);
  EXPECT_LT(t, 3.0);  // only that it does not hang; a loaded machine may be late
}

TEST(HidReports, GonePeerFailsAtOnceAndDrainDropsWaitingReports) {
  SocketPair s;
  const Byte in[9] = {};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(write(s.peer, in, 9), 9);
  EXPECT_EQ(HidDrainInput(*s.host), 3);
  EXPECT_EQ(HidDrainInput(*s.host), 0);

  close(s.peer);
  s.peer = -1;
  Byte buffer[8];
  size_t received;
  double t = secondsOf([&] { EXPECT_EQ(HidReadReport(*s.host, buffer, 8, received, 1000), THidIoResult::Failed); });
  EXPECT_LT(t, 0.5);
  EXPECT_EQ(HidWriteReport(*s.host, in, 9, 1000), THidIoResult::Failed);
}

TEST(HidReports, OpeningAMissingNodeRaisesWithErrno) {
  TempDir dir;
  try {
    OpenHidrawDevice(dir.File("hidraw9"));
    FAIL() << "opened";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
  }
}

}  // namespace
}  // namespace px
