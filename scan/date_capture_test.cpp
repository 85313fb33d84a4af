#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/date_capture_internal.hpp"
#include "test_support/scan_of.hpp"
#include "test_support/tag_bytes.hpp"

namespace id3sniff {
namespace {

using testing::Bytes;
using testing::ScanOf;

struct DateCase {
  const char* what;
  std::string bytes;
  std::string tdrc;
  std::string tyer;
};

TEST(DateCapture, KeepsDigitsUntilTheFirstOtherCapturedByte) {
  const std::string header = Bytes({0, 0, 0, 5, 0, 0, 3});
  const std::vector<DateCase> cases = {
      {"TDRC then TALB", "TDRC" + header + "2019TALB", "2019", "noDate"},
      {"dashes end it", "TDRC" + header + "2019-05-01TALB", "2019", "noDate"},
      {"so does the byte after '9'", "TDRC" + header + "2019:00TALB", "2019", "noDate"},
      {"a control byte inside",
       "TDRC20\x01"
       "19TALB",
       "2019", "noDate"},
      {"a NUL and a tab inside", "TDRC20" + Bytes({0, 9}) + "19TALB", "2019", "noDate"},
      {"a digit-valued size byte is captured", "TDRC" + Bytes({0, 0, 0, '5', 0, 0, 3}) + "2019",
       "52019", "noDate"},
      {"a printable size byte ends it before it begins",
       "TDRC" + Bytes({0, 0, 0, ' ', 0, 0, 3}) + "2019", "", "noDate"},
      {"TYER", "TYER" + header + "1999TALB", "", "1999"},
      {"TYER straight followed by TALB", "TYERTALBx", "", ""},
      {"both", "TYER1999TDRC2019x", "2019", "1999"},
      {"a second TDRC restarts it", "TDRC2019TALBxTDRC2020x", "2020", "noDate"},
      {"a second TYER empties it", "TYER1999xTYERx", "", ""},
      {"ended at end of file by byte 255", "TDRC2019", "2019", "noDate"},
      {"an empty file", "", "", "noDate"},
      {"16384 zero bytes", std::string(kWindowSize, '\0'), "", ""},
  };
  for (const DateCase& c : cases) {
    const ScanResult result = ScanOf(c.bytes);
    EXPECT_EQ(result.tdrc, c.tdrc) << c.what;
    EXPECT_EQ(result.tyer, c.tyer) << c.what;
  }
}

TEST(DateCapture, KeepsTyerEmptyWhenNothingFollowsItsIdentifier) {
  std::string bytes = "xTYER";
  bytes.resize(kWindowSize, '\0');
  EXPECT_EQ(ScanOf(bytes).tyer, "");
}

}  // namespace
}  // namespace id3sniff
