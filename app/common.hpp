#pragma once

#include <atomic>
#include <optional>
#include <string_view>

#include "report/line_writer.hpp"
#include "scan/scan_tag.hpp"

// What the two programs' command lines share: the usage and version requests, and scanning one
// file.
namespace id3sniff {

// What stands in place of a report when there is none, on standard output.
inline constexpr std::string_view kUnableToOpen = "Unable to open file\n";
inline constexpr std::string_view kUnableToRead = "Unable to read file\n";
// On standard error, when the report could not be written.
inline constexpr std::string_view kUnableToWrite = "Unable to write report\n";

// Answers what the first argument alone may ask for, compared whole and with exact case: with no
// argument the usage text (status 2), with -h or --help the usage text and with -v or --version
// the version line (status 0), all on standard error. Returns the status, or nothing when the
// arguments name files. print_usage is given the name the program was started by, or fallback
// when it was started without one (an empty argument vector, which Linux hands over as one
// empty string, or an empty name).
std::optional<int> AnswerRequest(int argc, char** argv, void (*print_usage)(const char* name),
                                 const char* fallback);

// Returns the name the program was started by, or fallback when it was started without one.
const char* ProgramName(int argc, char** argv, const char* fallback);
// Writes the version line on standard error.
void PrintVersion();
// Returns how the report is to be shown: masked when standard output is a terminal.
Destination ChooseDestination();

// How the scan of one file ended.
enum class FileScan { Complete, CannotOpen, CannotRead };

// How ScanFile reads a file, beyond opening it read-only.
struct ReadOptions {
  // Tells the kernel the file is read at random: a first read at offset 0 then brings in the
  // 16 KiB asked for, not the larger readahead window, which a cold scan pays for in time.
  bool advise_random = false;
  // When set, an open or read interrupted by a signal gives up instead of starting again.
  const std::atomic<bool>* stop = nullptr;
  // The descriptor does not wait (O_NONBLOCK): each read waits with poll first.
  bool wait_readable = false;
  // When set, gets the errno of an open or read that failed.
  int* error = nullptr;
};
// Opens path read-only, scans it into state (new, or reset since its last scan) and closes it,
// so the file is open only during the scan. A directory cannot be opened: it opens, but never
// reads.
FileScan ScanFile(const char* path, ScanState& state, ReadOptions options = {});
// Opens path read-only as ScanFile does; returns the descriptor, or -1.
int OpenForScan(const char* path, ReadOptions options = {});
// Scans the file open on fd, from its start, as ScanFile does, and closes it.
FileScan ScanOpenFile(int fd, ScanState& state, ReadOptions options = {});

}  // namespace id3sniff
