// The tree's hint window and the tree's side of the hint cycle.
#include "ui/tree/NodeTreesHint.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "platform/core/CodePages.h"
#include "ui/tree/NodeTreesString.h"
#include "ui/tree/NodeTreesSupport.h"
#include "ui/tree/NodeTreesTransfer.h"

namespace px {

bool HintWindowDestroyed = false;

THintWindow* NewNodeTreeHintWindow(TComponent* owner) { return new TNodeTreeHintWindow(owner); }

Byte TBaseNodeTree::EffectiveHintAnimation() const {
  if (HintAnimation != 3) return HintAnimation;
  // The desktop's tooltip effects, as Qt knows them: none, fading or
  // sliding in. The fade is blended in our own buffers, so it is always
  // available.
  if (!QApplication::isEffectEnabled(Qt::UI_AnimateTooltip)) return 0;
  return QApplication::isEffectEnabled(Qt::UI_FadeTooltip) ? 1 : 2;
}

TNodeTreeHintWindow::TNodeTreeHintWindow(TComponent* owner) : THintWindow(owner) { HintWindowDestroyed = false; }

TNodeTreeHintWindow::~TNodeTreeHintWindow() { HintWindowDestroyed = true; }

TBaseNodeTree* TNodeTreeHintWindow::tree() const { return FindNodeTree(treeId_); }

TRect TNodeTreeHintWindow::CalcHintRect(int32_t maxWidth, const std::string&, void* data) {
  if (!data) return {};
  data_ = *static_cast<const TNTHintData*>(data);
  treeId_ = NodeTreeId(data_.Tree);
  TBaseNodeTree* t = data_.Tree;
  if (!t) return {};
  if (data_.Node && !data_.HintRect.IsEmpty()) return data_.HintRect;

  const bool tooltip = t->HintMode == 3 && data_.Node;
  TNodeTreeColumns& columns = t->Header().Columns();
  data_.Alignment = columns.IsValidColumn(data_.Column) ? columns.Items(data_.Column)->Alignment()
                                                         : t->GetControlsAlignment();
  // Measured on a bitmap of its own: the window's canvas has no surface
  // before the window shows.
  TBitmap scratch(1, 1);
  TCanvas& measure = scratch.Canvas();
  if (tooltip)
    measure.Font().Assign(t->Font());
  else
    measure.Font().Assign(Font());
  textHeight_ = measure.TextExtent(UnicodeString(u"Tg")).cy;
  data_.LineBreakStyle = hlbDefault;
  Byte style = hlbDefault;
  if (!data_.DefaultHint.empty())
    data_.HintText = data_.DefaultHint;
  else if (tooltip)
    data_.HintText = t->NodeTooltip(data_.Node, data_.Column, style);
  else
    data_.HintText = t->NodeHint(data_.Node, data_.Column, style);
  data_.LineBreakStyle = static_cast<TNTHintLineBreakStyle>(style);
  if (data_.HintText.empty()) return {};

  TRect r;
  if (tooltip) {
    if (data_.LineBreakStyle == hlbDefault)
      data_.LineBreakStyle = t->MultiLine(data_.Node) ? hlbForceMultiLine : hlbForceSingleLine;
    if (data_.LineBreakStyle == hlbForceMultiLine) {
      const TRect cell = t->GetDisplayRect(data_.Node, data_.Column, true, false);
      r = Rect(0, 0, std::max(1, cell.Width()), 0);
      measure.DrawText(data_.HintText, r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
      r.Right += t->TextMargin() + 1;
      if (r.Height() <= cell.Height() + 2 && r.Width() <= cell.Width() + 2 && cell.Top >= 0 &&
          cell.Bottom <= t->ClientHeight() + 3 && cell.Right <= t->ClientWidth() + 3)
        return {};
    } else {
      r = t->LastHintRect();
      r = Rect(0, 0, r.Width(), r.Height());
      if (t->Options().PaintOptions().Contains(poShowHorzGridLines)) r.Bottom -= 1;
    }
    r = Rect(-1, -1, r.Width() + 1, r.Height() + 1);
  } else {
    r = Rect(0, 0, std::max(1, maxWidth), textHeight_);
    measure.DrawText(data_.HintText, r, DT_NOPREFIX | DT_CALCRECT | DT_WORDBREAK);
    r.Bottom += 6;
    r.Right += t->TextMargin() + textHeight_;
  }
  return r;
}

void TNodeTreeHintWindow::ActivateHint(const TRect& rect, const std::string& hint) {
  ActivateHintData(rect, hint, nullptr);
}

void TNodeTreeHintWindow::ActivateHintData(const TRect& rect, const std::string& hint, void*) {
  TBaseNodeTree* t = tree();
  if (rect.IsEmpty() || !t) {
    if (Application) Application->CancelHint();
    return;
  }
  const bool wasAnimating = t->TreeStates().Contains(stAnimating);
  if (wasAnimating) t->ChangeTreeState({}, {stAnimating});
  // Kept on the desktop: moved up and left where it would reach past the
  // bottom or right edge, down and right where it starts before the top or
  // left.
  TRect r = rect;
  if (Screen) {
    if (r.Bottom > Screen->Height()) r.Offset(0, Screen->Height() - r.Bottom);
    if (r.Right > Screen->Width()) r.Offset(Screen->Width() - r.Right, 0);
    if (r.Top < 0) r.Offset(0, -r.Top);
    if (r.Left < 0) r.Offset(-r.Left, 0);
  }
  const int32_t w = std::max(1, r.Width()), h = std::max(1, r.Height());
  for (TBitmap* b : {&background_, &drawBuffer_, &target_}) {
    b->SetPixelFormat(pf32bit);
    b->SetSize(w, h);
  }
  t->Update();
  // What lies under the window, for the fade and slide steps.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QPixmap under = screen->grabWindow(0, r.Left, r.Top, w, h);
    if (!under.isNull() && under.width() == w && under.height() == h) background_.FromQImage(under.toImage());
    background_.SetSize(w, h);
  }
  THintWindow::ActivateHintData(r, hint.empty() ? std::string(" ") : hint, nullptr);
  runningAnimation_ = static_cast<TNTHintAnimationType>(t->EffectiveHintAnimation());
  lastStep_ = 0;
  if (runningAnimation_ == hatFade || runningAnimation_ == hatSlide) {
    const Cardinal steps = runningAnimation_ == hatFade ? 255 : static_cast<Cardinal>(h);
    const Cardinal duration = runningAnimation_ == hatFade ? 2 * t->AnimationDuration : t->AnimationDuration;
    AnimationStep(0, 0);
    t->Animate(steps, duration,
               [this](void*, Cardinal step, Cardinal stepSize) {
                 TBaseNodeTree* owner = tree();
                 if (HintWindowDestroyed || !Widget() || !Widget()->isVisible() || !owner ||
                     owner->TreeStates().Contains(stCancelAnimation))
                   return false;
                 AnimationStep(step, std::max<Cardinal>(1, stepSize));
                 if (Application) Application->ProcessMessages();
                 return true;
               },
               nullptr);
    runningAnimation_ = hatNone;
    if (TBaseNodeTree* owner = tree(); owner && wasAnimating && !HintWindowDestroyed)
      owner->ChangeTreeState({stCancelAnimation}, {});
  }
  drawHint();
  Invalidate();
}

void TNodeTreeHintWindow::drawHint() {
  TBaseNodeTree* t = tree();
  TCanvas& c = drawBuffer_.Canvas();
  const TRect all = Rect(0, 0, drawBuffer_.Width(), drawBuffer_.Height());
  const bool tooltip = t && t->HintMode == 3 && data_.Node;
  const bool multiLine = data_.LineBreakStyle == hlbForceMultiLine;
  const int32_t vOffset = tooltip ? (multiLine ? 1 : std::max(0, (all.Height() - textHeight_) / 2)) : 2;
  if (tooltip)
    c.Font().Assign(t->Font());
  else
    c.Font().Assign(Font());
  if (t && t->HintKindQuery(data_.Node, data_.Column) == 1) {
    t->HintDraw(c, data_.Node, all, data_.Column);
    return;
  }
  c.Font().SetColor(clInfoText);
  c.Pen().SetColor(clBlack);
  c.Brush().SetColor(clInfoBk);
  c.Brush().SetStyle(bsSolid);
  c.Rectangle(all);
  TRect r = all;
  r.Inflate(-1, -1);
  r.Left += 3;
  r.Top = vOffset;
  c.Brush().SetStyle(bsClear);
  uint32_t format = DT_NOPREFIX;
  if (multiLine || !tooltip) format |= DT_WORDBREAK;
  c.DrawText(data_.HintText, r, format);
}

void TNodeTreeHintWindow::AnimationStep(Cardinal step, Cardinal stepSize) {
  if (step == 0) drawHint();
  lastStep_ = step;
  Invalidate();
  if (Widget()) Widget()->repaint();
  (void)stepSize;
}

void TNodeTreeHintWindow::Paint() {
  TCanvas& c = Canvas();
  if (drawBuffer_.Empty()) drawHint();
  if (runningAnimation_ == hatFade) {
    // The hint blended over what lay under the window, by the step.
    for (int32_t y = 0; y < target_.Height(); ++y)
      std::copy_n(background_.ScanLine(y), target_.Width() * 4, target_.ScanLine(y));
    BlendDIBPixels(&drawBuffer_, target_, Rect(0, 0, target_.Width(), target_.Height()), {0, 0}, 0,
                   static_cast<int>(lastStep_ * 256 / 255), 0);
    c.Draw(0, 0, target_);
  } else if (runningAnimation_ == hatSlide) {
    // The lowest rows of the hint slide in from the top.
    const int32_t rows = std::min<int32_t>(static_cast<int32_t>(lastStep_), drawBuffer_.Height());
    c.CopyRect(Rect(0, 0, drawBuffer_.Width(), rows), drawBuffer_,
               Rect(0, drawBuffer_.Height() - rows, drawBuffer_.Width(), drawBuffer_.Height()));
    c.CopyRect(Rect(0, rows, background_.Width(), background_.Height()), background_,
               Rect(0, rows, background_.Width(), background_.Height()));
  } else {
    c.Draw(0, 0, drawBuffer_);
  }
}

bool TNodeTreeHintWindow::IsHintMsg(const TMessage& msg) const {
  const bool visible = Widget() && Widget()->isVisible();
  const bool key = msg.Msg >= 0x0100 && msg.Msg <= 0x0109;
  const bool mouse = (msg.Msg >= WM_MOUSEMOVE && msg.Msg <= WM_MOUSEWHEEL) || msg.Msg == 0x00A0 ||
                     (msg.Msg >= 0x00A1 && msg.Msg <= 0x00A9);
  if (visible && (msg.Msg == 0x00A0 || key)) return false;
  return key || mouse;
}

void TNodeTreeHintWindow::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_ERASEBKGND: m.Result = 1; return;
    case CM_TEXTCHANGED: return;
    default: THintWindow::WndProc(m);
  }
}

