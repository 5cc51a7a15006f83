// The chunk reader and the row pipeline, on files made by make_fixtures.py.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/TempDir.h"
#include "ui/png/PNGFilter.h"
#include "ui/png/UnitPNG.h"

namespace px {
namespace {

std::filesystem::path pngDir() { return test::FixturesDir() / "png"; }

std::string loadError(TPNGFile& file, const std::filesystem::path& path) {
  try {
    file.LoadFromFile(path.string());
  } catch (const EPNGException& e) {
    return e.Message();
  }
  return "ok";
}

std::vector<Byte> imageBytes(const TPNGFile& file) { return file.Image ? file.Image->Data : std::vector<Byte>{}; }

std::vector<Byte> fileBytes(const std::filesystem::path& path) {
  std::string s = test::ReadFileBytes(path);
  return std::vector<Byte>(s.begin(), s.end());
}

TEST(PNGReader, ChunkOrderAndLengthRules) {
  std::ifstream table(pngDir() / "cases.tsv");
  ASSERT_TRUE(table.is_open());
  std::string line;
  int count = 0;
  while (std::getline(table, line)) {
    auto tab = line.find('\t');
    std::string name = line.substr(0, tab), expected = line.substr(tab + 1);
    TPNGFile file;
    EXPECT_EQ(loadError(file, pngDir() / name), expected) << name;
    ++count;
  }
  EXPECT_GT(count, 40);
}

TEST(PNGReader, EveryFormatAndItsInterlacedTwinGiveTheSameRows) {
  const char* formats[] = {"c0d1", "c0d2", "c0d4", "c0d8", "c0d16", "c2d8", "c2d16", "c3d1",
                           "c3d2", "c3d4", "c3d8", "c4d8", "c4d16", "c6d8", "c6d16"};
  for (const char* f : formats) {
    std::string base = std::string("fmt_") + f;
    auto expected = fileBytes(pngDir() / (base + ".raw"));
    for (const char* suffix : {"", "_i"}) {
      TPNGFile file;
      ASSERT_EQ(loadError(file, pngDir() / (base + suffix + ".png")), "ok") << base << suffix;
      EXPECT_EQ(file.Width, 13);
      EXPECT_EQ(file.Height, 11);
      EXPECT_EQ(file.InterlaceMethod, suffix[0] ? 1 : 0);
      EXPECT_EQ(imageBytes(file), expected) << base << suffix;
    }
  }
}

TEST(PNGReader, ProgressiveAdam7CutAfterPassOneShowsReplicatedBlocks) {
  auto full = fileBytes(pngDir() / "progressive.raw");
  const int w = 19, h = 17;
  TPNGFile cut;
  ASSERT_EQ(loadError(cut, pngDir() / "progressive_cut.png"), "ok");
  auto rows = imageBytes(cut);
  ASSERT_EQ(rows.size(), full.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(rows[(y * w + x) * 3 + c], full[((y / 8 * 8) * w + x / 8 * 8) * 3 + c]) << x << "," << y;

  TPNGFile whole;
  ASSERT_EQ(loadError(whole, pngDir() / "progressive_full.png"), "ok");
  EXPECT_EQ(imageBytes(whole), full);
}

TEST(PNGReader, RowsNeverDeliveredAreZero) {
  // The file ends inside its only IDAT chunk: no row arrives, and the image
  // shows zero bytes rather than whatever the heap held.
  for (int round = 0; round < 3; ++round) {
    TPNGFile file;
    ASSERT_EQ(loadError(file, pngDir() / "case_cut_in_idat_data.png"), "ok");
    ASSERT_TRUE(file.Image);
    for (Byte b : file.Image->Data) ASSERT_EQ(b, 0);
  }
}

TEST(PNGReader, SecondLoadStartsFromAFreshState) {
  TPNGFile file;
  ASSERT_EQ(loadError(file, pngDir() / "case_trns_palette.png"), "ok");
  EXPECT_TRUE(file.HasTransparency);
  EXPECT_EQ(file.Palette.size(), 4u);
  // A tRNS chunk in the next image is not taken for a second one.
  ASSERT_EQ(loadError(file, pngDir() / "case_trns_palette.png"), "ok");
  ASSERT_EQ(loadError(file, pngDir() / "case_good.png"), "ok");
  EXPECT_FALSE(file.HasTransparency);
  EXPECT_TRUE(file.Palette.empty());
  EXPECT_TRUE(file.PaletteAlpha.empty());
  EXPECT_EQ(file.ColorType, 2);
}

TEST(PNGReader, GammaChunk) {
  TPNGFile file;
  ASSERT_EQ(loadError(file, pngDir() / "conv_gama5.png"), "ok");
  EXPECT_EQ(file.Gamma, 100000u);
  EXPECT_FALSE(file.GammaValid);
  ASSERT_EQ(loadError(file, pngDir() / "conv_gama100000.png"), "ok");
  EXPECT_TRUE(file.GammaValid);
  EXPECT_TRUE(file.GammaTable().empty()) << "correction is off by default";
  file.GammaCorrection = true;
  auto table = file.GammaTable();
  ASSERT_EQ(table.size(), 256u);
  // g = 1.0: exp(ln(i/255) / 2.2) * 255, rounded.
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[1], 21);
  EXPECT_EQ(table[64], 136);
  EXPECT_EQ(table[128], 186);
  EXPECT_EQ(table[254], 255);
  EXPECT_EQ(table[255], 255);
  ASSERT_EQ(loadError(file, pngDir() / "case_good.png"), "ok");
  EXPECT_EQ(file.Gamma, 45455u);
  EXPECT_TRUE(file.GammaTable().empty());
}

TEST(PNGReader, LoadsFromTheStreamPosition) {
  auto bytes = test::ReadFileBytes(pngDir() / "case_good.png");
  TBytes data = {1, 2, 3};
  data.insert(data.end(), bytes.begin(), bytes.end());
  TBytesStream stream(data);
  stream.Seek(3, TSeekOrigin::soBeginning);
  TPNGFile file;
  file.LoadFromStream(stream);
  EXPECT_EQ(file.Width, 4);
  EXPECT_EQ(file.Height, 3);
}

TEST(PNGReader, MissingFileRaisesOpenError) {
  TPNGFile file;
  EXPECT_THROW(file.LoadFromFile((pngDir() / "no-such.png").string()), EFOpenError);
}

TEST(PNGGlobal, HandlerTables) {
  TPNGGlobal& global = GetPNGGlobal();
  EXPECT_EQ(&global, &GetPNGGlobal());
  auto message = [](auto fn) {
    try {
      fn();
    } catch (const EPNGException& e) {
      return e.Message();
    }
    return std::string("ok");
  };
  EXPECT_EQ(message([&] { global.AddFilterHandler(nullptr, 9); }), "PNGFile: cannot add an unassigned handler");
  EXPECT_EQ(message([&] { global.AddFilterHandler(std::make_shared<TPNGFilterDefault>(), 0); }),
            "PNGFile: cannot add a filter handler with same byte id");
  EXPECT_EQ(message([&] { global.AddInterlaceHandler(global.GetInterlaceHandler(0), 1); }),
            "PNGFile: cannot add an interlace handler with same byte id");
  EXPECT_EQ(message([&] { global.AddCompressionHandler(global.GetCompressionHandler(0), 0); }),
            "PNGFile: cannot add an compression handler with same byte id");
  EXPECT_EQ(message([&] { global.GetCompressionHandler(3); }),
            "PNGFile: Cannor read PNG file: unknown compression method");
  EXPECT_EQ(message([&] { global.GetFilterHandler(255); }), "PNGFile: Cannor read PNG file: unknown filter method");
  EXPECT_EQ(message([&] { global.GetInterlaceHandler(2); }),
            "PNGFile: Cannor read PNG file: unknown interlace method");
}

TEST(PNGImageBuffer, RowsRowBytesAndChecks) {
  TPNGImageBuffer image(13, 2, 16, 5);
  EXPECT_EQ(image.BytesPerPixel, 6);
  EXPECT_EQ(image.RowBytes, 78);
  EXPECT_EQ(image.Data.size(), 78u * 5);
  EXPECT_EQ(image.GetRow(4), image.Data.data() + 4 * 78);
  EXPECT_THROW(image.GetRow(5), EPNGException);
  EXPECT_THROW(image.GetRow(-1), EPNGException);
  TPNGImageBuffer sub(13, 0, 2, 1);
  EXPECT_EQ(sub.BytesPerPixel, 1);
  EXPECT_EQ(sub.RowBytes, 4);
  TPNGImageBuffer empty(0, 9, 9, 3);
  EXPECT_TRUE(empty.Data.empty());
  try {
    TPNGImageBuffer bad(1, 5, 8, 1);
    FAIL();
  } catch (const EPNGException& e) {
    EXPECT_EQ(e.Message(), "PNGFile: Invalid Colortype");
  }
  try {
    TPNGImageBuffer bad(1, 3, 16, 1);
    FAIL();
  } catch (const EPNGException& e) {
    EXPECT_EQ(e.Message(), "PNGFile: Invalid Bitdepth");
  }
  EXPECT_THROW(TPNGImageBuffer(1 << 14, 0, 8, 1 << 14), EPNGException);
}

TEST(PNGImageBuffer, GetRowBytesIn64Bits) {
  TPNGFile file;
  file.Width = 0x7FFFFFFF;
  file.ColorType = 6;
  file.BitDepth = 16;
  EXPECT_EQ(GetRowBytes(file, 0), Int64(0x7FFFFFFF) * 8);
  EXPECT_EQ(GetRowBytes(file, 3), 24);
  EXPECT_THROW(GetRowBytes(file, -1), EPNGException);
  file.BitDepth = 4;
  EXPECT_THROW(GetRowBytes(file, 1), EPNGException);
}

TEST(PNGFilter, FilterTypesAndUnknownType) {
  // One row of two 2-byte pixels, previous row 10 20 30 40.
  const Byte previous[] = {10, 20, 30, 40};
  struct Case {
    Byte type;
    Byte expected[4];
  } cases[] = {
      {0, {1, 2, 3, 4}},
      {1, {1, 2, 4, 6}},
      {2, {11, 22, 33, 44}},
      {3, {6, 12, 3 + (6 + 30) / 2, 4 + (12 + 40) / 2}},
      // Paeth: the first pixel takes the row above, the second the byte above it here.
      {4, {11, 22, 3 + 30, 4 + 40}},
      {5, {0, 0, 0, 0}},
      {255, {0, 0, 0, 0}},
  };
  TPNGFilterDefault filter;
  for (const auto& c : cases) {
    Byte raw[] = {c.type, 1, 2, 3, 4};
    Byte out[4] = {99, 99, 99, 99};
    filter.UnfilterRow(raw, previous, 2, 4, out);
    EXPECT_EQ(std::vector<Byte>(out, out + 4), std::vector<Byte>(c.expected, c.expected + 4)) << int(c.type);
  }
}

}  // namespace
}  // namespace px
