#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace id3sniff {

// Where the report goes, which decides how control characters are written.
enum class Destination {
  PipeOrFile,  // every byte exactly as captured: scripts compare the report byte for byte
  Terminal,    // control characters shown as '?' (AppendShownOnTerminal), so a file cannot drive it
};

// Returns the length of the well-formed UTF-8 sequence that bytes (not empty) starts with: the
// shortest form of a code point up to U+10FFFF, not a surrogate; 0 when it starts with none.
std::size_t Utf8SequenceLength(std::string_view bytes);

// Appends bytes to out as a terminal is shown them: each C0 control byte (below 0x20, and 0x7F)
// and each C1 control character (the UTF-8 sequences C2 80 to C2 9F, and any byte 0x80..0x9F
// that is not part of a well-formed UTF-8 sequence) becomes one '?'. Every other well-formed
// UTF-8 character, and every other byte of 0xA0 and above, is kept.
void AppendShownOnTerminal(std::string_view bytes, std::string& out);

// Appends the line that names a failure on standard error: "PROGRAM: PATH: reason", or
// "PROGRAM: reason" when path is null, with its newline; the path masked when destination is a
// terminal.
void AppendMessageLine(std::string& out, std::string_view program, const std::string* path,
                       std::string_view reason, Destination destination);

// Writes the report one line at a time, either to a stream, flushed as each line ends, or into
// a text that collects the lines for the caller to write.
class LineWriter {
 public:
  // Writes each line to out, with a flush, as it ends.
  LineWriter(std::FILE* out, Destination destination);
  // Collects the lines at the end of text; nothing is written.
  LineWriter(std::string& text, Destination destination);
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  // Adds bytes to the current line.
  LineWriter& Append(std::string_view bytes);
  // Adds a number in decimal to the current line.
  LineWriter& Append(int number);
  // Ends the current line with its newline; a stream is flushed.
  void EndLine();

 private:
  std::FILE* out_ = nullptr;     // the stream each line goes to, or none when collecting
  std::string* text_ = nullptr;  // where the lines are collected, or none when writing
  std::string shown_;            // bytes masked for a terminal, on their way out
  Destination destination_;
};

}  // namespace id3sniff
