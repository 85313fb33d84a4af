#include "batch/file_name.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace id3sniff {
namespace {

constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Kernels before 5.6, and valgrind, have no openat2; before 5.12 it knows no RESOLVE_CACHED.
std::atomic<bool> openat2_missing{false};
std::atomic<bool> resolve_cached_missing{false};

// Opens path from at with openat2 and resolve; returns the descriptor, -1 with errno set, or -2
// where openat2 or the resolve flag is missing.
int OpenAt2(int at, const char* path, std::uint64_t resolve) {
#ifdef SYS_openat2
  const bool cached = (resolve & RESOLVE_CACHED) != 0;
  if (openat2_missing.load(std::memory_order_relaxed) ||
      (cached && resolve_cached_missing.load(std::memory_order_relaxed))) {
    return -2;
  }
  open_how how{};
  how.flags = static_cast<std::uint64_t>(kOpenFlags);
  how.resolve = resolve;
  const long fd = syscall(SYS_openat2, at, path, &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != EINVAL)) {
    return static_cast<int>(fd);
  }
  (errno == EINVAL && cached ? resolve_cached_missing : openat2_missing)
      .store(true, std::memory_order_relaxed);
#endif
  return -2;
}

// Opens relative beneath the folder at at, following no symbolic link on the way; -1 on failure.
int OpenBeneath(int at, const char* relative, bool cached) {
  constexpr std::uint64_t kBeneath = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
  int fd = cached ? OpenAt2(at, relative, kBeneath | RESOLVE_CACHED) : -2;
  if (fd == -2) fd = OpenAt2(at, relative, kBeneath);
  if (fd != -2) return fd;
  std::string part;
  int folder = at;
  const char* rest = relative;
  for (const char* slash; (slash = std::strchr(rest, '/')) != nullptr; rest = slash + 1) {
    part.assign(rest, slash);
    const int next = openat(folder, part.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY | O_NOFOLLOW);
    if (folder != at) close(folder);
    if (next < 0) return -1;
    folder = next;
  }
  fd = openat(folder, rest, kOpenFlags | O_NOFOLLOW);
  const int error = errno;
  if (folder != at) close(folder);
  errno = error;
  return fd;
}

}  // namespace

Folder::~Folder() { close(fd_); }

int OpenFileName(const FileName& name, bool cached) {
  if (name.root != nullptr) {
    return OpenBeneath(name.root->fd(), name.path.c_str() + name.beneath, cached);
  }
  if (cached) {
    const int fd = OpenAt2(AT_FDCWD, name.path.c_str(), RESOLVE_CACHED);
    if (fd != -2) return fd;
  }
  return open(name.path.c_str(), kOpenFlags);
}

}  // namespace id3sniff
