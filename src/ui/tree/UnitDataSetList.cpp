#include "ui/tree/UnitDataSetList.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Format.h"

namespace px {

namespace {

// The node payload: the record's key by the view's key type. A string key
// lives in the node's data area as a constructed std::string and is
// destroyed when the node is freed.
constexpr int32_t PayloadSize = static_cast<int32_t>(std::max({sizeof(std::string), sizeof(TGUID), sizeof(Int64),
                                                                sizeof(TMemRecord*)}));

// The payload of one key type: small rows for number keys, which most
// lists have, are less memory to make, walk and free.
int32_t payloadSize(TMemAnyType keyType) {
  switch (keyType) {
    case mftInteger:
    case mftWord:
      return static_cast<int32_t>(sizeof(Integer));
    case mftInt64:
      return static_cast<int32_t>(sizeof(Int64));
    case mftAnsiString:
      return static_cast<int32_t>(sizeof(std::string));
    case mftGUID:
      return static_cast<int32_t>(sizeof(TGUID));
    default:
      return static_cast<int32_t>(sizeof(TMemRecord*));
  }
}

constexpr TColor NoColor = static_cast<TColor>(clViewNone);

// The integer of a field whose values compare as integers in the record
// store (the raw value of a currency); false for other types.
bool integerSortKey(const TMemRecord* rec, Integer field, TMemAnyType type, Int64& key) {
  switch (type) {
    case mftInteger:
      key = rec->GetInteger(field);
      return true;
    case mftInt64:
      key = rec->GetInt64(field);
      return true;
    case mftCurrency:
      key = rec->GetCurrency(field).Raw();
      return true;
    case mftWord:
      key = rec->GetWord(field);
      return true;
    case mftByte:
      key = rec->GetByte(field);
      return true;
    case mftBoolean:
      key = rec->GetBoolean(field) ? 1 : 0;
      return true;
    default:
      return false;
  }
}

TColor rgb(Byte r, Byte g, Byte b) { return static_cast<TColor>(r | (g << 8) | (b << 16)); }

}  // namespace

TColor DataSetListStateColor(Integer state) {
  switch (state) {
    case 2:
      return rgb(0xFF, 0xFF, 0xB0);
    case 3:
      return rgb(0xB0, 0xFF, 0xB0);
    case 4:
      return rgb(0xFF, 0x80, 0x80);
    case 5:
      return rgb(0xB0, 0xB0, 0xFF);
    case 6:
      return rgb(0xFF, 0xB0, 0xB0);
    default:
      return NoColor;
  }
}

TDataSetList::TDataSetList(TComponent* owner) : TCustomNodeStringTree(owner) {
  SetNodeDataSize(PayloadSize);
  // A cell without a text of its own shows the view's text.
  defaultText_.clear();
  THeaderOptions headerOptions = Header().Options();
  headerOptions += THeaderOptions{hoDblClickResize, hoHotTrack, hoShowHint, hoShowSortGlyphs, hoVisible};
  Header().SetOptions(headerOptions);
  TNTSelectionOptions selection = options_->SelectionOptions();
  selection += TNTSelectionOptions{slFullRowSelect, slExtendedFocus, slRightClickSelect};
  options_->SetSelectionOptions(selection);
  // The grid sorts itself where it must (after a rebuild, a refresh and a
  // header click); a sort started by setting the sort column would only be
  // done twice.
  // A flat list of rows: no tree lines, buttons or root indent.
  TNTPaintOptions paintOptions = options_->PaintOptions();
  paintOptions -= TNTPaintOptions{poShowTreeLines, poShowRoot, poShowButtons};
  options_->SetPaintOptions(paintOptions);
  TNTAutoOptions autoOptions = options_->AutoOptions();
  autoOptions.Exclude(auSort);
  options_->SetAutoOptions(autoOptions);
  headerPopup_ = CreateComponent<TPopupMenu>(this);
  headerPopup_->Items()->Add(CreateComponent<TMenuItem>(headerPopup_));
  Header().PopupMenu = headerPopup_;
  clickTimer_ = CreateComponent<TTimer>(this);
  clickTimer_->SetEnabled(false);
  clickTimer_->SetInterval(300);
  clickTimer_->OnTimer = [this](TObject*) { delayedNotification(); };
}

TDataSetList::~TDataSetList() {
  // The string keys must be destroyed while this class's free step runs.
  try {
    clearNodes();
  } catch (...) {
  }
}

void TDataSetList::BeforeDestruction() {
  if (clickTimer_) {
    clickTimer_->SetEnabled(false);
    clickTimer_->OnTimer = nullptr;
  }
  clearNodes();
  TCustomNodeStringTree::BeforeDestruction();
}

void TDataSetList::clearNodes() {
  if (!root_ || root_->ChildCount == 0) return;
  TNTMiscOptions misc = options_->MiscOptions();
  bool readOnly = misc.Contains(moReadOnly);
  if (readOnly) {
    misc.Exclude(moReadOnly);
    options_->SetMiscOptions(misc);
  }
  Clear();
  if (readOnly) {
    misc.Include(moReadOnly);
    options_->SetMiscOptions(misc);
  }
}

// ---------------------------------------------------------------------------
// Records and keys

void TDataSetList::storeRecordKey(PNTNode node, TMemRecord* rec) {
  Byte* data = static_cast<Byte*>(GetNodeData(node));
  switch (keyType_) {
    case mftInteger:
      *reinterpret_cast<Integer*>(data) = rec->GetInteger(keyField_);
      break;
    case mftWord:
      *reinterpret_cast<Integer*>(data) = rec->GetWord(keyField_);
      break;
    case mftInt64:
      *reinterpret_cast<Int64*>(data) = rec->GetInt64(keyField_);
      break;
    case mftAnsiString:
      new (data) std::string(rec->GetAnsiString(keyField_));
      break;
    case mftGUID:
      *reinterpret_cast<TGUID*>(data) = rec->GetGUID(keyField_);
      break;
    default:
      *reinterpret_cast<TMemRecord**>(data) = rec;
      break;
  }
}

void TDataSetList::ReleaseNodeText(PNTNode node) {
  if (keyType_ == mftAnsiString && node != root_) {
    if (auto* key = static_cast<std::string*>(GetNodeData(node))) key->~basic_string();
  }
  TCustomNodeStringTree::ReleaseNodeText(node);
}

TMemRecord* TDataSetList::GetNodeRecord(PNTNode node) {
  if (!view_ || !node || node == root_) return nullptr;
  if (recordCacheValid_) return sortSlots_[node->Index].Record;
  const Byte* data = static_cast<const Byte*>(GetNodeData(node));
  switch (keyType_) {
    case mftInteger:
    case mftWord:
      return view_->FindRecordByInteger(*reinterpret_cast<const Integer*>(data));
    case mftInt64:
      return view_->FindRecordByInt64(*reinterpret_cast<const Int64*>(data));
    case mftAnsiString:
      return view_->FindRecordByAnsiString(*reinterpret_cast<const std::string*>(data));
    case mftGUID:
      return view_->FindRecordByGUID(*reinterpret_cast<const TGUID*>(data));
    default:
      return *reinterpret_cast<TMemRecord* const*>(data);
  }
}

TMemRecord* TDataSetList::GetFocusedRecord() { return GetNodeRecord(FocusedNode()); }

Integer TDataSetList::ViewColumnIndex(TColumnIndex column) const {
  TNodeTreeColumns& columns = header_->Columns();
  if (!view_ || !columns.IsValidColumn(column)) return -1;
  return static_cast<Integer>(columns.Items(column)->Tag());
}

TMemViewColumn* TDataSetList::GetViewColumn(TColumnIndex column) {
  Integer index = ViewColumnIndex(column);
  if (index < 0 || index >= view_->GetColumnCount()) return nullptr;
  return view_->GetColumn(index);
}

// ---------------------------------------------------------------------------
// Binding and rebuilding

void TDataSetList::SetView(const IMemDataView& view) {
  bool keepColumns = view_ && view && view->SameColumns(view_);
  view_ = view;
  Refresh(nullptr, !keepColumns);
}

void TDataSetList::FocusRecordByKey(Integer key) {
  if (!view_) {
    Refresh(nullptr, false);
    return;
  }
  Refresh(view_->FindRecordByInteger(key), false);
}

void TDataSetList::Refresh(TMemRecord* focusRecord, bool rebuildColumns) {
  if (updating_) throw Exception("Cannot update view while updating!");
  clickTimer_->SetEnabled(false);
  updating_ = true;
  bool fire = true;
  struct Finish {
    TDataSetList* grid;
    bool active = true;
    ~Finish() {
      if (active) {
        grid->updating_ = false;
        if (grid->UpdateCount() > 0) grid->EndUpdate();
      }
    }
  } finish{this};

  if (!focusRecord && RootNodeCount() > 0) focusRecord = GetFocusedRecord();
  TMemRecord* previous = GetFocusedRecord();
  int32_t offsetY = OffsetY();
  BeginUpdate();
  clearNodes();
  TNodeTreeColumns& columns = header_->Columns();
  rebuildColumns = rebuildColumns || columns.Count() == 0;
  if (rebuildColumns) {
    columns.Clear();
    THeaderOptions headerOptions = header_->Options();
    headerOptions.Exclude(hoAutoResize);
    header_->SetOptions(headerOptions);
    header_->SetAutoSizeIndex(NoColumn);
    headerPopup_->Items()->Clear();
    header_->SetSortColumn(NoColumn);
  }
  if (!view_) {
    finish.active = false;
    EndUpdate();
    updating_ = false;
    if (fire) delayedNotification();
    return;
  }
  keyType_ = view_->GetKeyType();
  keyField_ = view_->GetKeyField();
  Assert(keyType_ == mftInteger || keyType_ == mftWord || keyType_ == mftInt64 || keyType_ == mftAnsiString ||
             keyType_ == mftGUID || keyType_ == mftNone,
         "Unsupported key type of the view (src/ui/tree/UnitDataSetList.cpp)");
  // No row exists here, so the rows' size can follow the key type.
  if (NodeDataSize() != payloadSize(keyType_)) SetNodeDataSize(payloadSize(keyType_));

  if (rebuildColumns) {
    for (Integer i = 0; i < view_->GetColumnCount(); ++i) {
      TMemViewColumn* vc = view_->GetColumn(i);
      if (vc->Flags & mvfNotInGrid) continue;
      TNodeTreeColumn* column = columns.AddColumn();
      column->SetTag(i);
      column->SetText(AnsiToUnicode(vc->Caption));
      column->SetWidth(vc->Width);
      column->SetAlignment(vc->Alignment);
      column->SetHint(Utf8ToUnicode(headerHint_));
      TNTColumnOptions options = column->Options();
      if (vc->Flags & mvfAutoSize) {
        THeaderOptions headerOptions = header_->Options();
        headerOptions.Include(hoAutoResize);
        header_->SetOptions(headerOptions);
        header_->SetAutoSizeIndex(column->Index());
      }
      if (vc->Flags & mvfHidden) options.Exclude(coVisible);
      if (vc->Flags & mvfFixed) options.Include(coFixed);
      column->SetOptions(options);
      auto* item = CreateComponent<TMenuItem>(headerPopup_);
      item->SetCaption(AnsiToUtf8(vc->Caption));
      item->SetChecked(!(vc->Flags & mvfHidden));
      item->Tag = i;
      item->OnClick = [this, item](TObject*) { PopupItemClicked(item); };
      headerPopup_->Items()->Add(item);
    }
  }

  if (columns.Count() > 0) {
    // Each row is made and filled while the view passes its record: adding
    // rows one at a time through the tree paid its per-change bookkeeping
    // for every record, and a list of the records first read every record
    // and every row twice. The counting is done once, at the end.
    CancelEditNode();
    const bool readOnly = options_->MiscOptions().Contains(moReadOnly);
    TChildAppender rows(*this, nullptr);
    if (readOnly) {
      view_->ForEach(nullptr, nullptr);
    } else if (keyType_ == mftInteger) {
      // The common key: stored without a dispatch on its type per row.
      const Integer field = keyField_;
      view_->ForEach(
          [this, field, &rows](void*, TMemRecord* rec, bool&) {
            *static_cast<Integer*>(rows.AppendData()) = rec->GetInteger(field);
          },
          nullptr);
    } else {
      view_->ForEach([this, &rows](void*, TMemRecord* rec, bool&) { storeRecordKey(rows.Append(), rec); }, nullptr);
    }
    rows.Finish();
  }

  if (focusRecord) {
    for (PNTNode node = GetFirst(); node; node = GetNextSibling(node)) {
      if (GetNodeRecord(node) != focusRecord) continue;
      SetSelected(node, true);
      SetFocusedNode(node);
      fire = focusRecord != previous;
      break;
    }
  } else {
    fire = false;
  }

  if (rebuildColumns) {
    TColumnIndex gridIndex = 0;
    for (Integer i = 0; i < view_->GetColumnCount(); ++i) {
      TMemViewColumn* vc = view_->GetColumn(i);
      if (vc->Flags & mvfNotInGrid) continue;
      if (vc->Flags & mvfDefaultSort) {
        header_->SetSortColumn(gridIndex);
        header_->SetSortDirection((vc->Flags & mvfDescending) ? sdDescending : sdAscending);
        sortRows(gridIndex, header_->SortDirection());
        break;
      }
      ++gridIndex;
    }
  } else if (header_->SortColumn() != NoColumn) {
    sortRows(header_->SortColumn(), header_->SortDirection());
  }

  if (FocusedNode()) ScrollIntoView(FocusedNode(), false);
  if (!rebuildColumns) SetOffsetY(offsetY);
  finish.active = false;
  EndUpdate();
  updating_ = false;
  if (fire) delayedNotification();
}

bool TDataSetList::rowRecords(std::vector<TMemRecord*>& records) {
  const size_t count = root_->ChildCount;
  records.assign(count, nullptr);
  for (PNTNode node = root_->FirstChild; node; node = node->NextSibling)
    if (node->Index >= count) return false;
  const bool numberKey = keyType_ == mftInteger || keyType_ == mftWord || keyType_ == mftInt64;
  if (!view_ || !numberKey || view_->GetKeyType() != keyType_ || count < 64) {
    for (PNTNode node = root_->FirstChild; node; node = node->NextSibling) records[node->Index] = GetNodeRecord(node);
    return true;
  }
  // Each lookup of a key descends the key index; one walk over the index
  // meets every record instead, and finds its rows in a table of the rows'
  // keys. The first record of a key in the index's order is the one a lookup
  // gives.
  size_t capacity = 64;
  while (capacity < 2 * count) capacity *= 2;
  const int shift = 64 - std::countr_zero(capacity);
  auto slotOf = [shift](Int64 key) { return static_cast<size_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> shift); };
  std::vector<Int64> keys(capacity);
  std::vector<uint32_t> first(capacity, 0);  // row position + 1 of the key's first row, 0 for none
  std::vector<uint32_t> nextSame(count, 0);  // the next row of the same key, position + 1
  for (PNTNode node = root_->FirstChild; node; node = node->NextSibling) {
    const Byte* data = static_cast<const Byte*>(GetNodeData(node));
    const Int64 key = keyType_ == mftInt64 ? *reinterpret_cast<const Int64*>(data) : *reinterpret_cast<const Integer*>(data);
    size_t slot = slotOf(key);
    while (first[slot] != 0 && keys[slot] != key) slot = (slot + 1) & (capacity - 1);
    if (first[slot] != 0) nextSame[node->Index] = first[slot];
    keys[slot] = key;
    first[slot] = node->Index + 1;
  }
  IMemDataSet table = view_->GetDataSet();
  const Integer index = view_->GetKeyIndex(), field = view_->GetKeyField();
  for (TMemRecord* rec = table->FirstInIndex(index); rec; rec = rec->NextInIndex(index)) {
    if (rec->IsNull(field)) continue;
    const Int64 key = keyType_ == mftInt64 ? rec->GetInt64(field)
                      : keyType_ == mftWord ? static_cast<Int64>(rec->GetWord(field))
                                            : static_cast<Int64>(rec->GetInteger(field));
    size_t slot = slotOf(key);
    while (first[slot] != 0 && keys[slot] != key) slot = (slot + 1) & (capacity - 1);
    for (uint32_t row = first[slot]; row != 0; row = nextSame[row - 1])
      if (!records[row - 1]) records[row - 1] = rec;
  }
  return true;
}

