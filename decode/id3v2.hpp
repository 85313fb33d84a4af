#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads an ID3v2 tag (versions 2.2, 2.3 and 2.4) from its structure: the frames' real values,
// as Unicode written in UTF-8, forgiving the habits of taggers that break it.
namespace id3sniff {

// A TXXX or COMM frame: a description and its values (COMM also a language).
struct DescribedText {
  std::string language;  // COMM only: 3 letters
  std::string description;
  std::vector<std::string> text;
};

// An APIC (or 2.2 PIC) frame, without its picture's bytes.
struct Picture {
  std::string mime;  // 2.2's JPG and PNG as image/jpeg and image/png
  int type = 0;
  std::string description;
  std::uint64_t bytes = 0;  // the picture's size
};

// Everything decoded under one identifier, in the order the frames come.
struct TagEntry {
  std::string id;                        // the 2.3/2.4 name, also for a 2.2 frame
  std::vector<std::string> values;       // a text frame's values, of every frame with this id
  std::vector<DescribedText> described;  // TXXX, COMM
  std::vector<Picture> pictures;         // APIC
};

struct DecodedTag {
  bool found = false;                 // the file holds an ID3v2 tag
  int major = 0;                      // header byte 3
  int revision = 0;                   // header byte 4
  std::vector<TagEntry> entries;      // in the order each identifier is first met
  std::vector<std::string> skipped;   // identifiers of the frames not decoded, in order
  std::vector<std::string> warnings;  // each piece of damage met, and how it was read
};

// Random access to a file's bytes.
class TagSource {
 public:
  // The file's size.
  virtual std::uint64_t size() const = 0;
  // Sets out to the bytes from offset on, at most count of them (fewer only at the file's
  // end); returns false when a read fails.
  virtual bool Read(std::uint64_t offset, std::size_t count, std::string& out) = 0;

 protected:
  ~TagSource() = default;
};

// The bytes a tag is looked for in, from the start of the file.
inline constexpr std::size_t kTagSearch = 16384;

// Decodes the tag of the file that source reads; returns false when a read fails. Reads only
// frame headers and the frames it decodes beyond the first kTagSearch bytes, never a
// picture's bytes, and nothing larger than the file.
bool DecodeTag(TagSource& source, DecodedTag& tag);

// Text of the given ID3v2 encoding (0 ISO-8859-1, 1 UTF-16 with a byte-order mark or
// little-endian without one, 2 UTF-16BE, 3 UTF-8) as UTF-8, split at each terminator; a
// terminator at the end starts no value; an ill-formed sequence becomes U+FFFD.
std::vector<std::string> DecodeValues(int encoding, std::string_view bytes);

}  // namespace id3sniff
