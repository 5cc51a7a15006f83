#include "ui/png/PNGInterlaceNone.h"

#include <cstring>

#include "ui/png/UnitPNG.h"

namespace px {

std::unique_ptr<TPNGInterlaceBuffer> TPNGInterlaceNone::FirstPass(TPNGFile& File) {
  if (File.Width <= 0 || File.Height <= 0) return nullptr;
  return std::make_unique<TPNGInterlaceBuffer>(File.Height, static_cast<Integer>(GetRowBytes(File, 0)), 0);
}

std::unique_ptr<TPNGInterlaceBuffer> TPNGInterlaceNone::NextPass(TPNGFile&, std::unique_ptr<TPNGInterlaceBuffer>) {
  return nullptr;
}

void TPNGInterlaceNone::StoreRow(TPNGFile&, TPNGImageBuffer& Image, TPNGInterlaceBuffer& Buffer) {
  std::memcpy(Image.GetRow(Buffer.Row), Buffer.Current.data(), static_cast<size_t>(Buffer.RowBytes));
}

}  // namespace px
