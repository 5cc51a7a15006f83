#include "app/UnitSetOther.h"

#include "app/UnitDialogSupport.h"
#include "platform/core/Format.h"

namespace px {

TfrmSetOther::TfrmSetOther(TComponent* owner) : TForm(owner) {
  SetUpDialog(this, "frmSetOther", "[SetOtherTitle]", 362, 226);

  lblOtherType = CreateComponent<TLabel>(this);
  lblOtherType->SetName("lblOtherType");
  lblOtherType->SetParent(this);
  lblOtherType->SetBounds(12, 12, 338, 13);
  lblOtherType->SetCaption("[OtherType]");

  auto radio = [this](const char* name, const char* caption, int top) {
    auto* r = CreateComponent<TRadioButton>(this);
    r->SetName(name);
    r->SetParent(this);
    r->SetBounds(24, top, 326, 17);
    r->SetText(caption);
    r->OnClick = [this](TObject*) { DoValidate(); };
    return r;
  };
  rbFixedValue = radio("rbFixedValue", "[FixedValue]", 32);
  rbCredit = radio("rbCredit", "[Credit]", 52);
  rbDebit = radio("rbDebit", "[Debit]", 72);

  auto edit = [this](const char* name, const char* label, int top, int width) {
    auto* e = CreateComponent<TQVREdit>(this);
    e->SetName(name);
    e->SetParent(this);
    e->SetBounds(120, top, width, 21);
    e->SetLabelDistance(108);
    e->SetLabelPosition(UnitQVREdit::lpLeft);
    e->SetLabelCaption(label);
    e->SetText("");
    e->SetValidationAllowEmpty(false);
    e->OnChange = [this](TObject*) { DoValidate(); };
    e->OnClick = [this](TObject*) { DoValidate(); };
    return e;
  };
  edDisplayName = edit("edDisplayName", "[DisplayName]", 100, 230);

  cbEditbale = CreateComponent<TCheckBox>(this);
  cbEditbale->SetName("cbEditbale");
  cbEditbale->SetParent(this);
  cbEditbale->SetBounds(120, 130, 230, 17);
  cbEditbale->SetText("[Editbale]");
  cbEditbale->OnClick = [this](TObject*) { DoValidate(); };

  edValue = edit("edValue", "[Value]", 156, 100);
  edValue->SetValidationType(vtFloatPositive);
  // A value whose hundredths leave the 32-bit range is no value.
  edValue->OnValidate = [](TObject* sender, bool& valid) {
    const std::string text = static_cast<TQVREdit*>(sender)->Text();
    int32_t v = 0;
    if (valid && !text.empty()) valid = ScaledNumber(text, 100, v);
  };
  edValue->SetLocked(true);

  AddOkCancel(this, 194, 192, btnOK, btnCancel);

  DoValidate();
}

TfrmSetOther* TfrmSetOther::Create(TComponent* owner) {
  auto* dialog = CreateComponent<TfrmSetOther>(owner);
  PrepareOwnedDialog(dialog, owner);
  return dialog;
}

void TfrmSetOther::DoValidate() {
  const bool fixed = rbFixedValue->Checked();
  btnOK->SetEnabled((fixed || rbCredit->Checked() || rbDebit->Checked()) && (!fixed || edValue->IsValid()) &&
                    edDisplayName->IsValid());
  edValue->SetLocked(!fixed);
}

void TfrmSetOther::Put(const TOtherItem& item) {
  switch (item.Type) {
    case 2:
    case 10: rbFixedValue->SetChecked(true); break;
    case 3:
    case 11: rbCredit->SetChecked(true); break;
    case 4:
    case 12: rbDebit->SetChecked(true); break;
    default: break;
  }
  cbEditbale->SetChecked((item.Type & 8) != 0);
  edDisplayName->SetText(item.DisplayName);
  if (rbFixedValue->Checked()) edValue->SetText(Format("%.2f", item.Value / 100.0));
  DoValidate();
}

void TfrmSetOther::Take(TOtherItem& item) const {
  item.Type = rbFixedValue->Checked() ? 2 : rbCredit->Checked() ? 3 : rbDebit->Checked() ? 4 : 0;
  if (cbEditbale->Checked()) item.Type += 8;
  int32_t v = 0;
  item.Value = ScaledNumber(edValue->Text(), 100, v) ? v : 0;
  item.DisplayName = edDisplayName->Text();
}

}  // namespace px
