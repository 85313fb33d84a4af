#pragma once

#include "report/line_writer.hpp"
#include "report/report_lines.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {

// Writes one line per TXXX slot worth showing, numbered by slot and count, with the known
// description keys relabelled. It removes the NUL bytes from each slot it visits, in place.
void PrintTxxxReport(LineWriter& writer, ScanResult& result);

// Hands lines the TXXX lines alone.
void ListTxxxLines(ScanResult& result, ReportLines& lines);

// Writes one TXXX line.
void PrintTxxxLine(LineWriter& writer, const TxxxLine& line);

}  // namespace id3sniff
