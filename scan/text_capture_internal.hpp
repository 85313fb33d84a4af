#pragma once

// Internal to the scan: included by scan/ and its tests alone; everyone else includes
// scan/scan_tag.hpp.

#include <cctype>
#include <cstddef>
#include <cstdint>

#include "scan/placeholders_internal.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {

// The lead byte of the UTF-8 sequences for U+00C0..U+00FF, the accented Latin letters: the one
// kind of byte of 127 or more that a text keeps, with the byte after it.
inline constexpr std::uint8_t kLatinLead = 0xC3;

// Captures byte b, at window position k, into the text of the current frame's field, or ends
// the text with "????" when b is a byte of 127 or more outside a 0xC3 pair.
inline void CaptureText(ScanState& s, TextField field, std::size_t k, std::uint8_t b) {
  std::string& value = s.result.text[static_cast<std::size_t>(field)];
  // The byte before in the window, captured or not: a NUL inside a 0xC3 pair breaks it.
  const bool after_lead = k > 0 && s.window[k - 1] == kLatinLead;
  if (b >= 127 && b != kLatinLead && !after_lead) {
    s.frame = FrameKind::None;
    value += "????";
  } else {
    if (s.accumulator_empty) value.clear();
    value.push_back(static_cast<char>(b));
    // A first byte that is not a letter (a stray size byte, a space, a digit) stays in the value
    // only until the next captured byte replaces it. The program never sets a locale, so isalpha
    // accepts A-Z and a-z only; b is a byte, never negative.
    s.accumulator_empty = s.accumulator_empty && !std::isalpha(b) && b != kLatinLead && !after_lead;
  }
  MarkSeen(s, FieldBit(field));
}

}  // namespace id3sniff
