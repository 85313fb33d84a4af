// Runs the built id3sniff-batch and holds it to what id3sniff writes for each file alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/command_line.hpp"
#include "app/version.hpp"
#include "scan/scan_tag.hpp"
#include "test_support/base64.hpp"
#include "test_support/json.hpp"
#include "test_support/run_tool.hpp"
#include "test_support/stalling_fifo.hpp"
#include "test_support/tag_bytes.hpp"
#include "test_support/tag_writer.hpp"
#include "test_support/temp_dir.hpp"

namespace id3sniff {
namespace {

using namespace std::string_literals;
using testing::DecodeBase64;
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
         "\t -j,--jobs=N\t\tRead at most N files at once, 1 to 1024 (default 32)\n"
         "\t -r,--recursive\t\tWalk each FILE that is a folder: its *.mp3 files, in order\n"
         "\t --files0-from=F\tRead the names from F, each ended by NUL (-: standard input)\n"
         "\t --decode\t\tRead each tag from its structure: its real values\n"
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

// The hints that follow the first failure of their kind.
const std::string kFolderHint = "id3sniff-batch: use -r to read the MP3 files in a folder\n";
const std::string kOptionHint = "id3sniff-batch: options go before the files; '--' ends them\n";

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
      // Asked for, the usage and the version go to standard output, for a pager.
      {{"-h", song}, kExitOk, Usage(), ""},
      {{"--help"}, kExitOk, Usage(), ""},
      {{"-j2", "-v", song}, kExitOk, version, ""},
      {{"--version"}, kExitOk, version, ""},
      {{"--jobs=3", song}, kExitOk, song_report, ""},
      // A FILE spelled like an option gets a hint, once; lists that cannot be read.
      {{song, "-r", "--json"},
       kExitFailure,
       song_report + "Unable to open file\n" + "Unable to open file\n",
       "id3sniff-batch: -r: No such file or directory\n" + kOptionHint +
           "id3sniff-batch: --json: No such file or directory\n"},
      {{"--files0-from=.", "-j", "2"}, kExitFailure, "", "id3sniff-batch: .: Is a directory\n"},
      {{"--files0-from=missing"},
       kExitFailure,
       "",
       "id3sniff-batch: cannot open 'missing' for reading: No such file or directory\n"},
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
  // The most files at once is allowed; where the limit on open files is lower, fewer are read
  // at once, and a line says so.
  const ToolRun most = RunTool({"-j", "1024", song}, options);
  EXPECT_EQ(most.status, kExitOk);
  EXPECT_EQ(most.out, song_report);
  EXPECT_TRUE(most.err.empty() || most.err.starts_with("id3sniff-batch: reading ")) << most.err;
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
  const std::string errors = Failed(paths[1], ENOENT) + Failed(paths[2], EISDIR) + kFolderHint;
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
    if (file == 3 && library.errors.find(kFolderHint) == std::string::npos) {
      library.errors += kFolderHint;
    }
  }
  return library;
}

