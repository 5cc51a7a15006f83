#include "app/UnitSettings.h"

#include <cstdlib>
#include <functional>

#include "app/UnitGetPassword.h"
#include "app/UnitScreenSupport.h"
#include "data/UnitSHA.h"
#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/Registry.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitTranslation.h"
#include "ui/framework/UnitUtilities.h"

namespace px {

TSettings* Settings = nullptr;

namespace {

// Reads one value when it exists; a value of the wrong type is noted and
// leaves the field as it is.
void readValue(TRegistry& reg, const char* name, std::vector<std::string>& wrong,
               const std::function<void()>& read) {
  if (!reg.ValueExists(name)) return;
  try {
    read();
  } catch (const ERegistryException& e) {
    OutputDebugString(std::string("Settings: ") + e.what() + " (the value is ignored)");
    wrong.push_back(e.what());
  }
}

std::string listValueName(Integer n, const std::string& language) {
  return std::to_string(n) + language + "List";
}

}  // namespace

void TSettings::Load() {
  wrongTypes_.clear();
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKeyReadOnly(KeyPath)) return;
  auto str = [&](const char* name, std::string& field) {
    readValue(reg, name, wrongTypes_, [&] { field = reg.ReadString(name); });
  };
  auto num = [&](const char* name, Integer& field) {
    readValue(reg, name, wrongTypes_, [&] { field = reg.ReadInteger(name); });
  };
  auto flag = [&](const char* name, bool& field) {
    readValue(reg, name, wrongTypes_, [&] { field = reg.ReadBool(name); });
  };
  str("Datasets", Datasets);
  str("Company", Company);
  str("LogoFile", LogoFile);
  str("Database", Database);
  str("Language", Language);
  str("Password", Password);
  num("InitialDrawer", InitialDrawer);
  flag("MustEmployee", MustEmployee);
  flag("MustDrawer", MustDrawer);
  num("Device", Device);
  str("DatabaseUser", DatabaseUser);
  str("DatabasePassword", DatabasePassword);
  num("DatabaseTimeout", DatabaseTimeout);
  if (!Datasets.empty() && Datasets.back() != '/') Datasets += '/';
  if (Translations) Translations->SetLanguage(Language);
  StartLanguage = Language;
  if (!wrongTypes_.empty()) {
    std::string text;
    for (const std::string& w : wrongTypes_) text += w + "\n";
    text += "The setting keeps its default and is written again with the right type.";
    MessageDlg(text, mtWarning, TMsgDlgButtons{mbOK});
  }
}

Integer TSettings::DatabaseTimeoutSeconds() const {
  if (DatabaseTimeout < 1) return DefaultDatabaseTimeout;
  // An hour is longer than anyone waits at a counting desk; a larger value
  // is a typing error, not a wish to wait for days.
  return DatabaseTimeout > 3600 ? 3600 : DatabaseTimeout;
}

void TSettings::Save() {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKey(KeyPath, true)) return;
  reg.WriteString("Datasets", Datasets);
  reg.WriteString("Company", Company);
  reg.WriteString("LogoFile", LogoFile);
  reg.WriteString("Database", Database);
  reg.WriteString("Language", Language);
  reg.WriteString("Password", Password);
  reg.WriteInteger("InitialDrawer", InitialDrawer);
  reg.WriteBool("MustEmployee", MustEmployee);
  reg.WriteBool("MustDrawer", MustDrawer);
  reg.WriteInteger("Device", Device);
}

std::string TSettings::ReadList(Integer n) {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKeyReadOnly(KeyPath)) return {};
  const std::string name = listValueName(n, StartLanguage);
  if (!reg.ValueExists(name)) return {};
  try {
    return reg.ReadString(name);
  } catch (const ERegistryException& e) {
    // A layout stored with another type is no layout: the grid keeps its own.
    OutputDebugString(std::string("Settings: ") + e.what());
    return {};
  }
}

