#pragma once

#include "report/line_writer.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {

// Writes one line per TXXX slot worth showing: NUL bytes removed and the known description
// keys relabelled, numbered by slot and count.
void PrintTxxxReport(LineWriter& writer, const ScanResult& result);

}  // namespace id3sniff
