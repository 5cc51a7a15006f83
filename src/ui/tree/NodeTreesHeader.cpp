#include "ui/tree/NodeTreesHeader.h"

#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ui/tree/NodeTreesHeaderTree.h"

namespace px {

namespace ht = headertree;

namespace {
int32_t mulDiv(int32_t v, int32_t m, int32_t d) {
  if (d == 0) return -1;
  return static_cast<int32_t>(std::lround(static_cast<double>(v) * m / d));
}
}  // namespace

// ---------------------------------------------------------------------------
// TNTFixedAreaConstraints

void TNTFixedAreaConstraints::setConstraints(int index, TNTConstraintPercent value) {
  if (values_[index] == value) return;
  values_[index] = value;
  // Maxima are 0 and 1, minima 2 and 3; a maximum below its minimum pulls
  // the minimum down, a minimum above a set maximum pushes it up.
  if (index < 2) {
    if (values_[index + 2] > value) values_[index + 2] = value;
  } else if (values_[index - 2] != 0 && values_[index - 2] < value) {
    values_[index - 2] = value;
  }
  change();
}

void TNTFixedAreaConstraints::change() {
  if (OnChange) OnChange(this);
  if (owner_ != nullptr) owner_->constraintsChanged();
}

void TNTFixedAreaConstraints::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TNTFixedAreaConstraints*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  std::copy(std::begin(other->values_), std::end(other->values_), std::begin(values_));
  change();
}

// ---------------------------------------------------------------------------
// TScrollBarOptions

void TScrollBarOptions::recreate() {
  if (!ht::Loading(owner_) && ht::HandleAllocated(owner_)) ht::RecreateWindow(owner_);
}

bool TScrollBarOptions::AlwaysVisible() const {
  return owner_ ? ht::ScrollSettings(owner_).AlwaysVisible : alwaysVisible_;
}

void TScrollBarOptions::SetAlwaysVisible(bool value) {
  if (AlwaysVisible() == value) return;
  if (owner_)
    ht::ScrollSettings(owner_).AlwaysVisible = value;
  else
    alwaysVisible_ = value;
  recreate();
}

TScrollStyle TScrollBarOptions::ScrollBars() const {
  if (!owner_) return scrollBars_;
  const TSet<TScrollBarKind> bars = ht::ScrollSettings(owner_).Bars;
  const bool h = bars.Contains(sbHorizontal), v = bars.Contains(sbVertical);
  return h && v ? ssBoth : h ? ssHorizontal : v ? ssVertical : ssNone;
}

void TScrollBarOptions::SetScrollBars(TScrollStyle value) {
  if (ScrollBars() == value) return;
  if (owner_) {
    TSet<TScrollBarKind> bars;
    if (value == ssBoth || value == ssHorizontal) bars.Include(sbHorizontal);
    if (value == ssBoth || value == ssVertical) bars.Include(sbVertical);
    ht::ScrollSettings(owner_).Bars = bars;
  } else {
    scrollBars_ = value;
  }
  recreate();
}

TNTScrollIncrement TScrollBarOptions::HorizontalIncrement() const {
  return owner_ ? ht::ScrollSettings(owner_).HorizontalIncrement : horizontalIncrement_;
}

void TScrollBarOptions::SetHorizontalIncrement(TNTScrollIncrement value) {
  (owner_ ? ht::ScrollSettings(owner_).HorizontalIncrement : horizontalIncrement_) = value;
}

TNTScrollIncrement TScrollBarOptions::VerticalIncrement() const {
  return owner_ ? ht::ScrollSettings(owner_).VerticalIncrement : verticalIncrement_;
}

void TScrollBarOptions::SetVerticalIncrement(TNTScrollIncrement value) {
  (owner_ ? ht::ScrollSettings(owner_).VerticalIncrement : verticalIncrement_) = value;
}

