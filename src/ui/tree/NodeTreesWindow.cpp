// The tree as a window: the host over its own widget, the scroll bar children
// and the header strip above the client area, and the dispatch of window
// messages to their handlers.
#include <QWidget>
#include <algorithm>
#include <cmath>

#include <cstring>

#include "platform/core/CodePages.h"
#include "platform/gui/Forms.h"
#include "platform/gui/GuiInternal.h"
#include "ui/tree/NodeTrees.h"
#include "ui/tree/NodeTreesImages.h"

namespace px {

namespace {

constexpr int32_t kBarFallback = 16;

int32_t barThickness(const TScrollBar* bar) {
  if (!bar) return 0;
  return bar->Kind() == sbVertical ? bar->Width() : bar->Height();
}

// Mouse messages over the header strip become their non-client forms.
Cardinal nonClientOf(Cardinal msg) { return msg - WM_MOUSEMOVE + WM_NCMOUSEMOVE; }

bool isMouseMessage(Cardinal msg) { return msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK; }

}  // namespace

// ---------------------------------------------------------------------------
// The window host

TNodeTreeWindowHost::TNodeTreeWindowHost(TBaseNodeTree* tree) : tree_(tree) {}

bool TNodeTreeWindowHost::HandleAllocated() const { return tree_->Widget() != nullptr; }

TSize TNodeTreeWindowHost::ClientSize() const { return tree_->WindowClientSize(); }

void TNodeTreeWindowHost::InvalidateRect(const TRect* rect, bool erase) {
  (void)erase;  // the tree paints its background itself
  if (!rect) {
    tree_->TWinControl::InvalidateRect(nullptr);
    return;
  }
  // Parts above the client area belong to the header strip.
  tree_->TWinControl::InvalidateRect(rect);
}

void TNodeTreeWindowHost::UpdateWindow() { tree_->Update(); }

void TNodeTreeWindowHost::SetRedraw(bool on) { tree_->TWinControl::SetRedraw(on); }

void TNodeTreeWindowHost::ScrollContents(int32_t dx, int32_t dy, const TRect* clip) {
  TRect r = clip ? *clip : tree_->ClientRect();
  tree_->ScrollWindow(dx, dy, &r);
}

void TNodeTreeWindowHost::SetScrollInfo(TScrollBarKind bar, const TNTScrollInfo& info, bool redraw) {
  (void)redraw;
  TNTScrollInfo& kept = bars_[bar];
  const bool visible = kept.Visible;
  kept = info;
  kept.Visible = visible;
  if (TScrollBar* control = tree_->ScrollBarControl(bar)) {
    // The bar raises for a page beyond its range where the system clamps it:
    // clamp first.
    const int32_t max = std::max(info.Max, info.Min);
    control->SetPageSize(0);
    control->SetParams(info.Pos, info.Min, max);
    control->SetPageSize(static_cast<Integer>(std::min<int64_t>(info.Page, int64_t{max} - info.Min + 1)));
    control->SetPosition(info.Pos);
    control->SetSmallChange(bar == sbVertical ? tree_->VerticalIncrement : tree_->HorizontalIncrement);
    control->SetEnabled(info.Max - info.Min + 1 > static_cast<int64_t>(info.Page) || !info.DisableNoScroll);
  }
}

TNTScrollInfo TNodeTreeWindowHost::GetScrollInfo(TScrollBarKind bar) const {
  auto it = bars_.find(bar);
  TNTScrollInfo info = it == bars_.end() ? TNTScrollInfo{} : it->second;
  if (TScrollBar* control = tree_->ScrollBarControl(bar)) info.Visible = control->Visible();
  return info;
}

void TNodeTreeWindowHost::ShowScrollBar(TScrollBarKind bar, bool show) {
  bars_[bar].Visible = show;
  TScrollBar* control = tree_->ScrollBarControl(bar);
  if (!control || control->Visible() == show) return;
  control->SetVisible(show);
  tree_->LayoutWindow();
  // The client area changed size: the tree reacts as to WM_SIZE.
  if (!tree_->TreeStates().Contains(stSizing))
    tree_->Perform(WM_SIZE, SIZE_RESTORED, MakeLParam(tree_->ClientWidth(), tree_->ClientHeight()));
  tree_->TWinControl::InvalidateRect(nullptr);
}

int32_t TNodeTreeWindowHost::ScrollBarSize(TScrollBarKind bar) const {
  const int32_t size = barThickness(tree_->ScrollBarControl(bar));
  return size > 0 ? size : kBarFallback;
}

void TNodeTreeWindowHost::StartTimer(int id, Cardinal ms) { tree_->SetTimer(static_cast<uintptr_t>(id), ms); }
void TNodeTreeWindowHost::StopTimer(int id) { tree_->KillTimer(static_cast<uintptr_t>(id)); }
void TNodeTreeWindowHost::SetCapture() { tree_->TWinControl::SetCapture(); }
void TNodeTreeWindowHost::ReleaseCapture() { tree_->TWinControl::ReleaseCapture(); }
bool TNodeTreeWindowHost::HasCapture() const { return tree_->TWinControl::HasCapture(); }

void TNodeTreeWindowHost::SetCursor(TCursor cursor) {
  if (QWidget* w = tree_->Widget()) {
    if (cursor == crDefault)
      w->unsetCursor();
    else
      w->setCursor(QtCursorOf(cursor));
  }
}

bool TNodeTreeWindowHost::CursorPos(TPoint& pos) const {
  if (!tree_->Widget()) return false;
  pos = tree_->CursorClientPos();
  return true;
}

// ---------------------------------------------------------------------------
// Layout

void TBaseNodeTree::UseWindowHost() {
  if (!windowHost_) {
    windowHost_ = std::make_unique<TNodeTreeWindowHost>(this);
    for (TScrollBarKind kind : {sbHorizontal, sbVertical}) {
      auto* bar = new TScrollBar(this);
      bar->SetKind(kind);
      bar->SetVisible(false);
      bar->Widget()->setFocusPolicy(Qt::NoFocus);
      bar->OnScroll = [this, kind](TObject*, TScrollCode code, Integer& pos) { scrollBarScrolled(kind, code, pos); };
      bar->SetParent(this);
      scrollBars_[kind] = bar;
    }
    TabStop = true;
    LoadTreeCursors();
    Widget()->setFocusPolicy(Qt::StrongFocus);
    Widget()->setMouseTracking(true);
  }
  SetHost(windowHost_.get());
  UpdateOLEDropRegistration();
  LayoutWindow();
  UpdateScrollBars(true);
}

void TBaseNodeTree::SetParent(TWinControl* parent) {
  TCustomControl::SetParent(parent);
  // Placed on a form, the tree becomes a window of its own; a tree without
  // parent stays headless unless asked.
  if (parent && host_ == &nullHost_) UseWindowHost();
}

TScrollBar* TBaseNodeTree::ScrollBarControl(TScrollBarKind bar) const { return scrollBars_[bar]; }

int32_t TBaseNodeTree::HeaderStripHeight() const {
  return header_ && header_->Options().Contains(hoVisible) ? header_->Height() : 0;
}

TPoint TBaseNodeTree::clientOffsetForChildren() const {
  const TRect frame = FrameWidths();
  return {frame.Left, frame.Top + HeaderStripHeight()};
}

TSize TBaseNodeTree::WindowClientSize() const {
  const TRect frame = FrameWidths();
  int32_t w = Width() - frame.Left - frame.Right;
  int32_t h = Height() - frame.Top - frame.Bottom - HeaderStripHeight();
  if (scrollBars_[sbVertical] && scrollBars_[sbVertical]->Visible()) w -= barThickness(scrollBars_[sbVertical]);
  if (scrollBars_[sbHorizontal] && scrollBars_[sbHorizontal]->Visible())
    h -= barThickness(scrollBars_[sbHorizontal]);
  return {std::max(0, w), std::max(0, h)};
}

void TBaseNodeTree::LayoutWindow() {
  const TSize client = WindowClientSize();
  if (TScrollBar* v = scrollBars_[sbVertical]; v && v->Visible())
    v->SetBounds(client.cx, 0, barThickness(v), client.cy);
  if (TScrollBar* h = scrollBars_[sbHorizontal]; h && h->Visible())
    h->SetBounds(0, client.cy, client.cx, barThickness(h));
}

void TBaseNodeTree::scrollBarScrolled(TScrollBarKind bar, TScrollCode code, Integer& pos) {
  if (windowHost_) windowHost_->SetTrackPos(bar, pos);
  const WPARAM wParam = static_cast<WPARAM>(code) | (static_cast<WPARAM>(pos & 0xFFFF) << 16);
  Perform(bar == sbVertical ? WM_VSCROLL : WM_HSCROLL, wParam, 0);
  pos = bar == sbVertical ? -offsetY_ : effectiveOffsetX_;
}

WPARAM TBaseNodeTree::WantedDialogCodes() const {
  return DLGC_WANTARROWS | DLGC_WANTCHARS | (WantTabs ? DLGC_WANTTAB : 0);
}

// ---------------------------------------------------------------------------
// The frame: system edge, bevels and border around header and client area

TSize TBaseNodeTree::BorderInsets() const {
  if (borderStyle_ != bsSingle) return {0, 0};
  return ctl3D_ ? TSize{-2, -2} : TSize{-1, -1};
}

TRect TBaseNodeTree::FrameWidths() const {
  const TSize insets = BorderInsets();
  TRect f(-insets.cx + borderWidth_, -insets.cy + borderWidth_, -insets.cx + borderWidth_, -insets.cy + borderWidth_);
  if (bevelKind_ != bkNone) {
    const int32_t bevel = (bevelInner_ != bvNone ? bevelWidth_ : 0) + (bevelOuter_ != bvNone ? bevelWidth_ : 0);
    if (bevelEdges_.Contains(beLeft)) f.Left += bevel;
    if (bevelEdges_.Contains(beTop)) f.Top += bevel;
    if (bevelEdges_.Contains(beRight)) f.Right += bevel;
    if (bevelEdges_.Contains(beBottom)) f.Bottom += bevel;
  }
  return f;
}

TRect TBaseNodeTree::ComputeHeaderRect() const {
  const TRect f = FrameWidths();
  TRect r(f.Left, f.Top, Width() - f.Right, f.Top + HeaderStripHeight());
  if (r.Width() <= 0) return TRect{};
  return r;
}

void TBaseNodeTree::DrawBorder(TCanvas& canvas) {
  TRect r(0, 0, Width(), Height());
  // The system frame: a sunken edge, or a line without the 3D look.
  if (borderStyle_ == bsSingle) {
    if (ctl3D_) {
      DrawEdge(canvas, r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    } else {
      canvas.Brush().SetStyle(bsSolid);
      canvas.Brush().SetColor(clWindowFrame);
      canvas.FrameRect(r);
      r.Inflate(-1, -1);
    }
  }
  if (bevelKind_ == bkNone && borderWidth_ == 0) return;
  if (bevelKind_ != bkNone) {
    auto ring = [](TBevelCut cut, uint32_t sunken, uint32_t raised) {
      return cut == bvLowered ? sunken : cut == bvRaised ? raised : 0u;
    };
    const uint32_t edge =
        ring(bevelInner_, BDR_SUNKENINNER, BDR_RAISEDINNER) | ring(bevelOuter_, BDR_SUNKENOUTER, BDR_RAISEDOUTER);
    uint32_t flags = bevelKind_ == bkSoft ? BF_SOFT : bevelKind_ == bkFlat ? BF_FLAT : 0;
    if (!ctl3D_) flags |= BF_MONO;
    if (bevelEdges_.Contains(beLeft)) flags |= BF_LEFT;
    if (bevelEdges_.Contains(beTop)) flags |= BF_TOP;
    if (bevelEdges_.Contains(beRight)) flags |= BF_RIGHT;
    if (bevelEdges_.Contains(beBottom)) flags |= BF_BOTTOM;
    TRect edgeRect = r;
    DrawEdge(canvas, edgeRect, edge, flags);
    const int32_t bevel = (bevelInner_ != bvNone ? bevelWidth_ : 0) + (bevelOuter_ != bvNone ? bevelWidth_ : 0);
    if (bevelEdges_.Contains(beLeft)) r.Left += bevel;
    if (bevelEdges_.Contains(beTop)) r.Top += bevel;
    if (bevelEdges_.Contains(beRight)) r.Right -= bevel;
    if (bevelEdges_.Contains(beBottom)) r.Bottom -= bevel;
  }
  if (borderWidth_ > 0) {
    const int32_t b = borderWidth_;
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(Colors().Get(TNTColors::BorderColor));
    canvas.FillRect(TRect(r.Left, r.Top, r.Right, r.Top + b));
    canvas.FillRect(TRect(r.Left, r.Bottom - b, r.Right, r.Bottom));
    canvas.FillRect(TRect(r.Left, r.Top + b, r.Left + b, r.Bottom - b));
    canvas.FillRect(TRect(r.Right - b, r.Top + b, r.Right, r.Bottom - b));
  }
}

void TBaseNodeTree::FrameChanged() {
  if (!windowHost_) return;
  LayoutWindow();
  Perform(WM_SIZE, SIZE_RESTORED, MakeLParam(ClientWidth(), ClientHeight()));
  Invalidate();
}

void TBaseNodeTree::SetBorderStyle(TBorderStyle value) {
  if (borderStyle_ == value) return;
  borderStyle_ = value;
  FrameChanged();
}

void TBaseNodeTree::SetCtl3D(bool value) {
  if (ctl3D_ == value) return;
  ctl3D_ = value;
  Perform(CM_CTL3DCHANGED, 0, 0);
}

// ---------------------------------------------------------------------------
// Message dispatch

void TBaseNodeTree::WndProc(TMessage& m) {
  if (!header_ || !root_) {  // still being constructed
    TCustomControl::WndProc(m);
    return;
  }
  // Mouse messages over the header strip arrive with y < 0: the header takes
  // them as non-client messages, the rows never see them.
  if (isMouseMessage(m.Msg) && HeaderStripHeight() > 0 && HiWordSigned(m.LParam) < 0 &&
      header_->States().Empty()) {
    TMessage nc = m;
    nc.Msg = nonClientOf(m.Msg);
    if (header_->HandleHeaderMessage(nc)) {
      m.Result = nc.Result;
      return;
    }
    if (m.Msg == WM_MOUSEMOVE) {
      TMessage cursor{WM_SETCURSOR, 0, 0, 0};
      WMSetCursor(cursor);
    }
    return;
  }
  if (m.Msg != WM_PAINT && m.Msg != WM_TIMER && m.Msg != WM_NCDESTROY && header_->HandleHeaderMessage(m)) return;
  switch (m.Msg) {
    case WM_PAINT: WMPaint(m); return;
    case WM_SIZE: WMSize(m); return;
    case WM_SETFOCUS: WMSetFocus(m); return;
    case WM_KILLFOCUS: WMKillFocus(m); return;
    case WM_ENABLE: WMEnable(m); return;
    case WM_ERASEBKGND: WMEraseBkgnd(m); return;
    case WM_SETCURSOR: WMSetCursor(m); return;
    case WM_GETOBJECT: WMGetObject(m); return;
    case WM_CONTEXTMENU: WMContextMenu(m); return;
    case WM_GETDLGCODE: WMGetDlgCode(m); return;
    case WM_HSCROLL: WMHScroll(m); return;
    case WM_VSCROLL: WMVScroll(m); return;
    case WM_TIMER: WMTimer(m); return;
    case WM_CANCELMODE: WMCancelMode(m); return;
    case WM_CHANGESTATE: WMChangeState(m); return;
    case WM_PRINTCLIENT: WMPrintClient(m); return;
    case WM_THEMECHANGED: WMThemeChanged(m); return;
    case WM_MOUSEWHEEL:
    case CM_MOUSEWHEEL: CMMouseWheel(m); return;
    case CM_MOUSEENTER: CMMouseEnter(m); return;
    case CM_MOUSELEAVE: CMMouseLeave(m); return;
    case CM_COLORCHANGED: CMColorChanged(m); return;
    case CM_FONTCHANGED: CMFontChanged(m); return;
    case CM_ENABLEDCHANGED: CMEnabledChanged(m); return;
    case CM_SYSCOLORCHANGE: CMSysColorChange(m); return;
    case CM_BIDIMODECHANGED: CMBiDiModeChanged(m); return;
    case CM_HINTSHOWPAUSE: CMHintShowPause(m); return;
    case CM_HINTSHOW: CMHintShow(m); return;
    case CM_AUTOADJUST: m.Result = 1; return;
    case TVM_GETITEMRECT: TVMGetItemRect(m); return;
    case TVM_GETNEXTITEM: TVMGetNextItem(m); return;
    case TVM_GETITEM: TVMGetItem(m); return;
    case WM_KEYDOWN: WMKeyDown(m); return;
    case WM_KEYUP: WMKeyUp(m); return;
    case WM_CHAR: WMChar(m); return;
    case WM_MOUSEMOVE: {
      TMessage cursor{WM_SETCURSOR, 0, 0, 0};
      WMSetCursor(cursor);
      WMMouseMove(m);
      return;
    }
    case WM_LBUTTONDOWN: WMLButtonDown(m); return;
    case WM_LBUTTONUP: WMLButtonUp(m); return;
    case WM_LBUTTONDBLCLK: WMLButtonDblClk(m); return;
    case WM_RBUTTONDOWN: WMRButtonDown(m); return;
    case WM_RBUTTONUP: WMRButtonUp(m); return;
    case WM_RBUTTONDBLCLK: WMRButtonDblClk(m); return;
    case WM_MBUTTONDOWN: WMMButtonDown(m); return;
    case WM_MBUTTONUP: WMMButtonUp(m); return;
    case WM_MBUTTONDBLCLK: WMMButtonDblClk(m); return;
    case WM_NCDESTROY: WMNCDestroy(m); return;
    case WM_PRINT: WMPrint(m); return;
    case CM_CTL3DCHANGED: CMCtl3DChanged(m); return;
    case WM_CUT: WMCut(m); return;
    case WM_COPY: WMCopy(m); return;
    case WM_PASTE: WMPaste(m); return;
    case CM_DRAG: CMDrag(m); return;
    default: TCustomControl::WndProc(m);
  }
}

// ---------------------------------------------------------------------------
// Handlers

void TBaseNodeTree::WMPaint(TMessage& m) {
  // The inherited paint calls Paint with the update rectangle kept by the
  // window.
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::WMSize(TMessage& m) {
  TCustomControl::WndProc(m);
  LayoutWindow();
  if (!HandleAllocated() || states_.Contains(stSizing) || states_.Contains(stWindowCreating) || ClientHeight() < 1)
    return;
  ChangeTreeState({stSizing}, {});
  struct Leave {
    TBaseNodeTree* tree;
    ~Leave() { tree->ChangeTreeState({}, {stSizing}); }
  } leave{this};
  if (header_->UseColumns()) header_->SpringResize(ClientWidth());
  // Showing one bar narrows the room for the other: settle both.
  for (int round = 0; round < 2; ++round) {
    const bool v = host_->GetScrollInfo(sbVertical).Visible;
    const bool h = host_->GetScrollInfo(sbHorizontal).Visible;
    UpdateScrollBars(true);
    LayoutWindow();
    if (v == host_->GetScrollInfo(sbVertical).Visible && h == host_->GetScrollInfo(sbHorizontal).Visible) break;
  }
}

void TBaseNodeTree::WMSetFocus(TMessage& m) {
  TCustomControl::WndProc(m);
  if (!(selectionCount_ == 0 && options_->PaintOptions().Contains(poFocusRepaintsFocusedOnly)))
    InvalidateRect(nullptr, false);
  else if (focusedNode_)
    InvalidateNode(focusedNode_);
}

void TBaseNodeTree::WMKillFocus(TMessage& m) {
  TCustomControl::WndProc(m);
  if (Application) Application->CancelHint();
  EndPanning();
  for (int id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, SearchTimer}) StopTimer(id);
  // A search typed later starts afresh.
  searchBuffer_.clear();
  lastSearchNode_ = nullptr;
  ChangeTreeState({}, {stEditPending, stNodeHeightTracking, stNodeHeightTrackPending, stIncrementalSearching,
                       stLeftButtonDown, stMiddleButtonDown, stOLEDragPending, stRightButtonDown, stScrolling,
                       stScrollPending, stVCLDragPending, stWheelPanning, stWheelScrolling});
  if (selectionCount_ == 0 && options_->PaintOptions().Contains(poFocusRepaintsFocusedOnly)) {
    if (focusedNode_) InvalidateNode(focusedNode_);
  } else {
    InvalidateRect(nullptr, false);
  }
}

void TBaseNodeTree::WMEnable(TMessage& m) {
  TCustomControl::WndProc(m);
  InvalidateRect(nullptr, false);
}

void TBaseNodeTree::WMEraseBkgnd(TMessage& m) { m.Result = 1; }

void TBaseNodeTree::WMSetCursor(TMessage& m) {
  if (states_.Contains(stWheelPanning) || states_.Contains(stWheelScrolling)) return;
  TMessage headerMessage{WM_SETCURSOR, 0, 0, 0};
  if (header_->HandleHeaderMessage(headerMessage)) {
    m.Result = 1;
    return;
  }
  TCursor cursor = Cursor();
  TPoint p;
  if (host_->CursorPos(p)) {
    bool split = false;
    if (options_->MiscOptions().Contains(moNodeHeightResize) && ClientRect().Contains(p)) {
      THitInfo hit;
      GetHitTestInfoAt(p.X, p.Y, true, hit);
      split = hit.HitNode && (hit.HitPositions.Contains(hiUpperSplitter) ||
                              hit.HitPositions.Contains(hiLowerSplitter));
    }
    if (split)
      cursor = crNTVertSplit;
    else if (options_->PaintOptions().Contains(poHotTrack) && hotNode_ && HotCursor != crDefault)
      cursor = HotCursor;
  }
  CursorQuery(cursor);
  host_->SetCursor(cursor);
  m.Result = 1;
}

void TBaseNodeTree::WMGetObject(TMessage& m) { m.Result = 0; }

void TBaseNodeTree::WMContextMenu(TMessage& m) {
  ChangeTreeState({}, {stClearPending, stEditPending, stOLEDragPending, stVCLDragPending});
  if (!states_.Contains(stPopupShown)) TCustomControl::WndProc(m);
}

void TBaseNodeTree::WMGetDlgCode(TMessage& m) { m.Result = static_cast<LRESULT>(WantedDialogCodes()); }

void TBaseNodeTree::WMHScroll(TMessage& m) {
  const bool rtl = UseRightToLeftAlignment();
  const int32_t s = rtl ? -1 : 1;
  const int32_t fixed = header_->UseColumns() ? header_->Columns().FixedAreaWidth() : 0;
  int32_t x = offsetX_;
  switch (m.WParam & 0xFFFF) {
    case SB_LINELEFT: x = offsetX_ + s * HorizontalIncrement; break;
    case SB_LINERIGHT: x = offsetX_ - s * HorizontalIncrement; break;
    case SB_PAGELEFT: x = offsetX_ + s * (ClientWidth() - fixed); break;
    case SB_PAGERIGHT: x = offsetX_ - s * (ClientWidth() - fixed); break;
    // The bar's own ends, in either reading order.
    case SB_LEFT: x = OffsetForEffective(0); break;
    case SB_RIGHT: x = OffsetForEffective(rangeX_); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
      ChangeTreeState({stThumbTracking}, {});
      const int32_t track = windowHost_ && host_ == windowHost_.get() ? windowHost_->TrackPos(sbHorizontal)
                                                                       : HiWordSigned(static_cast<LPARAM>(m.WParam));
      x = OffsetForEffective(track);
      break;
    }
    case SB_ENDSCROLL:
      ChangeTreeState({}, {stThumbTracking});
      UpdateHorizontalScrollBar(true);
      m.Result = 0;
      return;
    default: break;
  }
  SetOffsetX(x);
  m.Result = 0;
}

void TBaseNodeTree::WMVScroll(TMessage& m) {
  int32_t y = offsetY_;
  switch (m.WParam & 0xFFFF) {
    case SB_LINEUP: y = offsetY_ + VerticalIncrement; break;
    case SB_LINEDOWN: y = offsetY_ - VerticalIncrement; break;
    case SB_PAGEUP: y = offsetY_ + ClientHeight(); break;
    case SB_PAGEDOWN: y = offsetY_ - ClientHeight(); break;
    case SB_TOP: y = 0; break;
    case SB_BOTTOM: y = -static_cast<int32_t>(std::min<Cardinal>(root_->SubtreeHeight, INT32_MAX)); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
      ChangeTreeState({stThumbTracking}, {});
      const int32_t track = windowHost_ && host_ == windowHost_.get() ? windowHost_->TrackPos(sbVertical)
                                                                       : HiWordSigned(static_cast<LPARAM>(m.WParam));
      y = -track;
      break;
    }
    case SB_ENDSCROLL:
      ChangeTreeState({}, {stThumbTracking});
      UpdateScrollBars(true);
      m.Result = 0;
      return;
    default: break;
  }
  SetOffsetY(y);
  m.Result = 0;
}

