#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "PdfTestSupport.h"
#include "pdf/UnitPDFStreams.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::Buf;
using test::Parse;
using test::RunTool;
using test::Str;

TPDFBuffer Decode(std::string_view filter, const TPDFBuffer& data, std::string_view parms = {},
                  int32_t* endPos = nullptr) {
  std::unique_ptr<TPDFObject> parsed;
  if (!parms.empty()) parsed = Parse(parms);
  TPDFBuffer output;
  int32_t end = -1;
  FindStreamFilter(filter).Decode(data, 0, static_cast<int32_t>(data.size()), end, nullptr, nullptr,
                                  static_cast<TPDFDictionary*>(parsed.get()), output);
  if (endPos) *endPos = end;
  return output;
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}

TEST(PdfFilters, Registry) {
  const char* pairs[][2] = {{"ASCIIHexDecode", "AHx"}, {"ASCII85Decode", "A85"}, {"FlateDecode", "Fl"},
                            {"LZWDecode", "LZW"},      {"CCITTFaxDecode", "CCF"}, {"RunLengthDecode", "RL"},
                            {"DCTDecode", "DCT"}};
  for (auto& pair : pairs) EXPECT_EQ(typeid(FindStreamFilter(pair[0])), typeid(FindStreamFilter(pair[1])));
  EXPECT_EQ(MessageOf([] { FindStreamFilter("flatedecode"); }), "Stream enfilter/defilter not found: flatedecode");
  TPDFBuffer out;
  EXPECT_THROW(FindStreamFilter("AHx").Encode(Buf("x"), out), EAssertionFailed);
}

TEST(PdfFilters, AsciiHex) {
  int32_t end = 0;
  EXPECT_EQ(Str(Decode("AHx", Buf("48 65 6C6C 6F> tail"), {}, &end)), "Hello");
  EXPECT_EQ(end, 14);
  EXPECT_EQ(Str(Decode("AHx", Buf("ABC>"))), "\xAB\xC0");
  EXPECT_EQ(MessageOf([] { Decode("AHx", Buf("4x>")); }), "Invalid character in Base16 encoded stream");
  EXPECT_THROW(Decode("AHx", Buf("4x>")), EPDFException);
}

TEST(PdfFilters, Ascii85) {
  EXPECT_EQ(Str(Decode("A85", Buf("z~>"))), std::string(4, '\0'));
  int32_t end = 0;
  EXPECT_EQ(Str(Decode("A85", Buf("87cURD]j7BEbo7~>xx"), {}, &end)), "Hello world");
  EXPECT_EQ(end, 16);
  EXPECT_EQ(MessageOf([] { Decode("A85", Buf("8~>")); }), "Base85.Decode: Unexpected EOS (1).");
  EXPECT_EQ(MessageOf([] { Decode("A85", Buf("87z~>")); }), "Base85.Decode: Unexpected character \"z\".");
  EXPECT_EQ(MessageOf([] { Decode("A85", Buf("87{~>")); }), "Base85.Decode: Unexpected character (1).");
  // A group cut off without the end marker is a read error.
  EXPECT_NE(MessageOf([] { Decode("A85", Buf("87cU")); }).find("TPDFCollection: Error reading file."),
            std::string::npos);
  EXPECT_EQ(Str(Decode("A85", Buf("87cUR"))), "Hell");
  // The largest group is "s8W-!" (2^32 - 1); anything above is a read error, not wrapped bytes.
  EXPECT_EQ(Str(Decode("A85", Buf("s8W-!~>"))), "\xFF\xFF\xFF\xFF");
  EXPECT_EQ(Str(Decode("A85", Buf("s8W,~>"))), "\xFF\xFF\xFF");
  for (const char* bad : {"s8W-\"~>", "uuuuu~>", "s8W-~>", "!!!!!uuuuu"})
    EXPECT_NE(MessageOf([bad] { Decode("A85", Buf(bad)); }).find("TPDFCollection: Error reading file."),
              std::string::npos)
        << bad;
}

TEST(PdfFilters, RunLength) {
  EXPECT_EQ(Str(Decode("RL", Buf("\x02" "abc\xFDz\x80"))), "abczzzz");
  std::string literal(128, 'q');
  EXPECT_EQ(Str(Decode("RL", Buf("\x7F" + literal + "\x80"))), literal);
  EXPECT_EQ(MessageOf([] { Decode("RL", Buf("\x05" "ab")); }), "TPDFSCRunLength.Decode: Corrupt data (1).");
  EXPECT_EQ(MessageOf([] { Decode("RL", Buf("\xFD")); }), "TPDFSCRunLength.Decode: Corrupt data (2).");
  EXPECT_EQ(MessageOf([] { Decode("RL", Buf("\x00" "a")); }), "TPDFSCRunLength.Decode: Corrupt data (3).");
}

