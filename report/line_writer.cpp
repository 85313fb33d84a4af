#include "report/line_writer.hpp"

#include <charconv>

namespace id3sniff {

LineWriter::LineWriter(std::FILE* out, Destination destination)
    : out_(out), destination_(destination) {}

LineWriter& LineWriter::Append(std::string_view bytes) {
  if (destination_ == Destination::PipeOrFile) {
    line_.append(bytes);
    return *this;
  }
  // Bytes of 0x80 and above pass unchanged, so UTF-8 text prints as it is.
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    line_.push_back(b < 0x20 || b == 0x7F ? '?' : c);
  }
  return *this;
}

LineWriter& LineWriter::Append(int number) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, number);
  line_.append(digits, result.ptr);
  return *this;
}

void LineWriter::EndLine() {
  line_.push_back('\n');
  std::fwrite(line_.data(), 1, line_.size(), out_);
  std::fflush(out_);
  line_.clear();
}

}  // namespace id3sniff
