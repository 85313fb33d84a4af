#include "batch/report_output.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace id3sniff {

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

ReportOutput::ReportOutput(int out, int err, Destination err_destination, std::string_view program,
                           Progress& progress, Hint hint)
    : out_(out),
      err_(err),
      err_destination_(err_destination),
      program_(program),
      progress_(progress),
      hint_(std::move(hint)) {
  pending_.reserve(kAtomicWrite);
}

bool ReportOutput::Put(const Record& record) {
  if (record.failed) {
    failed_ = true;
    // The reports before the message go out first, and the progress line makes way for it.
    if (!Flush()) return false;
    line_.clear();
    AppendMessageLine(line_, program_, record.names_path ? &record.path : nullptr, record.reason,
                      err_destination_);
    const std::string_view hint = hint_ ? hint_(record) : std::string_view();
    if (!hint.empty() && std::find(hinted_.begin(), hinted_.end(), hint) == hinted_.end()) {
      hinted_.push_back(hint);
      AppendMessageLine(line_, program_, nullptr, hint, err_destination_);
    }
    progress_.Clear();
    // A message that cannot be written has nowhere else to go: the reports go on.
    WriteAll(err_, line_);
  }
  if (record.text.empty()) return true;  // a message from the walk or the list, no file
  progress_.Count(record.failed);
  const std::string_view text = record.text;
  if (pending_.size() + text.size() > kAtomicWrite && !Flush()) return false;
  // A report longer than a write that a pipe keeps whole goes alone.
  if (text.size() > kAtomicWrite) return Write(text);
  pending_.append(text);
  return true;
}

bool ReportOutput::Flush() {
  const bool written = Write(pending_);
  pending_.clear();
  return written;
}

bool ReportOutput::Write(std::string_view text) {
  // Once a write has failed, nothing more is written: the output would have a hole.
  if (!broken_ && !WriteAll(out_, text)) broken_ = true;
  return !broken_;
}

}  // namespace id3sniff
