// The program started in-process on a fresh home: what the main window, the
// action module and the status screen show, and how frames are switched.
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QMenuBar>
#include <QWidget>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/Startup.h"
#include "app/UnitDatasets.h"
#include "app/UnitInformationFrame.h"
#include "app/UnitMain.h"
#include "app/UnitMainFormActions.h"
#include "app/UnitSettings.h"
#include "app/UnitSettingsFrame.h"
#include "app/UnitStatusFrame.h"
#include "device/UnitHID.h"
#include "device/UnitVantorel7350.h"
#include "device/scalesim/FakeHidSysfs.h"
#include "device/scalesim/ScaleSimulator.h"
#include "device/scalesim/SimulatedScale.h"
#include "platform/core/Debug.h"
#include "platform/core/Registry.h"
#include "support/FileSizeLimit.h"
#include "ui/framework/UnitImage.h"
#include "ui/framework/UnitTranslation.h"

namespace px::test {
namespace {

namespace fs = std::filesystem;

const std::string shipped = std::string(PX_APP_DATA_DIR) + "/";

// A started program: fresh home, a copy of the shipped .lang (changed when a
// test asks), a private device tree with or without a simulated scale.
class Program {
 public:
  // With a simulated scale, its device tree takes the place of the test's.
  explicit Program(const std::string& langExtra = "", Integer variant = 0, TSimulatedScale* simulated = nullptr)
      : tree_(home_.Dir().Path() / "devices") {
    std::string lang = ReadFileBytes(shipped + "Pondarix7350.lang");
    lang += langExtra;
    langFile_ = home_.Dir().File("Pondarix7350.lang");
    WriteFileBytes(langFile_, lang);
    oldDlg_ = SetMessageDlgHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      boxes.push_back(text);
      return mrOk;
    });
    oldTone_ = SetToneSink([this](Cardinal f, Cardinal d) { tones.emplace_back(f, d); });
    oldBeep_ = [] {};
    SetBeepHandler([this] { ++beeps; });
    TProgramSetup setup;
    setup.ShippedFolder = shipped;
    setup.TranslationFile = langFile_;
    fs::create_directories(home_.Dir().Path() / "devices" / "sys" / "class" / "hidraw");
    fs::create_directories(home_.Dir().Path() / "devices" / "dev");
    if (variant) {
      scale = std::make_unique<TScaleSimulator>(variant, 4);
      device_.ProductId = static_cast<Word>(variant);
      tree_.Add(device_);
      setup.Opener = scale->Opener();
    }
    setup.SysfsRoot = simulated ? simulated->SysfsRoot() : tree_.SysfsRoot();
    setup.DevRoot = simulated ? simulated->DevRoot() : tree_.DevRoot();
    if (simulated) setup.Opener = simulated->Opener();
    setup.WatchHotPlug = false;
    InitializeProgram(setup);
    SetBeepHandler([this] { ++beeps; });  // the application object installed its own
    form = dynamic_cast<TfrmMain*>(CreateMainBlock(true));
    Application->ProcessMessages();  // the device list's first scan
  }
  ~Program() {
    Application->DestroyComponents();
    FinalizeProgram();
    SetToneSink(oldTone_);
    SetMessageDlgHook(oldDlg_);
  }
  void Unplug() {
    tree_.Remove(device_.Node);
    HIDDevices->Refresh();
  }
  void Plug() {
    ++device_.Instance;
    tree_.Add(device_);
    HIDDevices->Refresh();
  }
  TfraStatus* Status() const { return dynamic_cast<TfraStatus*>(form->MenuLink()->GetComponent()); }
  const FreshHome& Home() const { return home_; }

  TfrmMain* form = nullptr;
  std::unique_ptr<TScaleSimulator> scale;
  std::vector<std::string> boxes;
  std::vector<std::pair<Cardinal, Cardinal>> tones;
  int beeps = 0;

 private:
  FreshHome home_;
  FakeHidSysfs tree_;
  FakeHidDevice device_;
  std::string langFile_;
  TMessageDlgHook oldDlg_;
  TToneSink oldTone_;
  std::function<void()> oldBeep_;
};

std::vector<std::string> menuTexts(TMenuItem* item) {
  std::vector<std::string> out;
  for (Integer i = 0; i < item->Count(); ++i) out.push_back(item->Items(i)->Caption());
  return out;
}

