#include "pdf/UnitPDFCCITTStream.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <vector>

#include "pdf/UnitPDFStreams.h"

namespace px {
namespace {

constexpr uint16_t NoCode = 65535;
constexpr int EndOfLine = 4094;

struct Code {
  const char* bits;
  int run;
};

// Modified Huffman codes of ITU-T T.4: terminating codes 0..63 and make-up codes.
const Code whiteCodes[] = {
    {"00110101", 0},    {"000111", 1},      {"0111", 2},        {"1000", 3},        {"1011", 4},
    {"1100", 5},        {"1110", 6},        {"1111", 7},        {"10011", 8},       {"10100", 9},
    {"00111", 10},      {"01000", 11},      {"001000", 12},     {"000011", 13},     {"110100", 14},
    {"110101", 15},     {"101010", 16},     {"101011", 17},     {"0100111", 18},    {"0001100", 19},
    {"0001000", 20},    {"0010111", 21},    {"0000011", 22},    {"0000100", 23},    {"0101000", 24},
    {"0101011", 25},    {"0010011", 26},    {"0100100", 27},    {"0011000", 28},    {"00000010", 29},
    {"00000011", 30},   {"00011010", 31},   {"00011011", 32},   {"00010010", 33},   {"00010011", 34},
    {"00010100", 35},   {"00010101", 36},   {"00010110", 37},   {"00010111", 38},   {"00101000", 39},
    {"00101001", 40},   {"00101010", 41},   {"00101011", 42},   {"00101100", 43},   {"00101101", 44},
    {"00000100", 45},   {"00000101", 46},   {"00001010", 47},   {"00001011", 48},   {"01010010", 49},
    {"01010011", 50},   {"01010100", 51},   {"01010101", 52},   {"00100100", 53},   {"00100101", 54},
    {"01011000", 55},   {"01011001", 56},   {"01011010", 57},   {"01011011", 58},   {"01001010", 59},
    {"01001011", 60},   {"00110010", 61},   {"00110011", 62},   {"00110100", 63},   {"11011", 64},
    {"10010", 128},     {"010111", 192},    {"0110111", 256},   {"00110110", 320},  {"00110111", 384},
    {"01100100", 448},  {"01100101", 512},  {"01101000", 576},  {"01100111", 640},  {"011001100", 704},
    {"011001101", 768}, {"011010010", 832}, {"011010011", 896}, {"011010100", 960}, {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280}, {"011011010", 1344},
    {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536}, {"010011010", 1600}, {"011000", 1664},
    {"010011011", 1728},
};

const Code blackCodes[] = {
    {"0000110111", 0},     {"010", 1},            {"11", 2},             {"10", 3},             {"011", 4},
    {"0011", 5},           {"0010", 6},           {"00011", 7},          {"000101", 8},         {"000100", 9},
    {"0000100", 10},       {"0000101", 11},       {"0000111", 12},       {"00000100", 13},      {"00000111", 14},
    {"000011000", 15},     {"0000010111", 16},    {"0000011000", 17},    {"0000001000", 18},    {"00001100111", 19},
    {"00001101000", 20},   {"00001101100", 21},   {"00000110111", 22},   {"00000101000", 23},   {"00000010111", 24},
    {"00000011000", 25},   {"000011001010", 26},  {"000011001011", 27},  {"000011001100", 28},  {"000011001101", 29},
    {"000001101000", 30},  {"000001101001", 31},  {"000001101010", 32},  {"000001101011", 33},  {"000011010010", 34},
    {"000011010011", 35},  {"000011010100", 36},  {"000011010101", 37},  {"000011010110", 38},  {"000011010111", 39},
    {"000001101100", 40},  {"000001101101", 41},  {"000011011010", 42},  {"000011011011", 43},  {"000001010100", 44},
    {"000001010101", 45},  {"000001010110", 46},  {"000001010111", 47},  {"000001100100", 48},  {"000001100101", 49},
    {"000001010010", 50},  {"000001010011", 51},  {"000000100100", 52},  {"000000110111", 53},  {"000000111000", 54},
    {"000000100111", 55},  {"000000101000", 56},  {"000001011000", 57},  {"000001011001", 58},  {"000000101011", 59},
    {"000000101100", 60},  {"000001011010", 61},  {"000001100110", 62},  {"000001100111", 63},  {"0000001111", 64},
    {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256}, {"000000110011", 320}, {"000000110100", 384},
    {"000000110101", 448}, {"0000001101100", 512}, {"0000001101101", 576}, {"0000001001010", 640},
    {"0000001001011", 704}, {"0000001001100", 768}, {"0000001001101", 832}, {"0000001110010", 896},
    {"0000001110011", 960}, {"0000001110100", 1024}, {"0000001110101", 1088}, {"0000001110110", 1152},
    {"0000001110111", 1216}, {"0000001010010", 1280}, {"0000001010011", 1344}, {"0000001010100", 1408},
    {"0000001010101", 1472}, {"0000001011010", 1536}, {"0000001011011", 1600}, {"0000001100100", 1664},
    {"0000001100101", 1728},
};

// Extended make-up codes, the same for both colours.
const Code extendedCodes[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},  {"000000010010", 1984},
    {"000000010011", 2048}, {"000000010100", 2112}, {"000000010101", 2176}, {"000000010110", 2240},
    {"000000010111", 2304}, {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

enum Mode : uint8_t { mPass, mHorizontal, mV0, mVR1, mVL1, mVR2, mVL2, mVR3, mVL3, mInvalid = 255 };

const struct {
  const char* bits;
  Mode mode;
} modeCodes[] = {{"0001", mPass},    {"001", mHorizontal}, {"1", mV0},         {"011", mVR1},    {"010", mVL1},
                 {"000011", mVR2},   {"000010", mVL2},     {"0000011", mVR3},  {"0000010", mVL3}};

struct Tables {
  std::vector<uint16_t> white = std::vector<uint16_t>(4096, NoCode);
  std::vector<uint16_t> black = std::vector<uint16_t>(8192, NoCode);
  std::array<uint8_t, 128> modes{};
};

void fill(std::vector<uint16_t>& table, int indexBits, const char* bits, int value) {
  int length = 0, code = 0;
  for (const char* p = bits; *p; ++p, ++length) code = code * 2 + (*p - '0');
  int shift = indexBits - length;
  for (int i = 0; i < (1 << shift); ++i) table[(code << shift) | i] = static_cast<uint16_t>(length * 4096 + value);
}

const Tables& tables() {
  static const Tables built = [] {
    Tables t;
    for (const Code& c : whiteCodes) fill(t.white, 12, c.bits, c.run);
    for (const Code& c : blackCodes) fill(t.black, 13, c.bits, c.run);
    for (const Code& c : extendedCodes) {
      fill(t.white, 12, c.bits, c.run);
      fill(t.black, 13, c.bits, c.run);
    }
    fill(t.white, 12, "000000000001", EndOfLine);
    fill(t.black, 13, "000000000001", EndOfLine);
    t.modes.fill(mInvalid);
    for (const auto& m : modeCodes) {
      int length = 0, code = 0;
      for (const char* p = m.bits; *p; ++p, ++length) code = code * 2 + (*p - '0');
      int shift = 7 - length;
      for (int i = 0; i < (1 << shift); ++i) t.modes[(code << shift) | i] = static_cast<uint8_t>(length * 16 + m.mode);
    }
    return t;
  }();
  return built;
}

// Bits most significant first; reading past the data yields 0 bits, but
// consuming them is an error.
class BitReader {
 public:
  BitReader(const TPDFBuffer& data, int32_t start, int32_t length)
      : data_(data), start_(start), totalBits_(static_cast<int64_t>(length) * 8) {}
  uint32_t Peek(int n) const {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i) {
      int64_t bit = position_ + i;
      uint32_t b = 0;
      if (bit < totalBits_) b = (data_[start_ + bit / 8] >> (7 - bit % 8)) & 1;
      value = value * 2 + b;
    }
    return value;
  }
  bool Consume(int n) {
    if (position_ + n > totalBits_) return false;
    position_ += n;
    return true;
  }
  void AlignToByte() { position_ = std::min(totalBits_, (position_ + 7) / 8 * 8); }
  bool AtEnd() const { return position_ >= totalBits_; }
  bool HasBits(int64_t n) const { return position_ + n <= totalBits_; }
  // True when only zero bits are left.
  bool OnlyZerosLeft() const {
    for (int64_t bit = position_; bit < totalBits_; ++bit)
      if ((data_[start_ + bit / 8] >> (7 - bit % 8)) & 1) return false;
    return true;
  }
  int32_t EndPos() const { return start_ + static_cast<int32_t>((position_ + 7) / 8); }

 private:
  const TPDFBuffer& data_;
  int32_t start_;
  int64_t totalBits_;
  int64_t position_ = 0;
};

class Decoder {
 public:
  Decoder(BitReader& bits, int columns) : bits_(bits), columns_(columns) {
    const size_t capacity = static_cast<size_t>(columns) + 8;
    reference_.reserve(capacity);
    current_.reserve(capacity);
    reference_.push_back(columns);  // an all-white line
  }

