#pragma once
// A serial port component with one reader thread per open port.
//
// The port is named by its device path (COMPort). The reader thread waits on
// the line and on its stop descriptor, moves every received byte into a
// 64 KiB ring and tells the owner on the GUI thread that data arrived; the
// owner takes data out with Receive, up to a terminator. The ring is shared
// without a lock between exactly one writer (the reader thread, which moves
// only the write position) and one reader (the caller of Receive, which moves
// only the read position).
//
// Delivery to the GUI thread is queued, never waited for: Close joins the
// reader thread and must not depend on the GUI thread being free. One
// notification is outstanding at a time; the handler takes everything that
// is there.
//
// Settings without a termios counterpart are kept and reported by their
// getters but change nothing on the line: RxBufferSize, TxBufferSize,
// XOnLimit, XOffLimit (the kernel's queue sizes and flow thresholds are its
// own), OutxDsrFlow, DsrSensitivity, TXContinueOnXoff, ErrorChar,
// DiscardNullBytes, AbortOnError, DTR handshake (DTR is raised) and RTS
// toggle (RTS is raised). RTS/CTS flow (OutxCtsFlow or RTS handshake) works in
// both directions, as termios has it. One and a half stop bits sets the
// two-stop-bit flag. XON and XOFF keep the usual DC1 and DC3.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/core/Classes.h"
#include "platform/core/StringList.h"
#include "platform/core/Threads.h"
#include "platform/core/Types.h"
#include "platform/serial/SerialPort.h"

namespace px {

enum TSerialParity { spEven, spMark, spNone, spOdd };
enum TSerialStopBits { ssOne, ssOneAndHalf, ssTwo };
enum TSerialDTR { sDTRDisable, sDTREnable, sDTRHandshake };
enum TSerialRTS { sRTSDisable, sRTSEnable, sRTSHandshake, sRTSToggle };
enum TDebugEventType { deSend, deRecv, dePurge, deConnect, deDisconnect, deMemo };

using TDebugEvent = std::function<void(TObject* sender, TDebugEventType eventType, const void* buffer,
                                       Integer bufferSize, Integer transferSize)>;

class TSerial;

class TSerialThread : public TThread {
 public:
  static constexpr Integer RingSize = 65536;

  explicit TSerialThread(TSerial* owner);
  ~TSerialThread() override;

  // Bytes held in the ring.
  Integer Available() const;

 protected:
  void Execute() override;
  void TerminatedSet() override;

 private:
  friend class TSerial;
  // Fuzzing and tests drive the reader's steps from their own thread.
  friend struct TSerialTestHook;
  // Moves what the line holds into the ring; false once the line is hung up.
  bool readData();
  Byte at(Integer offset) const;  // the byte `offset` places after the read position
  // Offset of the terminator from the read position, -1 when the held bytes
  // have no complete match.
  Integer findTerminator(const std::string& terminator);
  std::string take(Integer count);

  TSerial* owner_;
  int stopFd_ = -1;  // eventfd
  std::unique_ptr<Byte[]> ring_;
  std::atomic<uint32_t> readPos_{0};
  std::atomic<uint32_t> writePos_{0};
  Integer searchResume_ = -1;  // first start offset not yet searched; -1 = from the start
  Int64 dropped_ = 0;          // bytes thrown away since the ring last had room
};

class TSerial : public TComponent {
 public:
  explicit TSerial(TComponent* owner);
  ~TSerial() override;

  // The device path, "/dev/ttyUSB0".
  const std::string& GetCOMPort() const { return comPort_; }
  void SetCOMPort(const std::string& value);
  bool GetActive() const { return port_ != nullptr; }
  void SetActive(bool value);
  Integer GetBaudRate() const { return baudRate_; }
  void SetBaudRate(Integer value);
  Integer GetByteSize() const { return byteSize_; }
  void SetByteSize(Integer value);
  TSerialParity GetParity() const { return parity_; }
  void SetParity(TSerialParity value);
  TSerialStopBits GetStopBits() const { return stopBits_; }
  void SetStopBits(TSerialStopBits value);
  Integer GetRxBufferSize() const { return rxBufferSize_; }
  void SetRxBufferSize(Integer value);
  Integer GetTxBufferSize() const { return txBufferSize_; }
  void SetTxBufferSize(Integer value);
  Integer GetXOnLimit() const { return xOnLimit_; }
  void SetXOnLimit(Integer value);
  Integer GetXOffLimit() const { return xOffLimit_; }
  void SetXOffLimit(Integer value);

