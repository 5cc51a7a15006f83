#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "DeviceTestSupport.h"
#include "device/UnitVantorel7350.h"
#include "device/scalesim/FakeHidSysfs.h"
#include "device/scalesim/ScaleSimulator.h"
#include "platform/core/Debug.h"
#include "support/TempDir.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px {
namespace {

using test::TempDir;
using Sim = TScaleSimulator;

class TfraScaleListener : public TQVRFrame, public IDeviceListener {
 public:
  using TQVRFrame::TQVRFrame;
  std::vector<std::pair<bool, bool>> status;
  int activity = 0;
  std::function<void(bool)> onStatus;
  void DeviceStatusChanged(bool connected, bool audible) override {
    status.emplace_back(connected, audible);
    if (onStatus) onStatus(connected);
  }
  void DeviceActivity() override { ++activity; }
};

using Statuses = std::vector<std::pair<bool, bool>>;

Sim::Table euroTable() {
  Sim::Table t;
  t.Code = "EUR";
  t.Slots[1] = {200, 0, 85000, 0, 0};
  t.Slots[2] = {1000, 1, 11000, 0, 2};
  t.Slots[3] = {50, 2, 345000, 40, 0};
  t.Slots[4] = {5000, 3, 1100000, 100, 1};
  return t;
}

// The simulated scale on a fake sysfs tree, the device list and the scale
// object, with one listening frame.
class Scale : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeQVRSystem();
    listener = new TfraScaleListener(nullptr);
  }
  void TearDown() override {
    scale.reset();
    list.reset();
    FreeObject(listener);
    FinalizeQVRSystem();
  }
  void Start(Integer variant, Cardinal version, Word productId = 2) {
    sim = std::make_unique<Sim>(variant, version);
    sim->SetTable(1, [] { Sim::Table t; t.Code = "USD"; return t; }());
    sim->SetTable(2, euroTable());
    sim->SetTable(3, [] { Sim::Table t; t.Code = "CHF"; return t; }());
    sim->SetCurrentCode("EUR");
    FakeHidDevice d;
    d.ProductId = productId;
    path = sys.Add(d);
    list = std::make_unique<THIDDevices>(sys.SysfsRoot(), sys.DevRoot(), false);
    scale = std::make_unique<TVantorel7350>(list.get(), sim->Opener());
  }
  // Runs the first scan; the scale arrives as new.
  void Arrive() { ASSERT_TRUE(test::PumpUntil([&] { return !listener->status.empty(); })); }
  size_t requests() const { return sim->Requests().size(); }

  TempDir dir;
  FakeHidSysfs sys{dir.Path()};
  std::string path;
  std::unique_ptr<Sim> sim;
  std::unique_ptr<THIDDevices> list;
  std::unique_ptr<TVantorel7350> scale;
  TfraScaleListener* listener = nullptr;
};

