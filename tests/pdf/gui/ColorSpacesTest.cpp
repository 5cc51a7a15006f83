// Colour operands to GDI colours, the factory and image samples to bitmaps.
#include <gtest/gtest.h>

#include "../PdfTestSupport.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/UnitPDFUtilities.h"
#include "pdf/gui/UnitPDFColorSpaces.h"
#include "platform/core/Debug.h"

namespace px {
namespace {

using test::Parse;
using test::Stream;

// A document holding the objects (numbered 1, 2, ... in order).
std::unique_ptr<TPDFWriter> Doc(std::initializer_list<std::string_view> objects) {
  auto doc = std::make_unique<TPDFWriter>();
  for (std::string_view text : objects) doc->AddObject(Parse(text));
  return doc;
}

uint32_t Color(TPDFColorSpace& space, std::string_view operands) {
  auto array = Parse(std::string("[") + std::string(operands) + "]");
  auto* items = dynamic_cast<TPDFArray*>(array.get());
  std::vector<TPDFObject*> values;
  for (int32_t k = 0; k < items->Count(); ++k) values.push_back(items->GetItem(k));
  return space.GetColor(values);
}

std::string ColorError(TPDFColorSpace& space, std::string_view operands) {
  try {
    Color(space, operands);
  } catch (const EColorSpaceException& e) {
    return e.Message();
  }
  return "no error";
}

TEST(PdfColorSpaces, DeviceColors) {
  TPDFColorSpace& rgb = *PDFDeviceColorSpace("DeviceRGB");
  TPDFColorSpace& gray = *PDFDeviceColorSpace("G");
  TPDFColorSpace& cmyk = *PDFDeviceColorSpace("CalCMYK");
  EXPECT_EQ(Color(rgb, "1 0.5 0"), 0x020080FFu);
  EXPECT_EQ(Color(rgb, "2 -1 0.25"), 0x024000FFu);  // clamped; 63.75 rounds to 64
  EXPECT_EQ(Color(gray, "0.5"), 0x02808080u);
  EXPECT_EQ(Color(cmyk, "0 1 1 0"), (CMYKToRGB(0, 1, 1, 0) | 0x02000000u));
  EXPECT_EQ(PDFDeviceColorSpace("CalRGB"), &rgb);
  EXPECT_EQ(PDFDeviceColorSpace("devicergb"), nullptr);
  EXPECT_EQ(PDFDeviceColorSpace("Pattern"), nullptr);
  EXPECT_EQ(Color(*PDFPatternColorSpace(), "1"), 0u);

  struct Case {
    TPDFColorSpace* space;
    const char* operands;
    const char* error;
  };
  TPDFWriter doc;
  auto labArray = Parse("[/Lab <<>>]");
  TPDFColorSpace* lab = PDFColorSpaceFactory(&doc, labArray.get());
  ASSERT_NE(lab, nullptr);
  const Case cases[] = {
      {&rgb, "1 0", "Device RGB colorspace expects 3 color components."},
      {&rgb, "1 0 /X", "Device RGB colorspace expects numeric color components."},
      {&gray, "", "Device Gray colorspace expects 1 color component."},
      {&gray, "(a)", "Device Gray colorspace expects numeric color components."},
      {&cmyk, "1 1 1", "Device CMYK colorspace expects 4 color components."},
      {&cmyk, "1 1 1 true", "Device CMYK colorspace expects numeric color components."},
      {lab, "50", "CIE Lab colorspace expects 3 color components."},
      {lab, "50 0 /a", "CIE Lab colorspace expects numeric color components."},
  };
  for (const Case& c : cases) EXPECT_EQ(ColorError(*c.space, c.operands), c.error) << c.operands;
  // L* 100 is the white point: white.
  EXPECT_EQ(Color(*lab, "100 0 0"), 0x02FFFFFFu);
  EXPECT_EQ(Color(*lab, "0 0 0"), 0x02000000u);
}

TEST(PdfColorSpaces, FactoryAndICCBasedMapping) {
  auto doc = Doc({"<</N 3/Length 10>>", "<</Length 3144>>", "<</Length 1000>>", "<</Length 70000>>",
                  "<</N 4>>", "<</N 2>>", "<</Alternate/DeviceGray/N 3>>", "<<>>"});
  struct Case {
    const char* array;
    const char* device;  // nil: no space
  };
  const Case cases[] = {
      {"[/ICCBased 1 0 R]", "DeviceRGB"},  {"[/ICCBased 2 0 R]", "DeviceRGB"},
      {"[/ICCBased 3 0 R]", "DeviceGray"}, {"[/ICCBased 4 0 R]", "DeviceCMYK"},
      {"[/ICCBased 5 0 R]", "DeviceCMYK"}, {"[/ICCBased 6 0 R]", nullptr},
      {"[/ICCBased 7 0 R]", "DeviceGray"}, {"[/ICCBased 8 0 R]", nullptr},
      {"[/CalRGB <<>>]", "DeviceRGB"},     {"[/CalGray <<>>]", "DeviceGray"},
      {"/DeviceCMYK", "DeviceCMYK"},       {"/Unknown", nullptr},
      {"[/Lab]", nullptr},                 {"[/Indexed /DeviceRGB 1]", nullptr},
      {"(DeviceRGB)", nullptr},            {"[]", nullptr},
  };
  for (const Case& c : cases) {
    auto object = Parse(c.array);
    EXPECT_EQ(PDFColorSpaceFactory(doc.get(), object.get()), c.device ? PDFDeviceColorSpace(c.device) : nullptr)
        << c.array;
    if (auto* array = dynamic_cast<TPDFArray*>(object.get())) EXPECT_EQ(array->AttachedObject, nullptr) << c.array;
  }
}

TEST(PdfColorSpaces, IndexedSeparationAndDeviceN) {
  auto doc = Doc({"<</FunctionType 2/Domain[0 1]/C0[1 1 1]/C1[1 0 0]/N 1>>"});
  auto indexed = Parse("[/Indexed /DeviceRGB 1 <FF000000FF00>]");
  TPDFColorSpace* space = PDFColorSpaceFactory(doc.get(), indexed.get());
  ASSERT_NE(space, nullptr);
  EXPECT_EQ(PDFColorSpaceFactory(doc.get(), indexed.get()), space);
  EXPECT_EQ(static_cast<TPDFArray&>(*indexed).AttachedObject.get(), space);
  EXPECT_EQ(Color(*space, "1"), 0x0200FF00u);
  EXPECT_EQ(Color(*space, "2"), 0u);
  EXPECT_EQ(Color(*space, "-1"), 0u);

  // Tint 0.5 of a white-to-red transform: (1, 0.5, 0.5).
  auto separation = Parse("[/Separation /Spot /DeviceRGB 1 0 R]");
  TPDFColorSpace* spot = PDFColorSpaceFactory(doc.get(), separation.get());
  ASSERT_NE(spot, nullptr);
  EXPECT_EQ(Color(*spot, "0.5"), 0x028080FFu);
  auto deviceN = Parse("[/DeviceN [/A /B] /DeviceGray <</FunctionType 4/Domain[0 1 0 1]/Range[0 1]>>]");
  // A calculator program needs a stream: a type 4 dictionary without one
  // passes its first input on.
  TPDFColorSpace* n = PDFColorSpaceFactory(doc.get(), deviceN.get());
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->GetComponentCount(), 2);
  EXPECT_EQ(Color(*n, "0.5 0.9"), 0x02808080u);
  EXPECT_THROW(Color(*n, "0.5"), EAssertionFailed);
  uint8_t rgb[6];
  const uint8_t samples[4] = {0, 255, 255, 0};
  n->ConvertToRGB(samples, rgb, 4, 2);
  EXPECT_EQ(rgb[0], 0);
  EXPECT_EQ(rgb[3], 255);
}

TEST(PdfColorSpaces, DamagedSpacesFailInBoundedTime) {
  // 1: an Indexed space whose base is itself; 2 and 3: two Separations
  // naming each other as alternates.
  auto doc = Doc({"[/Indexed 1 0 R 1 <000000FFFFFF>]",
                  "[/Separation /A 3 0 R <</FunctionType 2/Domain[0 1]/Range[0 1]/N 1>>]",
                  "[/Separation /B 2 0 R <</FunctionType 2/Domain[0 1]/Range[0 1]/N 1>>]"});
  TPDFReference self(1, 0), loop(2, 0);
  try {
    PDFColorSpaceFactory(doc.get(), &self);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFIndexedColorSpace: Unsupported colorspace (Palette color space unknown).");
  }
  EXPECT_THROW(PDFColorSpaceFactory(doc.get(), &loop), EAssertionFailed);
  // hival 100000 with a 6-byte lookup: clamped to 255 entries, which the
  // lookup does not hold.
  auto big = Parse("[/Indexed /DeviceRGB 100000 <000000FFFFFF>]");
  EXPECT_THROW(PDFColorSpaceFactory(doc.get(), big.get()), EAssertionFailed);
  auto noLookup = Parse("[/Indexed /DeviceRGB 1 5]");
  EXPECT_THROW(PDFColorSpaceFactory(doc.get(), noLookup.get()), Exception);
}

// The pixel values of a bitmap, row by row.
std::vector<std::vector<TColor>> Pixels(const TBitmap& bitmap) {
  std::vector<std::vector<TColor>> rows(bitmap.Height());
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    for (int32_t x = 0; x < bitmap.Width(); ++x) rows[y].push_back(bitmap.GetPixel(x, y));
  return rows;
}

TEST(PdfColorSpaces, ImageBitmaps) {
  TPDFWriter doc;
  TPDFColorSpace& gray = *PDFDeviceColorSpace("DeviceGray");
  // 2-bit grey, width 5: samples 0 1 2 3 | 0 in the first row, 3 2 1 0 | 3 in the second.
  auto twoBit = Stream("<<>>", std::string("\x1B\x00\xE4\xC0", 4));
  auto bitmap = gray.BuildBitmap(&doc, twoBit.get(), 2, 2, 5);
  EXPECT_EQ(bitmap->PixelFormat(), pf4bit);
  EXPECT_EQ(Pixels(*bitmap), (std::vector<std::vector<TColor>>{
                                 {RGB(0, 0, 0), RGB(85, 85, 85), RGB(170, 170, 170), RGB(255, 255, 255), RGB(0, 0, 0)},
                                 {RGB(255, 255, 255), RGB(170, 170, 170), RGB(85, 85, 85), RGB(0, 0, 0),
                                  RGB(255, 255, 255)}}));
  EXPECT_EQ(bitmap->ScanLine(0)[0], 0x01);  // two samples a byte, kept as 0..3
  EXPECT_EQ(bitmap->ScanLine(0)[1], 0x23);

  // 1-bit with Decode [1 0]: inverted.
  auto oneBit = Stream("<</Decode[1 0]>>", std::string("\xA0", 1));
  bitmap = gray.BuildBitmap(&doc, oneBit.get(), 1, 1, 3);
  EXPECT_EQ(Pixels(*bitmap)[0], (std::vector<TColor>{RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 0, 0)}));
  auto inverted2 = Stream("<</Decode[3 0]>>", std::string("\x1B", 1));
  bitmap = gray.BuildBitmap(&doc, inverted2.get(), 2, 1, 4);
  EXPECT_EQ(Pixels(*bitmap)[0], (std::vector<TColor>{RGB(255, 255, 255), RGB(170, 170, 170), RGB(85, 85, 85),
                                                     RGB(0, 0, 0)}));

