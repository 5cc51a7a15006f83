#include "ui/tree/NodeTreesColumns.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "platform/core/Format.h"
#include "ui/tree/NodeTreesHeader.h"
#include "ui/tree/NodeTreesHeaderTree.h"

namespace px {

namespace ht = headertree;

// ---------------------------------------------------------------------------
// TNodeTreeColumn

TNodeTreeColumn::TNodeTreeColumn(TCollection* collection) : TCollectionItem(collection) {}

TNodeTreeColumns* TNodeTreeColumn::Owner() const { return static_cast<TNodeTreeColumns*>(Collection()); }

TNTHeader* TNodeTreeColumn::Header() const { return Owner()->Header(); }

namespace {
TBaseNodeTree* treeOf(const TNodeTreeColumns* columns) { return columns->Header()->Treeview(); }
}  // namespace

void TNodeTreeColumn::BeforeDestruction() {
  TNodeTreeColumns* columns = Owner();
  const TColumnIndex removed = Index();
  if (removed >= 0 && !columns->clearing_) {
    TNTHeader* header = columns->Header();
    TBaseNodeTree* tree = header->Treeview();
    if (!ht::Destroying(tree)) ht::CancelEdit(tree);
    columns->removeFromPositionMap(removed);
    auto shift = [removed](TColumnIndex& index) {
      if (index == removed)
        index = NoColumn;
      else if (index > removed)
        --index;
    };
    shift(columns->HotIndex);
    shift(columns->PressedIndex);
    shift(columns->SizingIndex);
    shift(columns->ClickedIndex);
    shift(header->autoSizeIndex_);
    shift(header->sortColumn_);
    // The main column follows its column; losing it makes the first remaining
    // column the main one.
    if (header->mainColumn_ == removed)
      header->mainColumn_ = columns->Count() > 1 ? 0 : NoColumn;
    else if (header->mainColumn_ > removed)
      --header->mainColumn_;
  }
  TCollectionItem::BeforeDestruction();
}

void TNodeTreeColumn::applyWidth(int32_t value) { width_ = value; }

void TNodeTreeColumn::SetText(const UnicodeString& value) {
  if (text_ == value) return;
  text_ = value;
  captionText_.clear();
  changed();
}

void TNodeTreeColumn::SetAlignment(TAlignment value) {
  if (alignment_ == value) return;
  alignment_ = value;
  changed();
  TBaseNodeTree* tree = treeOf(Owner());
  if (ht::HandleAllocated(tree)) ht::InvalidateTree(tree);
}

void TNodeTreeColumn::SetBiDiMode(TBiDiMode value) {
  if (bidiMode_ == value) return;
  bidiMode_ = value;
  options_.Exclude(coParentBidiMode);
  changed();
  TBaseNodeTree* tree = treeOf(Owner());
  if (ht::HandleAllocated(tree)) ht::InvalidateTree(tree);
}

void TNodeTreeColumn::SetColor(TColor value) {
  if (color_ == value) return;
  color_ = value;
  options_.Exclude(coParentColor);
  changed();
  TBaseNodeTree* tree = treeOf(Owner());
  if (ht::HandleAllocated(tree)) ht::InvalidateTree(tree);
}

TAlignment TNodeTreeColumn::CaptionAlignment() const {
  return options_.Contains(coUseCaptionAlignment) ? storedCaptionAlignment_ : alignment_;
}

void TNodeTreeColumn::SetCaptionAlignment(TAlignment value) {
  if (options_.Contains(coUseCaptionAlignment) && storedCaptionAlignment_ == value) return;
  storedCaptionAlignment_ = value;
  options_.Include(coUseCaptionAlignment);
  Header()->Invalidate(Index());
}

void TNodeTreeColumn::SetCheckBox(bool value) {
  if (checkBox_ == value) return;
  checkBox_ = value;
  if (value && ht::Designing(treeOf(Owner()))) Header()->SetOptions(Header()->Options() + THeaderOptions{hoShowImages});
  changed();
}

void TNodeTreeColumn::SetCheckState(TCheckState value) {
  if (checkState_ == value) return;
  checkState_ = value;
  changed();
}

void TNodeTreeColumn::SetCheckType(TCheckType value) {
  if (checkType_ == value) return;
  checkType_ = value;
  changed();
}

void TNodeTreeColumn::SetImageIndex(TImageIndex value) {
  if (imageIndex_ == value) return;
  imageIndex_ = value;
  changed();
}

void TNodeTreeColumn::SetLayout(TNTHeaderColumnLayout value) {
  if (layout_ == value) return;
  layout_ = value;
  changed();
}

void TNodeTreeColumn::SetSpacing(int32_t value) {
  if (spacing_ == value) return;
  spacing_ = value;
  changed();
}

void TNodeTreeColumn::SetStyle(TNodeTreeColumnStyle value) {
  if (style_ == value) return;
  style_ = value;
  changed();
}

void TNodeTreeColumn::SetMargin(int32_t value) {
  if (value < 0) value = 4;
  if (margin_ == value) return;
  margin_ = value;
  changed();
}

void TNodeTreeColumn::SetMinWidth(int32_t value) {
  if (value < 0) value = 0;
  if (minWidth_ == value) return;
  minWidth_ = std::min(value, maxWidth_);
  SetWidth(width_);
}

void TNodeTreeColumn::SetMaxWidth(int32_t value) {
  if (maxWidth_ == value) return;
  maxWidth_ = std::max(value, minWidth_);
  SetWidth(width_);
}

void TNodeTreeColumn::SetWidth(int32_t value) {
  TNodeTreeColumns* columns = Owner();
  TNTHeader* header = columns->Header();
  TBaseNodeTree* tree = header->Treeview();
  int32_t w = value;
  if (!header->states_.Contains(hsRecalculating)) {
    if (!IsFixed()) {
      w = std::min(std::max(w, minWidth_), maxWidth_);
    } else {
      // Fixed columns share the fixed area, whose size the constraint
      // percentages bound as a whole.
      const TNTFixedAreaConstraints& k = header->constraints_;
      const int32_t cw = ht::ClientWidth(tree);
      const int32_t f = columns->FixedShownWidth();
      int32_t sMin = 0, sMax = 0;
      for (TColumnIndex i = 0; i < columns->Count(); ++i) {
        const TNodeTreeColumn* c = columns->Items(i);
        if (c->IsFixed()) {
          sMin += c->minWidth_;
          sMax += c->maxWidth_;
        }
      }
      int32_t low = sMin, high = sMax;
      if (k.MaxWidthPercent() > 0) low = std::min(cw * k.MaxWidthPercent() / 100, sMin);
      if (k.MinWidthPercent() > 0) high = std::max(cw * k.MinWidthPercent() / 100, sMax);
      const int32_t upper = std::min(high - f + width_, maxWidth_);
      const int32_t lower = std::max(low - f + width_, minWidth_);
      w = std::min(upper, std::max(lower, w));
      if (k.MinWidthPercent() > 0) w = std::max(w, cw * k.MinWidthPercent() / 100 - f + width_);
      if (k.MaxWidthPercent() > 0) w = std::min(w, cw * k.MaxWidthPercent() / 100 - f + width_);
    }
  }
  if (w == width_) return;
  previousWidth_ = width_;
  if (!header->states_.Contains(hsResizing)) DistributionToggle = false;
  const bool autoResize = header->options_.Contains(hoAutoResize);
  if (!autoResize || Index() != header->autoSizeIndex_) {
    width_ = w;
    columns->RecomputeLefts(false);
  }
  if (ht::Loading(tree) || columns->UpdateCount() > 0) return;
  if (autoResize) columns->FitAutoSizeColumn(false);
  ht::ColumnResized(tree, Index());
}

void TNodeTreeColumn::SetPosition(TColumnPosition value) {
  TNodeTreeColumns* columns = Owner();
  TBaseNodeTree* tree = treeOf(columns);
  if (ht::Loading(tree)) {
    position_ = value;
    return;
  }
  if (columns->Count() == 0) return;
  const TColumnPosition last = static_cast<TColumnPosition>(columns->Count() - 1);
  if (value > last) value = last;
  if (value == position_) return;
  columns->fitPositionMap();
  ht::CancelEdit(tree);
  columns->moveToPosition(this, value);
  changed();
  if (columns->UpdateCount() == 0 && ht::HandleAllocated(tree)) {
    Header()->Invalidate(Index());
    ht::InvalidateTree(tree);
  }
  // Fixed columns stay together at the left: take over the fixed state of
  // the neighbour on the fixed side.
  TColumnIndex neighbour = InvalidColumn;
  if (options_.Contains(coFixed) && position_ > 0)
    neighbour = columns->IndexOfPosition(position_ - 1);
  else
    neighbour = columns->IndexOfPosition(position_ + 1);
  if (neighbour >= 0) {
    TNTColumnOptions o = options_;
    if (columns->Items(neighbour)->options_.Contains(coFixed))
      o.Include(coFixed);
    else
      o.Exclude(coFixed);
    SetOptions(o);
  }
}

void TNodeTreeColumn::SetOptions(TNTColumnOptions value) {
  value = TNTColumnOptions::FromMask(value.Mask() & 0xFFFF);
  if (value == options_) return;
  const TNTColumnOptions added = value - options_;
  const TNTColumnOptions removed = options_ - value;
  options_ = value;
  if (added.Contains(coParentBidiMode)) SyncBiDiModeFromTree();
  if (added.Contains(coParentColor)) SyncColorFromTree();
  if (added.Contains(coAutoSpring)) SpringRemainder = 0;
  TNTHeader* header = Header();
  TBaseNodeTree* tree = header->Treeview();
  if ((added.Contains(coFixed) || removed.Contains(coFixed)) && options_.Contains(coVisible))
    header->fixedAreaChanged();
  changed();
  if (ht::Loading(tree)) return;
  const bool visibility = added.Contains(coVisible) || removed.Contains(coVisible);
  if ((visibility || added.Contains(coParentColor)) && !ht::Updating(tree) && ht::HandleAllocated(tree)) {
    ht::InvalidateTree(tree);
    if (visibility) ht::RefreshHorzScrollBar(tree);
  }
}

void TNodeTreeColumn::SyncBiDiModeFromTree() {
  if (!options_.Contains(coParentBidiMode)) return;
  TBiDiMode mode = ht::BiDiMode(treeOf(Owner()));
  if (mode == bidiMode_) return;
  bidiMode_ = mode;
  changed();
}

void TNodeTreeColumn::SyncColorFromTree() {
  if (!options_.Contains(coParentColor)) return;
  TColor color = ht::Color(treeOf(Owner()));
  if (color == color_) return;
  color_ = color;
  changed();
}

TRect TNodeTreeColumn::HeaderCellRect() const {
  TRect r = Header()->HeaderRect();
  r.Left += left_;
  r.Right = r.Left + width_;
  return r;
}

int32_t TNodeTreeColumn::ScrolledLeft() const {
  return IsFixed() ? left_ : left_ - ht::EffectiveOffsetX(treeOf(Owner()));
}

void TNodeTreeColumn::AbsoluteEdges(int32_t& left, int32_t& right) const {
  left = left_;
  right = left_ + width_;
}

void TNodeTreeColumn::RestorePreviousWidth() { Owner()->SlideToWidth(Index(), previousWidth_); }

bool TNodeTreeColumn::SameAs(const TNodeTreeColumn& o) const {
  return bidiMode_ == o.bidiMode_ && imageIndex_ == o.imageIndex_ && layout_ == o.layout_ && margin_ == o.margin_ &&
         maxWidth_ == o.maxWidth_ && minWidth_ == o.minWidth_ && position_ == o.position_ &&
         spacing_ == o.spacing_ && style_ == o.style_ && text_ == o.text_ && hint_ == o.hint_ &&
         width_ == o.width_ && alignment_ == o.alignment_ && CaptionAlignment() == o.CaptionAlignment() &&
         color_ == o.color_ && tag_ == o.tag_ && options_ == o.options_;
}

void TNodeTreeColumn::Assign(const TPersistent* source) {
  const auto* src = dynamic_cast<const TNodeTreeColumn*>(source);
  if (src == nullptr) {
    TCollectionItem::Assign(source);
    return;
  }
  // With no options the setters below neither resync nor repaint through
  // the option rules.
  const TNTColumnOptions own = options_;
  options_ = TNTColumnOptions{};
  SetBiDiMode(src->bidiMode_);
  SetImageIndex(src->imageIndex_);
  SetLayout(src->layout_);
  SetMargin(src->margin_);
  SetMaxWidth(src->maxWidth_);
  SetMinWidth(src->minWidth_);
  SetPosition(src->position_);
  SetSpacing(src->spacing_);
  SetStyle(src->style_);
  SetText(src->text_);
  hint_ = src->hint_;
  SetWidth(src->width_);
  SetAlignment(src->alignment_);
  SetCaptionAlignment(src->CaptionAlignment());
  SetColor(src->color_);
  tag_ = src->tag_;
  options_ = own;
  SetOptions(src->options_);
  changed();
}

std::string TNodeTreeColumn::DisplayName() const {
  for (char16_t ch : text_)
    if (ch > 255) return Format("Column %d", Index());
  std::string s;
  for (char16_t ch : text_) {
    // Latin-1 characters as UTF-8.
    if (ch < 0x80) {
      s += static_cast<char>(ch);
    } else {
      s += static_cast<char>(0xC0 | (ch >> 6));
      s += static_cast<char>(0x80 | (ch & 0x3F));
    }
  }
  return s;
}

// ---------------------------------------------------------------------------
// Column stream record

namespace {

[[noreturn]] void raiseReadError() { throw EReadError("Stream read error"); }

int32_t readInt(TStream& s) { return s.ReadValue<int32_t>(); }

// An enumeration value read from a stream; a value outside the type is a
// broken stream, not something to store.
template <class E>
E readEnum(TStream& s, int32_t last) {
  int32_t v = readInt(s);
  if (v < 0 || v > last) raiseReadError();
  return static_cast<E>(v);
}

// Margin and spacing are pixel distances that the header adds to text and
// glyph sizes; a stream holding more than any screen could show is broken.
constexpr int32_t MaxStoredDistance = 32767;

int32_t readDistance(TStream& s) {
  int32_t v = readInt(s);
  if (v < -MaxStoredDistance || v > MaxStoredDistance) raiseReadError();
  return v;
}

UnicodeString readWideString(TStream& s) {
  int32_t length = readInt(s);
  if (length < 0) raiseReadError();
  TBytes bytes = s.ReadBytes(static_cast<Int64>(length) * 2);
  UnicodeString text(static_cast<size_t>(length), u'\0');
  for (int32_t i = 0; i < length; ++i)
    text[static_cast<size_t>(i)] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return text;
}

void writeInt(TStream& s, int32_t v) { s.WriteValue<int32_t>(v); }

void writeWideString(TStream& s, const UnicodeString& text) {
  writeInt(s, static_cast<int32_t>(text.size()));
  TBytes bytes(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<Byte>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<Byte>(text[i] >> 8);
  }
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<Int64>(bytes.size()));
}

// Options of older streams: version 2 knew bits 0-7; versions 0 and 1 knew
// four bits, then three more one place lower than today (no parent colour).
uint32_t translateColumnOptions(uint32_t o, int32_t version) {
  if (version == 2) return o & 0xFF;
  if (version == 0 || version == 1) return (o & 0x0F) | ((o & 0x70) << 1);
  return o;
}

}  // namespace

