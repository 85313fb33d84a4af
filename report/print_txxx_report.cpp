#include "report/print_txxx_report.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "report/report_lines.hpp"

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

// A slot's text after relabelling: a label (empty when no key was found) and the slot's bytes
// after the last key found.
struct Relabelled {
  std::string_view label;
  std::string_view rest;
};

// Relabels a slot. A later key is never found inside an earlier label nor across its end (the
// labels end in " = ", the keys are lowercase words), so each key after the first is searched
// in the rest alone.
Relabelled Relabel(std::string_view slot) {
  Relabelled text{{}, slot};
  for (const DescriptionKey& k : kDescriptionKeys) {
    const std::size_t at = text.rest.find(k.key);
    if (at == std::string_view::npos) continue;
    text = {k.label, text.rest.substr(at + k.key.size())};
  }
  return text;
}

// Removes every NUL byte from text, moving the runs between them; a slot is mostly long runs.
void RemoveNuls(std::string& text) {
  char* out = text.data();
  const char* in = out;
  const char* const end = in + text.size();
  while (in < end) {
    const auto* nul =
        static_cast<const char*>(std::memchr(in, '\0', static_cast<std::size_t>(end - in)));
    const char* run_end = nul != nullptr ? nul : end;
    const auto run = static_cast<std::size_t>(run_end - in);
    if (out != in) std::memmove(out, in, run);
    out += run;
    in = nul != nullptr ? nul + 1 : end;
  }
  text.resize(static_cast<std::size_t>(out - text.data()));
}

// Returns true when a slot ran on into the audio data up to an end marker, which it keeps.
bool IsMarked(std::string_view slot) { return slot.ends_with("LAME3") || slot.ends_with("Lavc"); }

// Returns the text without its last n bytes, which may reach into the label.
Relabelled WithoutLast(Relabelled text, std::size_t n) {
  const std::size_t from_rest = std::min(n, text.rest.size());
  n -= from_rest;
  return {text.label.substr(0, text.label.size() - std::min(n, text.label.size())),
          text.rest.substr(0, text.rest.size() - from_rest)};
}

// Writes each TXXX line as the report shows it.
class TxxxPrinter final : public ReportLines {
 public:
  explicit TxxxPrinter(LineWriter& writer) : writer_(writer) {}
  void Field(const FieldLine& /*line*/) override {}
  void Txxx(const TxxxLine& line) override { PrintTxxxLine(writer_, line); }

 private:
  LineWriter& writer_;
};

}  // namespace

void PrintTxxxLine(LineWriter& writer, const TxxxLine& line) {
  writer.Append("(TXXX)").Append(line.slot).Append("/").Append(line.count).Append("TXXX = ");
  writer.Append(line.text_first).Append(line.text_second).EndLine();
}

void ListTxxxLines(ScanResult& result, ReportLines& lines) {
  const int count = result.txxx_count;
  for (int i = 0; i <= count && i < static_cast<int>(kTxxxSlotCount); ++i) {
    std::string& slot = result.txxx_slots[static_cast<std::size_t>(i)];
    RemoveNuls(slot);
    const bool last = i == count && i > 0;
    const bool marked = last && IsMarked(slot);
    if (i == 0 || (slot.size() < kShortestShownSlot && !marked)) continue;
    const Relabelled text = WithoutLast(Relabel(slot), marked ? 0 : kTrailerSize);
    lines.Txxx({i, count, text.label, text.rest});
  }
}

void PrintTxxxReport(LineWriter& writer, ScanResult& result) {
  TxxxPrinter printer(writer);
  ListTxxxLines(result, printer);
}

}  // namespace id3sniff
