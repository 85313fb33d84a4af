#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/id3v2.hpp"
#include "decode/text_internal.hpp"
#include "report/line_writer.hpp"

namespace id3sniff {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | c >> 6));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | c >> 12));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | c >> 18));
    out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string FromLatin1(std::string_view bytes) {
  std::string out;
  for (const char b : bytes) AppendUtf8(out, static_cast<std::uint8_t>(b));
  return out;
}

std::string FromUtf8(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    if (static_cast<std::uint8_t>(bytes[i]) < 0x80) {
      out.push_back(bytes[i++]);
      continue;
    }
    const std::size_t length = Utf8SequenceLength(bytes.substr(i));
    if (length == 0) {
      AppendUtf8(out, kReplacement);
      ++i;
    } else {
      out.append(bytes.substr(i, length));
      i += length;
    }
  }
  return out;
}

// UTF-16 of one string: a byte-order mark at its start decides the order, else big_endian.
std::string FromUtf16(std::string_view bytes, bool big_endian) {
  if (bytes.size() >= 2) {
    const auto b0 = static_cast<std::uint8_t>(bytes[0]);
    const auto b1 = static_cast<std::uint8_t>(bytes[1]);
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) {
      big_endian = b0 == 0xFE;
      bytes.remove_prefix(2);
    }
  }
  const auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<std::uint8_t>(bytes[i]);
    const auto b = static_cast<std::uint8_t>(bytes[i + 1]);
    return big_endian ? char32_t{a} << 8 | b : char32_t{b} << 8 | a;
  };
  std::string out;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
  }
  if (i < bytes.size()) AppendUtf8(out, kReplacement);  // an odd last byte
  return out;
}

}  // namespace

std::size_t TerminatorAt(int encoding, std::string_view bytes, std::size_t& width) {
  if (encoding == 1 || encoding == 2) {
    width = 2;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      if (bytes[i] == '\0' && bytes[i + 1] == '\0') return i;
    }
    return std::string_view::npos;
  }
  width = 1;
  return bytes.find('\0');
}

std::string DecodeString(int encoding, std::string_view bytes) {
  switch (encoding) {
    case 0:
      return FromLatin1(bytes);
    case 1:
      return FromUtf16(bytes, false);
    case 2:
      return FromUtf16(bytes, true);
    default:
      return FromUtf8(bytes);
  }
}

std::string TakeString(int encoding, std::string_view& bytes) {
  std::size_t width = 1;
  const std::size_t end = TerminatorAt(encoding, bytes, width);
  const std::string_view text = bytes.substr(0, end);
  bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + width);
  return DecodeString(encoding, text);
}

std::vector<std::string> DecodeValues(int encoding, std::string_view bytes) {
  std::vector<std::string> values;
  do {
    values.push_back(TakeString(encoding, bytes));
  } while (!bytes.empty());
  return values;
}

}  // namespace id3sniff
