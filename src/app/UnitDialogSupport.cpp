#include "app/UnitDialogSupport.h"

#include <cmath>
#include <limits>

#include "platform/core/NumberConversion.h"
#include "ui/framework/UnitQVREdit.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

void SetUpDialog(TForm* dialog, const char* name, const char* caption, int32_t width, int32_t height) {
  dialog->SetName(name);
  dialog->SetCaption(caption);
  dialog->SetClientSize(width, height);
  dialog->Font().SetName("Tahoma");
  dialog->Font().SetHeight(-11);
}

void AddOkCancel(TForm* dialog, int32_t left, int32_t top, TButton*& ok, TButton*& cancel) {
  ok = CreateComponent<TButton>(dialog);
  ok->SetName("btnOK");
  ok->SetParent(dialog);
  ok->SetBounds(left, top, 75, 25);
  ok->SetCaption("[OK]");
  ok->SetDefault(true);
  ok->ModalResult = mrOk;
  cancel = CreateComponent<TButton>(dialog);
  cancel->SetName("btnCancel");
  cancel->SetParent(dialog);
  cancel->SetBounds(left + 81, top, 75, 25);
  cancel->SetCaption("[Cancel]");
  cancel->Cancel = true;
  cancel->ModalResult = mrCancel;
}

void PrepareOwnedDialog(TForm* dialog, TComponent* owner) {
  TranslateDialogTexts(dialog);
  auto* control = dynamic_cast<TControl*>(owner);
  CentreDialogOn(dialog, control ? GetParentForm(control) : nullptr);
}

void TranslateDialogTexts(TForm* dialog) {
  TranslateFormTexts(dialog);
  TranslateEditCaptions(dialog);
}

void TranslateEditCaptions(TComponent* root) {
  if (!Translations) return;
  for (Integer i = 0; i < root->ComponentCount(); ++i)
    if (auto* edit = dynamic_cast<TCustomQVREdit*>(root->Components(i)))
      if (!edit->LabelCaption().empty())
        edit->SetLabelCaption(Translations->TranslateFormString(root->ClassName(), edit->LabelCaption()));
}

void CentreDialogOn(TForm* dialog, const TForm* form) {
  const TRect area = form && form->Visible()
                         ? Bounds(form->Left(), form->Top(), form->Width(), form->Height())
                         : Rect(0, 0, Screen ? Screen->Width() : 800, Screen ? Screen->Height() : 600);
  dialog->SetLeft(area.Left + (area.Width() - dialog->Width()) / 2);
  dialog->SetTop(area.Top + (area.Height() - dialog->Height()) / 2);
}

bool ScaledNumber(const std::string& text, double scale, int32_t& value) {
  double d = 0;
  if (!TryStrToFloat(text, d)) return false;
  const double scaled = std::nearbyint(d * scale);
  if (!(scaled >= std::numeric_limits<int32_t>::min() && scaled <= std::numeric_limits<int32_t>::max())) return false;
  value = static_cast<int32_t>(scaled);
  return true;
}

}  // namespace px