void TScrollBarOptions::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TScrollBarOptions*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  SetAlwaysVisible(other->AlwaysVisible());
  SetHorizontalIncrement(other->HorizontalIncrement());
  SetScrollBars(other->ScrollBars());
  ScrollBarStyle = other->ScrollBarStyle;
  SetVerticalIncrement(other->VerticalIncrement());
}

// ---------------------------------------------------------------------------
// TNTColors

TNTColors::TNTColors(TBaseNodeTree* owner)
    : owner_(owner),
      colors_{clBtnShadow, clHighlight, clHighlight, clHighlight, clBtnFace,   clBtnShadow,
              clBtnFace,   clBtnFace,   clWindowText, clHighlight, clBtnFace, clHighlight,
              clHighlight, clHighlight, clBtnShadow, clHighlightText} {}

void TNTColors::Set(TIndex index, TColor value) {
  if (index < 0 || index > SelectionTextColor || colors_[index] == value) return;
  colors_[index] = value;
  if (owner_ == nullptr || ht::Loading(owner_) || !ht::HandleAllocated(owner_)) return;
  if (index == TreeLineColor) {
    ht::RebuildLineImages(owner_);
    ht::InvalidateTree(owner_);
  } else if (index == BorderColor) {
    ht::RedrawFrame(owner_);
  } else {
    ht::InvalidateTree(owner_);
  }
}

void TNTColors::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TNTColors*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  std::copy(std::begin(other->colors_), std::end(other->colors_), std::begin(colors_));
  if (owner_ != nullptr && !ht::Updating(owner_) && ht::HandleAllocated(owner_)) ht::InvalidateTree(owner_);
}

TColor TNTColors::BackgroundColor() const { return ht::Color(owner_); }
TColor TNTColors::NodeFontColor() const { return ht::Font(owner_).Color(); }

// ---------------------------------------------------------------------------
// TNTHeader

TNTHeader::TNTHeader(TBaseNodeTree* owner)
    : owner_(owner), constraints_(this), dragImage_(std::make_unique<TNTHeaderDragImage>()) {
  columns_ = std::make_unique<TNodeTreeColumns>(this);
  font_.OnChange = [this](TGraphicsObject*) { FontChanged(); };
  imageLink_.OnChange = [this](TObject*) {
    if (!ht::Destroying(owner_)) Invalidate();
  };
}

TNTHeader::~TNTHeader() {
  if (images_ != nullptr) images_->UnRegisterChanges(&imageLink_);
  font_.OnChange = nullptr;
  columns_->Clear();
}

TColor TNTColors::HeaderFontColor() const { return ht::HeaderFont(owner_).Color(); }

TPersistent* TNTHeader::GetOwner() const { return nullptr; }

void TNTHeader::SetDragImage(std::unique_ptr<TNTHeaderDragImage> image) {
  if (image) dragImage_ = std::move(image);
}

TShiftState TNTHeader::GetShiftState() {
  TShiftState s;
  if (QGuiApplication::instance() == nullptr) return s;
  Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  if (m & Qt::ShiftModifier) s.Include(ssShift);
  if (m & Qt::ControlModifier) s.Include(ssCtrl);
  if (m & Qt::AltModifier) s.Include(ssAlt);
  return s;
}

TRect TNTHeader::HeaderRect() const { return TRect(0, -height_, ht::ClientWidth(owner_), 0); }

void TNTHeader::Invalidate(TColumnIndex column, bool expandToBorder) {
  if (!options_.Contains(hoVisible) || !ht::HandleAllocated(owner_)) return;
  TRect r = HeaderRect();
  if (columns_->IndexInRange(column)) {
    const TRect whole = r;
    // The cell where the strip shows it: scrolled unless fixed and, right
    // to left, shifted against the right edge as the columns are.
    int32_t left = 0, right = 0;
    columns_->ColumnEdges(column, left, right);
    r.Left = left;
    r.Right = right;
    if (expandToBorder) {
      if (options_.Contains(hoFullRepaintOnResize)) {
        r.Left = whole.Left;
        r.Right = whole.Right;
      } else if (ht::UseRightToLeftAlignment(owner_)) {
        r.Left = whole.Left;
      } else {
        r.Right = whole.Right;
      }
    }
  }
  ht::InvalidateWindowRect(owner_, r);
}

