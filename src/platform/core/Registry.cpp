#include "platform/core/Registry.h"

#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "platform/core/IniFiles.h"
#include "platform/core/StringList.h"

namespace px {

namespace {

constexpr char upperHex[] = "0123456789ABCDEF";
constexpr char lowerHex[] = "0123456789abcdef";

std::string percentEncode(std::string_view s, bool isName) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    bool atEnd = i == 0 || i + 1 == s.size();
    bool escape = c == '%' || c < 0x20 || c >= 0x7F || (c == ' ' && atEnd) ||
                  (isName && (c == '=' || c == ';' || c == '[' || c == ']'));
    if (escape) {
      out += '%';
      out += upperHex[c >> 4];
      out += upperHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A "%" without two hexadecimal digits stays as it is.
std::string percentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> splitPath(std::string_view path) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('\\', pos);
    if (end == std::string_view::npos) end = path.size();
    if (end > pos) parts.emplace_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

// The section of a key path (components joined by "\").
std::string sectionOf(const std::string& path) {
  std::string section;
  for (const auto& part : splitPath(path)) {
    if (!section.empty()) section += '\\';
    section += percentEncode(part, false);
  }
  return section;
}

// A key exists when its section or a section below it is in the file.
bool keyExistsIn(TCustomIniFile& ini, const std::string& path) {
  if (path.empty()) return true;
  std::string key = LowerCase(sectionOf(path));
  TStringList sections;
  ini.ReadSections(sections);
  for (Integer i = 0; i < sections.Count(); ++i) {
    std::string s = LowerCase(sections[i]);
    if (s == key || (s.size() > key.size() && s.starts_with(key) && s[key.size()] == '\\')) return true;
  }
  return false;
}

[[noreturn]] void raiseInvalidType(const std::string& name) {
  throw ERegistryException("Invalid data type for '" + name + "'");
}
[[noreturn]] void raiseGetFailed(const std::string& name) {
  throw ERegistryException("Failed to get data for '" + name + "'");
}
[[noreturn]] void raiseSetFailed(const std::string& name) {
  throw ERegistryException("Failed to set data for '" + name + "'");
}

}  // namespace

struct TRegistry::Value {
  bool exists = false;
  TRegDataType type = rdUnknown;
  std::string data;  // text, bytes, or the entry as stored (rdUnknown)
  Integer integer = 0;
};

TRegistry::TRegistry() : file_(std::make_unique<TIniFile>(RegistryFileName())) {}

TRegistry::TRegistry(Cardinal) : TRegistry() {}

TRegistry::~TRegistry() = default;

std::string TRegistry::RegistryFileName() {
  std::string base;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (config && config[0] == '/') {
    base = config;
  } else if (home && home[0] != '\0') {
    base = std::string(home) + "/.config";
  } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
    base = std::string(user->pw_dir) + "/.config";
  } else {
    base = ".config";
  }
  return base + "/Pondarix/registry.ini";
}

void TRegistry::SetRootKey(HKEY rootKey) {
  CloseKey();
  rootKey_ = rootKey;
}

std::string TRegistry::resolve(const std::string& key) const {
  bool absolute = !key.empty() && key[0] == '\\';
  std::string path;
  std::vector<std::string> parts = splitPath(absolute || !keyOpen_ ? std::string() : currentPath_);
  for (auto& part : splitPath(key)) parts.push_back(std::move(part));
  for (const auto& part : parts) {
    if (!path.empty()) path += '\\';
    path += part;
  }
  return path;
}

bool TRegistry::exists(const std::string& path) { return rootKey_ == HKEY_CURRENT_USER && keyExistsIn(*file_, path); }

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  if (rootKey_ != HKEY_CURRENT_USER) return false;
  std::string path = resolve(key);
  if (!exists(path)) {
    if (!canCreate) return false;
    try {
      CreateKey("\\" + path);
    } catch (const Exception&) {
      return false;
    }
  }
  currentPath_ = path;
  keyOpen_ = true;
  readOnly_ = false;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  if (!OpenKey(key, false)) return false;
  readOnly_ = true;
  return true;
}

