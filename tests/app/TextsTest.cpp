// Every text of the shell's screens and dialogs comes from the translation
// file: nothing looked up is missing from it, and no shown text is a raw key.
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/Startup.h"
#include "app/UnitAbout.h"
#include "app/UnitGetPassword.h"
#include "app/UnitSetOther.h"
#include "app/UnitSetPassword.h"
#include "app/UnitSetWeight.h"
#include "app/UnitStatusFrame.h"
#include "app/UnitMain.h"
#include "platform/core/IniFiles.h"
#include "platform/core/StringList.h"
#include "ui/framework/UnitTranslation.h"

namespace px::test {
namespace {

const std::string shipped = std::string(PX_APP_DATA_DIR) + "/";

std::vector<std::string> keysOf(const std::string& file) {
  TMemIniFile ini(file);
  TStringList keys;
  ini.ReadSection("enUS", keys);
  std::vector<std::string> out;
  for (Integer i = 0; i < keys.Count(); ++i) out.push_back(keys[i]);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Texts, RecordModeAddsNoKey) {
  FreshHome home;
  TempDir dir;
  const std::string lang = dir.File("Pondarix7350.lang");
  std::filesystem::copy_file(shipped + "Pondarix7350.lang", lang);
  const auto before = keysOf(lang);
  setenv("PX_TRANSLATION_RECORD", "1", 1);
  auto oldModal = SetShowModalHook([](TForm&) { return mrCancel; });
  auto oldDlg = SetMessageDlgHook([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrOk; });
  TProgramSetup setup;
  setup.ShippedFolder = shipped;
  setup.TranslationFile = lang;
  setup.SysfsRoot = dir.File("none");
  setup.WatchHotPlug = false;
  InitializeProgram(setup);
  ASSERT_TRUE(Translations->RecordMode());
  auto* form = dynamic_cast<TfrmMain*>(CreateMainBlock(true));
  auto filler = QVRSystem->GetService<IMainFormFiller>();
  filler->ShowFrame(2);
  filler->ShowFrame(3);
  dynamic_cast<TfraStatus*>(form->MenuLink()->GetComponent())->DeviceStatusChanged(true, false);
  dynamic_cast<TfraStatus*>(form->MenuLink()->GetComponent())->DeviceActivity();
  form->mmMenu->Items()->Items(1)->Items(1)->Click();  // About
  TObjectPtr<TfrmGetPassword> prompt(TfrmGetPassword::Create());
  EXPECT_EQ(prompt->Caption(), "Password");
  prompt.reset();
  // The settings screen's dialogs.
  TObjectPtr<TfrmGetweight> weight(TfrmGetweight::Create(form));
  weight->Put(TDenominationWeight{200, "EUR", 1, 85000, 0, "Two", 1, 25, 212500});
  TObjectPtr<TfrmSetOther> other(TfrmSetOther::Create(form));
  TObjectPtr<TfrmSetPassword> password(TfrmSetPassword::Create(form));
  weight.reset();
  other.reset();
  password.reset();
  Application->DestroyComponents();
  FinalizeProgram();
  unsetenv("PX_TRANSLATION_RECORD");
  SetShowModalHook(oldModal);
  SetMessageDlgHook(oldDlg);
  std::vector<std::string> added;
  const auto after = keysOf(lang);
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  // The feedback caption is looked up on purpose without a text: its absence
  // is what leaves the Help menu's feedback item out.
  EXPECT_EQ(added, std::vector<std::string>{"TdmMainFormFiller.MenuFeedback"});
}

TEST(Texts, AppTreeShowsNoRawKeys) {
  FreshHome home;
  for (const char* frame : {"", " --frame 2", " --frame 3"}) {
    SCOPED_TRACE(frame);
    std::string out;
    ASSERT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " app tree" + frame + " 2>/dev/null", &out), 0);
    std::istringstream lines(out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
      ++count;
      const std::string text = line.substr(line.rfind('\t') + 1);
      EXPECT_EQ(text.find('['), std::string::npos) << line;
      EXPECT_FALSE(text.size() > 1 && text[0] == 'T' && text.find('.') != std::string::npos &&
                   text.find(' ') == std::string::npos)
          << line;
    }
    EXPECT_GT(count, 15);
    if (std::string(frame) == " --frame 2") {
      EXPECT_NE(out.find("  fraInformation\tTfraInformation\t92,0,"), std::string::npos) << out;
      EXPECT_NE(out.find("\tTMemo\t"), std::string::npos);
    }
  }
}

// A field's label names the field, not one of the values it offers, and a
// group's heading is not said again by the label right under it.
TEST(Texts, LabelsNameTheirFieldsAndHeadingsAreNotRepeated) {
  TMemIniFile ini(shipped + "Pondarix7350.lang");
  auto text = [&](const std::string& key) { return ini.ReadString("enUS", key, ""); };
  const std::pair<const char*, const char*> differing[] = {
      {"TfrmSetUser.Status", "StatusActive"},
      {"TfrmSetUser.Status", "StatusInactive"},
      {"TfraSettings.Currency Settings", "TfraSettings.CurrenciesIndevice"},
  };
  for (const auto& [a, b] : differing) {
    ASSERT_FALSE(text(a).empty()) << a;
    EXPECT_NE(text(a), text(b)) << a << " and " << b;
  }
}

}  // namespace
}  // namespace px::test
