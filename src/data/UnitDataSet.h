#pragma once
// The in-memory typed record store: tables (TMemDataSet, held through the
// counted IMemDataSet), their records (TMemRecord and subclasses), hash,
// tree and static indexes, calculated and lookup fields, sorting, cloning,
// enumeration and the string set.
//
// Layout: every record is one fixed-size block taken from its table's pool.
// The block starts with the record object itself (TMemRecord or the
// subclass the table was given) and continues with the data area, where
// each stored field has its value at a fixed offset, the null flags are bits
// in shared bytes and every hash or tree index keeps its node. A string value
// is one pointer to a private heap copy (nullptr = empty), so a zero-filled
// data area is a record whose fields are all null and empty.
#include <compare>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/core/Currency.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Guid.h"
#include "platform/core/Types.h"

namespace px {

enum TMemAnyType : Byte {
  mftInteger,
  mftInt64,
  mftAnsiString,
  mftUnicodeString,
  mftSingle,
  mftDouble,
  mftCurrency,
  mftBoolean,
  mftGUID,
  mftWord,
  mftByte,
  mftNone
};
using TMemFieldType = TMemAnyType;

enum TMemIndexType : Byte {
  mitNone,
  mitUnorderedUnique,
  mitOrderedUnique,
  mitOrderedNonUnique,
  mitOrderedUniqueStatic,
  mitOrderedNonUniqueStatic
};

// Field flags.
constexpr Byte mffOptional = 1;      // not part of IsComplete
constexpr Byte mffCalculated = 2;    // no storage, value from an event
constexpr Byte mffNaturalOrder = 8;  // string fields compare in natural order

// Flags of the typed finds.
constexpr Byte mfAtOrAfter = 1;   // first record whose key is not less than the key
constexpr Byte mfAtOrBefore = 2;  // last record whose key is not greater (wins over mfAtOrAfter)

// Flags of GetIntegerValues, GetStringValues and GetRecords.
constexpr Byte mgSkipNull = 1;   // leave out records whose field is null
constexpr Byte mgBackwards = 2;  // from the last record backwards

const char* MemAnyTypeName(TMemAnyType type);
const char* MemIndexTypeName(TMemIndexType kind);

PX_DECLARE_EXCEPTION(EDatasetException, Exception);

class TMemDataSet;
class TMemRecord;
class TMemIndex;
using IMemDataSet = std::shared_ptr<TMemDataSet>;
using TMemRecordArray = std::vector<TMemRecord*>;

// One element of an open-array argument: a field number or value (integer,
// 64-bit integer, float) or a field name or string value (the character and
// string kinds).
class TMemArg {
 public:
  enum Kind : Byte { vtInteger, vtInt64, vtExtended, vtChar, vtWideChar, vtString, vtPChar, vtUnicodeString, vtPWideChar };
  TMemArg(int v) : kind_(vtInteger), int_(v) {}
  TMemArg(Int64 v) : kind_(vtInt64), int_(v) {}
  TMemArg(long long v) : kind_(vtInt64), int_(static_cast<Int64>(v)) {}
  TMemArg(double v) : kind_(vtExtended), ext_(v) {}
  TMemArg(long double v) : kind_(vtExtended), ext_(v) {}
  TMemArg(char c) : kind_(vtChar), str_(1, c) {}
  TMemArg(char16_t c) : kind_(vtWideChar), wstr_(1, c) {}
  TMemArg(const char* s) : kind_(vtPChar), str_(s ? s : "") {}
  TMemArg(const AnsiString& s) : kind_(vtString), str_(s) {}
  TMemArg(const char16_t* s) : kind_(vtPWideChar), wstr_(s ? s : u"") {}
  TMemArg(const UnicodeString& s) : kind_(vtUnicodeString), wstr_(s) {}

  Kind GetKind() const { return kind_; }
  bool IsInteger() const { return kind_ == vtInteger; }
  bool IsInt64() const { return kind_ == vtInt64; }
  bool IsExtended() const { return kind_ == vtExtended; }
  bool IsNarrowText() const { return kind_ == vtChar || kind_ == vtString || kind_ == vtPChar; }
  bool IsWideText() const { return kind_ == vtWideChar || kind_ == vtUnicodeString || kind_ == vtPWideChar; }
  bool IsText() const { return IsNarrowText() || IsWideText(); }
  Int64 IntValue() const { return int_; }
  Extended ExtValue() const { return ext_; }
  const AnsiString& NarrowText() const { return str_; }
  const UnicodeString& WideText() const { return wstr_; }

