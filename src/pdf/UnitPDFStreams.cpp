#include "pdf/UnitPDFStreams.h"

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <mutex>
#include <utility>
#include <vector>

#include "pdf/UnitPDFCCITTStream.h"
#include "pdf/UnitPDFLZWStream.h"
#include "pdf/UnitPDFUtilities.h"

namespace px {
namespace {

struct RegistryEntry {
  std::unique_ptr<TPDFStreamFilter> filter;
  std::string name;
};

std::vector<RegistryEntry>& registry() {
  static std::vector<RegistryEntry> entries = [] {
    std::vector<RegistryEntry> list;
    auto add = [&list](std::unique_ptr<TPDFStreamFilter> filter, const char* name) {
      list.push_back({std::move(filter), name});
    };
    add(std::make_unique<TPDFSCBase16>(), "ASCIIHexDecode");
    add(std::make_unique<TPDFSCBase16>(), "AHx");
    add(std::make_unique<TPDFSCBase85>(), "ASCII85Decode");
    add(std::make_unique<TPDFSCBase85>(), "A85");
    add(std::make_unique<TPDFSCFlate>(), "FlateDecode");
    add(std::make_unique<TPDFSCFlate>(), "Fl");
    add(std::make_unique<TPDFSCLZW>(), "LZWDecode");
    add(std::make_unique<TPDFSCLZW>(), "LZW");
    add(std::make_unique<TPDFSCCCITT>(), "CCITTFaxDecode");
    add(std::make_unique<TPDFSCCCITT>(), "CCF");
    add(std::make_unique<TPDFSCRunLength>(), "RunLengthDecode");
    add(std::make_unique<TPDFSCRunLength>(), "RL");
    add(std::make_unique<TPDFSCJPeg>(), "DCTDecode");
    add(std::make_unique<TPDFSCJPeg>(), "DCT");
    return list;
  }();
  return entries;
}

// The range [start, start + length) clipped to the data.
void clipRange(const TPDFBuffer& data, int32_t& start, int32_t& length) {
  const int64_t size = static_cast<int64_t>(data.size());
  if (start < 0) start = 0;
  if (start > size) start = static_cast<int32_t>(size);
  if (length < 0) length = 0;
  if (static_cast<int64_t>(start) + length > size) length = static_cast<int32_t>(size - start);
}

bool isSkippedByte(uint8_t c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

[[noreturn]] void notImplemented(const char* className) {
  Assert(false, std::string("Not implemented: ") + className + ".Encode");
  std::abort();
}

void ensureCapacity(TPDFBuffer& output, size_t needed) {
  if (static_cast<int64_t>(needed) > MaxDecodedStreamSize)
    RaisePDFReadError(0, "Decoded stream exceeds the size limit");
  if (needed > output.size()) output.resize(std::max(needed, output.size() + output.size() / 2));
}

// TIFF predictor 2 stores each sample as the difference to the same colour
// component of the pixel to its left, modulo the sample size; rows start
// afresh. Samples are packed most significant bit first, 16-bit samples are
// big-endian, so the differences cannot be undone byte by byte.
void undoTiffPredictor(const uint8_t* in, uint8_t* out, int64_t samples, int64_t colors, int bits) {
  if (bits == 8) {
    for (int64_t i = 0; i < samples; ++i) out[i] = static_cast<uint8_t>(in[i] + (i >= colors ? out[i - colors] : 0));
  } else if (bits == 16) {
    for (int64_t i = 0; i < samples; ++i) {
      unsigned value = (in[2 * i] << 8) | in[2 * i + 1];
      if (i >= colors) value += (out[2 * (i - colors)] << 8) | out[2 * (i - colors) + 1];
      out[2 * i] = static_cast<uint8_t>(value >> 8);
      out[2 * i + 1] = static_cast<uint8_t>(value);
    }
  } else {
    // out starts zeroed; samples are or-ed into place.
    const unsigned mask = (1u << bits) - 1;
    auto shiftOf = [bits](int64_t i) { return 8 - bits - static_cast<int>((i * bits) & 7); };
    for (int64_t i = 0; i < samples; ++i) {
      const int64_t at = (i * bits) >> 3;
      unsigned value = (in[at] >> shiftOf(i)) & mask;
      if (i >= colors) value += (out[((i - colors) * bits) >> 3] >> shiftOf(i - colors)) & mask;
      out[at] = static_cast<uint8_t>(out[at] | ((value & mask) << shiftOf(i)));
    }
  }
}

}  // namespace

void RegisterStreamFilter(std::string name, std::unique_ptr<TPDFStreamFilter> filter) {
  Assert(filter != nullptr, "RegisterStreamFilter: nil filter");
  registry().push_back({std::move(filter), std::move(name)});
}

TPDFStreamFilter& FindStreamFilter(std::string_view name) {
  for (auto& entry : registry())
    if (entry.name == name) return *entry.filter;
  throw Exception("Stream enfilter/defilter not found: " + std::string(name));
}

// ---------------------------------------------------------------------------
// Predictors

void TPDFSCPredicter::ApplyPredictor(TPDFCollection* collection, TPDFDictionary* decodeParms, TPDFBuffer& output) {
  if (!decodeParms) return;
  const int32_t predictor = decodeParms->GetInteger(collection, "Predictor", 1);
  if (predictor == 1) return;
  if (predictor != 2 && (predictor < 10 || predictor > 15))
    throw Exception("Invalid stream decode parameter: predictor: " + std::to_string(predictor));
  const int64_t colors = decodeParms->GetInteger(collection, "Colors", 1);
  const int64_t columns = decodeParms->GetInteger(collection, "Columns", 1);
  const int64_t bits = decodeParms->GetInteger(collection, "BitsPerComponent", 8);
  if (colors <= 0 || colors > 32) RaisePDFReadError(0, "Invalid stream decode parameter: Colors");
  if (columns <= 0) RaisePDFReadError(0, "Invalid stream decode parameter: Columns");
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
    RaisePDFReadError(0, "Invalid stream decode parameter: BitsPerComponent");
  const int64_t rowLength = (columns * colors * bits + 7) / 8;
  const int64_t distance = std::max<int64_t>(1, (colors * bits + 7) / 8);
  const bool tagged = predictor >= 10;
  const int64_t encodedRow = rowLength + (tagged ? 1 : 0);
  const int64_t rows = static_cast<int64_t>(output.size()) / encodedRow;
  TPDFBuffer result(static_cast<size_t>(rows * rowLength));
  if (!tagged) {
    for (int64_t r = 0; r < rows; ++r)
      undoTiffPredictor(output.data() + r * rowLength, result.data() + r * rowLength, columns * colors, colors,
                        static_cast<int>(bits));
    output = std::move(result);
    return;
  }
  for (int64_t r = 0; r < rows; ++r) {
    const uint8_t* in = output.data() + r * encodedRow + 1;
    uint8_t* out = result.data() + r * rowLength;
    const uint8_t* up = r > 0 ? out - rowLength : nullptr;
    const int type = output[r * encodedRow] + 10;
    for (int64_t i = 0; i < rowLength; ++i) {
      const int left = i >= distance ? out[i - distance] : 0;
      const int above = up ? up[i] : 0;
      const int upperLeft = (up && i >= distance) ? up[i - distance] : 0;
      int value;
      switch (type) {
        case 10: value = in[i]; break;
        case 11: value = in[i] + left; break;
        case 12: value = in[i] + above; break;
        case 13: value = in[i] + (left + above) / 2; break;
        case 14: {
          int p = left + above - upperLeft;
          int pa = std::abs(p - left), pb = std::abs(p - above), pc = std::abs(p - upperLeft);
          int predicted = (pa <= pb && pa <= pc) ? left : (pb <= pc ? above : upperLeft);
          value = in[i] + predicted;
          break;
        }
        default: RaisePDFReadError(0, "Invalid predictor row type " + std::to_string(type));
      }
      out[i] = static_cast<uint8_t>(value);
    }
  }
  output = std::move(result);
}

// ---------------------------------------------------------------------------
// ASCIIHexDecode

void TPDFSCBase16::Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection*,
                          TPDFDictionary*, TPDFDictionary*, TPDFBuffer& output) {
  clipRange(data, start, length);
  output.clear();
  output.reserve(length / 2 + 1);
  int high = -1;
  int32_t pos = start;
  const int32_t end = start + length;
  bool closed = false;
  while (pos < end) {
    uint8_t c = data[pos++];
    int value = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                  : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (value >= 0) {
      if (high < 0) {
        high = value;
      } else {
        output.push_back(static_cast<uint8_t>(high * 16 + value));
        high = -1;
      }
    } else if (c == '>') {
      closed = true;
      break;
    } else if (!isSkippedByte(c)) {
      throw EPDFException("Invalid character in Base16 encoded stream");
    }
  }
  (void)closed;
  if (high >= 0) output.push_back(static_cast<uint8_t>(high * 16));
  endPos = pos;
}

void TPDFSCBase16::Encode(const TPDFBuffer&, TPDFBuffer&) { notImplemented("TPDFSCBase16"); }

// ---------------------------------------------------------------------------
// ASCII85Decode

void TPDFSCBase85::Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection*,
                          TPDFDictionary*, TPDFDictionary*, TPDFBuffer& output) {
  static const uint64_t weights[4] = {52200625u, 614125u, 7225u, 85u};
  clipRange(data, start, length);
  output.clear();
  output.reserve(static_cast<size_t>(length) * 4 / 5 + 32);
  // Five digits reach 85^5 - 1, beyond 32 bits: a group above 2^32 - 1 is
  // not one that an encoder writes, and it must not wrap into other bytes.
  uint64_t accumulator = 0;
  int k = 0;
  int32_t pos = start;
  auto checkGroup = [&] {
    if (accumulator > 0xFFFFFFFFu) RaisePDFReadError(pos, "Base85.Decode: Group value out of range.");
  };
  const int32_t end = start + length;
  auto put4 = [&](uint64_t value, int count) {
    if (static_cast<int64_t>(output.size()) + count > MaxDecodedStreamSize)
      RaisePDFReadError(pos, "Decoded stream exceeds the size limit");
    for (int i = 0; i < count; ++i) output.push_back(static_cast<uint8_t>(value >> (24 - 8 * i)));
  };
  while (pos < end) {
    uint8_t c = data[pos++];
    if (c >= '!' && c <= 'u') {
      uint32_t value = c - '!';
      if (k < 4) {
        accumulator += value * weights[k];
        ++k;
      } else {
        accumulator += value;
        checkGroup();
        put4(accumulator, 4);
        accumulator = 0;
        k = 0;
      }
    } else if (c == 0 || c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32) {
      continue;
    } else if (c == 'z') {
      if (k != 0) throw Exception("Base85.Decode: Unexpected character \"z\".");
      put4(0, 4);
    } else if (c == '~') {
      if (pos >= end || data[pos] != '>' || k == 1) throw Exception("Base85.Decode: Unexpected EOS (1).");
      ++pos;
      if (k > 1) {
        accumulator += weights[k - 1];
        checkGroup();
        put4(accumulator, k - 1);
      }
      endPos = pos;
      return;
    } else {
      throw Exception("Base85.Decode: Unexpected character (1).");
    }
  }
  if (k != 0) RaisePDFReadError(pos, "Base85.Decode: Unexpected EOS (2).");
  endPos = pos;
}

