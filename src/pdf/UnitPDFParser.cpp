#include "pdf/UnitPDFParser.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pdf/UnitPDFCrypto.h"
#include "pdf/UnitPDFStreams.h"
#include "pdf/UnitPDFUtilities.h"
#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"
#include "platform/core/Debug.h"
#include "platform/core/NumberConversion.h"

namespace px {
namespace {

// A chain of references longer than this (a reference to itself included)
// is a broken document, not something to follow for ever.
constexpr int MaxReferenceHops = 32;

void put(TStream& stream, std::string_view text) { stream.WriteBuffer(text); }

void stepBack(TStream& stream) { stream.Seek(-1, soCurrent); }

const TFormatSettings& pdfFormatSettings() {
  static const TFormatSettings settings = DefaultFormatSettings();
  return settings;
}

std::string hexByte(uint8_t b, bool upper) {
  static const char* upperDigits = "0123456789ABCDEF";
  static const char* lowerDigits = "0123456789abcdef";
  const char* digits = upper ? upperDigits : lowerDigits;
  return std::string{digits[b >> 4], digits[b & 15]};
}

// Runs of bytes below 32 (and, for byte strings, 127 and above) as hexadecimal
// between &lt; and &gt;; &, < and > as character references.
std::string htmlBytes(std::string_view bytes, bool highBytesAsHex) {
  std::string out;
  bool inRun = false;
  for (unsigned char c : bytes) {
    bool hex = c < 32 || (highBytesAsHex && c >= 127);
    if (hex) {
      if (!inRun) out += "&lt;";
      inRun = true;
      out += hexByte(c, false);
      continue;
    }
    if (inRun) out += "&gt;";
    inRun = false;
    if (c == '&' || c == '<' || c == '>')
      out += "&#" + std::to_string(c) + ";";
    else
      out += static_cast<char>(c);
  }
  if (inRun) out += "&gt;";
  return out;
}

// PDFDocEncoding of the bytes 24..31 and 128..160; 0 marks a byte without a
// character.
const char16_t docEncodingLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
const char16_t docEncodingHigh[33] = {0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039,
                                      0x203A, 0x2212, 0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A,
                                      0x2122, 0xFB01, 0xFB02, 0x0141, 0x0152, 0x0160, 0x0178, 0x017D, 0x0131,
                                      0x0142, 0x0153, 0x0161, 0x017E, 0,      0x20AC};

std::string twoDigits(int value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  return buffer;
}

[[noreturn]] void raiseWrongType(const TPDFReference& reference) {
  RaisePDFReadError(0, "Object of wrong type " + AsPDFText(reference));
}

}  // namespace

// ---------------------------------------------------------------------------
// Numbers

namespace {
// PDF numbers have no exponent ("1E-7" is not a number to a reader): a text in
// scientific notation becomes the same digits in plain notation.
std::string plainNotation(const std::string& text) {
  const size_t e = text.find_first_of("Ee");
  if (e == std::string::npos) return text;
  std::string mantissa = text.substr(0, e);
  const int exponent = std::atoi(text.c_str() + e + 1);
  const bool negative = !mantissa.empty() && mantissa[0] == '-';
  if (negative || (!mantissa.empty() && mantissa[0] == '+')) mantissa.erase(0, 1);
  const size_t dot = mantissa.find('.');
  const int64_t before = static_cast<int64_t>(dot == std::string::npos ? mantissa.size() : dot) + exponent;
  std::string digits = mantissa;
  if (dot != std::string::npos) digits.erase(dot, 1);
  std::string out;
  if (before <= 0)
    out = "0." + std::string(static_cast<size_t>(-before), '0') + digits;
  else if (before >= static_cast<int64_t>(digits.size()))
    out = digits + std::string(static_cast<size_t>(before) - digits.size(), '0');
  else
    out = digits.substr(0, static_cast<size_t>(before)) + "." + digits.substr(static_cast<size_t>(before));
  return negative ? "-" + out : out;
}
}  // namespace

std::string FormatReal(long double value) {
  if (!std::isfinite(value)) return "0";
  int32_t digits = value == 0 ? INT32_MIN : static_cast<int32_t>(std::trunc(std::log10(std::fabs(value)))) + 1;
  std::string text;
  const double v = static_cast<double>(value);
  if (digits >= 6)
    text = FloatToStrF(v, ffFixed, 18, 0, pdfFormatSettings());
  else if (digits >= 0)
    text = FloatToStrF(v, ffFixed, 18, 6 - digits, pdfFormatSettings());
  else
    text = FloatToStrF(v, ffGeneral, 15, 0, pdfFormatSettings());
  text = plainNotation(text);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  // Digits alone beyond the integer range make an integer token that readers
  // cannot hold (one of them drops the whole object): keep it a real.
  if (text.find('.') == std::string::npos && std::fabs(value) > 2147483647.0L) text += ".0";
  return text;
}

int32_t TPDFNumeric::AsInteger() const {
  long double r = std::nearbyint(AsFloat());
  if (r >= 2147483647.0L) return INT32_MAX;
  if (r <= -2147483648.0L) return INT32_MIN;
  return static_cast<int32_t>(r);
}

std::string AsPDFText(const TPDFObject& object) {
  TStringStream stream;
  object.WriteTo(stream, nullptr);
  return stream.DataString();
}

// ---------------------------------------------------------------------------
// TPDFObject defaults

void TPDFObject::Encrypt(int32_t, int32_t, TPDFCrypto*) {}
void TPDFObject::Decrypt(int32_t, int32_t, TPDFCrypto*) {}
void TPDFObject::AfterSave(TStream&) {}

// ---------------------------------------------------------------------------
// Simple objects

void TPDFBoolean::WriteTo(TStream& stream, TPDFCollection*) const { put(stream, Value ? "true " : "false "); }
std::unique_ptr<TPDFObject> TPDFBoolean::Clone(TPDFLinker&) const { return std::make_unique<TPDFBoolean>(Value); }
void TPDFBoolean::AsHTML(std::string& text) const {
  text = Value ? "<span class=\"PDFKeyword\">true</span>" : "<span class=\"PDFKeyword\">false</span>";
}

void TPDFInteger::WriteTo(TStream& stream, TPDFCollection*) const { put(stream, std::to_string(Value) + " "); }
std::unique_ptr<TPDFObject> TPDFInteger::Clone(TPDFLinker&) const { return std::make_unique<TPDFInteger>(Value); }
void TPDFInteger::AsHTML(std::string& text) const {
  text = "<span class=\"PDFNumeric\">" + std::to_string(Value) + "</span>";
}

void TPDFReal::WriteTo(TStream& stream, TPDFCollection*) const { put(stream, FormatReal(Value) + " "); }
std::unique_ptr<TPDFObject> TPDFReal::Clone(TPDFLinker&) const { return std::make_unique<TPDFReal>(Value); }
void TPDFReal::AsHTML(std::string& text) const {
  text = "<span class=\"PDFNumeric\">" + FormatReal(Value) + "</span>";
}

void TPDFReference::WriteTo(TStream& stream, TPDFCollection*) const {
  put(stream, std::to_string(Number) + " " + std::to_string(Generation) + " R ");
}
std::unique_ptr<TPDFObject> TPDFReference::Clone(TPDFLinker& linker) const {
  return std::make_unique<TPDFReference>(linker.MapReference(*this), 0);
}
void TPDFReference::AsHTML(std::string& text) const {
  std::string n = std::to_string(Number), g = std::to_string(Generation);
  text = "<span class=\"PDFReference\"><a href=\"#" + n + "." + g + "\">" + n + " " + g + " R</a></span>";
}

void TPDFName::WriteTo(TStream& stream, TPDFCollection*) const { put(stream, EscapeName(Name) + " "); }
std::unique_ptr<TPDFObject> TPDFName::Clone(TPDFLinker&) const { return std::make_unique<TPDFName>(Name); }
void TPDFName::AsHTML(std::string& text) const {
  text = "<span class=\"PDFName\">" + htmlBytes(EscapeName(Name), true) + "</span>";
}

void TPDFNull::WriteTo(TStream& stream, TPDFCollection*) const { put(stream, "null "); }
std::unique_ptr<TPDFObject> TPDFNull::Clone(TPDFLinker&) const { return std::make_unique<TPDFNull>(); }
void TPDFNull::AsHTML(std::string& text) const { text = "<span class=\"PDFKeyword\">null</span>"; }

void TPDFCommand::WriteTo(TStream& stream, TPDFCollection*) const { put(stream, Text + " "); }
std::unique_ptr<TPDFObject> TPDFCommand::Clone(TPDFLinker&) const { return std::make_unique<TPDFCommand>(Text); }
void TPDFCommand::AsHTML(std::string& text) const { text = "<span class=\"PDFcommand\">" + Text + "</span>"; }

// ---------------------------------------------------------------------------
// Strings

TPDFString::TPDFString(std::u16string_view text) {
  bool narrow = std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 256; });
  if (narrow) {
    Data = UnicodeToAnsi(text);
    return;
  }
  Data.reserve(2 + text.size() * 2);
  Data += '\xFE';
  Data += '\xFF';
  for (char16_t c : text) {
    Data += static_cast<char>(c >> 8);
    Data += static_cast<char>(c & 0xFF);
  }
}

