#include "report/print_report.hpp"

#include <array>
#include <string>

#include "report/print_txxx_report.hpp"

namespace id3sniff {
namespace {

struct FieldLine {
  std::string_view label;              // 16 characters, so that the '=' signs align
  std::string_view short_placeholder;  // shown for a value shorter than 5 bytes
};

constexpr std::array<FieldLine, kTextFieldCount> kFieldLines = {{
    {"(Album)  TALB = ", "noAlbum"},
    {"(Title)  TIT2 = ", "noTitle"},
    {"(Artist) TPE1 = ", "noArtist"},
    {"(TSSE)   TSSE = ", "noTSSE"},
    {"(APIC)   APIC = ", "noAPIC"},
}};

// The last 4 bytes of a text value are never its own: they are the next frame's identifier,
// captured before it was recognised, or the "????" that ends a text or a placeholder.
constexpr std::size_t kTrailerSize = 4;

}  // namespace

void PrintReport(LineWriter& writer, std::string_view path, ScanResult& result) {
  writer.Append("ID3v2 (2.4) tag info for ").Append(path).EndLine();
  // Dates hold digits only, never an identifier or "????", so they are shown whole.
  if (!result.tdrc.empty()) writer.Append("(Date)   TDRC = ").Append(result.tdrc).EndLine();
  if (!result.tyer.empty()) writer.Append("(Date)   TYER = ").Append(result.tyer).EndLine();
  for (std::size_t f = 0; f < kTextFieldCount; ++f) {
    const std::string_view value = result.text[f];
    if (value.empty()) continue;
    writer.Append(kFieldLines[f].label);
    if (value.size() <= kTrailerSize) {
      writer.Append(kFieldLines[f].short_placeholder);
    } else {
      writer.Append(value.substr(0, value.size() - kTrailerSize));
    }
    writer.EndLine();
  }
  PrintTxxxReport(writer, result);
  writer.EndLine();
}

void PrintReport(std::FILE* out, std::string_view path, ScanResult& result,
                 Destination destination) {
  LineWriter writer(out, destination);
  PrintReport(writer, path, result);
}

}  // namespace id3sniff
