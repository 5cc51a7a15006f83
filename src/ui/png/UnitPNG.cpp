#include "ui/png/UnitPNG.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/Resources.h"

namespace px {
namespace {

const char* const corrupted = "Invalid PNG: File corrupted";
const Byte signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// Chunk data is read in pieces of this size, so that a chunk length the
// stream cannot back is never allocated in one go.
constexpr size_t readPiece = size_t(1) << 20;

Cardinal bigEndian32(const Byte* p) {
  return (Cardinal(p[0]) << 24) | (Cardinal(p[1]) << 16) | (Cardinal(p[2]) << 8) | Cardinal(p[3]);
}

Word bigEndian16(const Byte* p) { return static_cast<Word>((p[0] << 8) | p[1]); }

Byte channelsOf(Byte colorType) {
  switch (colorType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
  }
  return 0;
}

bool validColorType(Byte colorType) { return channelsOf(colorType) != 0; }

bool validDepth(Byte colorType, Byte bitDepth) {
  switch (colorType) {
    case 0: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case 2:
    case 4:
    case 6: return bitDepth == 8 || bitDepth == 16;
    case 3: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
  }
  return false;
}

// Reads up to count bytes; returns how many arrived.
size_t readSome(TStream& stream, void* buffer, size_t count) {
  Byte* out = static_cast<Byte*>(buffer);
  size_t done = 0;
  while (done < count) {
    Int64 got = stream.Read(out + done, static_cast<Int64>(count - done));
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace

class TLoadingData {
 public:
  std::shared_ptr<IPNGCompressor> Decompressor;
  std::shared_ptr<IPNGFilterHandler> Filter;
  std::shared_ptr<IPNGInterlaceHandler> Interlace;
  bool HeaderSeen = false;
  bool PaletteRequired = false;
  bool PaletteSeen = false;
  bool DataSeen = false;
  bool EndSeen = false;
  bool TransparencySeen = false;
  std::string PreviousChunk;
  std::unique_ptr<TPNGInterlaceBuffer> Pass;
  Integer Collected = 0;
};

// ---------------------------------------------------------------------------

TPNGImageBuffer::TPNGImageBuffer(Integer Width, Byte ColorType, Byte BitDepth, Integer Height) {
  if (Width <= 0 || Height <= 0) return;
  if (!validColorType(ColorType)) throw EPNGException("PNGFile: Invalid Colortype");
  if (!validDepth(ColorType, BitDepth)) throw EPNGException("PNGFile: Invalid Bitdepth");
  if (Int64(Width) * Height > MaxPNGPixels) throw EPNGException(corrupted);
  Channels = channelsOf(ColorType);
  this->BitDepth = BitDepth;
  BytesPerPixel = (Channels * BitDepth + 7) / 8;
  Int64 rowBytes = (Int64(Channels) * BitDepth * Width + 7) / 8;
  RowBytes = static_cast<Integer>(rowBytes);
  // Rows a truncated stream never delivers stay zero rather than showing
  // whatever the heap held before.
  Data.assign(static_cast<size_t>(rowBytes * Height), 0);
  this->Width = Width;
  this->Height = Height;
}

Byte* TPNGImageBuffer::GetRow(Integer Index) {
  if (Index < 0 || Index >= Height) throw EPNGException("PNGFile: Out of range error");
  return Data.data() + Int64(Index) * RowBytes;
}

const Byte* TPNGImageBuffer::GetRow(Integer Index) const {
  if (Index < 0 || Index >= Height) throw EPNGException("PNGFile: Out of range error");
  return Data.data() + Int64(Index) * RowBytes;
}

TPNGInterlaceBuffer::TPNGInterlaceBuffer(Integer RowCount, Integer RowBytes, Integer PassNumber)
    : RowCount(RowCount),
      RowBytes(RowBytes),
      PassNumber(PassNumber),
      Current(static_cast<size_t>(RowBytes), 0),
      Raw(static_cast<size_t>(RowBytes) + 1, 0),
      Previous(static_cast<size_t>(RowBytes), 0) {}

Int64 GetRowBytes(const TPNGFile& File, Integer PixelCount) {
  if (PixelCount == 0) PixelCount = File.Width;
  if (PixelCount <= 0 || !validDepth(File.ColorType, File.BitDepth))
    throw EPNGException("PNGFile: Invalid Colortype");
  return (Int64(PixelCount) * channelsOf(File.ColorType) * File.BitDepth + 7) / 8;
}

// ---------------------------------------------------------------------------

TPNGFile::TPNGFile() = default;
TPNGFile::~TPNGFile() = default;

void TPNGFile::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TPNGFile::LoadFromResource(const std::string& ResName, const std::string& ResType) {
  TResourceStream stream(ResName, ResType);
  LoadFromStream(stream);
}

void TPNGFile::LoadFromStream(TStream& Stream) {
  // Nothing of an earlier load may leak into this one: a stale palette or
  // transparency would colour the new image, a stale tRNS flag refuse it.
  Gamma = 45455;
  GammaValid = false;
  HasTransparency = false;
  Palette.clear();
  PaletteAlpha.clear();
  TransparentGray = TransparentRed = TransparentGreen = TransparentBlue = 0;
  Loading = std::make_unique<TLoadingData>();
  try {
    readChunks(Stream);
  } catch (...) {
    Loading.reset();
    throw;
  }
  Loading.reset();
}

void TPNGFile::readChunks(TStream& Stream) {
  Byte head[8];
  if (readSome(Stream, head, 8) < 8 || std::memcmp(head, signature, 8) != 0) throw EPNGException(corrupted);
  TBytes data;
  while (true) {
    if (readSome(Stream, head, 8) < 8) return;
    Cardinal length = bigEndian32(head);
    if (length & 0x80000000u) throw EPNGException(corrupted);
    data.clear();
    while (data.size() < length) {
      size_t old = data.size();
      size_t want = std::min<size_t>(length - old, readPiece);
      data.resize(old + want);
      size_t got = readSome(Stream, data.data() + old, want);
      if (got < want) return;
    }
    Byte crcBytes[4];
    if (readSome(Stream, crcBytes, 4) < 4) return;
    uLong crc = crc32(0L, head + 4, 4);
    if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    if (crc != bigEndian32(crcBytes)) throw EPNGException(corrupted);

    std::string type(reinterpret_cast<const char*>(head + 4), 4);
    if (type == "IHDR") {
      handleIHDR(data);
    } else if (type == "IDAT") {
      handleIDAT(data);
    } else if (type == "IEND") {
      handleIEND();
      return;
    } else if (type == "PLTE") {
      handlePLTE(data);
    } else if (type == "tRNS") {
      handleTRNS(data);
    } else if (type == "gAMA") {
      handleGAMA(data);
    }
    Loading->PreviousChunk = type;
  }
}

void TPNGFile::handleIHDR(const TBytes& data) {
  // A second header would replace the image under rows still arriving for
  // the first one; a stream with two headers is not one image.
  if (Loading->HeaderSeen) throw EPNGException(corrupted);
  if (data.size() != 13) throw EPNGException(corrupted);
  Integer width = static_cast<Integer>(bigEndian32(data.data()));
  Integer height = static_cast<Integer>(bigEndian32(data.data() + 4));
  Byte bitDepth = data[8];
  Byte colorType = data[9];
  if (width < 1 || height < 1) throw EPNGException(corrupted);
  if (!validColorType(colorType) || !validDepth(colorType, bitDepth)) throw EPNGException(corrupted);
  if (Int64(width) * height > MaxPNGPixels) throw EPNGException(corrupted);
  Width = width;
  Height = height;
  BitDepth = bitDepth;
  ColorType = colorType;
  CompressionMethod = data[10];
  FilterMethod = data[11];
  InterlaceMethod = data[12];
  Image.reset();

  TPNGGlobal& global = GetPNGGlobal();
  Loading->Interlace = global.GetInterlaceHandler(InterlaceMethod);
  Loading->Filter = global.GetFilterHandler(FilterMethod);
  auto compression = global.GetCompressionHandler(CompressionMethod);
  Loading->Decompressor =
      compression->CreateDecompressor([this](const void* Buffer, Integer Count) { assembleRows(Buffer, Count); });
  Loading->PaletteRequired = ColorType == 3;
  Loading->HeaderSeen = true;
  Loading->Pass = Loading->Interlace->FirstPass(*this);
  if (!Loading->Pass) throw EPNGException(corrupted);
  Loading->Collected = 0;
  Image = std::make_unique<TPNGImageBuffer>(Width, ColorType, BitDepth, Height);
}

void TPNGFile::handlePLTE(const TBytes& data) {
  if (!Loading->HeaderSeen || Loading->PaletteSeen || Loading->DataSeen) throw EPNGException(corrupted);
  if (ColorType != 2 && ColorType != 3 && ColorType != 6) throw EPNGException(corrupted);
  if (data.size() % 3 != 0 || data.size() > 768) throw EPNGException(corrupted);
  Palette.resize(data.size() / 3);
  for (size_t i = 0; i < Palette.size(); ++i) Palette[i] = {data[3 * i], data[3 * i + 1], data[3 * i + 2]};
  Loading->PaletteSeen = true;
}

void TPNGFile::handleIDAT(const TBytes& data) {
  if (!Loading->HeaderSeen) throw EPNGException(corrupted);
  if (Loading->PaletteRequired && !Loading->PaletteSeen) throw EPNGException(corrupted);
  if (Loading->DataSeen && Loading->PreviousChunk != "IDAT") throw EPNGException(corrupted);
  Loading->DataSeen = true;
  if (!data.empty()) Loading->Decompressor->Process(data.data(), static_cast<Integer>(data.size()));
}

void TPNGFile::handleTRNS(const TBytes& data) {
  if (!Loading->HeaderSeen || Loading->DataSeen || Loading->TransparencySeen) throw EPNGException(corrupted);
  if (Loading->PaletteRequired && !Loading->PaletteSeen) throw EPNGException(corrupted);
  switch (ColorType) {
    case 0:
      if (data.size() != 2) throw EPNGException(corrupted);
      TransparentGray = bigEndian16(data.data());
      break;
    case 2:
      if (data.size() != 6) throw EPNGException(corrupted);
      TransparentRed = bigEndian16(data.data());
      TransparentGreen = bigEndian16(data.data() + 2);
      TransparentBlue = bigEndian16(data.data() + 4);
      break;
    case 3:
      if (data.empty() || data.size() > Palette.size()) throw EPNGException(corrupted);
      PaletteAlpha.assign(data.begin(), data.end());
      break;
    default:
      throw EPNGException(corrupted);
  }
  Loading->TransparencySeen = true;
  HasTransparency = true;
}

void TPNGFile::handleGAMA(const TBytes& data) {
  if (data.size() < 4) throw EPNGException(corrupted);
  Gamma = bigEndian32(data.data());
  GammaValid = data.size() == 4;
}

void TPNGFile::handleIEND() {
  if (!Loading->Decompressor) throw EPNGException(corrupted);
  Loading->Decompressor->Finish();
  Loading->EndSeen = true;
}

void TPNGFile::assembleRows(const void* Buffer, Integer Count) {
  const Byte* in = static_cast<const Byte*>(Buffer);
  TLoadingData& loading = *Loading;
  while (Count > 0) {
    if (!loading.Pass) throw EPNGException("PNGFile: more image data then expected");
    TPNGInterlaceBuffer& pass = *loading.Pass;
    Integer want = pass.RowBytes + 1 - loading.Collected;
    Integer take = std::min(want, Count);
    std::memcpy(pass.Raw.data() + loading.Collected, in, static_cast<size_t>(take));
    loading.Collected += take;
    in += take;
    Count -= take;
    if (loading.Collected < pass.RowBytes + 1) continue;
    loading.Filter->UnfilterRow(pass.Raw.data(), pass.Previous.data(), Image->BytesPerPixel, pass.RowBytes,
                                pass.Current.data());
    loading.Interlace->StoreRow(*this, *Image, pass);
    ++pass.Row;
    std::swap(pass.Current, pass.Previous);
    if (pass.Row >= pass.RowCount) loading.Pass = loading.Interlace->NextPass(*this, std::move(loading.Pass));
    loading.Collected = 0;
  }
}

std::vector<Byte> TPNGFile::GammaTable() const {
  std::vector<Byte> table;
  if (!GammaCorrection || !GammaValid || Gamma == 45455) return table;
  table.resize(256);
  const double g = Gamma * 0.00001;
  const double inv255 = static_cast<double>(1.0f / 255.0f);
  const double divisor = g * static_cast<double>(2.2f);
  table[0] = 0;
  table[255] = 255;
  for (int i = 1; i < 255; ++i) {
    double value = divisor > 0 ? std::exp(std::log(i * inv255) / divisor) * 255.0 : 0.0;
    // nearbyint rounds halves to even in the default rounding mode.
    double rounded = std::nearbyint(value);
    table[i] = static_cast<Byte>(std::clamp(rounded, 0.0, 255.0));
  }
  return table;
}

void LoadBitmapFromPNGFile(IPNGBitmapTarget* Bitmap, const std::string& FileName) {
  Assert(Bitmap != nullptr, "Assertion failure");
  Bitmap->Clear();
  TPNGFile file;
  file.LoadFromFile(FileName);
  file.ToBitmap(Bitmap, pbmAuto);
}

}  // namespace px
