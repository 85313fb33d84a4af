#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "app/command_line.hpp"
#include "app/common.hpp"
#include "report/print_report.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {
namespace {

// A report up to this size leaves in one write, which a pipe never interleaves with another
// process's writes (PIPE_BUF on Linux).
constexpr std::size_t kAtomicWrite = 4096;

void PrintBatchUsage(const char* name) {
  std::FILE* err = stderr;
  std::fputs("Usage: ", err);
  std::fputs(name, err);
  std::fputs(" FILE...\n", err);
  std::fputs("Writes the report of each FILE in turn, as id3sniff FILE writes it for one file.\n",
             err);
  std::fputs("Options (as the first argument only):\n", err);
  std::fputs("\t -h,--help\t\tShow this help message and exit\n", err);
  std::fputs("\t -v,--version\t\tDisplay version information and exit\n", err);
  std::fflush(err);
}

// Writes all of text to standard output; returns false when it cannot.
bool WriteAll(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Writes what id3sniff writes on standard output for each path, one file after another. The
// scan state and the report's text are made once and reused, so a file costs no allocation
// unless its values are longer than any before.
int ReportFiles(char** paths, int count) {
  const Destination destination = ChooseDestination();
  ScanState state;
  std::string report;
  report.reserve(kAtomicWrite);
  int status = kExitOk;
  for (int i = 0; i < count; ++i) {
    if (i > 0) ResetScanState(state);
    report.clear();
    switch (ScanFile(paths[i], state)) {
      case FileScan::Complete: {
        LineWriter writer(report, destination);
        PrintReport(writer, paths[i], state.result);
        break;
      }
      case FileScan::CannotOpen:
        report = kUnableToOpen;
        status = kExitFailure;
        break;
      case FileScan::CannotRead:
        report = kUnableToRead;
        status = kExitFailure;
        break;
    }
    if (!WriteAll(report)) {
      std::fwrite(kUnableToWrite.data(), 1, kUnableToWrite.size(), stderr);
      return kExitFailure;
    }
  }
  return status;
}

}  // namespace

int RunBatchCommandLine(int argc, char** argv) {
  if (const std::optional<int> status =
          AnswerRequest(argc, argv, PrintBatchUsage, "id3sniff-batch")) {
    return *status;
  }
  // Options count as the first argument only; every later argument is a path.
  return ReportFiles(argv + 1, argc - 1);
}

}  // namespace id3sniff
