// The names of a list and of a walk, taken in-process.
#include "batch/names.hpp"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "batch/file_name.hpp"
#include "test_support/temp_dir.hpp"

namespace id3sniff {
namespace {

// While set, every entry a folder's listing gives says its type is unknown, as on file systems
// that do not keep it (some network ones, ext2 without its filetype feature).
std::atomic<bool> hide_entry_types{false};
std::atomic<int> entries_hidden{0};

}  // namespace
}  // namespace id3sniff

// The listing's reads, in this test program: the real ones, with the type hidden when asked.
// The C library's own declaration names its parameter with a name reserved to it.
// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" dirent64* readdir64(DIR* dir) {
  static const auto real = reinterpret_cast<dirent64* (*)(DIR*)>(dlsym(RTLD_NEXT, "readdir64"));
  dirent64* entry = real(dir);
  if (entry != nullptr && id3sniff::hide_entry_types) {
    entry->d_type = DT_UNKNOWN;
    ++id3sniff::entries_hidden;
  }
  return entry;
}

namespace id3sniff {
namespace {

// Every name and message the source gives, as "name" or "!path: reason".
std::vector<std::string> TakeAll(NameSource& names) {
  const Stop stop;
  std::vector<std::string> taken;
  FileName name;
  Record message;
  for (;;) {
    switch (names.Next(name, message, stop)) {
      case NameSource::Got::File:
        taken.push_back(name.path);
        break;
      case NameSource::Got::Message:
        taken.push_back("!" + (message.names_path ? message.path + ": " : "") + message.reason);
        break;
      case NameSource::Got::End:
        return taken;
    }
  }
}

// The names of a list that a pipe delivers in two pieces, the first ending at split.
std::vector<std::string> NamesOfList(const std::string& list, std::size_t split) {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  std::jthread writer([&] {
    EXPECT_EQ(write(ends[1], list.data(), split), static_cast<ssize_t>(split));
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    EXPECT_EQ(write(ends[1], list.data() + split, list.size() - split),
              static_cast<ssize_t>(list.size() - split));
    close(ends[1]);
  });
  Names names(ends[0], "-", false);
  std::vector<std::string> taken = TakeAll(names);
  writer.join();
  close(ends[0]);
  return taken;
}

// However the pipe's reads cut it, a list gives the same names; the last needs no NUL; an empty
// name is an error in its place.
TEST(Names, GiveTheSameNamesWhereverAListIsCut) {
  const std::vector<std::string> expected = {"song.mp3", "!invalid zero-length file name",
                                             "a b/c\n.mp3", "last.mp3"};
  for (const std::string& end : {std::string(), std::string(1, '\0')}) {
    const std::string list = std::string("song.mp3\0\0a b/c\n.mp3\0last.mp3", 29) + end;
    for (std::size_t split = 0; split <= list.size(); ++split) {
      EXPECT_EQ(NamesOfList(list, split), expected) << "cut at " << split << ", end " << end.size();
    }
  }
}

// A name longer than a path may be is an error of its own; its bytes are dropped as they come,
// and the names after it are read.
TEST(Names, DropANameTooLongToBeAPath) {
  const std::string huge(4 << 20, 'a');
  for (const std::string& list : {huge + '\0' + "next.mp3", huge}) {
    const std::vector<std::string> taken = NamesOfList(list, list.size() / 3);
    ASSERT_GE(taken.size(), 1u);
    EXPECT_EQ(taken[0], "!" + std::string(64, 'a') + "...: " + std::strerror(ENAMETOOLONG));
    EXPECT_EQ(taken.size(), list.size() == huge.size() ? 1u : 2u);
  }
}

// A folder swapped for a link after its parent was listed is not followed, nor is a file
// swapped for one; a link back up the tree is no way into a loop.
TEST(Names, FollowNoLinkSwappedIntoTheWalk) {
  const testing::TempDir dir;
  std::string w = dir.path() + "/w";
  for (const char* folder : {"/w", "/w/a", "/w/b", "/secret"}) {
    ASSERT_EQ(mkdir((dir.path() + folder).c_str(), 0755), 0);
  }
  for (const char* file : {"w/a/1.mp3", "w/b/2.mp3", "w/c.mp3", "secret/SECRET.mp3"}) {
    dir.WriteFile(file, "ID3");
  }
  ASSERT_EQ(symlink("..", (w + "/a/up").c_str()), 0);
  char* args[] = {w.data()};
  Names names(args, 1, true);
  const Stop stop;
  FileName name;
  Record message;
  ASSERT_EQ(names.Next(name, message, stop), NameSource::Got::File);
  EXPECT_EQ(name.path, w + "/a/1.mp3");
  std::filesystem::remove_all(w + "/b");
  ASSERT_EQ(symlink("../secret", (w + "/b").c_str()), 0);
  ASSERT_EQ(names.Next(name, message, stop), NameSource::Got::Message);
  EXPECT_EQ(message.path, w + "/b");
  ASSERT_EQ(names.Next(name, message, stop), NameSource::Got::File);
  EXPECT_EQ(name.path, w + "/c.mp3");
  ASSERT_EQ(unlink(name.path.c_str()), 0);
  ASSERT_EQ(symlink("/dev/urandom", name.path.c_str()), 0);
  EXPECT_EQ(OpenFileName(name), -1);
  EXPECT_EQ(errno, ELOOP);
  EXPECT_EQ(names.Next(name, message, stop), NameSource::Got::End);
}

// A file system that does not say what its entries are: the walk asks each, and finds what it
// finds where it is said, no link, FIFO or other file among them.
TEST(Names, WalkAFileSystemThatKeepsNoEntryTypes) {
  const testing::TempDir dir;
  for (const char* folder : {"/w", "/w/a", "/w/a/b.mp3", "/w/c"}) {
    ASSERT_EQ(mkdir((dir.path() + folder).c_str(), 0755), 0);
  }
  for (const char* file : {"w/1.mp3", "w/a/2.MP3", "w/a/b.mp3/3.mp3", "w/c/4.mp3", "w/5.txt"}) {
    dir.WriteFile(file, "ID3");
  }
  ASSERT_EQ(symlink("1.mp3", (dir.path() + "/w/link.mp3").c_str()), 0);
  ASSERT_EQ(mkfifo((dir.path() + "/w/fifo.mp3").c_str(), 0644), 0);
  std::string w = dir.path() + "/w";
  char* args[] = {w.data()};
  Names told(args, 1, true);
  const std::vector<std::string> expected = TakeAll(told);
  ASSERT_EQ(expected.size(), 4u);
  hide_entry_types = true;
  Names untold(args, 1, true);
  const std::vector<std::string> taken = TakeAll(untold);
  hide_entry_types = false;
  if (entries_hidden == 0) GTEST_SKIP() << "the listing's reads cannot be replaced in this build";
  EXPECT_EQ(taken, expected);
}

}  // namespace
}  // namespace id3sniff
