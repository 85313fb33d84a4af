#include "app/common.hpp"

#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "app/command_line.hpp"
#include "app/version.hpp"

namespace id3sniff {

const char* ProgramName(int argc, char** argv, const char* fallback) {
  return argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : fallback;
}

void PrintVersion(std::FILE* out) {
  std::fputs("Version: ", out);
  std::fwrite(kVersion.data(), 1, kVersion.size(), out);
  std::fputs("\n", out);
  std::fflush(out);
}

std::optional<int> AnswerRequest(int argc, char** argv, void (*print_usage)(const char* name),
                                 const char* fallback) {
  const char* name = ProgramName(argc, argv, fallback);
  if (argc < 2) {
    print_usage(name);
    return kExitUsage;
  }
  const std::string_view first = argv[1];
  if (first == "-h" || first == "--help") {
    print_usage(name);
    return kExitOk;
  }
  if (first == "-v" || first == "--version") {
    PrintVersion(stderr);
    return kExitOk;
  }
  return std::nullopt;
}

Destination ChooseDestination() {
  return isatty(STDOUT_FILENO) ? Destination::Terminal : Destination::PipeOrFile;
}

}  // namespace id3sniff
