#include "report/line_writer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace id3sniff {
namespace {

TEST(ShowOnTerminal, MasksEachControlCharacterAndKeepsEveryOtherCharacter) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      // C0 controls and DEL.
      {"a\x1B[2Jb\x7F\n", "a?[2Jb??"},
      // C1 controls as UTF-8: one '?' per character.
      {"\xC2\x9B"
       "2J",
       "?2J"},
      {"\xC2\x80\xC2\x9F", "??"},
      // C1 controls as raw bytes, outside any UTF-8 sequence.
      {"\x9B"
       "2J\x80\x9F",
       "?2J??"},
      // Characters from U+00A0 up are kept, whatever their continuation bytes.
      {"\xC2\xA0\xC2\xBF", "\xC2\xA0\xC2\xBF"},
      {"Caf\xC3\xA9 \xC3\x89", "Caf\xC3\xA9 \xC3\x89"},
      {"\xC3\x80\xC3\x9B\xC3\x9F", "\xC3\x80\xC3\x9B\xC3\x9F"},  // 0xC3 pairs with 0x80..0x9F
      {"\xC5\x81\xE6\x97\xA5\xE2\x82\xAC\xF0\x9F\x8E\xB5",
       "\xC5\x81\xE6\x97\xA5\xE2\x82\xAC\xF0\x9F\x8E\xB5"},  // Ł, 日, €, 🎵
      // Bytes of 0xA0 and above outside any sequence are kept; 0x80..0x9F after them are not.
      {"\xFF\xFE\xA0\xC3", "\xFF\xFE\xA0\xC3"},
      {"ab\xE2\x80", "ab\xE2?"},           // a sequence cut at the end of the value
      {"\xC2", "\xC2"},                    // a lead byte alone at the end
      {"\xC0\x80\xC1\x9B", "\xC0?\xC1?"},  // overlong forms are no characters
      {"\xE0\x9B\x80", "\xE0??"},          // nor is a too-short three-byte form
      {"\xED\xA0\x80", "\xED\xA0?"},       // nor a surrogate
      {"\xF4\x90\x80\x80", "\xF4???"},     // nor a code point past U+10FFFF
      {"\xE2\x82\xC2\x9B", "\xE2??"},      // a broken sequence before a C1 control
  };
  for (const auto& [bytes, shown] : cases) {
    std::string out;
    ShowOnTerminal(bytes, out);
    EXPECT_EQ(out, shown) << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace id3sniff
