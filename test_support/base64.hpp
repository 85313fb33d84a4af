#pragma once

#include <string>
#include <string_view>

namespace id3sniff::testing {

// Returns the bytes that RFC 4648 base64 text (padded, standard alphabet) stands for; written
// apart from the program's encoder, for tests to hold it to.
inline std::string DecodeBase64(std::string_view text) {
  constexpr std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    bits = bits << 6 | static_cast<unsigned>(kDigits.find(c));
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>(bits >> count));
    }
  }
  return bytes;
}

}  // namespace id3sniff::testing