void TPDFString::WriteTo(TStream& stream, TPDFCollection*) const {
  std::string out;
  out.reserve(Data.size() + 8);
  out += '(';
  for (char c : Data) {
    switch (c) {
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      case '(': out += "\\("; break;
      case ')': out += "\\)"; break;
      case '<': out += "\\<"; break;
      case '>': out += "\\>"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  out += ") ";
  put(stream, out);
}

std::unique_ptr<TPDFObject> TPDFString::Clone(TPDFLinker&) const { return std::make_unique<TPDFString>(Data); }

UnicodeString TPDFString::AsUnicode() const {
  UnicodeString result;
  if (Data.size() >= 2 && static_cast<uint8_t>(Data[0]) == 0xFE && static_cast<uint8_t>(Data[1]) == 0xFF) {
    size_t count = Data.size() / 2 - 1;
    result.reserve(count);
    for (size_t i = 0; i < count; ++i)
      result += static_cast<char16_t>((static_cast<uint8_t>(Data[2 * i + 2]) << 8) |
                                      static_cast<uint8_t>(Data[2 * i + 3]));
    return result;
  }
  result.reserve(Data.size());
  for (unsigned char c : Data) {
    char16_t u;
    if (c < 24 || c == 127 || c == 173)
      u = 0;
    else if (c < 32)
      u = docEncodingLow[c - 24];
    else if (c >= 128 && c <= 160)
      u = docEncodingHigh[c - 128];
    else
      u = c;
    if (u != 0) result += u;
  }
  return result;
}

void TPDFString::AsHTML(std::string& text) const {
  if (Data.size() >= 2 && static_cast<uint8_t>(Data[0]) == 0xFE && static_cast<uint8_t>(Data[1]) == 0xFF)
    text = "<span class=\"PDFUString\">(" + htmlBytes(UnicodeToUtf8(AsUnicode()), false) + ")</span>";
  else
    text = "<span class=\"PDFString\">(" + htmlBytes(Data, true) + ")</span>";
}

void TPDFString::Encrypt(int32_t number, int32_t generation, TPDFCrypto* handler) {
  if (handler) handler->EncryptString(number, generation, Data);
}
void TPDFString::Decrypt(int32_t number, int32_t generation, TPDFCrypto* handler) {
  if (handler) handler->DecryptString(number, generation, Data);
}

TPDFDateTime::TPDFDateTime(TDateTime value) : TPDFDateTime(value, -LocalUTCOffsetMinutes(LocalToUTC(value))) {}

TPDFDateTime::TPDFDateTime(TDateTime value, int32_t bias) : TPDFString(std::string()), Bias(bias) {
  DecodeDateTime(value, Year, Month, Day, Hour, Minute, Second, Millisecond);
  int offset = -Bias;
  Data = "D:" + twoDigits(Year, 4) + twoDigits(Month, 2) + twoDigits(Day, 2) + twoDigits(Hour, 2) +
         twoDigits(Minute, 2) + twoDigits(Second, 2) + (offset >= 0 ? "+" : "-") +
         twoDigits(std::abs(offset) / 60, 2) + "'" + twoDigits(std::abs(offset) % 60, 2) + "'";
}

void TPDFHexString::WriteTo(TStream& stream, TPDFCollection*) const {
  std::string out;
  out.reserve(Data.size() * 2 + 3);
  out += '<';
  for (unsigned char c : Data) out += hexByte(c, true);
  out += "> ";
  put(stream, out);
}

std::unique_ptr<TPDFObject> TPDFHexString::Clone(TPDFLinker&) const { return std::make_unique<TPDFHexString>(Data); }

void TPDFHexString::AsHTML(std::string& text) const {
  if (Data.size() >= 3 && Data.compare(0, 3, std::string("\xFE\xFF\x00", 3)) == 0) {
    TPDFString::AsHTML(text);
    return;
  }
  if (Data.size() > 100) {
    text = "<span class=\"PDFHexString\">&lt;BINARY BLOB&gt;</span>";
    return;
  }
  text = "<span class=\"PDFHexString\">&lt;";
  for (unsigned char c : Data) text += hexByte(c, true);
  text += "&gt;</span>";
}

// ---------------------------------------------------------------------------
// Arrays

void TPDFArray::Add(std::unique_ptr<TPDFObject> object) {
  Assert(object != nullptr, "TPDFArray.Add: nil object");
  items_.push_back(std::move(object));
}

TPDFObject* TPDFArray::GetItem(int32_t index) const {
  if (index < 0 || index >= Count()) throw ERangeError("PDFArray: Out of range");
  return items_[index].get();
}

void TPDFArray::WriteTo(TStream& stream, TPDFCollection* collection) const {
  put(stream, "[ ");
  for (const auto& item : items_) item->WriteTo(stream, collection);
  if (!items_.empty()) stepBack(stream);
  put(stream, " ] ");
}

std::unique_ptr<TPDFObject> TPDFArray::Clone(TPDFLinker& linker) const {
  auto copy = std::make_unique<TPDFArray>();
  for (const auto& item : items_) copy->Add(item->Clone(linker));
  return copy;
}

void TPDFArray::AsHTML(std::string& text) const {
  text = "<span class=\"PDFArray\">[ ";
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i > 0) text += " ";
    text += items_[i]->AsHTML();
  }
  text += " ]</span>";
}

