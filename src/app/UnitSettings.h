#pragma once
// The settings of the program, kept in the registry key
// "\Software\Pondarix\V1" of the current user. Loaded and written straight
// back at start-up, written again only by the settings screen's save buttons.
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "platform/core/Classes.h"
#include "platform/core/Types.h"

namespace px {

class TSettings : public TObject {
 public:
  static constexpr const char* KeyPath = "\\Software\\Pondarix\\V1";

  std::string Datasets;  // ends with "/" when set
  std::string Company;
  std::string LogoFile;
  std::string Database;
  Integer InitialDrawer = 0;
  std::string StartLanguage;  // Language as loaded; names the list values
  std::string Language;
  bool MustDrawer = false;
  std::string Password;  // 40 upper-case hex digits of the SHA-1, or empty
  bool MustEmployee = false;
  bool PasswordGiven = false;
  Integer Device = 0;  // 0 none, 1 the scale, 2 the receipt printer
  // The login on a database server (a "Database" of the form host:/path).
  // Set by the shop's administrator in the settings file, read at start and
  // never written back nor shown; empty: the client library's environment
  // (ISC_USER, ISC_PASSWORD) decides.
  std::string DatabaseUser;
  std::string DatabasePassword;
  // Seconds a database call may take (connecting included) before it is
  // given up; read like the two above. Values below 1 mean the default.
  Integer DatabaseTimeout = DefaultDatabaseTimeout;
  static constexpr Integer DefaultDatabaseTimeout = 30;
  // DatabaseTimeout within its sensible range.
  Integer DatabaseTimeoutSeconds() const;

  // Reads the values that exist. A value stored with another type than the
  // one its field has is reported (debug output and one message box for the
  // whole load) and skipped, so the field keeps what it held; the next Save
  // writes it with the right type. Without the key nothing is read.
  void Load();
  // Writes every value, creating the key when missing; nothing when even
  // that fails.
  void Save();
  // The list value N of the start language ("31nlNLList"); empty when absent.
  std::string ReadList(Integer n);
  void WriteList(Integer n, const std::string& text);
  // Asks for the password once per run; true when none is set.
  bool CheckPassword();

  // The folder of the dataset files (and of the database when no location
  // is set): Datasets when set, else the per-user data folder.
  std::string DataFolder() const;

  // The registry values that Load found with the wrong type.
  const std::vector<std::string>& WrongTypes() const { return wrongTypes_; }

 private:
  std::vector<std::string> wrongTypes_;
};

// The one settings object, made, loaded and saved by the start-up sequence.
extern TSettings* Settings;
void InitializeSettings();
void FinalizeSettings();

// $XDG_DATA_HOME/Pondarix/ ($HOME/.local/share/Pondarix/ when XDG_DATA_HOME
// is unset, empty or relative), ending with "/".
std::string UserDataFolder();

// The upper-case hexadecimal SHA-1 of the password's bytes, as stored.
std::string PasswordDigest(const std::string& password);

// The DisplayName field of a denomination record holds the package weight
// (1/10000 g), a tab and the name shown; a text without a tab is the name
// alone, with package weight 0.
Integer PackageWeight(const TMemRecord* denomination);
void SetPackageWeight(TMemRecord* denomination, Integer weight);
std::string DisplayNameText(const TMemRecord* denomination);
void SetDisplayNameText(TMemRecord* denomination, const std::string& name);

// Records of one currency with the same type and value lie next to each other
// in the denominations table: they are the issues of one denomination. The
// version is 0 for a denomination with one issue, else the record's 1-based
// place among its issues.
Integer DenominationVersion(const TMemRecord* denomination);

}  // namespace px
