#include "decode/id3v2.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "decode/text_internal.hpp"

namespace id3sniff {
namespace {

constexpr std::size_t kHeaderSize = 10;
// The most of an APIC frame read for its MIME type and description: a picture's bytes follow.
constexpr std::size_t kPictureHead = 4096;

// 2.2's identifiers and their later names.
constexpr std::array<std::pair<std::string_view, std::string_view>, 46> kOldNames = {{
    {"TT1", "TIT1"}, {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TP1", "TPE1"}, {"TP2", "TPE2"},
    {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TAL", "TALB"}, {"TCM", "TCOM"}, {"TCO", "TCON"},
    {"TCR", "TCOP"}, {"TDA", "TDAT"}, {"TDY", "TDLY"}, {"TEN", "TENC"}, {"TFT", "TFLT"},
    {"TIM", "TIME"}, {"TKE", "TKEY"}, {"TLA", "TLAN"}, {"TLE", "TLEN"}, {"TMT", "TMED"},
    {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOR", "TORY"}, {"TOT", "TOAL"},
    {"TPA", "TPOS"}, {"TPB", "TPUB"}, {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"},
    {"TSI", "TSIZ"}, {"TSS", "TSSE"}, {"TXT", "TEXT"}, {"TXX", "TXXX"}, {"TYE", "TYER"},
    {"TBP", "TBPM"}, {"COM", "COMM"}, {"PIC", "APIC"}, {"ULT", "USLT"}, {"UFI", "UFID"},
    {"TCP", "TCMP"}, {"TS2", "TSO2"}, {"TSA", "TSOA"}, {"TSC", "TSOC"}, {"TSP", "TSOP"},
    {"TST", "TSOT"},
}};

std::uint8_t At(std::string_view bytes, std::size_t i) {
  return static_cast<std::uint8_t>(bytes[i]);
}

std::uint32_t Syncsafe(std::string_view b) {
  return std::uint32_t{At(b, 0)} << 21 | std::uint32_t{At(b, 1)} << 14 |
         std::uint32_t{At(b, 2)} << 7 | At(b, 3);
}

std::uint32_t Plain(std::string_view b, std::size_t count) {
  std::uint32_t n = 0;
  for (std::size_t i = 0; i < count; ++i) n = n << 8 | At(b, i);
  return n;
}

bool IsSyncsafe(std::string_view b) {
  return ((At(b, 0) | At(b, 1) | At(b, 2) | At(b, 3)) & 0x80) == 0;
}

// Returns true when bytes start a tag header this reader knows.
bool IsHeader(std::string_view b) {
  return b.size() >= kHeaderSize && b.substr(0, 3) == "ID3" && At(b, 3) >= 2 && At(b, 3) <= 4 &&
         At(b, 4) != 0xFF && IsSyncsafe(b.substr(6, 4));
}

bool IsId(std::string_view id) {
  return std::all_of(id.begin(), id.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// Undoes unsynchronisation: every FF 00 becomes FF.
std::string Resynchronise(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(bytes[i]);
    if (At(bytes, i) == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == '\0') ++i;
  }
  return out;
}

// The bytes of a tag: the file's, or, for a 2.2 or 2.3 tag unsynchronised whole, the tag's
// after the header with the unsynchronisation undone.
class Bytes {
 public:
  Bytes(TagSource& source, const std::string& start, std::uint64_t size)
      : source_(&source), start_(start), size_(size) {}
  explicit Bytes(std::string memory) : memory_(std::move(memory)), size_(memory_.size()) {}

  std::uint64_t size() const { return size_; }
  // Sets out to up to count bytes at offset; false on a failed read.
  bool Read(std::uint64_t offset, std::size_t count, std::string& out) {
    if (offset >= size_) {
      out.clear();
      return true;
    }
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
    const std::string& held = source_ == nullptr ? memory_ : start_;
    if (source_ == nullptr || offset + count <= held.size()) {
      out.assign(held, static_cast<std::size_t>(offset), count);
      return true;
    }
    return source_->Read(offset, count, out);
  }

 private:
  TagSource* source_ = nullptr;
  std::string start_;  // the file's first bytes, read once
  std::string memory_;
  std::uint64_t size_;
};

class Decoder {
 public:
  Decoder(DecodedTag& tag, Bytes& bytes, std::uint64_t begin, std::uint64_t end, int major,
          bool unsynchronised)
      : tag_(tag),
        bytes_(bytes),
        begin_(begin),
        end_(end),
        major_(major),
        unsynchronised_(unsynchronised),
        syncsafe_(major == 4) {}

  bool Run();

 private:
  std::size_t HeaderSize() const { return major_ == 2 ? 6 : kHeaderSize; }
  std::uint64_t FrameSize(std::string_view header) const;
  bool Walk(bool syncsafe, bool& whole);
  bool Plausible(std::uint64_t at, bool& plausible);
  bool Frame(std::string_view header, std::uint64_t data, std::uint64_t size);
  void Decode(const std::string& id, std::string_view frame, std::uint64_t size);
  TagEntry& Entry(const std::string& id);

  DecodedTag& tag_;
  Bytes& bytes_;
  std::uint64_t begin_;  // the first frame
  std::uint64_t end_;    // the tag's end, as its header says
  int major_;
  bool unsynchronised_;    // 2.4: every frame is, whatever its flag says
  bool syncsafe_ = false;  // the frame sizes are syncsafe (2.4's)
  std::string buffer_;
};

std::uint64_t Decoder::FrameSize(std::string_view header) const {
  if (major_ == 2) return Plain(header.substr(3), 3);
  if (syncsafe_) return Syncsafe(header.substr(4));
  return Plain(header.substr(4), 4);
}

// Walks the frame headers alone; whole tells whether every size lands on the next frame, the
// padding or the tag's end.
bool Decoder::Walk(bool syncsafe, bool& whole) {
  syncsafe_ = syncsafe;
  std::uint64_t at = begin_;
  std::string header;
  while (at + HeaderSize() <= end_) {
    if (!bytes_.Read(at, HeaderSize(), header)) return false;
    if (header.size() < HeaderSize() || header[0] == '\0') break;  // the file's end, the padding
    if (!IsId(header.substr(0, 4)) || (syncsafe && !IsSyncsafe(header.substr(4, 4)))) {
      whole = false;
      return true;
    }
    at += HeaderSize() + FrameSize(header);
  }
  whole = at <= end_;
  return true;
}

// Returns in plausible whether at holds a frame header, the padding, the audio (a frame sync)
// or the end of the file: where a frame that runs past the tag's stated end may end.
bool Decoder::Plausible(std::uint64_t at, bool& plausible) {
  std::string next;
  if (!bytes_.Read(at, HeaderSize(), next)) return false;
  plausible = next.size() < 2 || next[0] == '\0' ||
              (At(next, 0) == 0xFF && (At(next, 1) & 0xE0) == 0xE0) ||
              (next.size() == HeaderSize() && IsId(next.substr(0, major_ == 2 ? 3 : 4)));
  return true;
}

bool Decoder::Run() {
  if (major_ >= 3) {
    // An old habit: 2.4 sizes written as plain integers (and, rarer, 2.3 sizes written as
    // syncsafe ones). Where the other reading fits every frame and the version's does not,
    // the tag is read the other way.
    const bool version_syncsafe = major_ == 4;
    bool version_whole = true;
    bool other_whole = true;
    if (!Walk(version_syncsafe, version_whole)) return false;
    if (!version_whole && !Walk(!version_syncsafe, other_whole)) return false;
    syncsafe_ = version_whole || !other_whole ? version_syncsafe : !version_syncsafe;
    if (syncsafe_ != version_syncsafe) {
      tag_.warnings.push_back(syncsafe_ ? "frame sizes read as syncsafe integers"
                                        : "frame sizes read as plain integers");
    }
  }
  std::uint64_t at = begin_;
  std::string header;
  bool past_end_said = false;
  for (;;) {
    // Past the tag's stated end, frames are read while they are whole frames: a tagger that
    // grew the tag may have left its size.
    if (at + HeaderSize() > (at < end_ ? end_ : bytes_.size())) break;
    if (!bytes_.Read(at, HeaderSize(), header)) return false;
    if (header.size() < HeaderSize() || header[0] == '\0') break;  // the file's end, the padding
    const std::string_view id = std::string_view(header).substr(0, major_ == 2 ? 3 : 4);
    if (!IsId(id)) {
      if (at < end_)
        tag_.warnings.push_back("no frame where one should start, at byte " + std::to_string(at) +
                                ": the rest is left");
      break;
    }
    const std::uint64_t data = at + HeaderSize();
    const std::uint64_t size = FrameSize(header);
    if (data + size > end_) {
      bool plausible = data + size <= bytes_.size();
      if (plausible && !Plausible(data + size, plausible)) return false;
      if (!plausible) {
        if (at < end_) {
          tag_.warnings.push_back(std::string(id) + ": frame size runs past the tag's end");
        }
        break;
      }
      if (!past_end_said) {
        tag_.warnings.push_back("frames run past the tag's stated size: read on");
        past_end_said = true;
      }
    }
    if (!Frame(header, data, size)) return false;
    at = data + size;
  }
  return true;
}

TagEntry& Decoder::Entry(const std::string& id) {
  for (TagEntry& entry : tag_.entries) {
    if (entry.id == id) return entry;
  }
  tag_.entries.push_back(TagEntry{id, {}, {}, {}});
  return tag_.entries.back();
}

// Decodes one frame, whose data of size bytes starts at data; skips what it cannot read.
bool Decoder::Frame(std::string_view header, std::uint64_t data, std::uint64_t size) {
  std::string id(header.substr(0, major_ == 2 ? 3 : 4));
  if (major_ == 2) {
    const auto* found = std::find_if(kOldNames.begin(), kOldNames.end(),
                                     [&](const auto& names) { return names.first == id; });
    if (found != kOldNames.end()) id = found->second;
  }
  const bool wanted = (id[0] == 'T') || id == "COMM" || id == "APIC";
  if (!wanted) {
    tag_.skipped.push_back(id);
    return true;
  }
  std::uint64_t skip = 0;  // bytes before the frame's own: group, method, data length
  bool unsynchronised = unsynchronised_;
  if (major_ >= 3) {
    const std::uint8_t flags = At(header, 9);
    const bool compressed = major_ == 3 ? (flags & 0x80) != 0 : (flags & 0x08) != 0;
    const bool encrypted = major_ == 3 ? (flags & 0x40) != 0 : (flags & 0x04) != 0;
    if (compressed || encrypted) {
      tag_.skipped.push_back(id);
      tag_.warnings.push_back(id + (compressed ? ": compressed" : ": encrypted") +
                              " frame skipped");
      return true;
    }
    if (major_ == 3) {
      skip = (flags & 0x20) != 0 ? 1 : 0;
    } else {
      skip = ((flags & 0x40) != 0 ? 1 : 0) + ((flags & 0x01) != 0 ? 4 : 0);
      unsynchronised = unsynchronised || (flags & 0x02) != 0;
    }
  }
  if (skip > size) {
    tag_.warnings.push_back(id + ": frame too short for its flags, skipped");
    tag_.skipped.push_back(id);
    return true;
  }
  // A picture's bytes are not read; they are counted, and, unsynchronised, read to be counted.
  const std::uint64_t wanted_size = id == "APIC" && !unsynchronised
                                        ? std::min<std::uint64_t>(size - skip, kPictureHead)
                                        : size - skip;
  if (!bytes_.Read(data + skip, static_cast<std::size_t>(wanted_size), buffer_)) return false;
  std::string_view frame = buffer_;
  std::string resynchronised;
  std::uint64_t stored = size - skip;
  if (unsynchronised) {
    resynchronised = Resynchronise(frame);
    frame = resynchronised;
    stored = resynchronised.size();
  }
  if (frame.empty()) {
    tag_.warnings.push_back(id + ": empty frame skipped");
    tag_.skipped.push_back(id);
    return true;
  }
  const int encoding = At(frame, 0);
  if (encoding > 3) {
    tag_.warnings.push_back(id + ": unknown text encoding " + std::to_string(encoding) +
                            ", frame skipped");
    tag_.skipped.push_back(id);
    return true;
  }
  Decode(id, frame, stored);
  return true;
}

// Decodes a frame of a kind this reader knows from its bytes (the encoding byte first); size is
// its whole size, of which frame may hold only the start (a picture).
void Decoder::Decode(const std::string& id, std::string_view frame, std::uint64_t size) {
  const int encoding = At(frame, 0);
  std::string_view rest = frame.substr(1);
  TagEntry& entry = Entry(id);
  if (id == "TXXX") {
    DescribedText text;
    text.description = TakeString(encoding, rest);
    text.text = DecodeValues(encoding, rest);
    entry.described.push_back(std::move(text));
  } else if (id == "COMM") {
    DescribedText text;
    text.language = DecodeString(0, rest.substr(0, 3));
    rest.remove_prefix(std::min<std::size_t>(3, rest.size()));
    text.description = TakeString(encoding, rest);
    text.text = DecodeValues(encoding, rest);
    entry.described.push_back(std::move(text));
  } else if (id == "APIC") {
    Picture picture;
    if (major_ == 2) {
      const std::string format = DecodeString(0, rest.substr(0, 3));
      rest.remove_prefix(std::min<std::size_t>(3, rest.size()));
      picture.mime = format == "JPG" ? "image/jpeg" : format == "PNG" ? "image/png" : format;
    } else {
      picture.mime = TakeString(0, rest);
    }
    if (!rest.empty()) {
      picture.type = At(rest, 0);
      rest.remove_prefix(1);
    }
    picture.description = TakeString(encoding, rest);
    picture.bytes = size - (frame.size() - rest.size());
    entry.pictures.push_back(std::move(picture));
  } else {
    std::vector<std::string> values = DecodeValues(encoding, rest);
    entry.values.insert(entry.values.end(), values.begin(), values.end());
  }
}

}  // namespace

bool DecodeTag(TagSource& source, DecodedTag& tag) {
  tag = DecodedTag{};
  std::string start;
  if (!source.Read(0, static_cast<std::size_t>(std::min<std::uint64_t>(kTagSearch, source.size())),
                   start)) {
    return false;
  }
  std::size_t at = 0;
  while (at < start.size() && !IsHeader(std::string_view(start).substr(at))) {
    const std::size_t next = start.find("ID3", at + 1);
    at = next == std::string::npos ? start.size() : next;
  }
  if (at == start.size()) return true;
  if (at > 0) tag.warnings.push_back("tag found at byte " + std::to_string(at));
  const std::string_view header = std::string_view(start).substr(at, kHeaderSize);
  tag.found = true;
  tag.major = At(header, 3);
  tag.revision = At(header, 4);
  const std::uint8_t flags = At(header, 5);
  const std::uint64_t begin = at + kHeaderSize;
  const std::uint64_t end = begin + Syncsafe(header.substr(6));
  if (tag.major == 2 && (flags & 0x40) != 0) {
    tag.warnings.push_back("the tag is compressed: its frames cannot be read");
    return true;
  }
  const std::uint8_t known = tag.major == 2 ? 0xC0 : tag.major == 3 ? 0xE0 : 0xF0;
  if ((flags & ~known) != 0) tag.warnings.push_back("unknown tag flags: read as if unset");
  const bool unsynchronised = (flags & 0x80) != 0;
  const bool extended = tag.major >= 3 && (flags & 0x40) != 0;
  const std::uint64_t file_size = source.size();
  Bytes file(source, start, file_size);
  if (unsynchronised && tag.major <= 3) {
    // The whole tag after the header is unsynchronised, frame headers included: undone first.
    std::string stored;
    if (!file.Read(begin,
                   static_cast<std::size_t>(std::min(end, file_size) - std::min(begin, file_size)),
                   stored)) {
      return false;
    }
    Bytes memory(Resynchronise(stored));
    std::uint64_t first = 0;
    if (extended) {
      std::string size;
      if (!memory.Read(0, 4, size)) return false;
      first = size.size() == 4 ? 4 + Plain(size, 4) : memory.size();
    }
    Decoder decoder(tag, memory, std::min(first, memory.size()), memory.size(), tag.major, false);
    return decoder.Run();
  }
  std::uint64_t first = begin;
  if (extended) {
    std::string size;
    if (!file.Read(begin, 4, size)) return false;
    if (size.size() == 4) {
      first = tag.major == 3 ? begin + 4 + Plain(size, 4) : begin + Syncsafe(size);
    }
    if (first > end || first < begin + 4) {
      tag.warnings.push_back("extended header size out of range: read as none");
      first = begin;
    }
  }
  Decoder decoder(tag, file, first, end, tag.major, unsynchronised && tag.major == 4);
  return decoder.Run();
}

}  // namespace id3sniff
