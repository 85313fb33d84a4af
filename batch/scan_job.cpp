#include "batch/scan_job.hpp"

#include <cerrno>
#include <cstring>

#include "batch/job_file.hpp"
#include "report/json_report.hpp"
#include "report/print_report.hpp"

namespace id3sniff {

ScanOutcome ScanName(const FileName& name, const Stop& stop, Waits& waits, bool try_memory,
                     bool& waited, ScanState& state, int& error) {
  JobFile file(name, waits, try_memory);
  error = file.error();
  ScanOutcome outcome = ScanOutcome::CannotOpen;
  if (error == 0) {
    // A regular file's first 16384 bytes are read at once, from memory where they are there;
    // a FIFO's or a device's as the scan asks for them.
    if (file.regular()) {
      const ssize_t n = file.ReadAt(state.window.get(), kWindowSize, 0);
      outcome = n >= 0 ? ScanOutcome::Complete : ScanOutcome::CannotRead;
      if (n >= 0) ScanWindow(static_cast<std::size_t>(n), state);
      if (n < 0) error = errno;
    } else {
      file.Wait();
      FileReader reader(file.fd(), file.regular(), stop);
      outcome = ScanTag(reader, state);
      error = outcome == ScanOutcome::Complete ? 0 : errno;
    }
  }
  waited = file.waited();
  return outcome;
}

void ScanJob::Run(const FileName& name, const Stop& stop, Waits& waits, Record& record) {
  ResetScanState(state_);
  int error = 0;
  const ScanOutcome outcome =
      ScanName(name, stop, waits, !last_waited_, last_waited_, state_, error);
  MakeReport(name.path, outcome, error, state_, style_, record);
}

void MakeReport(const std::string& path, ScanOutcome outcome, int error, ScanState& state,
                ReportStyle style, Record& record) {
  if (outcome != ScanOutcome::Complete) {
    MakeFailure(path, outcome, error, style, record);
    return;
  }
  record.text.clear();
  record.failed = false;
  record.error = 0;
  if (style.json) {
    AppendJsonReport(record.text, path, state.result);
  } else {
    LineWriter writer(record.text, style.destination);
    PrintReport(writer, path, state.result);
  }
}

void MakeFailure(const std::string& path, ScanOutcome outcome, int error, ReportStyle style,
                 Record& record) {
  record.text.clear();
  record.failed = true;
  record.names_path = true;
  record.path = path;
  record.error = error;
  record.reason = std::strerror(error);
  const std::string_view unable =
      outcome == ScanOutcome::CannotOpen ? kUnableToOpen : kUnableToRead;
  if (style.json) {
    AppendJsonError(record.text, path, unable.substr(0, unable.size() - 1), record.reason);
  } else {
    record.text = unable;
  }
}

}  // namespace id3sniff