// Data compressed and encoded by outside tools decodes to the original bytes.
TEST(PdfFilters, AgainstPythonEncoders) {
  test::TempDir dir;
  std::string script = R"(
import base64, binascii, random, sys, zlib
random.seed(7)
raw = bytes(random.randrange(256) for _ in range(5000)) + b'abc' * 3000
d = sys.argv[1]
open(d + '/raw', 'wb').write(raw)
open(d + '/flate', 'wb').write(zlib.compress(raw, 6))
open(d + '/a85', 'wb').write(base64.a85encode(raw, adobe=True, wrapcol=70)[2:])
open(d + '/hex', 'wb').write(binascii.hexlify(raw) + b'>')
# PNG predictors: 3 colours, 7 columns, every row type in turn.
bpp, cols = 3, 7
rowlen = bpp * cols
rows = [bytes(random.randrange(256) for _ in range(rowlen)) for _ in range(20)]
out = bytearray(); prev = bytes(rowlen)
for i, row in enumerate(rows):
    t = i % 5; enc = bytearray([t])
    for x in range(rowlen):
        a = row[x - bpp] if x >= bpp else 0; b = prev[x]; c = prev[x - bpp] if x >= bpp else 0
        if t == 0: p = 0
        elif t == 1: p = a
        elif t == 2: p = b
        elif t == 3: p = (a + b) // 2
        else:
            pp = a + b - c; pa, pb, pc = abs(pp - a), abs(pp - b), abs(pp - c)
            p = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
        enc.append((row[x] - p) % 256)
    out += enc; prev = row
open(d + '/png.raw', 'wb').write(b''.join(rows))
open(d + '/png.flate', 'wb').write(zlib.compress(bytes(out)))
# TIFF predictor 2: differences to the pixel to the left.
tiff = bytearray()
for row in rows:
    for x in range(rowlen):
        tiff.append((row[x] - (row[x - bpp] if x >= bpp else 0)) % 256)
open(d + '/tiff.flate', 'wb').write(zlib.compress(bytes(tiff)))
)";
  test::WriteFileBytes(dir.File("make.py"), script);
  RunTool("/usr/bin/python3 " + dir.File("make.py") + " " + dir.Path().string());
  auto file = [&](const char* name) { return Buf(test::ReadFileBytes(dir.File(name))); };
  const TPDFBuffer raw = file("raw");
  int32_t end = 0;
  TPDFBuffer flate = file("flate");
  EXPECT_EQ(Decode("FlateDecode", flate, {}, &end), raw);
  EXPECT_EQ(end, static_cast<int32_t>(flate.size()));
  EXPECT_EQ(Decode("ASCII85Decode", file("a85")), raw);
  EXPECT_EQ(Decode("ASCIIHexDecode", file("hex")), raw);
  EXPECT_EQ(Decode("FlateDecode", file("png.flate"), "<</Predictor 15 /Colors 3 /Columns 7>>"), file("png.raw"));
  EXPECT_EQ(Decode("FlateDecode", file("tiff.flate"), "<</Predictor 2 /Colors 3 /Columns 7>>"), file("png.raw"));
  // Our own encoder reads back through the decoder.
  TPDFBuffer encoded;
  FindStreamFilter("FlateDecode").Encode(raw, encoded);
  EXPECT_EQ(Decode("Fl", encoded), raw);
}

