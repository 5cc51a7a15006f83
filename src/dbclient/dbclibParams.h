#pragma once
// The input descriptor area of a statement: named parameters turned into the
// client's positional "?" form, one entry per occurrence, all occurrences of
// one name sharing their value, typed by the server's description or by the
// first value set.
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/dbclibSQLDA.h"

namespace px {

class TSQLParams : public TSQLDA {
 public:
  explicit TSQLParams(TCharacterSet CharacterSet);
  ~TSQLParams() override;

  virtual std::string GetFieldName(Word Index) const;
  // Gives every entry a fresh buffer of its length; Init marks the types as
  // not yet fixed. Occurrences of one name share the first one's buffers.
  virtual void AllocateDataBuffer(bool Init);
  virtual Integer GetMaxSqlLen(Word Index) const;
  virtual Word AddFieldA(std::string_view Name);
  virtual Word AddFieldW(std::u16string_view Name);
  virtual Word AddField(std::string_view Name) { return AddFieldA(Name); }
  // Fixes the type of a parameter whose type is not fixed yet.
  virtual void SetFieldType(Word Index, Integer Size, Integer Scale, Integer SqlType);
  virtual void ClearParams();
  virtual void Parse(std::string_view SQL, std::string& ParsedSQL);
  virtual void AddFieldType(std::string_view Name, TSQLFieldKind Kind, Word Precision, Integer Scale);

  // Takes the types the server described for the parameters (after prepare).
  void ApplyDescription(const XSQLDA& Described);
  // The parameter's id; all occurrences of one name share it.
  Word GetParamId(Word Index) const;
  bool GetTypeFixed(Word Index) const;

  Integer GetMaxLength(Word Index) const override;
  TSQLFieldKind GetFieldType(Word Index) const override;
  bool GetIsNullable(Word Index) const override;
  Word GetFieldIndex(std::string_view Name) const override;
  bool TryGetFieldIndex(std::string_view Name, Word& Index) const override;

  void SetAsDouble(Word Index, double Value) override;
  void SetAsCurrency(Word Index, Currency Value) override;
  void SetAsInt64(Word Index, Int64 Value) override;
  void SetAsInteger(Word Index, Integer Value) override;
  void SetAsSingle(Word Index, Single Value) override;
  void SetAsSmallint(Word Index, SmallInt Value) override;
  void SetAsRawString(Word Index, std::string_view Value) override;
  void SetAsString(Word Index, std::string_view Value) override;
  void SetAsWideString(Word Index, std::u16string_view Value) override;
  void SetAsQuad(Word Index, ISC_QUAD Value) override;
  void SetAsDateTime(Word Index, TDateTime Value) override;
  void SetAsBoolean(Word Index, bool Value) override;
  void SetAsDate(Word Index, Integer Value) override;
  void SetAsTime(Word Index, Cardinal Value) override;

 protected:
  void TextBufferChanged(Word Index) override;

 private:
  struct ParamInfo {
    bool Untyped = true;
    bool NotNullable = false;
    Word Id = 0;
    Word MaxLength = 0;
    std::string Name;
  };
  // Copies type, buffers and bookkeeping of a named entry into every other
  // entry with its id.
  void shareWithSameId(Word Index);
  Word grow();

  std::vector<ParamInfo> info_;
  Word idCounter_ = 0;
};

}  // namespace px
