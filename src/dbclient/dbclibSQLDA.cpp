#include "dbclient/dbclibSQLDA.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/core/CodePages.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/NumberConversion.h"

namespace px {

namespace {

const char* const fieldKindNames[] = {"",          "NUMERIC", "CHAR",  "VARCHAR", "CSTRING", "SMALLINT",
                                      "INTEGER",   "QUAD",    "FLOAT", "DOUBLE PRECISION", "TIMESTAMP",
                                      "BLOB",      "BLOBID",  "DATE",  "TIME",    "BIGINT",  "ARRAY"};

constexpr int64_t powersOfTen[19] = {1LL,
                                     10LL,
                                     100LL,
                                     1000LL,
                                     10000LL,
                                     100000LL,
                                     1000000LL,
                                     10000000LL,
                                     100000000LL,
                                     1000000000LL,
                                     10000000000LL,
                                     100000000000LL,
                                     1000000000000LL,
                                     10000000000000LL,
                                     100000000000000LL,
                                     1000000000000000LL,
                                     10000000000000000LL,
                                     100000000000000000LL,
                                     1000000000000000000LL};
// Scales the value tables cover.
constexpr int MinScale = -15;

int storageOf(const XSQLVAR& v) { return v.sqltype & ~1; }

[[noreturn]] void castError() { throw EDBCConvertError("Cast error."); }
[[noreturn]] void unexpectedError() { throw EDBCConvertError("Unexpected error."); }
[[noreturn]] void rangeError() { throw EDBCConvertError("Value out of range."); }

template <class T>
T narrow(int64_t v) {
  if (v < static_cast<int64_t>(std::numeric_limits<T>::min()) || v > static_cast<int64_t>(std::numeric_limits<T>::max()))
    rangeError();
  return static_cast<T>(v);
}

// Truncates toward zero; values beyond 64 bits (and NaN) cannot be held.
int64_t truncToInt64(double d) {
  if (!(d > -9223372036854775808.0 && d < 9223372036854775808.0)) rangeError();
  return static_cast<int64_t>(std::trunc(d));
}

// Nearest integer, halves to even.
int64_t roundToInt64(double d) {
  double r = std::nearbyint(d);
  if (!(r > -9223372036854775808.0 && r < 9223372036854775808.0)) rangeError();
  return static_cast<int64_t>(r);
}

int64_t mulChecked(int64_t a, int64_t b) {
  int64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) rangeError();
  return r;
}

template <class T>
T readAs(const XSQLVAR& v) {
  Assert(v.sqldata != nullptr && v.sqllen >= static_cast<ISC_SHORT>(sizeof(T)), "No data buffer");
  T value;
  std::memcpy(&value, v.sqldata, sizeof(T));
  return value;
}

template <class T>
void writeAs(XSQLVAR& v, T value) {
  Assert(v.sqldata != nullptr && v.sqllen >= static_cast<ISC_SHORT>(sizeof(T)), "No data buffer");
  std::memcpy(v.sqldata, &value, sizeof(T));
}

// Integer value of short, long, int64 and quad storage.
int64_t readInteger(const XSQLVAR& v) {
  switch (storageOf(v)) {
    case SQL_SHORT: return readAs<int16_t>(v);
    case SQL_LONG: return readAs<int32_t>(v);
    default: return readAs<int64_t>(v);
  }
}

double readFloat(const XSQLVAR& v) {
  if (storageOf(v) == SQL_FLOAT) return readAs<float>(v);
  return readAs<double>(v);
}

TSQLTimestamp readTimestamp(const XSQLVAR& v) {
  ISC_TIMESTAMP ts = readAs<ISC_TIMESTAMP>(v);
  return {ts.timestamp_date, ts.timestamp_time};
}

// Exact decimal text of v / 10^-scale with at least one decimal, as the
// pattern "0.0##..." shows it but without going through floating point.
std::string formatScaled(int64_t v, int scale) {
  int digits = -scale;
  bool negative = v < 0;
  uint64_t u = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string s = std::to_string(u);
  if (static_cast<int>(s.size()) <= digits) s.insert(0, static_cast<size_t>(digits) + 1 - s.size(), '0');
  std::string intPart = s.substr(0, s.size() - static_cast<size_t>(digits));
  std::string frac = s.substr(s.size() - static_cast<size_t>(digits));
  while (frac.size() > 1 && frac.back() == '0') frac.pop_back();
  std::string out = negative ? "-" : "";
  return out + intPart + FormatSettings.DecimalSeparator + frac;
}

std::string scalePattern(int scale) { return "0.0" + std::string(static_cast<size_t>(-scale - 1), '#'); }

// Parses decimal text exactly into the integer value × 10^-scale, dropping
// digits beyond the scale (truncation toward zero). Returns false when the
// text is not a plain decimal number.
bool parseScaled(std::string_view text, int scale, int64_t& result) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  size_t end = text.size();
  while (end > i && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  text = text.substr(i, end - i);
  bool negative = false;
  size_t p = 0;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  std::string digits;
  int fracDigits = 0;
  bool seenSep = false, any = false;
  const std::string& sep = FormatSettings.DecimalSeparator;
  while (p < text.size()) {
    char c = text[p];
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
      if (seenSep) ++fracDigits;
      any = true;
      ++p;
    } else if (!seenSep && !sep.empty() && text.substr(p, sep.size()) == sep) {
      seenSep = true;
      p += sep.size();
    } else {
      break;
    }
  }
  if (!any) return false;
  int exponent = 0;
  if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
    ++p;
    bool expNeg = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) expNeg = text[p++] == '-';
    if (p >= text.size()) return false;
    int e = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
      if (e < 10000) e = e * 10 + (text[p] - '0');
      ++p;
    }
    exponent = expNeg ? -e : e;
  }
  if (p != text.size()) return false;
  // value = digits × 10^(exponent - fracDigits); wanted: value × 10^-scale.
  int shift = exponent - fracDigits - scale;
  if (shift < 0) {
    size_t drop = static_cast<size_t>(-shift);
    digits = drop >= digits.size() ? std::string() : digits.substr(0, digits.size() - drop);
    shift = 0;
  }
  size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? std::string() : digits.substr(first);
  if (digits.empty()) {
    result = 0;
    return true;
  }
  if (digits.size() + static_cast<size_t>(shift) > 19) rangeError();
  digits.append(static_cast<size_t>(shift), '0');
  unsigned long long u = std::strtoull(digits.c_str(), nullptr, 10);
  if (u > (negative ? 9223372036854775808ULL : 9223372036854775807ULL)) rangeError();
  result = negative ? static_cast<int64_t>(0 - u) : static_cast<int64_t>(u);
  return true;
}

