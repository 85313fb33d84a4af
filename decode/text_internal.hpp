#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace id3sniff {

// Returns where the first terminator of the encoding lies in bytes (aligned for UTF-16), and
// its width; npos when there is none.
std::size_t TerminatorAt(int encoding, std::string_view bytes, std::size_t& width);
// One string of the encoding, without terminator, as UTF-8.
std::string DecodeString(int encoding, std::string_view bytes);
// Takes the string up to the first terminator (or the end) off bytes, as UTF-8.
std::string TakeString(int encoding, std::string_view& bytes);

}  // namespace id3sniff