void TNodeTreeColumn::ReadFromStream(TStream& s, int32_t version) {
  SetText(readWideString(s));
  SetHint(readWideString(s));
  SetWidth(readInt(s));
  SetMinWidth(readInt(s));
  SetMaxWidth(readInt(s));
  SetStyle(readEnum<TNodeTreeColumnStyle>(s, vsOwnerDraw));
  SetImageIndex(readInt(s));
  SetLayout(readEnum<TNTHeaderColumnLayout>(s, blGlyphBottom));
  SetMargin(readDistance(s));
  SetSpacing(readDistance(s));
  SetBiDiMode(readEnum<TBiDiMode>(s, bdRightToLeftReadingOnly));
  uint32_t options = translateColumnOptions(static_cast<uint32_t>(readInt(s)), version);
  SetOptions(TNTColumnOptions::FromMask(options & 0xFFFF));
  if (version > 0) {
    SetTag(readInt(s));  // sign-extended
    SetAlignment(readEnum<TAlignment>(s, taCenter));
  }
  if (version > 1) SetColor(readInt(s));
  if (version > 5 && options_.Contains(coUseCaptionAlignment))
    SetCaptionAlignment(readEnum<TAlignment>(s, taCenter));
}

void TNodeTreeColumn::WriteToStream(TStream& s) const {
  writeWideString(s, text_);
  writeWideString(s, hint_);
  writeInt(s, width_);
  writeInt(s, minWidth_);
  writeInt(s, maxWidth_);
  writeInt(s, style_);
  writeInt(s, imageIndex_);
  writeInt(s, layout_);
  writeInt(s, margin_);
  writeInt(s, spacing_);
  writeInt(s, bidiMode_);
  writeInt(s, static_cast<int32_t>(options_.Mask()));
  writeInt(s, static_cast<int32_t>(tag_));
  writeInt(s, alignment_);
  writeInt(s, color_);
  if (options_.Contains(coUseCaptionAlignment)) writeInt(s, storedCaptionAlignment_);
}

