// Conversion into bitmaps. The PNG suite images and our own format files are
// compared with libpng's decoding through QImage (16-bit samples on their
// most significant byte); the hand-made conv_* files check the mode rules.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>

#include "support/TempDir.h"
#include "ui/png/UnitPNG.h"

namespace px {
namespace {

std::filesystem::path pngDir() { return test::FixturesDir() / "png"; }

struct Rgba {
  int r, g, b, a;
  bool operator==(const Rgba&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgba& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << "," << c.a << ")";
}

// libpng's pixels, 8 bits a channel.
std::vector<Rgba> referencePixels(const std::filesystem::path& path, bool sixteen) {
  QImage image(QString::fromStdString(path.string()));
  EXPECT_FALSE(image.isNull()) << path;
  std::vector<Rgba> out;
  if (sixteen) {
    QImage wide = image.convertToFormat(QImage::Format_RGBA64);
    for (int y = 0; y < wide.height(); ++y) {
      auto* line = reinterpret_cast<const QRgba64*>(wide.constScanLine(y));
      for (int x = 0; x < wide.width(); ++x)
        out.push_back({line[x].red() >> 8, line[x].green() >> 8, line[x].blue() >> 8, line[x].alpha() >> 8});
    }
  } else {
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
      for (int x = 0; x < argb.width(); ++x) {
        QRgb p = argb.pixel(x, y);
        out.push_back({qRed(p), qGreen(p), qBlue(p), qAlpha(p)});
      }
  }
  return out;
}

std::vector<Rgba> shownPixels(const TPNGMemoryBitmap& bitmap) {
  std::vector<Rgba> out;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      Byte c[4];
      bitmap.RGBA(x, y, c);
      out.push_back({c[0], c[1], c[2], c[3]});
    }
  return out;
}

void compareWithLibpng(const std::filesystem::path& path) {
  SCOPED_TRACE(path.filename().string());
  TPNGFile file;
  file.LoadFromFile(path.string());
  auto reference = referencePixels(path, file.BitDepth == 16);
  ASSERT_EQ(reference.size(), size_t(file.Width) * file.Height);
  for (TPNGBitmapMode mode : {pbmNative, pbmRGB, pbmRGBA, pbmMask}) {
    SCOPED_TRACE(int(mode));
    TPNGMemoryBitmap bitmap;
    file.ToBitmap(&bitmap, mode);
    ASSERT_EQ(bitmap.Width(), file.Width);
    ASSERT_EQ(bitmap.Height(), file.Height);
    auto shown = shownPixels(bitmap);
    for (size_t i = 0; i < shown.size(); ++i) {
      Rgba want = reference[i];
      if (mode == pbmRGBA && want.a == 0) {
        want = {shown[i].r, shown[i].g, shown[i].b, 0};  // libpng zeroes their colour
      } else if (mode == pbmMask) {
        // A mask shows the alpha (1-bit masks as black or white).
        want = {want.a, want.a, want.a, 255};
      } else if (mode != pbmRGBA) {
        // libpng's colour of a fully transparent pixel is not the sample's.
        if (want.a == 0) continue;
        want.a = 255;
      }
      ASSERT_EQ(shown[i], want) << "pixel " << i % file.Width << "," << i / file.Width;
    }
  }
}

TEST(PNGConvert, PngSuiteMatchesLibpng) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(pngDir() / "suite")) {
    std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".png" || name.starts_with("invalid-")) continue;
    // libpng through QImage does not key 16-bit samples; these three are
    // checked against the suite's pixel dumps below.
    if (name.starts_with("ftb") && name.find("16") != std::string::npos) continue;
    compareWithLibpng(entry.path());
    ++count;
  }
  EXPECT_EQ(count, 34);
}

