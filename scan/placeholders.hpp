#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "scan/scan_tag.hpp"

namespace id3sniff {

// Bits of ScanState::first_seen and ScanState::placeholder_pending: one per text field, then TYER.
constexpr std::uint8_t FieldBit(TextField field) {
  return static_cast<std::uint8_t>(1u << static_cast<unsigned>(field));
}
inline constexpr std::uint8_t kTyerBit = 1u << kTextFieldCount;
inline constexpr std::uint8_t kAllPlaceholderBits = (1u << (kTextFieldCount + 1)) - 1;

// Each is the short placeholder the report prints followed by the four bytes the report removes.
inline constexpr std::array<std::string_view, kTextFieldCount> kLongPlaceholders = {
    "noAlbum????", "noTitle????", "noArtist????", "noTSSE????", "noAPIC????"};
inline constexpr std::string_view kNoDate = "noDate";

// Records that a field's frame captured a byte: its placeholder is never set again.
inline void MarkSeen(ScanState& s, std::uint8_t bit) {
  s.first_seen &= static_cast<std::uint8_t>(~bit);
  s.placeholder_pending &= static_cast<std::uint8_t>(~bit);
}

// Records that a field was emptied: if its frame has captured nothing yet, the next captured
// byte of another frame sets its placeholder again.
inline void MarkEmptied(ScanState& s, std::uint8_t bit) {
  s.placeholder_pending |= static_cast<std::uint8_t>(s.first_seen & bit);
}

// Sets the placeholder of every field that has captured nothing and does not hold it already.
// Setting a placeholder that is already set changes nothing, so only pending fields are visited.
inline void SetPendingPlaceholders(ScanState& s) {
  for (std::size_t f = 0; f < kTextFieldCount; ++f) {
    if (s.placeholder_pending & (1u << f)) s.result.text[f] = kLongPlaceholders[f];
  }
  if (s.placeholder_pending & kTyerBit) s.result.tyer = kNoDate;
  s.placeholder_pending = 0;
}

}  // namespace id3sniff