void TRegistry::CloseKey() {
  currentPath_.clear();
  keyOpen_ = false;
  readOnly_ = false;
}

bool TRegistry::CreateKey(const std::string& key) {
  std::string path = resolve(key);
  if (exists(path)) return true;
  try {
    if (rootKey_ != HKEY_CURRENT_USER) throw ERegistryException("no such root key");
    // The folder holds a password digest among the settings: only its owner may read it.
    std::filesystem::path folder = std::filesystem::path(file_->FileName()).parent_path();
    std::error_code ec;
    if (std::filesystem::create_directories(folder, ec))
      std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    file_->Modify([&](TMemIniFile& content) { content.AddSection(sectionOf(path)); });
  } catch (const Exception&) {
    throw ERegistryException("Failed to create key " + key);
  }
  return true;
}

bool TRegistry::KeyExists(const std::string& key) { return exists(resolve(key)); }

bool TRegistry::DeleteKey(const std::string& key) {
  std::string path = resolve(key);
  if (path.empty() || !exists(path)) return false;
  std::string section = LowerCase(sectionOf(path));
  try {
    file_->Modify([&](TMemIniFile& content) {
      TStringList sections;
      content.ReadSections(sections);
      for (Integer i = 0; i < sections.Count(); ++i) {
        std::string s = LowerCase(sections[i]);
        if (s == section || (s.starts_with(section) && s.size() > section.size() && s[section.size()] == '\\'))
          content.EraseSection(sections[i]);
      }
    });
  } catch (const Exception&) {
    return false;
  }
  return true;
}

bool TRegistry::ValueExists(const std::string& name) {
  return keyOpen_ && file_->ValueExists(sectionOf(currentPath_), percentEncode(name, true));
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (!keyOpen_ || readOnly_ || !ValueExists(name)) return false;
  try {
    file_->Modify(
        [&](TMemIniFile& content) { content.DeleteKey(sectionOf(currentPath_), percentEncode(name, true)); });
  } catch (const Exception&) {
    return false;
  }
  return true;
}

void TRegistry::GetValueNames(TStrings& strings) {
  TStringList names;
  if (keyOpen_) file_->ReadSection(sectionOf(currentPath_), names);
  UpdateStrings(strings, [&] {
    strings.Clear();
    for (Integer i = 0; i < names.Count(); ++i) strings.Add(percentDecode(names[i]));
  });
}

void TRegistry::GetKeyNames(TStrings& strings) {
  TStringList sections;
  if (keyOpen_) file_->ReadSections(sections);
  std::string prefix = currentPath_.empty() ? std::string() : LowerCase(sectionOf(currentPath_)) + "\\";
  std::set<std::string> seen;
  UpdateStrings(strings, [&] {
    strings.Clear();
    for (Integer i = 0; i < sections.Count(); ++i) {
      std::string s = sections[i];
      if (s.size() <= prefix.size() || !LowerCase(s).starts_with(prefix)) continue;
      std::string child = s.substr(prefix.size(), s.find('\\', prefix.size()) - prefix.size());
      if (!child.empty() && seen.insert(LowerCase(child)).second) strings.Add(percentDecode(child));
    }
  });
}

