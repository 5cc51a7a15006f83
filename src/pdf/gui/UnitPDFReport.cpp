#include "pdf/gui/UnitPDFReport.h"

#include <algorithm>
#include <exception>
#include <cstring>
#include <mutex>

#include "pdf/gui/UnitPDFCanvas.h"
#include "pdf/gui/UnitPDFRenderer.h"
#include "platform/core/CodePages.h"
#include "platform/core/Fonts.h"

namespace px {

int32_t ReportSizePercent(int32_t verticalMode) { return verticalMode == vmNormal ? 100 : 60; }

namespace {

int32_t weightOf(const TFont& font) { return font.Style().Contains(fsBold) ? 700 : 400; }

struct TFontCacheEntry {
  std::string Name;
  int32_t Weight;
  bool Italic;
  std::unique_ptr<TFontInformation> Info;
};

}  // namespace

const TFontInformation& ReportFontInformation(const std::string& name, int32_t weight, bool italic) {
  static std::mutex lock;
  static std::vector<TFontCacheEntry> cache;
  std::lock_guard guard(lock);
  for (const auto& e : cache)
    if (e.Weight == weight && e.Italic == italic && e.Name == name) return *e.Info;
  cache.push_back({name, weight, italic,
                   std::make_unique<TFontInformation>(name, weight, italic, fiBasic | fiWidths | fiCMap | fiKerning | fiMetrics)});
  return *cache.back().Info;
}

// ---------------------------------------------------------------------------
// Items

void TReportItem::selectLayer(TCanvas& canvas) const {
  if (auto* pdf = dynamic_cast<TPDFCanvas*>(&canvas)) pdf->SetLayer(Layer);
}

void TReportLine::Draw(TPDFReport& report, TCanvas& canvas) {
  selectLayer(canvas);
  const int32_t res = report.Resolution;
  TPen pen;
  pen.Assign(Pen);
  pen.SetWidth(MulDiv(Pen.Width(), res, 7200));
  canvas.Pen().Assign(pen);
  canvas.MoveTo(MulDiv(P1.X, res, 7200), MulDiv(P1.Y, res, 7200));
  canvas.LineTo(MulDiv(P2.X, res, 7200), MulDiv(P2.Y, res, 7200));
}

void TReportLine::Offset(int32_t dx, int32_t dy) {
  P1.X += dx;
  P1.Y += dy;
  P2.X += dx;
  P2.Y += dy;
}

bool TReportLine::GetBounds(TRect& rect) {
  rect = TRect{P1.X, P1.Y, P2.X, P2.Y}.Normalized();
  return true;
}

void TReportText::SetFont(const TFont& font) {
  font_.Assign(font);
  measured_ = false;
}
void TReportText::SetText(const UnicodeString& text) {
  text_ = text;
  measured_ = false;
}
void TReportText::SetCharSpacing(int32_t spacing) {
  charSpacing_ = spacing;
  measured_ = false;
}
void TReportText::SetVerticalMode(int32_t mode) {
  verticalMode_ = mode;
  measured_ = false;
}

void TReportText::Measure() {
  const TFontInformation& info =
      ReportFontInformation(font_.Name(), weightOf(font_), font_.Style().Contains(fsItalic));
  const int32_t size = font_.Size();
  advances_ = info.TextAdvances(text_, size * ReportSizePercent(verticalMode_), charSpacing_);
  ascent_ = MulDiv(info.OS2.usWinAscent, size * 100, info.UnitsPerEm);
  descent_ = MulDiv(info.OS2.usWinDescent, size * 100, info.UnitsPerEm);
  if (verticalMode_ != vmNormal) {
    const int32_t k = verticalMode_ == vmSuperscript ? 110 : 40;
    descent_ = MulDiv(descent_ + ascent_, 60, 100) - MulDiv(ascent_, k, 100);
    ascent_ = MulDiv(ascent_, k, 100);
  }
  measured_ = true;
}

const std::vector<int32_t>& TReportText::Advances() {
  if (!measured_) Measure();
  return advances_;
}
int32_t TReportText::Ascent() {
  if (!measured_) Measure();
  return ascent_;
}
int32_t TReportText::Descent() {
  if (!measured_) Measure();
  return descent_;
}

void TReportText::Draw(TPDFReport& report, TCanvas& canvas) {
  if (!measured_) Measure();
  if (text_.empty()) return;
  selectLayer(canvas);
  const int32_t res = report.Resolution;
  std::vector<int32_t> scaled(advances_.size());
  for (size_t i = 0; i < advances_.size(); ++i) scaled[i] = MulDiv(advances_[i], res, 7200);
  TFont f;
  f.Assign(font_);
  f.SetSize(MulDiv(font_.Size(), ReportSizePercent(verticalMode_), 100));
  canvas.Font().Assign(f);
  canvas.ExtTextOut(MulDiv(Left, res, 7200), MulDiv(Top, res, 7200), 0, nullptr, text_, scaled.data());
}

void TReportText::Offset(int32_t dx, int32_t dy) {
  Left += dx;
  Top += dy;
}

bool TReportText::GetBounds(TRect& rect) {
  if (text_.empty()) return false;
  if (!measured_) Measure();
  int32_t w = -charSpacing_;
  for (int32_t a : advances_) w += a;
  const int32_t h = ascent_ + descent_;
  rect = {Left, Top, Left, Top};
  switch (font_.Orientation()) {
    case 0:
      rect.Right += w;
      rect.Bottom += h;
      return true;
    case 900:
      rect.Right += h;
      rect.Top -= w;
      return true;
    case 1800:
      rect.Top -= h;
      rect.Left -= w;
      return true;
    case 2700:
      rect.Left -= h;
      rect.Bottom += w;
      return true;
    default: return false;
  }
}

void TReportBitmap::Draw(TPDFReport& report, TCanvas& canvas) {
  selectLayer(canvas);
  const int32_t res = report.Resolution;
  canvas.StretchDraw(TRect{MulDiv(Left, res, 7200), MulDiv(Top, res, 7200), MulDiv(Left + Width, res, 7200),
                           MulDiv(Top + Height, res, 7200)},
                     bitmap_);
}

void TReportBitmap::Offset(int32_t dx, int32_t dy) {
  Left += dx;
  Top += dy;
}

bool TReportBitmap::GetBounds(TRect& rect) {
  if (Width < 1 || Height < 1 || bitmap_.Empty()) return false;
  rect = {Left, Top, Left + Width, Top + Height};
  return true;
}

void TReportGroup::Draw(TPDFReport& report, TCanvas& canvas) {
  for (auto& item : items_) item->Draw(report, canvas);
}

void TReportGroup::Offset(int32_t dx, int32_t dy) {
  for (auto& item : items_) item->Offset(dx, dy);
  Rect.Offset(dx, dy);
}

bool TReportGroup::GetBounds(TRect& rect) {
  bool any = !Rect.IsEmpty();
  if (any) rect = Rect;
  for (auto& item : items_) {
    TRect r;
    if (!item->GetBounds(r)) continue;
    if (!any) {
      rect = r;
      any = true;
    } else {
      rect.Left = std::min(rect.Left, r.Left);
      rect.Top = std::min(rect.Top, r.Top);
      rect.Right = std::max(rect.Right, r.Right);
      rect.Bottom = std::max(rect.Bottom, r.Bottom);
    }
  }
  return any;
}

TReportItem* TReportGroup::Add(std::unique_ptr<TReportItem> item) {
  Assert(item != nullptr, "TReportGroup.Add: nil item");
  items_.push_back(std::move(item));
  return items_.back().get();
}

TReportPage::TReportPage(int32_t number, int32_t width, int32_t height)
    : PageNumber(number), Width(width), Height(height), Group(std::make_unique<TReportGroup>()) {}

TReportItem* TReportPage::AddItem(std::unique_ptr<TReportItem> item) {
  Assert(Group != nullptr, "TReportPage.AddItem: no group");
  return Group->Add(std::move(item));
}

TPDFFileLink::TPDFFileLink(const std::string& fileName)
    : FileName(fileName), Reader(std::make_unique<TPDFReader>(fileName)) {}

// ---------------------------------------------------------------------------
// The report

TPDFReport::TPDFReport() : printer_(std::make_unique<TPDFPrinter>()) {
  printer_->SetOptions(7);
  PageWidth = printer_->PageWidth;
  PageHeight = printer_->PageHeight;
}

TPDFReport::~TPDFReport() = default;

TReportPage* TPDFReport::AddPage() {
  pages_.push_back(std::make_unique<TReportPage>(static_cast<int32_t>(pages_.size()) + 1, PageWidth, PageHeight));
  return pages_.back().get();
}

TPDFReader* TPDFReport::Link(const std::string& fileName) {
  for (auto& l : links_)
    if (l->FileName == fileName) return l->Reader.get();
  links_.push_back(std::make_unique<TPDFFileLink>(fileName));
  return links_.back()->Reader.get();
}

void TPDFReport::Draw() {
  if (printer_->Printing()) printer_->EndDoc();
  if (pages_.empty()) return;
  if (OnBeforeDraw)
    for (auto& page : pages_)
      if (!OnBeforeDraw(*page)) return;
  // A page that cannot be drawn (a linked file that is damaged or missing)
  // ends the document without a result rather than leaving it open.
  struct AbortOnFailure {
    TPDFPrinter& printer;
    int uncaught = std::uncaught_exceptions();
    ~AbortOnFailure() {
      if (std::uncaught_exceptions() > uncaught && printer.Printing()) {
        try {
          printer.Abort();
        } catch (...) {
        }
      }
    }
  } abortOnFailure{*printer_};
  bool first = true;
  for (auto& page : pages_) {
    if (OnBeforePage && !OnBeforePage(*page)) break;
    printer_->PageWidth = page->Width;
    printer_->PageHeight = page->Height;
    if (first) {
      printer_->BeginDoc();
      for (const auto& layer : Layers) printer_->AddLayer(layer.Name, layer.Visible);
      first = false;
    } else {
      printer_->NewPage();
    }
    Resolution = printer_->PixelsPerInch();
    DrawPage(page.get(), &printer_->Canvas());
  }
  if (OnAfterDraw) OnAfterDraw();
  if (printer_->Printing()) printer_->EndDoc();
}

void TPDFReport::drawLinkedPage(const TReportPage& page, const TReportLinkedPage& linked, TCanvas& canvas) {
  if (!linked.Present()) return;
  auto* pdf = dynamic_cast<TPDFCanvas*>(&canvas);
  TPDFCollection* document = linked.Document ? linked.Document : Link(linked.FileName);
  if (pdf && pdf->Printer) {
    // The linked page belongs to no layer, whatever the items before it chose.
    if (!pdf->Finished()) pdf->SetLayer(-1);
    pdf->Printer->DrawLinkedPage(document, linked.PageIndex);
    return;
  }
  // Any other canvas (a bitmap, a preview): the page is rendered into the
  // report page's rectangle. The index is checked here so that a wrong one
  // fails the same way on every canvas.
  if (linked.PageIndex < 0 || linked.PageIndex >= document->GetPageCount())
    throw ERangeError("Page index out of range.");
  TCanvasDevice* device = canvas.Device();
  if (!device) return;
  TPDFRenderer renderer;
  renderer.SetCollection(document);
  renderer.PageNumber = linked.PageIndex + 1;
  renderer.DC = device;
  TRect rect{0, 0, MulDiv(page.Width, Resolution, 7200), MulDiv(page.Height, Resolution, 7200)};
  rect.Offset(canvas.Origin().X, canvas.Origin().Y);
  renderer.Render(TPDFBox{}, rect, 1);
}

void TPDFReport::DrawPage(TReportPage* page, TCanvas* canvas) {
  Assert(page != nullptr, "TPDFReport.DrawPage: no page");
  Assert(canvas != nullptr, "TPDFReport.DrawPage: no canvas");
  drawLinkedPage(*page, page->Underlay, *canvas);
  page->Group->Draw(*this, *canvas);
  drawLinkedPage(*page, page->Overlay, *canvas);
  if (auto* pdf = dynamic_cast<TPDFCanvas*>(canvas); pdf && !pdf->Finished()) pdf->SetLayer(-1);
}

// ---------------------------------------------------------------------------
// The text box

TReportRenderer::TReportRenderer() { FallbackFontName = font_.Name(); }

void TReportRenderer::SetBox(int32_t left, int32_t top, int32_t right) {
  if (!line_.empty()) LineBreak();
  left_ = left;
  top_ = top;
  width_ = right - left;
  x_ = 0;
  y_ = 0;
}

int32_t TReportRenderer::LineBreak() {
  if (!line_.empty() && Alignment != 0) {
    int32_t d = CharSpacing + width_ - x_;
    if (Alignment == 2) d /= 2;
    for (TReportItem* item : line_) item->Offset(d, 0);
  }
  line_.clear();
  x_ = 0;
  y_ += LineHeight;
  return LineHeight;
}

void TReportRenderer::AssignStyle(const TReportRenderer& other) {
  font_.Assign(other.font_);
  LineHeight = other.LineHeight;
  Alignment = other.Alignment;
  CharSpacing = other.CharSpacing;
  VerticalMode = other.VerticalMode;
  FallbackFontName = other.FallbackFontName;
  Overline = other.Overline;
}

void TReportRenderer::AddLine(TReportGroup& group, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor colour,
                              int32_t width) {
  auto line = std::make_unique<TReportLine>();
  line->P1 = {x1, y1};
  line->P2 = {x2, y2};
  line->Pen.SetColor(colour);
  line->Pen.SetStyle(psSolid);
  line->Pen.SetWidth(width);
  group.Add(std::move(line));
}

namespace {

bool startsWith(const UnicodeString& s, size_t at, std::u16string_view what) {
  return s.compare(at, what.size(), what) == 0;
}

bool isHex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

int hexValue(char16_t c) {
  if (c <= u'9') return c - u'0';
  if (c >= u'a') return c - u'a' + 10;
  return c - u'A' + 10;
}

// Numeric character references "&#65;" and "&#x42;" replaced by their
// characters; a reference that does not parse ends the replacing.
UnicodeString replaceReferences(const UnicodeString& text) {
  UnicodeString out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t amp = text.find(u"&#", at);
    if (amp == UnicodeString::npos) break;
    out.append(text, at, amp - at);
    size_t p = amp + 2;
    const bool hex = p < text.size() && (text[p] == u'x' || text[p] == u'X');
    if (hex) ++p;
    uint64_t value = 0;
    size_t digits = 0;
    while (p < text.size() && (hex ? isHex(text[p]) : (text[p] >= u'0' && text[p] <= u'9')) && digits < 9) {
      value = value * (hex ? 16 : 10) + static_cast<uint64_t>(hex ? hexValue(text[p]) : text[p] - u'0');
      ++p;
      ++digits;
    }
    if (digits == 0 || p >= text.size() || text[p] != u';') {
      at = amp;
      out.append(text, at, UnicodeString::npos);
      return out;
    }
    ++p;
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
      // Not a character: the reference stays as it was written.
      out.append(text, amp, p - amp);
    } else if (value > 0xFFFF) {
      value -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (value >> 10));
      out += static_cast<char16_t>(0xDC00 + (value & 0x3FF));
    } else {
      out += static_cast<char16_t>(value);
    }
    at = p;
  }
  out.append(text, at, UnicodeString::npos);
  return out;
}

}  // namespace