// ---------------------------------------------------------------------------
// TNodeTreeColumns

TNodeTreeColumns::TNodeTreeColumns(TNTHeader* header)
    : TCollectionOf<TNodeTreeColumn>(header), header_(header), paintBuffer_(std::make_unique<TBitmap>(0, 0, pf32bit)) {}

TNodeTreeColumns::~TNodeTreeColumns() {
  // The columns go while this object is still whole; the removal rules are
  // not needed for a set that is going away.
  clearing_ = true;
  TCollection::BeforeDestruction();
}

void TNodeTreeColumns::Clear() {
  clearing_ = true;
  try {
    TBaseNodeTree* tree = treeOf(this);
    if (!ht::Destroying(tree)) ht::CancelEdit(tree);
    HotIndex = PressedIndex = SizingIndex = ClickedIndex = NoColumn;
    PressedOnCheckBox = false;
    if (!header_->states_.Contains(hsLoading)) {
      header_->autoSizeIndex_ = NoColumn;
      header_->mainColumn_ = NoColumn;
      header_->sortColumn_ = NoColumn;
    }
    if (!ht::Loading(tree) && !ht::Destroying(tree)) ht::SetFocusedColumn(tree, NoColumn);
    TCollection::Clear();
    positionMap_.clear();
  } catch (...) {
    clearing_ = false;
    throw;
  }
  clearing_ = false;
}

