#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/core/Exceptions.h"
#include "platform/core/IniFiles.h"
#include "platform/core/Registry.h"
#include "platform/core/Streams.h"
#include "platform/core/StringList.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

using namespace px;
using px::test::ReadFileBytes;
using px::test::TempDir;
using px::test::WriteFileBytes;
using ::testing::ThrowsMessage;

namespace {

using Lines = std::vector<std::string>;

Lines items(const TStrings& list) {
  Lines result;
  for (Integer i = 0; i < list.Count(); ++i) result.push_back(list[i]);
  return result;
}

}  // namespace

TEST(IniFile, ParsingEdgeCases) {
  TMemIniFile ini;
  ini.LoadFromString(
      "\xEF\xBB\xBF; leading comment\r\n"
      "orphan=before any section\r\n"
      "[Main]\n"
      "  Key One =  a=b=c  \n"
      "path=C:\\x ; not a comment\n"
      "empty=\n"
      "no separator here\n"
      "\n"
      "[ other ]\r"
      "x=$1F\r"
      "[MAIN]\n"
      "second=2\n"
      "key one=duplicate\n");
  EXPECT_EQ(ini.ReadString("main", "KEY ONE", "?"), "a=b=c");  // everything after the first "="
  EXPECT_EQ(ini.ReadString("Main", "path", "?"), "C:\\x ; not a comment");
  EXPECT_EQ(ini.ReadString("Main", "empty", "?"), "");
  EXPECT_TRUE(ini.ValueExists("Main", " empty "));
  EXPECT_FALSE(ini.ValueExists("Main", "no separator here"));
  EXPECT_EQ(ini.ReadString("Main", "orphan", "?"), "?");
  EXPECT_EQ(ini.ReadString("Other", "x", "?"), "$1F");
  EXPECT_EQ(ini.ReadString("nowhere", "x", "dflt"), "dflt");

  TStringList list;
  ini.ReadSections(list);
  EXPECT_EQ(items(list), (Lines{"Main", "other"}));  // the second [MAIN] joins the first
  ini.ReadSection("MAIN", list);
  EXPECT_EQ(items(list), (Lines{"Key One", "path", "empty", "second"}));
  ini.ReadSectionValues("main", list);
  EXPECT_EQ(list.Values("second"), "2");
  EXPECT_TRUE(ini.SectionExists("OTHER"));
  EXPECT_FALSE(ini.SectionExists("none"));

  // Written back: comments and odd lines stay, the byte order mark too.
  EXPECT_EQ(ini.FileText(),
            "\xEF\xBB\xBF; leading comment\norphan=before any section\n"
            "[Main]\nKey One=a=b=c\npath=C:\\x ; not a comment\nempty=\nno separator here\n"
            "second=2\nkey one=duplicate\n\n[other]\nx=$1F\n\n");
}

TEST(IniFile, TypedReads) {
  TMemIniFile ini;
  ini.LoadFromString("[N]\nhex=$1F\ncee=0x10\nneg=-5\nbad=12abc\nbig=2147483648\nf=1.5\ncomma=1,5\nyes=yes\nzero=0\n");
  struct Case {
    const char* ident;
    Integer expected;
  } cases[] = {{"hex", 31}, {"cee", 16}, {"neg", -5}, {"bad", 7}, {"big", 7}, {"missing", 7}, {"f", 7}};
  for (const auto& c : cases) EXPECT_EQ(ini.ReadInteger("N", c.ident, 7), c.expected) << c.ident;
  EXPECT_EQ(ini.ReadFloat("N", "f", 0), 1.5);
  EXPECT_EQ(ini.ReadFloat("N", "comma", -1), -1);
  EXPECT_TRUE(ini.ReadBool("N", "hex", false));
  EXPECT_FALSE(ini.ReadBool("N", "zero", true));
  EXPECT_TRUE(ini.ReadBool("N", "yes", true));  // not a number: the default
  ini.WriteBool("N", "b", true);
  ini.WriteInteger("N", "i", -12);
  ini.WriteFloat("N", "d", 0.25);
  EXPECT_EQ(ini.ReadString("N", "b", ""), "1");
  EXPECT_EQ(ini.ReadString("N", "i", ""), "-12");
  EXPECT_EQ(ini.ReadFloat("N", "d", 0), 0.25);
}