void TReportRenderer::RenderMarkup(TReportGroup& group, const UnicodeString& text) {
  VerticalMode = vmNormal;
  markupLanguage_.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t lt = text.find(u'<', pos);
    if (lt == UnicodeString::npos) {
      emitRun(group, text.substr(pos));
      return;
    }
    if (lt > pos) emitRun(group, text.substr(pos, lt - pos));
    size_t p = lt + 1;
    const bool closing = p < text.size() && text[p] == u'/';
    if (closing) ++p;
    if (p + 1 >= text.size()) {
      // "<" or "</" at the end, or followed by one last character.
      emitRun(group, text.substr(lt));
      return;
    }
    const UnicodeString opener = closing ? u"</" : u"<";
    TFontStyles style = font_.Style();
    auto toggle = [&](TFontStyle s) {
      if (closing) style.Exclude(s);
      else style.Include(s);
      font_.SetStyle(style);
    };
    if (startsWith(text, p, u"b>")) {
      toggle(fsBold);
      p += 2;
    } else if (startsWith(text, p, u"i>")) {
      toggle(fsItalic);
      p += 2;
    } else if (startsWith(text, p, u"u>")) {
      toggle(fsUnderline);
      p += 2;
    } else if (startsWith(text, p, u"s>")) {
      toggle(fsStrikeOut);
      p += 2;
    } else if (startsWith(text, p, u"o>")) {
      Overline = closing ? (Overline & ~1) : (Overline | 1);
      p += 2;
    } else if (startsWith(text, p, u"O>")) {
      Overline = closing ? (Overline & ~2) : (Overline | 2);
      p += 2;
    } else if (startsWith(text, p, u"br>") || startsWith(text, p, u"BR>")) {
      LineBreak();
      p += 3;
    } else if (startsWith(text, p, u"lang")) {
      if (p + 6 < text.size() && text[p + 6] == u'>') {
        if (closing) markupLanguage_.clear();
        else markupLanguage_ = UnicodeToUtf8(text.substr(p + 4, 2));
        p += 7;
      } else {
        emitRun(group, opener + u"lang");
        p += 4;
      }
    } else if (startsWith(text, p, u"color")) {
      bool ok = p + 11 < text.size() && text[p + 11] == u'>';
      for (size_t k = 0; ok && k < 6; ++k) ok = isHex(text[p + 5 + k]);
      if (ok) {
        int v[6];
        for (size_t k = 0; k < 6; ++k) v[k] = hexValue(text[p + 5 + k]);
        font_.SetColor(RGB(static_cast<Byte>(v[0] * 16 + v[1]), static_cast<Byte>(v[2] * 16 + v[3]),
                           static_cast<Byte>(v[4] * 16 + v[5])));
        p += 12;
      } else {
        emitRun(group, opener + u"color");
        p += 5;
      }
    } else if (startsWith(text, p, u"super>")) {
      VerticalMode = closing ? vmNormal : vmSuperscript;
      p += 6;
    } else if (startsWith(text, p, u"sub>")) {
      VerticalMode = closing ? vmNormal : vmSubscript;
      p += 4;
    } else {
      emitRun(group, opener);
    }
    pos = p;
  }
}

