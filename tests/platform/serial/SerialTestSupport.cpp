#include "platform/serial/SerialTestSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

namespace px::test {

namespace fs = std::filesystem;

PseudoTerminal::PseudoTerminal() {
  char name[256];
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  slavePath_ = name;
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal() {
  ReleaseSlave();
  CloseMaster();
}

void PseudoTerminal::ReleaseSlave() {
  if (slave_ >= 0) ::close(slave_);
  slave_ = -1;
}

void PseudoTerminal::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void PseudoTerminal::Write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 100);
        continue;
      }
      throw std::runtime_error("write to pseudo-terminal failed");
    }
    done += static_cast<size_t>(n);
  }
}

std::string PseudoTerminal::ReadMaster(int timeoutMs) {
  std::string out;
  pollfd p{master_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return out;
  char buf[4096];
  ssize_t n = ::read(master_, buf, sizeof buf);
  if (n > 0) out.assign(buf, static_cast<size_t>(n));
  return out;
}

namespace {
// Places a relative symbolic link at `at` pointing to `target`, replacing one
// left from an earlier add.
void linkTo(const fs::path& target, const fs::path& at) {
  std::error_code ec;
  fs::remove(at, ec);
  fs::create_directory_symlink(fs::relative(target, at.parent_path()), at);
}

void writeFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}
}  // namespace

FakeSysfs::FakeSysfs(fs::path root) : root_(std::move(root)) {
  fs::create_directories(root_ / "class" / "tty");
}

fs::path FakeSysfs::driverDir(const std::string& bus, const std::string& driver) {
  fs::path d = root_ / "bus" / bus / "drivers" / driver;
  fs::create_directories(d);
  return d;
}

void FakeSysfs::addClassLink(const std::string& name, const fs::path& ttyDir) {
  writeFile(ttyDir / "uevent", "MAJOR=188\nMINOR=0\nDEVNAME=" + name + "\n");
  linkTo(ttyDir, root_ / "class" / "tty" / name);
}

void FakeSysfs::AddUsbSerial(const std::string& name, const std::string& bus, const std::string& driver,
                             std::optional<std::string> manufacturer, std::optional<std::string> product,
                             const std::string& vid, const std::string& pid) {
  fs::path usb = root_ / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / bus;
  writeFile(usb / "idVendor", vid + "\n");
  writeFile(usb / "idProduct", pid + "\n");
  if (manufacturer) writeFile(usb / "manufacturer", *manufacturer + "\n");
  if (product) writeFile(usb / "product", *product + "\n");
  fs::path portDev = usb / (bus + ":1.0") / name;
  fs::create_directories(portDev);
  linkTo(driverDir("usb-serial", driver), portDev / "driver");
  fs::path tty = portDev / "tty" / name;
  fs::create_directories(tty);
  linkTo(portDev, tty / "device");
  addClassLink(name, tty);
}

void FakeSysfs::AddUsbAcm(const std::string& name, const std::string& bus, std::optional<std::string> manufacturer,
                          std::optional<std::string> product) {
  fs::path usb = root_ / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / bus;
  writeFile(usb / "idVendor", "2341\n");
  writeFile(usb / "idProduct", "0043\n");
  if (manufacturer) writeFile(usb / "manufacturer", *manufacturer + "\n");
  if (product) writeFile(usb / "product", *product + "\n");
  fs::path iface = usb / (bus + ":1.0");
  fs::create_directories(iface);
  linkTo(driverDir("usb", "cdc_acm"), iface / "driver");
  fs::path tty = iface / "tty" / name;
  fs::create_directories(tty);
  linkTo(iface, tty / "device");
  addClassLink(name, tty);
}

void FakeSysfs::AddUart(const std::string& name, int type) {
  fs::path dev = root_ / "devices" / "platform" / "serial8250";
  if (!fs::exists(dev / "driver")) {
    fs::create_directories(dev);
    linkTo(driverDir("platform", "serial8250"), dev / "driver");
  }
  fs::path tty = dev / "tty" / name;
  fs::create_directories(tty);
  writeFile(tty / "type", std::to_string(type) + "\n");
  linkTo(dev, tty / "device");
  addClassLink(name, tty);
}

void FakeSysfs::AddVirtual(const std::string& name) {
  fs::path tty = root_ / "devices" / "virtual" / "tty" / name;
  fs::create_directories(tty);
  addClassLink(name, tty);
}

void FakeSysfs::Remove(const std::string& name) { fs::remove(root_ / "class" / "tty" / name); }

}  // namespace px::test