void TNTHeader::RecalculateHeader() {
  if (ht::HandleAllocated(owner_)) ht::UpdateHeaderRect(owner_);
}

TColumnIndex TNTHeader::MainColumn() const { return columns_->Count() > 0 ? mainColumn_ : NoColumn; }

void TNTHeader::SetMainColumn(TColumnIndex value) {
  if (ht::Loading(owner_)) {
    mainColumn_ = value;
    return;
  }
  if (columns_->Count() == 0)
    value = NoColumn;
  else
    value = std::clamp(value, 0, columns_->Count() - 1);
  if (value == mainColumn_) return;
  mainColumn_ = value;
  if (ht::Destroying(owner_)) return;
  ht::MainColumnChanged(owner_);
  if (!ht::ExtendedFocus(owner_)) ht::SetFocusedColumn(owner_, value);
  ht::InvalidateTree(owner_);
}

void TNTHeader::SetAutoSizeIndex(TColumnIndex value) {
  if (autoSizeIndex_ == value) return;
  autoSizeIndex_ = value;
  if (options_.Contains(hoAutoResize)) columns_->FitAutoSizeColumn(false);
}

void TNTHeader::SetBackground(TColor value) {
  if (background_ == value) return;
  background_ = value;
  Invalidate();
}

void TNTHeader::SetStyle(TNTHeaderStyle value) {
  if (style_ == value) return;
  style_ = value;
  if (!ht::Loading(owner_)) Invalidate();
}

void TNTHeader::SetFont(const TFont& value) {
  font_.Assign(value);
  parentFont_ = false;
}

void TNTHeader::SetParentFont(bool value) {
  if (parentFont_ == value) return;
  parentFont_ = value;
  if (value) ParentFontChanged();
}

void TNTHeader::ParentFontChanged() {
  if (!parentFont_) return;
  // Copying the tree's font must not clear ParentFont again.
  font_.Assign(ht::Font(owner_));
}

void TNTHeader::BiDiModeChanged() {
  for (TColumnIndex i = 0; i < columns_->Count(); ++i)
    if (columns_->Items(i)->Options().Contains(coParentBidiMode)) columns_->Items(i)->SyncBiDiModeFromTree();
}

void TNTHeader::FontChanged() {
  if (fontChanging_ || !ht::HeaderHeightFromFont(owner_)) {
    Invalidate();
    return;
  }
  fontChanging_ = true;
  int32_t spacing = 0;
  for (TColumnIndex i = 0; i < columns_->Count(); ++i) spacing = std::max(spacing, columns_->Items(i)->Spacing());
  TBitmap scratch(1, 1, pf32bit);
  scratch.Canvas().Font().Assign(font_);
  const int64_t textHeight = scratch.Canvas().TextHeight("Q");
  // Spacing set from code is not bounded: the sum is taken wide and pinned.
  const int64_t wanted = std::clamp<int64_t>(textHeight + spacing + spacing / 2, INT32_MIN, INT32_MAX);
  SetHeight(std::max(height_, static_cast<int32_t>(wanted)));
  fontChanging_ = false;
  Invalidate();
}

void TNTHeader::SetImages(TCustomImageList* value) {
  if (images_ == value) return;
  if (images_ != nullptr) images_->UnRegisterChanges(&imageLink_);
  images_ = value;
  if (images_ != nullptr) images_->RegisterChanges(&imageLink_);
  if (!ht::Loading(owner_)) Invalidate();
}