void TReportRenderer::emitRun(TReportGroup& group, const UnicodeString& text) {
  if (text.empty()) return;
  if (!ReportLanguage.empty() && !markupLanguage_.empty() && ReportLanguage != markupLanguage_) return;
  RenderText(group, replaceReferences(text));
}

void TReportRenderer::RenderText(TReportGroup& group, const UnicodeString& text) {
  if (text.empty()) return;
  const TFontInformation& info =
      ReportFontInformation(font_.Name(), weightOf(font_), font_.Style().Contains(fsItalic));
  std::vector<bool> has(text.size());
  bool all = true;
  for (size_t i = 0; i < text.size(); ++i) {
    has[i] = info.GlyphIndex(text[i]) != 0;
    all = all && has[i];
  }
  if (all) {
    layoutRun(group, text);
    return;
  }
  const std::string name = font_.Name();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && has[end] == has[start]) ++end;
    font_.SetName(has[start] ? name : FallbackFontName);
    layoutRun(group, text.substr(start, end - start));
    start = end;
  }
  font_.SetName(name);
}

void TReportRenderer::layoutRun(TReportGroup& group, UnicodeString text) {
  while (true) {
    auto owned = std::make_unique<TReportText>();
    TReportText& item = *owned;
    item.SetText(text);
    item.SetFont(font_);
    item.SetCharSpacing(CharSpacing);
    item.SetVerticalMode(VerticalMode);
    group.Add(std::move(owned));
    line_.push_back(&item);
    item.Measure();
    item.Left = left_ + x_;
    item.Top = top_ + y_ - item.Ascent();
    const std::vector<int32_t> adv = item.Advances();
    size_t i = 0;
    for (; i < adv.size(); ++i) {
      x_ += adv[i];
      if (x_ > width_ + CharSpacing) break;
    }
    if (i >= adv.size()) {
      decorate(group, item);
      return;
    }
    // Character i does not fit: break at the last blank before it.
    size_t blank = UnicodeString::npos;
    for (size_t k = i + 1; k-- > 0;)
      if (text[k] == u' ') {
        blank = k;
        break;
      }
    UnicodeString rest;
    if (blank != UnicodeString::npos) {
      // x back to the position after the blank.
      for (size_t k = blank + 1; k <= i; ++k) x_ -= adv[k];
      item.SetText(text.substr(0, blank));
      rest = text.substr(blank + 1);
    } else if (i < 2) {
      // Fewer than two characters fit: the whole run stays, overflowing.
      for (size_t k = i + 1; k < adv.size(); ++k) x_ += adv[k];
      decorate(group, item);
      return;
    } else {
      x_ -= adv[i];
      item.SetText(text.substr(0, i));
      rest = text.substr(i);
    }
    item.Measure();
    decorate(group, item);
    LineBreak();
    if (rest.empty()) return;
    text = rest;
  }
}

