#pragma once

#include "batch/engine.hpp"
#include "report/line_writer.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {

// How the reports are written.
struct ReportStyle {
  Destination destination = Destination::PipeOrFile;  // for the text report
  bool json = false;                                  // JSON Lines instead of the text report
};

// The scan report of each file, as id3sniff writes it for one file, or in JSON.
class ScanJob final : public FileJob {
 public:
  explicit ScanJob(ReportStyle style) : style_(style) {}
  void Run(const FileName& name, const Stop& stop, Waits& waits, Record& record) override;

 private:
  ReportStyle style_;
  ScanState state_;  // made once per job, reset for each file
  // The last file waited on a device: so will the next, most likely (a cold scan), and trying
  // it in memory first would only cost an open more.
  bool last_waited_ = false;
};

// Opens name, scans it into state (new, or reset since its last scan) and closes it: the file is
// open only during the scan. A file whose name, inode and first 16384 bytes are in memory is
// scanned from there; anything else is read between waits.Begin() and waits.End(): a regular
// file as usual, a FIFO or a device as its bytes come, each wait cut short by stop. Returns how
// the scan ended, with the errno of a failure in error.
// With try_memory false, the file is read as one that waits. Sets waited.
ScanOutcome ScanName(const FileName& name, const Stop& stop, Waits& waits, bool try_memory,
                     bool& waited, ScanState& state, int& error);

// Writes into record what stands in place of the report of path, whose scan ended so (not
// Complete), with the errno of its failure.
void MakeFailure(const std::string& path, ScanOutcome outcome, int error, ReportStyle style,
                 Record& record);

// Writes into record what id3sniff-batch gives for path, from how its scan ended (and the errno
// of a failure) and what state holds; record keeps its storage for the next file.
void MakeReport(const std::string& path, ScanOutcome outcome, int error, ScanState& state,
                ReportStyle style, Record& record);

}  // namespace id3sniff