double secondsOf(const std::function<void()>& fn) {
  auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

TEST(ScaleReports, CRC16XModemCheckValue) {
  const char* text = "123456789";
  EXPECT_EQ(CRC16XModem(reinterpret_cast<const Byte*>(text), 9), 0x31C3);
  EXPECT_EQ(CRC16XModem(nullptr, 0), 0);
  EXPECT_EQ(ScaleSimCRC(reinterpret_cast<const Byte*>(text), 9), 0x31C3);
}

TEST(ScaleReports, LettersAndLegacySlots) {
  for (char c = 'A'; c <= 'Z'; ++c) {
    Byte a = 0, b = 0;
    ASSERT_TRUE(LetterToPair(c, a, b));
    EXPECT_EQ(PairToLetter(a, b), c);
    Byte sa, sb;
    ScaleSimLetterPair(c, sa, sb);
    EXPECT_EQ(a, sa) << c;
    EXPECT_EQ(b, sb) << c;
  }
  Byte a, b;
  EXPECT_FALSE(LetterToPair('a', a, b));
  EXPECT_FALSE(LetterToPair('[', a, b));
  EXPECT_EQ(PairToLetter(0xFF, 0xFF), '?');
  EXPECT_EQ(DenominationToSlot(1, 0), 0);
  EXPECT_EQ(DenominationToSlot(500, 0), 9);
  EXPECT_EQ(DenominationToSlot(100, 1), 10);
  EXPECT_EQ(DenominationToSlot(100000, 1), 19);
  EXPECT_EQ(DenominationToSlot(100000, 0), -1);
  EXPECT_EQ(DenominationToSlot(-100, 0), 10);
  EXPECT_EQ(DenominationToSlot(3, 0), -1);
  EXPECT_EQ(DenominationToSlot(INT32_MIN, 1), -1);
}

TEST_F(Scale, GoldenRequestReportsOfEveryCommand) {
  Start(2, 4);
  Arrive();
  ASSERT_TRUE(scale->Connected);
  struct Golden {
    std::function<void()> run;
    std::string payload;  // bytes 0 to 6
  };
  TVantorel7350& s = *scale;
  Integer i1, i2;
  int64_t v64;
  bool f1;
  Byte b1;
  Word w1;
  Cardinal c1;
  std::vector<Golden> golden = {
      {[&] { s.ReadProtocolVersion(c1); }, "00E9AA55AA55AA"},
      {[&] { s.RequestDisconnect(); }, "00F60055AA55AA"},
      {[&] { s.ReadHeaderValue(v64); }, "00F80055AA55AA"},
      {[&] { s.ReadHeaderWords(i1, i2); }, "00F70055AA55AA"},
      {[&] { char l; s.ReadCurrencyLetter(2, 3, l); }, "00FC0203AA55AA"},
      {[&] { s.ReadSlotValue(3, 45, i1, f1, b1); }, "00FBED55AA55AA"},
      {[&] { s.ReadSlotWeight(1, 7, i1, f1); }, "00FA0107AA55AA"},
      {[&] { s.ReadSlotCount(9, i1); }, "00F94955AA55AA"},
      {[&] { s.ReadSlotGroupCount(2, 1, w1); }, "00E68155AA55AA"},
      {[&] { s.WriteCurrencyLetter(1, 2, 'U', false); }, "00FF010205A8AA"},
      {[&] { s.WriteCurrencyLetter(3, 1, 'Z', true); }, "00EF03015009AA"},
      {[&] { s.WriteSlotValue(1, 2, 0x5123456, true, 3, false); }, "00FE423D123456"},
      {[&] { s.WriteSlotValue(2, 63, 100000, false, 0, true); }, "00EEBF000186A0"},
      {[&] { s.WriteSlotWeight(1, 3, 0x012345, 3, false); }, "00FD0103812345"},
      {[&] { s.WriteSlotWeight(2, 4, 0x7FFFFF, 0, true); }, "00ED02047FFFFF"},
      {[&] { s.WriteSlotWeight(2, 4, 0x10, 1, false); }, "00FD0204800010"},
      {[&] { s.WriteSlotGroupCount(1, 5, 0x1234, false); }, "00E845123455AA"},
      {[&] { s.WriteSlotGroupCount(3, 6, 50, true); }, "00E7C6003255AA"},
      {[&] { s.WriteLegacyWeight(2, 19, 0x0A0B0C); }, "00FE02130A0B0C"},
      {[&] { s.ProtocolVersion = 2; s.WriteSlotValue(1, 1, 0x12345678, true, 5, false); s.ProtocolVersion = 4; },
       "00FE4112345678"},
  };
  std::string args;
  for (const Golden& g : golden) args += " " + g.payload.substr(2);
  std::string out;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 -c \"import binascii,sys\n"
                             "for h in sys.argv[1:]: print('%04X' % binascii.crc_hqx(bytes.fromhex(h), 0))\"" + args,
                             &out),
            0);
  ASSERT_EQ(out.size(), golden.size() * 5);
  sim->ClearRequests();
  for (size_t i = 0; i < golden.size(); ++i) {
    golden[i].run();
    auto reqs = sim->Requests();
    ASSERT_EQ(reqs.size(), i + 1) << golden[i].payload;
    const std::string_view sent(reinterpret_cast<const char*>(reqs[i].data()), 9);
    EXPECT_EQ(test::HexText(sent), golden[i].payload + out.substr(i * 5, 4));
  }
}

