#include "data/UnitLocales.h"

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/decimfmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/core/CodePages.h"

namespace px {

namespace {

std::string toUtf8(const icu::UnicodeString& s) {
  std::string out;
  s.toUTF8String(out);
  return out;
}

// Bidirectional marks steer the display of right-to-left texts; our texts
// are assembled piece by piece, where they only get in the way.
bool isBidiMark(char16_t c) { return c == 0x200E || c == 0x200F || c == 0x061C; }
bool isSpace(char16_t c) { return c == u' ' || c == 0x00A0 || c == 0x202F; }

// Separators and symbols: without bidi marks, and the narrow no-break space
// as the no-break space, which the single-byte code page can hold.
std::string symbolText(const icu::UnicodeString& s) {
  std::u16string out;
  for (int32_t i = 0; i < s.length(); ++i) {
    char16_t c = s.charAt(i);
    if (isBidiMark(c)) continue;
    out.push_back(c == 0x202F ? char16_t(0x00A0) : c);
  }
  return UnicodeToUtf8(out);
}

std::u16string_view view(const icu::UnicodeString& s) {
  return {reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<size_t>(s.length())};
}

// The locale for format data: Gregorian calendar, Latin digits.
icu::Locale formatLocale(const std::string& icuName) {
  icu::Locale loc(icuName.c_str());
  UErrorCode err = U_ZERO_ERROR;
  loc.setKeywordValue("calendar", "gregorian", err);
  err = U_ZERO_ERROR;
  loc.setKeywordValue("numbers", "latn", err);
  return loc;
}

std::u16string datePattern(icu::DateFormat* format) {
  std::u16string out;
  if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format)) {
    icu::UnicodeString p;
    simple->toPattern(p);
    out.assign(view(p));
  }
  delete format;
  return out;
}

bool isPatternLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Literal text between two fields of an ICU pattern, with quotes resolved
// and bidi marks dropped.
struct PatternItem {
  char16_t letter = 0;  // 0: literal
  int count = 0;
  std::u16string literal;
};

std::vector<PatternItem> splitPattern(std::u16string_view p) {
  std::vector<PatternItem> items;
  auto literal = [&]() -> std::u16string& {
    if (items.empty() || items.back().letter != 0) items.push_back({});
    return items.back().literal;
  };
  for (size_t i = 0; i < p.size();) {
    char16_t c = p[i];
    if (c == u'\'') {
      if (i + 1 < p.size() && p[i + 1] == u'\'') {
        literal().push_back(u'\'');
        i += 2;
        continue;
      }
      size_t j = i + 1;
      std::u16string& lit = literal();
      while (j < p.size()) {
        if (p[j] == u'\'') {
          if (j + 1 < p.size() && p[j + 1] == u'\'') {
            lit.push_back(u'\'');
            j += 2;
            continue;
          }
          break;
        }
        lit.push_back(p[j++]);
      }
      i = j + 1;
    } else if (isPatternLetter(c)) {
      size_t j = i;
      while (j < p.size() && p[j] == c) ++j;
      items.push_back({c, static_cast<int>(j - i), {}});
      i = j;
    } else {
      if (!isBidiMark(c)) literal().push_back(c);
      ++i;
    }
  }
  return items;
}

bool isDateLetter(char16_t c) { return c == u'y' || c == u'Y' || c == u'u' || c == u'M' || c == u'L' || c == u'd'; }
bool isHourLetter(char16_t c) { return c == u'h' || c == u'H' || c == u'k' || c == u'K'; }

// The literal between the first two fields for which `first` and `second`
// hold; empty when there is none.
std::string separatorBetween(std::u16string_view pattern, bool (*first)(char16_t), bool (*second)(char16_t)) {
  auto items = splitPattern(pattern);
  for (size_t i = 0; i + 2 < items.size(); ++i)
    if (items[i].letter && first(items[i].letter) && items[i + 1].letter == 0 && items[i + 2].letter &&
        second(items[i + 2].letter)) {
      std::u16string lit;
      for (char16_t c : items[i + 1].literal) lit.push_back(c == 0x202F || c == 0x00A0 ? u' ' : c);
      return UnicodeToUtf8(lit);
    }
  return {};
}

