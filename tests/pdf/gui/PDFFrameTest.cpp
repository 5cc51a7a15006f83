// The report viewer frame: its layout, LoadReport with the streams the
// screens hand it, added buttons, the zoom box, saving and printing through
// answered dialogs.
#include <gtest/gtest.h>

#include <filesystem>

#include "PdfGuiTestSupport.h"
#include "SmallPdf.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFFrame.h"
#include "platform/core/Streams.h"

namespace px {
namespace {

using test::SmallPdf;

std::string threePages() {
  SmallPdf pdf;
  for (int i = 1; i <= 3; ++i) pdf.Pages.push_back(SmallPdf::NumberedPage(i, 300, 400));
  return pdf.Build();
}

struct FrameFixture {
  TObjectPtr<TForm> form = MakeObject<TForm>(nullptr);
  TfraPDFViewer* frame;
  FrameFixture() {
    form->SetBounds(0, 0, 600, 500);
    frame = CreateComponent<TfraPDFViewer>(form.get());
    frame->SetParent(form.get());
  }
};

TBytesStream streamOf(const std::string& bytes) { return TBytesStream(TBytes(bytes.begin(), bytes.end())); }

bool enabled(TQVRActionButton* b) { return static_cast<TCustomAction*>(b->Action())->Enabled(); }

TEST(PDFFrame, Layout) {
  FrameFixture f;
  TfraPDFViewer& v = *f.frame;
  EXPECT_EQ(v.Width(), 418);
  EXPECT_EQ(v.Height(), 380);
  EXPECT_TRUE(v.TabStop);
  EXPECT_EQ(v.pnlButtons->Align(), alTop);
  EXPECT_EQ(v.pnlButtons->Height(), 30);
  EXPECT_FALSE(v.pnlButtons->ShowHint);
  EXPECT_EQ(v.pnlPDF->Align(), alClient);
  EXPECT_EQ(v.pnlPDF->Top(), 30);
  EXPECT_EQ(v.Viewer()->Parent(), v.pnlPDF);
  EXPECT_EQ(v.Viewer()->Align(), alClient);
  EXPECT_EQ(v.btnSave->BoundsRect().TopLeft(), TPoint(4, 4));
  EXPECT_EQ(v.btnPrint->BoundsRect().TopLeft(), TPoint(32, 4));
  EXPECT_EQ(v.btnSave->Action(), v.acSaveReport);
  EXPECT_EQ(v.btnPrint->Action(), v.acPrintReport);
  EXPECT_TRUE(v.btnSave->ShowHint && v.btnPrint->ShowHint);
  // The zoom box stands right of the print button.
  EXPECT_EQ(v.cbZoom->BoundsRect(), Bounds(60, 4, 81, 22));
  EXPECT_EQ(v.cbZoom->Items().Count(), 8);
  EXPECT_EQ(v.cbZoom->ItemIndex(), 4);
  EXPECT_EQ(v.cbZoom->Text(), "100%");
  EXPECT_EQ(v.cbZoom->Hint, "Aanpassen vergroting");
  EXPECT_EQ(v.cbZoom->ImageIndex(), 7);
  EXPECT_EQ(v.dlgSaveAs->DefaultExt, "pdf");
  EXPECT_EQ(v.dlgSaveAs->Title, "Rapport opslaan als");
  EXPECT_EQ(v.dlgSaveAs->Filter, "Adobe PDF bestanden (*.pdf)|*.pdf|Alle bestanden (*.*)|*.*");
  EXPECT_EQ(v.acSaveReport->Caption(), "Rapport Bewaren...");
  EXPECT_EQ(v.acPrintReport->Hint(), "Printen rapportage");
  EXPECT_EQ(v.acMailReport->Caption(), "E-mail raportage...");
  EXPECT_EQ((std::vector<Integer>{v.acPrintReport->ImageIndex(), v.acSaveReport->ImageIndex(),
                                  v.acMailReport->ImageIndex()}),
            (std::vector<Integer>{0, 1, 2}));
  EXPECT_EQ(v.alActions->Images(), v.ilImages);
  EXPECT_EQ(v.ilImages->Count(), 3);
  v.SetCaptions("Save", "Save the report", "Print", "Print the report");
  EXPECT_EQ(v.acSaveReport->Caption(), "Save");
  EXPECT_EQ(v.btnSave->Hint, "Save the report");
  EXPECT_EQ(v.acPrintReport->Caption(), "Print");
  EXPECT_EQ(v.btnPrint->Hint, "Print the report");
}

TEST(PDFFrame, LoadReportWithTheStreamsScreensHandOver) {
  FrameFixture f;
  TfraPDFViewer& v = *f.frame;
  TAction extra(nullptr);
  TQVRActionButton* added = v.AddActionButton(&extra);
  int changes = 0;
  v.OnCollectionChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &v);
    ++changes;
  };
  const std::string pdf = threePages();
  auto expectEmpty = [&](const char* title) {
    EXPECT_FALSE(v.Viewer()->Visible());
    EXPECT_EQ(v.ShownStream(), nullptr);
    EXPECT_EQ(v.pnlPDF->Caption(), title);
    EXPECT_FALSE(enabled(v.btnSave));
    EXPECT_FALSE(enabled(v.btnPrint));
    EXPECT_FALSE(enabled(added));
    EXPECT_TRUE(v.cbZoom->Locked());
  };
  expectEmpty("");
  v.LoadReport("None", nullptr, "a.pdf", true);
  expectEmpty("None");
  EXPECT_EQ(v.DefaultFileName(), "a.pdf");

