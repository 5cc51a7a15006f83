#pragma once
// TCustomNodeStringTree: the tree whose cells show text. No text is stored
// per cell: every text is asked for when it is needed (QueryCellText and the
// OnGetText event), starting from DefaultText. The tree measures, shortens
// with an ellipsis, wraps and draws those texts, keeps the measured width of
// each node's main-column text in a 4-byte internal area, and can draw a
// second, static text after the normal one.
#include <functional>
#include <memory>
#include <string>

#include "platform/core/Sets.h"
#include "platform/core/StringList.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/StdCtrls.h"
#include "ui/tree/NodeTrees.h"

namespace px {

class TCustomNodeStringTree;

enum TNTStringOption { toSaveCaptions, toShowStaticText, toAutoAcceptEditChange };
using TNTStringOptions = TSet<TNTStringOption>;
// Names of the two string options in old form data.
enum TOldNTStringOption { soSaveCaptions, soShowStaticText };

enum TNTTextType { ttNormal, ttStatic };

// The nodes an export takes.
enum TNTExportSource : Byte { tstAll, tstInitialized, tstSelected, tstCutCopySet, tstVisible, tstChecked };
enum TNTExportKind : Byte { etRTF, etHTML, etText };
// Wraps an HTML fragment (UTF-8) as a clipboard "HTML Format" document whose
// header gives the byte offsets of the document and of the fragment.
std::string MakeCFHTML(const std::string& fragment);
// The list separator of the user's locale.
AnsiString UserListSeparator();
// True when the user's locale measures in metric units (the RTF paper size).
bool UserMeasuresMetric();

class TCustomStringTreeOptions : public TCustomNodeTreeOptions {
 public:
  explicit TCustomStringTreeOptions(TBaseNodeTree* owner) : TCustomNodeTreeOptions(owner) {}
  TNTStringOptions StringOptions() const { return stringOptions_; }
  void SetStringOptions(TNTStringOptions value);
  void Assign(const TPersistent* source) override;

 private:
  TNTStringOptions stringOptions_{toSaveCaptions, toAutoAcceptEditChange};
};

using TNTPaintTextEvent =
    std::function<void(TBaseNodeTree* sender, TCanvas& canvas, PNTNode node, TColumnIndex column, TNTTextType type)>;
using TNTGetTextEvent = std::function<void(TBaseNodeTree* sender, PNTNode node, TColumnIndex column, TNTTextType type,
                                           UnicodeString& text)>;
using TNTGetHintEvent =
    std::function<void(TBaseNodeTree* sender, PNTNode node, TColumnIndex column, UnicodeString& text)>;
using TNTNewTextEvent =
    std::function<void(TBaseNodeTree* sender, PNTNode node, TColumnIndex column, const UnicodeString& text)>;
using TNTShortenStringEvent =
    std::function<void(TBaseNodeTree* sender, TCanvas& canvas, PNTNode node, TColumnIndex column,
                       const UnicodeString& text, int32_t width, UnicodeString& result, bool& done)>;
using TNTMeasureTextEvent = std::function<void(TBaseNodeTree* sender, TCanvas& canvas, PNTNode node,
                                               TColumnIndex column, const UnicodeString& text, int32_t& extent)>;
using TNTDrawTextEvent =
    std::function<void(TBaseNodeTree* sender, TCanvas& canvas, PNTNode node, TColumnIndex column,
                       const UnicodeString& text, const TRect& cellRect, bool& defaultDraw)>;

// The default shortener: the longest prefix of text whose extent plus the
// ellipsis fits width, followed by "..."; empty for an empty text, a width of
// 0 or less, or an ellipsis at least width wide. ellipsisWidth 0 measures the
// three dots first.
UnicodeString ShortenString(TCanvas& canvas, const UnicodeString& text, int32_t width, int32_t ellipsisWidth = 0);

class TCustomNodeStringTree : public TBaseNodeTree {
 public:
  explicit TCustomNodeStringTree(TComponent* owner);
  ~TCustomNodeStringTree() override;

  // Column -1 means that no columns are used. Reading no node is an
  // assertion failure.
  UnicodeString Text(PNTNode node, TColumnIndex column);
  void SetText(PNTNode node, TColumnIndex column, const UnicodeString& text);
  UnicodeString StaticText(PNTNode node, TColumnIndex column);

