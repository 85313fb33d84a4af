#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "app/batch_options.hpp"
#include "app/command_line.hpp"
#include "app/common.hpp"
#include "batch/decode_job.hpp"
#include "batch/engine.hpp"
#include "batch/names.hpp"
#include "batch/progress.hpp"
#include "batch/report_output.hpp"
#include "batch/scan_job.hpp"
#include "report/print_report.hpp"

namespace id3sniff {
namespace {

// Descriptors a walk may hold beyond the files being read: the folders on its path, and the
// folders it started from whose files wait in the engine's slots.
constexpr long kWalkDescriptors = 16;

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

// Returns jobs, or fewer where reading that many files at once, each open file a descriptor,
// with the engine's stop and a walk's folders, would open more than the process may have; says
// so on standard error.
int FitToDescriptorLimit(int jobs, bool recursive) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return jobs;
  const long spare = static_cast<long>(limit.rlim_cur) - CountOpenDescriptors() - 1 -
                     (recursive ? kWalkDescriptors : 0);
  if (spare >= jobs) return jobs;
  const int fit = spare > 1 ? static_cast<int>(spare) : 1;
  if (fit < jobs) {
    std::fprintf(
        stderr, "%s: reading %d files at once, not %d: at most %ld files may be open (ulimit -n)\n",
        kBatchName, fit, jobs, static_cast<long>(limit.rlim_cur));
  }
  return fit;
}

// Returns true when standard output is a regular file or /dev/null: where the reports go
// unseen, so that a progress line on a terminal is welcome.
bool OutputUnseen() {
  struct stat out;
  struct stat null;
  if (fstat(STDOUT_FILENO, &out) != 0) return false;
  if (S_ISREG(out.st_mode)) return true;
  return S_ISCHR(out.st_mode) && stat("/dev/null", &null) == 0 && out.st_rdev == null.st_rdev;
}

// The progress line's width, for the signal handler that blanks it.
const std::atomic<std::size_t>* progress_shown = nullptr;

// On SIGINT or SIGTERM: blanks the progress line, then lets the signal take its course.
void OnStopSignal(int signal_number) {
  if (progress_shown != nullptr) {
    // Only write(2) here: it is safe in a signal handler. What fails to be written is lost.
    static constexpr char kBlanks[] =
        "                                                                ";
    const auto put = [](const char* bytes, std::size_t count) {
      return write(STDERR_FILENO, bytes, count) == static_cast<ssize_t>(count);
    };
    bool written = put("\r", 1);
    for (std::size_t width = progress_shown->load(); width > 0;) {
      const std::size_t part = std::min<std::size_t>(width, sizeof kBlanks - 1);
      written = written && put(kBlanks, part);
      width -= part;
    }
    written = written && put("\r", 1);
    (void)written;
  }
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void BlankProgressOnStop(const Progress& progress) {
  progress_shown = &progress.shown();
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : {SIGINT, SIGTERM}) sigaction(signal_number, &action, nullptr);
}

// The hint that follows a failure's line, once a run: a folder named without -r, or a missing
// FILE spelled like an option.
std::string_view HintFor(const Record& record, bool recursive) {
  if (record.text.empty()) return {};  // a message of the walk or the list, not a file's
  if (record.error == EISDIR && !recursive) return "use -r to read the MP3 files in a folder";
  if (record.error == ENOENT && LooksLikeAnOption(record.path)) {
    return "options go before the files; '--' ends them";
  }
  return {};
}

}  // namespace

int RunBatchCommandLine(int argc, char** argv) {
  int status = kExitOk;
  const std::optional<BatchOptions> options = ParseBatchOptions(argc, argv, status);
  if (!options) return status;
  int list = -1;
  if (options->files0_from) {
    list = *options->files0_from == "-" ? STDIN_FILENO
                                        : open(options->files0_from->c_str(), O_RDONLY | O_CLOEXEC);
    if (list < 0) {
      std::fprintf(stderr, "%s: cannot open '%s' for reading: %s\n", kBatchName,
                   options->files0_from->c_str(), std::strerror(errno));
      return kExitFailure;
    }
  }
  const bool progress_on =
      options->progress == ProgressChoice::On ||
      (options->progress == ProgressChoice::Auto && isatty(STDERR_FILENO) != 0 && OutputUnseen());
  Progress progress(progress_on, STDERR_FILENO, kBatchName);
  if (progress_on) BlankProgressOnStop(progress);
  const Destination err_destination =
      isatty(STDERR_FILENO) != 0 ? Destination::Terminal : Destination::PipeOrFile;
  const bool recursive = options->recursive;
  ReportOutput output(STDOUT_FILENO, STDERR_FILENO, err_destination, kBatchName, progress,
                      [recursive](const Record& record) { return HintFor(record, recursive); });
  const std::size_t count = static_cast<std::size_t>(argc - options->first_file);
  std::unique_ptr<Names> names =
      list >= 0 ? std::make_unique<Names>(list, *options->files0_from, recursive)
                : std::make_unique<Names>(argv + options->first_file, count, recursive);
  const ReportStyle style{ChooseDestination(), options->json};
  const int jobs = FitToDescriptorLimit(options->jobs, recursive);
  const bool decode = options->decode;
  const bool written = RunEngine(
      *names,
      [style, decode]() -> std::unique_ptr<FileJob> {
        if (decode) return std::make_unique<DecodeJob>(style);
        return std::make_unique<ScanJob>(style);
      },
      output, jobs);
  if (list > STDIN_FILENO) close(list);
  if (!written) {
    progress.Clear();
    WriteAll(STDERR_FILENO, kUnableToWrite);
    return kExitFailure;
  }
  progress.Finish();
  return output.failed() ? kExitFailure : kExitOk;
}

}  // namespace id3sniff
