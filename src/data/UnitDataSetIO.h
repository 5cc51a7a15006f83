#pragma once
// The current binary dataset stream format (reader): a whole table with its
// name, tags, fields, indexes and records with null flags. The tables it
// reads are made at build time (tools/dsgen) and shipped as resources.
#include "data/UnitDataSet.h"
#include "platform/core/Streams.h"

namespace px {

PX_DECLARE_EXCEPTION(EDataSetIOException, EDatasetException);

// Flags of LoadMemDataSetFromStream.
constexpr Byte dsioNoExceptions = 1;  // a failure leaves DataSet nil instead of raising
constexpr Byte dsioShareStrings = 2;  // equal strings may share storage
constexpr Byte dsioFromStart = 4;     // position the stream at its beginning first
constexpr Byte dsioMapToStatic = 8;   // ordered indexes become their static forms

namespace dsio {
class TDataSetByteReader;
}

class TDataSetBinaryStreamer {
 public:
  TDataSetBinaryStreamer(TStream& stream, const TMemRecordClass* recordClass, bool mapToStatic);
  ~TDataSetBinaryStreamer();
  TDataSetBinaryStreamer(const TDataSetBinaryStreamer&) = delete;
  TDataSetBinaryStreamer& operator=(const TDataSetBinaryStreamer&) = delete;

  // Reads one table from the stream's position.
  IMemDataSet Load();

  IMemDataSet DataSet;
  TStream& Stream;
  const TMemRecordClass* RecordClass;
  bool MapToStatic;

 private:
  void ReadDataSet();
  Cardinal ReadCardinal();
  Integer ReadInteger();
  Int64 ReadInt64();
  // Currency values are stored as their scaled 64-bit integer.
  Currency ReadInt64AsFloat();
  AnsiString ReadAnsiString();
  UnicodeString ReadString();
  Single ReadSingle();
  Double ReadDouble();
  Byte ReadByte();
  TGUID ReadGUID();
  Integer readCount();

  dsio::TDataSetByteReader* reader_ = nullptr;
};

// Reads one table into dataSet (set to nil first). A nil stream raises
// EDataSetIOException "Cannot load dataset from stream: stream not assigned".
// Format errors raise EDataSetIOException "MemDataSet: Invalid file format:
// unknown version." or "MemDataSet: Invalid file format."; a stream that
// ends early raises EReadError "Stream read error".
void LoadMemDataSetFromStream(TStream* stream, Byte flags, const TMemRecordClass* recordClass, IMemDataSet& dataSet);

}  // namespace px
