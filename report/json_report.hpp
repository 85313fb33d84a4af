#pragma once

#include <string>
#include <string_view>

#include "scan/scan_tag.hpp"

namespace id3sniff {

// Appends to out the report of path as one line of JSON: an object with "path", then each of
// "TDRC", "TYER", "TALB", "TIT2", "TPE1", "TSSE", "APIC" that the text report prints, with what
// it prints after the label, then "TXXX", an array of {"slot", "count", "text"}. Strings are
// UTF-8 escaped by RFC 8259, with DEL and the C1 controls escaped too; a value with bytes that
// are no well-formed UTF-8 shows U+FFFD for each and is followed by a key of the same name plus
// "_base64" holding its exact bytes. Removes the NUL bytes from result's TXXX slots.
void AppendJsonReport(std::string& out, std::string_view path, ScanResult& result);

// Appends to out the object that stands for a file without a report: "path", then "error" (what
// the text report writes instead, without its newline) and "reason" (why).
void AppendJsonError(std::string& out, std::string_view path, std::string_view error,
                     std::string_view reason);

// Appends value as a JSON string, quoted and escaped as AppendJsonReport escapes; a byte that is
// no part of a well-formed character becomes U+FFFD.
void AppendJsonString(std::string& out, std::string_view value);

// Appends "key":"value" to out, escaped as AppendJsonReport escapes, followed by
// ,"key_base64":"..." when value is no well-formed UTF-8.
void AppendJsonMember(std::string& out, std::string_view key, std::string_view value);

}  // namespace id3sniff
