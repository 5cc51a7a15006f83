#pragma once
// A bar of large buttons grouped under category headers, stacked top to
// bottom. Clicking a header collapses or expands its category; clicking a
// button runs its OnClick, else its action. Buttons bound to an action show
// the action's caption, hint and image and follow its enabled state. When
// the buttons do not fit the height, a vertical scroll bar at the right edge
// (and the mouse wheel) scrolls them; it takes its width from the buttons.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/ActnList.h"
#include "platform/gui/ExtCtrls.h"

class QScrollBar;

namespace px {

class TCustomImageList;
class TButtonCategory;
class TCategoryButtons;

enum TCatButtonFlow { cbfVertical, cbfHorizontal };
enum TCatButtonOption {
  boAllowReorder,
  boAllowCopyingButtons,
  boFullSize,
  boGradientFill,
  boShowCaptions,
  boVerticalCategoryCaptions,
  boBoldCaptions,
  boUsePlusMinus,
  boCaptionOnlyBorder
};
using TCatButtonOptions = TSet<TCatButtonOption>;
enum TButtonDrawStateFlag { bdsSelected, bdsHot, bdsFocused, bdsDown, bdsDragged };
using TButtonDrawState = TSet<TButtonDrawStateFlag>;

class TButtonItem : public TObject {
 public:
  explicit TButtonItem(TButtonCategory* category);
  ~TButtonItem() override;
  TButtonCategory* Category() const { return category_; }
  Integer Index() const;
  // With an action: the action's values (a TCustomAction), else the item's.
  std::string Caption() const;
  void SetCaption(const std::string& value);
  std::string Hint() const;
  void SetHint(const std::string& value);
  Integer ImageIndex() const;
  void SetImageIndex(Integer value);
  bool Enabled() const;
  TBasicAction* Action() const { return link_->Action(); }
  void SetAction(TBasicAction* action);
  TNotifyEvent OnClick;

 private:
  TButtonCategory* category_;
  std::string caption_, hint_;
  Integer imageIndex_ = -1;
  std::unique_ptr<TActionLink> link_;
};

class TButtonCategory : public TObject {
 public:
  explicit TButtonCategory(TCategoryButtons* owner) : owner_(owner) {}
  TCategoryButtons* CategoryButtons() const { return owner_; }
  Integer Index() const;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  bool Collapsed() const { return collapsed_; }
  void SetCollapsed(bool value);
  Integer Count() const { return static_cast<Integer>(items_.size()); }
  // Raises EListError "List index out of bounds (%d)".
  TButtonItem* Items(Integer index) const;
  TButtonItem* Add();
  void Delete(Integer index);

 private:
  friend class TButtonItem;
  friend class TCategoryButtons;
  TCategoryButtons* owner_;
  std::string caption_;
  TColor color_ = clNone;
  bool collapsed_ = false;
  std::vector<std::unique_ptr<TButtonItem>> items_;
};

using TCatButtonDrawEvent =
    std::function<void(TObject* sender, const TButtonItem* button, TCanvas& canvas, TRect rect, TButtonDrawState state)>;
using TCategoryCollapseEvent = std::function<void(TObject* sender, TButtonCategory* category)>;

class TCategoryButtons : public TCustomControl {
 public:
  explicit TCategoryButtons(TComponent* owner);
  ~TCategoryButtons() override;

  Integer CategoryCount() const { return static_cast<Integer>(categories_.size()); }
  // Raises EListError "List index out of bounds (%d)".
  TButtonCategory* Categories(Integer index) const;
  TButtonCategory* AddCategory();
  void DeleteCategory(Integer index);
  // The first category with exactly this caption, nullptr when none.
  TButtonCategory* FindCategory(const std::string& caption) const;

  TCatButtonFlow ButtonFlow = cbfVertical;
  int32_t ButtonWidth() const { return buttonWidth_; }
  int32_t ButtonHeight() const { return buttonHeight_; }
  void SetButtonWidth(int32_t value);
  void SetButtonHeight(int32_t value);
  TCatButtonOptions ButtonOptions() const { return options_; }
  void SetButtonOptions(TCatButtonOptions value);
  TColor RegularButtonColor() const { return regularColor_; }
  void SetRegularButtonColor(TColor value);
  TColor SelectedButtonColor() const { return selectedColor_; }
  void SetSelectedButtonColor(TColor value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* value);
  TButtonItem* SelectedItem() const { return selected_; }
  void SetSelectedItem(TButtonItem* value);

  // The area left of the scroll bar while it shows.
  TRect ClientRect() const override;
  // Pixels the buttons are scrolled up; 0 while everything fits.
  int32_t ScrollPosition() const { return scroll_; }
  void SetScrollPosition(int32_t value);
  QScrollBar* VertScrollBar() const { return vbar_; }

  // Layout in client coordinates (scrolled); empty rectangles for hidden
  // parts.
  TRect CategoryRect(const TButtonCategory* category) const;
  TRect ButtonRect(const TButtonItem* button) const;
  TButtonItem* GetButtonAt(int32_t x, int32_t y) const;
  TButtonCategory* GetCategoryAt(int32_t x, int32_t y) const;
  int32_t CategoryHeaderHeight() const;

  // Replace the drawing of a button's icon or caption.
  TCatButtonDrawEvent OnDrawIcon;
  TCatButtonDrawEvent OnDrawText;
  // A category the user collapsed (the name is the class library's).
  TCategoryCollapseEvent OnCategoryCollapase;
  TNotifyEvent OnButtonClicked;

  void Notification(TComponent* component, TOperation operation) override;
  // Used by items and categories.
  void itemRemoved(const TButtonItem* item);
  // Used by items and categories after a change of the layout.
  void layoutChanged();

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void Resize() override;
  void Changed(Cardinal cm) override;
  void WndProc(TMessage& message) override;

 private:
  struct Placed {
    const TButtonCategory* category;
    const TButtonItem* item;  // nullptr: the category header
    TRect rect;
  };
  std::vector<Placed> layout() const;
  // The height of everything laid out, unscrolled.
  int32_t contentHeight() const;
  void updateScrollBar();
  void drawButton(const TButtonItem* item, TRect r);
  std::vector<std::unique_ptr<TButtonCategory>> categories_;
  int32_t buttonWidth_ = 24, buttonHeight_ = 24;
  TCatButtonOptions options_{boGradientFill, boShowCaptions};
  TColor regularColor_ = clNone, selectedColor_ = clNone;
  TBorderStyle borderStyle_ = bsSingle;
  TCustomImageList* images_ = nullptr;
  TButtonItem* selected_ = nullptr;
  TButtonItem* down_ = nullptr;
  TButtonItem* hot_ = nullptr;
  QScrollBar* vbar_ = nullptr;
  int32_t scroll_ = 0;
  bool updatingBar_ = false;
};

}  // namespace px