 private:
  Kind kind_;
  Int64 int_ = 0;
  Extended ext_ = 0;
  AnsiString str_;
  UnicodeString wstr_;
};
using TMemArgs = std::vector<TMemArg>;

// Calculate event of a calculated field: receives the record and the field
// number and gives the value and whether it is null (isNull starts false).
template <class T>
using TMemCalcEvent = std::function<void(TMemRecord& rec, Integer field, T& value, bool& isNull)>;

// Sort order: true when A may stay before B.
using TMemCompareEvent = std::function<bool(TMemRecord* a, TMemRecord* b)>;

// The class of the records a table makes: its size and how to construct it
// in a zero-filled block. MemRecordClass<T>() gives the one of a subclass.
struct TMemRecordClass {
  const char* Name;
  size_t InstanceSize;
  TMemRecord* (*Construct)(void* block);
};

template <class T>
const TMemRecordClass* MemRecordClass();

namespace memds {
// String values: one heap block holding the length and the characters.
struct StrHeader {
  uint32_t Length;
  uint32_t Reserved;
};
void* NewAnsiRep(std::string_view s);
void* NewUnicodeRep(std::u16string_view s);
inline void FreeRep(void* rep) { ::operator delete(rep); }
inline std::string_view AnsiView(const void* rep) {
  if (!rep) return {};
  auto* h = static_cast<const StrHeader*>(rep);
  return {reinterpret_cast<const char*>(h + 1), h->Length};
}
inline std::u16string_view UnicodeView(const void* rep) {
  if (!rep) return {};
  auto* h = static_cast<const StrHeader*>(rep);
  return {reinterpret_cast<const char16_t*>(h + 1), h->Length};
}
template <class T>
inline T Load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}
template <class T>
inline void Store(char* p, const T& v) {
  std::memcpy(p, &v, sizeof(T));
}
inline void* LoadPtr(const char* p) { return Load<void*>(p); }

// Everything a field is.
struct TMemFieldDescriptor {
  TMemAnyType Type = mftNone;
  Byte Flags = 0;
  Byte NullMask = 0;
  TMemIndexType IndexKind = mitNone;
  Integer DataOffset = -1;
  Integer NullOffset = 0;
  Integer FieldNo = 0;
  std::function<void(TMemRecord&, Integer, void*, bool&)> Calculate;
  bool IsLookup = false;
  TMemDataSet* LookupTable = nullptr;  // the source table
  IMemDataSet LookupSource;            // holds it alive (empty when the table looks up itself)
  Integer LookupSourceField = -1;
  Integer LookupKeyField = -1;
  Integer LookupSourceIndex = -1;
  Integer Tag = 0;
  std::vector<Integer> Indexes;
  std::string Name;
};
}  // namespace memds

// One record of a table. Records are made only by their table (AddRecord,
// InsertRecord) and freed with delete (or Free); freeing takes the record out
// of every index and out of the table's list.
class TMemRecord {
 public:
  TMemRecord() = default;
  TMemRecord(const TMemRecord&) = delete;
  TMemRecord& operator=(const TMemRecord&) = delete;
  virtual ~TMemRecord();
  // The block goes back to the table's pool.
  static void operator delete(TMemRecord* rec, std::destroying_delete_t);
  void Free() { delete this; }

  Integer GetInteger(Integer field) const;
  Int64 GetInt64(Integer field) const;
  AnsiString GetAnsiString(Integer field) const;
  UnicodeString GetUnicodeString(Integer field) const;
  Single GetSingle(Integer field) const;
  Double GetDouble(Integer field) const;
  Currency GetCurrency(Integer field) const;
  Boolean GetBoolean(Integer field) const;
  TGUID GetGUID(Integer field) const;
  Word GetWord(Integer field) const;
  Byte GetByte(Integer field) const;

  void SetInteger(Integer field, Integer value);
  void SetInt64(Integer field, Int64 value);
  void SetAnsiString(Integer field, std::string_view value);
  void SetUnicodeString(Integer field, std::u16string_view value);
  void SetSingle(Integer field, Single value);
  void SetDouble(Integer field, Double value);
  void SetCurrency(Integer field, Currency value);
  void SetBoolean(Integer field, Boolean value);
  void SetGUID(Integer field, const TGUID& value);
  void SetWord(Integer field, Word value);
  void SetByte(Integer field, Byte value);