void TPDFArray::Encrypt(int32_t number, int32_t generation, TPDFCrypto* handler) {
  for (auto& item : items_) item->Encrypt(number, generation, handler);
}
void TPDFArray::Decrypt(int32_t number, int32_t generation, TPDFCrypto* handler) {
  for (auto& item : items_) item->Decrypt(number, generation, handler);
}

TPDFObject* TPDFArray::getObject(TPDFCollection* collection, int32_t index, const TPDFClassRef* expected) const {
  TPDFObject* value = GetItem(index);
  if (auto* reference = dynamic_cast<TPDFReference*>(value)) {
    Assert(collection != nullptr, "TPDFArray.GetObject: no collection to resolve a reference");
    value = collection->ResolveReference(*reference, expected);
  }
  if (value && expected && !expected->IsInstance(value)) RaisePDFReadError(0, "object is of unexpected type");
  return value;
}

TPDFObject* TPDFArray::getRequiredObject(TPDFCollection* collection, int32_t index,
                                         const TPDFClassRef* expected) const {
  TPDFObject* value = getObject(collection, index, expected);
  if (!value) RaisePDFReadError(0, "Object does not exist " + std::to_string(index));
  return value;
}

namespace {
void checkType(const TPDFDictionary* dictionary, std::string_view typeName) {
  if (!dictionary || typeName.empty()) return;
  auto* type = dynamic_cast<TPDFName*>(dictionary->Find("Type"));
  if (type && type->Name != typeName) RaisePDFReadError(0, "Expecting object of type " + std::string(typeName));
}
}  // namespace

