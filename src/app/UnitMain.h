#pragma once
// The main window: category bar and status frame on the left, the current
// screen in the client area, menus and a status bar. What it shows is
// decided by the main-form filler, to which it offers IMainForm.
#include <string>

#include "platform/gui/CategoryButtons.h"
#include "platform/gui/ComCtrls.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/Forms.h"
#include "platform/gui/Menus.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px {

class TfrmMain : public TQVRForm, public IMainForm {
 public:
  explicit TfrmMain(TComponent* owner);
  ~TfrmMain() override;
  // Hands the window to the filler, which fills it.
  void AfterConstruction() override;
  void BeforeDestruction() override;

  // IMainForm
  IQVRLink* ShowFrame(Integer id) override;
  IQVRLink* ShowMenuFrame(Integer id) override;
  void AddCategoryButton(const std::string& category, TAction* action) override;
  void AddMenuItem(const std::string& menuCaption, TAction* action) override;
  void SetCaption(const std::string& text) override;
  void SetImageName(const std::string& name) override;
  void SetStatusPanelCount(Integer count) override;
  void SetStatusPanelText(Integer index, const std::string& text) override;
  void SetWindowState(TWindowState state, Integer left, Integer top, Integer width, Integer height) override;

  void cbMainCategoryCollapase(TObject* sender, TButtonCategory* category);
  void cbMainDrawIcon(TObject* sender, const TButtonItem* button, TCanvas& canvas, TRect rect, TButtonDrawState state);
  void cbMainDrawText(TObject* sender, const TButtonItem* button, TCanvas& canvas, TRect rect, TButtonDrawState state);
  void tmrStopSplashTimer(TObject* sender);
  // The window's close button and File > Exit: refused, like a switch of
  // screens, while the screen shown refuses to close (an open counting).
  void QVRFormCloseQuery(TObject* sender, bool& canClose);

  // Highlights the category button of the screen now shown (nullptr: none);
  // a refused screen switch puts the highlight back on it.
  void ShowCategoryButton(const TBasicAction* action);
  TButtonItem* CategoryButtonOf(const TBasicAction* action) const;

  IQVRLink* ContentLink() const { return content_; }
  IQVRLink* MenuLink() const { return menu_; }
  const std::string& ImageName() const { return imageName_; }

  TStatusBar* sbMain;
  TPanel* pnlMenu;
  TCategoryButtons* cbMain;
  TTimer* tmrStopSplash;
  TMainMenu* mmMenu;

 private:
  // Asks the screen shown whether it may go; a refusal beeps.
  bool contentMayClose();
  IQVRLink* content_ = nullptr;
  IQVRLink* menu_ = nullptr;
  std::string imageName_ = "IMAGES80";
  // Compared, never followed: the action of the screen shown.
  const TBasicAction* shownAction_ = nullptr;
};

}  // namespace px