void TDataSetList::sortRows(TColumnIndex column, TSortDirection direction) {
  // A sort asks for the records of two nodes at every comparison: they are
  // looked up once, and kept by the rows' positions while the sort runs (a
  // row keeps its position until the sorted rows are linked again). A field
  // that compares as an integer is compared by its value; any other field of
  // the record store by the record's rank in the store's order, so that no
  // comparison reads a record.
  TMemViewColumn* vc = GetViewColumn(column);
  const Integer field = vc && !vc->OnGetText && !vc->FieldIndexes.empty() ? vc->FieldIndexes[0] : -1;
  const TMemAnyType type = field >= 0 ? view_->GetDataSet()->GetFieldType(field) : mftNone;
  const size_t count = root_->ChildCount;
  std::vector<TMemRecord*>& records = sortRecords_;
  struct Done {
    TDataSetList* grid;
    ~Done() { grid->recordCacheValid_ = grid->sortByKey_ = false; }
  } done{this};
  if (rowRecords(records)) {
    sortSlots_.assign(count, SortSlot{});
    for (size_t i = 0; i < count; ++i) sortSlots_[i].Record = records[i];
    recordCacheValid_ = true;
    if (field >= 0) {
      Int64 probe = 0;
      const TMemRecord* first = count > 0 ? records[0] : nullptr;
      if (first && integerSortKey(first, field, type, probe)) {
        for (SortSlot& slot : sortSlots_) {
          slot.IsNull = !slot.Record || slot.Record->IsNull(field);
          if (!slot.IsNull) integerSortKey(slot.Record, field, type, slot.Key);
        }
      } else {
        std::vector<Int64> ranks = TMemRecord::RankByField(records, field);
        for (size_t i = 0; i < count; ++i) sortSlots_[i].Key = ranks[i];
      }
      sortByKey_ = true;
    }
  }
  SortTree(column, direction, false);
  // Sorting linked the rows anew: their positions changed.
  recordCacheValid_ = sortByKey_ = false;
  ApplyNegativesFirst();
}

