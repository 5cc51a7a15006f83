// Record-store tables: definition (fields, indexes, record layout), the
// record list and pool, the typed finds and the table-wide queries.
#include "data/UnitDataSet.h"

#include <algorithm>
#include <cstring>

#include "data/UnitDataSetIndex.h"
#include "platform/core/CodePages.h"

#if defined(__SANITIZE_ADDRESS__)
#define PX_DATA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PX_DATA_ASAN 1
#endif
#endif
#ifdef PX_DATA_ASAN
#include <sanitizer/asan_interface.h>
#define PX_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define PX_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define PX_POISON(p, n) ((void)(p), (void)(n))
#define PX_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace px {

using memds::TMemFieldDescriptor;

namespace {

const char* const kTypeNames[] = {"mftInteger", "mftInt64",   "mftAnsiString", "mftUnicodeString",
                                  "mftSingle",  "mftDouble",  "mftCurrency",   "mftBoolean",
                                  "mftGUID",    "mftWord",    "mftByte",       "mftNone"};
const char* const kIndexNames[] = {"mitNone",
                                   "mitUnorderedUnique",
                                   "mitOrderedUnique",
                                   "mitOrderedNonUnique",
                                   "mitOrderedUniqueStatic",
                                   "mitOrderedNonUniqueStatic"};
constexpr Integer kTypeSizes[] = {4, 8, 8, 8, 4, 8, 8, 1, 16, 2, 1};

const TMemRecordClass* defaultRecordClass() { return MemRecordClass<TMemRecord>(); }

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

Integer MemTypeSize(TMemAnyType type) { return type < mftNone ? kTypeSizes[type] : 0; }

const char* MemAnyTypeName(TMemAnyType type) { return type <= mftNone ? kTypeNames[type] : "?"; }
const char* MemIndexTypeName(TMemIndexType kind) { return kind <= mitOrderedNonUniqueStatic ? kIndexNames[kind] : "?"; }

namespace memds {
void* NewAnsiRep(std::string_view s) {
  if (s.empty()) return nullptr;
  Assert(s.size() <= UINT32_MAX);
  void* rep = ::operator new(sizeof(StrHeader) + s.size());
  static_cast<StrHeader*>(rep)->Length = static_cast<uint32_t>(s.size());
  std::memcpy(static_cast<StrHeader*>(rep) + 1, s.data(), s.size());
  return rep;
}
void* NewUnicodeRep(std::u16string_view s) {
  if (s.empty()) return nullptr;
  Assert(s.size() <= UINT32_MAX / 2);
  void* rep = ::operator new(sizeof(StrHeader) + s.size() * 2);
  static_cast<StrHeader*>(rep)->Length = static_cast<uint32_t>(s.size());
  std::memcpy(static_cast<StrHeader*>(rep) + 1, s.data(), s.size() * 2);
  return rep;
}
}  // namespace memds

// ---------------------------------------------------------------------------
// Messages

std::string TMemDataSet::prefix() const { return "Dataset: [" + quoted(name_) + "]"; }

std::string TMemDataSet::FieldLabel(Integer field, const std::string& name) const {
  return "Field: [" + std::to_string(field) + "," + quoted(name) + "]";
}

void TMemDataSet::RaiseFieldRange(Integer field) const {
  throw EDatasetException("Field index out of range. " + prefix() + " FieldIndex: [" + std::to_string(field) + "]");
}

void TMemDataSet::RaiseIndexRange(Integer index) const {
  throw EDatasetException("Index index out of range. " + prefix() + " IndexIndex: [" + std::to_string(index) + "]");
}

void TMemDataSet::RaiseType(const TMemFieldDescriptor& d, TMemAnyType accessedAs) const {
  throw EDatasetException("Invalid field type. " + prefix() + " " + FieldLabel(d.FieldNo, d.Name) + " FieldType: [" +
                          quoted(MemAnyTypeName(d.Type)) + "] Accessed as: [" + quoted(MemAnyTypeName(accessedAs)) + "]");
}

void TMemDataSet::RaiseCalculatedSet(const TMemFieldDescriptor& d) const {
  throw EDatasetException("Cannot set value of a calculated field. " + prefix() + " " + FieldLabel(d.FieldNo, d.Name));
}

namespace {
[[noreturn]] void raiseKind() { throw EDatasetException("Invalid field/index type."); }
}  // namespace

// ---------------------------------------------------------------------------
// Pool of record blocks

void* TMemDataSet::Pool::Allocate() {
  if (free_) {
    void* b = free_;
    PX_UNPOISON(b, blockSize_);
    free_ = memds::LoadPtr(static_cast<char*>(b));
    return b;
  }
  if (chunks_.empty() || used_ == chunkBlocks_) {
    chunkBlocks_ = chunks_.empty() ? 16 : std::min<size_t>(chunkBlocks_ * 2, 8192);
    chunks_.emplace_back(new char[blockSize_ * chunkBlocks_]);
    used_ = 0;
  }
  return chunks_.back().get() + blockSize_ * used_++;
}

void TMemDataSet::Pool::Release(void* block) {
  memds::Store<void*>(static_cast<char*>(block), free_);
  free_ = block;
  PX_POISON(static_cast<char*>(block) + sizeof(void*), blockSize_ - sizeof(void*));
}

void TMemDataSet::Pool::Reset() {
#ifdef PX_DATA_ASAN
  size_t blocks = 16;
  for (auto& c : chunks_) {
    PX_UNPOISON(c.get(), blockSize_ * blocks);
    blocks = std::min<size_t>(blocks * 2, 8192);
  }
#endif
  chunks_.clear();
  free_ = nullptr;
  used_ = 0;
  chunkBlocks_ = 0;
}

// ---------------------------------------------------------------------------
// Table

TMemDataSet::TMemDataSet() : recordClass_(defaultRecordClass()) { resetLayout(static_cast<Integer>(recordClass_->InstanceSize)); }

TMemDataSet::~TMemDataSet() {
  try {
    Clear();
  } catch (...) {
  }
}

void TMemDataSet::resetLayout(Integer instanceSize) {
  recordSize_ = instanceSize;
  free1_ = free2_ = free4_ = 0;
  allocate(0);
}

// Packs values: 1, 2 and 4 bytes go into holes left by earlier requests,
// everything else goes at the end, which is then padded to 8 bytes with the
// padding remembered as holes.
Integer TMemDataSet::allocate(Integer size) {
  Integer* slot = size == 1 ? &free1_ : size == 2 ? &free2_ : size == 4 ? &free4_ : nullptr;
  if (slot) {
    if (*slot) {
      Integer off = *slot;
      *slot = 0;
      return off;
    }
    Integer off = allocate(size * 2);
    *slot = off + size;
    return off;
  }
  Integer off = recordSize_;
  recordSize_ += size;
  while (recordSize_ % 8) {
    if (recordSize_ & 1) {
      free1_ = recordSize_;
      recordSize_ += 1;
    } else if (recordSize_ & 2) {
      free2_ = recordSize_;
      recordSize_ += 2;
    } else if (recordSize_ & 4) {
      free4_ = recordSize_;
      recordSize_ += 4;
    }
  }
  Assert(recordSize_ % 8 == 0);
  return off;
}

void TMemDataSet::SetRecordClass(const TMemRecordClass* recordClass) {
  if (!fields_.empty() || !indexes_.empty() || recordCount_ > 0)
    throw EDatasetException("Cannot add fields, indexes, set record class or clone when dataset contains records. " + prefix());
  recordClass_ = recordClass ? recordClass : defaultRecordClass();
  resetLayout(static_cast<Integer>(recordClass_->InstanceSize));
}

Integer TMemDataSet::AddField(TMemFieldType fieldType, const std::string& name, Byte flags) {
  if (flags & mffCalculated)
    throw EDatasetException("Invalid field flags. " + prefix() + " " + FieldLabel(GetFieldCount(), name));
  if (fieldType >= mftNone) raiseKind();
  if (recordCount_ > 0)
    throw EDatasetException("Cannot add fields, indexes, set record class or clone when dataset contains records. " + prefix());
  return addFieldDescriptor(fieldType, name, flags);
}

Integer TMemDataSet::addFieldDescriptor(TMemAnyType type, const std::string& name, Byte flags) {
  if (!name.empty()) {
    auto it = fieldNames_.find(name);
    if (it != fieldNames_.end())
      throw EDatasetException("Fieldname already in use. " + prefix() + " " + FieldLabel(it->second, name));
  }
  TMemFieldDescriptor d;
  d.Type = type;
  d.Flags = flags;
  d.FieldNo = GetFieldCount();
  d.Name = name;
  if (!(flags & mffCalculated)) {
    d.DataOffset = allocate(kTypeSizes[type]);
    if (nextNullBit_ == 0) {
      nullOffset_ = allocate(1);
      nextNullBit_ = 1;
    }
    d.NullOffset = nullOffset_;
    d.NullMask = nextNullBit_;
    nextNullBit_ = static_cast<Byte>(nextNullBit_ << 1);
    if (!(flags & mffOptional)) {
      if (!required_.empty() && required_.back().first == d.NullOffset)
        required_.back().second = static_cast<Byte>(required_.back().second | d.NullMask);
      else
        required_.emplace_back(d.NullOffset, d.NullMask);
    }
    if (type == mftAnsiString || type == mftUnicodeString) stringOffsets_.push_back(d.DataOffset);
  }
  fields_.push_back(std::move(d));
  if (!name.empty()) fieldNames_[name] = fields_.back().FieldNo;
  return fields_.back().FieldNo;
}

Integer TMemDataSet::addCalculated(TMemAnyType type, const std::string& name,
                                   std::function<void(TMemRecord&, Integer, void*, bool&)> event, bool assigned) {
  if (!assigned)
    throw EDatasetException("No event specified for field. " + prefix() + " " + FieldLabel(GetFieldCount(), name) +
                            " FieldType: [" + quoted(MemAnyTypeName(type)) + "]");
  Integer no = addFieldDescriptor(type, name, mffOptional | mffCalculated);
  fields_[static_cast<size_t>(no)].Calculate = std::move(event);
  return no;
}

namespace {
template <class T>
std::function<void(TMemRecord&, Integer, void*, bool&)> wrapEvent(TMemCalcEvent<T> ev) {
  return [ev = std::move(ev)](TMemRecord& r, Integer f, void* v, bool& isNull) { ev(r, f, *static_cast<T*>(v), isNull); };
}
}  // namespace

#define PX_CALC_ADDER(Method, T, Type) \
  Integer TMemDataSet::Method(const std::string& name, TMemCalcEvent<T> event) { \
    bool assigned = static_cast<bool>(event);                                     \
    return addCalculated(Type, name, wrapEvent<T>(std::move(event)), assigned);   \
  }
PX_CALC_ADDER(AddCalculatedIntegerField, Integer, mftInteger)
PX_CALC_ADDER(AddCalculatedInt64Field, Int64, mftInt64)
PX_CALC_ADDER(AddCalculatedAnsiStringField, AnsiString, mftAnsiString)
PX_CALC_ADDER(AddCalculatedUnicodeStringField, UnicodeString, mftUnicodeString)
PX_CALC_ADDER(AddCalculatedSingleField, Single, mftSingle)
PX_CALC_ADDER(AddCalculatedDoubleField, Double, mftDouble)
PX_CALC_ADDER(AddCalculatedCurrencyField, Currency, mftCurrency)
PX_CALC_ADDER(AddCalculatedBooleanField, bool, mftBoolean)
PX_CALC_ADDER(AddCalculatedGUIDField, TGUID, mftGUID)
PX_CALC_ADDER(AddCalculatedWordField, Word, mftWord)
PX_CALC_ADDER(AddCalculatedByteField, Byte, mftByte)
#undef PX_CALC_ADDER

// ---------------------------------------------------------------------------
// Records in the list

TMemRecord* TMemDataSet::newRecord() {
  if (recordCount_ == 0 && !first_) pool_.Reset();  // the layout may have changed since the last record
  pool_.SetBlockSize(static_cast<size_t>(recordSize_));
  void* block = pool_.Allocate();
  std::memset(block, 0, static_cast<size_t>(recordSize_));
  TMemRecord* rec;
  try {
    rec = recordClass_->Construct(block);
  } catch (...) {
    pool_.Release(block);
    throw;
  }
  Assert(static_cast<void*>(rec) == block);
  rec->table_ = this;
  rec->serial_ = nextSerial_++;
  return rec;
}

void TMemDataSet::linkBefore(TMemRecord* rec, TMemRecord* before) {
  if (!before) {
    rec->prior_ = last_;
    rec->next_ = nullptr;
    if (last_)
      last_->next_ = rec;
    else
      first_ = rec;
    last_ = rec;
  } else {
    rec->next_ = before;
    rec->prior_ = before->prior_;
    if (before->prior_)
      before->prior_->next_ = rec;
    else
      first_ = rec;
    before->prior_ = rec;
  }
  ++recordCount_;
}

void TMemDataSet::unlink(TMemRecord* rec) {
  if (rec->prior_)
    rec->prior_->next_ = rec->next_;
  else
    first_ = rec->next_;
  if (rec->next_)
    rec->next_->prior_ = rec->prior_;
  else
    last_ = rec->prior_;
  rec->next_ = rec->prior_ = nullptr;
  --recordCount_;
}

void TMemDataSet::releaseBlock(TMemRecord* rec) { pool_.Release(rec); }

TMemRecord* TMemDataSet::AddRecord() {
  TMemRecord* rec = newRecord();
  linkBefore(rec, nullptr);
  return rec;
}

TMemRecord* TMemDataSet::InsertRecord(TMemRecord* before) {
  // A record of another table would tie the two lists together.
  if (before && before->table_ != this) throw EDatasetException("Error.");
  TMemRecord* rec = newRecord();
  linkBefore(rec, before);
  return rec;
}

void TMemDataSet::Clear() {
  if (clearing_) throw EDatasetException("Error.");
  clearing_ = true;
  while (first_) delete first_;
  recordCount_ = 0;
  for (auto& ix : indexes_) ix->Clear();
  pool_.Reset();
  clearing_ = false;
}

void TMemDataSet::removeFromIndexes(TMemRecord* rec) {
  for (auto& ix : indexes_)
    if (ix->HasKey(rec)) ix->Remove(rec);
}

// Stores a value of an indexed or string field. The record leaves the
// field's indexes, takes the new value and enters them again; when a unique
// index refuses the value, the old value and index membership come back.
// raw is the value as stored; a string value is a rep the call takes over.
void TMemDataSet::assignValue(TMemRecord* rec, const TMemFieldDescriptor& d, const void* raw, size_t size) {
  char* p = rec->Block() + d.DataOffset;
  char& nullByte = rec->Block()[d.NullOffset];
  const bool isString = d.Type == mftAnsiString || d.Type == mftUnicodeString;
  const bool had = (nullByte & d.NullMask) != 0;
  if (d.Indexes.empty()) {
    if (isString) memds::FreeRep(memds::LoadPtr(p));
    std::memcpy(p, raw, size);
    nullByte = static_cast<char>(nullByte | d.NullMask);
    return;
  }
  for (Integer ix : d.Indexes) {
    TMemIndex* index = indexes_[static_cast<size_t>(ix)].get();
    if (index->HasKey(rec)) index->Remove(rec);
  }
  alignas(8) char old[16];
  std::memcpy(old, p, size);
  std::memcpy(p, raw, size);
  nullByte = static_cast<char>(nullByte | d.NullMask);
  size_t entered = 0;
  for (; entered < d.Indexes.size(); ++entered) {
    TMemIndex* index = indexes_[static_cast<size_t>(d.Indexes[entered])].get();
    if (index->HasKey(rec) && !index->Insert(rec)) break;
  }
  if (entered == d.Indexes.size()) {
    if (isString) memds::FreeRep(memds::LoadPtr(old));
    return;
  }
  const TMemIndex* failed = indexes_[static_cast<size_t>(d.Indexes[entered])].get();
  for (size_t j = 0; j < entered; ++j) {
    TMemIndex* index = indexes_[static_cast<size_t>(d.Indexes[j])].get();
    if (index->HasKey(rec)) index->Remove(rec);
  }
  std::memcpy(p, old, size);
  if (!had) nullByte = static_cast<char>(nullByte & ~d.NullMask);
  for (Integer ix : d.Indexes) {
    TMemIndex* index = indexes_[static_cast<size_t>(ix)].get();
    if (index->HasKey(rec)) {
      const bool back = index->Insert(rec);
      Assert(back, "INTERNAL ERROR");
    }
  }
  if (isString) memds::FreeRep(memds::LoadPtr(static_cast<const char*>(raw)));
  throw EDatasetException("Duplicate value in unique index. " + prefix() + " " + FieldLabel(d.FieldNo, d.Name) +
                          " Index: [" + std::to_string(failed->Number) + "," + quoted(failed->Name) + "]");
}

void TMemDataSet::clearValue(TMemRecord* rec, const TMemFieldDescriptor& d) {
  char& nullByte = rec->Block()[d.NullOffset];
  if (!(nullByte & d.NullMask)) return;
  for (Integer ix : d.Indexes) {
    TMemIndex* index = indexes_[static_cast<size_t>(ix)].get();
    if (index->HasKey(rec)) index->Remove(rec);
  }
  nullByte = static_cast<char>(nullByte & ~d.NullMask);
  char* p = rec->Block() + d.DataOffset;
  if (d.Type == mftAnsiString || d.Type == mftUnicodeString) memds::FreeRep(memds::LoadPtr(p));
  Assert(d.Type < mftNone, "Not supported datatype");
  std::memset(p, 0, static_cast<size_t>(kTypeSizes[d.Type]));
}

// ---------------------------------------------------------------------------
// Indexes

TMemIndex* TMemDataSet::Index(Integer index) const {
  if (static_cast<uint32_t>(index) >= indexes_.size()) RaiseIndexRange(index);
  return indexes_[static_cast<size_t>(index)].get();
}

Integer TMemDataSet::AddIndex(const std::string& name, Integer field, TMemIndexType kind) {
  const bool isStatic = kind == mitOrderedUniqueStatic || kind == mitOrderedNonUniqueStatic;
  if (recordCount_ > 0 && !isStatic)
    throw EDatasetException("Cannot add fields, indexes, set record class or clone when dataset contains records. " + prefix());
  const TMemFieldDescriptor& d = Field(field);
  if (kind == mitNone || kind > mitOrderedNonUniqueStatic) raiseKind();
  if (d.IndexKind != mitNone)
    throw EDatasetException("Cannot add fields, indexes, set record class or clone when dataset contains records. " + prefix());
  std::unique_ptr<TMemIndex> ix = CreateMemIndex(kind, d.Type);
  if (!ix)
    throw EDatasetException("Invalid index type for given field type. " + prefix() + " Index: [" + quoted(name) +
                            "] Type: [" + quoted(MemIndexTypeName(kind)) + "] " + FieldLabel(field, d.Name));
  if (d.Flags & mffCalculated)
    throw EDatasetException("Indexes on calculated fields are not supported. " + prefix() + " " + FieldLabel(field, d.Name));
  ix->Owner = this;
  ix->KeyField = field;
  ix->Number = GetIndexCount();
  ix->Name = name;
  ix->KeyOffset = d.DataOffset;
  ix->NullOffset = d.NullOffset;
  ix->NullMask = d.NullMask;
  if (kind == mitUnorderedUnique)
    ix->NodeOffset = allocate(HashNodeSize);
  else if (!isStatic)
    ix->NodeOffset = allocate(TreeNodeSize);
  if (isStatic) ix->Rebuild();
  TMemFieldDescriptor& fd = fields_[static_cast<size_t>(field)];
  fd.IndexKind = kind;
  fd.Indexes.push_back(ix->Number);
  indexes_.push_back(std::move(ix));
  return indexes_.back()->Number;
}

Integer TMemDataSet::AddFieldIndex(Integer field, TMemIndexType kind) { return AddIndex("", field, kind); }

Integer TMemDataSet::AddIndexByFieldName(const std::string& name, const std::string& fieldName, TMemIndexType kind) {
  return AddIndex(name, IndexOfField(fieldName), kind);
}

Integer TMemDataSet::AddFieldIndexByName(const std::string& fieldName, TMemIndexType kind) {
  return AddIndex("", IndexOfField(fieldName), kind);
}

std::vector<Integer> TMemDataSet::resolveFields(const TMemArgs& fields) const {
  std::vector<Integer> result;
  for (const TMemArg& a : fields) {
    Integer f;
    if (a.IsInteger())
      f = static_cast<Integer>(a.IntValue());
    else if (a.IsNarrowText())
      f = IndexOfField(a.NarrowText());
    else if (a.IsWideText())
      f = IndexOfField(UnicodeToAnsi(a.WideText()));
    else
      throw EDatasetException("Unsupported array element type.");
    Field(f);
    result.push_back(f);
  }
  return result;
}

Integer TMemDataSet::AddMultiFieldIndex(const TMemArgs& fields, TMemIndexType kind) {
  return AddNamedMultiFieldIndex("", fields, kind);
}

// An index over several fields is a tree ordered field by field; hash and
// static kinds over several fields are refused with the kind error.
Integer TMemDataSet::AddNamedMultiFieldIndex(const std::string& name, const TMemArgs& fields, TMemIndexType kind) {
  if (recordCount_ > 0)
    throw EDatasetException("Cannot add fields, indexes, set record class or clone when dataset contains records. " + prefix());
  if (fields.empty()) throw EDatasetException("No index field specified. " + prefix() + " Index: [" + quoted(name) + "].");
  if (kind == mitNone) raiseKind();
  std::vector<Integer> resolved = resolveFields(fields);
  for (Integer f : resolved) {
    const auto& d = fields_[static_cast<size_t>(f)];
    if (d.Flags & mffCalculated)
      throw EDatasetException("Indexes on calculated fields are not supported. " + prefix() + " " + FieldLabel(f, d.Name));
  }
  if (resolved.size() == 1) return AddIndex(name, resolved[0], kind);
  std::vector<std::pair<TMemAnyType, Integer>> parts;
  for (Integer f : resolved) parts.emplace_back(fields_[static_cast<size_t>(f)].Type, fields_[static_cast<size_t>(f)].DataOffset);
  std::unique_ptr<TMemIndex> ix = CreateMultiFieldIndex(kind, parts);
  if (!ix) raiseKind();
  ix->Owner = this;
  ix->KeyField = -1;
  ix->Number = GetIndexCount();
  ix->Name = name;
  ix->KeyOffset = 0;
  ix->Fields = resolved;
  ix->NullOffset = fields_[static_cast<size_t>(resolved[0])].NullOffset;
  ix->NullMask = fields_[static_cast<size_t>(resolved[0])].NullMask;
  for (size_t i = 1; i < resolved.size(); ++i) {
    const auto& d = fields_[static_cast<size_t>(resolved[i])];
    ix->MoreNullBits.emplace_back(d.NullOffset, d.NullMask);
  }
  ix->NodeOffset = allocate(TreeNodeSize);
  for (Integer f : resolved) {
    auto& list = fields_[static_cast<size_t>(f)].Indexes;
    if (std::find(list.begin(), list.end(), ix->Number) == list.end()) list.push_back(ix->Number);
  }
  indexes_.push_back(std::move(ix));
  return indexes_.back()->Number;
}

Integer TMemDataSet::GetPrimaryIndex() const {
  for (const auto& ix : indexes_)
    if (ix->Kind == mitUnorderedUnique || ix->Kind == mitOrderedUnique) return ix->Number;
  return -1;
}

void TMemDataSet::RebuildIndexes() {
  for (auto& ix : indexes_) ix->Rebuild();
}

void TMemDataSet::RebuildIndex(Integer index) { Index(index)->Rebuild(); }

void TMemDataSet::CheckIndexIntegrity(Integer index) const { Index(index)->CheckIntegrity(); }

TMemRecord* TMemDataSet::FirstInIndex(Integer index) const { return index < 0 ? first_ : Index(index)->First(); }
TMemRecord* TMemDataSet::LastInIndex(Integer index) const { return index < 0 ? last_ : Index(index)->Last(); }

TMemRecordEnumeratorFactory& TMemDataSet::SetEnumeratorIndex(Integer index) {
  if (!enumerator_) enumerator_ = std::make_unique<TMemRecordEnumeratorFactory>(this);
  enumerator_->SetIndex(index);
  return *enumerator_;
}

// ---------------------------------------------------------------------------
// Typed finds

TMemIndex* TMemDataSet::typedIndex(Integer index, TMemAnyType keyType) const {
  TMemIndex* ix = Index(index);
  if (ix->KeyType != keyType) raiseKind();
  return ix;
}

TMemRecord* TMemDataSet::FindInteger(Integer index, Integer key, Byte flags) const {
  return typedIndex(index, mftInteger)->Find(&key, flags);
}

TMemRecord* TMemDataSet::FindInt64(Integer index, Int64 key, Byte flags) const {
  TMemIndex* ix = Index(index);
  if (ix->KeyType == mftInteger) {
    if (key < INT32_MIN || key > INT32_MAX) throw EDatasetException("Value out of range.");
    Integer k = static_cast<Integer>(key);
    return ix->Find(&k, flags);
  }
  if (ix->KeyType != mftInt64) raiseKind();
  return ix->Find(&key, flags);
}

TMemRecord* TMemDataSet::FindAnsiString(Integer index, std::string_view key, Byte flags) const {
  return typedIndex(index, mftAnsiString)->Find(&key, flags);
}

TMemRecord* TMemDataSet::FindUnicodeString(Integer index, std::u16string_view key, Byte flags) const {
  return typedIndex(index, mftUnicodeString)->Find(&key, flags);
}

TMemRecord* TMemDataSet::FindPAnsiChar(Integer index, const char* key, Byte flags) const {
  return FindAnsiString(index, key ? std::string_view(key) : std::string_view(), flags);
}

TMemRecord* TMemDataSet::FindSingle(Integer index, Single key, Byte flags) const {
  return typedIndex(index, mftSingle)->Find(&key, flags);
}

TMemRecord* TMemDataSet::FindDouble(Integer index, Double key, Byte flags) const {
  return typedIndex(index, mftDouble)->Find(&key, flags);
}

TMemRecord* TMemDataSet::FindCurrency(Integer index, Currency key, Byte flags) const {
  Int64 raw = key.Raw();
  return typedIndex(index, mftCurrency)->Find(&raw, flags);
}

TMemRecord* TMemDataSet::FindGUID(Integer index, const TGUID& key, Byte flags) const {
  return typedIndex(index, mftGUID)->Find(&key, flags);
}

TMemRecord* TMemDataSet::FindWord(Integer index, Word key, Byte flags) const {
  return typedIndex(index, mftWord)->Find(&key, flags);
}

TMemRecord* TMemDataSet::FindByte(Integer index, Byte key, Byte flags) const {
  return typedIndex(index, mftByte)->Find(&key, flags);
}

// ---------------------------------------------------------------------------
// Descriptions

TMemFieldType TMemDataSet::GetFieldType(Integer field) const { return Field(field).Type; }
Byte TMemDataSet::GetFieldFlags(Integer field) const { return Field(field).Flags; }
std::string TMemDataSet::GetFieldName(Integer field) const { return Field(field).Name; }
Integer TMemDataSet::GetFieldTag(Integer field) const { return Field(field).Tag; }
void TMemDataSet::SetFieldTag(Integer field, Integer tag) {
  Field(field);
  fields_[static_cast<size_t>(field)].Tag = tag;
}

Integer TMemDataSet::IndexOfField(const std::string& name) const {
  if (name.empty()) return -1;
  auto it = fieldNames_.find(name);
  return it == fieldNames_.end() ? -1 : it->second;
}

Integer TMemDataSet::FieldIndexByName(const std::string& name) const {
  Integer f = IndexOfField(name);
  if (f < 0) throw EDatasetException("Field not found. " + prefix() + " Fieldname: [" + quoted(name) + "]");
  return f;
}

TMemIndexType TMemDataSet::GetIndexType(Integer index) const { return Index(index)->Kind; }
TMemAnyType TMemDataSet::GetIndexKeyType(Integer index) const { return Index(index)->KeyType; }
Integer TMemDataSet::GetIndexField(Integer index) const { return Index(index)->KeyField; }
std::string TMemDataSet::GetIndexName(Integer index) const { return Index(index)->Name; }

Integer TMemDataSet::FindIndexOnField(Integer field) const {
  for (const auto& ix : indexes_)
    if (ix->KeyField == field) return ix->Number;
  return -1;
}

Integer TMemDataSet::FindIndexOnFieldName(const std::string& name) const {
  Integer f = IndexOfField(name);
  return f < 0 ? -1 : FindIndexOnField(f);
}

bool TMemDataSet::SameStructure(const IMemDataSet& other) const {
  if (!other || other->fields_.size() != fields_.size() || other->indexes_.size() != indexes_.size()) return false;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const auto &a = fields_[i], &b = other->fields_[i];
    if (a.Type != b.Type || a.Flags != b.Flags || a.Name != b.Name || a.Tag != b.Tag) return false;
  }
  for (size_t i = 0; i < indexes_.size(); ++i) {
    const auto &a = *indexes_[i], &b = *other->indexes_[i];
    if (a.Kind != b.Kind || a.Name != b.Name || a.KeyField != b.KeyField) return false;
  }
  return true;
}

