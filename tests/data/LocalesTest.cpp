#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "data/UnitLocales.h"
#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/NumberConversion.h"
#include "support/TempDir.h"

namespace px {
namespace {

// Sets the locale variables for one test and puts the old values back.
class ScopedLocaleEnv {
 public:
  ScopedLocaleEnv(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* v = std::getenv(name);
      saved_[name] = v ? std::optional<std::string>(v) : std::nullopt;
    }
    set("LC_ALL", lcAll);
    set("LC_MESSAGES", lcMessages);
    set("LANG", lang);
  }
  ~ScopedLocaleEnv() {
    for (auto& [name, value] : saved_) set(name.c_str(), value ? value->c_str() : nullptr);
  }

 private:
  static void set(const char* name, const char* value) {
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(Locales, ListHoldsNetherlandsAndUnitedStates) {
  TLocales list("en");
  ASSERT_NE(list.LocaleNlNL, nullptr);
  EXPECT_EQ(list.LocaleNlNL->LCID(), 1043);
  EXPECT_EQ(list.LocaleNlNL->Code(), "nlNL");
  EXPECT_EQ(list.LocaleEnUS->LCID(), 1033);
  EXPECT_EQ(list.LocaleEnUS->Code(), "enUS");
  EXPECT_EQ(list.FindLocaleByCode("nlNL"), list.LocaleNlNL);
  EXPECT_EQ(list.FindLocale(0x0413), list.LocaleNlNL);

  const IMemDataSet& ds = list.DataSet;
  EXPECT_EQ(ds->GetName(), "Locales");
  ASSERT_EQ(ds->GetFieldCount(), 6);
  const char* names[] = {"LCID", "Code", "Language", "Country", "Language Native", "Country Native"};
  for (Integer i = 0; i < 6; ++i) EXPECT_EQ(ds->GetFieldName(i), names[i]);
  EXPECT_EQ(ds->GetIndexName(0), "LCID");
  EXPECT_EQ(ds->GetIndexName(1), "Code");

  TMemRecord* nl = list.LocaleNlNL;
  EXPECT_EQ(nl->GetUnicodeString(lfLanguage), u"Dutch");
  EXPECT_EQ(nl->GetUnicodeString(lfCountry), u"Netherlands");
  EXPECT_EQ(nl->GetUnicodeString(lfLanguageNative), u"Nederlands");
  EXPECT_EQ(nl->GetUnicodeString(lfCountryNative), u"Nederland");
  EXPECT_GT(ds->GetRecordCount(), 100);
}

TEST(Locales, CodesAndNumbersAreUnique) {
  TLocales list("en");
  std::map<AnsiString, Integer> codes;
  for (TMemRecord* r = list.DataSet->First(); r; r = r->GetNext()) {
    EXPECT_TRUE(codes.emplace(r->GetAnsiString(lfCode), r->GetInteger(lfLCID)).second) << r->GetAnsiString(lfCode);
    EXPECT_NE(r->GetInteger(lfLCID), 0);
  }
  // Two variants share "srRS" and "azAZ": the lower number, which Windows
  // lists first, keeps the code.
  EXPECT_EQ(list.FindLocaleByCode("azAZ")->LCID(), 0x042C);
  EXPECT_EQ(list.FindLocaleByCode("srRS")->LCID(), 0x241A);
}

TEST(Locales, UnknownLocalesRaise) {
  TLocales list("en");
  EXPECT_THROW(
      {
        try {
          list.FindLocaleByCode("xxYY");
        } catch (const ELocaleException& e) {
          EXPECT_EQ(e.Message(), "Unknown locale: xxYY");
          throw;
        }
      },
      ELocaleException);
  EXPECT_THROW(
      {
        try {
          list.FindLocale(0x0001);
        } catch (const ELocaleException& e) {
          EXPECT_EQ(e.Message(), "Unknown locale: 0x0001");
          throw;
        }
      },
      ELocaleException);
}

// LCIDs against Python's table of Windows locale identifiers.
TEST(Locales, NumbersMatchPythonWindowsLocaleTable) {
  std::string out;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 -c \"import locale\nfor k,v in sorted(locale.windows_locale.items()): "
                             "print(k, v)\"",
                             &out),
            0);
  std::map<Integer, std::string> python;
  std::istringstream lines(out);
  Integer lcid;
  std::string name;
  while (lines >> lcid >> name) python[lcid] = name;
  ASSERT_GT(python.size(), 100u);

