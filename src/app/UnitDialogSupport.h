#pragma once
// What the settings dialogs share: their texts translated (the caption labels
// of framework edits included, which the edits own) and their place centred
// on a form.
#include <string>

#include "platform/gui/Forms.h"
#include "platform/gui/StdCtrls.h"

namespace px {

// The frame of a dialog: name, caption, client size and font.
void SetUpDialog(TForm* dialog, const char* name, const char* caption, int32_t width, int32_t height);
// OK (default, modal result OK) and Cancel (cancel, modal result Cancel) side
// by side, OK's left edge at left.
void AddOkCancel(TForm* dialog, int32_t left, int32_t top, TButton*& ok, TButton*& cancel);
void TranslateDialogTexts(TForm* dialog);
// The caption labels of the framework edits owned by root, which the
// form-text pass does not reach.
void TranslateEditCaptions(TComponent* root);
// Translates a new dialog and centres it on its owner's form.
void PrepareOwnedDialog(TForm* dialog, TComponent* owner);
// Centres the dialog on the form, or on the screen without one.
void CentreDialogOn(TForm* dialog, const TForm* form);
// A number typed by the user scaled to an integer (x 10000 for grams, x 100
// for money), rounded half to even; false when the text is no number or the
// scaled number leaves the 32-bit range.
bool ScaledNumber(const std::string& text, double scale, int32_t& value);

}  // namespace px
