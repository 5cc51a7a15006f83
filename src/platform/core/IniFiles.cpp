#include "platform/core/IniFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <unordered_map>
#include <vector>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/Streams.h"
#include "platform/core/StringList.h"
#include "platform/core/StringUtils.h"

namespace px {

namespace {

constexpr std::string_view utf8Bom = "\xEF\xBB\xBF";

// The form in which names are compared: lower case, by the Unicode rules for
// text outside ASCII.
std::string fold(std::string_view s) {
  if (std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return LowerCase(s);
  return UnicodeToUtf8(UnicodeLowerCase(Utf8ToUnicode(s)));
}

std::string asUtf8(std::string_view s) { return IsValidUtf8(s) ? std::string(s) : AnsiToUtf8(s); }

[[noreturn]] void raiseNotStorable(const std::string& text) {
  throw EIniFileException("Cannot store \"" + text + "\" in an INI file");
}

// What a write stores: trimmed UTF-8 that reads back the same.
std::string storable(std::string_view s) {
  std::string text = asUtf8(Trim(s));
  if (text.find_first_of("\r\n") != std::string::npos) raiseNotStorable(text);
  return text;
}

// An entry whose line would read back as something else (a comment, a
// section header, another name) cannot be written.
void checkEntry(const std::string& name, const std::string& value) {
  std::string line = name + "=" + value;
  if (name.find('=') != std::string::npos || line.starts_with(';') || (line.starts_with('[') && line.ends_with(']')))
    raiseNotStorable(line);
}

const TFormatSettings& fileFormat() {
  // Numbers in files do not depend on the user's locale.
  static const TFormatSettings settings = DefaultFormatSettings();
  return settings;
}

}  // namespace

// ---------------------------------------------------------------- TCustomIniFile

Integer TCustomIniFile::ReadInteger(const std::string& section, const std::string& ident, Integer defaultValue) {
  return StrToIntDef(ReadString(section, ident, ""), defaultValue);
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& ident, Integer value) {
  WriteString(section, ident, IntToStr(value));
}

bool TCustomIniFile::ReadBool(const std::string& section, const std::string& ident, bool defaultValue) {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

double TCustomIniFile::ReadFloat(const std::string& section, const std::string& ident, double defaultValue) {
  std::string text = ReadString(section, ident, "");
  double value;
  return !text.empty() && TryStrToFloat(text, value, fileFormat()) ? value : defaultValue;
}

void TCustomIniFile::WriteFloat(const std::string& section, const std::string& ident, double value) {
  WriteString(section, ident, FloatToStr(value, fileFormat()));
}

// ---------------------------------------------------------------- TMemIniFile

struct TMemIniFile::Data {
  struct Line {
    std::string name;  // the whole text for a line that is no entry
    std::string value;
    bool entry = false;
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
    std::unordered_map<std::string, size_t> keys;  // folded name -> its first entry

    const Line* find(std::string_view ident) const {
      auto it = keys.find(fold(ident));
      return it == keys.end() ? nullptr : &lines[it->second];
    }
    void add(std::string name, std::string value) {
      keys.try_emplace(fold(name), lines.size());
      lines.push_back(Line{std::move(name), std::move(value), true});
    }
    void reindex() {
      keys.clear();
      for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].entry) keys.try_emplace(fold(lines[i].name), i);
    }
    // First occurrences of each name, in file order.
    template <class F>
    void forEachEntry(F f) const {
      for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].entry && keys.at(fold(lines[i].name)) == i) f(lines[i]);
    }
  };

  std::vector<std::string> preamble;  // lines before the first section
  std::vector<Section> sections;
  std::unordered_map<std::string, size_t> index;  // folded name -> section
  bool bom = false;

  Section* find(std::string_view name) {
    auto it = index.find(fold(Trim(name)));
    return it == index.end() ? nullptr : &sections[it->second];
  }
  size_t findOrAdd(const std::string& name) {
    auto [it, added] = index.try_emplace(fold(name), sections.size());
    if (added) sections.push_back(Section{name, {}, {}});
    return it->second;
  }
  void reindex() {
    index.clear();
    for (size_t i = 0; i < sections.size(); ++i) index.try_emplace(fold(sections[i].name), i);
  }
};

TMemIniFile::TMemIniFile(const std::string& fileName) : TCustomIniFile(fileName), data_(std::make_unique<Data>()) {
  loadFile();
}

