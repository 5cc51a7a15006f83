#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "DeviceTestSupport.h"
#include "device/UnitSerial.h"
#include "platform/core/Debug.h"
#include "platform/core/Exceptions.h"
#include "platform/core/StringList.h"
#include "platform/serial/SerialTestSupport.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::PseudoTerminal;
using test::PumpUntil;

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no exception)";
}

TEST(Serial, PropertiesKeepTheirLimits) {
  auto s = MakeObject<TSerial>(nullptr);
  EXPECT_EQ(s->GetBaudRate(), 9600);
  EXPECT_EQ(s->GetByteSize(), 8);
  EXPECT_EQ(s->GetParity(), spNone);
  EXPECT_EQ(s->GetStopBits(), ssOne);
  EXPECT_EQ(s->GetRxBufferSize(), 8192);
  EXPECT_EQ(s->GetXOnLimit(), 6144);
  EXPECT_EQ(s->GetXOffLimit(), 4096);
  EXPECT_EQ(s->GetFlags(), 0x1011u);
  EXPECT_FALSE(s->GetActive());

  s->SetRxBufferSize(1000);
  EXPECT_EQ(s->GetXOffLimit(), 500);
  EXPECT_EQ(s->GetXOnLimit(), 750);

  EXPECT_EQ(messageOf([&] { s->SetBaudRate(299); }), "TSerial: Baudrate value invalid");
  EXPECT_EQ(s->GetBaudRate(), 9600);
  s->SetBaudRate(300);
  EXPECT_EQ(s->GetBaudRate(), 300);
  EXPECT_EQ(messageOf([&] { s->SetByteSize(4); }), "TSerial: ByteSize value invalid");
  EXPECT_EQ(messageOf([&] { s->SetByteSize(9); }), "TSerial: ByteSize value invalid");
  s->SetByteSize(5);
  EXPECT_EQ(s->GetByteSize(), 5);
  EXPECT_EQ(messageOf([&] { s->SetRxBufferSize(0); }), "TSerial: RxBufferSize value invalid");
  EXPECT_EQ(messageOf([&] { s->SetTxBufferSize(-1); }), "TSerial: TxBufferSize value invalid");
  EXPECT_EQ(s->GetRxBufferSize(), 1000);

  struct Bit {
    void (TSerial::*set)(bool);
    bool (TSerial::*get)() const;
    int bit;
  };
  const Bit bits[] = {{&TSerial::SetParityChecking, &TSerial::GetParityChecking, 1},
                      {&TSerial::SetOutxCtsFlow, &TSerial::GetOutxCtsFlow, 2},
                      {&TSerial::SetOutxDsrFlow, &TSerial::GetOutxDsrFlow, 3},
                      {&TSerial::SetDsrSensitivity, &TSerial::GetDsrSensitivity, 6},
                      {&TSerial::SetTXContinueOnXoff, &TSerial::GetTXContinueOnXoff, 7},
                      {&TSerial::SetOutX, &TSerial::GetOutX, 8},
                      {&TSerial::SetInX, &TSerial::GetInX, 9},
                      {&TSerial::SetErrorChar, &TSerial::GetErrorChar, 10},
                      {&TSerial::SetDiscardNullBytes, &TSerial::GetDiscardNullBytes, 11},
                      {&TSerial::SetAbortOnError, &TSerial::GetAbortOnError, 14}};
  for (const Bit& b : bits) {
    (s.get()->*b.set)(true);
    EXPECT_EQ(s->GetFlags(), 0x1011u | (1u << b.bit)) << b.bit;
    EXPECT_TRUE((s.get()->*b.get)());
    (s.get()->*b.set)(false);
    EXPECT_EQ(s->GetFlags(), 0x1011u);
  }
}

