#include "app/UnitAbout.h"

#include "ui/framework/UnitTranslation.h"

namespace px {

TAboutBox::TAboutBox(TComponent* owner) : TForm(owner) {
  SetName("AboutBox");
  SetCaption("About");
  SetClientSize(298, 244);
  Font().SetName("Tahoma");
  Font().SetHeight(-11);

  Panel1 = CreateComponent<TPanel>(this);
  Panel1->SetName("Panel1");
  Panel1->SetParent(this);
  Panel1->SetBounds(8, 8, 281, 193);
  Panel1->SetBevelInner(bvRaised);
  Panel1->SetBevelOuter(bvLowered);
  Panel1->SetCaption("");

  auto label = [this](const char* name, const char* text, int32_t top, int32_t height) {
    auto* l = CreateComponent<TLabel>(this);
    l->SetName(name);
    l->SetParent(Panel1);
    l->SetAutoSize(false);
    l->SetBounds(12, top, 257, height);
    l->SetCaption(text);
    return l;
  };
  ProductName = label("ProductName", "[ProductName]", 12, 16);
  ProductName->Font().SetStyle(TFontStyles{TFontStyle::fsBold});
  Version = label("Version", "[Version]", 36, 13);
  Copyright = label("Copyright", "[Copyright]", 56, 13);
  Comments = label("Comments", "[Comments]", 80, 60);
  Comments->SetWordWrap(true);
  lblwebsite = label("lblwebsite", "[Website]", 146, 13);
  lblcheckForUpdates = label("lblcheckForUpdates", "[CheckForUpdates]", 166, 13);
  for (TLabel* link : {lblwebsite, lblcheckForUpdates}) {
    link->Font().SetColor(clBlue);
    link->Font().SetStyle(TFontStyles{TFontStyle::fsUnderline});
    link->SetCursor(crHandPoint);
  }
  lblwebsite->OnClick = [this](TObject* s) { lblwebsiteClick(s); };
  lblcheckForUpdates->OnClick = [this](TObject* s) { lblcheckForUpdatesClick(s); };

  OKButton = CreateComponent<TButton>(this);
  OKButton->SetName("OKButton");
  OKButton->SetParent(this);
  OKButton->SetBounds(111, 210, 75, 25);
  OKButton->SetCaption("[OK]");
  OKButton->SetDefault(true);
  OKButton->ModalResult = mrOk;
}

TAboutBox* TAboutBox::Create(TComponent* owner) {
  auto* box = CreateComponent<TAboutBox>(owner);
  try {
    TranslateFormTexts(box);
  } catch (...) {
    FreeObject(box);
    throw;
  }
  if (Screen) {
    box->SetLeft((Screen->Width() - box->Width()) / 2);
    box->SetTop((Screen->Height() - box->Height()) / 2);
  }
  return box;
}

void TAboutBox::lblwebsiteClick(TObject*) { ShellOpen(Translate("WebsiteCommand")); }
void TAboutBox::lblcheckForUpdatesClick(TObject*) { ShellOpen(Translate("CheckForUpdatesCommand")); }

}  // namespace px
