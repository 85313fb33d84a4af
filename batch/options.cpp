#include "batch/options.hpp"

#include <getopt.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "app/command_line.hpp"
#include "app/common.hpp"

namespace id3sniff {
namespace {

constexpr const char* kName = "id3sniff-batch";

void PrintBatchUsage(const char* name) {
  std::FILE* err = stderr;
  std::fputs("Usage: ", err);
  std::fputs(name, err);
  std::fputs(" [OPTION]... FILE...\n", err);
  std::fputs("Writes the report of each FILE in turn, as id3sniff FILE writes it for one file.\n",
             err);
  std::fputs("Options (before the first FILE; -- ends them):\n", err);
  std::fprintf(err, "\t -j,--jobs=N\t\tRead at most N files at once, 1 to %d (default %d)\n",
               kMaxJobs, kDefaultJobs);
  std::fputs("\t -h,--help\t\tShow this help message and exit\n", err);
  std::fputs("\t -v,--version\t\tDisplay version information and exit\n", err);
  std::fflush(err);
}

// Says what is wrong with the command line, the GNU way, and returns the usage status.
int FailUsage(const std::string& what) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kName, what.c_str(),
               kName);
  return kExitUsage;
}

bool IsLong(const char* argument) { return std::strncmp(argument, "--", 2) == 0; }

// Reads a number of jobs: decimal digits only, 1 to kMaxJobs.
std::optional<int> ParseJobs(const char* text) {
  const char* end = text + std::strlen(text);
  int jobs = 0;
  const auto [at, error] = std::from_chars(text, end, jobs);
  if (text == end || *text < '0' || *text > '9' || at != end || error != std::errc() || jobs < 1 ||
      jobs > kMaxJobs) {
    return std::nullopt;
  }
  return jobs;
}

}  // namespace

std::optional<BatchOptions> ParseBatchOptions(int argc, char** argv, int& status) {
  const char* name = ProgramName(argc, argv, kName);
  if (argc < 2) {
    PrintBatchUsage(name);
    status = kExitUsage;
    return std::nullopt;
  }
  static const option kLongOptions[] = {{"jobs", required_argument, nullptr, 'j'},
                                        {"help", no_argument, nullptr, 'h'},
                                        {"version", no_argument, nullptr, 'v'},
                                        {nullptr, 0, nullptr, 0}};
  BatchOptions options;
  // Messages are written here, naming the program as the usage line does; a leading '+' stops
  // at the first FILE, so what follows it is a FILE even when it starts with '-'.
  opterr = 0;
  optind = 1;
  for (;;) {
    const int previous = optind;
    const int c = getopt_long(argc, argv, "+:j:hv", kLongOptions, nullptr);
    if (c == -1) break;
    switch (c) {
      case 'h':
        PrintBatchUsage(name);
        status = kExitOk;
        return std::nullopt;
      case 'v':
        PrintVersion();
        status = kExitOk;
        return std::nullopt;
      case 'j':
        if (const std::optional<int> jobs = ParseJobs(optarg)) {
          options.jobs = *jobs;
          break;
        }
        status = FailUsage(std::string("invalid number of jobs: '") + optarg + "' (give 1 to " +
                           std::to_string(kMaxJobs) + ")");
        return std::nullopt;
      case ':':
        status = FailUsage(IsLong(argv[previous])
                               ? std::string("option '") + argv[previous] + "' requires an argument"
                               : std::string("option requires an argument -- '") +
                                     static_cast<char>(optopt) + "'");
        return std::nullopt;
      default:
        status =
            FailUsage(IsLong(argv[previous])
                          ? std::string("unrecognized option '") + argv[previous] + "'"
                          : std::string("invalid option -- '") + static_cast<char>(optopt) + "'");
        return std::nullopt;
    }
  }
  if (optind >= argc) {
    PrintBatchUsage(name);
    status = kExitUsage;
    return std::nullopt;
  }
  options.first_file = optind;
  return options;
}

}  // namespace id3sniff
