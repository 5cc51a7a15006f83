#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <fcntl.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "platform/gui/DeviceChangeMonitor.h"

namespace px {
namespace {

void pumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents();
}

// Pumps until the condition holds, however busy the machine (thirty seconds
// at most); the fixed pumps after it give a wrong extra message its time.
template <class F>
bool pumpUntil(F done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 30000) QCoreApplication::processEvents();
  return done();
}

// A hidden window that keeps every message it receives.
struct MessageLog {
  MessageLog() {
    handle = AllocateHWnd([this](TMessage& m) { seen.emplace_back(m.Msg, m.WParam, m.LParam); });
  }
  ~MessageLog() { DeallocateHWnd(handle); }
  HWND handle = 0;
  std::vector<std::tuple<Cardinal, WPARAM, LPARAM>> seen;
};

// A pipe in udev's place: each written byte is one device event.
struct EventPipe {
  EventPipe() {
    EXPECT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
  }
  ~EventPipe() {
    close(fds[0]);
    close(fds[1]);
  }
  void Events(int n) {
    for (int i = 0; i < n; ++i) EXPECT_EQ(write(fds[1], "e", 1), 1);
  }
  // Takes what waits, as the udev drain does.
  bool Drain() {
    ++drains;
    char buf[64];
    bool any = false;
    while (read(fds[0], buf, sizeof buf) > 0) any = true;
    return any && !swallow;
  }
  int fds[2] = {-1, -1};
  int drains = 0;
  bool swallow = false;  // drained events that are not of the watched kind
};

TEST(DeviceChangeMonitor, AWaitingBurstOfEventsBecomesOneDeviceChangeMessage) {
  MessageLog log;
  EventPipe events;
  TDeviceChangeMonitor monitor(log.handle, events.fds[0], [&] { return events.Drain(); });
  EXPECT_TRUE(monitor.Active());
  pumpFor(20);
  EXPECT_TRUE(log.seen.empty());

  events.Events(3);
  ASSERT_TRUE(pumpUntil([&] { return !log.seen.empty(); }));
  pumpFor(50);
  using M = std::tuple<Cardinal, WPARAM, LPARAM>;
  ASSERT_EQ(log.seen, (std::vector<M>{M{WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0}}));
  EXPECT_EQ(events.drains, 1);

  // Readable but nothing of interest drained: no message.
  events.swallow = true;
  events.Events(1);
  ASSERT_TRUE(pumpUntil([&] { return events.drains == 2; }));
  pumpFor(50);
  EXPECT_EQ(log.seen.size(), 1u);
  EXPECT_EQ(events.drains, 2);

  events.swallow = false;
  events.Events(1);
  EXPECT_TRUE(pumpUntil([&] { return log.seen.size() == 2u; }));
  pumpFor(50);
  EXPECT_EQ(log.seen.size(), 2u);
}

TEST(DeviceChangeMonitor, NothingArrivesOnceTheMonitorOrTheWindowIsGone) {
  EventPipe events;
  {
    MessageLog log;
    {
      TDeviceChangeMonitor monitor(log.handle, events.fds[0], [&] { return events.Drain(); });
    }
    events.Events(1);
    pumpFor(50);
    EXPECT_EQ(events.drains, 0);
    EXPECT_TRUE(log.seen.empty());
  }
  // A window freed before the monitor: the posted message is dropped.
  HWND gone = AllocateHWnd([](TMessage&) { ADD_FAILURE() << "message reached a freed window"; });
  DeallocateHWnd(gone);
  TDeviceChangeMonitor monitor(gone, events.fds[0], [&] { return events.Drain(); });
  events.Events(1);
  EXPECT_TRUE(pumpUntil([&] { return events.drains == 1; }));
  pumpFor(50);
  EXPECT_EQ(events.drains, 1);
}

TEST(DeviceChangeMonitor, WatchesAUdevSubsystemOrSaysWhyNot) {
  // Whether udev is reachable depends on the machine (a sandbox may refuse
  // the netlink socket); either way the monitor is usable and says which.
  MessageLog log;
  for (const char* subsystem : {"hidraw", "tty"}) {
    TDeviceChangeMonitor monitor(log.handle, subsystem);
    if (monitor.Active()) {
      EXPECT_TRUE(monitor.ErrorText().empty()) << subsystem;
    } else {
      EXPECT_FALSE(monitor.ErrorText().empty()) << subsystem;
    }
    pumpFor(10);
  }
}

}  // namespace
}  // namespace px
