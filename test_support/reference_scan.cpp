#include "test_support/reference_scan.hpp"

#include <cctype>
#include <cstdio>

namespace id3sniff::testing {
namespace {

constexpr std::array<FrameKind, kTextFieldCount> kTextFrames = {
    FrameKind::TALB, FrameKind::TIT2, FrameKind::TPE1, FrameKind::TSSE, FrameKind::APIC};
constexpr std::array<std::string_view, kTextFieldCount> kPlaceholders = {
    "noAlbum????", "noTitle????", "noArtist????", "noTSSE????", "noAPIC????"};
constexpr std::array<std::pair<const char*, FrameKind>, 8> kIdentifiers = {{
    {"TALB", FrameKind::TALB},
    {"TIT2", FrameKind::TIT2},
    {"TPE1", FrameKind::TPE1},
    {"APIC", FrameKind::APIC},
    {"TDRC", FrameKind::TDRC},
    {"TYER", FrameKind::TYER},
    {"TSSE", FrameKind::TSSE},
    {"TXXX", FrameKind::TXXX},
}};

// Returns up to the last 8 bytes of text as a number, the last byte lowest. Identifiers and
// markers are compared as such numbers: the fuzzer intercepts memcmp and would spend most of
// its time on the reference's comparisons.
constexpr std::uint64_t Tail(std::string_view text) {
  std::uint64_t value = 0;
  for (std::size_t i = text.size() > 8 ? text.size() - 8 : 0; i < text.size(); ++i) {
    value = value << 8 | static_cast<std::uint8_t>(text[i]);
  }
  return value;
}

// Returns true when a text whose Tail is text_tail ends with tail, of at most 8 bytes.
constexpr bool EndsWith(std::uint64_t text_tail, std::size_t text_size, std::string_view tail) {
  const std::uint64_t mask = tail.size() == 8 ? ~0ull : (1ull << (8 * tail.size())) - 1;
  return text_size >= tail.size() && (text_tail & mask) == Tail(tail);
}

// Returns true when text ends with tail.
bool EndsWith(std::string_view text, std::string_view tail) {
  return EndsWith(Tail(text), text.size(), tail);
}

// Sets value to text. Setting a value to what it holds changes nothing, so that is not done: a
// placeholder is set on every captured byte.
void Set(std::string& value, std::string_view text) {
  bool same = value.size() == text.size();
  for (std::size_t i = 0; same && i < text.size(); ++i) same = value[i] == text[i];
  if (!same) value.assign(text);
}

}  // namespace

ReferenceScan::ReferenceScan(std::string_view file) {
  for (std::size_t k = 0; k < kWindowSize; ++k) {
    // A read past end of file returns EOF, which narrowed to a byte is 255.
    const int read = k < file.size() ? static_cast<unsigned char>(file[k]) : EOF;
    const auto b = static_cast<std::uint8_t>(read);
    raw_.push_back(static_cast<char>(b));
    if (EndsWith(raw_, "TXXX")) txxx_starts_.push_back(raw_.size() - 4);
    const bool ignored = b == 0 || (b >= 8 && b <= 13);
    if (!ignored && b < 32) continue;  // control: not captured, not tested
    if (!ignored) {
      Date(FrameKind::TDRC, result_.tdrc, b);
      for (std::size_t f = 0; f < kTextFieldCount; ++f) Text(f, b);
      Txxx();
      Date(FrameKind::TYER, result_.tyer, b);
    }
    if (Test()) break;
  }
  for (std::size_t i = 0; i < kTxxxSlotCount; ++i) {
    const auto [begin, end] = slot_spans_[i];
    result_.txxx_slots[i] = raw_.substr(begin, end - begin);
  }
}

void ReferenceScan::Text(std::size_t f, std::uint8_t b) {
  if (frame_ != kTextFrames[f]) {
    if (unseen_[f]) Set(result_.text[f], kPlaceholders[f]);
    return;
  }
  const bool after_c3 = raw_.size() > 1 && raw_[raw_.size() - 2] == '\xC3';
  if (b <= 126 || b == 0xC3 || after_c3) {
    accumulator_.push_back(static_cast<char>(b));
    result_.text[f] = accumulator_;
    if (accumulator_.size() == 1 && !std::isalpha(b) && b != 0xC3 && !after_c3) {
      accumulator_.clear();
    }
  } else {
    frame_ = FrameKind::None;
    result_.text[f] += "????";
  }
  unseen_[f] = false;
}

void ReferenceScan::Date(FrameKind date, std::string& value, std::uint8_t b) {
  const bool tyer = date == FrameKind::TYER;
  if (frame_ == date) {
    accumulator_.push_back(static_cast<char>(b));
    if (b >= '0' && b <= '9') {
      value += accumulator_;
    } else {
      frame_ = FrameKind::None;
    }
    accumulator_.clear();
    if (tyer) tyer_unseen_ = false;
  } else if (tyer && tyer_unseen_) {
    Set(value, "noDate");
  }
}

void ReferenceScan::Txxx() {
  if (frame_ != FrameKind::TXXX) return;
  // The last "TXXX" that does not end at the current byte; only the very last one can.
  std::pair<std::size_t, std::size_t> text{0, 0};
  for (std::size_t i = txxx_starts_.size(); i-- > 0;) {
    if (txxx_starts_[i] + 4 != raw_.size()) {
      text = {txxx_starts_[i], raw_.size()};
      break;
    }
  }
  if (result_.txxx_count <= 9) slot_spans_[static_cast<std::size_t>(result_.txxx_count)] = text;
}

// Returns true at an end marker.
bool ReferenceScan::Test() {
  const std::uint64_t tail = Tail(raw_);
  for (const auto& [id, kind] : kIdentifiers) {
    if (!EndsWith(tail, raw_.size(), id)) continue;
    frame_ = kind;
    accumulator_.clear();
    if (kind == FrameKind::TDRC) result_.tdrc.clear();
    if (kind == FrameKind::TYER) result_.tyer.clear();
    if (kind == FrameKind::TSSE) result_.text[3].clear();
    if (kind == FrameKind::TXXX && result_.txxx_count < 10) ++result_.txxx_count;
  }
  return EndsWith(tail, raw_.size(), "Lavc") || EndsWith(tail, raw_.size(), "LAME3");
}

}  // namespace id3sniff::testing
