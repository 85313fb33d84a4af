#include "batch/file_report.hpp"

#include <cstring>

#include "report/json_report.hpp"
#include "report/print_report.hpp"

namespace id3sniff {

void MakeReport(std::string_view path, FileScan scan, int error, ScanState& state,
                ReportStyle style, FileReport& report) {
  report.text.clear();
  report.failed = scan != FileScan::Complete;
  report.error = error;
  if (!report.failed) {
    if (style.json) {
      AppendJsonReport(report.text, path, state.result);
    } else {
      LineWriter writer(report.text, style.destination);
      PrintReport(writer, path, state.result);
    }
    return;
  }
  const std::string_view unable = scan == FileScan::CannotOpen ? kUnableToOpen : kUnableToRead;
  if (style.json) {
    // strerror's texts for known errors are constant; readers call this at once.
    AppendJsonError(report.text, path, unable.substr(0, unable.size() - 1), std::strerror(error));
  } else {
    report.text = unable;
  }
}

}  // namespace id3sniff