TEST(Shell, FirstRunInAFreshHome) {
  Program p;
  // Settings written at start, data folder filled from the shipped files.
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(TSettings::KeyPath, false));
  EXPECT_EQ(reg.GetDataType("Device"), rdInteger);
  EXPECT_EQ(reg.GetDataType("Datasets"), rdString);
  const fs::path data = p.Home().Dir().Path() / ".local/share/Pondarix";
  for (const char* name : TVantorelDataSets::FileNames) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadFileBytes(data / name), ReadFileBytes(shipped + name));
  }
  EXPECT_EQ(fs::status(data).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_TRUE(p.boxes.empty());

  TfrmMain* f = p.form;
  EXPECT_EQ(f->Caption(), Translate("MainformTitle"));
  EXPECT_EQ(f->Caption(), "Pondarix 7350 - Cash counting");
  ASSERT_EQ(f->cbMain->CategoryCount(), 1);
  TButtonCategory* general = f->cbMain->Categories(0);
  EXPECT_EQ(general->Caption(), "General");
  std::vector<std::string> buttons;
  for (Integer i = 0; i < general->Count(); ++i) buttons.push_back(general->Items(i)->Caption());
  EXPECT_EQ(buttons, (std::vector<std::string>{"Count", "Settings", "Information", "Users", "History"}));
  EXPECT_EQ(menuTexts(f->mmMenu->Items()), (std::vector<std::string>{"&File", "&Help"}));
  EXPECT_EQ(menuTexts(f->mmMenu->Items()->Items(0)), (std::vector<std::string>{"E&xit"}));
  EXPECT_EQ(menuTexts(f->mmMenu->Items()->Items(1)), (std::vector<std::string>{"&Help", "&About..."}));

  // Settings screen in the client area, status frame at the bottom of the menu panel.
  ASSERT_NE(f->ContentLink(), nullptr);
  auto* settings = dynamic_cast<TfraSettings*>(f->ContentLink()->GetComponent());
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->Parent(), f);
  EXPECT_EQ(settings->pnlMain->Caption(), "Settings");
  TfraStatus* status = p.Status();
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->Parent(), f->pnlMenu);
  EXPECT_EQ(status->Top() + status->Height(), f->pnlMenu->ClientHeight() - 2);
  EXPECT_GT(status->Top(), f->cbMain->Top());
  EXPECT_EQ(status->pnlDate->Caption(), "");
  EXPECT_FALSE(status->btnDisconnect->Enabled());

  // Help opens through the shell.
  std::vector<std::string> opened;
  auto old = SetShellOpenHook([&](const std::string& t) { opened.push_back(t); });
  f->mmMenu->Items()->Items(1)->Items(0)->Click();
  SetShellOpenHook(old);
  EXPECT_EQ(opened, (std::vector<std::string>{Translate("HelpFilename")}));
}

TEST(Shell, TheFeedbackItemNeedsATextOfTwoCharacters) {
  const struct {
    const char* text;
    std::vector<std::string> help;
  } cases[] = {
      {"Send feedback", {"&Help", "Send feedback", "&About..."}},
      {"x", {"&Help", "&About..."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Program p(std::string("TdmMainFormFiller.MenuFeedback=") + c.text + "\n");
    EXPECT_EQ(menuTexts(p.form->mmMenu->Items()->Items(1)), c.help);
  }
}

TEST(Shell, ASecondStartKeepsAChangedDataFile) {
  fs::path data;
  {
    Program first;
    data = first.Home().Dir().Path() / ".local/share/Pondarix";
  }
  // The home is gone with the first program; a new one gets a changed file.
  Program p;
  const fs::path file = p.Home().Dir().Path() / ".local/share/Pondarix/Denominations.dat";
  auto sets = QVRSystem->GetService<IVantorelDataSets>();
  IMemDataSet table;
  sets->GetDataSet(0, table);
  table->First()->SetAnsiString(0, "XYZ");
  sets->Save(0);
  const std::string changed = ReadFileBytes(file);
  ASSERT_NE(changed, ReadFileBytes(shipped + "Denominations.dat"));
  FinalizeDataSets();
  InitializeDataSets(shipped);
  EXPECT_EQ(ReadFileBytes(file), changed);
  QVRSystem->GetService<IVantorelDataSets>()->GetDataSet(0, table);
  EXPECT_EQ(table->First()->GetAnsiString(0), "XYZ");

  // A file that cannot be copied in (the disk is full) stops the start with
  // its name; no piece of it is left in the folder.
  FinalizeDataSets();
  const fs::path currencies = file.parent_path() / "Currencies.dat";
  fs::remove(currencies);
  const auto before = std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator());
  {
    FileSizeLimit full(100);
    try {
      InitializeDataSets(shipped);
      ADD_FAILURE() << "copied onto a full disk";
    } catch (const EFCreateError& e) {
      EXPECT_NE(e.Message().find(currencies.string()), std::string::npos) << e.Message();
    }
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), before);
  InitializeDataSets(shipped);
  EXPECT_EQ(ReadFileBytes(currencies), ReadFileBytes(shipped + "Currencies.dat"));
}

