#include "ui/png/PNGCompressionZLib.h"

#include <zlib.h>

#include <vector>

namespace px {
namespace {

const char* const decompressionError = "PNGFile: Error with ZLib decompression";

class TPNGZLibDecompressor : public IPNGCompressor {
 public:
  explicit TPNGZLibDecompressor(TPNGDataEvent onData) : onData_(std::move(onData)), buffer_(PNGZLibBufferSize) {
    if (!onData_) throw EPNGException(decompressionError);
    if (inflateInit(&stream_) != Z_OK) throw EPNGException(decompressionError);
    initialised_ = true;
    resetOutput();
  }

  ~TPNGZLibDecompressor() override {
    if (initialised_) inflateEnd(&stream_);
  }

  TPNGZLibDecompressor(const TPNGZLibDecompressor&) = delete;
  TPNGZLibDecompressor& operator=(const TPNGZLibDecompressor&) = delete;

  Integer Process(const void* Buffer, Integer Count) override {
    if (state_ == 2) throw EPNGException(decompressionError);
    if (Count <= 0 || state_ != 0) return 0;
    stream_.next_in = static_cast<Bytef*>(const_cast<void*>(Buffer));
    stream_.avail_in = static_cast<uInt>(Count);
    while (stream_.avail_in > 0 && state_ == 0) {
      int result = inflate(&stream_, Z_NO_FLUSH);
      bool outputFull = stream_.avail_out == 0;
      if (outputFull) {
        onData_(buffer_.data(), PNGZLibBufferSize);
        resetOutput();
      }
      if (result == Z_STREAM_END) {
        state_ = 1;
      } else if (result == Z_BUF_ERROR) {
        // No progress was possible: go round again only when that was for
        // want of output space, which has just been made.
        if (!outputFull) break;
      } else if (result != Z_OK) {
        throw EPNGException(decompressionError);
      }
    }
    // Hand on what this input gave at once, so that a stream cut off before
    // its end still shows every row that arrived.
    deliverPending();
    Integer consumed = Count - static_cast<Integer>(stream_.avail_in);
    stream_.next_in = nullptr;
    stream_.avail_in = 0;
    return consumed;
  }

  void Finish() override {
    if (state_ == 2) return;
    bool reachedEnd = state_ == 1;
    state_ = 2;
    inflateEnd(&stream_);
    initialised_ = false;
    deliverPending();
    if (!reachedEnd) throw EPNGException("PNGFile: EOF not found in ZLib decompression");
  }

  Byte GetState() const override { return state_; }

 private:
  void resetOutput() {
    stream_.next_out = buffer_.data();
    stream_.avail_out = PNGZLibBufferSize;
  }

  void deliverPending() {
    Integer filled = PNGZLibBufferSize - static_cast<Integer>(stream_.avail_out);
    if (filled > 0) {
      resetOutput();
      onData_(buffer_.data(), filled);
    }
  }

  TPNGDataEvent onData_;
  std::vector<Byte> buffer_;
  z_stream stream_{};
  bool initialised_ = false;
  Byte state_ = 0;
};

}  // namespace

std::shared_ptr<IPNGCompressor> TPNGZLibHandler::CreateDecompressor(TPNGDataEvent OnData) {
  return std::make_shared<TPNGZLibDecompressor>(std::move(OnData));
}

}  // namespace px
