#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "device/UnitHID.h"
#include "device/scalesim/FakeHidSysfs.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/DeviceChangeMonitor.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::TempDir;

struct Recorder {
  std::vector<std::string> events;
  std::function<void(THIDDevice*)> hook;
  void Changed(THIDDevices*, THIDDevice* d) {
    static const char* names[] = {"gone", "present", "new"};
    events.push_back(std::string(names[d->State]) + ":" + d->DevNode.substr(d->DevNode.rfind('/') + 1));
    if (hook) hook(d);
  }
  THIDDeviceEvent Event() { return THIDDeviceEvent::Of<&Recorder::Changed>(this); }
};

struct ListRig {
  TempDir dir;
  FakeHidSysfs sys{dir.Path()};
  std::unique_ptr<THIDDevices> list;
  Recorder rec;
  void Make() {
    list = std::make_unique<THIDDevices>(sys.SysfsRoot(), sys.DevRoot(), false);
    list->Subscribe(rec.Event());
  }
  FakeHidDevice Device(const std::string& node, Integer instance) {
    FakeHidDevice d;
    d.Node = node;
    d.Instance = instance;
    return d;
  }
  void Post(WPARAM w = DBT_DEVNODES_CHANGED) { PostMessage(list->WindowHandle(), WM_DEVICECHANGE, w, 0); }
};

using Events = std::vector<std::string>;

TEST(HIDDevices, FirstScanRunsFromThePostedMessageThenReportsOnlyChanges) {
  ListRig r;
  r.sys.Add(r.Device("hidraw0", 1));
  r.sys.Add(r.Device("hidraw1", 2));
  r.Make();
  EXPECT_EQ(r.list->Devices().Count(), 0);  // nothing until the loop runs
  ASSERT_TRUE(test::PumpUntil([&] { return r.rec.events.size() == 2; }));
  EXPECT_EQ(r.rec.events, (Events{"new:hidraw0", "new:hidraw1"}));
  for (TBaseItem* i = r.list->Devices().Head(); i; i = i->Next()) EXPECT_EQ(static_cast<THIDDevice*>(i)->State, hdsPresent);

  r.rec.events.clear();
  r.Post();
  test::PumpFor(50);
  EXPECT_TRUE(r.rec.events.empty());

  // Only DBT_DEVNODES_CHANGED enumerates.
  r.sys.Remove("hidraw0");
  r.Post(0x8000);
  test::PumpFor(50);
  EXPECT_TRUE(r.rec.events.empty());
  EXPECT_EQ(r.list->Devices().Count(), 2);

  r.Post();
  ASSERT_TRUE(test::PumpUntil([&] { return !r.rec.events.empty(); }));
  EXPECT_EQ(r.rec.events, (Events{"gone:hidraw0"}));
  EXPECT_EQ(r.list->Devices().Count(), 1);

  // The same node name coming back is a new device.
  r.rec.events.clear();
  r.sys.Add(r.Device("hidraw0", 3));
  r.list->Refresh();
  EXPECT_EQ(r.rec.events, (Events{"new:hidraw0"}));
}

TEST(HIDDevices, DeviceDetailsAndPropertiesAreReadWhenFirstSeen) {
  ListRig r;
  std::string path = r.sys.Add(r.Device("hidraw0", 1));
  r.Make();
  r.list->Refresh();
  THIDDevice* d = r.list->Find(path);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->Path(), path);
  EXPECT_EQ(d->DevNode, r.sys.DevRoot() + "/hidraw0");
  EXPECT_EQ(d->VendorID, 0x0FFF);
  EXPECT_EQ(d->ProductID, 2);
  EXPECT_EQ(d->VersionNumber, 0x0107);
  EXPECT_EQ(d->Manufacturer, "Maker");
  EXPECT_EQ(d->Product, "Counting Scale");
  EXPECT_EQ(d->SerialNumber, "SN0001");
  EXPECT_EQ(d->Properties[SPDRP_HARDWAREID], "hid:b0003g0001v00000FFFp00000002\r\n");
  EXPECT_EQ(d->Properties[SPDRP_DEVICEDESC], "Maker Counting Scale");
  EXPECT_EQ(d->Properties[SPDRP_BUSNUMBER], "1");
  EXPECT_EQ(d->Properties[SPDRP_ADDRESS], "5");
  EXPECT_EQ(d->Properties[3], "");
  EXPECT_EQ(d->PreparsedData.size(), 5u);
}

