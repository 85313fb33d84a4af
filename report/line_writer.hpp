#pragma once

#include <cstdio>
#include <string_view>

namespace id3sniff {

// Where the report goes, which decides how control bytes are written.
enum class Destination {
  PipeOrFile,  // every byte exactly as captured: scripts compare the report byte for byte
  Terminal,    // bytes below 0x20 and 0x7F written as '?', so a file cannot drive the terminal
};

// Writes the report one line at a time; each line goes out with its newline and a flush.
class LineWriter {
 public:
  LineWriter(std::FILE* out, Destination destination);

  // Writes bytes as part of the current line.
  LineWriter& Append(std::string_view bytes);
  // Writes a number in decimal as part of the current line.
  LineWriter& Append(int number);
  // Ends the current line with its newline and flushes the stream.
  void EndLine();

 private:
  std::FILE* out_;
  Destination destination_;
};

}  // namespace id3sniff
