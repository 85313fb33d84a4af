#pragma once

#include <cstddef>

#include "report/line_writer.hpp"

namespace id3sniff {

// The reports that may wait for their turn, per file read at once: enough that readers never
// wait for the oldest file's report to be written while later files could be read.
inline constexpr std::size_t kSlotsPerJob = 4;

// Writes what id3sniff writes for each of the count paths, in their order, with up to jobs files
// read at once; returns the exit status. Each file is first tried in the calling thread without
// waiting on a device (ScanIfCached), so a library in the page cache costs what reading it in
// turn costs; only the files that would wait go to reader threads, started as they are needed.
int ReportFilesInParallel(char* const* paths, std::size_t count, int jobs, Destination destination);

}  // namespace id3sniff
