#pragma once
// The tree's hint window: shows the hint or the untruncated text of a cell
// (the tooltip hint mode), sized and drawn by the tree, optionally faded or
// slid in.
#include <memory>

#include "platform/gui/Forms.h"
#include "platform/gui/Graphics.h"
#include "ui/tree/NodeTrees.h"

namespace px {

// Line breaks of a hint.
enum TNTHintLineBreakStyle : Byte { hlbDefault, hlbForceSingleLine, hlbForceMultiLine };
// How a hint appears.
enum TNTHintAnimationType : Byte { hatNone, hatFade, hatSlide, hatSystemDefault };

// What the tree hands to its hint window for one hint.
struct TNTHintData {
  TBaseNodeTree* Tree = nullptr;
  PNTNode Node = nullptr;
  TColumnIndex Column = NoColumn;
  TRect HintRect;
  UnicodeString DefaultHint;
  UnicodeString HintText;
  TAlignment Alignment = taLeftJustify;
  TNTHintLineBreakStyle LineBreakStyle = hlbDefault;
};

// Set when a hint window is destroyed; cleared when one is made or hidden.
// A running hint animation stops when it finds it set.
extern bool HintWindowDestroyed;

class TNodeTreeHintWindow : public THintWindow {
 public:
  explicit TNodeTreeHintWindow(TComponent* owner);
  ~TNodeTreeHintWindow() override;
  // data is a TNTHintData*; without it the rectangle is empty.
  TRect CalcHintRect(int32_t maxWidth, const std::string& hint, void* data) override;
  void ActivateHint(const TRect& rect, const std::string& hint) override;
  void ActivateHintData(const TRect& rect, const std::string& hint, void* data) override;
  // Whether a message ends the hint: mouse and key messages do, except the
  // non-client mouse move and, while the hint shows, the keys.
  bool IsHintMsg(const TMessage& msg) const;
  void WndProc(TMessage& message) override;
  const TNTHintData& HintData() const { return data_; }
  int32_t TextHeight() const { return textHeight_; }
  // The hint as drawn (the window's size, 32-bit).
  const TBitmap& DrawBuffer() const { return drawBuffer_; }
  // Draws one step of the animation (step 0: draw the hint into the buffer;
  // stepSize < 1: no animation runs).
  void AnimationStep(Cardinal step, Cardinal stepSize);

 protected:
  void Paint() override;
  bool bridgeOtherEvent(QEvent* event) override;

 private:
  // The tree of the data while it lives.
  TBaseNodeTree* tree() const;
  void drawHint();
  TNTHintData data_;
  uint32_t treeId_ = 0;
  TBitmap background_;
  TBitmap drawBuffer_;
  TBitmap target_;
  int32_t textHeight_ = 0;
  TNTHintAnimationType runningAnimation_ = hatNone;
  Cardinal lastStep_ = 0;
};

// The class the tree asks the application to show its hints in.
THintWindow* NewNodeTreeHintWindow(TComponent* owner);

}  // namespace px
