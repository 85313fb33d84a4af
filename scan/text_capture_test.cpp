#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/text_capture_internal.hpp"
#include "test_support/scan_of.hpp"
#include "test_support/tag_bytes.hpp"

namespace id3sniff {
namespace {

using namespace std::string_literals;
using testing::Bytes;
using testing::ScanOf;

struct TextCase {
  const char* what;
  std::string bytes;
  TextField field;
  std::string value;
};

// Frame header bytes as a tag has them: size 00 00 00 n, flags 00 00, encoding 03.
std::string Header(int size) { return Bytes({0, 0, 0, size, 0, 0, 3}); }

TEST(TextCapture, KeepsPrintableTextAndTheFourBytesThatEndIt) {
  const std::vector<TextCase> cases = {
      {"ended by the next identifier", "TALB" + Header(9) + "My AlbumTPE1", TextField::Album,
       "My AlbumTPE1"},
      {"0xC3 pairs kept", "TALBCaf\xC3\xA9TPE1", TextField::Album, "Caf\xC3\xA9TPE1"},
      {"ended by a rejected byte", "TIT2Title\x80", TextField::Title, "Title????"},
      {"ends at the first byte of another script",
       "TALB\xC5\x81\xC3\xB3"
       "d\xC5\xBA"
       "TPE1",
       TextField::Album, "noAlbum????????"},
      {"a rejected byte ends a second text after the first", "TALBOldTPE1xTALB\xC5\x81",
       TextField::Album, "OldTPE1????"},
      {"a NUL inside a 0xC3 pair breaks it", "TALBCaf\xC3\0\xA9TPE1"s, TextField::Album,
       "Caf\xC3????"},
      {"tab, line feed and control bytes neither kept nor ending",
       "TIT2My\tTi\ntl\x01"
       "e\x1FTPE1",
       TextField::Title, "MyTitleTPE1"},
      {"0x7F is rejected", "TPE1Band\x7F", TextField::Artist, "Band????"},
      {"TSSE", "TSSE" + Header(14) + "Lavf58.29.100TXXX", TextField::Tsse, "Lavf58.29.100TXXX"},
      {"a second identifier starts a new text", "TPE1FirstTALBxTPE1SecondTALB", TextField::Artist,
       "SecondTALB"},
      {"TALBTIT2 leaves the next identifier only", "TALBTIT2Name\xFF", TextField::Album, "TIT2"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(ScanOf(c.bytes).Text(c.field), c.value) << c.what;
  }
}

TEST(TextCapture, DropsALeadingByteThatIsNotALetter) {
  const std::vector<TextCase> cases = {
      {"a '*' size byte", "TALB" + Bytes({0, 0, 0, '*', 0, 0, 3}) + "HelloTPE1", TextField::Album,
       "HelloTPE1"},
      {"an 'A' size byte is a letter", "TALB" + Bytes({0, 0, 0, 'A', 0, 0, 3}) + "HelloTPE1",
       TextField::Album, "AHelloTPE1"},
      {"a leading space", "TIT2 x yTPE1", TextField::Title, "x yTPE1"},
      {"digits only", "TIT21984TPE1", TextField::Title, "TPE1"},
      {"non-letters only, ended by a rejected byte", "TIT2-19\xFF", TextField::Title, "9????"},
      {"0xC3 is kept even first", "TALB\xC3\x89toileTPE1", TextField::Album, "\xC3\x89toileTPE1"},
      {"a byte after 0xC3 is kept",
       "TALB\xC3"
       "1TPE1",
       TextField::Album,
       "\xC3"
       "1TPE1"},
      {"a non-letter after a kept letter stays", "TALBa1TPE1", TextField::Album, "a1TPE1"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(ScanOf(c.bytes).Text(c.field), c.value) << c.what;
  }
}

TEST(TextCapture, EndsUtf16AndPictureDataAtOnce) {
  const std::string utf16 = Bytes({0, 0, 0, 9, 0, 0, 1, 0xFF, 0xFE, 'A', 0, 'b', 0});
  // The tag header's printable bytes have set the placeholders before the frames arrive.
  const std::string tag = "ID3" + Bytes({4, 0, 0, 0, 0, 1, 0});
  EXPECT_EQ(ScanOf(tag + "TALB" + utf16).Text(TextField::Album), "noAlbum????????");
  EXPECT_EQ(ScanOf(tag + "TSSE" + utf16).Text(TextField::Tsse), "????");
  const std::string picture = "APIC" + Bytes({0, 0, 0, 40, 0, 0, 0}) + "image/jpeg" +
                              Bytes({0, 3, 0, 0xFF, 0xD8, 0xFF, 0xE0, 0, 16}) + "JFIF";
  EXPECT_EQ(ScanOf(tag + picture).Text(TextField::Apic), "image/jpeg????");
}

TEST(TextCapture, SetsPlaceholdersUntilTheFrameHasCaptured) {
  const ScanResult empty_file = ScanOf("");
  const std::vector<std::string> placeholders = {"noAlbum????", "noTitle????", "noArtist????",
                                                 "noTSSE????", "noAPIC????"};
  for (std::size_t f = 0; f < kTextFieldCount; ++f) {
    EXPECT_EQ(empty_file.text[f], placeholders[f]);
  }
  // Nothing printable or high: no placeholder at all.
  const ScanResult zeros = ScanOf(std::string(kWindowSize, '\0'));
  for (const std::string& value : zeros.text) EXPECT_EQ(value, "");
  // An identifier followed by nothing captured leaves TSSE emptied, the others as they were.
  std::string tsse_last = "xTSSE";
  tsse_last.resize(kWindowSize, '\0');
  EXPECT_EQ(ScanOf(tsse_last).Text(TextField::Tsse), "");
  std::string album_last = "xTALB";
  album_last.resize(kWindowSize, '\0');
  EXPECT_EQ(ScanOf(album_last).Text(TextField::Album), "noAlbum????");
  // A TSSE that has captured is emptied by its identifier and gets no placeholder again.
  std::string tsse_again = "TSSEabTALBxTSSE";
  tsse_again.resize(kWindowSize, '\0');
  EXPECT_EQ(ScanOf(tsse_again).Text(TextField::Tsse), "");
}

}  // namespace
}  // namespace id3sniff
