#pragma once
// A full disk for one test, without mounting anything: while this object
// lives, no file of this process may grow beyond the given size. A write past
// it fails with EFBIG (the signal the kernel would send is ignored meanwhile),
// as a write on a full disk fails with ENOSPC. Both are restored at the end.
#include <sys/resource.h>

#include <csignal>

namespace px::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

}  // namespace px::test