void TNTHeader::SetOptions(THeaderOptions value) {
  value = THeaderOptions::FromMask(value.Mask() & 0x1FFFF);
  if (options_ == value) return;
  const THeaderOptions old = options_;
  options_ = value;
  const bool autoResizeChanged = old.Contains(hoAutoResize) != value.Contains(hoAutoResize);
  if (autoResizeChanged && columns_->Count() > 0) {
    columns_->FitAutoSizeColumn(false);
    if (ht::HandleAllocated(owner_)) {
      ht::RefreshHorzScrollBar(owner_);
      if (value.Contains(hoAutoResize)) ht::InvalidateTree(owner_);
    }
  }
  if (!ht::Loading(owner_) && !states_.Contains(hsLoading) && ht::HandleAllocated(owner_)) {
    if (old.Contains(hoVisible) != value.Contains(hoVisible)) RecalculateHeader();
    Invalidate();
    ht::InvalidateTree(owner_);
  }
}

void TNTHeader::SetHeight(int32_t value) {
  if (!ht::HandleAllocated(owner_)) {
    height_ = value;
    states_.Include(hsNeedsRecalc);
    return;
  }
  const int32_t whole = ht::ClientHeight(owner_) + height_;
  const int32_t maxPct = constraints_.MaxHeightPercent();
  const int32_t minPct = constraints_.MinHeightPercent();
  const int32_t maxPix = whole * maxPct / 100;
  const int32_t minPix = whole * minPct / 100;
  const int32_t low = maxPct > 0 ? std::min(maxPix, minHeight_) : minHeight_;
  const int32_t high = minPct > 0 ? std::max(minPix, maxHeight_) : maxHeight_;
  int32_t n = std::min(std::max(low, value), high);
  if (minPct > 0) n = std::max(n, minPix);
  if (maxPct > 0) n = std::min(n, maxPix);
  if (n == height_) return;
  height_ = n;
  if (!ht::Loading(owner_) && !states_.Contains(hsRecalculating)) RecalculateHeader();
  ht::InvalidateTree(owner_);
  ht::UpdateWindow(owner_);
}

void TNTHeader::SetMaxHeight(int32_t value) {
  maxHeight_ = std::max(value, minHeight_);
  SetHeight(height_);
}

void TNTHeader::SetMinHeight(int32_t value) {
  if (value < 0) value = 0;
  minHeight_ = std::min(value, maxHeight_);
  SetHeight(height_);
}

void TNTHeader::SetDefaultHeight(int32_t value) {
  value = std::clamp(value, minHeight_, maxHeight_);
  const int32_t old = defaultHeight_;
  defaultHeight_ = value;
  if (height_ == old) SetHeight(value);
}

void TNTHeader::SetSortColumn(TColumnIndex value) {
  if (ht::Loading(owner_)) {
    sortColumn_ = value;
    return;
  }
  DoSetSortColumn(value);
}

void TNTHeader::DoSetSortColumn(TColumnIndex value) {
  value = std::clamp(value, NoColumn, columns_->Count() - 1);
  if (value == sortColumn_) return;
  Invalidate(sortColumn_);
  Invalidate(value);
  sortColumn_ = value;
  sortTree();
}

void TNTHeader::SetSortDirection(TSortDirection value) {
  if (value == sortDirection_) return;
  sortDirection_ = value;
  Invalidate();
  sortTree();
}

void TNTHeader::sortTree() {
  if (sortColumn_ < 0 || states_.Contains(hsLoading)) return;
  if ((ht::AutoSort(owner_) || options_.Contains(hoHeaderClickAutoSort)) && !ht::Updating(owner_))
    ht::Sort(owner_, sortColumn_, sortDirection_);
}

void TNTHeader::constraintsChanged() {
  if (ht::HandleAllocated(owner_))
    RescaleHeader();
  else
    states_.Include(hsNeedsRecalc);
}

void TNTHeader::fixedAreaChanged() {
  if (!ht::Loading(owner_) && !states_.Contains(hsLoading)) RescaleHeader();
}

