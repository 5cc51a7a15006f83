#pragma once
// The framework's own visual controls: the screen panel with its title bar,
// title buttons and splitter strip, the small action button, and the image
// that shows one picture of an image list. Light and dark edges everywhere
// come from one colour rule, ScaleColor.
#include <functional>
#include <memory>
#include <string>

#include "platform/core/Classes.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/Controls.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/ImgList.h"

namespace px {

// Each of red, green and blue raised to the power Exponent on the 0..1 scale
// (0.5 lighter, 2 darker, 0.25 a strong highlight); system colours are
// resolved first. The result carries the palette-relative flag 0x02000000.
TColor ScaleColor(TColor color, double exponent);

// Button face states.
constexpr Byte bsDisabled = 0, bsNormal = 1, bsHot = 2, bsDown = 3, bsDesigning = 4;

// An image button's face: the image centred in r, chosen by state, and the
// raised (hot) or sunken (down) frame. Without images a focus rectangle.
void DrawButtonFace(TCanvas& canvas, const TRect& r, TColor color, bool downBorder, bool hiliteBorder,
                    TCustomImageList* hiliteImages, TCustomImageList* disabledImages, TCustomImageList* images,
                    Integer imageIndex, Byte state);

// Edit button glyphs.
constexpr Byte egArrow = 1, egEllipsis = 2;
// A button of the framework edit: filled with color (clDefault: clBtnFace),
// framed by state, with the glyph in clBtnText.
void DrawEditButton(TCanvas& canvas, const TRect& r, TColor color, Byte glyph, Byte state);

// Keeps copies of the linked action's Visible, Enabled, Checked and
// ImageIndex and tells its client of every change.
class TQVRActionLink : public TActionLink {
 public:
  explicit TQVRActionLink(TObject* client) : TActionLink(client) {}
  bool Visible() const { return visible_; }
  bool Enabled() const { return enabled_; }
  bool Checked() const { return checked_; }
  Integer ImageIndex() const { return imageIndex_; }
  // Called after the copies are brought up to date.
  std::function<void()> OnClientChange;

 protected:
  void Change() override;

 private:
  bool visible_ = false, enabled_ = false, checked_ = false;
  Integer imageIndex_ = -1;
};

class TQVRButtonList;

// One title button of a panel (or one button of a framework edit).
class TQVRButtonItem : public TCollectionItem {
 public:
  using THintEvent = std::function<void(TQVRButtonItem* sender, std::string& hint)>;
  using TVisibleEvent = std::function<void(TQVRButtonItem* sender, bool& visible)>;
  using TEnabledEvent = std::function<void(TQVRButtonItem* sender, bool& enabled)>;
  using TCheckedEvent = std::function<void(TQVRButtonItem* sender, bool& checked)>;
  using TAlternateEvent = std::function<void(TQVRButtonItem* sender, bool& handled)>;

  explicit TQVRButtonItem(TCollection* collection);
  ~TQVRButtonItem() override;

  TCustomAction* Action() const;
  void SetAction(TCustomAction* action);
  bool IsSeparator() const { return isSeparator_; }
  void SetIsSeparator(bool value);
  Integer Tag() const { return tag_; }
  void SetTag(Integer value);
  Integer Width() const { return width_; }
  void SetWidth(Integer value);

  THintEvent OnGetHint;
  TVisibleEvent OnGetVisible;
  TEnabledEvent OnGetEnabled;
  TCheckedEvent OnGetChecked;
  // Draws the button instead of the default face when it sets Handled; the
  // canvas, rectangle, colour and state are those of PaintCanvas() and friends.
  TAlternateEvent OnDrawButton;
  // Runs before the action on a click; Handled skips the action.
  TAlternateEvent OnExecute;

  bool Visible();
  bool Enabled();
  bool Checked();
  std::string Hint();
  // The image list and index of the action's face.
  TCustomImageList* ActionImages(TCustomImageList* fallback) const;
  Integer ImageIndex() const { return link_->ImageIndex(); }
  std::string DisplayName() const override;
  void Assign(const TPersistent* source) override;

  // Face state and rectangle, kept by the control that shows the button.
  Byte State = bsNormal;
  TRect ButtonRect;

  // Draws the button: OnDrawButton, else the face with the given images.
  void Draw(TCanvas& canvas, const TRect& r, TColor color, Byte state, bool downBorder, bool hiliteBorder,
            TCustomImageList* hiliteImages, TCustomImageList* disabledImages, TCustomImageList* images);
  // While OnDrawButton runs: where and how to draw.
  TCanvas* PaintCanvas() const { return paintCanvas_; }
  TRect PaintRect() const { return paintRect_; }
  TColor PaintColor() const { return paintColor_; }
  Byte PaintState() const { return paintState_; }

 private:
  void changed();
  std::unique_ptr<TQVRActionLink> link_;
  bool isSeparator_ = false;
  Integer tag_ = 0;
  Integer width_ = 0;
  TCanvas* paintCanvas_ = nullptr;
  TRect paintRect_;
  TColor paintColor_ = clBtnFace;
  Byte paintState_ = bsNormal;
};

// The buttons of a panel or edit; the owner hears of every change.
class TQVRButtonList : public TCollectionOf<TQVRButtonItem> {
 public:
  explicit TQVRButtonList(TPersistent* owner) : TCollectionOf<TQVRButtonItem>(owner) {}
  ~TQVRButtonList() override;
  std::function<void()> OnChange;

 protected:
  void Update(TCollectionItem* item) override;
  void Notify(TCollectionItem* item, TCollectionNotification action) override;
};

// A screen's container: title bar with caption, icon and buttons, border,
// and a splitter strip on the edge that faces the rest of the parent.
class TCustomQVRPanel : public TCustomControl {
 public:
  explicit TCustomQVRPanel(TComponent* owner);
  ~TCustomQVRPanel() override;