namespace {
template <class F>
void visitRecords(const TMemDataSet& t, Integer field, Integer index, Byte flags, F&& f) {
  const bool backwards = flags & mgBackwards;
  TMemRecord* r = backwards ? t.LastInIndex(index) : t.FirstInIndex(index);
  while (r) {
    TMemRecord* nx = index < 0 ? (backwards ? r->GetPrior() : r->GetNext())
                               : (backwards ? r->PriorInIndex(index) : r->NextInIndex(index));
    if (!((flags & mgSkipNull) && field >= 0 && r->IsNull(field))) f(r);
    r = nx;
  }
}
}  // namespace

void TMemDataSet::GetIntegerValues(Integer field, Integer index, std::vector<Integer>& values, Byte flags) const {
  Field(field);
  values.clear();
  visitRecords(*this, field, index, flags, [&](TMemRecord* r) { values.push_back(r->GetAsInteger(field)); });
}

void TMemDataSet::GetStringValues(Integer field, Integer index, std::vector<AnsiString>& values, Byte flags) const {
  Field(field);
  values.clear();
  visitRecords(*this, field, index, flags, [&](TMemRecord* r) { values.push_back(r->GetAsString(field)); });
}

void TMemDataSet::GetRecords(Integer field, Integer index, TMemRecordArray& records, Byte flags) const {
  if (field != -1) Field(field);
  records.clear();
  visitRecords(*this, field, index, flags, [&](TMemRecord* r) { records.push_back(r); });
}

