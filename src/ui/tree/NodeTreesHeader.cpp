#include "ui/tree/NodeTreesHeader.h"

namespace px {

void TNodeTreeColumns::GetColumnBounds(TColumnIndex column, int32_t& left, int32_t& right) const {
  if (!IsValidColumn(column)) {
    left = right = 0;
    return;
  }
  left = items_[column]->Left();
  right = left + items_[column]->Width();
}

TColumnIndex TNodeTreeColumns::GetColumnAndBounds(int32_t x, int32_t& left, int32_t& right) const {
  for (TColumnIndex c = GetFirstVisibleColumn(); c != InvalidColumn; c = GetNextVisibleColumn(c)) {
    GetColumnBounds(c, left, right);
    if (x >= left && x < right) return c;
  }
  left = right = 0;
  return NoColumn;
}

TColumnIndex TNodeTreeColumns::GetFirstVisibleColumn(bool considerAllowFocus) const {
  for (TColumnIndex c = 0; c < Count(); ++c) {
    TNTColumnOptions o = items_[c]->Options();
    if (o.Contains(coVisible) && (!considerAllowFocus || o.Contains(coAllowFocus))) return c;
  }
  return InvalidColumn;
}

TColumnIndex TNodeTreeColumns::GetNextVisibleColumn(TColumnIndex column, bool considerAllowFocus) const {
  for (TColumnIndex c = column + 1; c < Count(); ++c) {
    TNTColumnOptions o = items_[c]->Options();
    if (o.Contains(coVisible) && (!considerAllowFocus || o.Contains(coAllowFocus))) return c;
  }
  return InvalidColumn;
}

TColumnIndex TNodeTreeColumns::GetPreviousVisibleColumn(TColumnIndex column, bool considerAllowFocus) const {
  for (TColumnIndex c = column - 1; c >= 0; --c) {
    TNTColumnOptions o = items_[c]->Options();
    if (o.Contains(coVisible) && (!considerAllowFocus || o.Contains(coAllowFocus))) return c;
  }
  return InvalidColumn;
}

int32_t TNodeTreeColumns::TotalWidth() const {
  int32_t w = 0;
  for (const auto& c : items_)
    if (c->Options().Contains(coVisible)) w += c->Width();
  return w;
}

int32_t TNodeTreeColumns::FixedAreaWidth() const {
  int32_t w = 0;
  for (const auto& c : items_)
    if (c->Options().Contains(coVisible) && c->Options().Contains(coFixed)) w += c->Width();
  return w;
}

TNTHeader::TNTHeader(TBaseNodeTree* owner) : owner_(owner), columns_(std::make_unique<TNodeTreeColumns>(this)) {}

TNTHeader::~TNTHeader() = default;

TColumnIndex TNTHeader::MainColumn() const {
  return columns_->Count() > 0 ? mainColumn_ : NoColumn;
}

void TNTHeader::Assign(const TNTHeader& source) {
  Options = source.Options;
  SortColumn = source.SortColumn;
  SortDirection = source.SortDirection;
  mainColumn_ = source.mainColumn_;
  height_ = source.height_;
}

}  // namespace px
