#pragma once
// INI files: "[Section]" lines followed by "Name=Value" lines.
//
// Sections and names compare without regard to case. A value is everything
// after the first "=", without quoting or escapes; blanks around names and
// values are dropped. Lines starting with ";" are comments; they and lines
// without "=" are kept as they are when the file is written back but are not
// entries. A section that appears twice is one section. Blank lines are
// dropped.
//
// Text is UTF-8. A file is read as UTF-8 (a byte order mark is dropped and
// written back) or, when its bytes are not valid UTF-8, as Windows-1252.
// Text handed to the write operations that is not valid UTF-8 is taken as
// Windows-1252, so that the file always stays valid UTF-8.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/Classes.h"
#include "platform/core/Types.h"

namespace px {

class TStream;
class TStrings;

class TCustomIniFile : public TObject {
 public:
  explicit TCustomIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
  const std::string& FileName() const { return fileName_; }

  virtual std::string ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) = 0;
  // A line break in any part, a name that contains "=", or an entry whose
  // line would read back as a comment or a section header cannot be stored
  // in the file and raises EIniFileException.
  virtual void WriteString(const std::string& section, const std::string& ident, const std::string& value) = 0;
  // Decimal, or hexadecimal after "$" or "0x"; anything else gives the default.
  Integer ReadInteger(const std::string& section, const std::string& ident, Integer defaultValue);
  void WriteInteger(const std::string& section, const std::string& ident, Integer value);
  // An integer other than 0 is true; written as "1" or "0".
  bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue);
  void WriteBool(const std::string& section, const std::string& ident, bool value);
  // Floating point with "." as decimal separator; anything else gives the default.
  double ReadFloat(const std::string& section, const std::string& ident, double defaultValue);
  void WriteFloat(const std::string& section, const std::string& ident, double value);

  // The names of the section's entries, in file order (the list is cleared first).
  virtual void ReadSection(const std::string& section, TStrings& strings) = 0;
  // The names of all sections, in file order.
  virtual void ReadSections(TStrings& strings) = 0;
  // The section's entries as "Name=Value" lines.
  virtual void ReadSectionValues(const std::string& section, TStrings& strings) = 0;
  // A section exists when its header is in the file, even without entries.
  virtual bool SectionExists(const std::string& section) = 0;
  virtual bool ValueExists(const std::string& section, const std::string& ident) = 0;
  virtual void EraseSection(const std::string& section) = 0;
  // Removes every entry of that name from the section.
  virtual void DeleteKey(const std::string& section, const std::string& ident) = 0;
  virtual void UpdateFile() = 0;

 protected:
  std::string fileName_;
};

// The whole file in memory; read when the object is made (a missing file
// gives an empty one) and written only by UpdateFile, atomically.
class TMemIniFile : public TCustomIniFile {
 public:
  // An empty file name gives an in-memory file that UpdateFile does not write.
  explicit TMemIniFile(const std::string& fileName = {});
  ~TMemIniFile() override;

  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& defaultValue) override;
  void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
  void ReadSection(const std::string& section, TStrings& strings) override;
  void ReadSections(TStrings& strings) override;
  void ReadSectionValues(const std::string& section, TStrings& strings) override;
  bool SectionExists(const std::string& section) override;
  bool ValueExists(const std::string& section, const std::string& ident) override;
  void EraseSection(const std::string& section) override;
  void DeleteKey(const std::string& section, const std::string& ident) override;
  // Writes the file atomically; nothing happens without a file name.
  void UpdateFile() override;

  // Adds an empty section unless it exists.
  void AddSection(const std::string& section);
  void Clear();
  // Replaces the content with the file's text (its raw bytes, decoded as
  // described above); a stream is read from its position to its end.
  void LoadFromString(std::string_view bytes);
  void LoadFromStream(TStream& stream);
  // The content as the lines of the file, and back.
  void GetStrings(TStrings& lines) const;
  void SetStrings(const TStrings& lines);
  // Changes the file name; with reload the content is read from that file.
  void Rename(const std::string& fileName, bool reload);
  // The bytes UpdateFile writes.
  std::string FileText() const;

 protected:
  // Called before every read, and with every change of the entries
  // (WriteString, EraseSection, DeleteKey, AddSection).
  virtual void BeforeRead() {}
  virtual void Change(const std::function<void()>& change) { change(); }

 private:
  void loadFile();
  struct Data;
  std::unique_ptr<Data> data_;
};

// Every write goes through to the file at once (atomically), and every read
// first picks up changes that others made to the file meanwhile. A failed
// write raises EIniFileException "Unable to write to <file>. <reason>" and leaves the
// file and the values read from it as they were. A change holds a lock on
// the file's folder from reading the file to writing it, so that instances in
// other threads and processes lose none of each other's changes; a change
// (Modify) must therefore not write another INI file of the same folder. Clear, LoadFromString,
// LoadFromStream and SetStrings act on the memory only.
class TIniFile : public TMemIniFile {
 public:
  explicit TIniFile(const std::string& fileName);
  ~TIniFile() override;

  // Nothing is pending: every write is in the file already.
  void UpdateFile() override {}
  // Applies several changes to the current content and writes the file once.
  // When the change throws, nothing is written and the exception passes on.
  void Modify(const std::function<void(TMemIniFile& content)>& change);

 protected:
  void BeforeRead() override;
  void Change(const std::function<void()>& change) override;

 private:
  struct Stamp;
  std::unique_ptr<Stamp> stamp_;
  int changing_ = 0;
};

}  // namespace px