void TPDFSCBase85::Encode(const TPDFBuffer&, TPDFBuffer&) { notImplemented("TPDFSCBase85"); }

// ---------------------------------------------------------------------------
// FlateDecode

void TPDFSCFlate::Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos,
                         TPDFCollection* collection, TPDFDictionary*, TPDFDictionary* decodeParms,
                         TPDFBuffer& output) {
  clipRange(data, start, length);
  output.clear();
  endPos = start;
  if (length <= 0) return;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw EDecompressionError("Error with PDF FlateDecode filter");
  size_t capacity = std::min<size_t>((static_cast<size_t>(length) + 255) / 256 * 256, 64u << 20);
  output.resize(capacity);
  z.next_in = const_cast<Bytef*>(data.data() + start);
  z.avail_in = static_cast<uInt>(length);
  z.next_out = output.data();
  z.avail_out = static_cast<uInt>(output.size());
  int result;
  for (;;) {
    result = inflate(&z, Z_NO_FLUSH);
    if (result == Z_STREAM_END) break;
    // Z_NEED_DICT (a preset dictionary PDF cannot supply) and every error end
    // decoding, as does input that ends before the compressed stream.
    if (result != Z_OK && result != Z_BUF_ERROR) break;
    if (z.avail_out > 0) {
      result = Z_DATA_ERROR;
      break;
    }
    size_t used = output.size();
    size_t grown = used + used / 2;
    if (static_cast<int64_t>(grown) > MaxDecodedStreamSize) grown = static_cast<size_t>(MaxDecodedStreamSize);
    if (grown <= used) {
      result = Z_MEM_ERROR;
      break;
    }
    output.resize(grown);
    z.next_out = output.data() + used;
    z.avail_out = static_cast<uInt>(grown - used);
  }
  const size_t total = z.total_out;
  const size_t consumed = z.total_in;
  int endResult = inflateEnd(&z);
  if (result != Z_STREAM_END || endResult < 0) {
    output.clear();
    throw EDecompressionError("Error with PDF FlateDecode filter");
  }
  output.resize(total);
  endPos = start + static_cast<int32_t>(consumed);
  ApplyPredictor(collection, decodeParms, output);
}