void TNodeTreeColumns::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TNodeTreeColumns*>(source);
  if (other == this) return;
  BeginUpdate();
  try {
    if (other != nullptr) Clear();
    TCollection::Assign(source);
  } catch (...) {
    EndUpdate();
    throw;
  }
  if (other != nullptr) {
    positionMap_ = other->positionMap_;
    positionsPending_ = false;
    fitPositionMap();
    RecomputeLefts(true);
  }
  EndUpdate();
}

void TNodeTreeColumns::Notify(TCollectionItem* item, TCollectionNotification action) {
  TBaseNodeTree* tree = treeOf(this);
  if (action == cnAdded) {
    // A new column: the set's width, the last position, and the tree's bidi
    // mode and colour (the default options ask for both).
    auto* column = static_cast<TNodeTreeColumn*>(item);
    column->width_ = NewColumnWidth;
    column->previousWidth_ = NewColumnWidth;
    column->position_ = static_cast<TColumnPosition>(Count() - 1);
    column->bidiMode_ = ht::BiDiMode(tree);
    column->color_ = ht::Color(tree);
    return;
  }
  if (ht::Loading(tree) || ht::Destroying(tree)) return;
  if (ht::FocusedColumn(tree) == item->Index()) ht::SetFocusedColumn(tree, NoColumn);
}