TEST(IniFile, EncodingFallbackAndWriteChecks) {
  TempDir dir;
  std::string path = dir.File("legacy.ini");
  WriteFileBytes(path, "[Caf\xE9]\nname=Gr\xFC\xDF\x65 \x80\n");  // Windows-1252, not UTF-8
  TMemIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Café", "name", ""), "Grüße €");
  EXPECT_EQ(ini.ReadString("CAFÉ", "NAME", ""), "Grüße €");
  ini.WriteString("Café", "more", "caf\xE9");  // 8-bit text from a caller is taken as Windows-1252
  EXPECT_EQ(ini.ReadString("Café", "more", ""), "café");
  ini.UpdateFile();
  EXPECT_EQ(ReadFileBytes(path), "[Café]\nname=Grüße €\nmore=café\n\n");  // now UTF-8, no byte order mark

  // What the file cannot hold is refused instead of corrupting it.
  EXPECT_THROW(ini.WriteString("S", "k", "two\nlines"), EIniFileException);
  EXPECT_THROW(ini.WriteString("S", "a=b", "v"), EIniFileException);
  EXPECT_THROW(ini.WriteString("S", ";k", "v"), EIniFileException);
  EXPECT_THROW(ini.WriteString("S", "[k", "v]"), EIniFileException);
  EXPECT_FALSE(ini.SectionExists("S"));
  ini.WriteString(" S ", " k ", "  padded  ");  // blanks would not survive a reload
  EXPECT_EQ(ini.ReadString("s", "K", ""), "padded");
}

TEST(IniFile, MemIniFilePersistsOnUpdateFile) {
  TempDir dir;
  std::string path = dir.File("app.ini");
  WriteFileBytes(path, "; keep me\n[A]\nx=1\ny=2\n[B]\nz=3\n");
  {
    TMemIniFile ini(path);
    ini.WriteString("A", "x", "changed");
    ini.DeleteKey("A", "Y");
    ini.EraseSection("b");
    ini.WriteInteger("C", "n", 5);
    EXPECT_EQ(ReadFileBytes(path), "; keep me\n[A]\nx=1\ny=2\n[B]\nz=3\n");  // nothing written yet
    ini.UpdateFile();
  }
  TMemIniFile reloaded(path);
  EXPECT_EQ(reloaded.ReadString("A", "x", ""), "changed");
  EXPECT_FALSE(reloaded.ValueExists("A", "y"));
  EXPECT_FALSE(reloaded.SectionExists("B"));
  EXPECT_EQ(reloaded.ReadInteger("C", "n", 0), 5);
  EXPECT_TRUE(ReadFileBytes(path).starts_with("; keep me\n"));

  TMemIniFile missing(dir.File("none.ini"));  // a missing file is an empty one
  TStringList sections;
  missing.ReadSections(sections);
  EXPECT_EQ(sections.Count(), 0);
}

TEST(IniFile, IniFileWritesThroughAndSeesOtherWriters) {
  TempDir dir;
  std::string path = dir.File("live.ini");
  TIniFile a(path);
  TIniFile b(path);
  a.WriteString("S", "k", "from a");
  EXPECT_EQ(TMemIniFile(path).ReadString("S", "k", ""), "from a");  // on disk without UpdateFile
  EXPECT_EQ(b.ReadString("S", "k", ""), "from a");
  b.WriteInteger("S", "n", 9);
  EXPECT_EQ(a.ReadInteger("S", "n", 0), 9);
  a.WriteString("S", "k", "again");  // a's write keeps b's value
  EXPECT_EQ(TMemIniFile(path).ReadInteger("S", "n", 0), 9);

  TIniFile broken(dir.File("no/such/folder/x.ini"));
  EXPECT_THAT([&] { broken.WriteString("S", "k", "v"); },
              ThrowsMessage<EIniFileException>("Unable to write to " + dir.File("no/such/folder/x.ini") + ". " +
                                               std::strerror(ENOENT)));
  EXPECT_FALSE(broken.ValueExists("S", "k"));  // the failed write left nothing behind
}

// Each write reads the file, changes it and writes it back: without a lock
// around that, instances writing at the same time drop each other's keys.
TEST(IniFile, ConcurrentInstancesLoseNoWrites) {
  TempDir dir;
  const std::string path = dir.File("shared.ini");
  constexpr int kWrites = 60;
  auto writer = [&](std::string prefix) {
    TIniFile ini(path);
    for (int i = 0; i < kWrites; ++i) ini.WriteInteger("S", prefix + std::to_string(i), i);
  };
  std::thread a(writer, "a"), b(writer, "b");
  writer("c");
  a.join();
  b.join();
  TMemIniFile result(path);
  TStringList keys;
  result.ReadSection("S", keys);
  EXPECT_EQ(keys.Count(), 3 * kWrites);
}

