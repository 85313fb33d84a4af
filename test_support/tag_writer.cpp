#include "test_support/tag_writer.hpp"

#include <cstdint>
#include <map>
#include <stdexcept>

namespace id3sniff::testing {
namespace {

// The code points of UTF-8 text.
std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k)
      c = c << 6 | (static_cast<std::uint8_t>(text[i + k]) & 0x3F);
    out.push_back(c);
    i += length;
  }
  return out;
}

void PutUnit(std::string& out, char32_t unit, bool big_endian) {
  const char high = static_cast<char>(unit >> 8);
  const char low = static_cast<char>(unit & 0xFF);
  out += big_endian ? std::string{high, low} : std::string{low, high};
}

std::string Terminator(int encoding) {
  return encoding == 1 || encoding == 2 ? std::string(2, '\0') : std::string(1, '\0');
}

std::string Syncsafe(std::size_t n) {
  return {static_cast<char>(n >> 21 & 0x7F), static_cast<char>(n >> 14 & 0x7F),
          static_cast<char>(n >> 7 & 0x7F), static_cast<char>(n & 0x7F)};
}

std::string Plain(std::size_t n, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>(n >> (8 * i) & 0xFF));
  return out;
}

// Puts a 00 after every FF followed by a byte of E0 or more, or by 00, or at the end.
std::string Unsynchronise(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(bytes[i]);
    if (static_cast<std::uint8_t>(bytes[i]) == 0xFF &&
        (i + 1 == bytes.size() || static_cast<std::uint8_t>(bytes[i + 1]) >= 0xE0 ||
         bytes[i + 1] == '\0')) {
      out.push_back('\0');
    }
  }
  return out;
}

std::string OldName(const std::string& id) {
  static const std::map<std::string, std::string> kOld = {
      {"TIT2", "TT2"}, {"TPE1", "TP1"}, {"TALB", "TAL"}, {"TCON", "TCO"}, {"TRCK", "TRK"},
      {"TYER", "TYE"}, {"TXXX", "TXX"}, {"COMM", "COM"}, {"APIC", "PIC"}, {"TCOM", "TCM"}};
  const auto found = kOld.find(id);
  if (found == kOld.end()) throw std::invalid_argument("no 2.2 name for " + id);
  return found->second;
}

}  // namespace

std::string EncodeText(int encoding, std::string_view value, bool big_endian_bom) {
  if (encoding == 3) return std::string(value);
  std::string out;
  if (encoding == 1) out += big_endian_bom ? "\xFE\xFF" : "\xFF\xFE";
  for (const char32_t c : CodePoints(value)) {
    if (encoding == 0) {
      if (c > 0xFF) throw std::invalid_argument("not ISO-8859-1");
      out.push_back(static_cast<char>(c));
    } else if (c >= 0x10000) {
      PutUnit(out, 0xD800 + ((c - 0x10000) >> 10), encoding == 2 || big_endian_bom);
      PutUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF), encoding == 2 || big_endian_bom);
    } else {
      PutUnit(out, c, encoding == 2 || big_endian_bom);
    }
  }
  return out;
}

std::string FrameData(const FrameSpec& frame, int major) {
  if (!frame.raw.empty()) return frame.raw;
  const int e = frame.encoding;
  std::string data(1, static_cast<char>(e));
  if (frame.id == "APIC") {
    data += major == 2 ? (frame.mime == "image/png" ? "PNG" : "JPG") : frame.mime + '\0';
    data.push_back(static_cast<char>(frame.picture_type));
    data += EncodeText(e, frame.description, frame.big_endian_bom) + Terminator(e);
    for (std::size_t i = 0; i < frame.picture_bytes; ++i) data.push_back(static_cast<char>(i * 7));
    return data;
  }
  if (frame.id == "COMM") data += frame.language;
  if (frame.id == "COMM" || frame.id == "TXXX") {
    data += EncodeText(e, frame.description, frame.big_endian_bom) + Terminator(e);
  }
  for (std::size_t i = 0; i < frame.values.size(); ++i) {
    data += EncodeText(e, frame.values[i], frame.big_endian_bom);
    if (i + 1 < frame.values.size() || frame.final_terminator) data += Terminator(e);
  }
  return data;
}

std::string WriteTag(const TagSpec& tag, const std::vector<FrameSpec>& frames) {
  std::string body;
  if (tag.extended_header && tag.major == 3) body += Plain(6, 4) + std::string(6, '\0');
  if (tag.extended_header && tag.major == 4) body += Syncsafe(6) + "\x01" + std::string(1, '\0');
  for (const FrameSpec& frame : frames) {
    std::string data = FrameData(frame, tag.major);
    if (tag.major == 2) {
      body += OldName(frame.id) + Plain(data.size(), 3) + data;
      continue;
    }
    char flags = 0;
    std::string extra;
    if (tag.major == 4 && tag.data_length) {
      flags |= 0x01;
      extra = Syncsafe(data.size());
    }
    if (tag.major == 4 && tag.unsynchronised && !tag.header_flag_only) {
      flags |= 0x02;
      data = Unsynchronise(data);
    } else if (tag.major == 4 && tag.unsynchronised) {
      data = Unsynchronise(data);
    }
    data.insert(0, extra);
    const bool syncsafe = tag.major == 4 && !tag.plain_sizes;
    body += frame.id;
    body += syncsafe ? Syncsafe(data.size()) : Plain(data.size(), 4);
    body += '\0';
    body += flags;
    body += data;
  }
  if (tag.unsynchronised && tag.major <= 3) body = Unsynchronise(body);
  body += std::string(tag.padding, '\0');
  const char header_flags =
      static_cast<char>((tag.unsynchronised ? 0x80 : 0) | (tag.extended_header ? 0x40 : 0));
  return "ID3" + std::string{static_cast<char>(tag.major), '\0', header_flags} +
         Syncsafe(body.size()) + body;
}

}  // namespace id3sniff::testing