std::string counted(const char* name, ISC_SHORT length) {
  size_t n = length < 0 ? 0 : std::min<size_t>(static_cast<size_t>(length), 32);
  return std::string(name, strnlen(name, n));
}

// Value kinds the getters produce.
enum class Want { Smallint, Integer, Int64, Date, Time, Boolean, Double, Single, DateTime, Currency, String };

struct OutValue {
  int64_t I = 0;
  double D = 0;
  Currency C;
  std::string S;
  bool B = false;
};

bool isIntegerWant(Want w) {
  return w == Want::Smallint || w == Want::Integer || w == Want::Int64 || w == Want::Date || w == Want::Time;
}
bool isFloatWant(Want w) { return w == Want::Double || w == Want::Single || w == Want::DateTime; }

void checkIntegerRange(Want w, int64_t v) {
  switch (w) {
    case Want::Smallint: narrow<int16_t>(v); break;
    case Want::Integer:
    case Want::Date: narrow<int32_t>(v); break;
    case Want::Time: narrow<uint32_t>(v); break;
    default: break;
  }
}

}  // namespace

const char* SQLFieldKindName(TSQLFieldKind Kind) {
  int k = static_cast<int>(Kind);
  return k >= 0 && k <= 16 ? fieldKindNames[k] : "";
}

TDateTime TimestampToDateTime(TSQLTimestamp ts) {
  double day = static_cast<double>(ts.Day) - DateOffset;
  double time = static_cast<double>(ts.Time) / TimeCoeff;
  // Before 1899-12-30 the day counts backwards while the time still counts
  // forwards from midnight, so the fraction moves away from zero.
  return day < 0 ? day - time : day + time;
}

TSQLTimestamp DateTimeToTimestamp(TDateTime value) {
  double whole = std::trunc(value);
  // The day number is 32-bit; NaN and infinities fail this test as well.
  if (!(std::fabs(whole) < 4e9)) rangeError();
  double time = std::nearbyint(std::fabs(value - whole) * TimeCoeff);
  int64_t day = static_cast<int64_t>(whole) + DateOffset;
  Cardinal units = static_cast<Cardinal>(time);
  if (units >= TimeCoeff) {
    units -= TimeCoeff;
    day += 1;
  }
  return {narrow<int32_t>(day), units};
}

TSQLTimestamp DateToTimestamp(Integer day) { return {narrow<int32_t>(static_cast<int64_t>(day) + DateOffset), 0}; }
TSQLTimestamp TimeToTimestamp(Cardinal time) { return {DateOffset, time}; }

// ---------------------------------------------------------------------------

TSQLDA::TSQLDA(TCharacterSet CharacterSet) : characterSet_(CharacterSet) {
  area_ = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(1)));
  if (!area_) throw EOutOfMemory("Out of memory");
  area_->version = SQLDA_VERSION1;
}

TSQLDA::~TSQLDA() { std::free(area_); }

Word TSQLDA::GetAllocatedFields() const { return static_cast<Word>(area_->sqln); }