// ---------------------------------------------------------------------------
// Factories

IMemDataSet CreateMemDataSet() { return std::make_shared<TMemDataSet>(); }

IMemDataSet CreateNamedMemDataSet(const std::string& name, Double doubleTag) {
  IMemDataSet t = CreateMemDataSet();
  t->SetName(name);
  t->SetDoubleTag(doubleTag);
  return t;
}

namespace {
struct SpecKeyword {
  const char* Text;
  TMemAnyType Type;
};
constexpr SpecKeyword kSpecKeywords[] = {
    {"int", mftInteger}, {"i64", mftInt64},   {"str", mftAnsiString}, {"astr", mftAnsiString},
    {"ustr", mftUnicodeString}, {"flt", mftSingle}, {"dbl", mftDouble}, {"curr", mftCurrency},
    {"bool", mftBoolean}, {"guid", mftGUID}, {"word", mftWord},     {"byte", mftByte}};

uint32_t specHash(std::string_view k) {
  uint32_t h = static_cast<uint32_t>(k.size());
  for (size_t i = k.size(); i-- > 0;) h = (static_cast<uint8_t>(k[i]) ^ h) + h;
  return h;
}
}  // namespace

IMemDataSet CreateMemDataSetFromSpec(const std::string& name, const std::string& spec, const TMemRecordClass* recordClass,
                                     Double doubleTag) {
  IMemDataSet t = CreateNamedMemDataSet(name, doubleTag);
  if (recordClass) t->SetRecordClass(recordClass);
  size_t pos = 0;
  const size_t n = spec.size();
  while (true) {
    size_t stop = spec.find_first_of("#*+:;", pos);
    if (stop == std::string::npos) stop = n;
    std::string fieldName;
    size_t typeStart = pos;
    if (stop < n && spec[stop] == ':') {
      fieldName = spec.substr(pos, stop - pos);
      typeStart = stop + 1;
    }
    size_t typeEnd = spec.find_first_of("#*+;", typeStart);
    if (typeEnd == std::string::npos) typeEnd = n;
    const std::string keyword = spec.substr(typeStart, typeEnd - typeStart);
    if (keyword.empty()) throw EDatasetException("Unknown datatype: []");
    // Keywords are matched by their text: a hash match alone would take
    // "int64" for "int".
    const SpecKeyword* kw = nullptr;
    for (const auto& k : kSpecKeywords)
      if (keyword == k.Text) kw = &k;
    if (!kw)
      throw EDatasetException("Unknown datatype: [" + keyword + "], [" + std::to_string(static_cast<Integer>(specHash(keyword))) +
                              "]");
    Integer field = t->AddField(kw->Type, fieldName, 0);
    const char mark = typeEnd < n ? spec[typeEnd] : ';';
    if (mark == '#')
      t->AddIndex(fieldName, field, mitUnorderedUnique);
    else if (mark == '*')
      t->AddIndex(fieldName, field, mitOrderedUnique);
    else if (mark == '+')
      t->AddIndex(fieldName, field, mitOrderedNonUnique);
    if (typeEnd + 1 >= n) break;
    pos = typeEnd + 1;
  }
  return t;
}