TEST(PNGConvert, SixteenBitKeysMatchTheSuiteDumps) {
  TPNGMemoryBitmap bitmap;
  TPNGFile file;
  file.LoadFromFile((pngDir() / "suite" / "ftbbn2c16.png").string());
  file.ToBitmap(&bitmap, pbmRGBA);
  // Row 15 of the dump: ffffffffffff (the key), b6b6b6b6b6b6, 0000a2a20001, 00010000f0f0.
  EXPECT_EQ(bitmap.Pixel(0, 15), 0x00FFFFFFu);
  EXPECT_EQ(bitmap.Pixel(3, 15), 0xFFB6B6B6u);
  EXPECT_EQ(bitmap.Pixel(5, 15), 0xFF00A200u);
  EXPECT_EQ(bitmap.Pixel(21, 15), 0xFF0000F0u);
  file.LoadFromFile((pngDir() / "suite" / "ftbwn0g16.png").string());
  file.ToBitmap(&bitmap, pbmMask);
  TPNGMemoryBitmap rgba;
  file.ToBitmap(&rgba, pbmRGBA);
  int transparent = 0;
  for (int y = 0; y < file.Height; ++y)
    for (int x = 0; x < file.Width; ++x) {
      bool keyed = (rgba.Pixel(x, y) >> 24) == 0;
      transparent += keyed;
      EXPECT_EQ(bitmap.Pixel(x, y), keyed ? 0u : 1u);
    }
  EXPECT_GT(transparent, 0);
}

TEST(PNGConvert, OwnFormatFilesMatchLibpng) {
  for (const auto& entry : std::filesystem::directory_iterator(pngDir())) {
    std::string name = entry.path().filename().string();
    if (name.starts_with("fmt_") && entry.path().extension() == ".png") compareWithLibpng(entry.path());
  }
}

TEST(PNGConvert, InvalidSuiteFiles) {
  struct Case {
    const char* name;
    const char* expected;
  } cases[] = {
      {"invalid-crc32.png", "Invalid PNG: File corrupted"},
      {"invalid-zlib.png", "PNGFile: Error with ZLib decompression"},
      // A palette image whose indices lie beyond its palette: read as black.
      {"invalid-palette.png", "ok"},
      // Streams that end early load the rows that arrived.
      {"invalid-noend.png", "ok"},
      {"invalid-trunc.png", "ok"},
  };
  for (const auto& c : cases) {
    TPNGFile file;
    std::string result = "ok";
    try {
      file.LoadFromFile((pngDir() / "suite" / c.name).string());
      TPNGMemoryBitmap bitmap;
      file.ToBitmap(&bitmap, pbmAuto);
    } catch (const EPNGException& e) {
      result = e.Message();
    }
    EXPECT_EQ(result, c.expected) << c.name;
  }
}

TEST(PNGConvert, InterlacedTwinsGiveIdenticalBitmaps) {
  for (const char* name : {"fmt_c0d2", "fmt_c3d4", "fmt_c6d16"}) {
    TPNGFile plain, interlaced;
    plain.LoadFromFile((pngDir() / (std::string(name) + ".png")).string());
    interlaced.LoadFromFile((pngDir() / (std::string(name) + "_i.png")).string());
    for (TPNGBitmapMode mode : {pbmNative, pbmRGBA, pbmMask, pbmPremultiplied}) {
      TPNGMemoryBitmap a, b;
      plain.ToBitmap(&a, mode);
      interlaced.ToBitmap(&b, mode);
      EXPECT_EQ(shownPixels(a), shownPixels(b)) << name << " mode " << int(mode);
    }
  }
  TPNGFile plain, interlaced;
  plain.LoadFromFile((pngDir() / "suite" / "gray-gradient.png").string());
  interlaced.LoadFromFile((pngDir() / "suite" / "gray-gradient.interlaced.png").string());
  TPNGMemoryBitmap a, b;
  plain.ToBitmap(&a, pbmRGBA);
  interlaced.ToBitmap(&b, pbmRGBA);
  EXPECT_EQ(shownPixels(a), shownPixels(b));
}

