#include "ui/framework/UnitTranslation.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/gui/Controls.h"
#include "platform/gui/FormTexts.h"

namespace px {

TTranslations* Translations = nullptr;

std::string TTranslations::DefaultFileName() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n)) + ".lang";
}

std::string TTranslations::LanguageCodeFromLocale(const std::string& locale) {
  std::string s = locale.substr(0, locale.find_first_of(".@"));
  if (s.empty() || s == "C" || s == "POSIX") return {};
  auto us = s.find('_');
  if (us == std::string::npos) return s;
  return s.substr(0, us) + s.substr(us + 1);
}

TTranslations::TTranslations(const std::string& fileName) {
  for (const char* var : {"LC_ALL", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) {
      defaultCode_ = LanguageCodeFromLocale(v);
      break;
    }
  }
  const char* rec = std::getenv("PX_TRANSLATION_RECORD");
  recordMode_ = rec && std::string(rec) == "1";
  languageFile_ = std::make_unique<TMemIniFile>(fileName);
  sections_ = std::make_unique<TStringList>();
  languageFile_->ReadSections(*sections_);
  SetLanguage(defaultCode_);
}

TTranslations::~TTranslations() {
  std::lock_guard guard(lock_);
  if (recordMode_) {
    try {
      languageFile_->UpdateFile();
    } catch (const std::exception& e) {
      OutputDebugString(std::string("Translations: cannot write the recorded file: ") + e.what());
    }
  }
  languageFile_.reset();
  sections_.reset();
}

std::string TTranslations::Translate(const std::string& key) {
  std::lock_guard guard(lock_);
  std::string value = languageFile_->ReadString(current_, key, key);
  if (recordMode_ && !current_.empty()) {
    try {
      languageFile_->WriteString(current_, key, value);
    } catch (const EIniFileException&) {
      // A key the file format cannot hold is simply not recorded.
    }
  }
  return value;
}

std::string TTranslations::TranslateQualified(const std::string& prefix, const std::string& key) {
  return prefix.empty() ? Translate(key) : Translate(prefix + "." + key);
}

void TTranslations::SetLanguage(const std::string& code) {
  std::lock_guard guard(lock_);
  current_ = code;
  bool found = false;
  for (Integer i = 0; i < sections_->Count(); ++i)
    if (SameText(sections_->Strings(i), code)) {
      current_ = sections_->Strings(i);
      found = true;
      break;
    }
  if (!found && sections_->Count() > 0) current_ = sections_->Strings(0);
}

std::string TTranslations::Current() {
  std::lock_guard guard(lock_);
  return current_;
}

std::vector<std::string> TTranslations::Sections() {
  std::lock_guard guard(lock_);
  std::vector<std::string> out;
  for (Integer i = 0; i < sections_->Count(); ++i) out.push_back(sections_->Strings(i));
  return out;
}

std::string TTranslations::TranslateFormString(const std::string& className, const std::string& text) {
  if (text.size() >= 3 && text.front() == '[' && text.back() == ']')
    return TranslateQualified(className, text.substr(1, text.size() - 2));
  return text;
}

void InitializeTranslations(const std::string& fileName) {
  if (!Translations) Translations = new TTranslations(fileName);
}

void FinalizeTranslations() {
  delete Translations;
  Translations = nullptr;
}

std::string Translate(const std::string& key) { return Translations ? Translations->Translate(key) : key; }

void TranslateFormTexts(TComponent* root) {
  if (!Translations || !root) return;
  const std::string cls = root->ClassName();
  auto translate = [&](const std::string& text) { return Translations->TranslateFormString(cls, text); };
  auto pass = [&](TComponent* c) { TranslateComponentTexts(c, translate); };
  pass(root);
  for (Integer i = 0; i < root->ComponentCount(); ++i) pass(root->Components(i));
}

}  // namespace px