void TSQLDA::SetAllocatedFields(Word Count) {
  size_t old = static_cast<size_t>(std::max<ISC_SHORT>(area_->sqln, 1));
  size_t room = std::max<size_t>(Count, 1);
  auto* grown = static_cast<XSQLDA*>(std::realloc(area_, XSQLDA_LENGTH(room)));
  if (!grown) throw EOutOfMemory("Out of memory");
  area_ = grown;
  if (room > old) std::memset(&area_->sqlvar[old], 0, sizeof(XSQLVAR) * (room - old));
  area_->sqln = area_->sqld = static_cast<ISC_SHORT>(Count);
  area_->version = SQLDA_VERSION1;
}

Integer TSQLDA::GetFieldCount() const { return area_->sqln; }

void TSQLDA::CheckRange(Word Index) const {
  if (Index >= GetAllocatedFields()) throw Exception("Field num: " + IntToStr(Integer(Index)) + " not found.");
}

Integer TSQLDA::GetSqlType(Word Index) const {
  CheckRange(Index);
  return storageOf(Var(Index));
}
Integer TSQLDA::GetSqlLen(Word Index) const {
  CheckRange(Index);
  return Var(Index).sqllen;
}
Integer TSQLDA::GetSqlScale(Word Index) const {
  CheckRange(Index);
  return Var(Index).sqlscale;
}
Integer TSQLDA::GetMaxLength(Word) const { return 0; }

std::string TSQLDA::GetSqlName(Word Index) const {
  CheckRange(Index);
  return counted(Var(Index).sqlname, Var(Index).sqlname_length);
}
std::string TSQLDA::GetRelName(Word Index) const {
  CheckRange(Index);
  return counted(Var(Index).relname, Var(Index).relname_length);
}
std::string TSQLDA::GetOwnName(Word Index) const {
  CheckRange(Index);
  return counted(Var(Index).ownname, Var(Index).ownname_length);
}
std::string TSQLDA::GetAliasName(Word Index) const {
  CheckRange(Index);
  return counted(Var(Index).aliasname, Var(Index).aliasname_length);
}

TSQLFieldKind TSQLDA::GetFieldType(Word Index) const {
  CheckRange(Index);
  const XSQLVAR& v = Var(Index);
  int st = storageOf(v);
  if (v.sqlscale < 0) return st == SQL_DOUBLE || st == SQL_D_FLOAT ? uftDoublePrecision : uftNumeric;
  switch (st) {
    case SQL_VARYING: return uftVarchar;
    case SQL_TEXT: return uftChar;
    case SQL_DOUBLE: return uftDoublePrecision;
    case SQL_FLOAT: return uftFloat;
    case SQL_LONG: return uftInteger;
    case SQL_SHORT: return uftSmallint;
    case SQL_TIMESTAMP: return uftTimestamp;
    case SQL_BLOB: return uftBlob;
    case SQL_D_FLOAT: return uftDoublePrecision;
    case SQL_ARRAY: return uftArray;
    case SQL_QUAD: return uftQuad;
    case SQL_TYPE_TIME: return uftTime;
    case SQL_TYPE_DATE: return uftDate;
    case SQL_INT64: return uftInt64;
    default: return uftUnknown;
  }
}

bool TSQLDA::GetIsNumeric(Word Index) const {
  CheckRange(Index);
  return Var(Index).sqlscale < 0;
}
bool TSQLDA::GetIsBlob(Word Index) const {
  CheckRange(Index);
  int st = storageOf(Var(Index));
  return st == SQL_BLOB || st == SQL_QUAD;
}
bool TSQLDA::GetIsBlobText(Word Index) const { return GetIsBlob(Index) && Var(Index).sqlsubtype == 1; }
bool TSQLDA::GetIsArray(Word Index) const {
  CheckRange(Index);
  return storageOf(Var(Index)) == SQL_ARRAY;
}
bool TSQLDA::GetIsNullable(Word Index) const {
  CheckRange(Index);
  return Var(Index).sqlind != nullptr && (Var(Index).sqltype & 1) != 0;
}
bool TSQLDA::GetIsNull(Word Index) const {
  CheckRange(Index);
  return Var(Index).sqlind != nullptr && *Var(Index).sqlind == -1;
}

void TSQLDA::SetIsNull(Word Index, bool Value) {
  CheckRange(Index);
  if (Var(Index).sqlind) *Var(Index).sqlind = Value ? -1 : 0;
}

Word TSQLDA::GetFieldIndex(std::string_view Name) const {
  Word index = 0;
  if (!TryGetFieldIndex(Name, index)) throw Exception("Field \"" + std::string(Name) + "\" not found.");
  return index;
}

