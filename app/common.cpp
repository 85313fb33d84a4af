#include "app/common.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/version.hpp"

namespace id3sniff {

const char* InvocationName(int argc, char** argv, const char* fallback) {
  return argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : fallback;
}

void PrintVersion() {
  std::fputs("Version: ", stderr);
  std::fwrite(kVersion.data(), 1, kVersion.size(), stderr);
  std::fputs("\n", stderr);
  std::fflush(stderr);
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
