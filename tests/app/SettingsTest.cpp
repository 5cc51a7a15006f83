// The settings store: what Load reads, what Save writes, the per-language
// list values, the wrong-type fault and the password prompt.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/UnitGetPassword.h"
#include "app/UnitSettings.h"
#include "platform/core/Debug.h"
#include "platform/core/Registry.h"
#include "platform/gui/Forms.h"
#include "support/FileSizeLimit.h"
#include "ui/framework/UnitTranslation.h"

namespace px::test {
namespace {

TRegistry& openKey(TRegistry& reg) {
  EXPECT_TRUE(reg.OpenKey(TSettings::KeyPath, true));
  return reg;
}

TEST(Settings, FirstRunSaveCreatesTheTenValuesWithTheirTypes) {
  FreshHome home;
  TSettings s;
  s.Load();
  EXPECT_EQ(s.StartLanguage, "");
  {
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists(TSettings::KeyPath));
  }
  s.Save();
  TRegistry reg;
  openKey(reg);
  const std::pair<const char*, TRegDataType> values[] = {
      {"Datasets", rdString}, {"Company", rdString},        {"LogoFile", rdString},     {"Database", rdString},
      {"Language", rdString}, {"Password", rdString},       {"InitialDrawer", rdInteger},
      {"MustEmployee", rdInteger}, {"MustDrawer", rdInteger}, {"Device", rdInteger}};
  for (const auto& [name, type] : values) {
    SCOPED_TRACE(name);
    EXPECT_EQ(reg.GetDataType(name), type);
    if (type == rdString) EXPECT_EQ(reg.ReadString(name), "");
    else EXPECT_EQ(reg.ReadInteger(name), 0);
  }
}

TEST(Settings, LoadReadsWhatSaveWroteAndEndsTheFolderWithOneDelimiter) {
  const struct {
    const char* stored;
    const char* loaded;
  } folders[] = {{"", ""}, {"/data/px", "/data/px/"}, {"/data/px/", "/data/px/"}, {"rel", "rel/"}};
  for (const auto& f : folders) {
    SCOPED_TRACE(f.stored);
    FreshHome home;
    TSettings a;
    a.Datasets = f.stored;
    a.Company = "Fa. \xC3\xA9t\xC3\xA9 = [x]; ";
    a.LogoFile = "/tmp/logo.png";
    a.Database = "db.fdb";
    a.Language = "nlNL";
    a.Password = "ABC";
    a.InitialDrawer = -250;
    a.MustEmployee = true;
    a.MustDrawer = false;
    a.Device = 2;
    a.Save();
    TSettings b;
    b.Load();
    EXPECT_EQ(b.Datasets, f.loaded);
    EXPECT_EQ(b.Company, a.Company);
    EXPECT_EQ(b.LogoFile, a.LogoFile);
    EXPECT_EQ(b.Database, a.Database);
    EXPECT_EQ(b.Language, "nlNL");
    EXPECT_EQ(b.StartLanguage, "nlNL");
    EXPECT_EQ(b.Password, "ABC");
    EXPECT_EQ(b.InitialDrawer, -250);
    EXPECT_TRUE(b.MustEmployee);
    EXPECT_FALSE(b.MustDrawer);
    EXPECT_EQ(b.Device, 2);
    EXPECT_FALSE(b.PasswordGiven);
  }
}

TEST(Settings, AbsentValuesKeepTheirFieldsAndSaveAddsThem) {
  FreshHome home;
  {
    TRegistry reg;
    openKey(reg).WriteInteger("Device", 1);
  }
  TSettings s;
  s.Company = "kept";
  s.Load();
  EXPECT_EQ(s.Device, 1);
  EXPECT_EQ(s.Company, "kept");
  s.Save();
  TRegistry reg;
  openKey(reg);
  EXPECT_EQ(reg.ReadString("Company"), "kept");
}

// The login on a database server and the time bound are set by the shop's
// administrator in the file: read at start, never written back.
TEST(Settings, TheDatabaseLoginAndTimeoutAreReadAndNeverWritten) {
  FreshHome home;
  TSettings s;
  EXPECT_EQ(s.DatabaseTimeoutSeconds(), 30);
  {
    TRegistry reg;
    openKey(reg).WriteString("DatabaseUser", "PXDESK");
    openKey(reg).WriteString("DatabasePassword", " p=w;d ");
    openKey(reg).WriteInteger("DatabaseTimeout", 7);
  }
  s.Load();
  EXPECT_EQ(s.DatabaseUser, "PXDESK");
  EXPECT_EQ(s.DatabasePassword, " p=w;d ");
  EXPECT_EQ(s.DatabaseTimeoutSeconds(), 7);
  {
    TRegistry reg;
    openKey(reg).DeleteValue("DatabasePassword");
  }
  s.Save();
  TRegistry reg;
  openKey(reg);
  EXPECT_FALSE(reg.ValueExists("DatabasePassword"));
  EXPECT_EQ(reg.ReadString("DatabaseUser"), "PXDESK");  // as the administrator left it
  for (const auto& [stored, seconds] : {std::pair{0, 30}, {-5, 30}, {1, 1}, {100000, 3600}}) {
    s.DatabaseTimeout = stored;
    EXPECT_EQ(s.DatabaseTimeoutSeconds(), seconds) << stored;
  }
}

// A value stored with another type no longer stops every start: it is shown
// once, the field keeps its default and the next Save writes the right type.
TEST(Settings, AValueOfTheWrongTypeIsReportedSkippedAndRewritten) {
  FreshHome home;
  {
    TRegistry reg;
    openKey(reg);
    reg.WriteString("Device", "2");
    reg.WriteInteger("Company", 7);
    reg.WriteString("LogoFile", "logo.png");
  }
  std::vector<std::string> boxes;
  auto old = SetMessageDlgHook([&](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    boxes.push_back(text);
    return mrOk;
  });
  TDebugCapture debug;
  TSettings s;
  EXPECT_NO_THROW(s.Load());
  SetMessageDlgHook(old);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Invalid data type for 'Company'"), std::string::npos);
  EXPECT_NE(boxes[0].find("Invalid data type for 'Device'"), std::string::npos);
  std::string lines;
  for (const auto& l : debug.Lines()) lines += l + "\n";
  EXPECT_NE(lines.find("'Device'"), std::string::npos);
  EXPECT_EQ(s.Device, 0);
  EXPECT_EQ(s.Company, "");
  EXPECT_EQ(s.LogoFile, "logo.png");
  s.Save();
  TRegistry reg;
  openKey(reg);
  EXPECT_EQ(reg.GetDataType("Device"), rdInteger);
  EXPECT_EQ(reg.GetDataType("Company"), rdString);
  TSettings again;
  boxes.clear();
  old = SetMessageDlgHook([&](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    boxes.push_back(text);
    return mrOk;
  });
  again.Load();
  SetMessageDlgHook(old);
  EXPECT_TRUE(boxes.empty());
}

TEST(Settings, ListValuesAreNamedByTheStartLanguage) {
  FreshHome home;
  TSettings s;
  EXPECT_EQ(s.ReadList(31), "");  // no key at all
  s.Language = "nlNL";
  s.Save();
  s.Load();
  s.WriteList(31, "layout a");
  s.Language = "deDE";  // chosen during the run: names stay until the next start
  s.WriteList(41, "layout b");
  EXPECT_EQ(s.ReadList(31), "layout a");
  EXPECT_EQ(s.ReadList(32), "");
  TRegistry reg;
  openKey(reg);
  EXPECT_EQ(reg.ReadString("31nlNLList"), "layout a");
  EXPECT_EQ(reg.ReadString("41nlNLList"), "layout b");

  // The screens store their layouts while they are freed: one that cannot
  // be written (the disk is full) goes to the debug output, not up through
  // the screen's teardown.
  TDebugCapture debug;
  {
    FileSizeLimit full(1);
    EXPECT_NO_THROW(s.WriteList(61, std::string(200, 'x')));
  }
  EXPECT_EQ(s.ReadList(61), "");
  ASSERT_EQ(debug.Lines().size(), 1u);
  EXPECT_EQ(debug.Lines()[0].rfind("Settings: Failed to set data for '61nlNLList'", 0), 0u) << debug.Lines()[0];
}

// The prompt, answered through the modal hook; digests from Python's hashlib.
class PasswordPrompt : public ::testing::Test {
 protected:
  void SetUp() override {
    oldBox_ = SetMessageDlgHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      boxes_.push_back(text);
      return mrOk;
    });
    old_ = SetShowModalHook([this](TForm& form) {
      ++asked_;
      auto* dialog = dynamic_cast<TfrmGetPassword*>(&form);
      EXPECT_NE(dialog, nullptr);
      if (dialog) {
        EXPECT_EQ(dialog->edPassword->PasswordChar(), '*');
        dialog->edPassword->SetText(entry_);
      }
      return answer_;
    });
  }
  void TearDown() override {
    SetShowModalHook(old_);
    SetMessageDlgHook(oldBox_);
  }
  TShowModalHook old_;
  TMessageDlgHook oldBox_;
  std::vector<std::string> boxes_;
  int asked_ = 0;
  std::string entry_;
  TModalResult answer_ = mrOk;
};

