#include "app/UnitMainFormActions.h"

#include "app/UnitAbout.h"
#include "app/UnitMain.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

TdmMainFormFiller::TdmMainFormFiller(TComponent* owner) : TComponent(owner) {
  SetName("dmMainFormFiller");
  alActions = CreateComponent<TActionList>(this);
  alActions->SetName("alActions");
  auto make = [this](const char* name, const char* caption, const char* hint, Integer image,
                     std::function<void()> execute) {
    auto* a = CreateComponent<TAction>(this);
    a->SetName(name);
    a->SetActionList(alActions);
    a->SetCaption(caption);
    a->SetHint(hint);
    a->SetImageIndex(image);
    a->OnExecute = [execute](TObject*) { execute(); };
    return a;
  };
  // The screens' handlers drop the link ShowFrame returns.
  acCount = make("acCount", "[Count]", "[CountHint]", 1, [this] { ShowFrame(5); });
  acSettings = make("acSettings", "[Settings]", "[SettingsHint]", 2, [this] { ShowFrame(3); });
  acInformation = make("acInformation", "[Information]", "[InformationHint]", 4, [this] { ShowFrame(2); });
  acUsers = make("acUsers", "[Users]", "[UsersHint]", 0, [this] { ShowFrame(4); });
  acHistory = make("acHistory", "[History]", "[HistoryHint]", 3, [this] { ShowFrame(6); });
  // Through the main window's close, which an open counting refuses.
  acExit = make("acExit", "[MenuExit]", "[MenuExit]", -1, [] {
    if (!Application) return;
    if (TForm* main = Application->MainForm()) main->Close();
    else Application->Terminate();
  });
  acHelp = make("acHelp", "[MenuHelp]", "[MenuHelp]", -1, [] { ShellOpen(Translate("HelpFilename")); });
  acAbout = make("acAbout", "[MenuAbout]", "[MenuAbout]", -1, [this] {
    TAboutBox* box = TAboutBox::Create(this);
    try {
      box->ShowModal();
    } catch (...) {
      FreeObject(box);
      throw;
    }
    FreeObject(box);
  });
  acFeedback = make("acFeedback", "[MenuFeedback]", "[MenuFeedback]", -1, [] { ShellOpen(Translate("HelpFeedbackURL")); });
}

TdmMainFormFiller::~TdmMainFormFiller() = default;

void TdmMainFormFiller::AfterConstruction() {
  TComponent::AfterConstruction();
  // The registry holds the module without owning it: its owner frees it.
  QVRSystem->RegisterService(IMainFormFiller::IID, "",
                             std::shared_ptr<IInterface>(std::shared_ptr<void>(), static_cast<IMainFormFiller*>(this)));
}

void TdmMainFormFiller::BeforeDestruction() {
  if (QVRSystem) QVRSystem->UnregisterService(IMainFormFiller::IID, "");
  TComponent::BeforeDestruction();
}

void TdmMainFormFiller::SetMainForm(IMainForm* mainForm) {
  mainForm_ = mainForm;
  if (!mainForm_) return;
  mainForm_->ShowMenuFrame(1);
  mainForm_->SetCaption(Translate("MainformTitle"));
}

void TdmMainFormFiller::Fill() {
  const std::string general = Translate("General");
  // Every screen of the program gets its button, in action-list order; the
  // settings screen still opens at once.
  addCategoryButton(general, acCount);
  addCategoryButton(general, acSettings);
  addCategoryButton(general, acInformation);
  addCategoryButton(general, acUsers);
  addCategoryButton(general, acHistory);
  acSettings->Execute();
  addMenuItem(Translate("TopMenuFile"), acExit);
  addMenuItem(Translate("TopMenuHelp"), acHelp);
  // Untranslated, the caption is the qualified key itself: no text, no item.
  const std::string& feedback = acFeedback->Caption();
  if (feedback.size() >= 2 && feedback.find(ClassName()) == std::string::npos)
    addMenuItem(Translate("TopMenuHelp"), acFeedback);
  addMenuItem(Translate("TopMenuHelp"), acAbout);
}

IQVRLink* TdmMainFormFiller::ShowFrame(Integer id) {
  if (!mainForm_) return nullptr;
  IQVRLink* link = mainForm_->ShowFrame(id);
  // The category bar highlights the button of the screen shown, also when
  // the screen was opened by the program rather than by a click.
  if (link)
    if (auto* main = dynamic_cast<TfrmMain*>(mainForm_)) {
      const TAction* action = id == 5   ? acCount
                              : id == 3 ? acSettings
                              : id == 2 ? acInformation
                              : id == 4 ? acUsers
                              : id == 6 ? acHistory
                                        : nullptr;
      main->ShowCategoryButton(action);
    }
  return link;
}

void TdmMainFormFiller::SetStatusPanelCount(Integer count) {
  if (mainForm_) mainForm_->SetStatusPanelCount(count);
}

void TdmMainFormFiller::SetStatusPanelText(Integer index, const std::string& text) {
  if (mainForm_) mainForm_->SetStatusPanelText(index, text);
}

void TdmMainFormFiller::addCategoryButton(const std::string& category, TAction* action) {
  if (mainForm_) mainForm_->AddCategoryButton(category, action);
}

void TdmMainFormFiller::addMenuItem(const std::string& menu, TAction* action) {
  if (mainForm_) mainForm_->AddMenuItem(menu, action);
}

}  // namespace px
