#pragma once
// Data views: a presentation layer over one record-store table. A view has
// an ordered list of columns, each saying which fields it shows and how a
// value becomes display text (numbers, currency, date-times in several
// encodings, lookups into another table, a locale's format string), plus
// cell colours, image indexes, custom drawing, editing back into the
// record, a record filter and a table of per-record states keyed by the
// table's primary key. The record grid binds to a view; the view itself
// never draws.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "data/UnitLocales.h"
#include "platform/core/Geometry.h"
#include "platform/core/Guid.h"

namespace px {

class TStrings;
class TMemDataView;
class TMemViewColumn;
using IMemDataView = std::shared_ptr<TMemDataView>;

// {43520FBC-CB50-498C-A7ED-676D406133DC}
extern const TGUID IID_IMemDataView;

// Column flags read by the view. The record grid uses further bits.
constexpr Cardinal mvfBlankZero = 0x20;          // a zero value shows nothing
constexpr Cardinal mvfDateTime = 0x40;           // Integer: Unix seconds; Double: a date-time
constexpr Cardinal mvfDateTimeUTC = 0x80;        // a Double date-time in UTC, shown in local time
constexpr Cardinal mvfFileTime = 0x4000;         // Int64: a FILETIME (100 ns since 1601-01-01)
constexpr Cardinal mvfFileTimeUTC = 0x8000;      // that FILETIME in UTC, shown in local time
constexpr Cardinal mvfAnsiTextFallback = 0x10000;  // GetAnsiText: first field when TextField is -1
constexpr Cardinal mvfCents = 0x20000;           // Integer: an amount in cents, shown as currency

// Column flags read by the record grid only; clear of the view's own bits.
constexpr Cardinal mvfHidden = 0x40000;          // starts invisible, its popup item unchecked
constexpr Cardinal mvfNotInGrid = 0x80000;       // no header column, no popup item
constexpr Cardinal mvfNotSortable = 0x100000;    // a header click does nothing
constexpr Cardinal mvfDescending = 0x200000;     // first sort direction descending
constexpr Cardinal mvfEditable = 0x400000;       // cells editable in an editable grid
constexpr Cardinal mvfFixed = 0x800000;          // does not scroll horizontally
constexpr Cardinal mvfNegativesFirst = 0x1000000;  // rows with a negative integer go to the top after a sort
constexpr Cardinal mvfDefaultSort = 0x2000000;   // the sort column after a rebuild (the first one flagged)
constexpr Cardinal mvfAutoSize = 0x4000000;      // the header's auto-size column

// Record states; values from 3 on are the caller's.
constexpr Integer rsNone = 0;     // no record with that key
constexpr Integer rsPresent = 1;  // present and not marked
constexpr Integer rsEdited = 2;   // edited through SetText
constexpr Integer rsKeep = 5;     // SetText leaves it as it is

// Colours are TColor values of the GUI layer.
using TViewColor = Integer;
constexpr TViewColor clViewNone = 0x1FFFFFFF;

using TViewGetTextEvent = std::function<void(TMemViewColumn* column, TMemRecord* rec, UnicodeString& text)>;
using TViewGetImageIndexEvent = std::function<void(TMemViewColumn* column, TMemRecord* rec, Integer& index)>;
using TViewGetColorEvent = std::function<void(TMemViewColumn* column, TMemRecord* rec, TViewColor& color)>;
using TViewCustomDrawEvent =
    std::function<void(TMemViewColumn* column, void* argument, const TRect& rect, void* argument2)>;
using TViewFilterEvent = std::function<void(TMemRecord* rec, bool& accept)>;
using TViewEditedEvent = std::function<void(TMemRecord* rec, Integer columnIndex)>;
using TViewColumnDblClickEvent = std::function<void(TMemViewColumn* column, TMemRecord* rec)>;
using TViewForEachCallback = std::function<void(void* data, TMemRecord* rec, bool& goOn)>;

class TMemViewColumn {
 public:
  TMemViewColumn();

  AnsiString Caption;
  // Texts the record grid keeps with the column; the second and third
  // count in Equals.
  AnsiString GridText1, GridText2, GridText3;
  TLocale* Locale = nullptr;  // the current locale unless set
  AnsiString Format;          // one argument; empty: the built-in formatting
  std::vector<Integer> FieldIndexes{-1};
  Integer TextField = -1;
  Integer ImageField = -1;
  Integer Width = 75;
  Cardinal Flags = 0;
  TViewGetTextEvent OnGetText;
  Integer Tag = 0;  // compared by Equals
  Integer ImageIndex = -1;
  Integer ImageOffset = 0;
  IMemDataSet LookupDataSet;
  Integer LookupIndex = -1;
  Integer LookupField = -1;
  TViewGetImageIndexEvent OnGetImageIndex;
  TViewGetColorEvent OnGetColor;
  TViewCustomDrawEvent OnCustomDraw;
  Integer MaxLength = 0;  // edit length limit, 0 = none
  TAlignment Alignment = taLeftJustify;
  TViewColumnDblClickEvent OnDblClick;
  TMemDataView* View = nullptr;  // the view that made the column (AddColumn)

