// Writes a library of whole MP3 files to a folder, in subfolders of 100 (0/1.mp3 to 0/99.mp3,
// 1/100.mp3, ...), about 190 KB each, in several shapes:
// ID3v2.4 and v2.3 tags, TXXX frames, a cover picture, the encoder marker early (in the first
// audio frame after a small tag) or late (after a cover larger than the scanned 16 KiB).
// Usage: make_library FOLDER COUNT
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_support/tag_bytes.hpp"

using namespace id3sniff::testing;

namespace {

constexpr int kAudioFrames = 400;  // about 10 s of audio, 166 KB
constexpr int kFilesPerFolder = 100;

std::string BigEndian32(std::size_t n) {
  return Bytes({static_cast<int>(n >> 24 & 0xFF), static_cast<int>(n >> 16 & 0xFF),
                static_cast<int>(n >> 8 & 0xFF), static_cast<int>(n & 0xFF)});
}

// An ID3v2.3 frame: its size is a plain 32-bit number.
std::string Frame23Data(const std::string& id, const std::string& data) {
  return id + BigEndian32(data.size()) + Bytes({0, 0}) + data;
}

// An ID3v2.3 text frame, text encoding 0 (Latin-1).
std::string Frame23(const std::string& id, const std::string& text) {
  return Frame23Data(id, Bytes({0}) + text);
}

// An ID3v2.3 tag; the header's size is syncsafe in both versions, so Tag's is patched.
std::string Tag23(const std::string& frames, std::size_t padding) {
  std::string tag = Tag(frames, padding);
  tag[3] = 3;
  return tag;
}

// A cover picture frame, its size written as the tag's version wants.
std::string Cover(int n, bool v23 = false) {
  std::string jpeg = Bytes({0, 'i', 'm', 'a', 'g', 'e', '/', 'j', 'p', 'e', 'g', 0, 3, 0});
  jpeg += Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 16}) + "JFIF";
  unsigned state = static_cast<unsigned>(n) * 2654435761u + 1;
  while (jpeg.size() < 30000) {
    state = state * 1103515245u + 12345u;
    jpeg.push_back(static_cast<char>(state >> 16));
  }
  return v23 ? Frame23Data("APIC", jpeg) : Frame("APIC", jpeg);
}

std::string Song(int n) {
  const std::string i = std::to_string(n);
  const std::string nul(1, '\0');
  std::string tag;
  std::string encoder = "LAME3.100";
  switch (n % 4) {
    case 0:  // v2.4 as ffmpeg writes it, marker early
      tag = Tag(TextFrame("TIT2", "Track " + i) + TextFrame("TPE1", "Artist " + i) +
                    TextFrame("TALB", "Album " + i) + TextFrame("TDRC", "2019-05-01") +
                    TextFrame("TXXX", "comment" + nul + "Ripped " + i) +
                    TextFrame("TSSE", "Lavf58.29.100"),
                40);
      encoder = "Lavc58.54";
      break;
    case 1:  // v2.3 with a year, marker early
      tag = Tag23(Frame23("TIT2", "Song " + i) + Frame23("TPE1", "Band " + i) +
                      Frame23("TALB", "Record " + i) + Frame23("TYER", "1999") +
                      Frame23("TSSE", "LAME 64bits version 3.100"),
                  1024);
      break;
    case 2:  // v2.4 with a cover: the marker lies past the scanned bytes
      tag = Tag(TextFrame("TIT2", "Caf\xC3\xA9 " + i) + TextFrame("TPE1", "Artist " + i) +
                    TextFrame("TALB", "Album " + i) + Cover(n),
                100);
      break;
    default:  // v2.3 with several TXXX frames and a cover
      tag = Tag23(Frame23("TIT2", "Title " + i) + Frame23("TALB", "Album " + i) +
                      Frame23("TXXX", "Software" + nul + "Lavf58.29.100") +
                      Frame23("TXXX", "description" + nul + "Live " + i) +
                      Frame23("TXXX", "purl" + nul + "https://example.org/" + i) + Cover(n, true),
                  0);
      break;
  }
  std::string song = tag + InfoAudioFrame(encoder);
  for (int f = 0; f < kAudioFrames; ++f) song += SilentAudioFrame();
  return song;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make_library FOLDER COUNT\n", stderr);
    return 2;
  }
  const int count = std::atoi(argv[2]);
  for (int n = 1; n <= count; ++n) {
    const std::string folder = std::string(argv[1]) + "/" + std::to_string(n / kFilesPerFolder);
    if (n == 1 || n % kFilesPerFolder == 0) mkdir(folder.c_str(), 0755);
    const std::string path = folder + "/" + std::to_string(n) + ".mp3";
    const std::string bytes = Song(n);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
      std::perror(path.c_str());
      return 1;
    }
  }
  return 0;
}
