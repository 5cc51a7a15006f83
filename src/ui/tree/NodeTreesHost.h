#pragma once
// The window of a tree, as the tree sees it. The tree never touches its
// window directly: it asks a host for the client size, invalidations, redraw
// switching, contents scrolling, the scroll bars, timers, mouse capture and
// the cursor. The tree widget implements the host over the real window; tests
// put a TRecordingNodeTreeHost in its place and read what it recorded.
#include <map>
#include <string>
#include <vector>

#include "platform/core/Geometry.h"
#include "platform/core/Types.h"
#include "platform/gui/Controls.h"
#include "platform/gui/ScrollBars.h"

namespace px {

// The state of one scroll bar.
struct TNTScrollInfo {
  int32_t Min = 0;
  int32_t Max = 0;
  uint32_t Page = 0;
  int32_t Pos = 0;
  bool Visible = false;
  bool DisableNoScroll = false;  // shown even when everything fits
  bool operator==(const TNTScrollInfo&) const = default;
};

class INodeTreeHost {
 public:
  virtual ~INodeTreeHost() = default;
  // Whether the window exists; without it the tree skips invalidations,
  // scrolling and scroll bar updates.
  virtual bool HandleAllocated() const = 0;
  virtual TSize ClientSize() const = 0;
  // Invalidates a rectangle of the client area; nullptr: the whole of it.
  virtual void InvalidateRect(const TRect* rect, bool erase) = 0;
  // Paints the invalid part of the window at once.
  virtual void UpdateWindow() = 0;
  // Switches drawing off (false) and on again.
  virtual void SetRedraw(bool on) = 0;
  // Scrolls the window contents by dx, dy within clip (nullptr: everything)
  // and invalidates the uncovered area.
  virtual void ScrollContents(int32_t dx, int32_t dy, const TRect* clip) = 0;
  virtual void SetScrollInfo(TScrollBarKind bar, const TNTScrollInfo& info, bool redraw) = 0;
  virtual TNTScrollInfo GetScrollInfo(TScrollBarKind bar) const = 0;
  virtual void ShowScrollBar(TScrollBarKind bar, bool show) = 0;
  // Width of the vertical and height of the horizontal system scroll bar.
  virtual int32_t ScrollBarSize(TScrollBarKind bar) const = 0;
  virtual void StartTimer(int id, Cardinal ms) = 0;
  virtual void StopTimer(int id) = 0;
  virtual void SetCapture() = 0;
  virtual void ReleaseCapture() = 0;
  virtual bool HasCapture() const = 0;
  virtual void SetCursor(TCursor cursor) = 0;
  // The mouse position in client coordinates; false when unknown.
  virtual bool CursorPos(TPoint& pos) const = 0;
};

// A host without a window: every request is dropped.
class TNullNodeTreeHost : public INodeTreeHost {
 public:
  bool HandleAllocated() const override { return false; }
  TSize ClientSize() const override { return {}; }
  void InvalidateRect(const TRect*, bool) override {}
  void UpdateWindow() override {}
  void SetRedraw(bool) override {}
  void ScrollContents(int32_t, int32_t, const TRect*) override {}
  void SetScrollInfo(TScrollBarKind, const TNTScrollInfo&, bool) override {}
  TNTScrollInfo GetScrollInfo(TScrollBarKind) const override { return {}; }
  void ShowScrollBar(TScrollBarKind, bool) override {}
  int32_t ScrollBarSize(TScrollBarKind) const override { return 0; }
  void StartTimer(int, Cardinal) override {}
  void StopTimer(int) override {}
  void SetCapture() override {}
  void ReleaseCapture() override {}
  bool HasCapture() const override { return false; }
  void SetCursor(TCursor) override {}
  bool CursorPos(TPoint&) const override { return false; }
};

// Stands in for the window in tests: keeps the state a window would keep and
// records every request in order.
class TRecordingNodeTreeHost : public INodeTreeHost {
 public:
  enum TCallKind {
    hcInvalidate,
    hcUpdateWindow,
    hcSetRedraw,
    hcScroll,
    hcSetScrollInfo,
    hcShowScrollBar,
    hcStartTimer,
    hcStopTimer,
    hcSetCapture,
    hcReleaseCapture,
    hcSetCursor,
  };
  struct TCall {
    TCallKind Kind;
    TRect Rect;         // invalidated rectangle, scroll clip
    bool Whole = false; // invalidate/scroll without rectangle
    int32_t A = 0;      // dx, timer id, bar, redraw flag, cursor
    int32_t B = 0;      // dy, timer interval, shown flag
    TNTScrollInfo Info; // set scroll info
  };

