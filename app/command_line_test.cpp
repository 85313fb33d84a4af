#include "app/command_line.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/version.hpp"
#include "test_support/run_tool.hpp"
#include "test_support/tag_bytes.hpp"
#include "test_support/temp_dir.hpp"

namespace id3sniff {
namespace {

using testing::RunTool;
using testing::StdoutTarget;
using testing::ToolOptions;
using testing::ToolRun;

std::string Usage(const std::string& name) {
  return "Usage: " + name + " <option(s)>\nOptions:\n" +
         "\t -h,--help\t\tShow this help message and exit\n" +
         "\t -v,--version\t\tDisplay version information and exit\n\n" + "\t For example:\n" +
         "\t " + name + " File.mp3\n\n";
}

class CommandLine : public ::testing::Test {
 protected:
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    return dir_.WriteFile(name, bytes);
  }

  testing::TempDir dir_;
};

struct OptionCase {
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
};

TEST_F(CommandLine, AnswersEachFirstArgument) {
  const std::string song = WriteFile("song.mp3", testing::SongBytes());
  const std::string version = "Version: " + std::string(kVersion) + "\n";
  const std::string unable = "Unable to open file\n";
  const std::vector<OptionCase> cases = {
      {{}, kExitUsage, "", Usage("id3sniff")},
      {{"-h"}, kExitOk, "", Usage("id3sniff")},
      {{"--help"}, kExitOk, "", Usage("id3sniff")},
      {{"--help", song}, kExitOk, "", Usage("id3sniff")},
      {{"-v"}, kExitOk, "", version},
      {{"--version"}, kExitOk, "", version},
      {{"-v", "extra"}, kExitOk, "", version},
      // Options are whole strings with exact case; anything else names a file.
      {{"-help"}, kExitFailure, unable, ""},
      {{"-V"}, kExitFailure, unable, ""},
      {{"--Version"}, kExitFailure, unable, ""},
      {{"--version "}, kExitFailure, unable, ""},
      {{""}, kExitFailure, unable, ""},
      {{dir_.path() + "/missing.mp3"}, kExitFailure, unable, ""},
      {{dir_.path()}, kExitFailure, unable, ""},
  };
  for (const OptionCase& c : cases) {
    const std::string shown = c.args.empty() ? "(none)" : c.args[0];
    const ToolRun run = RunTool(c.args);
    EXPECT_EQ(run.status, c.status) << shown;
    EXPECT_EQ(run.out, c.out) << shown;
    EXPECT_EQ(run.err, c.err) << shown;
  }
}

TEST_F(CommandLine, ExaminesTheFirstArgumentAndIgnoresTheRest) {
  const std::string song = WriteFile("song.mp3", testing::SongBytes());
  const ToolRun alone = RunTool({song});
  const ToolRun followed = RunTool({song, "-v", "--help"});
  EXPECT_EQ(alone.status, kExitOk);
  EXPECT_EQ(alone.err, "");
  EXPECT_EQ(alone.out.rfind("ID3v2 (2.4) tag info for " + song + "\n", 0), 0u) << alone.out;
  EXPECT_EQ(followed.status, alone.status);
  EXPECT_EQ(followed.out, alone.out);
  EXPECT_EQ(followed.err, "");
}

TEST_F(CommandLine, RepeatsTheInvocationNameInTheUsage) {
  if (testing::ToolIsWrapped()) GTEST_SKIP() << "the wrapper names the tool itself";
  ToolOptions options;
  options.argv0 = "./bin/id3 sniff";
  EXPECT_EQ(RunTool({}, options).err, Usage("./bin/id3 sniff"));
  // Started without a name, it still names itself.
  options.argv0 = "";
  EXPECT_EQ(RunTool({"--help"}, options).err, Usage("id3sniff"));
  options.empty_argv = true;
  const ToolRun run = RunTool({}, options);
  EXPECT_EQ(run.status, kExitUsage);
  EXPECT_EQ(run.err, Usage("id3sniff"));
  options.program = testing::BatchPath();
  EXPECT_EQ(RunTool({}, options).err.rfind("Usage: id3sniff-batch [OPTION]... FILE...\n", 0), 0u);
}

// A file its reader may not read cannot be opened, and one it may read but not write is
// reported: both programs open files for reading only. As root, the files are read as nobody.
TEST_F(CommandLine, OpensFilesForReadingOnly) {
  const std::string why_not = testing::WhyNoPrivilegeDrop();
  if (!why_not.empty()) GTEST_SKIP() << why_not;
  const std::string locked = WriteFile("locked.mp3", testing::SongBytes());
  chmod(locked.c_str(), 0);
  const std::string read_only = WriteFile("read-only.mp3", testing::SongBytes());
  chmod(read_only.c_str(), 0444);
  const std::string report = RunTool({read_only}).out;
  for (const std::string& program : {testing::ToolPath(), testing::BatchPath()}) {
    ToolOptions options;
    options.program = program;
    if (geteuid() == 0) {
      options.drop_privileges = true;
      // Run as nobody, the program is run from the test's own folder, which every user can
      // reach: the build may lie in a home folder that only its owner can enter.
      options.program = dir_.path() + "/" + std::filesystem::path(program).filename().string();
      std::filesystem::copy_file(program, options.program);
    }
    const ToolRun run = RunTool({locked}, options);
    EXPECT_EQ(run.status, kExitFailure) << program;
    EXPECT_EQ(run.out, "Unable to open file\n") << program;
    EXPECT_EQ(run.err, program == testing::ToolPath()
                           ? ""
                           : "id3sniff-batch: " + locked + ": " + std::strerror(EACCES) + "\n")
        << program;
    const ToolRun readable = RunTool({read_only}, options);
    EXPECT_EQ(readable.status, kExitOk) << program;
    EXPECT_EQ(readable.out, report) << program;
  }
}

// With standard input closed, the file opened first is descriptor 0, and is a file like another.
TEST_F(CommandLine, ReportsAFileOpenedAsDescriptorZero) {
  const std::string song = WriteFile("song.mp3", testing::SongBytes());
  const std::string report = RunTool({song}).out;
  for (const std::string& program : {testing::ToolPath(), testing::BatchPath()}) {
    ToolOptions options;
    options.program = program;
    options.close_stdin = true;
    const ToolRun run = RunTool({song}, options);
    EXPECT_EQ(run.status, kExitOk) << program;
    EXPECT_EQ(run.out, report) << program;
  }
}

TEST_F(CommandLine, MakesNoReportFromAFailedFirstRead) {
  // Reading a process's memory at offset 0 fails with an I/O error, here as in the program.
  char byte = 0;
  const int fd = open("/proc/self/mem", O_RDONLY);
  const bool fails = fd >= 0 && pread(fd, &byte, 1, 0) < 0 && errno == EIO;
  if (fd >= 0) close(fd);
  if (!fails) GTEST_SKIP() << "reading /proc/self/mem at offset 0 does not fail with EIO here";
  const ToolRun run = RunTool({"/proc/self/mem"});
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_EQ(run.out, "Unable to read file\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(CommandLine, MakesNoReportFromAReadThatFailsAfterSomeBytes) {
  const std::string why_not = testing::WhyNoSystemCallFilter();
  if (!why_not.empty()) GTEST_SKIP() << why_not;
  // The first read delivers the file's 100 bytes, which hold no end marker; the second, asking
  // for the rest of the 16384-byte window, fails.
  const std::string path = WriteFile("short.mp3", testing::SongBytes().substr(0, 100));
  ToolOptions options;
  options.fail_reads_of = 16384 - 100;
  const ToolRun run = RunTool({path}, options);
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_EQ(run.out, "Unable to read file\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(CommandLine, SaysSoWhenTheReportCannotBeWritten) {
  const std::string song = WriteFile("song.mp3", testing::SongBytes());
  for (StdoutTarget target : {StdoutTarget::DevFull, StdoutTarget::Closed}) {
    // With standard output closed, the file opened next is descriptor 1: a wrapper's log file,
    // which would take the report, or else the program's input, which it must close unwritten.
    if (target == StdoutTarget::Closed && testing::ToolIsWrapped()) continue;
    ToolOptions options;
    options.stdout_target = target;
    const ToolRun run = RunTool({song}, options);
    EXPECT_EQ(run.status, kExitFailure);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Unable to write report\n");
  }
}

TEST_F(CommandLine, MasksControlCharactersOnATerminalOnly) {
  const std::string why_not = testing::WhyNoTerminal();
  if (!why_not.empty()) GTEST_SKIP() << why_not;
  // A TXXX value that would clear the screen and retitle the window, in a file whose name holds
  // an escape byte too: 7-bit controls, 0x7F, a C1 control-sequence introducer as UTF-8 and as
  // a raw byte, then UTF-8 text (é, É, Ł, 日).
  const std::string text =
      "\x1B[2J\x1B]0;gotcha\x07\x7F\xC2\x9B"
      "2J\x9B"
      "0mCaf\xC3\xA9 \xC3\x89 \xC5\x81 \xE6\x97\xA5";
  const std::string path =
      WriteFile("t\x1B[1m.mp3",
                testing::Tag(testing::TextFrame("TXXX", "comment" + std::string(1, '\0') + text) +
                                 testing::TextFrame("TPE1", "Me"),
                             0));
  const ToolRun piped = RunTool({path});
  EXPECT_EQ(piped.status, kExitOk);
  EXPECT_NE(piped.out.find("ID3v2 (2.4) tag info for " + path + "\n"), std::string::npos);
  EXPECT_NE(piped.out.find("(TXXX)1/1TXXX = Comment = " + text + "\n"), std::string::npos)
      << piped.out;

  ToolOptions options;
  options.stdout_target = StdoutTarget::Terminal;
  const ToolRun shown = RunTool({path}, options);
  EXPECT_EQ(shown.status, kExitOk);
  std::string masked_path = path;
  masked_path[masked_path.find('\x1B')] = '?';
  EXPECT_NE(shown.out.find("ID3v2 (2.4) tag info for " + masked_path + "\n"), std::string::npos)
      << shown.out;
  EXPECT_NE(shown.out.find("(TXXX)1/1TXXX = Comment = ?[2J?]0;gotcha???2J?0mCaf\xC3\xA9 "
                           "\xC3\x89 \xC5\x81 \xE6\x97\xA5\n"),
            std::string::npos)
      << shown.out;
  EXPECT_EQ(shown.out.find('\x1B'), std::string::npos);
  // Apart from the masked characters the two reports are the same, line for line.
  EXPECT_EQ(std::count(shown.out.begin(), shown.out.end(), '\n'),
            std::count(piped.out.begin(), piped.out.end(), '\n'));
}

}  // namespace
}  // namespace id3sniff
