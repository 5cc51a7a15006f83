#include "platform/core/StringList.h"

#include <algorithm>
#include <numeric>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "platform/core/StringUtils.h"

namespace px {

namespace {

bool isBlank(char c) { return c >= 1 && c <= ' '; }

}  // namespace

// ---------------------------------------------------------------- TStrings

void TStrings::RaiseIndexError(Integer index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

int TStrings::CompareStrings(const std::string& a, const std::string& b) const { return AnsiCompareText(a, b); }

void TStrings::InsertObject(Integer index, const std::string& s, void* object) {
  Insert(index, s);
  PutObject(index, object);
}

Integer TStrings::AddObject(const std::string& s, void* object) {
  Integer index = Count();
  InsertObject(index, s, object);
  return index;
}

Integer TStrings::IndexOf(const std::string& s) const {
  for (Integer i = 0, n = Count(); i < n; ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

void TStrings::Exchange(Integer index1, Integer index2) {
  UpdateStrings(*this, [&] {
    std::string s = Get(index1);
    void* object = GetObject(index1);
    Put(index1, Get(index2));
    PutObject(index1, GetObject(index2));
    Put(index2, s);
    PutObject(index2, object);
  });
}

Integer TStrings::IndexOfName(const std::string& name) const {
  for (Integer i = 0, n = Count(); i < n; ++i) {
    std::string s = Get(i);
    size_t p = s.find(NameValueSeparator);
    if (p != std::string::npos && CompareStrings(s.substr(0, p), name) == 0) return i;
  }
  return -1;
}

Integer TStrings::IndexOfObject(const void* object) const {
  for (Integer i = 0, n = Count(); i < n; ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

void TStrings::Assign(const TPersistent* source) {
  const auto* strings = dynamic_cast<const TStrings*>(source);
  if (strings == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (strings == this) return;
  const TStrings& from = *strings;
  UpdateStrings(*this, [&] {
    Clear();
    Delimiter = from.Delimiter;
    QuoteChar = from.QuoteChar;
    NameValueSeparator = from.NameValueSeparator;
    StrictDelimiter = from.StrictDelimiter;
    AddStrings(from);
  });
}

void TStrings::AddStrings(const TStrings& source) {
  UpdateStrings(*this, [&] {
    for (Integer i = 0, n = source.Count(); i < n; ++i) AddObject(source.Get(i), source.GetObject(i));
  });
}

std::string TStrings::Names(Integer index) const {
  std::string s = Get(index);
  size_t p = s.find(NameValueSeparator);
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::Values(const std::string& name) const {
  Integer i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValue(const std::string& name, const std::string& value) {
  Integer i = IndexOfName(name);
  if (!value.empty()) {
    std::string line = name + NameValueSeparator + value;
    if (i < 0)
      Add(line);
    else
      Put(i, line);
  } else if (i >= 0) {
    Delete(i);
  }
}

std::string TStrings::ValueFromIndex(Integer index) const {
  std::string s = Get(index);
  size_t p = s.find(NameValueSeparator);
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

void TStrings::SetValueFromIndex(Integer index, const std::string& value) {
  if (!value.empty()) {
    std::string s = Get(index);
    size_t p = s.find(NameValueSeparator);
    std::string name = p == std::string::npos ? std::string() : s.substr(0, p);
    Put(index, name + NameValueSeparator + value);
  } else if (index >= 0) {
    Delete(index);
  }
}

std::string TStrings::Text() const {
  std::string text;
  for (Integer i = 0, n = Count(); i < n; ++i) {
    text += Get(i);
    text += "\r\n";
  }
  return text;
}

void TStrings::SetText(std::string_view text) {
  UpdateStrings(*this, [&] {
    Clear();
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = text.size();
      Add(std::string(text.substr(pos, end - pos)));
      pos = end;
      if (pos < text.size() && text[pos] == '\r') ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
  });
}

std::string TStrings::delimitedText(char delimiter, char quote, bool strict) const {
  Integer n = Count();
  if (n == 1 && Get(0).empty()) return std::string(2, quote);
  std::string result;
  for (Integer i = 0; i < n; ++i) {
    std::string s = Get(i);
    bool needsQuotes = std::any_of(s.begin(), s.end(), [&](char c) {
      return c == '\0' || c == quote || c == delimiter || (!strict && isBlank(c));
    });
    if (i > 0) result += delimiter;
    result += needsQuotes ? AnsiQuotedStr(s, quote) : s;
  }
  return result;
}

void TStrings::setDelimitedText(std::string_view text, char delimiter, char quote, bool strict) {
  UpdateStrings(*this, [&] {
    Clear();
    size_t pos = 0;
    auto skipBlanks = [&] {
      if (!strict)
        while (pos < text.size() && isBlank(text[pos])) ++pos;
    };
    skipBlanks();
    while (pos < text.size()) {
      if (text[pos] == quote) {
        std::string_view rest = text.substr(pos);
        std::string item = AnsiExtractQuotedStr(rest, quote);
        pos = text.size() - rest.size();
        Add(item);
      } else {
        size_t start = pos;
        while (pos < text.size() && text[pos] != delimiter && (strict || !isBlank(text[pos]))) ++pos;
        Add(std::string(text.substr(start, pos - start)));
      }
      skipBlanks();
      if (pos < text.size() && text[pos] == delimiter) {
        // A delimiter at the very end stands before one more, empty item.
        if (pos + 1 == text.size()) Add(std::string());
        ++pos;
        skipBlanks();
      }
    }
  });
}

std::string TStrings::CommaText() const { return delimitedText(',', '"', false); }
void TStrings::SetCommaText(std::string_view text) { setDelimitedText(text, ',', '"', false); }
std::string TStrings::DelimitedText() const { return delimitedText(Delimiter, QuoteChar, StrictDelimiter); }
void TStrings::SetDelimitedText(std::string_view text) {
  setDelimitedText(text, Delimiter, QuoteChar, StrictDelimiter);
}

void TStrings::LoadFromStream(TStream& stream) {
  TBytes bytes = stream.ReadBytes(stream.Size() - stream.Position());
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const { stream.WriteBuffer(Text()); }

void TStrings::LoadFromFile(const std::string& fileName) {
  std::string bytes = ReadFileToString(fileName);
  std::string_view text(bytes);
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  SetText(text);
}

void TStrings::SaveToFile(const std::string& fileName) const {
  std::string text = Text();
  SaveFileAtomically(fileName, [&text](TStream& file) { file.WriteBuffer(text); });
}

void TStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TStrings::EndUpdate() {
  if (updateCount_ <= 0) return;
  --updateCount_;
  if (updateCount_ == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool updating) {
  if (updating)
    Changing();
  else
    Changed();
}

void TStrings::Changing() {
  if (updateCount_ == 0 && OnChanging) {
    TNotifyEvent handler = OnChanging;
    handler(this);
  }
}

void TStrings::Changed() {
  if (updateCount_ == 0 && OnChange) {
    TNotifyEvent handler = OnChange;
    handler(this);
  }
}

// ---------------------------------------------------------------- TStringList

void TStringList::checkIndex(Integer index) const {
  if (index < 0 || index >= Count()) RaiseIndexError(index);
}

int TStringList::CompareStrings(const std::string& a, const std::string& b) const {
  return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

std::string TStringList::Get(Integer index) const {
  checkIndex(index);
  return items_[static_cast<size_t>(index)].string;
}

void TStringList::Put(Integer index, const std::string& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  checkIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].string = s;
  Changed();
}

void* TStringList::GetObject(Integer index) const {
  checkIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TStringList::PutObject(Integer index, void* object) {
  checkIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

void TStringList::Insert(Integer index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(Integer index, const std::string& s, void* object) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) RaiseIndexError(index);
  insertItem(index, s, object);
}

void TStringList::insertItem(Integer index, const std::string& s, void* object) {
  Changing();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
}

void TStringList::Delete(Integer index) {
  checkIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

Integer TStringList::AddObject(const std::string& s, void* object) {
  Integer index = Count();
  if (sorted_ && Find(s, index)) {
    if (Duplicates == dupIgnore) return index;
    if (Duplicates == dupError) throw EStringListError("String list does not allow duplicates");
  }
  insertItem(index, s, object);
  return index;
}

Integer TStringList::IndexOf(const std::string& s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  Integer index;
  return Find(s, index) ? index : -1;
}

void TStringList::Exchange(Integer index1, Integer index2) {
  checkIndex(index1);
  checkIndex(index2);
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

bool TStringList::Find(const std::string& s, Integer& index) const {
  bool found = false;
  Integer low = 0;
  Integer high = Count() - 1;
  while (low <= high) {
    Integer mid = low + (high - low) / 2;
    int c = CompareStrings(items_[static_cast<size_t>(mid)].string, s);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) {
        found = true;
        // With duplicates allowed the search goes on to the first equal one.
        if (Duplicates != dupAccept) low = mid;
      }
    }
  }
  index = low;
  return found;
}

void TStringList::Sort() {
  CustomSort([](TStringList& list, Integer a, Integer b) {
    return list.CompareStrings(list.items_[static_cast<size_t>(a)].string, list.items_[static_cast<size_t>(b)].string);
  });
}

void TStringList::CustomSort(const TStringListSortCompare& compare) {
  // A sorted list is in order already.
  if (sorted_ || items_.size() < 2) return;
  Changing();
  // The comparison sees the list unchanged while the order is worked out.
  std::vector<Integer> order(items_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](Integer a, Integer b) { return compare(*this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (Integer i : order) sorted.push_back(std::move(items_[static_cast<size_t>(i)]));
  items_ = std::move(sorted);
  Changed();
}

void TStringList::SetSorted(bool value) {
  if (sorted_ == value) return;
  if (value) Sort();
  sorted_ = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (caseSensitive_ == value) return;
  caseSensitive_ = value;
  if (sorted_) {
    sorted_ = false;
    SetSorted(true);
  }
}

}  // namespace px