void TNodeTreeColumns::Update(TCollectionItem* item) {
  TBaseNodeTree* tree = treeOf(this);
  if (ht::Destroying(tree)) return;
  fitPositionMap();
  if (ht::Loading(tree))
    positionsPending_ = true;
  else
    RecomputeLefts(false);
  if (Count() > 0 && header_->mainColumn_ < 0) header_->mainColumn_ = 0;
  if (ht::Loading(tree) || header_->states_.Contains(hsLoading)) return;
  if (header_->options_.Contains(hoAutoResize)) FitAutoSizeColumn(false);
  if (item != nullptr) {
    header_->Invalidate(item->Index());
  } else if (ht::HandleAllocated(tree)) {
    ht::RefreshHorzScrollBar(tree);
    header_->Invalidate();
    ht::InvalidateTree(tree);
  }
  ht::NotifyDesigner(tree);
}

void TNodeTreeColumns::fitPositionMap() {
  const size_t count = static_cast<size_t>(Count());
  if (positionMap_.size() < count) {
    for (size_t p = positionMap_.size(); p < count; ++p) positionMap_.push_back(static_cast<int32_t>(p));
  } else if (positionMap_.size() > count) {
    positionMap_.resize(count);
    // Renumber the kept entries by rank, so that they stay a permutation
    // (stepping the large ones down could make two entries equal).
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [this](size_t a, size_t b) { return positionMap_[a] < positionMap_[b]; });
    for (size_t rank = 0; rank < count; ++rank) positionMap_[order[rank]] = static_cast<int32_t>(rank);
  }
}

void TNodeTreeColumns::moveToPosition(TNodeTreeColumn* column, TColumnPosition position) {
  const TColumnPosition old = std::min<TColumnPosition>(column->position_, static_cast<TColumnPosition>(Count() - 1));
  if (old < position) {
    for (TColumnPosition p = old; p < position; ++p) positionMap_[p] = positionMap_[p + 1];
  } else if (old > position) {
    for (TColumnPosition p = old; p > position; --p) positionMap_[p] = positionMap_[p - 1];
  }
  positionMap_[position] = column->Index();
  column->position_ = position;
}

void TNodeTreeColumns::removeFromPositionMap(TColumnIndex index) {
  auto it = std::find(positionMap_.begin(), positionMap_.end(), index);
  if (it != positionMap_.end()) positionMap_.erase(it);
  for (int32_t& entry : positionMap_)
    if (entry > index) --entry;
}