  Integer GetIntegerByName(const std::string& name) const;
  void SetIntegerByName(const std::string& name, Integer value);
  Int64 GetInt64ByName(const std::string& name) const;
  AnsiString GetAnsiStringByName(const std::string& name) const;
  void SetAnsiStringByName(const std::string& name, std::string_view value);
  Double GetDoubleByName(const std::string& name) const;

  bool IsNull(Integer field) const;
  void SetNull(Integer field, bool isNull = true);

  Integer GetAsInteger(Integer field) const;
  bool GetAsBoolean(Integer field) const;
  AnsiString GetAsString(Integer field) const;

  // -1, 0 or 1. A null field sorts before a value; two nulls are equal.
  int Compare(const TMemRecord* other, Integer field) const;
  // As Compare, with a nil record sorting before any record.
  static int Compare(const TMemRecord* a, const TMemRecord* b, Integer field);
  // The rank of each record by one field in Compare's order (nil records and
  // nulls 0, records that compare equal the same rank): ordering many
  // records then needs no record comparison per step. Text is ranked through
  // collation keys, made once per record.
  static std::vector<Int64> RankByField(const std::vector<TMemRecord*>& records, Integer field);

  TMemDataSet* Owner() const { return table_; }
  IMemDataSet GetDataSet() const;
  TMemRecord* GetNext() const { return next_; }
  TMemRecord* GetPrior() const { return prior_; }
  TMemRecord* NextInIndex(Integer index) const;
  TMemRecord* PriorInIndex(Integer index) const;
  void MoveToFront();

  virtual bool IsComplete() const;

  // Creation number within the table: orders records with equal keys in
  // static indexes.
  uint64_t Serial() const { return serial_; }

  const char* Block() const { return reinterpret_cast<const char*>(this); }
  char* Block() { return reinterpret_cast<char*>(this); }

 private:
  friend class TMemDataSet;
  template <TMemAnyType T, class V>
  V getScalar(Integer field) const;
  template <TMemAnyType T, class V>
  void setScalar(Integer field, const V& value);

  TMemDataSet* table_ = nullptr;
  TMemRecord* next_ = nullptr;
  TMemRecord* prior_ = nullptr;
  uint64_t serial_ = 0;
};

class TMemRecordEnumerator {
 public:
  TMemRecordEnumerator(TMemDataSet* table, Integer index);
  bool MoveNext();
  TMemRecord* Current() const { return current_; }

  TMemRecord* operator*() const { return current_; }
  TMemRecordEnumerator& operator++() {
    MoveNext();
    return *this;
  }
  friend bool operator==(const TMemRecordEnumerator& e, std::default_sentinel_t) { return e.current_ == nullptr; }

 private:
  TMemDataSet* table_;
  TMemRecord* current_ = nullptr;
  TMemRecord* next_;
  Integer index_;
};

// Walks a table in the order of an index: for (TMemRecord* r : table->SetEnumeratorIndex(i)).
// The body may free the current record, not the next one.
class TMemRecordEnumeratorFactory {
 public:
  explicit TMemRecordEnumeratorFactory(TMemDataSet* table) : table_(table) {}
  TMemRecordEnumerator GetEnumerator() const { return TMemRecordEnumerator(table_, index_); }
  TMemRecordEnumerator begin() const {
    TMemRecordEnumerator e = GetEnumerator();
    e.MoveNext();
    return e;
  }
  std::default_sentinel_t end() const { return {}; }
  void SetIndex(Integer index) { index_ = index; }
  Integer GetIndex() const { return index_; }

 private:
  TMemDataSet* table_;
  Integer index_ = -1;
};

class TMemDataSet : public std::enable_shared_from_this<TMemDataSet> {
 public:
  TMemDataSet();
  ~TMemDataSet();
  TMemDataSet(const TMemDataSet&) = delete;
  TMemDataSet& operator=(const TMemDataSet&) = delete;

  void SetRecordClass(const TMemRecordClass* recordClass);
  Integer AddField(TMemFieldType fieldType, const std::string& name, Byte flags);

