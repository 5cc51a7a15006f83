// libFuzzer target: the input is a translation file. Its texts go where the
// program puts them: the keys the settings screen uses as format strings
// through Format, and the labels of the counting report through its markup
// into a PDF. The report's item name is the file's "FuzzItem" text, so that
// names from the data are fuzzed along.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "../app/CountingFixtures.h"
#include "FuzzGuiApplication.h"
#include "app/UnitDataReport.h"
#include "platform/core/Format.h"
#include "ui/framework/UnitTranslation.h"

namespace {

std::string& fileName() {
  static std::string name = "/tmp/fuzz_translations." + std::to_string(getpid()) + ".lang";
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  StartFuzzGuiApplication(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  if (FILE* f = std::fopen(fileName().c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  InitializeTranslations(fileName());
  // Read whole by now; gone at once, as libFuzzer may end the process
  // without running exit handlers.
  std::remove(fileName().c_str());
  const std::vector<std::string> sections = Translations->Sections();
  if (!sections.empty()) Translations->SetLanguage(sections.front());

  for (const char* key : {"WarningForCurrency", "UnofficialWeight", "EmptyWeight", "NoSupportWeight",
                          "NoDenominations", "SuccesfulProgramming", "ErrorProgramming"}) {
    try {
      (void)Format(Translate(key), "EUR");
    } catch (const Exception&) {
    }
  }
  (void)Translations->TranslateFormString("TfraCount", "[Company]");

  TCountingRow row;
  row.ID = 7;
  row.UserID = -1;
  row.When = 45351.5;
  row.Valuta = "EUR";
  row.CashDrawer = "K1";
  row.CompanyName = "Bos & <b>Zn</b>";
  const std::string item = Translate("FuzzItem");
  row.Values = test::CountingDetails({{0, item, 3, "6"}, {4, "Subtotal", 0, "6"}, {3, item, 0, "-1.5"},
                                      {4, "Subtotal", 0, "-1.5"}, {5, "Total", 0, "4.5"}});
  try {
    TCountingReportContent content = BuildCountingReportContent(row, CountingEmployeeText(-1, nullptr));
    (void)ProduceCountingReport(content, nullptr);
  } catch (const Exception&) {
  }
  FinalizeTranslations();
  return 0;
}