// A FIFO whose writer comes late and leaves soon, early in a long list: the run waits for it and
// writes every report, in order, whatever finished first; also when no thread can be started, and
// the one there is waits for the FIFO.
TEST(Batch, WaitsForAFileThatStallsAndKeepsTheOrder) {
  const testing::TempDir dir;
  const Library library = MakeLibrary(dir, 300);
  const std::string fifo = dir.path() + "/late";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  // A tag cut short: the scan reads on to the writer's end, the end of the file.
  std::string bytes = testing::SongBytes();
  bytes.resize(64);
  const std::string short_song = dir.WriteFile("short.mp3", bytes);
  std::string fifo_report = RunTool({short_song}).out;
  fifo_report.replace(fifo_report.find(short_song), short_song.size(), fifo);
  const std::string all = library.AllReports();
  const std::size_t first = library.reports[0].size();
  const std::string why_not = testing::WhyNoSystemCallFilter();
  for (const bool threads : {true, false}) {
    if (!threads && !why_not.empty()) GTEST_SKIP() << "threads are always there: " << why_not;
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
    ToolOptions options = Batch();
    options.no_threads = !threads;
    const ToolRun run = RunTool(args, options);
    writer.join();
    EXPECT_EQ(run.out, all.substr(0, first) + fifo_report + all.substr(first)) << threads;
    EXPECT_EQ(run.status, kExitFailure) << threads;  // the missing file and the folder
  }
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
  // One file at a time, every file closed after its scan, or else the limit is reached soon;
  // with 6, what is left beside the standard streams and the engine's stop is 2 files at once.
  // valgrind keeps descriptors of its own, and tells the program a lower limit: 6 leaves it
  // none. UndefinedBehaviorSanitizer's runtime needs a pipe to check a pointer, and with no
  // descriptor left reports a false error.
#if defined(__SANITIZE_ADDRESS__)
  constexpr bool kSanitized = true;
#else
  constexpr bool kSanitized = false;
#endif
  for (const unsigned limit : {32u, 6u}) {
    if (limit == 6 && (testing::ToolIsWrapped() || kSanitized)) continue;
    ToolOptions options = Batch();
    options.open_files_limit = limit;
    for (const std::string jobs : {"1", "64"}) {
      std::vector<std::string> args = {"-j", jobs};
      args.insert(args.end(), library.paths.begin(), library.paths.end());
      const ToolRun run = RunTool(args, options);
      EXPECT_EQ(run.out, library.AllReports()) << jobs << " " << limit;
      EXPECT_EQ(run.status, kExitFailure) << jobs;
      // How many fit depends on the descriptors the process was started with: at least three.
      const std::size_t line_end = jobs == "1" ? 0 : run.err.find('\n') + 1;
      EXPECT_EQ(run.err.substr(line_end), library.errors) << jobs << " " << limit;
      if (jobs == "1") continue;
      const std::string prefix = "id3sniff-batch: reading ";
      const std::string line = run.err.substr(0, line_end);
      const std::string rest = " files at once, not 64: at most ";
      ASSERT_TRUE(line.starts_with(prefix) && line.find(rest) != std::string::npos &&
                  line.ends_with(" files may be open (ulimit -n)\n"))
          << line;
      const int fitted = std::stoi(line.substr(prefix.size()));
      const int seen_limit = std::stoi(line.substr(line.find(rest) + rest.size()));
      EXPECT_EQ(seen_limit, testing::ToolIsWrapped() ? seen_limit : static_cast<int>(limit));
      EXPECT_GE(fitted, 1) << line;
      EXPECT_LE(fitted, seen_limit - 4) << line;
    }
  }
}

