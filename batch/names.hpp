#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace id3sniff {

// The names of the files to report, in order: the command line's FILEs, or the names read from a
// list, each ended by a NUL byte (as find -print0 writes them). With recursion, each name that
// is a directory (followed if it is a symbolic link) is walked instead: depth first, each
// directory's entries in byte order of their names, entries whose names begin with '.' left
// out, symbolic links not followed, and only regular files whose names end in ".mp3", in any
// case, reported. The walk reads each directory whole and closes it before going into it.
class Names {
 public:
  // Called with a line for standard error: a directory that cannot be read, an empty name, a
  // list that cannot be read.
  using Warn = std::function<void(std::string_view line)>;
  // Called before a read that may wait: of the list, or of a directory.
  using BeforeWait = std::function<void()>;

  // The names in args.
  Names(char* const* args, std::size_t count, bool recursive, Warn warn);
  // The names in the list open on fd, which stays open; list_name names it in messages.
  Names(int fd, std::string list_name, bool recursive, Warn warn);

  // Sets what is called before a read that may wait.
  void set_before_wait(BeforeWait before_wait) { before_wait_ = std::move(before_wait); }
  // Sets name to the next name; returns false when there are no more.
  bool Next(std::string& name);
  // Returns true when a name was empty, or a directory or the list could not be read.
  bool failed() const { return failed_; }

 private:
  struct Entry {
    std::string name;
    bool directory;
  };
  // A directory being walked: its path and its entries, sorted.
  struct Directory {
    std::string path;
    std::vector<Entry> entries;
    std::size_t next = 0;
  };

  bool NextGiven(std::string& name);
  bool ReadList();
  void Enter(const std::string& path);
  void Fail(std::string_view path, int error);

  char* const* args_ = nullptr;
  std::size_t count_ = 0;
  int fd_ = -1;
  std::string list_name_;
  bool recursive_;
  Warn warn_;
  BeforeWait before_wait_ = [] {};
  bool failed_ = false;
  std::size_t next_arg_ = 0;
  std::string list_;             // bytes of the list read and not yet taken
  std::size_t list_at_ = 0;      // where the next name starts in list_
  bool list_ended_ = false;      // the list has no more bytes to read
  std::vector<Directory> walk_;  // the directories being walked, the deepest last
};

}  // namespace id3sniff
