#pragma once
// Index objects of the record store (internal to src/data). Every index
// reads its keys straight from the records; hash and tree indexes keep their
// node inside each record, so entering a record allocates nothing.
#include <memory>
#include <string>

#include "data/UnitDataSet.h"

namespace px {

class TMemIndex {
 public:
  virtual ~TMemIndex() = default;

  // Enters the record with the key it holds now; false when a unique index
  // already holds an equal key (nothing changed then).
  virtual bool Insert(TMemRecord* rec) = 0;
  // Takes the record out when it is in the index.
  virtual void Remove(TMemRecord* rec) = 0;
  // key points to the key in its search form (KeyTraits::Search).
  virtual TMemRecord* Find(const void* key, Byte flags) = 0;
  virtual TMemRecord* First() = 0;
  virtual TMemRecord* Last() = 0;
  virtual TMemRecord* Next(const TMemRecord* rec) = 0;
  virtual TMemRecord* Prior(const TMemRecord* rec) = 0;
  // Forgets every entry (the records are being freed).
  virtual void Clear() = 0;
  virtual void Rebuild() {}
  virtual std::unique_ptr<TMemIndex> CloneEmpty(TMemDataSet* owner) const = 0;
  virtual void CheckIntegrity() const = 0;

  TMemDataSet* Owner = nullptr;
  TMemIndexType Kind = mitNone;
  TMemAnyType KeyType = mftNone;
  Integer KeyField = -1;
  Integer Number = 0;
  std::string Name;
  Integer Count = 0;
  Integer NodeOffset = 0;  // node in the record (hash and tree kinds)
  Integer KeyOffset = 0;   // key value in the record
  Integer NullOffset = 0;  // null-flag byte and bit of the key field
  Byte NullMask = 0;
  // Multi-field index: its fields, and the null bits of all but the first
  // (a record is in it when every one of its fields holds a value).
  std::vector<Integer> Fields;
  std::vector<std::pair<Integer, Byte>> MoreNullBits;

  bool HasKey(const TMemRecord* rec) const {
    if ((rec->Block()[NullOffset] & NullMask) == 0) return false;
    for (const auto& [off, mask] : MoreNullBits)
      if ((rec->Block()[off] & mask) == 0) return false;
    return true;
  }

 protected:
  void copyBaseTo(TMemIndex& to, TMemDataSet* owner) const {
    to.Owner = owner;
    to.Kind = Kind;
    to.KeyType = KeyType;
    to.KeyField = KeyField;
    to.Number = Number;
    to.Name = Name;
    to.NodeOffset = NodeOffset;
    to.KeyOffset = KeyOffset;
    to.NullOffset = NullOffset;
    to.NullMask = NullMask;
    to.Fields = Fields;
    to.MoreNullBits = MoreNullBits;
  }
};

// Bytes of the in-record node of each kind (what the layout allocator gives).
constexpr Integer HashNodeSize = 12;  // next node, stored hash
constexpr Integer TreeNodeSize = 25;  // left, right, parent, balance

// A new empty index of that kind over that key type; nullptr when the kind
// cannot index the type.
std::unique_ptr<TMemIndex> CreateMemIndex(TMemIndexType kind, TMemAnyType keyType);
// A tree over several fields (types and data offsets in key order), ordered
// field by field; the search key is a record block holding the values.
std::unique_ptr<TMemIndex> CreateMultiFieldIndex(TMemIndexType kind,
                                                 const std::vector<std::pair<TMemAnyType, Integer>>& parts);

}  // namespace px

namespace px {

// Bytes of a stored value of that type.
Integer MemTypeSize(TMemAnyType type);

// A value of any field type, for code that handles every type alike.
struct TMemAnyValue {
  Integer I = 0;
  Int64 I64 = 0;
  AnsiString A;
  UnicodeString U;
  Single S = 0;
  Double D = 0;
  Currency C;
  bool B = false;
  TGUID G;
  Word W = 0;
  Byte By = 0;
  // The member that holds a value of that type.
  void* Slot(TMemAnyType type);
};

// Reads a field (stored or calculated) into the matching member of v.
void MemReadValue(const TMemRecord& rec, Integer field, TMemAnyValue& v);
// Calls a calculated field's event; returns its IsNull answer.
bool MemCalculate(const TMemRecord& rec, const memds::TMemFieldDescriptor& d, TMemAnyValue& v);

}  // namespace px