  const UnicodeString& DefaultText() const { return defaultText_; }
  void SetDefaultText(const UnicodeString& value);
  int32_t TextHeight() const { return textHeight_; }
  int32_t EllipsisWidth() const { return ellipsisWidth_; }
  TCustomStringTreeOptions& StringTreeOptions() const { return static_cast<TCustomStringTreeOptions&>(*options_); }
  // The cached main-column text width of a node (nullptr for no node and
  // the root, which have no cache area).
  int32_t* CachedWidth(PNTNode node) const;

  // ---- the string tree's own virtual steps
  virtual int32_t MeasureStaticTextWidth(TCanvas& canvas, PNTNode node, const UnicodeString& text,
                                         TColumnIndex column);
  virtual int32_t MeasureTextWidth(TCanvas& canvas, PNTNode node, const UnicodeString& text, TColumnIndex column);
  virtual void QueryCellText(PNTNode node, TColumnIndex column, TNTTextType type, UnicodeString& text);
  virtual void StoreNewText(PNTNode node, TColumnIndex column, const UnicodeString& text);
  virtual void PreparePaintText(PNTNode node, TCanvas& canvas, TColumnIndex column, TNTTextType type);
  virtual UnicodeString ShortenCellText(TCanvas& canvas, PNTNode node, TColumnIndex column,
                                        const UnicodeString& text, int32_t width, int32_t ellipsisWidth);
  virtual void DrawCellText(TCanvas& canvas, PNTNode node, TColumnIndex column, const UnicodeString& text,
                            TRect& cellRect, uint32_t drawFormat);
  virtual TSize MeasureCellText(TCanvas& canvas, PNTNode node, const UnicodeString& text, TColumnIndex column);
  virtual int32_t MeasureWrappedHeight(TCanvas& canvas, PNTNode node, TColumnIndex column,
                                       const UnicodeString& text);

  // Paints the normal and (when shown) the static text of one cell into its
  // content rectangle; the step of the tree's cell painting that is text.
  void PaintCellText(TCanvas& canvas, PNTNode node, TColumnIndex column, const TRect& contentRect,
                     int32_t nodeWidth, TAlignment alignment, bool rightToLeft);
  // The text, rectangle and font an in-place editor gets for a cell.
  virtual void GetTextInfo(PNTNode node, TColumnIndex column, TFont& font, TRect& r, UnicodeString& text);
  // The hint and tooltip texts of a cell.
  UnicodeString NodeHintText(PNTNode node, TColumnIndex column, const UnicodeString& coreText);
  UnicodeString NodeTooltipText(PNTNode node, TColumnIndex column);
  UnicodeString NodeHint(PNTNode node, TColumnIndex column, Byte& lineBreakStyle) override;
  UnicodeString NodeTooltip(PNTNode node, TColumnIndex column, Byte& lineBreakStyle) override;
  // The clipboard rendering of a text format: text and CSV (Windows-1252),
  // Unicode text, RTF and "HTML Format", each with its terminator; the null
  // handle for any other format.
  HGLOBAL ContentToClipboard(Word format, TNTExportSource source);
  // The string tree renders the text formats too.
  const TNodeTreeClass* TreeClass() const override { return &StringNodeTreeClass; }
  // Node Tree Data as the core renders it; the text formats through
  // ContentToClipboard (the cut or copied nodes for the clipboard, else the
  // selection).
  HRESULT RenderTreeData(const TFormatEtc& formatEtc, TStgMedium& medium, bool forClipboard) override;

  // ---- overrides of the core
  void PaintNode(TNTPaintInfo& info) override;
  int32_t NodeWidth(PNTNode node, TColumnIndex column, TCanvas* canvas) override;
  int32_t NodeExtraWidth(PNTNode node, TColumnIndex column, TCanvas* canvas) override;
  int SearchCompare(PNTNode node, const UnicodeString& text) override;
  void MainColumnChanged() override;
  TRect InvalidateNode(PNTNode node) override;
  void ReinitNode(PNTNode node, bool recursive) override;
  bool CanSpanColumn(PNTNode node, TColumnIndex column) override;
  // With slRestoreSelection and an OnGetText handler, an added node whose
  // column-0 text was selected before is selected again.
  PNTNode AddChild(PNTNode parent, void* userData = nullptr) override;
  void NodesAddedToSelection(const TNodeArray& added) override;
  void NodeDeselected(PNTNode node) override;
  // A string tree edits with its own editor unless the event supplies one.
  TNTEditLinkRef CreateCellEditor(PNTNode node, TColumnIndex column) override;
  void WndProc(TMessage& message) override;
  void Changed(Cardinal cm) override;
  // How far a cell's text reaches when empty cells to its right take it.
  int32_t SpanCellWidth(PNTNode node, TColumnIndex column, int32_t width, bool rightToLeft);
  // The font of the control changed: new text height and ellipsis width,
  // and every cached width is forgotten.
  void FontChanged();

