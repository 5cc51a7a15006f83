// Records: typed access, null flags, conversions, comparison and navigation.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "data/UnitDataSet.h"
#include "data/UnitDataSetIndex.h"
#include "platform/core/BoolConversion.h"
#include "platform/core/CodePages.h"
#include "platform/core/NumberConversion.h"

namespace px {

using memds::TMemFieldDescriptor;

void* TMemAnyValue::Slot(TMemAnyType type) {
  switch (type) {
    case mftInteger:
      return &I;
    case mftInt64:
      return &I64;
    case mftAnsiString:
      return &A;
    case mftUnicodeString:
      return &U;
    case mftSingle:
      return &S;
    case mftDouble:
      return &D;
    case mftCurrency:
      return &C;
    case mftBoolean:
      return &B;
    case mftGUID:
      return &G;
    case mftWord:
      return &W;
    case mftByte:
      return &By;
    default:
      Assert(false, "Not supported datatype");
      return nullptr;
  }
}

bool MemCalculate(const TMemRecord& rec, const TMemFieldDescriptor& d, TMemAnyValue& v) {
  bool isNull = false;
  d.Calculate(const_cast<TMemRecord&>(rec), d.FieldNo, v.Slot(d.Type), isNull);
  return isNull;
}

void MemReadValue(const TMemRecord& rec, Integer field, TMemAnyValue& v) {
  switch (rec.Owner()->Field(field).Type) {
    case mftInteger:
      v.I = rec.GetInteger(field);
      break;
    case mftInt64:
      v.I64 = rec.GetInt64(field);
      break;
    case mftAnsiString:
      v.A = rec.GetAnsiString(field);
      break;
    case mftUnicodeString:
      v.U = rec.GetUnicodeString(field);
      break;
    case mftSingle:
      v.S = rec.GetSingle(field);
      break;
    case mftDouble:
      v.D = rec.GetDouble(field);
      break;
    case mftCurrency:
      v.C = rec.GetCurrency(field);
      break;
    case mftBoolean:
      v.B = rec.GetBoolean(field);
      break;
    case mftGUID:
      v.G = rec.GetGUID(field);
      break;
    case mftWord:
      v.W = rec.GetWord(field);
      break;
    case mftByte:
      v.By = rec.GetByte(field);
      break;
    default:
      Assert(false, "Not supported datatype");
  }
}

// ---------------------------------------------------------------------------

TMemRecord::~TMemRecord() {
  TMemDataSet* t = table_;
  if (!t) return;
  if (!t->clearing_) t->removeFromIndexes(this);
  for (Integer off : t->stringOffsets_) memds::FreeRep(memds::LoadPtr(Block() + off));
  t->unlink(this);
}

void TMemRecord::operator delete(TMemRecord* rec, std::destroying_delete_t) {
  TMemDataSet* t = rec->table_;
  rec->~TMemRecord();
  if (t)
    t->releaseBlock(rec);
  else
    ::operator delete(rec);
}

AnsiString TMemRecord::GetAnsiString(Integer field) const {
  const auto& d = table_->TypedField(field, mftAnsiString);
  if (d.Calculate) {
    TMemAnyValue v;
    MemCalculate(*this, d, v);
    return std::move(v.A);
  }
  return AnsiString(memds::AnsiView(memds::LoadPtr(Block() + d.DataOffset)));
}

UnicodeString TMemRecord::GetUnicodeString(Integer field) const {
  const auto& d = table_->TypedField(field, mftUnicodeString);
  if (d.Calculate) {
    TMemAnyValue v;
    MemCalculate(*this, d, v);
    return std::move(v.U);
  }
  return UnicodeString(memds::UnicodeView(memds::LoadPtr(Block() + d.DataOffset)));
}

Boolean TMemRecord::GetBoolean(Integer field) const {
  const auto& d = table_->TypedField(field, mftBoolean);
  if (d.Calculate) {
    TMemAnyValue v;
    MemCalculate(*this, d, v);
    return v.B;
  }
  return Block()[d.DataOffset] != 0;
}

void TMemRecord::SetAnsiString(Integer field, std::string_view value) {
  const auto& d = table_->TypedField(field, mftAnsiString);
  if (d.Calculate) table_->RaiseCalculatedSet(d);
  void* rep = memds::NewAnsiRep(value);
  table_->assignValue(this, d, &rep, sizeof(rep));
}

void TMemRecord::SetUnicodeString(Integer field, std::u16string_view value) {
  const auto& d = table_->TypedField(field, mftUnicodeString);
  if (d.Calculate) table_->RaiseCalculatedSet(d);
  void* rep = memds::NewUnicodeRep(value);
  table_->assignValue(this, d, &rep, sizeof(rep));
}

void TMemRecord::SetBoolean(Integer field, Boolean value) {
  const auto& d = table_->TypedField(field, mftBoolean);
  if (d.Calculate) table_->RaiseCalculatedSet(d);
  // A Boolean can be a key of an index over several fields.
  const char stored = value ? 1 : 0;
  if (!d.Indexes.empty()) return table_->assignValue(this, d, &stored, 1);
  Block()[d.DataOffset] = stored;
  Block()[d.NullOffset] = static_cast<char>(Block()[d.NullOffset] | d.NullMask);
}

Integer TMemRecord::GetIntegerByName(const std::string& name) const { return GetInteger(table_->FieldIndexByName(name)); }
void TMemRecord::SetIntegerByName(const std::string& name, Integer value) { SetInteger(table_->FieldIndexByName(name), value); }
Int64 TMemRecord::GetInt64ByName(const std::string& name) const { return GetInt64(table_->FieldIndexByName(name)); }
AnsiString TMemRecord::GetAnsiStringByName(const std::string& name) const {
  return GetAnsiString(table_->FieldIndexByName(name));
}
void TMemRecord::SetAnsiStringByName(const std::string& name, std::string_view value) {
  SetAnsiString(table_->FieldIndexByName(name), value);
}
Double TMemRecord::GetDoubleByName(const std::string& name) const { return GetDouble(table_->FieldIndexByName(name)); }

bool TMemRecord::IsNull(Integer field) const {
  const auto& d = table_->Field(field);
  if (d.Calculate) {
    TMemAnyValue v;
    return MemCalculate(*this, d, v);
  }
  return (Block()[d.NullOffset] & d.NullMask) == 0;
}

void TMemRecord::SetNull(Integer field, bool isNull) {
  const auto& d = table_->Field(field);
  if (d.Calculate) table_->RaiseCalculatedSet(d);
  if (isNull) {
    table_->clearValue(this, d);
  } else if ((Block()[d.NullOffset] & d.NullMask) == 0) {
    // The cleared value (zero, empty) becomes a value and enters the indexes.
    alignas(8) char zero[16] = {};
    const size_t size = static_cast<size_t>(MemTypeSize(d.Type));
    if (d.Indexes.empty() && d.Type != mftAnsiString && d.Type != mftUnicodeString)
      Block()[d.NullOffset] = static_cast<char>(Block()[d.NullOffset] | d.NullMask);
    else
      table_->assignValue(this, d, zero, size);
  }
}

// ---------------------------------------------------------------------------
// Conversions

namespace {
Integer low32(Int64 v) { return static_cast<Integer>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

Integer roundToInteger(double v) {
  const double r = std::nearbyint(v);  // the default rounding mode: halves to even
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) throw EInvalidOp("Invalid floating point operation");
  return low32(static_cast<Int64>(r));
}
}  // namespace

Integer TMemRecord::GetAsInteger(Integer field) const {
  const auto& d = table_->Field(field);
  switch (d.Type) {
    case mftInteger:
      return GetInteger(field);
    case mftInt64:
      return low32(GetInt64(field));
    case mftAnsiString:
      return StrToIntDef(GetAnsiString(field), 0);
    case mftUnicodeString:
      return StrToIntDef(UnicodeToAnsi(GetUnicodeString(field)), 0);
    case mftSingle:
      return roundToInteger(GetSingle(field));
    case mftDouble:
      return roundToInteger(GetDouble(field));
    case mftCurrency:
      return low32(GetCurrency(field).Round());
    case mftBoolean:
      return GetBoolean(field) ? 1 : 0;
    case mftGUID:
      return 0;
    case mftWord:
      return GetWord(field);
    case mftByte:
      return GetByte(field);
    default:
      throw EDatasetException("Unsupported field type. Dataset: [\"" + table_->GetName() + "\"] " +
                              table_->FieldLabel(field, d.Name));
  }
}

bool TMemRecord::GetAsBoolean(Integer field) const {
  const auto& d = table_->Field(field);
  switch (d.Type) {
    case mftInteger:
      return GetInteger(field) != 0;
    case mftInt64:
      return GetInt64(field) != 0;
    case mftAnsiString:
      return StrToBoolDef(GetAnsiString(field), false);
    case mftUnicodeString:
      return StrToBoolDef(UnicodeToAnsi(GetUnicodeString(field)), false);
    case mftSingle:
      return GetSingle(field) != 0;
    case mftDouble:
      return GetDouble(field) != 0;
    case mftCurrency:
      return GetCurrency(field).Raw() != 0;
    case mftBoolean:
      return GetBoolean(field);
    case mftGUID:
      return false;
    case mftWord:
      return GetWord(field) != 0;
    case mftByte:
      return GetByte(field) != 0;
    default:
      throw EDatasetException("Unsupported field type. Dataset: [\"" + table_->GetName() + "\"] " +
                              table_->FieldLabel(field, d.Name));
  }
}

AnsiString TMemRecord::GetAsString(Integer field) const {
  if (IsNull(field)) return {};
  switch (table_->Field(field).Type) {
    case mftInteger:
      return IntToStr(GetInteger(field));
    case mftInt64:
      return IntToStr(GetInt64(field));
    case mftAnsiString:
      return GetAnsiString(field);
    case mftUnicodeString:
      return UnicodeToAnsi(GetUnicodeString(field));
    case mftSingle:
      return FloatToStr(static_cast<double>(GetSingle(field)));
    case mftDouble:
      return FloatToStr(GetDouble(field));
    case mftCurrency:
      return CurrToStr(GetCurrency(field));
    case mftBoolean:
      return GetBoolean(field) ? "True" : "False";
    case mftGUID:
      return GUIDToText(GetGUID(field));
    case mftWord:
      return IntToStr(static_cast<Integer>(GetWord(field)));
    case mftByte:
      return IntToStr(static_cast<Integer>(GetByte(field)));
    default:
      return {};
  }
}

// ---------------------------------------------------------------------------
// Comparison

namespace {
template <class T>
int sign3(T a, T b) {
  return (a > b) - (a < b);
}
template <class F>
int floatOrder(F a, F b) {
  const bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return static_cast<int>(na) - static_cast<int>(nb);
  return sign3(a, b);
}
int signOf(int c) { return (c > 0) - (c < 0); }
}  // namespace

int TMemRecord::Compare(const TMemRecord* other, Integer field) const { return Compare(this, other, field); }

int TMemRecord::Compare(const TMemRecord* a, const TMemRecord* b, Integer field) {
  const bool an = !a || a->IsNull(field);
  const bool bn = !b || b->IsNull(field);
  if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
  if (a->table_ != b->table_) throw EDatasetException("Error.");
  const auto& d = a->table_->Field(field);
  switch (d.Type) {
    case mftInteger:
      return sign3(a->GetInteger(field), b->GetInteger(field));
    case mftInt64:
      return sign3(a->GetInt64(field), b->GetInt64(field));
    case mftCurrency:
      return sign3(a->GetCurrency(field).Raw(), b->GetCurrency(field).Raw());
    case mftWord:
      return sign3(a->GetWord(field), b->GetWord(field));
    case mftByte:
      return sign3(a->GetByte(field), b->GetByte(field));
    case mftBoolean:
      return sign3(static_cast<int>(a->GetBoolean(field)), static_cast<int>(b->GetBoolean(field)));
    case mftSingle:
      return floatOrder(a->GetSingle(field), b->GetSingle(field));
    case mftDouble:
      return floatOrder(a->GetDouble(field), b->GetDouble(field));
    case mftAnsiString: {
      if (d.Calculate) {
        const AnsiString x = a->GetAnsiString(field), y = b->GetAnsiString(field);
        return (d.Flags & mffNaturalOrder) ? NaturalCompareAnsi(x, y) : signOf(AnsiCompareStr(x, y));
      }
      const auto x = memds::AnsiView(memds::LoadPtr(a->Block() + d.DataOffset));
      const auto y = memds::AnsiView(memds::LoadPtr(b->Block() + d.DataOffset));
      return (d.Flags & mffNaturalOrder) ? NaturalCompareAnsi(x, y) : signOf(AnsiCompareStr(x, y));
    }
    case mftUnicodeString: {
      if (d.Calculate) {
        const UnicodeString x = a->GetUnicodeString(field), y = b->GetUnicodeString(field);
        return (d.Flags & mffNaturalOrder) ? NaturalCompareUnicode(x, y) : signOf(UnicodeCompareStr(x, y));
      }
      const auto x = memds::UnicodeView(memds::LoadPtr(a->Block() + d.DataOffset));
      const auto y = memds::UnicodeView(memds::LoadPtr(b->Block() + d.DataOffset));
      return (d.Flags & mffNaturalOrder) ? NaturalCompareUnicode(x, y) : signOf(UnicodeCompareStr(x, y));
    }
    case mftGUID: {
      const TGUID x = a->GetGUID(field), y = b->GetGUID(field);
      if (x.D1 != y.D1) return x.D1 < y.D1 ? -1 : 1;
      if (x.D2 != y.D2) return x.D2 < y.D2 ? -1 : 1;
      if (x.D3 != y.D3) return x.D3 < y.D3 ? -1 : 1;
      return signOf(std::memcmp(x.D4.data(), y.D4.data(), 8));
    }
    default:
      Assert(false, "Not supported datatype");
      return 0;
  }
}

std::vector<Int64> TMemRecord::RankByField(const std::vector<TMemRecord*>& records, Integer field) {
  const size_t n = records.size();
  std::vector<Int64> ranks(n, 0);
  std::vector<uint32_t> order;
  order.reserve(n);
  const TMemDataSet* table = nullptr;
  for (size_t i = 0; i < n; ++i) {
    const TMemRecord* r = records[i];
    if (!r || r->IsNull(field)) continue;
    if (!table) table = r->table_;
    if (r->table_ != table) throw EDatasetException("Error.");
    order.push_back(static_cast<uint32_t>(i));
  }
  if (order.empty()) return ranks;
  const auto& d = table->Field(field);
  const bool ansi = d.Type == mftAnsiString, unicode = d.Type == mftUnicodeString;
  if ((ansi || unicode) && !(d.Flags & mffNaturalOrder)) {
    // One key per record, all in one buffer; keys order as Compare does.
    std::string keys;
    std::vector<std::pair<size_t, size_t>> spans(n);
    UnicodeString text;
    for (uint32_t i : order) {
      const TMemRecord* r = records[i];
      if (ansi) {
        text.clear();
        const AnsiString calculated = d.Calculate ? r->GetAnsiString(field) : AnsiString();
        const std::string_view value =
            d.Calculate ? std::string_view(calculated) : memds::AnsiView(memds::LoadPtr(r->Block() + d.DataOffset));
        for (char c : value) text += AnsiCharToUnicode(static_cast<unsigned char>(c));
      } else if (d.Calculate) {
        text = r->GetUnicodeString(field);
      } else {
        text.assign(memds::UnicodeView(memds::LoadPtr(r->Block() + d.DataOffset)));
      }
      const size_t start = keys.size();
      AppendUnicodeCompareStrKey(text, keys);
      spans[i] = {start, keys.size() - start};
    }
    auto key = [&](uint32_t i) { return std::string_view(keys.data() + spans[i].first, spans[i].second); };
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return key(a) < key(b); });
    Int64 rank = 1;
    for (size_t k = 0; k < order.size(); ++k) {
      if (k > 0 && key(order[k]) != key(order[k - 1])) ++rank;
      ranks[order[k]] = rank;
    }
    return ranks;
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return Compare(records[a], records[b], field) < 0; });
  Int64 rank = 1;
  for (size_t k = 0; k < order.size(); ++k) {
    if (k > 0 && Compare(records[order[k - 1]], records[order[k]], field) != 0) ++rank;
    ranks[order[k]] = rank;
  }
  return ranks;
}