void TDataSetList::ApplyNegativesFirst() {
  if (!view_) return;
  std::vector<std::pair<PNTNode, TMemRecord*>> rows;
  for (Integer i = 0; i < view_->GetColumnCount(); ++i) {
    TMemViewColumn* vc = view_->GetColumn(i);
    if (!(vc->Flags & mvfNegativesFirst) || vc->FieldIndexes.empty()) continue;
    Integer field = vc->FieldIndexes[0];
    if (field < 0) continue;
    // The rows in their order before any moves, each with its record: every
    // row is seen once, and the moved ones end at the top in reverse order.
    rows.clear();
    if (rowRecords(sortRecords_)) {
      for (PNTNode node = GetFirstNoInit(); node; node = node->NextSibling) rows.emplace_back(node, sortRecords_[node->Index]);
    } else {
      for (PNTNode node = GetFirstNoInit(); node; node = node->NextSibling) rows.emplace_back(node, GetNodeRecord(node));
    }
    for (auto [node, rec] : rows)
      if (rec && !rec->IsNull(field) && rec->GetAsInteger(field) < 0) MoveTo(node, nullptr, amAddChildFirst, false);
  }
}

// ---------------------------------------------------------------------------
// Cells

void TDataSetList::QueryCellText(PNTNode node, TColumnIndex column, TNTTextType type, UnicodeString& text) {
  TCustomNodeStringTree::QueryCellText(node, column, type, text);
  if (type != ttNormal || !text.empty() || column < 0) return;
  Integer index = ViewColumnIndex(column);
  if (index < 0) return;
  // The view's display text: its 8-bit plain text reads only a column's
  // separate text field, which the grid's columns do not set.
  if (TMemRecord* rec = GetNodeRecord(node)) text = view_->GetText(rec, index);
}

