#pragma once
// Filter method 0 of the PNG header: the five row filter types.
#include "ui/png/PNGGlobal.h"

namespace px {

class TPNGFilterDefault : public IPNGFilterHandler {
 public:
  // Types 0 (None) to 4 (Paeth). A type above 4 cannot be undone: the row is
  // zeroed so that it never shows the bytes of an earlier row.
  void UnfilterRow(const Byte* Raw, const Byte* Previous, Integer BytesPerPixel, Integer RowBytes,
                   Byte* Output) override;
};

}  // namespace px