TEST_F(Scale, ConnectsReadsTheVersionAndTellsListeners) {
  Start(2, 0x12);
  Arrive();
  EXPECT_TRUE(scale->Connected);
  EXPECT_EQ(scale->ProductVariant, 2);
  EXPECT_EQ(scale->ProtocolVersion, 0x12u);
  EXPECT_EQ(scale->DevicePath, path);
  EXPECT_EQ(listener->status, (Statuses{{true, true}}));
  EXPECT_EQ(listener->activity, 1);  // the version query

  // The scale leaves: heard, variant forgotten.
  sys.Remove("hidraw0");
  list->Refresh();
  EXPECT_FALSE(scale->Connected);
  EXPECT_FALSE(scale->HandleOpen());
  EXPECT_EQ(scale->ProductVariant, 0);
  EXPECT_EQ(listener->status.back(), std::make_pair(false, true));
}

TEST_F(Scale, AScaleAlreadyListedIsReplayedWithoutSound) {
  sim = std::make_unique<Sim>(2, 4);
  path = sys.Add(FakeHidDevice{});
  list = std::make_unique<THIDDevices>(sys.SysfsRoot(), sys.DevRoot(), false);
  list->Refresh();
  scale = std::make_unique<TVantorel7350>(list.get(), sim->Opener());
  EXPECT_TRUE(scale->Connected);
  EXPECT_EQ(listener->status, (Statuses{{true, false}}));
  // Freed while connected: a variant-2 scale is asked to disconnect, and the
  // close is silent.
  scale.reset();
  EXPECT_EQ(sim->DisconnectRequests(), 1);
  EXPECT_EQ(listener->status.back(), std::make_pair(false, false));
}

TEST_F(Scale, ListenersMayReadWithinTheNotification) {
  Start(2, 4);
  TVantorelResult result;
  bool read = false;
  listener->onStatus = [&](bool connected) {
    if (connected) read = scale->ReadResult(result);
  };
  Arrive();
  EXPECT_TRUE(read);
  EXPECT_EQ(result.Value[4], 5000);
  EXPECT_EQ(result.GroupCount[3], 0);  // a result carries no group counts
}

TEST_F(Scale, VariantOneProbe) {
  // A product-id-1 scale that answers the probe speaks variant 2.
  Start(2, 4, 1);
  Arrive();
  EXPECT_EQ(scale->ProductVariant, 2);
  EXPECT_EQ(scale->ProtocolVersion, 4u);
  EXPECT_EQ(sim->Requests().size(), 2u);
  EXPECT_EQ(sim->Requests()[0][1], 0xF8);
  EXPECT_EQ(sim->Requests()[1][1], 0xE9);
}

TEST_F(Scale, VariantOneScaleStaysVariantOneAndWritesItsFixedTable) {
  Start(1, 1, 1);
  double t = secondsOf([&] { Arrive(); });
  EXPECT_GE(t, 1.0);  // the unanswered probe
  EXPECT_EQ(scale->ProductVariant, 1);
  EXPECT_EQ(scale->ProtocolVersion, 1u);
  EXPECT_EQ(requests(), 1u);

  TVantorelResult table;
  table.CurrencyCode = "CHF";
  table.Value[1] = 20, table.Weight[1] = 30000;
  table.Value[3] = 1000, table.SlotType[3] = 1, table.Weight[3] = 9000;  // slot 2 empty: skipped
  sim->ClearRequests();
  ASSERT_TRUE(scale->WriteCurrency(3, table, false));
  EXPECT_EQ(requests(), 3u + 20u + 2u);
  Sim::Table got = sim->GetTable(3);
  EXPECT_EQ(got.Code, "CHF");
  EXPECT_EQ(got.LegacyWeights[4], 30000);
  EXPECT_EQ(got.LegacyWeights[13], 9000);

  // A denomination the fixed table lacks fails after the twenty clearing writes.
  table.Value[5] = 300;
  sim->ClearRequests();
  EXPECT_FALSE(scale->WriteCurrency(3, table, false));
  EXPECT_EQ(requests(), 3u + 20u + 2u);
  EXPECT_EQ(sim->GetTable(3).LegacyWeights[4], 30000);
}