TMemIniFile::~TMemIniFile() = default;

void TMemIniFile::loadFile() {
  if (fileName_.empty()) return;
  struct stat info;
  if (::stat(fileName_.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) return;
  LoadFromString(ReadFileToString(fileName_));
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& defaultValue) {
  BeforeRead();
  const Data::Section* s = data_->find(section);
  const Data::Line* line = s ? s->find(Trim(ident)) : nullptr;
  return line ? line->value : defaultValue;
}

void TMemIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  std::string name = storable(ident);
  std::string text = storable(value);
  std::string sectionName = storable(section);
  checkEntry(name, text);
  Change([&] {
    Data::Section& s = data_->sections[data_->findOrAdd(sectionName)];
    auto it = s.keys.find(fold(name));
    if (it != s.keys.end())
      s.lines[it->second].value = std::move(text);
    else
      s.add(std::move(name), std::move(text));
  });
}

void TMemIniFile::ReadSection(const std::string& section, TStrings& strings) {
  BeforeRead();
  UpdateStrings(strings, [&] {
    strings.Clear();
    if (const Data::Section* s = data_->find(section))
      s->forEachEntry([&](const Data::Line& line) { strings.Add(line.name); });
  });
}

void TMemIniFile::ReadSections(TStrings& strings) {
  BeforeRead();
  UpdateStrings(strings, [&] {
    strings.Clear();
    for (const auto& s : data_->sections) strings.Add(s.name);
  });
}

void TMemIniFile::ReadSectionValues(const std::string& section, TStrings& strings) {
  BeforeRead();
  UpdateStrings(strings, [&] {
    strings.Clear();
    if (const Data::Section* s = data_->find(section))
      s->forEachEntry([&](const Data::Line& line) { strings.Add(line.name + "=" + line.value); });
  });
}

bool TMemIniFile::SectionExists(const std::string& section) {
  BeforeRead();
  return data_->find(section) != nullptr;
}

bool TMemIniFile::ValueExists(const std::string& section, const std::string& ident) {
  BeforeRead();
  const Data::Section* s = data_->find(section);
  return s && s->find(Trim(ident));
}

void TMemIniFile::EraseSection(const std::string& section) {
  Change([&] {
    Data::Section* s = data_->find(section);
    if (!s) return;
    data_->sections.erase(data_->sections.begin() + (s - data_->sections.data()));
    data_->reindex();
  });
}

void TMemIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  Change([&] {
    Data::Section* s = data_->find(section);
    if (!s) return;
    std::string key = fold(Trim(ident));
    auto end = std::remove_if(s->lines.begin(), s->lines.end(),
                              [&](const Data::Line& line) { return line.entry && fold(line.name) == key; });
    if (end == s->lines.end()) return;
    s->lines.erase(end, s->lines.end());
    s->reindex();
  });
}

void TMemIniFile::UpdateFile() {
  if (fileName_.empty()) return;
  std::string text = FileText();
  SaveFileAtomically(fileName_, [&text](TStream& file) { file.WriteBuffer(text); });
}

void TMemIniFile::AddSection(const std::string& section) {
  std::string name = storable(section);
  Change([&] { data_->findOrAdd(name); });
}

void TMemIniFile::Clear() { *data_ = Data(); }

void TMemIniFile::LoadFromString(std::string_view bytes) {
  bool bom = bytes.starts_with(utf8Bom);
  if (bom) bytes.remove_prefix(utf8Bom.size());
  TStringList lines;
  lines.SetText(asUtf8(bytes));
  SetStrings(lines);
  data_->bom = bom;
}