bool TSQLDA::TryGetFieldIndex(std::string_view Name, Word& Index) const {
  for (Word i = 0; i < GetAllocatedFields(); ++i) {
    if (SameText(GetAliasName(i), Name)) {
      Index = i;
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// Text

std::string TSQLDA::DecodeRawText(Word Index) const { return DecodeText(Index); }

std::string TSQLDA::DecodeText(Word Index) const {
  const XSQLVAR& v = Var(Index);
  if (!v.sqldata) return {};
  switch (storageOf(v)) {
    case SQL_VARYING: {
      uint16_t len = 0;
      std::memcpy(&len, v.sqldata, 2);
      // Never beyond the buffer, whatever the length word says.
      size_t n = std::min<size_t>(len, static_cast<size_t>(std::max<ISC_SHORT>(v.sqllen, 0)));
      return std::string(v.sqldata + 2, n);
    }
    case SQL_TEXT: return std::string(v.sqldata, static_cast<size_t>(std::max<ISC_SHORT>(v.sqllen, 0)));
    default: return {};
  }
}

UnicodeString TSQLDA::DecodeWideText(Word Index) const {
  const XSQLVAR& v = Var(Index);
  int st = storageOf(v);
  if (st != SQL_VARYING && st != SQL_TEXT) return {};
  std::string bytes = DecodeText(Index);
  if (size_t zero = bytes.find('\0'); zero != std::string::npos) bytes.resize(zero);
  UnicodeString wide = CodePageToWide(bytes, CharacterSetCodePage(characterSet_));
  if (st == SQL_TEXT && v.sqlsubtype > 0) {
    size_t chars = static_cast<size_t>(std::max<ISC_SHORT>(v.sqllen, 0)) / CharacterSetBytesPerChar(characterSet_);
    if (wide.size() > chars) wide.resize(chars);
  }
  return wide;
}

void TSQLDA::DecodeStringOut(Word Index, std::string& Out) const {
  Out.clear();
  Out = DecodeText(Index);
}
void TSQLDA::DecodeString(Word Index, std::string& Out) const {
  Out.clear();
  Out = DecodeText(Index);
}

void TSQLDA::EncodeString(Word Index, std::string_view Text) { EncodeText(Index, Text); }
void TSQLDA::EncodeRawString(Word Index, std::string_view Text) { EncodeText(Index, Text); }
void TSQLDA::EncodeWideString(Word Index, std::u16string_view Text) {
  EncodeText(Index, WideToCodePage(Text, CharacterSetCodePage(characterSet_)));
}

void TSQLDA::EncodeText(Word Index, std::string_view Text) {
  XSQLVAR& v = Var(Index);
  int st = storageOf(v);
  if (st != SQL_VARYING && st != SQL_TEXT) return;
  Integer maxLen = GetMaxLength(Index);
  if (maxLen > 0 && static_cast<Integer>(Text.size()) > maxLen) {
    // The server itself drops surplus trailing blanks; anything else would
    // be lost, so it is refused.
    if (Text.find_first_not_of(' ', static_cast<size_t>(maxLen)) != std::string_view::npos)
      throw EDBCConvertError("String right truncation.");
    Text = Text.substr(0, static_cast<size_t>(maxLen));
  }
  if (Text.size() > 32765) throw EDBCConvertError("String right truncation.");
  if (KeepsBuffersInPlace()) {
    size_t room = static_cast<size_t>(std::max<ISC_SHORT>(v.sqllen, 0));
    if (Text.size() > room || !v.sqldata) throw EDBCConvertError("String right truncation.");
    if (st == SQL_VARYING) {
      uint16_t len = static_cast<uint16_t>(Text.size());
      std::memcpy(v.sqldata, &len, 2);
      std::memcpy(v.sqldata + 2, Text.data(), Text.size());
    } else {
      std::memcpy(v.sqldata, Text.data(), Text.size());
      std::memset(v.sqldata + Text.size(), ' ', room - Text.size());
    }
    return;
  }
  auto resize = [&](size_t bytes) {
    char* grown = static_cast<char*>(std::realloc(v.sqldata, std::max<size_t>(bytes, 1)));
    if (!grown) throw EOutOfMemory("Out of memory");
    v.sqldata = grown;
  };
  if (st == SQL_VARYING) {
    // The client reads the length word plus sqllen bytes, so sqllen is the
    // text length alone and the buffer two bytes more.
    if (Text.empty()) {
      if (!v.sqldata) resize(4);
      v.sqllen = 0;
      std::memset(v.sqldata, 0, 2);
    } else {
      resize(Text.size() + 2);
      uint16_t len = static_cast<uint16_t>(Text.size());
      v.sqllen = static_cast<ISC_SHORT>(len);
      std::memcpy(v.sqldata, &len, 2);
      std::memcpy(v.sqldata + 2, Text.data(), len);
    }
  } else {
    if (Text.empty()) {
      if (!v.sqldata || v.sqllen < 4) resize(4);
      v.sqllen = 0;
    } else {
      resize(Text.size());
      v.sqllen = static_cast<ISC_SHORT>(Text.size());
      std::memcpy(v.sqldata, Text.data(), Text.size());
    }
  }
  TextBufferChanged(Index);
}

void TSQLDA::TextBufferChanged(Word) {}

// ---------------------------------------------------------------------------
// Getters

namespace {

// A floating column's value; as text, a scaled column keeps its decimals.
OutValue fromFloat(double d, int scale, Want want) {
  OutValue out;
  if (isIntegerWant(want)) {
    out.I = truncToInt64(d);
    checkIntegerRange(want, out.I);
  } else if (want == Want::Boolean) {
    out.B = truncToInt64(d) != 0;
  } else if (isFloatWant(want)) {
    out.D = d;
  } else if (want == Want::Currency) {
    out.C = Currency::FromRaw(roundToInt64(d * 10000));
  } else {
    out.S = scale < 0 ? FormatFloat(scalePattern(scale), d) : FloatToStr(d);
  }
  return out;
}

OutValue getValue(const TSQLDA& da, Word Index, Want want) {
  da.CheckRange(Index);
  OutValue out;
  if (da.GetIsNull(Index)) return out;
  const XSQLVAR& v = da.Var(Index);
  int st = storageOf(v);
  if (v.sqlscale < 0) {
    int scale = v.sqlscale;
    if (scale < MinScale) unexpectedError();
    int64_t divisor = powersOfTen[-scale];
    if (st == SQL_SHORT || st == SQL_LONG || st == SQL_INT64 || st == SQL_QUAD) {
      int64_t value = readInteger(v);
      if (isIntegerWant(want)) {
        out.I = value / divisor;
        checkIntegerRange(want, out.I);
      } else if (want == Want::Boolean) {
        out.B = value / divisor != 0;
      } else if (isFloatWant(want)) {
        out.D = static_cast<double>(value) / static_cast<double>(divisor);
      } else if (want == Want::Currency) {
        if (scale == -4) out.C = Currency::FromRaw(value);
        else if (scale > -4) out.C = Currency::FromRaw(mulChecked(value, powersOfTen[4 + scale]));
        else out.C = Currency::FromRaw(value / powersOfTen[-scale - 4]);
      } else {
        out.S = formatScaled(value, scale);
      }
      return out;
    }
    if (st == SQL_DOUBLE || st == SQL_D_FLOAT) return fromFloat(readFloat(v), scale, want);
    unexpectedError();
  }

  switch (st) {
    case SQL_VARYING:
    case SQL_TEXT: {
      std::string text = da.DecodeText(Index);
      switch (want) {
        case Want::Smallint: out.I = narrow<int16_t>(StrToInt(text)); break;
        case Want::Integer:
        case Want::Time: out.I = StrToInt(text); break;
        case Want::Int64: out.I = StrToInt64(text); break;
        case Want::Date: out.I = truncToInt64(StrToDate(text)); break;
        case Want::Boolean: out.B = StrToInt(text) != 0; break;
        case Want::Double:
        case Want::Single: out.D = StrToFloat(text); break;
        case Want::DateTime: out.D = StrToDateTime(text); break;
        case Want::Currency: out.C = StrToCurr(text); break;
        case Want::String: out.S = std::move(text); break;
      }
      if (want == Want::Time) checkIntegerRange(want, out.I);
      return out;
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
      int64_t value = readInteger(v);
      if (isIntegerWant(want)) {
        out.I = value;
        checkIntegerRange(want, value);
      } else if (want == Want::Boolean) {
        out.B = value != 0;
      } else if (isFloatWant(want)) {
        out.D = static_cast<double>(value);
      } else if (want == Want::Currency) {
        out.C = Currency::FromRaw(mulChecked(value, Currency::Scale));
      } else {
        out.S = IntToStr(value);
      }
      return out;
    }
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return fromFloat(readFloat(v), v.sqlscale, want);
    case SQL_TIMESTAMP: {
      TSQLTimestamp ts = readTimestamp(v);
      TDateTime dt = TimestampToDateTime(ts);
      switch (want) {
        case Want::Smallint:
        case Want::Integer:
        case Want::Int64:
        case Want::Date:
          out.I = static_cast<int64_t>(ts.Day) - DateOffset;
          checkIntegerRange(want, out.I);
          break;
        case Want::Time: out.I = ts.Time; break;
        case Want::Double:
        case Want::Single:
        case Want::DateTime: out.D = dt; break;
        case Want::Currency: out.C = Currency::FromRaw(roundToInt64(dt * 10000)); break;
        case Want::Boolean: castError();
        case Want::String: DateTimeToString(out.S, "", dt); break;
      }
      return out;
    }
    case SQL_TYPE_DATE: {
      int64_t day = static_cast<int64_t>(readAs<int32_t>(v)) - DateOffset;
      switch (want) {
        case Want::Time: out.I = 0; break;
        case Want::Boolean: castError();
        case Want::String: out.S = DateToStr(static_cast<double>(day)); break;
        case Want::Currency: out.C = Currency::FromRaw(mulChecked(day, Currency::Scale)); break;
        default:
          if (isIntegerWant(want)) {
            out.I = day;
            checkIntegerRange(want, day);
          } else {
            out.D = static_cast<double>(day);
          }
      }
      return out;
    }
    case SQL_TYPE_TIME: {
      uint32_t time = readAs<uint32_t>(v);
      double fraction = static_cast<double>(time) / TimeCoeff;
      switch (want) {
        case Want::Time: out.I = time; break;
        case Want::Boolean: castError();
        case Want::String: out.S = TimeToStr(fraction); break;
        case Want::Currency: out.C = Currency::FromRaw(roundToInt64(fraction * 10000)); break;
        default:
          if (isIntegerWant(want)) out.I = 0;
          else out.D = fraction;
      }
      return out;
    }
    default: castError();
  }
}

}  // namespace

double TSQLDA::GetAsDouble(Word Index) const { return getValue(*this, Index, Want::Double).D; }
Currency TSQLDA::GetAsCurrency(Word Index) const { return getValue(*this, Index, Want::Currency).C; }
Int64 TSQLDA::GetAsInt64(Word Index) const { return getValue(*this, Index, Want::Int64).I; }
Integer TSQLDA::GetAsInteger(Word Index) const {
  return static_cast<Integer>(getValue(*this, Index, Want::Integer).I);
}
Single TSQLDA::GetAsSingle(Word Index) const { return static_cast<Single>(getValue(*this, Index, Want::Single).D); }
SmallInt TSQLDA::GetAsSmallint(Word Index) const {
  return static_cast<SmallInt>(getValue(*this, Index, Want::Smallint).I);
}
std::string TSQLDA::GetAsRawString(Word Index) const { return getValue(*this, Index, Want::String).S; }
std::string TSQLDA::GetAsString(Word Index) const { return getValue(*this, Index, Want::String).S; }
UnicodeString TSQLDA::GetAsWideString(Word Index) const {
  CheckRange(Index);
  if (GetIsNull(Index)) return {};
  int st = storageOf(Var(Index));
  if (Var(Index).sqlscale >= 0 && (st == SQL_VARYING || st == SQL_TEXT)) return DecodeWideText(Index);
  return AnsiToUnicode(GetAsString(Index));
}
TDateTime TSQLDA::GetAsDateTime(Word Index) const { return getValue(*this, Index, Want::DateTime).D; }
Integer TSQLDA::GetAsDate(Word Index) const { return static_cast<Integer>(getValue(*this, Index, Want::Date).I); }
Cardinal TSQLDA::GetAsTime(Word Index) const { return static_cast<Cardinal>(getValue(*this, Index, Want::Time).I); }
bool TSQLDA::GetAsBoolean(Word Index) const { return getValue(*this, Index, Want::Boolean).B; }

TVariant TSQLDA::GetAsVariant(Word Index) const {
  CheckRange(Index);
  if (GetIsNull(Index)) return TVariant::Null();
  const XSQLVAR& v = Var(Index);
  int st = storageOf(v);
  if (v.sqlscale < 0) return TVariant::FromDouble(GetAsDouble(Index));
  switch (st) {
    case SQL_VARYING:
    case SQL_TEXT: return TVariant::FromString(DecodeText(Index));
    case SQL_SHORT: return TVariant::FromSmallint(readAs<int16_t>(v));
    case SQL_LONG: return TVariant::FromInteger(readAs<int32_t>(v));
    case SQL_INT64: return TVariant::FromInt64(readAs<int64_t>(v));
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return TVariant::FromDouble(readFloat(v));
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE: return TVariant::FromDate(GetAsDateTime(Index));
    case SQL_TYPE_TIME: return TVariant::FromDouble(GetAsDouble(Index));
    default: castError();
  }
}

void TSQLDA::SetAsVariant(Word Index, const TVariant& Value) {
  switch (Value.VarType()) {
    case varEmpty:
    case varNull: SetIsNull(Index, true); break;
    case varSmallint:
    case varShortInt:
    case varByte: SetAsSmallint(Index, static_cast<SmallInt>(Value.AsInt64())); break;
    case varInteger:
    case varWord: SetAsInteger(Index, static_cast<Integer>(Value.AsInt64())); break;
    case varSingle: SetAsSingle(Index, static_cast<Single>(Value.AsDouble())); break;
    case varDouble: SetAsDouble(Index, Value.AsDouble()); break;
    case varCurrency: SetAsCurrency(Index, Value.AsCurrency()); break;
    case varDate: SetAsDateTime(Index, Value.AsDouble()); break;
    case varString: SetAsAnsiString(Index, Value.AsString()); break;
    // Wide text goes through the area's code page rather than Windows-1252.
    case varUString: SetAsWideString(Index, Value.AsUString()); break;
    case varLongWord:
    case varInt64: SetAsInt64(Index, Value.AsInt64()); break;
    default: castError();
  }
}

ISC_QUAD TSQLDA::GetAsQuad(Word Index) const {
  CheckRange(Index);
  ISC_QUAD q{};
  if (GetIsNull(Index)) return q;
  switch (storageOf(Var(Index))) {
    case SQL_DOUBLE:
    case SQL_BLOB:
    case SQL_D_FLOAT:
    case SQL_ARRAY:
    case SQL_QUAD:
    case SQL_INT64: return readAs<ISC_QUAD>(Var(Index));
    default: unexpectedError();
  }
}

// ---------------------------------------------------------------------------
// Setters

void TSQLDA::StoreValue(Word Index, const TInValue& in) {
  CheckRange(Index);
  XSQLVAR& v = Var(Index);
  int st = storageOf(v);
  using K = TInValue::Kind;
  bool integerInput = in.K == K::kSmallint || in.K == K::kInteger || in.K == K::kInt64 || in.K == K::kBoolean ||
                      in.K == K::kDate || in.K == K::kTime;
  bool floatInput = in.K == K::kDouble || in.K == K::kSingle || in.K == K::kDateTime;
  auto storeInteger = [&](int64_t value) {
    switch (st) {
      case SQL_SHORT: writeAs<int16_t>(v, narrow<int16_t>(value)); break;
      case SQL_LONG: writeAs<int32_t>(v, narrow<int32_t>(value)); break;
      default: writeAs<int64_t>(v, value); break;
    }
  };
  auto asDouble = [&]() -> double {
    if (integerInput) return static_cast<double>(in.I);
    if (floatInput) return in.D;
    if (in.K == K::kCurrency) return in.C.ToDouble();
    return StrToFloat(in.S);
  };

  if (v.sqlscale < 0) {
    int scale = v.sqlscale;
    if (st == SQL_SHORT || st == SQL_LONG || st == SQL_INT64 || st == SQL_QUAD) {
      if (scale < MinScale) unexpectedError();
      int64_t factor = powersOfTen[-scale];
      int64_t value = 0;
      if (integerInput) {
        value = mulChecked(in.I, factor);
      } else if (floatInput) {
        value = roundToInt64(in.D * static_cast<double>(factor));
      } else if (in.K == K::kCurrency) {
        if (st == SQL_SHORT || st == SQL_LONG) value = roundToInt64(in.C.ToDouble() * static_cast<double>(factor));
        else if (scale == -4) value = in.C.Raw();
        else if (scale > -4) value = in.C.Raw() / powersOfTen[4 + scale];
        else value = mulChecked(in.C.Raw(), powersOfTen[-scale - 4]);
      } else {
        // Exact decimal parsing: going through a double would store 1.15 as 114.
        if (!parseScaled(in.S, scale, value)) value = truncToInt64(StrToFloat(in.S) * static_cast<double>(factor));
      }
      storeInteger(value);
    } else if (st == SQL_DOUBLE || st == SQL_D_FLOAT) {
      writeAs<double>(v, asDouble());
    } else {
      unexpectedError();
    }
  } else {
    switch (st) {
      case SQL_VARYING:
      case SQL_TEXT: {
        std::string text;
        switch (in.K) {
          case K::kSmallint:
          case K::kInteger:
          case K::kInt64:
          case K::kBoolean: text = IntToStr(in.I); break;
          case K::kDouble:
          case K::kSingle: text = FloatToStr(in.D); break;
          case K::kCurrency: text = FloatToStr(in.C.ToDouble()); break;
          case K::kDateTime: DateTimeToString(text, "", in.D); break;
          case K::kDate: text = DateToStr(static_cast<double>(in.I)); break;
          case K::kTime: text = TimeToStr(static_cast<double>(in.I) / TimeCoeff); break;
          case K::kString: EncodeText(Index, in.S); break;
        }
        if (in.K != K::kString) EncodeText(Index, text);
        break;
      }
      case SQL_SHORT:
      case SQL_LONG:
      case SQL_INT64:
        if (integerInput) storeInteger(in.I);
        else if (floatInput) storeInteger(truncToInt64(in.D));
        else if (in.K == K::kCurrency) storeInteger(in.C.Trunc());
        else storeInteger(StrToInt64(in.S));
        break;
      case SQL_FLOAT: writeAs<float>(v, static_cast<float>(asDouble())); break;
      case SQL_DOUBLE:
      case SQL_D_FLOAT: writeAs<double>(v, asDouble()); break;
      case SQL_TIMESTAMP: {
        TSQLTimestamp ts;
        if (in.K == K::kBoolean) castError();
        if (in.K == K::kTime) ts = TimeToTimestamp(static_cast<Cardinal>(in.I));
        else if (integerInput) ts = DateToTimestamp(narrow<int32_t>(in.I));
        else if (in.K == K::kString) ts = DateTimeToTimestamp(StrToDateTime(in.S));
        else ts = DateTimeToTimestamp(asDouble());
        writeAs<ISC_TIMESTAMP>(v, ISC_TIMESTAMP{ts.Day, ts.Time});
        break;
      }
      case SQL_TYPE_DATE: {
        if (in.K == K::kBoolean) castError();
        int64_t day = 0;
        if (in.K == K::kTime) day = -DateOffset;  // stores 0
        else if (integerInput) day = in.I;
        else if (in.K == K::kString) day = truncToInt64(StrToDate(in.S));
        else day = roundToInt64(std::trunc(asDouble()));
        writeAs<int32_t>(v, narrow<int32_t>(static_cast<int64_t>(narrow<int32_t>(day)) + DateOffset));
        break;
      }
      case SQL_TYPE_TIME: {
        if (in.K == K::kBoolean) castError();
        uint32_t time = 0;
        if (in.K == K::kTime) {
          time = static_cast<uint32_t>(in.I);
        } else if (!integerInput) {
          double x = in.K == K::kString ? StrToTime(in.S) : asDouble();
          if (!std::isfinite(x)) rangeError();
          double units = std::nearbyint(std::fabs(x - std::trunc(x)) * TimeCoeff);
          // A time that rounds up to 24:00 is midnight of the next day.
          time = units >= TimeCoeff ? 0 : static_cast<uint32_t>(units);
        }
        writeAs<uint32_t>(v, time);
        break;
      }
      default: castError();
    }
  }
  if (v.sqlind) *v.sqlind = 0;
}

void TSQLDA::SetAsDouble(Word Index, double Value) {
  StoreValue(Index, {TInValue::kDouble, 0, Value, {}, {}});
}
void TSQLDA::SetAsCurrency(Word Index, Currency Value) {
  StoreValue(Index, {TInValue::kCurrency, 0, 0, Value, {}});
}
void TSQLDA::SetAsInt64(Word Index, Int64 Value) { StoreValue(Index, {TInValue::kInt64, Value, 0, {}, {}}); }
void TSQLDA::SetAsInteger(Word Index, Integer Value) { StoreValue(Index, {TInValue::kInteger, Value, 0, {}, {}}); }
void TSQLDA::SetAsSingle(Word Index, Single Value) { StoreValue(Index, {TInValue::kSingle, 0, Value, {}, {}}); }
void TSQLDA::SetAsSmallint(Word Index, SmallInt Value) {
  StoreValue(Index, {TInValue::kSmallint, Value, 0, {}, {}});
}
void TSQLDA::SetAsRawString(Word Index, std::string_view Value) {
  StoreValue(Index, {TInValue::kString, 0, 0, {}, Value});
}
void TSQLDA::SetAsString(Word Index, std::string_view Value) {
  StoreValue(Index, {TInValue::kString, 0, 0, {}, Value});
}
void TSQLDA::SetAsWideString(Word Index, std::u16string_view Value) {
  CheckRange(Index);
  int st = storageOf(Var(Index));
  if (Var(Index).sqlscale >= 0 && (st == SQL_VARYING || st == SQL_TEXT)) {
    EncodeWideString(Index, Value);
    if (Var(Index).sqlind) *Var(Index).sqlind = 0;
    return;
  }
  std::string narrowText = UnicodeToUtf8(Value);
  StoreValue(Index, {TInValue::kString, 0, 0, {}, narrowText});
}
void TSQLDA::SetAsDateTime(Word Index, TDateTime Value) {
  StoreValue(Index, {TInValue::kDateTime, 0, Value, {}, {}});
}
void TSQLDA::SetAsBoolean(Word Index, bool Value) {
  StoreValue(Index, {TInValue::kBoolean, Value ? 1 : 0, 0, {}, {}});
}
void TSQLDA::SetAsDate(Word Index, Integer Value) { StoreValue(Index, {TInValue::kDate, Value, 0, {}, {}}); }
void TSQLDA::SetAsTime(Word Index, Cardinal Value) { StoreValue(Index, {TInValue::kTime, Value, 0, {}, {}}); }

void TSQLDA::SetAsQuad(Word Index, ISC_QUAD Value) {
  CheckRange(Index);
  XSQLVAR& v = Var(Index);
  switch (storageOf(v)) {
    case SQL_DOUBLE:
    case SQL_BLOB:
    case SQL_D_FLOAT:
    case SQL_ARRAY:
    case SQL_QUAD:
    case SQL_INT64: break;
    default: unexpectedError();
  }
  writeAs<ISC_QUAD>(v, Value);
  if (v.sqlind) *v.sqlind = (Value.gds_quad_high == 0 && Value.gds_quad_low == 0) ? -1 : 0;
}

}  // namespace px
