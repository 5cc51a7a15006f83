#include "platform/gui/DateTimePicker.h"

#include <QDateEdit>

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/core/DateTime.h"
#include "platform/core/FormatSettings.h"
#include "platform/gui/GuiInternal.h"

namespace px {

namespace {
// Days between 1899-12-30 and the Julian day count Qt keeps dates in.
constexpr qint64 julianDayOfZero = 2415019;

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The date edit shows and edits its text in sections named by Qt's format
// letters, so the program's date pattern (the letters of FormatDateTime) is
// spelt in them: days, months and years become sections, the date separator
// and everything else literal text, quoted so that no letter of it is taken
// for a section.
class QtDateFormat {
 public:
  explicit QtDateFormat(const TFormatSettings& settings) : settings_(settings) {}

  // Nested formats (ddddd, dddddd) are followed two levels deep, as
  // FormatDateTime follows them.
  void Append(std::string_view pattern, int level = 0) {
    if (level > 2) return;
    size_t i = 0;
    while (i < pattern.size()) {
      const char starter = pattern[i];
      size_t count = 1;
      while (i + count < pattern.size() && pattern[i + count] == starter) ++count;
      switch (upperAscii(starter)) {
        case 'Y': section(count <= 2 ? "yy" : "yyyy"); break;
        case 'M': section(QString(static_cast<qsizetype>(std::min<size_t>(count, 4)), QChar('M'))); break;
        case 'D':
          if (count <= 4) section(QString(static_cast<qsizetype>(count), QChar('d')));
          else Append(count == 5 ? settings_.ShortDateFormat : settings_.LongDateFormat, level + 1);
          break;
        case '/':
          literal_ += settings_.DateSeparator;
          count = 1;
          break;
        case '"':
        case '\'': {
          size_t close = pattern.find(starter, i + 1);
          if (close == std::string_view::npos) close = pattern.size();
          literal_.append(pattern.substr(i + 1, close - i - 1));
          count = std::min(close + 1, pattern.size()) - i;
          break;
        }
        default: literal_.append(pattern.substr(i, count)); break;
      }
      i += count;
    }
  }

  // Empty when the pattern has no day, month or year to edit.
  QString Result() {
    flush();
    return sections_ ? out_ : QString();
  }

 private:
  void section(const QString& letters) {
    flush();
    out_ += letters;
    ++sections_;
  }
  void flush() {
    if (literal_.empty()) return;
    QString text = QString::fromStdString(literal_);
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    out_ += QLatin1Char('\'') + text + QLatin1Char('\'');
    literal_.clear();
  }
  const TFormatSettings& settings_;
  QString out_;
  std::string literal_;
  int sections_ = 0;
};

}  // namespace

TDateTimePicker::TDateTimePicker(TComponent* owner) : TWrappedControl(owner, new QDateEdit, false) {
  edit_ = static_cast<QDateEdit*>(Widget());
  edit_->setCalendarPopup(true);
  // The day in the program's short date form, as its lists and reports
  // show dates, not in Qt's form of the system locale.
  QtDateFormat format(FormatSettings);
  format.Append(FormatSettings.ShortDateFormat);
  const QString display = format.Result();
  if (!display.isEmpty()) edit_->setDisplayFormat(display);
  // Qt's default minimum (1752) would silently move older values; 100-01-01
  // is the earliest day its date edit takes.
  edit_->setMinimumDate(QDate(100, 1, 1));
  edit_->setMaximumDate(QDate(9999, 12, 31));
  TabStop = true;
  QObject::connect(edit_, &QDateEdit::dateChanged, [this](const QDate&) { Guarded([this] { Change(); }); });
  SetDate(px::Date());
  SetBounds(0, 0, 186, 21);
}

TDateTime TDateTimePicker::Date() const {
  return static_cast<TDateTime>(edit_->date().toJulianDay() - julianDayOfZero);
}

void TDateTimePicker::SetDate(TDateTime value) {
  const TDateTime day = DateOf(value);  // raises EConvertError for NaN
  timeOfDay_ = TimeOf(value);
  edit_->setDate(QDate::fromJulianDay(static_cast<qint64>(day) + julianDayOfZero));
}

TDateTime TDateTimePicker::DateTime() const {
  const TDateTime day = Date();
  // Before 1899-12-30 the fraction still counts forwards from midnight, so
  // the time is subtracted from the (negative) whole day.
  return day < 0 ? day - timeOfDay_ : day + timeOfDay_;
}

void TDateTimePicker::Change() {
  if (OnChange) OnChange(this);
}

}  // namespace px
