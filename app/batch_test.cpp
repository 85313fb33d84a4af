// Runs the built id3sniff-batch and holds it to what id3sniff writes for each file alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.hpp"
#include "app/version.hpp"
#include "scan/scan_tag.hpp"
#include "test_support/run_tool.hpp"
#include "test_support/stalling_fifo.hpp"
#include "test_support/tag_bytes.hpp"
#include "test_support/temp_dir.hpp"

namespace id3sniff {
namespace {

using namespace std::string_literals;
using testing::RunTool;
using testing::StdoutTarget;
using testing::ToolOptions;
using testing::ToolRun;

ToolOptions Batch(StdoutTarget target = StdoutTarget::Pipe) {
  ToolOptions options;
  options.program = testing::BatchPath();
  options.argv0 = "id3sniff-batch";
  options.stdout_target = target;
  return options;
}

std::string Usage() {
  return "Usage: id3sniff-batch [OPTION]... FILE...\n"
         "Writes the report of each FILE in turn, as id3sniff FILE writes it for one file.\n"
         "Options (before the first FILE; -- ends them):\n"
         "\t -j,--jobs=N\t\tRead at most N files at once, 1 to 1024 (default 64)\n"
         "\t -r,--recursive\t\tWalk each FILE that is a folder: its *.mp3 files, in order\n"
         "\t --files0-from=F\tRead the names from F, each ended by NUL (-: standard input)\n"
         "\t --json\t\t\tWrite one JSON object per file (JSON Lines)\n"
         "\t --progress\t\tShow a progress line on standard error\n"
         "\t --no-progress\t\tShow none, even when standard error is a terminal\n"
         "\t -h,--help\t\tShow this help message and exit\n"
         "\t -v,--version\t\tDisplay version information and exit\n";
}

// What standard error says of a file that could not be opened or read.
std::string Failed(const std::string& path, int error) {
  return "id3sniff-batch: " + path + ": " + std::strerror(error) + "\n";
}

std::string UsageError(const std::string& what) {
  return "id3sniff-batch: " + what + "\nTry 'id3sniff-batch --help' for more information.\n";
}

TEST(Batch, AnswersItsOptionsBeforeTheFirstFile) {
  // The files are named from their folder, where the batch runs: one of them is named -v.
  const testing::TempDir dir;
  const std::string song = "song.mp3";
  dir.WriteFile(song, testing::SongBytes());
  dir.WriteFile("-v", testing::SongBytes());
  const std::string version = "Version: " + std::string(kVersion) + "\n";
  const std::string header = "ID3v2 (2.4) tag info for ";
  ToolOptions in_folder;
  in_folder.working_dir = dir.path();
  const std::string song_report = RunTool({song}, in_folder).out;
  const std::string dash_v_report = header + "-v" + song_report.substr(header.size() + song.size());
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{}, kExitUsage, "", Usage()},
      {{"-j", "4"}, kExitUsage, "", Usage()},
      {{"-h", song}, kExitOk, "", Usage()},
      {{"--help"}, kExitOk, "", Usage()},
      {{"-j2", "-v", song}, kExitOk, "", version},
      {{"--version"}, kExitOk, "", version},
      {{"--jobs=3", song}, kExitOk, song_report, ""},
      // After the first file, or after --, an option is a path like any other.
      {{song, "-v"}, kExitOk, song_report + dash_v_report, ""},
      {{"--", "-v"}, kExitOk, dash_v_report, ""},
      {{"-x", song}, kExitUsage, "", UsageError("invalid option -- 'x'")},
      {{"--frobnicate", song}, kExitUsage, "", UsageError("unrecognized option '--frobnicate'")},
      {{"-j"}, kExitUsage, "", UsageError("option requires an argument -- 'j'")},
      {{"--jobs"}, kExitUsage, "", UsageError("option '--jobs' requires an argument")},
      {{"--files0-from=-", song},
       kExitUsage,
       "",
       UsageError("extra operand 'song.mp3': file operands cannot be combined with --files0-from")},
  };
  std::vector<Case> all = cases;
  for (const std::string jobs : {"0", "1025", "", "4x", "-1", "+4", " 4", "99999999999"}) {
    std::string what = "invalid number of jobs: '";
    what += jobs;
    what += "' (give 1 to 1024)";
    all.push_back({{"-j", jobs, song}, kExitUsage, "", UsageError(what)});
  }
  ToolOptions options = Batch();
  options.working_dir = dir.path();
  for (const Case& c : all) {
    const ToolRun run = RunTool(c.args, options);
    std::string shown;
    for (const std::string& arg : c.args) shown += "[" + arg + "]";
    EXPECT_EQ(run.status, c.status) << shown;
    EXPECT_EQ(run.out, c.out) << shown;
    EXPECT_EQ(run.err, c.err) << shown;
  }
}

