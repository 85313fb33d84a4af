// Runs the built binary on inputs that come from anywhere: devices, FIFOs that stall, huge
// sparse files, odd paths.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "test_support/run_tool.hpp"
#include "test_support/stalling_fifo.hpp"
#include "test_support/tag_bytes.hpp"
#include "test_support/temp_dir.hpp"

namespace id3sniff {
namespace {

using testing::RunTool;
using testing::StallingFifo;
using testing::ToolRun;

std::string Header(const std::string& path) { return "ID3v2 (2.4) tag info for " + path + "\n"; }

// The report of a file with no Printable or High byte in its first 16384 bytes.
std::string QuietReport(const std::string& path) { return Header(path) + "\n"; }

// The report of an empty file: every placeholder, nothing else.
std::string EmptyFileReport(const std::string& path) {
  return Header(path) +
         "(Date)   TYER = noDate\n(Album)  TALB = noAlbum\n(Title)  TIT2 = noTitle\n"
         "(Artist) TPE1 = noArtist\n(TSSE)   TSSE = noTSSE\n(APIC)   APIC = noAPIC\n\n";
}

TEST(BadInput, ReadsDevicesWithinTheWindow) {
  struct Case {
    std::string path;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"/dev/null", EmptyFileReport("/dev/null")},
      {"/dev/zero", QuietReport("/dev/zero")},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool({c.path});
    EXPECT_EQ(run.status, kExitOk) << c.path;
    EXPECT_EQ(run.out, c.out) << c.path;
    EXPECT_EQ(run.err, "") << c.path;
  }
  const ToolRun random = RunTool({"/dev/urandom"});
  EXPECT_EQ(random.status, kExitOk);
  EXPECT_EQ(random.out.rfind(Header("/dev/urandom"), 0), 0u);
  EXPECT_TRUE(random.out.ends_with("\n\n"));
  EXPECT_EQ(random.err, "");
}

TEST(BadInput, ReportsAFifoThatStallsAfterTheMarker) {
  const testing::TempDir dir;
  std::string bytes = testing::SongBytes();
  bytes.resize(bytes.find("LAME3") + 5);
  const StallingFifo fifo(dir, bytes);
  const ToolRun run = RunTool({fifo.path()});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_NE(run.out.find("(TXXX)2/2TXXX = Comment = Ripped\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");
}

// The window's size is written out here rather than taken from the program, so that a change
// to it shows: 16484 bytes are offered through a FIFO each time, and exactly 100 stay unread.
TEST(BadInput, ScansExactlyTheFirst16384Bytes) {
  const std::string lavc_ending_at_16384 = "TXXX" + std::string(16384 - 8, '\0') + "Lavc";
  const std::string lavc_ending_at_16385 = "TXXX" + std::string(16385 - 8, '\0') + "Lavc";
  // After the identifier's printable bytes every field holds its placeholder.
  const std::string placeholders = EmptyFileReport("").substr(Header("").size());
  struct Case {
    const char* what;
    std::string bytes;
    std::string txxx_line;  // printed before the final empty line
  };
  const std::vector<Case> cases = {
      {"nothing captured", std::string(16484, '\0'), ""},
      // The marker stops the scan and ends the TXXX frame, which is printed whole.
      {"a marker ending at byte 16384", lavc_ending_at_16384 + std::string(100, 'x'),
       "(TXXX)1/1TXXX = TXXXLavc\n"},
      // "TXXXLav" is left, too short to print.
      {"a marker ending at byte 16385", lavc_ending_at_16385 + std::string(99, 'x'), ""},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.bytes.size(), 16484u) << c.what;
    const testing::TempDir dir;
    const StallingFifo fifo(dir, c.bytes);
    const ToolRun run = RunTool({fifo.path()});
    EXPECT_EQ(run.status, kExitOk) << c.what;
    const std::string expected =
        c.bytes[0] == '\0' ? QuietReport(fifo.path())
                           : Header(fifo.path()) + placeholders.substr(0, placeholders.size() - 1) +
                                 c.txxx_line + "\n";
    EXPECT_EQ(run.out, expected) << c.what;
    EXPECT_EQ(fifo.Unread(), 100u) << c.what;
  }
}

TEST(BadInput, ReadsOnlyTheStartOfAHugeSparseFile) {
  const testing::TempDir dir;
  const std::string path = dir.WriteFile("huge.mp3", "");
  // 8 GiB of holes: past what a 32-bit offset can reach.
  if (truncate(path.c_str(), off_t{8} << 30) != 0) {
    GTEST_SKIP() << "this file system cannot hold an 8 GiB sparse file";
  }
  const ToolRun run = RunTool({path});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.out, QuietReport(path));
}

TEST(BadInput, CarriesAnyPathUnchangedToAPipe) {
  const testing::TempDir dir;
  const std::string path = dir.WriteFile("a b\nc\xFF\xFE\x1B.mp3", "");
  const ToolRun run = RunTool({path});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.out, EmptyFileReport(path));
}

}  // namespace
}  // namespace id3sniff
