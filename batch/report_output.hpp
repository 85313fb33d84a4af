#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "batch/file_report.hpp"
#include "batch/progress.hpp"

namespace id3sniff {

// A report up to this size leaves in one write, which a pipe never interleaves with another
// process's writes (PIPE_BUF on Linux).
inline constexpr std::size_t kAtomicWrite = 4096;

// Writes all of text to standard output; returns false when it cannot. A write that writes
// nothing is a failure too: trying again would loop for ever.
bool WriteAll(std::string_view text);

// Where id3sniff-batch's reports go, in order: whole reports on standard output, several to a
// write where they fit in kAtomicWrite bytes (or each alone), so that processes sharing a pipe
// (xargs -P) never mix their reports' lines; a line naming each file that failed, and any other
// message, on standard error; the progress line counting them. Keeps the exit status.
class ReportOutput {
 public:
  ReportOutput(bool one_report_a_write, Progress& progress);

  // Adds the report of path; returns false when the output cannot be written.
  bool Add(std::string_view path, const FileReport& report);
  // Writes what was added and is not written yet; returns false when it cannot.
  bool Flush();
  // Writes a line on standard error, after the reports before it, and counts it a failure.
  void Warn(std::string_view line);
  // Returns the exit status so far.
  int status() const { return status_; }

 private:
  bool Write(std::string_view text);

  bool one_report_a_write_;
  Progress& progress_;
  bool mask_errors_;     // standard error is a terminal: its paths are masked as reports are
  std::string pending_;  // whole reports, at most kAtomicWrite bytes
  std::string line_;     // a message on its way to standard error
  int status_ = 0;
  bool broken_ = false;  // a write failed
};

}  // namespace id3sniff
