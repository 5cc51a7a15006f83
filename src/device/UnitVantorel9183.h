#pragma once
// The receipt printer capture: listens on the scale's printer line in place of
// the printer, reads the receipt text line by line, checks every row and the
// totals, and hands over a small table with one row per denomination and a
// final "<SUM>" row.
//
// Receipt text: any lines until a line whose head (first four characters,
// upper case) is "DENO"; any lines until a "----" rule; one row per
// denomination (name, value per piece, count, value) until the next rule; then
// one totals line (count, value). Lines end with CR LF and are trimmed of
// blanks and control characters before they are looked at.
//
// Everything runs on the GUI thread: received data arrives through the serial
// component's queued notification, device changes through a hidden window,
// to which a udev monitor of the tty subsystem posts WM_DEVICECHANGE with
// DBT_DEVNODES_CHANGED whenever a serial port comes or goes. A port named by
// DevicePath (a pseudo-terminal, a link) comes and goes without udev hearing
// of it: while it is closed or hung up, a timer looks for it again.
#include <cstddef>
#include <memory>
#include <string>

#include "data/UnitDataSet.h"
#include "device/UnitSerial.h"
#include "platform/core/Classes.h"
#include "platform/gui/Controls.h"

namespace px {

class TDeviceChangeWindow;
class TTimer;

class TVantorel9183PrinterCapture : public TObject {
 public:
  // Longest line kept. A line that runs on beyond this (text without CR LF,
  // garbage at a wrong baud rate) is cut here, counts as a malformed line and
  // its rest up to the next CR LF is dropped.
  static constexpr size_t MaxLineLength = 4096;
  // How often a named port that is closed or hung up is looked for, in ms.
  static constexpr Cardinal PortWatchInterval = 500;

  TVantorel9183PrinterCapture();
  ~TVantorel9183PrinterCapture() override;
  TVantorel9183PrinterCapture(const TVantorel9183PrinterCapture&) = delete;
  TVantorel9183PrinterCapture& operator=(const TVantorel9183PrinterCapture&) = delete;

  // Processes Text as if it had been received from the port.
  void FeedText(const std::string& Text);

  TSerial& Serial() { return *serial_; }
  // The table of the last receipt: fields "Denomination", "Value/piece",
  // "Count", "Value"; rows in receipt order, then "<SUM>". Empty (null) until
  // the first receipt starts.
  const IMemDataSet& Receipt() const { return receipt_; }
  HWND WindowHandle() const;
  // Whether the udev monitor of serial ports runs.
  bool WatchingHotPlug() const;
  Integer State() const { return state_; }
  Int64 CountSum() const { return countSum_; }
  Int64 ValueSum() const { return valueSum_; }
  bool Valid() const { return valid_; }

  TNotifyEvent OnResult;
  TNotifyEvent OnError;

  // Where ports are looked for. A non-empty DevicePath replaces the search:
  // that path is the one port, present while it exists.
  std::string SysfsRoot = "/sys";
  std::string DevRoot = "/dev";
  std::string DevicePath = DefaultDevicePath;
  // The DevicePath every new capture starts with (the program's receipt-port
  // option sets it, so that a pseudo-terminal can stand in for the adapter).
  static inline std::string DefaultDevicePath;
  // The adapter looked for: its USB manufacturer text contains this, or its
  // driver is AdapterDriver.
  static constexpr const char* AdapterManufacturer = "Prolific";
  static constexpr const char* AdapterDriver = "pl2303";

 protected:
  virtual void DebugMessage(const std::string& Text);
  virtual void DoResult();
  virtual void DoError();

 private:
  void choosePort();
  void watchPort();
  void processLines();
  bool nextLine(std::string& line, bool& overlong);
  void processLine(const std::string& raw, bool overlong);
  void reportError(const std::string& text);

  TObjectPtr<TSerial> serial_;
  IMemDataSet receipt_;
  std::unique_ptr<TDeviceChangeWindow> window_;
  TObjectPtr<TTimer> portWatch_;
  Integer state_ = 0;
  Int64 countSum_ = 0;
  Int64 valueSum_ = 0;
  bool valid_ = false;
  std::string pendingText_;
  bool processing_ = false;    // line processing runs; a nested call leaves the lines to it
  bool skippingLine_ = false;  // dropping the rest of an overlong line from the port
  bool lookAgain_ = false;     // a device change came while lines were taken
};

}  // namespace px
