#pragma once
// Installing font programs for this process only. A program is first offered
// to the text engine; what it refuses is not installed. Accepted programs join
// the private face list under the family of their own name table, so measuring
// and drawing resolve a logical font to the same bytes. Nothing is written to
// disk or made visible to other processes.
#include <cstddef>
#include <cstdint>

namespace px {

// A handle (0 when the bytes are refused) and the number of faces added.
uint32_t AddFontMemResourceEx(const void* data, size_t size, uint32_t* faceCount = nullptr);
bool RemoveFontMemResourceEx(uint32_t handle);

}  // namespace px