TPDFDictionary* TPDFArray::GetDictionary(TPDFCollection* collection, int32_t index, std::string_view typeName) const {
  Assert(collection != nullptr, "TPDFArray.GetDictionary: no collection");
  auto* dictionary = GetObject<TPDFDictionary>(collection, index);
  checkType(dictionary, typeName);
  return dictionary;
}

TPDFDictionary* TPDFArray::GetRequiredDictionary(TPDFCollection* collection, int32_t index,
                                                 std::string_view typeName) const {
  auto* dictionary = GetDictionary(collection, index, typeName);
  if (!dictionary) RaisePDFReadError(0, "Dictionary does not exist " + std::to_string(index));
  return dictionary;
}

TPDFName* TPDFArray::FindName(std::string_view text) const {
  for (const auto& item : items_) {
    auto* name = dynamic_cast<TPDFName*>(item.get());
    if (name && name->Name == text) return name;
  }
  return nullptr;
}

void TPDFArray::GetIntArray(TPDFCollection* collection, TPDFIntArray& values) const {
  values.clear();
  values.reserve(items_.size());
  for (int32_t i = 0; i < Count(); ++i) {
    if (collection) {
      values.push_back(GetRequiredObject<TPDFInteger>(collection, i)->Value);
    } else {
      auto* integer = dynamic_cast<TPDFInteger*>(items_[i].get());
      if (!integer) throw Exception("TPDFArray.GetIntArray: No integer array");
      values.push_back(integer->Value);
    }
  }
}

