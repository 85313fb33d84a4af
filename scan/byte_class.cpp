#include "scan/byte_class.hpp"

#include <charconv>

namespace id3sniff {

std::unique_ptr<std::uint32_t[]> Octal() {
  // Zero-filled, so that the entries the walk passes over (128 to 191) hold a defined value.
  auto table = std::make_unique<std::uint32_t[]>(kOctalTableSize);
  // The walk goes in runs of eight. Inside a run, i and its octal rendering rise together, so
  // each entry is i plus an offset; the offset grows by 2 per run (one decimal carry, 10 - 8)
  // and jumps where the octal rendering gains a digit (i = 64) and after the unused range.
  std::uint32_t offset = 0;
  std::uint32_t i = 0;
  for (;;) {
    if (i == 64) offset = 36;
    if (i == 128) i = 192;
    if (i == 192) offset = 108;
    for (std::uint32_t end = i + 8; i < end; ++i) table[i] = i + offset;
    offset += 2;
    if (offset > 122) break;
  }
  return table;
}

ControlSet FormControlSet(const std::uint32_t* control_byte_table) {
  ControlSet set{};
  for (std::size_t i = 0; i < kControlSetSize; ++i) {
    char text[16];
    const auto written = std::to_chars(text, text + sizeof text, control_byte_table[i]);
    unsigned value = 0;
    const auto read = std::from_chars(text, written.ptr, value, 8);
    if (read.ec == std::errc() && value < kControlSetSize) set[value] = true;
  }
  return set;
}

ByteClass ClassifyByte(std::uint8_t b, const ControlSet& control_set) {
  if (b == 0 || (b >= 8 && b <= 13)) return ByteClass::Ignored;
  const bool is_digit = static_cast<unsigned>(b - '0') < 10u;
  if (!is_digit && b < kControlSetSize && control_set[b]) return ByteClass::Control;
  return b >= 127 ? ByteClass::High : ByteClass::Printable;
}

ClassTable BuildClassTable(const std::uint32_t* control_byte_table) {
  const ControlSet control_set = FormControlSet(control_byte_table);
  ClassTable table{};
  for (unsigned b = 0; b < table.size(); ++b) {
    table[b] = ClassifyByte(static_cast<std::uint8_t>(b), control_set);
  }
  return table;
}

}  // namespace id3sniff
