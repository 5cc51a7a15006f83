#pragma once
// The translation table: texts by key in the current language, read from the
// translation file beside the executable (its path with ".lang" appended), an
// INI file with one section per language code such as "nlNL". A missing key
// yields the key itself. One lock guards every lookup and the language change,
// so lookups may come from any thread.
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/IniFiles.h"
#include "platform/core/StringList.h"
#include "platform/core/Threads.h"

namespace px {

class TTranslations : public TObject {
 public:
  // Reads the file (a missing one gives an empty table). The language code
  // comes from the locale in LC_ALL, else LANG ("nl_NL.UTF-8" gives nlNL).
  // Record mode is on when PX_TRANSLATION_RECORD is set to 1.
  explicit TTranslations(const std::string& fileName = DefaultFileName());
  ~TTranslations() override;

  std::string Translate(const std::string& key);
  std::string TranslateQualified(const std::string& prefix, const std::string& key);
  // Falls back to the file's first section when the code has none.
  void SetLanguage(const std::string& code);
  std::string Current();
  // The file's section names (the language codes it offers), in file order.
  std::vector<std::string> Sections();
  const std::string& DefaultCode() const { return defaultCode_; }
  bool RecordMode() const { return recordMode_; }
  // Texts "[Key]" of at least three characters become the translation of
  // ClassName.Key; any other text stays as it is.
  std::string TranslateFormString(const std::string& className, const std::string& text);

  static std::string DefaultFileName();
  // "nlNL" for "nl_NL.UTF-8@euro"; empty for "C", "POSIX" or nothing.
  static std::string LanguageCodeFromLocale(const std::string& locale);

 private:
  TCriticalSection lock_;
  std::string current_;
  std::unique_ptr<TStringList> sections_;
  std::unique_ptr<TMemIniFile> languageFile_;
  bool recordMode_ = false;
  std::string defaultCode_;
};

// The one table, made and freed by the start-up sequence.
extern TTranslations* Translations;
void InitializeTranslations(const std::string& fileName = TTranslations::DefaultFileName());
void FinalizeTranslations();

// Looks a plain key up in the global table (the key itself without one).
std::string Translate(const std::string& key);

// The form-text pass over a form, frame or data module and the components it
// owns: the texts of each (captions, texts and hints of controls, actions and
// menu items; items of radio groups and combo boxes; status panels) are run
// through TranslateFormString with the root's class name. Without a table
// nothing changes.
void TranslateFormTexts(TComponent* root);

}  // namespace px
