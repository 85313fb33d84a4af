#pragma once

#include <cstddef>
#include <string_view>

#include "scan/scan_tag.hpp"

namespace id3sniff {

// The last 4 bytes of a text value or of an unmarked TXXX slot are never its own: they are the
// next frame's identifier, captured before it was recognised, or the "????" that ends a text or
// a placeholder. The report removes them.
inline constexpr std::size_t kTrailerSize = 4;

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

}  // namespace id3sniff