UnicodeString TDataSetList::EditorText(PNTNode node, TColumnIndex column) {
  Integer index = ViewColumnIndex(column);
  TMemRecord* rec = GetNodeRecord(node);
  if (index < 0 || !rec) return {};
  return view_->GetText(rec, index);
}

void TDataSetList::StoreNewText(PNTNode node, TColumnIndex column, const UnicodeString& text) {
  TCustomNodeStringTree::StoreNewText(node, column, text);
  TMemViewColumn* vc = GetViewColumn(column);
  if (!vc || !editable_ || !(vc->Flags & mvfEditable)) return;
  if (TMemRecord* rec = GetNodeRecord(node)) view_->SetText(rec, ViewColumnIndex(column), text);
}

void TDataSetList::StoreEditedText(PNTNode node, TColumnIndex column, const UnicodeString& text, bool changed) {
  if (changed) SetText(node, column, text);
}

int TDataSetList::CompareRows(PNTNode node1, PNTNode node2, TColumnIndex column) {
  if (sortByKey_) {
    // As the record store compares: a null before any value.
    const SortSlot& a = sortSlots_[node1->Index];
    const SortSlot& b = sortSlots_[node2->Index];
    if (a.IsNull || b.IsNull) return a.IsNull == b.IsNull ? 0 : (a.IsNull ? -1 : 1);
    return a.Key < b.Key ? -1 : (a.Key > b.Key ? 1 : 0);
  }
  TMemViewColumn* vc = GetViewColumn(column);
  if (!vc) return TCustomNodeStringTree::CompareRows(node1, node2, column);
  TMemRecord* a = GetNodeRecord(node1);
  TMemRecord* b = GetNodeRecord(node2);
  if (!vc->OnGetText) {
    Integer field = vc->FieldIndexes.empty() ? -1 : vc->FieldIndexes[0];
    if (field < 0) return 0;
    return TMemRecord::Compare(a, b, field);
  }
  Integer index = ViewColumnIndex(column);
  return UnicodeCompareText(view_->GetText(a, index), view_->GetText(b, index));
}