void TNodeTreeColumns::RecomputeLefts(bool force) {
  if (positionsPending_) return;
  if (UpdateCount() > 0 && !force) return;
  int32_t left = 0;
  const size_t n = std::min(positionMap_.size(), static_cast<size_t>(Count()));
  for (size_t p = 0; p < n; ++p) {
    const int32_t index = positionMap_[p];
    if (index < 0 || index >= Count()) continue;
    TNodeTreeColumn* c = Items(index);
    c->position_ = static_cast<TColumnPosition>(p);
    c->left_ = left;
    if (c->options_.Contains(coVisible)) left += c->width_;
  }
}

void TNodeTreeColumns::RebuildPositionMap() {
  positionMap_.assign(static_cast<size_t>(Count()), -1);
  for (TColumnIndex i = 0; i < Count(); ++i) {
    TColumnPosition p = Items(i)->position_;
    if (p < positionMap_.size()) positionMap_[p] = i;
  }
  // Positions that were out of range or given twice leave holes: the
  // columns not placed fill them in index order.
  std::vector<bool> placed(static_cast<size_t>(Count()), false);
  for (int32_t i : positionMap_)
    if (i >= 0) placed[static_cast<size_t>(i)] = true;
  size_t next = 0;
  for (int32_t& entry : positionMap_) {
    if (entry >= 0) continue;
    while (placed[next]) ++next;
    entry = static_cast<int32_t>(next);
    placed[next] = true;
  }
  positionsPending_ = false;
  RecomputeLefts(true);
}

void TNodeTreeColumns::SetPositionOrder(bool rightToLeft) {
  const int32_t n = Count();
  positionMap_.resize(static_cast<size_t>(n));
  for (int32_t p = 0; p < n; ++p) positionMap_[static_cast<size_t>(p)] = rightToLeft ? n - 1 - p : p;
  // Fixed columns keep their place at the left, where the tree keeps them
  // from scrolling; reversed they would come last and scroll away while the
  // first scrolled columns stood still.
  if (rightToLeft)
    std::stable_partition(positionMap_.begin(), positionMap_.end(),
                          [this](int32_t index) { return Items(index)->options_.Contains(coFixed); });
  RecomputeLefts(true);
}

bool TNodeTreeColumns::SameColumnsAs(const TNodeTreeColumns& other) const {
  if (Count() != other.Count() || positionMap_ != other.positionMap_) return false;
  for (TColumnIndex i = 0; i < Count(); ++i)
    if (!Items(i)->SameAs(*other.Items(i))) return false;
  return true;
}

TColumnIndex TNodeTreeColumns::IndexOfPosition(TColumnPosition position) const {
  if (position >= positionMap_.size()) return NoColumn;
  return positionMap_[position];
}

TColumnIndex TNodeTreeColumns::FirstShownColumn(bool considerAllowFocus) const {
  for (int32_t index : positionMap_) {
    if (index < 0 || index >= Count()) continue;
    TNTColumnOptions o = Items(index)->options_;
    if (o.Contains(coVisible) && (!considerAllowFocus || o.Contains(coAllowFocus))) return index;
  }
  return InvalidColumn;
}

TColumnIndex TNodeTreeColumns::LastShownColumn(bool considerAllowFocus) const {
  for (auto it = positionMap_.rbegin(); it != positionMap_.rend(); ++it) {
    int32_t index = *it;
    if (index < 0 || index >= Count()) continue;
    TNTColumnOptions o = Items(index)->options_;
    if (o.Contains(coVisible) && (!considerAllowFocus || o.Contains(coAllowFocus))) return index;
  }
  return InvalidColumn;
}

TColumnIndex TNodeTreeColumns::NextByPosition(TColumnIndex index) const {
  if (index < 0 || index >= Count()) return InvalidColumn;
  TColumnPosition p = Items(index)->position_ + 1;
  if (p >= positionMap_.size()) return InvalidColumn;
  return positionMap_[p];
}

TColumnIndex TNodeTreeColumns::PreviousByPosition(TColumnIndex index) const {
  if (index < 0 || index >= Count()) return InvalidColumn;
  TColumnPosition p = Items(index)->position_;
  if (p == 0 || p > positionMap_.size()) return InvalidColumn;
  return positionMap_[p - 1];
}

TColumnIndex TNodeTreeColumns::NextShownColumn(TColumnIndex index, bool considerAllowFocus) const {
  for (index = NextByPosition(index); index >= 0; index = NextByPosition(index)) {
    TNTColumnOptions o = Items(index)->options_;
    if (o.Contains(coVisible) && (!considerAllowFocus || o.Contains(coAllowFocus))) return index;
  }
  return InvalidColumn;
}

