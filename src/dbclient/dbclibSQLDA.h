#pragma once
// A descriptor area: the client's header plus one descriptor per column or
// parameter, each pointing at a data buffer and a NULL indicator, with typed
// access to the values in both directions.
#include <ibase.h>

#include <string>
#include <string_view>

#include "dbclient/dbclib.h"
#include "dbclient/dbclibCharset.h"
#include "platform/core/Currency.h"
#include "platform/core/Types.h"
#include "platform/core/Variant.h"

namespace px {

// Kinds of a column as GetFieldType reports them.
enum TSQLFieldKind {
  uftUnknown,
  uftNumeric,
  uftChar,
  uftVarchar,
  uftCstring,
  uftSmallint,
  uftInteger,
  uftQuad,
  uftFloat,
  uftDoublePrecision,
  uftTimestamp,
  uftBlob,
  uftBlobId,
  uftDate,
  uftTime,
  uftInt64,
  uftArray
};
// "NUMERIC", "CHAR", ... for the kinds 1 to 16, "" for 0.
const char* SQLFieldKindName(TSQLFieldKind Kind);

// Day numbers of the client count from 1858-11-17; this is the offset to TDateTime days.
constexpr Integer DateOffset = 15018;
// Units of the client's time of day per day (1/10000 s).
constexpr Cardinal TimeCoeff = 864000000;

struct TSQLTimestamp {
  Integer Day = 0;   // client day number
  Cardinal Time = 0; // units of 1/10000 s
};
TDateTime TimestampToDateTime(TSQLTimestamp ts);
// Rounds to the unit; a time that rounds up to 24:00 belongs to the next day.
TSQLTimestamp DateTimeToTimestamp(TDateTime value);
TSQLTimestamp DateToTimestamp(Integer day);
TSQLTimestamp TimeToTimestamp(Cardinal time);

class TSQLDA {
 public:
  explicit TSQLDA(TCharacterSet CharacterSet);
  virtual ~TSQLDA();
  TSQLDA(const TSQLDA&) = delete;
  TSQLDA& operator=(const TSQLDA&) = delete;

  // The client's descriptor area.
  XSQLDA* Data() const { return area_; }
  TCharacterSet GetCharacterSet() const { return characterSet_; }
  void SetCharacterSet(TCharacterSet cs) { characterSet_ = cs; }
  // The entry itself, without a range check.
  XSQLVAR& Var(Word Index) const { return area_->sqlvar[Index]; }

  virtual Word GetAllocatedFields() const;
  // Resizes to Count entries (at least room for one); kept entries stay,
  // new ones are zeroed.
  virtual void SetAllocatedFields(Word Count);
  virtual Integer GetFieldCount() const;
  virtual Integer GetSqlType(Word Index) const;
  virtual Integer GetSqlLen(Word Index) const;
  virtual Integer GetSqlScale(Word Index) const;
  // Largest text a parameter takes (0 = no limit known).
  virtual Integer GetMaxLength(Word Index) const;

  // Text of text columns: raw bytes, and wide through the area's code page.
  virtual std::string DecodeRawText(Word Index) const;
  virtual UnicodeString DecodeWideText(Word Index) const;
  virtual std::string DecodeText(Word Index) const;
  virtual void DecodeStringOut(Word Index, std::string& Out) const;
  virtual void DecodeString(Word Index, std::string& Out) const;
  virtual void EncodeString(Word Index, std::string_view Text);
  virtual void EncodeWideString(Word Index, std::u16string_view Text);
  // Stores text into a text column; raises EDBCConvertError when the text
  // does not fit the parameter's described length. The entry's buffer is
  // replaced by malloc'ed memory of the text's size unless the area keeps
  // its buffers in place (see KeepsBuffersInPlace).
  virtual void EncodeText(Word Index, std::string_view Text);
  virtual void EncodeRawString(Word Index, std::string_view Text);

  virtual std::string GetSqlName(Word Index) const;
  virtual std::string GetRelName(Word Index) const;
  virtual std::string GetOwnName(Word Index) const;
  virtual std::string GetAliasName(Word Index) const;
  virtual TSQLFieldKind GetFieldType(Word Index) const;
  virtual bool GetIsNumeric(Word Index) const;
  virtual bool GetIsBlob(Word Index) const;
  virtual bool GetIsBlobText(Word Index) const;
  virtual bool GetIsArray(Word Index) const;
  virtual bool GetIsNullable(Word Index) const;
  virtual bool GetIsNull(Word Index) const;

