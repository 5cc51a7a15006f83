#pragma once
// A stand-alone scroll bar over Qt's. Max is the last position the bar's
// range covers; with a page size the thumb reaches Max - PageSize + 1.
#include <functional>

#include "platform/gui/StdCtrls.h"

class QScrollBar;

namespace px {

enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };
// The user moves the bar: ScrollPos is where it goes; the handler may change it.
using TScrollEvent = std::function<void(TObject* sender, TScrollCode code, Integer& scrollPos)>;

class TScrollBar : public TWrappedControl {
 public:
  explicit TScrollBar(TComponent* owner);
  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind value);
  Integer Min() const { return min_; }
  Integer Max() const { return max_; }
  Integer Position() const { return position_; }
  Integer PageSize() const { return pageSize_; }
  void SetMin(Integer value) { SetParams(position_, value, max_); }
  void SetMax(Integer value) { SetParams(position_, min_, value); }
  // Clamped into the range; OnChange runs when it moves.
  void SetPosition(Integer value) { SetParams(value, min_, max_); }
  // Raises EInvalidOperation "Property value out of range" when max < min.
  void SetParams(Integer position, Integer min, Integer max);
  void SetPageSize(Integer value);
  Integer SmallChange() const;
  void SetSmallChange(Integer value);
  Integer LargeChange() const;
  void SetLargeChange(Integer value);
  TNotifyEvent OnChange;
  TScrollEvent OnScroll;
  QScrollBar* QtScrollBar() const { return bar_; }

 private:
  void apply();
  QScrollBar* bar_;
  TScrollBarKind kind_ = sbHorizontal;
  Integer min_ = 0, max_ = 100, position_ = 0, pageSize_ = 0;
  bool syncing_ = false;
};

}  // namespace px