// TIFF predictor 2 works on samples: packed sub-byte samples and big-endian
// 16-bit samples, each a difference to the same component one pixel left.
TEST(PdfFilters, TiffPredictorPerSample) {
  test::TempDir dir;
  std::string script = R"(
import random, sys, zlib
d = sys.argv[1]
random.seed(11)
colors, cols, nrows = 3, 5, 4
def pack(samples, bits):
    if bits == 16:
        return b''.join(v.to_bytes(2, 'big') for v in samples)
    acc, n, out = 0, 0, bytearray()
    for v in samples:
        acc = (acc << bits) | v; n += bits
        if n == 8: out.append(acc); acc, n = 0, 0
    if n: out.append(acc << (8 - n))
    return bytes(out)
for bits in (1, 2, 4, 8, 16):
    raw, enc = b'', b''
    for _ in range(nrows):
        row = [random.randrange(1 << bits) for _ in range(colors * cols)]
        diff = [(row[i] - (row[i - colors] if i >= colors else 0)) % (1 << bits) for i in range(len(row))]
        raw += pack(row, bits); enc += pack(diff, bits)
    open('%s/raw%d' % (d, bits), 'wb').write(raw)
    open('%s/enc%d' % (d, bits), 'wb').write(zlib.compress(enc))
)";
  test::WriteFileBytes(dir.File("make.py"), script);
  RunTool("/usr/bin/python3 " + dir.File("make.py") + " " + dir.Path().string());
  for (int bits : {1, 2, 4, 8, 16}) {
    SCOPED_TRACE(bits);
    const std::string name = std::to_string(bits);
    const std::string parms =
        "<</Predictor 2 /Colors 3 /Columns 5 /BitsPerComponent " + name + ">>";
    EXPECT_EQ(Decode("Fl", Buf(test::ReadFileBytes(dir.File("enc" + name))), parms),
              Buf(test::ReadFileBytes(dir.File("raw" + name))));
  }
}

TEST(PdfFilters, FlateEdgesAndPredictorErrors) {
  EXPECT_TRUE(Decode("Fl", TPDFBuffer()).empty());
  EXPECT_EQ(MessageOf([] { Decode("Fl", Buf("not zlib")); }), "Error with PDF FlateDecode filter");
  EXPECT_THROW(Decode("Fl", Buf("not zlib")), EDecompressionError);
  TPDFBuffer packed;
  FindStreamFilter("Fl").Encode(Buf("\x02\x01\x01\x01\x01\x02\x01\x01\x01\x01\x02\x01\x02\x03\x04"), packed);
  // Predictor 12, Columns 4: rows of tag 2 (Up) add to the row above.
  EXPECT_EQ(Decode("Fl", packed, "<</Predictor 12 /Columns 4>>"),
            Buf("\x01\x01\x01\x01\x02\x02\x02\x02\x03\x04\x05\x06"));
  // A truncated stream is an error, not a short result.
  TPDFBuffer cut(packed.begin(), packed.begin() + packed.size() / 2);
  EXPECT_THROW(Decode("Fl", cut), EDecompressionError);
  // A stream asking for a preset dictionary cannot be decoded (and must not
  // spin waiting for one).
  EXPECT_THROW(Decode("Fl", Buf(std::string("\x78\xBB\x00\x00\x00\x01\x03\x00", 8))), EDecompressionError);
  EXPECT_EQ(MessageOf([&] { Decode("Fl", packed, "<</Predictor 3>>"); }),
            "Invalid stream decode parameter: predictor: 3");
  for (const char* parms : {"<</Predictor 12 /Colors 0>>", "<</Predictor 12 /Columns -1>>",
                            "<</Predictor 12 /BitsPerComponent 7>>"})
    EXPECT_NE(MessageOf([&] { Decode("Fl", packed, parms); }).find("Invalid stream decode parameter"),
              std::string::npos)
        << parms;
  TPDFBuffer badTag;
  FindStreamFilter("Fl").Encode(Buf("\x05\x01\x01\x01\x01"), badTag);
  EXPECT_NE(MessageOf([&] { Decode("Fl", badTag, "<</Predictor 12 /Columns 4>>"); })
                .find("Invalid predictor row type 15"),
            std::string::npos);
}

// A small stream that would inflate beyond the limit is refused.
TEST(PdfFilters, FlateOutputIsCapped) {
  z_stream z{};
  ASSERT_EQ(deflateInit(&z, 1), Z_OK);
  std::vector<uint8_t> zeros(1 << 20, 0), out(1 << 20);
  TPDFBuffer bomb;
  for (int64_t sent = 0; sent <= MaxDecodedStreamSize; sent += zeros.size()) {
    z.next_in = zeros.data();
    z.avail_in = static_cast<uInt>(zeros.size());
    bool last = sent + static_cast<int64_t>(zeros.size()) > MaxDecodedStreamSize;
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      bomb.insert(bomb.end(), out.data(), out.data() + (out.size() - z.avail_out));
    } while (z.avail_out == 0 || (last && z.avail_in > 0));
  }
  deflateEnd(&z);
  ASSERT_LT(bomb.size(), 2u << 20);
  EXPECT_THROW(Decode("Fl", bomb), EDecompressionError);
}

