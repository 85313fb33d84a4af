#include "batch/cached_scan.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

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

// Opens path for reading when it is a regular file, without waiting. Only a path is opened to
// learn its type: a reader opened on a FIFO, even for a moment, would let its writer's open
// return, and the writer would then find no reader.
int OpenRegularIfCached(const char* path) {
  const int where = OpenCached(path, O_PATH | O_CLOEXEC);
  if (where < 0) return -1;
  struct stat info;
  const bool regular = fstat(where, &info) == 0 && S_ISREG(info.st_mode);
  close(where);
  // O_NONBLOCK in case it has become something else since.
  return regular ? OpenCached(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY) : -1;
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

bool ScanIfCached(const char* path, ScanState& state) {
  const int fd = OpenRegularIfCached(path);
  if (fd < 0) return false;
  // Without the advice a first read that misses the cache starts the readahead window, 32 KiB
  // or more, where the scan needs 16.
  posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  std::uint8_t* window = state.window.get();
  const ssize_t n = ReadIfCached(fd, window, kWindowSize, 0);
  // Fewer bytes are the end of the file only if a read after them finds nothing: the size that
  // fstat gives is not to be trusted (files in /proc say 0).
  const bool whole =
      n == static_cast<ssize_t>(kWindowSize) ||
      (n >= 0 && ReadIfCached(fd, window + n, kWindowSize - static_cast<std::size_t>(n), n) == 0);
  close(fd);
  if (whole) ScanWindow(static_cast<std::size_t>(n), state);
  return whole;
}

}  // namespace id3sniff