  Integer BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(Integer v);
  Integer BorderHeight() const { return borderHeight_; }
  void SetBorderHeight(Integer v);
  // The height of the bar; kept while the title is hidden.
  Integer TitleHeight() const { return titleHeight_; }
  void SetTitleHeight(Integer v);
  bool TitleVisible() const { return titleVisible_; }
  void SetTitleVisible(bool v);
  TColor TitleColor() const { return titleColor_; }
  void SetTitleColor(TColor v);
  TFont& TitleFont() { return titleFont_; }
  Integer TitleIdent() const { return titleIdent_; }
  void SetTitleIdent(Integer v);
  TBitmap& TitleBackground() { return titleBackground_; }
  // Call after drawing into TitleBackground.
  void TitleBackgroundChanged() { titleChanged(); }
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* v);
  TCustomImageList* DisabledImages() const { return disabledImages_; }
  void SetDisabledImages(TCustomImageList* v);
  TCustomImageList* HiliteImages() const { return hiliteImages_; }
  void SetHiliteImages(TCustomImageList* v);
  Integer ImageIndex() const { return imageIndex_; }
  void SetImageIndex(Integer v);
  TQVRButtonList& Buttons() { return *buttons_; }
  bool HiliteBorder() const { return hiliteBorder_; }
  void SetHiliteBorder(bool v);
  bool DownBorder() const { return downBorder_; }
  void SetDownBorder(bool v);
  bool Splitter() const { return splitter_; }
  void SetSplitter(bool v);
  Integer SplitterSize() const { return splitterSize_; }
  void SetSplitterSize(Integer v);
  TCursor HSplitCursor = crHSplit;
  TCursor VSplitCursor = crVSplit;
  // The cursor away from the strip.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor v);
  TNotifyEvent OnSplitterMoved;
  std::function<void(TObject* sender, TCanvas& canvas)> OnCustomPaint;

  // Where the strip, the title bar and the client area lie.
  TRect SplitterRect() const;
  TRect TitleRect() const;
  void AdjustClientRect(TRect& rect) const override;
  // The button at a client point (any state), nullptr when none.
  TQVRButtonItem* ButtonAt(TPoint p) const;
  bool SplitterHot() const { return splitterHot_; }

  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void SetEnabled(bool value) override;
  void SetText(const std::string& value) override;
  void Notification(TComponent* component, TOperation operation) override;
  void WndProc(TMessage& message) override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void DblClick() override;

 private:
  void titleChanged();
  void layoutChanged();
  void buildTitle();
  void updateButtonStates();
  void updateSplitterCursor(bool overStrip);
  void executeButton(TQVRButtonItem* item);
  bool vertical() const { return Align() == alTop || Align() == alBottom; }
  int32_t currentSize() const { return vertical() ? Height() : Width(); }
  void setSize(int32_t size);
  TPoint toBar(TPoint p) const;

  Integer borderWidth_ = 2, borderHeight_ = 2, titleHeight_ = 22;
  bool titleVisible_ = true;
  TColor titleColor_ = static_cast<TColor>(0xA4A0A0);
  TFont titleFont_;
  Integer titleIdent_ = 0;
  TBitmap titleBackground_;
  TCustomImageList* images_ = nullptr;
  TCustomImageList* disabledImages_ = nullptr;
  TCustomImageList* hiliteImages_ = nullptr;
  std::unique_ptr<TChangeLink> imagesLink_;
  Integer imageIndex_ = -1;
  std::unique_ptr<TQVRButtonList> buttons_;
  bool hiliteBorder_ = true, downBorder_ = true;
  bool splitter_ = false;
  Integer splitterSize_ = 7;
  TCursor cursor_ = crDefault;
  std::unique_ptr<TBitmap> titleBitmap_;

  // Mouse state.
  bool mouseIn_ = false;
  TPoint mousePos_;
  Integer downItemId_ = -1;
  Integer hotItemId_ = -1;
  bool splitterHot_ = false;
  bool dragging_ = false;
  TPoint dragStart_;
  int32_t dragStartSize_ = 0, dragMin_ = 0, dragMax_ = 0;
  int32_t restoreSize_ = 0;
};

class TQVRPanel : public TCustomQVRPanel {
 public:
  using TCustomQVRPanel::TCustomQVRPanel;
};

// A small flat button bound to an action.
class TCustomQVRActionButton : public TGraphicControl {
 public:
  explicit TCustomQVRActionButton(TComponent* owner);
  bool MouseInControl() const { return mouseIn_; }
  bool ButtonDown() const { return down_; }
  Byte State() const;
  void WndProc(TMessage& message) override;

 protected:
  void ActionChange(TBasicAction* sender) override;
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

 private:
  bool mouseIn_ = false;
  bool down_ = false;
};

class TQVRActionButton : public TCustomQVRActionButton {
 public:
  using TCustomQVRActionButton::TCustomQVRActionButton;
};

// Shows one image of an image list at its top-left corner; sized to the
// list's images.
class TQVRBackgroundImage : public TGraphicControl {
 public:
  explicit TQVRBackgroundImage(TComponent* owner);
  TCustomImageList* ImageList() const { return imageList_; }
  void SetImageList(TCustomImageList* list);
  Integer ImageIndex() const { return imageIndex_; }
  void SetImageIndex(Integer index);
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void Paint() override;

 private:
  TCustomImageList* imageList_ = nullptr;
  Integer imageIndex_ = -1;
};

}  // namespace px
