#pragma once

// Internal to the scan: included by scan/ and its tests alone; everyone else includes
// scan/scan_tag.hpp.

#include <cstdint>
#include <string>

#include "scan/scan_tag.hpp"

namespace id3sniff {

// Captures byte b into a date: a digit extends it, any other captured byte ends the frame.
// Bytes that are not captured (size, flag and encoding bytes below 32) pass unnoticed, and a
// size byte that happens to be a digit character becomes part of the date.
inline void CaptureDate(ScanState& s, std::string& value, std::uint8_t b) {
  if (static_cast<unsigned>(b - '0') < 10u) {
    value.push_back(static_cast<char>(b));
  } else {
    s.frame = FrameKind::None;
  }
}

}  // namespace id3sniff
