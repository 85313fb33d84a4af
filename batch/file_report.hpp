#pragma once

#include <string>
#include <string_view>

#include "app/common.hpp"
#include "report/line_writer.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {

// How the reports are written.
struct ReportStyle {
  Destination destination = Destination::PipeOrFile;  // for the text report
  bool json = false;                                  // JSON Lines instead of the text report
};

// What id3sniff-batch writes on standard output for one file, and why it failed, if it did.
struct FileReport {
  std::string text;     // the report, or "Unable to open file" or "Unable to read file"
  bool failed = false;  // the file could not be opened or read: exit status 1 at the end
  int error = 0;        // then, the errno of the open or read that failed
};

// Writes into report what id3sniff-batch writes for path, from how its scan ended (and the errno
// of a failure) and what state holds; report keeps its storage for the next file.
void MakeReport(std::string_view path, FileScan scan, int error, ScanState& state,
                ReportStyle style, FileReport& report);

}  // namespace id3sniff