namespace {

// Every report of a session embeds the same logo and, mostly, the same font
// subsets, and deflating them at level 9 is most of the cost of producing a
// short report. Deflate is deterministic, so the encoding of large inputs
// seen recently is kept and handed out again: the bytes are the ones a fresh
// encoding gives. A hit is confirmed by comparing the whole input.
class FlateMemo {
 public:
  static constexpr size_t MinInput = 16384;

  // output: null only to ask whether the encoding is kept.
  bool Find(const TPDFBuffer& data, uLong checksum, TPDFBuffer* output) {
    std::lock_guard guard(lock_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
      if (it->Checksum == checksum && it->Input == data) {
        if (output) *output = it->Output;
        entries_.splice(entries_.begin(), entries_, it);
        return true;
      }
    return false;
  }

  void Add(const TPDFBuffer& data, uLong checksum, const TPDFBuffer& output) {
    const size_t cost = data.size() + output.size();
    if (cost > MaxBytes / 4) return;
    std::lock_guard guard(lock_);
    for (const Entry& e : entries_)
      if (e.Checksum == checksum && e.Input == data) return;
    entries_.push_front({checksum, data, output});
    bytes_ += cost;
    while (bytes_ > MaxBytes || entries_.size() > MaxEntries) {
      bytes_ -= entries_.back().Input.size() + entries_.back().Output.size();
      entries_.pop_back();
    }
  }

 private:
  static constexpr size_t MaxBytes = size_t(8) << 20;
  static constexpr size_t MaxEntries = 32;
  struct Entry {
    uLong Checksum;
    TPDFBuffer Input;
    TPDFBuffer Output;
  };
  std::mutex lock_;
  std::list<Entry> entries_;
  size_t bytes_ = 0;
};

FlateMemo& flateMemo() {
  static FlateMemo memo;
  return memo;
}

// A document deflates many small streams (page contents, character maps);
// setting up the level 9 state (a few hundred KB) for each costs more than
// compressing them. Each thread keeps one state and resets it, which starts
// every stream exactly as a fresh state would.
class Deflater {
 public:
  Deflater() {
    if (deflateInit(&z_, 9) != Z_OK) throw ECompressionError("TPDFSCFlate.Encode 1");
  }
  ~Deflater() { deflateEnd(&z_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  void Encode(const TPDFBuffer& data, TPDFBuffer& output) {
    if (deflateReset(&z_) != Z_OK) throw ECompressionError("TPDFSCFlate.Encode 1");
    output.resize(deflateBound(&z_, static_cast<uLong>(data.size())));
    z_.next_in = const_cast<Bytef*>(data.data());
    z_.avail_in = static_cast<uInt>(data.size());
    z_.next_out = output.data();
    z_.avail_out = static_cast<uInt>(output.size());
    const int result = deflate(&z_, Z_FINISH);
    const size_t total = z_.total_out;
    if (result != Z_STREAM_END) throw ECompressionError("TPDFSCFlate.Encode 2");
    output.resize(total);
  }

 private:
  z_stream z_{};
};

void deflateLevel9(const TPDFBuffer& data, TPDFBuffer& output) {
  thread_local Deflater deflater;
  deflater.Encode(data, output);
}

uLong checksumOf(const TPDFBuffer& data) { return crc32_z(crc32(0, nullptr, 0), data.data(), data.size()); }

}  // namespace

bool PDFFlateEncodingKept(const TPDFBuffer& data) {
  return data.size() >= FlateMemo::MinInput && flateMemo().Find(data, checksumOf(data), nullptr);
}

void TPDFSCFlate::Encode(const TPDFBuffer& data, TPDFBuffer& output) {
  if (data.size() < FlateMemo::MinInput) return deflateLevel9(data, output);
  const uLong checksum = checksumOf(data);
  if (flateMemo().Find(data, checksum, &output)) return;
  deflateLevel9(data, output);
  flateMemo().Add(data, checksum, output);
}

// ---------------------------------------------------------------------------
// LZWDecode, CCITTFaxDecode

void TPDFSCLZW::Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos,
                       TPDFCollection* collection, TPDFDictionary*, TPDFDictionary* decodeParms, TPDFBuffer& output) {
  clipRange(data, start, length);
  output.clear();
  if (!PDFLZWDecode(data, start, length, endPos, output)) throw Exception("LZW Decoding failed.");
  ApplyPredictor(collection, decodeParms, output);
}

void TPDFSCLZW::Encode(const TPDFBuffer&, TPDFBuffer&) { notImplemented("TPDFSCLZW"); }

void TPDFSCCCITT::Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos,
                         TPDFCollection* collection, TPDFDictionary*, TPDFDictionary* decodeParms,
                         TPDFBuffer& output) {
  clipRange(data, start, length);
  output.clear();
  if (!PDFCCITTDecode(data, start, length, endPos, output, decodeParms, collection))
    throw Exception("CCITTFax Decoding failed.");
}

void TPDFSCCCITT::Encode(const TPDFBuffer&, TPDFBuffer&) { notImplemented("TPDFSCCCITT"); }

// ---------------------------------------------------------------------------
// RunLengthDecode

void TPDFSCRunLength::Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos,
                             TPDFCollection*, TPDFDictionary*, TPDFDictionary*, TPDFBuffer& output) {
  clipRange(data, start, length);
  output.assign(static_cast<size_t>(length), 0);
  size_t written = 0;
  int32_t pos = start;
  const int32_t end = start + length;
  while (pos < end) {
    uint8_t l = data[pos++];
    if (l < 128) {
      int count = l + 1;
      if (pos + count > end) throw Exception("TPDFSCRunLength.Decode: Corrupt data (1).");
      ensureCapacity(output, written + count);
      std::copy_n(data.data() + pos, count, output.data() + written);
      written += count;
      pos += count;
    } else if (l > 128) {
      if (pos >= end) throw Exception("TPDFSCRunLength.Decode: Corrupt data (2).");
      int count = 257 - l;
      ensureCapacity(output, written + count);
      std::fill_n(output.data() + written, count, data[pos++]);
      written += count;
    } else {
      output.resize(written);
      endPos = pos;
      return;
    }
  }
  throw Exception("TPDFSCRunLength.Decode: Corrupt data (3).");
}

