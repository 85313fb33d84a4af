#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "scan/byte_class.hpp"

namespace id3sniff {

// The number of bytes at the start of a file that the scan examines.
inline constexpr std::size_t kWindowSize = 16384;
// The number of TXXX slots; slot 0 is never written, so nine frames fit.
inline constexpr std::size_t kTxxxSlotCount = 10;

// The frame whose text is being captured.
enum class FrameKind : std::uint8_t { None, TALB, TIT2, TPE1, TDRC, TYER, TXXX, TSSE, APIC };

// The five text fields, in the order in which they are captured and reported.
enum class TextField : std::uint8_t { Album, Title, Artist, Tsse, Apic };
inline constexpr std::size_t kTextFieldCount = 5;

using TxxxSlots = std::array<std::string, kTxxxSlotCount>;

// What the scan captured: everything the report reads. Strings hold raw bytes.
struct ScanResult {
  std::string tdrc;                               // digits of the last TDRC frame
  std::string tyer;                               // digits of the last TYER frame, or "noDate"
  std::array<std::string, kTextFieldCount> text;  // album .. APIC values, indexed by TextField
  TxxxSlots txxx_slots;                           // raw bytes of TXXX frames 1 to 9
  int txxx_count = 0;                             // TXXX identifiers seen, stopping at 10

  const std::string& Text(TextField field) const { return text[static_cast<std::size_t>(field)]; }
  bool operator==(const ScanResult&) const = default;
};

// Where a TXXX slot's bytes lie in the window; cut into the slot once, when the scan ends.
struct WindowSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Bits of FileScanState::unseen: one per text field, then TYER, all set until that field's
// frame captures a byte.
inline constexpr std::uint8_t kAllPlaceholderBits = (1u << (kTextFieldCount + 1)) - 1;

// Everything the scan of one file changes. A scan of another file starts from a new one, so
// nothing of the last file can be carried over by a field that a reset forgot.
struct FileScanState {
  std::size_t filled = 0;             // bytes of the window read from the file so far
  std::size_t position = 0;           // index of the next byte to process
  bool ended = false;                 // an end marker stopped the scan
  FrameKind frame = FrameKind::None;  // the frame whose text is being captured
  // The accumulator is shared by the captures, but only the current frame's capture uses it and
  // every identifier empties it. A text capture's value is a copy of it after each byte, so the
  // value stands for it and this flag says whether it is empty.
  bool accumulator_empty = true;
  std::uint8_t unseen = kAllPlaceholderBits;  // FirstSeen: bit per field not yet captured
  bool placeholders_set = false;  // the first Printable or High byte has set the placeholders
  std::size_t txxx_begin = 0;     // where the current TXXX frame's identifier starts
  std::size_t txxx_end = 0;       // one past its last captured byte; 0 while it has captured none
  std::array<WindowSpan, kTxxxSlotCount> txxx_spans{};  // each slot's bytes in the window
  ScanResult result;
};

// The state of the scan: what is made once (the window and the tables), and the state of the
// file being scanned, which ResetScanState makes new for the next one.
struct ScanState : FileScanState {
  ScanState();

  std::unique_ptr<std::uint8_t[]> window;               // ScanWindow: byte k of the file at index k
  std::unique_ptr<std::uint32_t[]> control_byte_table;  // the octal table
  ClassTable classes;                                   // class of each byte value, formed once
};

// How the scan of a file ended.
enum class ScanOutcome : std::uint8_t {
  Complete,    // an end marker, or 16384 positions (past end of file the scan reads byte 255)
  CannotOpen,  // the file could not be opened, or is a folder: nothing was scanned
  CannotRead,  // a read failed before the scan could end; the result is incomplete
};

// Where the scan's bytes come from.
class ByteSource {
 public:
  // Reads up to size bytes into buffer as read(2) does: returns how many, 0 at end of file, or
  // -1 with errno set.
  virtual ssize_t Read(std::uint8_t* buffer, std::size_t size) = 0;

 protected:
  ~ByteSource() = default;
};

// Reads the file open on fd from its current offset and scans its first 16384 bytes; fd stays
// open. Reads never wait for more bytes than the scan still needs.
ScanOutcome ScanTag(int fd, ScanState& state);

// Scans the first 16384 bytes that source delivers, however its reads are cut; a read
// interrupted by a signal is made again.
ScanOutcome ScanTag(ByteSource& source, ScanState& state);

// Opens path read-only, scans it into state (new, or reset since its last scan) and closes it,
// so the file is open only during the scan. Returns how it ended, with the errno of a failure
// in error when it is not null. A folder opens, but its first read fails: it cannot be opened.
ScanOutcome ScanFile(const char* path, ScanState& state, int* error = nullptr);

// Makes state ready for the scan of another file: a new FileScanState, the same window and
// tables.
void ResetScanState(ScanState& state);

// Scans bytes held in memory as if they were the whole file; state must be new.
void ScanBytes(std::string_view bytes, ScanState& state);

// Scans the first filled bytes of state's window, read there by the caller, as if they were the
// whole file; state must be new.
void ScanWindow(std::size_t filled, ScanState& state);

// Returns the raw history: every byte processed so far, in file order.
std::string_view RawHistory(const ScanState& state);

}  // namespace id3sniff
