#pragma once
// The date picker: an edit for one calendar date with a drop-down calendar.
//
// Its value is a local date-time: the date shown is the local calendar day of
// the value (truncated, never taken through UTC), and the time of day set
// with the value is kept, so DateTime gives back what was set while Date
// gives the shown day at 00:00. Days from 0100-01-01 to 9999-12-31 can be
// shown; a value outside shows the nearest of them. The day is shown (and
// typed) in FormatSettings' ShortDateFormat as it was at creation.
#include "platform/core/Types.h"
#include "platform/gui/StdCtrls.h"

class QDateEdit;

namespace px {

class TDateTimePicker : public TWrappedControl {
 public:
  explicit TDateTimePicker(TComponent* owner);
  // The shown day at 00:00.
  TDateTime Date() const;
  // Shows the day of value; its time of day stays with DateTime.
  void SetDate(TDateTime value);
  // The shown day with the time of day last set.
  TDateTime DateTime() const;
  void SetDateTime(TDateTime value) { SetDate(value); }
  // A change by the user or in code.
  TNotifyEvent OnChange;
  QDateEdit* DateEdit() const { return edit_; }

 protected:
  virtual void Change();

 private:
  QDateEdit* edit_;
  TDateTime timeOfDay_ = 0;
};

}  // namespace px
