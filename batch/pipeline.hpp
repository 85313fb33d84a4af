#pragma once

#include <cstddef>

#include "batch/file_report.hpp"
#include "batch/names.hpp"
#include "batch/report_output.hpp"

namespace id3sniff {

// The reports that may wait for their turn, per file read at once: enough that readers rarely
// wait for a slow oldest file while later files could be read. With 4 a cold scan here sent
// the readers to sleep 600 to 800 times in 4000 files, with 16 about 100 times.
inline constexpr std::size_t kSlotsPerJob = 16;

// Writes the report of each file that names gives, in order, with up to jobs files
// read at once; returns the exit status. While the files are in memory already, the calling
// thread scans them in turn (CachedFile) and costs what a loop over them costs; at the first
// file that would wait on a device, jobs - 1 readers start and take the files in order, until
// they find a run of files in memory again and leave them to the calling thread.
int ReportFilesInParallel(Names& names, int jobs, ReportStyle style, ReportOutput& output);

}  // namespace id3sniff
