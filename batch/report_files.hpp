#pragma once

#include <cstddef>

namespace id3sniff {

// Writes what id3sniff writes on standard output for each of the count paths, in their order,
// with at most jobs files read at once (fewer where the limit on open files says so); returns
// the exit status.
int ReportFiles(char* const* paths, std::size_t count, int jobs);

}  // namespace id3sniff
