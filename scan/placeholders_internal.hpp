#pragma once

// Internal to the scan: included by scan/ and its tests alone; everyone else includes
// scan/scan_tag.hpp.

#include <array>
#include <cstdint>
#include <string_view>

#include "scan/scan_tag.hpp"

namespace id3sniff {

// Bits of FileScanState::unseen: one per text field, then TYER.
constexpr std::uint8_t FieldBit(TextField field) {
  return static_cast<std::uint8_t>(1u << static_cast<unsigned>(field));
}
inline constexpr std::uint8_t kTyerBit = 1u << kTextFieldCount;

// Each is the short placeholder the report prints followed by the four bytes the report removes.
inline constexpr std::array<std::string_view, kTextFieldCount> kLongPlaceholders = {
    "noAlbum????", "noTitle????", "noArtist????", "noTSSE????", "noAPIC????"};
inline constexpr std::string_view kNoDate = "noDate";

// Records that a field's frame captured a byte: its placeholder is never set again.
inline void MarkSeen(ScanState& s, std::uint8_t bit) {
  s.unseen &= static_cast<std::uint8_t>(~bit);
}

// Sets the placeholder of every field whose frame has captured nothing. Every Printable or High
// byte does this, but after the first one each such field holds its placeholder already: an
// identifier that empties TSSE or TYER is always followed by that frame's own capture. So the
// scan does it once.
inline void SetPlaceholders(ScanState& s) {
  for (std::size_t f = 0; f < kTextFieldCount; ++f) {
    if (s.unseen & (1u << f)) s.result.text[f] = kLongPlaceholders[f];
  }
  if (s.unseen & kTyerBit) s.result.tyer = kNoDate;
  s.placeholders_set = true;
}

}  // namespace id3sniff