void TSettings::WriteList(Integer n, const std::string& text) {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKey(KeyPath, true)) return;
  try {
    reg.WriteString(listValueName(n, StartLanguage), text);
  } catch (const ERegistryException& e) {
    // A grid layout is a convenience, stored while a screen is freed: a
    // settings file that cannot be written must not break the teardown.
    OutputDebugString(std::string("Settings: ") + e.what());
  }
}

std::string UserDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/Pondarix/";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share/Pondarix/";
}

std::string TSettings::DataFolder() const { return Datasets.empty() ? UserDataFolder() : Datasets; }

std::string PasswordDigest(const std::string& password) {
  TSHADigest digest;
  SHA1OfString(Utf8ToAnsi(password), digest);
  AnsiString hex;
  SHA1DigestToHex(digest, hex);
  return hex;
}

bool TSettings::CheckPassword() {
  if (PasswordGiven) return true;
  if (Password.empty()) {
    PasswordGiven = true;
    return true;
  }
  // A screen asks while it is created inside the main window's locked frame
  // switch; the dialog must be painted.
  ReleaseWindowUpdateLock();
  std::string entered;
  bool ok = false;
  {
    TObjectPtr<TfrmGetPassword> dialog(TfrmGetPassword::Create());
    ok = dialog->ShowModal() == mrOk;
    if (ok) entered = dialog->edPassword->Text();
  }
  // An entry with characters the single-byte form cannot hold was never set
  // as the password; its "?"s must not match one that holds "?".
  PasswordGiven = ok && CharactersNotStored(entered).empty() && PasswordDigest(entered) == Password;
  // A wrong entry is told, not only refused: the screen that asked stays
  // empty, and a beep alone does not say why.
  if (ok && !PasswordGiven) MessageDlg(Translate("WrongPassword"), mtWarning, TMsgDlgButtons{mbOK});
  return PasswordGiven;
}

void InitializeSettings() {
  if (Settings) return;
  Settings = MakeObject<TSettings>().release();
  Settings->Load();
  Settings->Save();
}

void FinalizeSettings() {
  FreeObject(Settings);
  Settings = nullptr;
}

namespace {
const std::string displayNameField = "DisplayName";
}

// The field is read as it is written: weight first, then the name.
Integer PackageWeight(const TMemRecord* denomination) {
  const std::string text = denomination->GetAnsiStringByName(displayNameField);
  const size_t tab = text.find('\t');
  int32_t weight = 0;
  if (tab == std::string::npos || !TryStrToInt(std::string_view(text).substr(0, tab), weight)) return 0;
  return weight;
}

std::string DisplayNameText(const TMemRecord* denomination) {
  const std::string text = denomination->GetAnsiStringByName(displayNameField);
  const size_t tab = text.find('\t');
  return tab == std::string::npos ? text : text.substr(tab + 1);
}

void SetPackageWeight(TMemRecord* denomination, Integer weight) {
  denomination->SetAnsiStringByName(displayNameField, IntToStr(weight) + "\t" + DisplayNameText(denomination));
}

void SetDisplayNameText(TMemRecord* denomination, const std::string& name) {
  denomination->SetAnsiStringByName(displayNameField, IntToStr(PackageWeight(denomination)) + "\t" + name);
}

namespace {
bool sameDenomination(const TMemRecord* a, const TMemRecord* b) {
  static const std::string type = "Type", value = "Value";
  return a && b && a->GetAnsiString(0) == b->GetAnsiString(0) && a->GetIntegerByName(type) == b->GetIntegerByName(type) &&
         a->GetIntegerByName(value) == b->GetIntegerByName(value);
}
}  // namespace

Integer DenominationVersion(const TMemRecord* denomination) {
  if (!sameDenomination(denomination, denomination->GetPrior()) &&
      !sameDenomination(denomination, denomination->GetNext()))
    return 0;
  Integer version = 1;
  for (const TMemRecord* r = denomination->GetPrior(); sameDenomination(denomination, r); r = r->GetPrior()) ++version;
  return version;
}

}  // namespace px
