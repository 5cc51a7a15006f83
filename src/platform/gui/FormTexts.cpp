#include "platform/gui/FormTexts.h"

#include "platform/gui/ActnList.h"
#include "platform/gui/ComCtrls.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/Menus.h"
#include "platform/gui/StdCtrls.h"

namespace px {

namespace {

void translateStrings(TStrings& list, const std::function<std::string(const std::string&)>& translate) {
  for (Integer i = 0; i < list.Count(); ++i) {
    std::string s = list.Get(i);
    std::string t = translate(s);
    if (t != s) list.Put(i, t);
  }
}

}  // namespace

void TranslateComponentTexts(TComponent* component, const std::function<std::string(const std::string&)>& translate) {
  if (!component) return;
  if (auto* control = dynamic_cast<TControl*>(component)) {
    if (auto* rg = dynamic_cast<TCustomRadioGroup*>(control)) {
      Integer index = rg->ItemIndex();
      translateStrings(rg->Items(), translate);
      if (index >= 0 && rg->ItemIndex() != index) rg->SetItemIndex(index);
    }
    if (auto* cb = dynamic_cast<TCustomComboBox*>(control)) {
      Integer index = cb->ItemIndex();
      translateStrings(cb->Items(), translate);
      if (index >= 0) cb->SetItemIndex(index);
    }
    if (auto* sb = dynamic_cast<TStatusBar*>(control)) {
      for (Integer i = 0; i < sb->Panels().Count(); ++i)
        sb->Panels().SetText(i, translate(sb->Panels()[i].Text));
      sb->SetSimpleText(translate(sb->SimpleText()));
    }
    // After the items: a combo box's text names one of them.
    // A control linked to an action shows the action's texts.
    if (!control->Action()) {
      std::string t = translate(control->Text());
      if (t != control->Text()) control->SetText(t);
      control->Hint = translate(control->Hint);
    }
  }
  if (auto* action = dynamic_cast<TCustomAction*>(component)) {
    action->SetCaption(translate(action->Caption()));
    action->SetHint(translate(action->Hint()));
  }
  // A file dialog's title is a text of the form like a caption.
  if (auto* save = dynamic_cast<TSaveDialog*>(component)) save->Title = translate(save->Title);
  if (auto* open = dynamic_cast<TOpenDialog*>(component)) open->Title = translate(open->Title);
  if (auto* item = dynamic_cast<TMenuItem*>(component)) {
    if (!item->Action()) {
      item->SetCaption(translate(item->Caption()));
      item->SetHint(translate(item->Hint()));
    }
  }
}

}  // namespace px