bool TNodeTreeHintWindow::bridgeOtherEvent(QEvent* event) {
  if (event->type() == QEvent::Hide) {
    data_ = TNTHintData{};
    treeId_ = 0;
    HintWindowDestroyed = false;
  }
  return THintWindow::bridgeOtherEvent(event);
}

// ---------------------------------------------------------------------------
// The tree's side

UnicodeString TBaseNodeTree::NodeHint(PNTNode, TColumnIndex, Byte&) {
  UnicodeString text;
  int kind = 0;
  CellText(text, kind);
  return text;
}

UnicodeString TBaseNodeTree::NodeTooltip(PNTNode node, TColumnIndex column, Byte&) { return NodeText(node, column); }

UnicodeString TCustomNodeStringTree::NodeHint(PNTNode node, TColumnIndex column, Byte&) {
  return NodeHintText(node, column, UnicodeString());
}

UnicodeString TCustomNodeStringTree::NodeTooltip(PNTNode node, TColumnIndex column, Byte&) {
  return NodeTooltipText(node, column);
}

void TBaseNodeTree::CMHintShow(TMessage& m) {
  m.Result = 1;
  auto* info = reinterpret_cast<THintInfo*>(m.LParam);
  if (!info) return;
  const TPoint widgetPos = info->CursorPos;
  const TPoint p = widgetPos - clientOffsetForChildren();
  if (lastHintRect_.Contains(p)) return;
  THitInfo hit;
  GetHitTestInfoAt(p.X, p.Y, true, hit);
  bool allowed = states_.Contains(stEditing) ? hit.HitNode != focusedNode_ : true;
  allowed = allowed && ShowHint && !host_->HasCapture() && !states_.Contains(stOLEDragging) &&
            !states_.Contains(stOLEDragPending) && !states_.Contains(stVCLDragging) &&
            !states_.Contains(stDrawSelPending) && !states_.Contains(stDrawSelecting) &&
            !states_.Contains(stScrolling) && header_->States().Empty();
  auto hide = [&] {
    lastHintRect_ = {};
    ChangeTreeState({}, {stHintShown});
  };
  if (!allowed) return hide();
  if (!hintData_) hintData_ = std::make_shared<TNTHintData>();
  *hintData_ = TNTHintData{};
  hintData_->Tree = this;
  TRect shown;
  if (p.Y < 0) {
    // Over the header: the column's hint below the header cell.
    TNodeTreeColumns& columns = header_->Columns();
    const TColumnIndex column = columns.ColumnAt(TPoint{p.X, 0});
    if (!columns.IsValidColumn(column) || columns.Items(column)->Hint().empty()) return hide();
    hintData_->Column = column;
    hintData_->DefaultHint = columns.Items(column)->Hint();
    const TRect cell = columns.Items(column)->HeaderCellRect();
    shown = Rect(cell.Left, -HeaderStripHeight(), cell.Right, 0);
    info->HintPos = ClientToScreen(TPoint{cell.Left, 0} + clientOffsetForChildren());
  } else if (HintMode != 0 && hit.HitNode && hit.HitColumn >= NoColumn) {
    PNTNode node = hit.HitNode;
    const TColumnIndex column = hit.HitColumn;
    hintData_->Node = node;
    hintData_->Column = column;
    TRect span = GetDisplayRect(node, column, false);
    if (!header_->UseColumns()) span.Right = std::max(span.Right, ClientWidth());
    if (HintKindQuery(node, column) == 1) {
      TRect r;
      HintSizeQuery(node, column, r);
      if (r.IsEmpty()) return hide();
      hintData_->HintRect = r;
    }
    if (HintMode == 3) {
      const TRect text = GetDisplayRect(node, column, true, true);
          if (!MultiLine(node)) {
        const bool cutOff = text.Right + textMargin_ > std::min(span.Right - 1, ClientWidth()) ||
                            text.Left < span.Left || text.Bottom > ClientHeight() || text.Top < 0;
        if (!text.Contains(p) || !cutOff) return hide();
      } else if (!hit.HitPositions.Contains(hiOnItemLabel)) {
        return hide();
      }
      shown = text;
      // The hint's frame lies one pixel outside the text.
      info->HintPos = ClientToScreen(TPoint{text.Left - 1, text.Top - 1} + clientOffsetForChildren());
    } else {
      shown = span;
      info->HintPos = ClientToScreen(TPoint{span.Left, span.Bottom + 2} + clientOffsetForChildren());
    }
  } else {
    if (Hint.empty()) return hide();
    hintData_->DefaultHint = Utf8ToUnicode(Hint.substr(0, Hint.find('|')));
    shown = ClientRect();
  }
  info->HintWindowClass = NewNodeTreeHintWindow;
  info->HintData = hintData_.get();
  info->HintStr = " ";
  lastHintRect_ = shown;
  info->CursorRect = Rect(shown.Left, shown.Top, shown.Right, shown.Bottom);
  info->CursorRect.Offset(clientOffsetForChildren().X, clientOffsetForChildren().Y);
  ChangeTreeState({stHintShown}, {});
  m.Result = 0;
}

}  // namespace px
