// The decoder against tags written from frames, and against the habits of taggers.
#include "decode/id3v2.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "test_support/tag_writer.hpp"

namespace id3sniff {
namespace {

using testing::FrameSpec;
using testing::TagSpec;
using testing::WriteTag;

// A file in memory that counts what is read of it.
class MemorySource final : public TagSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, std::size_t count, std::string& out) override {
    EXPECT_LE(offset + count, bytes_.size()) << "a read past the file's end";
    out = offset < bytes_.size() ? bytes_.substr(offset, count) : std::string();
    ++reads;
    read_bytes += out.size();
    return true;
  }
  std::size_t reads = 0;
  std::size_t read_bytes = 0;

 private:
  std::string bytes_;
};

DecodedTag Decode(const std::string& bytes, MemorySource* counted = nullptr) {
  MemorySource own(bytes);
  MemorySource& source = counted != nullptr ? *counted : own;
  DecodedTag tag;
  EXPECT_TRUE(DecodeTag(source, tag));
  return tag;
}

// What a decoded entry looks like, as one comparable text per value.
std::vector<std::string> Flatten(const std::vector<TagEntry>& entries) {
  std::vector<std::string> flat;
  for (const TagEntry& entry : entries) {
    for (const std::string& value : entry.values) flat.push_back(entry.id + "=" + value);
    for (const DescribedText& text : entry.described) {
      for (const std::string& value : text.text) {
        flat.push_back(entry.id + "[" + text.language + "]" + text.description + "=" + value);
      }
    }
    for (const Picture& picture : entry.pictures) {
      flat.push_back(entry.id + "=" + picture.mime + "," + std::to_string(picture.type) + "," +
                     picture.description + "," + std::to_string(picture.bytes));
    }
  }
  return flat;
}

// The entries the frames make: each identifier where first met, its frames' values after one
// another.
std::vector<std::string> Expected(const std::vector<FrameSpec>& frames) {
  std::vector<std::string> order;
  for (const FrameSpec& frame : frames) {
    if (std::find(order.begin(), order.end(), frame.id) == order.end()) order.push_back(frame.id);
  }
  std::vector<TagEntry> entries;
  for (const std::string& id : order) {
    TagEntry entry{id, {}, {}, {}};
    for (const FrameSpec& frame : frames) {
      if (frame.id != id) continue;
      if (id == "APIC") {
        entry.pictures.push_back(
            {frame.mime, frame.picture_type, frame.description, frame.picture_bytes});
      } else if (id == "TXXX" || id == "COMM") {
        entry.described.push_back(
            {id == "COMM" ? frame.language : "", frame.description, frame.values});
      } else {
        entry.values.insert(entry.values.end(), frame.values.begin(), frame.values.end());
      }
    }
    entries.push_back(entry);
  }
  return Flatten(entries);
}

std::string RandomText(std::minstd_rand& random, bool latin1) {
  static const std::vector<std::string> kPieces = {"a",
                                                   "Z",
                                                   " ",
                                                   "9",
                                                   "-",
                                                   "\xC3\xA9",
                                                   "\xC3\x9F",
                                                   "\xCE\xA9",
                                                   "\xE6\x97\xA5",
                                                   "\xF0\x9F\x98\x80"};
  std::string text;
  const std::size_t length = random() % 12;
  for (std::size_t i = 0; i < length; ++i)
    text += kPieces[random() % (latin1 ? 7 : kPieces.size())];
  return text;
}

std::vector<FrameSpec> RandomFrames(std::minstd_rand& random, int major) {
  static const std::vector<std::string> kIds = {"TIT2", "TPE1", "TALB", "TCON", "TRCK",
                                                "TYER", "TXXX", "COMM", "APIC"};
  std::vector<FrameSpec> frames(1 + random() % 6);
  for (FrameSpec& frame : frames) {
    frame.id = kIds[random() % kIds.size()];
    frame.encoding = static_cast<int>(random() % (major == 4 ? 4 : 2));
    frame.big_endian_bom = random() % 2 == 0;
    const bool latin1 = frame.encoding == 0;
    frame.description = RandomText(random, latin1);
    frame.language = random() % 2 == 0 ? "eng" : "deu";
    if (frame.id == "APIC") {
      frame.mime = random() % 2 == 0 ? "image/png" : "image/jpeg";
      frame.picture_type = static_cast<int>(random() % 21);
      frame.picture_bytes = random() % 3 == 0 ? 20000 + random() % 20000 : random() % 300;
      continue;
    }
    const std::size_t count = 1 + random() % 3;
    for (std::size_t i = 0; i < count; ++i) {
      std::string value = RandomText(random, latin1);
      if (value.empty() && i + 1 == count) value = "x";  // an empty last value has no end
      frame.values.push_back(value);
    }
    frame.final_terminator = random() % 2 == 0;
  }
  return frames;
}

