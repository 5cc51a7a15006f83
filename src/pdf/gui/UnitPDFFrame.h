#pragma once
// TfraPDFViewer: the frame in which the count and history screens show a
// finished report: a bar with save, print and a zoom box above a page viewer.
// The screen hands it a title, a stream holding a PDF file (kept alive by the
// screen while shown) and a default file name, and may add buttons of its own
// to the bar.
#include <string>

#include "pdf/gui/UnitPDFViewer.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/Forms.h"
#include "platform/gui/ImgList.h"
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitQVREdit.h"

namespace px {

class TfraPDFViewer : public TFrame {
 public:
  explicit TfraPDFViewer(TComponent* owner);
  ~TfraPDFViewer() override;

  // Shows the document held by the stream from its position (from 0 with
  // rewind), or nothing when the stream is nil or has no data left.
  // Failures of reading the document pass on; the frame then shows nothing.
  void LoadReport(const std::string& title, TStream* stream, const std::string& fileName, bool rewind);
  void SetCaptions(const std::string& saveCaption, const std::string& saveHint, const std::string& printCaption,
                   const std::string& printHint);
  // A button for the action in the bar, where the zoom box stood; the zoom
  // box moves one button further.
  TQVRActionButton* AddActionButton(TBasicAction* action);

  TPDFViewer* Viewer() const { return viewer_; }
  TStream* ShownStream() const { return stream_; }
  const std::string& DefaultFileName() const { return defaultFileName_; }

  bool Interactive() const { return viewer_->Interactive(); }
  void SetInteractive(bool value) { viewer_->SetInteractive(value); }
  TPDFAnnotationEvent OnAnnotation() const { return viewer_->OnAnnotation; }
  void SetOnAnnotation(TPDFAnnotationEvent e) { viewer_->OnAnnotation = std::move(e); }
  TPDFActionEvent OnAction() const { return viewer_->OnAction; }
  void SetOnAction(TPDFActionEvent e) { viewer_->OnAction = std::move(e); }
  TPDFURIActionEvent OnURIAction() const { return viewer_->OnURIAction; }
  void SetOnURIAction(TPDFURIActionEvent e) { viewer_->OnURIAction = std::move(e); }
  // Fires with the frame as sender whenever the viewer's document changes.
  TNotifyEvent OnCollectionChange;

  // The layout's components.
  TPanel* pnlPDF;
  TPanel* pnlButtons;
  TQVRActionButton* btnSave;
  TQVRActionButton* btnPrint;
  TQVRComboBox* cbZoom;
  TSaveDialog* dlgSaveAs;
  TActionList* alActions;
  TAction* acSaveReport;
  TAction* acPrintReport;
  TAction* acMailReport;
  TPrinterSetupDialog* PrinterSetupDialog1;
  TImageList* ilImages;

  void cbZoomChange(TObject* sender);
  void acSaveReportExecute(TObject* sender);
  void acPrintReportExecute(TObject* sender);
  void acMailReportExecute(TObject* sender);

 private:
  void updateControls();

  TPDFViewer* viewer_;
  TStream* stream_ = nullptr;
  std::string defaultFileName_;
};

}  // namespace px