std::string fieldToken(char16_t letter, int count, bool fourDigitYears, bool& hadAmPm) {
  switch (letter) {
    case u'y':
    case u'Y':
    case u'u':
    case u'r':
      return count == 2 && !fourDigitYears ? "yy" : "yyyy";
    case u'M':
    case u'L':
      return count == 1 ? "M" : count == 2 ? "MM" : count == 4 ? "MMMM" : "MMM";
    case u'd':
      return count == 1 ? "d" : "dd";
    case u'E':
      return count == 4 ? "dddd" : "ddd";
    case u'c':
    case u'e':
      return count == 4 ? "dddd" : count >= 3 ? "ddd" : "";
    case u'a':
    case u'b':
    case u'B':
      if (hadAmPm) return "";
      hadAmPm = true;
      return "AMPM";
    case u'h':
    case u'H':
    case u'k':
    case u'K':
      return count == 1 ? "h" : "hh";
    case u'm':
      return count == 1 ? "n" : "nn";
    case u's':
      return count == 1 ? "s" : "ss";
    case u'S':
      return "zzz";
    default:  // era, time zones, quarters, weeks, day of year
      return "";
  }
}

std::string literalToken(const std::u16string& lit) {
  std::u16string clean;
  for (char16_t c : lit) clean.push_back(isSpace(c) ? u' ' : c);
  bool needsQuotes = false, hasDouble = false;
  for (char16_t c : clean) {
    if (c < 0x80 && (isPatternLetter(c) || c == u'/' || c == u':' || c == u'"' || c == u'\'')) needsQuotes = true;
    if (c == u'"') hasDouble = true;
  }
  if (!needsQuotes) return UnicodeToUtf8(clean);
  // Spaces around the quoted part stay outside, where they read better.
  const size_t first = clean.find_first_not_of(u' ');
  const size_t last = clean.find_last_not_of(u' ');
  const char q = hasDouble ? '\'' : '"';
  return std::string(first, ' ') + q + UnicodeToUtf8(clean.substr(first, last - first + 1)) + q +
         std::string(clean.size() - 1 - last, ' ');
}

std::string collapseSpaces(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Signature of a currency pattern: "$" for the symbol, "1" for the number,
// "-" and parentheses as they stand, " " for a space.
std::string currencyShape(std::u16string_view p) {
  std::string out;
  for (char16_t c : p) {
    char s = 0;
    if (c == 0x00A4)
      s = '$';
    else if ((c >= u'0' && c <= u'9') || c == u'#' || c == u',' || c == u'.' || c == u'@')
      s = '1';
    else if (c == u'-' || c == u'(' || c == u')')
      s = static_cast<char>(c);
    else if (isSpace(c))
      s = ' ';
    if (s && (out.empty() || out.back() != s || s == '-')) out.push_back(s);
  }
  return out;
}

void currencyFormats(std::u16string_view pattern, TFormatSettings& fs) {
  static const char* const positive[] = {"$1", "1$", "$ 1", "1 $"};
  static const char* const negative[] = {"($1)", "-$1",  "$-1",  "$1-",  "(1$)",  "-1$",   "1-$",   "1$-",
                                         "-1 $", "-$ 1", "1 $-", "$ 1-", "$ -1", "1- $", "($ 1)", "(1 $)"};
  // A quoted ';' does not occur in currency patterns.
  const size_t semi = pattern.find(u';');
  const std::string pos = currencyShape(pattern.substr(0, semi));
  fs.CurrencyFormat = 0;
  for (Byte i = 0; i < 4; ++i)
    if (pos == positive[i]) fs.CurrencyFormat = i;
  const std::string neg = semi == std::u16string_view::npos ? "-" + std::string(positive[fs.CurrencyFormat])
                                                            : currencyShape(pattern.substr(semi + 1));
  static const Byte fromPositive[] = {1, 5, 9, 8};
  fs.NegCurrFormat = fromPositive[fs.CurrencyFormat];
  for (Byte i = 0; i < 16; ++i)
    if (neg == negative[i]) fs.NegCurrFormat = i;
}

void copyNames(const icu::UnicodeString* names, int32_t count, int32_t first, std::string* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const int32_t k = first + static_cast<int32_t>(i);
    if (names && k < count) out[i] = toUtf8(names[k]);
  }
}

}  // namespace

// ---------------------------------------------------------------------------

