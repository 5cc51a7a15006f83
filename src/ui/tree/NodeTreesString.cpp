#include "ui/tree/NodeTreesString.h"

#include <algorithm>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"

namespace px {

namespace {

// Draw formats of the measuring and painting steps.
constexpr uint32_t SingleLineFormat = DT_NOPREFIX | DT_VCENTER | DT_SINGLELINE;  // 2084
constexpr uint32_t WrappedHeightFormat = DT_TOP | DT_NOPREFIX | DT_CALCRECT | DT_WORDBREAK;  // 3088

uint32_t alignmentFlag(TAlignment alignment) {
  switch (alignment) {
    case taRightJustify:
      return DT_RIGHT;
    case taCenter:
      return DT_CENTER;
    default:
      return DT_LEFT;
  }
}

// Restores the canvas font's change notification however the step ends.
class FontWatch {
 public:
  FontWatch(TCanvas& canvas, bool& changed) : font_(canvas.Font()), previous_(font_.OnChange) {
    font_.OnChange = [&changed, this](TGraphicsObject* sender) {
      changed = true;
      if (previous_) previous_(sender);
    };
  }
  ~FontWatch() { font_.OnChange = previous_; }
  FontWatch(const FontWatch&) = delete;
  FontWatch& operator=(const FontWatch&) = delete;