// A file whose read fails is "Unable to read file", with status 1, and the next is reported as
// if alone.
TEST(Batch, SaysWhenAFileCannotBeRead) {
  const std::string why_not = testing::WhyNoSystemCallFilter();
  if (!why_not.empty()) GTEST_SKIP() << why_not;
  const testing::TempDir dir;
  // The first read delivers the 100 bytes, inside a TXXX frame; the second, for the rest of
  // the window, fails. Reads from memory (preadv2) are not supported there: every -j reads
  // with read.
  const std::string cut = dir.WriteFile("cut.mp3", testing::Tag(Txxx100(), 0).substr(0, 100));
  const std::string song = dir.WriteFile("song.mp3", testing::SongBytes());
  ToolOptions options = Batch();
  options.fail_reads_of = kWindowSize - 100;
  const std::string report = RunTool({song}).out;
  std::string expected = report;
  expected += "Unable to read file\n";
  expected += report;
  for (const std::string jobs : {"1", "8"}) {
    const ToolRun run = RunTool({"-j", jobs, song, cut, song}, options);
    EXPECT_EQ(run.out, expected) << jobs;
    EXPECT_EQ(run.err, Failed(cut, EIO)) << jobs;
    EXPECT_EQ(run.status, kExitFailure) << jobs;
  }
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

// What id3sniff writes for each path alone, one after another.
std::string SingleReports(const std::vector<std::string>& paths) {
  std::string reports;
  for (const std::string& path : paths) reports += RunTool({path}).out;
  return reports;
}

// A tree of folders, hidden entries, links, other files and an unreadable folder: -r walks it in
// byte order, goes on past what it cannot read and says so, whatever -j.
TEST(Batch, WalksFoldersDepthFirstInByteOrder) {
  const testing::TempDir dir;
  const std::string root = dir.path() + "/music";
  for (const char* folder : {"", "/a", "/b", "/b/c", "/.hidden", "/locked"}) {
    ASSERT_EQ(mkdir((root + folder).c_str(), 0755), 0);
  }
  const std::string song = testing::SongBytes();
  for (const char* file :
       {"/a/1.mp3", "/b/3.mp3", "/b/c/2.MP3", "/.hidden/h.mp3", "/._y.mp3", "/locked/4.mp3"}) {
    dir.WriteFile(std::string("music") + file, song);
  }
  dir.WriteFile("music/a/notes.txt", "not a song");
  ASSERT_EQ(symlink("../a", (root + "/b/link").c_str()), 0);
  ASSERT_EQ(symlink("a/1.mp3", (root + "/z.mp3").c_str()), 0);
  ASSERT_EQ(symlink("..", (root + "/a/up").c_str()), 0);  // a loop, were links followed
  ASSERT_EQ(mkdir((dir.path() + "/empty").c_str(), 0755), 0);
  // Root reads any folder: there, the unreadable one is read like the others.
  const bool locked = geteuid() != 0 && chmod((root + "/locked").c_str(), 0) == 0;
  std::vector<std::string> walked = {root + "/a/1.mp3", root + "/b/3.mp3", root + "/b/c/2.MP3"};
  if (!locked) walked.push_back(root + "/locked/4.mp3");
  // Named on the command line, a link to a folder is walked and any file is reported.
  walked.insert(walked.end(), {root + "/b/link/1.mp3", root + "/a/notes.txt"});
  const std::string reports = SingleReports(walked);
  // The folder named as tab completion writes it, with its slash, gives the same paths; a
  // missing file before an empty folder is the only failure.
  for (const std::string jobs : {"-j1", "-j64"}) {
    for (const std::string& named : {root, root + "/"}) {
      const ToolRun run = RunTool({jobs, "-r", named, root + "/b/link", root + "/a/notes.txt",
                                   dir.path() + "/missing.mp3", dir.path() + "/empty"},
                                  Batch());
      EXPECT_EQ(run.out, reports + "Unable to open file\n") << jobs << named;
      EXPECT_EQ(run.err, (locked ? Failed(root + "/locked", EACCES) : "") +
                             Failed(dir.path() + "/missing.mp3", ENOENT))
          << jobs << named;
      EXPECT_EQ(run.status, kExitFailure) << jobs;
    }
  }
  chmod((root + "/locked").c_str(), 0755);
}

// A file of which only the first 4 KiB are in memory is read whole, not scanned from those.
TEST(Batch, ReadsAFileOnlyPartlyInMemoryWhole) {
  const testing::TempDir dir;
  const std::string path = dir.WriteFile(
      "part.mp3", testing::Tag(testing::TextFrame("TXXX", "comment\0"s + std::string(6000, 'x')) +
                                   testing::TextFrame("TALB", "Deep"),
                               0) +
                      testing::SilentAudioFrame());
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  char start[4096];
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  ASSERT_EQ(pread(fd, start, sizeof start, 0), static_cast<ssize_t>(sizeof start));
  // Which pages are in memory, asked without reading any.
  void* map = mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd, 0);
  unsigned char pages[2] = {1, 1};
  const bool dropped = map != MAP_FAILED && mincore(map, 8192, pages) == 0 && pages[1] == 0;
  if (map != MAP_FAILED) munmap(map, 8192);
  close(fd);
  if (!dropped) GTEST_SKIP() << "this file system keeps the file's pages in memory";
  const ToolRun run = RunTool({"-j", "2", path}, Batch());
  EXPECT_EQ(run.out, RunTool({path}).out);
}

