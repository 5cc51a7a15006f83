#include <gtest/gtest.h>

#include <QApplication>
#include <QDateEdit>
#include <QKeyEvent>
#include <cstdlib>
#include <string>

#include "platform/core/DateTime.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/FormatSettings.h"
#include "platform/gui/DateTimePicker.h"

namespace px {
namespace {

// Sets TZ for one test and restores it.
struct ZoneScope {
  std::string saved;
  bool had;
  explicit ZoneScope(const char* zone) {
    const char* old = getenv("TZ");
    had = old != nullptr;
    if (had) saved = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (had) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
    tzset();
  }
};

// The shown day is the local day of the value in zones far from UTC on both
// sides, late in the evening and before 1899-12-30 alike; the time of day
// set stays with DateTime.
TEST(DateTimePicker, ShowsTheLocalDayOfTheValue) {
  for (const char* zone : {"Pacific/Kiritimati", "Pacific/Pago_Pago", "UTC"}) {
    ZoneScope tz(zone);
    TDateTimePicker picker(nullptr);
    struct Case {
      TDateTime value;
      QDate shown;
    };
    const Case cases[] = {
        {EncodeDateTime(2024, 5, 3, 23, 30, 0, 0), QDate(2024, 5, 3)},
        {EncodeDateTime(2024, 5, 4, 0, 0, 0, 0), QDate(2024, 5, 4)},
        {EncodeDateTime(2024, 2, 29, 0, 0, 1, 0), QDate(2024, 2, 29)},
        {-1.25, QDate(1899, 12, 29)},
        {EncodeDateTime(1600, 3, 1, 12, 0, 0, 0), QDate(1600, 3, 1)},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(zone) + " " + std::to_string(c.value));
      picker.SetDateTime(c.value);
      EXPECT_EQ(picker.DateEdit()->date(), c.shown);
      EXPECT_EQ(picker.Date(), DateOf(c.value));
      EXPECT_NEAR(picker.DateTime(), c.value, 1e-9);
    }
  }
}

// A new picker shows today by the program's clock; a day chosen in the
// widget reports a change and reads back at 00:00.
TEST(DateTimePicker, StartsTodayAndReportsChanges) {
  TClockHook old = SetClockHook([] { return EncodeDateTime(2026, 1, 15, 9, 45, 0, 0); });
  TDateTimePicker picker(nullptr);
  SetClockHook(old);
  EXPECT_EQ(picker.DateEdit()->date(), QDate(2026, 1, 15));
  int changes = 0;
  picker.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &picker);
    ++changes;
  };
  picker.DateEdit()->setDate(QDate(2026, 5, 3));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(picker.Date(), EncodeDate(2026, 5, 3));
  picker.SetDate(EncodeDate(2026, 5, 3));  // the same day: no change
  EXPECT_EQ(changes, 1);
}

// The program's short date form for one test.
struct ShortDateScope {
  TFormatSettings saved = FormatSettings;
  ShortDateScope(const char* format, const char* separator) {
    FormatSettings.ShortDateFormat = format;
    FormatSettings.DateSeparator = separator;
  }
  ~ShortDateScope() { FormatSettings = saved; }
};

void key(QWidget* w, Qt::Key k, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier, text);
  QApplication::sendEvent(w, &release);
}

// The day shows in the program's short date form, as the lists and reports
// beside the picker show dates, whatever the form's order, separator and
// literal text; Qt's section letters in that text stay text.
TEST(DateTimePicker, ShowsTheProgramsShortDateForm) {
  struct Case {
    const char* format;
    const char* separator;
    const char* shown;
  };
  const Case cases[] = {
      {"M/d/yyyy", "/", "5/3/2026"},
      {"dd/mm/yyyy", ".", "03.05.2026"},
      {"yyyy/MM/dd", "-", "2026-05-03"},
      {"d/MM/yyyy 'г'.", ".", "3.05.2026 г."},
      {"yyyy. M. d. \"it's\"", "/", "2026. 5. 3. it's"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    ShortDateScope scope(c.format, c.separator);
    TDateTimePicker picker(nullptr);
    picker.SetDate(EncodeDateTime(2026, 5, 3, 14, 0, 0, 0));
    EXPECT_EQ(picker.DateEdit()->text().toStdString(), c.shown);
    EXPECT_EQ(picker.DateEdit()->text().toStdString(), FormatDateTime(c.format, picker.Date()));
  }
}

TEST(DateTimePicker, EditsInTheProgramsShortDateForm) {
  ShortDateScope scope("dd/mm/yyyy", ".");
  TDateTimePicker picker(nullptr);
  picker.SetDate(EncodeDate(2026, 5, 3));
  picker.Show();
  QDateEdit* edit = picker.DateEdit();
  int changes = 0;
  picker.OnChange = [&](TObject*) { ++changes; };
  edit->setCurrentSection(QDateTimeEdit::DaySection);
  key(edit, Qt::Key_Up);
  EXPECT_EQ(picker.Date(), EncodeDate(2026, 5, 4));
  edit->setSelectedSection(QDateTimeEdit::MonthSection);
  key(edit, Qt::Key_1, "1");
  key(edit, Qt::Key_2, "2");
  EXPECT_EQ(picker.Date(), EncodeDate(2026, 12, 4));
  EXPECT_EQ(edit->text().toStdString(), "04.12.2026");
  EXPECT_GE(changes, 2);
}

}  // namespace
}  // namespace px
