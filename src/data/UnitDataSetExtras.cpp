// Lookup fields, the search by an open array of values, sorting, cloning,
// the natural string order and the string set.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "data/UnitDataSet.h"
#include "data/UnitDataSetIndex.h"
#include "platform/core/CodePages.h"

namespace px {

using memds::TMemFieldDescriptor;

// ---------------------------------------------------------------------------
// Lookup fields

namespace {

// The event of every lookup field: finds the source record by this record's
// key field in the source index and reads the source field from it.
void lookupRead(TMemRecord& rec, Integer field, void* value, bool& isNull) {
  TMemDataSet* t = rec.Owner();
  const TMemFieldDescriptor& d = t->Field(field);
  TMemDataSet* src = d.LookupTable;
  const Integer kf = d.LookupKeyField, ix = d.LookupSourceIndex;
  TMemRecord* s = nullptr;
  if (!rec.IsNull(kf)) {
    switch (t->Field(kf).Type) {
      case mftInteger:
        s = src->FindInteger(ix, rec.GetInteger(kf));
        break;
      case mftInt64:
        s = src->FindInt64(ix, rec.GetInt64(kf));
        break;
      case mftAnsiString:
        s = src->FindAnsiString(ix, rec.GetAnsiString(kf));
        break;
      case mftUnicodeString:
        s = src->FindUnicodeString(ix, rec.GetUnicodeString(kf));
        break;
      case mftSingle:
        s = src->FindSingle(ix, rec.GetSingle(kf));
        break;
      case mftDouble:
        s = src->FindDouble(ix, rec.GetDouble(kf));
        break;
      case mftCurrency:
        s = src->FindCurrency(ix, rec.GetCurrency(kf));
        break;
      case mftGUID:
        s = src->FindGUID(ix, rec.GetGUID(kf));
        break;
      case mftWord:
        s = src->FindWord(ix, rec.GetWord(kf));
        break;
      case mftByte:
        s = src->FindByte(ix, rec.GetByte(kf));
        break;
      default:
        Assert(false, "NOT IMPLEMENTED YET");
    }
  }
  if (!s) {
    isNull = true;
    return;
  }
  TMemAnyValue v;
  MemReadValue(*s, d.LookupSourceField, v);
  switch (d.Type) {
    case mftAnsiString:
      *static_cast<AnsiString*>(value) = std::move(v.A);
      break;
    case mftUnicodeString:
      *static_cast<UnicodeString*>(value) = std::move(v.U);
      break;
    default:
      std::memcpy(value, v.Slot(d.Type), static_cast<size_t>(MemTypeSize(d.Type)));
      if (d.Type == mftBoolean) *static_cast<bool*>(value) = v.B;
  }
  isNull = s->IsNull(d.LookupSourceField);
}

}  // namespace

Integer TMemDataSet::AddLookupField(const std::string& name, const IMemDataSet& source, Integer sourceField,
                                    Integer sourceIndex, Integer keyField) {
  if (!source)
    throw EDatasetException("Source dataset is not assigned for new lookup field. " + prefix() + " " +
                            FieldLabel(GetFieldCount(), name));
  Field(keyField);
  if (static_cast<uint32_t>(sourceField) >= static_cast<uint32_t>(source->GetFieldCount())) RaiseFieldRange(sourceField);
  if (static_cast<uint32_t>(sourceIndex) >= static_cast<uint32_t>(source->GetIndexCount())) RaiseIndexRange(sourceIndex);
  const TMemAnyType type = source->GetFieldType(sourceField);
  Integer no = addCalculated(type, name, lookupRead, true);
  TMemFieldDescriptor& d = fields_[static_cast<size_t>(no)];
  d.IsLookup = true;
  d.LookupTable = source.get();
  // A table that looks itself up must not hold itself alive.
  if (source.get() != this) d.LookupSource = source;
  d.LookupSourceField = sourceField;
  d.LookupKeyField = keyField;
  d.LookupSourceIndex = sourceIndex;
  return no;
}

// ---------------------------------------------------------------------------
// FindByMany

namespace {

// A number searched for in a Single or Double key. Converting a value beyond
// the type's finite range is undefined, so such a value is placed where it
// belongs instead: between the largest finite key and infinity (or the
// mirror of that), where no stored key can equal it. A NaN goes in as the
// type's NaN, which the ordered indexes hold equal to every stored NaN.
template <class F, class Find>
TMemRecord* findFloatKey(Extended v, Byte flags, bool hashed, Find find) {
  constexpr F kMax = std::numeric_limits<F>::max();
  constexpr F kInf = std::numeric_limits<F>::infinity();
  constexpr F kNaN = std::numeric_limits<F>::quiet_NaN();
  if (std::isnan(v)) return find(std::signbit(v) ? -kNaN : kNaN, flags);
  if (std::isinf(v) || std::fabs(v) <= static_cast<Extended>(kMax)) return find(static_cast<F>(v), flags);
  if (hashed || !(flags & (mfAtOrAfter | mfAtOrBefore))) return nullptr;
  if (v > 0) return (flags & mfAtOrBefore) ? find(kMax, mfAtOrBefore) : find(kInf, mfAtOrAfter);
  return (flags & mfAtOrBefore) ? find(-kInf, mfAtOrBefore) : find(-kMax, mfAtOrAfter);
}

// Beyond a Double's range a value is as good as infinite for the currency
// conversion, which refuses it.
double toDoubleSaturated(Extended v) {
  if (std::isfinite(v) && std::fabs(v) > static_cast<Extended>(std::numeric_limits<double>::max()))
    return v > 0 ? HUGE_VAL : -HUGE_VAL;
  return static_cast<double>(v);
}

}  // namespace

TMemRecord* TMemDataSet::FindByMany(Integer index, const TMemArgs& values, Byte flags) const {
  TMemIndex* ix = Index(index);
  if (ix->KeyType == mftNone) return findByManyFields(ix, values, flags);
  if (values.size() != 1)
    throw EDatasetException("Invalid number of fields in multifield lookup (ByMany). " + prefix() + " Expected: [1] Given: [" +
                            std::to_string(values.size()) + "]");
  const TMemArg& a = values[0];
  auto narrow = [&]() -> AnsiString { return a.IsNarrowText() ? a.NarrowText() : UnicodeToAnsi(a.WideText()); };
  auto number = [&]() -> Extended {
    if (a.IsInteger() || a.IsInt64()) return static_cast<Extended>(a.IntValue());
    if (a.IsExtended()) return a.ExtValue();
    throw EDatasetException("Invalid field/index type.");
  };
  switch (ix->KeyType) {
    case mftInteger:
      if (!a.IsInteger()) break;
      return FindInteger(index, static_cast<Integer>(a.IntValue()), flags);
    case mftInt64:
      if (!a.IsInteger() && !a.IsInt64()) break;
      return FindInt64(index, a.IntValue(), flags);
    case mftAnsiString:
      if (!a.IsText()) break;
      if (a.GetKind() == TMemArg::vtWideChar && a.WideText()[0] >= 256)
        return (flags & mfAtOrBefore) ? LastInIndex(index) : nullptr;
      return FindAnsiString(index, narrow(), flags);
    case mftUnicodeString:
      if (!a.IsText()) break;
      return FindUnicodeString(index, a.IsWideText() ? a.WideText() : AnsiToUnicode(a.NarrowText()), flags);
    case mftSingle:
      return findFloatKey<Single>(number(), flags, ix->Kind == mitUnorderedUnique,
                                  [&](Single k, Byte f) { return FindSingle(index, k, f); });
    case mftDouble:
      return findFloatKey<Double>(number(), flags, ix->Kind == mitUnorderedUnique,
                                  [&](Double k, Byte f) { return FindDouble(index, k, f); });
    case mftCurrency:
      if (a.IsInteger() || a.IsInt64()) return FindCurrency(index, Currency::FromInt64(a.IntValue()), flags);
      return FindCurrency(index, Currency::FromDouble(toDoubleSaturated(number())), flags);
    case mftGUID:
      if (a.GetKind() != TMemArg::vtPChar && a.GetKind() != TMemArg::vtString) break;
      return FindGUID(index, TextToGUID(a.NarrowText()), flags);
    case mftWord:
      if (!a.IsInteger()) break;
      if (static_cast<uint32_t>(a.IntValue()) > 65535) return nullptr;
      return FindWord(index, static_cast<Word>(a.IntValue()), flags);
    case mftByte:
      if (!a.IsInteger()) break;
      if (static_cast<uint32_t>(a.IntValue()) > 255) return nullptr;
      return FindByte(index, static_cast<Byte>(a.IntValue()), flags);
    default:
      break;
  }
  throw EDatasetException("Invalid field/index type.");
}

// The values go into a scratch record block at their fields' offsets; the
// tree compares that block with its records field by field.
TMemRecord* TMemDataSet::findByManyFields(TMemIndex* ix, const TMemArgs& values, Byte flags) const {
  if (values.size() != ix->Fields.size())
    throw EDatasetException("Invalid number of fields in multifield lookup (ByMany). " + prefix() + " Expected: [" +
                            std::to_string(ix->Fields.size()) + "] Given: [" + std::to_string(values.size()) + "]");
  if (values.size() > 10) throw EDatasetException("Error.");
  std::vector<uint64_t> scratch((static_cast<size_t>(recordSize_) + 7) / 8, 0);
  char* block = reinterpret_cast<char*>(scratch.data());
  std::vector<void*> reps;
  struct RepGuard {
    std::vector<void*>& r;
    ~RepGuard() {
      for (void* p : r) memds::FreeRep(p);
    }
  } guard{reps};
  auto elementError = [] { throw EDatasetException("Unsupported array element type."); };
  for (size_t i = 0; i < values.size(); ++i) {
    const TMemArg& a = values[i];
    const TMemFieldDescriptor& d = fields_[static_cast<size_t>(ix->Fields[i])];
    char* p = block + d.DataOffset;
    const bool integral = a.IsInteger() || a.IsInt64();
    switch (d.Type) {
      case mftInteger:
        if (!integral) elementError();
        if (a.IntValue() < INT32_MIN || a.IntValue() > INT32_MAX) return nullptr;
        memds::Store<Integer>(p, static_cast<Integer>(a.IntValue()));
        break;
      case mftInt64:
        if (!integral) elementError();
        memds::Store<Int64>(p, a.IntValue());
        break;
      case mftDouble:
        if (!integral && !a.IsExtended()) elementError();
        memds::Store<Double>(p, integral ? static_cast<Double>(a.IntValue()) : static_cast<Double>(a.ExtValue()));
        break;
      case mftWord:
        if (!integral) elementError();
        if (a.IntValue() < 0 || a.IntValue() > 65535) return nullptr;
        memds::Store<Word>(p, static_cast<Word>(a.IntValue()));
        break;
      case mftByte:
        if (!integral) elementError();
        if (a.IntValue() < 0 || a.IntValue() > 255) return nullptr;
        memds::Store<Byte>(p, static_cast<Byte>(a.IntValue()));
        break;
      case mftAnsiString:
        if (!a.IsText()) elementError();
        reps.push_back(memds::NewAnsiRep(a.IsNarrowText() ? a.NarrowText() : UnicodeToAnsi(a.WideText())));
        memds::Store<void*>(p, reps.back());
        break;
      case mftUnicodeString:
        if (!a.IsText()) elementError();
        reps.push_back(memds::NewUnicodeRep(a.IsWideText() ? a.WideText() : AnsiToUnicode(a.NarrowText())));
        memds::Store<void*>(p, reps.back());
        break;
      default:
        elementError();
    }
  }
  const char* key = block;
  return ix->Find(&key, flags);
}

// ---------------------------------------------------------------------------
// Sorting. The list is sorted as an array of record pointers and relinked
// only once the sort is through, so an exception from a compare event leaves
// the list as it was. The merge takes from the left run while the event lets
// its head stay before the right run's head, which keeps equal records in
// their order and cannot run out of bounds whatever the event answers.

template <class C>
void TMemDataSet::sortList(C&& mayStayBefore) {
  if (recordCount_ < 2) return;
  std::vector<TMemRecord*> a;
  a.reserve(static_cast<size_t>(recordCount_));
  for (TMemRecord* r = first_; r; r = r->next_) a.push_back(r);
  std::vector<TMemRecord*> b(a.size());
  const size_t n = a.size();
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) b[k++] = mayStayBefore(a[i], a[j]) ? a[i++] : a[j++];
      while (i < mid) b[k++] = a[i++];
      while (j < hi) b[k++] = a[j++];
    }
    a.swap(b);
  }
  TMemRecord* prev = nullptr;
  for (TMemRecord* r : a) {
    r->prior_ = prev;
    if (prev) prev->next_ = r;
    prev = r;
  }
  prev->next_ = nullptr;
  first_ = a.front();
  last_ = a.back();
}

