#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/engine.hpp"
#include "batch/progress.hpp"
#include "report/line_writer.hpp"

namespace id3sniff {

// A report up to this size leaves in one write, which a pipe never interleaves with another
// process's writes (PIPE_BUF on Linux).
inline constexpr std::size_t kAtomicWrite = 4096;

// Writes all of text to fd; returns false when it cannot. A write that writes nothing is a
// failure too: trying again would loop for ever.
bool WriteAll(int fd, std::string_view text);

// Where id3sniff-batch's records go, in order: whole reports on out, several to a write where
// they fit in kAtomicWrite bytes (or each alone), so that processes sharing a pipe (xargs -P)
// never mix their reports' lines; a line for each failure on err, "PROGRAM: PATH: reason",
// masked as a terminal is shown where err is one; the progress line counting the files.
class ReportOutput final : public Sink {
 public:
  // What may follow a failure's line, once a run; empty for none.
  using Hint = std::function<std::string_view(const Record& record)>;

  ReportOutput(int out, int err, Destination err_destination, std::string_view program,
               Progress& progress, Hint hint = {});

  bool Put(const Record& record) override;
  bool Flush() override;
  // Returns true when a record failed.
  bool failed() const { return failed_; }

 private:
  bool Write(std::string_view text);

  int out_;
  int err_;
  Destination err_destination_;
  std::string_view program_;
  Progress& progress_;
  Hint hint_;
  std::vector<std::string_view> hinted_;  // the hints given
  std::string pending_;                   // whole reports, at most kAtomicWrite bytes
  std::string line_;                      // a message on its way to err
  bool failed_ = false;
  bool broken_ = false;  // a write failed
};

}  // namespace id3sniff
