#pragma once
// The registry of the current user, kept in a settings file of that user:
// $XDG_CONFIG_HOME/Pondarix/registry.ini ($HOME/.config when XDG_CONFIG_HOME
// is unset, empty or relative).
//
// The file is an INI file with one section per key that was created or
// holds values; the section name is the key path without leading "\" (for
// example [Software\Pondarix\V1]). Keys above it exist implicitly. Key paths
// and value names compare without regard to case. Each value is one entry
// whose text starts with its type:
//   Name=str:<text>     string
//   Name=int:<decimal>  32-bit integer
//   Name=hex:<hex>      binary data, two lower-case hexadecimal digits a byte
// Names and string texts are percent-encoded: "%", control characters, bytes
// above 0x7F, the characters "=;[]" in names and a blank at either end are
// written as "%" and two hexadecimal digits, so the file is plain ASCII and
// every byte survives. An entry in another form reads as rdUnknown.
//
// Every change is written to the file at once (atomically) before the call
// returns; every call first reads changes that other registry objects or
// processes made meanwhile.
#include <memory>
#include <string>

#include "platform/core/Classes.h"
#include "platform/core/Types.h"

namespace px {

class TIniFile;
class TStrings;

using HKEY = uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;

// Access rights, accepted and ignored apart from what OpenKeyReadOnly implies.
constexpr Cardinal KEY_READ = 0x20019;
constexpr Cardinal KEY_WRITE = 0x20006;
constexpr Cardinal KEY_ALL_ACCESS = 0xF003F;

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TRegistry : public TObject {
 public:
  TRegistry();
  explicit TRegistry(Cardinal access);
  ~TRegistry() override;
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // The settings file for the current environment.
  static std::string RegistryFileName();

  // Only HKEY_CURRENT_USER holds keys; under any other root no key opens.
  HKEY RootKey() const { return rootKey_; }
  void SetRootKey(HKEY rootKey);
  // The open key's path without leading "\" (empty when none is open).
  const std::string& CurrentPath() const { return currentPath_; }
  bool HasCurrentKey() const { return keyOpen_; }

  // A key starting with "\" is taken from the root, any other from the open
  // key. Returns false when the key does not exist and is not (or cannot be)
  // created; the previously open key then stays open.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();
  bool CreateKey(const std::string& key);
  bool KeyExists(const std::string& key);
  // Deletes the key with all its subkeys and values.
  bool DeleteKey(const std::string& key);

  // Values of the open key.
  bool ValueExists(const std::string& name);
  bool DeleteValue(const std::string& name);
  void GetValueNames(TStrings& strings);
  void GetKeyNames(TStrings& strings);
  // rdUnknown when missing.
  TRegDataType GetDataType(const std::string& name);
  // Bytes of the value (a string counts with a terminating zero); -1 when missing.
  Integer GetDataSize(const std::string& name);

  // Reading a value of another type raises ERegistryException "Invalid data
  // type for '<name>'"; a missing string reads as "", a missing binary value
  // as 0 bytes, and any other missing value raises ERegistryException
  // "Failed to get data for '<name>'". A write without an open writable key,
  // or one that cannot be saved, raises ERegistryException
  // "Failed to set data for '<name>'".
  std::string ReadString(const std::string& name);
  void WriteString(const std::string& name, const std::string& value);
  Integer ReadInteger(const std::string& name);
  void WriteInteger(const std::string& name, Integer value);
  // Integers 0 and 1.
  bool ReadBool(const std::string& name);
  void WriteBool(const std::string& name, bool value);
  // Eight bytes of binary data.
  double ReadFloat(const std::string& name);
  void WriteFloat(const std::string& name, double value);
  // Returns the size of the value; a buffer smaller than the value raises
  // "Invalid data type for '<name>'".
  Integer ReadBinaryData(const std::string& name, void* buffer, Integer bufferSize);
  void WriteBinaryData(const std::string& name, const void* buffer, Integer bufferSize);

 private:
  struct Value;
  std::string resolve(const std::string& key) const;
  bool exists(const std::string& path);
  Value value(const std::string& name);
  void put(const std::string& name, const std::string& data);

  std::unique_ptr<TIniFile> file_;
  HKEY rootKey_ = HKEY_CURRENT_USER;
  std::string currentPath_;
  bool keyOpen_ = false;
  bool readOnly_ = false;
};

}  // namespace px