  enum class Row { Ok, End, Fail };

  // A run of one colour: make-up codes and one terminating code, summed.
  // Returns EndOfLine or more for an end-of-line code or no valid code, and
  // -1 when the data ends inside the code.
  int ReadRun(bool black) {
    const Tables& t = tables();
    int total = 0;
    for (;;) {
      uint16_t entry = black ? t.black[bits_.Peek(13)] : t.white[bits_.Peek(12)];
      if (entry == NoCode) return EndOfLine + 1;
      int length = entry / 4096, run = entry % 4096;
      if (run >= EndOfLine) return run;
      if (!bits_.Consume(length)) return -1;
      total = std::min(total + run, columns_ + 1);  // keeps the sum bounded
      if (run < 64) return total;
    }
  }

  // Skips end-of-line codes (with the fill bits before them) in front of a
  // row and returns how many there were.
  int SkipEndOfLines() {
    int skipped = 0;
    for (;;) {
      int zeros = 0;
      while (zeros < 64 && bits_.Peek(zeros + 1) == 0 && bits_.HasBits(zeros + 1)) ++zeros;
      if (zeros < 11 || !bits_.HasBits(zeros + 1)) return skipped;
      bits_.Consume(zeros + 1);
      ++skipped;
    }
  }

  Row DecodeOneDimensional() {
    current_.clear();
    int a0 = 0;
    bool started = false;
    while (a0 < columns_) {
      int white = ReadRun(false);
      if (white < 0) return Row::Fail;
      if (white >= EndOfLine) {
        if (started) break;  // the row ends white
        if (white == EndOfLine) {
          bits_.Consume(12);
          continue;
        }
        return Row::End;
      }
      started = true;
      if (a0 + white >= columns_) break;
      int black = ReadRun(true);
      if (black < 0) return Row::Fail;
      if (black >= EndOfLine) {
        if (!record(a0 + white)) return Row::Fail;
        break;  // the black run fills the row
      }
      if (white == 0 && black == 0) continue;
      if (!record(a0 + white) || !record(a0 + white + black)) return Row::Fail;
      a0 = std::min(a0 + white + black, columns_);
    }
    return Row::Ok;
  }

