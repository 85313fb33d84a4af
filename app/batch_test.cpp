// Runs the built id3sniff-batch and holds it to what id3sniff writes for each file alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "app/version.hpp"
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
  return "Usage: id3sniff-batch FILE...\n"
         "Writes the report of each FILE in turn, as id3sniff FILE writes it for one file.\n"
         "Options (as the first argument only):\n"
         "\t -h,--help\t\tShow this help message and exit\n"
         "\t -v,--version\t\tDisplay version information and exit\n";
}

TEST(Batch, AnswersItsOptionsAsTheFirstArgumentOnly) {
  const testing::TempDir dir;
  const std::string song = dir.WriteFile("song.mp3", testing::SongBytes());
  const std::string version = "Version: " + std::string(kVersion) + "\n";
  const std::string song_report = RunTool({song}).out;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{}, kExitUsage, "", Usage()},
      {{"-h", song}, kExitOk, "", Usage()},
      {{"--help"}, kExitOk, "", Usage()},
      {{"-v", song}, kExitOk, "", version},
      {{"--version"}, kExitOk, "", version},
      // Later, an option is a path like any other.
      {{song, "-v"}, kExitFailure, song_report + "Unable to open file\n", ""},
      {{song, song}, kExitOk, song_report + song_report, ""},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool(c.args, Batch());
    const std::string shown = c.args.empty() ? "(none)" : c.args[0];
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
    fifo.Fill(stalls);
    const ToolRun batch = RunTool(paths, Batch(target));
    EXPECT_EQ(batch.status, kExitFailure);
    EXPECT_EQ(batch.out, expected);
    EXPECT_EQ(batch.err, "");
  }
}

TEST(Batch, StopsWhenTheReportCannotBeWritten) {
  const testing::TempDir dir;
  const std::string song = dir.WriteFile("song.mp3", testing::SongBytes());
  // Nothing ever ends this FIFO's bytes: a batch that went on after the failed write would wait
  // on it until the test's time ran out.
  const testing::StallingFifo endless(dir, "TIT2");
  const ToolRun run = RunTool({song, endless.path()}, Batch(StdoutTarget::DevFull));
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_EQ(run.err, "Unable to write report\n");
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