TRegistry::Value TRegistry::value(const std::string& name) {
  Value v;
  if (!keyOpen_) return v;
  // No entry can hold a line break, so it marks a missing one.
  std::string raw = file_->ReadString(sectionOf(currentPath_), percentEncode(name, true), "\n");
  if (raw == "\n") return v;
  v.exists = true;
  v.data = raw;
  std::string_view text(raw);
  if (text.starts_with("str:")) {
    v.type = rdString;
    v.data = percentDecode(text.substr(4));
  } else if (text.starts_with("int:")) {
    text.remove_prefix(4);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v.integer);
    if (error == std::errc() && end == text.data() + text.size() && !text.empty()) v.type = rdInteger;
  } else if (text.starts_with("hex:")) {
    text.remove_prefix(4);
    std::string bytes;
    bool good = text.size() % 2 == 0;
    for (size_t i = 0; good && i < text.size(); i += 2) {
      int high = hexValue(text[i]), low = hexValue(text[i + 1]);
      good = high >= 0 && low >= 0;
      bytes += static_cast<char>(high * 16 + low);
    }
    if (good) {
      v.type = rdBinary;
      v.data = std::move(bytes);
    }
  }
  return v;
}

void TRegistry::put(const std::string& name, const std::string& data) {
  if (!keyOpen_ || readOnly_) raiseSetFailed(name);
  std::string path = currentPath_;
  try {
    file_->Modify([&](TMemIniFile& content) {
      // The key may have been deleted through another registry object.
      if (!keyExistsIn(content, path)) raiseSetFailed(name);
      content.WriteString(sectionOf(path), percentEncode(name, true), data);
    });
  } catch (const ERegistryException&) {
    throw;
  } catch (const Exception& e) {
    // The settings file could not be written (a full disk, a folder that is
    // not writable): the user learns which file and why.
    throw ERegistryException("Failed to set data for '" + name + "'\n" + e.Message());
  }
}

TRegDataType TRegistry::GetDataType(const std::string& name) { return value(name).type; }

Integer TRegistry::GetDataSize(const std::string& name) {
  Value v = value(name);
  if (!v.exists) return -1;
  if (v.type == rdInteger) return 4;
  return static_cast<Integer>(v.data.size()) + (v.type == rdString ? 1 : 0);
}

std::string TRegistry::ReadString(const std::string& name) {
  Value v = value(name);
  if (!v.exists) return std::string();
  if (v.type != rdString && v.type != rdExpandString) raiseInvalidType(name);
  return v.data;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  put(name, "str:" + percentEncode(value, false));
}

Integer TRegistry::ReadInteger(const std::string& name) {
  Value v = value(name);
  if (!v.exists) raiseGetFailed(name);
  if (v.type != rdInteger) raiseInvalidType(name);
  return v.integer;
}

void TRegistry::WriteInteger(const std::string& name, Integer value) { put(name, "int:" + std::to_string(value)); }

bool TRegistry::ReadBool(const std::string& name) { return ReadInteger(name) != 0; }

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

double TRegistry::ReadFloat(const std::string& name) {
  Value v = value(name);
  if (!v.exists) raiseGetFailed(name);
  double result;
  if (v.type != rdBinary || v.data.size() != sizeof result) raiseInvalidType(name);
  std::memcpy(&result, v.data.data(), sizeof result);
  return result;
}

void TRegistry::WriteFloat(const std::string& name, double value) { WriteBinaryData(name, &value, sizeof value); }

Integer TRegistry::ReadBinaryData(const std::string& name, void* buffer, Integer bufferSize) {
  Value v = value(name);
  if (!v.exists) return 0;
  if (v.type != rdBinary || static_cast<Int64>(v.data.size()) > bufferSize) raiseInvalidType(name);
  if (!v.data.empty()) std::memcpy(buffer, v.data.data(), v.data.size());
  return static_cast<Integer>(v.data.size());
}

void TRegistry::WriteBinaryData(const std::string& name, const void* buffer, Integer bufferSize) {
  if (bufferSize < 0 || (bufferSize > 0 && buffer == nullptr)) raiseSetFailed(name);
  std::string data = "hex:";
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  for (Integer i = 0; i < bufferSize; ++i) {
    data += lowerHex[bytes[i] >> 4];
    data += lowerHex[bytes[i] & 15];
  }
  put(name, data);
}

}  // namespace px
