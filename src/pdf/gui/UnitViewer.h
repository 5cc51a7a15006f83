#pragma once
// TBaseViewer: a scrolling control for a document of a given pixel size (the
// extent) that a subclass paints. It keeps a back buffer of the visible part;
// when the view scrolls, what the buffer already holds is moved and the
// subclass paints only the strips that became visible (PaintBackground, in
// buffer coordinates). A document smaller than the window is centred; keys,
// the wheel and, in vmHandDrag, the mouse scroll it.
#include <cstdint>
#include <memory>

#include "platform/gui/Controls.h"
#include "platform/gui/ScrollBars.h"

namespace px {

enum TViewerMode { vmUserDefined, vmHandDrag };

class TBaseViewer : public TCustomControl {
 public:
  explicit TBaseViewer(TComponent* owner);
  ~TBaseViewer() override;

  // The largest integer leaves a coordinate as it is; both are clamped to
  // the extent.
  static constexpr int32_t KeepPosition = 2147483647;
  virtual void ScrollTo(int32_t x, int32_t y);
  // Scrolls by a delta on each axis whose bar is shown.
  void ScrollBy(int32_t dx, int32_t dy);

  TViewerMode Mode() const { return mode_; }
  void SetMode(TViewerMode value);
  TNotifyEvent OnScroll;

  int32_t ExtentWidth() const { return extentWidth_; }
  int32_t ExtentHeight() const { return extentHeight_; }
  int32_t ScrollX() const { return scrollX_; }
  int32_t ScrollY() const { return scrollY_; }
  int32_t ViewWidth() const { return viewWidth_; }
  int32_t ViewHeight() const { return viewHeight_; }
  TRect Margins() const { return {marginLeft_, marginTop_, marginRight_, marginBottom_}; }
  // The document rectangle the back buffer holds (empty without one).
  TRect BufferRect() const { return bufferRect_; }
  TScrollBar* HorzScrollBar() const { return hbar_; }
  TScrollBar* VertScrollBar() const { return vbar_; }
  bool Dragging() const { return dragStart_.X != KeepPosition; }

  // Client point to document point.
  TPoint ClientToDocument(TPoint p) const;
  // The back buffer's canvas, nullptr without a buffer.
  TCanvas* BufferCanvas();
  // The back buffer itself (24 bits a pixel), nullptr without one.
  TBitmap* BackBuffer() const { return buffer_.get(); }

  void WndProc(TMessage& message) override;

 protected:
  // Stores the extent, lays out again, drops the back buffer and repaints.
  void SetExtent(int32_t width, int32_t height);
  // Fills a rectangle of the back buffer with the control colour; subclasses
  // call it and draw the document on top.
  virtual void PaintBackground(const TRect& rect);
  virtual void DoScroll();
  virtual bool DoMouseWheelDown(TShiftState shift, TPoint mousePos);
  virtual bool DoMouseWheelUp(TShiftState shift, TPoint mousePos);

  void Paint() override;
  void Resize() override;
  void KeyDown(Word& key, TShiftState shift) override;
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

 private:
  // Brings the back buffer up to the scroll position: the part it already
  // holds is moved, the uncovered strips are painted.
  void updateBuffer();
  void moveRows(TBitmap& from, TBitmap& to, TPoint fromTopLeft, TPoint toTopLeft, int32_t width, int32_t height);
  void endDrag();
  static void layoutAxis(TScrollBar& bar, bool needed, const TRect& bounds, int32_t size, int32_t extent,
                         int32_t scroll, int32_t& before, int32_t& after, int32_t& view);

  TScrollBar* hbar_ = nullptr;
  TScrollBar* vbar_ = nullptr;
  int32_t vbarWidth_ = 0, hbarHeight_ = 0;
  int32_t scrollX_ = 0, scrollY_ = 0;
  int32_t viewWidth_ = 0, viewHeight_ = 0;
  int32_t extentWidth_ = 0, extentHeight_ = 0;
  int32_t marginLeft_ = 0, marginTop_ = 0, marginRight_ = 0, marginBottom_ = 0;
  std::unique_ptr<TBitmap> buffer_;
  TRect bufferRect_;
  TPoint dragStart_{KeepPosition, KeepPosition};
  TPoint dragScroll_;
  int32_t wheelAccumulator_ = 0;
  TViewerMode mode_ = vmUserDefined;
};

}  // namespace px
