#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"
#include "platform/gui/ImgList.h"
#include "platform/gui/Printers.h"

namespace px {
namespace {

constexpr TColor kKey = clFuchsia;

// A strip of three 8x8 images (red, green, blue squares of 4x4 at (2, 2))
// on the key colour.
void makeStrip(TBitmap& strip) {
  strip.SetPixelFormat(pf24bit);
  strip.SetSize(24, 8);
  const TColor colours[] = {clRed, clLime, clBlue};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 24; ++x) {
      int lx = x % 8;
      bool inside = lx >= 2 && lx < 6 && y >= 2 && y < 6;
      strip.SetPixelColor(x, y, inside ? colours[x / 8] : kKey);
    }
}

TEST(ImageList, AddMaskedCutsTheStripAndDrawsOnlyTheImage) {
  TImageList list(nullptr, 8, 8);
  TBitmap strip;
  makeStrip(strip);
  EXPECT_EQ(list.AddMasked(strip, kKey), 0);
  EXPECT_EQ(list.Count(), 3);

  TBitmap target(20, 20, pf32bit);
  target.Canvas().Brush().SetColor(clWhite);
  target.Canvas().FillRect(Rect(0, 0, 20, 20));
  list.Draw(target.Canvas(), 4, 4, 1);
  EXPECT_EQ(target.GetPixel(4 + 2, 4 + 2), clLime);
  EXPECT_EQ(target.GetPixel(4 + 5, 4 + 5), clLime);
  EXPECT_EQ(target.GetPixel(4 + 1, 4 + 1), clWhite);  // key colour is transparent
  EXPECT_EQ(target.GetPixel(4 + 6, 4 + 2), clWhite);
  list.Draw(target.Canvas(), 4, 4, 3);  // past the end: nothing
  list.Draw(target.Canvas(), 4, 4, -1);
  EXPECT_EQ(target.GetPixel(4 + 1, 4 + 1), clWhite);

  // Disabled: the shape in shadow, its light copy one pixel down and right.
  TBitmap grey(20, 20, pf32bit);
  grey.Canvas().Brush().SetColor(clWhite);
  grey.Canvas().FillRect(Rect(0, 0, 20, 20));
  list.Draw(grey.Canvas(), 0, 0, 0, false);
  EXPECT_EQ(grey.GetPixel(2, 2), ColorToRGB(clBtnShadow));
  EXPECT_EQ(grey.GetPixel(5, 5), ColorToRGB(clBtnShadow));
  EXPECT_EQ(grey.GetPixel(6, 6), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(grey.GetPixel(1, 1), clWhite);

  // Selected: half way to the blend colour.
  list.BlendColor = clBlack;
  TBitmap sel(8, 8, pf32bit);
  list.Draw(sel.Canvas(), 0, 0, 0, dsSelected, itImage);
  EXPECT_NEAR(GetRValue(sel.GetPixel(3, 3)), 127.5, 1);
  EXPECT_EQ(sel.GetPixel(3, 3) & 0xFFFF00, 0);

  // Without the mask colour, the key stays opaque.
  TImageList plain(nullptr, 8, 8);
  plain.Add(strip);
  EXPECT_EQ(plain.Count(), 3);
  TBitmap out(8, 8, pf32bit);
  plain.Draw(out.Canvas(), 0, 0, 2);
  EXPECT_EQ(out.GetPixel(0, 0), kKey);
  EXPECT_EQ(out.GetPixel(3, 3), clBlue);
}

TEST(ImageList, ChangeLinksAndErrors) {
  TChangeLink outlived;
  int heard = 0;
  {
    TImageList list(nullptr, 8, 8);
    TChangeLink link;
    link.OnChange = [&](TObject* s) {
      EXPECT_EQ(s, &list);
      ++heard;
    };
    list.RegisterChanges(&link);
    list.RegisterChanges(&outlived);
    TBitmap strip;
    makeStrip(strip);
    list.AddMasked(strip, kKey);
    EXPECT_EQ(heard, 1);
    list.BeginUpdate();
    list.Delete(0);
    list.Delete(0);
    EXPECT_EQ(heard, 1);
    list.EndUpdate();
    EXPECT_EQ(heard, 2);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_THROW(list.Delete(1), EInvalidOperation);
    EXPECT_THROW(list.Replace(-1, strip), EInvalidOperation);
    TBitmap empty;
    EXPECT_THROW(list.Add(empty), EInvalidOperation);
    EXPECT_THROW(list.SetSize(0, 8), EInvalidOperation);
    list.SetSize(16, 16);  // a new size empties the list
    EXPECT_EQ(list.Count(), 0);
  }  // link unregisters itself before the list goes; the list forgets the other
  EXPECT_EQ(outlived.Sender, nullptr);
}

TEST(ImageList, AlphaOfA32BitImageIsKept) {
  TImageList list(nullptr, 2, 1);
  TBitmap b(2, 1, pf32bit);
  b.SetAlphaFormat(afDefined);
  Byte* p = b.ScanLine(0);
  p[0] = 0, p[1] = 0, p[2] = 255, p[3] = 255;  // opaque red
  p[4] = 0, p[5] = 0, p[6] = 255, p[7] = 0;    // transparent
  list.Add(b);
  TBitmap out(2, 1, pf32bit);
  out.Canvas().Brush().SetColor(clWhite);
  out.Canvas().FillRect(Rect(0, 0, 2, 1));
  list.Draw(out.Canvas(), 0, 0, 0);
  EXPECT_EQ(out.GetPixel(0, 0), clRed);
  EXPECT_EQ(out.GetPixel(1, 0), clWhite);
}

// The value of one "Name:   value" line of pdfinfo's output.
std::string pdfInfoField(const std::string& info, const std::string& name) {
  size_t p = info.find("\n" + name + ":");
  if (p == std::string::npos) p = info.rfind(name + ":", 0);
  else ++p;
  if (p == std::string::npos) return {};
  size_t v = info.find_first_not_of(' ', p + name.size() + 1);
  size_t e = info.find('\n', v);
  return info.substr(v, e == std::string::npos ? std::string::npos : e - v);
}

TEST(Printer, PrintsPagesIntoAFile) {
  test::TempDir dir;
  std::string file = dir.File("out.pdf");
  TPrinter printer;
  printer.SetOutputFileName(file);
  printer.SetPageSizeMM(210, 297);
  printer.Title = "Report";
  EXPECT_THROW(printer.NewPage(), EPrinter);
  EXPECT_THROW(printer.Canvas(), EPrinter);
  EXPECT_THROW(printer.EndDoc(), EPrinter);

  const int ppi = printer.GetDeviceCaps(LOGPIXELSX);
  ASSERT_GE(ppi, 72);
  EXPECT_GE(printer.GetDeviceCaps(PHYSICALWIDTH),
            printer.GetDeviceCaps(HORZRES) + printer.GetDeviceCaps(PHYSICALOFFSETX));
  // A4 at the device resolution (Qt keeps A4 in whole points: 595 x 842).
  EXPECT_NEAR(printer.GetDeviceCaps(PHYSICALWIDTH), 210.0 / 25.4 * ppi, ppi / 100.0);
  EXPECT_NEAR(printer.GetDeviceCaps(PHYSICALHEIGHT), 297.0 / 25.4 * ppi, ppi / 100.0);

  printer.BeginDoc();
  EXPECT_THROW(printer.BeginDoc(), EPrinter);
  EXPECT_THROW(printer.SetOrientation(poLandscape), EPrinter);
  EXPECT_EQ(printer.PageNumber(), 1);
  printer.Canvas().Brush().SetColor(clBlack);
  printer.Canvas().FillRect(Rect(0, 0, printer.PageWidth() / 2, printer.PageHeight() / 2));
  printer.Canvas().TextOut(100, 100, std::string("Page one"));
  printer.NewPage();
  printer.Canvas().TextOut(100, 100, std::string("Page two"));
  EXPECT_EQ(printer.PageNumber(), 2);
  printer.EndDoc();
  EXPECT_FALSE(printer.Printing());

  std::string info;
  ASSERT_EQ(test::RunCommand("pdfinfo '" + file + "'", &info), 0) << info;
  EXPECT_EQ(pdfInfoField(info, "Pages"), "2") << info;
  EXPECT_EQ(pdfInfoField(info, "Title"), "Report") << info;
  std::string text;
  ASSERT_EQ(test::RunCommand("pdftotext '" + file + "' -", &text), 0);
  EXPECT_NE(text.find("Page two"), std::string::npos) << text;
}

// Printing into a file that cannot be written says which file and why, and
// never leaves a partial document in place of the old file: neither for a
// folder that is not there, nor for a disk that fills up while the document
// is written (the size limit stands in for it), nor for an aborted job.
TEST(Printer, AFileThatCannotBeWrittenIsNamedAndTheOldOneStays) {
  test::TempDir dir;
  auto filesIn = [&] {
    return std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator());
  };
  TPrinter printer;
  printer.SetPageSizeMM(210, 297);
  const std::string missing = dir.File("gone/out.pdf");
  printer.SetOutputFileName(missing);
  try {
    printer.BeginDoc();
    ADD_FAILURE() << "printed into a missing folder";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + missing + "\". " + std::strerror(ENOENT));
  }
  EXPECT_FALSE(printer.Printing());

