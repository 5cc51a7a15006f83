#pragma once
// Interlace method 0: one pass of Height rows of the whole width.
#include "ui/png/PNGGlobal.h"

namespace px {

class TPNGInterlaceNone : public IPNGInterlaceHandler {
 public:
  std::unique_ptr<TPNGInterlaceBuffer> FirstPass(TPNGFile& File) override;
  std::unique_ptr<TPNGInterlaceBuffer> NextPass(TPNGFile& File, std::unique_ptr<TPNGInterlaceBuffer> Current) override;
  void StoreRow(TPNGFile& File, TPNGImageBuffer& Image, TPNGInterlaceBuffer& Buffer) override;
};

}  // namespace px
