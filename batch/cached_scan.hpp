#pragma once

#include "app/common.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {

// A file to be scanned from memory where its name, its inode and the bytes the scan needs are
// there already, so that nothing waits on a device; else read as usual.
class CachedFile {
 public:
  // Opens path for reading without waiting: not on a device for its name or inode, nor on a
  // FIFO's writer. The file stays open until it is read or the CachedFile goes, so a device
  // being read may hold two descriptors for a moment.
  explicit CachedFile(const char* path);
  ~CachedFile();
  CachedFile(const CachedFile&) = delete;
  CachedFile& operator=(const CachedFile&) = delete;

  // Scans the file into state (new, or reset since its last scan) when it is a regular file
  // whose bytes are all in memory, and closes it; returns false, with state to be reset, when
  // something would wait or anything fails.
  bool ScanFromMemory(ScanState& state);
  // Reads and scans the file as ScanFile does, waiting as long as it takes, and closes it.
  FileScan ScanWaiting(ScanState& state, ReadOptions options);

 private:
  const char* path_;
  int fd_ = -1;           // opened with O_NONBLOCK; -1 when not in memory or gone
  bool regular_ = false;  // fd_ is a regular file
  bool fifo_ = false;     // fd_ is a FIFO
};

}  // namespace id3sniff
