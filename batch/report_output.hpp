#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace id3sniff {

// A report up to this size leaves in one write, which a pipe never interleaves with another
// process's writes (PIPE_BUF on Linux).
inline constexpr std::size_t kAtomicWrite = 4096;

// Writes all of text to standard output; returns false when it cannot. A write that writes
// nothing is a failure too: trying again would loop for ever.
bool WriteAll(std::string_view text);

// Writes whole reports to standard output, several to a write where they fit in kAtomicWrite
// bytes, so that processes sharing a pipe (xargs -P) never mix their reports' lines.
class ReportOutput {
 public:
  ReportOutput() { pending_.reserve(kAtomicWrite); }

  // Adds a report; returns false when the output cannot be written.
  bool Add(std::string_view report);
  // Writes what was added and is not written yet; returns false when it cannot.
  bool Flush();

 private:
  std::string pending_;  // whole reports, at most kAtomicWrite bytes
};

}  // namespace id3sniff
