#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Builds the byte strings that tests and the bundled sample are made of.
namespace id3sniff::testing {

// Returns the given byte values as a byte string.
std::string Bytes(std::initializer_list<int> values);

// Returns an ID3v2.4 frame: identifier, 4-byte syncsafe size, 2 flag bytes, payload.
std::string Frame(std::string_view id, std::string_view payload);

// Returns a text frame: a frame whose payload is text encoding 3 (UTF-8) and the text.
std::string TextFrame(std::string_view id, std::string_view text);

// Returns an ID3v2.4 tag: the 10-byte header, the frames, and padding NUL bytes.
std::string Tag(std::string_view frames, std::size_t padding);

// Returns an MPEG-1 Layer III frame (128 kbit/s, 44.1 kHz) carrying an Info header whose
// encoder field holds encoder, as encoders write the first frame of a file.
std::string InfoAudioFrame(std::string_view encoder);

// Returns a silent MPEG-1 Layer III frame of the same format.
std::string SilentAudioFrame();

// Returns the bytes of the bundled sample examples/song.mp3.
std::string SongBytes();

}  // namespace id3sniff::testing