TEST_F(Scale, NonHexadecimalVersionKeepsTheVariant) {
  sim = std::make_unique<Sim>(2, 4);
  sim->InjectFault(Sim::Fault::NonHexVersion);
  path = sys.Add(FakeHidDevice{});
  list = std::make_unique<THIDDevices>(sys.SysfsRoot(), sys.DevRoot(), false);
  scale = std::make_unique<TVantorel7350>(list.get(), sim->Opener());
  Arrive();
  EXPECT_TRUE(scale->Connected);
  EXPECT_EQ(scale->ProtocolVersion, 2u);
}

TEST_F(Scale, ReadsAResultWithEverySlotType) {
  Start(2, 4);
  Arrive();
  sim->SetHeader(0x0102030405LL, 0xBEEF, 7);
  for (Integer i = 1; i <= 4; ++i) sim->SetCount(i, i * 11);
  TVantorelResult r;
  Cardinal before = scale->ExchangeCount;
  int activity = listener->activity;
  ASSERT_TRUE(scale->ReadResult(r));
  // 12 letters, 2 headers, 3 per filled slot, the closing slot, the disconnect request.
  EXPECT_EQ(scale->ExchangeCount - before, 12u + 2u + 3u * 4u + 1u + 1u);
  EXPECT_EQ(listener->activity - activity, 28);
  EXPECT_EQ(sim->DisconnectRequests(), 1);
  EXPECT_EQ(r.CurrencyCode, "EUR");
  EXPECT_EQ(r.HeaderValue, 0x0102030405LL);
  EXPECT_EQ(r.HeaderWord1, 0xBEEF);
  EXPECT_EQ(r.HeaderWord2, 7);
  Sim::Table t = euroTable();
  for (Integer i = 1; i <= 4; ++i) {
    EXPECT_EQ(r.Value[i], t.Slots[i].Value) << i;
    EXPECT_EQ(r.SlotType[i], t.Slots[i].SlotType) << i;
    EXPECT_EQ(r.Weight[i], t.Slots[i].Weight) << i;
    EXPECT_EQ(r.SeriesNumber[i], t.Slots[i].Series) << i;
    EXPECT_EQ(r.Count[i], i * 11) << i;
  }
  EXPECT_EQ(r.Value[5], 0);
}

TEST_F(Scale, TheCurrentCurrencyMustStandAmongTheThreeExactlyOnce) {
  Start(2, 4);
  Arrive();
  TVantorelResult r;
  sim->SetCurrentCode("GBP");
  EXPECT_FALSE(scale->ReadResult(r));
  EXPECT_EQ(r.CurrencyCode, "GBP");
  sim->SetCurrentCode("EUR");
  sim->SetTable(3, euroTable());
  EXPECT_FALSE(scale->ReadResult(r));
  EXPECT_EQ(sim->DisconnectRequests(), 0);
  sim->SetTable(1, euroTable());
  sim->SetTable(3, [] { Sim::Table t; t.Code = "CHF"; return t; }());
  EXPECT_FALSE(scale->ReadResult(r));
}

TVantorelResult tableOf(Integer slots) {
  TVantorelResult t;
  t.CurrencyCode = "SEK";
  for (Integer i = 1; i <= slots; ++i) {
    t.Value[i] = i * 100;
    t.SlotType[i] = static_cast<Byte>(i % 4);
    t.Weight[i] = 1000 + i;
    t.GroupCount[i] = static_cast<Word>(i % 4 >= 2 ? 25 : 0);
    t.SeriesNumber[i] = static_cast<Byte>(i % 16);
  }
  return t;
}

