#include "batch/report_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/command_line.hpp"
#include "app/common.hpp"
#include "batch/file_report.hpp"
#include "batch/names.hpp"
#include "batch/pipeline.hpp"
#include "batch/progress.hpp"
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
int ReportFilesInTurn(Names& names, ReportStyle style, ReportOutput& output) {
  ScanState state;
  FileReport report;
  report.text.reserve(kAtomicWrite);
  std::string path;
  while (names.Next(path)) {
    ResetScanState(state);
    int error = 0;
    const FileScan scan = ScanFile(path.c_str(), state, {.advise_random = true, .error = &error});
    MakeReport(path, scan, error, state, style, report);
    if (!output.Add(path, report)) {
      output.Warn(kUnableToWrite);
      return kExitFailure;
    }
  }
  return output.status();
}

}  // namespace

int ReportFiles(const BatchOptions& options, char* const* files, std::size_t count) {
  int list = -1;
  if (options.files0_from) {
    list = *options.files0_from == "-" ? STDIN_FILENO
                                       : open(options.files0_from->c_str(), O_RDONLY | O_CLOEXEC);
    if (list < 0) {
      std::fprintf(stderr, "id3sniff-batch: cannot open '%s' for reading: %s\n",
                   options.files0_from->c_str(), std::strerror(errno));
      return kExitFailure;
    }
  }
  const bool progress_on = options.progress == ProgressChoice::On ||
                           (options.progress == ProgressChoice::Auto &&
                            isatty(STDERR_FILENO) != 0 && isatty(STDOUT_FILENO) == 0);
  Progress progress(progress_on);
  ReportOutput output(options.jobs == 1, progress);
  const auto warn = [&output](std::string_view line) { output.Warn(line); };
  Names names = list >= 0 ? Names(list, *options.files0_from, options.recursive, warn)
                          : Names(files, count, options.recursive, warn);
  const ReportStyle style{ChooseDestination(), options.json};
  const int jobs = FitToDescriptorLimit(options.jobs);
  const int status = jobs == 1 ? ReportFilesInTurn(names, style, output)
                               : ReportFilesInParallel(names, jobs, style, output);
  progress.Finish();
  if (list > STDIN_FILENO) close(list);
  return status != kExitOk || names.failed() ? kExitFailure : kExitOk;
}

}  // namespace id3sniff