// A folder mounted inside itself is a loop the walk notices, and a message of the walk or the
// list shows no escape sequence on a terminal.
TEST(Batch, SaysWhereTheWalkMeetsALoopAndMasksItsMessages) {
  const testing::TempDir dir;
  const std::string root = dir.path() + "/w";
  ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((root + "/in").c_str(), 0755), 0);
  const std::string song = dir.WriteFile("w/a.mp3", testing::SongBytes());
  const std::string odd = dir.path() + "/list\x1B]0;PWNED\a";
  ASSERT_EQ(mkdir(odd.c_str(), 0755), 0);
  if (testing::WhyNoTerminal().empty()) {
    ToolOptions options = Batch();
    options.stderr_terminal = true;
    const ToolRun run = RunTool({"--files0-from=" + odd}, options);
    EXPECT_EQ(run.err, "id3sniff-batch: " + dir.path() + "/list?]0;PWNED?: Is a directory\n");
  }
  if (geteuid() != 0 || access("/usr/bin/unshare", X_OK) != 0) {
    GTEST_SKIP() << "a bind mount needs root and unshare(1)";
  }
  if (testing::ToolIsWrapped()) GTEST_SKIP() << "unshare(1) itself would run under the wrapper";
  ToolOptions options;
  options.program = "/usr/bin/unshare";
  options.argv0 = "unshare";
  const ToolRun run =
      RunTool({"-m", "sh", "-c", "mount --bind \"$1\" \"$1/in\" && exec \"$2\" -r \"$1\"", "sh",
               root, testing::BatchPath()},
              options);
  if (run.err.find("mount") != std::string::npos || run.err.find("unshare") != std::string::npos) {
    GTEST_SKIP() << "no mount namespace here: " << run.err;
  }
  EXPECT_EQ(run.out, SingleReports({song}));
  EXPECT_EQ(run.err, "id3sniff-batch: " + root + "/in: File system loop detected\n");
  EXPECT_EQ(run.status, kExitFailure);
}

// Each folder is closed once walked: a hundred of them under a low limit on open files.
TEST(Batch, WalksMoreFoldersThanItMayOpen) {
  const testing::TempDir dir;
  std::vector<std::string> songs;
  for (int i = 100; i < 200; ++i) {
    const std::string folder = "f" + std::to_string(i);
    ASSERT_EQ(mkdir((dir.path() + "/" + folder).c_str(), 0755), 0);
    songs.push_back(dir.WriteFile(folder + "/s.mp3", testing::SongBytes()));
  }
  ToolOptions options = Batch();
  options.open_files_limit = 40;
  const ToolRun run = RunTool({"-j", "1", "-r", dir.path()}, options);
  // The reports differ by their paths alone.
  const std::string report = RunTool({songs[0]}).out;
  std::string reports;
  for (const std::string& path : songs) {
    reports += "ID3v2 (2.4) tag info for " + path + report.substr(report.find('\n'));
  }
  EXPECT_EQ(run.out, reports);
  EXPECT_EQ(run.err, "");
}

// Names from a pipe, each ended by NUL, are the same names as arguments; an empty one is an
// error of its own.
TEST(Batch, ReadsTheNamesFromAList) {
  const testing::TempDir dir;
  const Library library = MakeLibrary(dir, 40);
  ToolOptions options = Batch();
  options.stdin_bytes = std::string(1, '\0');  // an empty name, said when it is read
  for (const std::string& path : library.paths) options.stdin_bytes += path + '\0';
  const ToolRun listed = RunTool({"--files0-from=-"}, options);
  std::vector<std::string> args = {"--"};
  args.insert(args.end(), library.paths.begin(), library.paths.end());
  const ToolRun named = RunTool(args, Batch());
  EXPECT_EQ(listed.out, named.out);
  EXPECT_EQ(listed.out, library.AllReports());
  EXPECT_EQ(listed.err, "id3sniff-batch: invalid zero-length file name\n" + named.err);
  EXPECT_EQ(listed.status, kExitFailure);
}

