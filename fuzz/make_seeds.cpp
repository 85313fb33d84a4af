// Writes the fuzzer's seed corpus to the folder given: the bundled sample and the kinds of byte
// strings the tests are made of.
#include <cstdio>
#include <string>
#include <vector>

#include "test_support/tag_bytes.hpp"
#include "test_support/tag_writer.hpp"

using namespace id3sniff::testing;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_seeds FOLDER\n", stderr);
    return 2;
  }
  const std::string nul(1, '\0');
  const std::string utf16 = Bytes({0, 0, 0, 9, 0, 0, 1, 0xFF, 0xFE, 'A', 0, 'b', 0});
  std::string eleven;
  for (int i = 1; i <= 11; ++i) eleven += TextFrame("TXXX", "comment" + nul + std::to_string(i));
  std::string near_end(16376, '\0');
  near_end += "TXXX" + Bytes({0, 1, 9, 0}) + "TALBx";
  // Tags for the decoder: every version, encodings, unsynchronisation, headers and flags.
  std::vector<FrameSpec> frames(4);
  frames[0].id = "TIT2";
  frames[0].encoding = 1;
  frames[0].values = {"\xC3\xA9t\xC3\xA9", "x"};
  frames[1].id = "TXXX";
  frames[1].description = "replaygain";
  frames[1].values = {"-6 dB"};
  frames[2].id = "COMM";
  frames[2].encoding = 0;
  frames[2].values = {"Ripped"};
  frames[3].id = "APIC";
  frames[3].picture_bytes = 40;
  std::vector<std::string> tags;
  for (int major = 2; major <= 4; ++major) {
    for (int layout = 0; layout < 3; ++layout) {
      TagSpec shape;
      shape.major = major;
      shape.unsynchronised = layout == 1;
      shape.extended_header = major > 2 && layout == 2;
      shape.data_length = major == 4 && layout == 2;
      shape.plain_sizes = major == 4 && layout == 1;
      shape.padding = 20;
      if (major < 4) frames[1].encoding = frames[3].encoding = 1;
      tags.push_back(WriteTag(shape, frames) + SilentAudioFrame());
    }
  }
  std::vector<std::string> seeds = {
      SongBytes(),
      "",
      std::string(16384, '\0'),
      Tag(TextFrame("TALB", "My Album") + TextFrame("TPE1", "Caf\xC3\xA9"), 10) +
          InfoAudioFrame("Lavc58.54"),
      Tag(TextFrame("TIT2", "1984") + TextFrame("TYER", "1999") + TextFrame("TDRC", "2019-05-01"),
          0),
      Tag(Frame("TALB", utf16) + Frame("TSSE", utf16), 4),
      Tag(Frame("APIC", Bytes({0}) + "image/jpeg" + Bytes({0, 3, 0, 0xFF, 0xD8, 0xFF, 0xE0})), 0),
      Tag(eleven, 40) + InfoAudioFrame("LAME3.100"),
      Tag(TextFrame("TXXX", "Software" + nul + "Lavf58.29.100") +
              TextFrame("TXXX", "description" + nul + "purl" + nul + "x"),
          40) +
          InfoAudioFrame("LAME3.100") + SilentAudioFrame(),
      "TALBCaf\xC3" + nul +
          "\xA9TPE1\xC5\x81TDRC20\x01"
          "19TYERTALB",
      near_end,
      "LAME3",
      "AME3LAME4LavfLavc",
  };
  seeds.insert(seeds.end(), tags.begin(), tags.end());
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    const std::string path = std::string(argv[1]) + "/seed-" + std::to_string(i);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr ||
        std::fwrite(seeds[i].data(), 1, seeds[i].size(), out) != seeds[i].size() ||
        std::fclose(out) != 0) {
      std::perror(path.c_str());
      return 1;
    }
  }
  return 0;
}
