#pragma once
// TVariant: a value of one of the class library's variant types. It carries
// its type code and the value; conversions between types are left to the
// code that reads it.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/core/Currency.h"
#include "platform/core/Types.h"

namespace px {

enum TVarType : uint16_t {
  varEmpty = 0x0000,
  varNull = 0x0001,
  varSmallint = 0x0002,
  varInteger = 0x0003,
  varSingle = 0x0004,
  varDouble = 0x0005,
  varCurrency = 0x0006,
  varDate = 0x0007,
  varOleStr = 0x0008,
  varBoolean = 0x000B,
  varShortInt = 0x0010,
  varByte = 0x0011,
  varWord = 0x0012,
  varLongWord = 0x0013,
  varInt64 = 0x0014,
  varString = 0x0100,   // AnsiString
  varUString = 0x0102,  // UnicodeString
  varByteArray = 0x2011 // varArray | varByte, indexed from 0
};

class TVariant {
 public:
  TVariant() = default;
  static TVariant Null() { return TVariant(varNull, std::monostate{}); }
  static TVariant FromSmallint(int16_t v) { return TVariant(varSmallint, int64_t(v)); }
  static TVariant FromInteger(int32_t v) { return TVariant(varInteger, int64_t(v)); }
  static TVariant FromShortInt(int8_t v) { return TVariant(varShortInt, int64_t(v)); }
  static TVariant FromByte(uint8_t v) { return TVariant(varByte, int64_t(v)); }
  static TVariant FromWord(uint16_t v) { return TVariant(varWord, int64_t(v)); }
  static TVariant FromLongWord(uint32_t v) { return TVariant(varLongWord, int64_t(v)); }
  static TVariant FromInt64(int64_t v) { return TVariant(varInt64, v); }
  static TVariant FromBoolean(bool v) { return TVariant(varBoolean, int64_t(v ? -1 : 0)); }
  static TVariant FromSingle(float v) { return TVariant(varSingle, double(v)); }
  static TVariant FromDouble(double v) { return TVariant(varDouble, v); }
  static TVariant FromDate(TDateTime v) { return TVariant(varDate, v); }
  static TVariant FromCurrency(Currency v) { return TVariant(varCurrency, v); }
  static TVariant FromString(AnsiString v) { return TVariant(varString, std::move(v)); }
  static TVariant FromUString(UnicodeString v) { return TVariant(varUString, std::move(v)); }
  static TVariant FromBytes(TBytes v) { return TVariant(varByteArray, std::move(v)); }

  TVarType VarType() const { return type_; }
  bool IsEmpty() const { return type_ == varEmpty; }
  bool IsNull() const { return type_ == varNull; }

  // The payload for the type's family; reading another family raises
  // EVariantTypeCastError.
  int64_t AsInt64() const;     // integer types and varBoolean (True = -1)
  double AsDouble() const;     // varSingle, varDouble, varDate
  Currency AsCurrency() const; // varCurrency
  const AnsiString& AsString() const;
  const UnicodeString& AsUString() const;
  const TBytes& AsBytes() const;

 private:
  using Payload = std::variant<std::monostate, int64_t, double, Currency, AnsiString, UnicodeString, TBytes>;
  TVariant(TVarType type, Payload value) : type_(type), value_(std::move(value)) {}
  template <class T>
  const T& get() const;

  TVarType type_ = varEmpty;
  Payload value_;
};

}  // namespace px
