#pragma once

#include <cstddef>

#include "scan/scan_tag.hpp"

namespace id3sniff {

// Extends the current TXXX frame's slot to byte k. A slot holds the raw bytes from the frame's
// identifier to its latest captured byte, NUL and other uncaptured bytes included, so only
// where it ends changes here; the bytes are cut from the window once, when the scan ends. When
// b completes a further "TXXX", the slot takes that identifier too before it starts the next
// slot. While the count is 10 no slot is left and nothing is stored.
inline void CaptureTxxx(ScanState& s, std::size_t k) {
  if (static_cast<std::size_t>(s.result.txxx_count) < kTxxxSlotCount) {
    s.txxx_spans[static_cast<std::size_t>(s.result.txxx_count)] = {s.txxx_begin, k + 1};
  }
}

}  // namespace id3sniff
