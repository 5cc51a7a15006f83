#include "dbclient/dbclibResult.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/core/CodePages.h"
#include "platform/core/Format.h"

namespace px {

namespace {

int storageOf(const XSQLVAR& v) { return v.sqltype & ~1; }
bool isBlobStorage(int st) { return st == SQL_BLOB || st == SQL_QUAD; }
size_t align8(size_t n) { return (n + 7) & ~size_t(7); }
size_t align2(size_t n) { return (n + 1) & ~size_t(1); }

// Bytes of an array's data: element size × element count.
Int64 arrayDataSize(const ISC_ARRAY_DESC& d) {
  Int64 element = d.array_desc_length;
  if (d.array_desc_dtype == blr_varying || d.array_desc_dtype == blr_varying2) element += 2;
  Int64 count = 1;
  int dims = std::clamp<int>(d.array_desc_dimensions, 0, 16);
  for (int i = 0; i < dims; ++i) {
    Int64 span = static_cast<Int64>(d.array_desc_bounds[i].array_bound_upper) -
                 d.array_desc_bounds[i].array_bound_lower + 1;
    if (span <= 0) return -1;
    count *= span;
    if (count > 0x7FFFFFFF) return -1;
  }
  return element * count;
}

// A column's data area: what the client writes plus, for blobs, the record
// of the whole contents and, for arrays, the array data.
size_t dataSizeOf(const XSQLVAR& v, Integer arraySize) {
  int st = storageOf(v);
  size_t len = static_cast<size_t>(std::max<ISC_SHORT>(v.sqllen, 0));
  if (st == SQL_VARYING) return len + 2;
  if (isBlobStorage(st)) return 8 + sizeof(TBlobData);
  if (st == SQL_ARRAY) return 8 + static_cast<size_t>(std::max(arraySize, 0));
  return len;
}

// Size of the fixed part a column contributes to the stream format.
size_t streamDataSize(const XSQLVAR& v) {
  size_t len = static_cast<size_t>(std::max<ISC_SHORT>(v.sqllen, 0));
  return storageOf(v) == SQL_VARYING ? len + 2 : len;
}

[[noreturn]] void castError() { throw EDBCConvertError("Cast error."); }
[[noreturn]] void badStream() { throw EReadError("Invalid result stream"); }

template <class T>
void put(TStream& s, T v) {
  s.WriteBuffer(&v, sizeof v);
}
template <class T>
T get(TStream& s) {
  T v;
  s.ReadBuffer(&v, sizeof v);
  return v;
}

// Storage types a stream may declare.
bool knownStorage(int st) {
  switch (st) {
    case SQL_VARYING:
    case SQL_TEXT:
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_LONG:
    case SQL_SHORT:
    case SQL_TIMESTAMP:
    case SQL_BLOB:
    case SQL_D_FLOAT:
    case SQL_ARRAY:
    case SQL_QUAD:
    case SQL_TYPE_TIME:
    case SQL_TYPE_DATE:
    case SQL_INT64: return true;
    default: return false;
  }
}

// The length a fixed-size storage type must declare; 0 for text.
Integer fixedLength(int st) {
  switch (st) {
    case SQL_SHORT: return 2;
    case SQL_LONG:
    case SQL_FLOAT:
    case SQL_TYPE_TIME:
    case SQL_TYPE_DATE: return 4;
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_INT64:
    case SQL_TIMESTAMP:
    case SQL_BLOB:
    case SQL_QUAD:
    case SQL_ARRAY: return 8;
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// TPoolStream

TPoolStream::TPoolStream(Integer ItemsInPage, Integer ItemSize) : itemsInPage_(ItemsInPage), itemSize_(ItemSize) {
  Assert(ItemsInPage > 0 && ItemSize > 0, "Assertion failure");
  Int64 page = static_cast<Int64>(ItemsInPage) * ItemSize;
  Assert(page <= 0x7FFFFFF0, "Assertion failure");
  pageSize_ = static_cast<Integer>(page);
  allocatedPageSize_ = (pageSize_ + 3) & ~3;
}

TPoolStream::~TPoolStream() { Clear(); }

void TPoolStream::Clear() {
  for (char* p : pages_) std::free(p);
  pages_.clear();
  size_ = 0;
  position_ = 0;
  itemCount_ = 0;
}

void TPoolStream::SetSize(Int64 NewSize) {
  if (NewSize < 0) NewSize = 0;
  size_t needed = static_cast<size_t>((NewSize + pageSize_ - 1) / pageSize_);
  while (pages_.size() > needed) {
    std::free(pages_.back());
    pages_.pop_back();
  }
  if (pages_.size() < needed) pages_.reserve(needed);
  while (pages_.size() < needed) {
    char* page = static_cast<char*>(std::calloc(1, static_cast<size_t>(allocatedPageSize_)));
    if (!page) throw EOutOfMemory("Out of memory");
    pages_.push_back(page);
  }
  size_ = NewSize;
  itemCount_ = static_cast<Integer>(NewSize / itemSize_);
  if (position_ > NewSize) position_ = NewSize;
}

void* TPoolStream::Add() {
  Integer index = itemCount_;
  SetSize(static_cast<Int64>(index + 1) * itemSize_);
  return Get(index);
}

void* TPoolStream::Get(Integer Index) const {
  Assert(Index >= 0 && static_cast<Int64>(Index) * itemSize_ < size_, "Assertion failure");
  return pages_[static_cast<size_t>(Index / itemsInPage_)] + static_cast<size_t>(Index % itemsInPage_) * itemSize_;
}

Int64 TPoolStream::Read(void* Buffer, Int64 Count) {
  if (position_ < 0 || Count < 0 || position_ + Count <= 0) return 0;
  if (position_ >= size_) return 0;
  Count = std::min(Count, size_ - position_);
  Int64 done = 0;
  while (done < Count) {
    Int64 page = position_ / pageSize_;
    Int64 offset = position_ % pageSize_;
    Int64 n = std::min<Int64>(Count - done, pageSize_ - offset);
    std::memcpy(static_cast<char*>(Buffer) + done, pages_[static_cast<size_t>(page)] + offset, static_cast<size_t>(n));
    done += n;
    position_ += n;
  }
  return Count;
}

Int64 TPoolStream::Write(const void* Buffer, Int64 Count) {
  if (position_ < 0 || Count < 0 || position_ + Count <= 0) return 0;
  if (position_ + Count > size_) SetSize(position_ + Count);
  Int64 done = 0;
  while (done < Count) {
    Int64 page = position_ / pageSize_;
    Int64 offset = position_ % pageSize_;
    Int64 n = std::min<Int64>(Count - done, pageSize_ - offset);
    std::memcpy(pages_[static_cast<size_t>(page)] + offset, static_cast<const char*>(Buffer) + done,
                static_cast<size_t>(n));
    done += n;
    position_ += n;
  }
  return Count;
}

Int64 TPoolStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  switch (static_cast<int>(Origin)) {
    case 0: position_ = Offset; break;
    case 1: position_ += Offset; break;
    case 2: position_ = size_ + Offset; break;
    default: break;
  }
  return position_;
}

// ---------------------------------------------------------------------------
// TSQLResult

TSQLResult::TSQLResult(TCharacterSet CharacterSet, Integer Columns, bool CachedFetch_, bool FetchBlobs_,
                       Integer BufferChunks_)
    : TSQLDA(CharacterSet), CachedFetch(CachedFetch_), FetchBlobs(FetchBlobs_), BufferChunks(BufferChunks_) {
  SetAllocatedFields(static_cast<Word>(std::clamp(Columns, 0, 0x7FFF)));
}

TSQLResult::~TSQLResult() {
  ClearRecords();
  freeRowBuffer();
}

void TSQLResult::freeRowBuffer() {
  if (!row_) return;
  if (FetchBlobs && !CachedFetch) FreeBlobs(row_);
  std::free(row_);
  row_ = nullptr;
  rowSize_ = 0;
}

bool TSQLResult::isBlobColumn(Word Index) const { return isBlobStorage(storageOf(Var(Index))); }

TBlobData TSQLResult::ReadBlobRecord(Word Index) const {
  TBlobData b{0, nullptr};
  if (row_ && Index < offsets_.size()) std::memcpy(&b, row_ + dataOffset(Index) + 8, sizeof b);
  return b;
}

void TSQLResult::WriteBlobRecord(Word Index, const TBlobData& Data) {
  Assert(row_ != nullptr && Index < offsets_.size(), "No row buffer");
  std::memcpy(row_ + dataOffset(Index) + 8, &Data, sizeof Data);
}

void TSQLResult::AddCurrentRecord() {
  if (!cache_) cache_ = new TPoolStream(BufferChunks, rowSize_);
  std::memcpy(cache_->Add(), row_, static_cast<size_t>(rowSize_));
  current_ = cache_->ItemCount() - 1;
}

void TSQLResult::FreeBlobs(char* Row) {
  if (!Row) return;
  for (Word i : blobColumns_) {
    TBlobData b;
    std::memcpy(&b, Row + dataOffset(i) + 8, sizeof b);
    // A zero-length value may still hold its (one-byte) allocation.
    if (b.Buffer) std::free(b.Buffer);
    b = {0, nullptr};
    std::memcpy(Row + dataOffset(i) + 8, &b, sizeof b);
  }
}

Integer TSQLResult::GetRecordCount() const { return cache_ ? cache_->ItemCount() : 0; }
Integer TSQLResult::GetCurrentRecord() const { return cache_ ? current_ : -1; }

void TSQLResult::AddArrayDescriptor(Integer Index, const ISC_ARRAY_DESC& Desc) {
  Int64 size = arrayDataSize(Desc);
  // The id and the data share one column area whose size must stay below 32 KiB.
  if (size < 0 || size + 8 >= 32768)
    throw Exception(Format("Array column %d is too large for the row buffer.", Index));
  arrays_.push_back(TArrayDesc{Index, static_cast<Integer>(size), Desc});
}

void TSQLResult::AllocateDataBuffer() {
  freeRowBuffer();
  Word count = GetAllocatedFields();
  offsets_.assign(count, 0);
  blobColumns_.clear();
  std::vector<size_t> indicators(count, 0);
  size_t offset = 0;
  for (Word i = 0; i < count; ++i) {
    XSQLVAR& v = Var(i);
    Integer arraySize = 0;
    for (const TArrayDesc& a : arrays_)
      if (a.Index == i) arraySize = a.Size;
    // Every column starts on an 8-byte boundary so that the blob record and
    // the values can be addressed directly.
    offset = align8(offset);
    offsets_[i] = offset;
    offset += dataSizeOf(v, arraySize);
    if (v.sqltype & 1) {
      offset = align2(offset);
      indicators[i] = offset;
      offset += 2;
    }
    if (isBlobStorage(storageOf(v))) blobColumns_.push_back(i);
  }
  size_t size = std::max<size_t>(align8(offset), 8);
  if (size > 0x7FFFFFF0) throw Exception("Row too large.");
  row_ = static_cast<char*>(std::calloc(1, size));
  if (!row_) throw EOutOfMemory("Out of memory");
  rowSize_ = static_cast<Integer>(size);
  for (Word i = 0; i < count; ++i) {
    XSQLVAR& v = Var(i);
    v.sqldata = row_ + offsets_[i];
    v.sqlind = (v.sqltype & 1) ? reinterpret_cast<ISC_SHORT*>(row_ + indicators[i]) : nullptr;
  }
}

bool TSQLResult::GetEof() const {
  if (!eof_) return false;
  return !(CachedFetch && cache_ && cache_->ItemCount() > 0 && !scrollEof_);
}

std::string TSQLResult::GetUniqueRelationName() const {
  Word count = GetAllocatedFields();
  if (count == 0) return {};
  for (Word i = 1; i < count; ++i) {
    if (Var(i - 1).relname_length != Var(i).relname_length || !SameText(GetRelName(i - 1), GetRelName(i)))
      return {};
  }
  return GetRelName(0);
}

bool TSQLResult::GetBof() const { return current_ == 0 || !cache_ || cache_->ItemCount() == 0; }

char* TSQLResult::GetDataAfterID(Word Index) const {
  CheckRange(Index);
  return Var(Index).sqldata ? Var(Index).sqldata + 8 : nullptr;
}

TBlobData* TSQLResult::GetBlobData(Word Index) const {
  CheckRange(Index);
  if (GetIsNull(Index)) return nullptr;
  if (!isBlobColumn(Index)) castError();
  return reinterpret_cast<TBlobData*>(GetDataAfterID(Index));
}

char* TSQLResult::GetArrayData(Word Index) const {
  CheckRange(Index);
  if (GetIsNull(Index)) return nullptr;
  if (storageOf(Var(Index)) != SQL_ARRAY) castError();
  return GetDataAfterID(Index);
}

Integer TSQLResult::GetArrayCount() const { return static_cast<Integer>(arrays_.size()); }

const TArrayDesc& TSQLResult::GetArrayDescriptor(Integer Index) const {
  if (Index < 0 || Index >= GetArrayCount()) throw Exception(Format("Index out of bound (%d)", Index));
  return arrays_[static_cast<size_t>(Index)];
}

void TSQLResult::ClearRecords() {
  eof_ = false;
  scrollEof_ = false;
  if (cache_) {
    if (FetchBlobs) {
      for (Integer i = 0; i < cache_->ItemCount(); ++i) FreeBlobs(static_cast<char*>(cache_->Get(i)));
      // The row buffer held copies of the pointers just freed (a loaded
      // stream may fill the cache with CachedFetch off, too).
      if (row_)
        for (Word i : blobColumns_) WriteBlobRecord(i, {0, nullptr});
    }
    delete cache_;
    cache_ = nullptr;
  }
  current_ = -1;
  blobTotal_ = 0;
}

void TSQLResult::SetCurrentRecord(Integer Index) {
  if (Index != current_ && cache_) {
    Assert(Index >= 0 && Index < cache_->ItemCount(), "Record index out of range");
    std::memcpy(row_, cache_->Get(Index), static_cast<size_t>(rowSize_));
    current_ = Index;
  }
  scrollEof_ = false;
}

void TSQLResult::Next() {
  if (current_ == GetRecordCount() - 1) scrollEof_ = true;
  else SetCurrentRecord(current_ + 1);
}

// ---------------------------------------------------------------------------
// Stream format

void TSQLResult::SaveToStream(TStream& Stream) {
  Word count = GetAllocatedFields();
  put<uint8_t>(Stream, CachedFetch ? 1 : 0);
  put<uint8_t>(Stream, FetchBlobs ? 1 : 0);
  put<uint16_t>(Stream, count);
  for (Word i = 0; i < count; ++i) {
    const XSQLVAR& v = Var(i);
    put<int16_t>(Stream, v.sqltype);
    put<int16_t>(Stream, v.sqlscale);
    put<int16_t>(Stream, v.sqlsubtype);
    put<int16_t>(Stream, v.sqllen);
    auto name = [&](ISC_SHORT len, const char* text) {
      put<int16_t>(Stream, len);
      Stream.WriteBuffer(text, 32);
    };
    name(v.sqlname_length, v.sqlname);
    name(v.relname_length, v.relname);
    name(v.ownname_length, v.ownname);
    name(v.aliasname_length, v.aliasname);
  }
  put<int32_t>(Stream, GetArrayCount());
  for (const TArrayDesc& a : arrays_) {
    put<int32_t>(Stream, a.Index);
    put<int32_t>(Stream, a.Size);
    const ISC_ARRAY_DESC& d = a.Desc;
    put<uint8_t>(Stream, d.array_desc_dtype);
    put<int8_t>(Stream, static_cast<int8_t>(d.array_desc_scale));
    put<uint16_t>(Stream, d.array_desc_length);
    Stream.WriteBuffer(d.array_desc_field_name, 32);
    Stream.WriteBuffer(d.array_desc_relation_name, 32);
    put<int16_t>(Stream, d.array_desc_dimensions);
    put<int16_t>(Stream, d.array_desc_flags);
    for (const ISC_ARRAY_BOUND& b : d.array_desc_bounds) {
      put<int16_t>(Stream, b.array_bound_lower);
      put<int16_t>(Stream, b.array_bound_upper);
    }
  }
  Integer rows = GetRecordCount();
  put<int32_t>(Stream, rows);
  Int64 start = Stream.Position();
  Stream.SetSize(start + static_cast<Int64>(rows) * rowSize_ + blobTotal_);
  Stream.SetPosition(start);
  Integer former = current_;
  // Restoring the record must not clear the end of a finished walk.
  const bool formerScrollEof = scrollEof_;
  try {
    for (Integer r = 0; r < rows; ++r) {
      SetCurrentRecord(r);
      for (Word i = 0; i < count; ++i) {
        const XSQLVAR& v = Var(i);
        bool null = GetIsNull(i);
        put<uint8_t>(Stream, null ? 1 : 0);
        int st = storageOf(v);
        if (isBlobStorage(st)) {
          if (null) continue;
          TBlobData b = ReadBlobRecord(i);
          put<int32_t>(Stream, b.Size);
          if (b.Size > 0) Stream.WriteBuffer(b.Buffer, b.Size);
        } else if (st == SQL_ARRAY) {
          if (null) continue;
          Integer size = 0;
          for (const TArrayDesc& a : arrays_)
            if (a.Index == i) size = a.Size;
          Stream.WriteBuffer(GetDataAfterID(i), size);
        } else {
          Stream.WriteBuffer(v.sqldata, static_cast<Int64>(streamDataSize(v)));
        }
      }
    }
  } catch (...) {
    if (former >= 0) SetCurrentRecord(former);
    scrollEof_ = formerScrollEof;
    throw;
  }
  if (former >= 0) SetCurrentRecord(former);
  scrollEof_ = formerScrollEof;
  Stream.SetSize(Stream.Position());
}

void TSQLResult::LoadFromStream(TStream& Stream) {
  ClearRecords();
  freeRowBuffer();
  arrays_.clear();
  auto left = [&]() { return Stream.Size() - Stream.Position(); };
  CachedFetch = get<uint8_t>(Stream) != 0;
  FetchBlobs = get<uint8_t>(Stream) != 0;
  uint16_t count = get<uint16_t>(Stream);
  if (count > 0x7FFF) badStream();
  // Every column takes 144 bytes of the stream.
  if (static_cast<Int64>(count) * 144 > left()) badStream();
  SetAllocatedFields(count);
  for (Word i = 0; i < count; ++i) {
    XSQLVAR& v = Var(i);
    std::memset(&v, 0, sizeof v);
    v.sqltype = get<int16_t>(Stream);
    v.sqlscale = get<int16_t>(Stream);
    v.sqlsubtype = get<int16_t>(Stream);
    v.sqllen = get<int16_t>(Stream);
    int st = storageOf(v);
    if (!knownStorage(st) || v.sqllen < 0 || v.sqllen > 32765) badStream();
    if (Integer fixed = fixedLength(st); fixed != 0 && v.sqllen != fixed) badStream();
    auto name = [&](ISC_SHORT& len, char* text) {
      len = get<int16_t>(Stream);
      if (len < 0 || len > 32) badStream();
      Stream.ReadBuffer(text, 32);
    };
    name(v.sqlname_length, v.sqlname);
    name(v.relname_length, v.relname);
    name(v.ownname_length, v.ownname);
    name(v.aliasname_length, v.aliasname);
  }
  Integer arrayCount = get<int32_t>(Stream);
  if (arrayCount < 0 || arrayCount > count) badStream();
  for (Integer n = 0; n < arrayCount; ++n) {
    Integer index = get<int32_t>(Stream);
    Integer size = get<int32_t>(Stream);
    ISC_ARRAY_DESC d{};
    d.array_desc_dtype = get<uint8_t>(Stream);
    d.array_desc_scale = static_cast<ISC_SCHAR>(get<int8_t>(Stream));
    d.array_desc_length = get<uint16_t>(Stream);
    Stream.ReadBuffer(d.array_desc_field_name, 32);
    Stream.ReadBuffer(d.array_desc_relation_name, 32);
    d.array_desc_dimensions = get<int16_t>(Stream);
    d.array_desc_flags = get<int16_t>(Stream);
    for (ISC_ARRAY_BOUND& b : d.array_desc_bounds) {
      b.array_bound_lower = get<int16_t>(Stream);
      b.array_bound_upper = get<int16_t>(Stream);
    }
    if (index < 0 || index >= count || storageOf(Var(static_cast<Word>(index))) != SQL_ARRAY) badStream();
    if (d.array_desc_dimensions < 1 || d.array_desc_dimensions > 16) badStream();
    for (const TArrayDesc& a : arrays_)
      if (a.Index == index) badStream();
    try {
      AddArrayDescriptor(index, d);
    } catch (const EReadError&) {
      throw;
    } catch (const Exception&) {
      badStream();
    }
    // The stored size must be the one the descriptor gives.
    if (arrays_.back().Size != size) badStream();
  }
  for (Word i = 0; i < count; ++i)
    if (storageOf(Var(i)) == SQL_ARRAY &&
        std::none_of(arrays_.begin(), arrays_.end(), [&](const TArrayDesc& a) { return a.Index == i; }))
      badStream();
  AllocateDataBuffer();
  Integer rows = get<int32_t>(Stream);
  // Each row holds at least one flag byte per column.
  if (rows < 0 || (rows > 0 && (count == 0 || static_cast<Int64>(rows) * count > left()))) badStream();
  BufferChunks = std::max(rows, 1);
  try {
    for (Integer r = 0; r < rows; ++r) {
      for (Word i : blobColumns_) WriteBlobRecord(i, {0, nullptr});
      for (Word i = 0; i < count; ++i) {
        XSQLVAR& v = Var(i);
        uint8_t flag = get<uint8_t>(Stream);
        if (flag > 1) badStream();
        bool null = flag == 1;
        if (v.sqlind) *v.sqlind = null ? -1 : 0;
        else if (null) badStream();  // a column without indicator cannot be NULL
        int st = storageOf(v);
        if (isBlobStorage(st)) {
          if (null) continue;
          Integer size = get<int32_t>(Stream);
          if (size < 0 || size > left()) badStream();
          // Without FetchBlobs nobody would own the contents.
          if (size > 0 && !FetchBlobs) badStream();
          if (size == 0) continue;
          void* data = std::malloc(static_cast<size_t>(size));
          if (!data) throw EOutOfMemory("Out of memory");
          WriteBlobRecord(i, {size, data});
          Stream.ReadBuffer(data, size);
          blobTotal_ += size;
        } else if (st == SQL_ARRAY) {
          if (null) continue;
          Integer size = 0;
          for (const TArrayDesc& a : arrays_)
            if (a.Index == i) size = a.Size;
          Stream.ReadBuffer(GetDataAfterID(i), size);
        } else {
          Stream.ReadBuffer(v.sqldata, static_cast<Int64>(streamDataSize(v)));
        }
      }
      AddCurrentRecord();
    }
  } catch (...) {
    // The row being read owns what it got so far; the cached rows are freed
    // by ClearRecords.
    FreeBlobs(row_);
    bool keep = FetchBlobs;
    FetchBlobs = true;
    ClearRecords();
    FetchBlobs = keep;
    throw;
  }
  eof_ = true;
  scrollEof_ = true;
}

// ---------------------------------------------------------------------------
// Blobs

void TSQLResult::checkBlobAccess(Word Index) const {
  CheckRange(Index);
  if (!FetchBlobs) throw Exception("FetchBlob property must be set to use this method.");
}

void TSQLResult::ReadBlobToStream(Word Index, TStream& Stream) {
  checkBlobAccess(Index);
  TBlobData* b = GetBlobData(Index);
  Stream.SetPosition(0);
  if (b && b->Size > 0) Stream.WriteBuffer(b->Buffer, b->Size);
  Stream.SetPosition(0);
}

void TSQLResult::ReadBlobAsString(Word Index, std::string& S) {
  checkBlobAccess(Index);
  TBlobData* b = GetBlobData(Index);
  if (b && b->Size > 0) S.assign(static_cast<const char*>(b->Buffer), static_cast<size_t>(b->Size));
  else S.clear();
}

void TSQLResult::ReadBlobAsWideString(Word Index, UnicodeString& S) {
  checkBlobAccess(Index);
  TBlobData* b = GetBlobData(Index);
  S.clear();
  if (!b || b->Size <= 0) return;
  if (Var(Index).sqlsubtype == 1) {
    S = CodePageToWide(std::string_view(static_cast<const char*>(b->Buffer), static_cast<size_t>(b->Size)),
                       CharacterSetCodePage(GetCharacterSet()));
  } else {
    S.resize(static_cast<size_t>(b->Size) / 2);
    std::memcpy(S.data(), b->Buffer, S.size() * 2);
  }
}

void TSQLResult::ReadBlobAsVariant(Word Index, TVariant& V) {
  CheckRange(Index);
  if (GetIsBlobText(Index)) {
    std::string s;
    ReadBlobText(Index, s);
    V = TVariant::FromString(std::move(s));
    return;
  }
  checkBlobAccess(Index);
  TBlobData* b = GetBlobData(Index);
  TBytes bytes;
  if (b && b->Size > 0) {
    const auto* p = static_cast<const uint8_t*>(b->Buffer);
    bytes.assign(p, p + b->Size);
  }
  V = TVariant::FromBytes(std::move(bytes));
}

void TSQLResult::ReadBlobToBuffer(Word Index, void* Buffer) {
  checkBlobAccess(Index);
  TBlobData* b = GetBlobData(Index);
  if (b && b->Size > 0) std::memcpy(Buffer, b->Buffer, static_cast<size_t>(b->Size));
}

Integer TSQLResult::GetBlobSize(Word Index) {
  checkBlobAccess(Index);
  TBlobData* b = GetBlobData(Index);
  return b ? b->Size : 0;
}

std::string TSQLResult::GetAsRawString(Word Index) const { return GetAsString(Index); }

std::string TSQLResult::GetAsString(Word Index) const {
  CheckRange(Index);
  if (isBlobColumn(Index)) {
    std::string s;
    const_cast<TSQLResult*>(this)->ReadBlobAsString(Index, s);
    return s;
  }
  if (storageOf(Var(Index)) == SQL_ARRAY) return "(Array)";
  return TSQLDA::GetAsString(Index);
}

UnicodeString TSQLResult::GetAsWideString(Word Index) const {
  CheckRange(Index);
  if (isBlobColumn(Index)) {
    UnicodeString s;
    const_cast<TSQLResult*>(this)->ReadBlobAsWideString(Index, s);
    return s;
  }
  if (storageOf(Var(Index)) == SQL_ARRAY) return u"(Array)";
  return TSQLDA::GetAsWideString(Index);
}

TVariant TSQLResult::GetAsVariant(Word Index) const {
  CheckRange(Index);
  if (isBlobColumn(Index)) {
    if (GetIsNull(Index)) return TVariant::Null();
    TVariant v;
    const_cast<TSQLResult*>(this)->ReadBlobAsVariant(Index, v);
    return v;
  }
  if (storageOf(Var(Index)) == SQL_ARRAY) return TVariant::FromString("(Array)");
  return TSQLDA::GetAsVariant(Index);
}

}  // namespace px

// ---------------------------------------------------------------------------
// Client calls that fill a result area

namespace px {

Integer TDBCLibrary::PrepareStatementText(isc_db_handle& DbHandle, isc_tr_handle& TrHandle,
                                          isc_stmt_handle& StmtHandle, const std::string& SQL, Word Dialect,
                                          TSQLResult* Result) {
  Integer type = PrepareStatementType(TrHandle, StmtHandle, SQL, Dialect, Result ? Result->Data() : nullptr);
  if (Result && StatusVector[1] == 0) {
    Result->ClearRecords();
    Integer columns = Result->Data()->sqld;
    Result->SetAllocatedFields(static_cast<Word>(std::clamp(columns, 0, 0x7FFF)));
    if (columns > 0) DescribeColumns(DbHandle, TrHandle, StmtHandle, Dialect, Result);
    else Result->AllocateDataBuffer();
  }
  return type;
}

void TDBCLibrary::DescribeColumns(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle,
                                  Word Dialect, TSQLResult* Result) {
  CheckClientStatus(isc_dsql_describe(StatusVector, &StmtHandle, Dialect, Result->Data()));
  Result->ClearArrayList();
  for (Integer i = Result->GetFieldCount() - 1; i >= 0; --i) {
    Word index = static_cast<Word>(i);
    if (!Result->GetIsArray(index)) continue;
    ISC_ARRAY_DESC desc{};
    ReadArrayDescriptor(DbHandle, TrHandle, Result->GetRelName(index), Result->GetSqlName(index), desc);
    Result->AddArrayDescriptor(i, desc);
  }
  Result->AllocateDataBuffer();
}

bool TDBCLibrary::FetchRow(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle,
                           Word Dialect, TSQLResult* Result) {
  return fetchInto(DbHandle, TrHandle, StmtHandle, Dialect, Result, false);
}

bool TDBCLibrary::FetchRowAndBlobs(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle,
                                   Word Dialect, TSQLResult* Result) {
  return fetchInto(DbHandle, TrHandle, StmtHandle, Dialect, Result, true);
}

bool TDBCLibrary::fetchInto(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle,
                            Word Dialect, TSQLResult* Result, bool Blobs) {
  if (Result) Result->SetEndOfRows(false);
  XSQLDA* out = Result && Result->GetFieldCount() > 0 ? Result->Data() : nullptr;
  ISC_STATUS status = isc_dsql_fetch(StatusVector, &StmtHandle, Dialect, out);
  if (status == 100) {
    if (Result) {
      Result->SetEndOfRows(true);
      Result->SetEndOfScroll(true);
    }
    return false;
  }
  if (status != 0) {
    CheckClientStatus(status);
    return false;
  }
  if (!Result) return true;
  CompleteRow(DbHandle, TrHandle, Result, Blobs);
  if (Result->CachedFetch) Result->AddCurrentRecord();
  return true;
}

void TDBCLibrary::CompleteRow(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, TSQLResult* Result, bool Blobs) {
  for (Integer n = 0; n < Result->GetArrayCount(); ++n) {
    const TArrayDesc& entry = Result->GetArrayDescriptor(n);
    Word index = static_cast<Word>(entry.Index);
    if (Result->GetIsNull(index)) continue;
    ISC_ARRAY_DESC desc = entry.Desc;
    ISC_LONG size = entry.Size;
    // The engine returns only the elements an array holds, which may be
    // fewer than its bounds allow; the rest must not keep the previous row's.
    char* data = Result->GetArrayData(index);
    std::memset(data, 0, static_cast<size_t>(entry.Size));
    ReadArraySlice(DbHandle, TrHandle, Result->GetAsQuad(index), desc, data, size);
  }
  if (Blobs) {
    if (!Result->CachedFetch) Result->FreeBlobs(const_cast<char*>(Result->RowBuffer()));
    for (Word index : Result->BlobColumns()) {
      Result->WriteBlobRecord(index, {0, nullptr});
      if (Result->GetIsNull(index)) continue;
      isc_blob_handle blob = 0;
      OpenBlobHandle(DbHandle, TrHandle, blob, Result->GetAsQuad(index), "");
      Integer size = 0;
      void* data = nullptr;
      try {
        ReadWholeBlob(blob, size, false, data);
      } catch (...) {
        std::free(data);
        bool raise = RaiseErrors;
        RaiseErrors = false;
        isc_close_blob(StatusVector, &blob);
        RaiseErrors = raise;
        throw;
      }
      if (size <= 0) {
        std::free(data);
        data = nullptr;
        size = 0;
      }
      try {
        CloseBlobHandle(blob);
      } catch (...) {
        std::free(data);
        throw;
      }
      Result->WriteBlobRecord(index, {size, data});
      Result->AddBlobTotal(size);
    }
  }
}

}  // namespace px