std::string IcuPatternToDateTimeFormat(std::u16string_view pattern, std::string_view dateSeparator,
                                       std::string_view timeSeparator, bool fourDigitYears) {
  std::string out;
  bool hadAmPm = false;
  for (const PatternItem& item : splitPattern(pattern)) {
    if (item.letter) {
      out += fieldToken(item.letter, item.count, fourDigitYears, hadAmPm);
      continue;
    }
    std::u16string lit;
    for (char16_t c : item.literal) lit.push_back(isSpace(c) ? u' ' : c);
    const std::string text = UnicodeToUtf8(lit);
    if (!dateSeparator.empty() && text == dateSeparator)
      out += '/';
    else if (!timeSeparator.empty() && text == timeSeparator)
      out += ':';
    else
      out += literalToken(item.literal);
  }
  // Left-out fields leave their spaces behind.
  size_t start = out.find_first_not_of(' ');
  return collapseSpaces(start == std::string::npos ? std::string() : out.substr(start));
}

TFormatSettings GetLocaleFormatSettings(const std::string& icuName) {
  TFormatSettings fs = DefaultFormatSettings();
  const icu::Locale loc = formatLocale(icuName);
  UErrorCode err = U_ZERO_ERROR;

  icu::DecimalFormatSymbols symbols(loc, err);
  if (U_SUCCESS(err)) {
    fs.DecimalSeparator = symbolText(symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
    fs.ThousandSeparator = symbolText(symbols.getSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol));
  }
  fs.ListSeparator = fs.DecimalSeparator == "," ? ";" : ",";

  err = U_ZERO_ERROR;
  std::unique_ptr<icu::NumberFormat> currency(icu::NumberFormat::createCurrencyInstance(loc, err));
  if (U_SUCCESS(err) && currency) {
    if (auto* decimal = dynamic_cast<icu::DecimalFormat*>(currency.get())) {
      icu::UnicodeString p;
      decimal->toPattern(p);
      currencyFormats(view(p), fs);
      fs.CurrencyString =
          symbolText(decimal->getDecimalFormatSymbols()->getSymbol(icu::DecimalFormatSymbols::kCurrencySymbol));
    }
    fs.CurrencyDecimals = static_cast<Byte>(std::clamp(currency->getMaximumFractionDigits(), 0, 18));
  }

  const std::u16string shortDate = datePattern(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, loc));
  const std::u16string longDate = datePattern(icu::DateFormat::createDateInstance(icu::DateFormat::kFull, loc));
  const std::u16string shortTime = datePattern(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, loc));
  const std::u16string longTime = datePattern(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, loc));
  std::string dateSep = separatorBetween(shortDate, isDateLetter, isDateLetter);
  std::string timeSep = separatorBetween(shortTime, isHourLetter, [](char16_t c) { return c == u'm'; });
  if (!dateSep.empty()) fs.DateSeparator = dateSep;
  if (!timeSep.empty()) fs.TimeSeparator = timeSep;
  // Dates in lists and reports keep all four digits of the year.
  if (!shortDate.empty()) fs.ShortDateFormat = IcuPatternToDateTimeFormat(shortDate, dateSep, timeSep, true);
  if (!longDate.empty()) fs.LongDateFormat = IcuPatternToDateTimeFormat(longDate, "", "", true);
  if (!shortTime.empty()) fs.ShortTimeFormat = IcuPatternToDateTimeFormat(shortTime, "", timeSep, false);
  if (!longTime.empty()) fs.LongTimeFormat = IcuPatternToDateTimeFormat(longTime, "", timeSep, false);

  err = U_ZERO_ERROR;
  icu::DateFormatSymbols names(loc, err);
  if (U_SUCCESS(err)) {
    int32_t count = 0;
    const icu::UnicodeString* ampm = names.getAmPmStrings(count);
    if (count >= 2) {
      fs.TimeAMString = symbolText(ampm[0]);
      fs.TimePMString = symbolText(ampm[1]);
    }
    using DFS = icu::DateFormatSymbols;
    const icu::UnicodeString* m = names.getMonths(count, DFS::FORMAT, DFS::WIDE);
    copyNames(m, count, 0, fs.LongMonthNames.data(), 12);
    m = names.getMonths(count, DFS::FORMAT, DFS::ABBREVIATED);
    copyNames(m, count, 0, fs.ShortMonthNames.data(), 12);
    // Weekdays come with an empty entry 0, then Sunday.
    m = names.getWeekdays(count, DFS::FORMAT, DFS::WIDE);
    copyNames(m, count, 1, fs.LongDayNames.data(), 7);
    m = names.getWeekdays(count, DFS::FORMAT, DFS::ABBREVIATED);
    copyNames(m, count, 1, fs.ShortDayNames.data(), 7);
  }
  return fs;
}