void TReportRenderer::decorate(TReportGroup& group, TReportText& item) {
  if (Overline == 0) return;
  const TFontInformation& info =
      ReportFontInformation(item.Font().Name(), weightOf(item.Font()), item.Font().Style().Contains(fsItalic));
  const int32_t size = item.Font().Size();
  int32_t w = 0;
  for (int32_t a : item.Advances()) w += a;
  const int32_t width = MulDiv(info.Post.underlineThickness, size * 100, info.UnitsPerEm);
  auto line = [&](int32_t height) {
    const int32_t y = item.Top + item.Ascent() - MulDiv(height, size * 120, info.UnitsPerEm);
    AddLine(group, item.Left, y, item.Left + w, y, item.Font().Color(), width);
  };
  if (Overline & 2) line(info.CapHeight);
  if (Overline & 1) line(info.XHeight);
}

// ---------------------------------------------------------------------------
// The builder

TPDFReportBuilder::TPDFReportBuilder() : report_(std::make_unique<TPDFReport>()) {
  renderer_ = newRenderer();
  defaultSpacing_ = 100;
  ResetTextStyle();
}

TPDFReportBuilder::~TPDFReportBuilder() = default;

std::unique_ptr<TReportRenderer> TPDFReportBuilder::newRenderer() const {
  auto r = std::make_unique<TReportRenderer>();
  r->ReportLanguage = ReportLanguage;
  return r;
}

