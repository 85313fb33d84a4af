#include "scan/scan_tag.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "test_support/scan_of.hpp"
#include "test_support/tag_bytes.hpp"

namespace id3sniff {
namespace {

using namespace std::string_literals;
using testing::ScanOf;

// Returns bytes followed by NUL bytes up to the end of the window. NUL is never captured, so
// the frame that is current after bytes is still current when the scan ends.
std::string Padded(std::string bytes) {
  bytes.resize(kWindowSize, '\0');
  return bytes;
}

TEST(ScanTag, MakesEachIdentifierTheCurrentFrame) {
  const std::vector<std::pair<std::string, FrameKind>> cases = {
      {"TALB", FrameKind::TALB},          {"TIT2", FrameKind::TIT2},
      {"TPE1", FrameKind::TPE1},          {"APIC", FrameKind::APIC},
      {"TDRC", FrameKind::TDRC},          {"TYER", FrameKind::TYER},
      {"TSSE", FrameKind::TSSE},          {"TXXX", FrameKind::TXXX},
      {"TALBTIT2", FrameKind::TIT2},  // the later identifier wins
      {"TXXXTALB", FrameKind::TALB},  // a TXXX frame ends at the next identifier
      {"TALb", FrameKind::None},      // case matters
      {"TA\x01LB", FrameKind::None},  // a control byte inside breaks the identifier
      {"TAL\0B"s, FrameKind::None},   // so does a NUL
      {"TALB\x01", FrameKind::TALB},  // a control byte after it is not tested
      {"TALB\x01T\x01", FrameKind::TALB},
  };
  for (const auto& [bytes, expected] : cases) {
    ScanState state;
    ScanBytes(Padded(bytes), state);
    EXPECT_EQ(state.frame, expected) << bytes;
  }
}

struct StopCase {
  std::string bytes;
  bool ended;
  std::size_t position;  // bytes processed when the scan ended
};

TEST(ScanTag, EndsAtTheFirstEncoderMarker) {
  const std::vector<StopCase> cases = {
      {"LAME3", true, 5},
      {"AME3", false, kWindowSize},  // no fifth byte before it
      {"LAME4", false, kWindowSize},
      {"LAME", false, kWindowSize},
      {"Lavf", false, kWindowSize},
      {"Lavc", true, 4},
      {"xyLavcTALB", true, 6},
      {"Song LAME3.100", true, 10},
      {"LAM\x01"
       "E3",
       false, kWindowSize},
      {"\0\0\0LAME3"s, true, 8},
  };
  for (const auto& c : cases) {
    ScanState state;
    ScanBytes(c.bytes, state);
    EXPECT_EQ(state.ended, c.ended) << c.bytes;
    EXPECT_EQ(state.position, c.position) << c.bytes;
    EXPECT_EQ(RawHistory(state).size(), c.position) << c.bytes;
  }
}

TEST(ScanTag, ReadsNoByteAfterAMarker) {
  ScanState state;
  ScanBytes("LavcTXXXabcdefTALBxyz", state);
  EXPECT_EQ(state.result.txxx_count, 0);
  EXPECT_EQ(state.frame, FrameKind::None);
  EXPECT_EQ(RawHistory(state), "Lavc");
}

// Slides an identifier and a marker across the window's last positions: only what ends
// inside the 16384 bytes counts.
TEST(ScanTag, RecognisesOnlyWhatEndsInsideTheWindow) {
  for (std::size_t offset = kWindowSize - 8; offset <= kWindowSize; ++offset) {
    const bool inside = offset + 4 <= kWindowSize;
    std::string bytes(offset, '\0');
    EXPECT_EQ(ScanOf(bytes + "TXXXabcd").txxx_count, inside ? 1 : 0) << offset;
    ScanState state;
    ScanBytes(bytes + "Lavc", state);
    EXPECT_EQ(state.ended, inside) << offset;
    EXPECT_EQ(state.position, inside ? offset + 4 : kWindowSize) << offset;
  }
}

TEST(ScanTag, ReadsPastEndOfFileAsByte255) {
  ScanState state;
  ScanBytes("ab", state);
  const std::string_view history = RawHistory(state);
  ASSERT_EQ(history.size(), kWindowSize);
  EXPECT_EQ(history.substr(0, 2), "ab");
  EXPECT_EQ(history.find_first_not_of('\xFF', 2), std::string_view::npos);
}

// Delivers bytes in chunks of the given sizes, one read each, as a pipe or a socket may: a
// socket of packets hands out one written packet per read.
class ChunkedSource {
 public:
  ChunkedSource(const std::string& bytes, const std::vector<std::size_t>& sizes) {
    if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds_) != 0) throw std::runtime_error("socketpair");
    writer_ = std::thread([this, bytes, sizes] {
      for (std::size_t at = 0, i = 0; at < bytes.size(); ++i) {
        const std::size_t n = std::min(sizes[i % sizes.size()], bytes.size() - at);
        if (write(fds_[1], bytes.data() + at, n) != static_cast<ssize_t>(n)) break;
        at += n;
      }
      close(fds_[1]);
    });
  }
  ~ChunkedSource() {
    close(fds_[0]);  // a writer still blocked on a full socket fails and stops
    writer_.join();
  }
  int fd() const { return fds_[0]; }

