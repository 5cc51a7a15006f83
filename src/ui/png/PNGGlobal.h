#pragma once
// The PNG handler registry: one table per method byte of the PNG header
// (compression, filter, interlace). The reader looks the handlers of an image
// up here, so a method without a handler is refused with its own message.
#include <array>
#include <functional>
#include <memory>

#include "platform/core/Exceptions.h"
#include "platform/core/Types.h"

namespace px {

class TPNGFile;
class TPNGImageBuffer;
class TPNGInterlaceBuffer;

// Receives each block of output of a compressor or decompressor.
using TPNGDataEvent = std::function<void(const void* Buffer, Integer Count)>;

class IPNGCompressor {
 public:
  virtual ~IPNGCompressor() = default;
  // Feeds input; returns the input bytes consumed.
  virtual Integer Process(const void* Buffer, Integer Count) = 0;
  virtual void Finish() = 0;
  // 0 running, 1 end of the compressed stream reached, 2 finished.
  virtual Byte GetState() const = 0;
};

class IPNGCompressionHandler {
 public:
  virtual ~IPNGCompressionHandler() = default;
  virtual std::shared_ptr<IPNGCompressor> CreateDecompressor(TPNGDataEvent OnData) = 0;
};

class IPNGFilterHandler {
 public:
  virtual ~IPNGFilterHandler() = default;
  // Raw: the filter-type byte followed by RowBytes bytes; Previous: the
  // previous unfiltered row of the pass (all zero for its first row).
  virtual void UnfilterRow(const Byte* Raw, const Byte* Previous, Integer BytesPerPixel, Integer RowBytes,
                           Byte* Output) = 0;
};

class IPNGInterlaceHandler {
 public:
  virtual ~IPNGInterlaceHandler() = default;
  // The buffer of the first non-empty pass, or null.
  virtual std::unique_ptr<TPNGInterlaceBuffer> FirstPass(TPNGFile& File) = 0;
  // The buffer of the next non-empty pass after Current, or null; Current is freed.
  virtual std::unique_ptr<TPNGInterlaceBuffer> NextPass(TPNGFile& File,
                                                        std::unique_ptr<TPNGInterlaceBuffer> Current) = 0;
  // Places the row just unfiltered into Buffer.Current into the image.
  virtual void StoreRow(TPNGFile& File, TPNGImageBuffer& Image, TPNGInterlaceBuffer& Buffer) = 0;
};

class TPNGGlobal {
 public:
  void AddCompressionHandler(std::shared_ptr<IPNGCompressionHandler> Handler, Byte ID);
  void AddFilterHandler(std::shared_ptr<IPNGFilterHandler> Handler, Byte ID);
  void AddInterlaceHandler(std::shared_ptr<IPNGInterlaceHandler> Handler, Byte ID);
  std::shared_ptr<IPNGCompressionHandler> GetCompressionHandler(Byte ID) const;
  std::shared_ptr<IPNGFilterHandler> GetFilterHandler(Byte ID) const;
  std::shared_ptr<IPNGInterlaceHandler> GetInterlaceHandler(Byte ID) const;

 private:
  std::array<std::shared_ptr<IPNGCompressionHandler>, 256> compression_;
  std::array<std::shared_ptr<IPNGFilterHandler>, 256> filters_;
  std::array<std::shared_ptr<IPNGInterlaceHandler>, 256> interlaces_;
};

// The registry, made on first call. Our own handlers (zlib compression 0,
// filter method 0, interlace methods 0 and 1) are registered when it is made:
// static registration from each handler's file would be dropped by the linker
// from a static library that nobody references.
TPNGGlobal& GetPNGGlobal();

}  // namespace px