// ---------------------------------------------------------------- registry

namespace {

// Points the registry at a private folder for one test.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
    setenv("XDG_CONFIG_HOME", dir_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (saved_)
      setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
  }
  std::string registryFile() const { return dir_.File("Pondarix/registry.ini"); }

  TempDir dir_;
  std::optional<std::string> saved_;
};

const char* const key = "\\Software\\Pondarix\\V1";

}  // namespace

TEST_F(RegistryTest, TypedValuesSurviveANewInstance) {
  EXPECT_EQ(TRegistry::RegistryFileName(), registryFile());
  const std::string tricky[] = {"", " lead", "trail ", "a=b;[c]%41", "two\r\nlines", "caf\xE9", "Grüße"};
  const Byte blob[] = {0, 1, 0xFE, 0xFF};
  {
    TRegistry reg;
    EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(key, true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Pondarix\\V1");
    reg.WriteString("Company", "ACME");
    reg.WriteInteger("Device", -2);
    reg.WriteBool("MustDrawer", true);
    reg.WriteBinaryData("Blob", blob, sizeof blob);
    reg.WriteFloat("Rate", 0.1);
    for (size_t i = 0; i < std::size(tricky); ++i) reg.WriteString("v=" + std::to_string(i) + " ", tricky[i]);
    reg.CloseKey();
  }
  std::string file = ReadFileBytes(registryFile());
  EXPECT_NE(file.find("[Software\\Pondarix\\V1]\nCompany=str:ACME\nDevice=int:-2\n"), std::string::npos) << file;

  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\software\\PONDARIX\\v1", false));  // paths ignore case
  EXPECT_EQ(reg.ReadString("company"), "ACME");
  EXPECT_EQ(reg.ReadInteger("Device"), -2);
  EXPECT_TRUE(reg.ReadBool("MustDrawer"));
  EXPECT_EQ(reg.ReadFloat("Rate"), 0.1);
  for (size_t i = 0; i < std::size(tricky); ++i)
    EXPECT_EQ(reg.ReadString("v=" + std::to_string(i) + " "), tricky[i]) << i;
  Byte buffer[8] = {};
  EXPECT_EQ(reg.ReadBinaryData("Blob", buffer, sizeof buffer), 4);
  EXPECT_EQ(std::memcmp(buffer, blob, 4), 0);

  struct Type {
    const char* name;
    TRegDataType type;
    Integer size;
  } types[] = {{"Company", rdString, 5},
               {"Device", rdInteger, 4},
               {"Blob", rdBinary, 4},
               {"Rate", rdBinary, 8},
               {"missing", rdUnknown, -1}};
  for (const auto& t : types) {
    EXPECT_EQ(reg.GetDataType(t.name), t.type) << t.name;
    EXPECT_EQ(reg.GetDataSize(t.name), t.size) << t.name;
  }
  TStringList names;
  reg.GetValueNames(names);
  EXPECT_EQ(names.Count(), 5 + static_cast<Integer>(std::size(tricky)));
  EXPECT_EQ(names[0], "Company");
  EXPECT_EQ(names[5], "v=0 ");
}

TEST_F(RegistryTest, MissingAndWronglyTypedValues) {
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey(key, false));
  EXPECT_FALSE(reg.HasCurrentKey());
  EXPECT_FALSE(reg.KeyExists(key));
  ASSERT_TRUE(reg.OpenKey(key, true));
  EXPECT_FALSE(reg.OpenKey("\\Nowhere", false));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Pondarix\\V1");  // the open key stays
  reg.WriteString("Device", "1");
  reg.WriteInteger("Count", 3);

  EXPECT_EQ(reg.ReadString("Absent"), "");
  EXPECT_THAT([&] { reg.ReadInteger("Absent"); }, ThrowsMessage<ERegistryException>("Failed to get data for 'Absent'"));
  EXPECT_THAT([&] { reg.ReadInteger("Device"); }, ThrowsMessage<ERegistryException>("Invalid data type for 'Device'"));
  EXPECT_THAT([&] { reg.ReadString("Count"); }, ThrowsMessage<ERegistryException>("Invalid data type for 'Count'"));
  EXPECT_THAT([&] { reg.ReadFloat("Count"); }, ThrowsMessage<ERegistryException>("Invalid data type for 'Count'"));
  Byte small[2];
  EXPECT_EQ(reg.ReadBinaryData("Absent", small, 2), 0);
  reg.WriteBinaryData("Big", "abc", 3);
  EXPECT_THAT([&] { reg.ReadBinaryData("Big", small, 2); },
              ThrowsMessage<ERegistryException>("Invalid data type for 'Big'"));

  // A hand-edited entry without a type reads as unknown.
  WriteFileBytes(registryFile(), "[Software\\Pondarix\\V1]\nPlain=hello\nBroken=int:12x\n");
  EXPECT_EQ(reg.GetDataType("Plain"), rdUnknown);
  EXPECT_EQ(reg.GetDataType("Broken"), rdUnknown);
  EXPECT_THROW(reg.ReadString("Plain"), ERegistryException);
  EXPECT_FALSE(reg.ValueExists("Device"));  // the edit was picked up

  TRegistry readOnly;
  ASSERT_TRUE(readOnly.OpenKeyReadOnly(key));
  EXPECT_THAT([&] { readOnly.WriteString("x", "y"); }, ThrowsMessage<ERegistryException>("Failed to set data for 'x'"));
  EXPECT_FALSE(readOnly.DeleteValue("Plain"));
  reg.CloseKey();
  EXPECT_THAT([&] { reg.WriteInteger("x", 1); }, ThrowsMessage<ERegistryException>("Failed to set data for 'x'"));
}