  virtual double GetAsDouble(Word Index) const;
  virtual Currency GetAsCurrency(Word Index) const;
  virtual Int64 GetAsInt64(Word Index) const;
  virtual Integer GetAsInteger(Word Index) const;
  virtual Single GetAsSingle(Word Index) const;
  virtual SmallInt GetAsSmallint(Word Index) const;
  virtual std::string GetAsRawString(Word Index) const;
  virtual std::string GetAsString(Word Index) const;
  virtual UnicodeString GetAsWideString(Word Index) const;
  virtual ISC_QUAD GetAsQuad(Word Index) const;
  virtual TDateTime GetAsDateTime(Word Index) const;
  // TDateTime day.
  virtual Integer GetAsDate(Word Index) const;
  // Units of 1/10000 s.
  virtual Cardinal GetAsTime(Word Index) const;
  virtual bool GetAsBoolean(Word Index) const;
  virtual TVariant GetAsVariant(Word Index) const;
  std::string GetAsAnsiString(Word Index) const { return GetAsString(Index); }

  virtual void SetIsNull(Word Index, bool Value);
  virtual void SetAsDouble(Word Index, double Value);
  virtual void SetAsCurrency(Word Index, Currency Value);
  virtual void SetAsInt64(Word Index, Int64 Value);
  virtual void SetAsInteger(Word Index, Integer Value);
  virtual void SetAsSingle(Word Index, Single Value);
  virtual void SetAsSmallint(Word Index, SmallInt Value);
  virtual void SetAsRawString(Word Index, std::string_view Value);
  virtual void SetAsString(Word Index, std::string_view Value);
  virtual void SetAsWideString(Word Index, std::u16string_view Value);
  virtual void SetAsQuad(Word Index, ISC_QUAD Value);
  virtual void SetAsDateTime(Word Index, TDateTime Value);
  virtual void SetAsBoolean(Word Index, bool Value);
  // TDateTime day.
  virtual void SetAsDate(Word Index, Integer Value);
  // Units of 1/10000 s.
  virtual void SetAsTime(Word Index, Cardinal Value);
  // Dispatches on the variant's type to the setters above.
  virtual void SetAsVariant(Word Index, const TVariant& Value);
  void SetAsAnsiString(Word Index, std::string_view Value) { SetAsString(Index, Value); }

  // Raises "Field num: %d not found." unless Index < the allocated count.
  virtual void CheckRange(Word Index) const;
  virtual Word GetFieldIndex(std::string_view Name) const;
  virtual bool TryGetFieldIndex(std::string_view Name, Word& Index) const;

  std::string GetByNameAsString(std::string_view Name) const { return GetAsString(GetFieldIndex(Name)); }
  void SetByNameAsString(std::string_view Name, std::string_view Value) { SetAsString(GetFieldIndex(Name), Value); }
  std::string GetByNameAsRawString(std::string_view Name) const { return GetAsRawString(GetFieldIndex(Name)); }
  void SetByNameAsRawString(std::string_view Name, std::string_view Value) {
    SetAsRawString(GetFieldIndex(Name), Value);
  }
  Integer ByNameAsInteger(std::string_view Name) const { return GetAsInteger(GetFieldIndex(Name)); }
  std::string ByNameAsString(std::string_view Name) const { return GetAsString(GetFieldIndex(Name)); }
  TDateTime ByNameAsDateTime(std::string_view Name) const { return GetAsDateTime(GetFieldIndex(Name)); }
  void ByNameSetAsString(std::string_view Name, std::string_view Value) { SetAsString(GetFieldIndex(Name), Value); }

  // One value on its way into an entry (see the setters).
  struct TInValue {
    enum Kind { kSmallint, kInteger, kInt64, kBoolean, kDate, kTime, kDouble, kSingle, kDateTime, kCurrency, kString } K;
    px::Int64 I = 0;
    double D = 0;
    px::Currency C;
    std::string_view S;
  };

 protected:
  // Runs the conversion of one value into the entry's storage and clears
  // its NULL indicator.
  void StoreValue(Word Index, const TInValue& Value);
  // Called after EncodeText replaced an entry's buffer (parameters share it).
  virtual void TextBufferChanged(Word Index);
  // True for areas whose entry buffers are not separately malloc'ed (a row
  // buffer laid out in one block): text is then written into the declared
  // room, blank-padded for fixed text, and never reallocated.
  virtual bool KeepsBuffersInPlace() const { return false; }

 private:
  XSQLDA* area_ = nullptr;
  TCharacterSet characterSet_;
};

}  // namespace px
