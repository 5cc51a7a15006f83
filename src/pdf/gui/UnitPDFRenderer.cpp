#include "pdf/gui/UnitPDFRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <QImage>
#include <QPainter>

#include "pdf/UnitPDFUtilities.h"
#include "pdf/gui/UnitPDFColorSpaces.h"
#include "platform/core/Format.h"

namespace px {

namespace {

// Device coordinates stay well inside what the raster engine handles; points
// of wild matrices are pinned to this bound instead of wrapping around.
constexpr double MaxDeviceCoordinate = 1 << 22;
// Em heights in device pixels beyond which glyphs are only advanced.
constexpr int64_t MaxGlyphPixels = 1 << 14;

int32_t deviceRound(double v) {
  if (!std::isfinite(v)) return v < 0 ? -static_cast<int32_t>(MaxDeviceCoordinate) : static_cast<int32_t>(MaxDeviceCoordinate);
  return static_cast<int32_t>(std::lround(std::clamp(v, -MaxDeviceCoordinate, MaxDeviceCoordinate)));
}

TColor plainColor(uint32_t color) { return static_cast<TColor>(color & 0xFFFFFF); }

[[noreturn]] void fail(const std::string& text) { throw EPDFException(text); }

// Rounds away from nothing: the internal text mode for each Tr value.
constexpr uint8_t TextModes[8] = {2, 1, 3, 0, 6, 5, 7, 4};

bool readNumbers(TPDFCollection* collection, TPDFArray* array, std::vector<double>& values) {
  values.clear();
  if (!array) return false;
  for (int32_t i = 0; i < array->Count(); ++i) {
    auto* n = dynamic_cast<TPDFNumeric*>(array->GetObject(collection, i));
    if (!n) return false;
    values.push_back(static_cast<double>(n->AsFloat()));
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Inline images

struct TPDFRenderer::InlineImageCache {
  struct Item {
    int32_t Start = 0;  // just after "BI"
    std::unique_ptr<TPDFDictionary> Dictionary;
    std::unique_ptr<TPDFResImage> Image;
    int32_t End = 0;  // where reading resumes
  };
  std::vector<Item> Items;
  Item* Find(int32_t start) {
    for (auto& item : Items)
      if (item.Start == start) return &item;
    return nullptr;
  }
};

// ---------------------------------------------------------------------------
// Life cycle

TPDFRenderer::TPDFRenderer() {
  InitPDFColorSpaces();
  OCStates = CreateMemDataSet();
  OCStates->AddField(mftInt64, "KEY", 0);
  OCStates->AddField(mftInteger, "STATE", 0);
  OCStates->AddFieldIndex(0, mitUnorderedUnique);
}

TPDFRenderer::~TPDFRenderer() = default;

void TPDFRenderer::SetCollection(TPDFCollection* collection) {
  collection_ = collection;
  page_ = nullptr;
  OCStates->Clear();
  inlineImages_.clear();
}

void TPDFRenderer::warning(const std::string& text) {
  if (collection_) collection_->Warning(text);
}

// ---------------------------------------------------------------------------
// Pages

void TPDFRenderer::GetPageSizeInPixels(int32_t zoomPercent, int32_t& width, int32_t& height) {
  width = height = 0;
  if (!collection_ || PageNumber <= 0) return;
  const int32_t ppi = DC ? DC->PixelsPerInch() : 96;
  TPDFBox box;
  if (!collection_->GetCropBox(PageNumber, box)) return;
  const double w = std::abs(static_cast<double>(box.Right) - box.Left) * ppi * zoomPercent * 0.01 / 72;
  const double h = std::abs(static_cast<double>(box.Top) - box.Bottom) * ppi * zoomPercent * 0.01 / 72;
  width = deviceRound(w);
  height = deviceRound(h);
  int32_t rotate = 0;
  collection_->GetRotate(PageNumber, rotate);
  if (rotate == 90 || rotate == 270) std::swap(width, height);
}

void TPDFRenderer::Render(const TPDFPageBox& box, const TRect& rect, int32_t supersampling) {
  Assert(collection_ != nullptr, "TPDFRenderer.Render: No PDF Collection.");
  Assert(DC != nullptr, "TPDFRenderer.Render: No destination canvas.");
  int32_t rotate = 0;
  collection_->GetRotate(PageNumber, rotate);
  const int32_t rotation = rotate == 90 ? 1 : rotate == 180 ? 2 : rotate == 270 ? 3 : 0;
  const int64_t w = std::max(0, rect.Width()), h = std::max(0, rect.Height());
  int32_t n = std::min(supersampling, 4);
  // The bitmap holds n² times the target's pixels: a smaller factor keeps
  // it inside the budget, and a target beyond the budget is refused.
  while (n > 1 && w * h * n * n > MaxPDFRenderPixels) --n;
  if (n <= 1) {
    if (supersampling > 1 && w * h > MaxPDFRenderPixels)
      fail("TPDFRenderer: Page too large to render (" + std::to_string(w) + " x " + std::to_string(h) + ").");
    RenderRotated(box, rect, rotation);
    resources_.clear();
    return;
  }
  // The bitmaps stay with the renderer for the next page of the same size:
  // allocating and clearing one of the size of several pages costs more than
  // drawing a page of text.
  if (!supersampled_ || supersampled_->Width() != w * n || supersampled_->Height() != h * n)
    supersampled_ = std::make_unique<TBitmap>(static_cast<int32_t>(w * n), static_cast<int32_t>(h * n), pf32bit);
  if (!shrunk_) shrunk_ = std::make_unique<TBitmap>(0, 0, pf32bit);
  TBitmap& bitmap = *supersampled_;
  // The page is painted as an opaque 32-bit image over the bitmap's own
  // pixels: Qt's fills and smoothed edges have their fast paths for that
  // format only (24-bit and straight-alpha surfaces take a generic path that
  // converts every span and hands it to worker threads).
  for (int32_t y = 0; y < bitmap.Height(); ++y) std::memset(bitmap.ScanLine(y), 0xFF, bitmap.Width() * 4);
  TCanvasDevice* target = DC;
  pixelSize_ = n;
  try {
    if (bitmap.Empty()) {
      DC = bitmap.Canvas().Device();
      RenderRotated(box, TRect{0, 0, bitmap.Width(), bitmap.Height()}, rotation);
    } else {
      QImage surface(bitmap.ScanLine(0), bitmap.Width(), bitmap.Height(), bitmap.BytesPerLine(),
                     QImage::Format_RGB32);
      QPainter painter(&surface);
      TQtPainterDevice device(&painter);
      device.SetTargetImage(&surface);
      DC = &device;
      RenderRotated(box, TRect{0, 0, bitmap.Width(), bitmap.Height()}, rotation);
    }
    DC = target;
  } catch (...) {
    DC = target;
    pixelSize_ = 1;
    resources_.clear();
    throw;
  }
  pixelSize_ = 1;
  resources_.clear();
  ShrinkBitmapInto(bitmap, n, *shrunk_);
  TDeviceState state;
  DC->DrawBitmap(state, rect, *shrunk_, TRect{0, 0, shrunk_->Width(), shrunk_->Height()}, TBlendMode{});
}

void TPDFRenderer::RenderRotated(const TPDFPageBox& box, const TRect& rect, int32_t rotation) {
  Assert(collection_ != nullptr, "TPDFRenderer.Render: No PDF Collection.");
  Assert(DC != nullptr, "TPDFRenderer.Render: No destination canvas.");
  page_ = collection_->GetPage(PageNumber);
  resources_.clear();
  // The inherited resources: the topmost ancestor's first, the page's last.
  std::vector<TPDFDictionary*> chain;
  for (TPDFDictionary* node = page_; node && chain.size() < 64;) {
    chain.push_back(node);
    auto* parent = node->GetDictionary(collection_, "Parent");
    node = parent && parent->GetName(collection_, "Type") == "Pages" ? parent : nullptr;
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    if (auto* res = dynamic_cast<TPDFDictionary*>((*it)->GetObject(collection_, "Resources"))) resources_.push_back(res);
  visibilityStack_.clear();
  visible_ = true;
  setupPageMatrix(box, rect, rotation);
  // The page and every level that narrows the clip sit between a save and a
  // restore of the device, so the device is left as it was found.
  DC->SaveState();
  try {
    DC->IntersectClipRect(rect);
    renderPageContent();
  } catch (...) {
    DC->RestoreState();
    resources_.clear();
    throw;
  }
  DC->RestoreState();
  resources_.clear();
}

void TPDFRenderer::setupPageMatrix(const TPDFPageBox& box0, const TRect& rect, int32_t rotation) {
  TPDFBox box = box0;
  if (box.Left == box.Right || box.Bottom == box.Top) {
    if (!collection_->GetCropBox(PageNumber, box) || box.Left == box.Right || box.Bottom == box.Top)
      fail("TPDFRenderer: Page has no page box.");
  }
  const double L = box.Left, B = box.Bottom, R = box.Right, T = box.Top;
  const double W = static_cast<double>(rect.Right) - rect.Left, H = static_cast<double>(rect.Bottom) - rect.Top;
  TPDFRenderMatrix m{0, 0, 0, 0, 0, 0};
  switch (rotation & 3) {
    case 0:
      m.a = W / (R - L);
      m.d = H / (B - T);
      m.e = rect.Left - m.a * L;
      m.f = rect.Top - m.d * T;
      break;
    case 1:
      m.b = H / (R - L);
      m.c = W / (T - B);
      m.e = rect.Right - m.c * T;
      m.f = rect.Top - m.b * L;
      break;
    case 2:
      m.a = W / (L - R);
      m.d = H / (T - B);
      m.e = rect.Right - m.a * L;
      m.f = rect.Bottom - m.d * T;
      break;
    default:
      m.b = H / (L - R);
      m.c = W / (B - T);
      m.e = rect.Left - m.c * T;
      m.f = rect.Bottom - m.b * L;
      break;
  }
  pageMatrix_ = m;
}

void TPDFRenderer::resetGraphicState() {
  if (states_[0].OwnClip) DC->RestoreState();
  level_ = 0;
  TPDFGraphicState& s = states_[0];
  s = TPDFGraphicState{};
  s.CTM = pageMatrix_;
  s.StrokeColorSpace = s.FillColorSpace = PDFDeviceColorSpace("DeviceGray");
  // A page starts without a font and outside any text object: a font kept
  // from an earlier page may belong to a document that is gone.
  path_.clear();
}

void TPDFRenderer::popToLevel0() {
  while (level_ > 0) PopGraphicState();
  if (states_[0].OwnClip) {
    DC->RestoreState();
    states_[0].OwnClip = false;
  }
}

void TPDFRenderer::renderPageContent() {
  resetGraphicState();
  haveLogFont_ = false;
  try {
    TPDFObject* contents = page_->GetObject(collection_, "Contents");
    if (auto* array = dynamic_cast<TPDFArray*>(contents)) {
      TPDFBuffer joined;
      for (int32_t i = 0; i < array->Count(); ++i) {
        auto* stream = array->GetObject<TPDFDictionary>(collection_, i);
        if (!stream) continue;
        stream->SetStreamState(2, collection_);
        joined.insert(joined.end(), stream->StreamData().begin(), stream->StreamData().end());
        joined.push_back(' ');
      }
      ExecuteContent(joined, page_);
    } else if (auto* stream = dynamic_cast<TPDFDictionary*>(contents)) {
      if (stream->StreamState() == 0) fail("TPDFRenderer: Failed to read page content (1).");
      stream->SetStreamState(2, collection_);
      ExecuteContent(stream->StreamData(), page_);
    } else if (contents) {
      fail("TPDFRenderer: Failed to read page content (1).");
    }
    if (!operands_.empty()) fail("TPDFRenderer: Page content incorrect.");
    drawAnnotations();
  } catch (...) {
    clearOperands();
    path_.clear();
    popToLevel0();
    throw;
  }
  clearOperands();
  popToLevel0();
}

void TPDFRenderer::drawAnnotations() {
  auto* annots = dynamic_cast<TPDFArray*>(page_->GetObject(collection_, "Annots"));
  if (!annots) return;
  for (int32_t i = 0; i < annots->Count(); ++i) {
    auto* annot = dynamic_cast<TPDFDictionary*>(annots->GetObject(collection_, i));
    if (!annot) continue;
    popToLevel0();
    resetGraphicState();
    auto* ap = dynamic_cast<TPDFDictionary*>(annot->GetObject(collection_, "AP"));
    if (!ap || !dynamic_cast<TPDFReference*>(ap->Find("N"))) continue;
    auto* stream = ap->GetObject<TPDFDictionary>(collection_, "N");
    if (!stream || stream->StreamState() == 0) continue;
    auto form = CreateXObject(collection_, static_cast<uint8_t>(Options), stream);
    auto* formResource = dynamic_cast<TPDFResForm*>(form.get());
    PushGraphicState();
    std::vector<double> rect;
    if (!readNumbers(collection_, dynamic_cast<TPDFArray*>(annot->GetObject(collection_, "Rect")), rect) ||
        rect.size() != 4)
      fail("Annot Rect: invalid Rect.");
    TPDFGraphicState& s = states_[level_];
    s.CTM = TPDFRenderMatrix{1, 0, 0, 1, rect[0], rect[1]} * s.CTM;
    TPDFDictionary* resources = nullptr;
    if (formResource) {
      const auto& m = formResource->Matrix;
      s.CTM = TPDFRenderMatrix{m[0], m[1], m[2], m[3], m[4], m[5]} * s.CTM;
      resources = formResource->Resources;
    }
    if (resources) pushResources(resources);
    clearOperands();
    stream->SetStreamState(2, collection_);
    ExecuteContent(stream->StreamData(), stream);
    if (resources) popResources();
    PopGraphicState();
  }
}

void TPDFRenderer::pushResources(TPDFDictionary* resources) { resources_.push_back(resources); }
void TPDFRenderer::popResources() {
  if (!resources_.empty()) resources_.pop_back();
}

TPDFObject* TPDFRenderer::findResourceObject(std::string_view category, std::string_view name) {
  for (auto it = resources_.rbegin(); it != resources_.rend(); ++it) {
    auto* sub = dynamic_cast<TPDFDictionary*>((*it)->GetObject(collection_, category));
    if (!sub) continue;
    if (TPDFObject* value = sub->GetObject(collection_, name)) return value;
  }
  return nullptr;
}

TPDFResource* TPDFRenderer::FindResource(std::string_view category, std::string_view name) {
  TPDFObject* object = findResourceObject(category, name);
  if (!dynamic_cast<TPDFDictionary*>(object))
    fail(Format("PDF Renderer: %s resource not found: %s on page %d", std::string(category), std::string(name),
                page_ ? collection_->IndexOfPage(page_) : PageNumber));
  return AttachedResource(category, collection_, static_cast<uint8_t>(Options), object);
}

// ---------------------------------------------------------------------------
// The interpreter's main loop

const std::unordered_map<std::string, TPDFRenderer::Handler>& TPDFRenderer::operatorTable() {
  static const std::unordered_map<std::string, Handler> table = {
      {"q", &TPDFRenderer::opPush},
      {"Q", &TPDFRenderer::opPop},
      {"cm", &TPDFRenderer::opConcat},
      {"w", &TPDFRenderer::opLineWidth},
      {"J", &TPDFRenderer::opLineCap},
      {"j", &TPDFRenderer::opLineJoin},
      {"M", &TPDFRenderer::opMiterLimit},
      {"d", &TPDFRenderer::opIgnore},
      {"ri", &TPDFRenderer::opIgnoreOne},
      {"i", &TPDFRenderer::opIgnore},
      {"gs", &TPDFRenderer::opExtGState},
      {"m", &TPDFRenderer::opMoveTo},
      {"l", &TPDFRenderer::opLineTo},
      {"c", &TPDFRenderer::opCurveTo},
      {"v", &TPDFRenderer::opCurveToV},
      {"y", &TPDFRenderer::opCurveToY},
      {"h", &TPDFRenderer::opClose},
      {"re", &TPDFRenderer::opRectangle},
      {"S", &TPDFRenderer::opStroke},
      {"s", &TPDFRenderer::opCloseStroke},
      {"f", &TPDFRenderer::opFill},
      {"F", &TPDFRenderer::opFill},
      {"f*", &TPDFRenderer::opFillEvenOdd},
      {"B", &TPDFRenderer::opFillStroke},
      {"B*", &TPDFRenderer::opFillStrokeEvenOdd},
      {"b", &TPDFRenderer::opCloseFillStroke},
      {"b*", &TPDFRenderer::opCloseFillStrokeEvenOdd},
      {"n", &TPDFRenderer::opEndPath},
      {"W", &TPDFRenderer::opClip},
      {"W*", &TPDFRenderer::opClipEvenOdd},
      {"CS", &TPDFRenderer::opStrokeColorSpace},
      {"cs", &TPDFRenderer::opFillColorSpace},
      {"SC", &TPDFRenderer::opStrokeColor},
      {"SCN", &TPDFRenderer::opStrokeColor},
      {"sc", &TPDFRenderer::opFillColor},
      {"scn", &TPDFRenderer::opFillColor},
      {"G", &TPDFRenderer::opStrokeGray},
      {"g", &TPDFRenderer::opFillGray},
      {"RG", &TPDFRenderer::opStrokeRGB},
      {"rg", &TPDFRenderer::opFillRGB},
      {"K", &TPDFRenderer::opStrokeCMYK},
      {"k", &TPDFRenderer::opFillCMYK},
      {"BT", &TPDFRenderer::opBeginText},
      {"ET", &TPDFRenderer::opEndText},
      {"Tc", &TPDFRenderer::opCharSpacing},
      {"Tw", &TPDFRenderer::opWordSpacing},
      {"Tz", &TPDFRenderer::opHorizontalScaling},
      {"TL", &TPDFRenderer::opLeading},
      {"Tf", &TPDFRenderer::opFont},
      {"Tr", &TPDFRenderer::opTextMode},
      {"Ts", &TPDFRenderer::opRise},
      {"Td", &TPDFRenderer::opTextMove},
      {"TD", &TPDFRenderer::opTextMoveLeading},
      {"Tm", &TPDFRenderer::opTextMatrix},
      {"T*", &TPDFRenderer::opNextLine},
      {"Tj", &TPDFRenderer::opShow},
      {"TJ", &TPDFRenderer::opShowArray},
      {"'", &TPDFRenderer::opNextLineShow},
      {"\"", &TPDFRenderer::opNextLineSpacingShow},
      {"d0", &TPDFRenderer::opIgnore},
      {"d1", &TPDFRenderer::opIgnore},
      {"Do", &TPDFRenderer::opXObject},
      {"BI", &TPDFRenderer::opInlineImage},
      {"BDC", &TPDFRenderer::opBeginMarkedContentProps},
      {"BMC", &TPDFRenderer::opBeginMarkedContent},
      {"EMC", &TPDFRenderer::opEndMarkedContent},
      {"MP", &TPDFRenderer::opIgnore},
      {"DP", &TPDFRenderer::opIgnore},
      {"BX", &TPDFRenderer::opIgnore},
      {"EX", &TPDFRenderer::opIgnore},
      {"sh", &TPDFRenderer::opShading},
  };
  return table;
}

void TPDFRenderer::ExecuteContent(const TPDFBuffer& data, TPDFDictionary* contentDictionary) {
  struct Restore {
    TPDFRenderer& r;
    TPDFDictionary* dictionary;
    const TPDFBuffer* data;
    int32_t* pos;
    std::string op;
    ~Restore() {
      r.contentDictionary_ = dictionary;
      r.data_ = data;
      r.pos_ = pos;
      r.op_ = op;
    }
  } restore{*this, contentDictionary_, data_, pos_, op_};
  contentDictionary_ = contentDictionary;
  int32_t pos = 0;
  data_ = &data;
  pos_ = &pos;
  const auto size = static_cast<int64_t>(data.size());
  const auto& table = operatorTable();
  SkipWhiteSpaceAndComments(data, pos);
  while (pos < size) {
    const int32_t before = pos;
    std::unique_ptr<TPDFObject> token = ParseContentToken(data, pos, true);
    if (pos <= before) RaisePDFReadError(pos, "content token without bytes");
    if (auto* command = dynamic_cast<TPDFCommand*>(token.get())) {
      auto it = table.find(command->Text);
      if (it == table.end()) fail("Error parsing PDF content: Unknown command: " + command->Text);
      op_ = command->Text;
      token.reset();
      (this->*(it->second))();
      clearOperands();
    } else {
      if (operands_.size() >= 10) fail("TPDFRenderer: command stack overflow.");
      operands_.push_back(std::move(token));
    }
    SkipWhiteSpaceAndComments(data, pos);
  }
}

// ---------------------------------------------------------------------------
// Operands

void TPDFRenderer::needOperands(size_t count) {
  if (operands_.size() != count) fail("Error parsing PDF content: invalid parameters for command: " + op_);
}

double TPDFRenderer::number(size_t index) {
  auto* n = dynamic_cast<TPDFNumeric*>(operands_[index].get());
  if (!n) RaisePDFReadError(0, "object is of unexpected type");
  return static_cast<double>(n->AsFloat());
}

int32_t TPDFRenderer::integer(size_t index) {
  auto* n = dynamic_cast<TPDFInteger*>(operands_[index].get());
  if (!n) RaisePDFReadError(0, "object is of unexpected type");
  return n->Value;
}

const std::string& TPDFRenderer::name(size_t index) {
  auto* n = dynamic_cast<TPDFName*>(operands_[index].get());
  if (!n) RaisePDFReadError(0, "object is of unexpected type");
  return n->Name;
}

TPDFString* TPDFRenderer::string(size_t index) {
  auto* s = dynamic_cast<TPDFString*>(operands_[index].get());
  if (!s) RaisePDFReadError(0, "object is of unexpected type");
  return s;
}

// ---------------------------------------------------------------------------
// Graphics state

void TPDFRenderer::PushGraphicState() {
  if (level_ >= 29) fail("TPDFRenderer.PushGraphicState: Stack overflow.");
  states_[level_ + 1] = states_[level_];
  states_[level_ + 1].OwnClip = false;
  ++level_;
}

void TPDFRenderer::PopGraphicState() {
  if (level_ == 0) return;
  if (states_[level_].Text.BTCount != states_[level_ - 1].Text.BTCount)
    warning("TPDFRenderer.PushGraphicState: Stack pop failed due to nested BT.");
  if (states_[level_].OwnClip && DC) DC->RestoreState();
  states_[level_].OwnClip = false;
  --level_;
}

void TPDFRenderer::opPush() {
  needOperands(0);
  PushGraphicState();
}
void TPDFRenderer::opPop() {
  needOperands(0);
  PopGraphicState();
}
void TPDFRenderer::opConcat() {
  needOperands(6);
  TPDFRenderMatrix m{number(0), number(1), number(2), number(3), number(4), number(5)};
  states_[level_].CTM = m * states_[level_].CTM;
}
void TPDFRenderer::opLineWidth() {
  needOperands(1);
  states_[level_].LineWidth = static_cast<float>(number(0));
}
void TPDFRenderer::opLineCap() {
  needOperands(1);
  const int32_t v = integer(0);
  if (v < 0 || v > 2) fail("Error parsing PDF content: invalid parameters for command: " + op_);
  states_[level_].LineCap = v;
}
void TPDFRenderer::opLineJoin() {
  needOperands(1);
  const int32_t v = integer(0);
  if (v < 0 || v > 2) fail("Error parsing PDF content: invalid parameters for command: " + op_);
  states_[level_].LineJoin = v;
}
void TPDFRenderer::opMiterLimit() {
  needOperands(1);
  states_[level_].MiterLimit = static_cast<float>(number(0));
}
void TPDFRenderer::opIgnore() {}
void TPDFRenderer::opIgnoreOne() { needOperands(1); }

void TPDFRenderer::opExtGState() {
  needOperands(1);
  const std::string key = name(0);
  auto* dictionary = dynamic_cast<TPDFDictionary*>(findResourceObject("ExtGState", key));
  if (!dictionary) {
    // A missing state leaves the current one as it is.
    warning(Format("PDF Renderer: %s resource not found: %s on page %d", std::string("ExtGState"), key,
                   page_ ? collection_->IndexOfPage(page_) : PageNumber));
    return;
  }
  TPDFGraphicState& s = states_[level_];
  auto num = [&](TPDFObject* o, double& out) {
    if (auto* n = dynamic_cast<TPDFNumeric*>(o)) {
      out = static_cast<double>(n->AsFloat());
      return true;
    }
    return false;
  };
  for (int32_t i = 0; i < dictionary->Count(); ++i) {
    const std::string& k = dictionary->GetKey(i);
    TPDFObject* value = dictionary->GetObject(collection_, k);
    double v = 0;
    if (k == "LW") {
      if (num(value, v)) s.LineWidth = static_cast<float>(v);
    } else if (k == "LC") {
      // Values outside the three known ones are pinned to the nearest.
      if (auto* n = dynamic_cast<TPDFInteger*>(value)) s.LineCap = std::clamp(n->Value, 0, 2);
    } else if (k == "LJ") {
      if (auto* n = dynamic_cast<TPDFInteger*>(value)) s.LineJoin = std::clamp(n->Value, 0, 2);
    } else if (k == "ML") {
      if (num(value, v)) s.MiterLimit = static_cast<float>(v);
    } else if (k == "CA") {
      if (num(value, v)) s.StrokeAlpha = static_cast<float>(v);
    } else if (k == "ca") {
      if (num(value, v)) s.FillAlpha = static_cast<float>(v);
    } else if (k == "Font") {
      auto* array = dynamic_cast<TPDFArray*>(value);
      if (!array || array->Count() != 2) fail("Error parsing PDF content: invalid parameters for command: " + op_);
      TPDFObject* font = array->GetItem(0);
      TPDFResFont* resource = nullptr;
      if (auto* fontName = dynamic_cast<TPDFName*>(font)) {
        resource = dynamic_cast<TPDFResFont*>(FindResource("Font", fontName->Name));
      } else if (auto* fontDictionary = dynamic_cast<TPDFDictionary*>(array->GetObject(collection_, 0))) {
        resource = dynamic_cast<TPDFResFont*>(
            AttachedResource("Font", collection_, static_cast<uint8_t>(Options), fontDictionary));
      } else {
        continue;
      }
      auto* size = dynamic_cast<TPDFNumeric*>(array->GetObject(collection_, 1));
      if (!size) RaisePDFReadError(0, "object is of unexpected type");
      s.Text.Font = resource;
      s.Text.Size = static_cast<float>(size->AsFloat());
    }
  }
}

// ---------------------------------------------------------------------------
// Paths

TPoint TPDFRenderer::toDevice(double x, double y) const {
  const TPDFRenderMatrix& m = states_[level_].CTM;
  return {deviceRound(m.a * x + m.c * y + m.e), deviceRound(m.b * x + m.d * y + m.f)};
}

void TPDFRenderer::addEntry(const TPDFPathEntry& entry) {
  if (path_.size() == path_.capacity()) path_.reserve(path_.size() + path_.size() / 2 + 4);
  path_.push_back(entry);
}

void TPDFRenderer::addMoveTo(TPoint p) {
  if (!path_.empty() && path_.back().Kind == TPDFPathEntry::MoveTo) {
    path_.back().Points[0] = p;
    return;
  }
  TPDFPathEntry e;
  e.Kind = TPDFPathEntry::MoveTo;
  e.Points[0] = p;
  addEntry(e);
}

void TPDFRenderer::requireStart(const char* op) {
  if (path_.empty() || path_.back().Kind == TPDFPathEntry::Close)
    fail(std::string("TPDFRenderer: Pathbuilding: Need a start (") + op + ").");
}

void TPDFRenderer::closePath() {
  if (path_.empty()) return;
  if (path_.back().Kind == TPDFPathEntry::MoveTo) {
    path_.pop_back();
    return;
  }
  TPDFPathEntry e;
  e.Kind = TPDFPathEntry::Close;
  addEntry(e);
}

void TPDFRenderer::opMoveTo() {
  needOperands(2);
  addMoveTo(toDevice(number(0), number(1)));
}
void TPDFRenderer::opLineTo() {
  needOperands(2);
  requireStart("l");
  TPDFPathEntry e;
  e.Kind = TPDFPathEntry::LineTo;
  e.Points[0] = toDevice(number(0), number(1));
  addEntry(e);
}
void TPDFRenderer::opCurveTo() {
  needOperands(6);
  requireStart("c");
  TPDFPathEntry e;
  e.Kind = TPDFPathEntry::CurveTo;
  e.Points[0] = toDevice(number(0), number(1));
  e.Points[1] = toDevice(number(2), number(3));
  e.Points[2] = toDevice(number(4), number(5));
  addEntry(e);
}
void TPDFRenderer::opCurveToV() {
  needOperands(4);
  requireStart("v");
  const TPDFPathEntry& last = path_.back();
  TPDFPathEntry e;
  e.Kind = TPDFPathEntry::CurveTo;
  // The current point: a curve's end point; every other entry (a glyph run
  // included) has it as its first point.
  e.Points[0] = last.Kind == TPDFPathEntry::CurveTo ? last.Points[2] : last.Points[0];
  e.Points[1] = toDevice(number(0), number(1));
  e.Points[2] = toDevice(number(2), number(3));
  addEntry(e);
}
void TPDFRenderer::opCurveToY() {
  needOperands(4);
  requireStart("y");
  TPDFPathEntry e;
  e.Kind = TPDFPathEntry::CurveTo;
  e.Points[0] = toDevice(number(0), number(1));
  e.Points[1] = e.Points[2] = toDevice(number(2), number(3));
  addEntry(e);
}
void TPDFRenderer::opClose() {
  needOperands(0);
  closePath();
}
void TPDFRenderer::opRectangle() {
  needOperands(4);
  const double x = number(0), y = number(1), w = number(2), h = number(3);
  addMoveTo(toDevice(x, y));
  for (TPoint p : {toDevice(x + w, y), toDevice(x + w, y + h), toDevice(x, y + h)}) {
    TPDFPathEntry e;
    e.Kind = TPDFPathEntry::LineTo;
    e.Points[0] = p;
    addEntry(e);
  }
  TPDFPathEntry close;
  close.Kind = TPDFPathEntry::Close;
  addEntry(close);
}

void TPDFRenderer::opStroke() {
  needOperands(0);
  paintPath(1);
}
void TPDFRenderer::opCloseStroke() {
  needOperands(0);
  closePath();
  paintPath(1);
}
void TPDFRenderer::opFill() {
  needOperands(0);
  paintPath(2);
}
void TPDFRenderer::opFillEvenOdd() {
  needOperands(0);
  paintPath(2 | 4);
}
void TPDFRenderer::opFillStroke() {
  needOperands(0);
  paintPath(1 | 2);
}
void TPDFRenderer::opFillStrokeEvenOdd() {
  needOperands(0);
  paintPath(1 | 2 | 4);
}
void TPDFRenderer::opCloseFillStroke() {
  needOperands(0);
  closePath();
  paintPath(1 | 2);
}
void TPDFRenderer::opCloseFillStrokeEvenOdd() {
  needOperands(0);
  closePath();
  paintPath(1 | 2 | 4);
}
void TPDFRenderer::opEndPath() {
  needOperands(0);
  path_.clear();
}
void TPDFRenderer::opClip() {
  needOperands(0);
  clipPath(false);
}
void TPDFRenderer::opClipEvenOdd() {
  needOperands(0);
  clipPath(true);
}

TDeviceState TPDFRenderer::deviceState() const {
  const TPDFGraphicState& s = states_[level_];
  TDeviceState st;
  st.Pen.Color = plainColor(s.StrokeColor);
  st.Pen.Geometric = true;
  const double scale = std::sqrt(s.CTM.a * s.CTM.a + s.CTM.b * s.CTM.b) * s.LineWidth;
  st.Pen.Width = std::isfinite(scale) ? static_cast<int32_t>(std::lround(std::clamp(scale, 0.0, 1e6))) : 0;
  st.Pen.EndCap = static_cast<TPenEndCap>(std::clamp(s.LineCap, 0, 2));
  st.Pen.Join = static_cast<TPenJoin>(std::clamp(s.LineJoin, 0, 2));
  st.Pen.MiterLimit = s.MiterLimit;
  st.Brush.Color = plainColor(s.FillColor);
  st.Brush.Style = bsSolid;
  st.Font = deviceFont_;
  st.TransparentText = true;
  st.TextAlign = TA_BASELINE;
  st.PolyFillMode = WINDING;
  st.AntiAlias = true;
  return st;
}

void TPDFRenderer::buildDevicePath() {
  TDeviceState st = deviceState();
  DC->BeginPath();
  for (const TPDFPathEntry& e : path_) {
    switch (e.Kind) {
      case TPDFPathEntry::MoveTo: DC->MoveTo(st, e.Points[0]); break;
      case TPDFPathEntry::LineTo: DC->LineTo(st, e.Points[0]); break;
      case TPDFPathEntry::CurveTo: DC->BezierTo(st, e.Points[0], e.Points[1], e.Points[2]); break;
      case TPDFPathEntry::Close: DC->CloseFigure(); break;
      case TPDFPathEntry::GlyphRun:
        DC->TextOut(st, e.Points[0].X, e.Points[0].Y, e.GlyphIndex ? ETO_GLYPH_INDEX : 0, nullptr,
                    UnicodeString(e.Units, e.UnitCount));
        break;
    }
  }
  DC->EndPath();
}

void TPDFRenderer::paintPath(uint32_t flags) {
  if (!visible_ || path_.empty()) {
    path_.clear();
    return;
  }
  TDeviceState st = deviceState();
  st.PolyFillMode = (flags & 4) ? ALTERNATE : WINDING;
  buildDevicePath();
  if ((flags & 3) == 3) DC->StrokeAndFillPath(st);
  else if (flags & 1) DC->StrokePath(st);
  else DC->FillPath(st);
  path_.clear();
}

void TPDFRenderer::clipPath(bool evenOdd) {
  if (path_.empty()) return;
  TPDFGraphicState& s = states_[level_];
  if (!s.OwnClip) {
    DC->SaveState();
    s.OwnClip = true;
  }
  TDeviceState st = deviceState();
  st.PolyFillMode = evenOdd ? ALTERNATE : WINDING;
  buildDevicePath();
  DC->ClipPath(st);
}

// ---------------------------------------------------------------------------
// Colour

TPDFColorSpace* TPDFRenderer::colorSpaceByName(const std::string& spaceName) {
  if (spaceName == "Pattern") return PDFPatternColorSpace();
  if (TPDFColorSpace* space = PDFDeviceColorSpace(spaceName)) return space;
  TPDFObject* object = findResourceObject("ColorSpace", spaceName);
  TPDFColorSpace* space = object ? PDFColorSpaceFactory(collection_, object) : nullptr;
  if (!space) {
    std::string text = "Unknown Colorspace (using blackness): " + spaceName;
    if (object) text += " = " + AsPDFText(*object);
    warning(text);
  }
  return space;
}

uint32_t TPDFRenderer::evaluateColor(TPDFColorSpace* space) {
  if (!space) return 0;
  std::vector<TPDFObject*> values;
  values.reserve(operands_.size());
  for (auto& o : operands_) values.push_back(o.get());
  return space->GetColor(values);
}

void TPDFRenderer::opStrokeColorSpace() {
  needOperands(1);
  states_[level_].StrokeColorSpace = colorSpaceByName(name(0));
}
void TPDFRenderer::opFillColorSpace() {
  needOperands(1);
  states_[level_].FillColorSpace = colorSpaceByName(name(0));
}
void TPDFRenderer::opStrokeColor() {
  states_[level_].StrokeColor = evaluateColor(states_[level_].StrokeColorSpace);
}
void TPDFRenderer::opFillColor() { states_[level_].FillColor = evaluateColor(states_[level_].FillColorSpace); }
void TPDFRenderer::opStrokeGray() {
  states_[level_].StrokeColorSpace = PDFDeviceColorSpace("DeviceGray");
  opStrokeColor();
}
void TPDFRenderer::opFillGray() {
  states_[level_].FillColorSpace = PDFDeviceColorSpace("DeviceGray");
  opFillColor();
}
void TPDFRenderer::opStrokeRGB() {
  states_[level_].StrokeColorSpace = PDFDeviceColorSpace("DeviceRGB");
  opStrokeColor();
}
void TPDFRenderer::opFillRGB() {
  states_[level_].FillColorSpace = PDFDeviceColorSpace("DeviceRGB");
  opFillColor();
}
void TPDFRenderer::opStrokeCMYK() {
  states_[level_].StrokeColorSpace = PDFDeviceColorSpace("DeviceCMYK");
  opStrokeColor();
}
void TPDFRenderer::opFillCMYK() {
  states_[level_].FillColorSpace = PDFDeviceColorSpace("DeviceCMYK");
  opFillColor();
}

// ---------------------------------------------------------------------------
// Text

void TPDFRenderer::flushTextPath(bool evenOddClip) {
  const uint8_t mode = states_[level_].Text.Mode;
  if (!path_.empty()) {
    if (mode & PDFTextClip) clipPath(evenOddClip);
    if (mode & (PDFTextStroke | PDFTextFill)) {
      uint32_t flags = 0;
      if (mode & PDFTextStroke) flags |= 1;
      if (mode & PDFTextFill) flags |= 2;
      paintPath(flags);
    }
  }
  path_.clear();
}

void TPDFRenderer::opBeginText() {
  needOperands(0);
  TPDFTextState& t = states_[level_].Text;
  ++t.BTCount;
  t.Tm = t.Tlm = PDFIdentityMatrix;
}

void TPDFRenderer::opEndText() {
  needOperands(0);
  TPDFTextState& t = states_[level_].Text;
  --t.BTCount;
  if (t.BTCount == 0 && t.Mode != PDFTextFill) flushTextPath(false);
}

void TPDFRenderer::opCharSpacing() {
  needOperands(1);
  states_[level_].Text.Tc = static_cast<float>(number(0));
}
void TPDFRenderer::opWordSpacing() {
  needOperands(1);
  states_[level_].Text.Tw = static_cast<float>(number(0));
}
void TPDFRenderer::opHorizontalScaling() {
  needOperands(1);
  states_[level_].Text.Tz = static_cast<float>(number(0));
}
void TPDFRenderer::opLeading() {
  needOperands(1);
  states_[level_].Text.TL = static_cast<float>(number(0));
}
void TPDFRenderer::opFont() {
  needOperands(2);
  const std::string fontName = name(0);
  const double size = number(1);
  auto* font = dynamic_cast<TPDFResFont*>(FindResource("Font", fontName));
  states_[level_].Text.Font = font;
  states_[level_].Text.Size = static_cast<float>(size);
}
void TPDFRenderer::opTextMode() {
  needOperands(1);
  const int32_t v = integer(0);
  TPDFTextState& t = states_[level_].Text;
  if (t.BTCount > 0 && t.Mode != PDFTextFill && !path_.empty()) flushTextPath(true);
  t.Mode = TextModes[static_cast<uint32_t>(v) % 8];
}
void TPDFRenderer::opRise() {
  needOperands(1);
  states_[level_].Text.Ts = static_cast<float>(number(0));
}

void TPDFRenderer::nextLine(double tx, double ty) {
  TPDFTextState& t = states_[level_].Text;
  const TPDFMatrix& l = t.Tlm;
  const double x = l[0] * tx + l[2] * ty + l[4], y = l[1] * tx + l[3] * ty + l[5];
  t.Tlm[4] = static_cast<float>(x);
  t.Tlm[5] = static_cast<float>(y);
  t.Tm = t.Tlm;
}

void TPDFRenderer::opTextMove() {
  needOperands(2);
  nextLine(number(0), number(1));
}
void TPDFRenderer::opTextMoveLeading() {
  needOperands(2);
  const double tx = number(0), ty = number(1);
  states_[level_].Text.TL = static_cast<float>(-ty);
  nextLine(tx, ty);
}
void TPDFRenderer::opTextMatrix() {
  needOperands(6);
  TPDFTextState& t = states_[level_].Text;
  t.Tlm = TPDFMatrix{static_cast<float>(number(0)), static_cast<float>(number(1)), static_cast<float>(number(2)),
                     static_cast<float>(number(3)), static_cast<float>(number(4)), static_cast<float>(number(5))};
  t.Tm = t.Tlm;
}
void TPDFRenderer::opNextLine() {
  needOperands(0);
  nextLine(0, -states_[level_].Text.TL);
}
void TPDFRenderer::opShow() {
  if (operands_.empty()) return;
  needOperands(1);
  showString(string(0)->Data);
}
void TPDFRenderer::opNextLineShow() {
  needOperands(1);
  nextLine(0, -states_[level_].Text.TL);
  showString(string(0)->Data);
}
void TPDFRenderer::opNextLineSpacingShow() {
  needOperands(3);
  TPDFTextState& t = states_[level_].Text;
  t.Tw = static_cast<float>(number(0));
  t.Tc = static_cast<float>(number(1));
  nextLine(0, -t.TL);
  showString(string(2)->Data);
}

void TPDFRenderer::opShowArray() {
  needOperands(1);
  auto* array = dynamic_cast<TPDFArray*>(operands_[0].get());
  if (!array) RaisePDFReadError(0, "object is of unexpected type");
  std::unique_ptr<TPDFObject> owned = std::move(operands_[0]);
  operands_.clear();
  for (int32_t i = 0; i < array->Count(); ++i) {
    TPDFObject* item = array->GetItem(i);
    if (auto* n = dynamic_cast<TPDFNumeric*>(item)) {
      TPDFTextState& t = states_[level_].Text;
      const float shift = -static_cast<float>(n->AsFloat());
      // Along the writing direction, without spacing.
      if (t.Font && t.Font->Vertical()) {
        t.Font->AdvanceText(t, shift, 0, false, false);
      } else {
        const float tx = shift / 1000 * t.Size * t.Tz / 100;
        t.Tm[4] += tx * t.Tm[0];
        t.Tm[5] += tx * t.Tm[1];
      }
    } else if (auto* s = dynamic_cast<TPDFString*>(item)) {
      showString(s->Data);
    } else {
      warning("Invalid object in TJ array: " + item->AsHTML());
    }
  }
}

void TPDFRenderer::showString(const std::string& bytes) {
  TPDFGraphicState& s = states_[level_];
  TPDFTextState& t = s.Text;
  if (!t.Font) fail("TPDFRenderer: Text shown without a font.");
  const uint32_t color = visible_ && t.Mode != 0 ? s.FillColor : PDFInvisibleTextColor;
  TPDFTextCallbacks callbacks;
  callbacks.Glyph = &TPDFRenderer::glyphOutput;
  callbacks.GlyphData = this;
  callbacks.Select = &TPDFRenderer::fontSelect;
  callbacks.SelectData = this;
  callbacks.Form = &TPDFRenderer::formDraw;
  callbacks.FormData = this;
  const TPDFRenderMatrix& m = s.CTM;
  const TPDFMatrix ctm{static_cast<float>(m.a), static_cast<float>(m.b), static_cast<float>(m.c),
                       static_cast<float>(m.d), static_cast<float>(m.e), static_cast<float>(m.f)};
  // The font advances the text state it is given: the one of this level.
  t.Font->DrawText(bytes, callbacks, color, t, ctm);
}

void TPDFRenderer::glyphOutput(void* data, const uint16_t* units, int32_t count, bool glyphIndex, float x, float y) {
  auto* self = static_cast<TPDFRenderer*>(data);
  // Glyphs larger than any page only advance: drawing them costs memory
  // and time and shows nothing useful.
  if (count <= 0 || std::abs(static_cast<int64_t>(self->deviceFont_.Height)) > MaxGlyphPixels) return;
  const TPoint at{deviceRound(x), deviceRound(y)};
  if (self->states_[self->level_].Text.Mode == PDFTextFill) {
    if (!self->visible_) return;
    TDeviceState st = self->deviceState();
    // The glyph is placed at its rounded origin; devices that can place it
    // finer get the rest, so that glyphs keep their spacing at the
    // resolution they are drawn at.
    if (std::isfinite(x) && std::isfinite(y)) {
      st.TextOffsetX = std::clamp(static_cast<double>(x) - at.X, -0.5, 0.5);
      st.TextOffsetY = std::clamp(static_cast<double>(y) - at.Y, -0.5, 0.5);
    }
    self->DC->TextOut(st, at.X, at.Y, glyphIndex ? ETO_GLYPH_INDEX : 0, nullptr,
                      UnicodeString(reinterpret_cast<const char16_t*>(units), count));
    return;
  }
  // A path entry holds up to three units; longer runs become several
  // entries at the same origin.
  for (int32_t i = 0; i < count; i += 3) {
    TPDFPathEntry e;
    e.Kind = TPDFPathEntry::GlyphRun;
    e.Points[0] = at;
    e.GlyphIndex = glyphIndex;
    e.UnitCount = static_cast<uint8_t>(std::min(3, count - i));
    std::copy(units + i, units + i + e.UnitCount, e.Units);
    self->addEntry(e);
  }
}

void TPDFRenderer::fontSelect(void* data, const TLogFontA& font, uint32_t color) {
  auto* self = static_cast<TPDFRenderer*>(data);
  if (!self->haveLogFont_ || !SameLogFont(font, self->lastLogFont_)) {
    self->lastLogFont_ = font;
    self->haveLogFont_ = true;
    TFontData& f = self->deviceFont_;
    f.Name = LogFontFaceName(font);
    f.Height = font.lfHeight;
    f.Style = TFontStyles{};
    f.Weight = font.lfWeight;
    if (font.lfWeight >= 600) f.Style.Include(fsBold);
    if (font.lfItalic) f.Style.Include(fsItalic);
    f.Orientation = font.lfEscapement;
  }
  self->deviceFont_.Color = plainColor(color);
}

void TPDFRenderer::formDraw(void* data, TPDFDictionary* stream, TPDFDictionary* resources, const TPDFMatrix& m) {
  static_cast<TPDFRenderer*>(data)->drawForm(stream, resources, TPDFRenderMatrix{m[0], m[1], m[2], m[3], m[4], m[5]});
}

// ---------------------------------------------------------------------------
// XObjects, forms and images

bool TPDFRenderer::optionalContentVisible(TPDFDictionary* ocDictionary) {
  auto properties = CreateProperties(collection_, static_cast<uint8_t>(Options), ocDictionary);
  return !properties || properties->IsVisible(static_cast<uint8_t>(Options), &TPDFRenderer::ocStateLookup, this);
}

void TPDFRenderer::ocStateLookup(void* data, TPDFDictionary* dictionary, bool& visible) {
  auto* self = static_cast<TPDFRenderer*>(data);
  int32_t number = 0, generation = -1;
  if (self->collection_) self->collection_->FindObjectNumber(dictionary, number, generation);
  const int64_t key = static_cast<int64_t>(static_cast<uint32_t>(number)) |
                      (static_cast<int64_t>(static_cast<uint32_t>(generation)) << 32);
  if (TMemRecord* record = self->OCStates->FindInt64(0, key)) {
    const int32_t state = record->GetInteger(1);
    if (state == 1) visible = true;
    else if (state == 2) visible = false;
  }
}

void TPDFRenderer::opXObject() {
  needOperands(1);
  TPDFResource* resource = FindResource("XObject", name(0));
  if (!resource || !resource->Dictionary) return;
  if (auto* oc = dynamic_cast<TPDFDictionary*>(resource->Dictionary->GetObject(collection_, "OC")))
    if (!optionalContentVisible(oc)) return;
  if (auto* image = dynamic_cast<TPDFResImage*>(resource)) {
    drawImage(image);
  } else if (auto* form = dynamic_cast<TPDFResForm*>(resource)) {
    const auto& m = form->Matrix;
    drawForm(form->Dictionary, form->Resources, TPDFRenderMatrix{m[0], m[1], m[2], m[3], m[4], m[5]});
  }
}

void TPDFRenderer::drawForm(TPDFDictionary* dictionary, TPDFDictionary* resources, const TPDFRenderMatrix& matrix) {
  PushGraphicState();
  const int32_t level = level_;
  bool pushed = false;
  // A Type 3 glyph is drawn while the string that shows it is still an
  // operand, and while text modes collect glyphs into the path: both are set
  // aside for the form and given back afterwards.
  std::vector<std::unique_ptr<TPDFObject>> operands = std::move(operands_);
  std::vector<TPDFPathEntry> path = std::move(path_);
  operands_.clear();
  path_.clear();
  auto restore = [&] {
    if (pushed) popResources();
    while (level_ >= level) PopGraphicState();
    operands_ = std::move(operands);
    path_ = std::move(path);
  };
  try {
    states_[level_].CTM = matrix * states_[level_].CTM;
    std::vector<double> box;
    if (readNumbers(collection_, dynamic_cast<TPDFArray*>(dictionary->GetObject(collection_, "BBox")), box) &&
        box.size() == 4) {
      path_.clear();
      addMoveTo(toDevice(box[0], box[1]));
      for (TPoint p : {toDevice(box[2], box[1]), toDevice(box[2], box[3]), toDevice(box[0], box[3])}) {
        TPDFPathEntry e;
        e.Kind = TPDFPathEntry::LineTo;
        e.Points[0] = p;
        addEntry(e);
      }
      TPDFPathEntry close;
      close.Kind = TPDFPathEntry::Close;
      addEntry(close);
      clipPath(true);
      path_.clear();
    }
    if (resources) {
      pushResources(resources);
      pushed = true;
    }
    dictionary->SetStreamState(2, collection_);
    ExecuteContent(dictionary->StreamData(), dictionary);
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

// Corners of an axis-parallel image: a side shorter than one target pixel
// (thin rules drawn as 1 x 1 masks) covers each target pixel it touches
// wholly, as other renderers draw it; rounded on its own it would vanish, or
// turn grey when a supersampled page is shrunk.
void TPDFRenderer::keepThinImageVisible(TPoint (&corners)[3]) const {
  const TPDFRenderMatrix& m = states_[level_].CTM;
  const double unit[3][2] = {{0, 1}, {1, 1}, {0, 0}};
  double ex[3], ey[3];
  for (int k = 0; k < 3; ++k) {
    ex[k] = m.a * unit[k][0] + m.c * unit[k][1] + m.e;
    ey[k] = m.b * unit[k][0] + m.d * unit[k][1] + m.f;
    if (!std::isfinite(ex[k]) || !std::isfinite(ey[k])) return;
  }
  constexpr double same = 1e-6;
  const bool straight = std::abs(ex[0] - ex[2]) < same && std::abs(ey[0] - ey[1]) < same;
  const bool turned = std::abs(ex[0] - ex[1]) < same && std::abs(ey[0] - ey[2]) < same;
  if (!straight && !turned) return;
  const int32_t n = pixelSize_;
  auto widen = [&](const double (&exact)[3], auto coordinate) {
    const double low = std::min({exact[0], exact[1], exact[2]}), high = std::max({exact[0], exact[1], exact[2]});
    if (!(high > low) || std::abs(low) > MaxDeviceCoordinate || std::abs(high) > MaxDeviceCoordinate) return;
    if (high - low >= n) return;
    const int32_t first = static_cast<int32_t>(std::floor(low / n)) * n;
    const int32_t last = std::max(first + n, static_cast<int32_t>(std::ceil(high / n)) * n);
    for (int k = 0; k < 3; ++k) coordinate(corners[k]) = exact[k] - low < high - exact[k] ? first : last;
  };
  widen(ex, [](TPoint& p) -> int32_t& { return p.X; });
  widen(ey, [](TPoint& p) -> int32_t& { return p.Y; });
}

void TPDFRenderer::drawImage(TPDFResImage* image) {
  if (!visible_ || !image || !image->Bitmap() || image->Bitmap()->Empty()) return;
  TPoint rounded[3] = {toDevice(0, 1), toDevice(1, 1), toDevice(0, 0)};
  keepThinImageVisible(rounded);
  const TPoint p0 = rounded[0], p1 = rounded[1], p2 = rounded[2];
  TDeviceState st = deviceState();
  st.StretchMode = image->Interpolate ? HALFTONE : COLORONCOLOR;
  const TPoint corners[3] = {p0, p1, p2};
  const bool axisParallel = p0.X == p2.X && p0.Y == p1.Y;
  const bool upright = axisParallel && p0.X < p1.X && p0.Y < p2.Y;
  const TRect dest{p0.X, p0.Y, p1.X, p2.Y};
  if (image->ImageMask) {
    const uint32_t fill = states_[level_].FillColor;
    const TColor paint = plainColor(fill), clear = paint ^ 0x808080;
    if (fill != image->LastStencilColor) {
      // The mask's 0 samples take the fill colour, its 1 samples a colour
      // that the blit leaves out.
      const TBitmap& source = *image->Bitmap();
      auto stencil = std::make_unique<TBitmap>(source.Width(), source.Height(), pf1bit);
      if (source.PixelFormat() == pf1bit) {
        for (int32_t y = 0; y < source.Height(); ++y)
          std::memcpy(stencil->ScanLine(y), source.ScanLine(y), std::min(source.BytesPerLine(), stencil->BytesPerLine()));
      } else {
        for (int32_t y = 0; y < source.Height(); ++y)
          for (int32_t x = 0; x < source.Width(); ++x)
            if ((source.GetPixel(x, y) & 0xFF) >= 0x80) stencil->ScanLine(y)[x / 8] |= static_cast<Byte>(0x80 >> (x % 8));
      }
      stencil->SetPalette({paint, clear});
      image->SetBitmap(std::move(stencil));
      image->LastStencilColor = fill;
    }
    TBlendMode blend;
    blend.TransparentColor = clear;
    if (upright) {
      DC->DrawBitmap(st, dest, *image->Bitmap(), TRect{0, 0, image->Bitmap()->Width(), image->Bitmap()->Height()}, blend);
    } else {
      if (!axisParallel) warning("Not supported: rotated transparent stencil imagemask drawing");
      DC->DrawBitmapPlg(st, corners, *image->Bitmap(), blend);
    }
    return;
  }
  const TBitmap& bitmap = *image->Bitmap();
  TBlendMode blend;
  if (image->MaskEntry && bitmap.PixelFormat() == pf32bit && bitmap.AlphaFormat() == afDefined) {
    blend.UseSourceAlpha = true;
    blend.Premultiplied = true;
  }
  if (upright) DC->DrawBitmap(st, dest, bitmap, TRect{0, 0, bitmap.Width(), bitmap.Height()}, blend);
  else DC->DrawBitmapPlg(st, corners, bitmap, blend);
}

// ---------------------------------------------------------------------------
// Inline images

void TPDFRenderer::opInlineImage() { inlineImage(); }

void TPDFRenderer::inlineImage() {
  const TPDFBuffer& data = *data_;
  int32_t& pos = *pos_;
  const int32_t start = pos;
  auto& cache = inlineImages_[contentDictionary_];
  if (!cache) cache = std::make_unique<InlineImageCache>();
  if (auto* hit = cache->Find(start)) {
    drawImage(hit->Image.get());
    pos = hit->End;
    return;
  }
  static const std::pair<const char*, const char*> abbreviations[] = {
      {"BPC", "BitsPerComponent"}, {"CS", "ColorSpace"}, {"D", "Decode"},   {"DP", "DecodeParms"}, {"F", "Filter"},
      {"H", "Height"},             {"IM", "ImageMask"},  {"I", "Interpolate"}, {"W", "Width"}};
  auto dictionary = std::make_unique<TPDFDictionary>();
  const auto size = static_cast<int64_t>(data.size());
  SkipWhiteSpaceAndComments(data, pos);
  while (pos < size && data[pos] == '/') {
    std::string key = EatName(data, pos, true);
    std::unique_ptr<TPDFObject> value = ParseObject(data, pos, true);
    for (const auto& [shortName, longName] : abbreviations)
      if (key == shortName) key = longName;
    dictionary->Add(key, std::move(value));
    SkipWhiteSpaceAndComments(data, pos);
  }
  if (pos >= size) fail("ID error ( 1 ).");
  EatLiteral(data, pos, "ID", false);
  if (pos >= size || !IsPDFWhiteSpace(data[pos])) fail("ID error ( 2 ).");
  ++pos;
  TPDFColorSpace* space = nullptr;
  if (TPDFObject* value = dictionary->GetObject(collection_, "ColorSpace")) {
    space = PDFColorSpaceFactory(collection_, value);
    if (!space)
      if (auto* spaceName = dynamic_cast<TPDFName*>(value))
        if (TPDFObject* found = findResourceObject("ColorSpace", spaceName->Name))
          space = PDFColorSpaceFactory(collection_, found);
  }
  if (!dictionary->LoadInlineStream(data, pos)) return;
  ++inlineImagesDecoded_;
  auto image = CreateInlineImage(dictionary.get(), space);
  drawImage(image.get());
  if (cache->Items.size() < 5) {
    InlineImageCache::Item item;
    item.Start = start;
    item.Dictionary = std::move(dictionary);
    item.Image = std::move(image);
    item.End = pos;
    cache->Items.push_back(std::move(item));
  }
}

// ---------------------------------------------------------------------------
// Marked content and shadings

void TPDFRenderer::opBeginMarkedContentProps() {
  bool own = true;
  if (operands_.size() == 2 && dynamic_cast<TPDFName*>(operands_[0].get()) &&
      dynamic_cast<TPDFName*>(operands_[1].get()) && name(0) == "OC") {
    auto* properties = dynamic_cast<TPDFResProperties*>(FindResource("Properties", name(1)));
    if (properties) own = properties->IsVisible(static_cast<uint8_t>(Options), &TPDFRenderer::ocStateLookup, this);
  }
  visible_ = own && visible_;
  visibilityStack_.push_back(visible_);
}

void TPDFRenderer::opBeginMarkedContent() { visibilityStack_.push_back(visible_); }

void TPDFRenderer::opEndMarkedContent() {
  if (visibilityStack_.empty()) return;
  visibilityStack_.pop_back();
  visible_ = visibilityStack_.empty() ? true : visibilityStack_.back();
}

void TPDFRenderer::opShading() {
  needOperands(1);
  FindResource("Shading", name(0));
}

// ---------------------------------------------------------------------------
// Bitmap reduction

void HalveBitmap(TBitmap& bitmap) { ShrinkBitmap(bitmap, 2); }

namespace {

// One result row: the average of each N x N block of the N source rows,
// channel by channel, rounded to the nearest, written as 3 (blue, green,
// red) or 4 bytes (the same and an opaque alpha) a pixel. The rows are
// summed first, byte by byte (which the compiler turns into wide vector
// additions), then each block's N columns; N known at compile time lets it
// unroll the block and divide by a constant.
template <int N, int OutBytes, int InBytes = 3>
void shrinkRow(const Byte* const* rows, uint16_t* __restrict sums, Byte* __restrict out, int32_t width) {
  constexpr uint32_t area = N * N;
  const size_t bytes = static_cast<size_t>(width) * InBytes * N;
  const Byte* __restrict r0 = rows[0];
  const Byte* __restrict r1 = rows[N > 1 ? 1 : 0];
  const Byte* __restrict r2 = rows[N > 2 ? 2 : 0];
  const Byte* __restrict r3 = rows[N > 3 ? 3 : 0];
  for (size_t i = 0; i < bytes; ++i) {
    uint16_t v = r0[i];
    if constexpr (N > 1) v = static_cast<uint16_t>(v + r1[i]);
    if constexpr (N > 2) v = static_cast<uint16_t>(v + r2[i]);
    if constexpr (N > 3) v = static_cast<uint16_t>(v + r3[i]);
    sums[i] = v;
  }
  for (int32_t x = 0; x < width; ++x) {
    const uint16_t* p = sums + InBytes * N * x;
    uint32_t s0 = 0, s1 = 0, s2 = 0;
    for (int j = 0; j < N; ++j) {
      s0 += p[InBytes * j];
      s1 += p[InBytes * j + 1];
      s2 += p[InBytes * j + 2];
    }
    Byte* o = out + OutBytes * x;
    o[0] = static_cast<Byte>((s0 + area / 2) / area);
    o[1] = static_cast<Byte>((s1 + area / 2) / area);
    o[2] = static_cast<Byte>((s2 + area / 2) / area);
    if constexpr (OutBytes == 4) o[3] = 255;
  }
}

// The 2 x 2 blocks of two 32-bit rows (the supersampled page at the default
// setting): four source pixels of each row to two result pixels a step, the
// sums in 16-bit lanes, rounded as above; opaque alpha.
void shrinkRow2x32(const Byte* r0, const Byte* r1, Byte* out, int32_t width) {
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (; x + 2 <= width; x += 2) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + 8 * x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + 8 * x));
    // Lanes of the first two source pixels, then of the last two.
    const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    // Each pair of neighbours summed into the low half.
    const __m128i first = _mm_add_epi16(lo, _mm_srli_si128(lo, 8));
    const __m128i second = _mm_add_epi16(hi, _mm_srli_si128(hi, 8));
    const __m128i sums = _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(first, second), two), 2);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), _mm_or_si128(_mm_packus_epi16(sums, zero), opaque));
  }
#endif
  for (; x < width; ++x)
    for (int c = 0; c < 4; ++c)
      out[4 * x + c] = c == 3 ? Byte{255}
                              : static_cast<Byte>((r0[8 * x + c] + r0[8 * x + 4 + c] + r1[8 * x + c] +
                                                   r1[8 * x + 4 + c] + 2) / 4);
}

// The same for any block size, 3 bytes a pixel.
void shrinkRowAny(const Byte* const* rows, Byte* out, int32_t width, int32_t n) {
  const uint32_t area = static_cast<uint32_t>(n) * n;
  for (int32_t x = 0; x < width; ++x) {
    uint32_t s0 = 0, s1 = 0, s2 = 0;
    for (int32_t k = 0; k < n; ++k) {
      const Byte* p = rows[k] + 3 * n * x;
      for (int32_t j = 0; j < n; ++j) {
        s0 += p[3 * j];
        s1 += p[3 * j + 1];
        s2 += p[3 * j + 2];
      }
    }
    out[3 * x] = static_cast<Byte>((s0 + area / 2) / area);
    out[3 * x + 1] = static_cast<Byte>((s1 + area / 2) / area);
    out[3 * x + 2] = static_cast<Byte>((s2 + area / 2) / area);
  }
}

}  // namespace

