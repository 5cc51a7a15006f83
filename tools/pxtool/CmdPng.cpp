// pxtool png decode [--mode MODE] IN.png OUT.pam
// Decodes with our reader in the given bitmap mode and writes what the bitmap
// shows as an 8-bit RGBA PAM file.
#include <ostream>
#include <string>

#include "PxTool.h"
#include "platform/core/Streams.h"
#include "ui/png/UnitPNG.h"

namespace px::pxtool {
namespace {

bool parseMode(const std::string& name, TPNGBitmapMode& mode) {
  static const std::pair<const char*, TPNGBitmapMode> modes[] = {
      {"auto", pbmAuto}, {"native", pbmNative}, {"rgb", pbmRGB},
      {"rgba", pbmRGBA}, {"mask", pbmMask},     {"premultiplied", pbmPremultiplied},
  };
  for (const auto& [text, value] : modes)
    if (name == text) {
      mode = value;
      return true;
    }
  return false;
}

int runPng(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] != "decode") return usageError(err);
  TPNGBitmapMode mode = pbmRGBA;
  size_t i = 1;
  if (i < args.size() && args[i] == "--mode") {
    if (i + 1 >= args.size() || !parseMode(args[i + 1], mode)) {
      err << "png decode: mode must be auto, native, rgb, rgba, mask or premultiplied\n";
      return 2;
    }
    i += 2;
  }
  if (args.size() - i != 2) return usageError(err);

  TPNGFile file;
  file.LoadFromFile(args[i]);
  TPNGMemoryBitmap bitmap;
  file.ToBitmap(&bitmap, mode);
  if (bitmap.Empty()) {
    err << "png decode: the image gives no bitmap in this mode\n";
    return 1;
  }
  std::string pam = "P7\nWIDTH " + std::to_string(bitmap.Width()) + "\nHEIGHT " + std::to_string(bitmap.Height()) +
                    "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  pam.reserve(pam.size() + size_t(bitmap.Width()) * bitmap.Height() * 4);
  for (Integer y = 0; y < bitmap.Height(); ++y)
    for (Integer x = 0; x < bitmap.Width(); ++x) {
      Byte rgba[4];
      bitmap.RGBA(x, y, rgba);
      pam.append(reinterpret_cast<const char*>(rgba), 4);
    }
  SaveFileAtomically(args[i + 1], [&](TStream& stream) { stream.Write(pam.data(), static_cast<Int64>(pam.size())); });
  out << bitmap.Width() << "x" << bitmap.Height() << "\n";
  return 0;
}

const PxCommand pngCommand("png", "png decode [--mode auto|native|rgb|rgba|mask|premultiplied] IN.png OUT.pam",
                           runPng);

}  // namespace
}  // namespace px::pxtool
