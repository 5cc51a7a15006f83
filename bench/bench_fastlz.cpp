// The viewer's fast compressor on page bitmaps as the viewer holds them
// (24-bit rows padded to four bytes, A4 at 100 % and 200 %), compressing and
// decompressing, beside zlib at level 1 doing the same in the same run. The
// pages are drawn here the way a counting report looks: a logo block, a
// header table, a long table of rows with rules, anti-aliased text.
#include "BenchTiming.h"
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pdf/UnitFastCompressor.h"
#include "platform/core/NumberConversion.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes drawPage(int scale, int seed) {
  const int w = 794 * scale / 100, h = 1123 * scale / 100;
  QImage image(w, h, QImage::Format_BGR888);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale / 100.0, scale / 100.0);
    p.fillRect(QRectF(620, 40, 110, 55), QColor(30, 80, 160));
    QFont font("DejaVu Sans");
    font.setPixelSize(13);
    p.setFont(font);
    for (int i = 0; i < 4; ++i) p.drawText(QPointF(96, 120 + i * 18), QString("Field %1: value %2").arg(i).arg(seed * 31 + i));
    for (int row = 0; row < 48; ++row) {
      const double y = 220 + row * 18;
      p.drawText(QPointF(96, y), QString("Denomination %1").arg(row + seed));
      p.drawText(QPointF(380, y), QString::number((row * 7 + seed) % 500));
      p.drawText(QPointF(520, y), QString("%1.%2").arg((row * 37 + seed) % 9000).arg(row % 100, 2, 10, QChar('0')));
      if (row % 8 == 7) p.drawLine(QPointF(96, y + 4), QPointF(700, y + 4));
    }
  }
  Bytes bits;
  const int stride = (w * 3 + 3) / 4 * 4;
  bits.resize(size_t(stride) * h);
  for (int y = 0; y < h; ++y) std::memcpy(&bits[size_t(y) * stride], image.constScanLine(y), size_t(w) * 3);
  return bits;
}

struct Page {
  Bytes raw;
  Bytes fast;
  Bytes zlib;
};

std::vector<Page> makePages() {
  std::vector<Page> pages;
  for (int scale : {100, 200})
    for (int seed = 1; seed <= 3; ++seed) pages.push_back({drawPage(scale, seed), {}, {}});
  return pages;
}

void compressFast(std::vector<Page>& pages) {
  auto table = px::AllocFastHashTable();
  for (Page& p : pages) {
    p.fast.resize(size_t(px::FastCompressBound(int64_t(p.raw.size()))));
    const int32_t n = px::FastCompress(p.raw.data(), p.raw.data() + p.raw.size(), p.fast.data(),
                                       int64_t(p.fast.size()), *table);
    p.fast.resize(size_t(n));
  }
}

void compressZlib(std::vector<Page>& pages) {
  for (Page& p : pages) {
    uLongf size = compressBound(uLong(p.raw.size()));
    p.zlib.resize(size);
    compress2(p.zlib.data(), &size, p.raw.data(), uLong(p.raw.size()), 1);
    p.zlib.resize(size);
  }
}

bool decompressFast(std::vector<Page>& pages, Bytes& out) {
  bool ok = true;
  for (Page& p : pages) {
    out.resize(p.raw.size());
    ok &= px::FastDecompress(p.fast.data(), p.fast.data() + p.fast.size(), out.data(), out.data() + out.size()) ==
          int32_t(p.raw.size());
  }
  return ok;
}

bool decompressZlib(std::vector<Page>& pages, Bytes& out) {
  bool ok = true;
  for (Page& p : pages) {
    out.resize(p.raw.size());
    uLongf size = uLongf(out.size());
    ok &= uncompress(out.data(), &size, p.zlib.data(), uLong(p.zlib.size())) == Z_OK && size == p.raw.size();
  }
  return ok;
}

void BM_FastCompress(benchmark::State& state) {
  auto pages = makePages();
  for (auto _ : state) compressFast(pages);
}
BENCHMARK(BM_FastCompress)->Unit(benchmark::kMillisecond);

void BM_ZlibLevel1Compress(benchmark::State& state) {
  auto pages = makePages();
  for (auto _ : state) compressZlib(pages);
}
BENCHMARK(BM_ZlibLevel1Compress)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::vector<Page> pages = makePages();
  compressFast(pages);
  compressZlib(pages);
  size_t raw = 0, fast = 0, zlib = 0;
  for (const Page& p : pages) raw += p.raw.size(), fast += p.fast.size(), zlib += p.zlib.size();
  Bytes out;
  if (!decompressFast(pages, out) || !decompressZlib(pages, out)) {
    std::fprintf(stderr, "a round trip failed\n");
    return 1;
  }
  double ours = 1e9, peer = 1e9;
  for (int round = 0; round < 3; ++round) {
    ours = std::min(ours, bestSeconds(3, [&] { compressFast(pages); }));
    peer = std::min(peer, bestSeconds(3, [&] { compressZlib(pages); }));
  }
  std::printf("%zu pages, %zu bytes: fast %zu bytes, zlib level 1 %zu bytes\n", pages.size(), raw, fast, zlib);
  std::printf("RESULT fastlz/compress ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(ours, 6).c_str(),
              px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 3).c_str());
  ours = peer = 1e9;
  for (int round = 0; round < 3; ++round) {
    ours = std::min(ours, bestSeconds(3, [&] { decompressFast(pages, out); }));
    peer = std::min(peer, bestSeconds(3, [&] { decompressZlib(pages, out); }));
  }
  std::printf("RESULT fastlz/decompress ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(ours, 6).c_str(),
              px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 3).c_str());
  return 0;
}
