#pragma once

// Internal to the scan: included by scan/ and its tests alone; everyone else includes
// scan/scan_tag.hpp.

#include <cstddef>

#include "scan/scan_tag.hpp"

namespace id3sniff {

// Captures byte k into the current TXXX frame. A slot holds the raw bytes from the frame's
// identifier to its latest captured byte, NUL and other uncaptured bytes included, so only
// where the frame's bytes end changes here; CloseTxxxFrame records them.
inline void CaptureTxxx(ScanState& s, std::size_t k) { s.txxx_end = k + 1; }

// Records where the current TXXX frame's slot lies in the window, as the frame ends (at the next
// identifier, or when the scan ends); the bytes are cut from the window once, after the scan.
// When the byte that ended the frame completed a further "TXXX", it was captured first, so the
// slot takes that identifier too. A frame that captured nothing leaves its slot empty, and while
// the count is 10 no slot is left and nothing is stored.
inline void CloseTxxxFrame(ScanState& s) {
  const auto slot = static_cast<std::size_t>(s.result.txxx_count);
  if (s.txxx_end != 0 && slot < kTxxxSlotCount) s.txxx_spans[slot] = {s.txxx_begin, s.txxx_end};
  s.txxx_end = 0;
}

}  // namespace id3sniff
