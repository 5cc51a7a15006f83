#pragma once
// The machine's serial ports, read from sysfs. The root of the sysfs tree is a
// parameter so that tests can lay out a fake tree in a temporary folder.
#include <string>
#include <vector>

#include "platform/core/Types.h"

namespace px {

struct TSerialPortInfo {
  std::string Name;     // kernel name, "ttyUSB0"
  std::string DevNode;  // "/dev/ttyUSB0"
  std::string Driver;   // driver of the port's device ("pl2303", "cdc_acm", "serial8250"); empty when none
  bool IsUsb = false;
  bool HasManufacturer = false;  // the USB device names a manufacturer
  std::string Manufacturer;
  bool HasProduct = false;  // the USB device names a product
  std::string Product;
  Word VendorId = 0;
  Word ProductId = 0;
};

// Every tty under <sysfsRoot>/class/tty that stands for hardware: it has a
// device, and a UART-driven one reports a known UART type (the kernel keeps
// nodes for the legacy ports whether or not the UART is fitted). The node's
// path is <devRoot>/<DEVNAME from uevent>. Ports come in name order, numbers
// compared by value (ttyUSB2 before ttyUSB10). A folder that cannot be read
// gives an empty list.
std::vector<TSerialPortInfo> ListSerialPorts(const std::string& sysfsRoot = "/sys",
                                             const std::string& devRoot = "/dev");

}  // namespace px
