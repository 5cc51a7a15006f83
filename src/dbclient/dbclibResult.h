#pragma once
// The output descriptor area of a statement: one row buffer for all column
// values and NULL indicators, a paged cache of the fetched rows so that a
// statement can move back and forth over them, whole blob contents read at
// fetch time, and a stream format for the cached rows.
#include <ibase.h>

#include <string>
#include <string_view>
#include <vector>

#include "dbclient/dbclibSQLDA.h"
#include "platform/core/Streams.h"
#include "platform/core/Variant.h"

namespace px {

// A memory stream of fixed-size items kept in pages that never move, so
// appending an item leaves the addresses of earlier items valid.
class TPoolStream : public TStream {
 public:
  TPoolStream(Integer ItemsInPage, Integer ItemSize);
  ~TPoolStream() override;

  Int64 Read(void* Buffer, Int64 Count) override;
  Int64 Write(const void* Buffer, Int64 Count) override;
  // Not clamped: a position beyond the size is kept as it is.
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  Int64 Size() override { return size_; }
  void SetSize(Int64 NewSize) override;

  // Room for one more item at the end; its address.
  void* Add();
  // Address of item Index.
  void* Get(Integer Index) const;
  void Clear();

  Integer ItemCount() const { return itemCount_; }
  Integer ItemSize() const { return itemSize_; }
  Integer ItemsInPage() const { return itemsInPage_; }
  Integer PageSize() const { return pageSize_; }
  Integer PageCount() const { return static_cast<Integer>(pages_.size()); }

 private:
  Integer itemsInPage_;
  Integer itemSize_;
  Integer itemCount_ = 0;
  Integer pageSize_;
  Integer allocatedPageSize_;
  std::vector<char*> pages_;
  Int64 size_ = 0;
  Int64 position_ = 0;
};

// Whole contents of one blob value of a row; lives in the row behind the
// 8-byte blob id.
struct TBlobData {
  Integer Size;
  void* Buffer;
};

// One array column: its index, the bytes of its data and the client's
// descriptor of its elements and bounds. The data is the elements in
// row-major order; VARCHAR elements arrive as zero-terminated text in
// slots of the declared length + 2 bytes, not as length-prefixed text.
struct TArrayDesc {
  Integer Index;
  Integer Size;
  ISC_ARRAY_DESC Desc;
};

class TSQLResult : public TSQLDA {
 public:
  TSQLResult(TCharacterSet CharacterSet, Integer Columns, bool CachedFetch, bool FetchBlobs, Integer BufferChunks);
  ~TSQLResult() override;

  bool CachedFetch;
  bool FetchBlobs;
  Integer BufferChunks;

  virtual void AddCurrentRecord();
  // Frees the blob contents held by a row image.
  virtual void FreeBlobs(char* Row);
  virtual Integer GetRecordCount() const;
  virtual Integer GetCurrentRecord() const;
  // Lays out the row buffer for the described columns.
  virtual void AllocateDataBuffer();
  virtual bool GetEof() const;
  virtual std::string GetUniqueRelationName() const;
  virtual bool GetBof() const;
  // The blob record or array data behind a column's 8-byte id.
  virtual char* GetDataAfterID(Word Index) const;
  // Nil for NULL; raises "Cast error." for a column that is no blob.
  virtual TBlobData* GetBlobData(Word Index) const;
  virtual char* GetArrayData(Word Index) const;
  virtual Integer GetArrayCount() const;
  virtual const TArrayDesc& GetArrayDescriptor(Integer Index) const;
  virtual void ClearRecords();
  virtual void SetCurrentRecord(Integer Index);
  virtual void SaveToStream(TStream& Stream);
  virtual void LoadFromStream(TStream& Stream);
  virtual void Next();

