// Decoding of large PNG images with our reader (load and conversion to a
// bitmap in the automatic mode) beside libpng through QImage doing the same
// in the same run. The images are made here: smooth colour fields with some
// noise, rows filtered the way common encoders choose (the filter with the
// smallest sum of absolute values; none for palette images), zlib level 6.
#include "BenchTiming.h"
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/core/Streams.h"
#include "ui/png/PNGBitmapTarget.h"
#include "ui/png/UnitPNG.h"
#include "platform/core/NumberConversion.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void putChunk(Bytes& out, const char* type, const Bytes& data) {
  put32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put32(out, static_cast<uint32_t>(crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start))));
}

int paeth(int a, int b, int c) {
  int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Appends one filtered row (filter byte first) of `row` given the row above.
void filterRow(Bytes& out, const unsigned char* row, const unsigned char* prev, size_t n, int bpp, bool adaptive) {
  if (!adaptive) {
    out.push_back(0);
    out.insert(out.end(), row, row + n);
    return;
  }
  Bytes best;
  long bestSum = -1;
  Bytes cand(n + 1);
  for (int type = 0; type <= 4; ++type) {
    cand[0] = static_cast<unsigned char>(type);
    long sum = 0;
    for (size_t i = 0; i < n; ++i) {
      int a = i >= size_t(bpp) ? row[i - bpp] : 0, b = prev[i], c = i >= size_t(bpp) ? prev[i - bpp] : 0;
      int pred = type == 0 ? 0 : type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2 : paeth(a, b, c);
      auto v = static_cast<unsigned char>(row[i] - pred);
      cand[i + 1] = v;
      sum += v < 128 ? v : 256 - v;
    }
    if (bestSum < 0 || sum < bestSum) bestSum = sum, best = cand;
  }
  out.insert(out.end(), best.begin(), best.end());
}

// The filtered stream of one image (or one Adam7 pass) of w x h pixels taken
// from `pixels` (full image, `channels` bytes a pixel) at the given start and step.
void filterImage(Bytes& out, const Bytes& pixels, int fullWidth, int channels, int x0, int y0, int dx, int dy,
                 int fullHeight, bool adaptive) {
  const int w = fullWidth > x0 ? (fullWidth - x0 + dx - 1) / dx : 0;
  const int h = fullHeight > y0 ? (fullHeight - y0 + dy - 1) / dy : 0;
  if (w == 0 || h == 0) return;
  const size_t n = size_t(w) * channels;
  Bytes prev(n, 0), row(n);
  for (int y = 0; y < h; ++y) {
    const unsigned char* src = pixels.data() + (size_t(y0 + y * dy) * fullWidth) * channels;
    for (int x = 0; x < w; ++x) std::memcpy(&row[size_t(x) * channels], src + size_t(x0 + x * dx) * channels, channels);
    filterRow(out, row.data(), prev.data(), n, channels, adaptive);
    std::swap(prev, row);
  }
}

// colorType 2 (RGB), 6 (RGBA) or 3 (8-bit palette of 256 colours).
Bytes makePNG(int w, int h, int colorType, bool interlaced, uint32_t seed) {
  const int channels = colorType == 2 ? 3 : colorType == 6 ? 4 : 1;
  std::mt19937 rng(seed);
  Bytes pixels(size_t(w) * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &pixels[(size_t(y) * w + x) * channels];
      const int noise = static_cast<int>(rng() % 9) - 4;
      if (colorType == 3) {
        // Bands of indices, as in artwork reduced to a palette.
        p[0] = static_cast<unsigned char>(((x / 16) * 7 + (y / 16) * 3 + (noise > 2 ? 1 : 0)) & 0xFF);
        continue;
      }
      p[0] = static_cast<unsigned char>(std::clamp((x * 255) / w + noise, 0, 255));
      p[1] = static_cast<unsigned char>(std::clamp((y * 255) / h + noise, 0, 255));
      p[2] = static_cast<unsigned char>(std::clamp(((x + y) * 127) / (w + h) + 64 + noise, 0, 255));
      if (channels == 4) p[3] = static_cast<unsigned char>(std::clamp(255 - (x * 200) / w + noise, 0, 255));
    }

  Bytes filtered;
  const bool adaptive = colorType != 3;
  if (!interlaced) {
    filterImage(filtered, pixels, w, channels, 0, 0, 1, 1, h, adaptive);
  } else {
    static const int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const auto& p : passes) filterImage(filtered, pixels, w, channels, p[0], p[1], p[2], p[3], h, adaptive);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(filtered.size()));
  Bytes packed(packedSize);
  if (compress2(packed.data(), &packedSize, filtered.data(), static_cast<uLong>(filtered.size()), 6) != Z_OK) {
    std::fprintf(stderr, "compress2 failed\n");
    std::exit(1);
  }
  packed.resize(packedSize);

  Bytes png = {137, 80, 78, 71, 13, 10, 26, 10};
  Bytes ihdr;
  put32(ihdr, static_cast<uint32_t>(w));
  put32(ihdr, static_cast<uint32_t>(h));
  ihdr.insert(ihdr.end(), {8, static_cast<unsigned char>(colorType), 0, 0, static_cast<unsigned char>(interlaced)});
  putChunk(png, "IHDR", ihdr);
  if (colorType == 3) {
    Bytes plte;
    for (int i = 0; i < 256; ++i) plte.insert(plte.end(), {static_cast<unsigned char>(i),
                                                             static_cast<unsigned char>(255 - i),
                                                             static_cast<unsigned char>((i * 3) & 0xFF)});
    putChunk(png, "PLTE", plte);
  }
  // IDAT in 64 KiB chunks, as encoders write them.
  for (size_t at = 0; at < packed.size(); at += 65536) {
    const size_t end = std::min(packed.size(), at + 65536);
    putChunk(png, "IDAT", Bytes(packed.begin() + at, packed.begin() + end));
  }
  putChunk(png, "IEND", {});
  return png;
}

