#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/txxx_capture_internal.hpp"
#include "test_support/scan_of.hpp"
#include "test_support/tag_bytes.hpp"

namespace id3sniff {
namespace {

using namespace std::string_literals;
using testing::Bytes;
using testing::ScanOf;
using testing::TextFrame;

TEST(TxxxCapture, KeepsRawBytesFromTheIdentifierToTheNextOne) {
  const std::string frame = TextFrame("TXXX", "Software\0Lavf58.29.100"s);
  const ScanResult result = ScanOf(frame + "TSSE");
  EXPECT_EQ(result.txxx_count, 1);
  EXPECT_EQ(result.txxx_slots[1], frame + "TSSE");
  EXPECT_EQ(result.txxx_slots[0], "");
}

TEST(TxxxCapture, GivesBackToBackFramesOneSlotEach) {
  const std::string first = TextFrame("TXXX", "comment\0one"s);
  const std::string second = TextFrame("TXXX", "comment\0two"s);
  const ScanResult result = ScanOf(first + second + "TALB");
  EXPECT_EQ(result.txxx_count, 2);
  EXPECT_EQ(result.txxx_slots[1], first + "TXXX");  // the byte completing "TXXX" is captured first
  EXPECT_EQ(result.txxx_slots[2], second + "TALB");
}

TEST(TxxxCapture, RunsOnIntoTheAudioDataUpToTheMarker) {
  const std::string frame = TextFrame("TXXX", "comment\0Ripped"s);
  std::string audio = testing::InfoAudioFrame("LAME3.100");
  audio.resize(audio.find("LAME3") + 5);
  const ScanResult result = ScanOf(frame + std::string(40, '\0') + audio + ".100TALBx");
  EXPECT_EQ(result.txxx_slots[1], frame + std::string(40, '\0') + audio);
}

TEST(TxxxCapture, RunsOnToTheEndOfTheWindow) {
  const ScanResult result = ScanOf("TXXXab");
  EXPECT_EQ(result.txxx_slots[1], "TXXXab" + std::string(kWindowSize - 6, '\xFF'));
}

TEST(TxxxCapture, LeavesASlotEmptyWhenNothingIsCapturedAfterTheIdentifier) {
  std::string near_end(kWindowSize - 8, '\0');
  near_end += "TXXX" + Bytes({0, 1, 9, 0});
  struct Case {
    std::string bytes;
    int count;
    TxxxSlots slots;
  };
  const std::vector<Case> cases = {
      {near_end, 1, {}},
      // The first frame's end must not carry over to the second, which captures nothing.
      {"TXXXabTALBxTXXX", 2, {"", "TXXXabTALB"}},
  };
  for (const Case& c : cases) {
    std::string bytes = c.bytes;
    bytes.resize(kWindowSize, '\0');
    const ScanResult result = ScanOf(bytes);
    EXPECT_EQ(result.txxx_count, c.count) << c.bytes;
    EXPECT_EQ(result.txxx_slots, c.slots) << c.bytes;
  }
}

TEST(TxxxCapture, StoresNineFramesAndCountsToTen) {
  std::string bytes;
  for (int i = 1; i <= 11; ++i) bytes += "TXXX" + std::string(1, static_cast<char>('a' + i));
  const ScanResult result = ScanOf(bytes + "TALB");
  EXPECT_EQ(result.txxx_count, 10);
  for (int i = 1; i <= 9; ++i) {
    EXPECT_EQ(result.txxx_slots[static_cast<std::size_t>(i)],
              "TXXX" + std::string(1, static_cast<char>('a' + i)) + "TXXX")
        << i;
  }
  EXPECT_EQ(result.txxx_slots[0], "");  // never written; the tenth and eleventh frames are lost
}

}  // namespace
}  // namespace id3sniff
