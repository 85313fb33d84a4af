#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/scan_tag.hpp"

namespace id3sniff::testing {

// The scan's rules as written, slow on purpose, for the fast scan to be compared with: every
// byte of the window is read one at a time, every text is a full copy of the accumulator, every
// placeholder is set on every captured byte, and every captured TXXX byte takes the bytes from
// the last "TXXX" in the raw history that does not end at it. Nothing is skipped.
class ReferenceScan {
 public:
  // Scans file, taken as a whole file: past its end every read gives byte 255.
  explicit ReferenceScan(std::string_view file);

  const ScanResult& result() const { return result_; }
  // Returns how many bytes were processed before the scan ended.
  std::size_t processed() const { return raw_.size(); }

 private:
  void Text(std::size_t field, std::uint8_t b);
  void Date(FrameKind date, std::string& value, std::uint8_t b);
  void Txxx();
  bool Test();

  std::string raw_;  // the raw history: every byte read so far
  std::string accumulator_;
  // Where each "TXXX" in the raw history starts. The bytes of a slot are the raw history from
  // one of these to the byte captured last, so each slot is kept as that pair and cut at the end.
  std::vector<std::size_t> txxx_starts_;
  std::array<std::pair<std::size_t, std::size_t>, kTxxxSlotCount> slot_spans_{};
  FrameKind frame_ = FrameKind::None;
  std::array<bool, kTextFieldCount> unseen_ = {true, true, true, true, true};
  bool tyer_unseen_ = true;
  ScanResult result_;
};

}  // namespace id3sniff::testing
