#include "data/UnitDataSetIO.h"

#include <climits>
#include <cstring>

#include "data/UnitDataSetIOOldReader.h"
#include "platform/core/CodePages.h"

namespace px {
namespace {

constexpr uint64_t Magic = 0x10203040;
// Records of a table without fields take no bytes, so the stream cannot
// bound their number; this does instead.
constexpr uint64_t MaxEmptyRecords = 65536;

void invalidFormat() { throw EDataSetIOException("MemDataSet: Invalid file format."); }

constexpr TMemIndexType StaticMap[] = {mitNone, mitUnorderedUnique, mitOrderedUniqueStatic,
                                       mitOrderedNonUniqueStatic, mitOrderedUniqueStatic,
                                       mitOrderedNonUniqueStatic};

}  // namespace

TDataSetBinaryStreamer::TDataSetBinaryStreamer(TStream& stream, const TMemRecordClass* recordClass, bool mapToStatic)
    : Stream(stream), RecordClass(recordClass), MapToStatic(mapToStatic) {}

TDataSetBinaryStreamer::~TDataSetBinaryStreamer() = default;

IMemDataSet TDataSetBinaryStreamer::Load() {
  dsio::TDataSetByteReader reader(Stream, invalidFormat);
  reader_ = &reader;
  try {
    if (reader.ReadVarUInt(5) != Magic)
      throw EDataSetIOException("MemDataSet: Invalid file format: unknown version.");
    DataSet = CreateMemDataSet();
    ReadDataSet();
    reader.Finish();
  } catch (...) {
    reader_ = nullptr;
    DataSet = nullptr;
    throw;
  }
  reader_ = nullptr;
  IMemDataSet result = std::move(DataSet);
  DataSet = nullptr;
  return result;
}

Cardinal TDataSetBinaryStreamer::ReadCardinal() {
  const uint64_t v = reader_->ReadVarUInt(5);
  if (v > 0xFFFFFFFFu) invalidFormat();
  return static_cast<Cardinal>(v);
}

Integer TDataSetBinaryStreamer::ReadInteger() {
  const Cardinal c = ReadCardinal();
  return static_cast<Integer>((c >> 1) ^ (0u - (c & 1)));
}

Int64 TDataSetBinaryStreamer::ReadInt64() {
  const uint64_t c = reader_->ReadVarUInt(10);
  return static_cast<Int64>((c >> 1) ^ (uint64_t(0) - (c & 1)));
}

Currency TDataSetBinaryStreamer::ReadInt64AsFloat() { return Currency::FromRaw(ReadInt64()); }

AnsiString TDataSetBinaryStreamer::ReadAnsiString() {
  const Cardinal n = ReadCardinal();
  reader_->CheckFits(n, 1);
  AnsiString s(n, '\0');
  reader_->Read(s.data(), n);
  return s;
}

UnicodeString TDataSetBinaryStreamer::ReadString() {
  const Int64 length = ReadInteger();  // 64 bits: -(-2147483648) must not overflow
  if (length < 0) {
    reader_->CheckFits(static_cast<uint64_t>(-length), 1);
    std::string utf8(static_cast<size_t>(-length), '\0');
    reader_->Read(utf8.data(), utf8.size());
    return Utf8ToUnicode(utf8);
  }
  reader_->CheckFits(static_cast<uint64_t>(length), 2);
  UnicodeString s(static_cast<size_t>(length), u'\0');
  reader_->Read(s.data(), s.size() * 2);
  return s;
}

Single TDataSetBinaryStreamer::ReadSingle() { return reader_->ReadValue<Single>(); }
Double TDataSetBinaryStreamer::ReadDouble() { return reader_->ReadValue<Double>(); }
Byte TDataSetBinaryStreamer::ReadByte() { return reader_->ReadByte(); }

TGUID TDataSetBinaryStreamer::ReadGUID() {
  static_assert(sizeof(TGUID) == 16);
  Byte raw[16];
  reader_->Read(raw, sizeof raw);
  TGUID g;
  std::memcpy(&g.D1, raw, 4);
  std::memcpy(&g.D2, raw + 4, 2);
  std::memcpy(&g.D3, raw + 6, 2);
  std::memcpy(g.D4.data(), raw + 8, 8);
  return g;
}

// Counts are signed 32-bit values; one above 2147483647 reads nothing.
Integer TDataSetBinaryStreamer::readCount() {
  const Cardinal c = ReadCardinal();
  return c > Cardinal(INT_MAX) ? 0 : static_cast<Integer>(c);
}

void TDataSetBinaryStreamer::ReadDataSet() {
  TMemDataSet& ds = *DataSet;
  ds.SetName(UnicodeToUtf8(ReadString()));
  ds.SetTag(ReadInteger());
  ds.SetDoubleTag(ReadDouble());
  {
    const Cardinal n = ReadCardinal();  // reserved text
    reader_->CheckFits(n, 1);
    reader_->Skip(n);
  }
  if (RecordClass) ds.SetRecordClass(RecordClass);

  const Integer fieldCount = readCount();
  reader_->CheckFits(static_cast<uint64_t>(fieldCount), 4);
  std::vector<TMemAnyType> types;
  types.reserve(static_cast<size_t>(fieldCount));
  for (Integer i = 0; i < fieldCount; ++i) {
    const Byte type = static_cast<Byte>(ReadCardinal());
    if (type > mftByte) invalidFormat();
    const std::string name = UnicodeToUtf8(ReadString());
    const Byte flags = static_cast<Byte>(ReadCardinal() & 0xFF & ~mffCalculated);
    const Integer tag = ReadInteger();
    const Integer field = ds.AddField(static_cast<TMemAnyType>(type), name, flags);
    ds.SetFieldTag(field, tag);
    types.push_back(static_cast<TMemAnyType>(type));
  }

  const Integer indexCount = readCount();
  reader_->CheckFits(static_cast<uint64_t>(indexCount), 3);
  for (Integer i = 0; i < indexCount; ++i) {
    const Byte kind = static_cast<Byte>(ReadCardinal());
    if (kind > mitOrderedNonUniqueStatic) invalidFormat();
    const std::string name = UnicodeToUtf8(ReadString());
    const Cardinal field = ReadCardinal();
    if (field >= static_cast<Cardinal>(fieldCount)) invalidFormat();
    ds.AddIndex(name, static_cast<Integer>(field), MapToStatic ? StaticMap[kind] : static_cast<TMemIndexType>(kind));
  }

  const Integer recordCount = readCount();
  if (fieldCount == 0) {
    if (static_cast<uint64_t>(recordCount) > MaxEmptyRecords) invalidFormat();
  } else {
    // Each record starts with at least one byte of null flags.
    reader_->CheckFits(static_cast<uint64_t>(recordCount), static_cast<uint64_t>(fieldCount + 7) / 8);
  }
  std::vector<bool> present(static_cast<size_t>(fieldCount));
  for (Integer n = 0; n < recordCount; ++n) {
    TMemRecord* rec = ds.AddRecord();
    try {
      Byte bits = 0;
      int bitsLeft = 0;
      auto nextBit = [&]() {
        if (bitsLeft == 0) {
          bits = ReadByte();
          bitsLeft = 8;
        }
        const bool b = bits & 1;
        bits >>= 1;
        --bitsLeft;
        return b;
      };
      for (Integer i = 0; i < fieldCount; ++i) {
        const bool isNull = nextBit();
        present[static_cast<size_t>(i)] = !isNull;
        if (!isNull && types[static_cast<size_t>(i)] == mftBoolean) rec->SetBoolean(i, nextBit());
      }
      for (Integer i = 0; i < fieldCount; ++i) {
        if (!present[static_cast<size_t>(i)]) continue;
        switch (types[static_cast<size_t>(i)]) {
          case mftInteger:
            rec->SetInteger(i, ReadInteger());
            break;
          case mftInt64:
            rec->SetInt64(i, ReadInt64());
            break;
          case mftAnsiString:
            rec->SetAnsiString(i, ReadAnsiString());
            break;
          case mftUnicodeString:
            rec->SetUnicodeString(i, ReadString());
            break;
          case mftSingle:
            rec->SetSingle(i, ReadSingle());
            break;
          case mftDouble:
            rec->SetDouble(i, ReadDouble());
            break;
          case mftCurrency:
            rec->SetCurrency(i, ReadInt64AsFloat());
            break;
          case mftGUID:
            rec->SetGUID(i, ReadGUID());
            break;
          case mftWord:
            rec->SetWord(i, static_cast<Word>(ReadCardinal()));
            break;
          case mftByte:
            rec->SetByte(i, ReadByte());
            break;
          default:  // mftBoolean: its value was in the bit block
            break;
        }
      }
    } catch (...) {
      rec->Free();
      throw;
    }
  }
  ds.RebuildIndexes();
}

void LoadMemDataSetFromStream(TStream* stream, Byte flags, const TMemRecordClass* recordClass, IMemDataSet& dataSet) {
  dataSet = nullptr;
  try {
    if (!stream) throw EDataSetIOException("Cannot load dataset from stream: stream not assigned");
    if (flags & dsioFromStart) stream->SetPosition(0);
    // Strings are copied into every record, so there is nothing to share
    // and dsioShareStrings needs no work.
    TDataSetBinaryStreamer streamer(*stream, recordClass, (flags & dsioMapToStatic) != 0);
    dataSet = streamer.Load();
  } catch (...) {
    dataSet = nullptr;
    if (!(flags & dsioNoExceptions)) throw;
  }
}

}  // namespace px