  Integer AddCalculatedIntegerField(const std::string& name, TMemCalcEvent<Integer> event);
  Integer AddCalculatedInt64Field(const std::string& name, TMemCalcEvent<Int64> event);
  Integer AddCalculatedAnsiStringField(const std::string& name, TMemCalcEvent<AnsiString> event);
  Integer AddCalculatedUnicodeStringField(const std::string& name, TMemCalcEvent<UnicodeString> event);
  Integer AddCalculatedSingleField(const std::string& name, TMemCalcEvent<Single> event);
  Integer AddCalculatedDoubleField(const std::string& name, TMemCalcEvent<Double> event);
  Integer AddCalculatedCurrencyField(const std::string& name, TMemCalcEvent<Currency> event);
  Integer AddCalculatedBooleanField(const std::string& name, TMemCalcEvent<bool> event);
  Integer AddCalculatedGUIDField(const std::string& name, TMemCalcEvent<TGUID> event);
  Integer AddCalculatedWordField(const std::string& name, TMemCalcEvent<Word> event);
  Integer AddCalculatedByteField(const std::string& name, TMemCalcEvent<Byte> event);
  Integer AddLookupField(const std::string& name, const IMemDataSet& source, Integer sourceField, Integer sourceIndex,
                         Integer keyField);

  TMemRecord* AddRecord();
  TMemRecord* InsertRecord(TMemRecord* before);
  void Clear();
  IMemDataSet Clone() const;
  void Sort(const TMemCompareEvent& compare);
  void SortByField(Integer field);
  void SortByFieldName(const std::string& name);
  void SortByFields(const TMemArgs& fields);

  Integer AddIndex(const std::string& name, Integer field, TMemIndexType kind);
  Integer AddFieldIndex(Integer field, TMemIndexType kind);
  Integer AddIndexByFieldName(const std::string& name, const std::string& fieldName, TMemIndexType kind);
  Integer AddFieldIndexByName(const std::string& fieldName, TMemIndexType kind);
  Integer AddMultiFieldIndex(const TMemArgs& fields, TMemIndexType kind);
  Integer AddNamedMultiFieldIndex(const std::string& name, const TMemArgs& fields, TMemIndexType kind);
  Integer GetPrimaryIndex() const;
  void RebuildIndexes();
  void RebuildIndex(Integer index);

  TMemRecord* First() const { return first_; }
  TMemRecord* FirstInIndex(Integer index) const;
  TMemRecord* Last() const { return last_; }
  TMemRecord* LastInIndex(Integer index) const;
  TMemRecordEnumeratorFactory& SetEnumeratorIndex(Integer index);

  TMemRecord* FindInteger(Integer index, Integer key, Byte flags = 0) const;
  TMemRecord* FindInt64(Integer index, Int64 key, Byte flags = 0) const;
  TMemRecord* FindAnsiString(Integer index, std::string_view key, Byte flags = 0) const;
  TMemRecord* FindUnicodeString(Integer index, std::u16string_view key, Byte flags = 0) const;
  TMemRecord* FindPAnsiChar(Integer index, const char* key, Byte flags = 0) const;
  TMemRecord* FindSingle(Integer index, Single key, Byte flags = 0) const;
  TMemRecord* FindDouble(Integer index, Double key, Byte flags = 0) const;
  TMemRecord* FindCurrency(Integer index, Currency key, Byte flags = 0) const;
  TMemRecord* FindGUID(Integer index, const TGUID& key, Byte flags = 0) const;
  TMemRecord* FindWord(Integer index, Word key, Byte flags = 0) const;
  TMemRecord* FindByte(Integer index, Byte key, Byte flags = 0) const;
  TMemRecord* FindByMany(Integer index, const TMemArgs& values, Byte flags = 0) const;

  const TMemRecordClass* GetRecordClass() const { return recordClass_; }
  Integer GetRecordCount() const { return recordCount_; }
  Integer GetFieldCount() const { return static_cast<Integer>(fields_.size()); }
  TMemFieldType GetFieldType(Integer field) const;
  Byte GetFieldFlags(Integer field) const;
  std::string GetFieldName(Integer field) const;
  Integer GetFieldTag(Integer field) const;
  std::string GetName() const { return name_; }
  Double GetDoubleTag() const { return doubleTag_; }
  Integer GetTag() const { return tag_; }
  Integer IndexOfField(const std::string& name) const;
  Integer FieldIndexByName(const std::string& name) const;
  Integer GetIndexCount() const { return static_cast<Integer>(indexes_.size()); }
  TMemIndexType GetIndexType(Integer index) const;
  TMemAnyType GetIndexKeyType(Integer index) const;
  Integer GetIndexField(Integer index) const;
  std::string GetIndexName(Integer index) const;
  void SetFieldTag(Integer field, Integer tag);
  void SetName(const std::string& name) { name_ = name; }
  void SetDoubleTag(Double tag) { doubleTag_ = tag; }
  void SetTag(Integer tag) { tag_ = tag; }
  Integer FindIndexOnField(Integer field) const;
  Integer FindIndexOnFieldName(const std::string& name) const;
  bool SameStructure(const IMemDataSet& other) const;
  void GetIntegerValues(Integer field, Integer index, std::vector<Integer>& values, Byte flags) const;
  void GetStringValues(Integer field, Integer index, std::vector<AnsiString>& values, Byte flags) const;
  void GetRecords(Integer field, Integer index, TMemRecordArray& records, Byte flags) const;

