#include "DataSetWriter.h"

#include <cstring>

#include "platform/core/CodePages.h"

namespace px::dsgen {
namespace {

void varint(std::string& out, uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

void zigzag32(std::string& out, Integer v) {
  varint(out, (static_cast<uint32_t>(v) << 1) ^ static_cast<uint32_t>(v >> 31));
}

void zigzag64(std::string& out, Int64 v) {
  varint(out, (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63));
}

template <class T>
void raw(std::string& out, const T& v) {
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// Names go as UTF-8 (negative length), text values as UTF-16.
void utf8String(std::string& out, std::string_view s) {
  zigzag32(out, -static_cast<Integer>(s.size()));
  out.append(s);
}

void utf16String(std::string& out, std::u16string_view s) {
  zigzag32(out, static_cast<Integer>(s.size()));
  out.append(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

}  // namespace

std::string EncodeDataSet(const TMemDataSet& t) {
  std::string out;
  varint(out, 0x10203040);
  utf8String(out, t.GetName());
  zigzag32(out, t.GetTag());
  raw(out, t.GetDoubleTag());
  varint(out, 0);  // reserved text
  const Integer fields = t.GetFieldCount();
  varint(out, static_cast<uint64_t>(fields));
  for (Integer f = 0; f < fields; ++f) {
    varint(out, t.GetFieldType(f));
    utf8String(out, t.GetFieldName(f));
    varint(out, static_cast<Byte>(t.GetFieldFlags(f) & ~mffCalculated));
    zigzag32(out, t.GetFieldTag(f));
  }
  const Integer indexes = t.GetIndexCount();
  varint(out, static_cast<uint64_t>(indexes));
  for (Integer i = 0; i < indexes; ++i) {
    varint(out, t.GetIndexType(i));
    utf8String(out, t.GetIndexName(i));
    varint(out, static_cast<uint64_t>(t.GetIndexField(i)));
  }
  varint(out, static_cast<uint64_t>(t.GetRecordCount()));
  for (const TMemRecord* r = t.First(); r; r = r->GetNext()) {
    Byte bits = 0;
    int used = 0;
    auto bit = [&](bool b) {
      bits = static_cast<Byte>(bits | (b ? 1 << used : 0));
      if (++used == 8) {
        out.push_back(static_cast<char>(bits));
        bits = 0;
        used = 0;
      }
    };
    for (Integer f = 0; f < fields; ++f) {
      const bool isNull = r->IsNull(f);
      bit(isNull);
      if (!isNull && t.GetFieldType(f) == mftBoolean) bit(r->GetBoolean(f));
    }
    if (used) out.push_back(static_cast<char>(bits));
    for (Integer f = 0; f < fields; ++f) {
      if (r->IsNull(f)) continue;
      switch (t.GetFieldType(f)) {
        case mftInteger:
          zigzag32(out, r->GetInteger(f));
          break;
        case mftInt64:
          zigzag64(out, r->GetInt64(f));
          break;
        case mftAnsiString: {
          const AnsiString s = r->GetAnsiString(f);
          varint(out, s.size());
          out.append(s);
          break;
        }
        case mftUnicodeString:
          utf16String(out, r->GetUnicodeString(f));
          break;
        case mftSingle:
          raw(out, r->GetSingle(f));
          break;
        case mftDouble:
          raw(out, r->GetDouble(f));
          break;
        case mftCurrency:
          zigzag64(out, r->GetCurrency(f).Raw());
          break;
        case mftGUID: {
          const TGUID g = r->GetGUID(f);
          raw(out, g.D1);
          raw(out, g.D2);
          raw(out, g.D3);
          out.append(reinterpret_cast<const char*>(g.D4.data()), 8);
          break;
        }
        case mftWord:
          varint(out, r->GetWord(f));
          break;
        case mftByte:
          out.push_back(static_cast<char>(r->GetByte(f)));
          break;
        default:  // Boolean: in the bit block
          break;
      }
    }
  }
  return out;
}

}  // namespace px::dsgen