// Each file's bytes and what id3sniff makes of them alone.
TEST(Batch, WritesWhatIdSniffWritesForEachFileInTurn) {
  const testing::TempDir dir;
  std::string long_txxx;  // a report of more than 4096 bytes
  for (int i = 0; i < 3; ++i) {
    long_txxx +=
        testing::TextFrame("TXXX", "comment\0"s + std::string(2000, static_cast<char>('a' + i)));
  }
  std::string stalls = testing::SongBytes();
  stalls.resize(stalls.find("LAME3") + 5);
  const testing::StallingFifo fifo(dir, "");
  const std::vector<std::string> paths = {
      dir.WriteFile("song.mp3", testing::SongBytes()),
      dir.path() + "/missing.mp3",
      dir.path(),
      dir.WriteFile("empty.mp3", ""),
      fifo.path(),
      dir.WriteFile("long.mp3", testing::Tag(long_txxx + testing::TextFrame("TALB", "x"), 10)),
      dir.WriteFile("c1 \xC2\x9B.mp3",
                    testing::Tag(testing::TextFrame("TIT2", "\x1B[2J\xC2\x9B\x9B"), 0)),
      dir.WriteFile("after.mp3", testing::Tag(testing::TextFrame("TPE1", "After"), 0)),
  };
  const std::string errors = Failed(paths[1], ENOENT) + Failed(paths[2], EISDIR);
  for (const StdoutTarget target : {StdoutTarget::Pipe, StdoutTarget::Terminal}) {
    if (target == StdoutTarget::Terminal && !testing::WhyNoTerminal().empty()) continue;
    ToolOptions single;
    single.stdout_target = target;
    std::string expected;
    for (const std::string& path : paths) {
      fifo.Fill(stalls);
      const ToolRun run = RunTool({path}, single);
      expected += run.out;
    }
    EXPECT_GT(expected.size(), 4096u + 1000u);
    // One file at a time, and many at once: the files then finish in any order.
    for (const std::string jobs : {"-j1", "-j64"}) {
      std::vector<std::string> args = {jobs};
      args.insert(args.end(), paths.begin(), paths.end());
      fifo.Fill(stalls);
      const ToolRun batch = RunTool(args, Batch(target));
      EXPECT_EQ(batch.status, kExitFailure) << jobs;
      EXPECT_EQ(batch.out, expected) << jobs;
      EXPECT_EQ(batch.err, errors) << jobs;
    }
  }
}

// A TXXX frame of more than 100 bytes.
std::string Txxx100() { return testing::TextFrame("TXXX", "comment\0"s + std::string(120, 'x')); }

// Many files, varied, each named several times so that every one follows every other, and what
// id3sniff writes for each alone. Some leave a frame open at the end of the window, one captures
// nothing: a file that followed them would show what a state carried over.
struct Library {
  std::vector<std::string> paths;
  std::vector<std::string> reports;  // what id3sniff writes for each path
  std::string errors;                // what id3sniff-batch writes of them on standard error

  std::string AllReports() const {
    std::string all;
    for (const std::string& report : reports) all += report;
    return all;
  }
};

Library MakeLibrary(const testing::TempDir& dir, std::size_t count) {
  using testing::Tag;
  using testing::TextFrame;
  const std::vector<std::string> files = {
      dir.WriteFile("song.mp3", testing::SongBytes()),
      dir.WriteFile("artist.mp3", Tag(TextFrame("TPE1", "Artist"), 0)),
      dir.path() + "/missing.mp3",
      dir.path(),
      dir.WriteFile("zeros.mp3", std::string(kWindowSize, '\0')),
      dir.WriteFile("padded.mp3", Tag(TextFrame("TALB", "Album") + TextFrame("TPE1", "x"), 17000)),
      dir.WriteFile("txxx.mp3", Tag(TextFrame("TXXX", "comment\0x"s), 17000)),
  };
  std::vector<std::string> singles;
  singles.reserve(files.size());
  for (const std::string& file : files) singles.push_back(RunTool({file}).out);
  Library library;
  library.paths.reserve(count);
  library.reports.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    // Every pair in turn: (0, 0), (0, 1), ..., (1, 0), ...
    const std::size_t pair = i / 2 % (files.size() * files.size());
    const std::size_t file = i % 2 == 0 ? pair / files.size() : pair % files.size();
    library.paths.push_back(files[file]);
    library.reports.push_back(singles[file]);
    if (file == 2 || file == 3) library.errors += Failed(files[file], file == 2 ? ENOENT : EISDIR);
  }
  return library;
}

// A FIFO whose writer comes late, early in a long list: the run waits for it and writes every
// report, in order, whatever finished first.
TEST(Batch, WaitsForAFileThatStallsAndKeepsTheOrder) {
  const testing::TempDir dir;
  const Library library = MakeLibrary(dir, 300);
  const std::string fifo = dir.path() + "/late";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  const std::string bytes = testing::SongBytes();
  std::jthread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int fd = open(fifo.c_str(), O_WRONLY);
    if (fd >= 0) {
      EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
      close(fd);
    }
  });
  std::vector<std::string> args = {"-j", "64", library.paths[0], fifo};
  args.insert(args.end(), library.paths.begin() + 1, library.paths.end());
  const ToolRun run = RunTool(args, Batch());
  writer.join();
  const std::string song = dir.path() + "/song.mp3";
  std::string fifo_report = RunTool({song}).out;
  fifo_report.replace(fifo_report.find(song), song.size(), fifo);
  const std::string all = library.AllReports();
  const std::size_t first = library.reports[0].size();
  EXPECT_EQ(run.out, all.substr(0, first) + fifo_report + all.substr(first));
  EXPECT_EQ(run.status, kExitFailure);  // the missing file and the folder
}