// A settings file that cannot be written (the size limit stands in for a
// full disk) is named with the reason, and keeps what it held.
TEST_F(RegistryTest, AWriteThatCannotBeSavedSaysWhichFileAndWhy) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(key, true));
  reg.WriteString("Company", "Corner Shop");
  const std::string before = ReadFileBytes(registryFile());
  std::string message;
  {
    test::FileSizeLimit full(before.size());
    try {
      reg.WriteString("Language", "enUS");
    } catch (const ERegistryException& e) {
      message = e.Message();
    }
  }
  EXPECT_EQ(message,
            "Failed to set data for 'Language'\nUnable to write to " + registryFile() + ". " + std::strerror(EFBIG));
  EXPECT_EQ(ReadFileBytes(registryFile()), before);
}

TEST_F(RegistryTest, KeysAndDeletion) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(key, true));
  ASSERT_TRUE(reg.OpenKey("Lists", true));  // relative to the open key
  EXPECT_EQ(reg.CurrentPath(), "Software\\Pondarix\\V1\\Lists");
  reg.WriteString("31nlNLList", "a,b");
  ASSERT_TRUE(reg.OpenKey("\\Software\\Other", true));
  reg.WriteInteger("x", 1);

  EXPECT_TRUE(reg.KeyExists("\\Software"));  // keys above exist implicitly
  ASSERT_TRUE(reg.OpenKey("\\Software", false));
  TStringList keys;
  reg.GetKeyNames(keys);
  EXPECT_EQ(items(keys), (Lines{"Pondarix", "Other"}));

  ASSERT_TRUE(reg.OpenKey("Pondarix\\V1\\Lists", false));
  EXPECT_TRUE(reg.DeleteValue("31NLNLLIST"));
  EXPECT_FALSE(reg.DeleteValue("31nlNLList"));
  EXPECT_FALSE(reg.ValueExists("31nlNLList"));

  TRegistry other;
  EXPECT_TRUE(other.DeleteKey("\\Software\\Pondarix"));  // with everything below it
  EXPECT_FALSE(other.DeleteKey("\\Software\\Pondarix"));
  EXPECT_FALSE(TRegistry().KeyExists(key));
  EXPECT_TRUE(TRegistry().KeyExists("\\Software\\Other"));
  // The key that reg still has open is gone: writing into it fails.
  EXPECT_THAT([&] { reg.WriteString("late", "x"); },
              ThrowsMessage<ERegistryException>("Failed to set data for 'late'"));
  EXPECT_FALSE(TRegistry().KeyExists(key));

  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(reg.OpenKey("\\Software\\Other", false));
}

TEST_F(RegistryTest, WriteIsOnDiskWhenItReturns) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Ends without any clean-up right after the write.
    TRegistry reg;
    reg.OpenKey(key, true);
    reg.WriteInteger("Device", 2);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(key, false));
  EXPECT_EQ(reg.ReadInteger("Device"), 2);
}

TEST_F(RegistryTest, UnwritableFolder) {
  WriteFileBytes(dir_.File("Pondarix"), "a file where the folder should be");
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey(key, true));
  EXPECT_THROW(reg.CreateKey(key), ERegistryException);
  EXPECT_FALSE(reg.KeyExists(key));
}
