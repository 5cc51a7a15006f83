#include "platform/hid/HidDevice.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/Exceptions.h"

namespace px {

namespace {

using Clock = std::chrono::steady_clock;

bool isSocket(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

// Waits for the events until the deadline; true when they came. poll is
// restarted after a signal with the time that is left.
bool waitFor(int fd, short events, Clock::time_point deadline, bool& failed) {
  failed = false;
  for (;;) {
    // Rounded up: a wait cut to whole milliseconds downwards would give up
    // before the time-out the caller asked for.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left < 0) left = 0;
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, static_cast<int>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      failed = true;
      return false;
    }
    if (n == 0) {
      if (Clock::now() < deadline) continue;
      return false;
    }
    if (p.revents & (POLLERR | POLLNVAL)) {
      failed = true;
      return false;
    }
    // A hang-up with data still waiting is read first; without data the
    // read reports the end.
    return true;
  }
}

}  // namespace

TDescriptorHidDevice::~TDescriptorHidDevice() {
  if (fd_ >= 0) close(fd_);
}

ptrdiff_t TDescriptorHidDevice::Write(const void* data, size_t size) {
  for (;;) {
    // A socket peer that has gone must not raise SIGPIPE in the program.
    ssize_t n = isSocket(fd_) ? send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT) : write(fd_, data, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

ptrdiff_t TDescriptorHidDevice::Read(void* buffer, size_t size) {
  for (;;) {
    ssize_t n = read(fd_, buffer, size);
    if (n > 0) return n;
    if (n == 0) {
      // End of file: the peer is gone, as a removed hidraw device.
      errno = ENODEV;
      return -1;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

std::unique_ptr<IHidDevice> OpenHidrawDevice(const std::string& devNode) {
  int fd = open(devNode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) RaiseLastOSError("Opening " + devNode);
  return std::make_unique<TDescriptorHidDevice>(fd);
}

THidIoResult HidWriteReport(IHidDevice& device, const void* data, size_t size, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ptrdiff_t n = device.Write(data, size);
    if (n < 0) return THidIoResult::Failed;
    if (n > 0) return static_cast<size_t>(n) == size ? THidIoResult::Done : THidIoResult::Failed;
    bool failed = false;
    if (!waitFor(device.Descriptor(), POLLOUT, deadline, failed))
      return failed ? THidIoResult::Failed : THidIoResult::TimedOut;
  }
}

THidIoResult HidReadReport(IHidDevice& device, void* buffer, size_t size, size_t& received, int timeoutMs) {
  received = 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ptrdiff_t n = device.Read(buffer, size);
    if (n < 0) return THidIoResult::Failed;
    if (n > 0) {
      received = static_cast<size_t>(n);
      return THidIoResult::Done;
    }
    bool failed = false;
    if (!waitFor(device.Descriptor(), POLLIN, deadline, failed))
      return failed ? THidIoResult::Failed : THidIoResult::TimedOut;
  }
}

Integer HidDrainInput(IHidDevice& device) {
  Integer dropped = 0;
  Byte scratch[64];
  // The scale sends one report per request; a few hundred covers any backlog
  // a misbehaving device can build while we are not looking.
  while (dropped < 256) {
    ptrdiff_t n = device.Read(scratch, sizeof scratch);
    if (n <= 0) break;
    ++dropped;
  }
  return dropped;
}

}  // namespace px
