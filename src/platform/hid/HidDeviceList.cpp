#include "platform/hid/HidDeviceList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/core/Exceptions.h"

namespace px {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxAttribute = 4096;

// Reads a small attribute file whole (bounded); false when it is missing or
// unreadable.
bool readRaw(const fs::path& file, std::string& value) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::string text(kMaxAttribute, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return false;
  text.resize(static_cast<size_t>(in.gcount()));
  value = std::move(text);
  return true;
}

// A one-line attribute without its newline and trailing blanks.
bool readAttribute(const fs::path& file, std::string& value) {
  if (!readRaw(file, value)) return false;
  while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.pop_back();
  return true;
}

// The value of KEY=value in a uevent file's text; empty when absent.
std::string ueventValue(const std::string& uevent, std::string_view key) {
  size_t pos = 0;
  while (pos < uevent.size()) {
    size_t end = uevent.find('\n', pos);
    if (end == std::string::npos) end = uevent.size();
    std::string_view line(uevent.data() + pos, end - pos);
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
      return std::string(line.substr(key.size() + 1));
    pos = end + 1;
  }
  return {};
}

// Hexadecimal digits to a number; false for anything else or an overflow of
// the given limit.
bool parseHex(std::string_view text, uint64_t limit, uint64_t& out) {
  if (text.empty() || text.size() > 16) return false;
  uint64_t v = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * 16 + static_cast<uint64_t>(d);
    if (v > limit) return false;
  }
  out = v;
  return true;
}

bool parseDecimal(std::string_view text, uint32_t& out) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFu) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

// HID_ID is "bus:vendor:product", each in hexadecimal (4 and 8 digits).
bool parseHidId(const std::string& id, Cardinal& bus, Word& vendor, Word& product) {
  size_t a = id.find(':');
  size_t b = a == std::string::npos ? a : id.find(':', a + 1);
  if (b == std::string::npos) return false;
  uint64_t vb, vv, vp;
  if (!parseHex(std::string_view(id).substr(0, a), 0xFFFF, vb)) return false;
  if (!parseHex(std::string_view(id).substr(a + 1, b - a - 1), 0xFFFF, vv)) return false;
  if (!parseHex(std::string_view(id).substr(b + 1), 0xFFFF, vp)) return false;
  bus = static_cast<Cardinal>(vb);
  vendor = static_cast<Word>(vv);
  product = static_cast<Word>(vp);
  return true;
}

TBytes textBytes(const std::string& s) { return TBytes(s.begin(), s.end()); }

void addText(THidDeviceDetails& d, Cardinal code, const std::string& text) {
  if (!text.empty()) d.Properties.push_back({code, REG_SZ, textBytes(text)});
}

void addNumber(THidDeviceDetails& d, Cardinal code, const std::string& text) {
  uint32_t v;
  if (!parseDecimal(text, v)) return;
  TBytes b{static_cast<Byte>(v), static_cast<Byte>(v >> 8), static_cast<Byte>(v >> 16), static_cast<Byte>(v >> 24)};
  d.Properties.push_back({code, REG_DWORD, std::move(b)});
}

std::string enumeratorOf(Cardinal bus) {
  switch (bus) {
    case 0x03: return "USB";
    case 0x05: return "BLUETOOTH";
    case 0x18: return "I2C";
    default: return "HID";
  }
}

// The USB device above a HID device: the nearest ancestor folder that has
// idVendor and idProduct. Empty when there is none within a few levels.
fs::path usbAncestor(const fs::path& hidDir) {
  fs::path p = hidDir.parent_path();
  for (int level = 0; level < 8 && !p.empty() && p != p.root_path(); ++level, p = p.parent_path()) {
    std::error_code ec;
    if (fs::exists(p / "idVendor", ec) && fs::exists(p / "idProduct", ec)) return p;
  }
  return {};
}

}  // namespace

std::vector<THidNode> ListHidNodes(const std::string& sysfsRoot, const std::string& devRoot) {
  std::vector<THidNode> nodes;
  fs::path classDir = fs::path(sysfsRoot) / "class" / "hidraw";
  std::error_code ec;
  fs::directory_iterator it(classDir, ec);
  if (ec) {
    // No hidraw driver loaded means no HID devices; anything else is a fault.
    if (ec == std::errc::no_such_file_or_directory) return nodes;
    RaiseOSError(ec.value(), "Listing " + classDir.string());
  }
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    fs::path real = fs::canonical(classDir / name, ec);
    if (ec) continue;
    std::string uevent, devName;
    if (readRaw(real / "uevent", uevent)) devName = ueventValue(uevent, "DEVNAME");
    // A name that climbs out of the device folder is not taken.
    if (devName.empty() || devName.find("..") != std::string::npos) devName = name;
    nodes.push_back({real.string(), (fs::path(devRoot) / devName).string()});
  }
  return nodes;
}

THidDeviceDetails ReadHidDeviceDetails(const THidNode& node) {
  THidDeviceDetails d;
  std::error_code ec;
  fs::path hidDir = fs::canonical(fs::path(node.Path) / "device", ec);
  if (ec) return d;
  std::string uevent;
  readRaw(hidDir / "uevent", uevent);
  d.HasAttributes = parseHidId(ueventValue(uevent, "HID_ID"), d.BusType, d.VendorId, d.ProductId);
  if (!d.HasAttributes) d.BusType = 0;
  std::string hidName = ueventValue(uevent, "HID_NAME");
  std::string uniq = ueventValue(uevent, "HID_UNIQ");
  std::string descriptor;
  if (readRaw(hidDir / "report_descriptor", descriptor)) d.ReportDescriptor = textBytes(descriptor);

  fs::path usb = usbAncestor(hidDir);
  std::string busNum, devNum;
  if (!usb.empty()) {
    readAttribute(usb / "manufacturer", d.Manufacturer);
    readAttribute(usb / "product", d.Product);
    readAttribute(usb / "serial", d.SerialNumber);
    std::string bcd;
    uint64_t v;
    if (readAttribute(usb / "bcdDevice", bcd) && parseHex(bcd, 0xFFFF, v)) d.VersionNumber = static_cast<Word>(v);
    readAttribute(usb / "busnum", busNum);
    readAttribute(usb / "devnum", devNum);
  }
  // Devices on other buses name themselves only through the HID layer.
  if (d.Product.empty()) d.Product = hidName;
  if (d.SerialNumber.empty()) d.SerialNumber = uniq;

  addText(d, SPDRP_DEVICEDESC, hidName);
  std::string modalias = ueventValue(uevent, "MODALIAS");
  if (!modalias.empty()) {
    TBytes multi = textBytes(modalias);
    multi.push_back(0);
    multi.push_back(0);
    d.Properties.push_back({SPDRP_HARDWAREID, REG_MULTI_SZ, std::move(multi)});
  }
  addText(d, SPDRP_SERVICE, ueventValue(uevent, "DRIVER"));
  addText(d, SPDRP_CLASS, "hidraw");
  addText(d, SPDRP_MFG, d.Manufacturer);
  addText(d, SPDRP_FRIENDLYNAME, d.Product);
  addText(d, SPDRP_LOCATION_INFORMATION, ueventValue(uevent, "HID_PHYS"));
  addText(d, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, hidDir.string());
  addNumber(d, SPDRP_BUSNUMBER, busNum);
  if (d.HasAttributes) addText(d, SPDRP_ENUMERATOR_NAME, enumeratorOf(d.BusType));
  addNumber(d, SPDRP_ADDRESS, devNum);
  return d;
}

}  // namespace px