void TPDFSCRunLength::Encode(const TPDFBuffer&, TPDFBuffer&) { notImplemented("TPDFSCRunLength"); }

// ---------------------------------------------------------------------------
// DCTDecode

namespace {

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

// libjpeg's default handler exits the process; ours jumps back to the caller.
void jpegErrorExit(j_common_ptr info) {
  auto* error = reinterpret_cast<JpegError*>(info->err);
  info->err->format_message(info, error->message);
  std::longjmp(error->jump, 1);
}

void jpegSilence(j_common_ptr, int) {}

uint8_t mul255(int a, int b) { return static_cast<uint8_t>((a * b + 127) / 255); }

}  // namespace

void DecodeJPEG(const uint8_t* data, size_t length, TJPEGImage& image, int64_t maxPixels) {
  image = TJPEGImage{};
  // Plain data only between setjmp and longjmp: nothing with a destructor
  // may be created in this frame after the setjmp.
  jpeg_decompress_struct info{};
  JpegError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpegErrorExit;
  error.manager.emit_message = jpegSilence;
  volatile int stage = 0;  // 0 header, 1 pixels
  volatile bool adobeInverted = false;
  TJPEGImage* out = &image;
  std::vector<uint8_t> row;
  std::vector<uint8_t>* rowPtr = &row;
  if (setjmp(error.jump) != 0) {
    const int code = error.manager.msg_code;
    jpeg_destroy_decompress(&info);
    // Running out of the memory allowed is refusal, not damaged pixels.
    if (stage == 0 || code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE) {
      *out = TJPEGImage{};
      throw EPDFException(std::string("JPEG error: ") + error.message);
    }
    // Pixels that cannot be decoded are left blank, with the image's size.
    out->Damaged = true;
    out->Samples.assign(static_cast<size_t>(out->Width) * static_cast<size_t>(out->Components) *
                            static_cast<size_t>(out->Height),
                        0);
    return;
  }
  jpeg_create_decompress(&info);
  // A progressive image keeps every coefficient of the image in memory
  // (twice the bytes of its samples); without a limit a few bytes of header
  // could demand gigabytes. There is no backing store, so going over the
  // limit ends decoding with an error.
  info.mem->max_memory_to_use = static_cast<long>(MaxDecodedStreamSize);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
  jpeg_read_header(&info, TRUE);
  if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
    info.out_color_space = JCS_CMYK;
    adobeInverted = info.saw_Adobe_marker;
  } else if (info.num_components == 1) {
    info.out_color_space = JCS_GRAYSCALE;
  } else {
    info.out_color_space = JCS_RGB;
  }
  jpeg_calc_output_dimensions(&info);
  const int components = info.out_color_space == JCS_GRAYSCALE ? 1 : 3;
  // Refused before libjpeg allocates anything for the pixels: the samples
  // it decodes (four per pixel for CMYK) and the image we return are both
  // bounded by the decoder's output limit.
  const int64_t pixels = static_cast<int64_t>(info.output_width) * static_cast<int64_t>(info.output_height);
  const int64_t samples = pixels * std::max({info.num_components, info.output_components, components});
  if (samples > MaxDecodedStreamSize || pixels > maxPixels) {
    jpeg_destroy_decompress(&info);
    throw EPDFException("JPEG error: image exceeds the size limit");
  }
  out->Width = static_cast<int32_t>(info.output_width);
  out->Height = static_cast<int32_t>(info.output_height);
  out->Components = components;
  const size_t rowBytes = static_cast<size_t>(info.output_width) * static_cast<size_t>(components);
  rowPtr->resize(static_cast<size_t>(info.output_width) * info.output_components);
  stage = 1;
  jpeg_start_decompress(&info);
  out->Samples.assign(rowBytes * info.output_height, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {rowPtr->data()};
    size_t y = info.output_scanline;
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    uint8_t* target = out->Samples.data() + y * rowBytes;
    if (info.out_color_space == JCS_CMYK) {
      for (size_t x = 0; x < info.output_width; ++x) {
        const uint8_t* p = rowPtr->data() + 4 * x;
        int c = p[0], m = p[1], yy = p[2], k = p[3];
        if (!adobeInverted) {
          c = 255 - c;
          m = 255 - m;
          yy = 255 - yy;
          k = 255 - k;
        }
        // Inverted values: 255 means no ink.
        target[3 * x] = mul255(c, k);
        target[3 * x + 1] = mul255(m, k);
        target[3 * x + 2] = mul255(yy, k);
      }
    } else {
      std::copy_n(rowPtr->data(), rowBytes, target);
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
}

void TPDFSCJPeg::Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection*,
                        TPDFDictionary*, TPDFDictionary*, TPDFBuffer& output) {
  clipRange(data, start, length);
  output.clear();
  endPos = start;
  TJPEGImage image;
  DecodeJPEG(data.data() + start, static_cast<size_t>(length), image);
  output.swap(image.Samples);
}

void TPDFSCJPeg::Encode(const TPDFBuffer&, TPDFBuffer&) { notImplemented("TPDFSCJPeg"); }

}  // namespace px