void TPDFReportBuilder::GetMargins(int32_t&, int32_t&) {}
void TPDFReportBuilder::PageHook(int32_t) {}
void TPDFReportBuilder::FinishPage() {}

void TPDFReportBuilder::ResetTextStyle() {
  renderer_->Font().SetStyle({});
  renderer_->CharSpacing = 0;
  renderer_->LineHeight = 1200;
  renderer_->Alignment = 0;
}

void TPDFReportBuilder::completePage() {
  std::unique_ptr<TReportRenderer> oldRenderer = std::move(renderer_);
  std::unique_ptr<TReportGroup> oldGroup = std::move(group_);
  renderer_ = newRenderer();
  renderer_->SetBox(oldRenderer->Left(), oldRenderer->TextHeight(), oldRenderer->Left() + oldRenderer->Width());
  group_ = std::make_unique<TReportGroup>();
  finishing_ = true;
  try {
    FinishPage();
  } catch (...) {
    finishing_ = false;
    renderer_ = std::move(oldRenderer);
    group_ = std::move(oldGroup);
    throw;
  }
  finishing_ = false;
  renderer_->LineBreak();
  group_->Offset(0, y_);
  if (page_ && !group_->Items().empty()) page_->AddItem(std::move(group_));
  renderer_ = std::move(oldRenderer);
  group_ = std::move(oldGroup);
}

