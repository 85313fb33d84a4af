#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

#include "report/line_writer.hpp"

// What the two programs' command lines share: the usage and version requests, and where the
// report goes.
namespace id3sniff {

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
// Writes the version line on out.
void PrintVersion(std::FILE* out);
// Returns how the report is to be shown: masked when standard output is a terminal.
Destination ChooseDestination();

}  // namespace id3sniff
