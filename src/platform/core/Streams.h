#pragma once
// Byte streams: the abstract TStream, files, memory buffers, strings, and the
// atomic save used for every file the program writes.
#include <bit>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/core/Types.h"

namespace px {

// Origins of Seek. Both spellings of the class library are accepted.
enum TSeekOrigin : int {
  soBeginning = 0,
  soCurrent = 1,
  soEnd = 2,
  soFromBeginning = soBeginning,
  soFromCurrent = soCurrent,
  soFromEnd = soEnd,
};

// Open modes of TFileStream. The share flags are accepted for compatibility;
// Linux has no mandatory share locks, so they have no effect.
constexpr Word fmCreate = 0xFF00;
constexpr Word fmOpenRead = 0x0000;
constexpr Word fmOpenWrite = 0x0001;
constexpr Word fmOpenReadWrite = 0x0002;
constexpr Word fmShareCompat = 0x0000;
constexpr Word fmShareExclusive = 0x0010;
constexpr Word fmShareDenyWrite = 0x0020;
constexpr Word fmShareDenyRead = 0x0030;
constexpr Word fmShareDenyNone = 0x0040;

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Transfer up to count bytes at the current position and return how many
  // were transferred (0 at the end or on failure; a negative count does nothing).
  virtual Int64 Read(void* buffer, Int64 count) = 0;
  virtual Int64 Write(const void* buffer, Int64 count) = 0;
  // Returns the new position. A target before the start raises EStreamError
  // "Invalid stream position"; positions past the end are allowed.
  virtual Int64 Seek(Int64 offset, TSeekOrigin origin) = 0;

  Int64 Position() { return Seek(0, soCurrent); }
  void SetPosition(Int64 position) { Seek(position, soBeginning); }
  virtual Int64 Size();
  virtual void SetSize(Int64 newSize);

  // Exact transfers: a short transfer raises EReadError "Stream read error" or
  // EWriteError "Stream write error".
  void ReadBuffer(void* buffer, Int64 count);
  void WriteBuffer(const void* buffer, Int64 count);
  void WriteBuffer(std::string_view bytes) { WriteBuffer(bytes.data(), static_cast<Int64>(bytes.size())); }

  // Reads count bytes that a file or peer announced. The count is checked
  // against the bytes left in the stream before anything is allocated, so a
  // corrupt length raises EReadError instead of exhausting memory.
  TBytes ReadBytes(Int64 count);

  // Copies count bytes from the source's current position; a count of 0 (or
  // less) copies the whole source from its start. Returns the bytes copied.
  Int64 CopyFrom(TStream& source, Int64 count);

  // Fixed-size little-endian values (integers, floating point, POD records).
  template <class T>
  T ReadValue() {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(std::endian::native == std::endian::little, "stream values are stored little-endian");
    T value;
    ReadBuffer(&value, sizeof value);
    return value;
  }
  template <class T>
  void WriteValue(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(std::endian::native == std::endian::little, "stream values are stored little-endian");
    WriteBuffer(&value, sizeof value);
  }

 protected:
  [[noreturn]] static void RaiseInvalidPosition();
};

// A file opened by path (UTF-8). fmCreate creates or truncates the file and
// opens it for reading and writing. Failures raise EFOpenError
// "Cannot open file \"<path>\". <system message>" or EFCreateError
// "Cannot create file \"<path>\". <system message>". Writes are not synced
// to disk; use TAtomicFileStream or SaveFileAtomically to replace a file.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, Word mode);
  TFileStream(const std::string& fileName, Word mode, Cardinal rights);
  ~TFileStream() override;

  Int64 Read(void* buffer, Int64 count) override;
  Int64 Write(const void* buffer, Int64 count) override;
  Int64 Seek(Int64 offset, TSeekOrigin origin) override;
  Int64 Size() override;
  void SetSize(Int64 newSize) override;

  const std::string& FileName() const { return fileName_; }
  int Handle() const { return fd_; }

 private:
  std::string fileName_;
  int fd_ = -1;
};

// Memory streams never grow beyond this size; a larger size or a write past
// it raises EStreamError "Out of memory while expanding memory stream".
constexpr Int64 MaxMemoryStreamSize = Int64(1) << 30;

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;

  Int64 Read(void* buffer, Int64 count) override;
  Int64 Write(const void* buffer, Int64 count) override;
  Int64 Seek(Int64 offset, TSeekOrigin origin) override;
  Int64 Size() override { return static_cast<Int64>(data_.size()); }
  // Growing fills with zero bytes; shrinking below the position moves the
  // position to the new end.
  void SetSize(Int64 newSize) override;

  Byte* Memory() { return data_.data(); }
  const Byte* Memory() const { return data_.data(); }
  void Clear();

  // Replaces the content with the whole source (read from its start); the
  // own position is kept (moved to the end when it would lie past it).
  void LoadFromStream(TStream& source);
  void LoadFromFile(const std::string& fileName);
  // Writes the whole content, whatever the position.
  void SaveToStream(TStream& destination);
  // Replaces the file atomically (see SaveFileAtomically).
  void SaveToFile(const std::string& fileName);

 protected:
  TBytes data_;
  Int64 position_ = 0;
};

class TBytesStream : public TMemoryStream {
 public:
  TBytesStream() = default;
  explicit TBytesStream(TBytes bytes);
  // The content (Size bytes).
  const TBytes& Bytes() const { return data_; }
};

// A memory stream over 8-bit text.
class TStringStream : public TMemoryStream {
 public:
  TStringStream() = default;
  explicit TStringStream(std::string_view text);
  // The whole content, whatever the position.
  std::string DataString() const { return std::string(data_.begin(), data_.end()); }
  // Reads up to count bytes from the position.
  std::string ReadString(Int64 count);
  void WriteString(std::string_view text) { WriteBuffer(text); }
};

// Replaces a file without ever leaving a partial one: the content goes to a
// new temporary file in the same folder, which is synced and renamed over the
// target by Commit. Destroying the stream without Commit removes the
// temporary file and leaves the old file as it was. A target that is a
// symbolic link is resolved, so the link stays and its file is replaced. The
// new file keeps the permission bits of the file it replaces.
class TAtomicFileStream : public TStream {
 public:
  explicit TAtomicFileStream(const std::string& fileName);
  ~TAtomicFileStream() override;

  Int64 Read(void* buffer, Int64 count) override;
  Int64 Write(const void* buffer, Int64 count) override;
  Int64 Seek(Int64 offset, TSeekOrigin origin) override;
  void SetSize(Int64 newSize) override;

  // Syncs, closes and renames; raises EFCreateError when that fails (the old
  // file then stays). Further writes are not allowed after a commit.
  void Commit();
  const std::string& FileName() const { return fileName_; }
  // The temporary file that Commit renames, for writers that take a name.
  const std::string& TemporaryFileName() const { return tempPath_; }

 private:
  void discard() noexcept;
  std::string fileName_;
  std::string targetPath_;
  std::string tempPath_;
  int fd_ = -1;
};

// Writes a file through TAtomicFileStream: the writer fills the stream; when
// it throws, the exception passes on, the temporary file is removed and the
// old file is untouched.
void SaveFileAtomically(const std::string& fileName, const std::function<void(TStream&)>& writer);

// The whole content of a file (bounded by MaxMemoryStreamSize); raises
// EFOpenError when it cannot be opened.
std::string ReadFileToString(const std::string& fileName);

}  // namespace px