bool GetLocaleFormatSettings(Cardinal lcid, TFormatSettings& settings) {
  char name[ULOC_FULLNAME_CAPACITY];
  UErrorCode err = U_ZERO_ERROR;
  const int32_t n = uloc_getLocaleForLCID(lcid, name, sizeof name, &err);
  if (U_FAILURE(err) || n <= 0 || n >= static_cast<int32_t>(sizeof name)) return false;
  settings = GetLocaleFormatSettings(std::string(name, static_cast<size_t>(n)));
  return true;
}

std::string ThreadLocaleName() {
  std::string name;
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) {
      name = v;
      break;
    }
  }
  name = name.substr(0, name.find_first_of(".@"));
  return name.empty() ? "C" : name;
}

Cardinal GetThreadLocale() {
  std::string name = ThreadLocaleName();
  if (name == "C" || name == "POSIX") return LCID_EN_US;
  // Only names made of letters, digits and underscores reach ICU.
  for (char& c : name) {
    if (c == '-') c = '_';
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return 0;
  }
  return uloc_getLCID(name.c_str());
}

// ---------------------------------------------------------------------------

const TFormatSettings& TLocale::FormatSettings() const {
  std::call_once(settingsOnce_, [this] {
    settings_ = std::make_unique<TFormatSettings>(GetLocaleFormatSettings(icuName_));
  });
  return *settings_;
}

const UnicodeString& TLocale::Name(Integer field) const {
  std::call_once(namesOnce_, [this] {
    auto names = std::make_unique<UnicodeString[]>(4);
    const char* id = icuName_.c_str();
    auto get = [&](auto fn, const char* display, UnicodeString& out) {
      UChar buf[128];
      UErrorCode err = U_ZERO_ERROR;
      const int32_t n = fn(id, display, buf, 128, &err);
      if (U_SUCCESS(err) && n > 0 && n <= 128) out.assign(reinterpret_cast<const char16_t*>(buf), static_cast<size_t>(n));
    };
    get(uloc_getDisplayLanguage, displayLanguage_.c_str(), names[0]);
    get(uloc_getDisplayCountry, displayLanguage_.c_str(), names[1]);
    get(uloc_getDisplayLanguage, id, names[2]);
    get(uloc_getDisplayCountry, id, names[3]);
    names_ = std::move(names);
  });
  static const UnicodeString none;
  if (field < lfLanguage || field > lfCountryNative) return none;
  return names_[static_cast<size_t>(field - lfLanguage)];
}

