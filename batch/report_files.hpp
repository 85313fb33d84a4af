#pragma once

#include <cstddef>

#include "batch/options.hpp"

namespace id3sniff {

// Writes the report of each file the options name (files, the count FILEs of the command line,
// or those of --files0-from), in their order, with at most options.jobs files read at once
// (fewer where the limit on open files says so); returns the exit status.
int ReportFiles(const BatchOptions& options, char* const* files, std::size_t count);

}  // namespace id3sniff
