#include "pdf/gui/UnitPDFFrame.h"

#include "platform/core/NumberConversion.h"
#include "platform/core/StringUtils.h"

namespace px {

namespace {

constexpr TColor kKey = clFuchsia;

// The bar's three pictures (print, save, mail), drawn with straight edges
// only so that no smoothing mixes the key colour into them.
void drawImages(TImageList& list) {
  TBitmap strip(48, 16, pf24bit);
  TCanvas& c = strip.Canvas();
  c.Pen().SetStyle(psClear);
  auto box = [&](int32_t l, int32_t t, int32_t r, int32_t b, TColor color) {
    c.Brush().SetColor(color);
    c.FillRect(Rect(l, t, r, b));
  };
  box(0, 0, 48, 16, kKey);
  // Print: a sheet coming out of a grey printer.
  box(4, 1, 12, 7, clBlack);
  box(5, 2, 11, 7, clWhite);
  box(1, 7, 15, 13, clBlack);
  box(2, 8, 14, 12, clSilver);
  box(11, 9, 13, 10, clLime);
  box(4, 11, 12, 15, clBlack);
  box(5, 11, 11, 14, clWhite);
  // Save: a blue disk with a white label and a shutter.
  box(17, 1, 31, 15, clNavy);
  box(19, 2, 29, 8, clWhite);
  box(20, 4, 28, 5, clSilver);
  box(21, 10, 27, 15, clSilver);
  box(22, 11, 24, 14, clNavy);
  // Mail: an envelope.
  box(33, 3, 47, 13, clBlack);
  box(34, 4, 46, 12, clWhite);
  for (int32_t i = 0; i < 6; ++i) {
    box(35 + i, 5 + i, 36 + i, 6 + i, clBlack);
    box(44 - i, 5 + i, 45 - i, 6 + i, clBlack);
  }
  list.AddMasked(strip, kKey);
}

}  // namespace

TfraPDFViewer::TfraPDFViewer(TComponent* owner) : TFrame(owner) {
  SetBounds(0, 0, 418, 380);
  TabStop = true;

  pnlPDF = CreateComponent<TPanel>(this);
  pnlPDF->SetName("pnlPDF");
  pnlPDF->SetParent(this);
  pnlPDF->SetAlign(alClient);

  pnlButtons = CreateComponent<TPanel>(this);
  pnlButtons->SetName("pnlButtons");
  pnlButtons->SetParent(this);
  pnlButtons->SetAlign(alTop);
  pnlButtons->SetHeight(30);
  pnlButtons->ShowHint = false;

  ilImages = CreateComponent<TImageList>(this);
  ilImages->SetName("ilImages");
  drawImages(*ilImages);

  alActions = CreateComponent<TActionList>(this);
  alActions->SetName("alActions");
  alActions->SetImages(ilImages);
  auto makeAction = [&](const char* name, const char* caption, const char* hint, Integer image,
                        void (TfraPDFViewer::*handler)(TObject*)) {
    auto* a = CreateComponent<TAction>(this);
    a->SetName(name);
    a->SetActionList(alActions);
    a->SetCaption(caption);
    a->SetHint(hint);
    a->SetImageIndex(image);
    a->OnExecute = [this, handler](TObject* sender) { (this->*handler)(sender); };
    return a;
  };
  acSaveReport = makeAction("acSaveReport", "Rapport Bewaren...", "Bewaren rapportage", 1,
                            &TfraPDFViewer::acSaveReportExecute);
  acPrintReport = makeAction("acPrintReport", "Printen rapportage...", "Printen rapportage", 0,
                             &TfraPDFViewer::acPrintReportExecute);
  acMailReport = makeAction("acMailReport", "E-mail raportage...", "Email rapportage", 2,
                            &TfraPDFViewer::acMailReportExecute);

  auto makeButton = [&](const char* name, int32_t left, TAction* action) {
    auto* b = CreateComponent<TQVRActionButton>(this);
    b->SetName(name);
    b->SetParent(pnlButtons);
    b->SetLeft(left);
    b->SetTop(4);
    b->SetAction(action);
    b->ShowHint = true;
    return b;
  };
  btnSave = makeButton("btnSave", 4, acSaveReport);
  btnPrint = makeButton("btnPrint", 32, acPrintReport);

  cbZoom = CreateComponent<TQVRComboBox>(this);
  cbZoom->SetName("cbZoom");
  cbZoom->SetParent(pnlButtons);
  cbZoom->SetBounds(cbZoom->Left(), 4, 81, 22);
  for (const char* item : {"25%", "33%", "50%", "75%", "100%", "125%", "150%", "200%"}) cbZoom->Items().Add(item);
  cbZoom->SetItemIndex(4);
  cbZoom->Hint = "Aanpassen vergroting";
  cbZoom->SetHotColor(clHighlight);
  cbZoom->SetCoolColor(clGrayText);
  cbZoom->SetFocusColor(clBtnText);
  cbZoom->SetImageIndex(7);
  cbZoom->SetHideComboButtonOnNoItems(false);
  cbZoom->OnChange = [this](TObject* sender) { cbZoomChange(sender); };

  dlgSaveAs = CreateComponent<TSaveDialog>(this);
  dlgSaveAs->SetName("dlgSaveAs");
  dlgSaveAs->DefaultExt = "pdf";
  dlgSaveAs->Filter = "Adobe PDF bestanden (*.pdf)|*.pdf|Alle bestanden (*.*)|*.*";
  dlgSaveAs->Options = {ofOverwritePrompt, ofHideReadOnly, ofEnableSizing};
  dlgSaveAs->Title = "Rapport opslaan als";

  PrinterSetupDialog1 = CreateComponent<TPrinterSetupDialog>(this);
  PrinterSetupDialog1->SetName("PrinterSetupDialog1");

  viewer_ = CreateComponent<TPDFViewer>(this);
  viewer_->SetParent(pnlPDF);
  viewer_->SetAlign(alClient);
  viewer_->TabStop = true;
  viewer_->OnCollectionChange = [this](TObject*) {
    if (OnCollectionChange) OnCollectionChange(this);
  };
  stream_ = nullptr;
  cbZoom->SetLeft(2 * btnPrint->Left() - btnSave->Left());
  viewer_->SetVisible(false);
  updateControls();
}

TfraPDFViewer::~TfraPDFViewer() = default;

void TfraPDFViewer::LoadReport(const std::string& title, TStream* stream, const std::string& fileName, bool rewind) {
  if (rewind && stream) stream->SetPosition(0);
  stream_ = nullptr;
  try {
    if (stream && stream->Position() < stream->Size()) {
      viewer_->LoadFromStream(*stream);
      stream_ = stream;
    } else {
      viewer_->Clear();
    }
  } catch (...) {
    // A document that cannot be read leaves the frame empty, not showing
    // the one before.
    viewer_->Clear();
    viewer_->SetVisible(false);
    updateControls();
    pnlPDF->SetCaption(title);
    defaultFileName_ = fileName;
    throw;
  }
  viewer_->SetVisible(stream_ != nullptr);
  updateControls();
  pnlPDF->SetCaption(title);
  defaultFileName_ = fileName;
}

void TfraPDFViewer::SetCaptions(const std::string& saveCaption, const std::string& saveHint,
                                const std::string& printCaption, const std::string& printHint) {
  acSaveReport->SetCaption(saveCaption);
  acSaveReport->SetHint(saveHint);
  acPrintReport->SetCaption(printCaption);
  acPrintReport->SetHint(printHint);
}

TQVRActionButton* TfraPDFViewer::AddActionButton(TBasicAction* action) {
  auto* button = CreateComponent<TQVRActionButton>(this);
  button->SetParent(cbZoom->Parent());
  button->SetLeft(cbZoom->Left());
  button->SetTop(btnSave->Top());
  button->SetAction(action);
  button->ShowHint = true;
  cbZoom->SetLeft(cbZoom->Left() + btnPrint->Left() - btnSave->Left());
  updateControls();
  return button;
}

void TfraPDFViewer::updateControls() {
  const bool shown = viewer_->Visible();
  for (Integer i = 0; i < ComponentCount(); ++i)
    if (auto* button = dynamic_cast<TQVRActionButton*>(Components(i)))
      if (auto* action = dynamic_cast<TCustomAction*>(button->Action())) action->SetEnabled(shown);
  cbZoom->SetLocked(!shown);
  cbZoomChange(cbZoom);
}

void TfraPDFViewer::cbZoomChange(TObject*) {
  if (!viewer_->Visible()) return;
  // Only a trailing per cent sign is cut: "150" is 150, not 15.
  std::string text = Trim(cbZoom->Text());
  if (!text.empty() && text.back() == '%') text = Trim(text.substr(0, text.size() - 1));
  double zoom = 0;
  if (!TryStrToFloat(text, zoom)) zoom = 100;
  viewer_->SetZoom(static_cast<float>(zoom));
}

void TfraPDFViewer::acSaveReportExecute(TObject*) {
  if (!defaultFileName_.empty()) dlgSaveAs->FileName = defaultFileName_;
  if (!dlgSaveAs->Execute()) return;
  TPDFCollection* document = viewer_->Document();
  if (!document) return;
  // Written beside the chosen file and renamed over it: a failed write
  // leaves the old file as it was.
  SaveFileAtomically(dlgSaveAs->FileName, [&](TStream& file) { document->SaveToStream(file); });
}

void TfraPDFViewer::acPrintReportExecute(TObject*) {
  if (PrinterSetupDialog1->Execute()) viewer_->Print(0, 0, 1, true);
}

void TfraPDFViewer::acMailReportExecute(TObject*) {}

}  // namespace px