TReportPage* TPDFReportBuilder::NewPage(bool resetStyle, bool setup, bool addPage) {
  return newPage(resetStyle, setup, addPage, false);
}

// keepStyle: the fresh text box takes the text style of the one it replaces,
// for page breaks the builder makes by itself in the middle of a table.
TReportPage* TPDFReportBuilder::newPage(bool resetStyle, bool setup, bool addPage, bool keepStyle) {
  if (resetStyle) {
    auto r = newRenderer();
    if (keepStyle) r->AssignStyle(*renderer_);
    std::swap(r, renderer_);
  }
  if (addPage && page_) completePage();
  if (addPage) {
    page_ = report_->AddPage();
    pages_.push_back(page_);
  }
  if (setup) ResetTextStyle();
  y_ = renderer_->LineHeight;
  bottom_ = report_->PageHeight;
  GetMargins(y_, bottom_);
  if (resetStyle) NewGroup(0, false);
  return page_;
}

void TPDFReportBuilder::NewGroup(int32_t lineSpacing, bool keepPage) {
  if (group_) {
    if (y_ + renderer_->TextHeight() + renderer_->Top() > bottom_ && !finishing_) NewPage(false, false, !keepPage);
    group_->Offset(0, y_);
    if (page_) page_->AddItem(std::move(group_));
    y_ += renderer_->TextHeight() + renderer_->Top();
  }
  group_ = std::make_unique<TReportGroup>();
  renderer_->SetBox(renderer_->Left(), 0, renderer_->Width());
  SetLineSpacing(lineSpacing);
}