void TMemDataSet::Sort(const TMemCompareEvent& compare) {
  Assert(static_cast<bool>(compare));
  sortList([&](TMemRecord* x, TMemRecord* y) { return compare(x, y); });
}

namespace {
template <class F>
int totalOrder(F a, F b) {
  const bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return static_cast<int>(na) - static_cast<int>(nb);
  return (a > b) - (a < b);
}
}  // namespace

void TMemDataSet::SortByField(Integer field) {
  const TMemFieldDescriptor& d = Field(field);
  const Integer f = field;
  const Integer off = d.DataOffset;
  const bool stored = !d.Calculate;
  switch (d.Type) {
    case mftInteger:
      return sortList([f](TMemRecord* x, TMemRecord* y) { return x->GetInteger(f) <= y->GetInteger(f); });
    case mftInt64:
      return sortList([f](TMemRecord* x, TMemRecord* y) { return x->GetInt64(f) <= y->GetInt64(f); });
    case mftCurrency:
      return sortList([f](TMemRecord* x, TMemRecord* y) { return x->GetCurrency(f) <= y->GetCurrency(f); });
    case mftWord:
      return sortList([f](TMemRecord* x, TMemRecord* y) { return x->GetWord(f) <= y->GetWord(f); });
    case mftByte:
      return sortList([f](TMemRecord* x, TMemRecord* y) { return x->GetByte(f) <= y->GetByte(f); });
    case mftBoolean:
      return sortList([f](TMemRecord* x, TMemRecord* y) { return x->GetBoolean(f) <= y->GetBoolean(f); });
    case mftSingle:
      return sortList([f](TMemRecord* x, TMemRecord* y) { return totalOrder(x->GetSingle(f), y->GetSingle(f)) <= 0; });
    case mftDouble:
      return sortList([f](TMemRecord* x, TMemRecord* y) { return totalOrder(x->GetDouble(f), y->GetDouble(f)) <= 0; });
    case mftAnsiString:
      if (stored)
        return sortList([off](TMemRecord* x, TMemRecord* y) {
          return memds::AnsiView(memds::LoadPtr(x->Block() + off)) <= memds::AnsiView(memds::LoadPtr(y->Block() + off));
        });
      return sortList([f](TMemRecord* x, TMemRecord* y) { return x->GetAnsiString(f) <= y->GetAnsiString(f); });
    case mftUnicodeString:
      if (stored)
        return sortList([off](TMemRecord* x, TMemRecord* y) {
          return memds::UnicodeView(memds::LoadPtr(x->Block() + off)) <=
                 memds::UnicodeView(memds::LoadPtr(y->Block() + off));
        });
      return sortList([f](TMemRecord* x, TMemRecord* y) { return x->GetUnicodeString(f) <= y->GetUnicodeString(f); });
    case mftGUID:
      return sortList([f](TMemRecord* x, TMemRecord* y) {
        const TGUID a = x->GetGUID(f), b = y->GetGUID(f);
        if (a.D1 != b.D1) return a.D1 < b.D1;
        if (a.D2 != b.D2) return a.D2 < b.D2;
        if (a.D3 != b.D3) return a.D3 < b.D3;
        return std::memcmp(a.D4.data(), b.D4.data(), 8) <= 0;
      });
    default:
      Assert(false, "Not supported datatype");
  }
}

