#include "platform/gui/DateTimePicker.h"

#include <QDateEdit>

#include "platform/core/DateTime.h"
#include "platform/gui/GuiInternal.h"

namespace px {

namespace {
// Days between 1899-12-30 and the Julian day count Qt keeps dates in.
constexpr qint64 julianDayOfZero = 2415019;
}  // namespace

TDateTimePicker::TDateTimePicker(TComponent* owner) : TWrappedControl(owner, new QDateEdit, false) {
  edit_ = static_cast<QDateEdit*>(Widget());
  edit_->setCalendarPopup(true);
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
