#include "batch/file_report.hpp"

#include "report/print_report.hpp"

namespace id3sniff {

void MakeReport(const char* path, FileScan scan, ScanState& state, Destination destination,
                FileReport& report) {
  report.text.clear();
  report.failed = scan != FileScan::Complete;
  switch (scan) {
    case FileScan::Complete: {
      LineWriter writer(report.text, destination);
      PrintReport(writer, path, state.result);
      break;
    }
    case FileScan::CannotOpen:
      report.text = kUnableToOpen;
      break;
    case FileScan::CannotRead:
      report.text = kUnableToRead;
      break;
  }
}

}  // namespace id3sniff