// ---------------------------------------------------------------------------
// Dictionaries

TPDFDictionary::TPDFDictionary(std::string_view typeName) { Add("Type", std::make_unique<TPDFName>(std::string(typeName))); }

TPDFDictionary::TPDFDictionary(TPDFBuffer streamData) : streamData_(std::move(streamData)), streamState_(2) {}

std::unique_ptr<TPDFDictionary> TPDFDictionary::FromStreamData(std::string_view bytes) {
  return std::make_unique<TPDFDictionary>(TPDFBuffer(bytes.begin(), bytes.end()));
}

void TPDFDictionary::Add(std::string key, std::unique_ptr<TPDFObject> value) {
  Assert(value != nullptr, "TPDFDictionary.Add: nil value");
  keys_.push_back(std::move(key));
  values_.push_back(std::move(value));
}

const std::string& TPDFDictionary::GetKey(int32_t index) const {
  if (index < 0 || index >= Count()) throw ERangeError("PDFDictionary: index out of range");
  return keys_[index];
}

TPDFObject* TPDFDictionary::GetValue(int32_t index) const {
  if (index < 0 || index >= Count()) throw ERangeError("PDFDictionary: index out of range");
  return values_[index].get();
}

int32_t TPDFDictionary::IndexOf(std::string_view key) const {
  for (size_t i = 0; i < keys_.size(); ++i)
    if (keys_[i] == key) return static_cast<int32_t>(i);
  return -1;
}

TPDFObject* TPDFDictionary::Find(std::string_view key) const {
  int32_t index = IndexOf(key);
  return index < 0 ? nullptr : values_[index].get();
}

void TPDFDictionary::WriteTo(TStream& stream, TPDFCollection* collection) const {
  if (streamState_ == 2) throw Exception("Stream not encoded before serializing");
  put(stream, "<<\n");
  for (size_t i = 0; i < keys_.size(); ++i) {
    std::string key = EscapeName(keys_[i]);
    if (!dynamic_cast<const TPDFName*>(values_[i].get())) key += ' ';
    put(stream, key);
    values_[i]->WriteTo(stream, collection);
    stepBack(stream);
    put(stream, "\n");
  }
  put(stream, ">>\n");
  if (streamState_ == 1) {
    put(stream, "stream\n");
    if (!streamData_.empty()) stream.WriteBuffer(streamData_.data(), static_cast<Int64>(streamData_.size()));
    put(stream, "\nendstream\n");
  }
}

std::unique_ptr<TPDFObject> TPDFDictionary::Clone(TPDFLinker& linker) const {
  auto copy = std::make_unique<TPDFDictionary>();
  for (size_t i = 0; i < keys_.size(); ++i) copy->Add(keys_[i], values_[i]->Clone(linker));
  copy->streamState_ = streamState_;
  copy->streamData_ = streamData_;
  return copy;
}

void TPDFDictionary::AsHTML(std::string& text) const {
  if (keys_.empty()) {
    text = "&lt;&lt;&nbsp;&gt;&gt;";
    return;
  }
  std::vector<size_t> order;
  for (size_t i = 0; i < keys_.size(); ++i)
    if (IndexOf(keys_[i]) == static_cast<int32_t>(i)) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [this](size_t a, size_t b) { return CompareText(keys_[a], keys_[b]) < 0; });
  text =
      "<table class=\"PDFDictionary\"><tbody><tr><td>&lt;&lt;</td><td><table style=\"border: 1px solid "
      "gray;\"><tbody>";
  for (size_t i : order)
    text += "<tr><td><span class=\"PDFName\">" + htmlBytes(EscapeName(keys_[i]), true) + "</span></td><td>" +
            values_[i]->AsHTML() + "</td></tr>";
  text += "</tbody></table><td style=\"vertical-align: bottom;\">&gt;&gt;</td></tbody></table>";
}

void TPDFDictionary::Encrypt(int32_t number, int32_t generation, TPDFCrypto* handler) {
  for (auto& value : values_) value->Encrypt(number, generation, handler);
  if (streamState_ != 0 && handler) {
    Assert(streamState_ == 1, "TPDFDictionary.Encrypt: stream not encoded");
    handler->EncryptStream(number, generation, streamData_);
  }
}

