#pragma once
// TDataSetList: the grid in which the screens show the records of a table.
// It is bound to one data view, which gives the columns, the cell texts,
// colours and images, the lookup of a record by key and the writing of an
// edited text. The grid holds one node per record and keeps only the
// record's key in it; every text is asked from the view when it is needed.
#include <functional>
#include <memory>
#include <string>

#include "data/UnitDataView.h"
#include "platform/gui/Forms.h"
#include "platform/gui/Menus.h"
#include "platform/gui/StdCtrls.h"
#include "ui/tree/NodeTreesString.h"

namespace px {

class TDataSetList;

using TDataSetListEvent = std::function<void(TDataSetList* sender, TMemRecord* rec)>;

// The record-state background colours (none for states 0 and 1).
TColor DataSetListStateColor(Integer state);

class TDataSetList : public TCustomNodeStringTree {
 public:
  explicit TDataSetList(TComponent* owner);
  ~TDataSetList() override;
  void BeforeDestruction() override;

  const IMemDataView& View() const { return view_; }
  void SetView(const IMemDataView& view);
  void Refresh(TMemRecord* focusRecord = nullptr, bool rebuildColumns = false);
  void FocusRecordByKey(Integer key);
  TMemRecord* GetFocusedRecord();
  // The record of a node (nil without a view or when the key is gone).
  TMemRecord* GetNodeRecord(PNTNode node);
  // The view column shown in a header column (its tag), or nullptr.
  TMemViewColumn* GetViewColumn(TColumnIndex column);
  Integer ViewColumnIndex(TColumnIndex column) const;
  std::string GetColumnLayout() const;
  void SetColumnLayout(const std::string& text);
  void SetClickDelay(int32_t milliseconds);
  TTimer& ClickTimer() { return *clickTimer_; }
  TPopupMenu& HeaderPopup() { return *headerPopup_; }
  TMemAnyType KeyType() const { return keyType_; }

  bool Editable() const { return editable_; }
  void SetEditable(bool value);
  bool EditonDblClick = false;
  bool MultiSelect() const { return options_->SelectionOptions().Contains(slMultiSelect); }
  void SetMultiSelect(bool value);
  bool UseStateColors = true;
  const std::string& HeaderHint() const { return headerHint_; }
  void SetHeaderHint(const std::string& value);

  TDataSetListEvent OnChange;
  TDataSetListEvent OnClick;
  TDataSetListEvent OnRightClick;
  TDataSetListEvent OnDblClick;
  TDataSetListEvent OnChecked;

  // ---- user actions (the tree's input handling calls them)
  void Click() override;
  void DblClick() override;
  void WMRButtonDown(TMessage& message) override;
  void KeyDown(Word& key, TShiftState shift) override;
  // A double click in a column of the focused row.
  void ColumnDblClicked(TColumnIndex column, TShiftState shift);
  // The check mark of a header popup item was clicked.
  void PopupItemClicked(TMenuItem* item);
  // The typing keys that start editing and the character each passes on
  // (0 for Backspace and Delete); false for any other key.
  static bool TypingKeyCharacter(Word key, TShiftState shift, char16_t& character);
  // Hands the typed first character to the open editor (message WM_USER).
  void SendEditorCharacter(char16_t character);
  // The editor control of the cell being edited, set by the edit links.
  TWinControl* activeEditor_ = nullptr;

  // ---- overrides of the tree
  void QueryCellText(PNTNode node, TColumnIndex column, TNTTextType type, UnicodeString& text) override;
  void StoreNewText(PNTNode node, TColumnIndex column, const UnicodeString& text) override;
  int CompareRows(PNTNode node1, PNTNode node2, TColumnIndex column) override;
  TCustomImageList* CellImageIndex(PNTNode node, TNTImageKind kind, TColumnIndex column, bool& ghosted,
                                   int32_t& index) override;
  void BeforeCellPaint(TCanvas& canvas, PNTNode node, TColumnIndex column, TNTCellPaintMode mode,
                       const TRect& cellRect, TRect& contentRect) override;
  // After the tree painted a cell: the view's own drawing.
  void PaintCellOverlay(TCanvas& canvas, PNTNode node, TColumnIndex column, const TRect& cellRect) override;
  void HeaderClicked(const TColumnHitInfo& hitInfo) override;
  void ColumnFocused(TColumnIndex column, TShiftState shift) override;
  void RestartClickTimer(PNTNode node) override;
  void FocusMoved(PNTNode node, TColumnIndex column) override;
  void NotifyChecked(PNTNode node) override;
  void ReleaseNodeText(PNTNode node) override;
  // Only a string key is a payload of its own to destroy.
  bool NodesReleaseInBulk() const override { return keyType_ != mftAnsiString; }
  bool EditQuery(PNTNode node, TColumnIndex column, bool allowed) override;
  // The combo editor for a column with a lookup table, else the text editor.
  TNTEditLinkRef CreateCellEditor(PNTNode node, TColumnIndex column) override;
  // The text an editor starts with (the view's text of the cell).
  UnicodeString EditorText(PNTNode node, TColumnIndex column);
  // Stores an accepted editor text; changed false writes nothing.
  void StoreEditedText(PNTNode node, TColumnIndex column, const UnicodeString& text, bool changed);
  // Moves the rows with a negative value in a negatives-first column to the
  // top, after a sort.
  void ApplyNegativesFirst();

 private:
  void delayedNotification();
  // The focus or the selection changed: the delayed notification restarts
  // (runs at once with a delay of 0); nothing while Refresh runs.
  void noteChange();
  void clearNodes();
  void storeRecordKey(PNTNode node, TMemRecord* rec);
  // The records of the root's rows by their positions; false when the
  // positions are not those of one list of rows.
  bool rowRecords(std::vector<TMemRecord*>& records);
  void sortByHeader();
  void sortRows(TColumnIndex column, TSortDirection direction);
  TMenuItem* popupItemOfTag(int64_t tag) const;

