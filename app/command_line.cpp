#include "app/command_line.hpp"

#include <cstdio>
#include <string_view>

#include "app/common.hpp"
#include "report/print_report.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {
namespace {

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

// Says why no report follows; the message goes to standard output, where the report would.
int FailExamining(std::string_view message) {
  std::fwrite(message.data(), 1, message.size(), stdout);
  return kExitFailure;
}

int ExamineFile(const char* path) {
  ScanState state;
  switch (ScanFile(path, state)) {
    case FileScan::CannotOpen:
      return FailExamining(kUnableToOpen);
    case FileScan::CannotRead:
      return FailExamining(kUnableToRead);
    case FileScan::Complete:
      break;
  }
  PrintReport(stdout, path, state.result, ChooseDestination());
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fwrite(kUnableToWrite.data(), 1, kUnableToWrite.size(), stderr);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
  const char* name = InvocationName(argc, argv, "id3sniff");
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
