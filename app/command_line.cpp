#include "app/command_line.hpp"

#include <cstdio>
#include <optional>
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
    case ScanOutcome::CannotOpen:
      return FailExamining(kUnableToOpen);
    case ScanOutcome::CannotRead:
      return FailExamining(kUnableToRead);
    case ScanOutcome::Complete:
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
  if (const std::optional<int> status = AnswerRequest(argc, argv, PrintUsage, "id3sniff")) {
    return *status;
  }
  // Only the first argument counts.
  return ExamineFile(argv[1]);
}

}  // namespace id3sniff