TColumnIndex TNodeTreeColumns::PreviousShownColumn(TColumnIndex index, bool considerAllowFocus) const {
  for (index = PreviousByPosition(index); index >= 0; index = PreviousByPosition(index)) {
    TNTColumnOptions o = Items(index)->options_;
    if (o.Contains(coVisible) && (!considerAllowFocus || o.Contains(coAllowFocus))) return index;
  }
  return InvalidColumn;
}

std::vector<TColumnIndex> TNodeTreeColumns::ShownColumns() const {
  std::vector<TColumnIndex> result;
  for (int32_t index : positionMap_)
    if (index >= 0 && index < Count() && Items(index)->options_.Contains(coVisible)) result.push_back(index);
  return result;
}

int32_t TNodeTreeColumns::FixedShownWidth() const {
  int32_t w = 0;
  for (TColumnIndex i = 0; i < Count(); ++i)
    if (Items(i)->IsFixed()) w += Items(i)->width_;
  return w;
}

int32_t TNodeTreeColumns::TotalWidth() const {
  int32_t w = 0;
  for (TColumnIndex i = 0; i < Count(); ++i)
    if (Items(i)->options_.Contains(coVisible)) w += Items(i)->width_;
  return w;
}

int32_t TNodeTreeColumns::ShownExtent() const {
  TColumnIndex last = LastShownColumn();
  if (last < 0) return 0;
  return Items(last)->left_ + Items(last)->width_;
}

int32_t TNodeTreeColumns::AverageFreeWidth() const {
  int32_t sum = 0, n = 0;
  for (TColumnIndex i = 0; i < Count(); ++i) {
    const TNodeTreeColumn* c = Items(i);
    if (c->options_.Contains(coVisible) && !c->options_.Contains(coFixed)) {
      sum += c->width_;
      ++n;
    }
  }
  if (n == 0) return ht::Indent(treeOf(this));
  return static_cast<int32_t>(std::lround(static_cast<double>(sum) / n));
}

void TNodeTreeColumns::FitAutoSizeColumn(bool force) {
  if (Count() == 0) return;
  TBaseNodeTree* tree = treeOf(this);
  TColumnIndex target = header_->autoSizeIndex_;
  if (!IndexInRange(target)) target = Count() - 1;
  int32_t available = ht::HandleAllocated(tree) ? ht::ClientWidth(tree) : ht::ControlWidth(tree);
  for (TColumnIndex i = 0; i < Count(); ++i)
    if (i != target && Items(i)->options_.Contains(coVisible)) available -= Items(i)->width_;
  TNodeTreeColumn* c = Items(target);
  const int32_t w = std::max(std::min(c->maxWidth_, available), c->minWidth_);
  if (!force && w == c->width_) return;
  c->width_ = w;
  RecomputeLefts(false);
  ht::ColumnResized(tree, target);
}

bool TNodeTreeColumns::QuerySizing(TPoint p, TColumnIndex index) const {
  bool allowed = IndexInRange(index) && Items(index)->options_.ContainsAll({coResizable, coVisible});
  return ht::ColumnSizingQuery(treeOf(this), p, index, allowed);
}

bool TNodeTreeColumns::AllowsSizingAt(TPoint p, TColumnIndex index) const { return QuerySizing(p, index); }

TColumnIndex TNodeTreeColumns::ColumnAt(TPoint p, bool relative) const {
  TBaseNodeTree* tree = treeOf(this);
  if (p.X < 0 || p.Y < 0 || p.Y > header_->Height() + ht::ClientHeight(tree)) return InvalidColumn;
  int32_t start = 0;
  if (relative && p.X > FixedShownWidth()) start = -ht::EffectiveOffsetX(tree);
  if (ht::UseRightToLeftAlignment(tree)) start += ht::RightToLeftShift(tree);
  for (int32_t index : positionMap_) {
    if (index < 0 || index >= Count()) continue;
    const TNodeTreeColumn* c = Items(index);
    if (!c->options_.Contains(coVisible)) continue;
    start += c->width_;
    if (p.X < start) return index;
  }
  return InvalidColumn;
}

TColumnIndex TNodeTreeColumns::ColumnAndEdgesAt(TPoint p, int32_t& left, int32_t& right, bool relative) const {
  TBaseNodeTree* tree = treeOf(this);
  int32_t start = 0;
  if (relative && p.X >= FixedShownWidth()) start = -ht::EffectiveOffsetX(tree);
  if (ht::UseRightToLeftAlignment(tree)) start += ht::RightToLeftShift(tree);
  for (int32_t index : positionMap_) {
    if (index < 0 || index >= Count()) continue;
    const TNodeTreeColumn* c = Items(index);
    if (!c->options_.Contains(coVisible)) continue;
    if (p.X >= start && p.X < start + c->width_) {
      left = start;
      right = start + c->width_;
      return index;
    }
    start += c->width_;
  }
  return InvalidColumn;
}