void TBaseNodeTree::WMTimer(TMessage& m) {
  TimerFired(static_cast<int>(m.WParam));
  m.Result = 0;
}

void TBaseNodeTree::TimerFired(int id) {
  switch (id) {
    case HeaderTimer: {
      TMessage t{WM_TIMER, static_cast<WPARAM>(id), 0, 0};
      if (!header_->HandleHeaderMessage(t)) StopTimer(id);
      break;
    }
    case ChangeTimer:
      RestartClickTimer(lastChangedNode_);
      break;
    case StructureChangeTimer:
      StructureChanged(lastStructureChangeNode_, lastStructureChangeReason_);
      break;
    case EditTimer:
      BeginCellEdit();
      break;
    case ExpandTimer:
      ExpandDropTarget();
      break;
    case ScrollTimer:
      if (states_.Contains(stScrollPending)) {
        if (Application) Application->CancelHint();
        host_->StartTimer(ScrollTimer, AutoScrollInterval);
        ChangeTreeState({stScrolling}, {stScrollPending});
      }
      AutoScrollStep();
      break;
    case SearchTimer:
      StopIncrementalSearch();
      break;
    case ThemeChangeTimer:
      StopTimer(id);
      buildButtonImages();
      InvalidateRect(nullptr, false);
      break;
    case ValidateTimer:
      if (states_.Contains(stValidating))
        ContinueValidation();
      else
        StopTimer(id);
      break;
    default:
      StopTimer(id);
      break;
  }
}

