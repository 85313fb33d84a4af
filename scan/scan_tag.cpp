#include "scan/scan_tag.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "scan/date_capture_internal.hpp"
#include "scan/placeholders_internal.hpp"
#include "scan/text_capture_internal.hpp"
#include "scan/txxx_capture_internal.hpp"

namespace id3sniff {
namespace {

// Past end of file the scan goes on as if every further read returned byte 255.
constexpr std::uint8_t kFiller = 0xFF;

// Returns the bytes of an identifier or marker as RecentBytes gives them, the last lowest.
constexpr std::uint64_t Pattern(std::string_view text) {
  std::uint64_t value = 0;
  for (char c : text) value = value << 8 | static_cast<std::uint8_t>(c);
  return value;
}

constexpr std::uint64_t kLow32 = 0xFFFF'FFFFull;
constexpr std::uint64_t kLow40 = 0xFF'FFFF'FFFFull;
constexpr std::uint64_t kLame3 = Pattern("LAME3");

// The last bytes of the identifiers and markers, marked 1: only these can complete one.
constexpr std::array<std::uint8_t, 256> kEndsPattern = [] {
  std::array<std::uint8_t, 256> ends{};
  for (char c : std::string_view("B21CREXc3")) ends[static_cast<std::uint8_t>(c)] = 1;
  return ends;
}();

// Makes kind the current frame; every identifier empties the accumulator.
void StartFrame(ScanState& s, FrameKind kind) {
  if (s.frame == FrameKind::TXXX) CloseTxxxFrame(s);
  s.frame = kind;
  s.accumulator_empty = true;
}

// Acts on an identifier or marker that the bytes ending at k spell; returns true at a marker.
// An identifier that empties TSSE or TYER never brings back a placeholder: the next captured
// byte goes to that frame and marks it seen.
bool Recognise(ScanState& s, std::uint64_t recent, std::size_t k) {
  switch (recent & kLow32) {
    case Pattern("TALB"):
      StartFrame(s, FrameKind::TALB);
      return false;
    case Pattern("TIT2"):
      StartFrame(s, FrameKind::TIT2);
      return false;
    case Pattern("TPE1"):
      StartFrame(s, FrameKind::TPE1);
      return false;
    case Pattern("APIC"):
      StartFrame(s, FrameKind::APIC);
      return false;
    case Pattern("TDRC"):
      StartFrame(s, FrameKind::TDRC);
      s.result.tdrc.clear();
      return false;
    case Pattern("TYER"):
      StartFrame(s, FrameKind::TYER);
      s.result.tyer.clear();
      return false;
    case Pattern("TSSE"):
      StartFrame(s, FrameKind::TSSE);
      s.result.text[static_cast<std::size_t>(TextField::Tsse)].clear();
      return false;
    case Pattern("TXXX"):
      StartFrame(s, FrameKind::TXXX);
      if (static_cast<std::size_t>(s.result.txxx_count) < kTxxxSlotCount) ++s.result.txxx_count;
      s.txxx_begin = k - 3;  // a match needs four bytes, so k is at least 3
      return false;
    case Pattern("Lavc"):
      return true;
    default:
      return (recent & kLow40) == kLame3;
  }
}

// Hands byte b, of class Printable or High, to the capture of the current frame, then sets the
// placeholders of the fields whose frames have captured nothing. Doing the placeholders after
// the capture gives what running them in capture order gives: a capture changes the current
// frame only to None, and a field whose frame was current has just captured.
void Capture(ScanState& s, std::size_t k, std::uint8_t b) {
  switch (s.frame) {
    case FrameKind::None:
      break;
    case FrameKind::TDRC:
      CaptureDate(s, s.result.tdrc, b);
      break;
    case FrameKind::TYER:
      CaptureDate(s, s.result.tyer, b);
      MarkSeen(s, kTyerBit);
      break;
    case FrameKind::TALB:
      CaptureText(s, TextField::Album, k, b);
      break;
    case FrameKind::TIT2:
      CaptureText(s, TextField::Title, k, b);
      break;
    case FrameKind::TPE1:
      CaptureText(s, TextField::Artist, k, b);
      break;
    case FrameKind::TSSE:
      CaptureText(s, TextField::Tsse, k, b);
      break;
    case FrameKind::APIC:
      CaptureText(s, TextField::Apic, k, b);
      break;
    case FrameKind::TXXX:
      CaptureTxxx(s, k);
      break;
  }
  if (!s.placeholders_set) SetPlaceholders(s);
}

// Returns the five bytes ending at k, the newest lowest, as Recognise compares them. Bytes
// before the window's start count as 0, which no identifier or marker contains, so a four-byte
// pattern matches from k = 3 and "LAME3" from k = 4.
std::uint64_t RecentBytes(const std::uint8_t* window, std::size_t k) {
  if (k >= 4) {
    return std::uint64_t{window[k - 4]} << 32 | std::uint64_t{window[k - 3]} << 24 |
           std::uint64_t{window[k - 2]} << 16 | std::uint64_t{window[k - 1]} << 8 | window[k];
  }
  std::uint64_t recent = 0;
  for (std::size_t i = 0; i <= k; ++i) recent = recent << 8 | window[i];
  return recent;
}

// Returns true when no frame but TXXX is current and the placeholders are set. Then only an
// identifier or a marker changes anything, apart from where the TXXX frame's slot ends.
bool IsQuiet(const ScanState& s) {
  return s.placeholders_set && (s.frame == FrameKind::None || s.frame == FrameKind::TXXX);
}

// Skips the bytes from the current position that cannot complete an identifier or marker, up
// to end, moving the end of a current TXXX frame's slot to the last byte it captures.
void SkipQuietBytes(ScanState& s, std::size_t end) {
  const std::uint8_t* window = s.window.get();
  const std::size_t start = s.position;
  std::size_t k = start;
  // Eight at a time while none of them can end an identifier, then one at a time.
  while (k + 8 <= end) {
    const std::uint8_t* p = window + k;
    if ((kEndsPattern[p[0]] | kEndsPattern[p[1]] | kEndsPattern[p[2]] | kEndsPattern[p[3]] |
         kEndsPattern[p[4]] | kEndsPattern[p[5]] | kEndsPattern[p[6]] | kEndsPattern[p[7]]) != 0) {
      break;
    }
    k += 8;
  }
  while (k < end && kEndsPattern[window[k]] == 0) ++k;
  s.position = k;
  // A byte that stopped the skip is captured next and ends the slot itself.
  if (s.frame != FrameKind::TXXX || k < end) return;
  for (std::size_t j = k; j > start; --j) {
    const ByteClass cls = s.classes[window[j - 1]];
    if (cls == ByteClass::Printable || cls == ByteClass::High) {
      CaptureTxxx(s, j - 1);
      break;
    }
  }
}

// Processes the window's bytes from the current position up to end; returns true when an end
// marker stops the scan, leaving the position just after it.
bool ScanRange(ScanState& s, std::size_t end) {
  const std::uint8_t* window = s.window.get();
  while (s.position < end) {
    if (IsQuiet(s)) {
      SkipQuietBytes(s, end);
      if (s.position == end) break;
    }
    const std::size_t k = s.position++;
    const std::uint8_t b = window[k];
    const ByteClass cls = s.classes[b];
    if (cls == ByteClass::Control) continue;
    if (cls != ByteClass::Ignored) Capture(s, k, b);
    if (kEndsPattern[b] != 0 && Recognise(s, RecentBytes(window, k), k)) {
      s.ended = true;
      return true;
    }
  }
  return false;
}

// Scans the 255 bytes that stand for reads past end of file, up to the end of the window.
void ScanFiller(ScanState& s) {
  std::memset(s.window.get() + s.filled, kFiller, kWindowSize - s.filled);
  s.filled = kWindowSize;
  ScanRange(s, kWindowSize);
}

// Cuts each TXXX slot from the window.
void FinishScan(ScanState& s) {
  if (s.frame == FrameKind::TXXX) CloseTxxxFrame(s);
  const char* window = reinterpret_cast<const char*>(s.window.get());
  for (std::size_t i = 0; i < kTxxxSlotCount; ++i) {
    const WindowSpan span = s.txxx_spans[i];
    s.result.txxx_slots[i].assign(window + span.begin, span.end - span.begin);
  }
}

}  // namespace

ScanState::ScanState()
    : window(std::make_unique_for_overwrite<std::uint8_t[]>(kWindowSize)),
      control_byte_table(Octal()),
      classes(BuildClassTable(control_byte_table.get())) {}

ScanOutcome ScanTag(int fd, ScanState& s) {
  class FileSource final : public ByteSource {
   public:
    explicit FileSource(int fd) : fd_(fd) {}
    ssize_t Read(std::uint8_t* buffer, std::size_t size) override {
      return read(fd_, buffer, size);
    }

   private:
    int fd_;
  };
  FileSource source(fd);
  return ScanTag(source, s);
}

ScanOutcome ScanTag(ByteSource& source, ScanState& s) {
  while (s.filled < kWindowSize) {
    const ssize_t n = source.Read(s.window.get() + s.filled, kWindowSize - s.filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ScanOutcome::CannotRead;
    }
    if (n == 0) break;
    s.filled += static_cast<std::size_t>(n);
    if (ScanRange(s, s.filled)) {
      FinishScan(s);
      return ScanOutcome::Complete;
    }
  }
  ScanFiller(s);
  FinishScan(s);
  return ScanOutcome::Complete;
}

ScanOutcome ScanFile(const char* path, ScanState& s, int* error) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  ScanOutcome outcome = ScanOutcome::CannotOpen;
  if (fd >= 0) {
    outcome = ScanTag(fd, s);
    if (outcome != ScanOutcome::Complete && errno == EISDIR) outcome = ScanOutcome::CannotOpen;
  }
  const int failure = errno;
  if (fd >= 0) close(fd);
  if (error != nullptr) *error = outcome == ScanOutcome::Complete ? 0 : failure;
  return outcome;
}

void ResetScanState(ScanState& s) { static_cast<FileScanState&>(s) = FileScanState(); }

void ScanBytes(std::string_view bytes, ScanState& s) {
  const std::size_t n = bytes.size() < kWindowSize ? bytes.size() : kWindowSize;
  if (n > 0) std::memcpy(s.window.get(), bytes.data(), n);
  ScanWindow(n, s);
}

void ScanWindow(std::size_t filled, ScanState& s) {
  s.filled = filled < kWindowSize ? filled : kWindowSize;
  if (!ScanRange(s, s.filled)) ScanFiller(s);
  FinishScan(s);
}

std::string_view RawHistory(const ScanState& s) {
  return {reinterpret_cast<const char*>(s.window.get()), s.position};
}

}  // namespace id3sniff