void TPDFDictionary::Decrypt(int32_t number, int32_t generation, TPDFCrypto* handler) {
  for (auto& value : values_) value->Decrypt(number, generation, handler);
  if (streamState_ != 0 && handler) {
    Assert(streamState_ == 1, "TPDFDictionary.Decrypt: stream not encoded");
    handler->DecryptStream(number, generation, streamData_);
  }
}

TPDFObject* TPDFDictionary::getObject(TPDFCollection* collection, std::string_view key,
                                      const TPDFClassRef* expected) const {
  TPDFObject* value = Find(key);
  const TPDFReference* lastReference = nullptr;
  for (int hops = 0; auto* reference = dynamic_cast<TPDFReference*>(value); ++hops) {
    Assert(collection != nullptr, "TPDFDictionary.GetObject: no collection to resolve a reference");
    if (hops >= MaxReferenceHops) RaisePDFReadError(0, "Too many indirections: " + AsPDFText(*reference));
    lastReference = reference;
    value = collection->ResolveReference(*reference);
  }
  if (expected && lastReference && !expected->IsInstance(value)) raiseWrongType(*lastReference);
  if (value && expected && !expected->IsInstance(value))
    RaisePDFReadError(0, std::string("object is of unexpected type ") + value->ClassName() + ". Expected: " +
                             expected->Name);
  return value;
}

TPDFObject* TPDFDictionary::getRequiredObject(TPDFCollection* collection, std::string_view key,
                                              const TPDFClassRef* expected) const {
  TPDFObject* value = getObject(collection, key, expected);
  if (!value) RaisePDFReadError(0, "Object does not exist " + std::string(key));
  return value;
}

TPDFDictionary* TPDFDictionary::GetDictionary(TPDFCollection* collection, std::string_view key,
                                              std::string_view typeName) const {
  auto* dictionary = GetObject<TPDFDictionary>(collection, key);
  checkType(dictionary, typeName);
  return dictionary;
}

TPDFDictionary* TPDFDictionary::GetRequiredDictionary(TPDFCollection* collection, std::string_view key,
                                                      std::string_view typeName) const {
  auto* dictionary = GetDictionary(collection, key, typeName);
  if (!dictionary) RaisePDFReadError(0, "Dictionary does not exist " + std::string(key));
  return dictionary;
}

int32_t TPDFDictionary::GetInteger(TPDFCollection* collection, std::string_view key, int32_t defaultValue) const {
  auto* value = GetObject<TPDFNumeric>(collection, key);
  if (!value) return defaultValue;
  auto* integer = dynamic_cast<TPDFInteger*>(value);
  Assert(integer != nullptr, "TPDFDictionary.GetInteger: real number where an integer is required");
  return integer->Value;
}

std::string TPDFDictionary::GetName(TPDFCollection* collection, std::string_view key,
                                    std::string_view defaultValue) const {
  auto* name = GetObject<TPDFName>(collection, key);
  return name ? name->Name : std::string(defaultValue);
}

void TPDFDictionary::SetStreamData(uint8_t state, TPDFBuffer data) {
  streamData_ = std::move(data);
  streamState_ = state;
}

void TPDFDictionary::SetStreamState(uint8_t state, TPDFCollection* collection) {
  if (state == streamState_) return;
  if (streamState_ == 0 || state == 0) throw Exception("No stream present.");
  if (state == 2)
    decodeStream(collection);
  else
    encodeStream(collection);
  streamState_ = state;
}

namespace {
TPDFDictionary* parmsAt(TPDFCollection* collection, TPDFArray* parms, int32_t index) {
  if (!parms || index >= parms->Count()) return nullptr;
  TPDFObject* item = parms->GetObject(collection, index);
  if (!item || dynamic_cast<TPDFNull*>(item)) return nullptr;
  auto* dictionary = dynamic_cast<TPDFDictionary*>(item);
  if (!dictionary) RaisePDFReadError(0, "object is of unexpected type");
  return dictionary;
}
}  // namespace