  TTimer* clickTimer_ = nullptr;
  bool updating_ = false;
  bool pendingClick_ = false;
  bool pendingDblClick_ = false;
  IMemDataView view_;
  TMemAnyType keyType_ = mftNone;
  Integer keyField_ = -1;
  TPopupMenu* headerPopup_ = nullptr;
  bool editable_ = false;
  // What sortRows keeps of each row, by the row's position, while it runs.
  struct SortSlot {
    TMemRecord* Record = nullptr;
    Int64 Key = 0;  // the field's value or the record's rank
    bool IsNull = false;
  };
  std::vector<SortSlot> sortSlots_;
  std::vector<TMemRecord*> sortRecords_;
  bool recordCacheValid_ = false;  // while sortRows runs
  bool sortByKey_ = false;         // the rows compare by their slots' keys
  std::string headerHint_;
};

// ---------------------------------------------------------------------------
// Cell editors of the grid. The tree talks to them only through their links;
// a link serves the editing of one cell once, and whichever of accept,
// cancel, focus loss or window destruction comes first decides (the stopped
// flag makes the others do nothing).
class TQVRNTLink;

// The typed first character that starts an edit (0: empty the text).
constexpr Cardinal CM_EDITORCHAR = WM_USER;

class TQVRNTEdit : public TCustomEdit {
 public:
  TQVRNTEdit(TComponent* owner, std::shared_ptr<TQVRNTLink> link);
  void WndProc(TMessage& message) override;
  void KeyDown(Word& key, TShiftState shift) override;
  void KeyPress(char16_t& key) override;
  void DoExit() override;
  // The link lets go of the editor once the edit is decided.
  void Detach() { link_.reset(); }

 private:
  std::shared_ptr<TQVRNTLink> link_;
};

class TQVRNTCombo : public TCustomComboBox {
 public:
  TQVRNTCombo(TComponent* owner, std::shared_ptr<TQVRNTLink> link);
  void WndProc(TMessage& message) override;
  void KeyDown(Word& key, TShiftState shift) override;
  void KeyPress(char16_t& key) override;
  void DoExit() override;
  void Detach() { link_.reset(); }

 private:
  std::shared_ptr<TQVRNTLink> link_;
};

// What both grid links share: the cell, the stopped flag, the bounds rule
// and the late release of the editor.
class TQVRNTLink : public INTEditLink, public std::enable_shared_from_this<TQVRNTLink> {
 public:
  explicit TQVRNTLink(TDataSetList* grid);
  ~TQVRNTLink() override;
  bool ShowEditor() override;
  bool CancelEditing() override;
  bool AcceptEditing() override;
  bool PrepareForCell(TBaseNodeTree* tree, PNTNode node, TColumnIndex column) override;
  TRect GetEditorBounds() override;
  void RelayMessage(TMessage& message) override;
  void SetEditorBounds(TRect r) override;

  TWinControl* Editor() const { return editor_; }
  TDataSetList* Grid() const { return grid_; }
  PNTNode Node() const { return node_; }
  TColumnIndex Column() const { return column_; }
  bool Stopped() const { return stopped_; }
  // The key handling the editors share: accept and pass the key to the tree
  // (Tab, the arrows that leave), accept (Return), cancel (Escape). True
  // when the key was taken (it is then 0).
  bool HandleKey(Word& key, TShiftState shift, bool upDownLeave, bool leftLeaves, bool rightLeaves);
  void AcceptAndPass(Word key, TShiftState shift);
  void AcceptAndFocusTree();
  void CancelAndFocusTree();
  // The editor lost the focus.
  void FocusLost();

 protected:
  // Fills the editor from the view; false without a view.
  virtual bool FillEditor(TMemRecord* rec, Integer viewColumn, const UnicodeString& cellText) = 0;
  // Stores the editor's result through the grid.
  virtual void StoreResult() = 0;
  virtual void DetachEditor() = 0;
  void createEditor(TWinControl* editor) { editor_ = editor; }

  TDataSetList* grid_;
  TWinControl* editor_ = nullptr;
  PNTNode node_ = nullptr;
  TColumnIndex column_ = NoColumn;
  TAlignment alignment_ = taLeftJustify;
  bool stopped_ = false;
};

class TQVRNTEditLink : public TQVRNTLink {
 public:
  // Made through Create: the editor keeps a reference to its link.
  static std::shared_ptr<TQVRNTEditLink> Create(TDataSetList* grid);
  explicit TQVRNTEditLink(TDataSetList* grid) : TQVRNTLink(grid) {}
  TQVRNTEdit* Edit() const { return static_cast<TQVRNTEdit*>(editor_); }
  bool ShowEditor() override;

 protected:
  bool FillEditor(TMemRecord* rec, Integer viewColumn, const UnicodeString& cellText) override;
  void StoreResult() override;
  void DetachEditor() override { Edit()->Detach(); }
};

class TQVRNTComboLink : public TQVRNTLink {
 public:
  static std::shared_ptr<TQVRNTComboLink> Create(TDataSetList* grid);
  explicit TQVRNTComboLink(TDataSetList* grid) : TQVRNTLink(grid) {}
  TQVRNTCombo* Combo() const { return static_cast<TQVRNTCombo*>(editor_); }
  bool ShowEditor() override;

 protected:
  bool FillEditor(TMemRecord* rec, Integer viewColumn, const UnicodeString& cellText) override;
  void StoreResult() override;
  void DetachEditor() override { Combo()->Detach(); }
};

}  // namespace px