TLocales::TLocales(const std::string& displayLanguage) {
  DataSet = CreateNamedMemDataSet("Locales");
  DataSet->SetRecordClass(MemRecordClass<TLocale>());
  DataSet->AddField(mftInteger, "LCID", 0);
  DataSet->AddField(mftAnsiString, "Code", 0);
  // The names are asked from ICU when first read.
  const char* names[] = {"Language", "Country", "Language Native", "Country Native"};
  for (const char* name : names)
    DataSet->AddCalculatedUnicodeStringField(name, [](TMemRecord& rec, Integer field, UnicodeString& value, bool&) {
      value = static_cast<const TLocale&>(rec).Name(field);
    });
  DataSet->AddIndex("LCID", lfLCID, mitOrderedUnique);
  DataSet->AddIndex("Code", lfCode, mitOrderedUnique);

  struct Candidate {
    Cardinal lcid;
    std::string icuName;
    AnsiString code;
  };
  std::vector<Candidate> found;
  const int32_t count = uloc_countAvailable();
  found.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const char* id = uloc_getAvailable(i);
    char language[ULOC_LANG_CAPACITY], country[ULOC_COUNTRY_CAPACITY];
    UErrorCode err = U_ZERO_ERROR;
    uloc_getCountry(id, country, sizeof country, &err);
    if (U_FAILURE(err) || err == U_STRING_NOT_TERMINATED_WARNING || !country[0]) continue;
    uloc_getLanguage(id, language, sizeof language, &err);
    if (U_FAILURE(err) || err == U_STRING_NOT_TERMINATED_WARNING || !language[0]) continue;
    // Variants (en_US_POSIX, ca_ES_VALENCIA) would take the code of their
    // main locale.
    char variant[8];
    if (uloc_getVariant(id, variant, sizeof variant, &err) != 0) continue;
    const Cardinal lcid = uloc_getLCID(id);
    if (lcid == 0) continue;
    // ICU answers a related identifier for locales Windows has none for
    // (en_AS gives en-US's, nl_AW bare Dutch's): keep only those whose
    // identifier leads back to the same language and country.
    char back[ULOC_FULLNAME_CAPACITY], backLanguage[ULOC_LANG_CAPACITY], backCountry[ULOC_COUNTRY_CAPACITY];
    const int32_t n = uloc_getLocaleForLCID(lcid, back, sizeof back, &err);
    if (U_FAILURE(err) || n <= 0 || n >= static_cast<int32_t>(sizeof back)) continue;
    uloc_getLanguage(back, backLanguage, sizeof backLanguage, &err);
    uloc_getCountry(back, backCountry, sizeof backCountry, &err);
    if (U_FAILURE(err) || err == U_STRING_NOT_TERMINATED_WARNING || std::strcmp(backLanguage, language) != 0 ||
        std::strcmp(backCountry, country) != 0)
      continue;
    found.push_back({lcid, id, AnsiString(language) + country});
  }
  std::stable_sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) { return a.lcid < b.lcid; });
  for (const Candidate& c : found) addLocale(c.lcid, c.code, c.icuName);

  LocaleEnUS = FindLocale(LCID_EN_US);
  LocaleNlNL = FindLocale(LCID_NL_NL);

  if (displayLanguage.empty()) {
    char language[ULOC_LANG_CAPACITY];
    UErrorCode err = U_ZERO_ERROR;
    uloc_getLanguage(GetCurrentLocale()->IcuName().c_str(), language, sizeof language, &err);
    displayLanguage_ = U_SUCCESS(err) && language[0] ? language : "en";
  } else {
    displayLanguage_ = displayLanguage;
  }
  for (TMemRecord* rec = DataSet->First(); rec; rec = rec->GetNext())
    static_cast<TLocale*>(rec)->displayLanguage_ = displayLanguage_;
}

void TLocales::addLocale(Cardinal lcid, const AnsiString& code, const std::string& icuName) {
  if (DataSet->FindInteger(0, static_cast<Integer>(lcid)) || DataSet->FindAnsiString(1, code)) return;
  auto* rec = static_cast<TLocale*>(DataSet->AddRecord());
  try {
    rec->icuName_ = icuName;
    rec->SetInteger(lfLCID, static_cast<Integer>(lcid));
    rec->SetAnsiString(lfCode, code);
  } catch (...) {
    delete rec;
    throw;
  }
}

TLocale* TLocales::FindLocale(Cardinal lcid) const {
  if (TMemRecord* rec = DataSet->FindInteger(0, static_cast<Integer>(lcid))) return static_cast<TLocale*>(rec);
  throw ELocaleException(px::Format("Unknown locale: 0x%4.4x", lcid));
}

TLocale* TLocales::FindLocaleByCode(std::string_view code) const {
  if (TMemRecord* rec = DataSet->FindAnsiString(1, code)) return static_cast<TLocale*>(rec);
  throw ELocaleException(px::Format("Unknown locale: %s", AnsiToUtf8(code)));
}

TLocale* TLocales::ResolveLocale(Cardinal lcid) const {
  if (TMemRecord* rec = DataSet->FindInteger(0, static_cast<Integer>(lcid))) return static_cast<TLocale*>(rec);
  // The primary language is the low ten bits; 0x400 is its default sublanguage.
  const Cardinal primary = (lcid & 0x3FF) | 0x400;
  if (TMemRecord* rec = DataSet->FindInteger(0, static_cast<Integer>(primary))) return static_cast<TLocale*>(rec);
  // A locale the list does not know must not make formatting fail.
  return LocaleEnUS;
}

TLocale* TLocales::GetCurrentLocale() const { return ResolveLocale(GetThreadLocale()); }

TLocales& Locales() {
  static TLocales locales;
  return locales;
}

}  // namespace px
