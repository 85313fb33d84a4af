#include "batch/scan_job.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "report/json_report.hpp"
#include "report/print_report.hpp"

namespace id3sniff {
namespace {

// Reads the file open on fd. A FIFO or a device, opened without waiting, is polled before each
// read, so that a read waits as on a plain descriptor but a stop ends the wait.
class FileReader final : public ByteSource {
 public:
  FileReader(int fd, bool regular, const Stop& stop) : fd_(fd), regular_(regular), stop_(stop) {}
  ssize_t Read(std::uint8_t* buffer, std::size_t size) override {
    for (;;) {
      // Until a FIFO's writer has come, a read that does not wait would give its end.
      if (!regular_ && !WaitReadable(fd_, stop_)) break;
      const ssize_t n = read(fd_, buffer, size);
      if (n >= 0 || (errno != EAGAIN && errno != EINTR)) return n;
    }
    return -1;
  }

 private:
  int fd_;
  bool regular_;
  const Stop& stop_;
};

// Reads into buffer at offset what the page cache holds, never waiting on the device: the
// number of bytes, or -1 (EAGAIN where they are not in memory, EOPNOTSUPP where the file
// system cannot tell).
ssize_t ReadIfCached(int fd, std::uint8_t* buffer, std::size_t size, off_t offset) {
  iovec part = {buffer, size};
  ssize_t n = 0;
  do {
    n = preadv2(fd, &part, 1, offset, RWF_NOWAIT);
  } while (n < 0 && errno == EINTR);
  return n;
}

// Scans the regular file open on fd when all the bytes the scan needs are in memory; returns
// false, with state untouched and the file's offset at its start, when any of them is not.
bool ScanFromMemory(int fd, ScanState& state) {
  std::uint8_t* window = state.window.get();
  const ssize_t n = ReadIfCached(fd, window, kWindowSize, 0);
  // Fewer bytes are the end of the file only if a read after them finds nothing: the size that
  // fstat gives is not to be trusted (files in /proc say 0), and a file may be in memory in part.
  const bool whole =
      n == static_cast<ssize_t>(kWindowSize) ||
      (n >= 0 && ReadIfCached(fd, window + n, kWindowSize - static_cast<std::size_t>(n), n) == 0);
  if (whole) ScanWindow(static_cast<std::size_t>(n), state);
  return whole;
}

}  // namespace

ScanOutcome ScanName(const FileName& name, const Stop& stop, Waits& waits, bool try_memory,
                     bool& waited, ScanState& state, int& error) {
  int fd = try_memory ? OpenFileName(name, /*cached=*/true) : -1;
  bool waiting = !try_memory || (fd < 0 && errno == EAGAIN);
  if (waiting) {
    waits.Begin();
    fd = OpenFileName(name);
  }
  ScanOutcome outcome = ScanOutcome::CannotOpen;
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;  // a folder opens, but it is no file to read
  } else {
    const bool regular = S_ISREG(info.st_mode);
    // Without the advice a first read that misses the cache starts the readahead window, 32 KiB
    // or more, where the scan needs 16.
    if (regular) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    if (!waiting && regular && ScanFromMemory(fd, state)) {
      outcome = ScanOutcome::Complete;
    } else {
      if (!waiting) waits.Begin();
      waiting = true;
      FileReader reader(fd, regular, stop);
      outcome = ScanTag(reader, state);
      error = outcome == ScanOutcome::Complete ? 0 : errno;
    }
  }
  if (fd >= 0) close(fd);
  if (waiting) waits.End();
  waited = waiting;
  return outcome;
}

void ScanJob::Run(const FileName& name, const Stop& stop, Waits& waits, Record& record) {
  ResetScanState(state_);
  int error = 0;
  const ScanOutcome outcome =
      ScanName(name, stop, waits, !last_waited_, last_waited_, state_, error);
  MakeReport(name.path, outcome, error, state_, style_, record);
}

void MakeReport(const std::string& path, ScanOutcome outcome, int error, ScanState& state,
                ReportStyle style, Record& record) {
  record.text.clear();
  record.failed = outcome != ScanOutcome::Complete;
  record.names_path = true;
  if (record.failed) record.path = path;
  record.reason.clear();
  record.error = error;
  if (!record.failed) {
    if (style.json) {
      AppendJsonReport(record.text, path, state.result);
    } else {
      LineWriter writer(record.text, style.destination);
      PrintReport(writer, path, state.result);
    }
    return;
  }
  record.reason = std::strerror(error);
  const std::string_view unable =
      outcome == ScanOutcome::CannotOpen ? kUnableToOpen : kUnableToRead;
  if (style.json) {
    AppendJsonError(record.text, path, unable.substr(0, unable.size() - 1), record.reason);
  } else {
    record.text = unable;
  }
}

}  // namespace id3sniff
