#include "batch/report_output.hpp"

#include <unistd.h>

#include <cerrno>

namespace id3sniff {

bool WriteAll(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool ReportOutput::Add(std::string_view report) {
  if (pending_.size() + report.size() > kAtomicWrite && !Flush()) return false;
  // A report longer than a write that a pipe keeps whole goes alone.
  if (report.size() > kAtomicWrite) return WriteAll(report);
  pending_.append(report);
  return true;
}

bool ReportOutput::Flush() {
  const bool written = WriteAll(pending_);
  pending_.clear();
  return written;
}

}  // namespace id3sniff