void TBaseNodeTree::WMCancelMode(TMessage& m) {
  for (int id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, SearchTimer, ThemeChangeTimer}) StopTimer(id);
  ChangeTreeState({}, {stClearPending, stDrawSelPending, stDrawSelecting, stEditPending, stIncrementalSearching,
                       stOLEDragPending, stVCLDragPending});
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::WMChangeState(TMessage& m) {
  auto states = [](uintptr_t bits) {
    TNTTreeStates s;
    if (bits & 1) s.Include(stClearPending);
    if (bits & 2) s.Include(stEditPending);
    if (bits & 4) s.Include(stNodeHeightTrackPending);
    if (bits & 8) s.Include(stAnimating);
    return s;
  };
  ChangeTreeState(states(m.WParam), states(static_cast<uintptr_t>(m.LParam)));
}

void TBaseNodeTree::WMPrintClient(TMessage& m) {
  // WParam: the canvas to paint the visible rows onto, at the client origin.
  if ((m.LParam & PRF_CHECKVISIBLE) && !Visible()) return;
  if (auto* canvas = reinterpret_cast<TCanvas*>(m.WParam)) {
    TRect window = ClientRect();
    window.Offset(effectiveOffsetX_ - ColumnsShift(), -offsetY_);
    PaintTree(*canvas, window, {0, 0}, TNTPaintElements{peBackground, peFocusRect, peSelection, peDropMark,
                                                        peGridLines});
  }
}