void TPDFReportBuilder::SetLineSpacing(int32_t percent) {
  if (percent == -1) percent = defaultSpacing_;
  y_ += percent * renderer_->LineHeight / 100;
  renderer_->SetBox(renderer_->Left(), 0, renderer_->Left() + renderer_->Width());
}

void TPDFReportBuilder::columnLines(const std::vector<int32_t>& positions, const std::vector<bool>& lines,
                                   int32_t top, int32_t r, int32_t l, int32_t width) {
  if (!page_) return;
  for (size_t i = 0; i < positions.size(); ++i)
    if (i < lines.size() && lines[i])
      renderer_->AddLine(*page_->Group, positions[i], top + r - l, positions[i], y_ + r - l, clBlack, width);
}

void TPDFReportBuilder::AddTableEx(const std::vector<int32_t>& positions, const std::vector<UnicodeString>& cells,
                                   const TCellCallback& callback, const std::vector<bool>& columnLines_,
                                   const std::vector<bool>& rowLines, int32_t lineWidth, int32_t inset,
                                   int32_t rowSpacing, int32_t spacingAfter) {
  for (size_t i = 1; i < positions.size(); ++i)
    Assert(positions[i] > positions[i - 1], "TPDFReportBuilder.AddTableEx: positions must increase");
  Assert(positions.size() >= 2, "TPDFReportBuilder.AddTableEx: fewer than two positions");
  const size_t columns = positions.size() - 1;
  const int32_t L = renderer_->LineHeight;
  const int32_t S = MulDiv(rowSpacing, L, 100);
  const int32_t R = MulDiv(rowSpacing, L, 200);
  auto rowLine = [&](size_t index) { return index < rowLines.size() && rowLines[index]; };
  auto columnLine = [&](size_t index) { return index < columnLines_.size() && columnLines_[index]; };
  renderer_->SetBox(0, 0, 0);
  int32_t top = y_;
  const size_t rows = (cells.size() + columns - 1) / columns;
  for (size_t row = 1; row <= rows; ++row) {
    auto rowGroup = std::make_unique<TReportGroup>();
    if (row == 1 && rowLine(0))
      renderer_->AddLine(*rowGroup, positions.front(), R - L, positions.back(), R - L, clBlack, lineWidth);
    int32_t H = 0;
    for (size_t i = 1; i <= columns; ++i) {
      const size_t cell = (row - 1) * columns + (i - 1);
      if (cell >= cells.size()) break;
      int32_t left = positions[i - 1] + (columnLine(i - 1) ? inset : 0);
      int32_t right = positions[i] - inset;
      if (right - left < 1) right = left + 1;
      if (callback) callback(*this, static_cast<int32_t>(i), static_cast<int32_t>(row));
      renderer_->SetBox(left, 0, right);
      renderer_->RenderMarkup(*rowGroup, cells[cell] + u"<br>");
      H = std::max(H, renderer_->TextHeight());
    }
    renderer_->SetBox(0, 0, 0);
    const int32_t height = H + S;
    if (rowLine(row))
      renderer_->AddLine(*rowGroup, positions.front(), H + S + R - L, positions.back(), H + S + R - L, clBlack,
                         lineWidth);
    if (height > RemainingHeight()) {
      columnLines(positions, columnLines_, top, R, L, lineWidth);
      // The rows after the break keep the font, alignment and line height
      // the table was started with: a fresh default box would set the rest
      // of the table in another face and size than its first page.
      newPage(true, false, true, true);
      if (rowLine(row - 1))
        renderer_->AddLine(*rowGroup, positions.front(), R - L, positions.back(), R - L, clBlack, lineWidth);
      top = y_;
    }
    rowGroup->Offset(0, y_);
    if (page_) page_->AddItem(std::move(rowGroup));
    y_ += height;
  }
  columnLines(positions, columnLines_, top, R, L, lineWidth);
  NewGroup(spacingAfter, false);
}

void TPDFReportBuilder::AddTable(const std::vector<int32_t>& positions, const std::vector<UnicodeString>& cells,
                                 bool lines, int32_t rowSpacing, int32_t spacingAfter) {
  Assert(positions.size() >= 2, "TPDFReportBuilder.AddTable: fewer than two positions");
  std::vector<bool> columnLines(positions.size(), lines);
  std::vector<bool> rowLines(cells.size() / (positions.size() - 1) + 1, lines);
  AddTableEx(positions, cells, nullptr, columnLines, rowLines, 50, 300, rowSpacing, spacingAfter);
}

TMemoryStream* TPDFReportBuilder::Produce() {
  group_.reset();
  for (TReportPage* page : pages_) {
    page_ = page;
    PageHook(page->PageNumber);
  }
  report_->Draw();
  if (report_->Pages().empty()) return nullptr;
  return report_->Printer().Document();
}

void TPDFReportBuilder::SaveToStream(TMemoryStream* stream) {
  Assert(stream != nullptr, "TPDFReportBuilder.SaveToStream: nil stream");
  TMemoryStream* doc = Produce();
  // A report without pages makes no document: the target stays empty.
  if (!doc) return;
  doc->SaveToStream(*stream);
}

}  // namespace px
