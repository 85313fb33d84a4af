#include <cstddef>
#include <optional>

#include "app/command_line.hpp"
#include "batch/options.hpp"
#include "batch/report_files.hpp"

namespace id3sniff {

int RunBatchCommandLine(int argc, char** argv) {
  int status = kExitOk;
  const std::optional<BatchOptions> options = ParseBatchOptions(argc, argv, status);
  if (!options) return status;
  return ReportFiles(*options, argv + options->first_file,
                     static_cast<std::size_t>(argc - options->first_file));
}

}  // namespace id3sniff
