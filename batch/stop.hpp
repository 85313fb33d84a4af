#pragma once

#include <atomic>

namespace id3sniff {

// A run's stop: a flag that threads test between steps, and a descriptor that becomes readable
// when it is set, so that a wait in poll (a FIFO's bytes, a list's next name) ends at once.
class Stop {
 public:
  Stop();
  ~Stop();
  Stop(const Stop&) = delete;
  Stop& operator=(const Stop&) = delete;

  void Set();
  bool IsSet() const { return set_.load(std::memory_order_acquire); }
  // Readable once the stop is set; -1 when no eventfd could be had (then waits are not cut).
  int fd() const { return fd_; }

 private:
  std::atomic<bool> set_{false};
  int fd_;
};

// Waits until fd is readable (or at its end), or the stop is set; returns false for the stop,
// with errno ECANCELED, or for a failed poll.
bool WaitReadable(int fd, const Stop& stop);

}  // namespace id3sniff
