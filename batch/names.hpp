#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/engine.hpp"

namespace id3sniff {

// The names of the files to report, in order: the command line's FILEs, or the names read from a
// list, each ended by a NUL byte (as find -print0 writes them). With recursion, each name that
// is a folder (followed if it is a symbolic link) is walked instead: depth first, each folder's
// entries in byte order of their names, entries whose names begin with '.' left out, symbolic
// links not followed, and only regular files whose names end in ".mp3", in any case, reported.
// A folder already on the walk's path (a bind mount of a folder inside itself) is a loop,
// said and skipped. Each failure is a message in the place of the names it stands for.
class Names final : public NameSource {
 public:
  // The names in args.
  Names(char* const* args, std::size_t count, bool recursive);
  // The names in the list open on fd, which stays open; list_name names it in messages.
  Names(int fd, std::string list_name, bool recursive);

  ~Names();
  Names(const Names&) = delete;
  Names& operator=(const Names&) = delete;

  Got Next(FileName& name, Record& message, const Stop& stop) override;

 private:
  // A folder being walked: open, its entries sorted, and which is next.
  struct OpenFolder {
    std::string path;  // as shown, ending in '/'
    int fd;            // the root's is root_'s; the others' are the walk's own
    dev_t device;
    ino_t inode;
    std::vector<std::pair<std::string, bool>> entries;  // name, and whether it is a folder
    std::size_t next = 0;
  };

  Got NextGiven(FileName& name, Record& message, const Stop& stop);
  bool Enter(int fd, std::string shown, Record& message);
  void Leave();
  std::optional<Got> ReadList(Record& message, const Stop& stop);

  char* const* args_ = nullptr;
  std::size_t count_ = 0;
  std::size_t next_arg_ = 0;
  int fd_ = -1;
  std::string list_name_;
  bool recursive_;
  std::string list_;                    // bytes of the list read and not yet taken
  std::size_t list_at_ = 0;             // where the next name starts in list_
  std::size_t searched_ = 0;            // list_ holds no NUL between list_at_ and here
  bool list_ended_ = false;             // the list has no more bytes to read
  bool too_long_ = false;               // the name being read is longer than a path may be: skipped
  std::string long_name_;               // the start of that name, for its message
  std::shared_ptr<const Folder> root_;  // the folder the walk started from
  std::vector<OpenFolder> walk_;        // the folders being walked, the deepest last
};

}  // namespace id3sniff
