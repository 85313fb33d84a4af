#pragma once

#include <cstdio>
#include <string_view>

#include "report/line_writer.hpp"
#include "report/report_lines.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {

// What stands in place of a report when there is none, on standard output.
inline constexpr std::string_view kUnableToOpen = "Unable to open file\n";
inline constexpr std::string_view kUnableToRead = "Unable to read file\n";
// On standard error, when the report could not be written.
inline constexpr std::string_view kUnableToWrite = "Unable to write report\n";

// Hands lines each line the report of result shows after its header: the dates and fields that
// hold anything, then the TXXX lines. It removes the NUL bytes from each TXXX slot it visits.
void ListReportLines(ScanResult& result, ReportLines& lines);

// Writes the report: the header line naming path, the date and field lines of what the scan
// captured, the TXXX lines, and an empty line. It changes nothing in result but the NUL bytes
// it removes from the TXXX slots.
void PrintReport(LineWriter& writer, std::string_view path, ScanResult& result);

// Writes the report to out, flushing each line. Write errors are left on out for the caller.
void PrintReport(std::FILE* out, std::string_view path, ScanResult& result,
                 Destination destination);

}  // namespace id3sniff