// ---------------------------------------------------------------------------
// Navigation

IMemDataSet TMemRecord::GetDataSet() const { return table_ ? table_->weak_from_this().lock() : nullptr; }

TMemRecord* TMemRecord::NextInIndex(Integer index) const {
  return index < 0 ? next_ : table_->Index(index)->Next(this);
}

TMemRecord* TMemRecord::PriorInIndex(Integer index) const {
  return index < 0 ? prior_ : table_->Index(index)->Prior(this);
}

void TMemRecord::MoveToFront() {
  TMemDataSet* t = table_;
  if (!prior_) return;
  prior_->next_ = next_;
  if (next_)
    next_->prior_ = prior_;
  else
    t->last_ = prior_;
  prior_ = nullptr;
  next_ = t->first_;
  t->first_->prior_ = this;
  t->first_ = this;
}

bool TMemRecord::IsComplete() const {
  for (const auto& [offset, mask] : table_->required_)
    if ((static_cast<Byte>(Block()[offset]) & mask) != mask) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Enumeration

TMemRecordEnumerator::TMemRecordEnumerator(TMemDataSet* table, Integer index)
    : table_(table), next_(table->FirstInIndex(index)), index_(index) {}

bool TMemRecordEnumerator::MoveNext() {
  current_ = next_;
  if (current_) next_ = current_->NextInIndex(index_);
  return current_ != nullptr;
}

}  // namespace px