  explicit TRecordingNodeTreeHost(int32_t clientWidth = 200, int32_t clientHeight = 100)
      : clientSize_{clientWidth, clientHeight} {}

  // Window state kept like a window keeps it.
  bool Handle = true;
  bool Redraw = true;
  bool Captured = false;
  TCursor Cursor = crDefault;
  bool HasMouse = false;
  TPoint Mouse;
  int32_t ScrollBarExtent = 17;
  std::map<int, Cardinal> Timers;  // running timers: id -> interval
  std::map<TScrollBarKind, TNTScrollInfo> ScrollBars;
  std::vector<TCall> Calls;

  void SetClientSize(int32_t width, int32_t height) { clientSize_ = {width, height}; }
  bool TimerRunning(int id) const { return Timers.count(id) != 0; }
  size_t Count(TCallKind kind) const;
  // The calls of a kind, in order.
  std::vector<TCall> CallsOf(TCallKind kind) const;
  // True when an invalidation covered the point (client coordinates).
  bool Invalidated(TPoint p) const;
  void ClearCalls() { Calls.clear(); }

  bool HandleAllocated() const override { return Handle; }
  TSize ClientSize() const override { return clientSize_; }
  void InvalidateRect(const TRect* rect, bool erase) override;
  void UpdateWindow() override;
  void SetRedraw(bool on) override;
  void ScrollContents(int32_t dx, int32_t dy, const TRect* clip) override;
  void SetScrollInfo(TScrollBarKind bar, const TNTScrollInfo& info, bool redraw) override;
  TNTScrollInfo GetScrollInfo(TScrollBarKind bar) const override;
  void ShowScrollBar(TScrollBarKind bar, bool show) override;
  int32_t ScrollBarSize(TScrollBarKind) const override { return ScrollBarExtent; }
  void StartTimer(int id, Cardinal ms) override;
  void StopTimer(int id) override;
  void SetCapture() override;
  void ReleaseCapture() override;
  bool HasCapture() const override { return Captured; }
  void SetCursor(TCursor cursor) override;
  bool CursorPos(TPoint& pos) const override;

 private:
  TSize clientSize_;
};

}  // namespace px

namespace px {

class TBaseNodeTree;

// The host over the tree's own window: requests go to the control's widget
// through the platform's window seams; WM_TIMER comes back through the
// control's WndProc. The scroll bars are the tree's two TScrollBar children,
// laid out beside and below the client area.
class TNodeTreeWindowHost : public INodeTreeHost {
 public:
  explicit TNodeTreeWindowHost(TBaseNodeTree* tree);
  bool HandleAllocated() const override;
  TSize ClientSize() const override;
  void InvalidateRect(const TRect* rect, bool erase) override;
  void UpdateWindow() override;
  void SetRedraw(bool on) override;
  void ScrollContents(int32_t dx, int32_t dy, const TRect* clip) override;
  void SetScrollInfo(TScrollBarKind bar, const TNTScrollInfo& info, bool redraw) override;
  TNTScrollInfo GetScrollInfo(TScrollBarKind bar) const override;
  void ShowScrollBar(TScrollBarKind bar, bool show) override;
  int32_t ScrollBarSize(TScrollBarKind bar) const override;
  void StartTimer(int id, Cardinal ms) override;
  void StopTimer(int id) override;
  void SetCapture() override;
  void ReleaseCapture() override;
  bool HasCapture() const override;
  void SetCursor(TCursor cursor) override;
  bool CursorPos(TPoint& pos) const override;
  // The thumb position of a running drag (SB_THUMBTRACK).
  int32_t TrackPos(TScrollBarKind bar) const { return bar == sbVertical ? trackY_ : trackX_; }
  void SetTrackPos(TScrollBarKind bar, int32_t pos) { (bar == sbVertical ? trackY_ : trackX_) = pos; }

 private:
  TBaseNodeTree* tree_;
  std::map<TScrollBarKind, TNTScrollInfo> bars_;
  int32_t trackX_ = 0;
  int32_t trackY_ = 0;
};

}  // namespace px