// The pixel formats of each colour type and depth in each mode.
TEST(PNGConvert, PixelFormatTable) {
  using F = TPNGPixelFormat;
  struct Row {
    const char* file;
    F native, rgb, rgba, mask;
  } rows[] = {
      {"fmt_c0d1", F::pf1bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c0d2", F::pf4bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c0d4", F::pf4bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c0d8", F::pf8bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c0d16", F::pf8bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c2d8", F::pf24bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c3d1", F::pf4bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c3d2", F::pf4bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c3d4", F::pf4bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c3d8", F::pf8bit, F::pf24bit, F::pf32bit, F::pf1bit},
      {"fmt_c4d8", F::pf8bit, F::pf24bit, F::pf32bit, F::pf8bit},
      {"fmt_c6d16", F::pf24bit, F::pf24bit, F::pf32bit, F::pf8bit},
      {"conv_pal8_short", F::pf8bit, F::pf24bit, F::pf32bit, F::pf8bit},
  };
  for (const auto& row : rows) {
    TPNGFile file;
    file.LoadFromFile((pngDir() / (std::string(row.file) + ".png")).string());
    TPNGBitmapMode modes[] = {pbmNative, pbmRGB, pbmRGBA, pbmMask, pbmPremultiplied};
    F expected[] = {row.native, row.rgb, row.rgba, row.mask, F::pf32bit};
    for (int i = 0; i < 5; ++i) {
      TPNGMemoryBitmap bitmap;
      file.ToBitmap(&bitmap, modes[i]);
      EXPECT_EQ(bitmap.Format(), expected[i]) << row.file << " mode " << int(modes[i]);
    }
  }
}

std::unique_ptr<TPNGFile> loaded(const char* name) {
  auto file = std::make_unique<TPNGFile>();
  file->LoadFromFile((pngDir() / name).string());
  return file;
}

std::string convertError(const char* name, TPNGBitmapMode mode) {
  TPNGFile file;
  file.LoadFromFile((pngDir() / name).string());
  TPNGMemoryBitmap bitmap;
  try {
    file.ToBitmap(&bitmap, mode);
  } catch (const EPNGException& e) {
    return e.Message();
  }
  return "ok";
}

TEST(PNGConvert, ConversionFailures) {
  struct Case {
    const char* file;
    TPNGBitmapMode mode;
    const char* expected;
  } cases[] = {
      {"conv_rgb8_key300.png", pbmRGBA, "PNGFile: Cannot convert"},
      {"conv_rgb8_key300.png", pbmAuto, "PNGFile: Cannot convert"},
      {"conv_rgb8_key300.png", pbmRGB, "ok"},
      {"conv_rgb8_key300.png", pbmMask, "ok"},
      {"conv_grey8_key300.png", pbmRGBA, "PNGFile: Cannot convert"},
      {"conv_grey8_key300.png", pbmMask, "ok"},
      {"conv_grey2_key16.png", pbmRGBA, "PNGFile: Cannor read PNGFile"},
      {"conv_grey2_key16.png", pbmNative, "ok"},
      {"conv_pal1_alpha20.png", pbmRGBA, "PNGFile: Cannot convert"},
      {"conv_pal1_alpha20.png", pbmMask, "PNGFile: Cannot convert"},
      {"conv_pal1_alpha20.png", pbmNative, "ok"},
  };
  for (const auto& c : cases) EXPECT_EQ(convertError(c.file, c.mode), c.expected) << c.file << " " << int(c.mode);
}

TEST(PNGConvert, NullBitmapAndUnknownMode) {
  auto file = loaded("case_good.png");
  try {
    file->ToBitmap(nullptr, pbmRGBA);
    FAIL();
  } catch (const EPNGException&) {
    FAIL() << "a plain exception is expected";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "PNGFileToBitmap: No bitmap!");
  }
  TPNGMemoryBitmap bitmap;
  file->ToBitmap(&bitmap, pbmRGBA);
  EXPECT_FALSE(bitmap.Empty());
  file->ToBitmap(&bitmap, static_cast<TPNGBitmapMode>(6));
  EXPECT_TRUE(bitmap.Empty());
  TPNGFile nothing;
  nothing.ToBitmap(&bitmap, pbmRGBA);
  EXPECT_TRUE(bitmap.Empty());
}

