#pragma once

#include <optional>

#include "batch/default_jobs.hpp"

namespace id3sniff {

// The most files id3sniff-batch reads at once.
inline constexpr int kMaxJobs = 1024;

// What the command line of id3sniff-batch asks for.
struct BatchOptions {
  int jobs = kDefaultJobs;  // at most this many files read at once
  int first_file = 0;       // index in argv of the first FILE
};

// Parses the options that come before the first FILE (or before "--"). Returns the options, or
// the exit status when the command line has been answered already: the usage text or the
// version asked for, no FILE at all, or a usage error, each written on standard error.
std::optional<BatchOptions> ParseBatchOptions(int argc, char** argv, int& status);

}  // namespace id3sniff
