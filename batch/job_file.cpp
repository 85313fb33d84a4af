#include "batch/job_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace id3sniff {
namespace {

// Reads into buffer at offset what the page cache holds, never waiting on the device: the
// number of bytes, or -1 (EAGAIN where they are not in memory, EOPNOTSUPP where the file
// system cannot tell).
ssize_t ReadIfCached(int fd, std::uint8_t* buffer, std::size_t size, off_t offset) {
  iovec part = {buffer, size};
  ssize_t n = 0;
  do {
    n = preadv2(fd, &part, 1, offset, RWF_NOWAIT);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

JobFile::JobFile(const FileName& name, Waits& waits, bool try_memory) : waits_(waits) {
  if (try_memory) fd_ = OpenFileName(name, /*cached=*/true);
  if (!try_memory || (fd_ < 0 && errno == EAGAIN)) {
    Wait();
    fd_ = OpenFileName(name);
  }
  struct stat info;
  if (fd_ < 0 || fstat(fd_, &info) != 0) {
    error_ = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error_ = EISDIR;  // a folder opens, but it is no file to read
  } else {
    regular_ = S_ISREG(info.st_mode);
    size_ = regular_ ? static_cast<std::uint64_t>(info.st_size) : 0;
    // Without the advice a first read that misses the cache starts the readahead window, 32 KiB
    // or more, where a job needs 16.
    if (regular_) posix_fadvise(fd_, 0, 0, POSIX_FADV_RANDOM);
  }
}

JobFile::~JobFile() {
  if (fd_ >= 0) close(fd_);
  if (waiting_) waits_.End();
}

void JobFile::Wait() {
  if (!waiting_) waits_.Begin();
  waiting_ = true;
}

ssize_t JobFile::ReadAt(std::uint8_t* buffer, std::size_t size, off_t offset) {
  std::size_t got = 0;
  if (!waiting_) {
    // Fewer bytes are the end of the file only if a read after them finds nothing: the size
    // that fstat gives is not to be trusted (files in /proc say 0), and a file may be in
    // memory in part.
    const ssize_t n = ReadIfCached(fd_, buffer, size, offset);
    if (n == static_cast<ssize_t>(size)) return n;
    if (n >= 0 &&
        ReadIfCached(fd_, buffer + n, size - static_cast<std::size_t>(n), offset + n) == 0) {
      return n;
    }
    Wait();
  }
  while (got < size) {
    const ssize_t n = pread(fd_, buffer + got, size - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

ssize_t FileReader::Read(std::uint8_t* buffer, std::size_t size) {
  for (;;) {
    // Until a FIFO's writer has come, a read that does not wait would give its end.
    if (!regular_ && !WaitReadable(fd_, stop_)) break;
    const ssize_t n = read(fd_, buffer, size);
    if (n >= 0 || (errno != EAGAIN && errno != EINTR)) return n;
  }
  return -1;
}

}  // namespace id3sniff