// Random frames written in every version, encoding and layout read back as they were written,
// each tag that ends within the first 16384 bytes in one read, and no picture's bytes read.
TEST(DecodeTag, ReadsBackWhatWasWrittenInEveryVersionAndLayout) {
  std::minstd_rand random(19);
  for (int round = 0; round < 600; ++round) {
    TagSpec layout;
    layout.major = 2 + round % 3;
    layout.unsynchronised = random() % 3 == 0;
    layout.padding = random() % 2 == 0 ? 0 : random() % 2000;
    if (layout.major >= 3) layout.extended_header = random() % 4 == 0;
    if (layout.major == 4) {
      layout.header_flag_only = layout.unsynchronised && random() % 2 == 0;
      layout.data_length = random() % 3 == 0;
      layout.plain_sizes = random() % 4 == 0;
    }
    const std::vector<FrameSpec> frames = RandomFrames(random, layout.major);
    const std::string tag_bytes = WriteTag(layout, frames);
    MemorySource source(tag_bytes + std::string("\xFF\xFB\x90\x00", 4) + std::string(3000, 'a'));
    const DecodedTag tag = Decode("", &source);
    const std::string shown =
        "round " + std::to_string(round) + ", version 2." + std::to_string(layout.major);
    ASSERT_TRUE(tag.found) << shown;
    EXPECT_EQ(tag.major, layout.major) << shown;
    EXPECT_EQ(Flatten(tag.entries), Expected(frames)) << shown;
    EXPECT_TRUE(tag.skipped.empty()) << shown;
    for (const std::string& warning : tag.warnings) {
      EXPECT_TRUE(layout.plain_sizes && warning == "frame sizes read as plain integers")
          << shown << ": " << warning;
    }
    if (tag_bytes.size() <= kTagSearch && !layout.plain_sizes) {
      EXPECT_EQ(source.reads, 1u) << shown;
    }
    std::size_t pictures = 0;
    for (const FrameSpec& frame : frames) pictures += frame.picture_bytes;
    if (!layout.unsynchronised && pictures > 2 * kTagSearch) {
      EXPECT_LT(source.read_bytes, pictures) << shown;
    }
  }
}

std::string Syncsafe(std::size_t n) {
  return {static_cast<char>(n >> 21 & 0x7F), static_cast<char>(n >> 14 & 0x7F),
          static_cast<char>(n >> 7 & 0x7F), static_cast<char>(n & 0x7F)};
}

// A 2.4 frame, and a 2.4 tag header that says size.
std::string Frame24(const std::string& id, const std::string& data) {
  return id + Syncsafe(data.size()) + std::string(2, '\0') + data;
}
std::string Header24(std::size_t size) { return std::string("ID3\x04\0\0", 6) + Syncsafe(size); }

// The habits of taggers, and damage: what is read, and the warning that says how.
TEST(DecodeTag, ForgivesTheHabitsOfTaggers) {
  const std::string title = Frame24("TIT2", std::string("\x03Title", 6));
  const std::string album = Frame24("TALB", std::string("\x03"
                                                        "Album",
                                                        6));
  struct Row {
    const char* what;
    std::string bytes;
    std::vector<std::string> values;
    std::string warning;  // one of the warnings, or none
    std::vector<std::string> skipped = {};
  };
  std::string compressed = Frame24("TPE1", std::string("\x03xyz", 4));
  compressed[9] = 0x08;
  const std::vector<Row> rows = {
      {"bytes before the tag",
       std::string("\x01\x02\x03", 3) + Header24(title.size()) + title,
       {"TIT2=Title"},
       "tag found at byte 3"},
      {"a tag size too small",
       Header24(title.size()) + title + album + std::string(20, '\0'),
       {"TIT2=Title", "TALB=Album"},
       "frames run past the tag's stated size: read on"},
      {"a frame running past the end",
       Header24(title.size() + 40) + title + "TALB" + std::string("\x00\x7F\x7F\x7F\0\0", 6) +
           std::string(30, 'x'),
       {"TIT2=Title"},
       "TALB: frame size runs past the tag's end"},
      {"an unknown encoding",
       Header24(title.size() + 11) +
           Frame24("TPE1",
                   "\x07"
                   "x") +
           title,
       {"TIT2=Title"},
       "TPE1: unknown text encoding 7, frame skipped",
       {"TPE1"}},
      {"a compressed frame",
       Header24(compressed.size() + title.size()) + compressed + title,
       {"TIT2=Title"},
       "TPE1: compressed frame skipped",
       {"TPE1"}},
      {"frames it does not decode",
       Header24(24 + title.size()) + Frame24("PRIV", "ab") + Frame24("UFID", "cd") + title,
       {"TIT2=Title"},
       "",
       {"PRIV", "UFID"}},
      {"UTF-16 without a byte-order mark, an odd last byte",
       Header24(16) + Frame24("TIT2", std::string("\x01"
                                                  "A\0B",
                                                  4)),
       {"TIT2=A\xEF\xBF\xBD"},
       ""},
      {"UTF-8 that is not",
       Header24(14) + Frame24("TIT2", "\x03\xC3(\xFF"),
       {"TIT2=\xEF\xBF\xBD(\xEF\xBF\xBD"},
       ""},
      {"padding that is not zero",
       Header24(title.size() + 12) + title + "junk!!!!!!!!",
       {"TIT2=Title"},
       "no frame where one should start, at byte 26: the rest is left"},
  };
  for (const Row& row : rows) {
    const DecodedTag tag = Decode(row.bytes + std::string(100, '\0'));
    EXPECT_TRUE(tag.found) << row.what;
    EXPECT_EQ(Flatten(tag.entries), row.values) << row.what;
    EXPECT_EQ(tag.skipped, row.skipped) << row.what;
    if (row.warning.empty()) {
      EXPECT_TRUE(tag.warnings.empty()) << row.what << ": " << tag.warnings.front();
    } else {
      EXPECT_NE(std::find(tag.warnings.begin(), tag.warnings.end(), row.warning),
                tag.warnings.end())
          << row.what;
    }
  }
  // No tag: nothing, whatever the bytes; a header of an unknown version is none.
  for (const std::string& bytes : {std::string(), std::string(20000, '\xFF'),
                                   std::string("ID3\x05\0\0\0\0\0\x10", 10) + title}) {
    EXPECT_FALSE(Decode(bytes).found);
  }
}

}  // namespace
}  // namespace id3sniff
