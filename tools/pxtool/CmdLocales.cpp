#include <ostream>

#include "PxTool.h"
#include "data/UnitLocales.h"
#include "platform/core/CodePages.h"

namespace px::pxtool {
namespace {

// One line per locale of the list: number, code, English and native names,
// decimal separator and short date format, separated by tabs.
int runLocales(const Args& args, std::ostream& out, std::ostream& err) {
  if (!args.empty()) return usageError(err);
  TLocales locales("en");
  for (TMemRecord* rec = locales.DataSet->First(); rec; rec = rec->GetNext()) {
    auto* locale = static_cast<TLocale*>(rec);
    const TFormatSettings& fs = locale->FormatSettings();
    out << locale->LCID() << '\t' << AnsiToUtf8(locale->Code());
    for (Integer field : {lfLanguage, lfCountry, lfLanguageNative, lfCountryNative})
      out << '\t' << UnicodeToUtf8(rec->GetUnicodeString(field));
    out << '\t' << fs.DecimalSeparator << '\t' << fs.ShortDateFormat << '\n';
  }
  return 0;
}

const PxCommand localesCommand("locales", "locales", runLocales);

}  // namespace
}  // namespace px::pxtool
