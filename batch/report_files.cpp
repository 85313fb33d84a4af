#include "batch/report_files.hpp"

#include <dirent.h>
#include <sys/resource.h>

#include <cstdio>

#include "app/command_line.hpp"
#include "app/common.hpp"
#include "batch/file_report.hpp"
#include "batch/pipeline.hpp"
#include "batch/report_output.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {
namespace {

// Returns how many descriptors the process has open, or 3 when /proc cannot tell.
long CountOpenDescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 3;
  long count = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the listing's own
}

// Returns jobs, or fewer where reading that many files at once, each holding up to two
// descriptors (CachedFile), would open more than the process may have; says so on standard
// error.
int FitToDescriptorLimit(int jobs) {
  if (jobs == 1) return jobs;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return jobs;
  const long spare = static_cast<long>(limit.rlim_cur) - CountOpenDescriptors();
  if (spare >= 2L * jobs) return jobs;
  const int fit = spare >= 4 ? static_cast<int>(spare / 2) : 1;
  std::fprintf(stderr,
               "id3sniff-batch: reading %d files at once, not %d: at most %ld files may be open "
               "(ulimit -n)\n",
               fit, jobs, static_cast<long>(limit.rlim_cur));
  return fit;
}

// Reads and reports the files one after another, each report in a write of its own.
int ReportFilesInTurn(char* const* paths, std::size_t count, Destination destination) {
  ScanState state;
  FileReport report;
  report.text.reserve(kAtomicWrite);
  int status = kExitOk;
  for (std::size_t i = 0; i < count; ++i) {
    ResetScanState(state);
    MakeReport(paths[i], ScanFile(paths[i], state, {.advise_random = true}), state, destination,
               report);
    if (report.failed) status = kExitFailure;
    if (!WriteAll(report.text)) {
      std::fwrite(kUnableToWrite.data(), 1, kUnableToWrite.size(), stderr);
      return kExitFailure;
    }
  }
  return status;
}

}  // namespace

int ReportFiles(char* const* paths, std::size_t count, int jobs) {
  const Destination destination = ChooseDestination();
  jobs = FitToDescriptorLimit(jobs);
  if (jobs == 1) return ReportFilesInTurn(paths, count, destination);
  return ReportFilesInParallel(paths, count, jobs, destination);
}

}  // namespace id3sniff