  Row DecodeTwoDimensional() {
    const Tables& t = tables();
    current_.clear();
    // The reference line ends at Columns; two more sentinels make b2 safe.
    std::vector<int>& ref = reference_;
    ref.push_back(columns_);
    ref.push_back(columns_);
    int a0 = -1;
    bool black = false;
    size_t scan = 0;
    while (a0 < columns_) {
      // b1: the first change right of a0 that turns to the opposite of the
      // current colour (changes at even indexes turn to black).
      while (scan + 2 < ref.size() && ref[scan] <= a0) ++scan;
      size_t b1 = scan;
      if ((b1 % 2 == 1) != black && b1 + 2 < ref.size()) ++b1;
      const int pb1 = ref[b1];
      const int pb2 = ref[std::min(b1 + 1, ref.size() - 1)];
      uint8_t entry = t.modes[bits_.Peek(7)];
      if (entry == mInvalid) return (a0 < 0 && current_.empty()) ? Row::End : Row::Fail;
      if (!bits_.Consume(entry / 16)) return Row::Fail;
      switch (static_cast<Mode>(entry % 16)) {
        case mPass:
          a0 = pb2;
          break;
        case mHorizontal: {
          int from = std::max(a0, 0);
          int run1 = ReadRun(black);
          if (run1 < 0 || run1 >= EndOfLine) return Row::Fail;
          int run2 = ReadRun(!black);
          if (run2 < 0 || run2 >= EndOfLine) return Row::Fail;
          a0 = from;
          if (run1 == 0 && run2 == 0) break;
          int a1 = std::min(from + run1, columns_);
          int a2 = std::min(a1 + run2, columns_);
          if (!record(a1) || !record(a2)) return Row::Fail;
          a0 = a2;
          break;
        }
        default: {
          static const int offsets[] = {0, 0, 0, 1, -1, 2, -2, 3, -3};
          int a1 = std::clamp(pb1 + offsets[entry % 16], std::max(a0, 0), columns_);
          if (!record(a1)) return Row::Fail;
          a0 = a1;
          black = !black;
          break;
        }
      }
    }
    return Row::Ok;
  }