void TNTHeader::RescaleHeader() {
  if (ht::Loading(owner_) || ht::ReadingOrWriting(owner_) || ht::Destroying(owner_) ||
      states_.Contains(hsLoading) || !ht::HandleAllocated(owner_))
    return;
  states_.Include(hsRecalculating);
  try {
    // Re-apply the height under the current limits.
    const int32_t h = height_;
    height_ = h + 1;
    SetHeight(h);
    if (height_ == h + 1) height_ = h;
    RecalculateHeader();
    if (constraints_.MinHeightPercent() > 0 || constraints_.MaxHeightPercent() > 0) {
      int32_t fixed = 0;
      for (TColumnIndex i = 0; i < columns_->Count(); ++i) {
        TNodeTreeColumn* c = columns_->Items(i);
        if (!c->IsFixed()) continue;
        if (c->Width() < c->MinWidth()) c->applyWidth(c->MinWidth());
        fixed += c->Width();
      }
      const int32_t cw = ht::ClientWidth(owner_);
      const TNTColumnOptions both{coVisible, coFixed};
      if (constraints_.MaxWidthPercent() > 0 && fixed > cw * constraints_.MaxWidthPercent() / 100)
        ResizeColumns(cw * constraints_.MaxWidthPercent() / 100 - fixed, 0, columns_->Count() - 1, both);
      else if (constraints_.MinWidthPercent() > 0 && fixed < cw * constraints_.MinWidthPercent() / 100)
        ResizeColumns(cw * constraints_.MinWidthPercent() / 100 - fixed, 0, columns_->Count() - 1, both);
      columns_->RecomputeLefts(true);
    }
  } catch (...) {
    states_ -= THeaderStates{hsRecalculating, hsNeedsRecalc};
    throw;
  }
  states_ -= THeaderStates{hsRecalculating, hsNeedsRecalc};
}

