#pragma once
// The action module: the application's actions, and what the main window
// shows (category buttons, menus, the status frame, the first screen).
#include "platform/gui/ActnList.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px {

class TdmMainFormFiller : public TComponent, public IMainFormFiller {
 public:
  explicit TdmMainFormFiller(TComponent* owner);
  ~TdmMainFormFiller() override;
  // Registers the module as the IMainFormFiller service (after the
  // form-text pass made by the creator).
  void AfterConstruction() override;
  void BeforeDestruction() override;

  void SetMainForm(IMainForm* mainForm) override;
  void Fill() override;
  IQVRLink* ShowFrame(Integer id) override;
  void SetStatusPanelCount(Integer count) override;
  void SetStatusPanelText(Integer index, const std::string& text) override;

  IMainForm* MainForm() const { return mainForm_; }

  TActionList* alActions;
  TAction* acCount;
  TAction* acSettings;
  TAction* acInformation;
  TAction* acUsers;
  TAction* acHistory;
  TAction* acExit;
  TAction* acHelp;
  TAction* acAbout;
  TAction* acFeedback;

 private:
  void addCategoryButton(const std::string& category, TAction* action);
  void addMenuItem(const std::string& menu, TAction* action);
  IMainForm* mainForm_ = nullptr;
};

}  // namespace px
