#include "app/command_line.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "app/version.hpp"
#include "report/print_report.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {
namespace {

// The name used in the usage text when the program was started without one: an empty argument
// vector (which Linux hands over as one empty string), or an empty name.
constexpr const char* kFallbackName = "id3sniff";

void PrintUsage(const char* name) {
  std::FILE* err = stderr;
  std::fputs("Usage: ", err);
  std::fputs(name, err);
  std::fputs(" <option(s)>\n", err);
  std::fputs("Options:\n", err);
  std::fputs("\t -h,--help\t\tShow this help message and exit\n", err);
  std::fputs("\t -v,--version\t\tDisplay version information and exit\n\n", err);
  std::fputs("\t For example:\n", err);
  std::fputs("\t ", err);
  std::fputs(name, err);
  std::fputs(" File.mp3\n", err);
  std::fputs("\n", err);
  std::fflush(err);
}

void PrintVersion() {
  std::fputs("Version: ", stderr);
  std::fwrite(kVersion.data(), 1, kVersion.size(), stderr);
  std::fputs("\n", stderr);
  std::fflush(stderr);
}

// Says why no report follows; the message goes to standard output, where the report would.
int FailExamining(const char* message) {
  std::fputs(message, stdout);
  return kExitFailure;
}

// Opens path read-only; returns -1 when it cannot be opened or names a directory, which would
// open but never read.
int OpenFile(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

int ExamineFile(const char* path) {
  const int fd = OpenFile(path);
  if (fd < 0) return FailExamining("Unable to open file\n");
  ScanState state;
  const ScanOutcome outcome = ScanTag(fd, state);
  // The file is closed before any of the report is written.
  close(fd);
  if (outcome == ScanOutcome::ReadError) return FailExamining("Unable to read file\n");
  const Destination destination =
      isatty(STDOUT_FILENO) ? Destination::Terminal : Destination::PipeOrFile;
  PrintReport(stdout, path, state.result, destination);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fputs("Unable to write report\n", stderr);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
  const char* name = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : kFallbackName;
  if (argc < 2) {
    PrintUsage(name);
    return kExitUsage;
  }
  // Only the first argument counts, compared whole and with exact case.
  const std::string_view first = argv[1];
  if (first == "-h" || first == "--help") {
    PrintUsage(name);
    return kExitOk;
  }
  if (first == "-v" || first == "--version") {
    PrintVersion();
    return kExitOk;
  }
  return ExamineFile(argv[1]);
}

}  // namespace id3sniff
