#pragma once
// The PDF lexer (bytes of a whole buffer to objects, position passed by
// reference), the single way read errors are raised, and small routines that
// several PDF units share.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/UnitPDFParser.h"
#include "platform/core/Fonts.h"

namespace px {

// Containers nested deeper than this fail to parse instead of exhausting the
// stack.
constexpr int MaxPDFNestingDepth = 256;

// Raises Exception "TPDFCollection: Error reading file." with the technical
// text and, for a position other than 0, " at position <n>.".
[[noreturn]] void RaisePDFReadError(int32_t position, std::string_view technical = {});

bool IsPDFWhiteSpace(uint8_t c);
bool IsPDFDelimiter(uint8_t c);

void SkipWhiteSpace(const TPDFBuffer& data, int32_t& pos);
void SkipWhiteSpaceAndComments(const TPDFBuffer& data, int32_t& pos);
void ExpectLiteral(const TPDFBuffer& data, int32_t pos, std::string_view literal);
void EatLiteral(const TPDFBuffer& data, int32_t& pos, std::string_view literal, bool skipAfter);
bool TryEatLiteral(const TPDFBuffer& data, int32_t& pos, std::string_view literal, bool skipAfter);
void EatChar(const TPDFBuffer& data, int32_t& pos, char c);
int32_t EatInteger(const TPDFBuffer& data, int32_t& pos, bool skipAfter);

std::unique_ptr<TPDFObject> ParseObject(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFObject> ParseContentToken(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFDictionary> ParseDictionary(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFArray> ParseArray(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFName> ParseName(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFString> ParseLiteralString(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFHexString> ParseHexString(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFObject> ParseSignedNumber(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFObject> ParseNumberOrReference(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFReal> ParseFraction(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::unique_ptr<TPDFObject> ParseCommand(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::string EatName(const TPDFBuffer& data, int32_t& pos, bool skipAfter);
std::string EatLiteralString(const TPDFBuffer& data, int32_t& pos, bool skipAfter);

// The written form of a name: "/" and the bytes, where every byte outside
// 0x21..0x7E, "#" and every delimiter is written as "#" and two upper-case
// hexadecimal digits, so that any name reads back as itself.
std::string EscapeName(std::string_view name);

// Optional "-" and the leading decimal digits; raises EConvertError
// "Cannot convert to integer: <text>" when there is no digit.
int32_t PDFStrToInt(std::string_view text);
int32_t PDFStrToIntDef(std::string_view text, int32_t defaultValue);
std::string PDFIntToStr(int32_t value);
std::string PDFLowerCase(std::string_view text);
std::string AnsiToUTF8(std::string_view text);
// Bytes of the unfiltered sample data of an image dictionary; raises a read
// error for negative sizes or sizes that do not fit in 63 bits.
int64_t ImageDataSize(const TPDFDictionary& image);
// Packed RGB (red in the low byte) of a CMYK colour with components 0..1.
uint32_t CMYKToRGB(float c, float m, float y, float k);
// Height, width, escapement, weight, italic, underline, strike-out, character
// set and the whole face-name arrays (bytes after the terminating NUL
// included) are equal; orientation, precisions, quality and pitch are not compared.
bool SameLogFont(const TLogFontA& a, const TLogFontA& b);
bool SameLogFont(const TLogFontW& a, const TLogFontW& b);
// Trunc(log10(|x|)) + 1; the smallest 32-bit integer for 0.
int32_t IntegerDigits(float x);

}  // namespace px
