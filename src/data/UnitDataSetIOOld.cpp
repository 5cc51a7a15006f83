#include "data/UnitDataSetIOOld.h"

#include <algorithm>
#include <climits>

#include "data/UnitCrypto.h"
#include "data/UnitDataSetIOOldReader.h"
#include "platform/core/CodePages.h"

namespace px {
namespace {

constexpr uint64_t Magic = 0x12345678;
// Records of a table without fields take no bytes, so the stream cannot
// bound their number; this does instead.
constexpr uint64_t MaxEmptyRecords = 65536;

void cannotLoad() { throw Exception("Cannot load dataset"); }

using dsio::TDataSetByteReader;

Cardinal readCardinal(TDataSetByteReader& r) {
  const uint64_t v = r.ReadVarUInt(5);
  if (v > 0xFFFFFFFFu) r.FormatError();
  return static_cast<Cardinal>(v);
}

// Codes: v >= 0 is 2v, v < 0 is 2|v| + 1 (so -2147483648 needs 33 bits).
Integer readInteger(TDataSetByteReader& r) {
  const uint64_t c = r.ReadVarUInt(5);
  const uint64_t m = c >> 1;
  if (c & 1) {
    if (m > uint64_t(1) << 31) r.FormatError();
    return static_cast<Integer>(-static_cast<Int64>(m));
  }
  if (m > uint64_t(INT_MAX)) r.FormatError();
  return static_cast<Integer>(m);
}

Int64 readInt64(TDataSetByteReader& r) {
  const uint64_t c = r.ReadVarUInt(10);
  const Int64 m = static_cast<Int64>(c >> 1);  // below 2^63
  return (c & 1) ? -m : m;
}

AnsiString readString(TDataSetByteReader& r) {
  const Cardinal n = readCardinal(r);
  r.CheckFits(n, 1);
  AnsiString s(n, '\0');
  r.Read(s.data(), n);
  return s;
}

// Fewest bytes a value of the type takes; 0 for types without encoding.
uint64_t minValueSize(TMemAnyType t) {
  switch (t) {
    case mftInteger:
    case mftInt64:
    case mftAnsiString:
    case mftUnicodeString:
      return 1;
    case mftSingle:
      return 4;
    case mftDouble:
    case mftCurrency:
      return 8;
    default:
      return 0;
  }
}

void readPlain(TDataSetByteReader& r, TMemDataSet& ds) {
  if (r.ReadVarUInt(5) != Magic) cannotLoad();
  const Cardinal fieldCount = readCardinal(r);
  r.CheckFits(fieldCount, 3);
  std::vector<TMemAnyType> types;
  types.reserve(fieldCount);
  uint64_t recordSize = 0;
  for (Cardinal i = 0; i < fieldCount; ++i) {
    const Cardinal type = readCardinal(r);
    // The calculated bit is dropped: what was stored is a plain value.
    const Byte flags = static_cast<Byte>(readCardinal(r) & 0xFF & ~mffCalculated);
    const AnsiString name = readString(r);
    if (type > mftByte) cannotLoad();
    ds.AddField(static_cast<TMemAnyType>(type), name, flags);
    types.push_back(static_cast<TMemAnyType>(type));
    recordSize += minValueSize(types.back());
  }
  const Cardinal recordCount = readCardinal(r);
  if (fieldCount == 0) {
    if (recordCount > MaxEmptyRecords) cannotLoad();
  } else {
    r.CheckFits(recordCount, recordSize);
  }
  for (Cardinal n = 0; n < recordCount; ++n) {
    TMemRecord* rec = ds.AddRecord();
    try {
      for (Integer i = 0; i < static_cast<Integer>(fieldCount); ++i) {
        switch (types[static_cast<size_t>(i)]) {
          case mftInteger:
            rec->SetInteger(i, readInteger(r));
            break;
          case mftInt64:
            rec->SetInt64(i, readInt64(r));
            break;
          case mftAnsiString:
            rec->SetAnsiString(i, readString(r));
            break;
          case mftUnicodeString:
            rec->SetUnicodeString(i, AnsiToUnicode(readString(r)));
            break;
          case mftSingle:
            rec->SetSingle(i, r.ReadValue<Single>());
            break;
          case mftDouble:
            rec->SetDouble(i, r.ReadValue<Double>());
            break;
          case mftCurrency:
            rec->SetCurrency(i, Currency::FromRaw(r.ReadValue<Int64>()));
            break;
          default:
            Assert(false, "NOT.IMPLEMENTED.YET");
        }
      }
    } catch (...) {
      rec->Free();
      throw;
    }
  }
}

void putVarUInt(std::string& out, uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

void putString(std::string& out, std::string_view s) {
  putVarUInt(out, s.size());
  out.append(s);
}

template <class T>
void putValue(std::string& out, const T& v) {
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

std::string encode(const TMemDataSet& ds) {
  const Integer fieldCount = ds.GetFieldCount();
  std::vector<TMemAnyType> types;
  for (Integer i = 0; i < fieldCount; ++i) {
    types.push_back(ds.GetFieldType(i));
    // Checked before anything is written, so a failure leaves no partial
    // stream behind.
    if (ds.GetRecordCount() > 0) {
      const TMemAnyType t = types.back();
      Assert(t == mftInteger || t == mftAnsiString || t == mftDouble || t == mftCurrency, "NOTIMPLEMENTEDYET");
    }
  }
  std::string out;
  putVarUInt(out, Magic);
  putVarUInt(out, static_cast<Cardinal>(fieldCount));
  for (Integer i = 0; i < fieldCount; ++i) {
    putVarUInt(out, types[static_cast<size_t>(i)]);
    // Calculated and lookup fields are stored as plain values; their flag
    // would make the table unreadable.
    putVarUInt(out, static_cast<Byte>(ds.GetFieldFlags(i) & ~mffCalculated));
    putString(out, ds.GetFieldName(i));
  }
  putVarUInt(out, static_cast<Cardinal>(ds.GetRecordCount()));
  for (TMemRecord* rec = ds.First(); rec; rec = rec->GetNext()) {
    for (Integer i = 0; i < fieldCount; ++i) {
      switch (types[static_cast<size_t>(i)]) {
        case mftInteger: {
          const Int64 v = rec->GetInteger(i);
          putVarUInt(out, v >= 0 ? uint64_t(v) * 2 : uint64_t(-v) * 2 + 1);
          break;
        }
        case mftAnsiString:
          putString(out, rec->GetAnsiString(i));
          break;
        case mftDouble:
          putValue(out, rec->GetDouble(i));
          break;
        case mftCurrency:
          putValue(out, rec->GetCurrency(i).Raw());
          break;
        default:
          Assert(false, "NOTIMPLEMENTEDYET");
      }
    }
  }
  return out;
}

void cryptInPlace(const AnsiString& password, Byte* data, Int64 size) {
  TRC4 rc4(password.data(), static_cast<Integer>(std::min<size_t>(password.size(), INT_MAX)));
  while (size > 0) {
    const Integer n = static_cast<Integer>(std::min<Int64>(size, 1 << 30));
    rc4.Crypt(data, data, n);
    data += n;
    size -= n;
  }
}

}  // namespace

void LoadDataSetFromStream(TStream& stream, const AnsiString& password, IMemDataSet& dataSet) {
  dataSet = CreateMemDataSet();
  if (password.empty()) {
    TDataSetByteReader reader(stream, cannotLoad);
    readPlain(reader, *dataSet);
    reader.Finish();
    return;
  }
  TMemoryStream plain;
  plain.LoadFromStream(stream);
  cryptInPlace(password, plain.Memory(), plain.Size());
  plain.SetPosition(0);
  TDataSetByteReader reader(plain, cannotLoad);
  readPlain(reader, *dataSet);
}

void SaveDataSetToStream(TStream& stream, const IMemDataSet& dataSet, const AnsiString& password) {
  Assert(dataSet != nullptr, "Dataset not assigned");
  std::string bytes = encode(*dataSet);
  if (!password.empty())
    cryptInPlace(password, reinterpret_cast<Byte*>(bytes.data()), static_cast<Int64>(bytes.size()));
  stream.WriteBuffer(bytes);
}

void LoadDataSetFromFile(const std::string& fileName, const AnsiString& password, IMemDataSet& dataSet) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadDataSetFromStream(file, password, dataSet);
}

void SaveDataSetToFile(const std::string& fileName, const IMemDataSet& dataSet, const AnsiString& password) {
  Assert(dataSet != nullptr, "Dataset not assigned");
  // Encoded first: a table that cannot be written never touches the file.
  std::string bytes = encode(*dataSet);
  if (!password.empty())
    cryptInPlace(password, reinterpret_cast<Byte*>(bytes.data()), static_cast<Int64>(bytes.size()));
  SaveFileAtomically(fileName, [&](TStream& s) { s.WriteBuffer(bytes); });
}

}  // namespace px
