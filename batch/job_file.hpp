#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "batch/engine.hpp"
#include "batch/file_name.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {

// A file as a job reads it: from memory where its name, its inode and the bytes read are there
// (openat2 RESOLVE_CACHED, preadv2 RWF_NOWAIT), else between waits.Begin() and waits.End(), so
// that another job may work meanwhile. Closed, and its wait ended, when it goes.
class JobFile {
 public:
  // Opens name; with try_memory false, as a file that waits (the last one did).
  JobFile(const FileName& name, Waits& waits, bool try_memory);
  ~JobFile();
  JobFile(const JobFile&) = delete;
  JobFile& operator=(const JobFile&) = delete;

  // Returns 0 when the file is open, or the errno of the open (EISDIR for a folder).
  int error() const { return error_; }
  int fd() const { return fd_; }
  // A regular file: read at any offset, and never waits for ever.
  bool regular() const { return regular_; }
  std::uint64_t size() const { return size_; }
  // Returns true when the file waited, or is read as one that does.
  bool waited() const { return waiting_; }
  // Says that the file waits from here on.
  void Wait();
  // Reads size bytes at offset (fewer at the end of the file) of a regular file into buffer
  // from memory if they are all there, else waiting; returns the count, or -1 with errno.
  ssize_t ReadAt(std::uint8_t* buffer, std::size_t size, off_t offset);

 private:
  Waits& waits_;
  int fd_ = -1;
  int error_ = 0;
  bool regular_ = false;
  std::uint64_t size_ = 0;
  bool waiting_ = false;
};

// Reads a FIFO or a device open without waiting: polled before each read, so that a read waits
// as on a plain descriptor but a stop ends the wait; a regular file is read as usual.
class FileReader final : public ByteSource {
 public:
  FileReader(int fd, bool regular, const Stop& stop) : fd_(fd), regular_(regular), stop_(stop) {}
  ssize_t Read(std::uint8_t* buffer, std::size_t size) override;

 private:
  int fd_;
  bool regular_;
  const Stop& stop_;
};

}  // namespace id3sniff