  // Size of one record block in bytes (class part and data area).
  Integer RecordSize() const { return recordSize_; }
  // Self-check of an index's inner structure (tree shape and balance, hash
  // chains, entry count); raises EAssertionFailed when it is broken.
  void CheckIndexIntegrity(Integer index) const;

  // Used by the records and the index code.
  const memds::TMemFieldDescriptor& Field(Integer field) const {
    if (static_cast<uint32_t>(field) >= fields_.size()) [[unlikely]]
      RaiseFieldRange(field);
    return fields_[static_cast<size_t>(field)];
  }
  const memds::TMemFieldDescriptor& TypedField(Integer field, TMemAnyType accessedAs) const {
    const auto& d = Field(field);
    if (d.Type != accessedAs) [[unlikely]]
      RaiseType(d, accessedAs);
    return d;
  }
  TMemIndex* Index(Integer index) const;
  [[noreturn]] void RaiseFieldRange(Integer field) const;
  [[noreturn]] void RaiseIndexRange(Integer index) const;
  [[noreturn]] void RaiseType(const memds::TMemFieldDescriptor& d, TMemAnyType accessedAs) const;
  [[noreturn]] void RaiseCalculatedSet(const memds::TMemFieldDescriptor& d) const;
  std::string FieldLabel(Integer field, const std::string& name) const;
  bool Clearing() const { return clearing_; }

 private:
  friend class TMemRecord;
  Integer allocate(Integer size);
  void resetLayout(Integer instanceSize);
  Integer addFieldDescriptor(TMemAnyType type, const std::string& name, Byte flags);
  Integer addCalculated(TMemAnyType type, const std::string& name,
                        std::function<void(TMemRecord&, Integer, void*, bool&)> event, bool assigned);
  TMemRecord* newRecord();
  void linkBefore(TMemRecord* rec, TMemRecord* before);
  void unlink(TMemRecord* rec);
  void releaseBlock(TMemRecord* rec);
  void assignValue(TMemRecord* rec, const memds::TMemFieldDescriptor& d, const void* raw, size_t size);
  void clearValue(TMemRecord* rec, const memds::TMemFieldDescriptor& d);
  void removeFromIndexes(TMemRecord* rec);
  std::vector<Integer> resolveFields(const TMemArgs& fields) const;
  TMemIndex* typedIndex(Integer index, TMemAnyType keyType) const;
  TMemRecord* findByManyFields(TMemIndex* ix, const TMemArgs& values, Byte flags) const;
  std::string prefix() const;
  template <class C>
  void sortList(C&& mayStayBefore);

  class Pool {
   public:
    void SetBlockSize(size_t size) { blockSize_ = size; }
    void* Allocate();
    void Release(void* block);
    void Reset();
    ~Pool() { Reset(); }

   private:
    size_t blockSize_ = 0;
    std::vector<std::unique_ptr<char[]>> chunks_;
    size_t chunkBlocks_ = 0;
    size_t used_ = 0;  // blocks handed out of the newest chunk
    void* free_ = nullptr;
  };

  TMemRecord* first_ = nullptr;
  TMemRecord* last_ = nullptr;
  Integer recordCount_ = 0;
  uint64_t nextSerial_ = 0;
  std::unordered_map<std::string, Integer> fieldNames_;
  Integer recordSize_ = 0;
  std::vector<memds::TMemFieldDescriptor> fields_;
  std::vector<Integer> stringOffsets_;  // offsets of every string value (both kinds)
  Integer nullOffset_ = 0;
  Byte nextNullBit_ = 0;
  std::vector<std::pair<Integer, Byte>> required_;
  std::vector<std::unique_ptr<TMemIndex>> indexes_;
  const TMemRecordClass* recordClass_;
  std::string name_;
  Double doubleTag_ = 0;
  Integer tag_ = 0;
  std::unique_ptr<TMemRecordEnumeratorFactory> enumerator_;
  Integer free1_ = 0, free2_ = 0, free4_ = 0;
  bool clearing_ = false;
  Pool pool_;
};