// The 24 or 32-bit source (its alpha ignored) shrunk by 2 to 4 into an
// opaque 32-bit bitmap of the result's size (the supersampled page, drawn onto the target without
// another conversion).
void ShrinkBitmapInto(const TBitmap& source, int32_t n, TBitmap& target) {
  const bool wide = source.PixelFormat() == pf32bit;
  Assert((wide || source.PixelFormat() == pf24bit) && n >= 2 && n <= 4,
         "ShrinkBitmapInto: 24 or 32-bit bitmap and 2 to 4 expected");
  const int32_t w = source.Width() / n, h = source.Height() / n;
  if (target.PixelFormat() != pf32bit) target.SetPixelFormat(pf32bit);
  target.SetSize(w, h);
  std::vector<const Byte*> rows(static_cast<size_t>(n));
  std::vector<uint16_t> sums(static_cast<size_t>(w) * 4 * n);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t k = 0; k < n; ++k) rows[k] = source.ScanLine(y * n + k);
    Byte* out = target.ScanLine(y);
    if (wide) {
      if (n == 2) shrinkRow2x32(rows[0], rows[1], out, w);
      else if (n == 3) shrinkRow<3, 4, 4>(rows.data(), sums.data(), out, w);
      else shrinkRow<4, 4, 4>(rows.data(), sums.data(), out, w);
    } else {
      if (n == 2) shrinkRow<2, 4>(rows.data(), sums.data(), out, w);
      else if (n == 3) shrinkRow<3, 4>(rows.data(), sums.data(), out, w);
      else shrinkRow<4, 4>(rows.data(), sums.data(), out, w);
    }
  }
}

