#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "DeviceTestSupport.h"
#include "device/UnitVantorel9183.h"
#include "platform/core/Debug.h"
#include "platform/gui/DeviceChangeMonitor.h"
#include "platform/serial/SerialTestSupport.h"
#include "support/TempDir.h"

extern char** environ;

namespace px {
namespace {

using test::PumpUntil;

const std::string kTestReceipt =
    "Deno        Pcs    Value \r\n"
    "------------------------\r\n"
    "GBP 5        4       20\r\n"
    "GBP 10       5       50\r\n"
    "GBP 20       5      100\r\n"
    "GBP 50       5      250\r\n"
    "------------------------\r\n"
    "            19      420\r\n";

// Counts results and errors, and keeps the capture's own debug lines (">>").
class CaptureProbe {
 public:
  explicit CaptureProbe(TVantorel9183PrinterCapture& c) : capture(c) {
    capture.OnResult = [this](TObject* sender) {
      EXPECT_EQ(sender, &capture);
      ++results;
      rows.clear();
      for (TMemRecord* r = capture.Receipt()->First(); r; r = r->GetNext()) {
        std::string row = r->GetAnsiString(0) + "|" + (r->IsNull(1) ? "null" : std::to_string(r->GetInteger(1))) +
                          "|" + std::to_string(r->GetInteger(2)) + "|" + std::to_string(r->GetInteger(3));
        rows.push_back(row);
      }
    };
    capture.OnError = [this](TObject*) { ++errors; };
  }
  std::vector<std::string> Marks() const {
    std::vector<std::string> out;
    for (const std::string& l : debug.Lines())
      if (l.starts_with(">>")) out.push_back(l);
    return out;
  }
  TVantorel9183PrinterCapture& capture;
  TDebugCapture debug;
  int results = 0;
  int errors = 0;
  std::vector<std::string> rows;
};

const std::vector<std::string> kTestRows = {"GBP|5|4|20", "GBP|10|5|50", "GBP|20|5|100", "GBP|50|5|250",
                                            "<SUM>|null|19|420"};

TEST(PrinterCapture, TestReceiptGivesFourRowsAndTheSumRow) {
  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  CaptureProbe probe(*capture);
  EXPECT_EQ(capture->Receipt(), nullptr);
  capture->FeedText(kTestReceipt);
  EXPECT_EQ(probe.results, 1);
  EXPECT_EQ(probe.errors, 0);
  EXPECT_EQ(probe.rows, kTestRows);
  EXPECT_EQ(capture->Receipt()->GetFieldName(1), "Value/piece");
  EXPECT_EQ(capture->State(), 0);
  EXPECT_EQ(probe.Marks(), (std::vector<std::string>{">>START", ">>DENOM GBP,5,4,20", ">>DENOM GBP,10,5,50",
                                                     ">>DENOM GBP,20,5,100", ">>DENOM GBP,50,5,250",
                                                     ">>SUM 19,420", ">>FINISH"}));
  // Raw lines go to the debug output before they are trimmed.
  EXPECT_EQ(probe.debug.Lines().front(), "Deno        Pcs    Value ");
  // The table stays readable until the next receipt starts.
  capture->FeedText("shop\r\n");
  EXPECT_EQ(capture->Receipt()->GetRecordCount(), 5);
}

TEST(PrinterCapture, SplitsRowFields) {
  struct Case {
    std::string line;
    std::string denom;  // the >>DENOM line
    std::string row;    // the stored row, empty when the line is refused
  };
  const Case cases[] = {
      {"GBP 5 4 20", ">>DENOM GBP,5,4,20", "GBP|5|4|20"},
      {"EURO5 3 15", ">>DENOM EURO,5,3,15", "EURO|5|3|15"},
      {"euro5,3,15", ">>DENOM EURO,5,3,15", "EURO|5|3|15"},
      {"\t GBP\t10 ,  5,50 \x01", ">>DENOM GBP,10,5,50", "GBP|10|5|50"},
      {"\"GBP 5\",5,4,20", ">>DENOM GBP 5,5,4,20", "GBP 5|5|4|20"},
      {"GBP,5,,20", ">>DENOM GBP,5,,20", ""},
      {"GBP 5 4", ">>DENOM GBP,5,4", ""},
      {"GBP 5 4 20 x", ">>DENOM GBP,5,4,20,x", ""},
      {"GBP five 4 20", ">>DENOM GBP,five,4,20", ""},
      {"", ">>DENOM ", ""},
  };
  for (const Case& c : cases) {
    auto capture = MakeObject<TVantorel9183PrinterCapture>();
    CaptureProbe probe(*capture);
    capture->FeedText("DENO\r\n----\r\n" + c.line + "\r\n");
    auto marks = probe.Marks();
    ASSERT_GE(marks.size(), 2u) << c.line;
    EXPECT_EQ(marks[1], c.denom) << c.line;
    const IMemDataSet& t = capture->Receipt();
    if (c.row.empty()) {
      EXPECT_EQ(t->GetRecordCount(), 0) << c.line;
      EXPECT_EQ(marks.back(), ">>ERROR!") << c.line;
      EXPECT_EQ(probe.errors, 1) << c.line;
    } else {
      ASSERT_EQ(t->GetRecordCount(), 1) << c.line;
      TMemRecord* r = t->First();
      EXPECT_EQ(r->GetAnsiString(0) + "|" + std::to_string(r->GetInteger(1)) + "|" + std::to_string(r->GetInteger(2)) +
                    "|" + std::to_string(r->GetInteger(3)),
                c.row);
      EXPECT_EQ(probe.errors, 0) << c.line;
    }
  }
}

// Each malformed receipt gives the expected marks and events, and the capture
// reads the test receipt that follows it.
TEST(PrinterCapture, MalformedReceiptsReportAndLeaveTheCaptureReady) {
  const std::string head = "DENO PCS VALUE\r\n----\r\n";
  struct Case {
    const char* name;
    std::string text;
    int results, errors;
    std::vector<std::string> marksTail;  // the last marks of the malformed receipt
  };
  const std::string overlong(5000, '7');
  const Case cases[] = {
      {"preamble is ignored", "Shop 12\r\n01.02.2026 10:00\r\n" + head + "GBP 5 4 20\r\n----\r\n4 20\r\n", 1, 0,
       {">>SUM 4,20", ">>FINISH"}},
      {"row value is not price times count", head + "GBP 5 4 21\r\nGBP 10 5 50\r\n----\r\n5 50\r\n", 0, 1,
       {">>DENOM GBP,5,4,21", ">>SUM ERROR!", ">>DENOM GBP,10,5,50", ">>SUM 5,50", ">>FINISH"}},
      {"row with three fields", head + "GBP 5 4\r\n----\r\n0 0\r\n", 0, 1, {">>ERROR!", ">>SUM 0,0", ">>FINISH"}},
      {"totals differ", head + "GBP 5 4 20\r\n----\r\n4 21\r\n", 0, 1, {">>SUM 4,21", ">>SUM ERROR!", ">>FINISH"}},
      // The wrong line spoils the totals too: still one error for the receipt.
      {"row value wrong and counted in the totals", head + "GBP 5 4 21\r\nGBP 10 5 50\r\n----\r\n9 71\r\n", 0, 1,
       {">>SUM 9,71", ">>SUM ERROR!", ">>FINISH"}},
      {"totals with three fields", head + "GBP 5 4 20\r\n----\r\n4 20 1\r\n", 0, 1,
       {">>SUM 4,20,1", ">>ERROR!", ">>FINISH"}},
      {"totals not numbers", head + "GBP 5 4 20\r\n----\r\nfour twenty\r\n", 0, 1, {">>ERROR!", ">>FINISH"}},
      {"second rule in place of totals", head + "GBP 5 4 20\r\n----\r\n----\r\n", 0, 0, {">>DENOM GBP,5,4,20"}},
      {"no rule after the header", "DENO\r\nGBP 5 4 20\r\n4 20\r\n", 0, 0, {}},
      {"header only", "DENO\r\n", 0, 0, {}},
      {"overlong row", head + "GBP 5 4 20\r\n" + overlong + "\r\n----\r\n4 20\r\n", 0, 1,
       {">>ERROR!", ">>SUM 4,20", ">>FINISH"}},
      {"overlong totals", head + "GBP 5 4 20\r\n----\r\n" + overlong + "\r\n", 0, 1, {">>ERROR!", ">>FINISH"}},
      {"price times count beyond 32 bits", head + "X 65536 65536 0\r\n----\r\n0 0\r\n", 0, 1,
       {">>DENOM X,65536,65536,0", ">>ERROR!", ">>SUM 0,0", ">>FINISH"}},
      {"value beyond 32 bits", head + "X 2147483648 1 2147483648\r\n----\r\n0 0\r\n", 0, 1,
       {">>ERROR!", ">>SUM 0,0", ">>FINISH"}},
      // 2 x 2000000000 wraps to -294967296 in 32 bits; the sums must not.
      {"sums beyond 32 bits", head + "A 2000000000 1 2000000000\r\nB 2000000000 1 2000000000\r\n----\r\n2 -294967296\r\n",
       0, 1, {">>SUM 2,-294967296", ">>SUM ERROR!", ">>FINISH"}},
  };
  for (const Case& c : cases) {
    auto capture = MakeObject<TVantorel9183PrinterCapture>();
    CaptureProbe probe(*capture);
    capture->FeedText(c.text);
    EXPECT_EQ(probe.results, c.results) << c.name;
    EXPECT_EQ(probe.errors, c.errors) << c.name;
    auto marks = probe.Marks();
    ASSERT_GE(marks.size(), c.marksTail.size()) << c.name;
    EXPECT_EQ(std::vector<std::string>(marks.end() - static_cast<ptrdiff_t>(c.marksTail.size()), marks.end()),
              c.marksTail)
        << c.name;

    capture->FeedText(kTestReceipt);
    EXPECT_EQ(probe.results, c.results + 1) << c.name;
    EXPECT_EQ(probe.errors, c.errors) << c.name;
    EXPECT_EQ(probe.rows, kTestRows) << c.name;
    EXPECT_EQ(capture->State(), 0) << c.name;
  }
}

// The error handler shows a message box, whose loop may bring more data: the
// capture must not run a second line loop inside the handler.
TEST(PrinterCapture, HandlersAreNotReenteredFromTheirOwnEventLoop) {
  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  int depth = 0, maxDepth = 0, results = 0, errors = 0;
  std::vector<std::string> order;
  capture->OnError = [&](TObject*) {
    ++errors;
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    order.push_back("error");
    // What a modal loop would deliver meanwhile.
    if (errors == 1) capture->FeedText("GBP 10 5 50\r\n----\r\n5 50\r\n" + kTestReceipt);
    --depth;
  };
  capture->OnResult = [&](TObject*) {
    ++results;
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    order.push_back("result");
    --depth;
  };
  capture->FeedText("DENO\r\n----\r\nGBP 5 4\r\n");
  EXPECT_EQ(maxDepth, 1);
  EXPECT_EQ(order, (std::vector<std::string>{"error", "result"}));
  EXPECT_EQ(capture->State(), 0);
}

class CaptureOnPseudoTerminal : public ::testing::Test {
 protected:
  void openCapture() {
    capture = MakeObject<TVantorel9183PrinterCapture>();
    capture->DevicePath = pty.SlavePath();
    probe = std::make_unique<CaptureProbe>(*capture);
    ASSERT_TRUE(PumpUntil([&] { return capture->Serial().GetActive(); }));
    pty.ReleaseSlave();
  }
  test::PseudoTerminal pty;
  TObjectPtr<TVantorel9183PrinterCapture> capture;
  std::unique_ptr<CaptureProbe> probe;
};

TEST_F(CaptureOnPseudoTerminal, ReceiptInRandomChunksGivesOneResult) {
  openCapture();
  EXPECT_EQ(capture->Serial().GetCOMPort(), pty.SlavePath());
  EXPECT_EQ(capture->Serial().GetBaudRate(), 9600);
  std::mt19937 rng(7);
  for (int round = 0; round < 3; ++round) {
    const std::string text = "SHOP\r\n" + kTestReceipt;
    std::vector<size_t> cuts;
    for (size_t i = 0; i < text.size();) {
      size_t n = 1 + rng() % (round == 0 ? 1 : 9);  // single bytes in the first round
      if (text[i] == '\r') n = 1;                    // CR and LF in separate writes
      cuts.push_back(std::min(n, text.size() - i));
      i += cuts.back();
    }
    size_t pos = 0;
    for (size_t n : cuts) {
      pty.Write(text.substr(pos, n));
      pos += n;
      if (rng() % 4 == 0) test::PumpFor(1);
    }
    ASSERT_TRUE(PumpUntil([&] { return probe->results == round + 1; })) << round;
    test::PumpFor(20);
    EXPECT_EQ(probe->results, round + 1);
    EXPECT_EQ(probe->errors, 0);
    EXPECT_EQ(probe->rows, kTestRows);
  }
}

TEST_F(CaptureOnPseudoTerminal, TextWithoutLineEndsDoesNotBlockTheNextReceipt) {
  openCapture();
  std::string flood;
  while (flood.size() < 200000) flood += "garbage without a carriage return\n";
  // Written while nobody takes lines out: the ring fills and the reader
  // drops the rest; then the capture cuts the pending text into overlong
  // lines and throws them away.
  pty.Write(flood);
  test::PumpFor(300);
  pty.Write("\r\n" + kTestReceipt);
  ASSERT_TRUE(PumpUntil([&] { return probe->results == 1; }));
  EXPECT_EQ(probe->rows, kTestRows);
  EXPECT_EQ(probe->errors, 0);
  EXPECT_TRUE(capture->Serial().ReaderRunning());
}

// The line went away while the rest of an overlong line was still to be
// dropped: the next connection starts at a line start and keeps its first line.
TEST_F(CaptureOnPseudoTerminal, ReconnectStartsAtALineStart) {
  openCapture();
  const std::string longLine(TVantorel9183PrinterCapture::MaxLineLength, 'x');
  pty.Write(longLine);
  ASSERT_TRUE(PumpUntil([&] {
    for (const std::string& l : probe->debug.Lines())
      if (l == longLine) return true;
    return false;
  }));
  capture->Serial().Close();
  PostMessage(capture->WindowHandle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  ASSERT_TRUE(PumpUntil([&] { return capture->Serial().GetActive(); }));
  pty.Write(kTestReceipt);
  ASSERT_TRUE(PumpUntil([&] { return probe->results == 1; }));
  EXPECT_EQ(probe->rows, kTestRows);
  EXPECT_EQ(probe->errors, 0);
}

TEST(PrinterCaptureDevice, DeviceChangesOpenTheAdapterPortAndCloseItWhenItGoes) {
  test::TempDir dir;
  test::PseudoTerminal pty;
  test::FakeSysfs sys(dir.Path() / "sys");
  std::filesystem::create_directories(dir.Path() / "dev");
  std::filesystem::create_symlink(pty.SlavePath(), dir.Path() / "dev" / "ttyUSB1");
  std::filesystem::create_symlink(pty.SlavePath(), dir.Path() / "dev" / "ttyUSB0");
  sys.AddUsbSerial("ttyUSB0", "1-1", "ftdi_sio", "FTDI", "FT232R USB UART", "0403", "6001");
  sys.AddUsbSerial("ttyUSB1", "1-2", "pl2303", "Prolific Technology Inc.", "USB-Serial Controller");

  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  capture->SysfsRoot = (dir.Path() / "sys").string();
  capture->DevRoot = (dir.Path() / "dev").string();
  CaptureProbe probe(*capture);
  // The constructor posted the first device change.
  ASSERT_TRUE(PumpUntil([&] { return capture->Serial().GetActive(); }));
  const std::string port = (dir.Path() / "dev" / "ttyUSB1").string();
  EXPECT_EQ(capture->Serial().GetCOMPort(), port);
  pty.Write(kTestReceipt);
  ASSERT_TRUE(PumpUntil([&] { return probe.results == 1; }));

  // Unplugged: the port closes.
  sys.Remove("ttyUSB1");
  PostMessage(capture->WindowHandle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  ASSERT_TRUE(PumpUntil([&] { return !capture->Serial().GetActive(); }));
  EXPECT_EQ(capture->Serial().GetCOMPort(), port);
  // Other messages change nothing.
  sys.AddUsbSerial("ttyUSB1", "1-2", "pl2303", "Prolific Technology Inc.", "USB-Serial Controller");
  PostMessage(capture->WindowHandle(), WM_DEVICECHANGE, 0x8000, 0);
  test::PumpFor(50);
  EXPECT_FALSE(capture->Serial().GetActive());
  // Back again: it opens once more.
  PostMessage(capture->WindowHandle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  ASSERT_TRUE(PumpUntil([&] { return capture->Serial().GetActive(); }));
  pty.Write(kTestReceipt);
  ASSERT_TRUE(PumpUntil([&] { return probe.results == 2; }));
}

TEST(PrinterCaptureDevice, HotPlugEventsReachTheCaptureAndItFollowsTheAdapter) {
  // The path of an udev event: descriptor readable -> drained on the GUI
  // thread -> WM_DEVICECHANGE on the capture's window -> port chosen again.
  // A pipe stands in for the udev socket (real events need a privileged
  // daemon); each byte is one event.
  test::TempDir dir;
  test::FakeSysfs sys(dir.Path() / "sys");
  std::filesystem::create_directories(dir.Path() / "dev");
  const std::filesystem::path node = dir.Path() / "dev" / "ttyUSB0";
  auto plugIn = [&](test::PseudoTerminal& pty) {
    std::filesystem::create_symlink(pty.SlavePath(), node);
    sys.AddUsbSerial("ttyUSB0", "1-1", "pl2303", "Prolific Technology Inc.", "USB-Serial Controller");
  };
  auto first = std::make_unique<test::PseudoTerminal>();
  plugIn(*first);

  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  capture->SysfsRoot = (dir.Path() / "sys").string();
  capture->DevRoot = (dir.Path() / "dev").string();
  CaptureProbe probe(*capture);
  test::EventPipe events;
  {
    TDeviceChangeMonitor hotPlug(capture->WindowHandle(), events.ReadEnd(), [&] { return events.Drain(); });
    ASSERT_TRUE(PumpUntil([&] { return capture->Serial().GetActive(); }));
    first->Write(kTestReceipt);
    ASSERT_TRUE(PumpUntil([&] { return probe.results == 1; }));
    // The next receipt is cut off in the middle by the cable being pulled.
    first->Write(kTestReceipt.substr(0, kTestReceipt.find("GBP 20")));
    ASSERT_TRUE(PumpUntil([&] { return capture->State() == 2; }));

    // Unplugged: the node and its sysfs entry go, the line hangs up.
    sys.Remove("ttyUSB0");
    std::filesystem::remove(node);
    first.reset();
    events.Events();
    ASSERT_TRUE(PumpUntil([&] { return !capture->Serial().GetActive(); }));

    // Plugged in again (another line behind the same name): opened afresh,
    // at a receipt's start, so that the next receipt is taken whole.
    test::PseudoTerminal second;
    plugIn(second);
    events.Events();
    ASSERT_TRUE(PumpUntil([&] { return capture->Serial().GetActive(); }));
    second.Write(kTestReceipt);
    ASSERT_TRUE(PumpUntil([&] { return probe.results == 2; }));
    EXPECT_EQ(probe.rows, kTestRows);
    EXPECT_EQ(probe.errors, 0);
  }
}

TEST(PrinterCaptureDevice, WatchesSerialHotPlugOrSaysWhyNot) {
  TDebugCapture debug;
  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  bool said = false;
  for (const std::string& l : debug.Lines())
    if (l.starts_with("Serial hot-plug is not watched: ")) said = true;
  EXPECT_NE(capture->WatchingHotPlug(), said);
}

TEST(PrinterCaptureDevice, PortThatCannotBeOpenedIsIgnoredUntilTheNextChange) {
  test::TempDir dir;
  test::FakeSysfs sys(dir.Path() / "sys");
  sys.AddUsbSerial("ttyUSB0", "1-1", "pl2303", "Prolific Technology Inc.", std::nullopt);
  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  capture->SysfsRoot = (dir.Path() / "sys").string();
  capture->DevRoot = (dir.Path() / "nodev").string();
  test::PumpFor(50);
  EXPECT_FALSE(capture->Serial().GetActive());
  EXPECT_EQ(capture->Serial().GetCOMPort(), (dir.Path() / "nodev" / "ttyUSB0").string());
}

// A socat pair of pseudo-terminals, ended and started again with the same
// links.
class SocatPair {
 public:
  SocatPair(std::string a, std::string b) : a_(std::move(a)), b_(std::move(b)) { Start(); }
  ~SocatPair() { Stop(); }
  void Start() {
    const std::string linkA = "pty,raw,echo=0,link=" + a_, linkB = "pty,raw,echo=0,link=" + b_;
    const char* args[] = {"socat", linkA.c_str(), linkB.c_str(), nullptr};
    ASSERT_EQ(posix_spawnp(&pid_, "socat", nullptr, nullptr, const_cast<char* const*>(args), environ), 0);
    ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(a_) && std::filesystem::exists(b_); }));
  }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
  // Writes text into the B end, as the scale's printer output would.
  void Send(const std::string& text) {
    const int fd = ::open(b_.c_str(), O_WRONLY | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  }

 private:
  std::string a_, b_;
  pid_t pid_ = 0;
};

// The named port goes away (socat ended: the line hangs up and its link is
// removed) and comes back (socat started again): the capture lets go of the
// dead line, opens the path again when it is there, and the receipts sent
// before, while the new line was not yet opened, and after are each counted
// once.
TEST(PrinterCaptureDevice, NamedPortThatGoesAndComesBackIsOpenedAgain) {
  test::TempDir dir;
  const std::string a = dir.File("a"), b = dir.File("b");
  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  capture->DevicePath = a;
  CaptureProbe probe(*capture);
  // Not there yet when the capture first looks.
  test::PumpFor(100);
  EXPECT_FALSE(capture->Serial().GetActive());
  SocatPair socat(a, b);
  ASSERT_TRUE(PumpUntil([&] { return capture->Serial().GetActive(); }));
  socat.Send(kTestReceipt);
  ASSERT_TRUE(PumpUntil([&] { return probe.results == 1; }));

  // Half a receipt, then the line goes: the cut-off receipt is dropped.
  socat.Send(kTestReceipt.substr(0, 60));
  test::PumpFor(100);
  socat.Stop();
  ASSERT_TRUE(PumpUntil([&] { return !capture->Serial().GetActive(); }));
  socat.Start();
  // Sent at once, before the capture opens the new line.
  socat.Send(kTestReceipt);
  ASSERT_TRUE(PumpUntil([&] { return probe.results == 2; }));
  EXPECT_EQ(probe.rows, kTestRows);
  ASSERT_TRUE(capture->Serial().ReaderRunning());
  socat.Send(kTestReceipt);
  ASSERT_TRUE(PumpUntil([&] { return probe.results == 3; }));
  test::PumpFor(TVantorel9183PrinterCapture::PortWatchInterval + 200);
  EXPECT_EQ(probe.results, 3);
  EXPECT_EQ(probe.errors, 0);
  EXPECT_EQ(probe.rows, kTestRows);
}

// An outside writer: pyserial at 9600 8N1 on one end of a socat pair of
// pseudo-terminals, the capture on the other.
TEST(PrinterCaptureDevice, ReceiptFromPySerialThroughSocat) {
  test::TempDir dir;
  const std::string a = dir.File("a"), b = dir.File("b");
  const std::string linkA = "pty,raw,echo=0,link=" + a, linkB = "pty,raw,echo=0,link=" + b;
  const char* socatArgs[] = {"socat", linkA.c_str(), linkB.c_str(), nullptr};
  pid_t socat = 0;
  ASSERT_EQ(posix_spawnp(&socat, "socat", nullptr, nullptr, const_cast<char* const*>(socatArgs), environ), 0);
  struct Reaper {
    pid_t pid;
    ~Reaper() {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  } reaper{socat};
  ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(a) && std::filesystem::exists(b); }));

  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  capture->DevicePath = a;
  CaptureProbe probe(*capture);
  ASSERT_TRUE(PumpUntil([&] { return capture->Serial().GetActive(); }));

  std::string script =
      "import serial,sys\n"
      "p = serial.Serial(sys.argv[1], 9600, bytesize=8, parity='N', stopbits=1)\n"
      "data = sys.stdin.buffer.read()\n"
      "for i in range(0, len(data), 7):\n"
      "    p.write(data[i:i+7]); p.flush()\n"
      "p.close()\n";
  test::WriteFileBytes(dir.File("send.py"), script);
  test::WriteFileBytes(dir.File("receipt.txt"), kTestReceipt);
  std::thread sender([&] {
    EXPECT_EQ(test::RunCommand("/usr/bin/python3 " + dir.File("send.py") + " " + b + " < " + dir.File("receipt.txt")),
              0);
  });
  bool got = PumpUntil([&] { return probe.results == 1; }, 60000);
  sender.join();
  ASSERT_TRUE(got);
  EXPECT_EQ(probe.rows, kTestRows);
  EXPECT_EQ(probe.errors, 0);
}

}  // namespace
}  // namespace px