// The members of one JSON line, read strictly, as "key" -> string, with the TXXX array's objects
// as "TXXX 1 2 text" -> text (slot and count) and their other string members likewise. The
// line must be one object of strings and of a "TXXX" array, always there.
std::map<std::string, std::string> JsonMembers(std::string_view line) {
  std::string why;
  const std::optional<testing::Json> json = testing::ParseJson(line, &why);
  std::map<std::string, std::string> members;
  if (!json || json->kind != testing::Json::Kind::Object) {
    ADD_FAILURE() << "not a JSON object (" << why << "): " << line;
    return members;
  }
  for (std::size_t i = 0; i < json->keys.size(); ++i) {
    const std::string& key = json->keys[i];
    const testing::Json& value = json->values[i];
    EXPECT_EQ(members.count(key), 0u) << key << " twice in " << line;
    if (key != "TXXX") {
      EXPECT_EQ(value.kind, testing::Json::Kind::String) << key;
      members[key] = value.text;
      continue;
    }
    EXPECT_EQ(value.kind, testing::Json::Kind::Array) << line;
    for (const testing::Json& item : value.items) {
      const testing::Json* slot = item.Find("slot");
      const testing::Json* count = item.Find("count");
      EXPECT_TRUE(slot != nullptr && count != nullptr) << line;
      if (slot == nullptr || count == nullptr) continue;
      for (std::size_t k = 0; k < item.keys.size(); ++k) {
        if (item.keys[k] == "slot" || item.keys[k] == "count") continue;
        members["TXXX " + slot->text + " " + count->text + " " + item.keys[k]] =
            item.values[k].text;
      }
    }
  }
  if (json->Find("error") == nullptr) {
    EXPECT_NE(json->Find("TXXX"), nullptr) << line;
  }
  return members;
}

