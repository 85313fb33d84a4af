#include "batch/progress.hpp"

#include <unistd.h>

#include <cstdio>

namespace id3sniff {
namespace {

constexpr std::chrono::milliseconds kInterval{100};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

Progress::Progress(bool on, int fd, std::string_view program)
    : on_(on),
      fd_(fd),
      program_(program),
      start_(std::chrono::steady_clock::now()),
      next_(start_ + kInterval) {}

void Progress::Count(bool failed) {
  ++done_;
  if (failed) ++failed_;
  // A clock read per file costs nothing next to a file's open and read.
  if (!on_ || std::chrono::steady_clock::now() < next_) return;
  next_ = std::chrono::steady_clock::now() + kInterval;
  char line[128];
  std::snprintf(line, sizeof line, ": %zu files, %zu failed, %.0f files/s", done_, failed_,
                static_cast<double>(done_) / SecondsSince(start_));
  Write(std::string(program_) + line);
}

void Progress::Clear() {
  if (!on_ || shown_.load() == 0) return;
  Write("");
  next_ = std::chrono::steady_clock::time_point{};
}

void Progress::Finish() {
  if (!on_) return;
  char line[128];
  std::snprintf(line, sizeof line, ": %zu files, %zu could not be read, %.1f s", done_, failed_,
                SecondsSince(start_));
  Write(std::string(program_) + line);
  shown_.store(0);
  if (write(fd_, "\n", 1) < 0) on_ = false;
}

// Writes line over the one shown, padding with spaces to its width and going back after.
void Progress::Write(const std::string& line) {
  const std::size_t shown = shown_.load();
  std::string out = "\r" + line;
  if (line.size() < shown) out += std::string(shown - line.size(), ' ') + "\r" + line;
  shown_.store(line.size());
  // The line is a courtesy: a failed write changes nothing else.
  if (write(fd_, out.data(), out.size()) < 0) on_ = false;
}

}  // namespace id3sniff
