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

// Kernels before 5.6, and valgrind, have no openat2: then the path is opened one folder at a
// time.
std::atomic<bool> openat2_missing{false};

// Opens relative beneath the folder at at, following no symbolic link on the way; -1 on failure.
int OpenBeneath(int at, const char* relative) {
#ifdef SYS_openat2
  if (!openat2_missing.load(std::memory_order_relaxed)) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(kOpenFlags);
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
    const long fd = syscall(SYS_openat2, at, relative, &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
    openat2_missing.store(true, std::memory_order_relaxed);
  }
#endif
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
  const int fd = openat(folder, rest, kOpenFlags | O_NOFOLLOW);
  const int error = errno;
  if (folder != at) close(folder);
  errno = error;
  return fd;
}

}  // namespace

Folder::~Folder() { close(fd_); }

int OpenFileName(const FileName& name) {
  if (name.root == nullptr) return open(name.path.c_str(), kOpenFlags);
  return OpenBeneath(name.root->fd(), name.path.c_str() + name.beneath);
}

}  // namespace id3sniff