TEST_F(Scale, WriteThenReadCurrencyAtVersionFour) {
  Start(2, 4);
  Arrive();
  TVantorelResult t = tableOf(3);
  sim->ClearRequests();
  ASSERT_TRUE(scale->WriteCurrency(2, t, false));
  // Three letters, three slots of value, weight and group count, then the
  // closing zero slot without a weight.
  auto reqs = sim->Requests();
  ASSERT_EQ(reqs.size(), 3u + 9u + 1u);
  EXPECT_EQ(reqs.back()[1], 0xFE);
  EXPECT_EQ(reqs.back()[2], 0x84);
  TVantorelResult back;
  ASSERT_TRUE(scale->ReadCurrency(2, back));
  EXPECT_EQ(back.CurrencyCode, "SEK");
  for (Integer i = 1; i <= 3; ++i) {
    EXPECT_EQ(back.Value[i], t.Value[i]);
    EXPECT_EQ(back.SlotType[i], t.SlotType[i]);
    EXPECT_EQ(back.Weight[i], t.Weight[i]);
    EXPECT_EQ(back.GroupCount[i], t.GroupCount[i]);
    EXPECT_EQ(back.SeriesNumber[i], t.SeriesNumber[i]);
  }
  EXPECT_EQ(back.Value[4], 0);

  // The default set takes the second code of every pair.
  ASSERT_TRUE(scale->WriteCurrency(1, tableOf(63), true));
  Sim::Table def = sim->GetTable(1, true);
  EXPECT_EQ(def.Code, "SEK");
  EXPECT_EQ(def.Slots[63].Weight, 1063);
  EXPECT_EQ(def.Slots[62].GroupCount, 25);
  EXPECT_EQ(sim->GetTable(1).Code, "USD");
}

TEST_F(Scale, BelowVersionFourOnly31SlotsTravel) {
  Start(2, 2);
  Arrive();
  ASSERT_EQ(scale->ProtocolVersion, 2u);
  TVantorelResult t = tableOf(31);
  sim->ClearRequests();
  // A full table is a complete write, as reading one is a complete read.
  ASSERT_TRUE(scale->WriteCurrency(1, t, false));
  EXPECT_EQ(requests(), 3u + 31u * 2u);
  TVantorelResult back;
  ASSERT_TRUE(scale->ReadCurrency(1, back));
  for (Integer i = 1; i <= 31; ++i) {
    EXPECT_EQ(back.Value[i], t.Value[i]);
    EXPECT_EQ(back.Weight[i], t.Weight[i]);
    EXPECT_EQ(back.SlotType[i], t.SlotType[i] & 1);  // no package flag below version 4
    EXPECT_EQ(back.GroupCount[i], 0);
    EXPECT_EQ(back.SeriesNumber[i], 0);
  }
  // Slots 32 to 63 and every group count are refused without I/O.
  sim->ClearRequests();
  Integer v;
  bool f;
  Byte s;
  Word w;
  EXPECT_FALSE(scale->ReadSlotValue(1, 32, v, f, s));
  EXPECT_FALSE(scale->ReadSlotWeight(1, 63, v, f));
  EXPECT_FALSE(scale->ReadSlotCount(40, v));
  EXPECT_FALSE(scale->ReadCounter(0x40 | 32, v));
  EXPECT_FALSE(scale->ReadSlotGroupCount(1, 1, w));
  EXPECT_FALSE(scale->WriteSlotValue(1, 32, 1, false, 0, false));
  EXPECT_FALSE(scale->WriteSlotWeight(1, 32, 1, 0, false));
  EXPECT_FALSE(scale->WriteSlotGroupCount(1, 1, 1, false));
  EXPECT_EQ(requests(), 0u);
}