// Factories.
IMemDataSet CreateMemDataSet();
IMemDataSet CreateNamedMemDataSet(const std::string& name, Double doubleTag = 0);
IMemDataSet CreateMemDataSetFromSpec(const std::string& name, const std::string& spec,
                                     const TMemRecordClass* recordClass = nullptr, Double doubleTag = 0);

std::string GUIDToText(const TGUID& guid);
// Raises EConvertError "String is not a valid GUID".
TGUID TextToGUID(std::string_view text);

// Natural order of strings: case and accents folded, digit runs compared as
// numbers, ties broken by the ordinal order. -1, 0 or 1.
int NaturalCompareAnsi(std::string_view a, std::string_view b);
int NaturalCompareUnicode(std::u16string_view a, std::u16string_view b);

// Hash of the record store (MurmurHash3 x86 32-bit, seed 0).
uint32_t MemHashBytes(const void* data, size_t length);

// A set of strings in which equal strings share one stored copy.
class TAnsiStringSet {
 public:
  explicit TAnsiStringSet(bool ordered);
  // Replaces s with the set's copy of it (added when new) and returns a view
  // of that copy, valid as long as the set lives.
  std::string_view Intern(AnsiString& s);
  Integer Count() const { return table_->GetRecordCount(); }

 private:
  IMemDataSet table_;
};

// ---------------------------------------------------------------------------
// Inline parts.

template <class T>
const TMemRecordClass* MemRecordClass() {
  static_assert(std::is_base_of_v<TMemRecord, T>);
  static_assert(alignof(T) <= 8);
  static const TMemRecordClass cls{typeid(T).name(), sizeof(T), [](void* block) -> TMemRecord* {
                                     T* rec = new (block) T();
                                     return static_cast<TMemRecord*>(rec);
                                   }};
  return &cls;
}

template <TMemAnyType T, class V>
inline V TMemRecord::getScalar(Integer field) const {
  const auto& d = table_->TypedField(field, T);
  if (d.Calculate) [[unlikely]] {
    V v{};
    bool isNull = false;
    d.Calculate(const_cast<TMemRecord&>(*this), field, &v, isNull);
    return v;
  }
  return memds::Load<V>(Block() + d.DataOffset);
}

template <TMemAnyType T, class V>
inline void TMemRecord::setScalar(Integer field, const V& value) {
  const auto& d = table_->TypedField(field, T);
  if (d.Calculate) [[unlikely]]
    table_->RaiseCalculatedSet(d);
  if (d.Indexes.empty()) [[likely]] {
    memds::Store<V>(Block() + d.DataOffset, value);
    Block()[d.NullOffset] = static_cast<char>(Block()[d.NullOffset] | d.NullMask);
  } else {
    table_->assignValue(this, d, &value, sizeof(V));
  }
}

inline Integer TMemRecord::GetInteger(Integer f) const { return getScalar<mftInteger, Integer>(f); }
inline Int64 TMemRecord::GetInt64(Integer f) const { return getScalar<mftInt64, Int64>(f); }
inline Single TMemRecord::GetSingle(Integer f) const { return getScalar<mftSingle, Single>(f); }
inline Double TMemRecord::GetDouble(Integer f) const { return getScalar<mftDouble, Double>(f); }
inline Currency TMemRecord::GetCurrency(Integer f) const { return getScalar<mftCurrency, Currency>(f); }
inline TGUID TMemRecord::GetGUID(Integer f) const { return getScalar<mftGUID, TGUID>(f); }
inline Word TMemRecord::GetWord(Integer f) const { return getScalar<mftWord, Word>(f); }
inline Byte TMemRecord::GetByte(Integer f) const { return getScalar<mftByte, Byte>(f); }
inline void TMemRecord::SetInteger(Integer f, Integer v) { setScalar<mftInteger>(f, v); }
inline void TMemRecord::SetInt64(Integer f, Int64 v) { setScalar<mftInt64>(f, v); }
inline void TMemRecord::SetSingle(Integer f, Single v) { setScalar<mftSingle>(f, v); }
inline void TMemRecord::SetDouble(Integer f, Double v) { setScalar<mftDouble>(f, v); }
inline void TMemRecord::SetCurrency(Integer f, Currency v) { setScalar<mftCurrency>(f, v); }
inline void TMemRecord::SetGUID(Integer f, const TGUID& v) { setScalar<mftGUID>(f, v); }
inline void TMemRecord::SetWord(Integer f, Word v) { setScalar<mftWord>(f, v); }
inline void TMemRecord::SetByte(Integer f, Byte v) { setScalar<mftByte>(f, v); }

}  // namespace px