int32_t TNTHeader::ResizeColumns(int32_t changeBy, TColumnIndex rangeStart, TColumnIndex rangeEnd,
                                 TNTColumnOptions options) {
  if (changeBy == 0 || columns_->Count() == 0) return 0;
  rangeStart = std::max(rangeStart, 0);
  rangeEnd = std::min(rangeEnd, columns_->Count() - 1);
  if (rangeStart > rangeEnd) return 0;
  const bool growing = changeBy > 0;
  const int32_t step = growing ? 1 : -1;
  const TColumnIndex walkStart = growing ? rangeStart : rangeEnd;
  int64_t remaining = std::abs(static_cast<int64_t>(changeBy));
  const size_t n = static_cast<size_t>(rangeEnd - rangeStart + 1);
  std::vector<int32_t> widths(n), limits(n);
  std::vector<bool> matching(n);
  for (size_t k = 0; k < n; ++k) {
    const TNodeTreeColumn* c = columns_->Items(rangeStart + static_cast<TColumnIndex>(k));
    widths[k] = c->Width();
    limits[k] = growing ? c->MaxWidth() : c->MinWidth();
    matching[k] = c->Options().ContainsAll(options);
  }
  auto room = [&](size_t k) -> int64_t {
    return growing ? std::max<int64_t>(0, limits[k] - widths[k]) : std::max<int64_t>(0, widths[k] - limits[k]);
  };
  const bool recalculating = states_.Contains(hsRecalculating);
  while (remaining >= 1) {
    int64_t count = 0, total = 0;
    for (;;) {
      count = total = 0;
      for (size_t k = 0; k < n; ++k)
        if (matching[k] && room(k) > 0) {
          ++count;
          total += room(k);
        }
      if (total >= remaining || !recalculating || growing) break;
      // Not enough room while the header recalculates: lower the limit of
      // the widest column by a tenth. When no limit can go lower, take the
      // room there is.
      size_t widest = n;
      for (size_t k = 0; k < n; ++k)
        if (matching[k] && (widest == n || widths[k] > widths[widest])) widest = k;
      if (widest == n || limits[widest] <= 10) break;
      limits[widest] -= limits[widest] / 10;
    }
    if (count == 0) break;
    remaining = std::min(remaining, total);
    const int64_t share = remaining / count;
    for (size_t k = 0; k < n; ++k) {
      if (!matching[k] || room(k) == 0) continue;
      const int64_t take = std::min(share, room(k));
      widths[k] += static_cast<int32_t>(step * take);
      remaining -= take;
    }
    // The rest pixel by pixel, to the columns that did not get the last
    // extra pixel in this direction, so repeated changes spread evenly.
    int idlePasses = 0;
    while (remaining >= 1 && idlePasses < 2) {
      bool took = false;
      for (TColumnIndex i = walkStart; i >= rangeStart && i <= rangeEnd && remaining >= 1; i += step) {
        const size_t k = static_cast<size_t>(i - rangeStart);
        TNodeTreeColumn* c = columns_->Items(i);
        if (!matching[k] || room(k) == 0 || c->DistributionToggle == growing) continue;
        widths[k] += step;
        c->DistributionToggle = growing;
        --remaining;
        took = true;
      }
      if (remaining >= 1) {
        for (size_t k = 0; k < n; ++k)
          if (matching[k]) {
            TNodeTreeColumn* c = columns_->Items(rangeStart + static_cast<TColumnIndex>(k));
            c->DistributionToggle = !c->DistributionToggle;
          }
        idlePasses = took ? 0 : idlePasses + 1;
      }
    }
    if (idlePasses >= 2) break;
  }
  states_.Include(hsResizing);
  int32_t result = 0;
  try {
    for (size_t k = 0; k < n; ++k) {
      if (!matching[k]) continue;
      TNodeTreeColumn* c = columns_->Items(rangeStart + static_cast<TColumnIndex>(k));
      result += c->Width() - widths[k];
      c->SetWidth(widths[k]);
    }
  } catch (...) {
    states_.Exclude(hsResizing);
    throw;
  }
  states_.Exclude(hsResizing);
  return result;
}

void TNTHeader::SpringResize(int32_t headerWidth) {
  if (options_.Contains(hoAutoSpring) && lastWidth_ != 0) {
    const int32_t d = headerWidth - lastWidth_;
    if (d != 0) {
      std::vector<TNodeTreeColumn*> springs;
      for (TColumnIndex i = 0; i < columns_->Count(); ++i) {
        TNodeTreeColumn* c = columns_->Items(i);
        if (c->Options().ContainsAll({coVisible, coAutoSpring})) springs.push_back(c);
      }
      if (!springs.empty()) {
        const float share = static_cast<float>(std::abs(d)) / static_cast<float>(springs.size());
        float left = static_cast<float>(std::abs(d));
        for (TNodeTreeColumn* c : springs) {
          c->SpringRemainder += share;
          if (c->SpringRemainder >= 1) {
            const int32_t whole = static_cast<int32_t>(std::trunc(c->SpringRemainder));
            c->SpringRemainder -= static_cast<float>(whole);
            c->SetWidth(c->Width() + (d > 0 ? whole : -whole));
          }
          left -= share;
          if (left < 0) break;
        }
      }
    }
  }
  lastWidth_ = headerWidth;
}

