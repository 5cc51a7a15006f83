// Font information beside QRawFont (FreeType) in the same run: loading each
// pinned face with every flag, and the kerned advances of 100,000 characters
// of text. The faces are handed to both as bytes.
#include "BenchTiming.h"
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QRawFont>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "pdf/UnitFontInformation.h"
#include "platform/core/Fonts.h"
#include "platform/core/NumberConversion.h"

namespace {

const char* kFaces[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-ExtraLight.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-BoldItalic.ttf",
};

struct Face {
  QByteArray bytes;
  px::TLogFontW logFont;
};

std::vector<Face>& faces() {
  static std::vector<Face> list;
  if (list.empty())
    for (const char* path : kFaces) {
      std::ifstream in(path, std::ios::binary);
      std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (data.empty()) {
        std::fprintf(stderr, "cannot read %s\n", path);
        std::exit(1);
      }
      px::AddFontMemResource(data.data(), data.size());
      auto parsed = px::ParseFontFaces(std::make_shared<px::TBytes>(data.begin(), data.end()));
      list.push_back({QByteArray(data.data(), qsizetype(data.size())), px::LogFontForFace(*parsed[0])});
    }
  return list;
}

std::u16string text() {
  static const std::u16string sentence =
      u"AVATAR Wolves, To tell the truth: \u00C9t\u00E9 \u00E0 Paris co\u00FBte 1234,56 \u20AC. ";
  std::u16string t;
  while (t.size() < 100000) t += sentence;
  t.resize(100000);
  return t;
}

void loadOurs() {
  for (const Face& f : faces()) {
    px::TFontInformation info(f.logFont, px::fiAll);
    benchmark::DoNotOptimize(info.CapHeight);
  }
}

void loadPeer() {
  for (const Face& f : faces()) {
    QRawFont raw(f.bytes, 2048);
    benchmark::DoNotOptimize(raw.capHeight());
    benchmark::DoNotOptimize(raw.xHeight());
  }
}

void BM_LoadOurs(benchmark::State& state) {
  for (auto _ : state) loadOurs();
}
BENCHMARK(BM_LoadOurs)->Unit(benchmark::kMillisecond);

void BM_LoadQRawFont(benchmark::State& state) {
  for (auto _ : state) loadPeer();
}
BENCHMARK(BM_LoadQRawFont)->Unit(benchmark::kMillisecond);

void BM_AdvancesOurs(benchmark::State& state) {
  px::TFontInformation info(faces()[0].logFont, px::fiAll);
  std::u16string t = text();
  for (auto _ : state) benchmark::DoNotOptimize(info.TextAdvances(t, 2048, 0));
}
BENCHMARK(BM_AdvancesOurs)->Unit(benchmark::kMillisecond);

void BM_AdvancesQRawFont(benchmark::State& state) {
  QRawFont raw(faces()[0].bytes, 2048);
  std::u16string t = text();
  QString qs = QString::fromUtf16(t.data(), qsizetype(t.size()));
  for (auto _ : state) {
    QList<quint32> glyphs = raw.glyphIndexesForString(qs);
    benchmark::DoNotOptimize(raw.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances));
  }
}
BENCHMARK(BM_AdvancesQRawFont)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  double ours = 1e9, peer = 1e9;
  for (int round = 0; round < 3; ++round) {
    ours = std::min(ours, bestSeconds(3, loadOurs));
    peer = std::min(peer, bestSeconds(3, loadPeer));
  }
  std::printf("load: %zu faces, all flags\n", faces().size());
  std::printf("RESULT font_info/load ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(ours, 6).c_str(),
              px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 3).c_str());

  // Advances in font units of the whole text, each font over every pinned face.
  std::u16string t = text();
  QString qs = QString::fromUtf16(t.data(), qsizetype(t.size()));
  std::vector<std::unique_ptr<px::TFontInformation>> infos;
  std::vector<std::unique_ptr<QRawFont>> raws;
  for (const Face& f : faces()) {
    infos.push_back(std::make_unique<px::TFontInformation>(f.logFont, px::fiAll));
    raws.push_back(std::make_unique<QRawFont>(f.bytes, infos.back()->UnitsPerEm));
  }
  auto advancesOurs = [&] {
    for (auto& info : infos) benchmark::DoNotOptimize(info->TextAdvances(t, info->UnitsPerEm, 0));
  };
  auto advancesPeer = [&] {
    for (auto& raw : raws) {
      QList<quint32> glyphs = raw->glyphIndexesForString(qs);
      benchmark::DoNotOptimize(raw->advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances));
    }
  };
  ours = peer = 1e9;
  for (int round = 0; round < 3; ++round) {
    ours = std::min(ours, bestSeconds(5, advancesOurs));
    peer = std::min(peer, bestSeconds(5, advancesPeer));
  }
  std::printf("advances: %zu characters per face\n", t.size());
  std::printf("RESULT font_info/advances ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(ours, 6).c_str(),
              px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 3).c_str());
  return 0;
}