TEST(PNGConvert, GreyTransparencyKeys) {
  TPNGMemoryBitmap bitmap;
  // 16-bit: only the sample equal in both bytes is transparent.
  loaded("conv_grey16_key.png")->ToBitmap(&bitmap, pbmRGBA);
  EXPECT_EQ(bitmap.Pixel(0, 0), 0x00121212u);
  EXPECT_EQ(bitmap.Pixel(1, 0) >> 24, 255u);
  EXPECT_EQ(bitmap.Pixel(2, 0) >> 24, 255u);
  EXPECT_EQ(bitmap.Pixel(3, 0) >> 24, 255u);
  loaded("conv_grey16_key.png")->ToBitmap(&bitmap, pbmMask);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x70);
  // 8-bit key 300 matches nothing, not the sample 300 mod 256.
  loaded("conv_grey8_key300.png")->ToBitmap(&bitmap, pbmMask);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0xF0);
  // Samples 0 44 44 255 keyed 44.
  loaded("conv_grey8_key44.png")->ToBitmap(&bitmap, pbmMask);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x90);
  // 2-bit samples 0 1 2 3 2 keyed 1.
  loaded("conv_grey2_key1.png")->ToBitmap(&bitmap, pbmRGBA);
  std::vector<Cardinal> expected = {0xFF000000u, 0x00555555u, 0xFFAAAAAAu, 0xFFFFFFFFu, 0xFFAAAAAAu};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(bitmap.Pixel(x, 0), expected[x]) << x;
  // Without tRNS nothing is transparent, black included.
  loaded("conv_grey2.png")->ToBitmap(&bitmap, pbmRGBA);
  EXPECT_EQ(bitmap.Pixel(0, 0), 0xFF000000u);
}

TEST(PNGConvert, TwoBitGreyNativeIsFourBitWithFourGreyLevels) {
  TPNGMemoryBitmap bitmap;
  loaded("conv_grey2.png")->ToBitmap(&bitmap, pbmNative);
  ASSERT_EQ(bitmap.Format(), TPNGPixelFormat::pf4bit);
  std::vector<TPNGPaletteColor> grey = {{0, 0, 0, 0}, {85, 85, 85, 0}, {170, 170, 170, 0}, {255, 255, 255, 0}};
  EXPECT_EQ(bitmap.Palette(), grey);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x01);
  EXPECT_EQ(bitmap.ScanLine(0)[1], 0x23);
  EXPECT_EQ(bitmap.ScanLine(0)[2], 0x20);
}

TEST(PNGConvert, PaletteIndicesBeyondThePaletteAreOpaqueBlack) {
  TPNGMemoryBitmap bitmap;
  auto file = loaded("conv_pal8_short.png");
  file->ToBitmap(&bitmap, pbmAuto);
  ASSERT_EQ(bitmap.Format(), TPNGPixelFormat::pf32bit);
  std::vector<Cardinal> expected = {0x00FF0000u, 0x8000FF00u, 0xFF0000FFu, 0xFF000000u, 0xFF000000u};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(bitmap.Pixel(x, 0), expected[x]) << x;
  file->ToBitmap(&bitmap, pbmMask);
  ASSERT_EQ(bitmap.Format(), TPNGPixelFormat::pf8bit);
  EXPECT_EQ(std::vector<Byte>(bitmap.ScanLine(0), bitmap.ScanLine(0) + 5), (std::vector<Byte>{0, 0x80, 255, 255, 255}));
  file->ToBitmap(&bitmap, pbmNative);
  ASSERT_EQ(bitmap.Palette().size(), 256u);
  EXPECT_EQ(bitmap.Palette()[5], (TPNGPaletteColor{0, 0, 0, 0}));
  loaded("conv_pal8_notrns.png")->ToBitmap(&bitmap, pbmAuto);
  EXPECT_EQ(bitmap.Format(), TPNGPixelFormat::pf8bit);
}

TEST(PNGConvert, RgbKeyAndPremultiplied) {
  TPNGMemoryBitmap bitmap;
  loaded("conv_rgb8_key.png")->ToBitmap(&bitmap, pbmRGBA);
  EXPECT_EQ(bitmap.Pixel(0, 0), 0x000A141Eu);
  EXPECT_EQ(bitmap.Pixel(1, 0), 0xFF0A141Fu);
  EXPECT_EQ(bitmap.Pixel(3, 0) >> 24, 0u);
  loaded("conv_rgb8_key.png")->ToBitmap(&bitmap, pbmMask);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x60);
  loaded("conv_rgba_half.png")->ToBitmap(&bitmap, pbmPremultiplied);
  const Byte* p = bitmap.ScanLine(0);
  EXPECT_EQ(std::vector<Byte>(p, p + 8), (std::vector<Byte>{128, 0, 0, 128, 50, 100, 200, 255}));
}

