#pragma once

#include <string_view>

#include "scan/scan_tag.hpp"

namespace id3sniff::testing {

// Returns what the scan captures from bytes taken as a whole file.
inline ScanResult ScanOf(std::string_view bytes) {
  ScanState state;
  ScanBytes(bytes, state);
  return std::move(state.result);
}

}  // namespace id3sniff::testing