TEST(Serial, OpensThePortAsEightNoneOneRawAndRefusesChangesWhileOpen) {
  PseudoTerminal pty;
  auto s = MakeObject<TSerial>(nullptr);
  std::vector<TDebugEventType> events;
  s->OnDebugInfo = [&](TObject*, TDebugEventType t, const void*, Integer, Integer) { events.push_back(t); };
  s->SetCOMPort(pty.SlavePath());
  s->SetActive(true);
  ASSERT_TRUE(s->GetActive());
  EXPECT_TRUE(s->ReaderRunning());
  termios t{};
  ASSERT_EQ(::tcgetattr(pty.Slave(), &t), 0);
  EXPECT_EQ(cfgetispeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);

  EXPECT_EQ(messageOf([&] { s->SetCOMPort("/dev/ttyS9"); }),
            "TSerial: Cannot change COMPort property while active.");
  EXPECT_EQ(s->GetCOMPort(), pty.SlavePath());
  EXPECT_EQ(messageOf([&] { s->SetRxBufferSize(100); }),
            "TSerial: Cannot change RxBufferSize property while active.");
  EXPECT_EQ(messageOf([&] { s->SetTxBufferSize(100); }),
            "TSerial: Cannot change TxBufferSize property while active.");
  // Applied at once while open; a rate termios cannot express is refused and
  // the old one stays.
  s->SetBaudRate(19200);
  ASSERT_EQ(::tcgetattr(pty.Slave(), &t), 0);
  EXPECT_EQ(cfgetispeed(&t), B19200);
  EXPECT_THROW(s->SetBaudRate(12345), EOSError);
  EXPECT_EQ(s->GetBaudRate(), 19200);
  s->SetStopBits(ssTwo);
  ASSERT_EQ(::tcgetattr(pty.Slave(), &t), 0);
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);

  s->SetActive(false);
  EXPECT_FALSE(s->GetActive());
  EXPECT_EQ(events, (std::vector<TDebugEventType>{deConnect, deDisconnect}));
}

TEST(Serial, DestroyingAnOpenPortFiresNoEvent) {
  PseudoTerminal pty;
  int events = 0;
  auto s = MakeObject<TSerial>(nullptr);
  s->SetCOMPort(pty.SlavePath());
  s->Open();
  s->OnDebugInfo = [&](TObject*, TDebugEventType, const void*, Integer, Integer) { ++events; };
  s->OnDataRecieved = [&](TObject*) { ++events; };
  pty.Write("x\r\n");
  for (int i = 0; i < 15000 && s->Available() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  s.reset();
  test::PumpFor(20);
  EXPECT_EQ(events, 0);
}

TEST(Serial, OpenFailureNamesTheSystemErrorAndLeavesThePortClosed) {
  auto s = MakeObject<TSerial>(nullptr);
  s->SetCOMPort("/nonexistent/ttyUSB0");
  try {
    s->Open();
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message(), "(Low level): CreateFile failed with code 2");
  }
  EXPECT_FALSE(s->GetActive());
  std::string data;
  EXPECT_EQ(messageOf([&] { s->Receive("\r\n", 0, data); }),
            "TSerial: Cannot change Recieve method while inactive.");
}

class OpenSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    serial = MakeObject<TSerial>(nullptr);
    serial->SetCOMPort(pty.SlavePath());
    serial->Open();
  }
  // Waits until the reader has moved `count` bytes into the ring.
  bool waitAvailable(Integer count, int timeoutMs = 5000) {
    return PumpUntil([&] { return serial->Available() >= count; }, timeoutMs);
  }
  PseudoTerminal pty;
  TObjectPtr<TSerial> serial;
};