std::string GUIDToText(const TGUID& g) {
  static const char hex[] = "0123456789ABCDEF";
  std::string s = "{";
  auto put = [&](uint64_t v, int digits) {
    for (int i = digits - 1; i >= 0; --i) s += hex[(v >> (i * 4)) & 15];
  };
  put(g.D1, 8);
  s += '-';
  put(g.D2, 4);
  s += '-';
  put(g.D3, 4);
  s += '-';
  put(g.D4[0], 2);
  put(g.D4[1], 2);
  s += '-';
  for (int i = 2; i < 8; ++i) put(g.D4[static_cast<size_t>(i)], 2);
  s += '}';
  return s;
}

TGUID TextToGUID(std::string_view text) {
  auto fail = [] { throw EConvertError("String is not a valid GUID"); };
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' || text[19] != '-' ||
      text[24] != '-')
    fail();
  uint8_t bytes[16];
  size_t b = 0;
  auto digit = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    fail();
    return 0;
  };
  for (size_t i = 1; i < 37;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      ++i;
      continue;
    }
    bytes[b++] = static_cast<uint8_t>(digit(text[i]) * 16 + digit(text[i + 1]));
    i += 2;
  }
  TGUID g;
  g.D1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
  g.D2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  g.D3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (size_t i = 0; i < 8; ++i) g.D4[i] = bytes[8 + i];
  return g;
}

}  // namespace px