TEST(Batch, StopsWhenTheReportCannotBeWritten) {
  const testing::TempDir dir;
  const Library library = MakeLibrary(dir, 300);
  // Nothing ever ends this FIFO's bytes: a batch that went on after the failed write, or waited
  // for a reader stuck on it, would wait until the test's time ran out.
  const testing::StallingFifo endless(dir, "TIT2");
  for (const std::string jobs : {"-j1", "-j64"}) {
    std::vector<std::string> args = {jobs, library.paths[0], endless.path()};
    args.insert(args.end(), library.paths.begin(), library.paths.end());
    const ToolRun run = RunTool(args, Batch(StdoutTarget::DevFull));
    EXPECT_EQ(run.status, kExitFailure) << jobs;
    EXPECT_EQ(run.err, "Unable to write report\n") << jobs;
  }
}

// With few descriptors to spare, fewer files are read at once, and every report is still right.
TEST(Batch, ReadsFewerFilesAtOnceThanItMayOpen) {
  const testing::TempDir dir;
  const Library library = MakeLibrary(dir, 300);
  ToolOptions options = Batch();
  options.open_files_limit = 32;
  // One file at a time, every file closed after its scan, or else the limit is reached soon.
  for (const std::string jobs : {"1", "64"}) {
    std::vector<std::string> args = {"-j", jobs};
    args.insert(args.end(), library.paths.begin(), library.paths.end());
    const ToolRun run = RunTool(args, options);
    EXPECT_EQ(run.out, library.AllReports()) << jobs;
    EXPECT_EQ(run.status, kExitFailure) << jobs;
    // How many fit depends on the descriptors the process was started with.
    const std::size_t fitted = jobs == "1" ? 0 : run.err.find('\n') + 1;
    EXPECT_EQ(run.err.substr(fitted), library.errors) << jobs;
    if (jobs != "1") {
      EXPECT_EQ(run.err.rfind("id3sniff-batch: reading ", 0), 0u) << run.err;
      EXPECT_TRUE(run.err.substr(0, fitted).ends_with(" files may be open (ulimit -n)\n"));
    }
  }
}

// A file whose read fails is "Unable to read file", with status 1, and the next is reported as
// if alone.
TEST(Batch, SaysWhenAFileCannotBeRead) {
  const std::string why_not = testing::WhyNoReadFailure();
  if (!why_not.empty()) GTEST_SKIP() << why_not;
  const testing::TempDir dir;
  // The first read delivers the 100 bytes, inside a TXXX frame; the second, for the rest of
  // the window, fails. Reads from memory (preadv2) are not made to fail: -j 1 reads with read.
  const std::string cut = dir.WriteFile("cut.mp3", testing::Tag(Txxx100(), 0).substr(0, 100));
  const std::string song = dir.WriteFile("song.mp3", testing::SongBytes());
  ToolOptions options = Batch();
  options.fail_reads_of = kWindowSize - 100;
  const ToolRun run = RunTool({"-j", "1", song, cut, song}, options);
  const std::string report = RunTool({song}).out;
  EXPECT_EQ(run.out, report + "Unable to read file\n" + report);
  EXPECT_EQ(run.err, Failed(cut, EIO));
  EXPECT_EQ(run.status, kExitFailure);
}

// Two batches writing to one pipe, as under xargs -P: every report arrives whole.
TEST(Batch, NeverInterleavesReportsOfTwoProcessesOnOnePipe) {
  const testing::TempDir dir;
  const std::vector<std::string> files = {dir.WriteFile("a.mp3", testing::SongBytes()),
                                          dir.WriteFile("b.mp3", testing::SongBytes())};
  std::vector<std::vector<std::string>> runs(2);
  std::vector<std::string> reports;
  for (std::size_t i = 0; i < files.size(); ++i) {
    runs[i].assign(300, files[i]);
    reports.push_back(RunTool({files[i]}).out);
  }
  const ToolRun together = testing::RunTogether(runs, Batch());
  EXPECT_EQ(together.status, kExitOk);
  std::size_t whole = 0;
  for (std::size_t at = 0; at < together.out.size();) {
    const std::string& next =
        together.out.compare(at, reports[0].size(), reports[0]) == 0 ? reports[0] : reports[1];
    ASSERT_EQ(together.out.compare(at, next.size(), next), 0) << "at byte " << at;
    at += next.size();
    ++whole;
  }
  EXPECT_EQ(whole, 600u);
}

}  // namespace
}  // namespace id3sniff