  // Sets the row's black spans (from each even-indexed change to the next)
  // and keeps its changes as the next reference line.
  void FinishRow(uint8_t* row) {
    for (size_t i = 0; i < current_.size(); i += 2) {
      int from = current_[i];
      int to = i + 1 < current_.size() ? current_[i + 1] : columns_;
      for (int x = from; x < to && x < columns_; ++x) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
    reference_.assign(current_.begin(), current_.end());
    reference_.push_back(columns_);
  }

 private:
  // Change lists hold at most Columns + 4 entries; a row that would record
  // more is corrupt.
  bool record(int position) {
    if (current_.size() >= static_cast<size_t>(columns_) + 4) return false;
    current_.push_back(std::clamp(position, 0, columns_));
    return true;
  }

  BitReader& bits_;
  int columns_;
  std::vector<int> reference_, current_;
};

}  // namespace

bool PDFCCITTDecode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFBuffer& output,
                    TPDFDictionary* decodeParms, TPDFCollection* collection) {
  endPos = start;
  if (start < 0 || length < 0 || static_cast<int64_t>(start) + length > static_cast<int64_t>(data.size()))
    return false;
  int32_t k = 0, columns = 1728, rows = -1;
  bool byteAlign = false, blackIs1 = false;
  if (decodeParms) {
    k = decodeParms->GetInteger(collection, "K", 0);
    columns = decodeParms->GetInteger(collection, "Columns", 1728);
    rows = decodeParms->Find("Rows") ? decodeParms->GetInteger(collection, "Rows", 0) : -1;
    if (rows == -1 && decodeParms->Find("Rows")) return false;
    if (auto* b = decodeParms->GetObject<TPDFBoolean>(collection, "EncodedByteAlign")) byteAlign = b->Value;
    if (auto* b = decodeParms->GetObject<TPDFBoolean>(collection, "BlackIs1")) blackIs1 = b->Value;
    if (decodeParms->Find("Rows") && rows < 1) return false;
  }
  if (columns < 1 || columns > 1 << 20) return false;
  const size_t rowBytes = (static_cast<size_t>(columns) + 7) / 8;
  // The first allocation trusts Rows only up to a bound; the buffer grows
  // with the rows actually decoded.
  size_t initialRows = rows > 0 ? static_cast<size_t>(rows) : static_cast<size_t>(columns);
  initialRows = std::min(initialRows, static_cast<size_t>(1 << 20) / rowBytes + 1);
  output.assign(initialRows * rowBytes, 0);

  BitReader bits(data, start, length);
  Decoder decoder(bits, columns);
  size_t rowCount = 0;
  bool failed = false;
  for (;;) {
    if (rows > 0 && rowCount >= static_cast<size_t>(rows)) break;
    if (byteAlign) bits.AlignToByte();
    int endOfLines = (k >= 0) ? decoder.SkipEndOfLines() : 0;
    if (endOfLines >= 2 || bits.AtEnd() || bits.OnlyZerosLeft()) break;  // return to control, or no more data
    bool twoDimensional = k < 0;
    if (k > 0) {
      twoDimensional = bits.Peek(1) == 0;
      if (!bits.Consume(1)) break;
    }
    Decoder::Row result = twoDimensional ? decoder.DecodeTwoDimensional() : decoder.DecodeOneDimensional();
    if (result == Decoder::Row::Fail) {
      failed = true;
      break;
    }
    if (result == Decoder::Row::End) break;
    if ((rowCount + 1) * rowBytes > output.size()) {
      if (static_cast<int64_t>(output.size()) * 2 + static_cast<int64_t>(rowBytes) > MaxDecodedStreamSize) {
        failed = true;
        break;
      }
      output.resize(output.size() * 2 + rowBytes, 0);
    }
    decoder.FinishRow(output.data() + rowCount * rowBytes);
    ++rowCount;
  }
  endPos = bits.EndPos();
  if (failed) return false;
  output.resize(rowCount * rowBytes);
  if (!blackIs1)
    for (auto& b : output) b = static_cast<uint8_t>(~b);
  return true;
}

}  // namespace px
