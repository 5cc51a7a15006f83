#pragma once
// Stream filters: each filter of the PDF standard that the library reads is
// one object in a process-wide registry under its full and its short name.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/UnitPDFParser.h"

namespace px {

PX_DECLARE_EXCEPTION(EZLibError, Exception);
PX_DECLARE_EXCEPTION(ECompressionError, EZLibError);
PX_DECLARE_EXCEPTION(EDecompressionError, EZLibError);

// No filter produces more than this many bytes, so that a small stream cannot
// expand into an allocation the machine cannot hold.
constexpr int64_t MaxDecodedStreamSize = int64_t(256) << 20;

class TPDFStreamFilter {
 public:
  virtual ~TPDFStreamFilter() = default;
  // Decodes length bytes of data from start into output (sized exactly);
  // endPos receives the index behind the last encoded byte consumed.
  virtual void Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos,
                      TPDFCollection* collection, TPDFDictionary* stream, TPDFDictionary* decodeParms,
                      TPDFBuffer& output) = 0;
  virtual void Encode(const TPDFBuffer& data, TPDFBuffer& output) = 0;
};

// Flate and LZW: the PNG and TIFF predictors applied after decompression.
class TPDFSCPredicter : public TPDFStreamFilter {
 protected:
  static void ApplyPredictor(TPDFCollection* collection, TPDFDictionary* decodeParms, TPDFBuffer& output);
};

class TPDFSCBase16 : public TPDFStreamFilter {
 public:
  void Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection* collection,
              TPDFDictionary* stream, TPDFDictionary* decodeParms, TPDFBuffer& output) override;
  void Encode(const TPDFBuffer& data, TPDFBuffer& output) override;
};

class TPDFSCBase85 : public TPDFStreamFilter {
 public:
  void Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection* collection,
              TPDFDictionary* stream, TPDFDictionary* decodeParms, TPDFBuffer& output) override;
  void Encode(const TPDFBuffer& data, TPDFBuffer& output) override;
};

class TPDFSCFlate : public TPDFSCPredicter {
 public:
  void Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection* collection,
              TPDFDictionary* stream, TPDFDictionary* decodeParms, TPDFBuffer& output) override;
  void Encode(const TPDFBuffer& data, TPDFBuffer& output) override;
};

// True when a Flate encoding of these bytes is kept from an earlier one, so
// that encoding them again costs next to nothing.
bool PDFFlateEncodingKept(const TPDFBuffer& data);

class TPDFSCLZW : public TPDFSCPredicter {
 public:
  void Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection* collection,
              TPDFDictionary* stream, TPDFDictionary* decodeParms, TPDFBuffer& output) override;
  void Encode(const TPDFBuffer& data, TPDFBuffer& output) override;
};

class TPDFSCCCITT : public TPDFStreamFilter {
 public:
  void Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection* collection,
              TPDFDictionary* stream, TPDFDictionary* decodeParms, TPDFBuffer& output) override;
  void Encode(const TPDFBuffer& data, TPDFBuffer& output) override;
};

class TPDFSCRunLength : public TPDFStreamFilter {
 public:
  void Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection* collection,
              TPDFDictionary* stream, TPDFDictionary* decodeParms, TPDFBuffer& output) override;
  void Encode(const TPDFBuffer& data, TPDFBuffer& output) override;
};

// A JPEG image decoded through libjpeg: grey images give one byte a pixel,
// all others three (RGB; CMYK and YCCK are converted), rows top down.
struct TJPEGImage {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Components = 0;
  // Pixels that could not be decoded were left 0 (the size stays right).
  bool Damaged = false;
  TPDFBuffer Samples;
};

// Decodes length bytes of JPEG data. Raises EPDFException "JPEG error: ..."
// when the header cannot be read, libjpeg runs out of the memory allowed, or
// the image holds more samples than a filter may produce or more than
// maxPixels pixels; nothing is allocated for the pixels before that check.
// The decoder of DCTDecode streams and of the report's logo.
void DecodeJPEG(const uint8_t* data, size_t length, TJPEGImage& image, int64_t maxPixels = INT64_MAX);

// JPEG through libjpeg (DecodeJPEG); pixels that cannot be decoded are left
// blank, with the image's size.
class TPDFSCJPeg : public TPDFStreamFilter {
 public:
  void Decode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFCollection* collection,
              TPDFDictionary* stream, TPDFDictionary* decodeParms, TPDFBuffer& output) override;
  void Encode(const TPDFBuffer& data, TPDFBuffer& output) override;
};

// Appends a filter under a name (the fourteen standard names are registered
// before the first lookup).
void RegisterStreamFilter(std::string name, std::unique_ptr<TPDFStreamFilter> filter);
// The filter registered under exactly this name; raises Exception
// "Stream enfilter/defilter not found: <name>" when there is none.
TPDFStreamFilter& FindStreamFilter(std::string_view name);

}  // namespace px