TEST(PNGConvert, AllOnesMaskSetsOnlyRealPixels) {
  TPNGMemoryBitmap bitmap;
  loaded("conv_grey8_w10.png")->ToBitmap(&bitmap, pbmMask);
  ASSERT_EQ(bitmap.Format(), TPNGPixelFormat::pf1bit);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(bitmap.ScanLine(y)[0], 0xFF);
    EXPECT_EQ(bitmap.ScanLine(y)[1], 0xC0);
  }
}

TEST(PNGConvert, GammaCorrectionWhereItApplies) {
  auto file = loaded("conv_gama100000.png");
  file->GammaCorrection = true;
  auto table = file->GammaTable();
  ASSERT_EQ(table.size(), 256u);
  TPNGMemoryBitmap bitmap;
  // 24-bit results of RGB images are corrected...
  file->ToBitmap(&bitmap, pbmRGB);
  Cardinal corrected = 0xFF000000u | (Cardinal(table[64]) << 16) | (Cardinal(table[128]) << 8) | table[200];
  EXPECT_EQ(bitmap.Pixel(0, 0), corrected);
  // ...32-bit results of RGB images are not.
  file->ToBitmap(&bitmap, pbmRGBA);
  EXPECT_EQ(bitmap.Pixel(0, 0), 0xFF4080C8u);
  file->GammaCorrection = false;
  file->ToBitmap(&bitmap, pbmRGB);
  EXPECT_EQ(bitmap.Pixel(0, 0), 0xFF4080C8u);
}

TEST(PNGConvert, UnknownFilterTypeZeroesItsRow) {
  TPNGMemoryBitmap bitmap;
  loaded("conv_filter7.png")->ToBitmap(&bitmap, pbmNative);
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(bitmap.Pixel(x, 0), 9u);
    EXPECT_EQ(bitmap.Pixel(x, 1), 0u);
    EXPECT_EQ(bitmap.Pixel(x, 2), 7u);
  }
}

TEST(PNGConvert, LoadBitmapFromPNGFileUsesAutoMode) {
  TPNGMemoryBitmap bitmap;
  LoadBitmapFromPNGFile(&bitmap, (pngDir() / "conv_pal8_notrns.png").string());
  EXPECT_EQ(bitmap.Format(), TPNGPixelFormat::pf8bit);
  EXPECT_THROW(LoadBitmapFromPNGFile(nullptr, (pngDir() / "conv_pal8_notrns.png").string()), EAssertionFailed);
  EXPECT_THROW(LoadBitmapFromPNGFile(&bitmap, (pngDir() / "case_bad_crc.png").string()), EPNGException);
  EXPECT_TRUE(bitmap.Empty());
}

}  // namespace
}  // namespace px

namespace px {
namespace {

TEST(PxToolPng, DecodeWritesRgbaPamAndReportsErrors) {
  const char* buildDir = std::getenv("PX_BUILD_DIR");
  ASSERT_NE(buildDir, nullptr);
  std::string tool = std::string(buildDir) + "/tools/pxtool/pxtool";
  test::TempDir dir;
  std::string out;
  ASSERT_EQ(test::RunCommand(tool + " png decode --mode native " + (pngDir() / "conv_pal8_short.png").string() + " " +
                                 dir.File("o.pam"),
                             &out),
            0);
  std::string pam = test::ReadFileBytes(dir.File("o.pam"));
  std::string header = "P7\nWIDTH 5\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  ASSERT_EQ(pam.substr(0, header.size()), header);
  EXPECT_EQ(pam.substr(header.size()), std::string("\xFF\0\0\xFF\0\xFF\0\xFF\0\0\xFF\xFF\0\0\0\xFF\0\0\0\xFF", 20));
  EXPECT_NE(test::RunCommand(tool + " png decode " + (pngDir() / "case_bad_crc.png").string() + " " +
                             dir.File("x.pam") + " 2>" + dir.File("err.txt")),
            0);
  EXPECT_EQ(test::ReadFileBytes(dir.File("err.txt")), "Invalid PNG: File corrupted\n");
}

}  // namespace
}  // namespace px
