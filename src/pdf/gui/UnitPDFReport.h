#pragma once
// The report engine: pages of positioned items (texts, lines, bitmaps,
// groups) drawn on the PDF producer's canvas, the text box that lays out
// marked-up text, and the builder that flows blocks and tables down the
// pages. Lengths are in 1/7200 inch, y growing downwards.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pdf/UnitFontInformation.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFPrinter.h"
#include "platform/gui/Graphics.h"

namespace px {

class TPDFReport;

// Vertical modes of a text.
constexpr int32_t vmNormal = 0;
constexpr int32_t vmSuperscript = 1;
constexpr int32_t vmSubscript = 2;

// Size in percent by vertical mode.
int32_t ReportSizePercent(int32_t verticalMode);

// The font information of a face, weight and italic flag, made once and kept
// for the life of the process.
const TFontInformation& ReportFontInformation(const std::string& name, int32_t weight, bool italic);

class TReportItem {
 public:
  virtual ~TReportItem() = default;
  // Draws the item; on a PDF canvas its layer is selected first.
  virtual void Draw(TPDFReport& report, TCanvas& canvas) = 0;
  virtual void Offset(int32_t dx, int32_t dy) = 0;
  virtual bool GetBounds(TRect& rect) = 0;
  int32_t Layer = -1;

 protected:
  void selectLayer(TCanvas& canvas) const;
};

class TReportLine : public TReportItem {
 public:
  void Draw(TPDFReport& report, TCanvas& canvas) override;
  void Offset(int32_t dx, int32_t dy) override;
  bool GetBounds(TRect& rect) override;
  TPoint P1, P2;
  TPen Pen;  // width in 1/7200 inch
};

class TReportText : public TReportItem {
 public:
  void Draw(TPDFReport& report, TCanvas& canvas) override;
  void Offset(int32_t dx, int32_t dy) override;
  bool GetBounds(TRect& rect) override;

  const TFont& Font() const { return font_; }
  void SetFont(const TFont& font);
  const UnicodeString& Text() const { return text_; }
  void SetText(const UnicodeString& text);
  int32_t CharSpacing() const { return charSpacing_; }
  void SetCharSpacing(int32_t spacing);
  int32_t VerticalMode() const { return verticalMode_; }
  void SetVerticalMode(int32_t mode);
  // Measures when needed.
  const std::vector<int32_t>& Advances();
  int32_t Ascent();
  int32_t Descent();
  void Measure();

  int32_t Left = 0;
  int32_t Top = 0;

 private:
  TFont font_;
  UnicodeString text_;
  int32_t charSpacing_ = 0;
  int32_t verticalMode_ = vmNormal;
  bool measured_ = false;
  std::vector<int32_t> advances_;
  int32_t ascent_ = 0;
  int32_t descent_ = 0;
};

class TReportBitmap : public TReportItem {
 public:
  void Draw(TPDFReport& report, TCanvas& canvas) override;
  void Offset(int32_t dx, int32_t dy) override;
  bool GetBounds(TRect& rect) override;
  const TBitmap& Bitmap() const { return bitmap_; }
  void SetBitmap(const TBitmap& bitmap) { bitmap_.Assign(bitmap); }
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;

 private:
  TBitmap bitmap_;
};

class TReportGroup : public TReportItem {
 public:
  void Draw(TPDFReport& report, TCanvas& canvas) override;
  void Offset(int32_t dx, int32_t dy) override;
  bool GetBounds(TRect& rect) override;
  TReportItem* Add(std::unique_ptr<TReportItem> item);
  const std::vector<std::unique_ptr<TReportItem>>& Items() const { return items_; }
  TRect Rect;

 private:
  std::vector<std::unique_ptr<TReportItem>> items_;
};

// A page of another PDF document drawn under or over a page's items.
struct TReportLinkedPage {
  std::string FileName;
  int32_t PageIndex = -1;  // 0-based
  TPDFCollection* Document = nullptr;  // an open document instead of a file
  bool Present() const { return Document != nullptr || !FileName.empty(); }
};

class TReportPage {
 public:
  TReportPage(int32_t number, int32_t width, int32_t height);
  TReportItem* AddItem(std::unique_ptr<TReportItem> item);
  int32_t PageNumber;
  int32_t Width, Height;
  std::unique_ptr<TReportGroup> Group;
  TReportLinkedPage Underlay;
  TReportLinkedPage Overlay;
};

class TPDFFileLink {
 public:
  explicit TPDFFileLink(const std::string& fileName);
  std::string FileName;
  std::unique_ptr<TPDFReader> Reader;
};

class TPDFReport {
 public:
  TPDFReport();
  ~TPDFReport();
  TPDFReport(const TPDFReport&) = delete;
  TPDFReport& operator=(const TPDFReport&) = delete;

  TReportPage* AddPage();
  const std::vector<std::unique_ptr<TReportPage>>& Pages() const { return pages_; }
  TPDFPrinter& Printer() { return *printer_; }
  // The reader of a linked file, opened once per file name.
  TPDFReader* Link(const std::string& fileName);
  void Draw();
  void DrawPage(TReportPage* page, TCanvas* canvas);