TEST_F(OpenSerial, ReceiveTakesTextBeforeTheTerminatorAndPurgesIt) {
  std::vector<std::pair<TDebugEventType, std::string>> events;
  serial->OnDebugInfo = [&](TObject*, TDebugEventType t, const void* b, Integer size, Integer transferred) {
    EXPECT_EQ(size, transferred);
    events.emplace_back(t, b ? std::string(static_cast<const char*>(b), static_cast<size_t>(size)) : "");
  };
  pty.Write("ab\r\nc");
  ASSERT_TRUE(waitAvailable(5));
  std::string data = "old";
  EXPECT_TRUE(serial->Receive("\r\n", 0, data));
  EXPECT_EQ(data, "ab");
  EXPECT_EQ(serial->Available(), 1);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], std::make_pair(deRecv, std::string("ab")));
  EXPECT_EQ(events[1], std::make_pair(dePurge, std::string("\r\n")));

  // Time-out 0 without a terminator: empty at once, nothing taken.
  EXPECT_FALSE(serial->Receive("\r\n", 0, data));
  EXPECT_EQ(data, "");
  EXPECT_EQ(serial->Available(), 1);
  // An empty line reports no received bytes, only the purge.
  pty.Write("\r\n");
  ASSERT_TRUE(serial->Receive("\r\n", 2000, data));
  EXPECT_EQ(data, "c");
  pty.Write("\r\n");
  events.clear();
  ASSERT_TRUE(serial->Receive("\r\n", 2000, data));
  EXPECT_EQ(data, "");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, dePurge);
  serial->OnDebugInfo = nullptr;
}

TEST_F(OpenSerial, ReceiveWaitsForATerminatorAndTimesOut) {
  std::string data;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(serial->Receive("\r\n", 150, data));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(150));
  EXPECT_LT(waited, std::chrono::milliseconds(1500));

  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pty.Write("hel");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pty.Write("lo\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pty.Write("\nrest");
  });
  EXPECT_TRUE(serial->Receive("\r\n", 5000, data));
  writer.join();
  EXPECT_EQ(data, "hello");
}

// A terminator that lands between the search and the start of the wait must
// still end the wait: lines written at every moment around the call never
// make it time out.
TEST_F(OpenSerial, ReceiveNeverMissesATerminatorArrivingAsItStartsToWait) {
  std::mt19937 rng(12);
  for (int i = 0; i < 150; ++i) {
    int delayUs = static_cast<int>(rng() % 400);
    std::thread writer([&, delayUs] {
      std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
      pty.Write("L" + std::to_string(i) + "\r\n");
    });
    std::string data;
    bool found = serial->Receive("\r\n", 3000, data);
    writer.join();
    ASSERT_TRUE(found) << i;
    ASSERT_EQ(data, "L" + std::to_string(i));
  }
}

TEST_F(OpenSerial, TerminatorWrapsAroundTheRingEnd) {
  const Integer ring = TSerialThread::RingSize;
  // Bring the read position to 6 bytes before the end; the next line's CR
  // then takes the last byte and its LF the first.
  std::string filler(static_cast<size_t>(ring - 6 - 2), 'a');
  pty.Write(filler + "\r\n");
  std::string data;
  ASSERT_TRUE(serial->Receive("\r\n", 5000, data));
  EXPECT_EQ(data.size(), filler.size());
  pty.Write("abcde\r\nxyz\r\n");
  ASSERT_TRUE(serial->Receive("\r\n", 5000, data));
  EXPECT_EQ(data, "abcde");
  ASSERT_TRUE(serial->Receive("\r\n", 5000, data));
  EXPECT_EQ(data, "xyz");
  // A multi-byte terminator split differently across the end.
  pty.Write(std::string(static_cast<size_t>(ring - 20), 'b') + "END");
  ASSERT_TRUE(serial->Receive("END", 5000, data));
  pty.Write(std::string(10, 'c') + "xEN" + "D!");
  ASSERT_TRUE(serial->Receive("END", 5000, data));
  EXPECT_EQ(data, std::string(10, 'c') + "x");
  EXPECT_TRUE(PumpUntil([&] { return serial->Available() == 1; }));
}