  bool GetParityChecking() const { return flag(1); }
  void SetParityChecking(bool v) { setFlag(1, v); }
  bool GetOutxCtsFlow() const { return flag(2); }
  void SetOutxCtsFlow(bool v) { setFlag(2, v); }
  bool GetOutxDsrFlow() const { return flag(3); }
  void SetOutxDsrFlow(bool v) { setFlag(3, v); }
  bool GetDsrSensitivity() const { return flag(6); }
  void SetDsrSensitivity(bool v) { setFlag(6, v); }
  bool GetTXContinueOnXoff() const { return flag(7); }
  void SetTXContinueOnXoff(bool v) { setFlag(7, v); }
  bool GetOutX() const { return flag(8); }
  void SetOutX(bool v) { setFlag(8, v); }
  bool GetInX() const { return flag(9); }
  void SetInX(bool v) { setFlag(9, v); }
  bool GetErrorChar() const { return flag(10); }
  void SetErrorChar(bool v) { setFlag(10, v); }
  bool GetDiscardNullBytes() const { return flag(11); }
  void SetDiscardNullBytes(bool v) { setFlag(11, v); }
  bool GetAbortOnError() const { return flag(14); }
  void SetAbortOnError(bool v) { setFlag(14, v); }
  // The device-control flags word (binary mode, the Boolean settings, DTR in
  // bits 4-5 and RTS in bits 12-13 as of the last open).
  Cardinal GetFlags() const { return flags_; }

  TSerialDTR GetDTR() const { return dtr_; }
  void SetDTR(TSerialDTR value) { dtr_ = value; }
  TSerialRTS GetRTS() const { return rts_; }
  void SetRTS(TSerialRTS value) { rts_ = value; }

  TNotifyEvent OnDataTransmitted;
  TNotifyEvent OnDataRecieved;
  TDebugEvent OnDebugInfo;
  // How the port is opened; a termios port unless a test puts another peer here.
  TSerialPortFactory PortFactory = OpenTermiosSerialPort;

  virtual void Open();
  virtual void Close();
  virtual void DoDataRecieved();
  virtual void DoDataTransmitted();

  // Takes the bytes before the first Terminator out of the ring into Data and
  // drops the terminator; waits up to Timeout ms (INFINITE: no limit) for one
  // to arrive, and no longer once the reader has ended. Without a terminator
  // Data is empty and nothing is taken.
  // Answers whether a terminator was found.
  bool Receive(const std::string& Terminator, Cardinal Timeout, std::string& Data);
  // The reader thread runs (false while closed, and once the line hung up or
  // failed: the port must then be opened afresh).
  bool ReaderRunning() const;
  // Bytes received and not yet taken (0 while closed).
  Integer Available() const;
  // Takes up to Count bytes out of the ring whatever they hold, for a caller
  // that must make room when no terminator comes.
  std::string Take(Integer Count);

 private:
  friend class TSerialThread;
  friend struct TSerialTestHook;
  bool flag(int bit) const { return (flags_ >> bit) & 1u; }
  void setFlag(int bit, bool value);
  TSerialLineSettings lineSettings() const;
  // Applies the line settings while open; restores `undo` and raises when
  // the port refuses them.
  void applyOrUndo(const std::function<void()>& undo);
  [[noreturn]] void refuse(const char* what, bool active) const;
  void debugInfo(TDebugEventType type, const void* buffer, Integer size);
  // On the reader thread: wakes a waiting Receive and queues the GUI-thread
  // notification when none is outstanding.
  void dataArrived(TSerialThread* thread);

  std::string comPort_ = "/dev/ttyS0";
  Integer baudRate_ = 9600;
  Integer byteSize_ = 8;
  TSerialParity parity_ = spNone;
  TSerialStopBits stopBits_ = ssOne;
  Integer rxBufferSize_ = 8192;
  Integer txBufferSize_ = 8192;
  Integer xOnLimit_ = 6144;
  Integer xOffLimit_ = 4096;
  Cardinal flags_ = 0x1011;
  TSerialDTR dtr_ = sDTREnable;
  TSerialRTS rts_ = sRTSEnable;

  std::unique_ptr<ISerialPort> port_;
  TObjectPtr<TSerialThread> thread_;
  TEvent startup_{false, false};  // auto-reset

  // A waiting Receive sleeps on waitChanged_; the reader thread takes the
  // lock before it wakes it, so a terminator that lands between the search
  // and the wait is never missed.
  std::mutex waitLock_;
  std::condition_variable waitChanged_;
  std::atomic<bool> notifyPending_{false};
  std::atomic<bool> closing_{false};
};

// Lists the serial ports as "DevicePath=Friendly name" lines appended to
// List. With Manufacturer given, a port stays when its manufacturer text (the
// USB device's, else the name of its driver) contains Manufacturer, when
// Driver names the driver that serves it, or when it has no manufacturer text
// at all. Answers false when the port folder of the sysfs tree cannot be read.
bool EnumerateComPorts(TStrings& List, const std::string& Manufacturer, const std::string& Driver = {},
                       const std::string& SysfsRoot = "/sys", const std::string& DevRoot = "/dev");

}  // namespace px
