#include "app/UnitSetWeight.h"

#include "app/UnitDialogSupport.h"
#include "platform/core/Format.h"
#include "platform/core/NumberConversion.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

namespace {

// A weight in 1/10000 g as the user reads it.
std::string gramsText(Integer weight) { return Format("%.4f", weight / 10000.0); }

// The typed grams in 1/10000 g: 0 for no number, and for less than one unit
// (which means the official weight).
Integer typedWeight(const std::string& text) {
  int32_t w = 0;
  if (!ScaledNumber(text, 10000, w)) return 0;
  return w < 1 ? 0 : w;
}

// A weight whose 1/10000 g leave the 32-bit range is no weight.
void scaledWeightFits(TObject* sender, bool& valid) {
  const std::string text = static_cast<TQVREdit*>(sender)->Text();
  int32_t w = 0;
  if (valid && !text.empty()) valid = ScaledNumber(text, 10000, w);
}

}  // namespace

TfrmGetweight::TfrmGetweight(TComponent* owner) : TForm(owner) {
  SetUpDialog(this, "frmGetweight", "[Weight]", 422, 262);

  lblTitle = CreateComponent<TLabel>(this);
  lblTitle->SetName("lblTitle");
  lblTitle->SetParent(this);
  lblTitle->SetBounds(12, 12, 398, 13);
  lblTitle->SetCaption("[SpecifyWeight]");

  auto edit = [this](const char* name, const char* label, int top, int width) {
    auto* e = CreateComponent<TQVREdit>(this);
    e->SetName(name);
    e->SetParent(this);
    e->SetBounds(150, top, width, 21);
    e->SetLabelDistance(138);
    e->SetLabelPosition(UnitQVREdit::lpLeft);
    e->SetLabelCaption(label);
    e->SetText("");
    return e;
  };
  auto combo = [this](const char* name, const char* label, int top) {
    auto* c = CreateComponent<TQVRComboBox>(this);
    c->SetName(name);
    c->SetParent(this);
    c->SetBounds(150, top, 140, 21);
    c->SetLabelDistance(138);
    c->SetLabelPosition(UnitQVREdit::lpLeft);
    c->SetLabelCaption(label);
    return c;
  };

  edWeight = edit("edWeight", "[Weightg]", 40, 100);
  edWeight->SetValidationType(vtFloatPositive);
  edWeight->OnValidate = scaledWeightFits;

  btnclear = CreateComponent<TButton>(this);
  btnclear->SetName("btnclear");
  btnclear->SetParent(this);
  btnclear->SetBounds(258, 38, 152, 25);
  btnclear->SetCaption("[Use default]");

  cbUseDenom = combo("cbUseDenom", "[UseDenomination]", 72);
  edDisplayName = edit("edDisplayName", "[DisplayName]", 104, 220);
  cbGroupType = combo("cbGroupType", "[GroupType]", 136);
  edGroupCount = edit("edGroupCount", "#", 168, 60);
  edGroupCount->SetValidationType(vtIntegerPositive);
  edGroupCount->SetValidationAllowEmpty(false);
  edGroupCount->SetLocked(true);
  edPackageWeight = edit("edPackageWeight", "[Weightgpack]", 200, 100);
  edPackageWeight->SetValidationType(vtFloatPositive);
  edPackageWeight->OnValidate = scaledWeightFits;

  AddOkCancel(this, 254, 230, btnOK, btnCancel);

  for (TQVREdit* e : {edWeight, edDisplayName, edGroupCount, edPackageWeight})
    e->OnChange = [this](TObject*) { edWeightChange(); };
  cbGroupType->OnChange = [this](TObject*) { cbGroupTypeChange(); };
  btnclear->OnClick = [this](TObject*) { btnclearClick(); };
  FormCreate();
}

TfrmGetweight* TfrmGetweight::Create(TComponent* owner) {
  auto* dialog = CreateComponent<TfrmGetweight>(owner);
  PrepareOwnedDialog(dialog, owner);
  return dialog;
}

void TfrmGetweight::FormCreate() {
  for (const char* key : {"DenomAlways", "DenomScreen", "DenomNever"}) cbUseDenom->Items().Add(Translate(key));
  for (const char* key : {"GroupNone", "GroupRoll", "GroupBag", "GroupClip"}) cbGroupType->Items().Add(Translate(key));
  edWeightChange();
}

void TfrmGetweight::cbGroupTypeChange() {
  const bool none = cbGroupType->ItemIndex() <= 0;
  edGroupCount->SetLocked(none);
  edPackageWeight->SetLocked(none);
}

void TfrmGetweight::edWeightChange() {
  // The package weight counts even while no package is chosen: a locked edit
  // still holds what it held.
  btnOK->SetEnabled(edWeight->IsValid() && edPackageWeight->IsValid());
}

void TfrmGetweight::btnclearClick() { edWeight->SetText(""); }

void TfrmGetweight::Put(const TDenominationWeight& d) {
  std::string title = Format(lblTitle->Caption(), d.Value / 100.0, d.Name);
  if (d.Version > 0) title += " (" + IntToStr(d.Version) + ")";
  lblTitle->SetCaption(title);
  edWeight->SetText(d.Weight > 0 ? gramsText(d.Weight) : "");
  cbUseDenom->SetItemIndexChecked(d.Status);
  edDisplayName->SetText(d.DisplayName);
  cbGroupType->SetItemIndexChecked(d.GroupType);
  if (d.GroupType > 0) {
    edGroupCount->SetText(d.GroupCount ? IntToStr(*d.GroupCount) : "");
    edPackageWeight->SetText(gramsText(d.PackageWeight));
  }
  cbGroupTypeChange();
  edWeightChange();
}

void TfrmGetweight::Take(TDenominationWeight& d) const {
  d.Weight = typedWeight(edWeight->Text());
  d.PackageWeight = typedWeight(edPackageWeight->Text());
  d.Status = cbUseDenom->ItemIndex();
  d.DisplayName = edDisplayName->Text();
  d.GroupType = cbGroupType->ItemIndex();
  if (d.GroupType < 1) {
    d.GroupCount.reset();
  } else {
    int32_t n = 0;
    d.GroupCount = TryStrToInt(edGroupCount->Text(), n) ? n : 0;
  }
}

}  // namespace px
