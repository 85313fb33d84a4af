#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace id3sniff {

// The class of one scanned byte: it decides whether the byte is captured and tested.
enum class ByteClass : std::uint8_t {
  Ignored,    // 0 and 8..13: not captured, still tested for identifiers and markers
  Control,    // 1..7 and 14..31: neither captured nor tested
  Printable,  // 32..126: captured, then tested
  High,       // 127..255: captured, then tested
};

inline constexpr std::size_t kOctalTableSize = 256;
inline constexpr std::size_t kControlSetSize = 32;

using ControlSet = std::array<bool, kControlSetSize>;
using ClassTable = std::array<ByteClass, 256>;

// Returns the octal table: entry i holds the number whose decimal digits are the octal digits
// of i (8 holds 10, 255 holds 377). Entries 128 to 191 are never filled and stay 0.
std::unique_ptr<std::uint32_t[]> Octal();

// Returns the control set: each of the octal table's first 32 entries, written as decimal text
// and read back as a base-8 number, names one member (the values 0 to 31).
ControlSet FormControlSet(const std::uint32_t* control_byte_table);

// Returns the class of byte b.
ByteClass ClassifyByte(std::uint8_t b, const ControlSet& control_set);

// Returns the class of every byte value; the control set is the same for every byte, so the
// scan forms it, and this table, once per run.
ClassTable BuildClassTable(const std::uint32_t* control_byte_table);

}  // namespace id3sniff