  virtual void ReadBlobToStream(Word Index, TStream& Stream);
  virtual void ReadBlobAsString(Word Index, std::string& S);
  void ReadBlobAsAnsiString(Word Index, std::string& S) { ReadBlobAsString(Index, S); }
  void ReadBlobText(Word Index, std::string& S) { ReadBlobAsString(Index, S); }
  void ReadBlobRawString(Word Index, std::string& S) { ReadBlobAsString(Index, S); }
  void ReadBlobAnsiText(Word Index, std::string& S) { ReadBlobAsString(Index, S); }
  void ReadBlobValue(Word Index, std::string& S) { ReadBlobAsString(Index, S); }
  virtual void ReadBlobAsWideString(Word Index, UnicodeString& S);
  void ReadBlobWideText(Word Index, UnicodeString& S) { ReadBlobAsWideString(Index, S); }
  virtual void ReadBlobAsVariant(Word Index, TVariant& V);
  // Copies the blob's bytes (GetBlobSize of them) to Buffer.
  virtual void ReadBlobToBuffer(Word Index, void* Buffer);
  virtual Integer GetBlobSize(Word Index);

  void ByNameReadBlobToStream(std::string_view Name, TStream& Stream) {
    ReadBlobToStream(GetFieldIndex(Name), Stream);
  }
  void ByNameReadBlobAsString(std::string_view Name, std::string& S) { ReadBlobAsString(GetFieldIndex(Name), S); }
  void ByNameReadBlobAsAnsiString(std::string_view Name, std::string& S) { ByNameReadBlobAsString(Name, S); }
  void ByNameReadBlobText(std::string_view Name, std::string& S) { ByNameReadBlobAsString(Name, S); }
  void ByNameReadBlobRawString(std::string_view Name, std::string& S) { ByNameReadBlobAsString(Name, S); }
  void ByNameReadBlobAnsiText(std::string_view Name, std::string& S) { ByNameReadBlobAsString(Name, S); }
  void ByNameReadBlobValue(std::string_view Name, std::string& S) { ByNameReadBlobAsString(Name, S); }
  void ByNameReadBlobAsWideString(std::string_view Name, UnicodeString& S) {
    ReadBlobAsWideString(GetFieldIndex(Name), S);
  }
  void ByNameReadBlobWideText(std::string_view Name, UnicodeString& S) { ByNameReadBlobAsWideString(Name, S); }
  void ByNameReadBlobAsVariant(std::string_view Name, TVariant& V) { ReadBlobAsVariant(GetFieldIndex(Name), V); }
  void ByNameReadBlobToBuffer(std::string_view Name, void* Buffer) { ReadBlobToBuffer(GetFieldIndex(Name), Buffer); }

  std::string GetAsRawString(Word Index) const override;
  std::string GetAsString(Word Index) const override;
  UnicodeString GetAsWideString(Word Index) const override;
  TVariant GetAsVariant(Word Index) const override;

  // Set by the fetch calls.
  bool EndOfRows() const { return eof_; }
  void SetEndOfRows(bool Value) { eof_ = Value; }
  bool EndOfScroll() const { return scrollEof_; }
  void SetEndOfScroll(bool Value) { scrollEof_ = Value; }
  Int64 BlobTotal() const { return blobTotal_; }
  void AddBlobTotal(Int64 Bytes) { blobTotal_ += Bytes; }
  // Array columns are collected by the describe step before the layout.
  void ClearArrayList() { arrays_.clear(); }
  void AddArrayDescriptor(Integer Index, const ISC_ARRAY_DESC& Desc);
  Integer GetRowSize() const { return rowSize_; }
  const char* RowBuffer() const { return row_; }
  const TPoolStream* Cache() const { return cache_; }
  // Blob columns in column order.
  const std::vector<Word>& BlobColumns() const { return blobColumns_; }
  // Reads and stores a blob record of the current row.
  TBlobData ReadBlobRecord(Word Index) const;
  void WriteBlobRecord(Word Index, const TBlobData& Data);

 protected:
  bool KeepsBuffersInPlace() const override { return true; }

 private:
  void checkBlobAccess(Word Index) const;
  bool isBlobColumn(Word Index) const;
  void freeRowBuffer();
  // Byte offset of column Index's data in a row image.
  size_t dataOffset(Word Index) const { return offsets_[Index]; }

  TPoolStream* cache_ = nullptr;
  char* row_ = nullptr;
  Integer rowSize_ = 0;
  std::vector<Word> blobColumns_;
  std::vector<size_t> offsets_;
  Integer current_ = -1;
  bool eof_ = false;
  bool scrollEof_ = false;
  std::vector<TArrayDesc> arrays_;
  Int64 blobTotal_ = 0;
};

}  // namespace px