void TNodeTreeColumns::ColumnEdges(TColumnIndex index, int32_t& left, int32_t& right) const {
  TBaseNodeTree* tree = treeOf(this);
  if (index < 0 || index >= Count()) {
    left = 0;
    right = ht::ClientWidth(tree);
    return;
  }
  left = Items(index)->ScrolledLeft();
  right = left + Items(index)->width_;
  if (ht::UseRightToLeftAlignment(tree)) {
    const int32_t shift = ht::RightToLeftShift(tree);
    left += shift;
    right += shift;
  }
}

void TNodeTreeColumns::GetColumnBounds(TColumnIndex column, int32_t& left, int32_t& right) const {
  if (!IndexInRange(column)) {
    left = right = 0;
    return;
  }
  Items(column)->AbsoluteEdges(left, right);
}

TColumnIndex TNodeTreeColumns::GetColumnAndBounds(int32_t x, int32_t& left, int32_t& right) const {
  // X in tree coordinates, where the columns' AbsoluteLeft lives (the
  // callers have taken out scrolling and the right-to-left shift).
  int32_t start = 0;
  for (int32_t index : positionMap_) {
    if (index < 0 || index >= Count()) continue;
    const TNodeTreeColumn* c = Items(index);
    if (!c->options_.Contains(coVisible)) continue;
    if (x >= start && x < start + c->width_) {
      left = start;
      right = start + c->width_;
      return index;
    }
    start += c->width_;
  }
  left = right = 0;
  return NoColumn;
}

// ---------------------------------------------------------------------------
// Mouse rules

void TNodeTreeColumns::repaintCell(TColumnIndex index) {
  if (IndexInRange(index)) header_->Invalidate(index);
}

bool TNodeTreeColumns::UpdateHotColumn(TPoint p) {
  TColumnIndex c = ColumnAt(p, true);
  if (c == HotIndex) return false;
  repaintCell(HotIndex);
  repaintCell(c);
  HotIndex = c;
  return true;
}

TColumnIndex TNodeTreeColumns::PressColumnAt(TPoint p) {
  TColumnIndex c = ColumnAt(p, true);
  if (c >= 0 && c != PressedIndex && Items(c)->options_.ContainsAll({coAllowClick, coEnabled})) {
    repaintCell(PressedIndex);
    PressedIndex = c;
    const TNodeTreeColumn* column = Items(c);
    PressedOnCheckBox = column->checkBox_ && column->glyphShown_ && PtInRect(column->glyphRect_, p);
    repaintCell(c);
  }
  return c;
}

void TNodeTreeColumns::ProcessHeaderClick(TPoint p, TMouseButton button, bool dblClick, bool force) {
  TBaseNodeTree* tree = treeOf(this);
  TColumnHitInfo info;
  info.X = p.X;
  info.Y = p.Y;
  info.Button = button;
  info.Shift = TNTHeader::GetShiftState();
  if (dblClick) info.Shift.Include(ssDouble);
  const TColumnIndex found = ColumnAt(p, true);
  if (found >= 0 && Items(found)->options_.Contains(coAllowClick) && (force || found == PressedIndex)) {
    TNodeTreeColumn* column = Items(found);
    ClickedIndex = found;
    info.Column = found;
    info.HitParts = {chpOnColumn};
    if (column->glyphShown_ && PtInRect(column->glyphRect_, p)) {
      info.HitParts.Include(chpOnGlyph);
      if (column->checkBox_) {
        info.HitParts.Include(chpOnCheckBox);
        if (button == mbLeft) ht::ToggleColumnCheckState(tree, column);
      }
    }
  } else {
    ClickedIndex = NoColumn;
    info.Column = NoColumn;
    info.HitParts = {chpNowhere};
  }
  if (header_->options_.Contains(hoHeaderClickAutoSort) && button == mbLeft && !dblClick && info.Column >= 0 &&
      !info.HitParts.Contains(chpOnCheckBox)) {
    if (info.Column == header_->sortColumn_) {
      header_->SetSortDirection(header_->sortDirection_ == sdDescending ? sdAscending : sdDescending);
    } else {
      header_->SetSortColumn(info.Column);
      header_->SetSortDirection(Items(info.Column)->DefaultSortDirection);
    }
  }
  if (dblClick)
    ht::HeaderDblClicked(tree, info);
  else
    ht::HeaderClicked(tree, info);
  if (info.Column >= 0) repaintCell(info.Column);
  if (ClickedIndex >= 0 && ClickedIndex != found) repaintCell(ClickedIndex);
}

}  // namespace px
