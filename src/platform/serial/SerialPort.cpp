#include "platform/serial/SerialPort.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/core/Exceptions.h"

namespace px {

namespace {

struct SpeedCode {
  Integer rate;
  speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t sizeFlag(Integer dataBits) {
  switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
  }
  RaiseOSError(EINVAL, "data bits");
}

}  // namespace

unsigned TermiosSpeedOf(Integer baudRate) {
  for (const SpeedCode& s : kSpeeds)
    if (s.rate == baudRate) return s.code;
  return 0;
}

TTermiosSerialPort::TTermiosSerialPort(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) RaiseLastOSError("open " + path);
  // Nobody else may open the line while we read it (root is exempt, as the
  // kernel has it).
  if (::ioctl(fd_, TIOCEXCL) != 0 || !::isatty(fd_)) {
    int err = errno ? errno : ENOTTY;
    ::close(fd_);
    fd_ = -1;
    RaiseOSError(err, "open " + path);
  }
}

TTermiosSerialPort::~TTermiosSerialPort() {
  if (fd_ >= 0) {
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
  }
}

void FillTermios(termios& t, const TSerialLineSettings& settings) {
  speed_t speed = TermiosSpeedOf(settings.BaudRate);
  if (speed == 0) RaiseOSError(EINVAL, "baud rate " + std::to_string(settings.BaudRate));
  tcflag_t size = sizeFlag(settings.DataBits);
  ::cfmakeraw(&t);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= size | CREAD | CLOCAL;
  switch (settings.Parity) {
    case TSerialParityMode::None: break;
    case TSerialParityMode::Odd: t.c_cflag |= PARENB | PARODD; break;
    case TSerialParityMode::Even: t.c_cflag |= PARENB; break;
    case TSerialParityMode::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case TSerialParityMode::Space: t.c_cflag |= PARENB | CMSPAR; break;
  }
  if (settings.StopBits != TSerialStopMode::One) t.c_cflag |= CSTOPB;
  if (settings.HardwareFlow) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
  if (settings.CheckParity) t.c_iflag |= INPCK;
  if (settings.XonXoffOut) t.c_iflag |= IXON;
  if (settings.XonXoffIn) t.c_iflag |= IXOFF;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) RaiseLastOSError("cfsetspeed");
}

void TTermiosSerialPort::Configure(const TSerialLineSettings& settings) {
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) RaiseLastOSError("tcgetattr");
  FillTermios(t, settings);
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) RaiseLastOSError("tcsetattr");
}

void TTermiosSerialPort::SetModemLines(bool dtr, bool rts) {
  // A line without modem control (a pseudo-terminal) refuses these; there is
  // nothing to set then.
  int bits = TIOCM_DTR;
  ::ioctl(fd_, dtr ? TIOCMBIS : TIOCMBIC, &bits);
  bits = TIOCM_RTS;
  ::ioctl(fd_, rts ? TIOCMBIS : TIOCMBIC, &bits);
}

ptrdiff_t TTermiosSerialPort::Read(void* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n > 0) return n;
    if (n == 0) return -1;  // hung up
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    if (errno == EIO) return -1;  // the other end of a pseudo-terminal is gone, or the adapter
    RaiseLastOSError("read");
  }
}

Integer TTermiosSerialPort::QueuedBytes() {
  int n = 0;
  if (::ioctl(fd_, FIONREAD, &n) != 0) RaiseLastOSError("FIONREAD");
  return n;
}

std::unique_ptr<ISerialPort> OpenTermiosSerialPort(const std::string& path) {
  return std::make_unique<TTermiosSerialPort>(path);
}

}  // namespace px
