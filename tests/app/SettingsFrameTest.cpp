// The settings screen as frame 3 of the real main window, started on a fresh
// home with the shipped dataset files, against the simulated scale on a fake
// device tree: its grids and filters, the currency combos and the
// connection, programming currencies into the scale (read back from the
// simulator, never from our own code), reading the weights back, saving, the
// dialogs, the language and the general settings.
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "FakeHidSysfs.h"
#include "ScaleSimulator.h"
#include "app/Startup.h"
#include "app/UnitDatasets.h"
#include "app/UnitMain.h"
#include "app/UnitSetOther.h"
#include "app/UnitSetPassword.h"
#include "app/UnitSetWeight.h"
#include "app/UnitSettings.h"
#include "app/UnitSettingsFrame.h"
#include "data/UnitLocales.h"
#include "device/UnitHID.h"
#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/Registry.h"
#include "platform/gui/Dialogs.h"
#include "ui/framework/UnitTranslation.h"

namespace px::test {
namespace {

namespace fs = std::filesystem;

const std::string shipped = std::string(PX_APP_DATA_DIR) + "/";

// The program started on a fresh home with the main window shown; the
// settings screen is its content. A scale of the given variant and protocol
// is plugged in before the first scan when variant is not 0.
struct AppOptions {
  Integer Variant = 0;
  Cardinal Protocol = 4;
  std::string Lang;  // the translation file; empty: the shipped one
  std::function<void(TScaleSimulator&)> Prepare;
};

class SettingsApp {
 public:
  using Options = AppOptions;
  SettingsApp() : SettingsApp(Options{}) {}
  explicit SettingsApp(const Options& o) : tree_(home_.Dir().Path() / "devices") {
    const std::string lang = home_.Dir().File("Pondarix7350.lang");
    WriteFileBytes(lang, o.Lang.empty() ? ReadFileBytes(shipped + "Pondarix7350.lang") : o.Lang);
    oldDlg_ = SetMessageDlgHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      boxes.push_back(text);
      return answer;
    });
    oldTone_ = SetToneSink([](Cardinal, Cardinal) {});
    fs::create_directories(home_.Dir().Path() / "devices/sys/class/hidraw");
    fs::create_directories(home_.Dir().Path() / "devices/dev");
    TProgramSetup setup;
    setup.ShippedFolder = shipped;
    setup.TranslationFile = lang;
    setup.SysfsRoot = tree_.SysfsRoot();
    setup.DevRoot = tree_.DevRoot();
    setup.WatchHotPlug = false;
    if (o.Variant) {
      scale = std::make_unique<TScaleSimulator>(o.Variant, o.Protocol);
      if (o.Prepare) o.Prepare(*scale);
      device_.ProductId = static_cast<Word>(o.Variant);
      tree_.Add(device_);
      setup.Opener = scale->Opener();
    }
    InitializeProgram(setup);
    SetBeepHandler([] {});
    form = dynamic_cast<TfrmMain*>(CreateMainBlock(true));
    Application->ProcessMessages();  // the device list's first scan
  }
  ~SettingsApp() {
    Application->DestroyComponents();
    FinalizeProgram();
    SetToneSink(oldTone_);
    SetMessageDlgHook(oldDlg_);
  }
  SettingsApp(const SettingsApp&) = delete;
  SettingsApp& operator=(const SettingsApp&) = delete;

  TfraSettings* Frame() const {
    return form->ContentLink() ? dynamic_cast<TfraSettings*>(form->ContentLink()->GetComponent()) : nullptr;
  }
  IMemDataSet Table(Integer index) const {
    IMemDataSet t;
    QVRSystem->GetService<IVantorelDataSets>()->GetDataSet(index, t);
    return t;
  }
  std::string DataFile(const char* name) const { return home_.Dir().File(std::string(".local/share/Pondarix/") + name); }
  const FreshHome& Home() const { return home_; }
  void Unplug() {
    tree_.Remove(device_.Node);
    HIDDevices->Refresh();
  }
  void Plug() {
    ++device_.Instance;
    tree_.Add(device_);
    HIDDevices->Refresh();
  }

  TfrmMain* form = nullptr;
  std::unique_ptr<TScaleSimulator> scale;
  std::vector<std::string> boxes;
  TModalResult answer = mrYes;

 private:
  FreshHome home_;
  FakeHidSysfs tree_;
  FakeHidDevice device_;
  TMessageDlgHook oldDlg_;
  TToneSink oldTone_;
};

TEST(SettingsFrame, OpensOnTheMainWindowWithItsGrids) {
  SettingsApp app;
  TfraSettings* f = app.Frame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Parent(), app.form);
  EXPECT_TRUE(app.boxes.empty());
  // Hidden as the screen starts: the general settings, the other items and
  // the device choice; the save button stands beside the language choice.
  EXPECT_FALSE(f->gbGenericSettings->Visible());
  EXPECT_FALSE(f->pnlOthers->Visible());
  EXPECT_FALSE(f->rgDevice->Visible());
  EXPECT_TRUE(f->gbCurrency->Visible());
  EXPECT_EQ(f->btnSaveSettings->Parent(), f->rgLanguage->Parent());
  EXPECT_EQ(f->btnSaveSettings->Left(), f->rgLanguage->Left() + f->rgLanguage->Width() + 10);
  EXPECT_EQ(f->btnSaveSettings->Caption(), "Save");
  EXPECT_TRUE(f->cbOnlyOfficial->Checked());
  EXPECT_FALSE(f->btnChangeCurrency->Enabled());
  EXPECT_FALSE(f->btnDownloadWeights->Enabled());
  EXPECT_EQ(f->cbCurrency1->CaptionLabel()->Caption(), "Currencies in the scale");
  EXPECT_EQ(f->pnlDenominations->Caption(), "Denominations");

  // Every shipped currency lists; choosing one shows its denominations.
  EXPECT_EQ(f->lstCurrencies->RootNodeCount(), static_cast<Cardinal>(app.Table(1)->GetRecordCount()));
  PNTNode node = f->lstCurrencies->GetFirst();
  while (node && f->lstCurrencies->GetNodeRecord(node)->GetAnsiStringByName("Name") != "EUR")
    node = f->lstCurrencies->GetNext(node);
  ASSERT_NE(node, nullptr);
  f->lstCurrencies->SetFocusedNode(node);
  f->lstCurrencies->ClickTimer().OnTimer(nullptr);
  EXPECT_EQ(f->CurrentCurrency(), "EUR");
  EXPECT_EQ(f->pnlDenominations->Caption(), "Euro EUR");
  EXPECT_EQ(f->lstDenominations->RootNodeCount(), 15u);
  EXPECT_TRUE(f->acOtherAdd->Enabled());

}

}  // namespace
}  // namespace px::test
