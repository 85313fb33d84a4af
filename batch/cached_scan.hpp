#pragma once

#include "scan/scan_tag.hpp"

namespace id3sniff {

// Scans the regular file at path into state (new, or reset since its last scan) when its name,
// its inode and the bytes the scan needs are all in memory already, so that nothing waits on a
// device; returns false, with state to be reset, when something would wait or anything fails:
// the caller then reads the file the ordinary way, which says why it fails.
bool ScanIfCached(const char* path, ScanState& state);

}  // namespace id3sniff
