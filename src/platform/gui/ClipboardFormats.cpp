#include "platform/gui/ClipboardFormats.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <vector>

namespace px {

namespace {

struct Registry {
  std::mutex lock;
  std::map<std::string, Word> byKey;  // lower-case name -> number
  std::vector<std::string> names;     // index: number - 0xC000
};

Registry& registry() {
  static Registry r;
  return r;
}

std::string foldCase(const std::string& s) {
  std::string out = s;
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

const char* const kStandardNames[16] = {
    "Plain text", "Windows bitmap", "Windows metafile", "Symbolic link", "Data interchange format", "Tiff image",
    "OEM text",   "DIB image",      "Palette data",     "Pen data",      "Riff audio data",         "Wav audio data",
    "Unicode text", "Enhanced metafile image", "File name(s)", "Locale descriptor"};

}  // namespace

Word RegisterClipboardFormat(const std::string& name) {
  if (name.empty()) return 0;
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  const std::string key = foldCase(name);
  auto it = r.byKey.find(key);
  if (it != r.byKey.end()) return it->second;
  if (r.names.size() >= 0x4000) return 0;
  const Word number = static_cast<Word>(FirstRegisteredClipboardFormat + r.names.size());
  r.names.push_back(name);
  r.byKey.emplace(key, number);
  return number;
}

Word FindClipboardFormat(const std::string& name) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.byKey.find(foldCase(name));
  return it != r.byKey.end() ? it->second : Word(0);
}

std::string GetClipboardFormatName(Word format) {
  if (format >= 1 && format <= 16) return kStandardNames[format - 1];
  if (format < FirstRegisteredClipboardFormat) return {};
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  const size_t index = format - FirstRegisteredClipboardFormat;
  return index < r.names.size() ? r.names[index] : std::string();
}

}  // namespace px