void TNTHeader::AutoFitColumns(bool animated, int smartType, TColumnIndex rangeStart, TColumnIndex rangeEnd) {
  const int32_t last = columns_->Count() - 1;
  if (rangeStart < 0) rangeStart = 0;
  if (rangeEnd < 0 || rangeEnd > last) rangeEnd = last;
  if (rangeStart > rangeEnd) return;
  ht::BeginOperation(owner_);
  try {
    ht::BeforeAutoFitColumns(owner_, smartType);
    for (TColumnIndex p = rangeStart; p <= rangeEnd; ++p) {
      if (ht::OperationCanceled(owner_)) break;
      const TColumnIndex index = columns_->IndexOfPosition(static_cast<TColumnPosition>(p));
      if (!columns_->IndexInRange(index)) continue;
      TNodeTreeColumn* c = columns_->Items(index);
      if (!c->Options().ContainsAll({coVisible, coResizable})) continue;
      if (!DoBeforeAutoFitColumn(index, smartType)) continue;
      bool smart = smartType == 0 || (smartType == 2 && c->Options().Contains(coSmartResize));
      const int32_t w = ht::GetMaxColumnWidth(owner_, index, smart);
      if (animated)
        columns_->SlideToWidth(index, w);
      else
        c->SetWidth(w);
      DoAfterAutoFitColumn(index);
    }
    ht::AfterAutoFitColumns(owner_);
  } catch (...) {
    ht::EndOperation(owner_);
    throw;
  }
  ht::EndOperation(owner_);
}

void TNTHeader::ChangeScale(int32_t m, int32_t d) {
  if (m == d || d == 0) return;
  if (!parentFont_) font_.SetHeight(mulDiv(font_.Height(), m, d));
  SetHeight(mulDiv(height_, m, d));
  for (TColumnIndex i = 0; i < columns_->Count(); ++i) {
    TNodeTreeColumn* c = columns_->Items(i);
    c->SetWidth(mulDiv(c->Width(), m, d));
  }
}

void TNTHeader::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TNTHeader*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  SetAutoSizeIndex(other->autoSizeIndex_);
  SetBackground(other->background_);
  columns_->Assign(other->columns_.get());
  font_.Assign(other->font_);
  constraints_.Assign(&other->constraints_);
  SetHeight(other->height_);
  SetImages(other->images_);
  SetMainColumn(other->mainColumn_);
  SetOptions(other->options_);
  parentFont_ = other->parentFont_;
  PopupMenu = other->PopupMenu;
  SetSortColumn(other->sortColumn_);
  SetSortDirection(other->sortDirection_);
  SetStyle(other->style_);
  RescaleHeader();
}

// ---------------------------------------------------------------------------
// Hooks: each forwards to the tree's event.

void TNTHeader::DoAfterAutoFitColumn(TColumnIndex column) { ht::AfterAutoFitColumn(owner_, column); }
void TNTHeader::DoAfterColumnWidthTracking(TColumnIndex column) { ht::AfterColumnWidthTracking(owner_, column); }
void TNTHeader::DoAfterHeightTracking() { ht::AfterHeightTracking(owner_); }
bool TNTHeader::DoBeforeAutoFitColumn(TColumnIndex column, int smartType) {
  return ht::BeforeAutoFitColumn(owner_, column, smartType);
}
void TNTHeader::DoBeforeColumnWidthTracking(TColumnIndex column, TShiftState shift) {
  ht::BeforeColumnWidthTracking(owner_, column, shift);
}
void TNTHeader::DoBeforeHeightTracking(TShiftState shift) { ht::BeforeHeightTracking(owner_, shift); }
void TNTHeader::DoCanSplitterResize(TPoint p, bool& allowed) { ht::CanSplitterResize(owner_, p, allowed); }
bool TNTHeader::DoColumnWidthDblClickResize(TColumnIndex column, TPoint p, TShiftState shift) {
  return ht::ColumnWidthDblClickResize(owner_, column, shift, p);
}
bool TNTHeader::DoColumnWidthTracking(TColumnIndex column, TShiftState shift, TPoint& trackPoint, TPoint p) {
  return ht::ColumnWidthTracking(owner_, column, shift, trackPoint, p);
}
TPopupMenu* TNTHeader::DoGetPopupMenu(TColumnIndex column, TPoint p) { return ht::GetPopupMenu(owner_, column, p); }
bool TNTHeader::DoHeightTracking(TPoint& p, TShiftState shift) { return ht::HeightTracking(owner_, p, shift); }
bool TNTHeader::DoHeightDblClickResize(TPoint& p, TShiftState shift) {
  return ht::HeightDblClickResize(owner_, p, shift);
}

