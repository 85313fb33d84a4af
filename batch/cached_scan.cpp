#include "batch/cached_scan.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace id3sniff {
namespace {

// Kernels before 5.12 (or a filter) may lack openat2 or RESOLVE_CACHED; then plain calls are
// the try, which may wait on the inode but never on the data.
std::atomic<bool> resolve_cached_missing{false};

// Opens path with flags, failing with EAGAIN where its name or inode would be read from a device.
int OpenCached(const char* path, int flags) {
#ifdef SYS_openat2
  if (!resolve_cached_missing.load(std::memory_order_relaxed)) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_CACHED;
    const long fd = syscall(SYS_openat2, AT_FDCWD, path, &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EINVAL && errno != EPERM)) {
      return static_cast<int>(fd);
    }
    resolve_cached_missing.store(true, std::memory_order_relaxed);
  }
#endif
  return open(path, flags);
}

// Reads into buffer at offset what the page cache holds, never waiting on the device: the
// number of bytes, or -1 (EAGAIN when the bytes are not in memory).
ssize_t ReadIfCached(int fd, std::uint8_t* buffer, std::size_t size, off_t offset) {
  iovec part = {buffer, size};
  ssize_t n = 0;
  do {
    n = preadv2(fd, &part, 1, offset, RWF_NOWAIT);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

CachedFile::CachedFile(const char* path)
    : path_(path), fd_(OpenCached(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)) {}

CachedFile::~CachedFile() {
  if (fd_ >= 0) close(fd_);
}

bool CachedFile::ScanFromMemory(ScanState& state) {
  if (fd_ < 0) return false;
  struct stat info;
  const bool known = fstat(fd_, &info) == 0;
  regular_ = known && S_ISREG(info.st_mode);
  fifo_ = known && S_ISFIFO(info.st_mode);
  if (!regular_) return false;
  // Without the advice a first read that misses the cache starts the readahead window, 32 KiB
  // or more, where the scan needs 16.
  posix_fadvise(fd_, 0, 0, POSIX_FADV_RANDOM);
  std::uint8_t* window = state.window.get();
  const ssize_t n = ReadIfCached(fd_, window, kWindowSize, 0);
  // Fewer bytes are the end of the file only if a read after them finds nothing: the size that
  // fstat gives is not to be trusted (files in /proc say 0).
  const bool whole =
      n == static_cast<ssize_t>(kWindowSize) ||
      (n >= 0 && ReadIfCached(fd_, window + n, kWindowSize - static_cast<std::size_t>(n), n) == 0);
  if (!whole) return false;
  close(fd_);
  fd_ = -1;
  ScanWindow(static_cast<std::size_t>(n), state);
  return true;
}

FileScan CachedFile::ScanWaiting(ScanState& state, ReadOptions options) {
  if (fd_ < 0) return ScanFile(path_, state, options);
  int fd = fd_;
  fd_ = -1;
  if (regular_) {
    // Reads from here on wait; preadv2 has left the offset at the start.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  } else if (fifo_) {
    // A FIFO opened without waiting reads as empty while it has no writer, and opened again it
    // would wait for a writer that may have come and gone: it is read from here, each read
    // polled first, which waits as a read after a waiting open does.
    options.wait_readable = true;
  } else {
    // Anything else (a device) is opened again as ScanFile opens it.
    const int waited = OpenForScan(path_, options);
    if (waited < 0) {
      if (options.error != nullptr) *options.error = errno;
      close(fd);
      return FileScan::CannotOpen;
    }
    close(fd);
    fd = waited;
  }
  return ScanOpenFile(fd, state, options);
}

}  // namespace id3sniff
