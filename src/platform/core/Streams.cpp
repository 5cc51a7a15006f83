#include "platform/core/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/core/Exceptions.h"

namespace px {

namespace {

std::string systemMessage(int error) { return std::system_category().message(error); }

[[noreturn]] void raiseOpenError(const std::string& fileName, int error) {
  throw EFOpenError("Cannot open file \"" + fileName + "\". " + systemMessage(error));
}

[[noreturn]] void raiseCreateError(const std::string& fileName, int error) {
  throw EFCreateError("Cannot create file \"" + fileName + "\". " + systemMessage(error));
}

// Full transfers through read(2)/write(2), retried on interruption and on
// partial transfers. Returns the bytes moved before the end or an error.
template <class Transfer>
Int64 transferAll(Int64 count, Transfer transfer) {
  Int64 done = 0;
  while (done < count) {
    ssize_t n = transfer(done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

Int64 readFd(int fd, void* buffer, Int64 count) {
  return transferAll(count, [&](Int64 done, size_t n) { return ::read(fd, static_cast<char*>(buffer) + done, n); });
}

Int64 writeFd(int fd, const void* buffer, Int64 count) {
  return transferAll(count,
                     [&](Int64 done, size_t n) { return ::write(fd, static_cast<const char*>(buffer) + done, n); });
}

Int64 seekFd(int fd, Int64 offset, TSeekOrigin origin) {
  int whence = origin == soCurrent ? SEEK_CUR : origin == soEnd ? SEEK_END : SEEK_SET;
  off_t result = ::lseek(fd, static_cast<off_t>(offset), whence);
  if (result < 0) throw EStreamError("Invalid stream position");
  return static_cast<Int64>(result);
}

void truncateFd(int fd, Int64 newSize) {
  if (newSize < 0) throw EStreamError("Invalid stream position");
  Int64 position = seekFd(fd, 0, soCurrent);
  if (::ftruncate(fd, static_cast<off_t>(newSize)) != 0) RaiseLastOSError();
  if (position > newSize) seekFd(fd, newSize, soBeginning);
}

}  // namespace

// ---------------------------------------------------------------- TStream

void TStream::RaiseInvalidPosition() { throw EStreamError("Invalid stream position"); }

Int64 TStream::Size() {
  Int64 position = Seek(0, soCurrent);
  Int64 size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TStream::SetSize(Int64) { throw EStreamError("Stream does not support setting its size"); }

void TStream::ReadBuffer(void* buffer, Int64 count) {
  if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, Int64 count) {
  if (count < 0 || (count != 0 && Write(buffer, count) != count)) throw EWriteError("Stream write error");
}

TBytes TStream::ReadBytes(Int64 count) {
  if (count < 0 || count > Size() - Position()) throw EReadError("Stream read error");
  TBytes bytes(static_cast<size_t>(count));
  ReadBuffer(bytes.data(), count);
  return bytes;
}

Int64 TStream::CopyFrom(TStream& source, Int64 count) {
  if (count <= 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr Int64 chunk = 64 * 1024;
  std::vector<char> buffer(static_cast<size_t>(std::min(count, chunk)));
  Int64 left = count;
  while (left > 0) {
    Int64 n = std::min(left, chunk);
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return count;
}

// ---------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const std::string& fileName, Word mode) : fileName_(fileName) {
  if ((mode & fmCreate) == fmCreate) {
    fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) raiseCreateError(fileName, errno);
  } else {
    int access = mode & 0x3;
    int flags = access == fmOpenWrite ? O_WRONLY : access == fmOpenReadWrite ? O_RDWR : O_RDONLY;
    fd_ = ::open(fileName.c_str(), flags | O_CLOEXEC);
    if (fd_ < 0) raiseOpenError(fileName, errno);
  }
  // open(2) accepts a folder for reading; it is not a file to stream.
  struct stat info;
  if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    if ((mode & fmCreate) == fmCreate) raiseCreateError(fileName, EISDIR);
    raiseOpenError(fileName, EISDIR);
  }
}

TFileStream::TFileStream(const std::string& fileName, Word mode, Cardinal) : TFileStream(fileName, mode) {}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

Int64 TFileStream::Read(void* buffer, Int64 count) { return readFd(fd_, buffer, count); }
Int64 TFileStream::Write(const void* buffer, Int64 count) { return writeFd(fd_, buffer, count); }
Int64 TFileStream::Seek(Int64 offset, TSeekOrigin origin) { return seekFd(fd_, offset, origin); }

Int64 TFileStream::Size() {
  struct stat info;
  if (::fstat(fd_, &info) != 0) RaiseLastOSError();
  return static_cast<Int64>(info.st_size);
}

void TFileStream::SetSize(Int64 newSize) { truncateFd(fd_, newSize); }

// ---------------------------------------------------------------- TMemoryStream

Int64 TMemoryStream::Read(void* buffer, Int64 count) {
  Int64 size = Size();
  if (count <= 0 || position_ >= size) return 0;
  Int64 n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

Int64 TMemoryStream::Write(const void* buffer, Int64 count) {
  if (count <= 0) return 0;
  if (count > MaxMemoryStreamSize - position_) throw EStreamError("Out of memory while expanding memory stream");
  Int64 end = position_ + count;
  if (end > Size()) {
    // Geometric growth keeps a series of small writes linear.
    if (static_cast<size_t>(end) > data_.capacity())
      data_.reserve(std::max(static_cast<size_t>(end),
                             std::min(data_.capacity() * 2, static_cast<size_t>(MaxMemoryStreamSize))));
    data_.resize(static_cast<size_t>(end));
  }
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

Int64 TMemoryStream::Seek(Int64 offset, TSeekOrigin origin) {
  Int64 base = origin == soCurrent ? position_ : origin == soEnd ? Size() : 0;
  if ((offset < 0 && base + offset < 0) || (offset > 0 && offset > MaxMemoryStreamSize - base))
    RaiseInvalidPosition();
  position_ = base + offset;
  return position_;
}

void TMemoryStream::SetSize(Int64 newSize) {
  if (newSize < 0) RaiseInvalidPosition();
  if (newSize > MaxMemoryStreamSize) throw EStreamError("Out of memory while expanding memory stream");
  data_.resize(static_cast<size_t>(newSize));
  if (position_ > newSize) position_ = newSize;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  Int64 count = source.Size();
  SetSize(count);
  source.ReadBuffer(data_.data(), count);
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& destination) { destination.WriteBuffer(data_.data(), Size()); }

void TMemoryStream::SaveToFile(const std::string& fileName) {
  SaveFileAtomically(fileName, [this](TStream& file) { SaveToStream(file); });
}

TBytesStream::TBytesStream(TBytes bytes) {
  if (static_cast<Int64>(bytes.size()) > MaxMemoryStreamSize)
    throw EStreamError("Out of memory while expanding memory stream");
  data_ = std::move(bytes);
}

TStringStream::TStringStream(std::string_view text) {
  WriteBuffer(text);
  position_ = 0;
}

std::string TStringStream::ReadString(Int64 count) {
  Int64 n = std::clamp<Int64>(Size() - position_, 0, std::max<Int64>(count, 0));
  std::string text(reinterpret_cast<const char*>(data_.data()) + (n > 0 ? position_ : 0), static_cast<size_t>(n));
  position_ += n;
  return text;
}

// ---------------------------------------------------------------- atomic saves

TAtomicFileStream::TAtomicFileStream(const std::string& fileName) : fileName_(fileName), targetPath_(fileName) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_symlink(fs::path(fileName), ec)) {
    fs::path resolved = fs::weakly_canonical(fs::path(fileName), ec);
    if (!ec) targetPath_ = resolved.string();
  }
  struct stat old;
  mode_t mode = 0666;
  bool replacing = ::stat(targetPath_.c_str(), &old) == 0;
  if (replacing) {
    if (S_ISDIR(old.st_mode)) raiseCreateError(fileName, EISDIR);
    mode = old.st_mode & 07777;
  }
  // A fresh name beside the target, so that the rename stays on one file system.
  std::random_device seed;
  std::mt19937 random(seed());
  static constexpr char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string suffix = ".tmp";
    for (int i = 0; i < 8; ++i) suffix += digits[random() % (sizeof digits - 1)];
    tempPath_ = targetPath_ + suffix;
    fd_ = ::open(tempPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) raiseCreateError(fileName, errno);
  }
  if (fd_ < 0) raiseCreateError(fileName, EEXIST);
  // The umask applied to a new file; a replaced file keeps its own bits.
  if (replacing) (void)::fchmod(fd_, mode);
}

TAtomicFileStream::~TAtomicFileStream() { discard(); }

void TAtomicFileStream::discard() noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(tempPath_.c_str());
  }
}

Int64 TAtomicFileStream::Read(void* buffer, Int64 count) { return fd_ < 0 ? 0 : readFd(fd_, buffer, count); }
Int64 TAtomicFileStream::Write(const void* buffer, Int64 count) {
  if (fd_ < 0) return 0;
  errno = 0;
  const Int64 done = writeFd(fd_, buffer, count);
  // A save that cannot be written whole is mostly a full disk or a quota:
  // the user learns which file failed and why, not only that a stream did.
  if (done < count) raiseCreateError(fileName_, errno != 0 ? errno : EIO);
  return done;
}

Int64 TAtomicFileStream::Seek(Int64 offset, TSeekOrigin origin) {
  if (fd_ < 0) RaiseInvalidPosition();
  return seekFd(fd_, offset, origin);
}

void TAtomicFileStream::SetSize(Int64 newSize) {
  if (fd_ < 0) throw EWriteError("Stream write error");
  truncateFd(fd_, newSize);
}

void TAtomicFileStream::Commit() {
  if (fd_ < 0) throw EWriteError("Stream write error");
  int error = 0;
  if (::fsync(fd_) != 0) error = errno;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error == 0 && ::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(tempPath_.c_str());
    raiseCreateError(fileName_, error);
  }
  // Make the rename itself durable.
  std::string folder = std::filesystem::path(targetPath_).parent_path().string();
  int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
}

void SaveFileAtomically(const std::string& fileName, const std::function<void(TStream&)>& writer) {
  TAtomicFileStream file(fileName);
  writer(file);
  file.Commit();
}

std::string ReadFileToString(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  Int64 size = file.Size();
  if (size > MaxMemoryStreamSize) throw EStreamError("Out of memory while expanding memory stream");
  std::string bytes(static_cast<size_t>(size), '\0');
  // A file that shrinks meanwhile gives what is there.
  bytes.resize(static_cast<size_t>(file.Read(bytes.data(), size)));
  return bytes;
}

}  // namespace px
