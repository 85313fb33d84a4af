// Writes the bundled sample, a small MP3 file with an ID3v2.4 tag, to the path given.
#include <cstdio>
#include <string>

#include "test_support/tag_bytes.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_song OUTPUT\n", stderr);
    return 2;
  }
  const std::string bytes = id3sniff::testing::SongBytes();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
