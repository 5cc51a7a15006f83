#include "app/UnitMain.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include "platform/core/Debug.h"
#include "platform/gui/ActnList.h"
#include "ui/framework/UnitImage.h"
#include "ui/framework/UnitUtilities.h"

namespace px {

namespace {

// The smallest window in which every screen keeps its controls reachable:
// the settings screen's top row and the count sheet's header in full, the
// grids with rows to show.
constexpr int32_t MinimumWidth = 900;
constexpr int32_t MinimumHeight = 640;

// The count image of the category bar stands for the program: the icon of
// its windows and dialogs.
void setProgramIcon() {
  auto service = QVRSystem ? std::dynamic_pointer_cast<TImageLists>(QVRSystem->GetService<IImageLists>()) : nullptr;
  if (!service) return;
  try {
    const QImage strip = service->Strip("IMAGES80").ToQImage();
    const int size = strip.width();
    constexpr int countImage = 1;
    if (size <= 0 || strip.height() < (countImage + 1) * size) return;
    QGuiApplication::setWindowIcon(QIcon(QPixmap::fromImage(strip.copy(0, countImage * size, size, size))));
  } catch (const Exception& e) {
    // Without the strip the windows keep the desktop's generic icon.
    OutputDebugString(std::string("Program icon: ") + e.what());
  }
}

}  // namespace

TfrmMain::TfrmMain(TComponent* owner) : TQVRForm(owner) {
  SetName("frmMain");
  TForm::SetCaption("[Title]");
  Font().SetName("Tahoma");
  Font().SetHeight(-11);
  SetClientSize(784, 504);
  Constraints().SetMinWidth(MinimumWidth);
  Constraints().SetMinHeight(MinimumHeight);

  mmMenu = CreateComponent<TMainMenu>(this);
  mmMenu->SetName("mmMenu");
  SetMenu(mmMenu);

  sbMain = CreateComponent<TStatusBar>(this);
  sbMain->SetName("sbMain");
  sbMain->SetParent(this);
  sbMain->SetAlign(alBottom);

  pnlMenu = CreateComponent<TPanel>(this);
  pnlMenu->SetName("pnlMenu");
  pnlMenu->SetParent(this);
  pnlMenu->SetAlign(alLeft);
  pnlMenu->SetWidth(92);
  pnlMenu->SetBevelInner(bvRaised);
  pnlMenu->SetBevelOuter(bvLowered);
  pnlMenu->Font().SetName("Tahoma");
  pnlMenu->Font().SetHeight(-21);
  pnlMenu->SetCaption("");

  cbMain = CreateComponent<TCategoryButtons>(this);
  cbMain->SetName("cbMain");
  cbMain->SetParent(pnlMenu);
  cbMain->SetAlign(alClient);
  cbMain->SetBorderStyle(bsNone);
  cbMain->ButtonFlow = cbfVertical;
  cbMain->SetButtonWidth(80);
  cbMain->SetButtonHeight(80);
  // Captions shown: the text drawer below writes them under the icons.
  cbMain->SetButtonOptions(TCatButtonOptions{boFullSize, boShowCaptions, boUsePlusMinus});
  cbMain->SetRegularButtonColor(clWhite);
  cbMain->SetSelectedButtonColor(static_cast<TColor>(0xE6E6E6));
  cbMain->ShowHint = true;
  cbMain->Font().SetName("Tahoma");
  cbMain->Font().SetHeight(-11);
  cbMain->OnCategoryCollapase = [this](TObject* s, TButtonCategory* c) { cbMainCategoryCollapase(s, c); };
  cbMain->OnDrawIcon = [this](TObject* s, const TButtonItem* b, TCanvas& c, TRect r, TButtonDrawState st) {
    cbMainDrawIcon(s, b, c, r, st);
  };
  cbMain->OnDrawText = [this](TObject* s, const TButtonItem* b, TCanvas& c, TRect r, TButtonDrawState st) {
    cbMainDrawText(s, b, c, r, st);
  };

  tmrStopSplash = CreateComponent<TTimer>(this);
  tmrStopSplash->SetName("tmrStopSplash");
  tmrStopSplash->SetInterval(2000);
  tmrStopSplash->OnTimer = [this](TObject* s) { tmrStopSplashTimer(s); };
  tmrStopSplash->SetEnabled(true);

  OnCloseQuery = [this](TObject* s, bool& canClose) { QVRFormCloseQuery(s, canClose); };

  TForm::SetWindowState(wsMaximized);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::AfterConstruction() {
  TQVRForm::AfterConstruction();
  imageName_ = "IMAGES80";
  setProgramIcon();
  auto filler = QVRSystem->GetService<IMainFormFiller>();
  Assert(filler != nullptr, "The main-form filler must be registered before the main window");
  filler->SetMainForm(this);
  while (cbMain->CategoryCount() > 0) cbMain->DeleteCategory(0);
  QVRSystem->GetService<IMainFormFiller>()->Fill();
}

void TfrmMain::BeforeDestruction() {
  FreeLinkedComponent(content_);
  FreeLinkedComponent(menu_);
  if (QVRSystem)
    if (auto filler = QVRSystem->GetService<IMainFormFiller>()) filler->SetMainForm(nullptr);
  TQVRForm::BeforeDestruction();
}

bool TfrmMain::contentMayClose() {
  if (content_)
    if (auto* query = dynamic_cast<IFrameCloseQuery*>(content_->GetComponent())) {
      bool canClose = true;
      query->CloseQuery(canClose);
      if (!canClose) {
        // The screen stays: so does the highlight of its button.
        ShowCategoryButton(shownAction_);
        Beep();
        return false;
      }
    }
  return true;
}

void TfrmMain::QVRFormCloseQuery(TObject*, bool& canClose) { canClose = contentMayClose(); }

IQVRLink* TfrmMain::ShowFrame(Integer id) {
  if (!contentMayClose()) return nullptr;
  auto lock = LockWindowUpdates(nullptr, crHourGlass);
  FreeLinkedComponent(content_);
  content_ = QVRSystem->CreateDockedControl(id, this, this);
  content_->AddListener(static_cast<IMainForm*>(this));
  return content_;
}

IQVRLink* TfrmMain::ShowMenuFrame(Integer id) {
  FreeLinkedComponent(menu_);
  menu_ = QVRSystem->CreateControl(id, this);
  menu_->GetControl()->SetParent(pnlMenu);
  menu_->AddListener(static_cast<IMainForm*>(this));
  return menu_;
}

void TfrmMain::AddCategoryButton(const std::string& category, TAction* action) {
  TButtonCategory* cat = cbMain->FindCategory(category);
  if (!cat) {
    cat = cbMain->AddCategory();
    cat->SetCaption(category);
    cat->SetColor(clBtnFace);
  }
  cat->Add()->SetAction(action);
}

TButtonItem* TfrmMain::CategoryButtonOf(const TBasicAction* action) const {
  if (!action) return nullptr;
  for (Integer c = 0; c < cbMain->CategoryCount(); ++c) {
    TButtonCategory* category = cbMain->Categories(c);
    for (Integer i = 0; i < category->Count(); ++i)
      if (category->Items(i)->Action() == action) return category->Items(i);
  }
  return nullptr;
}

void TfrmMain::ShowCategoryButton(const TBasicAction* action) {
  shownAction_ = action;
  cbMain->SetSelectedItem(CategoryButtonOf(action));
}

void TfrmMain::AddMenuItem(const std::string& menuCaption, TAction* action) {
  TMenuItem* root = mmMenu->Items();
  TMenuItem* top = nullptr;
  for (Integer i = 0; i < root->Count() && !top; ++i)
    if (root->Items(i)->Caption() == menuCaption) top = root->Items(i);
  if (!top) {
    top = CreateComponent<TMenuItem>(this);
    top->SetCaption(menuCaption);
    root->Add(top);
  }
  auto* item = CreateComponent<TMenuItem>(this);
  item->SetAction(action);
  top->Add(item);
}

void TfrmMain::SetCaption(const std::string& text) { TForm::SetCaption(text); }

void TfrmMain::SetImageName(const std::string& name) {
  imageName_ = name;
  cbMain->Invalidate();
}

void TfrmMain::SetStatusPanelCount(Integer count) {
  sbMain->Panels().Clear();
  for (Integer i = 0; i < count; ++i) sbMain->Panels().Add().Width = 150;
}

void TfrmMain::SetStatusPanelText(Integer index, const std::string& text) {
  if (index >= 0 && index < sbMain->Panels().Count()) sbMain->Panels().SetText(index, text);
}

void TfrmMain::SetWindowState(TWindowState state, Integer left, Integer top, Integer width, Integer height) {
  TForm::SetWindowState(state);
  if (state == wsNormal) SetBounds(left, top, width, height);
}

void TfrmMain::cbMainCategoryCollapase(TObject*, TButtonCategory* category) {
  // Categories stay open.
  if (category) category->SetCollapsed(false);
}

void TfrmMain::cbMainDrawIcon(TObject*, const TButtonItem* button, TCanvas& canvas, TRect rect, TButtonDrawState) {
  auto images = QVRSystem ? QVRSystem->GetService<IImageLists>() : nullptr;
  if (!images || !button) return;
  const TSize size = images->GetImageSize(imageName_);
  images->Draw(&canvas, (rect.Left + rect.Right - size.cx) / 2, (rect.Top + rect.Bottom - size.cy) / 2,
               button->ImageIndex(), imageName_);
}

void TfrmMain::cbMainDrawText(TObject*, const TButtonItem* button, TCanvas& canvas, TRect rect, TButtonDrawState state) {
  if (!button) return;
  TRect r = rect;
  r.Left += 5;
  r.Top += 5;
  r.Right -= 5;
  r.Bottom -= 5;
  if (state.Contains(bdsDown)) r.Bottom += 1;
  r.Top = r.Bottom - canvas.TextHeight(" ");
  canvas.DrawText(button->Caption(), r, DT_CENTER | DT_BOTTOM | DT_SINGLELINE | DT_END_ELLIPSIS);
}

void TfrmMain::tmrStopSplashTimer(TObject*) {
  tmrStopSplash->SetEnabled(false);
  BringToFront();
}

}  // namespace px
