#include "report/print_txxx_report.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace id3sniff {
namespace {

struct DescriptionKey {
  std::string_view key;    // searched case-sensitively
  std::string_view label;  // replaces the key and everything before it
};

// Applied in this order, each to what the previous one left, so the last key found wins.
constexpr std::array<DescriptionKey, 4> kDescriptionKeys = {{
    {"Software", "Software = "},
    {"description", "Description = "},
    {"comment", "Comment = "},
    {"purl", "Purl = "},
}};

// A slot shorter than this holds no text worth a line: "TXXX", a byte or so and 4 trailer bytes.
constexpr std::size_t kShortestShownSlot = 9;
// The 4 bytes an unmarked slot ends with are the identifier of the frame that followed it.
constexpr std::size_t kTrailerSize = 4;

// Returns true when a slot ran on into the audio data up to an end marker, which it keeps.
bool IsMarked(std::string_view slot) { return slot.ends_with("LAME3") || slot.ends_with("Lavc"); }

std::string Relabel(std::string text) {
  for (const DescriptionKey& k : kDescriptionKeys) {
    const std::size_t at = text.find(k.key);
    if (at == std::string::npos) continue;
    text = std::string(k.label) + text.substr(at + k.key.size());
  }
  return text;
}

std::string_view DropTrailer(std::string_view text) {
  return text.substr(0, text.size() - std::min(text.size(), kTrailerSize));
}

}  // namespace

void PrintTxxxReport(LineWriter& writer, const ScanResult& result) {
  const int count = result.txxx_count;
  for (int i = 0; i <= count && i < static_cast<int>(kTxxxSlotCount); ++i) {
    std::string slot = result.txxx_slots[static_cast<std::size_t>(i)];
    std::erase(slot, '\0');
    const bool last = i == count && i > 0;
    const bool marked = last && IsMarked(slot);
    if (i == 0 || (slot.size() < kShortestShownSlot && !marked)) continue;
    const std::string text = Relabel(slot);
    writer.Append("(TXXX)").Append(i).Append("/").Append(count).Append("TXXX = ");
    writer.Append(marked ? std::string_view(text) : DropTrailer(text)).EndLine();
  }
}

}  // namespace id3sniff
