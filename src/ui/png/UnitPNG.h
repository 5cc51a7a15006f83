#pragma once
// The PNG reader: chunk reading with CRC and order checks, the row pipeline
// from the decompressor through the filter and interlace handlers into an
// in-memory image, and the conversion of that image into a bitmap.
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Streams.h"
#include "platform/core/Types.h"
#include "ui/png/PNGBitmapTarget.h"
#include "ui/png/PNGGlobal.h"

namespace px {

// The most pixels one image may have. The program reads its own artwork and
// a logo; this bound keeps a hostile header from asking for gigabytes.
constexpr Int64 MaxPNGPixels = Int64(1) << 26;

// The decoded image: rows exactly as the PNG stream defines them after
// unfiltering (sub-byte pixels packed from the most significant bits, 16-bit
// samples most significant byte first).
class TPNGImageBuffer {
 public:
  // With Width and Height above 0 checks the colour type and bit depth and
  // allocates zero-filled rows; otherwise stays empty.
  TPNGImageBuffer(Integer Width, Byte ColorType, Byte BitDepth, Integer Height);

  Byte* GetRow(Integer Index);
  const Byte* GetRow(Integer Index) const;

  std::vector<Byte> Data;
  Integer Width = 0;
  Integer Height = 0;
  Byte BitDepth = 0;
  Byte Channels = 0;
  Integer BytesPerPixel = 0;
  Integer RowBytes = 0;
};

// One pass of the row pipeline.
class TPNGInterlaceBuffer {
 public:
  TPNGInterlaceBuffer(Integer RowCount, Integer RowBytes, Integer PassNumber);

  Integer RowCount;
  Integer Row = 0;
  Integer RowBytes;
  Integer PassNumber;
  std::vector<Byte> Current;
  std::vector<Byte> Raw;
  std::vector<Byte> Previous;
};

struct TPNGPaletteEntry {
  Byte Red;
  Byte Green;
  Byte Blue;
};
using TPNGPalette = std::vector<TPNGPaletteEntry>;

enum TPNGBitmapMode : Byte {
  pbmAuto = 0,
  pbmNative = 1,
  pbmRGB = 2,
  pbmRGBA = 3,
  pbmMask = 4,
  pbmPremultiplied = 5,
};

class TLoadingData;

class TPNGFile {
 public:
  TPNGFile();
  ~TPNGFile();
  TPNGFile(const TPNGFile&) = delete;
  TPNGFile& operator=(const TPNGFile&) = delete;

  // Reads one PNG image from the stream's current position.
  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);
  // Reads the program's resource of that name and type (EResNotFound when
  // there is none).
  void LoadFromResource(const std::string& ResName, const std::string& ResType);

  // Converts the decoded image; a null Bitmap fails with a plain Exception.
  void ToBitmap(IPNGBitmapTarget* Bitmap, TPNGBitmapMode Mode) const;

  // The gamma table, or empty when no correction applies (GammaCorrection
  // off, no valid gAMA chunk, or the neutral value 45455).
  std::vector<Byte> GammaTable() const;

  std::unique_ptr<TPNGImageBuffer> Image;
  bool GammaCorrection = false;
  Integer Width = 0;
  Integer Height = 0;
  Byte BitDepth = 0;
  Byte ColorType = 0;
  Byte CompressionMethod = 0;
  Byte FilterMethod = 0;
  Byte InterlaceMethod = 0;
  TPNGPalette Palette;
  TBytes PaletteAlpha;
  Word TransparentGray = 0;
  Word TransparentRed = 0;
  Word TransparentGreen = 0;
  Word TransparentBlue = 0;
  bool GammaValid = false;
  bool HasTransparency = false;
  Cardinal Gamma = 45455;

 private:
  void readChunks(TStream& Stream);
  void handleIHDR(const TBytes& data);
  void handlePLTE(const TBytes& data);
  void handleIDAT(const TBytes& data);
  void handleTRNS(const TBytes& data);
  void handleGAMA(const TBytes& data);
  void handleIEND();
  void assembleRows(const void* Buffer, Integer Count);

  std::unique_ptr<TLoadingData> Loading;
};

// Bytes of a row of PixelCount pixels of the file's image (0 means Width).
// Fails with "PNGFile: Invalid Colortype" for a count that is not positive or
// a colour type and bit depth that do not go together.
Int64 GetRowBytes(const TPNGFile& File, Integer PixelCount);

// Empties the bitmap, loads the file and converts it with pbmAuto.
void LoadBitmapFromPNGFile(IPNGBitmapTarget* Bitmap, const std::string& FileName);

}  // namespace px