void TPDFDictionary::decodeStream(TPDFCollection* collection) {
  TPDFObject* filter = GetObject(collection, "Filter");
  if (!filter) return;
  TPDFObject* parms = Find("DecodeParms") ? GetObject(collection, "DecodeParms") : GetObject(collection, "DP");
  if (auto* name = dynamic_cast<TPDFName*>(filter)) {
    TPDFDictionary* parmsDictionary = nullptr;
    if (auto* parmsArray = dynamic_cast<TPDFArray*>(parms)) {
      if (parmsArray->Count() < 1) throw Exception("TPDFDictionary.DecodeStream: DecodeParms have wrong object type (1).");
      parmsDictionary = parmsAt(collection, parmsArray, 0);
    } else if (parms && !dynamic_cast<TPDFNull*>(parms)) {
      parmsDictionary = dynamic_cast<TPDFDictionary*>(parms);
      if (!parmsDictionary) RaisePDFReadError(0, "object is of unexpected type");
    }
    TPDFBuffer output;
    int32_t endPos = 0;
    FindStreamFilter(name->Name).Decode(streamData_, 0, static_cast<int32_t>(streamData_.size()), endPos, collection,
                                        this, parmsDictionary, output);
    streamData_ = std::move(output);
  } else if (auto* filters = dynamic_cast<TPDFArray*>(filter)) {
    auto* parmsArray = dynamic_cast<TPDFArray*>(parms);
    for (int32_t i = 0; i < filters->Count(); ++i) {
      auto* itemName = filters->GetRequiredObject<TPDFName>(collection, i);
      TPDFBuffer output;
      int32_t endPos = 0;
      FindStreamFilter(itemName->Name)
          .Decode(streamData_, 0, static_cast<int32_t>(streamData_.size()), endPos, collection, this,
                  parmsAt(collection, parmsArray, i), output);
      streamData_ = std::move(output);
    }
  } else {
    throw Exception("TPDFDictionary.DecodeStream: Unknown way of passing decode info (1).");
  }
}

void TPDFDictionary::encodeStream(TPDFCollection* collection) {
  TPDFObject* filter = GetObject(collection, "Filter");
  if (auto* name = dynamic_cast<TPDFName*>(filter)) {
    TPDFBuffer output;
    FindStreamFilter(name->Name).Encode(streamData_, output);
    streamData_ = std::move(output);
  } else if (auto* filters = dynamic_cast<TPDFArray*>(filter)) {
    for (int32_t i = filters->Count() - 1; i >= 0; --i) {
      TPDFBuffer output;
      FindStreamFilter(filters->GetRequiredObject<TPDFName>(collection, i)->Name).Encode(streamData_, output);
      streamData_ = std::move(output);
    }
  } else if (filter) {
    throw Exception("TPDFDictionary.DecodeStream: Unknown way of passing decode info (1).");
  }
  setLength(static_cast<int32_t>(streamData_.size()));
}

void TPDFDictionary::setLength(int32_t length) {
  int32_t index = IndexOf("Length");
  if (index >= 0)
    values_[index] = std::make_unique<TPDFInteger>(length);
  else
    Add("Length", std::make_unique<TPDFInteger>(length));
}