  TLocales list("en");
  const char* table[][2] = {{"enUS", "en_US"}, {"enGB", "en_GB"}, {"nlNL", "nl_NL"}, {"nlBE", "nl_BE"},
                            {"deDE", "de_DE"}, {"deAT", "de_AT"}, {"deCH", "de_CH"}, {"frFR", "fr_FR"},
                            {"frBE", "fr_BE"}, {"frCA", "fr_CA"}, {"itIT", "it_IT"}, {"esMX", "es_MX"},
                            {"ptBR", "pt_BR"}, {"ptPT", "pt_PT"}, {"plPL", "pl_PL"}, {"ruRU", "ru_RU"},
                            {"svSE", "sv_SE"}, {"daDK", "da_DK"}, {"fiFI", "fi_FI"}, {"nbNO", "nb_NO"},
                            {"csCZ", "cs_CZ"}, {"huHU", "hu_HU"}, {"trTR", "tr_TR"}, {"elGR", "el_GR"},
                            {"jaJP", "ja_JP"}, {"koKR", "ko_KR"}, {"zhCN", "zh_CN"}, {"zhTW", "zh_TW"},
                            {"arSA", "ar_SA"}, {"heIL", "he_IL"}, {"ukUA", "uk_UA"}, {"roRO", "ro_RO"}};
  for (auto& row : table) {
    SCOPED_TRACE(row[0]);
    const Integer ours = list.FindLocaleByCode(row[0])->LCID();
    ASSERT_TRUE(python.count(ours)) << ours;
    EXPECT_EQ(python[ours], row[1]);
  }
}

TEST(Locales, ThreadLocaleFromEnvironment) {
  TLocales list("en");
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    Integer lcid;
  } cases[] = {
      {nullptr, nullptr, "nl_NL.UTF-8", 1043},
      {nullptr, nullptr, "C", 1033},
      {nullptr, nullptr, "POSIX", 1033},
      {nullptr, nullptr, nullptr, 1033},
      {"", "", "", 1033},
      {nullptr, nullptr, "xx_QQ.UTF-8", 1033},    // unknown: en-US
      {nullptr, nullptr, "not a locale!", 1033},  // unknown: en-US
      {nullptr, nullptr, "de_XX", 0x0407},        // primary language's default
      {nullptr, nullptr, "nl", 1043},
      {nullptr, "de_DE.UTF-8", "nl_NL.UTF-8", 0x0407},
      {"fr_FR@euro", "de_DE.UTF-8", "nl_NL.UTF-8", 0x040C},
      {"", "de_AT", "nl_NL", 0x0C07},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lang ? c.lang : "(unset)") + " / " + (c.lcMessages ? c.lcMessages : "(unset)"));
    ScopedLocaleEnv env(c.lcAll, c.lcMessages, c.lang);
    EXPECT_EQ(list.GetCurrentLocale()->LCID(), c.lcid);
  }
}

TEST(Locales, RegionalVariantFallsBackToPrimaryLanguage) {
  TLocales list("en");
  // 0x7C13 is Dutch without a country; 0x0013 the bare language.
  EXPECT_EQ(list.ResolveLocale(0x7C13)->LCID(), 0x0413);
  EXPECT_EQ(list.ResolveLocale(0x0013)->LCID(), 0x0413);
  // The primary language takes ten bits: 0x0090 is not 0x0010.
  EXPECT_EQ(list.ResolveLocale(0x0810)->LCID(), 0x0810);  // it-CH is present itself
  EXPECT_EQ(list.ResolveLocale(0x7C10)->LCID(), 0x0410);
  EXPECT_EQ(list.ResolveLocale(0xFFFF)->LCID(), 0x0409);
}

TEST(Locales, DisplayLanguageFollowsCurrentLocale) {
  ScopedLocaleEnv env(nullptr, nullptr, "nl_NL.UTF-8");
  TLocales list;
  EXPECT_EQ(list.DisplayLanguage(), "nl");
  EXPECT_EQ(list.LocaleEnUS->GetUnicodeString(lfLanguage), u"Engels");
  EXPECT_EQ(list.LocaleEnUS->GetUnicodeString(lfLanguageNative), u"English");
}

