#pragma once
// Interlace method 1 (Adam7). Each pixel of passes 1 to 6 is written over the
// whole block it stands for at that stage, so that the image looks complete,
// at growing resolution, after every pass; pass 7 then fills the odd rows.
#include "ui/png/PNGGlobal.h"

namespace px {

class TPNGInterlaceAdam7 : public IPNGInterlaceHandler {
 public:
  std::unique_ptr<TPNGInterlaceBuffer> FirstPass(TPNGFile& File) override;
  std::unique_ptr<TPNGInterlaceBuffer> NextPass(TPNGFile& File, std::unique_ptr<TPNGInterlaceBuffer> Current) override;
  void StoreRow(TPNGFile& File, TPNGImageBuffer& Image, TPNGInterlaceBuffer& Buffer) override;
};

}  // namespace px
