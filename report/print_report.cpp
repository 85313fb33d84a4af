#include "report/print_report.hpp"

#include <array>
#include <string>

#include "report/print_txxx_report.hpp"
#include "report/report_lines.hpp"

namespace id3sniff {
namespace {

struct FieldText {
  std::string_view id;
  std::string_view label;              // 16 characters, so that the '=' signs align
  std::string_view short_placeholder;  // shown for a value shorter than 5 bytes
};

constexpr std::array<FieldText, kTextFieldCount> kFieldTexts = {{
    {"TALB", "(Album)  TALB = ", "noAlbum"},
    {"TIT2", "(Title)  TIT2 = ", "noTitle"},
    {"TPE1", "(Artist) TPE1 = ", "noArtist"},
    {"TSSE", "(TSSE)   TSSE = ", "noTSSE"},
    {"APIC", "(APIC)   APIC = ", "noAPIC"},
}};

// Writes each line as the report shows it.
class LinePrinter final : public ReportLines {
 public:
  explicit LinePrinter(LineWriter& writer) : writer_(writer) {}
  void Field(const FieldLine& line) override {
    writer_.Append(line.label).Append(line.shown).EndLine();
  }
  void Txxx(const TxxxLine& line) override { PrintTxxxLine(writer_, line); }

 private:
  LineWriter& writer_;
};

}  // namespace

void ListReportLines(ScanResult& result, ReportLines& lines) {
  // Dates hold digits only, never an identifier or "????", so they are shown whole.
  if (!result.tdrc.empty()) lines.Field({"TDRC", "(Date)   TDRC = ", result.tdrc});
  if (!result.tyer.empty()) lines.Field({"TYER", "(Date)   TYER = ", result.tyer});
  for (std::size_t f = 0; f < kTextFieldCount; ++f) {
    const std::string_view value = result.text[f];
    if (value.empty()) continue;
    const FieldText& field = kFieldTexts[f];
    lines.Field({field.id, field.label,
                 value.size() <= kTrailerSize ? field.short_placeholder
                                              : value.substr(0, value.size() - kTrailerSize)});
  }
  ListTxxxLines(result, lines);
}

void PrintReport(LineWriter& writer, std::string_view path, ScanResult& result) {
  writer.Append("ID3v2 (2.4) tag info for ").Append(path).EndLine();
  LinePrinter printer(writer);
  ListReportLines(result, printer);
  writer.EndLine();
}

void PrintReport(std::FILE* out, std::string_view path, ScanResult& result,
                 Destination destination) {
  LineWriter writer(out, destination);
  PrintReport(writer, path, result);
}

}  // namespace id3sniff
