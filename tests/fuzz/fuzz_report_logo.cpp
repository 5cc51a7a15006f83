// libFuzzer target: the counting report's logo, read as the report reads the
// logo file. The first byte picks the file's extension (JPEG, PNG, or the
// platform's bitmap reader for anything else); the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzGuiApplication.h"
#include "app/UnitDataReport.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  StartFuzzGuiApplication(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  if (size == 0) return 0;
  static const char* const extensions[] = {".jpg", ".png", ".bmp"};
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::unique_ptr<TBitmap> logo = LogoBitmapFromBytes(bytes, extensions[data[0] % 3]);
  if (!logo) return 0;
  // A logo handed out has pixels, and every corner can be read.
  if (logo->Width() <= 0 || logo->Height() <= 0) __builtin_trap();
  for (int32_t y : {0, logo->Height() - 1})
    for (int32_t x : {0, logo->Width() - 1}) (void)logo->GetPixel(x, y);
  const TSize fitted = FitLogoSize(logo->Width(), logo->Height(), 7200);
  if (fitted.cx < 0 || fitted.cx > 7200 || fitted.cy < 0 || fitted.cy > 7200) __builtin_trap();
  return 0;
}