// ---------------------------------------------------------------------------
// Stream block

namespace {

[[noreturn]] void raiseReadError() { throw EReadError("Stream read error"); }

int32_t readInt(TStream& s) { return s.ReadValue<int32_t>(); }

template <class E>
E lowByteEnum(int32_t v, int32_t last) {
  v &= 0xFF;
  if (v > last) raiseReadError();
  return static_cast<E>(v);
}

}  // namespace

void TNTHeader::LoadFromStream(TStream& s) {
  const THeaderOptions saved = options_;
  bool optionsRead = false;
  states_.Include(hsLoading);
  options_ = THeaderOptions{};
  try {
    int32_t version = readInt(s);
    if (version < 0) {
      version = readInt(s);
    } else {
      // An old block starts with the column data.
      s.Seek(-4, soCurrent);
      version = -1;
    }
    streamVersion_ = version;
    columns_->ReadFromStream(s, version);
    SetAutoSizeIndex(readInt(s));
    SetBackground(readInt(s));
    SetHeight(readInt(s));
    const int32_t options = readInt(s);
    options_ = saved;
    optionsRead = true;
    SetOptions(THeaderOptions::FromMask(static_cast<uint32_t>(options) & 0x1FFFF));
    SetStyle(lowByteEnum<TNTHeaderStyle>(readInt(s), hsPlates));
    TFontData font = font_.Data();
    font.Color = readInt(s);
    font.Height = readInt(s);
    const int32_t nameLength = readInt(s);
    if (nameLength < 0) raiseReadError();
    TBytes name = s.ReadBytes(nameLength);
    font.Name.assign(name.begin(), name.end());
    FontPitch = lowByteEnum<TFontPitch>(readInt(s) & 0x7F, fpFixed);
    font.Style = TFontStyles::FromMask(static_cast<uint32_t>(readInt(s)) & 0x0F);
    font_.SetData(font);
    if (version > 0) {
      SetMainColumn(readInt(s));
      SetSortColumn(readInt(s));
      const int32_t direction = readInt(s);
      if (direction < 0 || direction > sdDescending) raiseReadError();
      SetSortDirection(static_cast<TSortDirection>(direction));
    }
    if (version > 4) {
      SetParentFont(readInt(s) != 0);
      maxHeight_ = readInt(s);
      minHeight_ = readInt(s);
      defaultHeight_ = readInt(s);
      for (int i = 0; i < 4; ++i) constraints_.values_[i] = static_cast<TNTConstraintPercent>(readInt(s) & 0xFF);
    }
  } catch (...) {
    if (!optionsRead) options_ = saved;
    states_.Exclude(hsLoading);
    ht::ColumnResized(owner_, NoColumn);
    throw;
  }
  states_.Exclude(hsLoading);
  ht::ColumnResized(owner_, NoColumn);
}

void TNTHeader::SaveToStream(TStream& s) const {
  auto write = [&s](int32_t v) { s.WriteValue<int32_t>(v); };
  write(-1);
  write(6);
  columns_->WriteToStream(s);
  write(autoSizeIndex_);
  write(background_);
  write(height_);
  write(static_cast<int32_t>(options_.Mask()));
  write(style_);
  write(font_.Color());
  write(font_.Height());
  write(static_cast<int32_t>(font_.Name().size()));
  s.WriteBuffer(font_.Name());
  write(FontPitch);
  write(static_cast<int32_t>(font_.Style().Mask()));
  write(mainColumn_);
  write(sortColumn_);
  write(sortDirection_);
  write(parentFont_ ? 1 : 0);
  write(maxHeight_);
  write(minHeight_);
  write(defaultHeight_);
  for (TNTConstraintPercent v : constraints_.values_) write(v);
}

}  // namespace px
