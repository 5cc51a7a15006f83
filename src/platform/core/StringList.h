#pragma once
// String lists: the abstract TStrings with the text forms shared by every
// list (Text, CommaText, DelimitedText, Names/Values), and TStringList, the
// list that stores its strings with an untyped object pointer each.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Types.h"

namespace px {

class TStream;

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStrings : public TPersistent {
 public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;

  virtual Integer Count() const = 0;
  // Bounds-checked access; a bad index raises EStringListError
  // "List index out of bounds (<index>)".
  virtual std::string Get(Integer index) const = 0;
  virtual void Put(Integer index, const std::string& s) = 0;
  virtual void* GetObject(Integer index) const = 0;
  virtual void PutObject(Integer index, void* object) = 0;
  virtual void Insert(Integer index, const std::string& s) = 0;
  virtual void InsertObject(Integer index, const std::string& s, void* object);
  virtual void Delete(Integer index) = 0;
  virtual void Clear() = 0;
  virtual Integer Add(const std::string& s) { return AddObject(s, nullptr); }
  virtual Integer AddObject(const std::string& s, void* object);
  virtual Integer IndexOf(const std::string& s) const;
  virtual void Exchange(Integer index1, Integer index2);

  std::string Strings(Integer index) const { return Get(index); }
  std::string operator[](Integer index) const { return Get(index); }
  void* Objects(Integer index) const { return GetObject(index); }

  Integer IndexOfName(const std::string& name) const;
  Integer IndexOfObject(const void* object) const;
  // From another string list: copies its strings, objects and text settings
  // (replacing the own ones).
  void Assign(const TPersistent* source) override;
  void AddStrings(const TStrings& source);

  // Name=Value lines. Names(i) is the text before the first separator (empty
  // when there is none); setting a value to "" deletes the line.
  std::string Names(Integer index) const;
  std::string Values(const std::string& name) const;
  void SetValue(const std::string& name, const std::string& value);
  std::string ValueFromIndex(Integer index) const;
  void SetValueFromIndex(Integer index, const std::string& value);

  // Every line followed by CR LF. Setting splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(std::string_view text);
  // Delimiter ',', QuoteChar '"', blanks also separate; quoted items keep
  // their delimiters and blanks, doubled quotes inside stand for one.
  std::string CommaText() const;
  void SetCommaText(std::string_view text);
  // The same with Delimiter, QuoteChar and StrictDelimiter (when set, only
  // the delimiter separates and blanks are kept).
  std::string DelimitedText() const;
  void SetDelimitedText(std::string_view text);

  // Reading takes the remaining bytes of the stream (a UTF-8 byte order mark
  // is dropped); saving a file replaces it atomically.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

  // Change notification: OnChanging before and OnChange after every change,
  // held back between BeginUpdate and the matching EndUpdate (which then
  // fires OnChange once).
  void BeginUpdate();
  void EndUpdate();
  Integer UpdateCount() const { return updateCount_; }

  char Delimiter = ',';
  char QuoteChar = '"';
  char NameValueSeparator = '=';
  bool StrictDelimiter = false;
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  // < 0, 0 or > 0; TStringList compares with the locale collation.
  virtual int CompareStrings(const std::string& a, const std::string& b) const;
  virtual void SetUpdateState(bool updating);
  [[noreturn]] static void RaiseIndexError(Integer index);
  void Changing();
  void Changed();

 private:
  std::string delimitedText(char delimiter, char quote, bool strict) const;
  void setDelimitedText(std::string_view text, char delimiter, char quote, bool strict);

  Integer updateCount_ = 0;
};

// Runs change between BeginUpdate and EndUpdate of the list (EndUpdate also
// when change throws), so that the list reports the whole change once.
template <class F>
void UpdateStrings(TStrings& strings, F change) {
  strings.BeginUpdate();
  try {
    change();
  } catch (...) {
    strings.EndUpdate();
    throw;
  }
  strings.EndUpdate();
}

class TStringList : public TStrings {
 public:
  using TStringListSortCompare = std::function<int(TStringList& list, Integer index1, Integer index2)>;

  TStringList() = default;

  Integer Count() const override { return static_cast<Integer>(items_.size()); }
  std::string Get(Integer index) const override;
  void Put(Integer index, const std::string& s) override;
  void* GetObject(Integer index) const override;
  void PutObject(Integer index, void* object) override;
  // Raises EStringListError "Operation not allowed on sorted list" on a
  // sorted list; the index may be Count (append).
  void Insert(Integer index, const std::string& s) override;
  void InsertObject(Integer index, const std::string& s, void* object) override;
  void Delete(Integer index) override;
  void Clear() override;
  // On a sorted list the string goes to its place; an equal string already
  // there is kept (dupIgnore, returning its index), added (dupAccept) or
  // refused with EStringListError "String list does not allow duplicates".
  Integer AddObject(const std::string& s, void* object) override;
  Integer IndexOf(const std::string& s) const override;
  void Exchange(Integer index1, Integer index2) override;

  // Binary search; only meaningful on a sorted list. Returns true when found;
  // index is the match (the first one with dupAccept) or the insert position.
  bool Find(const std::string& s, Integer& index) const;
  void Sort();
  void CustomSort(const TStringListSortCompare& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  // Off by default: comparisons then ignore case (AnsiCompareText).
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);
  TDuplicates Duplicates = dupIgnore;

 protected:
  int CompareStrings(const std::string& a, const std::string& b) const override;

 private:
  struct Item {
    std::string string;
    void* object = nullptr;
  };
  void checkIndex(Integer index) const;
  void insertItem(Integer index, const std::string& s, void* object);

  std::vector<Item> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
};

}  // namespace px