  // ---- node streams: the main column's text travels as a caption chunk
  // (with toSaveCaptions) and is stored through StoreNewText when read.
  void StreamWriteNodeChunks(TStream& stream, PNTNode node) override;
  bool StreamReadChunk(TStream& stream, int32_t version, PNTNode node, int32_t chunkType,
                       int32_t chunkSize) override;

  // ---- exports (NodeTreesExport.cpp): the cells of a set of nodes as an
  // HTML table (UTF-8), CF_HTML, RTF, and separated text in Windows-1252 or
  // UTF-16. Visible columns in display order, or the single column -1 when
  // the header has none; the main column indented by the node's level.
  std::string ContentToHTML(TNTExportSource source, const UnicodeString& caption = u"");
  // The HTML table wrapped as a clipboard "HTML Format" document.
  std::string ContentToCFHTML(TNTExportSource source);
  std::string ContentToRTF(TNTExportSource source);
  AnsiString ContentToText(TNTExportSource source, const AnsiString& separator);
  UnicodeString ContentToUnicode(TNTExportSource source, const UnicodeString& separator);
  // Text with the user's list separator (";" where the decimal separator is
  // ",").
  AnsiString ContentToCSV(TNTExportSource source);
  // Hooks around the exports (not the Unicode text); a before-node hook
  // answering false leaves the node out.
  std::function<void(TBaseNodeTree*, TNTExportKind)> OnBeforeHeaderExport;
  std::function<void(TBaseNodeTree*, TNTExportKind)> OnAfterHeaderExport;
  std::function<void(TBaseNodeTree*, TNTExportKind, TColumnIndex)> OnBeforeColumnExport;
  std::function<void(TBaseNodeTree*, TNTExportKind, TColumnIndex)> OnAfterColumnExport;
  std::function<bool(TBaseNodeTree*, TNTExportKind, PNTNode)> OnBeforeNodeExport;
  std::function<void(TBaseNodeTree*, TNTExportKind, PNTNode)> OnAfterNodeExport;

  // ---- events
  TNTPaintTextEvent OnPaintText;
  TNTGetTextEvent OnGetText;
  TNTGetHintEvent OnGetHint;
  TNTNewTextEvent OnNewText;
  TNTShortenStringEvent OnShortenString;
  TNTMeasureTextEvent OnMeasureTextWidth;
  TNTMeasureTextEvent OnMeasureTextHeight;
  TNTDrawTextEvent OnDrawText;

 protected:
  std::unique_ptr<TCustomNodeTreeOptions> CreateOptions() override;
  // The before-node hook of the exports; true when the node is exported.
  bool exportNode(TNTExportKind kind, PNTNode node);
  // A canvas for measuring outside painting (a memory bitmap's).
  TCanvas& MeasureCanvas();
  void resetCachedWidths();
  // Sets font colour and style of a cell's normal text before its paint.
  void prepareNormalTextColors(TCanvas& canvas, PNTNode node, TColumnIndex column);
  bool selectedLook(PNTNode node) const;

  UnicodeString defaultText_ = u"Node";
  int32_t textHeight_ = 0;
  int32_t ellipsisWidth_ = 0;
  Cardinal widthCacheOffset_ = 0;
  bool fontChanged_ = false;
  std::unique_ptr<TBitmap> measureBitmap_;
  // The texts of the selected nodes while selection restoring is on; made
  // on first use. Sorted, case-insensitive, each text once.
  std::unique_ptr<TStringList> previousSelection_;
  bool restoringSelection_ = false;