  TBytesStream stream = streamOf(pdf);
  stream.SetPosition(stream.Size());
  v.LoadReport("At its end", &stream, "b.pdf", false);
  expectEmpty("At its end");

  v.LoadReport("Rewound", &stream, "c.pdf", true);
  EXPECT_TRUE(v.Viewer()->Visible());
  EXPECT_EQ(v.ShownStream(), &stream);
  EXPECT_EQ(v.pnlPDF->Caption(), "Rewound");
  EXPECT_EQ(v.Viewer()->Document()->GetPageCount(), 3);
  EXPECT_TRUE(enabled(v.btnSave) && enabled(v.btnPrint) && enabled(added));
  EXPECT_FALSE(v.cbZoom->Locked());

  // The document is read from the stream's position on.
  TBytesStream prefixed = streamOf("junk" + pdf);
  prefixed.SetPosition(4);
  v.LoadReport("Behind a prefix", &prefixed, "d.pdf", false);
  EXPECT_EQ(v.Viewer()->Document()->GetPageCount(), 3);
  EXPECT_GE(changes, 2);

  // A stream that holds no PDF: the error passes on, the frame shows nothing.
  TBytesStream junk = streamOf("not a PDF at all");
  EXPECT_THROW(v.LoadReport("Broken", &junk, "e.pdf", true), Exception);
  expectEmpty("Broken");
}

TEST(PDFFrame, AddedButtonsPushTheZoomBoxRight) {
  FrameFixture f;
  TfraPDFViewer& v = *f.frame;
  TAction a(nullptr), b(nullptr);
  TQVRActionButton* first = v.AddActionButton(&a);
  EXPECT_EQ(first->Parent(), v.pnlButtons);
  EXPECT_EQ(first->BoundsRect().TopLeft(), TPoint(60, 4));
  EXPECT_EQ(first->Action(), &a);
  EXPECT_TRUE(first->ShowHint);
  EXPECT_EQ(v.cbZoom->Left(), 88);
  TQVRActionButton* second = v.AddActionButton(&b);
  EXPECT_EQ(second->BoundsRect().TopLeft(), TPoint(88, 4));
  EXPECT_EQ(v.cbZoom->Left(), 116);
}

