// Mouse and keyboard input of the header: splitter and divider hits, the
// header's message handling, the animated column resize steps and the drag
// image of a column drag.
#include <QLabel>
#include <QPixmap>
#include <algorithm>
#include <cstdlib>

#include "ui/tree/NodeTreesHeader.h"
#include "ui/tree/NodeTreesHeaderTree.h"
#include "ui/tree/NodeTreesTransfer.h"

namespace px {

namespace ht = headertree;

// ---------------------------------------------------------------------------
// Drag image stand-in: a frameless window showing the cell's picture.

struct TNTHeaderDragImage::Window {
  QLabel label;
  Window() : label(nullptr, Qt::ToolTip | Qt::FramelessWindowHint) {
    label.setAttribute(Qt::WA_TransparentForMouseEvents);
    label.setAttribute(Qt::WA_ShowWithoutActivating);
  }
};

TNTHeaderDragImage::TNTHeaderDragImage() = default;
TNTHeaderDragImage::~TNTHeaderDragImage() = default;

void TNTHeaderDragImage::Prepare(const TBitmap& picture, TPoint hotSpot) {
  picture_ = std::make_unique<TBitmap>();
  picture_->Assign(picture);
  hotSpot_ = hotSpot;
  started_ = false;
}

void TNTHeaderDragImage::DragTo(TPoint screenPoint) {
  if (!started_) {
    start_ = screenPoint;
    started_ = true;
  }
  if (RestrictHorizontal) screenPoint.Y = start_.Y;
  position_ = {screenPoint.X - hotSpot_.X, screenPoint.Y - hotSpot_.Y};
  if (picture_ == nullptr) return;
  if (window_ == nullptr) {
    window_ = std::make_unique<Window>();
    // The column's picture as the tree's drag pictures are made: blended by
    // a constant transparency.
    TNTDragImage image(nullptr);
    image.Transparency = 140;
    image.PrepareDrag(*picture_, position_, hotSpot_, nullptr);
    window_->label.setAttribute(Qt::WA_TranslucentBackground);
    window_->label.setPixmap(QPixmap::fromImage(image.ComposedImage()));
    window_->label.resize(picture_->Width(), picture_->Height());
  }
  window_->label.move(position_.X, position_.Y);
  if (!visible_) window_->label.show();
  visible_ = true;
}

void TNTHeaderDragImage::Hide() {
  if (window_ != nullptr) window_->label.hide();
  window_.reset();
  visible_ = false;
  started_ = false;
}

// ---------------------------------------------------------------------------
// Hits

bool TNTHeader::InHeader(TPoint p) const { return HeaderRect().Contains(p); }

bool TNTHeader::InHeaderSplitterArea(TPoint p) const {
  if (std::abs(p.Y) > 2 || !options_.Contains(hoVisible)) return false;
  TRect r = HeaderRect();
  r.Bottom += 2;
  return r.Contains(p);
}

bool TNTHeader::DetermineSplitterIndex(TPoint p) {
  columns_->SizingIndex = NoColumn;
  if (columns_->Count() == 0) return false;
  const int32_t offset = ht::EffectiveOffsetX(owner_);
  const int32_t fixedWidth = columns_->FixedShownWidth();
  const int32_t total = columns_->TotalWidth();
  const auto& map = columns_->PositionMap();
  if (!ht::UseRightToLeftAlignment(owner_)) {
    int32_t x = total - offset;
    for (auto it = map.rbegin(); it != map.rend(); ++it) {
      if (!columns_->IndexInRange(*it)) continue;
      const TNodeTreeColumn* c = columns_->Items(*it);
      if (!c->Options().Contains(coVisible)) continue;
      const bool fixed = c->IsFixed();
      const int32_t edge = fixed ? x + offset : x;
      if (edge - 3 < p.X && p.X < edge + 5 && (fixed || p.X > fixedWidth) && columns_->AllowsSizingAt(p, *it)) {
        columns_->SizingIndex = *it;
        trackPos_ = Point(edge - c->Width(), p.Y);
        return true;
      }
      x -= c->Width();
    }
  } else {
    int32_t x = -offset;
    const int32_t cw = ht::ClientWidth(owner_);
    if (total < cw) x += cw - total;
    for (int32_t index : map) {
      if (!columns_->IndexInRange(index)) continue;
      const TNodeTreeColumn* c = columns_->Items(index);
      if (!c->Options().Contains(coVisible)) continue;
      // As left to right: fixed columns do not scroll, and what scrolled
      // under them has no divider to take.
      const bool fixed = c->IsFixed();
      const int32_t edge = fixed ? x + offset : x;
      if (edge - 5 < p.X && p.X < edge + 3 && (fixed || p.X > fixedWidth) && columns_->AllowsSizingAt(p, index)) {
        columns_->SizingIndex = index;
        trackPos_ = Point(edge + c->Width(), p.Y);
        return true;
      }
      x += c->Width();
    }
  }
  return false;
}

bool TNTHeader::overDivider(TPoint p) {
  if (!options_.Contains(hoColumnResize) || !DetermineSplitterIndex(p)) return false;
  if (InHeader(p)) return true;
  // Below the header only the divider between the fixed and the scrolled
  // columns reaches into the tree body.
  const TColumnIndex tracked = columns_->SizingIndex;
  const TColumnIndex next = columns_->NextShownColumn(tracked);
  return columns_->Items(tracked)->IsFixed() && next >= 0 && !columns_->Items(next)->IsFixed() &&
         p.Y <= ht::RangeY(owner_);
}

// ---------------------------------------------------------------------------
// Animated resize steps

void TNTHeader::finishSlide() {
  if (!slide_.Active) return;
  const TSlide s = slide_;
  slide_ = {};
  ht::StopTimer(owner_, HeaderSlideTimer);
  if (columns_->IndexInRange(s.Column)) columns_->Items(s.Column)->SetWidth(s.Target);
}

void TNTHeader::slideStep() {
  if (!slide_.Active) {
    ht::StopTimer(owner_, HeaderSlideTimer);
    return;
  }
  const int32_t step = slide_.Step;
  const int32_t edge = slide_.Edge + slide_.Done * step;
  const int32_t cw = ht::ClientWidth(owner_);
  // Growing: the strip at the old edge is filled first; shrinking: the
  // strips start a step further left.
  const int32_t left = step > 0 ? edge : edge + step;
  const TRect strips[2] = {TRect(left, -height_, cw, 0), TRect(left, 0, cw, ht::ClientHeight(owner_))};
  for (const TRect& r : strips) {
    if (r.IsEmpty()) continue;
    if (step > 0) ht::FillWindowStrip(owner_, TRect(edge, r.Top, edge + step, r.Bottom), ht::Color(owner_));
    ht::ScrollWindowStrip(owner_, step, r);
  }
  if (++slide_.Done >= 32) finishSlide();
}

// ---------------------------------------------------------------------------
// Messages

void TNTHeader::cancelTracking() {
  states_ -= THeaderStates{hsColumnWidthTracking, hsColumnWidthTrackPending, hsHeightTracking,
                           hsHeightTrackPending};
}

bool TNTHeader::HandleHeaderMessage(TMessage& m) {
  TBaseNodeTree* tree = owner_;
  const bool designing = ht::Designing(tree);
  const THeaderStates tracking{hsColumnWidthTracking, hsColumnWidthTrackPending, hsHeightTracking,
                               hsHeightTrackPending};
  const THeaderStates input = tracking + THeaderStates{hsDragging, hsDragPending};
  const TPoint p(LoWordSigned(m.LParam), HiWordSigned(m.LParam));
  const TPoint ph(p.X, p.Y + height_);  // header coordinates of the columns
  bool handled = false;
  switch (m.Msg) {
    case WM_SIZE:
      if (!ht::WindowCreating(tree)) {
        if (!options_.Contains(hoAutoResize) || states_.Contains(hsAutoSizing)) {
          if (!states_.Contains(hsRecalculating)) RescaleHeader();
        } else {
          columns_->FitAutoSizeColumn(false);
        }
        Invalidate();
      }
      break;

    case WM_KEYDOWN:
    case WM_KILLFOCUS:
      if (m.Msg == WM_KEYDOWN && m.WParam != VK_ESCAPE) break;
      if (states_.Contains(hsDragging)) {
        ht::ReleaseCapture(tree);
        dragImage_->Hide();
        states_.Exclude(hsDragging);
        columns_->DropTargetIndex = NoColumn;
        columns_->DraggedIndex = NoColumn;
        Invalidate();
        handled = true;
      } else if (!(states_ * tracking).Empty()) {
        ht::ReleaseCapture(tree);
        if (states_.Contains(hsColumnWidthTracking) || states_.Contains(hsColumnWidthTrackPending))
          DoAfterColumnWidthTracking(columns_->SizingIndex);
        if (states_.Contains(hsHeightTracking) || states_.Contains(hsHeightTrackPending)) DoAfterHeightTracking();
        handled = true;
      }
      cancelTracking();
      states_.Exclude(hsDragPending);
      break;

    case WM_SETCURSOR: {
      if (!(states_ * input).Empty()) {
        m.Result = 1;
        return true;
      }
      TPoint cp;
      if (!ht::CursorPos(tree, cp)) break;
      TCursor cursor = crDefault;
      if ((options_.Contains(hoHeightResize) || designing) && InHeaderSplitterArea(cp))
        cursor = crNTVertSplit;
      else if (overDivider(cp))
        cursor = crNTHeaderSplit;
      else if (InHeader(cp))
        cursor = ht::TreeCursor(tree);
      else
        break;
      if (!designing) ht::HeaderCursorQuery(tree, cursor);
      if (cursor != crDefault) {
        ht::SetCursor(tree, cursor);
        m.Result = 1;
        return true;
      }
      break;
    }

    case WM_NCMOUSEMOVE:
      ht::HeaderPointerMove(tree, GetShiftState(), ph.X, ph.Y);
      if (InHeader(p)) {
        const bool hotChanged = columns_->UpdateHotColumn(ph);
        if (hotChanged || (columns_->PressedIndex >= 0 && columns_->PressedIndex != columns_->HotIndex)) {
          ht::StopTimer(tree, HeaderHoverTimer);
          ht::StartTimer(tree, HeaderHoverTimer, 50);
          if (options_.Contains(hoShowHint)) ht::ShowHint(tree, ph);
        }
      }
      break;

    case WM_NCLBUTTONDOWN:
    case WM_LBUTTONDOWN: {
      ht::CancelHints(tree);
      if (!designing) ht::StopScrollAndEditTimers(tree);
      const TShiftState shift = GetShiftState();
      if ((options_.Contains(hoHeightResize) || designing) && InHeaderSplitterArea(p)) {
        trackStart_ = p;
        columns_->HotIndex = NoColumn;
        if (!designing) DoBeforeHeightTracking(shift);
        states_.Include(hsHeightTrackPending);
        ht::SetCapture(tree);
        handled = true;
      } else if (overDivider(p)) {
        trackStart_ = p;
        columns_->HotIndex = NoColumn;
        if (!designing) DoBeforeColumnWidthTracking(columns_->SizingIndex, shift);
        states_.Include(hsColumnWidthTrackPending);
        ht::SetCapture(tree);
        handled = true;
      } else if (InHeader(p)) {
        const TColumnIndex column = columns_->PressColumnAt(ph);
        const bool draggable =
            columns_->IndexInRange(column) &&
            (designing || (options_.Contains(hoDrag) && columns_->Items(column)->Options().Contains(coDraggable)));
        if (draggable) {
          dragStart_ = ht::ClientToScreen(tree, p);
          columns_->DraggedIndex = column;
          states_.Include(hsDragPending);
          ht::SetCapture(tree);
          handled = true;
        }
        if (!designing) ht::HeaderButtonDown(tree, mbLeft, shift, ph.X, ph.Y);
      }
      break;
    }

    case WM_MOUSEMOVE: {
      if (states_.Contains(hsColumnWidthTrackPending)) {
        ht::StopTimer(tree, HeaderHoverTimer);
        states_.Exclude(hsColumnWidthTrackPending);
        states_.Include(hsColumnWidthTracking);
      }
      if (states_.Contains(hsHeightTrackPending)) {
        ht::StopTimer(tree, HeaderHoverTimer);
        states_.Exclude(hsHeightTrackPending);
        states_.Include(hsHeightTracking);
      }
      const TShiftState shift = GetShiftState();
      if (states_.Contains(hsColumnWidthTracking)) {
        const TColumnIndex index = columns_->SizingIndex;
        if (columns_->IndexInRange(index) && DoColumnWidthTracking(index, shift, trackPos_, p)) {
          TNodeTreeColumn* c = columns_->Items(index);
          const int32_t w = ht::UseRightToLeftAlignment(tree) ? trackPos_.X - p.X : p.X - trackPos_.X;
          const TColumnIndex next = columns_->NextShownColumn(index);
          if (options_.Contains(hoAutoResize) && index == autoSizeIndex_) {
            // The auto-size column fills the client: moving its edge moves
            // the width into its right neighbour.
            if (next >= 0 && columns_->Items(next)->Options().Contains(coResizable) && w > c->MinWidth() &&
                w < c->MaxWidth()) {
              TNodeTreeColumn* n = columns_->Items(next);
              n->SetWidth(n->Width() + c->Width() - w);
            }
          } else {
            c->SetWidth(w);
          }
        }
        handled = true;
      } else if (states_.Contains(hsHeightTracking)) {
        TPoint q = p;
        if (DoHeightTracking(q, shift)) SetHeight(height_ + q.Y);
        handled = true;
      } else if (states_.Contains(hsDragPending)) {
        const TColumnIndex column = columns_->DraggedIndex;
        const TPoint screen = ht::ClientToScreen(tree, p);
        const int32_t threshold = ht::DragThreshold(tree);
        if (options_.Contains(hoDrag) && columns_->IndexInRange(column) &&
            ht::HeaderColumnMoveQuery(tree, column) &&
            (std::abs(screen.X - dragStart_.X) > threshold || std::abs(screen.Y - dragStart_.Y) > threshold)) {
          ht::StopTimer(tree, HeaderHoverTimer);
          columns_->PressedIndex = NoColumn;
          columns_->HotIndex = NoColumn;
          Invalidate(column);
          // The picture of the cell on a button-face background.
          const TNodeTreeColumn* c = columns_->Items(column);
          TBitmap picture(std::max(c->Width(), 1), std::max(height_, 1), pf32bit);
          picture.Canvas().Brush().SetColor(clBtnFace);
          picture.Canvas().FillRect(TRect(0, 0, picture.Width(), picture.Height()));
          columns_->PaintCells(picture.Canvas(), TRect(c->Left(), 0, c->Left() + c->Width(), height_), Point(0, 0), 0);
          const TPoint start = dragStart_;
          const TPoint cellScreen = ht::ClientToScreen(tree, Point(c->ScrolledLeft(), -height_));
          dragImage_->RestrictHorizontal = options_.Contains(hoRestrictDrag);
          dragImage_->Prepare(picture, Point(start.X - cellScreen.X, start.Y - cellScreen.Y));
          dragImage_->DragTo(start);
          dragImage_->DragTo(screen);
          states_.Exclude(hsDragPending);
          states_.Include(hsDragging);
        }
        handled = true;
      } else if (states_.Contains(hsDragging)) {
        dragImage_->DragTo(ht::ClientToScreen(tree, p));
        int32_t left = 0, right = 0;
        const TColumnIndex target = columns_->ColumnAndEdgesAt(Point(p.X, 0), left, right, true);
        const TColumnIndex newTarget = target >= 0 ? target : NoColumn;
        const bool onLeft = newTarget >= 0 && p.X < (left + right) / 2;
        if (newTarget != columns_->DropTargetIndex || onLeft != columns_->DropOnLeftSide) {
          const TColumnIndex old = columns_->DropTargetIndex;
          columns_->DropTargetIndex = newTarget;
          columns_->DropOnLeftSide = onLeft;
          Invalidate(old);
          Invalidate(newTarget);
        }
        handled = true;
      }
      break;
    }

    case WM_NCLBUTTONUP:
    case WM_LBUTTONUP: {
      ht::CancelHints(tree);
      const bool inState = !(states_ * input).Empty();
      if (inState) {
        ht::ReleaseCapture(tree);
        if (states_.Contains(hsDragging)) {
          dragImage_->Hide();
          const TColumnIndex dragged = columns_->DraggedIndex;
          const TColumnIndex target = columns_->DropTargetIndex;
          const TRect window(0, -height_, ht::ClientWidth(tree), ht::ClientHeight(tree));
          const bool inside = window.Contains(p);
          if (columns_->IndexInRange(dragged)) {
            TNodeTreeColumn* c = columns_->Items(dragged);
            const TColumnPosition oldPosition = c->Position();
            if (inside && target >= 0 && target != dragged) {
              const TColumnPosition targetPosition = columns_->Items(target)->Position();
              const bool fromLeft = oldPosition < targetPosition;
              TColumnPosition newPosition;
              if (columns_->DropOnLeftSide)
                newPosition = fromLeft ? targetPosition - 1 : targetPosition;
              else
                newPosition = fromLeft ? targetPosition : targetPosition + 1;
              c->SetPosition(newPosition);
              ht::HeaderColumnMoved(tree, dragged, oldPosition);
            } else if (!inside) {
              ht::HeaderColumnDroppedOutside(tree, dragged, ht::ClientToScreen(tree, p));
            }
          }
          columns_->DropTargetIndex = NoColumn;
          Invalidate();
          handled = true;
        }
        if (states_.Contains(hsColumnWidthTracking) || states_.Contains(hsColumnWidthTrackPending)) {
          DoAfterColumnWidthTracking(columns_->SizingIndex);
          Invalidate(columns_->SizingIndex);
          handled = true;
        }
        if (states_.Contains(hsHeightTracking) || states_.Contains(hsHeightTrackPending)) {
          DoAfterHeightTracking();
          handled = true;
        }
      }
      const bool wasDragging = states_.Contains(hsDragging);
      if (m.Msg == WM_NCLBUTTONUP) {
        if (!wasDragging) columns_->ProcessHeaderClick(ph, mbLeft, false, false);
      } else {
        if (columns_->PressedIndex >= 0 && !wasDragging) columns_->ProcessHeaderClick(ph, mbLeft, false, false);
      }
      if (inState || m.Msg == WM_NCLBUTTONUP) ht::HeaderButtonUp(tree, mbLeft, GetShiftState(), ph.X, ph.Y);
      if (columns_->PressedIndex >= 0) {
        const TColumnIndex pressed = columns_->PressedIndex;
        columns_->PressedIndex = NoColumn;
        Invalidate(pressed);
      }
      columns_->PressedOnCheckBox = false;
      columns_->DraggedIndex = NoColumn;
      states_ -= input;
      break;
    }

    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDBLCLK:
    case WM_LBUTTONDBLCLK: {
      const TShiftState shift = GetShiftState() + TShiftState{ssDouble};
      const bool left = m.Msg == WM_NCLBUTTONDBLCLK || m.Msg == WM_LBUTTONDBLCLK;
      if (options_.Contains(hoHeightDblClickResize) && InHeaderSplitterArea(p) && defaultHeight_ > 0) {
        TPoint q = p;
        if (DoHeightDblClickResize(q, shift)) SetHeight(minHeight_);
        handled = true;
      } else if (left && options_.Contains(hoDblClickResize) && overDivider(p) && columns_->SizingIndex >= 0) {
        const TColumnIndex index = columns_->SizingIndex;
        if (DoColumnWidthDblClickResize(index, p, shift)) {
          const TColumnIndex position = static_cast<TColumnIndex>(columns_->Items(index)->Position());
          AutoFitColumns(true, 2, position, position);
        }
        handled = true;
      } else if (InHeader(p) && m.Msg != WM_LBUTTONDBLCLK) {
        const TMouseButton button =
            m.Msg == WM_NCRBUTTONDBLCLK ? mbRight : (m.Msg == WM_NCMBUTTONDBLCLK ? mbMiddle : mbLeft);
        columns_->ProcessHeaderClick(ph, button, true, true);
        handled = true;
      }
      break;
    }

    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      if (InHeader(p)) columns_->PressColumnAt(ph);
      break;

    case WM_NCRBUTTONUP:
      if (designing) break;
      ht::CancelHints(tree);
      if (InHeader(p)) {
        columns_->ProcessHeaderClick(ph, mbRight, false, false);
        columns_->PressedIndex = NoColumn;
        columns_->SizingIndex = NoColumn;
        columns_->PressedOnCheckBox = false;
        TPopupMenu* menu = PopupMenu;
        if (menu == nullptr) menu = DoGetPopupMenu(columns_->ColumnAt(ph, true), p);
        if (menu != nullptr) {
          ht::StopTimer(tree, 4);
          ht::StopTimer(tree, HeaderHoverTimer);
          columns_->HotIndex = NoColumn;
          ht::StopScrollAndEditTimers(tree);
          ht::ShowPopupMenu(tree, menu, ht::ClientToScreen(tree, p));
          handled = true;
        }
      }
      break;

    case WM_NCMBUTTONUP:
      if (InHeader(p)) {
        columns_->ProcessHeaderClick(ph, mbMiddle, false, false);
        columns_->PressedIndex = NoColumn;
        columns_->PressedOnCheckBox = false;
      }
      break;

    case WM_TIMER:
      if (m.WParam == static_cast<WPARAM>(HeaderSlideTimer)) {
        slideStep();
        handled = true;
      } else if (m.WParam == static_cast<WPARAM>(HeaderHoverTimer)) {
        TPoint cp;
        const bool known = ht::CursorPos(tree, cp);
        if (!known || !InHeader(cp) ||
            (columns_->PressedIndex >= 0 && columns_->PressedIndex != columns_->HotIndex)) {
          ht::StopTimer(tree, HeaderHoverTimer);
          columns_->HotIndex = NoColumn;
          columns_->ClickedIndex = NoColumn;
          columns_->PressedIndex = NoColumn;
          columns_->PressedOnCheckBox = false;
          Invalidate();
          handled = true;
        }
      }
      break;

    case CM_FONTCHANGED:
      ParentFontChanged();
      break;

    case CM_BIDIMODECHANGED:
      BiDiModeChanged();
      break;

    default:
      break;
  }
  if (handled) m.Result = 0;
  return handled;
}

}  // namespace px