void TMemDataSet::SortByFieldName(const std::string& name) { SortByField(IndexOfField(name)); }

void TMemDataSet::SortByFields(const TMemArgs& fields) {
  const std::vector<Integer> list = resolveFields(fields);
  if (list.empty()) return;
  if (list.size() == 1) return SortByField(list[0]);
  sortList([&list](TMemRecord* x, TMemRecord* y) {
    for (Integer f : list) {
      const int c = TMemRecord::Compare(x, y, f);
      if (c != 0) return c < 0;
    }
    return true;
  });
}

// ---------------------------------------------------------------------------
// Clone

IMemDataSet TMemDataSet::Clone() const {
  if (recordCount_ > 0)
    throw EDatasetException("Cannot add fields, indexes, set record class or clone when dataset contains records. " + prefix());
  IMemDataSet c = CreateMemDataSet();
  c->recordClass_ = recordClass_;
  c->name_ = name_;
  c->doubleTag_ = doubleTag_;
  c->tag_ = tag_;
  c->recordSize_ = recordSize_;
  c->fields_ = fields_;
  for (auto& d : c->fields_)
    if (d.IsLookup && d.LookupTable == this) d.LookupTable = c.get();
  c->fieldNames_ = fieldNames_;
  c->stringOffsets_ = stringOffsets_;
  c->nullOffset_ = nullOffset_;
  c->nextNullBit_ = nextNullBit_;
  c->required_ = required_;
  c->free1_ = free1_;
  c->free2_ = free2_;
  c->free4_ = free4_;
  for (const auto& ix : indexes_) c->indexes_.push_back(ix->CloneEmpty(c.get()));
  return c;
}

