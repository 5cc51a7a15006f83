#pragma once
// Report I/O with one HID device, behind a small interface so that the code
// above it talks the same way to a hidraw node and to a simulated device on
// a socket.
//
// The device behaves as hidraw does for a device without numbered reports:
// an output report is written with the report id 0 in front (9 bytes for an
// 8-byte report), an input report is read without it (8 bytes). Every call is
// non-blocking; the Hid*Report helpers wait with poll and a time-out.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/Types.h"

namespace px {

class IHidDevice {
 public:
  virtual ~IHidDevice() = default;
  // The descriptor to poll for input and output.
  virtual int Descriptor() const = 0;
  // Writes one report without blocking: the byte count, 0 when the device
  // cannot take it now, -1 on failure (errno tells why).
  virtual ptrdiff_t Write(const void* data, size_t size) = 0;
  // Reads one report without blocking: the byte count, 0 when none waits,
  // -1 on failure (errno tells why; a device that left answers ENODEV).
  virtual ptrdiff_t Read(void* buffer, size_t size) = 0;
};

// A descriptor that is already open (one end of a socket pair in tests, or
// an open hidraw node); closed with the object.
class TDescriptorHidDevice : public IHidDevice {
 public:
  explicit TDescriptorHidDevice(int fd) : fd_(fd) {}
  ~TDescriptorHidDevice() override;
  TDescriptorHidDevice(const TDescriptorHidDevice&) = delete;
  TDescriptorHidDevice& operator=(const TDescriptorHidDevice&) = delete;

  int Descriptor() const override { return fd_; }
  ptrdiff_t Write(const void* data, size_t size) override;
  ptrdiff_t Read(void* buffer, size_t size) override;

 private:
  int fd_;
};

// Opens a hidraw node read-write, non-blocking and close-on-exec. Raises
// EOSError carrying errno when the node does not open.
std::unique_ptr<IHidDevice> OpenHidrawDevice(const std::string& devNode);

// How devices are opened; tests put a simulated device in place of hidraw.
using THidDeviceOpener = std::function<std::unique_ptr<IHidDevice>(const std::string& devNode)>;

enum class THidIoResult { Done, TimedOut, Failed };

// Writes one report, waiting at most timeoutMs for the device to take it.
// Done only when all size bytes went out in one report.
THidIoResult HidWriteReport(IHidDevice& device, const void* data, size_t size, int timeoutMs);
// Reads one report into buffer, waiting at most timeoutMs for it; the byte
// count goes to received. A report longer than size is cut to size (as
// hidraw does).
THidIoResult HidReadReport(IHidDevice& device, void* buffer, size_t size, size_t& received, int timeoutMs);
// Discards every input report that is already waiting; the number dropped.
// Stops after a bounded number so that a device that floods cannot hold the
// caller.
Integer HidDrainInput(IHidDevice& device);

}  // namespace px
