#pragma once

namespace id3sniff {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;  // a report, the usage text on request, or the version
inline constexpr int kExitFailure =
    1;                                // the file could not be opened or read, or the report written
inline constexpr int kExitUsage = 2;  // no argument

// Runs the program on its argument vector and returns the exit status.
int RunCommandLine(int argc, char** argv);

}  // namespace id3sniff