TCustomImageList* TDataSetList::CellImageIndex(PNTNode node, TNTImageKind kind, TColumnIndex column,
                                               bool& ghosted, int32_t& index) {
  TCustomImageList* images = TCustomNodeStringTree::CellImageIndex(node, kind, column, ghosted, index);
  if (kind != ikNormal && kind != ikSelected) return images;
  Integer viewIndex = ViewColumnIndex(column);
  if (TMemRecord* rec = viewIndex >= 0 ? GetNodeRecord(node) : nullptr) index = view_->GetInteger(rec, viewIndex);
  return images;
}

void TDataSetList::BeforeCellPaint(TCanvas& canvas, PNTNode node, TColumnIndex column, TNTCellPaintMode mode,
                                   const TRect& cellRect, TRect& contentRect) {
  TCustomNodeStringTree::BeforeCellPaint(canvas, node, column, mode, cellRect, contentRect);
  if (mode != cpmPaint) return;
  Integer viewIndex = ViewColumnIndex(column);
  TMemRecord* rec = GetNodeRecord(node);
  if (!rec) return;
  TColor color = UseStateColors ? DataSetListStateColor(view_->GetRecordState(rec)) : NoColor;
  if (viewIndex >= 0) color = static_cast<TColor>(view_->GetCellColor(rec, viewIndex, static_cast<TViewColor>(color)));
  if (color == NoColor) return;
  TColor previousPen = canvas.Pen().Color();
  canvas.Pen().SetColor(color);
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(color);
  canvas.FillRect(cellRect);
  canvas.Pen().SetColor(previousPen);
}