void TBaseNodeTree::WMPrint(TMessage& m) {
  // WParam: the canvas of the whole window; LParam: the PRF_ flags.
  if ((m.LParam & PRF_CHECKVISIBLE) && !Visible()) return;
  auto* canvas = reinterpret_cast<TCanvas*>(m.WParam);
  if (!canvas) return;
  paintHeaderStrip(*canvas);
  if (m.LParam & PRF_NONCLIENT) DrawBorder(*canvas);
  if (m.LParam & PRF_CLIENT) {
    canvas->Save();
    const TPoint offset = clientOffsetForChildren();
    canvas->SetOrigin(canvas->Origin() + offset);
    canvas->IntersectClipRect(ClientRect());
    TMessage client{WM_PRINTCLIENT, m.WParam, m.LParam & ~PRF_CHECKVISIBLE, 0};
    WMPrintClient(client);
    canvas->Restore();
  }
}

void TBaseNodeTree::WMNCDestroy(TMessage& m) {
  // The window goes: nothing may run on it any more.
  InterruptValidation();
  for (int id : {ChangeTimer, StructureChangeTimer, ValidateTimer}) StopTimer(id);
  if (states_.Contains(stAnimating)) ChangeTreeState({stCancelAnimation}, {});
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::CMCtl3DChanged(TMessage& m) {
  TCustomControl::WndProc(m);
  if (borderStyle_ == bsSingle) FrameChanged();
}

void TBaseNodeTree::WMThemeChanged(TMessage& m) {
  TCustomControl::WndProc(m);
  if (options_->PaintOptions().Contains(poUseThemes))
    ChangeTreeState({stThemed}, {});
  else
    ChangeTreeState({}, {stThemed});
  host_->StartTimer(ThemeChangeTimer, 500);
}

void TBaseNodeTree::CMMouseWheel(TMessage& m) {
  ChangeTreeState({}, {stWheelPanning, stWheelScrolling});
  m.Result = 1;
  const int16_t delta = static_cast<int16_t>((m.WParam >> 16) & 0xFFFF);
  const double factor = delta / 120.0;
  const TShiftState shift = ShiftStateOfFlags(m.WParam & (MK_SHIFT | MK_CONTROL | MK_ALT));
  if (ClientHeight() >= rangeY_ || shift.Contains(ssShift)) {
    const int32_t fixed = header_->UseColumns() ? header_->Columns().FixedAreaWidth() : 0;
    // A wheel line sideways is the columns' step (their mean width), as
    // Ctrl+Left and Ctrl+Right use.
    const double amount =
        shift.Contains(ssCtrl) ? (ClientWidth() - fixed) * factor
                               : static_cast<double>(WheelScrollLines) * header_->Columns().AverageFreeWidth() * factor;
    const int32_t step = static_cast<int32_t>(std::trunc(amount));
    SetOffsetX(offsetX_ + (UseRightToLeftAlignment() ? -step : step));
  } else {
    const double amount = shift.Contains(ssCtrl) || WheelScrollLines < 0
                              ? ClientHeight() * factor
                              : static_cast<double>(WheelScrollLines) * factor * defaultNodeHeight_;
    SetOffsetY(offsetY_ + static_cast<int32_t>(std::trunc(amount)));
  }
}

void TBaseNodeTree::CMMouseEnter(TMessage& m) {
  PointerEntered();
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::CMMouseLeave(TMessage& m) {
  ChangeTreeState({}, {stHintShown});
  if (!states_.Contains(stWheelPanning) && !states_.Contains(stWheelScrolling)) {
    StopTimer(ScrollTimer);
    ChangeTreeState({}, {stScrolling, stScrollPending});
  }
  if (hotNode_) {
    PNTNode old = hotNode_;
    HotNodeChanged(old, nullptr);
    if (options_->PaintOptions().Contains(poHotTrack) || options_->MiscOptions().Contains(moCheckSupport))
      InvalidateNode(old);
    hotNode_ = nullptr;
  }
  header_->Columns().HotIndex = NoColumn;
  header_->Columns().PressedIndex = NoColumn;
  PointerLeft();
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::CMColorChanged(TMessage& m) {
  TCustomControl::WndProc(m);
  if (IsLoading()) return;
  buildButtonImages();
  InvalidateRect(nullptr, false);
}

void TBaseNodeTree::CMFontChanged(TMessage& m) {
  TCustomControl::WndProc(m);
  if (!IsLoading()) {
    buildButtonImages();
    InvalidateRect(nullptr, false);
  }
  header_->ParentFontChanged();
}

void TBaseNodeTree::CMEnabledChanged(TMessage& m) {
  TCustomControl::WndProc(m);
  InvalidateRect(nullptr, false);
}

void TBaseNodeTree::CMSysColorChange(TMessage& m) {
  TCustomControl::WndProc(m);
  buildButtonImages();
  InvalidateRect(nullptr, false);
}

void TBaseNodeTree::CMBiDiModeChanged(TMessage& m) {
  TCustomControl::WndProc(m);
  // The offset keeps its distance from the edge the reading starts at, so
  // the view mirrors; the scroll bar shows where that is now.
  effectiveOffsetX_ = EffectiveOffsetFor(offsetX_);
  header_->BiDiModeChanged();
  if (options_->AutoOptions().Contains(auBidiColumnOrdering))
    header_->Columns().SetPositionOrder(UseRightToLeftAlignment());
  UpdateHorizontalScrollBar(false);
  header_->Invalidate();
  Invalidate();
}

void TBaseNodeTree::CMHintShowPause(TMessage& m) {
  TCustomControl::WndProc(m);
  TPoint p;
  const bool overHeader = host_->CursorPos(p) && header_->UseColumns() &&
                          header_->Options().Contains(hoShowHint) && header_->InHeader(p);
  if (HintMode == 3 || overHeader) {
    if (auto* pause = reinterpret_cast<int32_t*>(m.LParam)) *pause = 0;
  }
}



// ---------------------------------------------------------------------------
// Tree-view queries

UnicodeString TBaseNodeTree::NodeText(PNTNode, TColumnIndex) { return {}; }

void TBaseNodeTree::TVMGetItemRect(TMessage& m) {
  auto* r = reinterpret_cast<TRect*>(m.LParam);
  m.Result = 0;
  if (!r) return;
  PNTNode node = nullptr;
  std::memcpy(&node, r, sizeof node);
  if (!node || node == root_) return;
  InitIfNeeded(node);
  if (!IsShownNode(node) || !FullyVisible(node)) return;
  *r = GetDisplayRect(node, NoColumn, m.WParam != 0);
  m.Result = 1;
}

void TBaseNodeTree::TVMGetNextItem(TMessage& m) {
  auto* node = reinterpret_cast<PNTNode>(m.LParam);
  PNTNode result = nullptr;
  const bool given = node && node != root_;
  switch (m.WParam) {
    case TVGN_ROOT: result = GetFirst(); break;
    case TVGN_NEXT: if (given) result = GetNextSibling(node); break;
    case TVGN_PREVIOUS: if (given) result = GetPreviousSibling(node); break;
    case TVGN_PARENT:
      if (given && node->Parent != root_) result = node->Parent;
      break;
    case TVGN_CHILD: if (given) result = GetFirstChild(node); break;
    case TVGN_FIRSTVISIBLE: result = GetFirstVisible(nullptr, true); break;
    case TVGN_NEXTVISIBLE: if (given) result = GetNextVisible(node, true); break;
    case TVGN_PREVIOUSVISIBLE: if (given) result = GetPreviousVisible(node, true); break;
    case TVGN_DROPHILITE: result = dropTargetNode_; break;
    case TVGN_CARET: result = focusedNode_; break;
    case TVGN_LASTVISIBLE: result = GetLastVisible(nullptr, true); break;
    default: break;
  }
  m.Result = reinterpret_cast<LRESULT>(result);
}

void TBaseNodeTree::TVMGetItem(TMessage& m) {
  auto* item = reinterpret_cast<TTVItem*>(m.LParam);
  m.Result = 0;
  if (!item || !(item->Mask & TVIF_HANDLE) || !item->Item || item->Item == root_) return;
  PNTNode node = item->Item;
  InitIfNeeded(node);
  if (item->Mask & TVIF_CHILDREN) item->Children = static_cast<int32_t>(node->ChildCount);
  auto imageIndex = [&](TNTImageKind kind) {
    bool ghosted = false;
    int32_t index = -1;
    CellImageIndex(node, kind, NoColumn, ghosted, index);
    return index;
  };
  if (item->Mask & TVIF_IMAGE) item->Image = imageIndex(ikNormal);
  if (item->Mask & TVIF_SELECTEDIMAGE) item->SelectedImage = imageIndex(ikSelected);
  if (item->Mask & TVIF_STATE) {
    item->StateMask = 0xFF2F;
    uint32_t state = 0;
    if (node == focusedNode_) state |= 0x01;
    if (node->Has(nsSelected)) state |= 0x02;
    if (node->Has(nsCutCopyMarked)) state |= 0x04;
    if (node == dropTargetNode_) state |= 0x08;
    if (node->Has(nsExpanded)) state |= 0x20;
    state |= static_cast<uint32_t>((imageIndex(ikState) + 1) & 0xF) << 12;
    state |= static_cast<uint32_t>((imageIndex(ikOverlay) + 1) & 0xF) << 8;
    item->State = state;
  }
  if ((item->Mask & TVIF_TEXT) && item->Text) {
    // At most TextMax - 1 characters and the terminator; a buffer of size 0
    // gets nothing at all.
    if (item->TextMax > 0) {
      const AnsiString text = UnicodeToAnsi(NodeText(node, NoColumn));
      const size_t n = std::min(text.size(), static_cast<size_t>(item->TextMax - 1));
      std::memcpy(item->Text, text.data(), n);
      item->Text[n] = '\0';
    }
  }
  m.Result = 1;
}

}  // namespace px
