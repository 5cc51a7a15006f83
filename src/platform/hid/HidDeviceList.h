#pragma once
// The HID interfaces of the machine, read from sysfs: one hidraw node per
// interface. The roots of the sysfs tree and of the device nodes are
// parameters so that tests can lay out a fake tree in a temporary folder.
#include <string>
#include <vector>

#include "platform/core/Types.h"

namespace px {

// Registry data types in which device properties are handed on.
constexpr Cardinal REG_NONE = 0;
constexpr Cardinal REG_SZ = 1;
constexpr Cardinal REG_EXPAND_SZ = 2;
constexpr Cardinal REG_BINARY = 3;
constexpr Cardinal REG_DWORD = 4;
constexpr Cardinal REG_MULTI_SZ = 7;

// Device property codes that this platform can fill.
constexpr Cardinal SPDRP_DEVICEDESC = 0;
constexpr Cardinal SPDRP_HARDWAREID = 1;
constexpr Cardinal SPDRP_COMPATIBLEIDS = 2;
constexpr Cardinal SPDRP_SERVICE = 4;
constexpr Cardinal SPDRP_CLASS = 7;
constexpr Cardinal SPDRP_DRIVER = 9;
constexpr Cardinal SPDRP_MFG = 11;
constexpr Cardinal SPDRP_FRIENDLYNAME = 12;
constexpr Cardinal SPDRP_LOCATION_INFORMATION = 13;
constexpr Cardinal SPDRP_PHYSICAL_DEVICE_OBJECT_NAME = 14;
constexpr Cardinal SPDRP_BUSTYPEGUID = 19;
constexpr Cardinal SPDRP_BUSNUMBER = 21;
constexpr Cardinal SPDRP_ENUMERATOR_NAME = 22;
constexpr Cardinal SPDRP_ADDRESS = 28;

// One property value as raw typed data: REG_SZ is text without a
// terminator, REG_MULTI_SZ strings each followed by a zero byte, REG_DWORD
// four little-endian bytes.
struct THidRegistryProperty {
  Cardinal Code = 0;
  Cardinal DataType = REG_NONE;
  TBytes Data;
};

// A hidraw node as the list sees it.
struct THidNode {
  // The sysfs folder of the node with every link resolved. It names the HID
  // device instance, whose number the kernel never reuses, so a device that
  // leaves and comes back gets a new path even when its node name returns.
  std::string Path;
  std::string DevNode;  // <devRoot>/hidrawN
};

// What a node tells about its device. Texts are UTF-8.
struct THidDeviceDetails {
  bool HasAttributes = false;  // the HID_ID line was read
  Word VendorId = 0;
  Word ProductId = 0;
  Word VersionNumber = 0;  // the USB device's bcdDevice; 0 elsewhere
  Cardinal BusType = 0;    // 3 USB, 5 Bluetooth, ...
  std::string Manufacturer;
  std::string Product;
  std::string SerialNumber;
  std::vector<THidRegistryProperty> Properties;
  TBytes ReportDescriptor;  // at most 4096 bytes, as the kernel keeps it
};

// The hidraw nodes under <sysfsRoot>/class/hidraw, in name order. A machine
// without that class folder (no hidraw driver loaded) has no nodes; any other
// failure to read the folder raises EOSError. Nodes whose folder cannot be
// resolved are skipped.
std::vector<THidNode> ListHidNodes(const std::string& sysfsRoot = "/sys", const std::string& devRoot = "/dev");

// Reads the ids, the strings and the properties of a node's device: the HID
// device's uevent (HID_ID, HID_NAME, HID_UNIQ, HID_PHYS, MODALIAS), and the
// USB device above it (manufacturer, product, serial, bcdDevice, busnum,
// devnum). What cannot be read stays zero or empty.
THidDeviceDetails ReadHidDeviceDetails(const THidNode& node);

}  // namespace px