 private:
  TFont& font_;
  std::function<void(TGraphicsObject*)> previous_;
};

}  // namespace

UnicodeString ShortenString(TCanvas& canvas, const UnicodeString& text, int32_t width, int32_t ellipsisWidth) {
  if (text.empty() || width <= 0) return {};
  if (ellipsisWidth == 0) ellipsisWidth = canvas.TextExtent(UnicodeString(u"...")).cx;
  if (ellipsisWidth >= width) return {};
  // Binary search for the longest prefix that fits with the ellipsis.
  size_t low = 0, high = text.size();
  while (low < high) {
    size_t mid = (low + high + 1) / 2;
    if (canvas.TextExtent(text.substr(0, mid)).cx + ellipsisWidth <= width)
      low = mid;
    else
      high = mid - 1;
  }
  return text.substr(0, low) + u"...";
}

// ---------------------------------------------------------------------------

void TCustomStringTreeOptions::SetStringOptions(TNTStringOptions value) {
  if (value == stringOptions_) return;
  bool staticChanged = value.Contains(toShowStaticText) != stringOptions_.Contains(toShowStaticText);
  stringOptions_ = value;
  TBaseNodeTree* tree = Owner();
  if (staticChanged && tree && tree->HandleAllocated() && !tree->IsLoading()) tree->Invalidate();
}

void TCustomStringTreeOptions::Assign(const TPersistent* source) {
  if (auto* other = dynamic_cast<const TCustomStringTreeOptions*>(source)) SetStringOptions(other->stringOptions_);
  TCustomNodeTreeOptions::Assign(source);
}

// ---------------------------------------------------------------------------

TCustomNodeStringTree::TCustomNodeStringTree(TComponent* owner) : TBaseNodeTree(owner) {
  // The base constructor cannot reach this class's options slot.
  options_ = CreateOptions();
  widthCacheOffset_ = AllocateInternalDataArea(sizeof(int32_t));
  FontChanged();
}

TCustomNodeStringTree::~TCustomNodeStringTree() = default;

std::unique_ptr<TCustomNodeTreeOptions> TCustomNodeStringTree::CreateOptions() {
  return std::make_unique<TCustomStringTreeOptions>(this);
}

TCanvas& TCustomNodeStringTree::MeasureCanvas() {
  if (!measureBitmap_) measureBitmap_ = std::make_unique<TBitmap>(1, 1);
  return measureBitmap_->Canvas();
}

int32_t* TCustomNodeStringTree::CachedWidth(PNTNode node) const {
  if (!node || node == root_) return nullptr;
  return reinterpret_cast<int32_t*>(reinterpret_cast<Byte*>(node) + widthCacheOffset_);
}

void TCustomNodeStringTree::resetCachedWidths() {
  for (PNTNode run = GetFirstNoInit(); run; run = GetNextNoInit(run)) *CachedWidth(run) = 0;
}

void TCustomNodeStringTree::FontChanged() {
  TCanvas& canvas = MeasureCanvas();
  canvas.Font().Assign(Font());
  textHeight_ = canvas.TextMetrics().Height;
  ellipsisWidth_ = canvas.TextExtent(UnicodeString(u"...")).cx;
  resetCachedWidths();
}

void TCustomNodeStringTree::WndProc(TMessage& message) {
  TBaseNodeTree::WndProc(message);
  if (message.Msg == CM_FONTCHANGED) FontChanged();
}

void TCustomNodeStringTree::Changed(Cardinal cm) {
  TBaseNodeTree::Changed(cm);
  if (cm == CM_FONTCHANGED) FontChanged();
}

void TCustomNodeStringTree::SetDefaultText(const UnicodeString& value) {
  if (value == defaultText_) return;
  defaultText_ = value;
  if (!IsLoading()) Invalidate();
}

// ---------------------------------------------------------------------------
// Texts

UnicodeString TCustomNodeStringTree::Text(PNTNode node, TColumnIndex column) {
  Assert(node != nullptr, "Node must not be nil.");
  InitIfNeeded(node);
  UnicodeString text = defaultText_;
  QueryCellText(node, column, ttNormal, text);
  return text;
}

void TCustomNodeStringTree::SetText(PNTNode node, TColumnIndex column, const UnicodeString& text) {
  StoreNewText(node, column, text);
  InvalidateNode(node);
}

UnicodeString TCustomNodeStringTree::StaticText(PNTNode node, TColumnIndex column) {
  Assert(node != nullptr, "Node must not be nil.");
  InitIfNeeded(node);
  UnicodeString text;
  QueryCellText(node, column, ttStatic, text);
  return text;
}

void TCustomNodeStringTree::QueryCellText(PNTNode node, TColumnIndex column, TNTTextType type,
                                          UnicodeString& text) {
  if (OnGetText) OnGetText(this, node, column, type, text);
}

void TCustomNodeStringTree::StoreNewText(PNTNode node, TColumnIndex column, const UnicodeString& text) {
  if (OnNewText) OnNewText(this, node, column, text);
  if (UpdateCount() == 0) {
    UpdateHorizontalRange();
    UpdateHorizontalScrollBar(false);
  }
}

void TCustomNodeStringTree::PreparePaintText(PNTNode node, TCanvas& canvas, TColumnIndex column,
                                             TNTTextType type) {
  if (OnPaintText) OnPaintText(this, canvas, node, column, type);
}

UnicodeString TCustomNodeStringTree::NodeHintText(PNTNode node, TColumnIndex column, const UnicodeString& coreText) {
  UnicodeString text = coreText;
  if (OnGetHint) OnGetHint(this, node, column, text);
  return text;
}

UnicodeString TCustomNodeStringTree::NodeTooltipText(PNTNode node, TColumnIndex column) {
  UnicodeString text = Text(node, column);
  if (OnGetHint) OnGetHint(this, node, column, text);
  return text;
}

// ---------------------------------------------------------------------------
// Measuring

TSize TCustomNodeStringTree::MeasureCellText(TCanvas& canvas, PNTNode node, const UnicodeString& text,
                                             TColumnIndex column) {
  TSize size = canvas.TextExtent(text);
  if (MultiLine(node)) {
    TRect r{0, 0, size.cx, 0};
    uint32_t format = DT_CALCRECT | DT_NOPREFIX | DT_EDITCONTROL | DT_WORDBREAK | DT_END_ELLIPSIS |
                      alignmentFlag(GetControlsAlignment());
    if (UseRightToLeftAlignment()) format |= DT_RTLREADING;
    canvas.DrawText(text, r, format);
    size.cx = r.Width();
  }
  int32_t width = size.cx, height = size.cy;
  if (OnMeasureTextWidth) OnMeasureTextWidth(this, canvas, node, column, text, width);
  if (OnMeasureTextHeight) OnMeasureTextHeight(this, canvas, node, column, text, height);
  return TSize{width, height};
}

int32_t TCustomNodeStringTree::MeasureTextWidth(TCanvas& canvas, PNTNode node, const UnicodeString& text,
                                                TColumnIndex column) {
  int32_t result = 2 * textMargin_;
  if (!text.empty()) {
    canvas.Font().Assign(Font());
    PreparePaintText(node, canvas, column, ttNormal);
    result += MeasureCellText(canvas, node, text, column).cx;
  }
  return result;
}

int32_t TCustomNodeStringTree::MeasureStaticTextWidth(TCanvas& canvas, PNTNode node, const UnicodeString& text,
                                                      TColumnIndex column) {
  if (text.empty() || GetControlsAlignment() == taCenter || MultiLine(node) ||
      !StringTreeOptions().StringOptions().Contains(toShowStaticText))
    return 0;
  canvas.Font().Assign(Font());
  PreparePaintText(node, canvas, column, ttStatic);
  return MeasureCellText(canvas, node, text, column).cx + textMargin_;
}

int32_t TCustomNodeStringTree::NodeWidth(PNTNode node, TColumnIndex column, TCanvas* canvas) {
  if (!node || node == root_) return 0;
  TCanvas& c = canvas ? *canvas : MeasureCanvas();
  TNodeTreeColumns& columns = header_->Columns();
  if (column >= 0 && MultiLine(node) && columns.IsValidColumn(column)) return columns.Items(column)->Width();
  if (column != header_->MainColumn()) return MeasureTextWidth(c, node, Text(node, column), column);
  int32_t* cached = CachedWidth(node);
  if (!cached) return 0;
  if (*cached == 0) *cached = MeasureTextWidth(c, node, Text(node, column), column);
  return *cached;
}

int32_t TCustomNodeStringTree::NodeExtraWidth(PNTNode node, TColumnIndex column, TCanvas* canvas) {
  if (!node || node == root_) return 0;
  TCanvas& c = canvas ? *canvas : MeasureCanvas();
  return MeasureStaticTextWidth(c, node, StaticText(node, column), column);
}

int32_t TCustomNodeStringTree::MeasureWrappedHeight(TCanvas& canvas, PNTNode node, TColumnIndex column,
                                                    const UnicodeString& text) {
  UnicodeString s = text.empty() ? Text(node, column) : text;
  TNodeTreeColumns& columns = header_->Columns();
  uint32_t format = WrappedHeightFormat;
  TAlignment alignment = GetControlsAlignment();
  bool rtl = UseRightToLeftAlignment();
  TRect r;
  r.Left = margin_ + textMargin_;
  r.Top = 0;
  if (columns.IsValidColumn(column)) {
    TNodeTreeColumn* c = columns.Items(column);
    alignment = c->Alignment();
    rtl = c->BiDiMode() != bdLeftToRight;
    r.Right = c->Width() - textMargin_;
  } else {
    r.Right = ClientWidth();
  }
  if (rtl) {
    if (alignment == taLeftJustify)
      alignment = taRightJustify;
    else if (alignment == taRightJustify)
      alignment = taLeftJustify;
  }
  format |= alignmentFlag(alignment);
  if (column == header_->MainColumn() || column < 0) {
    Cardinal levels = options_->PaintOptions().Contains(poFixedIndent) ? 1 : GetNodeLevel(node) + 1;
    if (!options_->PaintOptions().Contains(poShowRoot) && !options_->PaintOptions().Contains(poFixedIndent) &&
        levels > 0)
      --levels;
    r.Left += static_cast<int32_t>(indent_ * levels);
  }
  r.Right = r.Left + SpanCellWidth(node, column, r.Width(), rtl);
  if (rtl) format |= DT_RIGHT | DT_RTLREADING;
  canvas.DrawText(s, r, format);
  return r.Height();
}

// ---------------------------------------------------------------------------
// Shortening and drawing

UnicodeString TCustomNodeStringTree::ShortenCellText(TCanvas& canvas, PNTNode node, TColumnIndex column,
                                                     const UnicodeString& text, int32_t width,
                                                     int32_t ellipsisWidth) {
  UnicodeString result;
  bool done = false;
  if (OnShortenString) OnShortenString(this, canvas, node, column, text, width, result, done);
  if (done) return result;
  return ShortenString(canvas, text, width, ellipsisWidth);
}

void TCustomNodeStringTree::DrawCellText(TCanvas& canvas, PNTNode node, TColumnIndex column,
                                         const UnicodeString& text, TRect& cellRect, uint32_t drawFormat) {
  bool defaultDraw = true;
  if (OnDrawText) OnDrawText(this, canvas, node, column, text, cellRect, defaultDraw);
  if (defaultDraw) canvas.DrawText(text, cellRect, drawFormat);
}

bool TCustomNodeStringTree::selectedLook(PNTNode node) const {
  if (node == dropTargetNode_) return node->Has(nsSelected);
  if (!node->Has(nsSelected)) return false;
  return Focused() || options_->PaintOptions().Contains(poPopupMode);
}

void TCustomNodeStringTree::prepareNormalTextColors(TCanvas& canvas, PNTNode node, TColumnIndex column) {
  canvas.Font().Assign(Font());
  canvas.Font().SetColor(Enabled() ? Font().Color() : Colors().Get(TNTColors::DisabledColor));
  if (options_->PaintOptions().Contains(poHotTrack) && node == hotNode_) {
    TFontStyles style = canvas.Font().Style();
    style.Include(fsUnderline);
    canvas.Font().SetStyle(style);
    canvas.Font().SetColor(Colors().Get(TNTColors::HotColor));
  }
  if ((column == focusedColumn_ || options_->SelectionOptions().Contains(slFullRowSelect)) && selectedLook(node))
    canvas.Font().SetColor(Colors().Get(TNTColors::SelectionTextColor));
}

void TCustomNodeStringTree::PaintCellText(TCanvas& canvas, PNTNode node, TColumnIndex column,
                                          const TRect& contentRect, int32_t nodeWidth, TAlignment alignment,
                                          bool rightToLeft) {
  UnicodeString text = Text(node, column);
  if (!text.empty()) {
    prepareNormalTextColors(canvas, node, column);
    TRect r = contentRect;
    r.Left += textMargin_;
    r.Right -= textMargin_;
    uint32_t format;
    if (MultiLine(node)) {
      int32_t height = MeasureWrappedHeight(canvas, node, column, text);
      PreparePaintText(node, canvas, column, ttNormal);
      format = alignmentFlag(alignment) | DT_EDITCONTROL | DT_NOPREFIX | DT_WORDBREAK | DT_END_ELLIPSIS;
      if (rightToLeft) format |= DT_RTLREADING;
      if (height < r.Height()) {
        int32_t d = (r.Height() - height) / 2;
        r.Top += d;
        r.Bottom -= d;
      }
    } else {
      fontChanged_ = false;
      int32_t ellipsis = ellipsisWidth_;
      {
        FontWatch watch(canvas, fontChanged_);
        PreparePaintText(node, canvas, column, ttNormal);
      }
      if (fontChanged_) {
        nodeWidth = canvas.TextExtent(text).cx + 2 * textMargin_;
        ellipsis = 0;
      }
      format = SingleLineFormat;
      if (rightToLeft) format |= DT_RTLREADING;
      if (column < 0) {
        format |= alignmentFlag(alignment);
      } else if (r.Width() < nodeWidth - 2 * textMargin_) {
        text = ShortenCellText(canvas, node, column, text, r.Width(), ellipsis);
        if (alignment == taRightJustify) format |= DT_RIGHT;
      } else {
        format |= alignmentFlag(alignment);
      }
    }
    canvas.Brush().SetStyle(bsClear);
    DrawCellText(canvas, node, column, text, r, format);
  }
  if (StringTreeOptions().StringOptions().Contains(toShowStaticText) && GetControlsAlignment() != taCenter &&
      !MultiLine(node)) {
    UnicodeString staticText;
    QueryCellText(node, column, ttStatic, staticText);
    if (staticText.empty()) return;
    canvas.Font().Assign(Font());
    if (options_->SelectionOptions().Contains(slFullRowSelect))
      canvas.Font().SetColor(selectedLook(node) ? Colors().Get(TNTColors::SelectionTextColor) : Font().Color());
    PreparePaintText(node, canvas, column, ttStatic);
    if (node->Has(nsDisabled) || !Enabled()) canvas.Font().SetColor(Colors().Get(TNTColors::DisabledColor));
    TRect r = contentRect;
    if (alignment == taRightJustify)
      r.Right -= nodeWidth + textMargin_;
    else
      r.Left += nodeWidth + textMargin_;
    canvas.Brush().SetStyle(bsClear);
    canvas.DrawText(staticText, r, SingleLineFormat);
  }
}

void TCustomNodeStringTree::PaintNode(TNTPaintInfo& info) {
  PaintCellText(*info.Canvas, info.Node, info.Column, info.ContentRect, info.NodeWidth, info.Alignment,
                info.RightToLeft);
}

void TCustomNodeStringTree::GetTextInfo(PNTNode node, TColumnIndex column, TFont& font, TRect& r,
                                        UnicodeString& text) {
  TCanvas& canvas = MeasureCanvas();
  canvas.Font().Assign(font);
  fontChanged_ = false;
  int32_t height = textHeight_;
  {
    FontWatch watch(canvas, fontChanged_);
    PreparePaintText(node, canvas, column, ttNormal);
  }
  if (fontChanged_) {
    font.Assign(canvas.Font());
    height = canvas.TextMetrics().Height;
  }
  text = Text(node, column);
  r = GetDisplayRect(node, column, true, !MultiLine(node), true);
  if (options_->PaintOptions().Contains(poShowHorzGridLines)) --r.Bottom;
  int32_t d = (height - r.Height()) / 2;
  r.Top -= d;
  r.Bottom += d;
}

// ---------------------------------------------------------------------------
// Selection restoring: the selection is remembered by the column-0 texts of
// the selected nodes, so that a tree rebuilt from its data (cleared and
// filled again) shows the same rows selected.

bool TCustomNodeStringTree::restoresSelection() const {
  return options_->SelectionOptions().Contains(slRestoreSelection) && OnGetText != nullptr;
}

AnsiString TCustomNodeStringTree::selectionKey(PNTNode node) { return UnicodeToAnsi(Text(node, 0)); }

void TCustomNodeStringTree::NodesAddedToSelection(const TNodeArray& added) {
  TBaseNodeTree::NodesAddedToSelection(added);
  if (restoringSelection_ || !restoresSelection()) return;
  if (!previousSelection_) {
    previousSelection_ = std::make_unique<TStringList>();
    previousSelection_->SetSorted(true);
    previousSelection_->SetCaseSensitive(false);
    previousSelection_->Duplicates = dupIgnore;
  }
  // The new nodes are all that is selected: the selection started afresh.
  if (selectionCount_ == added.size()) previousSelection_->Clear();
  for (PNTNode node : added) previousSelection_->Add(selectionKey(node));
}

void TCustomNodeStringTree::NodeDeselected(PNTNode node) {
  TBaseNodeTree::NodeDeselected(node);
  // Clearing the tree or the whole selection, and deleting nodes, keep the
  // list: it is what a rebuild selects again.
  if (!previousSelection_ || !restoresSelection() || IsUpdating() || states_.Contains(stClearing) ||
      node->Has(nsDeleting))
    return;
  if (selectionCount_ == 0) {
    previousSelection_->Clear();
    return;
  }
  Integer index = 0;
  if (previousSelection_->Find(selectionKey(node), index)) previousSelection_->Delete(index);
}

PNTNode TCustomNodeStringTree::AddChild(PNTNode parent, void* userData) {
  PNTNode node = TBaseNodeTree::AddChild(parent, userData);
  if (!node || !previousSelection_ || !restoresSelection()) return node;
  Integer index = 0;
  if (!previousSelection_->Find(selectionKey(node), index)) return node;
  restoringSelection_ = true;
  try {
    SetSelected(node, true);
  } catch (...) {
    restoringSelection_ = false;
    throw;
  }
  restoringSelection_ = false;
  if (PNTNode first = GetFirstSelected()) ScrollIntoView(first, true);
  return node;
}

// ---------------------------------------------------------------------------
// Spans, search, invalidation

bool TCustomNodeStringTree::CanSpanColumn(PNTNode node, TColumnIndex column) {
  if (!Text(node, column).empty()) return false;
  return TBaseNodeTree::CanSpanColumn(node, column);
}

TNTEditLinkRef TCustomNodeStringTree::CreateCellEditor(PNTNode node, TColumnIndex column) {
  TNTEditLinkRef link = TBaseNodeTree::CreateCellEditor(node, column);
  if (!link) link = TStringEditLink::Create(this);
  return link;
}

int32_t TCustomNodeStringTree::SpanCellWidth(PNTNode node, TColumnIndex column, int32_t width, bool rightToLeft) {
  TNodeTreeColumns& columns = header_->Columns();
  if (!options_->AutoOptions().Contains(auSpanColumns) || !columns.IsValidColumn(column) || rightToLeft)
    return width;
  for (TColumnIndex next = columns.NextShownColumn(column); next != NoColumn;
       next = columns.NextShownColumn(next)) {
    TNodeTreeColumn* c = columns.Items(next);
    if (!CanSpanColumn(node, next) || c->BiDiMode() != bdLeftToRight) break;
    width += c->Width();
  }
  return width;
}

int TCustomNodeStringTree::SearchCompare(PNTNode node, const UnicodeString& text) {
  if (OnSearchCompare) return TBaseNodeTree::SearchCompare(node, text);
  UnicodeString cell = Text(node, focusedColumn_);
  return cell.compare(0, text.size(), text) == 0 && cell.size() >= text.size() ? 0 : 1;
}

void TCustomNodeStringTree::MainColumnChanged() {
  TBaseNodeTree::MainColumnChanged();
  resetCachedWidths();
}

TRect TCustomNodeStringTree::InvalidateNode(PNTNode node) {
  if (int32_t* cached = CachedWidth(node)) {
    *cached = 0;
    node->Exclude(nsHeightMeasured);
  }
  return TBaseNodeTree::InvalidateNode(node);
}

void TCustomNodeStringTree::ReinitNode(PNTNode node, bool recursive) {
  TBaseNodeTree::ReinitNode(node, recursive);
  if (int32_t* cached = CachedWidth(node)) *cached = 0;
}

}  // namespace px
