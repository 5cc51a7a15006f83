#pragma once
// A fake sysfs tree of hidraw nodes (for the tests and the simulated scale), laid out as the kernel does: the class
// folder links to the node under its HID device, which sits under a USB
// interface and device.
#include <filesystem>
#include <string>

#include "platform/core/Types.h"

namespace px {

struct FakeHidDevice {
  std::string Node = "hidraw0";
  Integer Instance = 1;  // the HID device's instance number, new on every plug-in
  Cardinal Bus = 3;
  Word VendorId = 0x0FFF;
  Word ProductId = 2;
  bool Usb = true;
  std::string Manufacturer = "Maker";
  std::string Product = "Counting Scale";
  std::string Serial = "SN0001";
  std::string BcdDevice = "0107";
  std::string HidName = "Maker Counting Scale";
  std::string HidUniq;
  std::string ReportDescriptor = std::string("\x06\x00\xFF\x09\x01", 5);
};

class FakeHidSysfs {
 public:
  explicit FakeHidSysfs(std::filesystem::path root);
  // Lays out the device; answers the node's resolved sysfs path (the
  // device's interface path).
  std::string Add(const FakeHidDevice& device);
  // Unplugs the node's device.
  void Remove(const std::string& node);
  std::string SysfsRoot() const { return (root_ / "sys").string(); }
  std::string DevRoot() const { return (root_ / "dev").string(); }

 private:
  std::filesystem::path root_;
};

}  // namespace px