  // RGB with Decode [1 0 0 1 0 1]: red inverted.
  auto rgbImage = Stream("<</Decode[1 0 0 1 0 1]>>", std::string("\x00\x10\x20\xFF\x30\x40", 6));
  bitmap = PDFDeviceColorSpace("DeviceRGB")->BuildBitmap(&doc, rgbImage.get(), 8, 1, 2);
  EXPECT_EQ(bitmap->PixelFormat(), pf24bit);
  EXPECT_EQ(Pixels(*bitmap)[0], (std::vector<TColor>{RGB(255, 0x10, 0x20), RGB(0, 0x30, 0x40)}));

  // Indexed 4-bit with a three-entry palette.
  auto indexedArray = Parse("[/Indexed /DeviceRGB 2 <FF0000 00FF00 0000FF>]");
  TPDFColorSpace* indexed = PDFColorSpaceFactory(&doc, indexedArray.get());
  auto indexedImage = Stream("<<>>", std::string("\x01\x20", 2));
  bitmap = indexed->BuildBitmap(&doc, indexedImage.get(), 4, 1, 3);
  EXPECT_EQ(Pixels(*bitmap)[0], (std::vector<TColor>{RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}));

  // Short data: 4 and 8 bits give an unfilled bitmap and a debug line; the
  // others fail.
  TDebugCapture capture;
  auto shortImage = Stream("<<>>", "ab");
  bitmap = gray.BuildBitmap(&doc, shortImage.get(), 8, 2, 2);
  EXPECT_EQ(bitmap->Width(), 2);
  EXPECT_EQ(capture.Lines().back(), "Bitmap parse failure (8bit)");
  EXPECT_THROW(gray.BuildBitmap(&doc, shortImage.get(), 1, 3, 9), EAssertionFailed);
  EXPECT_THROW(PDFDeviceColorSpace("DeviceRGB")->BuildBitmap(&doc, shortImage.get(), 8, 1, 1), EAssertionFailed);
  EXPECT_THROW(gray.BuildBitmap(&doc, shortImage.get(), 16, 1, 1), EAssertionFailed);
  // Untrusted sizes are bounded before anything is allocated.
  EXPECT_THROW(gray.BuildBitmap(&doc, shortImage.get(), 8, 1 << 30, 1 << 30), EAssertionFailed);

  // The stencil mask: 1 bit, black and white.
  auto stencil = Stream("<<>>", std::string("\x40", 1));
  bitmap = PDFStencilMaskBitmap(&doc, stencil.get(), 1, 2);
  EXPECT_EQ(bitmap->PixelFormat(), pf1bit);
  EXPECT_EQ(Pixels(*bitmap)[0], (std::vector<TColor>{RGB(0, 0, 0), RGB(255, 255, 255)}));
}

}  // namespace
}  // namespace px
