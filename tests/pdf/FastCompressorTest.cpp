#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "pdf/UnitFastCompressor.h"
#include "support/TempDir.h"

namespace px {
namespace {

using Bytes = std::vector<Byte>;

Bytes Compress(const Bytes& input) {
  Bytes out(static_cast<size_t>(FastCompressBound(static_cast<int64_t>(input.size()))));
  auto table = AllocFastHashTable();
  const int32_t n = FastCompress(input.data(), input.data() + input.size(), out.data(),
                                 static_cast<int64_t>(out.size()), *table);
  EXPECT_GE(n, 0);
  out.resize(static_cast<size_t>(std::max(n, 0)));
  return out;
}

int32_t Decompress(const Bytes& packed, Bytes& out) {
  return FastDecompress(packed.data(), packed.data() + packed.size(), out.data(), out.data() + out.size());
}

// Inputs with the shapes the format has to handle: literal runs longer than
// one group holds, more than seven matches in a row, short and long
// distances, overlapping repeats, text, noise, and the sizes near the end
// handling.
std::vector<Bytes> SampleInputs() {
  std::mt19937 rng(7);
  std::vector<Bytes> inputs;
  for (size_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 100, 287, 600, 4097, 70000}) {
    Bytes noise(n);
    for (auto& b : noise) b = static_cast<Byte>(rng());
    inputs.push_back(noise);
  }
  Bytes runs;
  for (int i = 0; i < 3000; ++i) runs.insert(runs.end(), 1 + rng() % 300, static_cast<Byte>(rng() % 4));
  inputs.push_back(runs);
  Bytes text;
  const std::string words[] = {"counting ", "sheet ", "total ", "coins ", "notes ", "\n"};
  while (text.size() < 50000) {
    const std::string& w = words[rng() % 6];
    text.insert(text.end(), w.begin(), w.end());
  }
  inputs.push_back(text);
  // Noise and copies of it at distances around the window's edge.
  Bytes far(6000);
  for (auto& b : far) b = static_cast<Byte>(rng());
  for (size_t back : {4096, 4095, 4097, 3, 2}) far.insert(far.end(), far.end() - back, far.end() - back + 40);
  inputs.push_back(far);
  // A page row pattern: white with a few dark pixels, 24-bit.
  Bytes page(3 * 850 * 200, 0xFF);
  for (size_t i = 0; i < page.size(); i += 3 * (17 + rng() % 400)) page[i] = page[i + 1] = page[i + 2] = 0;
  inputs.push_back(page);
  return inputs;
}

TEST(FastCompressor, GoldenBytes) {
  struct Case {
    Bytes input;
    Bytes expected;
  };
  const Case cases[] = {
      {{}, {}},
      {{9, 8, 7, 6}, {4, 9, 8, 7, 6}},
      // A literal and a match of distance 1, length 4.
      {{5, 5, 5, 5, 5}, {33, 5, 0x00, 0x00}},
      // One literal and four matches of distance 1: 274, 274, 274 and 177.
      {Bytes(1000, 0), {129, 0, 0x00, 0xF0, 255, 0x00, 0xF0, 255, 0x00, 0xF0, 255, 0x00, 0xF0, 158}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Compress(c.input), c.expected) << c.input.size() << " bytes";
    Bytes back(c.input.size());
    EXPECT_EQ(Decompress(c.expected, back), static_cast<int32_t>(c.input.size()));
    EXPECT_EQ(back, c.input);
  }
}

TEST(FastCompressor, DecompressionErrors) {
  const Bytes zeros(1000, 0);
  const Bytes packed = Compress(zeros);
  Bytes out(1000);
  Bytes shorter(999);
  EXPECT_EQ(Decompress(packed, out), 1000);
  EXPECT_EQ(Decompress(packed, shorter), FASTLZ_OUTPUT_END);

  struct Case {
    const char* what;
    Bytes packed;
    size_t room;
    int32_t result;
  };
  const Case cases[] = {
      {"extension byte missing", {31}, 100, FASTLZ_INPUT_END},
      {"literals missing", {3, 1, 2}, 100, FASTLZ_INPUT_END},
      {"match word missing", {33, 1, 0}, 100, FASTLZ_INPUT_END},
      {"length byte missing", {33, 1, 0x00, 0xF0}, 100, FASTLZ_INPUT_END},
      {"match in a first group without literals, distance 1", {32, 0x00, 0x00}, 100, FASTLZ_BEFORE_START},
      {"match in a first group without literals, distance 4096", {32, 0xFF, 0x0F}, 100, FASTLZ_BEFORE_START},
      {"match reaching one byte before the start", {34, 1, 2, 0x02, 0x00}, 100, FASTLZ_BEFORE_START},
      {"literals past the end", {3, 1, 2, 3}, 2, FASTLZ_OUTPUT_END},
      {"match past the end", {33, 1, 0x00, 0x00}, 4, FASTLZ_OUTPUT_END},
      {"empty groups", {0, 0, 0}, 0, 0},
  };
  for (const Case& c : cases) {
    Bytes dest(c.room);
    EXPECT_EQ(Decompress(c.packed, dest), c.result) << c.what;
  }
  // Every cut inside the compressed form of mixed data is noticed (the text:
  // literals and matches alternate).
  const Bytes input = SampleInputs()[18];
  const Bytes full = Compress(input);
  Bytes dest(input.size());
  int cutsInsideGroups = 0;
  for (size_t cut = 1; cut < full.size(); cut += 7) {
    const Bytes part(full.begin(), full.begin() + cut);
    const int32_t r = Decompress(part, dest);
    EXPECT_TRUE(r == FASTLZ_INPUT_END || (r >= 0 && r < static_cast<int32_t>(input.size()))) << cut;
    if (r == FASTLZ_INPUT_END) ++cutsInsideGroups;
  }
  EXPECT_GT(cutsInsideGroups, 0);
}

TEST(FastCompressor, CompressionRefusals) {
  Bytes input(100, 1);
  Bytes out(static_cast<size_t>(FastCompressBound(100)));
  auto table = AllocFastHashTable();
  EXPECT_EQ(FastCompress(input.data() + 10, input.data(), out.data(), static_cast<int64_t>(out.size()), *table),
            FASTLZ_BAD_RANGE);
  EXPECT_EQ(FastCompress(input.data(), input.data() + 100, out.data(), FastCompressBound(100) - 1, *table),
            FASTLZ_BAD_RANGE);
}

TEST(FastCompressor, RoundTripsWithinTheBound) {
  // A table full of stale positions from an earlier, longer input must not
  // matter.
  auto table = AllocFastHashTable();
  for (auto& e : table->Entries) e = 0xFFFFFFF0u;
  for (const Bytes& input : SampleInputs()) {
    const int64_t bound = FastCompressBound(static_cast<int64_t>(input.size()));
    Bytes packed(static_cast<size_t>(bound));
    const int32_t n = FastCompress(input.data(), input.data() + input.size(), packed.data(), bound, *table);
    ASSERT_GE(n, 0) << input.size();
    ASSERT_LE(n, bound);
    packed.resize(static_cast<size_t>(n));
    Bytes back(input.size());
    EXPECT_EQ(Decompress(packed, back), static_cast<int32_t>(input.size()));
    EXPECT_EQ(back, input) << input.size() << " bytes";
  }
  const Bytes page = SampleInputs().back();
  EXPECT_LT(Compress(page).size(), page.size() / 20);
}

TEST(FastCompressor, IndependentDecoderReadsOurOutput) {
  test::TempDir dir;
  const std::string script = (test::FixturesDir() / "pdf" / "fastlz_decode.py").string();
  const std::vector<Bytes> inputs = SampleInputs();
  for (size_t i = 0; i < inputs.size(); ++i) {
    const Bytes packed = Compress(inputs[i]);
    const std::string in = dir.File("in" + std::to_string(i)), out = dir.File("out" + std::to_string(i));
    test::WriteFileBytes(in, std::string(packed.begin(), packed.end()));
    std::string printed;
    ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + script + " " + in + " " + out + " 2>&1", &printed), 0)
        << printed;
    EXPECT_EQ(test::ReadFileBytes(out), std::string(inputs[i].begin(), inputs[i].end())) << inputs[i].size();
  }
}

}  // namespace
}  // namespace px