TEST_F(OpenSerial, FloodedRingDropsBytesAndKeepsReading) {
  TDebugCapture debug;
  pty.Write(std::string(100000, 'z'));
  ASSERT_TRUE(waitAvailable(TSerialThread::RingSize - 1));
  // Give the reader the rest of the flood to throw away.
  test::PumpFor(200);
  EXPECT_EQ(serial->Available(), TSerialThread::RingSize - 1);
  EXPECT_TRUE(serial->ReaderRunning());
  bool reported = false;
  for (const std::string& l : debug.Lines()) reported |= l.starts_with("TSerial: Out of Rx bufferspace");
  EXPECT_TRUE(reported);

  EXPECT_EQ(serial->Take(TSerialThread::RingSize).size(), static_cast<size_t>(TSerialThread::RingSize - 1));
  pty.Write("ok\r\n");
  std::string data;
  ASSERT_TRUE(serial->Receive("\r\n", 5000, data));
  EXPECT_EQ(data, "ok");
}

TEST_F(OpenSerial, DataReceivedRunsOnTheGuiThreadOncePerBatch) {
  int calls = 0;
  std::string got;
  serial->OnDataRecieved = [&](TObject* sender) {
    EXPECT_EQ(sender, serial.get());
    EXPECT_TRUE(IsMainThread());
    ++calls;
    std::string line;
    while (serial->Receive("\r\n", 0, line)) got += line + "|";
  };
  pty.Write("one\r\ntwo\r\n");
  ASSERT_TRUE(PumpUntil([&] { return got == "one|two|"; }));
  pty.Write("three\r\n");
  ASSERT_TRUE(PumpUntil([&] { return got == "one|two|three|"; }));
  EXPECT_GE(calls, 2);
}

TEST_F(OpenSerial, ClosingTheOtherEndEndsTheReader) {
  pty.Write("last\r\n");
  ASSERT_TRUE(waitAvailable(6));
  pty.ReleaseSlave();
  pty.CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return !serial->ReaderRunning(); }));
  EXPECT_TRUE(serial->GetActive());
  std::string data;
  EXPECT_TRUE(serial->Receive("\r\n", 0, data));  // what came before the hang-up stays readable
  EXPECT_EQ(data, "last");
  EXPECT_FALSE(serial->Receive("\r\n", 50, data));
  serial->Close();
  EXPECT_FALSE(serial->GetActive());
}

TEST_F(OpenSerial, TakeOfNothingOrLessLeavesTheRingAsItWas) {
  pty.Write("abc");
  ASSERT_TRUE(waitAvailable(3));
  EXPECT_EQ(serial->Take(0), "");
  EXPECT_EQ(serial->Take(-2), "");
  EXPECT_EQ(serial->Available(), 3);
  EXPECT_EQ(serial->Take(10), "abc");
}

