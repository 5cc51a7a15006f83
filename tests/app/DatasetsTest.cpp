// The shipped dataset files and the dataset-file service.
#include <filesystem>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/UnitDatasets.h"
#include "platform/core/Exceptions.h"

namespace px::test {
namespace {

const std::string shipped = std::string(PX_APP_DATA_DIR) + "/";
const std::string sources = std::string(PX_SOURCE_DIR) + "/resources/datasets/";

TEST(DatasetFiles, EachDumpsToItsSourceText) {
  const struct {
    const char* file;
    const char* tsv;
    const char* key;
  } files[] = {{"Denominations.dat", "Denominations.tsv", ""},
               {"Currencies.dat", "Currencies.tsv", ""},
               {"Official.dat", "Official.tsv", "--key tovek "}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.file);
    std::string out;
    EXPECT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " dataset dump " + f.key + shipped + f.file, &out), 0);
    EXPECT_EQ(out, ReadFileBytes(sources + f.tsv));
  }
}

TEST(DatasetFiles, OfficialIsEncipheredWithTheProgramKey) {
  std::string out;
  ASSERT_EQ(RunCommand("openssl enc -d -rc4-40 -K 746f76656b -nosalt -provider legacy -provider default -in " +
                           shipped + "Official.dat | od -An -tx1 -N5",
                       &out),
            0);
  EXPECT_EQ(out.substr(0, 15), " f8 ac d1 91 01");
}

TEST(DatasetFiles, CurrenciesMatchTheIsoList) {
  const std::string script =
      "import json,sys\n"
      "iso={c['alpha_3']:c['name'] for c in json.load(open('/usr/share/iso-codes/json/iso_4217.json'))['4217']}\n"
      "bad=[]\n"
      "rows=open(sys.argv[1],encoding='utf-8').read().splitlines()[1:]\n"
      "for r in rows:\n"
      "  code,name,country=r.split('\\t')\n"
      "  if iso.get(code)!=name or not country: bad.append(code)\n"
      "for must in ('EUR','GBP','USD','CHF','JPY'):\n"
      "  if must not in [r.split('\\t')[0] for r in rows]: bad.append('missing '+must)\n"
      "for no in ('XAU','XTS','XXX','CHE','USN','BOV'):\n"
      "  if no in [r.split('\\t')[0] for r in rows]: bad.append('has '+no)\n"
      "print(' '.join(bad), end='')\n";
  TempDir dir;
  WriteFileBytes(dir.Path() / "check.py", script);
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + dir.File("check.py") + " " + sources + "Currencies.tsv", &out), 0);
  EXPECT_EQ(out, "");
}

TEST(DatasetFiles, ServiceLoadsSavesAndRefusesTheOfficialFile) {
  TempDir dir;
  for (const char* name : TVantorelDataSets::FileNames) std::filesystem::copy_file(shipped + name, dir.Path() / name);
  const std::string folder = dir.Path().string() + "/";
  TVantorelDataSets sets(folder);
  IMemDataSet den, official;
  sets.GetDataSet(0, den);
  sets.GetDataSet(2, official);
  ASSERT_GT(den->GetRecordCount(), 0);
  ASSERT_GT(official->GetRecordCount(), 0);
  // Unsaved changes are dropped by Load.
  const Integer count = den->GetRecordCount();
  den->AddRecord();
  sets.Load(0);
  sets.GetDataSet(0, den);
  EXPECT_EQ(den->GetRecordCount(), count);
  // Saving writes plain files; the official one is never written.
  sets.Save(0);
  sets.Save(1);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "Denominations.dat"), ReadFileBytes(shipped + "Denominations.dat"));
  try {
    sets.Save(2);
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(e.Message().find("Internal error: dataset not saveable!"), std::string::npos);
  }
  // A missing file raises and keeps the table held.
  std::filesystem::remove(dir.Path() / "Currencies.dat");
  EXPECT_THROW(sets.Load(1), EFOpenError);
  IMemDataSet cur;
  sets.GetDataSet(1, cur);
  EXPECT_GT(cur->GetRecordCount(), 0);

  // A damaged file raises the reader's error naming the file (the message
  // box at start-up shows nothing else), and the table held stays.
  const std::string denominations = folder + "Denominations.dat";
  for (const std::string& bytes : {std::string(), std::string("\x01\x02 not a dataset at all")}) {
    WriteFileBytes(denominations, bytes);
    try {
      sets.Load(0);
      ADD_FAILURE() << "a damaged file loaded";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message().rfind(denominations + ": ", 0), 0u) << e.Message();
      EXPECT_GT(e.Message().size(), denominations.size() + 2);
    }
    sets.GetDataSet(0, den);
    EXPECT_EQ(den->GetRecordCount(), count);
  }
}

}  // namespace
}  // namespace px::test
