#pragma once
// Pseudo-terminals and fake sysfs trees for the serial tests (shared with the
// device tests).
#include <filesystem>
#include <optional>
#include <string>

namespace px::test {

// A pseudo-terminal pair. The test holds the master; the code under test opens
// SlavePath. The test's own slave descriptor keeps the line alive until
// ReleaseSlave.
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  int Slave() const { return slave_; }
  void ReleaseSlave();
  void CloseMaster();
  // Writes all bytes to the master (blocking until done).
  void Write(const std::string& bytes);
  // Reads what the master side holds, waiting up to timeoutMs for the first byte.
  std::string ReadMaster(int timeoutMs);

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// A sysfs tree in a folder, with the shapes the kernel gives USB-serial,
// CDC-ACM, on-board UART and virtual terminal nodes.
class FakeSysfs {
 public:
  explicit FakeSysfs(std::filesystem::path root);
  const std::filesystem::path& Root() const { return root_; }

  // ttyUSB-style: USB device <bus> with a usb-serial port device served by
  // `driver`.
  void AddUsbSerial(const std::string& name, const std::string& bus, const std::string& driver,
                    std::optional<std::string> manufacturer, std::optional<std::string> product,
                    const std::string& vid = "067b", const std::string& pid = "2303");
  // ttyACM-style: the tty hangs off the USB interface.
  void AddUsbAcm(const std::string& name, const std::string& bus, std::optional<std::string> manufacturer,
                 std::optional<std::string> product);
  // An on-board UART with the given UART type (0 = none fitted).
  void AddUart(const std::string& name, int type);
  // A terminal without a device (tty0, console).
  void AddVirtual(const std::string& name);
  void Remove(const std::string& name);

 private:
  void addClassLink(const std::string& name, const std::filesystem::path& ttyDir);
  std::filesystem::path driverDir(const std::string& bus, const std::string& driver);
  std::filesystem::path root_;
};

}  // namespace px::test
