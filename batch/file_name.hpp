#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace id3sniff {

// A folder named to be walked, open while names found in it wait to be read.
class Folder {
 public:
  explicit Folder(int fd) : fd_(fd) {}
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// A file to report: its path as shown, and, for a file found by a walk, the folder the walk
// started from and where in path the part beneath it starts. That part is opened from the
// folder without following a symbolic link, so that a link put in place of a folder or a file
// after the walk listed it is not followed; a path named by the user is followed as given.
struct FileName {
  std::string path;
  std::shared_ptr<const Folder> root;
  std::size_t beneath = 0;
};

// Opens name for reading, without waiting for a FIFO's writer (O_NONBLOCK); returns the
// descriptor, or -1 with errno set. With cached, fails with EAGAIN rather than read a folder or
// an inode from a device, where the kernel can tell (openat2, Linux 5.12).
int OpenFileName(const FileName& name, bool cached = false);

}  // namespace id3sniff
