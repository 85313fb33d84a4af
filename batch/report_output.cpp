#include "batch/report_output.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/command_line.hpp"
#include "report/line_writer.hpp"

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

ReportOutput::ReportOutput(bool one_report_a_write, Progress& progress)
    : one_report_a_write_(one_report_a_write),
      progress_(progress),
      mask_errors_(isatty(STDERR_FILENO) != 0) {
  pending_.reserve(kAtomicWrite);
}

bool ReportOutput::Add(std::string_view path, const FileReport& report) {
  if (report.failed) {
    // Standard error says which file, and why, where standard output says only that it failed.
    line_ = "id3sniff-batch: ";
    if (mask_errors_) {
      ShowOnTerminal(path, line_);
    } else {
      line_.append(path);
    }
    line_ += ": ";
    line_ += std::strerror(report.error);
    line_ += "\n";
    if (!Flush()) return false;
    Warn(line_);
  }
  progress_.Count(report.failed);
  const std::string_view text = report.text;
  if (pending_.size() + text.size() > kAtomicWrite && !Flush()) return false;
  // A report longer than a write that a pipe keeps whole goes alone.
  if (text.size() > kAtomicWrite) return Write(text);
  pending_.append(text);
  return !one_report_a_write_ || Flush();
}

bool ReportOutput::Flush() {
  const bool written = Write(pending_);
  pending_.clear();
  return written;
}

bool ReportOutput::Write(std::string_view text) {
  // Once a write has failed, nothing more is written: the output would have a hole.
  if (!broken_ && !WriteAll(text)) broken_ = true;
  return !broken_;
}

void ReportOutput::Warn(std::string_view line) {
  status_ = kExitFailure;
  progress_.Clear();
  Flush();  // a failure shows at the next write of a report
  // Standard error is unbuffered; a message that cannot be written has nowhere else to go.
  if (write(STDERR_FILENO, line.data(), line.size()) < 0) return;
}

}  // namespace id3sniff