// A frame that may refuse to be replaced.
class TRefusingFrame : public TQVRFrame, public IFrameCloseQuery {
 public:
  explicit TRefusingFrame(TComponent* owner) : TQVRFrame(owner), serial(++made) { ++alive; }
  ~TRefusingFrame() override { --alive; }
  void CloseQuery(bool& canClose) override { canClose = allow; }
  // Freed frames' addresses are reused, so instances are told apart by number.
  const int serial;
  static inline bool allow = true;
  static inline int alive = 0;
  static inline int made = 0;
};

TEST(Shell, ShowFrameAsksTheCurrentFrameAndFreesIt) {
  Program p;
  QVRSystem->RegisterControl<TRefusingFrame>(7);
  auto filler = QVRSystem->GetService<IMainFormFiller>();
  // A number twice: a fresh instance, the first freed.
  IQVRLink* first = filler->ShowFrame(7);
  ASSERT_NE(first, nullptr);
  auto* firstFrame = dynamic_cast<TRefusingFrame*>(first);
  ASSERT_NE(firstFrame, nullptr);
  const int firstSerial = firstFrame->serial;
  IQVRLink* second = filler->ShowFrame(7);
  ASSERT_NE(second, nullptr);
  auto* secondFrame = dynamic_cast<TRefusingFrame*>(second);
  ASSERT_NE(secondFrame, nullptr);
  EXPECT_NE(firstSerial, secondFrame->serial);
  EXPECT_EQ(TRefusingFrame::alive, 1);
  // A refusal beeps, keeps the frame and answers nil.
  TRefusingFrame::allow = false;
  const int beeps = p.beeps;
  EXPECT_EQ(filler->ShowFrame(2), nullptr);
  EXPECT_EQ(p.beeps, beeps + 1);
  EXPECT_EQ(p.form->ContentLink(), second);
  TRefusingFrame::allow = true;
  // An unknown number fails after the old frame was released.
  try {
    filler->ShowFrame(9);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unknown control ID: 9");
  }
  EXPECT_EQ(TRefusingFrame::alive, 0);
  EXPECT_EQ(p.form->ContentLink(), nullptr);
  // The Information button shows frame 2.
  p.form->cbMain->Categories(0)->Items(2)->Action()->Execute();
  ASSERT_NE(p.form->ContentLink(), nullptr);
  auto* info = dynamic_cast<TfraInformation*>(p.form->ContentLink()->GetComponent());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->pnlMain->Caption(), "Information");
  EXPECT_EQ(info->pnlMain->TitleHeight(), 24);
  QVRSystem->UnregisterControl(7);
}

TEST(Shell, MainFormBarMenuAndPanelEdges) {
  Program p;
  TfrmMain* f = p.form;
  f->SetStatusPanelCount(2);
  EXPECT_EQ(f->sbMain->Panels().Count(), 2);
  EXPECT_EQ(f->sbMain->Panels().Items(1).Width, 150);
  f->SetStatusPanelText(1, "one");
  f->SetStatusPanelText(2, "beyond");
  f->SetStatusPanelText(-1, "before");
  EXPECT_EQ(f->sbMain->Panels().Items(0).Text, "");
  EXPECT_EQ(f->sbMain->Panels().Items(1).Text, "one");
  f->SetStatusPanelCount(-3);
  EXPECT_EQ(f->sbMain->Panels().Count(), 0);
  // Same category, same menu: one of each.
  auto* filler = dynamic_cast<TdmMainFormFiller*>(QVRSystem->GetService<IMainFormFiller>().get());
  ASSERT_NE(filler, nullptr);
  f->AddCategoryButton("General", filler->acAbout);
  EXPECT_EQ(f->cbMain->CategoryCount(), 1);
  EXPECT_EQ(f->cbMain->Categories(0)->Count(), 6);
  f->AddMenuItem("&File", filler->acHelp);
  EXPECT_EQ(f->mmMenu->Items()->Count(), 2);
  EXPECT_EQ(f->mmMenu->Items()->Items(0)->Count(), 2);
  // A collapsed category opens again at once.
  f->cbMain->Categories(0)->SetCollapsed(true);
  f->cbMain->OnCategoryCollapase(f->cbMain, f->cbMain->Categories(0));
  EXPECT_FALSE(f->cbMain->Categories(0)->Collapsed());
  // Without a main window the filler does nothing.
  filler->SetMainForm(nullptr);
  EXPECT_EQ(filler->ShowFrame(2), nullptr);
  filler->SetMainForm(f);
}

