#include "report/line_writer.hpp"

#include <charconv>

namespace id3sniff {

LineWriter::LineWriter(std::FILE* out, Destination destination)
    : out_(out), destination_(destination) {}

LineWriter& LineWriter::Append(std::string_view bytes) {
  if (destination_ == Destination::PipeOrFile) {
    // An empty view may hold no pointer at all, which fwrite must not be given.
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), out_);
    return *this;
  }
  // Bytes of 0x80 and above pass unchanged, so UTF-8 text prints as it is.
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    std::putc(b < 0x20 || b == 0x7F ? '?' : c, out_);
  }
  return *this;
}

LineWriter& LineWriter::Append(int number) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, number);
  std::fwrite(digits, 1, static_cast<std::size_t>(result.ptr - digits), out_);
  return *this;
}

void LineWriter::EndLine() {
  std::putc('\n', out_);
  std::fflush(out_);
}

}  // namespace id3sniff
