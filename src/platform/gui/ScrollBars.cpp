#include "platform/gui/ScrollBars.h"

#include <QScrollBar>
#include <algorithm>

#include "platform/gui/GuiInternal.h"

namespace px {

namespace {

TScrollCode codeOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return scLineDown;
    case QAbstractSlider::SliderSingleStepSub: return scLineUp;
    case QAbstractSlider::SliderPageStepAdd: return scPageDown;
    case QAbstractSlider::SliderPageStepSub: return scPageUp;
    case QAbstractSlider::SliderToMinimum: return scTop;
    case QAbstractSlider::SliderToMaximum: return scBottom;
    case QAbstractSlider::SliderMove: return scTrack;
    default: return scPosition;
  }
}

}  // namespace

TScrollBar::TScrollBar(TComponent* owner) : TWrappedControl(owner, new QScrollBar(Qt::Horizontal), false) {
  bar_ = static_cast<QScrollBar*>(Widget());
  bar_->setSingleStep(1);
  bar_->setPageStep(1);
  // The user's move arrives here before it is applied, so OnScroll can
  // change where the bar ends up.
  QObject::connect(bar_, &QAbstractSlider::actionTriggered, [this](int action) {
    if (syncing_ || action == QAbstractSlider::SliderNoAction) return;
    Guarded([&] {
      Integer pos = bar_->sliderPosition();
      if (OnScroll) OnScroll(this, codeOf(action), pos);
      bar_->setSliderPosition(std::clamp(pos, bar_->minimum(), bar_->maximum()));
    });
  });
  QObject::connect(bar_, &QAbstractSlider::sliderReleased, [this] {
    Guarded([&] {
      Integer pos = position_;
      if (OnScroll) OnScroll(this, scEndScroll, pos);
    });
  });
  QObject::connect(bar_, &QAbstractSlider::valueChanged, [this](int value) {
    if (syncing_ || value == position_) return;
    position_ = value;
    Guarded([&] {
      if (OnChange) OnChange(this);
    });
  });
  SetBounds(0, 0, 121, bar_->sizeHint().height());
  apply();
}

void TScrollBar::SetKind(TScrollBarKind value) {
  if (kind_ == value) return;
  kind_ = value;
  bar_->setOrientation(value == sbVertical ? Qt::Vertical : Qt::Horizontal);
  // A vertical bar takes the other side's thickness.
  SetBounds(Left(), Top(), Height(), Width());
}

void TScrollBar::SetParams(Integer position, Integer min, Integer max) {
  if (max < min) throw EInvalidOperation("Property value out of range");
  min_ = min;
  max_ = max;
  const Integer last = std::max(min_, max_ - std::max<Integer>(pageSize_ - 1, 0));
  const Integer clamped = std::clamp(position, min_, last);
  const bool moved = clamped != position_;
  position_ = clamped;
  apply();
  if (moved && OnChange) OnChange(this);
}

void TScrollBar::SetPageSize(Integer value) {
  if (value < 0 || value > max_ - min_ + 1) throw EInvalidOperation("Property value out of range");
  pageSize_ = value;
  SetParams(position_, min_, max_);
}

Integer TScrollBar::SmallChange() const { return bar_->singleStep(); }
void TScrollBar::SetSmallChange(Integer value) { bar_->setSingleStep(std::max<Integer>(1, value)); }
Integer TScrollBar::LargeChange() const { return bar_->pageStep(); }
void TScrollBar::SetLargeChange(Integer value) { bar_->setPageStep(std::max<Integer>(1, value)); }

void TScrollBar::apply() {
  syncing_ = true;
  const int large = bar_->pageStep();
  bar_->setRange(min_, std::max(min_, max_ - std::max<Integer>(pageSize_ - 1, 0)));
  // Qt sizes the thumb from the page step; keep LargeChange when there is
  // no page.
  if (pageSize_ > 0) bar_->setPageStep(pageSize_);
  else bar_->setPageStep(large);
  bar_->setValue(position_);
  syncing_ = false;
}

}  // namespace px