void TDataSetList::PaintCellOverlay(TCanvas& canvas, PNTNode node, TColumnIndex column, const TRect& cellRect) {
  TCustomNodeStringTree::PaintCellOverlay(canvas, node, column, cellRect);
  Integer viewIndex = ViewColumnIndex(column);
  TMemRecord* rec = GetNodeRecord(node);
  if (viewIndex >= 0 && rec) view_->CustomDrawCell(rec, viewIndex, cellRect, &canvas);
}

// ---------------------------------------------------------------------------
// Notifications, clicks and keys

void TDataSetList::delayedNotification() {
  clickTimer_->SetEnabled(false);
  if (OnChange) OnChange(this, GetFocusedRecord());
  if (pendingClick_) {
    pendingClick_ = false;
    if (OnClick) OnClick(this, GetFocusedRecord());
  }
  if (pendingDblClick_) {
    pendingDblClick_ = false;
    if (OnDblClick) OnDblClick(this, GetFocusedRecord());
  }
}

void TDataSetList::RestartClickTimer(PNTNode node) {
  TCustomNodeStringTree::RestartClickTimer(node);
  noteChange();
}

void TDataSetList::FocusMoved(PNTNode node, TColumnIndex column) {
  TCustomNodeStringTree::FocusMoved(node, column);
  noteChange();
}

void TDataSetList::noteChange() {
  if (updating_) return;
  clickTimer_->SetEnabled(false);
  if (clickTimer_->Interval() == 0)
    delayedNotification();
  else
    clickTimer_->SetEnabled(true);
}

void TDataSetList::SetClickDelay(int32_t milliseconds) {
  Cardinal interval = milliseconds > 0 ? static_cast<Cardinal>(milliseconds) : 0;
  if (!clickTimer_->Enabled() || milliseconds > 0) {
    clickTimer_->SetInterval(interval);
    return;
  }
  clickTimer_->SetEnabled(false);
  clickTimer_->SetInterval(interval);
  clickTimer_->SetEnabled(true);
}

void TDataSetList::Click() {
  TCustomNodeStringTree::Click();
  if (clickTimer_->Enabled())
    pendingClick_ = true;
  else if (OnClick)
    OnClick(this, GetFocusedRecord());
}

void TDataSetList::DblClick() {
  TCustomNodeStringTree::DblClick();
  if (clickTimer_->Enabled())
    pendingDblClick_ = true;
  else if (OnDblClick)
    OnDblClick(this, GetFocusedRecord());
}

void TDataSetList::WMRButtonDown(TMessage& message) {
  // The inherited handling selects the row under the mouse; the right-button
  // state lasts only while it runs.
  try {
    TCustomNodeStringTree::WMRButtonDown(message);
  } catch (...) {
    ChangeTreeState({}, {stRightButtonDown});
    throw;
  }
  ChangeTreeState({}, {stRightButtonDown});
  PNTNode hit = GetNodeAt(LoWordSigned(message.LParam), HiWordSigned(message.LParam));
  if (OnRightClick) OnRightClick(this, hit && hit == FocusedNode() ? GetFocusedRecord() : nullptr);
}

