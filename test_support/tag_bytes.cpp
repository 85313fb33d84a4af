#include "test_support/tag_bytes.hpp"

#include <cstdint>

namespace id3sniff::testing {
namespace {

constexpr std::size_t kAudioFrameSize = 417;  // 144 * 128000 / 44100, no padding slot
constexpr std::string_view kAudioHeader = "\xFF\xFB\x90\x64";

// Returns a 28-bit number as 4 bytes of 7 bits each, high first.
std::string Syncsafe(std::size_t n) {
  std::string out(4, '\0');
  for (int i = 3; i >= 0; --i, n >>= 7)
    out[static_cast<std::size_t>(i)] = static_cast<char>(n & 0x7F);
  return out;
}

std::string BigEndian32(std::uint32_t n) {
  return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
          static_cast<char>(n)};
}

}  // namespace

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::string Frame(std::string_view id, std::string_view payload) {
  return std::string(id) + Syncsafe(payload.size()) + std::string(2, '\0') + std::string(payload);
}

std::string TextFrame(std::string_view id, std::string_view text) {
  std::string payload(1, '\x03');
  payload += text;
  return Frame(id, payload);
}

std::string Tag(std::string_view frames, std::size_t padding) {
  return "ID3" + Bytes({4, 0, 0}) + Syncsafe(frames.size() + padding) + std::string(frames) +
         std::string(padding, '\0');
}

std::string InfoAudioFrame(std::string_view encoder) {
  std::string frame(kAudioHeader);
  frame += std::string(32, '\0');  // side information of a stereo frame
  frame += "Info" + BigEndian32(0x0F) + BigEndian32(3) + BigEndian32(3 * kAudioFrameSize);
  for (int i = 0; i < 100; ++i) frame.push_back(static_cast<char>(i * 255 / 99));  // seek table
  frame += BigEndian32(100);                                                       // quality
  frame += encoder;
  frame.resize(kAudioFrameSize, '\0');
  return frame;
}

std::string SilentAudioFrame() {
  std::string frame(kAudioHeader);
  frame.resize(kAudioFrameSize, '\0');
  return frame;
}

std::string SongBytes() {
  const std::string frames =
      TextFrame("TIT2", "Some Title") + TextFrame("TPE1", "The Artist") +
      TextFrame("TALB", "Caf\xC3\xA9 Album") + TextFrame("TDRC", "2019-05-01") +
      TextFrame("TXXX", std::string("description") + '\0' + "Live recording") +
      TextFrame("TXXX", std::string("comment") + '\0' + "Ripped") +
      TextFrame("TSSE", "Lavf58.29.100");
  return Tag(frames, 40) + InfoAudioFrame("LAME3.100") + SilentAudioFrame() + SilentAudioFrame();
}

}  // namespace id3sniff::testing
