#pragma once
// A serial line over termios, behind a small interface so that the code above
// it does not care whether it talks to a USB-serial adapter, an on-board UART
// or a pseudo-terminal in a test.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <termios.h>

#include "platform/core/Types.h"

namespace px {

enum class TSerialParityMode { None, Odd, Even, Mark, Space };
// termios knows one or two stop bits. One and a half is asked for with the
// two-stop-bit flag: a 16550-style UART sends 1.5 stop bits for 5-bit words
// when that flag is set, and two for longer words.
enum class TSerialStopMode { One, OneAndHalf, Two };

struct TSerialLineSettings {
  Integer BaudRate = 9600;
  Integer DataBits = 8;  // 5 to 8
  TSerialParityMode Parity = TSerialParityMode::None;
  TSerialStopMode StopBits = TSerialStopMode::One;
  bool CheckParity = false;   // INPCK
  bool HardwareFlow = false;  // CRTSCTS (both directions: termios has no one-way RTS/CTS)
  bool XonXoffOut = false;    // IXON
  bool XonXoffIn = false;     // IXOFF
};

class ISerialPort {
 public:
  virtual ~ISerialPort() = default;
  // Applies the line settings; raises EOSError (EINVAL for a baud rate
  // termios has no speed code for).
  virtual void Configure(const TSerialLineSettings& settings) = 0;
  virtual void SetModemLines(bool dtr, bool rts) = 0;
  // The descriptor to poll for input and hang-up.
  virtual int Descriptor() const = 0;
  // Reads what is waiting without blocking: the byte count (0 when nothing
  // waits), or -1 once the line is hung up (end of file, EIO). Other
  // failures raise EOSError.
  virtual ptrdiff_t Read(void* buffer, size_t size) = 0;
  // Bytes waiting in the driver's input queue.
  virtual Integer QueuedBytes() = 0;
};

// The termios port: opened read-write, without becoming the controlling
// terminal, non-blocking, close-on-exec, with exclusive access (TIOCEXCL),
// in raw mode with the receiver on and modem control lines ignored.
class TTermiosSerialPort : public ISerialPort {
 public:
  // Raises EOSError with the errno of the failing call.
  explicit TTermiosSerialPort(const std::string& path);
  ~TTermiosSerialPort() override;
  TTermiosSerialPort(const TTermiosSerialPort&) = delete;
  TTermiosSerialPort& operator=(const TTermiosSerialPort&) = delete;

  void Configure(const TSerialLineSettings& settings) override;
  void SetModemLines(bool dtr, bool rts) override;
  int Descriptor() const override { return fd_; }
  ptrdiff_t Read(void* buffer, size_t size) override;
  Integer QueuedBytes() override;

 private:
  int fd_ = -1;
};

// The termios speed code of a baud rate, or 0 when termios has none.
unsigned TermiosSpeedOf(Integer baudRate);
// Puts the settings into a termios record in raw mode (receiver on, modem
// control lines ignored); raises EOSError EINVAL for a baud rate or data bit
// count termios cannot express. A pseudo-terminal keeps only part of this (it
// is always 8 bits without parity), so the mapping is checked here.
void FillTermios(termios& t, const TSerialLineSettings& settings);

// How ports are opened. The default opens a TTermiosSerialPort; tests may put
// another peer in its place.
using TSerialPortFactory = std::function<std::unique_ptr<ISerialPort>(const std::string& path)>;
std::unique_ptr<ISerialPort> OpenTermiosSerialPort(const std::string& path);

}  // namespace px
