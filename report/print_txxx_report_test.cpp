#include "report/print_txxx_report.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/print_report.hpp"
#include "test_support/capture_output.hpp"
#include "test_support/scan_of.hpp"
#include "test_support/tag_bytes.hpp"

namespace id3sniff {
namespace {

using namespace std::string_literals;
using testing::Bytes;
using testing::ScanOf;
using testing::TextFrame;

// Returns the TXXX lines of the report of bytes, which stand between the field lines and the
// final empty line.
std::string TxxxLines(const std::string& bytes) {
  testing::CapturedOutput output;
  LineWriter writer(output.stream(), Destination::PipeOrFile);
  ScanResult result = ScanOf(bytes);
  PrintTxxxReport(writer, result);
  return output.Text();
}

struct TxxxCase {
  const char* what;
  std::string bytes;
  std::string lines;
};

std::string Txxx(const std::string& description, const std::string& value) {
  return TextFrame("TXXX", description + '\0' + value);
}

TEST(TxxxReport, RelabelsKeysAndRemovesTheNextIdentifier) {
  const std::vector<TxxxCase> cases = {
      {"no TXXX frame", "TALBAlbumTPE1", ""},
      {"one frame", Txxx("Software", "Lavf58.29.100") + "TSSE",
       "(TXXX)1/1TXXX = Software = Lavf58.29.100\n"},
      {"two frames back to back", Txxx("description", "Live") + Txxx("comment", "Ripped") + "TSSE",
       "(TXXX)1/2TXXX = Description = Live\n(TXXX)2/2TXXX = Comment = Ripped\n"},
      {"purl", Txxx("purl", "http://x") + "TALB", "(TXXX)1/1TXXX = Purl = http://x\n"},
      {"the last key found wins", Txxx("comment", "see purl http://x") + "TALB",
       "(TXXX)1/1TXXX = Purl =  http://x\n"},
      {"Software before description", Txxx("Software", "description") + "TALB",
       "(TXXX)1/1TXXX = Description = \n"},
      {"a key's first occurrence counts", Txxx("comment", "Best comment ever") + "TALB",
       "(TXXX)1/1TXXX = Comment = Best comment ever\n"},
      {"keys are case-sensitive, and an unknown key prints raw without NULs",
       Txxx("COMMENT", "x") + "TALB",
       "(TXXX)1/1TXXX = TXXX\x0A\x03"
       "COMMENTx\n"},
      {"runs of NULs disappear",
       "TXXX" + Bytes({0, 0, 0, 0}) + "comment" + std::string(7, '\0') + "a" +
           std::string(3, '\0') + "b" + "TALB",
       "(TXXX)1/1TXXX = Comment = ab\n"},
  };
  for (const TxxxCase& c : cases) EXPECT_EQ(TxxxLines(c.bytes), c.lines) << c.what;
}

TEST(TxxxReport, KeepsAMarkedLastSlotWhole) {
  const std::string frame = Txxx("comment", "Ripped");
  std::string audio = testing::InfoAudioFrame("LAME3.100");
  audio.resize(audio.find("LAME3") + 5);
  std::string shown_audio = audio;
  std::erase(shown_audio, '\0');
  const std::vector<TxxxCase> cases = {
      {"ran into the audio data up to LAME3", frame + std::string(40, '\0') + audio,
       "(TXXX)1/1TXXX = Comment = Ripped" + shown_audio + "\n"},
      {"ended at Lavc", frame + "Lavc", "(TXXX)1/1TXXX = Comment = RippedLavc\n"},
      {"a short marked slot", "TXXXLavc", "(TXXX)1/1TXXX = TXXXLavc\n"},
      {"a marker as the last slot's value", Txxx("comment", "a") + Txxx("purl", "Lavc"),
       "(TXXX)1/2TXXX = Comment = a\n(TXXX)2/2TXXX = Purl = Lavc\n"},
  };
  for (const TxxxCase& c : cases) EXPECT_EQ(TxxxLines(c.bytes), c.lines) << c.what;
}

TEST(TxxxReport, SkipsSlotsShorterThanNineBytes) {
  // A second identifier in the window's last 8 bytes, followed by nothing captured: the first
  // slot runs on through the NUL padding, which the report removes, and the second stays empty.
  const std::string kept = Txxx("comment", "kept");
  std::string empty_last = kept + std::string(kWindowSize - 8 - kept.size(), '\0');
  empty_last += "TXXX" + Bytes({0, 0, 1, 0});
  // A frame cut by the end of the window two bytes after its key: the last 4 bytes go as ever.
  const std::string cut = Txxx("comment", "ab");
  const std::vector<TxxxCase> cases = {
      {"cut by the end of the window", std::string(kWindowSize - cut.size(), '\0') + cut,
       "(TXXX)1/1TXXX = Comment \n"},
      {"9 bytes", "TXXXaTALB", "(TXXX)1/1TXXX = TXXXa\n"},
      {"8 bytes", "TXXXTALBx", ""},
      {"8 bytes before the last slot", "TXXXTXXXabcdTALB", "(TXXX)2/2TXXX = TXXXabcd\n"},
      {"an empty last slot near the end of the window", empty_last,
       "(TXXX)1/2TXXX = Comment = kept\n"},
  };
  for (const TxxxCase& c : cases) EXPECT_EQ(TxxxLines(c.bytes), c.lines) << c.what;
}

TEST(TxxxReport, NumbersNineLinesOfTenWhenTheSlotsRunOut) {
  std::string bytes;
  std::string lines;
  for (int i = 1; i <= 11; ++i) {
    const std::string value = "value" + std::to_string(i);
    bytes += Txxx("comment", value);
    if (i <= 9) lines += "(TXXX)" + std::to_string(i) + "/10TXXX = Comment = " + value + "\n";
  }
  EXPECT_EQ(TxxxLines(bytes + "TALB"), lines);
}

}  // namespace
}  // namespace id3sniff
