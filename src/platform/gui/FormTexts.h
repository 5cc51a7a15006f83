#pragma once
// The texts a form's layout gives its components, for the translation pass:
// captions, texts and hints of controls, actions and menu items, and the
// item texts of radio groups, combo boxes and status bar panels.
#include <functional>
#include <string>

#include "platform/core/Classes.h"

namespace px {

// Replaces each text of the component by what translate answers for it
// (texts translate answers unchanged are left alone).
void TranslateComponentTexts(TComponent* component, const std::function<std::string(const std::string&)>& translate);

}  // namespace px
