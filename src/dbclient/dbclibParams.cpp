#include "dbclient/dbclibParams.h"

#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/core/CodePages.h"

namespace px {

namespace {

bool isNameChar(char c) {
  return c == '$' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// True when text at pos starts with the word (any case) and no name
// character follows it.
bool startsWord(std::string_view text, size_t pos, std::string_view word) {
  if (text.size() - pos < word.size()) return false;
  if (!SameText(text.substr(pos, word.size()), word)) return false;
  size_t after = pos + word.size();
  return after >= text.size() || !isNameChar(text[after]);
}

char* newBuffer(Integer size) {
  if (size <= 0) return nullptr;
  char* p = static_cast<char*>(std::calloc(1, static_cast<size_t>(size)));
  if (!p) throw EOutOfMemory("Out of memory");
  return p;
}

}  // namespace

TSQLParams::TSQLParams(TCharacterSet CharacterSet) : TSQLDA(CharacterSet) { SetAllocatedFields(0); }

TSQLParams::~TSQLParams() { ClearParams(); }

Word TSQLParams::grow() {
  Word n = GetAllocatedFields();
  if (n == 0x7FFF) throw Exception("Too many parameters.");
  SetAllocatedFields(static_cast<Word>(n + 1));
  info_.resize(n + 1u);
  return n;
}

std::string TSQLParams::GetFieldName(Word Index) const {
  CheckRange(Index);
  return info_[Index].Name;
}

Integer TSQLParams::GetMaxSqlLen(Word Index) const {
  CheckRange(Index);
  return info_[Index].MaxLength;
}

Integer TSQLParams::GetMaxLength(Word Index) const { return Index < info_.size() ? info_[Index].MaxLength : 0; }

Word TSQLParams::GetParamId(Word Index) const {
  CheckRange(Index);
  return info_[Index].Id;
}

bool TSQLParams::GetTypeFixed(Word Index) const {
  CheckRange(Index);
  return !info_[Index].Untyped;
}

void TSQLParams::shareWithSameId(Word Index) {
  if (info_[Index].Name.empty()) return;
  const XSQLVAR& src = Var(Index);
  for (Word i = 0; i < GetAllocatedFields(); ++i) {
    if (i == Index || info_[i].Id != info_[Index].Id) continue;
    XSQLVAR& dst = Var(i);
    dst.sqltype = src.sqltype;
    dst.sqlscale = src.sqlscale;
    dst.sqlsubtype = src.sqlsubtype;
    dst.sqllen = src.sqllen;
    dst.sqldata = src.sqldata;
    dst.sqlind = src.sqlind;
    info_[i].Untyped = info_[Index].Untyped;
    info_[i].NotNullable = info_[Index].NotNullable;
    info_[i].MaxLength = info_[Index].MaxLength;
  }
}

void TSQLParams::TextBufferChanged(Word Index) {
  if (Index >= info_.size() || info_[Index].Name.empty()) return;
  for (Word i = 0; i < GetAllocatedFields(); ++i) {
    if (i == Index || info_[i].Id != info_[Index].Id) continue;
    Var(i).sqldata = Var(Index).sqldata;
    Var(i).sqllen = Var(Index).sqllen;
  }
}

void TSQLParams::AllocateDataBuffer(bool Init) {
  // Buffers are owned per id: free each once, then give the first entry of
  // every id a new one and let the others share it.
  std::set<char*> freed;
  std::set<Word> done;
  for (Word i = 0; i < GetAllocatedFields(); ++i) {
    if (freed.insert(Var(i).sqldata).second) std::free(Var(i).sqldata);
    Var(i).sqldata = nullptr;
  }
  for (Word i = 0; i < GetAllocatedFields(); ++i) {
    info_[i].Untyped = Init;
    if (!done.insert(info_[i].Id).second) continue;
    XSQLVAR& v = Var(i);
    int storage = v.sqltype & ~1;
    Integer size = v.sqllen + (storage == SQL_VARYING ? 2 : 0);
    v.sqldata = newBuffer(size);
    shareWithSameId(i);
  }
}

Word TSQLParams::AddFieldW(std::u16string_view Name) { return AddFieldA(UnicodeToAnsi(Name)); }

Word TSQLParams::AddFieldA(std::string_view Name) {
  if (Name.size() >= 126) throw Exception("Size name too big (" + std::string(Name) + ")");
  Word found = 0;
  if (!Name.empty() && TryGetFieldIndex(Name, found)) {
    Word index = grow();
    Var(index) = Var(found);
    info_[index] = info_[found];
    return index;
  }
  Word index = grow();
  ParamInfo& p = info_[index];
  p.Id = ++idCounter_;
  p.Untyped = true;
  p.NotNullable = false;
  p.MaxLength = 0;
  p.Name = std::string(Name);
  XSQLVAR& v = Var(index);
  std::memset(&v, 0, sizeof v);
  v.sqltype = SQL_TEXT | 1;
  auto* indicator = static_cast<ISC_SHORT*>(std::malloc(sizeof(ISC_SHORT)));
  if (!indicator) throw EOutOfMemory("Out of memory");
  *indicator = -1;
  v.sqlind = indicator;
  return index;
}

void TSQLParams::SetFieldType(Word Index, Integer Size, Integer Scale, Integer SqlType) {
  CheckRange(Index);
  if (!info_[Index].Untyped) return;
  info_[Index].Untyped = false;
  XSQLVAR& v = Var(Index);
  v.sqltype = static_cast<ISC_SHORT>(SqlType);
  v.sqlscale = static_cast<ISC_SHORT>(Scale);
  v.sqllen = static_cast<ISC_SHORT>(Size);
  std::free(v.sqldata);
  v.sqldata = newBuffer(Size);
  shareWithSameId(Index);
}

void TSQLParams::ClearParams() {
  std::set<void*> freed;
  for (Word i = 0; i < GetAllocatedFields(); ++i) {
    XSQLVAR& v = Var(i);
    if (v.sqlind && freed.insert(v.sqlind).second) std::free(v.sqlind);
    if (v.sqldata && freed.insert(v.sqldata).second) std::free(v.sqldata);
    v.sqlind = nullptr;
    v.sqldata = nullptr;
  }
  SetAllocatedFields(0);
  info_.clear();
  idCounter_ = 0;
}

void TSQLParams::Parse(std::string_view SQL, std::string& ParsedSQL) {
  ClearParams();
  std::string out;
  out.reserve(SQL.size());
  size_t i = 0;
  const size_t n = SQL.size();
  while (i < n) {
    char c = SQL[i];
    if (c == '"' || c == '\'' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t end = SQL.find(close, i + 1);
      end = end == std::string_view::npos ? n : end + 1;
      out.append(SQL.substr(i, end - i));
      i = end;
    } else if (c == '-' && i + 1 < n && SQL[i + 1] == '-') {
      i += 2;
      while (i < n && SQL[i] != '\r' && SQL[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && SQL[i + 1] == '*') {
      size_t end = SQL.find("*/", i + 2);
      i = end == std::string_view::npos ? n : end + 2;
    } else if (c == ':') {
      out.push_back('?');
      ++i;
      std::string name;
      if (i < n && SQL[i] == '"') {
        size_t end = SQL.find('"', i + 1);
        if (end == std::string_view::npos) end = n;
        name = std::string(SQL.substr(i + 1, end - i - 1));
        i = end < n ? end + 1 : n;
      } else {
        size_t start = i;
        while (i < n && isNameChar(SQL[i])) ++i;
        name = std::string(SQL.substr(start, i - start));
      }
      AddField(name);
    } else if (c == '?') {
      AddField("");
      out.push_back('?');
      ++i;
    } else if ((c == 'b' || c == 'B' || c == 'd' || c == 'D') && (out.empty() || !isNameChar(out.back())) &&
               (startsWord(SQL, i, "begin") || startsWord(SQL, i, "declare"))) {
      // A procedure or block body keeps its own colon-prefixed variables.
      out.append(SQL.substr(i));
      i = n;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  ParsedSQL = std::move(out);
}

void TSQLParams::AddFieldType(std::string_view Name, TSQLFieldKind Kind, Word Precision, Integer Scale) {
  Integer size = 0, type = 0, scale = 0;
  switch (Kind) {
    case uftNumeric:
      if (Precision < 5) size = 2, type = SQL_SHORT | 1;
      else if (Precision <= 7) size = 4, type = SQL_LONG | 1;
      else size = 8, type = SQL_INT64 | 1;
      scale = -static_cast<Integer>(static_cast<Byte>(Scale & 0xFF));
      break;
    case uftChar:
    case uftVarchar:
    case uftCstring: size = 0, type = SQL_TEXT | 1; break;
    case uftSmallint: size = 2, type = SQL_SHORT | 1; break;
    case uftInteger: size = 4, type = SQL_LONG | 1; break;
    case uftQuad: size = 8, type = SQL_QUAD | 1; break;
    case uftFloat: size = 4, type = SQL_FLOAT | 1; break;
    case uftDoublePrecision: size = 8, type = SQL_DOUBLE | 1; break;
    case uftTimestamp: size = 8, type = SQL_TIMESTAMP | 1; break;
    case uftBlob:
    case uftBlobId: size = 8, type = SQL_BLOB | 1; break;
    case uftDate: size = 4, type = SQL_TYPE_DATE | 1; break;
    case uftTime: size = 4, type = SQL_TYPE_TIME | 1; break;
    case uftInt64: size = 8, type = SQL_INT64 | 1; break;
    case uftArray: size = 8, type = SQL_ARRAY | 1; break;
    default: return;
  }
  Word index = AddField(Name);
  SetFieldType(index, size, scale, type);
}

void TSQLParams::ApplyDescription(const XSQLDA& Described) {
  Word count = static_cast<Word>(std::min<ISC_SHORT>(std::min(Described.sqld, Described.sqln),
                                                    static_cast<ISC_SHORT>(GetAllocatedFields())));
  for (Word i = 0; i < count; ++i) {
    const XSQLVAR& d = Described.sqlvar[i];
    XSQLVAR& v = Var(i);
    if ((d.sqltype & 1) == 0) info_[i].NotNullable = true;
    v.sqltype = static_cast<ISC_SHORT>(d.sqltype | 1);
    v.sqllen = d.sqllen;
    info_[i].MaxLength = static_cast<Word>(d.sqllen);
    v.sqlsubtype = d.sqlsubtype;
    v.sqlscale = d.sqlscale;
    if (v.sqlind) *v.sqlind = -1;
  }
  AllocateDataBuffer(false);
}

TSQLFieldKind TSQLParams::GetFieldType(Word Index) const {
  CheckRange(Index);
  if (info_[Index].Untyped && GetIsNull(Index)) return uftUnknown;
  return TSQLDA::GetFieldType(Index);
}

bool TSQLParams::GetIsNullable(Word Index) const {
  CheckRange(Index);
  return !info_[Index].NotNullable;
}

Word TSQLParams::GetFieldIndex(std::string_view Name) const {
  Word index = 0;
  if (!TryGetFieldIndex(Name, index)) throw Exception("Parameter \"" + std::string(Name) + "\" not found.");
  return index;
}

bool TSQLParams::TryGetFieldIndex(std::string_view Name, Word& Index) const {
  for (Word i = 0; i < info_.size(); ++i) {
    if (info_[i].Name.size() == Name.size() && SameText(info_[i].Name, Name)) {
      Index = i;
      return true;
    }
  }
  return false;
}

void TSQLParams::SetAsDouble(Word Index, double Value) {
  SetFieldType(Index, 8, 0, SQL_DOUBLE | 1);
  TSQLDA::SetAsDouble(Index, Value);
}
void TSQLParams::SetAsCurrency(Word Index, Currency Value) {
  SetFieldType(Index, 8, -4, SQL_INT64 | 1);
  TSQLDA::SetAsCurrency(Index, Value);
}
void TSQLParams::SetAsInt64(Word Index, Int64 Value) {
  SetFieldType(Index, 8, 0, SQL_INT64 | 1);
  TSQLDA::SetAsInt64(Index, Value);
}
void TSQLParams::SetAsInteger(Word Index, Integer Value) {
  SetFieldType(Index, 4, 0, SQL_LONG | 1);
  TSQLDA::SetAsInteger(Index, Value);
}
void TSQLParams::SetAsSingle(Word Index, Single Value) {
  SetFieldType(Index, 4, 0, SQL_FLOAT | 1);
  TSQLDA::SetAsSingle(Index, Value);
}
void TSQLParams::SetAsSmallint(Word Index, SmallInt Value) {
  SetFieldType(Index, 2, 0, SQL_SHORT | 1);
  TSQLDA::SetAsSmallint(Index, Value);
}
void TSQLParams::SetAsRawString(Word Index, std::string_view Value) {
  SetFieldType(Index, static_cast<Integer>(std::min<size_t>(Value.size(), 32767)), 0, SQL_TEXT | 1);
  TSQLDA::SetAsRawString(Index, Value);
}
void TSQLParams::SetAsString(Word Index, std::string_view Value) {
  SetFieldType(Index, static_cast<Integer>(std::min<size_t>(Value.size(), 32767)), 0, SQL_TEXT | 1);
  TSQLDA::SetAsString(Index, Value);
}
void TSQLParams::SetAsWideString(Word Index, std::u16string_view Value) {
  SetFieldType(Index, static_cast<Integer>(std::min<size_t>(2 * Value.size(), 32767)), 0, SQL_TEXT | 1);
  TSQLDA::SetAsWideString(Index, Value);
}
void TSQLParams::SetAsQuad(Word Index, ISC_QUAD Value) {
  SetFieldType(Index, 8, 0, SQL_QUAD | 1);
  TSQLDA::SetAsQuad(Index, Value);
}
void TSQLParams::SetAsDateTime(Word Index, TDateTime Value) {
  SetFieldType(Index, 8, 0, SQL_TIMESTAMP | 1);
  TSQLDA::SetAsDateTime(Index, Value);
}
void TSQLParams::SetAsBoolean(Word Index, bool Value) {
  SetFieldType(Index, 2, 0, SQL_SHORT | 1);
  TSQLDA::SetAsBoolean(Index, Value);
}
void TSQLParams::SetAsDate(Word Index, Integer Value) {
  SetFieldType(Index, 4, 0, SQL_TYPE_DATE | 1);
  TSQLDA::SetAsDate(Index, Value);
}
void TSQLParams::SetAsTime(Word Index, Cardinal Value) {
  SetFieldType(Index, 4, 0, SQL_TYPE_TIME | 1);
  TSQLDA::SetAsTime(Index, Value);
}

}  // namespace px