void decodeOurs(px::TBytesStream& stream, px::TPNGMemoryBitmap& bitmap) {
  stream.SetPosition(0);
  px::TPNGFile file;
  file.LoadFromStream(stream);
  file.ToBitmap(&bitmap, px::pbmAuto);
  benchmark::DoNotOptimize(bitmap.ScanLine(0));
}

void decodePeer(const Bytes& png, QImage& image) {
  if (!image.loadFromData(png.data(), static_cast<int>(png.size()), "PNG")) {
    std::fprintf(stderr, "QImage could not read the image\n");
    std::exit(1);
  }
  benchmark::DoNotOptimize(image.constBits());
}

struct Case {
  const char* name;
  int colorType;
  bool interlaced;
};

constexpr int side = 2048;
constexpr Case cases[] = {{"rgb", 2, false}, {"rgba", 6, false}, {"palette", 3, false}, {"interlaced", 6, true}};

void BM_Ours(benchmark::State& state) {
  const Case& c = cases[state.range(0)];
  const Bytes png = makePNG(side, side, c.colorType, c.interlaced, 1);
  px::TBytesStream stream(px::TBytes(png.begin(), png.end()));
  px::TPNGMemoryBitmap bitmap;
  for (auto _ : state) decodeOurs(stream, bitmap);
  state.SetLabel(c.name);
}
BENCHMARK(BM_Ours)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_LibpngQImage(benchmark::State& state) {
  const Case& c = cases[state.range(0)];
  const Bytes png = makePNG(side, side, c.colorType, c.interlaced, 1);
  QImage image;
  for (auto _ : state) decodePeer(png, image);
  state.SetLabel(c.name);
}
BENCHMARK(BM_LibpngQImage)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const Case& c : cases) {
    const Bytes png = makePNG(side, side, c.colorType, c.interlaced, 1);
    px::TBytesStream stream(px::TBytes(png.begin(), png.end()));
    px::TPNGMemoryBitmap bitmap;
    QImage image;
    // Alternate the two so that neither profits from a warmer machine.
    double ours = 1e9, peer = 1e9;
    for (int round = 0; round < 3; ++round) {
      ours = std::min(ours, bestSeconds(3, [&] { decodeOurs(stream, bitmap); }));
      peer = std::min(peer, bestSeconds(3, [&] { decodePeer(png, image); }));
    }
    std::printf("%s: %dx%d, %zu bytes\n", c.name, side, side, png.size());
    std::printf("RESULT png/%s ours=%s peer=%s ratio=%s\n", c.name, px::InvariantFloatToStr(ours, 6).c_str(),
                px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 3).c_str());
  }
  return 0;
}
