#pragma once

#include <string_view>

#include "scan/scan_tag.hpp"

namespace id3sniff {

// A date or text field's line: "(Album)  TALB = " and what it shows.
struct FieldLine {
  std::string_view id;     // the frame's identifier: "TDRC", "TYER", "TALB", ..., "APIC"
  std::string_view label;  // the line up to the value, 16 characters
  std::string_view shown;  // the value as the line shows it
};

// A TXXX slot's line: "(TXXX)", slot, "/", count, "TXXX = ", then the text, which is the first
// part followed by the second (a relabelled description and the bytes after its key).
struct TxxxLine {
  int slot;
  int count;
  std::string_view text_first;
  std::string_view text_second;
};

// Receives the lines of a report after its header, in order.
class ReportLines {
 public:
  virtual void Field(const FieldLine& line) = 0;
  virtual void Txxx(const TxxxLine& line) = 0;

 protected:
  ~ReportLines() = default;
};

// Hands lines each line the report of result shows after its header: the dates and fields that
// hold anything, then the TXXX lines. It removes the NUL bytes from each TXXX slot it visits.
void ListReportLines(ScanResult& result, ReportLines& lines);

// Hands lines the TXXX lines alone.
void ListTxxxLines(ScanResult& result, ReportLines& lines);

}  // namespace id3sniff
