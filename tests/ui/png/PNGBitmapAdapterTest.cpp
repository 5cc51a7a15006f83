// The conversion into the GUI layer's TBitmap through the adapter.
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "ui/png/PNGBitmapAdapter.h"

namespace px {
namespace {

TEST(PNGBitmapAdapter, FillsTBitmapInEachFormat) {
  auto path = (test::FixturesDir() / "png" / "conv_pal8_short.png").string();
  TPNGFile file;
  file.LoadFromFile(path);
  TBitmap bitmap;
  PNGFileToBitmap(file, &bitmap, pbmRGBA);
  ASSERT_EQ(bitmap.PixelFormat(), pf32bit);
  ASSERT_EQ(bitmap.Width(), 5);
  EXPECT_EQ(bitmap.GetAlpha(1, 0), 0x80);
  EXPECT_EQ(bitmap.GetPixel(2, 0), 0xFF0000);  // blue as a plain colour
  PNGFileToBitmap(file, &bitmap, pbmNative);
  ASSERT_EQ(bitmap.PixelFormat(), pf8bit);
  EXPECT_EQ(bitmap.GetPixel(0, 0), 0x0000FF);  // red
  EXPECT_EQ(bitmap.GetPixel(3, 0), 0);
  LoadBitmapFromPNGFile(&bitmap, (test::FixturesDir() / "png" / "conv_grey8_w10.png").string());
  EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
  EXPECT_EQ(bitmap.Width(), 10);
  PNGFileToBitmap(file, &bitmap, pbmMask);
  EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
  EXPECT_THROW(PNGFileToBitmap(file, nullptr, pbmRGBA), Exception);
}

}  // namespace
}  // namespace px
