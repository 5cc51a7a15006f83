#include "data/UnitDataView.h"

#include <cfloat>
#include <cmath>

#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/Format.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/StringList.h"

namespace px {

const TGUID IID_IMemDataView = TGUID::FromString("{43520FBC-CB50-498C-A7ED-676D406133DC}");

namespace {

// TDateTime values that the date functions can show: 0001-01-01 up to
// 9999-12-31. Anything else (a damaged value, NaN) is shown as a number.
bool isShowableDateTime(double dt) { return std::isfinite(dt) && dt >= -693593.0 && dt < 2958466.0; }

// FILETIME ticks per day and the days from 1601-01-01 to 1899-12-30.
constexpr double FileTimePerDay = 864000000000.0;
constexpr double FileTimeDateDelta = 109205.0;

// FILETIME ticks as a TDateTime. Before 1899-12-30 a TDateTime counts the
// days backwards but the time of day forwards, so the day and the time are
// put together separately instead of by one division of the ticks.
double fileTimeToDateTime(Int64 ticks) {
  constexpr Int64 ticksPerDay = 864000000000;
  Int64 day = ticks / ticksPerDay, rest = ticks % ticksPerDay;
  if (rest < 0) {
    --day;
    rest += ticksPerDay;
  }
  const double date = static_cast<double>(day) - FileTimeDateDelta;
  const double time = static_cast<double>(rest) / FileTimePerDay;
  return date < 0 ? date - time : date + time;
}

// The record of the lookup table whose key (in index `index`) is `value`.
TMemRecord* lookupInteger(const IMemDataSet& table, Integer index, Int64 value, TMemAnyType valueType) {
  switch (table->GetIndexKeyType(index)) {
    case mftInteger:
      return value < INT32_MIN || value > INT32_MAX ? nullptr : table->FindInteger(index, static_cast<Integer>(value));
    case mftWord:
      return value < 0 || value > 0xFFFF ? nullptr : table->FindWord(index, static_cast<Word>(value));
    case mftByte:
      return value < 0 || value > 0xFF ? nullptr : table->FindByte(index, static_cast<Byte>(value));
    default:
      Assert(valueType != mftByte, "INVALID FORMAT");
      return table->FindInteger(index, static_cast<Integer>(value));
  }
}

std::string dateTimeText(double dt, const AnsiString& format, const TFormatSettings& fs) {
  if (!isShowableDateTime(dt)) return FloatToStr(dt, fs);
  return format.empty() ? DateTimeToStr(dt, fs) : FormatDateTime(AnsiToUtf8(format), dt, fs);
}

}  // namespace

UnicodeString FormatViewValue(const TMemRecord* rec, Integer field, const TMemViewColumn& column, bool withLookup) {
  if (!rec || rec->IsNull(field)) return {};
  const TMemDataSet* table = rec->Owner();
  const TLocale* locale = column.Locale ? column.Locale : Locales().GetCurrentLocale();
  const TFormatSettings& fs = locale->FormatSettings();
  const bool hasFormat = !column.Format.empty();
  const std::string format = AnsiToUtf8(column.Format);
  const bool blankZero = column.Flags & mvfBlankZero;
  // A looked-up value is shown with the same settings but without looking
  // it up again, which could go on for ever on a table that points to itself.
  auto lookedUp = [&](TMemRecord* found) -> UnicodeString {
    return found ? FormatViewValue(found, column.LookupField, column, false) : UnicodeString();
  };

  const TMemAnyType type = static_cast<TMemAnyType>(table->GetFieldType(field) & 0x7F);
  switch (type) {
    case mftInteger:
    case mftWord:
    case mftByte: {
      const Integer v = type == mftInteger ? rec->GetInteger(field)
                        : type == mftWord  ? Integer{rec->GetWord(field)}
                                           : Integer{rec->GetByte(field)};
      if (withLookup && column.LookupDataSet)
        return lookedUp(lookupInteger(column.LookupDataSet, column.LookupIndex, v, type));
      if (v == 0 && blankZero) return {};
      if (type == mftInteger && (column.Flags & mvfDateTime))
        return Utf8ToUnicode(dateTimeText(v / SecsPerDay + UnixDateDelta, column.Format, fs));
      if (type == mftInteger && (column.Flags & mvfCents)) {
        const Currency c = Currency::FromRaw(Int64{v} * 100);
        return Utf8ToUnicode(hasFormat ? px::Format(fs, format, c) : CurrToStrF(c, ffCurrency, 2, fs));
      }
      return Utf8ToUnicode(hasFormat ? px::Format(fs, format, v) : IntToStr(v));
    }
    case mftInt64: {
      const Int64 v = rec->GetInt64(field);
      if (v == 0 && blankZero) return {};
      if (column.Flags & (mvfFileTime | mvfFileTimeUTC)) {
        double dt = fileTimeToDateTime(v);
        if ((column.Flags & mvfFileTimeUTC) && isShowableDateTime(dt)) dt = UTCToLocal(dt);
        return Utf8ToUnicode(dateTimeText(dt, column.Format, fs));
      }
      return Utf8ToUnicode(hasFormat ? px::Format(fs, format, v) : IntToStr(v));
    }
    case mftAnsiString: {
      const AnsiString v = rec->GetAnsiString(field);
      if (withLookup && column.LookupDataSet)
        return lookedUp(column.LookupDataSet->FindAnsiString(column.LookupIndex, v));
      return hasFormat ? Utf8ToUnicode(px::Format(fs, format, AnsiToUtf8(v))) : AnsiToUnicode(v);
    }
    case mftUnicodeString: {
      UnicodeString v = rec->GetUnicodeString(field);
      return hasFormat ? Utf8ToUnicode(px::Format(fs, format, v)) : v;
    }
    case mftSingle: {
      const Single v = rec->GetSingle(field);
      if (v == 0 && blankZero) return {};
      return Utf8ToUnicode(hasFormat ? px::Format(fs, format, double{v}) : FloatToStrF(v, ffGeneral, 7, 0, fs));
    }
    case mftDouble: {
      const Double v = rec->GetDouble(field);
      if (v == 0 && blankZero) return {};
      if (column.Flags & (mvfDateTime | mvfDateTimeUTC)) {
        double dt = v;
        if (isShowableDateTime(dt)) {
          dt = std::round(dt * FileTimePerDay) / FileTimePerDay;
          if (column.Flags & mvfDateTimeUTC) dt = UTCToLocal(dt);
        }
        return Utf8ToUnicode(dateTimeText(dt, column.Format, fs));
      }
      return Utf8ToUnicode(hasFormat ? px::Format(fs, format, v) : FloatToStrF(v, ffGeneral, 15, 0, fs));
    }
    case mftCurrency: {
      const Currency v = rec->GetCurrency(field);
      if (v.Raw() == 0 && blankZero) return {};
      return Utf8ToUnicode(hasFormat ? px::Format(fs, format, v) : CurrToStrF(v, ffCurrency, 2, fs));
    }
    case mftBoolean: {
      const bool v = rec->GetBoolean(field);
      return hasFormat ? Utf8ToUnicode(px::Format(fs, format, v)) : UnicodeString(v ? u"1" : u"0");
    }
    case mftGUID:
      return AnsiToUnicode(GUIDToText(rec->GetGUID(field)));
    default:
      Assert(false, "NOT IMPLEMENTED YET");
      return {};
  }
}

// ---------------------------------------------------------------------------

TMemViewColumn::TMemViewColumn() : Locale(Locales().GetCurrentLocale()) {}

bool TMemViewColumn::Equals(const TMemViewColumn& o) const {
  const Integer first = FieldIndexes.empty() ? -1 : FieldIndexes[0];
  const Integer otherFirst = o.FieldIndexes.empty() ? -1 : o.FieldIndexes[0];
  return Caption == o.Caption && GridText2 == o.GridText2 && GridText3 == o.GridText3 && Format == o.Format &&
         first == otherFirst && TextField == o.TextField && ImageField == o.ImageField && Width == o.Width &&
         Flags == o.Flags && Tag == o.Tag && ImageOffset == o.ImageOffset;
}

void TMemViewColumn::SetFieldIndex(const std::string& fieldName) {
  if (!View) throw Exception("DataView: No dataset");
  SetFieldIndex(View->GetDataSet()->FieldIndexByName(fieldName));
}

bool TMemViewColumn::FillLookupList(TStrings* strings) const {
  if (!strings || !LookupDataSet) return false;
  strings->Clear();
  // The items read as the cells show a looked-up value, so that an editor
  // can find the item of a cell by its text.
  for (TMemRecord* rec = LookupDataSet->First(); rec; rec = rec->GetNext())
    strings->AddObject(UnicodeToUtf8(FormatViewValue(rec, LookupField, *this, false)), rec);
  return true;
}

// ---------------------------------------------------------------------------

TMemDataView::TMemDataView(const IMemDataSet& dataSet, Cardinal flags) : DataSet(dataSet), Flags_(flags) {
  if (!DataSet) throw Exception("DataView: No dataset");
  setKey();
}

TMemDataView::~TMemDataView() = default;

void TMemDataView::setKey() {
  KeyIndex = -1;
  KeyField = -1;
  KeyType = mftNone;
  if (!(Flags_ & 1)) {
    KeyIndex = DataSet->GetPrimaryIndex();
    if (KeyIndex >= 0) {
      KeyField = DataSet->GetIndexField(KeyIndex);
      // An index over several fields has no single key field.
      KeyType = KeyField >= 0 ? DataSet->GetIndexKeyType(KeyIndex) : mftNone;
    }
  }
  RecordStates = CreateNamedMemDataSet("RecordStates");
  if (KeyType != mftNone) {
    RecordStates->AddField(KeyType, "Key", 0);
    RecordStates->AddField(mftInteger, "State", 0);
    RecordStates->AddFieldIndex(0, mitUnorderedUnique);
  }
}

TMemViewColumn* TMemDataView::AddColumn() {
  Columns.push_back(std::make_unique<TMemViewColumn>());
  Columns.back()->View = this;
  return Columns.back().get();
}

void TMemDataView::AddDefaultColumns() {
  for (Integer i = 0; i < DataSet->GetFieldCount(); ++i) {
    TMemViewColumn* col = AddColumn();
    col->SetFieldIndex(i);
    col->Width = 75;
    col->Caption = DataSet->GetFieldName(i);
  }
}

bool TMemDataView::SameColumns(const IMemDataView& other) const {
  if (!other || other->GetColumnCount() != GetColumnCount()) return false;
  for (size_t i = 0; i < Columns.size(); ++i)
    if (!Columns[i]->Equals(*other->Columns[i])) return false;
  return true;
}

bool TMemDataView::MatchesDataSet(const IMemDataSet& other) {
  if (!other || other->GetFieldCount() < DataSet->GetFieldCount()) return false;
  for (Integer i = 0; i < DataSet->GetFieldCount(); ++i)
    if (other->GetFieldType(i) != DataSet->GetFieldType(i) || other->GetFieldFlags(i) != DataSet->GetFieldFlags(i) ||
        other->GetFieldName(i) != DataSet->GetFieldName(i))
      return false;
  // The key comes from the new table: its primary index may be another one.
  DataSet = other;
  setKey();
  return true;
}

TMemViewColumn* TMemDataView::GetColumn(Integer index) const {
  if (index < 0 || index >= GetColumnCount()) throw Exception("Index out of range");
  return Columns[static_cast<size_t>(index)].get();
}

UnicodeString TMemDataView::GetText(TMemRecord* rec, Integer columnIndex) const {
  if (!rec) return u"*NO RECORD*";
  TMemViewColumn* col = GetColumn(columnIndex);
  if (col->OnGetText) {
    UnicodeString text;
    col->OnGetText(col, rec, text);
    return text;
  }
  for (Integer field : col->FieldIndexes) {
    if (field < 0) break;
    if (!rec->IsNull(field)) return FormatViewValue(rec, field, *col);
  }
  return {};
}

AnsiString TMemDataView::GetAnsiText(TMemRecord* rec, Integer columnIndex) const {
  if (!rec) throw Exception("DataView: No record");
  const TMemViewColumn* col = GetColumn(columnIndex);
  Integer field = col->TextField;
  if (field < 0 && (col->Flags & mvfAnsiTextFallback) && !col->FieldIndexes.empty()) field = col->FieldIndexes[0];
  if (field < 0) return {};
  return UnicodeToAnsi(FormatViewValue(rec, field, *col));
}

Integer TMemDataView::GetInteger(TMemRecord* rec, Integer columnIndex) const {
  TMemViewColumn* col = GetColumn(columnIndex);
  if (col->OnGetImageIndex) {
    Integer index = col->ImageIndex;
    col->OnGetImageIndex(col, rec, index);
    return index;
  }
  if (col->ImageField < 0) {
    const Integer first = col->FieldIndexes.empty() ? -1 : col->FieldIndexes[0];
    if (col->ImageIndex < 0 || !rec || (first >= 0 && rec->IsNull(first))) return -1;
    return col->ImageIndex;
  }
  if (!rec) return -1;
  const Integer v = rec->GetAsInteger(col->ImageField);
  if (v < 0) return v;
  // The value comes from the data: add with 32-bit wrap-around, never a
  // signed overflow.
  return static_cast<Integer>(static_cast<Cardinal>(v) + static_cast<Cardinal>(col->ImageOffset));
}

TViewColor TMemDataView::GetCellColor(TMemRecord* rec, Integer columnIndex, TViewColor defaultColor) const {
  TMemViewColumn* col = GetColumn(columnIndex);
  TViewColor color = defaultColor;
  if (col->OnGetColor) col->OnGetColor(col, rec, color);
  return color;
}

bool TMemDataView::CustomDrawCell(void* argument, Integer columnIndex, const TRect& rect, void* argument2) const {
  TMemViewColumn* col = GetColumn(columnIndex);
  if (!col->OnCustomDraw) return false;
  col->OnCustomDraw(col, argument, rect, argument2);
  return true;
}

void TMemDataView::SetText(TMemRecord* rec, Integer columnIndex, const UnicodeString& text) {
  if (!rec) throw Exception("DataView: No record");
  const TMemViewColumn* col = GetColumn(columnIndex);
  const Integer field = col->FieldIndexes.empty() ? -1 : col->FieldIndexes[0];
  const TMemAnyType type = rec->Owner()->GetFieldType(field);
  const std::string utf8 = UnicodeToUtf8(text);
  bool parsed = true;
  if (text.empty() && type != mftAnsiString && type != mftUnicodeString) {
    rec->SetNull(field);
  } else {
    switch (type) {
      case mftInteger: {
        Integer v;
        if ((parsed = TryStrToInt(utf8, v))) rec->SetInteger(field, v);
        break;
      }
      case mftInt64: {
        Int64 v;
        if ((parsed = TryStrToInt64(utf8, v))) rec->SetInt64(field, v);
        break;
      }
      case mftSingle: {
        // A value beyond the range of a Single would be stored as infinity.
        double v;
        parsed = TryStrToFloat(utf8, v, FormatSettings) && !(std::isfinite(v) && std::fabs(v) > FLT_MAX);
        if (parsed) rec->SetSingle(field, static_cast<Single>(v));
        break;
      }
      case mftDouble: {
        double v;
        if ((parsed = TryStrToFloat(utf8, v, FormatSettings))) rec->SetDouble(field, v);
        break;
      }
      case mftCurrency: {
        Currency v;
        if ((parsed = TryStrToCurr(utf8, v, FormatSettings))) rec->SetCurrency(field, v);
        break;
      }
      // Words and bytes take only what fits; cutting off the high bits would
      // store a different number than the one typed.
      case mftWord: {
        Integer v;
        if ((parsed = TryStrToInt(utf8, v) && v >= 0 && v <= 0xFFFF)) rec->SetWord(field, static_cast<Word>(v));
        break;
      }
      case mftByte: {
        Integer v;
        if ((parsed = TryStrToInt(utf8, v) && v >= 0 && v <= 0xFF)) rec->SetByte(field, static_cast<Byte>(v));
        break;
      }
      case mftAnsiString:
        rec->SetAnsiString(field, UnicodeToAnsi(text));
        break;
      case mftUnicodeString:
        rec->SetUnicodeString(field, text);
        break;
      default:
        Assert(false);
    }
  }
  if (OnEdited) OnEdited(rec, columnIndex);
  if (parsed && (KeyType == mftInteger || KeyType == mftInt64 || KeyType == mftAnsiString) &&
      GetRecordState(rec) != rsKeep)
    SetRecordState(rec, rsEdited);
}

// ---------------------------------------------------------------------------
// Keys and record states

TMemRecord* TMemDataView::FindRecordByInteger(Integer key) const {
  switch (KeyType) {
    case mftInteger:
      return DataSet->FindInteger(KeyIndex, key);
    case mftWord:
      return key < 0 || key > 0xFFFF ? nullptr : DataSet->FindWord(KeyIndex, static_cast<Word>(key));
    case mftByte:
      return key < 0 || key > 0xFF ? nullptr : DataSet->FindByte(KeyIndex, static_cast<Byte>(key));
    default:
      return nullptr;
  }
}

TMemRecord* TMemDataView::FindRecordByInt64(Int64 key) const {
  return KeyType == mftInt64 ? DataSet->FindInt64(KeyIndex, key) : nullptr;
}

TMemRecord* TMemDataView::FindRecordByAnsiString(const AnsiString& key) const {
  return KeyType == mftAnsiString ? DataSet->FindAnsiString(KeyIndex, key) : nullptr;
}

TMemRecord* TMemDataView::FindRecordByGUID(const TGUID& key) const {
  return KeyType == mftGUID ? DataSet->FindGUID(KeyIndex, key) : nullptr;
}

namespace {

TMemRecord* findEntry(const IMemDataSet& states, Integer key) { return states->FindInteger(0, key); }
TMemRecord* findEntry(const IMemDataSet& states, Int64 key) { return states->FindInt64(0, key); }
TMemRecord* findEntry(const IMemDataSet& states, const AnsiString& key) { return states->FindAnsiString(0, key); }
TMemRecord* findEntry(const IMemDataSet& states, const TGUID& key) { return states->FindGUID(0, key); }
void storeKey(TMemRecord* entry, Integer key) { entry->SetInteger(0, key); }
void storeKey(TMemRecord* entry, Int64 key) { entry->SetInt64(0, key); }
void storeKey(TMemRecord* entry, const AnsiString& key) { entry->SetAnsiString(0, key); }
void storeKey(TMemRecord* entry, const TGUID& key) { entry->SetGUID(0, key); }

}  // namespace

template <class K>
Integer TMemDataView::stateBy(TMemAnyType type, const K& key) const {
  if (KeyType != type) return rsNone;
  if (TMemRecord* entry = findEntry(RecordStates, key)) return entry->GetInteger(1);
  TMemRecord* rec = nullptr;
  if constexpr (std::is_same_v<K, Integer>) rec = FindRecordByInteger(key);
  if constexpr (std::is_same_v<K, Int64>) rec = FindRecordByInt64(key);
  if constexpr (std::is_same_v<K, AnsiString>) rec = FindRecordByAnsiString(key);
  if constexpr (std::is_same_v<K, TGUID>) rec = FindRecordByGUID(key);
  return rec ? rsPresent : rsNone;
}

template <class K>
void TMemDataView::setStateBy(TMemAnyType type, const K& key, Integer state) {
  if (KeyType != type) throw Exception("Wrong index type");
  TMemRecord* entry = findEntry(RecordStates, key);
  if (!entry) {
    entry = RecordStates->AddRecord();
    try {
      storeKey(entry, key);
      entry->SetInteger(1, state);
    } catch (...) {
      delete entry;
      throw;
    }
  } else if (state < rsEdited) {
    delete entry;
  } else {
    entry->SetInteger(1, state);
  }
}

Integer TMemDataView::GetStateByInteger(Integer key) const { return stateBy(mftInteger, key); }
Integer TMemDataView::GetStateByInt64(Int64 key) const { return stateBy(mftInt64, key); }
Integer TMemDataView::GetStateByAnsiString(const AnsiString& key) const { return stateBy(mftAnsiString, key); }
Integer TMemDataView::GetStateByGUID(const TGUID& key) const { return stateBy(mftGUID, key); }
void TMemDataView::SetStateByInteger(Integer key, Integer state) { setStateBy(mftInteger, key, state); }
void TMemDataView::SetStateByInt64(Int64 key, Integer state) { setStateBy(mftInt64, key, state); }
void TMemDataView::SetStateByAnsiString(const AnsiString& key, Integer state) {
  setStateBy(mftAnsiString, key, state);
}
void TMemDataView::SetStateByGUID(const TGUID& key, Integer state) { setStateBy(mftGUID, key, state); }

Integer TMemDataView::GetRecordState(TMemRecord* rec) const {
  if (!rec) return rsNone;
  switch (KeyType) {
    case mftInteger:
      return GetStateByInteger(rec->GetInteger(KeyField));
    case mftInt64:
      return GetStateByInt64(rec->GetInt64(KeyField));
    case mftAnsiString:
      return GetStateByAnsiString(rec->GetAnsiString(KeyField));
    case mftGUID:
      return GetStateByGUID(rec->GetGUID(KeyField));
    default:  // Word and Byte keys keep no states
      return rsNone;
  }
}

void TMemDataView::SetRecordState(TMemRecord* rec, Integer state) {
  if (!rec) throw Exception("DataView: No record");
  switch (KeyType) {
    case mftInteger:
      return SetStateByInteger(rec->GetInteger(KeyField), state);
    case mftWord:
      return SetStateByInteger(rec->GetWord(KeyField), state);
    case mftByte:
      return SetStateByInteger(rec->GetByte(KeyField), state);
    case mftInt64:
      return SetStateByInt64(rec->GetInt64(KeyField), state);
    case mftAnsiString:
      return SetStateByAnsiString(rec->GetAnsiString(KeyField), state);
    case mftGUID:
      return SetStateByGUID(rec->GetGUID(KeyField), state);
    default:
      throw Exception("Wrong index type");
  }
}

TMemRecord* TMemDataView::stateEntry(TMemRecord* rec) const {
  switch (KeyType) {
    case mftInteger:
      return findEntry(RecordStates, rec->GetInteger(KeyField));
    case mftInt64:
      return findEntry(RecordStates, rec->GetInt64(KeyField));
    case mftAnsiString:
      return findEntry(RecordStates, rec->GetAnsiString(KeyField));
    case mftGUID:
      return findEntry(RecordStates, rec->GetGUID(KeyField));
    default:
      return nullptr;
  }
}

TMemRecord* TMemDataView::recordOfEntry(const TMemRecord* entry) const {
  switch (KeyType) {
    case mftInteger:
      return FindRecordByInteger(entry->GetInteger(0));
    case mftInt64:
      return FindRecordByInt64(entry->GetInt64(0));
    case mftAnsiString:
      return FindRecordByAnsiString(entry->GetAnsiString(0));
    case mftGUID:
      return FindRecordByGUID(entry->GetGUID(0));
    default:
      return nullptr;
  }
}

TMemRecord* TMemDataView::GetStateRecord(TMemRecord* after, Byte states) const {
  if (KeyType != mftInteger && KeyType != mftInt64 && KeyType != mftAnsiString && KeyType != mftGUID) return nullptr;
  TMemRecord* entry = RecordStates->First();
  if (after) {
    entry = stateEntry(after);
    if (!entry) return nullptr;
    entry = entry->GetNext();
  }
  for (; entry; entry = entry->GetNext()) {
    const Integer state = entry->GetInteger(1);
    if (state < 0 || state > 7 || !(states & (1u << state))) continue;
    // A state may outlive its record; the walk goes on to the next one.
    if (TMemRecord* rec = recordOfEntry(entry)) return rec;
  }
  return nullptr;
}

void TMemDataView::ClearStates() { RecordStates->Clear(); }

bool TMemDataView::IsFiltered() const { return VisibleCount < DataSet->GetRecordCount(); }

void TMemDataView::ForEach(const TViewForEachCallback& callback, void* data) {
  VisibleCount = 0;
  TMemRecord* next = nullptr;
  for (TMemRecord* rec = DataSet->First(); rec; rec = next) {
    // Taken first, so that the callback may free the record it gets.
    next = rec->GetNext();
    bool accept = true;
    if (OnFilter) OnFilter(rec, accept);
    if (!accept) continue;
    bool goOn = true;
    if (callback) callback(data, rec, goOn);
    if (!goOn) break;
    ++VisibleCount;
  }
}

IMemDataView CreateMemDataView(const IMemDataSet& dataSet, Cardinal flags) {
  return std::make_shared<TMemDataView>(dataSet, flags);
}

}  // namespace px
