#pragma once
// What the settings dialogs share: their texts translated (the caption labels
// of framework edits included, which the edits own) and their place centred
// on a form.
#include <string>

#include "platform/gui/Forms.h"

namespace px {

void TranslateDialogTexts(TForm* dialog);
// Centres the dialog on the form, or on the screen without one.
void CentreDialogOn(TForm* dialog, const TForm* form);
// A number typed by the user scaled to an integer (x 10000 for grams, x 100
// for money), rounded half to even; false when the text is no number or the
// scaled number leaves the 32-bit range.
bool ScaledNumber(const std::string& text, double scale, int32_t& value);

}  // namespace px
