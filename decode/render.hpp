#pragma once

#include <string>
#include <string_view>

#include "decode/id3v2.hpp"
#include "report/line_writer.hpp"

namespace id3sniff {

// Appends the tag of path as one line of JSON: "path" (and "path_base64" as the report's JSON
// has it), "ID3v2" (the version, or null without a tag), one key per identifier in the order
// first met, "skipped" and "warnings" when there are any.
void AppendDecodedJson(std::string& out, std::string_view path, const DecodedTag& tag);

// Appends the tag of path for a person: the path, the version or "no ID3v2 tag", a line per
// value ("ID: value"), the skipped frames, the warnings, and an empty line; masked as a
// terminal is shown it when destination is one.
void AppendDecodedText(std::string& out, std::string_view path, const DecodedTag& tag,
                       Destination destination);

}  // namespace id3sniff
