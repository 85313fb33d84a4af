#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "batch/default_jobs.hpp"

namespace id3sniff {

// The name id3sniff-batch gives itself in its messages.
inline constexpr const char* kBatchName = "id3sniff-batch";

// The most files id3sniff-batch reads at once.
inline constexpr int kMaxJobs = 1024;

// Whether the progress line is shown: when standard error is a terminal and standard output is
// a regular file or /dev/null, or as asked.
enum class ProgressChoice { Auto, On, Off };

// What the command line of id3sniff-batch asks for.
struct BatchOptions {
  int jobs = kDefaultJobs;                 // at most this many files read at once
  int first_file = 0;                      // index in argv of the first FILE
  bool recursive = false;                  // walk each FILE that is a directory
  std::optional<std::string> files0_from;  // read the names from this file ("-": stdin)
  bool json = false;                       // JSON Lines instead of the text report
  bool decode = false;                     // the tag read from its structure, not the report
  ProgressChoice progress = ProgressChoice::Auto;
};

// Parses the options that come before the first FILE (or before "--"). Returns the options, or
// the exit status when the command line has been answered already: the usage text or the
// version asked for (on standard output), no FILE at all (and no --files0-from: the usage text)
// or a usage error (on standard error).
// Returns true when argument is spelled like one of the options: a FILE so named was likely
// meant as one.
bool LooksLikeAnOption(std::string_view argument);

std::optional<BatchOptions> ParseBatchOptions(int argc, char** argv, int& status);

}  // namespace id3sniff