// A Receive that waits when the line hangs up returns once the reader has
// ended, whatever its time-out: no more data can come.
TEST_F(OpenSerial, AWaitingReceiveEndsWhenTheLineHangsUp) {
  pty.Write("part");
  ASSERT_TRUE(waitAvailable(4));
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock lock(m);
    if (!cv.wait_for(lock, std::chrono::seconds(30), [&] { return done; })) {
      std::fprintf(stderr, "watchdog: Receive still waits on a hung-up line\n");
      std::abort();
    }
  });
  std::thread hangUp([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.ReleaseSlave();
    pty.CloseMaster();
  });
  std::string data = "old";
  EXPECT_FALSE(serial->Receive("\r\n", INFINITE, data));
  EXPECT_EQ(data, "");
  EXPECT_EQ(serial->Available(), 4);
  hangUp.join();
  {
    std::lock_guard lock(m);
    done = true;
  }
  cv.notify_all();
  watchdog.join();
  // A later wait with a time-out does not sit out its time either.
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(serial->Receive("\r\n", 20000, data));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(OpenSerial, CloseDropsANotificationStillQueued) {
  int calls = 0;
  serial->OnDataRecieved = [&](TObject*) { ++calls; };
  pty.Write("x\r\n");
  for (int i = 0; i < 15000 && serial->Available() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_EQ(serial->Available(), 3);  // handed over, not yet run: nobody pumps
  serial->Close();
  test::PumpFor(50);
  EXPECT_EQ(calls, 0);
}

// Open, flood and close again and again; a hang in the join or the hand-over
// shows as the watchdog firing.
TEST(Serial, OpenFloodClose100Times) {
  PseudoTerminal pty;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock lock(m);
    if (!cv.wait_for(lock, std::chrono::seconds(120), [&] { return done; })) {
      std::fprintf(stderr, "watchdog: open/flood/close hangs\n");
      std::abort();
    }
  });
  std::atomic<bool> stop{false};
  ::fcntl(pty.Master(), F_SETFL, ::fcntl(pty.Master(), F_GETFL) | O_NONBLOCK);
  std::thread flood([&] {
    std::string chunk(1024, 'f');
    chunk += "\r\n";
    while (!stop) {
      if (::write(pty.Master(), chunk.data(), chunk.size()) < 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  auto s = MakeObject<TSerial>(nullptr);
  s->SetCOMPort(pty.SlavePath());
  int notified = 0;
  s->OnDataRecieved = [&](TObject*) {
    ++notified;
    std::string line;
    s->Receive("\r\n", 0, line);
  };
  for (int i = 0; i < 100; ++i) {
    s->Open();
    test::PumpFor(i % 10);
    s->Close();
  }
  stop = true;
  flood.join();
  {
    std::lock_guard lock(m);
    done = true;
  }
  cv.notify_all();
  watchdog.join();
  EXPECT_FALSE(s->GetActive());
}

TEST(EnumerateComPorts, FiltersByManufacturerOrDriver) {
  test::TempDir dir;
  test::FakeSysfs sys(dir.Path() / "sys");
  sys.AddUsbSerial("ttyUSB0", "1-1", "pl2303", "Prolific Technology Inc.", "USB-Serial Controller D");
  sys.AddUsbSerial("ttyUSB1", "1-2", "pl2303", std::nullopt, std::nullopt);
  sys.AddUsbSerial("ttyUSB2", "1-3", "ftdi_sio", "FTDI", "FT232R USB UART", "0403", "6001");
  sys.AddUsbSerial("ttyUSB3", "1-4", "ch341", "QinHeng (made for Prolific users)", std::nullopt, "1a86", "7523");
  sys.AddUart("ttyS0", 4);
  const std::string root = (dir.Path() / "sys").string();

  TStringList all;
  all.Add("kept");
  ASSERT_TRUE(EnumerateComPorts(all, "", "", root, "/dev"));
  ASSERT_EQ(all.Count(), 6);
  EXPECT_EQ(all[0], "kept");
  EXPECT_EQ(all[1], "/dev/ttyS0=ttyS0");
  EXPECT_EQ(all[2], "/dev/ttyUSB0=USB-Serial Controller D (ttyUSB0)");
  EXPECT_EQ(all[3], "/dev/ttyUSB1=ttyUSB1");

  TStringList prolific;
  ASSERT_TRUE(EnumerateComPorts(prolific, "Prolific", "", root, "/dev"));
  ASSERT_EQ(prolific.Count(), 2);  // the manufacturer text holds it anywhere
  EXPECT_EQ(prolific.Names(0), "/dev/ttyUSB0");
  EXPECT_EQ(prolific.Names(1), "/dev/ttyUSB3");

  TStringList adapter;
  ASSERT_TRUE(EnumerateComPorts(adapter, "Prolific", "pl2303", root, "/dev"));
  ASSERT_EQ(adapter.Count(), 3);  // and the adapter without a manufacturer text, by its driver
  EXPECT_EQ(adapter.Names(1), "/dev/ttyUSB1");

  TStringList none;
  EXPECT_FALSE(EnumerateComPorts(none, "", "", (dir.Path() / "missing").string()));
  EXPECT_EQ(none.Count(), 0);
}

}  // namespace
}  // namespace px