void TDataSetList::ColumnFocused(TColumnIndex column, TShiftState shift) {
  TCustomNodeStringTree::ColumnFocused(column, shift);
  ColumnDblClicked(column, shift);
}

void TDataSetList::ColumnDblClicked(TColumnIndex column, TShiftState shift) {
  if (!FocusedNode() || column < 0) return;
  if (TMemViewColumn* vc = GetViewColumn(FocusedColumn()))
    if (vc->OnDblClick) vc->OnDblClick(vc, GetFocusedRecord());
  if (EditonDblClick && editable_ && shift == TShiftState{ssLeft}) EditNode(FocusedNode(), column);
}

void TDataSetList::NotifyChecked(PNTNode node) {
  TCustomNodeStringTree::NotifyChecked(node);
  if (TMemRecord* rec = GetNodeRecord(node))
    if (OnChecked) OnChecked(this, rec);
}

bool TDataSetList::TypingKeyCharacter(Word key, TShiftState shift, char16_t& character) {
  TShiftState modifiers = shift;
  modifiers.Exclude(ssShift);
  modifiers.Exclude(ssLeft);
  modifiers.Exclude(ssRight);
  modifiers.Exclude(ssMiddle);
  if (!modifiers.Empty()) return false;
  if (key == VK_BACK || key == VK_DELETE) {
    character = 0;
    return true;
  }
  if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9) {
    character = static_cast<char16_t>(u'0' + (key - VK_NUMPAD0));
    return true;
  }
  bool letter = key >= 'A' && key <= 'Z';
  if (key == VK_SPACE || (key >= '0' && key <= '9') || letter) {
    character = static_cast<char16_t>(letter && !shift.Contains(ssShift) ? key + ('a' - 'A') : key);
    return true;
  }
  return false;
}

void TDataSetList::KeyDown(Word& key, TShiftState shift) {
  char16_t character = 0;
  if (FocusedNode() && TypingKeyCharacter(key, shift, character)) {
    if (EditNode(FocusedNode(), FocusedColumn())) {
      SendEditorCharacter(character);
      key = 0;
      return;
    }
  }
  TCustomNodeStringTree::KeyDown(key, shift);
}

bool TDataSetList::EditQuery(PNTNode node, TColumnIndex column, bool allowed) {
  TMemViewColumn* vc = GetViewColumn(column);
  allowed = allowed && editable_ && vc && (vc->Flags & mvfEditable);
  return TCustomNodeStringTree::EditQuery(node, column, allowed);
}

TNTEditLinkRef TDataSetList::CreateCellEditor(PNTNode node, TColumnIndex column) {
  TMemViewColumn* vc = GetViewColumn(column);
  if (vc && vc->LookupDataSet) return TQVRNTComboLink::Create(this);
  (void)node;
  return TQVRNTEditLink::Create(this);
}

void TDataSetList::SendEditorCharacter(char16_t character) {
  if (activeEditor_) activeEditor_->Perform(WM_USER, character, 0);
}

// ---------------------------------------------------------------------------
// Header

void TDataSetList::sortByHeader() {
  sortRows(header_->SortColumn(), header_->SortDirection());
  if (FocusedNode()) ScrollIntoView(FocusedNode(), false);
}

void TDataSetList::HeaderClicked(const TColumnHitInfo& hitInfo) {
  if (hitInfo.Button == mbLeft && view_) {
    TMemViewColumn* vc = GetViewColumn(hitInfo.Column);
    if (hitInfo.Column < 0 || !vc || (vc->Flags & mvfNotSortable)) return;
    if (header_->SortColumn() == hitInfo.Column) {
      header_->SetSortDirection(header_->SortDirection() == sdAscending ? sdDescending : sdAscending);
    } else {
      header_->SetSortColumn(hitInfo.Column);
      header_->SetSortDirection((vc->Flags & mvfDescending) ? sdDescending : sdAscending);
    }
    sortByHeader();
  }
  TCustomNodeStringTree::HeaderClicked(hitInfo);
}

TMenuItem* TDataSetList::popupItemOfTag(int64_t tag) const {
  TMenuItem* items = headerPopup_->Items();
  for (Integer i = 0; i < items->Count(); ++i)
    if (items->Items(i)->Tag == tag) return items->Items(i);
  return nullptr;
}

