#include "report/line_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace id3sniff {
namespace {

TEST(AppendShownOnTerminal, MasksEachControlCharacterAndKeepsEveryOtherCharacter) {
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
    AppendShownOnTerminal(bytes, out);
    EXPECT_EQ(out, shown) << ::testing::PrintToString(bytes);
  }
}

// The terminal rule written from code points rather than byte ranges: the well-formed character
// that bytes starts with (the shortest form of a code point up to U+10FFFF, not a surrogate) and
// its length, or a length of 0.
std::pair<std::uint32_t, std::size_t> DecodeCharacter(std::string_view bytes) {
  const auto lead = static_cast<std::uint8_t>(bytes[0]);
  if (lead < 0x80) return {lead, 1};
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead >= 0xF8 || bytes.size() < length) return {0, 0};
  std::uint32_t point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<std::uint8_t>(bytes[i]);
    if ((next & 0xC0) != 0x80) return {0, 0};
    point = point << 6 | (next & 0x3F);
  }
  const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < shortest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
    return {0, 0};
  }
  return {point, length};
}

bool IsControl(std::uint32_t point) { return point < 0x20 || (point >= 0x7F && point <= 0x9F); }

std::string ShownByTheRule(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto [point, length] = DecodeCharacter(bytes.substr(i));
    const bool character = length != 0;
    const std::size_t taken = character ? length : 1;
    const bool control =
        character ? IsControl(point) : IsControl(static_cast<std::uint8_t>(bytes[i]));
    out += control ? std::string("?") : std::string(bytes.substr(i, taken));
    i += taken;
  }
  return out;
}

std::string Utf8(std::uint32_t point) {
  if (point < 0x80) return std::string(1, static_cast<char>(point));
  const std::size_t length = point < 0x800 ? 2 : point < 0x10000 ? 3 : 4;
  std::string bytes(length, '\0');
  for (std::size_t i = length - 1; i > 0; --i, point >>= 6) {
    bytes[i] = static_cast<char>(0x80 | (point & 0x3F));
  }
  bytes[0] = static_cast<char>((0xF00 >> length & 0xFF) | point);  // 0xC0, 0xE0 or 0xF0
  return bytes;
}

// Every character, whole, and every lead byte followed by bytes at the edges of the ranges that
// make a character well-formed: shown as the rule says, so no control reaches a terminal.
TEST(AppendShownOnTerminal, FollowsTheRuleForEveryCharacterAndEveryEdgeOfEverySequence) {
  std::string out;
  for (std::uint32_t point = 0; point <= 0x10FFFF; ++point) {
    if (point == 0xD800) point = 0xE000;
    const std::string bytes = Utf8(point);
    out.clear();
    AppendShownOnTerminal(bytes, out);
    ASSERT_EQ(out, IsControl(point) ? "?" : bytes) << "U+" << std::hex << point;
  }
  const char edges[] = {'\x7F', '\x80', '\x8F', '\x90', '\x9F', '\xA0', '\xBF', '\xC0'};
  for (unsigned n = 0; n < 128 * 8 * 8 * 8; ++n) {
    const std::string bytes = {static_cast<char>(0x80 + n / 512), edges[n / 64 % 8],
                               edges[n / 8 % 8], edges[n % 8]};
    out.clear();
    AppendShownOnTerminal(bytes, out);
    ASSERT_EQ(out, ShownByTheRule(bytes)) << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace id3sniff