  // The first shown field, by number or by name (the view's table); an
  // unknown name raises the table's unknown-field error.
  void SetFieldIndex(Integer field) { FieldIndexes.assign(1, field); }
  void SetFieldIndex(const std::string& fieldName);
  bool Equals(const TMemViewColumn& other) const;
  // Fills Strings with the LookupField text (UTF-8) of every record of
  // LookupDataSet in list order, the record as the object; false when
  // Strings or LookupDataSet is missing.
  bool FillLookupList(TStrings* strings) const;
};

class TMemDataView : public std::enable_shared_from_this<TMemDataView> {
 public:
  // Flags: 1 = no key (no primary index, no record states).
  TMemDataView(const IMemDataSet& dataSet, Cardinal flags);
  ~TMemDataView();
  TMemDataView(const TMemDataView&) = delete;
  TMemDataView& operator=(const TMemDataView&) = delete;

  TMemViewColumn* AddColumn();
  void AddDefaultColumns();
  bool SameColumns(const IMemDataView& other) const;
  bool MatchesDataSet(const IMemDataSet& other);
  UnicodeString GetText(TMemRecord* rec, Integer columnIndex) const;
  AnsiString GetAnsiText(TMemRecord* rec, Integer columnIndex) const;
  Integer GetInteger(TMemRecord* rec, Integer columnIndex) const;
  TViewColor GetCellColor(TMemRecord* rec, Integer columnIndex, TViewColor defaultColor) const;
  bool CustomDrawCell(void* argument, Integer columnIndex, const TRect& rect, void* argument2) const;
  UnicodeString GetCellText(TMemRecord* rec, Integer columnIndex) const { return GetText(rec, columnIndex); }
  void SetText(TMemRecord* rec, Integer columnIndex, const UnicodeString& text);

  TMemRecord* FindRecordByInteger(Integer key) const;
  TMemRecord* FindRecordByInt64(Int64 key) const;
  TMemRecord* FindRecordByAnsiString(const AnsiString& key) const;
  TMemRecord* FindRecordByGUID(const TGUID& key) const;
  Integer GetStateByInteger(Integer key) const;
  Integer GetStateByInt64(Int64 key) const;
  Integer GetStateByAnsiString(const AnsiString& key) const;
  Integer GetStateByGUID(const TGUID& key) const;
  Integer GetRecordState(TMemRecord* rec) const;
  void SetStateByInteger(Integer key, Integer state);
  void SetStateByInt64(Int64 key, Integer state);
  void SetStateByAnsiString(const AnsiString& key, Integer state);
  void SetStateByGUID(const TGUID& key, Integer state);
  void SetRecordState(TMemRecord* rec, Integer state);
  // States: bit n set = state n wanted (0..7).
  TMemRecord* GetStateRecord(TMemRecord* after, Byte states) const;
  void ClearStates();

  const TViewFilterEvent& GetOnFilter() const { return OnFilter; }
  void SetOnFilter(TViewFilterEvent event) { OnFilter = std::move(event); }
  const TViewEditedEvent& GetOnEdited() const { return OnEdited; }
  void SetOnEdited(TViewEditedEvent event) { OnEdited = std::move(event); }
  Integer GetColumnCount() const { return static_cast<Integer>(Columns.size()); }
  IMemDataSet GetDataSet() const { return DataSet; }
  TMemViewColumn* GetColumn(Integer index) const;
  Integer GetVisibleCount() const { return VisibleCount; }
  bool IsFiltered() const;
  TMemAnyType GetKeyType() const { return KeyType; }
  Integer GetKeyField() const { return KeyField; }
  Integer GetKeyIndex() const { return KeyIndex; }
  void ForEach(const TViewForEachCallback& callback, void* data);
  const IMemDataSet& GetRecordStates() const { return RecordStates; }

 private:
  void setKey();
  TMemRecord* stateEntry(TMemRecord* rec) const;
  TMemRecord* recordOfEntry(const TMemRecord* entry) const;
  template <class K>
  Integer stateBy(TMemAnyType type, const K& key) const;
  template <class K>
  void setStateBy(TMemAnyType type, const K& key, Integer state);

  IMemDataSet DataSet;
  Cardinal Flags_;
  Integer KeyIndex = -1;
  Integer KeyField = -1;
  TMemAnyType KeyType = mftNone;
  Integer VisibleCount = 0;
  std::vector<std::unique_ptr<TMemViewColumn>> Columns;
  TViewFilterEvent OnFilter;
  TViewEditedEvent OnEdited;
  IMemDataSet RecordStates;
};

// The display text of one field of a record with a column's settings; empty
// for a nil record or a null field. withLookup = false shows the value
// itself even when the column looks values up.
UnicodeString FormatViewValue(const TMemRecord* rec, Integer field, const TMemViewColumn& column,
                              bool withLookup = true);

IMemDataView CreateMemDataView(const IMemDataSet& dataSet, Cardinal flags = 0);
inline void CreateMemDataView(const IMemDataSet& dataSet, Cardinal flags, IMemDataView& view) {
  view = CreateMemDataView(dataSet, flags);
}

}  // namespace px
