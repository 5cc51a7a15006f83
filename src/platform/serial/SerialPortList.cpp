#include "platform/serial/SerialPortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace px {

namespace fs = std::filesystem;

namespace {

// Reads a small attribute file; false when it is missing or unreadable.
// Attributes are one line; the newline and trailing blanks go.
bool readAttribute(const fs::path& file, std::string& value) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::string text(4096, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return false;
  text.resize(static_cast<size_t>(in.gcount()));
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  value = std::move(text);
  return true;
}

std::string devName(const fs::path& ttyDir, const std::string& fallback) {
  std::string uevent;
  if (!readAttribute(ttyDir / "uevent", uevent)) return fallback;
  size_t pos = 0;
  while (pos < uevent.size()) {
    size_t end = uevent.find('\n', pos);
    if (end == std::string::npos) end = uevent.size();
    std::string_view line(uevent.data() + pos, end - pos);
    if (line.starts_with("DEVNAME=") && line.size() > 8) {
      std::string name(line.substr(8));
      // A name that climbs out of the device folder is not taken.
      if (name.find("..") == std::string::npos) return name;
    }
    pos = end + 1;
  }
  return fallback;
}

Word hexWord(const std::string& text) {
  unsigned long v = 0;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return 0;
    v = v * 16 + static_cast<unsigned long>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
    if (v > 0xFFFF) return 0;
  }
  return static_cast<Word>(v);
}

// Name order with digit runs compared by value.
bool nameLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      size_t ie = i, je = j;
      while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
      while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) ++je;
      std::string_view da(a.data() + i, ie - i), db(b.data() + j, je - j);
      while (da.size() > 1 && da[0] == '0') da.remove_prefix(1);
      while (db.size() > 1 && db[0] == '0') db.remove_prefix(1);
      if (da.size() != db.size()) return da.size() < db.size();
      if (da != db) return da < db;
      i = ie;
      j = je;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

}  // namespace

std::vector<TSerialPortInfo> ListSerialPorts(const std::string& sysfsRoot, const std::string& devRoot) {
  std::vector<TSerialPortInfo> ports;
  std::error_code ec;
  fs::path root = fs::weakly_canonical(fs::path(sysfsRoot), ec);
  if (ec) return ports;
  fs::directory_iterator it(root / "class" / "tty", ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::path ttyDir = it->path();
    std::error_code e;
    if (!fs::exists(ttyDir / "device", e)) continue;  // virtual terminals, pseudo-terminals
    std::string type;
    if (readAttribute(ttyDir / "type", type) && (type == "0" || type.empty())) continue;  // no UART fitted

    TSerialPortInfo info;
    info.Name = ttyDir.filename().string();
    info.DevNode = (fs::path(devRoot) / devName(ttyDir, info.Name)).string();

    fs::path device = fs::canonical(ttyDir / "device", e);
    if (e) continue;
    fs::path driver = fs::canonical(device / "driver", e);
    if (!e) info.Driver = driver.filename().string();

    // The USB device is the nearest ancestor with a vendor id; the walk stays
    // inside the sysfs tree.
    for (fs::path p = device; !p.empty() && p != root && p != p.root_path(); p = p.parent_path()) {
      std::string vendor;
      if (!readAttribute(p / "idVendor", vendor)) continue;
      info.IsUsb = true;
      info.VendorId = hexWord(vendor);
      std::string productId;
      if (readAttribute(p / "idProduct", productId)) info.ProductId = hexWord(productId);
      info.HasManufacturer = readAttribute(p / "manufacturer", info.Manufacturer);
      info.HasProduct = readAttribute(p / "product", info.Product);
      break;
    }
    ports.push_back(std::move(info));
  }
  std::sort(ports.begin(), ports.end(),
            [](const TSerialPortInfo& a, const TSerialPortInfo& b) { return nameLess(a.Name, b.Name); });
  return ports;
}

}  // namespace px
