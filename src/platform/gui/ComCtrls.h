#pragma once
// The status bar: a row of text panels along the bottom of a form.
#include <string>
#include <vector>

#include "platform/gui/StdCtrls.h"

namespace px {

struct TStatusPanel {
  std::string Text;
  int32_t Width = 50;
  TAlignment Alignment = taLeftJustify;
};

class TStatusBar;

// The panels of a status bar; every change repaints the bar.
class TStatusPanels {
 public:
  explicit TStatusPanels(TStatusBar* bar) : bar_(bar) {}
  Integer Count() const { return static_cast<Integer>(panels_.size()); }
  TStatusPanel& Add();
  void Clear();
  void Delete(Integer index);
  // Raises EListError outside 0..Count-1.
  TStatusPanel& Items(Integer index);
  const TStatusPanel& Items(Integer index) const;
  TStatusPanel& operator[](Integer index) { return Items(index); }
  // Sets the text of a panel and repaints.
  void SetText(Integer index, const std::string& text);

 private:
  TStatusBar* bar_;
  std::vector<TStatusPanel> panels_;
};

// Panels are laid out from the left, each its Width wide; the last one
// reaches the right edge. With SimplePanel the bar shows SimpleText only.
class TStatusBar : public TCustomControl {
 public:
  explicit TStatusBar(TComponent* owner);
  TStatusPanels& Panels() { return panels_; }
  bool SimplePanel() const { return simplePanel_; }
  void SetSimplePanel(bool value);
  const std::string& SimpleText() const { return simpleText_; }
  void SetSimpleText(const std::string& value);
  // The rectangle of panel Index in the bar.
  TRect PanelRect(Integer index) const;

 protected:
  void Paint() override;

 private:
  TStatusPanels panels_;
  bool simplePanel_ = false;
  std::string simpleText_;
};

}  // namespace px