void TDataSetList::PopupItemClicked(TMenuItem* item) {
  item->SetChecked(!item->Checked());
  TNodeTreeColumns& columns = header_->Columns();
  for (TColumnIndex i = 0; i < columns.Count(); ++i) {
    TNodeTreeColumn* column = columns.Items(i);
    if (column->Tag() != item->Tag) continue;
    TNTColumnOptions options = column->Options();
    if (item->Checked()) {
      options.Include(coVisible);
      column->SetOptions(options);
      column->SetPosition(static_cast<TColumnPosition>(columns.Count() - 1));
    } else {
      options.Exclude(coVisible);
      column->SetOptions(options);
    }
  }
}

void TDataSetList::SetHeaderHint(const std::string& value) {
  headerHint_ = value;
  TNodeTreeColumns& columns = header_->Columns();
  for (TColumnIndex i = 0; i < columns.Count(); ++i) columns.Items(i)->SetHint(Utf8ToUnicode(value));
}

std::string TDataSetList::GetColumnLayout() const {
  TNodeTreeColumns& columns = header_->Columns();
  std::string result = "A";
  for (TColumnIndex i = 0; i < columns.Count(); ++i) {
    TNodeTreeColumn* column = columns.Items(i);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%5.5d%3.3d", column->Width(), static_cast<int>(column->Position()));
    result += buffer;
    result += column->Options().Contains(coVisible) ? '1' : '0';
  }
  return result;
}

namespace {

bool parseDigits(const std::string& text, size_t start, size_t count, int32_t& value) {
  if (start + count > text.size()) return false;
  int32_t result = 0;
  bool negative = false;
  size_t i = start;
  // "%5.5d" writes a minus sign in front of the digits of a negative value.
  if (text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i == start + count) return false;
  for (; i < start + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    result = result * 10 + (text[i] - '0');
  }
  value = negative ? -result : result;
  return true;
}

}  // namespace

void TDataSetList::SetColumnLayout(const std::string& text) {
  TNodeTreeColumns& columns = header_->Columns();
  const size_t count = static_cast<size_t>(columns.Count());
  if (text.size() != 9 * count + 1 || text[0] != 'A') return;
  struct Target {
    int32_t position;
    TColumnIndex column;
  };
  std::vector<Target> targets;
  for (size_t i = 0; i < count; ++i) {
    TNodeTreeColumn* column = columns.Items(static_cast<TColumnIndex>(i));
    const size_t base = 9 * i + 1;
    int32_t width = 0, position = 0;
    if (parseDigits(text, base, 5, width)) column->SetWidth(width);
    if (parseDigits(text, base + 5, 3, position)) targets.push_back({position, static_cast<TColumnIndex>(i)});
    bool visible = text[base + 8] == '1';
    TNTColumnOptions options = column->Options();
    if (visible)
      options.Include(coVisible);
    else
      options.Exclude(coVisible);
    column->SetOptions(options);
    if (TMenuItem* item = popupItemOfTag(column->Tag())) item->SetChecked(visible);
  }
  // Each position setter moves the other columns; applied from the lowest
  // target position up, a column placed earlier is never moved again, so
  // every stored order comes back.
  std::stable_sort(targets.begin(), targets.end(),
                   [](const Target& a, const Target& b) { return a.position < b.position; });
  for (const Target& t : targets)
    columns.Items(t.column)->SetPosition(static_cast<TColumnPosition>(std::max(t.position, 0)));
}

// ---------------------------------------------------------------------------
// Options

void TDataSetList::SetEditable(bool value) {
  editable_ = value;
  TNTSelectionOptions selection = options_->SelectionOptions();
  TNTMiscOptions misc = options_->MiscOptions();
  if (value) {
    selection.Exclude(slFullRowSelect);
    selection.Include(slExtendedFocus);
    misc += TNTMiscOptions{moEditable, moGridExtensions};
    StringTreeOptions().SetStringOptions(TNTStringOptions{toAutoAcceptEditChange});
  } else {
    selection += TNTSelectionOptions{slFullRowSelect, slExtendedFocus};
    misc.Exclude(moEditable);
    misc.Exclude(moGridExtensions);
  }
  options_->SetSelectionOptions(selection);
  options_->SetMiscOptions(misc);
}

void TDataSetList::SetMultiSelect(bool value) {
  TNTSelectionOptions selection = options_->SelectionOptions();
  if (value)
    selection.Include(slMultiSelect);
  else
    selection.Exclude(slMultiSelect);
  options_->SetSelectionOptions(selection);
}

}  // namespace px
