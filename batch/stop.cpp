#include "batch/stop.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace id3sniff {

Stop::Stop() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Stop::~Stop() {
  if (fd_ >= 0) close(fd_);
}

void Stop::Set() {
  set_.store(true, std::memory_order_release);
  const std::uint64_t one = 1;
  // The counter cannot overflow with one write a run; a failed write leaves the flag.
  if (fd_ >= 0 && write(fd_, &one, sizeof one) < 0) return;
}

bool WaitReadable(int fd, const Stop& stop) {
  for (;;) {
    if (stop.IsSet()) {
      errno = ECANCELED;
      return false;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop.fd(), POLLIN, 0}};
    const int n = poll(fds, stop.fd() >= 0 ? 2 : 1, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

}  // namespace id3sniff
