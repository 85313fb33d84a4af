#include "report/line_writer.hpp"

#include <charconv>
#include <cstdint>

namespace id3sniff {

std::size_t Utf8SequenceLength(std::string_view bytes) {
  const auto lead = static_cast<std::uint8_t>(bytes[0]);
  std::size_t length = 0;
  std::uint8_t second_low = 0x80;   // the range of the second byte, which rules out overlong
  std::uint8_t second_high = 0xBF;  // forms, surrogates and code points past U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_low = 0xA0;
    if (lead == 0xED) second_high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_low = 0x90;
    if (lead == 0xF4) second_high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  const auto second = static_cast<std::uint8_t>(bytes[1]);
  if (second < second_low || second > second_high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    const auto next = static_cast<std::uint8_t>(bytes[i]);
    if (next < 0x80 || next > 0xBF) return 0;
  }
  return length;
}

void AppendShownOnTerminal(std::string_view bytes, std::string& out) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<std::uint8_t>(bytes[i]);
    if (b < 0x80) {
      out.push_back(b < 0x20 || b == 0x7F ? '?' : bytes[i]);
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(bytes.substr(i));
    if (length == 0) {
      // A byte outside any character: 0x80..0x9F is a C1 control on an 8-bit terminal.
      out.push_back(b <= 0x9F ? '?' : bytes[i]);
      ++i;
      continue;
    }
    // U+0080..U+009F, the C1 controls, which UTF-8 terminals honour too.
    const bool c1 = b == 0xC2 && static_cast<std::uint8_t>(bytes[i + 1]) <= 0x9F;
    if (c1) {
      out.push_back('?');
    } else {
      out.append(bytes.substr(i, length));
    }
    i += length;
  }
}

void AppendMessageLine(std::string& out, std::string_view program, const std::string* path,
                       std::string_view reason, Destination destination) {
  out.append(program).append(": ");
  if (path != nullptr) {
    if (destination == Destination::Terminal) {
      AppendShownOnTerminal(*path, out);
    } else {
      out.append(*path);
    }
    out.append(": ");
  }
  out.append(reason).push_back('\n');
}

LineWriter::LineWriter(std::FILE* out, Destination destination)
    : out_(out), destination_(destination) {}

LineWriter::LineWriter(std::string& text, Destination destination)
    : text_(&text), destination_(destination) {}

LineWriter& LineWriter::Append(std::string_view bytes) {
  if (destination_ == Destination::Terminal) {
    shown_.clear();
    AppendShownOnTerminal(bytes, shown_);
    bytes = shown_;
  }
  if (text_ != nullptr) {
    text_->append(bytes);
  } else if (!bytes.empty()) {  // an empty view may hold no pointer, which fwrite must not get
    std::fwrite(bytes.data(), 1, bytes.size(), out_);
  }
  return *this;
}

LineWriter& LineWriter::Append(int number) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, number);
  return Append(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

void LineWriter::EndLine() {
  if (text_ != nullptr) {
    text_->push_back('\n');
    return;
  }
  std::putc('\n', out_);
  std::fflush(out_);
}

}  // namespace id3sniff
