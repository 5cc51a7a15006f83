// Bitmaps to image XObjects: colour spaces, sample rows and reuse.
#include <gtest/gtest.h>

#include "pdf/UnitPDFParserWriter.h"
#include "pdf/gui/UnitPDFImage.h"

namespace px {
namespace {

std::string dictText(TPDFWriter& w, int32_t number) {
  auto* d = dynamic_cast<TPDFDictionary*>(w.GetIndirectObj(number, 0));
  std::string s;
  for (int32_t i = 0; i < d->Count(); ++i) s += "/" + d->GetKey(i) + " " + AsPDFText(*d->GetValue(i));
  return s;
}

TEST(ImageCollection, ColourSpacesByPalette) {
  TPDFWriter w;
  TPDFImageCollection images(&w);

  TBitmap mono(9, 2, pf1bit);  // palette black, white: a grey ramp
  mono.SetPixelColor(0, 0, clWhite);
  mono.SetPixelColor(8, 1, clWhite);
  TPDFImageInfo* a = images.AddImage(mono, false);
  EXPECT_EQ(a->ColourKind, 0);
  EXPECT_NE(dictText(w, a->ObjectNumber).find("/ColorSpace /DeviceGray"), std::string::npos);
  EXPECT_EQ(a->Pixels(), (TPDFBuffer{0x80, 0x00, 0x00, 0x80}));  // rows of 2 bytes, top row first

  TBitmap grey(2, 1, pf8bit);
  std::vector<TColor> ramp;
  for (int i = 0; i < 256; ++i) ramp.push_back(RGB(i, i, i));
  grey.SetPalette(ramp);
  EXPECT_EQ(images.AddImage(grey, false)->ColourKind, 0);

  // Five colours in a 4-bit bitmap: the lookup still covers all 16 values.
  TBitmap five(3, 1, pf4bit);
  five.SetPalette({clRed, clLime, clBlue, clYellow, clWhite});
  TPDFImageInfo* c = images.AddImage(five, false);
  EXPECT_EQ(c->ColourKind, 2);
  std::string text = dictText(w, c->ObjectNumber);
  EXPECT_NE(text.find("/ColorSpace [ /Indexed /DeviceRGB 15 <FF000000FF000000FFFFFF00FFFFFF"), std::string::npos)
      << text;
  EXPECT_EQ(c->Palette.size(), 48u);

  // A full 8-bit palette goes into a stream of its own, written first.
  TBitmap indexed(1, 1, pf8bit);
  TPDFImageInfo* d = images.AddImage(indexed, false);
  EXPECT_EQ(d->PaletteObjectNumber, d->ObjectNumber - 1);
  EXPECT_NE(dictText(w, d->ObjectNumber).find("255 " + std::to_string(d->PaletteObjectNumber) + " 0 R ]"),
            std::string::npos);

  // 24-bit rows are 12 bytes in the bitmap and 9 in the image.
  TBitmap rgb(3, 2, pf24bit);
  rgb.SetPixelColor(0, 0, RGB(1, 2, 3));
  rgb.SetPixelColor(2, 1, RGB(4, 5, 6));
  TPDFImageInfo* e = images.AddImage(rgb, false);
  EXPECT_EQ(e->Pixels().size(), 18u);
  EXPECT_EQ(e->Pixels()[0], 1);
  EXPECT_EQ(e->Pixels()[2], 3);
  EXPECT_EQ(e->Pixels()[15], 4);
  EXPECT_EQ(e->Pixels()[17], 6);
  EXPECT_EQ(e->Name, "I5");

  TBitmap bad(1, 1, pf32bit);
  EXPECT_EQ(images.AddImage(bad, false)->ColourKind, 1);
}

TEST(ImageCollection, SameBitmapIsReusedUnlessInterpolated) {
  TPDFWriter w;
  TPDFImageCollection images(&w);
  TBitmap logo(4, 4, pf24bit);
  logo.SetPixelColor(1, 1, clRed);
  TBitmap same(4, 4, pf24bit);
  same.SetPixelColor(1, 1, clRed);
  TPDFImageInfo* first = images.AddImage(logo, false);
  EXPECT_EQ(images.AddImage(same, false), first);
  TPDFImageInfo* smooth = images.AddImage(same, true);
  EXPECT_NE(smooth, first);
  EXPECT_NE(dictText(w, smooth->ObjectNumber).find("/Interpolate true"), std::string::npos);
  same.SetPixelColor(0, 0, clBlue);
  EXPECT_NE(images.AddImage(same, false), first);
  EXPECT_EQ(images.Count(), 3);
  EXPECT_EQ(w.GetObjectCount(), 3);

  TPDFDictionary resources;
  first->AddToResources(&resources);
  first->AddToResources(&resources);
  EXPECT_EQ(AsPDFText(resources), "<<\n/ProcSet [ /PDF /ImageC ]\n/XObject <<\n/I1 1 0 R\n>>\n>>\n");
}

}  // namespace
}  // namespace px
