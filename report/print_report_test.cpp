#include "report/print_report.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/capture_output.hpp"

namespace id3sniff {
namespace {

using namespace std::string_literals;

std::string Report(ScanResult result, std::string_view path = "song.mp3",
                   Destination destination = Destination::PipeOrFile) {
  testing::CapturedOutput output;
  PrintReport(output.stream(), path, result, destination);
  return output.Text();
}

TEST(PrintReport, WithNothingCapturedPrintsTheHeaderAndTheEmptyLine) {
  EXPECT_EQ(Report(ScanResult{}), "ID3v2 (2.4) tag info for song.mp3\n\n");
}

TEST(PrintReport, PrintsDatesWholeAndTheRestWithoutItsLastFourBytes) {
  ScanResult result;
  result.tdrc = "2019";
  result.tyer = "noDate";
  result.text = {"Caf\xC3\xA9 AlbumTDRC", "Some TitleTPE1", "The ArtistTALB", "Lavf58.29.100????",
                 "noAPIC????"};
  EXPECT_EQ(Report(result),
            "ID3v2 (2.4) tag info for song.mp3\n"
            "(Date)   TDRC = 2019\n"
            "(Date)   TYER = noDate\n"
            "(Album)  TALB = Caf\xC3\xA9 Album\n"
            "(Title)  TIT2 = Some Title\n"
            "(Artist) TPE1 = The Artist\n"
            "(TSSE)   TSSE = Lavf58.29.100\n"
            "(APIC)   APIC = noAPIC\n"
            "\n");
}

TEST(PrintReport, ShowsShortValuesAsTheirShortPlaceholder) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"TPE1", "no"},                      // 4 bytes: only the next identifier
      {"a", "no"},                         // 1 byte
      {"aTPE1", "a"},                      // 5 bytes: the first byte only
      {"noAlbum????????", "noAlbum????"},  // a placeholder ended again by a UTF-16 text
      {"\xC3\xA9TPE1", "\xC3\xA9"},        // bytes of 127 or more print unchanged
  };
  const std::pair<const char*, const char*> fields[] = {{"(Album)  TALB = ", "noAlbum"},
                                                        {"(Title)  TIT2 = ", "noTitle"},
                                                        {"(Artist) TPE1 = ", "noArtist"},
                                                        {"(TSSE)   TSSE = ", "noTSSE"},
                                                        {"(APIC)   APIC = ", "noAPIC"}};
  for (std::size_t f = 0; f < kTextFieldCount; ++f) {
    const auto [label, placeholder] = fields[f];
    for (const auto& [value, shown] : cases) {
      ScanResult result;
      result.text[f] = value;
      EXPECT_EQ(Report(result), "ID3v2 (2.4) tag info for song.mp3\n"s + label +
                                    (shown == "no" ? placeholder : shown) + "\n\n")
          << value;
    }
  }
}

TEST(PrintReport, LeavesOutEmptyValues) {
  ScanResult result;
  result.tyer = "1999";
  result.text[static_cast<std::size_t>(TextField::Apic)] = "image/jpeg????";
  EXPECT_EQ(Report(result),
            "ID3v2 (2.4) tag info for song.mp3\n(Date)   TYER = 1999\n"
            "(APIC)   APIC = image/jpeg\n\n");
}

TEST(PrintReport, WritesRawBytesToAPipeAndMasksControlBytesOnATerminal) {
  ScanResult result;
  result.text[1] =
      "\x1B]0;owned\x07\x7F\r\xC3\xA9\xFF"
      "TPE1";
  const std::string path = "a\nb\x1B[2J.mp3";
  EXPECT_EQ(Report(result, path), "ID3v2 (2.4) tag info for " + path + "\n(Title)  TIT2 = " +
                                      "\x1B]0;owned\x07\x7F\r\xC3\xA9\xFF" + "\n\n");
  EXPECT_EQ(Report(result, path, Destination::Terminal),
            "ID3v2 (2.4) tag info for a?b?[2J.mp3\n(Title)  TIT2 = ?]0;owned???\xC3\xA9\xFF\n\n");
}

}  // namespace
}  // namespace id3sniff