// The menu bar spans the window whatever its size: a window resized from
// outside (the user, the window manager) takes it along.
TEST(Shell, TheMenuBarFollowsTheWindowsWidth) {
  Program p;
  TfrmMain* f = p.form;
  f->Widget()->show();
  Application->ProcessMessages();
  for (int width : {1180, 960}) {
    f->Widget()->resize(width, 700);
    Application->ProcessMessages();
    EXPECT_EQ(f->Width(), width);
    EXPECT_EQ(f->MenuBar()->width(), width);
  }
}

// The program's windows and dialogs carry its own icon: the count image of
// the category bar.
TEST(Shell, TheWindowsCarryTheCountImageAsTheirIcon) {
  Program p;
  const QIcon icon = QGuiApplication::windowIcon();
  ASSERT_FALSE(icon.isNull());
  auto images = std::dynamic_pointer_cast<TImageLists>(QVRSystem->GetService<IImageLists>());
  ASSERT_NE(images, nullptr);
  const QImage strip = images->Strip("IMAGES80").ToQImage();
  const int size = strip.width();
  const QImage count = strip.copy(0, p.form->cbMain->Categories(0)->Items(0)->ImageIndex() * size, size, size);
  EXPECT_EQ(icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32), count);
}

QImage grab(TControl* c) { return dynamic_cast<TWinControl*>(c)->Widget()->grab().toImage(); }

TEST(Shell, StatusScreenFollowsTheSimulatedScale) {
  Program p("", 2);
  TfraStatus* s = p.Status();
  // Present at start: no tones. The settings screen read the scale's
  // currencies when it connected, which the panel shows as activity.
  EXPECT_EQ(s->pnlDate->Caption(), " Active");
  EXPECT_TRUE(Vantorel7350->Connected);
  EXPECT_TRUE(p.tones.empty());
  EXPECT_TRUE(s->btnDisconnect->Enabled());

  p.Unplug();
  EXPECT_EQ(p.tones, (std::vector<std::pair<Cardinal, Cardinal>>{{1100, 100}, {1000, 100}}));
  EXPECT_EQ(s->pnlDate->Caption(), "");
  EXPECT_FALSE(s->btnDisconnect->Enabled());

  p.tones.clear();
  p.Plug();
  ASSERT_TRUE(Vantorel7350->Connected);
  EXPECT_EQ(p.tones, (std::vector<std::pair<Cardinal, Cardinal>>{{1000, 100}, {1100, 100}}));
  EXPECT_EQ(s->pnlDate->Caption(), " Active");
  // The exchanges of the connection animated the panel on from image 1; the
  // image of the current step is drawn at (w - 40, (h - 32) div 2).
  const Integer step = s->AnimationStep();
  QImage shot = grab(s->pnlDate);
  const int x = s->pnlDate->Width() - 40, y = (s->pnlDate->Height() - 32) / 2;
  QImage strip;
  ASSERT_TRUE(strip.load(QString::fromStdString(std::string(PX_APP_DATA_DIR) + "/images/PROGRESS.png")));
  // The lit dot of the step's image is green on the panel.
  int lit = 0;
  for (int yy = 0; yy < 32; ++yy)
    for (int xx = 0; xx < 32; ++xx) {
      const QColor want = strip.pixelColor(xx, step * 32 + yy);
      if (want.alpha() == 255 && want.green() > 120 && want.red() < 90)
        lit += shot.pixelColor(x + xx, y + yy) == QColor(want.red(), want.green(), want.blue()) ? 1 : 0;
    }
  EXPECT_GT(lit, 20);

  // Six activities walk round the strip.
  std::vector<Integer> steps;
  for (int i = 0; i < 6; ++i) {
    s->DeviceActivity();
    steps.push_back(s->AnimationStep());
  }
  std::vector<Integer> expected;
  for (int i = 1; i <= 6; ++i) expected.push_back((step + i) % 6);
  EXPECT_EQ(steps, expected);

  s->btnDisconnect->Click();
  EXPECT_EQ(p.scale->DisconnectRequests(), 1);
}