 private:
  bool restoresSelection() const;
  AnsiString selectionKey(PNTNode node);
};

// ---------------------------------------------------------------------------
// The string tree's own in-place editor, used by string trees that supply
// none of their own.
class TStringEditLink;

// Messages every in-place editor answers alike: it wants every key (so the
// form's default and cancel buttons and its focus order leave Return,
// Escape, Tab and the arrows to it), and it frees itself on the release its
// link posts. True when the message was one of them.
bool HandleEditorMessage(TWinControl& editor, TMessage& message);
// Tab, Return and Escape never reach an editor's text; true for those.
bool SwallowEditorChar(char16_t& key);

// How an editor sits over a cell: its reading order (the column's, or the
// tree's without columns) and the side of the cell its text keeps, which a
// right-to-left cell mirrors as its text is drawn mirrored.
struct TNTEditorLayout {
  TBiDiMode BiDiMode = bdLeftToRight;
  TAlignment Alignment = taLeftJustify;
};
TNTEditorLayout EditorLayoutOf(TBaseNodeTree& tree, TColumnIndex column);
// Gives an editor the cell's reading order and shows the text of an edit
// on the side the layout names, whatever the reading order.
void ApplyEditorLayout(TWinControl& editor, const TNTEditorLayout& layout);
// The bounds every cell editor takes: never left of the tree, at least 30
// pixels wide (growing to the left in a right-aligned cell, so that it keeps
// the cell's right edge) and not past the tree's client width.
TRect FitEditorBounds(TRect r, TAlignment alignment, int32_t clientWidth);

// What the string tree's two editors share over their control class: keys,
// focus loss and the editor's end go to the link, which the editor lets go
// of once the edit is decided.
template <class Base>
class TNTStringEditor : public Base {
 public:
  TNTStringEditor(TComponent* owner, std::shared_ptr<TStringEditLink> link);
  ~TNTStringEditor() override;
  void WndProc(TMessage& message) override;
  void KeyDown(Word& key, TShiftState shift) override;
  void DoExit() override;
  void Detach() { link_.reset(); }

 protected:
  std::shared_ptr<TStringEditLink> link_;
};

extern template class TNTStringEditor<TCustomEdit>;
extern template class TNTStringEditor<TCustomMemo>;

// The string tree's editor of single-line nodes.
class TNTEdit : public TNTStringEditor<TCustomEdit> {
 public:
  using TNTStringEditor::TNTStringEditor;
  void KeyPress(char16_t& key) override;
  // Fits the edit to its text.
  void AutoAdjustSize();

 protected:
  void Change() override;
};

// The string tree's editor of multi-line nodes: Return breaks the line,
// Ctrl+Return ends the edit.
class TNTMemo : public TNTStringEditor<TCustomMemo> {
 public:
  TNTMemo(TComponent* owner, std::shared_ptr<TStringEditLink> link);
  void KeyPress(char16_t& key) override;
};

class TStringEditLink : public INTEditLink, public std::enable_shared_from_this<TStringEditLink> {
 public:
  static std::shared_ptr<TStringEditLink> Create(TComponent* owner);
  TStringEditLink() = default;
  ~TStringEditLink() override;
  bool ShowEditor() override;
  bool CancelEditing() override;
  bool AcceptEditing() override;
  bool PrepareForCell(TBaseNodeTree* tree, PNTNode node, TColumnIndex column) override;
  TRect GetEditorBounds() override;
  void RelayMessage(TMessage& message) override;
  void SetEditorBounds(TRect r) override;

  // The single-line edit (none once a multi-line node took the memo).
  TNTEdit* Edit() const { return edit_; }
  // The memo of a multi-line node (none otherwise).
  TNTMemo* Memo() const { return memo_; }
  TWinControl* Editor() const;
  TCustomNodeStringTree* Tree() const { return tree_; }
  PNTNode Node() const { return node_; }
  TColumnIndex Column() const { return column_; }
  TAlignment Alignment() const { return alignment_; }
  bool Stopped() const { return stopped_; }
  void SetStopped() { stopped_ = true; }

  // What both editors do alike. A key the link used is 0 afterwards (and
  // the answer true); Up and Down of a single-line node come back as Left
  // and Right.
  bool EditorKeyDown(Word& key, TShiftState shift);
  void EditorExit();
  // The editor goes away while the edit is open: with accept on exit a
  // changed text is still written.
  void EditorDestroyed(bool modified, const std::string& text) noexcept;

 private:
  void useMemo();
  bool editorModified() const;
  void selectAllText();
  TNTEdit* edit_ = nullptr;
  TNTMemo* memo_ = nullptr;
  TComponent* owner_ = nullptr;
  TCustomNodeStringTree* tree_ = nullptr;
  PNTNode node_ = nullptr;
  TColumnIndex column_ = NoColumn;
  TAlignment alignment_ = taLeftJustify;
  // Where the cell's text is, for the edit's formatting rectangle.
  TRect textBounds_;
  bool stopped_ = false;
};

}  // namespace px