// Encodings are kept and the deflate state is reused between streams; every
// result must still be the bytes a fresh level 9 deflate gives, and a kept
// encoding must never answer for other bytes of the same size.
TEST(PdfFilters, FlateEncodingsEqualAFreshDeflate) {
  auto fresh = [](const TPDFBuffer& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    TPDFBuffer out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9), Z_OK);
    out.resize(size);
    return out;
  };
  std::mt19937 random(7);
  TPDFBuffer large(70000);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i % 251 < 200 ? i % 7 : random());
  TPDFBuffer changed = large;
  changed[large.size() / 2] ^= 1;
  const TPDFBuffer small = Buf("BT /F1 12 Tf 10 10 Td (small content) Tj ET\n");
  struct Case {
    const char* name;
    const TPDFBuffer* data;
    bool keptBefore;
  } cases[] = {{"large, first", &large, false},     {"small", &small, false},
               {"large, again", &large, true},      {"same size, one bit changed", &changed, false},
               {"small, again", &small, false},     {"changed, again", &changed, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(PDFFlateEncodingKept(*c.data), c.keptBefore) << c.name;
    TPDFBuffer encoded;
    FindStreamFilter("FlateDecode").Encode(*c.data, encoded);
    EXPECT_EQ(encoded, fresh(*c.data)) << c.name;
    EXPECT_EQ(Decode("Fl", encoded), *c.data) << c.name;
  }
}

// LZW codes of the given widths, most significant bit first.
TPDFBuffer PackCodes(const std::vector<std::pair<int, int>>& codes) {
  TPDFBuffer out;
  uint64_t buffer = 0;
  int bits = 0;
  for (auto [code, width] : codes) {
    buffer = (buffer << width) | static_cast<unsigned>(code);
    bits += width;
    while (bits >= 8) {
      out.push_back(static_cast<uint8_t>(buffer >> (bits - 8)));
      bits -= 8;
    }
  }
  if (bits > 0) out.push_back(static_cast<uint8_t>(buffer << (8 - bits)));
  return out;
}

TEST(PdfFilters, LzwCodes) {
  EXPECT_EQ(Str(Decode("LZW", PackCodes({{256, 9}, {65, 9}, {66, 9}, {258, 9}, {257, 9}}))), "ABAB");
  EXPECT_EQ(MessageOf([] { Decode("LZW", PackCodes({{256, 9}, {65, 9}, {66, 9}})); }), "LZW Decoding failed.");
  EXPECT_EQ(MessageOf([] { Decode("LZW", PackCodes({{256, 9}, {300, 9}, {257, 9}})); }), "LZW Decoding failed.");
  // Literal codes only: the width grows one code early (the 254th code after
  // a clear is read at 10 bits) and the table stops growing when full.
  std::vector<std::pair<int, int>> codes = {{256, 9}};
  std::string expected;
  int next = 258;
  for (int i = 0; i < 5000; ++i) {
    int width = next + 1 >= 2048 ? 12 : next + 1 >= 1024 ? 11 : next + 1 >= 512 ? 10 : 9;
    if (i > 0 && next + 1 >= 512) width = next >= 4095 ? 12 : width;
    codes.push_back({i % 200, i == 0 ? 9 : width});
    expected += static_cast<char>(i % 200);
    if (i > 0 && next < 4096) ++next;
  }
  int width = next + 1 >= 2048 ? 12 : next + 1 >= 1024 ? 11 : 10;
  codes.push_back({257, width});
  EXPECT_EQ(Str(Decode("LZW", PackCodes(codes))), expected);
}

// Writes an uncompressed one-strip TIFF with python, recompresses it with
// tiffcp and returns the strip of the result and the raw pixel rows.
struct TiffStrip {
  TPDFBuffer strip, pixels;
  int width = 0, height = 0;
};

