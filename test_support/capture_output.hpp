#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace id3sniff::testing {

// Collects what is written to a stdio stream in memory.
class CapturedOutput {
 public:
  CapturedOutput() : stream_(open_memstream(&buffer_, &size_)) {}
  ~CapturedOutput() {
    if (stream_ != nullptr) std::fclose(stream_);
    std::free(buffer_);
  }
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;

  std::FILE* stream() { return stream_; }
  // Returns everything written so far.
  std::string Text() {
    std::fflush(stream_);
    return {buffer_, size_};
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* stream_;
};

}  // namespace id3sniff::testing