  const std::string file = dir.File("out.pdf");
  test::WriteFileBytes(file, "old");
  printer.SetOutputFileName(file);
  std::string message;
  {
    // Pages enough that the engine's writes fail while it prints, not only
    // when it closes the file.
    test::FileSizeLimit full(1000);
    printer.BeginDoc();
    try {
      for (int page = 0; page < 20; ++page) {
        if (page > 0) printer.NewPage();
        for (int line = 0; line < 40; ++line)
          printer.Canvas().TextOut(100, 100 + 50 * line, "Line " + std::to_string(page * 40 + line) + " of the report");
      }
      printer.EndDoc();
    } catch (const EFCreateError& e) {
      message = e.Message();
      printer.Abort();
    }
  }
  EXPECT_EQ(message.rfind("Cannot create file \"" + file + "\". ", 0), 0u) << message;
  EXPECT_FALSE(printer.Printing());
  EXPECT_EQ(test::ReadFileBytes(file), "old");
  EXPECT_EQ(filesIn(), 1);

  printer.BeginDoc();
  printer.Canvas().TextOut(100, 100, std::string("Thrown away"));
  printer.Abort();
  EXPECT_EQ(test::ReadFileBytes(file), "old");
  EXPECT_EQ(filesIn(), 1);

  // The same printer still prints into the file it was given, whole, and
  // into another one.
  for (const std::string& name : {file, dir.File("again.pdf")}) {
    printer.SetOutputFileName(name);
    printer.BeginDoc();
    printer.Canvas().TextOut(100, 100, std::string("Whole"));
    printer.EndDoc();
    std::string text;
    ASSERT_EQ(test::RunCommand("pdftotext '" + name + "' -", &text), 0);
    EXPECT_NE(text.find("Whole"), std::string::npos) << text;
  }
  EXPECT_EQ(filesIn(), 2);
}

}  // namespace
}  // namespace px