TEST_F(Scale, RefusedParametersDoNoIO) {
  Start(2, 4);
  Arrive();
  sim->ClearRequests();
  TVantorelResult t = tableOf(2);
  AnsiString code;
  EXPECT_FALSE(scale->WriteCurrency(0, t, false));
  EXPECT_FALSE(scale->ReadCurrency(0, t));
  EXPECT_FALSE(scale->ReadCurrencyCode(4, code));
  for (const char* bad : {"EU", "EURO", "EuR", "E1R"}) {
    t.CurrencyCode = bad;
    EXPECT_FALSE(scale->WriteCurrency(1, t, false)) << bad;
  }
  EXPECT_FALSE(scale->WriteSlotWeight(0, 1, 1, 0, false));
  EXPECT_FALSE(scale->WriteSlotWeight(1, 1, 0x800000, 0, false));
  EXPECT_FALSE(scale->WriteSlotWeight(1, 1, -1, 0, false));
  EXPECT_FALSE(scale->WriteLegacyWeight(1, 20, 1));
  EXPECT_FALSE(scale->WriteLegacyWeight(0, 1, 1));
  EXPECT_FALSE(scale->WriteLegacyWeight(1, 1, 0x800000));
  EXPECT_FALSE(scale->WriteSlotValue(1, 1, 0x8000000, false, 0, false));  // more than 27 bits
  EXPECT_EQ(requests(), 0u);

  // Not connected: everything fails without I/O.
  sys.Remove("hidraw0");
  list->Refresh();
  EXPECT_FALSE(scale->ReadResult(t));
  EXPECT_FALSE(scale->ReadCurrencyCode(1, code));
  EXPECT_EQ(code, "   ");
  EXPECT_FALSE(scale->WriteCurrency(1, tableOf(2), false));
  scale->RequestDisconnect();
  EXPECT_EQ(requests(), 0u);
}

TEST_F(Scale, ASilentScaleTimesOutAndRecovers) {
  Start(2, 4);
  Arrive();
  sim->SetSilent(true);
  AnsiString code;
  double t = secondsOf([&] { EXPECT_FALSE(scale->ReadCurrencyCode(1, code)); });
  EXPECT_GE(t, 1.0);
  EXPECT_LT(t, 1.2);
  EXPECT_TRUE(scale->Connected);  // failures never close the handle
  sim->SetSilent(false);
  EXPECT_TRUE(scale->ReadCurrencyCode(1, code));
  EXPECT_EQ(code, "USD");
}

TEST_F(Scale, InjectedFaultsFailTheExchangeAndTheNextOneWorks) {
  Start(2, 4);
  Arrive();
  for (Sim::Fault f : {Sim::Fault::BadCRC, Sim::Fault::WrongEcho, Sim::Fault::Silence, Sim::Fault::ShortReply}) {
    sim->InjectFault(f);
    AnsiString code;
    int activity = listener->activity;
    EXPECT_FALSE(scale->ReadCurrencyCode(2, code)) << int(f);
    EXPECT_EQ(listener->activity - activity, f == Sim::Fault::Silence ? 0 : 1) << int(f);
    ASSERT_TRUE(scale->ReadCurrencyCode(2, code)) << int(f);
    EXPECT_EQ(code, "EUR");
  }
  // An unknown letter pair reads as "?" and the read succeeds.
  sim->InjectFault(Sim::Fault::UnknownLetterPair);
  AnsiString code;
  ASSERT_TRUE(scale->ReadCurrencyCode(2, code));
  EXPECT_EQ(code, "?UR");
}

