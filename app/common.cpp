#include "app/common.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "app/command_line.hpp"
#include "app/version.hpp"

namespace id3sniff {

namespace {

// Reads the file open on fd with read(2), which a signal may interrupt: the read starts again,
// unless the run is stopping.
class FileReader final : public ByteSource {
 public:
  FileReader(int fd, const ReadOptions& options)
      : fd_(fd), stop_(options.stop), wait_readable_(options.wait_readable) {}
  ssize_t Read(std::uint8_t* buffer, std::size_t size) override {
    ssize_t n = 0;
    for (;;) {
      // Until a writer has come and gone, poll waits: a read that does not wait would give 0.
      pollfd readable = {fd_, POLLIN, 0};
      n = wait_readable_ && poll(&readable, 1, -1) < 0 ? -1 : read(fd_, buffer, size);
      if (n >= 0 || !wait_readable_ || errno != EAGAIN) break;
    }
    if (n < 0 && errno == EINTR && stop_ != nullptr && stop_->load()) errno = ECANCELED;
    if (n < 0) error_ = errno;
    return n;
  }
  // Returns the errno of the read that failed, or 0.
  int error() const { return error_; }

 private:
  int fd_;
  const std::atomic<bool>* stop_;
  bool wait_readable_;
  int error_ = 0;
};

}  // namespace

const char* ProgramName(int argc, char** argv, const char* fallback) {
  return argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : fallback;
}

void PrintVersion() {
  std::fputs("Version: ", stderr);
  std::fwrite(kVersion.data(), 1, kVersion.size(), stderr);
  std::fputs("\n", stderr);
  std::fflush(stderr);
}

std::optional<int> AnswerRequest(int argc, char** argv, void (*print_usage)(const char* name),
                                 const char* fallback) {
  const char* name = ProgramName(argc, argv, fallback);
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

int OpenForScan(const char* path, ReadOptions options) {
  int fd = -1;
  // Opening a FIFO waits for its writer, and a signal may interrupt that wait.
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR && (options.stop == nullptr || !options.stop->load()));
  return fd;
}

FileScan ScanFile(const char* path, ScanState& state, ReadOptions options) {
  const int fd = OpenForScan(path, options);
  if (fd < 0) {
    if (options.error != nullptr) *options.error = errno;
    return FileScan::CannotOpen;
  }
  return ScanOpenFile(fd, state, options);
}

FileScan ScanOpenFile(int fd, ScanState& state, ReadOptions options) {
  if (options.advise_random) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  FileReader reader(fd, options);
  const ScanOutcome outcome = ScanTag(reader, state);
  close(fd);
  if (outcome == ScanOutcome::Complete) return FileScan::Complete;
  if (options.error != nullptr) *options.error = reader.error();
  // A directory opens, but its first read fails so: it is a file that cannot be opened.
  return reader.error() == EISDIR ? FileScan::CannotOpen : FileScan::CannotRead;
}

}  // namespace id3sniff