void TMemIniFile::LoadFromStream(TStream& stream) {
  TBytes bytes = stream.ReadBytes(stream.Size() - stream.Position());
  LoadFromString(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TMemIniFile::GetStrings(TStrings& lines) const {
  UpdateStrings(lines, [&] {
    lines.Clear();
    for (const auto& text : data_->preamble) lines.Add(text);
    for (const auto& s : data_->sections) {
      lines.Add("[" + s.name + "]");
      for (const auto& line : s.lines) lines.Add(line.entry ? line.name + "=" + line.value : line.name);
      lines.Add("");
    }
  });
}

void TMemIniFile::SetStrings(const TStrings& lines) {
  bool bom = data_->bom;
  Clear();
  data_->bom = bom;
  Data::Section* current = nullptr;
  for (Integer i = 0, n = lines.Count(); i < n; ++i) {
    std::string s = Trim(lines[i]);
    if (s.empty()) continue;
    if (s.size() >= 2 && s.front() == '[' && s.back() == ']') {
      current = &data_->sections[data_->findOrAdd(Trim(std::string_view(s).substr(1, s.size() - 2)))];
      continue;
    }
    size_t eq = s.find('=');
    if (!current)
      data_->preamble.push_back(std::move(s));
    else if (s.front() == ';' || eq == std::string::npos)
      current->lines.push_back(Data::Line{std::move(s), {}, false});
    else
      current->add(Trim(std::string_view(s).substr(0, eq)), Trim(std::string_view(s).substr(eq + 1)));
  }
}

void TMemIniFile::Rename(const std::string& fileName, bool reload) {
  fileName_ = fileName;
  if (reload) {
    Clear();
    loadFile();
  }
}

std::string TMemIniFile::FileText() const {
  TStringList lines;
  GetStrings(lines);
  std::string text;
  for (Integer i = 0, n = lines.Count(); i < n; ++i) {
    text += lines[i];
    text += '\n';
  }
  // Text that itself starts with the mark needs one in front, or a reader
  // would take it for the mark.
  if (data_->bom || text.starts_with(utf8Bom)) text.insert(0, utf8Bom);
  return text;
}

// ---------------------------------------------------------------- TIniFile

namespace {

// An exclusive lock on the folder of a file, held while one change of the
// file is read, made and written, so that instances in other threads or
// processes do not write over each other's changes. The file itself cannot
// carry the lock: every save replaces it. A folder that cannot be opened gets
// no lock; the save then reports what is wrong with it.
class FolderLock {
 public:
  explicit FolderLock(const std::string& fileName) {
    const std::string folder = std::filesystem::path(fileName).parent_path().string();
    fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

// Identifies one version of the file: a save renames a new file into place,
// so any change shows in the inode or the times.
struct TIniFile::Stamp {
  bool valid = false;
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified = {}, changed = {};

  static Stamp of(const std::string& fileName) {
    Stamp stamp;
    stamp.valid = true;
    struct stat info;
    if (::stat(fileName.c_str(), &info) == 0) {
      stamp.exists = true;
      stamp.device = info.st_dev;
      stamp.inode = info.st_ino;
      stamp.size = info.st_size;
      stamp.modified = info.st_mtim;
      stamp.changed = info.st_ctim;
    }
    return stamp;
  }
  bool operator==(const Stamp& o) const {
    return valid && o.valid && exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
  }
};

TIniFile::TIniFile(const std::string& fileName) : TMemIniFile(std::string()), stamp_(std::make_unique<Stamp>()) {
  fileName_ = fileName;
  BeforeRead();
}

TIniFile::~TIniFile() = default;

void TIniFile::BeforeRead() {
  if (changing_ > 0) return;  // a change in progress works on what it has
  Stamp now = Stamp::of(fileName_);
  if (now == *stamp_) return;
  Rename(fileName_, true);
  *stamp_ = now;
}

void TIniFile::Change(const std::function<void()>& change) {
  if (changing_ > 0) {
    change();
    return;
  }
  FolderLock lock(fileName_);
  BeforeRead();
  std::string before = FileText();
  ++changing_;
  try {
    change();
    --changing_;
    if (FileText() == before) return;
    TMemIniFile::UpdateFile();
  } catch (const EStreamError& e) {
    changing_ = 0;
    stamp_->valid = false;  // read the file again next time
    // With the system's reason (a full disk, a missing folder), which the
    // stream's message gives after the file's name.
    std::string reason = e.Message();
    const std::string named = "Cannot create file \"" + fileName_ + "\". ";
    if (reason.starts_with(named)) reason.erase(0, named.size());
    throw EIniFileException("Unable to write to " + fileName_ + ". " + reason);
  } catch (...) {
    changing_ = 0;
    stamp_->valid = false;
    throw;
  }
  *stamp_ = Stamp::of(fileName_);
}

void TIniFile::Modify(const std::function<void(TMemIniFile& content)>& change) {
  Change([&] { change(*this); });
}

}  // namespace px