TEST_F(PasswordPrompt, EmptyPasswordNeverAsks) {
  TSettings s;
  EXPECT_TRUE(s.CheckPassword());
  EXPECT_TRUE(s.CheckPassword());
  EXPECT_EQ(asked_, 0);
  EXPECT_TRUE(s.PasswordGiven);
}

TEST_F(PasswordPrompt, RightEntryIsAskedOnceWrongOrCancelAskAgain) {
  TSettings s;
  // "pässwort" as the program's 8-bit text: the digest covers its single-byte form.
  s.Password = PythonSha1Upper("p\xE4sswort");
  ASSERT_EQ(s.Password.size(), 40u);
  EXPECT_EQ(PasswordDigest("p\xC3\xA4sswort"), s.Password);

  entry_ = "wrong";
  EXPECT_FALSE(s.CheckPassword());
  // A wrong password is told; a cancel is not.
  EXPECT_EQ(boxes_, std::vector<std::string>{Translate("WrongPassword")});
  answer_ = mrCancel;
  entry_ = "p\xC3\xA4sswort";
  EXPECT_FALSE(s.CheckPassword());
  EXPECT_EQ(asked_, 2);
  EXPECT_EQ(boxes_.size(), 1u);
  answer_ = mrOk;
  EXPECT_TRUE(s.CheckPassword());
  EXPECT_TRUE(s.CheckPassword());
  EXPECT_EQ(asked_, 3);
}

// Characters outside the single-byte code page would all become "?": such
// an entry never opens a password that holds "?".
TEST_F(PasswordPrompt, CharactersOutsideTheCodePageNeverMatch) {
  TSettings s;
  s.Password = PythonSha1Upper("a??");
  entry_ = "a\u0416\u0416";
  EXPECT_FALSE(s.CheckPassword());
  entry_ = "a??";
  EXPECT_TRUE(s.CheckPassword());
}

TEST_F(PasswordPrompt, LowerCaseStoredDigestNeverMatches) {
  TSettings s;
  std::string lower = PythonSha1Upper("secret");
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  s.Password = lower;
  entry_ = "secret";
  EXPECT_FALSE(s.CheckPassword());
  EXPECT_EQ(asked_, 1);
}

}  // namespace
}  // namespace px::test