TiffStrip MakeTiff(const test::TempDir& dir, int bits, const std::string& compression) {
  std::string script = R"(
import random, struct, sys
d, bits, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
random.seed(3)
w, h = 203, 61
rowbytes = (w * bits + 7) // 8
rows = []
for y in range(h):
    if bits == 1:
        # Runs of black and white of varied lengths, some rows blank.
        px = [0] * w
        x = random.randrange(5)
        while y % 7 and x < w:
            run = random.choice([1, 2, 3, 9, 40, 70, 130])
            for i in range(x, min(w, x + run)): px[i] = 1
            x += run + random.choice([1, 2, 5, 30, 64, 100])
        row = bytearray(rowbytes)
        for i, p in enumerate(px):
            if p: row[i // 8] |= 0x80 >> (i % 8)
    else:
        row = bytearray((x * 3 + y * 7 + random.randrange(3)) % 256 for x in range(w))
    rows.append(bytes(row))
data = b''.join(rows)
open(d + '/pixels', 'wb').write(data)
entries = [(256, 3, w), (257, 3, h), (258, 3, bits), (259, 3, 1), (262, 3, 0 if bits == 1 else 1),
           (273, 4, 0), (277, 3, 1), (278, 3, h), (279, 4, len(data))]
ifd_at = 8
data_at = ifd_at + 2 + 12 * len(entries) + 4
ifd = struct.pack('<H', len(entries))
for tag, typ, val in entries:
    if tag == 273: val = data_at
    ifd += struct.pack('<HHI', tag, typ, 1) + (struct.pack('<HH', val, 0) if typ == 3 else struct.pack('<I', val))
ifd += struct.pack('<I', 0)
open(d + '/in.tif', 'wb').write(b'II*\x00' + struct.pack('<I', ifd_at) + ifd + data)
)";
  test::WriteFileBytes(dir.File("tiff.py"), script);
  RunTool("/usr/bin/python3 " + dir.File("tiff.py") + " " + dir.Path().string() + " " + std::to_string(bits) + " x");
  RunTool("tiffcp -r 100000 -c " + compression + " " + dir.File("in.tif") + " " + dir.File("out.tif"));
  std::string extract = R"(
import struct, sys
b = open(sys.argv[1], 'rb').read()
order = '<' if b[:2] == b'II' else '>'
ifd = struct.unpack(order + 'I', b[4:8])[0]
n = struct.unpack(order + 'H', b[ifd:ifd + 2])[0]
tags = {}
for i in range(n):
    tag, typ, cnt = struct.unpack(order + 'HHI', b[ifd + 2 + 12 * i: ifd + 10 + 12 * i])
    raw = b[ifd + 10 + 12 * i: ifd + 14 + 12 * i]
    tags[tag] = struct.unpack(order + ('H' if typ == 3 else 'I'), raw[:2 if typ == 3 else 4])[0]
    assert cnt == 1 or tag not in (273, 279), 'more than one strip'
open(sys.argv[2], 'wb').write(b[tags[273]: tags[273] + tags[279]])
print(tags.get(292, 0))
)";
  test::WriteFileBytes(dir.File("strip.py"), extract);
  RunTool("/usr/bin/python3 " + dir.File("strip.py") + " " + dir.File("out.tif") + " " + dir.File("strip"));
  TiffStrip result;
  result.strip = Buf(test::ReadFileBytes(dir.File("strip")));
  result.pixels = Buf(test::ReadFileBytes(dir.File("pixels")));
  result.width = 203;
  result.height = 61;
  return result;
}

TEST(PdfFilters, LzwAgainstTiffcp) {
  test::TempDir dir;
  TiffStrip tiff = MakeTiff(dir, 8, "lzw");
  EXPECT_EQ(Decode("LZWDecode", tiff.strip), tiff.pixels);
}

TEST(PdfFilters, CcittAgainstTiffcp) {
  struct Case {
    const char* compression;
    const char* parms;
  } cases[] = {{"g3:1d", "<</K 0 /Columns 203 /Rows 61 /BlackIs1 true>>"},
               {"g3:2d", "<</K 4 /Columns 203 /Rows 61 /BlackIs1 true>>"},
               {"g4", "<</K -1 /Columns 203 /Rows 61 /BlackIs1 true>>"},
               {"g4", "<</K -1 /Columns 203 /BlackIs1 true>>"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.compression) + " " + c.parms);
    test::TempDir dir;
    TiffStrip tiff = MakeTiff(dir, 1, c.compression);
    EXPECT_EQ(Decode("CCITTFaxDecode", tiff.strip, c.parms), tiff.pixels);
  }
}

