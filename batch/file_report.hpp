#pragma once

#include <string>

#include "app/common.hpp"
#include "report/line_writer.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {

// What id3sniff writes on standard output for one file, and whether it is a failure.
struct FileReport {
  std::string text;     // the report, or "Unable to open file" or "Unable to read file"
  bool failed = false;  // the file could not be opened or read: exit status 1 at the end
};

// Writes into report what id3sniff writes for path, from how its scan ended and what state
// holds; report keeps its storage for the next file.
void MakeReport(const char* path, FileScan scan, ScanState& state, Destination destination,
                FileReport& report);

}  // namespace id3sniff