TEST_F(Scale, ALateReplyDoesNotShiftTheExchangesAfterIt) {
  Start(2, 4);
  Arrive();
  sim->SetLateReplyMs(1100);
  sim->InjectFault(Sim::Fault::LateReply);
  char letter;
  const Integer replies = sim->RepliesSent();
  double t = secondsOf([&] { EXPECT_FALSE(scale->ReadCurrencyLetter(1, 1, letter)); });
  EXPECT_LT(t, 1.2);
  // The late reply arrives before the next request goes out; it must not be
  // taken for that request's reply. Waited for, not slept for: on a busy
  // machine the simulator may send it later than planned.
  for (int i = 0; i < 1000 && sim->RepliesSent() == replies; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(sim->RepliesSent(), replies + 1);
  Integer w1 = 0, w2 = 0;
  sim->SetHeader(0, 0x1111, 0x2222);
  EXPECT_TRUE(scale->ReadHeaderWords(w1, w2));
  EXPECT_EQ(w1, 0x1111);
  TVantorelResult r;
  EXPECT_TRUE(scale->ReadResult(r));
}

TEST_F(Scale, ACrcValidReplyWithAnotherCommandByteFails) {
  Start(2, 4);
  Arrive();
  sim->InjectFault(Sim::Fault::WrongEcho);
  int64_t v;
  EXPECT_FALSE(scale->ReadHeaderValue(v));  // echo count 0 still checks the command byte
}

TEST_F(Scale, AnotherScaleNeitherTakesOverNorClosesTheOpenOne) {
  Start(2, 4);
  FakeHidDevice other;
  other.Node = "hidraw1";
  other.Instance = 9;
  std::string otherPath = sys.Add(other);
  Arrive();
  ASSERT_TRUE(test::PumpUntil([&] { return list->Devices().Count() == 2; }));
  EXPECT_EQ(scale->DevicePath, path);
  sys.Remove("hidraw1");
  list->Refresh();
  EXPECT_TRUE(scale->Connected);
  EXPECT_EQ(scale->DevicePath, path);
  EXPECT_EQ(listener->status, (Statuses{{true, true}}));
  AnsiString code;
  EXPECT_TRUE(scale->ReadCurrencyCode(1, code));
}

TEST_F(Scale, AFailedOpenTellsNobodyAndReportsErrno) {
  sim = std::make_unique<Sim>(2, 4);
  sim->SetOpenable(false);
  path = sys.Add(FakeHidDevice{});
  list = std::make_unique<THIDDevices>(sys.SysfsRoot(), sys.DevRoot(), false);
  TDebugCapture capture;
  scale = std::make_unique<TVantorel7350>(list.get(), sim->Opener());
  list->Refresh();
  EXPECT_FALSE(scale->Connected);
  EXPECT_TRUE(listener->status.empty());
  bool found = false;
  for (const std::string& line : capture.Lines()) found |= line.find("errno 13") != std::string::npos;
  EXPECT_TRUE(found);

  // The real opener says the same for a node that is not there.
  TVantorel7350 real(nullptr);
  real.DeviceNode = dir.File("hidraw9");
  real.ProductVariant = 2;
  real.Connect(true);
  EXPECT_FALSE(real.Connected);
  EXPECT_NE(capture.Lines().back().find("errno 2)"), std::string::npos);
}

TEST_F(Scale, TheReturnAfterAReadOutIsHeardWhileListenersRun) {
  // After a read-out the scale leaves and comes back; the notice arrives
  // while the listener that read is still being called.
  Start(2, 4);
  int reads = 0;
  listener->onStatus = [&](bool connected) {
    if (!connected || reads++ > 0) return;
    TVantorelResult r;
    EXPECT_TRUE(scale->ReadResult(r));
    sys.Remove("hidraw0");
    FakeHidDevice back;
    back.Instance = 2;
    sys.Add(back);
    PostMessage(list->WindowHandle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    test::PumpFor(30);  // a modal loop of the listener dispatches it
  };
  Arrive();
  ASSERT_TRUE(test::PumpUntil([&] { return listener->status.size() >= 3; }));
  EXPECT_EQ(listener->status, (Statuses{{true, true}, {false, true}, {true, true}}));
  EXPECT_TRUE(scale->Connected);
  EXPECT_NE(scale->DevicePath, path);
}

}  // namespace
}  // namespace px
