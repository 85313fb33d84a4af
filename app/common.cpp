#include "app/common.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "app/command_line.hpp"
#include "app/version.hpp"

namespace id3sniff {

namespace {

void PrintVersion() {
  std::fputs("Version: ", stderr);
  std::fwrite(kVersion.data(), 1, kVersion.size(), stderr);
  std::fputs("\n", stderr);
  std::fflush(stderr);
}

}  // namespace

std::optional<int> AnswerRequest(int argc, char** argv, void (*print_usage)(const char* name),
                                 const char* fallback) {
  const char* name = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : fallback;
  if (argc < 2) {
    print_usage(name);
    return kExitUsage;
  }
  const std::string_view first = argv[1];
  if (first == "-h" || first == "--help") {
    print_usage(name);
    return kExitOk;
  }
  if (first == "-v" || first == "--version") {
    PrintVersion();
    return kExitOk;
  }
  return std::nullopt;
}

Destination ChooseDestination() {
  return isatty(STDOUT_FILENO) ? Destination::Terminal : Destination::PipeOrFile;
}

FileScan ScanFile(const char* path, ScanState& state) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileScan::CannotOpen;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return FileScan::CannotOpen;
  }
  const ScanOutcome outcome = ScanTag(fd, state);
  close(fd);
  return outcome == ScanOutcome::Complete ? FileScan::Complete : FileScan::CannotRead;
}

}  // namespace id3sniff