// Each JSON line holds what the text report's lines show, a value that is no UTF-8 both with
// U+FFFD and exactly in base64, and no control byte.
TEST(Batch, WritesJsonLinesOfWhatTheTextReportShows) {
  const testing::TempDir dir;
  const std::string odd = "\x1B[2J\x7F\xC2\x9B\xC2\x9F\t\"\\ ok \xFF\xC3";
  const std::vector<std::string> paths = {
      dir.WriteFile("song.mp3", testing::SongBytes()), dir.path() + "/missing.mp3",
      dir.WriteFile("bad\xFF\n\x1F.mp3",
                    testing::Tag(Txxx100() + testing::TextFrame("TXXX", "comment\0"s + odd) +
                                     testing::TextFrame("TPE1", "Caf\xC3\xA9"),
                                 0)),
      // A newline and a C0 control in a name that is UTF-8 all the same; no TXXX frame.
      dir.WriteFile("new\nline\x1F.mp3", "")};
  std::vector<std::string> args = {"--json"};
  args.insert(args.end(), paths.begin(), paths.end());
  const ToolRun run = RunTool(args, Batch());
  EXPECT_EQ(run.status, kExitFailure);
  std::size_t at = 0;
  for (const std::string& path : paths) {
    const std::size_t end = run.out.find('\n', at);
    ASSERT_NE(end, std::string::npos) << path;
    const std::string json = run.out.substr(at, end - at);
    at = end + 1;
    for (const char c : json) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << json;
    EXPECT_EQ(json.find('\x7F'), std::string::npos) << json;
    for (std::size_t c2 = json.find('\xC2'); c2 != std::string::npos;
         c2 = json.find('\xC2', c2 + 1)) {
      EXPECT_GE(static_cast<unsigned char>(json[c2 + 1]), 0xA0) << "a raw C1 control in " << json;
    }
    std::map<std::string, std::string> members = JsonMembers(json);
    // Each line of the text report, as the key it is under and its value.
    std::vector<std::pair<std::string, std::string>> lines = {{"path", path}};
    const std::string text = RunTool({path}).out;
    if (text.starts_with("Unable")) {
      lines.push_back({"error", "Unable to open file"});
      lines.push_back({"reason", std::strerror(ENOENT)});
    }
    // The header names the path, which may hold a newline.
    const std::string header = "ID3v2 (2.4) tag info for " + path + "\n";
    const std::size_t first_line = text.starts_with(header) ? header.size() : text.size();
    for (std::size_t from = first_line; from < text.size() && text[from] != '\n';) {
      const std::size_t line_end = text.find('\n', from);
      const std::string line = text.substr(from, line_end - from);
      from = line_end + 1;
      if (line.starts_with("(TXXX)")) {
        const std::size_t slash = line.find('/');
        const std::size_t equals = line.find("TXXX = ");
        lines.push_back({"TXXX " + line.substr(6, slash - 6) + " " +
                             line.substr(slash + 1, equals - slash - 1) + " text",
                         line.substr(equals + 7)});
      } else if (!line.starts_with("Unable")) {
        lines.push_back({line.substr(9, 4), line.substr(16)});
      }
    }
    for (const auto& [key, value] : lines) {
      ASSERT_EQ(members.count(key), 1u) << key << " in " << json;
      if (members.count(key + "_base64") != 0) {
        EXPECT_EQ(DecodeBase64(members[key + "_base64"]), value) << key;
        EXPECT_NE(members[key].find("\xEF\xBF\xBD"), std::string::npos) << key;
        members.erase(key + "_base64");
      } else {
        EXPECT_EQ(members[key], value) << key;
      }
      members.erase(key);
    }
    EXPECT_TRUE(members.empty()) << "more than the report in " << json;
  }
  // The control characters are escaped as JSON says, or as \u00XX.
  EXPECT_NE(run.out.find(R"(\u001b[2J\u007f\u009b\u009f\t\"\\ ok )"
                         "\xEF\xBF\xBD\xEF\xBF\xBD\""),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.err, Failed(paths[1], ENOENT));
}
// The progress line shows on a terminal when the reports go to a file or /dev/null, or when
// asked for, and ends in a summary; never when they go to a pipe (a pager) unless asked for.
TEST(Batch, ShowsProgressOnATerminalOnly) {
  const std::string why_not = testing::WhyNoTerminal();
  if (!why_not.empty()) GTEST_SKIP() << why_not;
  const testing::TempDir dir;
  const std::string song = dir.WriteFile("song.mp3", testing::SongBytes());
  std::vector<std::string> songs(50, song);
  // A FIFO whose bytes come late, so that the line shows before the two that fail: their
  // messages make way for the line, and on a terminal show no escape.
  const testing::StallingFifo fifo(dir, "");
  std::string stalls = testing::SongBytes();
  stalls.resize(stalls.find("LAME3") + 5);
  const std::string song_report = RunTool({song}).out;
  std::string reports;
  for (std::size_t i = 0; i < songs.size(); ++i) reports += song_report;
  std::string fifo_report = song_report;
  fifo_report.replace(fifo_report.find(song), song.size(), fifo.path());
  reports += fifo_report + "Unable to open file\nUnable to open file\n";
  const std::string missing = dir.path() + "/missing\x1B]0;PWNED\a.mp3";
  songs.insert(songs.end(), {fifo.path(), missing, missing});
  const std::string summary = "id3sniff-batch: 53 files, 2 could not be read, ";
  struct Case {
    const char* option;
    bool terminal;
    StdoutTarget out;
    bool shown;
  };
  for (const Case& c :
       {Case{"--", true, StdoutTarget::File, true}, Case{"--", true, StdoutTarget::Pipe, false},
        Case{"--no-progress", true, StdoutTarget::File, false},
        Case{"--progress", true, StdoutTarget::Pipe, true},
        Case{"--", false, StdoutTarget::File, false},
        Case{"--progress", false, StdoutTarget::Pipe, true}}) {
    ToolOptions options = Batch(c.out);
    options.stderr_terminal = c.terminal;
    std::vector<std::string> args = {c.option};
    args.insert(args.end(), songs.begin(), songs.end());
    std::jthread late([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      fifo.Fill(stalls);
    });
    const ToolRun run = RunTool(args, options);
    late.join();
    EXPECT_EQ(run.out, reports) << c.option;
    const std::string message = c.terminal ? Failed(dir.path() + "/missing?]0;PWNED?.mp3", ENOENT)
                                           : Failed(missing, ENOENT);
    if (c.shown) {
      EXPECT_NE(run.err.find("\r" + summary), std::string::npos) << c.option << run.err;
      EXPECT_TRUE(run.err.ends_with(" s\n")) << c.option << run.err;
      // Each message starts a line of its own.
      for (std::size_t at = run.err.find(message); at != std::string::npos;
           at = run.err.find(message, at + 1)) {
        EXPECT_TRUE(at == 0 || run.err[at - 1] == '\r' || run.err[at - 1] == '\n') << run.err;
      }
      EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    } else {
      EXPECT_EQ(run.err, message + message) << c.option;
    }
  }
}
}  // namespace
}  // namespace id3sniff