TEST(Shell, SimulatedScaleLeavesAfterAReadOutUntilItsFileChanges) {
  using namespace std::chrono_literals;
  TempDir dir;
  const std::string file = dir.File("scale.txt");
  std::string text = ReadFileBytes(std::string(PX_SOURCE_DIR) + "/resources/scale-sample.txt");
  WriteFileBytes(file, text);
  // A new result: another count of slot 8, saved with a later time.
  auto save = [&](const std::string& count) {
    const size_t at = text.find("count 8 ");
    text.replace(at, text.find('\n', at) - at, "count 8 " + count);
    const auto before = fs::last_write_time(file);
    WriteFileBytes(file, text);
    fs::last_write_time(file, before + 1s);
  };
  TSimulatedScale sim(file, dir.Path() / "devices");
  Program p("", 0, &sim);
  ASSERT_TRUE(Vantorel7350->Connected);
  const auto t0 = TSimulatedScale::Clock::now();
  auto connectedAt = [&](std::chrono::milliseconds at) {
    if (sim.Poll(t0 + at)) HIDDevices->Refresh();
    return Vantorel7350->Connected;
  };
  TVantorelResult result;

  // Asked to disconnect from the status screen: back a second later.
  p.Status()->btnDisconnect->Click();
  EXPECT_FALSE(connectedAt(0ms));
  EXPECT_FALSE(connectedAt(999ms));
  EXPECT_TRUE(connectedAt(1000ms));

  // A new result while it is present: it leaves and comes back with it.
  save("5");
  EXPECT_FALSE(connectedAt(1000ms));
  EXPECT_TRUE(connectedAt(1000ms));

  // A read-out (it ends with a disconnect request): away until the next
  // result, however long that takes.
  ASSERT_TRUE(Vantorel7350->ReadResult(result));
  EXPECT_EQ(result.Count[8], 5);
  EXPECT_FALSE(connectedAt(1100ms));
  EXPECT_FALSE(connectedAt(600s));
  save("7");
  EXPECT_TRUE(connectedAt(601s));
  ASSERT_TRUE(Vantorel7350->ReadResult(result));
  EXPECT_EQ(result.Count[8], 7);

  // The next result saved before the scale had even left: back at once.
  save("8");
  EXPECT_FALSE(connectedAt(602s));
  EXPECT_TRUE(connectedAt(602s));
  ASSERT_TRUE(Vantorel7350->ReadResult(result));
  EXPECT_EQ(result.Count[8], 8);
  EXPECT_EQ(sim.Simulator().DisconnectRequests(), 4);
}

TEST(Shell, StatusScreenAfterConnectShowsTwoToOneAndVariantOneCannotDisconnect) {
  {
    // Straight from the Part: a connect shows image 1, six activities 2,3,4,5,0,1.
    Program p;
    TfraStatus* s = p.Status();
    s->DeviceStatusChanged(true, true);
    EXPECT_EQ(s->AnimationStep(), 1);
    std::vector<Integer> steps;
    for (int i = 0; i < 6; ++i) {
      s->DeviceActivity();
      steps.push_back(s->AnimationStep());
    }
    EXPECT_EQ(steps, (std::vector<Integer>{2, 3, 4, 5, 0, 1}));
  }
  Program p("", 1);
  EXPECT_TRUE(Vantorel7350->Connected);
  EXPECT_EQ(p.Status()->pnlDate->Caption(), "Active");
  EXPECT_FALSE(p.Status()->btnDisconnect->Enabled());
}

TEST(Shell, AShippedFileThatIsMissingStopsTheStart) {
  FreshHome home;
  TempDir ship;
  for (const char* name : {"Denominations.dat", "Currencies.dat"})
    fs::copy_file(shipped + name, ship.Path() / name);
  std::vector<std::string> boxes;
  auto old = SetMessageDlgHook([&](const std::string& t, TMsgDlgType, TMsgDlgButtons) {
    boxes.push_back(t);
    return mrOk;
  });
  TProgramSetup setup;
  setup.ShippedFolder = ship.Path().string() + "/";
  setup.TranslationFile = shipped + "Pondarix7350.lang";
  setup.SysfsRoot = ship.File("nothing");
  setup.WatchHotPlug = false;
  EXPECT_THROW(InitializeProgram(setup), EFOpenError);
  SetMessageDlgHook(old);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Official.dat"), std::string::npos);
  EXPECT_EQ(QVRSystem, nullptr);
  EXPECT_EQ(Application, nullptr);
}

}  // namespace
}  // namespace px::test
