#include "ui/tree/NodeTreesHost.h"

namespace px {

namespace {

TRecordingNodeTreeHost::TCall makeCall(TRecordingNodeTreeHost::TCallKind kind, const TRect* rect = nullptr) {
  TRecordingNodeTreeHost::TCall c{};
  c.Kind = kind;
  c.Whole = rect == nullptr;
  if (rect) c.Rect = *rect;
  return c;
}

}  // namespace

size_t TRecordingNodeTreeHost::Count(TCallKind kind) const {
  size_t n = 0;
  for (const TCall& c : Calls)
    if (c.Kind == kind) ++n;
  return n;
}

std::vector<TRecordingNodeTreeHost::TCall> TRecordingNodeTreeHost::CallsOf(TCallKind kind) const {
  std::vector<TCall> result;
  for (const TCall& c : Calls)
    if (c.Kind == kind) result.push_back(c);
  return result;
}

bool TRecordingNodeTreeHost::Invalidated(TPoint p) const {
  for (const TCall& c : Calls)
    if (c.Kind == hcInvalidate && (c.Whole || c.Rect.Contains(p))) return true;
  return false;
}

void TRecordingNodeTreeHost::InvalidateRect(const TRect* rect, bool erase) {
  TCall c = makeCall(hcInvalidate, rect);
  c.A = erase ? 1 : 0;
  Calls.push_back(c);
}

void TRecordingNodeTreeHost::UpdateWindow() { Calls.push_back(makeCall(hcUpdateWindow)); }

void TRecordingNodeTreeHost::SetRedraw(bool on) {
  Redraw = on;
  TCall c = makeCall(hcSetRedraw);
  c.A = on ? 1 : 0;
  Calls.push_back(c);
}

void TRecordingNodeTreeHost::ScrollContents(int32_t dx, int32_t dy, const TRect* clip) {
  TCall c = makeCall(hcScroll, clip);
  c.A = dx;
  c.B = dy;
  Calls.push_back(c);
}

void TRecordingNodeTreeHost::SetScrollInfo(TScrollBarKind bar, const TNTScrollInfo& info, bool redraw) {
  TNTScrollInfo& kept = ScrollBars[bar];
  bool visible = kept.Visible;
  kept = info;
  kept.Visible = visible;
  TCall c = makeCall(hcSetScrollInfo);
  c.A = bar;
  c.B = redraw ? 1 : 0;
  c.Info = info;
  Calls.push_back(c);
}

TNTScrollInfo TRecordingNodeTreeHost::GetScrollInfo(TScrollBarKind bar) const {
  auto it = ScrollBars.find(bar);
  return it == ScrollBars.end() ? TNTScrollInfo{} : it->second;
}

void TRecordingNodeTreeHost::ShowScrollBar(TScrollBarKind bar, bool show) {
  ScrollBars[bar].Visible = show;
  TCall c = makeCall(hcShowScrollBar);
  c.A = bar;
  c.B = show ? 1 : 0;
  Calls.push_back(c);
}

void TRecordingNodeTreeHost::StartTimer(int id, Cardinal ms) {
  Timers[id] = ms;
  TCall c = makeCall(hcStartTimer);
  c.A = id;
  c.B = static_cast<int32_t>(ms);
  Calls.push_back(c);
}

void TRecordingNodeTreeHost::StopTimer(int id) {
  Timers.erase(id);
  TCall c = makeCall(hcStopTimer);
  c.A = id;
  Calls.push_back(c);
}

void TRecordingNodeTreeHost::SetCapture() {
  Captured = true;
  Calls.push_back(makeCall(hcSetCapture));
}

void TRecordingNodeTreeHost::ReleaseCapture() {
  Captured = false;
  Calls.push_back(makeCall(hcReleaseCapture));
}

void TRecordingNodeTreeHost::SetCursor(TCursor cursor) {
  Cursor = cursor;
  TCall c = makeCall(hcSetCursor);
  c.A = cursor;
  Calls.push_back(c);
}

bool TRecordingNodeTreeHost::CursorPos(TPoint& pos) const {
  if (HasMouse) pos = Mouse;
  return HasMouse;
}

}  // namespace px

