#pragma once
// Basic types of the class library, mapped onto C++.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace px {

using Integer = int32_t;
using Cardinal = uint32_t;
using Int64 = int64_t;
using UInt64 = uint64_t;
using Word = uint16_t;
using Byte = uint8_t;
using ShortInt = int8_t;
using SmallInt = int16_t;
using LongWord = uint32_t;
using Single = float;
using Double = double;
using Extended = long double;
using Boolean = bool;
using NativeInt = intptr_t;
using NativeUInt = uintptr_t;

// Single-byte text in the Windows-1252 code page (see CodePages.h for conversions).
using AnsiString = std::string;
// UTF-16 text.
using UnicodeString = std::u16string;
using WideChar = char16_t;
using AnsiChar = char;

using TBytes = std::vector<uint8_t>;

// Days since 1899-12-30; the fraction is the time of day (see DateTime.h).
using TDateTime = double;

// Horizontal alignment of a text in its box; shared by the controls and the
// data views that describe columns for them.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

}  // namespace px
