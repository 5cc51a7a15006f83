#include "platform/gui/FontResources.h"

#include <QByteArray>
#include <QRawFont>

#include "platform/core/Fonts.h"

namespace px {

uint32_t AddFontMemResourceEx(const void* data, size_t size, uint32_t* faceCount) {
  if (faceCount) *faceCount = 0;
  if (!data || size == 0 || size > size_t(INT32_MAX)) return 0;
  {
    QRawFont check(QByteArray::fromRawData(static_cast<const char*>(data), qsizetype(size)), 12);
    if (!check.isValid()) return 0;
  }
  return AddFontMemResource(data, size, faceCount);
}

bool RemoveFontMemResourceEx(uint32_t handle) { return handle != 0 && RemoveFontMemResource(handle); }

}  // namespace px