  int32_t PageWidth = 0;
  int32_t PageHeight = 0;
  int32_t Resolution = 600;
  // Handlers around the drawing; the first two may stop it by returning false.
  std::function<bool(TReportPage&)> OnBeforeDraw;
  std::function<bool(TReportPage&)> OnBeforePage;
  std::function<void()> OnAfterDraw;
  struct TLayer {
    std::string Name;
    bool Visible = true;
  };
  std::vector<TLayer> Layers;

 private:
  std::vector<std::unique_ptr<TReportPage>> pages_;
  std::unique_ptr<TPDFPrinter> printer_;
  std::vector<std::unique_ptr<TPDFFileLink>> links_;
  // A page of a linked document under or over a page's items.
  void drawLinkedPage(const TReportPage& page, const TReportLinkedPage& linked, TCanvas& canvas);
};

class TReportRenderer {
 public:
  TReportRenderer();
  void SetBox(int32_t left, int32_t top, int32_t right);
  int32_t LineBreak();
  int32_t TextHeight() const { return y_; }
  // Marked-up text: tags are ASCII, the text itself any UTF-16.
  void RenderMarkup(TReportGroup& group, const UnicodeString& text);
  void RenderText(TReportGroup& group, const UnicodeString& text);
  void AddLine(TReportGroup& group, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor colour, int32_t width);
  // The text style of another box: font, line height, alignment, spacing,
  // vertical mode, overlines and fallback face; the box and line are kept.
  void AssignStyle(const TReportRenderer& other);

  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  int32_t LineHeight = 1200;
  int32_t Alignment = 0;  // 0 left, 1 right, 2 centred
  int32_t CharSpacing = 0;
  int32_t VerticalMode = vmNormal;
  std::string FallbackFontName;
  std::string ReportLanguage;
  int32_t Overline = 0;  // 1 at lower-case height, 2 at capital height
  int32_t Left() const { return left_; }
  int32_t Top() const { return top_; }
  int32_t Width() const { return width_; }
  int32_t X() const { return x_; }

 private:
  void emitRun(TReportGroup& group, const UnicodeString& text);
  void layoutRun(TReportGroup& group, UnicodeString text);
  void decorate(TReportGroup& group, TReportText& item);

  std::vector<TReportItem*> line_;
  int32_t x_ = 0;
  int32_t width_ = 0;
  TFont font_;
  int32_t left_ = 0;
  int32_t top_ = 0;
  int32_t y_ = 0;
  std::string markupLanguage_;
};

class TPDFReportBuilder {
 public:
  TPDFReportBuilder();
  virtual ~TPDFReportBuilder();
  TPDFReportBuilder(const TPDFReportBuilder&) = delete;
  TPDFReportBuilder& operator=(const TPDFReportBuilder&) = delete;

  virtual void GetMargins(int32_t& top, int32_t& bottom);
  virtual void PageHook(int32_t pageNumber);
  virtual void ResetTextStyle();
  virtual void FinishPage();

  TReportPage* NewPage(bool resetStyle, bool setup, bool addPage);
  void NewGroup(int32_t lineSpacing, bool keepPage);
  void SetLineSpacing(int32_t percent);
  void Advance(int32_t dy) { y_ += dy; }
  int32_t GetPageWidth() const { return report_->PageWidth; }
  int32_t GetPageHeight() const { return report_->PageHeight; }
  int32_t RemainingHeight() const { return bottom_ - y_; }
  using TCellCallback = std::function<void(TPDFReportBuilder& builder, int32_t column, int32_t row)>;
  void AddTableEx(const std::vector<int32_t>& positions, const std::vector<UnicodeString>& cells,
                  const TCellCallback& callback, const std::vector<bool>& columnLines,
                  const std::vector<bool>& rowLines, int32_t lineWidth, int32_t inset, int32_t rowSpacing,
                  int32_t spacingAfter);
  void AddTable(const std::vector<int32_t>& positions, const std::vector<UnicodeString>& cells, bool lines,
                int32_t rowSpacing, int32_t spacingAfter);
  // The finished document, owned by the producer; nullptr for a report
  // without pages.
  TMemoryStream* Produce();
  // Produce, then the document into stream (left empty without pages).
  void SaveToStream(TMemoryStream* stream);

  TReportRenderer& Renderer() { return *renderer_; }
  TReportGroup& Group() { return *group_; }
  TPDFReport& Report() { return *report_; }
  TReportPage* CurrentPage() { return page_; }
  int32_t Y() const { return y_; }
  int32_t Bottom() const { return bottom_; }
  std::string ReportLanguage;

 private:
  std::unique_ptr<TReportRenderer> newRenderer() const;
  TReportPage* newPage(bool resetStyle, bool setup, bool addPage, bool keepStyle);
  void completePage();
  void columnLines(const std::vector<int32_t>& positions, const std::vector<bool>& lines, int32_t top, int32_t r,
                   int32_t l, int32_t width);

  std::unique_ptr<TReportRenderer> renderer_;
  std::unique_ptr<TPDFReport> report_;
  TReportPage* page_ = nullptr;
  std::vector<TReportPage*> pages_;
  std::unique_ptr<TReportGroup> group_;
  int32_t y_ = 0;
  int32_t bottom_ = 0;
  int32_t defaultSpacing_ = 100;
  bool finishing_ = false;
};

}  // namespace px