TEST(PDFFrame, ZoomTexts) {
  FrameFixture f;
  TfraPDFViewer& v = *f.frame;
  // Hidden viewer: the box does nothing.
  v.cbZoom->SetText("50%");
  EXPECT_EQ(v.Viewer()->Zoom(), 100);
  TBytesStream stream = streamOf(threePages());
  v.LoadReport("", &stream, "", true);
  EXPECT_EQ(v.Viewer()->Zoom(), 50) << "the box's zoom applies when a document shows";
  struct Case {
    const char* text;
    float zoom;
  };
  const Case cases[] = {
      {"150%", 150}, {"abc%", 100}, {"75%", 75}, {"0%", 75},  // ignored
      {"150", 150},                                          // not 15: only a "%" is cut
      {" 33 % ", 33}, {"", 100}, {"200%", 200},
  };
  for (const Case& c : cases) {
    v.cbZoom->SetText(c.text);
    EXPECT_FLOAT_EQ(v.Viewer()->Zoom(), c.zoom) << "'" << c.text << "'";
  }
}

// A document whose bytes cannot all be written: it writes part of them and
// fails, as a full disk would.
class FailingReader : public TPDFReader {
 public:
  using TPDFReader::TPDFReader;
  void SaveToStream(TStream& stream) override {
    stream.Write("%PDF-partial", 12);
    throw EWriteError("Stream write error");
  }
};

TEST(PDFFrame, SaveWritesTheStreamBytesAndKeepsTheOldFileOnFailure) {
  test::TempDir dir;
  FrameFixture f;
  TfraPDFViewer& v = *f.frame;
  const std::string pdf = threePages();
  TBytesStream stream = streamOf(pdf);
  v.LoadReport("", &stream, "000001 Jan.pdf", true);
  std::string proposed;
  const std::string target = dir.File("saved.pdf");
  const auto old = SetFileDialogHook([&](TFileDialogRequest& r) {
    proposed = r.FileName;
    r.FileName = target;
    return true;
  });
  v.acSaveReport->Execute();
  EXPECT_EQ(proposed, "000001 Jan.pdf");
  EXPECT_EQ(test::ReadFileBytes(target), pdf);

  // A failing write leaves the file that was there and no temporary file.
  test::WriteFileBytes(target, "the old report");
  int replaceAsked = 0;
  const auto oldBox = SetMessageDlgHook([&](const std::string&, TMsgDlgType, TMsgDlgButtons) {
    ++replaceAsked;
    return mrYes;
  });
  v.Viewer()->SetDocument(new FailingReader(TPDFBuffer(pdf.begin(), pdf.end())), true);
  EXPECT_THROW(v.acSaveReportExecute(nullptr), EWriteError);
  EXPECT_EQ(test::ReadFileBytes(target), "the old report");
  EXPECT_EQ(replaceAsked, 1);
  SetMessageDlgHook(oldBox);
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.Path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);

  // A cancelled dialog writes nothing.
  std::filesystem::remove(target);
  SetFileDialogHook([](TFileDialogRequest&) { return false; });
  v.acSaveReportExecute(nullptr);
  EXPECT_FALSE(std::filesystem::exists(target));
  SetFileDialogHook(old);
}

TEST(PDFFrame, PrintThroughTheAnsweredDialog) {
  test::TempDir dir;
  FrameFixture f;
  TfraPDFViewer& v = *f.frame;
  TBytesStream stream = streamOf(threePages());
  v.LoadReport("", &stream, "", true);
  TPrinter printer;
  printer.SetOutputFileName(dir.File("out.pdf"));
  TPrinter* previous = SetPrinter(&printer);
  int asked = 0;
  bool answer = false;
  const auto old = SetPrinterDialogHook([&](TPrinter& p) {
    EXPECT_EQ(&p, &printer);
    ++asked;
    return answer;
  });
  TPDFPrinting* seen = nullptr;
  v.Viewer()->OnPrint = [&](TObject*, TPDFPrinting* printing) { seen = printing; };
  v.acPrintReport->Execute();
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdf")));
  answer = true;
  v.acPrintReport->Execute();
  EXPECT_EQ(asked, 2);
  EXPECT_NE(seen, nullptr);
  const std::string info = test::RunChecked("pdfinfo " + dir.File("out.pdf"));
  EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
  SetPrinterDialogHook(old);
  SetPrinter(previous);
}

}  // namespace
}  // namespace px