bool TPDFDictionary::LoadInlineStream(const TPDFBuffer& data, int32_t& position) {
  const int64_t size = static_cast<int64_t>(data.size());
  auto findEI = [&](int64_t from) -> int64_t {
    for (int64_t i = std::max<int64_t>(from, 0); i + 1 < size; ++i)
      if (data[i] == 'E' && data[i + 1] == 'I') return i;
    return -1;
  };
  TPDFObject* filter = Find("Filter");
  auto* filterArray = dynamic_cast<TPDFArray*>(filter);
  if (!filter || (filterArray && filterArray->Count() == 0)) {
    int64_t start = position;
    // Data that claims more bytes than are left has no end marker to find.
    const int64_t imageSize = ImageDataSize(*this);
    int64_t at = imageSize > size - start ? -1 : findEI(start + imageSize);
    if (at < 0) return false;
    streamData_.assign(data.begin() + start, data.begin() + at + 1);
    streamState_ = 2;
    position = static_cast<int32_t>(at + 2);
    SkipWhiteSpace(data, position);
    return true;
  }
  // After decoded data: "EI" is searched for from the end of the encoded
  // data; reading goes on past it and the white space behind it.
  auto endAtEI = [&](int32_t dataEnd) {
    streamState_ = 2;
    position = dataEnd;
    const int64_t at = findEI(position);
    if (at < 0) return false;
    position = static_cast<int32_t>(at + 2);
    SkipWhiteSpace(data, position);
    return true;
  };
  TPDFObject* parms = Find("DecodeParms");
  if (auto* name = dynamic_cast<TPDFName*>(filter)) {
    TPDFDictionary* parmsDictionary = nullptr;
    if (auto* parmsArray = dynamic_cast<TPDFArray*>(parms)) {
      if (parmsArray->Count() < 1)
        throw Exception("TPDFDictionary.LoadInlineStream: DecodeParms have wrong object type (1).");
      parms = parmsArray->GetItem(0);
    }
    if (parms && !dynamic_cast<TPDFNull*>(parms)) {
      parmsDictionary = dynamic_cast<TPDFDictionary*>(parms);
      if (!parmsDictionary) RaisePDFReadError(position, "object is of unexpected type");
    }
    TPDFBuffer output;
    int32_t endPos = position;
    FindStreamFilter(name->Name)
        .Decode(data, position, static_cast<int32_t>(size - position), endPos, nullptr, this, parmsDictionary, output);
    streamData_ = std::move(output);
    return endAtEI(endPos);
  }
  if (filterArray) {
    // A chain of filters (reportlab writes [/A85 /Fl] for every inline
    // image): the first reads the content and says where its data ends; the
    // others work on the output before them. Reading then goes on at "EI" as
    // after a single filter.
    auto* parmsArray = dynamic_cast<TPDFArray*>(parms);
    TPDFBuffer current;
    int32_t dataEnd = position;
    for (int32_t i = 0; i < filterArray->Count(); ++i) {
      auto* itemName = dynamic_cast<TPDFName*>(filterArray->GetItem(i));
      if (!itemName) RaisePDFReadError(position, "object is of unexpected type");
      TPDFBuffer output;
      int32_t endPos = 0;
      if (i == 0) {
        FindStreamFilter(itemName->Name)
            .Decode(data, position, static_cast<int32_t>(size - position), endPos, nullptr, this,
                    parmsAt(nullptr, parmsArray, i), output);
        dataEnd = endPos;
      } else {
        FindStreamFilter(itemName->Name)
            .Decode(current, 0, static_cast<int32_t>(current.size()), endPos, nullptr, this,
                    parmsAt(nullptr, parmsArray, i), output);
      }
      current = std::move(output);
    }
    streamData_ = std::move(current);
    return endAtEI(dataEnd);
  }
  throw Exception("TPDFDictionary.LoadInlineStream: Unknown way of passing decode info (1).");
}

// ---------------------------------------------------------------------------
// TPDFBufferStream

Int64 TPDFBufferStream::Read(void* buffer, Int64 count) {
  Int64 available = static_cast<Int64>(buffer_.size()) - position_;
  if (count <= 0 || available <= 0) return 0;
  Int64 n = std::min(count, available);
  std::copy_n(buffer_.data() + position_, n, static_cast<uint8_t*>(buffer));
  position_ += n;
  return n;
}

Int64 TPDFBufferStream::Write(const void* buffer, Int64 count) {
  if (count <= 0) return 0;
  if (position_ + count > MaxMemoryStreamSize) throw EStreamError("Out of memory while expanding memory stream");
  if (position_ + count > static_cast<Int64>(buffer_.size())) buffer_.resize(position_ + count);
  std::copy_n(static_cast<const uint8_t*>(buffer), count, buffer_.data() + position_);
  position_ += count;
  return count;
}

Int64 TPDFBufferStream::Seek(Int64 offset, TSeekOrigin origin) {
  Int64 size = static_cast<Int64>(buffer_.size());
  Int64 target = origin == soBeginning ? offset : origin == soCurrent ? position_ + offset : size - offset;
  position_ = std::clamp<Int64>(target, 0, size);
  return position_;
}

void TPDFBufferStream::SetSize(Int64 newSize) {
  if (newSize < 0) newSize = 0;
  if (newSize > MaxMemoryStreamSize) throw EStreamError("Out of memory while expanding memory stream");
  buffer_.resize(newSize);
  if (position_ > newSize) position_ = newSize;
}

// ---------------------------------------------------------------------------
// TPDFCollection

TPDFDictionary* TPDFCollection::GetCatalog() {
  TPDFDictionary* trailer = GetTrailer();
  Assert(trailer != nullptr, "TPDFCollection.GetCatalog: no trailer");
  return trailer->GetRequiredDictionary(this, "Root", "Catalog");
}

TPDFObject* TPDFCollection::ResolveReference(const TPDFReference& reference, const TPDFClassRef* expected) {
  TPDFObject* object = GetIndirectObj(reference.Number, reference.Generation);
  if (expected && !expected->IsInstance(object)) raiseWrongType(reference);
  return object;
}

void TPDFCollection::Warning(std::string_view text) { OutputDebugString(text); }

}  // namespace px