TEST(Locales, FormatSettingsOfNetherlandsAndUnitedStates) {
  TLocales list("en");
  const TFormatSettings& nl = list.LocaleNlNL->FormatSettings();
  EXPECT_EQ(nl.DecimalSeparator, ",");
  EXPECT_EQ(nl.ThousandSeparator, ".");
  EXPECT_EQ(nl.CurrencyString, "€");
  EXPECT_EQ(nl.CurrencyFormat, 2);   // "€ 1"
  EXPECT_EQ(nl.NegCurrFormat, 12);   // "€ -1"
  EXPECT_EQ(nl.CurrencyDecimals, 2);
  EXPECT_EQ(nl.DateSeparator, "-");
  EXPECT_EQ(nl.ShortDateFormat, "dd/MM/yyyy");
  EXPECT_EQ(nl.LongDateFormat, "dddd d MMMM yyyy");
  EXPECT_EQ(nl.ShortTimeFormat, "hh:nn");
  EXPECT_EQ(nl.ListSeparator, ";");
  EXPECT_EQ(nl.LongMonthNames[2], "maart");
  EXPECT_EQ(nl.LongDayNames[0], "zondag");

  const TDateTime t = EncodeDateTime(2024, 3, 5, 14, 7, 9, 0);
  EXPECT_EQ(DateTimeToStr(t, nl), "05-03-2024 14:07:09");
  EXPECT_EQ(FormatDateTime("dddddd", t, nl), "dinsdag 5 maart 2024");
  EXPECT_EQ(CurrToStrF(Currency::FromRaw(-12345670), ffCurrency, 2, nl), "€ -1.234,57");
  EXPECT_EQ(list.LocaleNlNL->Format("%.2n", 1234.5), "1.234,50");

  const TFormatSettings& us = list.LocaleEnUS->FormatSettings();
  EXPECT_EQ(us.DecimalSeparator, ".");
  EXPECT_EQ(us.CurrencyString, "$");
  EXPECT_EQ(us.CurrencyFormat, 0);
  EXPECT_EQ(us.NegCurrFormat, 1);
  EXPECT_EQ(us.ShortDateFormat, "M/d/yyyy");
  EXPECT_EQ(us.LongDateFormat, "dddd, MMMM d, yyyy");
  EXPECT_EQ(us.ShortTimeFormat, "h:nn AMPM");
  EXPECT_EQ(DateTimeToStr(t, us), "3/5/2024 2:07:09 PM");
}

TEST(Locales, FormatSettingsOfOtherScriptsAndLayouts) {
  struct Case {
    const char* icu;
    const char* decimal;
    const char* shortDate;
    const char* longTime;
    Byte currencyFormat;
    Byte decimals;
  } cases[] = {
      {"de_DE", ",", "dd/MM/yyyy", "hh:nn:ss", 3, 2},
      {"fi_FI", ",", "d/M/yyyy", "h:nn:ss", 3, 2},
      {"ja_JP", ".", "yyyy/MM/dd", "h:nn:ss", 0, 0},
      {"zh_TW", ".", "yyyy/M/d", "AMPMh:nn:ss", 0, 2},
      {"ar_SA", ".", "d/M/yyyy", "h:nn:ss AMPM", 3, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.icu);
    const TFormatSettings fs = GetLocaleFormatSettings(c.icu);
    EXPECT_EQ(fs.DecimalSeparator, c.decimal);
    EXPECT_EQ(fs.ShortDateFormat, c.shortDate);
    EXPECT_EQ(fs.LongTimeFormat, c.longTime);
    EXPECT_EQ(fs.CurrencyFormat, c.currencyFormat);
    EXPECT_EQ(fs.CurrencyDecimals, c.decimals);
  }
  // Finnish separates hours and minutes with a full stop.
  EXPECT_EQ(GetLocaleFormatSettings("fi_FI").TimeSeparator, ".");
  // The narrow no-break space becomes one the single-byte code page holds.
  EXPECT_EQ(GetLocaleFormatSettings("fr_FR").ThousandSeparator, "\u00A0");
}

TEST(Locales, IcuPatternConversion) {
  struct Case {
    const char16_t* pattern;
    const char* dateSep;
    const char* timeSep;
    bool four;
    const char* expected;
  } cases[] = {
      {u"M/d/yy", "/", "", false, "M/d/yy"},
      {u"M/d/yy", "/", "", true, "M/d/yyyy"},
      {u"EEEE d 'de' MMMM 'de' y", "", "", true, "dddd d \"de\" MMMM \"de\" yyyy"},
      {u"h:mm\u202Fa", "", ":", false, "h:nn AMPM"},
      {u"HH:mm:ss zzzz", "", ":", false, "hh:nn:ss"},
      {u"EEEEที่ d MMMM G y", "", "", true, "dddd\u0e17\u0e35\u0e48 d MMMM yyyy"},
      {u"d\u200F/M\u200F/y", "/", "", true, "d/M/yyyy"},
      {u"'o''clock' H", "", "", false, "\"o'clock\" h"},
      {u"H:mm:ss.SSS", "", ":", false, "h:nn:ss.zzz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(IcuPatternToDateTimeFormat(c.pattern, c.dateSep, c.timeSep, c.four), c.expected);
  }
}

TEST(Locales, FormatSettingsByNumber) {
  TFormatSettings fs;
  ASSERT_TRUE(GetLocaleFormatSettings(Cardinal{1043}, fs));
  EXPECT_EQ(fs.DecimalSeparator, ",");
  TFormatSettings unchanged;
  unchanged.DecimalSeparator = "x";
  EXPECT_FALSE(GetLocaleFormatSettings(Cardinal{0x1234}, unchanged));
  EXPECT_EQ(unchanged.DecimalSeparator, "x");
}

}  // namespace
}  // namespace px