TEST(HIDDevices, PropertyValuesBecomeStringsByType) {
  auto bytes = [](std::string_view s) { return TBytes(s.begin(), s.end()); };
  TBytes guid(16);
  for (int i = 0; i < 16; ++i) guid[i] = static_cast<Byte>(i + 1);
  struct Case {
    Cardinal code, type;
    TBytes data;
    std::string want;
  } cases[] = {
      {SPDRP_DEVICEDESC, REG_SZ, bytes("Scale"), "Scale"},
      {SPDRP_DEVICEDESC, REG_SZ, bytes(std::string_view("Sc\0le", 5)), "Sc"},
      {SPDRP_ADDRESS, REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
      {SPDRP_ADDRESS, REG_DWORD, {1, 2}, ""},
      {SPDRP_HARDWAREID, REG_MULTI_SZ, bytes(std::string_view("a\0bc\0\0", 6)), "a\r\nbc\r\n"},
      {SPDRP_HARDWAREID, REG_MULTI_SZ, bytes(std::string_view("a\0bc", 4)), "a\r\nbc\r\n"},
      {SPDRP_HARDWAREID, REG_MULTI_SZ, bytes(std::string_view("\0\0", 2)), ""},
      {SPDRP_HARDWAREID, REG_MULTI_SZ, {}, ""},
      {SPDRP_BUSTYPEGUID, REG_BINARY, guid, "{04030201-0605-0807-090A-0B0C0D0E0F10}"},
      {SPDRP_BUSTYPEGUID, REG_BINARY, TBytes(15, 1), ""},
      {SPDRP_DEVICEDESC, REG_BINARY, guid, ""},
      {SPDRP_DEVICEDESC, REG_EXPAND_SZ, bytes("%x%"), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(HIDPropertyToString(c.code, c.type, c.data), c.want) << c.want;
}

TEST(HIDDevices, AChangeReportedWhileSubscribersRunIsNotLost) {
  // The scale leaves and comes back right after a read-out; the notice of
  // that arrives while the subscriber of the first scan still runs.
  ListRig r;
  r.sys.Add(r.Device("hidraw0", 1));
  r.Make();
  bool replugged = false;
  r.rec.hook = [&](THIDDevice* d) {
    if (replugged || d->State != hdsNew) return;
    replugged = true;
    r.sys.Remove("hidraw0");
    r.sys.Add(r.Device("hidraw0", 2));
    EXPECT_TRUE(r.list->Refreshing());
    r.list->Refresh();  // as a message dispatched by a modal loop would
    r.Post();
    test::PumpFor(20);
  };
  r.list->Refresh();
  EXPECT_EQ(r.rec.events, (Events{"new:hidraw0", "gone:hidraw0", "new:hidraw0"}));
  EXPECT_FALSE(r.list->Refreshing());
  EXPECT_EQ(r.list->Devices().Count(), 1);
}

TEST(HIDDevices, AChangeDispatchedDuringThePresentReplayWaitsForItsEnd) {
  // A new subscriber's replay runs the subscribers, which may run a modal
  // loop; a device change dispatched there must not free the device the
  // replay stands on.
  ListRig r;
  r.sys.Add(r.Device("hidraw0", 1));
  r.sys.Add(r.Device("hidraw1", 2));
  r.Make();
  r.list->Refresh();
  r.rec.events.clear();
  r.rec.hook = [&](THIDDevice* d) {
    if (d->State != hdsPresent || d->DevNode.find("hidraw0") == std::string::npos) return;
    r.sys.Remove("hidraw0");
    r.list->Refresh();  // as a message dispatched by a modal loop would
  };
  r.list->NotifyPresent();
  EXPECT_EQ(r.rec.events, (Events{"present:hidraw0", "present:hidraw1", "gone:hidraw0"}));
  EXPECT_FALSE(r.list->Refreshing());
  EXPECT_EQ(r.list->Devices().Count(), 1);
}

TEST(HIDDevices, SubscribersInOrderPresentReplayAndRemoval) {
  ListRig r;
  r.sys.Add(r.Device("hidraw0", 1));
  r.sys.Add(r.Device("hidraw1", 2));
  r.Make();
  Recorder second;
  // Subscribed during the first device's calls: called from the next device on.
  r.rec.hook = [&](THIDDevice*) {
    if (r.list->SubscriberCount() == 1) r.list->Subscribe(second.Event());
  };
  r.list->Refresh();
  EXPECT_EQ(r.rec.events, (Events{"new:hidraw0", "new:hidraw1"}));
  EXPECT_EQ(second.events, (Events{"new:hidraw1"}));
  r.rec.hook = nullptr;

  r.rec.events.clear();
  second.events.clear();
  r.list->Subscribe(r.rec.Event());  // twice: called twice
  r.list->NotifyPresent();
  EXPECT_EQ(r.rec.events, (Events{"present:hidraw0", "present:hidraw0", "present:hidraw1", "present:hidraw1"}));
  EXPECT_EQ(second.events.size(), 2u);

  r.list->Unsubscribe(r.rec.Event());
  r.list->Unsubscribe(r.rec.Event());
  r.list->Unsubscribe(r.rec.Event());  // no longer there: nothing happens
  EXPECT_EQ(r.list->SubscriberCount(), 1);
  EXPECT_THROW(r.list->Subscribe(THIDDeviceEvent{}), EAssertionFailed);
  EXPECT_THROW(r.list->Unsubscribe(THIDDeviceEvent{}), EAssertionFailed);
}

TEST(HIDDevices, AnUnreadableClassRaisesAndTellsNobody) {
  ListRig r;
  r.sys.Add(r.Device("hidraw0", 1));
  r.Make();
  r.list->Refresh();
  r.rec.events.clear();
  std::filesystem::path cls = r.dir.Path() / "sys/class/hidraw";
  std::filesystem::rename(cls, r.dir.Path() / "moved");
  test::WriteFileBytes(cls, "not a folder");
  EXPECT_THROW(r.list->Refresh(), EOSError);
  EXPECT_FALSE(r.list->Refreshing());
  EXPECT_TRUE(r.rec.events.empty());
  EXPECT_EQ(r.list->Devices().Count(), 1);
}

TEST(HIDDevices, HotPlugEventsReachTheListThroughTheDescriptor) {
  // The path of an udev event: descriptor readable -> drained on the GUI
  // thread -> WM_DEVICECHANGE on the list's window -> re-enumeration. A pipe
  // stands in for the udev socket, as udev events need a privileged daemon.
  ListRig r;
  r.Make();
  ASSERT_TRUE(test::PumpUntil([&] { return !r.list->Refreshing(); }));
  test::PumpFor(20);
  {
    test::EventPipe events;
    TDeviceChangeMonitor hotPlug(r.list->WindowHandle(), events.ReadEnd(), [&] { return events.Drain(); });
    r.sys.Add(r.Device("hidraw3", 7));
    events.Events();
    ASSERT_TRUE(test::PumpUntil([&] { return r.rec.events.size() == 1; }));
    EXPECT_EQ(r.rec.events, (Events{"new:hidraw3"}));
    r.sys.Remove("hidraw3");
    events.Events(2);
    ASSERT_TRUE(test::PumpUntil([&] { return r.rec.events.size() == 2; }));
    EXPECT_EQ(r.rec.events.back(), "gone:hidraw3");
  }

  // With the monitor asked for, the list still starts (watching or saying why not).
  TempDir dir;
  FakeHidSysfs sys(dir.Path());
  THIDDevices list(sys.SysfsRoot(), sys.DevRoot(), true);
  test::PumpFor(20);
  EXPECT_EQ(list.Devices().Count(), 0);
}

}  // namespace
}  // namespace px
