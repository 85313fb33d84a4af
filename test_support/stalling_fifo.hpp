#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "test_support/temp_dir.hpp"

namespace id3sniff::testing {

// A FIFO whose writer stays open after its bytes: a read past them would wait for ever. Opened
// for reading and writing, the test's own end is that writer, and it can see what is left.
class StallingFifo {
 public:
  StallingFifo(const TempDir& dir, const std::string& bytes, const std::string& name = "fifo")
      : path_(dir.path() + "/" + name) {
    if (mkfifo(path_.c_str(), 0666) != 0) throw std::runtime_error("mkfifo");
    fd_ = open(path_.c_str(), O_RDWR | O_NONBLOCK);
    if (fd_ < 0) throw std::runtime_error("cannot open the FIFO");
    Fill(bytes);
  }
  ~StallingFifo() { close(fd_); }
  StallingFifo(const StallingFifo&) = delete;
  StallingFifo& operator=(const StallingFifo&) = delete;

  const std::string& path() const { return path_; }

  // Offers bytes to the next reader.
  void Fill(const std::string& bytes) const {
    if (write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("cannot fill the FIFO");
    }
  }

  // Returns how many bytes nobody has read.
  std::size_t Unread() const {
    std::size_t unread = 0;
    char buffer[4096];
    for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;)
      unread += static_cast<std::size_t>(n);
    return unread;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace id3sniff::testing
