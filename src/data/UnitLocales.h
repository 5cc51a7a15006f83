#pragma once
// The list of the locales the program knows, with their numbers (Windows
// locale identifiers), language-country codes, names and format settings.
//
// The locales come from ICU: every ICU locale that names a country and has a
// Windows locale identifier, taken in the order of that identifier so that a
// language-country code shared by several variants (scripts, collations)
// stays with the lowest number, which is the variant Windows lists first.
// Names and format settings are looked up on first use: building the list
// stays cheap at start-up, and most locales are never shown.
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "data/UnitDataSet.h"
#include "platform/core/Format.h"
#include "platform/core/FormatSettings.h"

namespace px {

PX_DECLARE_EXCEPTION(ELocaleException, Exception);

// Fields of the "Locales" dataset.
constexpr Integer lfLCID = 0;
constexpr Integer lfCode = 1;
constexpr Integer lfLanguage = 2;
constexpr Integer lfCountry = 3;
constexpr Integer lfLanguageNative = 4;
constexpr Integer lfCountryNative = 5;

constexpr Cardinal LCID_EN_US = 0x0409;
constexpr Cardinal LCID_NL_NL = 0x0413;

// A record of the "Locales" dataset with the locale's format settings.
class TLocale : public TMemRecord {
 public:
  Integer LCID() const { return GetInteger(lfLCID); }
  AnsiString Code() const { return GetAnsiString(lfCode); }
  // ICU's name of the locale ("nl_NL").
  const std::string& IcuName() const { return icuName_; }
  const TFormatSettings& FormatSettings() const;

  template <class... Args>
  std::string Format(std::string_view fmt, const Args&... args) const {
    return px::Format(FormatSettings(), fmt, args...);
  }

  // The four names, in the display language given to the list (Language,
  // Country) or in the locale's own language (the native ones).
  const UnicodeString& Name(Integer field) const;

 private:
  friend class TLocales;
  std::string icuName_;
  std::string displayLanguage_;
  mutable std::once_flag settingsOnce_;
  mutable std::unique_ptr<TFormatSettings> settings_;
  mutable std::once_flag namesOnce_;
  mutable std::unique_ptr<UnicodeString[]> names_;
};

class TLocales {
 public:
  // displayLanguage: ICU language of the Language and Country names; empty
  // takes the language of the current locale.
  explicit TLocales(const std::string& displayLanguage = "");
  TLocales(const TLocales&) = delete;
  TLocales& operator=(const TLocales&) = delete;

  IMemDataSet DataSet;
  TLocale* LocaleEnUS = nullptr;
  TLocale* LocaleNlNL = nullptr;

  // The locale of GetThreadLocale; else the default locale of its primary
  // language; else en-US.
  TLocale* GetCurrentLocale() const;
  // The same resolution for any identifier.
  TLocale* ResolveLocale(Cardinal lcid) const;
  // Raise ELocaleException "Unknown locale: 0x%4.4x" / "Unknown locale: %s".
  TLocale* FindLocale(Cardinal lcid) const;
  TLocale* FindLocaleByCode(std::string_view code) const;
  const std::string& DisplayLanguage() const { return displayLanguage_; }

 private:
  void addLocale(Cardinal lcid, const AnsiString& code, const std::string& icuName);
  std::string displayLanguage_;
};

// The one list of the program, built on first use.
TLocales& Locales();

// The thread locale: the locale named by the first non-empty of LC_ALL,
// LC_MESSAGES and LANG, as a Windows locale identifier. "C", "POSIX" or no
// setting at all give en-US (1033); a name ICU does not know gives 0.
Cardinal GetThreadLocale();
// The locale name that GetThreadLocale reads, without code set and modifier
// ("nl_NL.UTF-8@euro" gives "nl_NL"); "C" when nothing is set.
std::string ThreadLocaleName();

// Format settings of an ICU locale from ICU's locale data: separators,
// currency symbol, placement and decimals, date and time patterns in
// FormatDateTime's tokens, AM/PM strings and month and day names. The
// Gregorian calendar and Latin digits are used whatever the locale prefers,
// because those are what our formatting produces.
TFormatSettings GetLocaleFormatSettings(const std::string& icuName);
// By Windows locale identifier; false (settings unchanged) for one ICU does
// not know.
bool GetLocaleFormatSettings(Cardinal lcid, TFormatSettings& settings);

// Converts an ICU date/time pattern to FormatDateTime's tokens. Separators
// equal to dateSeparator/timeSeparator become "/" and ":"; fields without a
// counterpart (era, time zone, quarter, week) are left out.
std::string IcuPatternToDateTimeFormat(std::u16string_view pattern, std::string_view dateSeparator,
                                       std::string_view timeSeparator, bool fourDigitYears);

}  // namespace px
