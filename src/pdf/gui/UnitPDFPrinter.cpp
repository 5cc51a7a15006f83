#include "pdf/gui/UnitPDFPrinter.h"

#include "pdf/UnitPDFLinkedDocument.h"
#include "pdf/gui/UnitPDFFont.h"
#include "pdf/gui/UnitPDFImage.h"
#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"
#include "platform/core/Guid.h"

namespace px {

namespace {

std::string guidBytes() {
  auto b = TGUID::Create().ToBytes();
  return std::string(b.begin(), b.end());
}

// A text string of the information dictionary from Windows-1252 text.
std::unique_ptr<TPDFString> textString(const AnsiString& text) {
  return std::make_unique<TPDFString>(std::u16string_view(AnsiToUnicode(text)));
}

}  // namespace

TPDFPrinter::TPDFPrinter() : canvas_(std::make_unique<TPDFCanvas>()) {
  canvas_->UsePrinterReference = true;
  canvas_->OnLayerCount = [this] { return LayerCount(); };
  canvas_->OnAddLayerToResource = [this](int32_t index) { AddLayerToResource(index); };
  canvas_->Printer = this;
  id1_ = guidBytes();
  id2_ = guidBytes();
}

TPDFPrinter::~TPDFPrinter() {
  if (printing_) {
    try {
      Abort();
    } catch (...) {
    }
  }
}

void TPDFPrinter::needPrinting() const {
  if (!printing_) throw EPDFPrinterException("TPDFPrinter: Printing.");
}
void TPDFPrinter::needIdle() const {
  if (printing_) throw EPDFPrinterException("TPDFPrinter: Not Printing.");
}

void TPDFPrinter::BeginDoc() {
  needIdle();
  printing_ = true;
  aborted_ = false;
  pageCount_ = 0;
  writer_ = std::make_unique<TPDFWriter>();
  writer_->Options = options_;
  auto catalog = std::make_unique<TPDFDictionary>("Catalog");
  catalog_ = catalog.get();
  const int32_t catalogNumber = writer_->AddObject(std::move(catalog));
  writer_->GetTrailer()->Add("Root", std::make_unique<TPDFReference>(catalogNumber, 0));
  auto pages = std::make_unique<TPDFDictionary>("Pages");
  pages->Add("Kids", std::make_unique<TPDFArray>());
  pages_ = pages.get();
  pagesNumber_ = writer_->AddObject(std::move(pages));
  catalog_->Add("Pages", std::make_unique<TPDFReference>(pagesNumber_, 0));
  fonts_ = std::make_unique<TPDFFontCollection>(writer_.get());
  images_ = std::make_unique<TPDFImageCollection>(writer_.get());
  startPage();
  result_.reset();
  layers_.clear();
}

void TPDFPrinter::startPage() {
  auto page = std::make_unique<TPDFDictionary>("Page");
  page->Add("MediaBox", TPDFArray::Of(0, 0, PageWidth * 0.01, PageHeight * 0.01));
  auto resources = std::make_unique<TPDFDictionary>();
  resources->Add("ProcSet", TPDFArray::Of(std::make_unique<TPDFName>("PDF")));
  resources_ = resources.get();
  page->Add("Resources", std::move(resources));
  page->Add("Parent", std::make_unique<TPDFReference>(pagesNumber_, 0));
  page_ = page.get();
  const int32_t number = writer_->AddObject(std::move(page));
  pages_->GetObject<TPDFArray>(nullptr, "Kids")->Add(std::make_unique<TPDFReference>(number, 0));
  ++pageCount_;
  resourceCounter_ = 1;
  canvas_->StartPage(PageWidth, PageHeight);
  canvas_->FontCollection = fonts_.get();
  canvas_->ImageCollection = images_.get();
  canvas_->PageResources = resources_;
}

void TPDFPrinter::finishPageContents() {
  canvas_->FinishRecording();
  TPDFBuffer content;
  TPDFBufferStream stream(content);
  canvas_->WriteContent(stream);
  const bool compress = content.size() > 80;
  auto contents = std::make_unique<TPDFDictionary>(std::move(content));
  if (compress) contents->Add("Filter", std::make_unique<TPDFName>("FlateDecode"));
  const int32_t number = writer_->AddObject(std::move(contents));
  page_->Add("Contents", std::make_unique<TPDFReference>(number, 0));
}

void TPDFPrinter::NewPage() {
  needPrinting();
  finishPageContents();
  startPage();
}

void TPDFPrinter::EndDoc() {
  needPrinting();
  struct Cleanup {
    TPDFPrinter& p;
    ~Cleanup() {
      p.canvas_->ReleaseRecording();
      p.canvas_->FontCollection = nullptr;
      p.canvas_->ImageCollection = nullptr;
      p.canvas_->PageResources = nullptr;
      p.printing_ = false;
      p.pageCount_ = 0;
      p.fonts_.reset();
      p.images_.reset();
      p.linked_.clear();
      p.writer_.reset();
      p.catalog_ = p.pages_ = p.page_ = p.resources_ = nullptr;
    }
  } cleanup{*this};
  if (aborted_) return;
  finishPageContents();
  auto* kids = pages_->GetObject<TPDFArray>(nullptr, "Kids");
  pages_->Add("Count", std::make_unique<TPDFInteger>(kids->Count()));
  auto info = std::make_unique<TPDFDictionary>();
  if (!Title.empty()) info->Add("Title", textString(Title));
  if (!Author.empty()) info->Add("Author", textString(Author));
  if (!Subject.empty()) info->Add("Subject", textString(Subject));
  if (!Keywords.empty()) info->Add("Keywords", textString(Keywords));
  info->Add("Producer", std::make_unique<TPDFString>(std::string("Quorvane PDF Printer")));
  info->Add("CreationDate", std::make_unique<TPDFDateTime>(Now()));
  const int32_t infoNumber = writer_->AddObject(std::move(info));
  writer_->GetTrailer()->Add("Info", std::make_unique<TPDFReference>(infoNumber, 0));
  writer_->SetDocumentID(id1_, id2_);
  writer_->SetEncryption(OwnerPassword, UserPassword, Permissions, EncryptionKind);
  writer_->OutputFormat = OutputFormat;
  fonts_->FinishFonts();
  writer_->AddMetadata(MetadataMode);
  Assert(!result_, "TPDFPrinter: result stream exists");
  auto result = std::make_unique<TMemoryStream>();
  writer_->SaveToStream(*result);
  result_ = std::move(result);
}

void TPDFPrinter::Abort() {
  needPrinting();
  aborted_ = true;
  EndDoc();
}

TPDFCanvas& TPDFPrinter::Canvas() {
  needPrinting();
  return *canvas_;
}

TCanvasDevice* TPDFPrinter::Handle() {
  needPrinting();
  canvas_->EnsureRecording();
  return canvas_->Device();
}

int32_t TPDFPrinter::PixelsPerInch() {
  needPrinting();
  return canvas_->ResolutionX();
}

int32_t TPDFPrinter::AddLayer(const std::string& name, bool visible) {
  needPrinting();
  Assert(catalog_ != nullptr, "TPDFPrinter: no catalog");
  TPDFDictionary* props = catalog_->GetObject<TPDFDictionary>(writer_.get(), "OCProperties");
  TPDFDictionary* config = nullptr;
  if (!props) {
    auto p = std::make_unique<TPDFDictionary>();
    p->Add("OCGs", std::make_unique<TPDFArray>());
    props = p.get();
    const int32_t propsNumber = writer_->AddObject(std::move(p));
    auto d = std::make_unique<TPDFDictionary>();
    d->Add("ON", std::make_unique<TPDFArray>());
    d->Add("OFF", std::make_unique<TPDFArray>());
    d->Add("Order", std::make_unique<TPDFArray>());
    config = d.get();
    const int32_t configNumber = writer_->AddObject(std::move(d));
    props->Add("D", std::make_unique<TPDFReference>(configNumber, 0));
    catalog_->Add("OCProperties", std::make_unique<TPDFReference>(propsNumber, 0));
  } else {
    config = props->GetRequiredDictionary(writer_.get(), "D");
  }
  auto group = std::make_unique<TPDFDictionary>("OCG");
  group->Add("Name", textString(name));
  const int32_t groupNumber = writer_->AddObject(std::move(group));
  auto* ocgs = props->GetRequiredObject<TPDFArray>(writer_.get(), "OCGs");
  const int32_t layer = ocgs->Count();
  ocgs->Add(std::make_unique<TPDFReference>(groupNumber, 0));
  config->GetRequiredObject<TPDFArray>(writer_.get(), "Order")->Add(std::make_unique<TPDFReference>(groupNumber, 0));
  config->GetRequiredObject<TPDFArray>(writer_.get(), visible ? "ON" : "OFF")
      ->Add(std::make_unique<TPDFReference>(groupNumber, 0));
  if (static_cast<int32_t>(layers_.size()) <= layer) layers_.resize(static_cast<size_t>(layer) + 1);
  layers_[static_cast<size_t>(layer)] = groupNumber;
  return layer;
}

void TPDFPrinter::AddLayerToResource(int32_t index) {
  Assert(index >= 0 && index < LayerCount(), "TPDFPrinter: layer index out of range");
  Assert(resources_ != nullptr, "TPDFPrinter: no page resources");
  auto* props = resources_->GetObject<TPDFDictionary>(nullptr, "Properties");
  if (!props) {
    resources_->Add("Properties", std::make_unique<TPDFDictionary>());
    props = resources_->GetObject<TPDFDictionary>(nullptr, "Properties");
  }
  const std::string name = "O" + std::to_string(index);
  if (!props->Find(name)) props->Add(name, std::make_unique<TPDFReference>(layers_[static_cast<size_t>(index)], 0));
}

void TPDFPrinter::DrawLinkedPage(TPDFCollection* source, int32_t pageIndex) {
  needPrinting();
  Assert(source != nullptr, "TPDFPrinter.DrawLinkedPage: no source document");
  Assert(resources_ != nullptr, "TPDFPrinter: no page resources");
  TPDFLinkedDocument* linked = nullptr;
  for (auto& l : linked_)
    if (l->Source() == source) linked = l.get();
  if (!linked) {
    linked_.push_back(std::make_unique<TPDFLinkedDocument>(writer_.get(), source));
    linked = linked_.back().get();
  }
  const int32_t copied = linked->CopiedObjects();
  const int32_t firstName = resourceCounter_;
  std::string content;
  linked->ImportPage("q\n", "\nQ\n", content, resources_, resourceCounter_, pageIndex);
  LastImport = {linked->CopiedObjects() - copied, firstName, resourceCounter_};
  if (!content.empty()) canvas_->InsertRawContent(content);
}

TMemoryStream* TPDFPrinter::Document() {
  needIdle();
  return result_.get();
}

void TPDFPrinter::SetOptions(uint8_t value) {
  needIdle();
  options_ = value;
}

}  // namespace px
