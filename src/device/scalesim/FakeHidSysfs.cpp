#include "device/scalesim/FakeHidSysfs.h"

#include <cstdio>
#include <fstream>


namespace px {

namespace fs = std::filesystem;

namespace {
void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
}  // namespace

FakeHidSysfs::FakeHidSysfs(fs::path root) : root_(std::move(root)) {
  fs::create_directories(root_ / "sys" / "class" / "hidraw");
  fs::create_directories(root_ / "dev");
}

std::string FakeHidSysfs::Add(const FakeHidDevice& d) {
  char hidName[64];
  std::snprintf(hidName, sizeof hidName, "%04X:%04X:%04X.%04X", d.Bus, d.VendorId, d.ProductId, d.Instance);
  std::string port = "1-" + std::to_string(d.Instance);
  fs::path usb = root_ / "sys" / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / port;
  fs::path parent = d.Usb ? usb / (port + ":1.0") : root_ / "sys" / "devices" / "virtual" / "misc" / ("uhid" + std::to_string(d.Instance));
  fs::path hid = parent / hidName;
  fs::path node = hid / "hidraw" / d.Node;
  fs::create_directories(node);
  if (d.Usb) {
    char id[8];
    std::snprintf(id, sizeof id, "%04x", d.VendorId);
    WriteFileBytes(usb / "idVendor", std::string(id) + "\n");
    std::snprintf(id, sizeof id, "%04x", d.ProductId);
    WriteFileBytes(usb / "idProduct", std::string(id) + "\n");
    if (!d.Manufacturer.empty()) WriteFileBytes(usb / "manufacturer", d.Manufacturer + "\n");
    if (!d.Product.empty()) WriteFileBytes(usb / "product", d.Product + "\n");
    if (!d.Serial.empty()) WriteFileBytes(usb / "serial", d.Serial + "\n");
    WriteFileBytes(usb / "bcdDevice", d.BcdDevice + "\n");
    WriteFileBytes(usb / "busnum", "1\n");
    WriteFileBytes(usb / "devnum", std::to_string(d.Instance + 4) + "\n");
  }
  char line[128];
  std::snprintf(line, sizeof line, "HID_ID=%04X:%08X:%08X\n", d.Bus, d.VendorId, d.ProductId);
  char alias[128];
  std::snprintf(alias, sizeof alias, "MODALIAS=hid:b%04Xg0001v%08Xp%08X\n", d.Bus, d.VendorId, d.ProductId);
  WriteFileBytes(hid / "uevent", "DRIVER=hid-generic\n" + std::string(line) + "HID_NAME=" + d.HidName +
                                     "\nHID_PHYS=usb-0000:00:14.0-" + std::to_string(d.Instance) + "/input0\nHID_UNIQ=" +
                                     d.HidUniq + "\n" + alias);
  WriteFileBytes(hid / "report_descriptor", d.ReportDescriptor);
  WriteFileBytes(node / "uevent", "MAJOR=241\nMINOR=0\nDEVNAME=" + d.Node + "\n");
  fs::create_directory_symlink("../..", node / "device");
  fs::path link = root_ / "sys" / "class" / "hidraw" / d.Node;
  fs::remove(link);
  fs::create_directory_symlink(fs::relative(node, link.parent_path()), link);
  return fs::canonical(link).string();
}

void FakeHidSysfs::Remove(const std::string& nodeName) {
  fs::path link = root_ / "sys" / "class" / "hidraw" / nodeName;
  std::error_code ec;
  fs::path real = fs::canonical(link, ec);
  fs::remove(link, ec);
  if (ec || real.empty()) return;
  // The node's HID device and, for USB, the USB device above it go.
  fs::path hid = real.parent_path().parent_path();
  fs::path top = hid.parent_path();
  if (top.filename().string().find(':') != std::string::npos) top = top.parent_path();
  fs::remove_all(top, ec);
}

}  // namespace px