TEST(PdfFilters, CcittEdges) {
  // V0 over the all-white reference line: one white row, inverted to 255.
  EXPECT_EQ(Decode("CCF", Buf("\x80"), "<</K -1 /Columns 8 /Rows 1>>"), Buf("\xFF"));
  // Rows 2 stops after two rows; EndPos is behind the last byte read.
  int32_t end = 0;
  EXPECT_EQ(Decode("CCF", Buf("\xC0\xFF\xFF"), "<</K -1 /Columns 8 /Rows 2>>", &end), Buf("\xFF\xFF"));
  EXPECT_EQ(end, 1);
  EXPECT_EQ(MessageOf([] { Decode("CCF", Buf("\x80"), "<</K -1 /Columns 0>>"); }), "CCITTFax Decoding failed.");
  EXPECT_EQ(MessageOf([] { Decode("CCF", Buf("\x80"), "<</K -1 /Columns 8 /Rows 0>>"); }),
            "CCITTFax Decoding failed.");
  // A code running past the end of the data fails instead of reading on.
  EXPECT_EQ(MessageOf([] { Decode("CCF", Buf("\x20"), "<</K -1 /Columns 1728 /Rows 1>>"); }),
            "CCITTFax Decoding failed.");
  // Huge Rows and Columns do not allocate up front.
  EXPECT_NO_THROW(Decode("CCF", Buf("\x80"), "<</K -1 /Columns 1000000 /Rows 2000000000>>"));
}

TEST(PdfFilters, JpegAgainstDjpeg) {
  for (bool grey : {false, true}) {
    SCOPED_TRACE(grey ? "grey" : "colour");
    test::TempDir dir;
    std::string script = R"(
import sys
w, h = 37, 23
px = bytearray()
for y in range(h):
    for x in range(w):
        px += bytes([(x * 7) % 256, (y * 11) % 256, (x * y) % 256])
open(sys.argv[1], 'wb').write(b'P6\n%d %d\n255\n' % (w, h) + bytes(px))
)";
    test::WriteFileBytes(dir.File("img.py"), script);
    RunTool("/usr/bin/python3 " + dir.File("img.py") + " " + dir.File("in.ppm"));
    RunTool(std::string("cjpeg -quality 80 ") + (grey ? "-grayscale " : "") + "-outfile " + dir.File("a.jpg") + " " +
        dir.File("in.ppm"));
    RunTool("djpeg -pnm -outfile " + dir.File("out.pnm") + " " + dir.File("a.jpg"));
    std::string pnm = test::ReadFileBytes(dir.File("out.pnm"));
    // Header: magic, size and maximum, each followed by one white-space byte.
    size_t at = 0;
    for (int fields = 0; fields < 4; ++at)
      if (pnm[at] == '\n' || pnm[at] == ' ') ++fields;
    TPDFBuffer expected(pnm.begin() + static_cast<std::ptrdiff_t>(at), pnm.end());
    int32_t end = -1;
    TPDFBuffer jpeg = Buf(test::ReadFileBytes(dir.File("a.jpg")));
    EXPECT_EQ(Decode("DCTDecode", jpeg, {}, &end), expected);
    EXPECT_EQ(end, 0);
    // A JPEG cut in the middle decodes without crashing.
    std::string bytes = test::Str(jpeg);
    size_t scan = bytes.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    TPDFBuffer cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(scan + 40));
    EXPECT_EQ(Decode("DCT", cut).size(), expected.size());
  }
  EXPECT_THROW(Decode("DCT", Buf("not a jpeg")), EPDFException);
}

// A header claims the size; libjpeg would allocate for it before reading any
// scan. Both the samples and libjpeg's own memory are bounded.
TEST(PdfFilters, JpegMemoryIsCapped) {
  test::TempDir dir;
  std::string ppm = "P6\n16 16\n255\n";
  for (int i = 0; i < 16 * 16 * 3; ++i) ppm += static_cast<char>(i * 37);
  test::WriteFileBytes(dir.File("in.ppm"), ppm);
  RunTool("cjpeg -progressive -sample 1x1 -outfile " + dir.File("p.jpg") + " " + dir.File("in.ppm"));
  const std::string jpeg = test::ReadFileBytes(dir.File("p.jpg"));
  EXPECT_EQ(Decode("DCT", Buf(jpeg)).size(), 16u * 16u * 3u);
  const size_t sof = jpeg.find("\xFF\xC2");
  ASSERT_NE(sof, std::string::npos);
  auto withSize = [&](int width, int height) {
    std::string patched = jpeg;
    patched[sof + 5] = static_cast<char>(height >> 8);
    patched[sof + 6] = static_cast<char>(height);
    patched[sof + 7] = static_cast<char>(width >> 8);
    patched[sof + 8] = static_cast<char>(width);
    return Buf(patched);
  };
  // 192 MiB of samples is allowed, but the coefficients of a progressive
  // image that size need twice as much.
  EXPECT_THROW(Decode("DCT", withSize(8000, 8000)), EPDFException);
  EXPECT_EQ(MessageOf([&] { Decode("DCT", withSize(10000, 10000)); }), "JPEG error: image exceeds the size limit");
}

}  // namespace
}  // namespace px
