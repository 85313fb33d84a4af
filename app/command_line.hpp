#pragma once

namespace id3sniff {

// Exit statuses of the programs.
inline constexpr int kExitOk = 0;       // every report, the usage text on request, the version
inline constexpr int kExitFailure = 1;  // a file could not be opened or read, or not reported
inline constexpr int kExitUsage = 2;    // no argument

// Runs id3sniff on its argument vector and returns the exit status.
int RunCommandLine(int argc, char** argv);

// Runs id3sniff-batch on its argument vector and returns the exit status.
int RunBatchCommandLine(int argc, char** argv);

}  // namespace id3sniff
