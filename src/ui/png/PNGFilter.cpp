#include "ui/png/PNGFilter.h"

#include <cstdlib>
#include <cstring>

namespace px {
namespace {

inline Byte paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a);
  int pb = std::abs(p - b);
  int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<Byte>(a);
  if (pb <= pc) return static_cast<Byte>(b);
  return static_cast<Byte>(c);
}

}  // namespace

void TPNGFilterDefault::UnfilterRow(const Byte* Raw, const Byte* Previous, Integer BytesPerPixel, Integer RowBytes,
                                    Byte* Output) {
  if (RowBytes <= 0) return;
  const Byte* in = Raw + 1;
  const Integer bpp = BytesPerPixel < RowBytes ? BytesPerPixel : RowBytes;
  switch (Raw[0]) {
    case 0:
      std::memcpy(Output, in, static_cast<size_t>(RowBytes));
      break;
    case 1:
      std::memcpy(Output, in, static_cast<size_t>(bpp));
      for (Integer i = bpp; i < RowBytes; ++i) Output[i] = static_cast<Byte>(in[i] + Output[i - bpp]);
      break;
    case 2:
      for (Integer i = 0; i < RowBytes; ++i) Output[i] = static_cast<Byte>(in[i] + Previous[i]);
      break;
    case 3:
      for (Integer i = 0; i < bpp; ++i) Output[i] = static_cast<Byte>(in[i] + (Previous[i] >> 1));
      for (Integer i = bpp; i < RowBytes; ++i)
        Output[i] = static_cast<Byte>(in[i] + ((Output[i - bpp] + Previous[i]) >> 1));
      break;
    case 4:
      for (Integer i = 0; i < bpp; ++i) Output[i] = static_cast<Byte>(in[i] + Previous[i]);
      for (Integer i = bpp; i < RowBytes; ++i)
        Output[i] = static_cast<Byte>(in[i] + paeth(Output[i - bpp], Previous[i], Previous[i - bpp]));
      break;
    default:
      std::memset(Output, 0, static_cast<size_t>(RowBytes));
      break;
  }
}

}  // namespace px
