#include "test_support/json.hpp"

#include <cstdint>
#include <utility>

namespace id3sniff::testing {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<Json> Document() {
    Json value;
    if (!Value(value, 0)) return std::nullopt;
    Space();
    if (at_ != text_.size()) return Fail("text after the value");
    return value;
  }
  std::string error;

 private:
  std::nullopt_t Fail(const std::string& why) {
    if (error.empty()) error = why + " at byte " + std::to_string(at_);
    return std::nullopt;
  }
  bool Failed(const std::string& why) {
    Fail(why);
    return false;
  }
  void Space() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }
  bool Take(char c) {
    Space();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool Value(Json& value, int depth) {
    if (depth > 64) return Failed("too deep");
    Space();
    if (at_ == text_.size()) return Failed("no value");
    const char c = text_[at_];
    if (c == '{') return Object(value, depth);
    if (c == '[') return Array(value, depth);
    if (c == '"') {
      value.kind = Json::Kind::String;
      return String(value.text);
    }
    if (Word("null")) return true;
    if (Word("true") || Word("false")) {
      value.kind = Json::Kind::Bool;
      value.boolean = c == 't';
      return true;
    }
    return Number(value);
  }

  bool Number(Json& value) {
    const std::size_t start = at_;
    const auto digits = [&] {
      const std::size_t from = at_;
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
      return at_ > from;
    };
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    if (at_ < text_.size() && text_[at_] == '0') {
      ++at_;
    } else if (!digits()) {
      return Failed("not a value");
    }
    if (at_ < text_.size() && text_[at_] == '.' && (++at_, !digits())) return Failed("number");
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (!digits()) return Failed("number");
    }
    value.kind = Json::Kind::Number;
    value.text = text_.substr(start, at_ - start);
    return true;
  }

  bool Array(Json& value, int depth) {
    value.kind = Json::Kind::Array;
    ++at_;
    if (Take(']')) return true;
    do {
      value.items.emplace_back();
      if (!Value(value.items.back(), depth + 1)) return false;
    } while (Take(','));
    return Take(']') || Failed("']' or ',' expected");
  }

  bool Object(Json& value, int depth) {
    value.kind = Json::Kind::Object;
    ++at_;
    if (Take('}')) return true;
    do {
      Space();
      std::string key;
      if (at_ == text_.size() || text_[at_] != '"' || !String(key)) return Failed("key expected");
      if (!Take(':')) return Failed("':' expected");
      value.keys.push_back(std::move(key));
      value.values.emplace_back();
      if (!Value(value.values.back(), depth + 1)) return false;
    } while (Take(','));
    return Take('}') || Failed("'}' or ',' expected");
  }

  static void Utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
              static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
  }

  bool Hex4(char32_t& unit) {
    if (at_ + 4 > text_.size()) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = text_[at_++];
      const int v = h >= '0' && h <= '9'   ? h - '0'
                    : h >= 'a' && h <= 'f' ? h - 'a' + 10
                    : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                           : -1;
      if (v < 0) return false;
      unit = unit << 4 | static_cast<char32_t>(v);
    }
    return true;
  }

  bool String(std::string& out) {
    ++at_;  // the opening quote
    for (;;) {
      if (at_ == text_.size()) return Failed("unterminated string");
      const auto b = static_cast<std::uint8_t>(text_[at_]);
      if (b == '"') {
        ++at_;
        return true;
      }
      if (b < 0x20) return Failed("raw control character");
      if (b == '\\') {
        if (++at_ == text_.size()) return Failed("unterminated escape");
        const char e = text_[at_++];
        const std::string_view simple = "\"\"\\\\//b\bf\fn\nr\rt\t";
        const std::size_t found = simple.find(e);
        if (e == 'u') {
          char32_t unit = 0;
          if (!Hex4(unit)) return Failed("bad \\u escape");
          if (unit >= 0xDC00 && unit <= 0xDFFF) return Failed("lone low surrogate");
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t low = 0;
            if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
              return Failed("lone high surrogate");
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          }
          Utf8(out, unit);
        } else if (found != std::string_view::npos && found % 2 == 0) {
          out.push_back(simple[found + 1]);
        } else {
          return Failed("unknown escape");
        }
        continue;
      }
      if (b < 0x80) {
        out.push_back(static_cast<char>(b));
        ++at_;
        continue;
      }
      // UTF-8, shortest form, no surrogates, up to U+10FFFF.
      const std::size_t length = b >= 0xC2 && b <= 0xDF   ? 2
                                 : b >= 0xE0 && b <= 0xEF ? 3
                                 : b >= 0xF0 && b <= 0xF4 ? 4
                                                          : 0;
      if (length == 0 || at_ + length > text_.size()) return Failed("not UTF-8");
      const auto second = static_cast<std::uint8_t>(text_[at_ + 1]);
      const std::uint8_t low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
      const std::uint8_t high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
      if (second < low || second > high) return Failed("not UTF-8");
      for (std::size_t k = 2; k < length; ++k) {
        const auto next = static_cast<std::uint8_t>(text_[at_ + k]);
        if (next < 0x80 || next > 0xBF) return Failed("not UTF-8");
      }
      out.append(text_.substr(at_, length));
      at_ += length;
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<Json> ParseJson(std::string_view text, std::string* error) {
  Parser parser(text);
  std::optional<Json> value = parser.Document();
  if (!value && error != nullptr) *error = parser.error;
  return value;
}

}  // namespace id3sniff::testing
