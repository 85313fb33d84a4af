#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace id3sniff {

// One status line on a terminal, rewritten at most ten times a second: files done, files
// failed, files per second; at the end replaced by a summary line. Does nothing when off.
class Progress {
 public:
  Progress(bool on, int fd, std::string_view program);

  // Counts a file written, and rewrites the line if it is time.
  void Count(bool failed);
  // Removes the line, so that a message can take its place; the next count writes it again.
  void Clear();
  // Replaces the line by the summary.
  void Finish();
  // The width of the line on the screen, 0 when none: what a signal handler must blank.
  const std::atomic<std::size_t>& shown() const { return shown_; }

 private:
  void Write(const std::string& line);

  bool on_;
  int fd_;
  std::string_view program_;
  std::size_t done_ = 0;
  std::size_t failed_ = 0;
  std::atomic<std::size_t> shown_{0};
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point next_;  // when the line may be rewritten
};

}  // namespace id3sniff