 private:
  int fds_[2] = {-1, -1};
  std::thread writer_;
};

TEST(ScanTag, GivesTheSameResultHoweverTheReadsAreCut) {
  const std::string song = testing::SongBytes();
  const std::string unended = "TXXXab\0cdTALBxyz\xC3"s;  // ends inside a frame, before the filler
  // A skip to the end of the first read passes captured bytes while no TXXX frame is current;
  // the TXXX frame in the second read captures nothing, so its slot stays empty.
  const std::string late_empty_txxx = Padded("ab\0\0TXXX"s);
  for (const std::string& bytes : {song, unended, late_empty_txxx}) {
    for (const std::vector<std::size_t>& sizes :
         std::vector<std::vector<std::size_t>>{{1}, {2, 3}, {5, 1, 7}, {64}, {4096}, {4, 16380}}) {
      ChunkedSource source(bytes, sizes);
      ScanState state;
      EXPECT_EQ(ScanTag(source.fd(), state), ScanOutcome::Complete);
      EXPECT_TRUE(state.result == ScanOf(bytes)) << "chunks of " << sizes[0];
    }
  }
}

// Reads a descriptor and counts the reads that a signal interrupted.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(int fd) : fd_(fd) {}
  ssize_t Read(std::uint8_t* buffer, std::size_t size) override {
    const ssize_t n = read(fd_, buffer, size);
    if (n < 0 && errno == EINTR) ++interrupted_;
    return n;
  }
  int interrupted() const { return interrupted_; }

 private:
  int fd_;
  int interrupted_ = 0;
};

TEST(ScanTag, ReadsAgainAfterASignalInterruptsARead) {
  // A handler installed without SA_RESTART: a read waiting on an empty pipe fails with EINTR.
  struct sigaction action {};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string bytes = testing::SongBytes();
  // The bytes arrive slowly, 64 at a time, while the reader is signalled every millisecond.
  std::thread writer([&] {
    for (std::size_t at = 0; at < bytes.size(); at += 64) {
      const std::size_t n = std::min<std::size_t>(64, bytes.size() - at);
      if (write(fds[1], bytes.data() + at, n) != static_cast<ssize_t>(n)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    close(fds[1]);
  });
  std::atomic<bool> done = false;
  const pthread_t reader = pthread_self();
  std::thread signaller([&] {
    while (!done) {
      pthread_kill(reader, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  CountingSource source(fds[0]);
  ScanState state;
  const ScanOutcome outcome = ScanTag(source, state);
  done = true;
  signaller.join();
  writer.join();
  close(fds[0]);
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(outcome, ScanOutcome::Complete);
  EXPECT_GT(source.interrupted(), 0);
  EXPECT_TRUE(state.result == ScanOf(bytes));
}

TEST(ScanTag, DoesNotWaitForBytesAfterTheMarker) {
  std::string bytes = testing::SongBytes();
  bytes.resize(bytes.find("LAME3") + 5);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  // The write end stays open: a scan that read on would block here.
  ScanState state;
  EXPECT_EQ(ScanTag(fds[0], state), ScanOutcome::Complete);
  EXPECT_TRUE(state.ended);
  close(fds[0]);
  close(fds[1]);
}

TEST(ScanTag, ReadsNoMoreThanTheWindow) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const std::string bytes(3 * kWindowSize, 'a');
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  std::fflush(file);
  const int fd = fileno(file);
  lseek(fd, 0, SEEK_SET);
  ScanState state;
  EXPECT_EQ(ScanTag(fd, state), ScanOutcome::Complete);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), static_cast<off_t>(kWindowSize));
  std::fclose(file);
}

TEST(ScanTag, ReportsAFailedRead) {
  const int fd = open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  ScanState state;
  EXPECT_EQ(ScanTag(fd, state), ScanOutcome::CannotRead);
  close(fd);
}

}  // namespace
}  // namespace id3sniff
