#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Writes ID3v2 tags of every version from frames, for the decoder's tests: the encodings,
// several values, unsynchronisation, an extended header, a data length indicator, 2.4 sizes
// written as plain integers, padding.
namespace id3sniff::testing {

// One frame, by its 2.3/2.4 identifier (written under its 2.2 name in a 2.2 tag). Text is
// UTF-8; it is written in encoding, which must be able to hold it.
struct FrameSpec {
  std::string id;                   // a text frame (T...), TXXX, COMM or APIC
  int encoding = 3;                 // 0 ISO-8859-1, 1 UTF-16 with BOM, 2 UTF-16BE, 3 UTF-8
  std::vector<std::string> values;  // the text, each value ended by a terminator but the last
  bool final_terminator = false;    // the last value ended by one too
  bool big_endian_bom = false;      // encoding 1: the byte-order mark FE FF, not FF FE
  std::string language = "eng";     // COMM
  std::string description;          // TXXX, COMM, APIC
  std::string mime = "image/png";   // APIC
  int picture_type = 3;             // APIC
  std::size_t picture_bytes = 0;    // APIC: the picture's size
  std::string raw;                  // when not empty: the frame's data, written as it is
};

struct TagSpec {
  int major = 4;                  // 2, 3 or 4
  bool unsynchronised = false;    // 2.2, 2.3: the whole tag; 2.4: each frame (and the header)
  bool header_flag_only = false;  // 2.4: the header's unsynchronisation flag, not the frames'
  bool extended_header = false;   // 2.3, 2.4
  bool data_length = false;       // 2.4: each frame with a data length indicator
  bool plain_sizes = false;       // 2.4: frame sizes written as plain integers
  std::size_t padding = 0;        // zero bytes after the frames
};

// Returns the bytes of value in encoding (a byte-order mark first for encoding 1).
std::string EncodeText(int encoding, std::string_view value, bool big_endian_bom = false);
// Returns the frame's data: the encoding byte and the rest, as the frame's kind lays it out.
std::string FrameData(const FrameSpec& frame, int major);
// Returns the tag: its header, the frames, the padding.
std::string WriteTag(const TagSpec& tag, const std::vector<FrameSpec>& frames);

}  // namespace id3sniff::testing