void ShrinkBitmap(TBitmap& bitmap, int32_t n) {
  if (n < 2) return;
  Assert(bitmap.PixelFormat() == pf24bit, "ShrinkBitmap: 24-bit bitmap expected");
  const int32_t w = bitmap.Width() / n, h = bitmap.Height() / n;
  std::vector<const Byte*> rows(static_cast<size_t>(n));
  std::vector<uint16_t> sums(static_cast<size_t>(w) * 3 * n);
  std::vector<Byte> row(static_cast<size_t>(w) * 3);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t k = 0; k < n; ++k) rows[k] = bitmap.ScanLine(y * n + k);
    switch (n) {
      case 2: shrinkRow<2, 3>(rows.data(), sums.data(), row.data(), w); break;
      case 3: shrinkRow<3, 3>(rows.data(), sums.data(), row.data(), w); break;
      case 4: shrinkRow<4, 3>(rows.data(), sums.data(), row.data(), w); break;
      default: shrinkRowAny(rows.data(), row.data(), w, n); break;
    }
    // Row y of the result goes over source row y, which has been read (n >= 2
    // puts the rows of the next result rows further down).
    std::copy(row.begin(), row.end(), bitmap.ScanLine(y));
  }
  bitmap.SetSize(w, h);
}

}  // namespace px
