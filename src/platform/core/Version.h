#pragma once

namespace px {
inline constexpr const char* ProgramName = "Pondarix7350";
inline constexpr const char* ProgramVersion = "0.1.0";
}  // namespace px