// ---------------------------------------------------------------------------
// Natural order

namespace {

struct FoldTable {
  std::array<std::array<uint8_t, 2>, 256> to{};
  std::array<uint8_t, 256> len{};
  FoldTable() {
    for (int i = 0; i < 256; ++i) set(i, static_cast<char>(i));
    for (int c = 'a'; c <= 'z'; ++c) set(c, static_cast<char>(c - 32));
    auto range = [&](int from, int to, char letter) {
      for (int c = from; c <= to; ++c) set(c, letter);
    };
    range(0xC0, 0xC5, 'A');
    range(0xE0, 0xE5, 'A');
    set(0xC7, 'C');
    set(0xE7, 'C');
    range(0xC8, 0xCB, 'E');
    range(0xE8, 0xEB, 'E');
    range(0xCC, 0xCF, 'I');
    range(0xEC, 0xEF, 'I');
    set(0xD0, 'D');
    set(0xD1, 'N');
    set(0xF1, 'N');
    range(0xD2, 0xD6, 'O');
    range(0xF2, 0xF6, 'O');
    range(0xD9, 0xDC, 'U');
    range(0xF9, 0xFC, 'U');
    for (int c : {0xDD, 0xFD, 0xFF, 0x9F, 0xA5}) set(c, 'Y');
    set(0x8A, 'S');
    set(0x9A, 'S');
    set(0x8E, 'Z');
    set(0x9E, 'Z');
    set(0x83, 'F');
    set(0xA2, 'C');
    set(0xA9, 'C');
    set(0xAA, 'A');
    set(0xC6, 'A', 'E');
    set(0xE6, 'A', 'E');
    set(0xDF, 'S', 'S');
    set(0x99, 'T', 'M');
    // Both ligatures, capital and small, fold alike.
    set(0x8C, 'O', 'E');
    set(0x9C, 'O', 'E');
  }
  void set(int c, char a, char b = 0) {
    to[static_cast<size_t>(c)] = {static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
    len[static_cast<size_t>(c)] = b ? 2 : 1;
  }
};

const FoldTable& foldTable() {
  static const FoldTable t;
  return t;
}

void foldByte(std::string& out, uint8_t c) {
  const FoldTable& t = foldTable();
  out += static_cast<char>(t.to[c][0]);
  if (t.len[c] == 2) out += static_cast<char>(t.to[c][1]);
}

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Folded strings: digit runs are compared whole, as numbers (leading zeros
// ignored); everything else byte by byte, unsigned.
int compareFolded(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  const size_t na = a.size(), nb = b.size();
  while (i < na && j < nb) {
    const auto ca = static_cast<uint8_t>(a[i]), cb = static_cast<uint8_t>(b[j]);
    if (isDigit(ca) && isDigit(cb)) {
      size_t si = i, sj = j;
      while (i < na && isDigit(static_cast<uint8_t>(a[i]))) ++i;
      while (j < nb && isDigit(static_cast<uint8_t>(b[j]))) ++j;
      while (si < i && a[si] == '0') ++si;
      while (sj < j && b[sj] == '0') ++sj;
      const size_t la = i - si, lb = j - sj;
      if (la != lb) return la < lb ? -1 : 1;
      const int c = la ? std::memcmp(a.data() + si, b.data() + sj, la) : 0;
      if (c != 0) return c < 0 ? -1 : 1;
      continue;
    }
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i == na) return j == nb ? 0 : -1;
  return 1;
}

}  // namespace

int NaturalCompareAnsi(std::string_view a, std::string_view b) {
  std::string fa, fb;
  fa.reserve(a.size() * 2);
  fb.reserve(b.size() * 2);
  for (char c : a) foldByte(fa, static_cast<uint8_t>(c));
  for (char c : b) foldByte(fb, static_cast<uint8_t>(c));
  const int c = compareFolded(fa, fb);
  if (c != 0) return c;
  const int o = a.compare(b);
  return (o > 0) - (o < 0);
}

int NaturalCompareUnicode(std::u16string_view a, std::u16string_view b) {
  std::string fa, fb;
  fa.reserve(a.size() * 2);
  fb.reserve(b.size() * 2);
  for (char16_t c : a) foldByte(fa, c < 256 ? static_cast<uint8_t>(c) : 0xFF);
  for (char16_t c : b) foldByte(fb, c < 256 ? static_cast<uint8_t>(c) : 0xFF);
  const int c = compareFolded(fa, fb);
  if (c != 0) return c;
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<int16_t>(a[i]) < static_cast<int16_t>(b[i]) ? -1 : 1;
  return (a.size() > b.size()) - (a.size() < b.size());
}

// ---------------------------------------------------------------------------
// String set

TAnsiStringSet::TAnsiStringSet(bool ordered) : table_(CreateMemDataSet()) {
  table_->AddField(mftAnsiString, "", 0);
  table_->AddFieldIndex(0, ordered ? mitOrderedUnique : mitUnorderedUnique);
}

std::string_view TAnsiStringSet::Intern(AnsiString& s) {
  TMemRecord* r = table_->FindAnsiString(0, s);
  if (!r) {
    r = table_->AddRecord();
    r->SetAnsiString(0, s);
  }
  const std::string_view stored = memds::AnsiView(memds::LoadPtr(r->Block() + table_->Field(0).DataOffset));
  s.assign(stored);
  return stored;
}

}  // namespace px