namespace id3sniff {
namespace {

// --decode: the tag read from its structure, for a person and as JSON Lines, with every other
// option, in input order; a file without a tag and one that cannot be opened.
TEST(Batch, DecodesEachTagFromItsStructure) {
  const testing::TempDir dir;
  using testing::FrameSpec;
  const auto frame = [](const char* id, int encoding, std::vector<std::string> values,
                        const char* description) {
    FrameSpec written;
    written.id = id;
    written.encoding = encoding;
    written.values = std::move(values);
    written.description = description;
    return written;
  };
  FrameSpec cover = frame("APIC", 0, {}, "Cover");
  cover.mime = "image/jpeg";
  cover.picture_bytes = 30000;
  FrameSpec priv = frame("PRIV", 0, {}, "");
  priv.raw = "owner";
  testing::TagSpec v23;
  v23.major = 3;
  v23.padding = 100;
  const std::string tagged = dir.WriteFile(
      "tagged.mp3",
      testing::WriteTag(v23, {cover, frame("TPE1", 1, {"Beyonc\xC3\xA9", "Guest"}, ""),
                              frame("TXXX", 1, {"-6.50 dB"}, "replaygain_track_gain"),
                              frame("COMM", 0, {"Ripped"}, ""), priv}) +
          testing::SilentAudioFrame());
  const std::string untagged = dir.WriteFile("plain.mp3", testing::SilentAudioFrame());
  const std::string missing = dir.path() + "/missing.mp3";
  const std::string json =
      "{\"path\":\"" + tagged +
      "\",\"ID3v2\":\"2.3.0\",\"APIC\":[{\"mime\":\"image/jpeg\",\"type\":3,\"description\":"
      "\"Cover\",\"bytes\":30000}],\"TPE1\":[\"Beyonc\xC3\xA9\",\"Guest\"],\"TXXX\":[{"
      "\"description\":\"replaygain_track_gain\",\"text\":[\"-6.50 dB\"]}],\"COMM\":[{"
      "\"language\":\"eng\",\"description\":\"\",\"text\":[\"Ripped\"]}],\"skipped\":[\"PRIV\"]}"
      "\n{\"path\":\"" +
      untagged + "\",\"ID3v2\":null}\n{\"path\":\"" + missing +
      "\",\"error\":\"Unable to open file\",\"reason\":\"No such file or directory\"}\n";
  const std::string text = tagged +
                           "\nID3v2.3.0\nAPIC: image/jpeg, type 3, \"Cover\", 30000 bytes\n"
                           "TPE1: Beyonc\xC3\xA9\nTPE1: Guest\n"
                           "TXXX: replaygain_track_gain: -6.50 dB\nCOMM: [eng] : Ripped\n"
                           "skipped: PRIV\n\n" +
                           untagged + "\nno ID3v2 tag\n\nUnable to open file\n";
  for (const std::string jobs : {"-j1", "-j8"}) {
    const ToolRun as_json =
        RunTool({jobs, "--decode", "--json", tagged, untagged, missing}, Batch());
    EXPECT_EQ(as_json.out, json) << jobs;
    for (std::size_t at = 0; at < as_json.out.size();) {
      const std::size_t end = as_json.out.find('\n', at);
      std::string why;
      EXPECT_TRUE(testing::ParseJson(std::string_view(as_json.out).substr(at, end - at), &why))
          << why;
      at = end + 1;
    }
    EXPECT_EQ(as_json.err, Failed(missing, ENOENT)) << jobs;
    EXPECT_EQ(as_json.status, kExitFailure) << jobs;
    const ToolRun as_text = RunTool({jobs, "--decode", "-r", tagged, untagged, missing}, Batch());
    EXPECT_EQ(as_text.out, text) << jobs;
  }
}

}  // namespace
}  // namespace id3sniff
