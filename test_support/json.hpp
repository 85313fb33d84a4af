#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A strict JSON reader for the tests (RFC 8259, as the programs write it: no true or false, whole
// numbers, no surrogate escapes): a line that is not exactly one JSON value, or that holds a raw
// control character, an unknown escape or bytes that are no UTF-8, is refused.
namespace id3sniff::testing {

struct Json {
  enum class Kind { Null, Number, String, Array, Object };
  Kind kind = Kind::Null;
  std::string text;               // a number's digits, or a string's value as UTF-8
  std::vector<Json> items;        // an array's
  std::vector<std::string> keys;  // an object's members' names, in order
  std::vector<Json> values;       // and their values

  // The member named key, or null when there is none.
  const Json* Find(std::string_view key) const {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == key) return &values[i];
    }
    return nullptr;
  }
};

// Parses text as one JSON value; returns nothing, and why in error, when it is not one.
std::optional<Json> ParseJson(std::string_view text, std::string* error = nullptr);

}  // namespace id3sniff::testing
