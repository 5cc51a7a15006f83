#include "app/UnitSettingsFrame.h"

#include <QImage>
#include <QPainter>

#include <filesystem>

#include "app/UnitDatasets.h"
#include "app/UnitScreenSupport.h"
#include "app/UnitSetOther.h"
#include "app/UnitSetPassword.h"
#include "app/UnitSetWeight.h"
#include "app/UnitSettings.h"
#include "data/UnitLocales.h"
#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/core/Format.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/StringList.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitImage.h"
#include "ui/framework/UnitTranslation.h"
#include "ui/tree/NodeTreesHeaderTree.h"

namespace px {

namespace {

// The busy cursor while the scale is talked to; the previous cursor comes
// back also when an exchange raises.
class THourGlass {
 public:
  THourGlass() : saved_(Screen ? Screen->Cursor() : crDefault) {
    if (Screen) Screen->SetCursor(crHourGlass);
  }
  ~THourGlass() {
    if (Screen) Screen->SetCursor(saved_);
  }
  THourGlass(const THourGlass&) = delete;
  THourGlass& operator=(const THourGlass&) = delete;

 private:
  TCursor saved_;
};

UnicodeString uni(const std::string& utf8) { return Utf8ToUnicode(utf8); }

// A translated text as a column caption (captions are Windows-1252).
AnsiString caption(const std::string& key) { return Utf8ToAnsi(Translate(key)); }

std::string translatedLabel(const std::string& text) {
  return Translations ? Translations->TranslateFormString("TfraSettings", text) : text;
}

// The 16-pixel images of the screens: coin and banknote for the type column,
// then the action images, cut from the program's IMAGES16 strip.
void loadDenominationImages(TImageList* list) {
  auto service = QVRSystem ? std::dynamic_pointer_cast<TImageLists>(QVRSystem->GetService<IImageLists>()) : nullptr;
  if (!service) return;
  try {
    const QImage strip = service->Strip("IMAGES16").ToQImage();
    const int size = strip.width();
    const int count = size > 0 ? strip.height() / size : 0;
    if (count == 0) return;
    // The image list cuts a strip from the left: lay the images side by side.
    QImage row(size * count, size, QImage::Format_ARGB32);
    row.fill(Qt::transparent);
    {
      QPainter p(&row);
      p.setCompositionMode(QPainter::CompositionMode_Source);
      for (int i = 0; i < count; ++i) p.drawImage(i * size, 0, strip, 0, i * size, size, size);
    }
    TBitmap bitmap;
    bitmap.FromQImage(row);
    bitmap.SetAlphaFormat(afDefined);
    list->SetSize(size, size);
    list->Add(bitmap);
  } catch (const Exception& e) {
    // Without the strip the grids and buttons simply show no images.
    OutputDebugString(std::string("Settings screen: ") + e.what());
  }
}

// A control of the screen, named and placed in its parent.
template <class T>
T* addControl(TfraSettings* frame, const char* name, TWinControl* parent) {
  auto* c = CreateComponent<T>(frame);
  c->SetName(name);
  c->SetParent(parent);
  return c;
}

}  // namespace

TfraSettings::TfraSettings(TComponent* owner) : TQVRFrame(owner) {
  SetName("fraSettings");
  SetBounds(0, 0, 700, 460);

  ilDenomType = CreateComponent<TImageList>(this);
  ilDenomType->SetName("ilDenomType");
  loadDenominationImages(ilDenomType);

  alSettings = CreateComponent<TActionList>(this);
  alSettings->SetName("alSettings");
  alSettings->SetImages(ilDenomType);
  auto action = [this](const char* name, const char* text, Integer image, void (TfraSettings::*handler)(TObject*)) {
    auto* a = CreateComponent<TAction>(this);
    a->SetName(name);
    a->SetCaption(text);
    a->SetHint(text);
    a->SetImageIndex(image);
    a->SetActionList(alSettings);
    a->OnExecute = [this, handler](TObject* s) { (this->*handler)(s); };
    return a;
  };
  acDenomEdit = action("acDenomEdit", "[DenomEdit]", 7, &TfraSettings::acDenomEditExecute);
  acOtherAdd = action("acOtherAdd", "[OtherAdd]", 8, &TfraSettings::acOtherAddExecute);
  acOtherDelete = action("acOtherDelete", "[OtherDelete]", 9, &TfraSettings::acOtherDeleteExecute);
  acOtherEdit = action("acOtherEdit", "[OtherEdit]", 7, &TfraSettings::acOtherEditExecute);
  acLogoFileOpen = action("acLogoFileOpen", "[OpenLogoFile]", 11, &TfraSettings::acLogoFileOpenExecute);

  pnlMain = CreateComponent<TQVRPanel>(this);
  pnlMain->SetName("pnlMain");
  pnlMain->SetParent(this);
  pnlMain->SetAlign(alClient);
  pnlMain->SetCaption("[Settings]");

  auto panel = [this](const char* name, TWinControl* parent, TAlign align, int32_t size) {
    auto* p = addControl<TPanel>(this, name, parent);
    p->SetBevelOuter(bvNone);
    p->SetCaption("");
    if (align == alLeft || align == alRight) p->SetWidth(size);
    else p->SetHeight(size);
    p->SetAlign(align);
    return p;
  };
  auto groupBox = [this](const char* name, TWinControl* parent, const char* text) {
    auto* g = addControl<TGroupBox>(this, name, parent);
    g->SetCaption(text);
    return g;
  };
  auto button = [this](const char* name, TWinControl* parent, const char* text, int32_t left, int32_t top,
                       int32_t width, void (TfraSettings::*handler)(TObject*)) {
    auto* b = addControl<TButton>(this, name, parent);
    b->SetBounds(left, top, width, 25);
    b->SetCaption(text);
    b->OnClick = [this, handler](TObject* s) { (this->*handler)(s); };
    return b;
  };
  auto checkBox = [this](const char* name, TWinControl* parent, const char* text, int32_t left, int32_t top,
                         int32_t width) {
    auto* c = addControl<TCheckBox>(this, name, parent);
    c->SetBounds(left, top, width, 17);
    c->SetCaption(text);
    return c;
  };
  // A caption label above an edit: its height and a small gap.
  constexpr int32_t labelAbove = 16;
  auto edit = [this](const char* name, TWinControl* parent, const char* label, int32_t left, int32_t top,
                     int32_t width) {
    auto* e = addControl<TQVREdit>(this, name, parent);
    e->SetBounds(left, top, width, 21);
    e->SetLabelDistance(labelAbove);
    e->SetLabelPosition(UnitQVREdit::lpAbove);
    e->SetLabelCaption(label);
    e->SetText("");
    return e;
  };

  // Top row: the language, the device (hidden) and the general settings,
  // then the button that saves them all at the row's end.
  pnlTop = panel("pnlTop", pnlMain, alTop, 114);
  rgLanguage = CreateComponent<TRadioGroup>(this);
  rgLanguage->SetName("rgLanguage");
  rgLanguage->SetParent(pnlTop);
  rgLanguage->SetBounds(4, 4, 200, 106);
  rgLanguage->SetCaption("[Language]");
  rgLanguage->SetColumns(2);
  rgDevice = CreateComponent<TRadioGroup>(this);
  rgDevice->SetName("rgDevice");
  rgDevice->SetParent(pnlTop);
  rgDevice->SetBounds(210, 4, 170, 106);
  rgDevice->SetCaption("[Device]");
  rgDevice->OnClick = [this](TObject* s) { rgDeviceClick(s); };
  gbGenericSettings = groupBox("gbGenericSettings", pnlTop, "[Other Settings]");
  gbGenericSettings->SetBounds(210, 4, 486, 106);
  edCompanyName = edit("edCompanyName", gbGenericSettings, "[&Company]", 10, 36, 170);
  // Every counting stores the company in a column of 80 characters: a longer
  // name would make each Finalize fail after the counting was done.
  edCompanyName->SetMaxLength(80);
  // The file button stands outside the edit, to its right.
  edCompanyLogo = edit("edCompanyLogo", gbGenericSettings, "[&Logo filename]", 190, 36, 170);
  {
    TQVRButtonItem* open = edCompanyLogo->Buttons().Add();
    open->SetAction(acLogoFileOpen);
  }
  edInitialCash = edit("edInitialCash", gbGenericSettings, "[InitialCash]", 396, 36, 80);
  edInitialCash->SetValidationType(vtIntegerPositive);
  edInitialCash->SetAlignment(taRightJustify);
  cbUserMust = checkBox("cbUserMust", gbGenericSettings, "[UserMust]", 10, 64, 240);
  cbDrawerMust = checkBox("cbDrawerMust", gbGenericSettings, "[DrawerMust]", 10, 84, 240);
  btnChangepassword = button("btnChangepassword", gbGenericSettings, "[ChangePassword]", 340, 72, 136,
                             &TfraSettings::btnChangepasswordClick);
  btnSaveSettings = button("btnSaveSettings", pnlTop, "[Save]", 702, 85, 90, &TfraSettings::btnSaveSettingsClick);

  // The currencies in the scale.
  gbCurrency = groupBox("gbCurrency", pnlMain, "[Currency Settings]");
  gbCurrency->SetHeight(136);
  gbCurrency->SetAlign(alTop);
  gbCurrency->SetTop(pnlTop->Top() + pnlTop->Height());
  pnlCurrencyChoice = panel("pnlCurrencyChoice", gbCurrency, alLeft, 250);
  auto combo = [this](const char* name, int32_t left) {
    auto* c = addControl<TQVRComboBox>(this, name, pnlCurrencyChoice);
    c->SetBounds(left, 22, 72, 21);
    c->ListOnly = true;
    c->DropDownCount = 16;
    c->OnChange = [this](TObject*) { SetUpdateButton(); };
    return c;
  };
  cbCurrency1 = combo("cbCurrency1", 8);
  cbCurrency1->SetLabelDistance(labelAbove);
  cbCurrency1->SetLabelPosition(UnitQVREdit::lpAbove);
  cbCurrency1->SetLabelCaption("[CurrenciesIndevice]");
  cbCurrency2 = combo("cbCurrency2", 86);
  cbCurrency3 = combo("cbCurrency3", 164);
  cbDefault = checkBox("cbDefault", pnlCurrencyChoice, "[DefaultValues]", 8, 54, 236);
  btnChangeCurrency = button("btnChangeCurrency", pnlCurrencyChoice, "[Update]", 8, 80, 100,
                             &TfraSettings::btnChangeCurrencyClick);
  btnChangeCurrency->SetEnabled(false);
  edExplain = CreateComponent<TRichEdit>(this);
  edExplain->SetName("edExplain");
  edExplain->SetParent(gbCurrency);
  edExplain->SetAlign(alClient);
  edExplain->SetReadOnly(true);
  edExplain->SetWordWrap(false);
  edExplain->SetScrollBars(ssBoth);
  edExplain->SetText("");

  // The currencies and their denominations.
  gbDenominations = groupBox("gbDenominations", pnlMain, "[Denominations]");
  gbDenominations->SetAlign(alClient);
  pnlDenomButtons = panel("pnlDenomButtons", gbDenominations, alBottom, 34);
  btnDownloadWeights = button("btnDownloadWeights", pnlDenomButtons, "[Download]", 4, 4, 100,
                              &TfraSettings::btnDownloadWeightsClick);
  btnDownloadWeights->Hint = "[DownloadHint]";
  btnDownloadWeights->ShowHint = true;
  btnDownloadWeights->SetEnabled(false);
  btnSaveDenom = button("btnSaveDenom", pnlDenomButtons, "[Save]", 110, 4, 100, &TfraSettings::btnSaveDenomClick);
  btnSaveDenom->Hint = "[SaveHint]";
  btnSaveDenom->ShowHint = true;
  cbOnlyOfficial = checkBox("cbOnlyOfficial", pnlDenomButtons, "[OnlyOfficial]", 220, 8, 320);
  cbOnlyOfficial->SetChecked(true);

  auto titled = [this](TWinControl* parent, const char* name, const char* text, TAlign align, int32_t size) {
    auto* p = addControl<TQVRPanel>(this, name, parent);
    if (align == alLeft || align == alRight) p->SetWidth(size);
    else if (align != alClient) p->SetHeight(size);
    p->SetAlign(align);
    p->SetCaption(text);
    return p;
  };
  // The currencies with the other items of the chosen one below them; its
  // denominations take the rest of the width, which all their columns need.
  pnlCurrencyColumn = panel("pnlCurrencyColumn", gbDenominations, alLeft, 244);
  pnlOthers = titled(pnlCurrencyColumn, "pnlOthers", "[Others]", alBottom, 136);
  for (TAction* a : {acOtherAdd, acOtherDelete, acOtherEdit}) pnlOthers->Buttons().Add()->SetAction(a);
  pnlCurrencies = titled(pnlCurrencyColumn, "pnlCurrencies", "[Currencies]", alClient, 0);
  pnlDenominations = titled(gbDenominations, "pnlDenominations", "[Denominations]", alClient, 0);
  pnlDenominations->Buttons().Add()->SetAction(acDenomEdit);
  acDenomEdit->SetEnabled(false);
  acOtherAdd->SetEnabled(false);
  acOtherDelete->SetEnabled(false);
  acOtherEdit->SetEnabled(false);

  // The edits' caption labels belong to the edits, which the form-text pass
  // does not reach.
  for (TCustomQVREdit* e : std::initializer_list<TCustomQVREdit*>{edCompanyName, edCompanyLogo, edInitialCash, cbCurrency1})
    e->SetLabelCaption(translatedLabel(e->LabelCaption()));
}

void TfraSettings::AfterConstruction() {
  TQVRFrame::AfterConstruction();
  if (auto sets = QVRSystem->GetService<IVantorelDataSets>()) {
    sets->GetDataSet(0, denominations_);
    sets->GetDataSet(1, currencies_);
    sets->GetDataSet(2, official_);
  }
  if (denominations_) {
    fType_ = denominations_->FieldIndexByName("Type");
    fValue_ = denominations_->FieldIndexByName("Value");
    fWeight_ = denominations_->FieldIndexByName("Weight");
    fStatus_ = denominations_->FieldIndexByName("Status");
    fDisplayName_ = denominations_->FieldIndexByName("DisplayName");
    fGroupType_ = denominations_->FieldIndexByName("GroupType");
    fGroupCount_ = denominations_->FieldIndexByName("GroupCount");
  }

  if (auto adjust = QVRSystem->GetService<IPanelAdjust>()) adjust->Adjust(pnlMain);

  DeviceStatusChanged(Vantorel7350 && Vantorel7350->Connected, false);

  // The device choice is hidden; it keeps the setting as it is.
  rgDevice->SetVisible(false);
  rgDevice->Items().Clear();
  rgDevice->Items().Add(Translate("Device.7350"));
  rgDevice->Items().Add(Translate("Device.9183"));
  rgDevice->SetItemIndex(Settings ? Settings->Device - 1 : -1);
  rgDeviceClick(rgDevice);

  createGrids();
  cbOnlyOfficialClick(cbOnlyOfficial);
  // A scale present at start was asked for its currencies before the
  // combos had their lists.
  if (Vantorel7350 && Vantorel7350->Connected) selectScaleCodes();
  fillLanguages();

  if (Settings) {
    edCompanyName->SetText(Settings->Company);
    // A long name shows its start, as it is read.
    edCompanyName->SetSelStart(0);
    edCompanyLogo->SetText(Settings->LogoFile);
    cbUserMust->SetChecked(Settings->MustEmployee);
    cbDrawerMust->SetChecked(Settings->MustDrawer);
    edInitialCash->SetText(IntToStr(Settings->InitialDrawer));
    lstCurrencies->SetColumnLayout(Settings->ReadList(CurrenciesLayout));
    lstDenominations->SetColumnLayout(Settings->ReadList(DenominationsLayout));
    lstOthers->SetColumnLayout(Settings->ReadList(OthersLayout));
  }
}

void TfraSettings::BeforeDestruction() {
  if (Settings) {
    if (lstCurrencies) Settings->WriteList(CurrenciesLayout, lstCurrencies->GetColumnLayout());
    if (lstDenominations) Settings->WriteList(DenominationsLayout, lstDenominations->GetColumnLayout());
    if (lstOthers) Settings->WriteList(OthersLayout, lstOthers->GetColumnLayout());
  }
  TQVRFrame::BeforeDestruction();
}

void TfraSettings::createGrids() {
  auto grid = [this](const char* name, TWinControl* parent) {
    auto* g = addControl<TDataSetList>(this, name, parent);
    g->SetAlign(alClient);
    g->SetClickDelay(200);
    return g;
  };
  lstCurrencies = grid("lstCurrencies", pnlCurrencies);
  lstDenominations = grid("lstDenominations", pnlDenominations);
  lstDenominations->SetImages(ilDenomType);
  lstOthers = grid("lstOthers", pnlOthers);
  lstOthers->SetImages(ilDenomType);
  if (!currencies_ || !denominations_) return;

  // Currencies.
  currencyView_ = CreateMemDataView(currencies_, 1);
  TMemViewColumn* c = currencyView_->AddColumn();
  c->Caption = caption("CurrencyISO");
  c->SetFieldIndex("Name");
  c->Width = 50;
  c = currencyView_->AddColumn();
  c->Caption = caption("Currency");
  c->SetFieldIndex("FullName");
  // The list of all currencies always scrolls: its bar takes room too.
  c->Width = std::max<int32_t>(50, lstCurrencies->Width() - 55 - headertree::VerticalScrollBarWidth(lstCurrencies));
  c = currencyView_->AddColumn();
  c->Caption = caption("Country");
  c->SetFieldIndex("Country");
  c->Width = 150;
  c->Flags |= mvfHidden;
  const Integer fName = currencies_->FieldIndexByName("Name");
  currencyView_->SetOnFilter([this, fName](TMemRecord* rec, bool& accept) {
    accept = !cbOnlyOfficial->Checked() || currencyPasses(rec->GetAnsiString(fName), false);
  });
  lstCurrencies->OnChange = [this](TDataSetList*, TMemRecord* rec) { showCurrency(rec); };
  lstCurrencies->SetView(currencyView_);

  // Coins and banknotes of the current currency.
  denominationView_ = CreateMemDataView(denominations_, 1);
  auto column = [](const IMemDataView& view, const std::string& key, Integer field, int32_t width,
                   TAlignment alignment) {
    TMemViewColumn* col = view->AddColumn();
    col->Caption = caption(key);
    col->SetFieldIndex(field);
    col->Width = width;
    col->Alignment = alignment;
    return col;
  };
  c = column(denominationView_, "DenominationType", fType_, 25, taLeftJustify);
  c->ImageField = fType_;
  c->OnGetText = [](TMemViewColumn*, TMemRecord*, UnicodeString& text) { text = u" "; };
  c = column(denominationView_, "DenominationStatus", fStatus_, 90, taLeftJustify);
  c->OnGetText = [this](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    static const char* const names[] = {"DenomAlways", "DenomScreen", "DenomNever"};
    const Integer status = rec->GetInteger(fStatus_);
    text = status >= 0 && status <= 2 ? uni(Translate(names[status])) : UnicodeString();
  };
  c = column(denominationView_, "Value", fValue_, 75, taRightJustify);
  c->OnGetText = [this](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    text = uni(Format("%.2f", rec->GetInteger(fValue_) / 100.0));
  };
  c = column(denominationView_, "Version", -1, 40, taRightJustify);
  c->OnGetText = [](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    const Integer version = DenominationVersion(rec);
    text = version == 0 ? UnicodeString() : uni(IntToStr(version));
  };
  c = column(denominationView_, "Weight", fWeight_, 75, taRightJustify);
  c->Caption = Utf8ToAnsi(Translate("Weight") + " (g)");
  c->OnGetText = [this](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    const Integer weight = rec->GetInteger(fWeight_);
    if (weight > 0) text = uni(Format("%.4f", weight / 10000.0));
    else text = hasOfficialWeight(rec) ? u"OK" : u"?";
  };
  c = column(denominationView_, "DisplayName", fDisplayName_, 75, taRightJustify);
  c->OnGetText = [](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    text = AnsiToUnicode(DisplayNameText(rec));
  };
  c = column(denominationView_, "GroupType", fGroupType_, 50, taRightJustify);
  c->OnGetText = [this](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    static const char* const names[] = {"GroupRoll", "GroupBag", "GroupClip"};
    const Integer group = rec->GetInteger(fGroupType_);
    text = group >= 1 && group <= 3 ? uni(Translate(names[group - 1])) : UnicodeString();
  };
  c = column(denominationView_, "GroupCount", fGroupCount_, 40, taRightJustify);
  c->OnGetText = [this](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    const Integer count = rec->IsNull(fGroupCount_) ? 0 : rec->GetInteger(fGroupCount_);
    text = count >= 1 ? uni(IntToStr(count)) : UnicodeString();
  };
  denominationView_->SetOnFilter([this](TMemRecord* rec, bool& accept) {
    const Integer type = rec->GetInteger(fType_);
    accept = !currentCurrency_.empty() && rec->GetAnsiString(0) == currentCurrency_ && (type == 0 || type == 1);
  });
  lstDenominations->OnDblClick = [this](TDataSetList*, TMemRecord* rec) { editDenomination(rec); };
  lstDenominations->OnChange = [this](TDataSetList*, TMemRecord* rec) { acDenomEdit->SetEnabled(rec != nullptr); };
  lstDenominations->SetView(denominationView_);

  // The other items of the current currency.
  otherView_ = CreateMemDataView(denominations_, 1);
  c = column(otherView_, "Value", fValue_, 75, taRightJustify);
  c->OnGetText = [this](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    text = uni(Format("%.2f", rec->GetInteger(fValue_) / 100.0));
  };
  c = column(otherView_, "DisplayNameOther", fDisplayName_, 150, taLeftJustify);
  c->OnGetText = [](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    text = AnsiToUnicode(DisplayNameText(rec));
  };
  otherView_->SetOnFilter([this](TMemRecord* rec, bool& accept) {
    accept = !currentCurrency_.empty() && rec->GetAnsiString(0) == currentCurrency_ && rec->GetInteger(fType_) >= 2;
  });
  lstOthers->OnDblClick = [this](TDataSetList*, TMemRecord* rec) { editOther(rec); };
  lstOthers->OnChange = [this](TDataSetList*, TMemRecord* rec) {
    acOtherDelete->SetEnabled(rec != nullptr);
    acOtherEdit->SetEnabled(rec != nullptr);
  };
  lstOthers->SetView(otherView_);
}

void TfraSettings::fillLanguages() {
  languageCodes_ = Translations ? Translations->Sections() : std::vector<std::string>();
  rgLanguage->Items().Clear();
  for (const std::string& code : languageCodes_) rgLanguage->Items().Add(code);
  const std::string current = Translations ? Translations->Current() : std::string();
  Integer selected = -1;
  for (size_t i = 0; i < languageCodes_.size(); ++i)
    if (SameText(languageCodes_[i], current)) selected = static_cast<Integer>(i);
  rgLanguage->SetItemIndex(selected);
  // Each code shown by its language's own name; a section that names no
  // locale the system knows keeps its code, so that a stray section in the
  // translation file cannot keep the screen from opening.
  for (size_t i = 0; i < languageCodes_.size(); ++i) {
    std::string name = languageCodes_[i];
    try {
      const UnicodeString native = Locales().FindLocaleByCode(Utf8ToAnsi(name))->Name(lfLanguageNative);
      if (!native.empty()) name = UnicodeToUtf8(native);
    } catch (const ELocaleException&) {
    }
    rgLanguage->Items().Put(static_cast<Integer>(i), name);
  }
}

// ---------------------------------------------------------------------------
// Weights

Integer TfraSettings::OfficialWeight(const std::string& code, Integer type, Integer value, Integer version) const {
  if (!official_) return 0;
  const Integer place = version <= 1 ? 1 : version;
  Integer seen = 0;
  for (TMemRecord* r = official_->First(); r; r = r->GetNext()) {
    if (r->GetAnsiString(0) != code || r->GetInteger(1) != type || r->GetInteger(2) != value) continue;
    if (++seen == place) return r->GetInteger(3);
  }
  return 0;
}

bool TfraSettings::hasOfficialWeight(TMemRecord* rec) const {
  return OfficialWeight(rec->GetAnsiString(0), rec->GetInteger(fType_), rec->GetInteger(fValue_),
                        DenominationVersion(rec)) > 0;
}

bool TfraSettings::hasAnyWeight(TMemRecord* rec) const { return rec->GetInteger(fWeight_) > 0 || hasOfficialWeight(rec); }

bool TfraSettings::currencyPasses(const std::string& code, bool ownWeightCounts) const {
  for (TMemRecord* r = denominations_->First(); r; r = r->GetNext()) {
    if (r->GetAnsiString(0) != code) continue;
    const Integer type = r->GetInteger(fType_);
    if (type != 0 && type != 1) continue;
    if (!(ownWeightCounts ? hasAnyWeight(r) : hasOfficialWeight(r))) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Currencies and the scale

void TfraSettings::showCurrency(TMemRecord* currency) {
  if (currency) {
    pnlDenominations->SetCaption(AnsiToUtf8(currency->GetAnsiStringByName("FullName") + " " +
                                            currency->GetAnsiStringByName("Name")));
    currentCurrency_ = currency->GetAnsiStringByName("Name");
  } else {
    pnlDenominations->SetCaption(Translate("Denominations"));
    currentCurrency_.clear();
  }
  lstDenominations->Refresh();
  lstOthers->Refresh();
  acOtherAdd->SetEnabled(!currentCurrency_.empty());
}

void TfraSettings::cbOnlyOfficialClick(TObject*) {
  if (lstCurrencies && currencyView_) lstCurrencies->Refresh();
  FillCurrencyCombos();
}

void TfraSettings::FillCurrencyCombos() {
  TStringList codes;
  if (currencies_) {
    const Integer fName = currencies_->FieldIndexByName("Name");
    for (TMemRecord* r = currencies_->First(); r; r = r->GetNext()) {
      const std::string code = r->GetAnsiString(fName);
      if (cbOnlyOfficial->Checked() && !currencyPasses(code, true)) continue;
      codes.Add(AnsiToUtf8(code));
    }
  }
  for (TQVRComboBox* combo : {cbCurrency1, cbCurrency2, cbCurrency3}) {
    combo->Items().Assign(&codes);
    if (combo->ItemIndex() < 0) combo->SetText("");
  }
  SetUpdateButton();
}

void TfraSettings::SetUpdateButton() {
  btnChangeCurrency->SetEnabled(Vantorel7350 && Vantorel7350->Connected && cbCurrency1->ItemIndex() >= 0 &&
                                cbCurrency2->ItemIndex() >= 0 && cbCurrency3->ItemIndex() >= 0);
}

void TfraSettings::DeviceStatusChanged(bool connected, bool) {
  btnDownloadWeights->SetEnabled(connected && Vantorel7350 && Vantorel7350->ProductVariant > 1);
  SetUpdateButton();
  if (!connected || !Vantorel7350) return;
  // The scale comes back after an update restarted it: the report of that
  // update stays readable.
  if (!keepExplain_) edExplain->Lines().Clear();
  keepExplain_ = false;
  for (std::string& code : scaleCodes_) code.clear();
  if (Vantorel7350->ProductVariant != 1) {
    THourGlass busy;
    for (Integer position = 1; position <= 3; ++position) {
      AnsiString code;
      if (Vantorel7350->ReadCurrencyCode(position, code)) scaleCodes_[static_cast<size_t>(position - 1)] = AnsiToUtf8(code);
    }
  }
  selectScaleCodes();
}

void TfraSettings::selectScaleCodes() {
  TQVRComboBox* combos[] = {cbCurrency1, cbCurrency2, cbCurrency3};
  for (size_t i = 0; i < 3; ++i) {
    TQVRComboBox* combo = combos[i];
    if (!scaleCodes_[i].empty()) combo->SetItemIndex(combo->Items().IndexOf(scaleCodes_[i]));
    else if (Vantorel7350 && Vantorel7350->ProductVariant == 1) combo->SetItemIndex(-1);
  }
  SetUpdateButton();
}

void TfraSettings::explain(const std::string& line) { edExplain->Lines().Add(line); }

std::string TfraSettings::comboCode(TQVRComboBox* combo) const { return Utf8ToAnsi(combo->Text()); }

void TfraSettings::btnChangeCurrencyClick(TObject*) {
  const std::string codes[] = {comboCode(cbCurrency1), comboCode(cbCurrency2), comboCode(cbCurrency3)};
  if (codes[0] == codes[1] || codes[0] == codes[2] || codes[1] == codes[2]) {
    MessageDlg(Translate("DuplicateCurrency"), mtWarning, {mbOK});
    return;
  }
  THourGlass busy;
  edExplain->Lines().Clear();
  for (Integer position = 1; position <= 3; ++position) ProgramCurrency(position, codes[position - 1]);
  if (Vantorel7350 && Vantorel7350->Connected) {
    keepExplain_ = true;
    Vantorel7350->RequestDisconnect();
  }
}

void TfraSettings::DescribeSlot(std::string& list, Integer value, Integer slotType) {
  if (!list.empty()) list += ", ";
  const std::string kind = Translate(slotType == 1 || slotType == 3 ? "banknote" : "coin");
  list += Format(slotType >= 2 ? "%s+ %.2f" : "%s %.2f", kind, value / 100.0);
}

void TfraSettings::ProgramCurrency(Integer position, const std::string& code) {
  TVantorelResult result;
  result.Clear();
  result.CurrencyCode = code;
  Integer slot = 1;
  std::string officialList, ownList, emptyList, unsupportedList;
  const Integer variant = Vantorel7350 ? Vantorel7350->ProductVariant : 0;
  const Cardinal protocol = Vantorel7350 ? Vantorel7350->ProtocolVersion : 0;
  // Slot 63 stays empty; a scale below protocol 4 holds 31 slots. What does
  // not fit is reported with what the scale does not support rather than
  // dropped unseen.
  const Integer lastSlot = variant == 2 && protocol < 4 ? 31 : 62;
  auto eligible = [&](TMemRecord* r) {
    const Integer type = r->GetInteger(fType_);
    return r->GetAnsiString(0) == code && (type == 0 || type == 1) && r->GetInteger(fStatus_) == 0;
  };
  auto fill = [&](Integer value, Integer slotType, Integer weight, Word pieces, Integer version) {
    result.Value[slot] = value;
    result.SlotType[slot] = static_cast<Byte>(slotType);
    result.Weight[slot] = weight;
    result.GroupCount[slot] = pieces;
    result.SeriesNumber[slot] = static_cast<Byte>(std::clamp<Integer>(version, 0, 255));
    ++slot;
  };
  if (denominations_) {
    for (TMemRecord* r = denominations_->First(); r; r = r->GetNext()) {
      if (!eligible(r)) continue;
      const Integer type = r->GetInteger(fType_), value = r->GetInteger(fValue_);
      if ((variant == 1 && DenominationToSlot(value, static_cast<Byte>(type)) < 0) || slot > lastSlot) {
        DescribeSlot(unsupportedList, value, type);
        continue;
      }
      const Integer version = DenominationVersion(r);
      Integer weight = r->GetInteger(fWeight_);
      if (weight != 0) {
        DescribeSlot(ownList, value, type);
      } else {
        weight = OfficialWeight(code, type, value, version);
        if (weight != 0) {
          DescribeSlot(officialList, value, type);
        } else {
          DescribeSlot(emptyList, value, type);
          weight = 10000;
        }
      }
      fill(value, type, weight, 0, version);
    }
    if (protocol >= 4) {
      for (TMemRecord* r = denominations_->First(); r; r = r->GetNext()) {
        if (!eligible(r)) continue;
        const Integer pieces = r->IsNull(fGroupCount_) ? 0 : r->GetInteger(fGroupCount_);
        const Integer packageWeight = PackageWeight(r);
        if (pieces < 0 || pieces > 65535 || packageWeight <= 0) continue;
        const Integer type = r->GetInteger(fType_), value = r->GetInteger(fValue_);
        if (variant == 1 && DenominationToSlot(value, static_cast<Byte>(type)) < 0) {
          DescribeSlot(unsupportedList, value, type + 2);
          continue;
        }
        if (pieces == 0) continue;
        if (slot > lastSlot) {
          DescribeSlot(unsupportedList, value, type + 2);
          continue;
        }
        fill(value, type + 2, packageWeight, static_cast<Word>(pieces), DenominationVersion(r));
      }
    }
  }

  if (!ownList.empty() || !emptyList.empty() || !unsupportedList.empty())
    explain(Format(Translate("WarningForCurrency"), code));
  if (!ownList.empty()) explain(Format(Translate("UnofficialWeight"), ownList));
  if (!emptyList.empty()) explain(Format(Translate("EmptyWeight"), emptyList));
  if (!unsupportedList.empty()) explain(Format(Translate("NoSupportWeight"), unsupportedList));
  if (slot == 1) {
    explain(Format(Translate("NoDenominations"), code));
  } else {
    auto write = [&](bool asDefault) {
      const bool ok = Vantorel7350 && Vantorel7350->WriteCurrency(static_cast<Byte>(position), result, asDefault);
      explain(Format(Translate(ok ? "SuccesfulProgramming" : "ErrorProgramming"), code));
    };
    write(false);
    if (cbDefault->Checked()) {
      explain("");
      write(true);
    }
  }
  if (position < 3) explain("");
  edExplain->Repaint();
}

void TfraSettings::btnDownloadWeightsClick(TObject*) {
  if (!Vantorel7350) return;
  THourGlass busy;
  for (Byte position = 1; position <= 3; ++position) {
    TVantorelResult result;
    if (!Vantorel7350->ReadCurrency(position, result)) continue;
    // Older scales keep no versions: issues of one denomination in a row
    // are numbered from 1.
    for (Integer s = 2; s <= VantorelSlotCount; ++s) {
      if (result.Value[s] == 0) break;
      if (result.SeriesNumber[s] != 0 || result.Value[s] != result.Value[s - 1] ||
          result.SlotType[s] != result.SlotType[s - 1])
        continue;
      if (result.SeriesNumber[s - 1] == 0) result.SeriesNumber[s - 1] = 1;
      result.SeriesNumber[s] = static_cast<Byte>(result.SeriesNumber[s - 1] + 1);
    }
    for (Integer s = 1; s <= VantorelSlotCount && result.Value[s] != 0; ++s) ApplyScaleSlot(result, s);
  }
  lstDenominations->Refresh();
}

void TfraSettings::ApplyScaleSlot(const TVantorelResult& result, Integer slot) {
  const Byte slotType = result.SlotType[slot];
  if (slotType > 3 || !denominations_) return;
  const Integer type = slotType & 1;
  const bool package = slotType >= 2;
  const Integer value = result.Value[slot], weight = result.Weight[slot], version = result.SeriesNumber[slot];
  const std::string& code = result.CurrencyCode;
  for (TMemRecord* r = denominations_->First(); r; r = r->GetNext()) {
    if (r->GetAnsiString(0) != code || r->GetInteger(fType_) != type || r->GetInteger(fValue_) != value ||
        DenominationVersion(r) != version)
      continue;
    if (package) {
      r->SetInteger(fGroupCount_, result.GroupCount[slot]);
      SetPackageWeight(r, weight);
      if (r->GetInteger(fGroupType_) == 0) r->SetInteger(fGroupType_, type == 0 ? 1 : 2);
    } else if (r->GetInteger(fWeight_) != weight) {
      r->SetInteger(fWeight_, weight == OfficialWeight(code, type, value, version) ? 0 : weight);
    }
  }
}

void TfraSettings::btnSaveDenomClick(TObject*) {
  auto sets = QVRSystem->GetService<IVantorelDataSets>();
  if (!sets) return;
  sets->Save(1);
  sets->Save(0);
  MessageDlg(Translate("EverythingSaved"), mtInformation, {mbOK});
}

// ---------------------------------------------------------------------------
// Denominations and other items

void TfraSettings::acDenomEditExecute(TObject*) { editDenomination(lstDenominations->GetFocusedRecord()); }

void TfraSettings::editDenomination(TMemRecord* rec) {
  if (!rec) return;
  TDenominationWeight d;
  d.Value = rec->GetInteger(fValue_);
  d.Name = AnsiToUtf8(rec->GetAnsiString(0));
  d.Version = DenominationVersion(rec);
  d.Weight = rec->GetInteger(fWeight_);
  d.Status = rec->GetInteger(fStatus_);
  d.DisplayName = AnsiToUtf8(DisplayNameText(rec));
  d.GroupType = rec->GetInteger(fGroupType_);
  if (!rec->IsNull(fGroupCount_)) d.GroupCount = rec->GetInteger(fGroupCount_);
  d.PackageWeight = PackageWeight(rec);
  TObjectPtr<TfrmGetweight> dialog(TfrmGetweight::Create(this));
  dialog->Put(d);
  if (dialog->ShowModal() != mrOk) return;
  dialog->Take(d);
  rec->SetInteger(fWeight_, d.Weight);
  rec->SetInteger(fStatus_, d.Status);
  rec->SetAnsiString(fDisplayName_, IntToStr(d.PackageWeight) + "\t" + Utf8ToAnsi(d.DisplayName));
  rec->SetInteger(fGroupType_, d.GroupType);
  if (d.GroupCount) rec->SetInteger(fGroupCount_, *d.GroupCount);
  else rec->SetNull(fGroupCount_);
  lstDenominations->Refresh(rec);
}

void TfraSettings::acOtherAddExecute(TObject*) {
  if (currentCurrency_.empty() || !denominations_) return;
  TOtherItem item;
  TObjectPtr<TfrmSetOther> dialog(TfrmSetOther::Create(this));
  if (dialog->ShowModal() != mrOk) return;
  dialog->Take(item);
  TMemRecord* rec = denominations_->AddRecord();
  rec->SetAnsiString(0, currentCurrency_);
  rec->SetInteger(fType_, item.Type);
  rec->SetInteger(fValue_, item.Value);
  rec->SetInteger(fWeight_, 0);
  rec->SetInteger(fStatus_, 0);
  rec->SetAnsiString(fDisplayName_, "0\t" + Utf8ToAnsi(item.DisplayName));
  lstOthers->Refresh(rec);
}

void TfraSettings::acOtherEditExecute(TObject*) { editOther(lstOthers->GetFocusedRecord()); }

void TfraSettings::editOther(TMemRecord* rec) {
  if (!rec) return;
  TOtherItem item;
  item.Type = rec->GetInteger(fType_);
  item.Value = rec->GetInteger(fValue_);
  item.DisplayName = AnsiToUtf8(DisplayNameText(rec));
  TObjectPtr<TfrmSetOther> dialog(TfrmSetOther::Create(this));
  dialog->Put(item);
  if (dialog->ShowModal() != mrOk) return;
  dialog->Take(item);
  rec->SetInteger(fType_, item.Type);
  rec->SetInteger(fValue_, item.Value);
  rec->SetInteger(fWeight_, 0);
  rec->SetInteger(fStatus_, 0);
  SetDisplayNameText(rec, Utf8ToAnsi(item.DisplayName));
  lstOthers->Refresh(rec);
}

void TfraSettings::acOtherDeleteExecute(TObject*) {
  TMemRecord* rec = lstOthers->GetFocusedRecord();
  if (!rec) return;
  if (MessageDlg(Translate("OtherDeleteAYS"), mtConfirmation, {mbYes, mbNo}) != mrYes) return;
  rec->Free();
  lstOthers->Refresh();
}

// ---------------------------------------------------------------------------
// General settings

void TfraSettings::rgDeviceClick(TObject*) {
  if (!Settings) return;
  Settings->Device = rgDevice->ItemIndex() + 1;
  gbCurrency->SetVisible(Settings->Device == 0 || Settings->Device == 1);
}

void TfraSettings::acLogoFileOpenExecute(TObject*) {
  TOpenDialog dialog(nullptr);
  dialog.Title = Translate("OpenLogoFile");
  dialog.Filter = "Image files|*.png;*.jpg;*.jpeg;*.bmp|All Files|*.*";
  dialog.Options = TOpenOptions{ofHideReadOnly, ofEnableSizing, ofFileMustExist, ofDontAddToRecent};
  const std::filesystem::path current(edCompanyLogo->Text());
  dialog.InitialDir = current.parent_path().string();
  dialog.FileName = current.filename().string();
  if (dialog.Execute()) edCompanyLogo->SetText(dialog.FileName);
}

void TfraSettings::btnSaveSettingsClick(TObject*) {
  if (!Settings) return;
  // The company is stored with every counting as single-byte text.
  if (RefuseCharactersNotStored(edCompanyName->Text())) return;
  // The initial cash is kept in whole units: a fraction or a text would be
  // stored as 0 unseen, so nothing is saved until the edit holds a whole
  // number (or nothing).
  if (!edInitialCash->IsValid()) {
    Beep();
    if (edInitialCash->CanFocus()) edInitialCash->SetFocus();
    return;
  }
  Settings->Company = edCompanyName->Text();
  Settings->LogoFile = edCompanyLogo->Text();
  Settings->MustEmployee = cbUserMust->Checked();
  Settings->MustDrawer = cbDrawerMust->Checked();
  int32_t cash = 0;
  Settings->InitialDrawer = TryStrToInt(edInitialCash->Text(), cash) ? cash : 0;
  Settings->Device = rgDevice->ItemIndex() + 1;
  const Integer language = rgLanguage->ItemIndex();
  Settings->Language = language >= 0 && language < static_cast<Integer>(languageCodes_.size())
                           ? languageCodes_[static_cast<size_t>(language)]
                           : std::string();
  Settings->Save();
  if (Translations && Translations->Current() != Settings->Language)
    MessageDlg(Translate("LanguageChangeReboot"), mtInformation, {mbOK});
}

void TfraSettings::btnChangepasswordClick(TObject*) {
  if (!Settings) return;
  TObjectPtr<TfrmSetPassword> dialog(TfrmSetPassword::Create(this));
  if (dialog->ShowModal() != mrOk) return;
  const std::string entered = dialog->edPassword->Text();
  // The digest covers the single-byte form, where such characters would all
  // become "?" and any of them would open the screens.
  if (RefuseCharactersNotStored(entered)) return;
  Settings->Password = entered.empty() ? std::string() : PasswordDigest(entered);
}

void InitializeSettingsFrame() { QVRSystem->RegisterControl<TfraSettings>(TfraSettings::FrameNumber); }
void FinalizeSettingsFrame() {
  if (QVRSystem) QVRSystem->UnregisterControl(TfraSettings::FrameNumber);
}

}  // namespace px
