#include "app/batch_options.hpp"

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

void PrintBatchUsage(const char* name, std::FILE* err) {
  std::fputs("Usage: ", err);
  std::fputs(name, err);
  std::fputs(" [OPTION]... FILE...\n", err);
  std::fputs("Writes the report of each FILE in turn, as id3sniff FILE writes it for one file.\n",
             err);
  std::fputs("Options (before the first FILE; -- ends them):\n", err);
  std::fprintf(err, "\t -j,--jobs=N\t\tRead at most N files at once, 1 to %d (default %d)\n",
               kMaxJobs, kDefaultJobs);
  std::fputs("\t -r,--recursive\t\tWalk each FILE that is a folder: its *.mp3 files, in order\n",
             err);
  std::fputs("\t --files0-from=F\tRead the names from F, each ended by NUL (-: standard input)\n",
             err);
  std::fputs("\t --decode\t\tRead each tag from its structure: its real values\n", err);
  std::fputs("\t --json\t\t\tWrite one JSON object per file (JSON Lines)\n", err);
  std::fputs("\t --progress\t\tShow a progress line on standard error\n", err);
  std::fputs("\t --no-progress\t\tShow none, even when standard error is a terminal\n", err);
  std::fputs("\t -h,--help\t\tShow this help message and exit\n", err);
  std::fputs("\t -v,--version\t\tDisplay version information and exit\n", err);
  std::fflush(err);
}

// Says what is wrong with the command line, the GNU way, and returns the usage status.
int FailUsage(const std::string& what) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kBatchName, what.c_str(),
               kBatchName);
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

constexpr option kLongOptions[] = {{"jobs", required_argument, nullptr, 'j'},
                                   {"recursive", no_argument, nullptr, 'r'},
                                   {"files0-from", required_argument, nullptr, 256},
                                   {"json", no_argument, nullptr, 257},
                                   {"progress", no_argument, nullptr, 258},
                                   {"no-progress", no_argument, nullptr, 259},
                                   {"decode", no_argument, nullptr, 260},
                                   {"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, 'v'},
                                   {nullptr, 0, nullptr, 0}};
enum : int { kFiles0From = 256, kJson, kProgress, kNoProgress, kDecode };

}  // namespace

bool LooksLikeAnOption(std::string_view argument) {
  if (argument.starts_with("-j")) return true;  // -jN
  if (argument.size() == 2 && argument[0] == '-') {
    return std::string_view("jrhv").find(argument[1]) != std::string_view::npos;
  }
  if (!argument.starts_with("--")) return false;
  const std::string_view name = argument.substr(2, argument.find('=') - 2);
  for (const option& known : kLongOptions) {
    if (known.name != nullptr && name == known.name) return true;
  }
  return false;
}

std::optional<BatchOptions> ParseBatchOptions(int argc, char** argv, int& status) {
  const char* name = ProgramName(argc, argv, kBatchName);
  if (argc < 2) {
    PrintBatchUsage(name, stderr);
    status = kExitUsage;
    return std::nullopt;
  }
  BatchOptions options;
  // Messages are written here, naming the program as the usage line does; a leading '+' stops
  // at the first FILE, so what follows it is a FILE even when it starts with '-'.
  opterr = 0;
  optind = 1;
  for (;;) {
    const int previous = optind;
    const int c = getopt_long(argc, argv, "+:j:rhv", kLongOptions, nullptr);
    if (c == -1) break;
    switch (c) {
      case 'h':
        PrintBatchUsage(name, stdout);
        status = kExitOk;
        return std::nullopt;
      case 'v':
        PrintVersion(stdout);
        status = kExitOk;
        return std::nullopt;
      case 'r':
        options.recursive = true;
        break;
      case kFiles0From:
        options.files0_from = optarg;
        break;
      case kJson:
        options.json = true;
        break;
      case kDecode:
        options.decode = true;
        break;
      case kProgress:
        options.progress = ProgressChoice::On;
        break;
      case kNoProgress:
        options.progress = ProgressChoice::Off;
        break;
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
  if (options.files0_from && optind < argc) {
    status = FailUsage(std::string("extra operand '") + argv[optind] +
                       "': file operands cannot be combined with --files0-from");
    return std::nullopt;
  }
  if (optind >= argc && !options.files0_from) {
    PrintBatchUsage(name, stderr);
    status = kExitUsage;
    return std::nullopt;
  }
  options.first_file = optind;
  return options;
}

}  // namespace id3sniff
