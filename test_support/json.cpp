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
    if (at_ != text_.size()) {
      Fail("text after the value");
      return std::nullopt;
    }
    return value;
  }
  std::string error;

 private:
  bool Fail(const char* why) {
    if (error.empty()) error = std::string(why) + " at byte " + std::to_string(at_);
    return false;
  }
  char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  void Space() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r') ++at_;
  }
  bool Take(char c) {
    Space();
    return Peek() == c && (++at_, true);
  }
  bool Word(std::string_view word) {
    return text_.substr(at_, word.size()) == word && (at_ += word.size(), true);
  }
  bool Digits() {
    const std::size_t from = at_;
    while (Peek() >= '0' && Peek() <= '9') ++at_;
    return at_ > from;
  }

  bool Value(Json& value, int depth) {
    Space();
    if (depth > 64) return Fail("too deep");
    const char c = Peek();
    if (c == '{' || c == '[') {
      ++at_;
      value.kind = c == '{' ? Json::Kind::Object : Json::Kind::Array;
      const char close = c == '{' ? '}' : ']';
      if (Take(close)) return true;
      do {
        Json* item = nullptr;
        if (c == '{') {
          Space();
          std::string key;
          if (Peek() != '"' || !String(key) || !Take(':')) return Fail("a key and ':' expected");
          value.keys.push_back(std::move(key));
          item = &value.values.emplace_back();
        } else {
          item = &value.items.emplace_back();
        }
        if (!Value(*item, depth + 1)) return false;
      } while (Take(','));
      return Take(close) || Fail("',' or the closing bracket expected");
    }
    if (c == '"') return (value.kind = Json::Kind::String, String(value.text));
    if (Word("null")) return true;
    // A number, as the programs write them: -?(0|[1-9][0-9]*)
    const std::size_t start = at_;
    if (Peek() == '-') ++at_;
    if (Peek() == '0') {
      ++at_;
    } else if (!Digits()) {
      return Fail("no value");
    }
    value.kind = Json::Kind::Number;
    value.text = text_.substr(start, at_ - start);
    return true;
  }

  bool Hex4(char32_t& unit) {
    unit = 0;
    for (int i = 0; i < 4; ++i, ++at_) {
      const char h = Peek();
      const int v = h >= '0' && h <= '9'                     ? h - '0'
                    : (h | 0x20) >= 'a' && (h | 0x20) <= 'f' ? (h | 0x20) - 'a' + 10
                                                             : -1;
      if (v < 0) return false;
      unit = unit << 4 | static_cast<char32_t>(v);
    }
    return true;
  }

  static void Utf8(std::string& out, char32_t c) {
    const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    out.push_back(static_cast<char>(kLead[extra] | (c >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k)
      out.push_back(static_cast<char>(0x80 | (c >> (6 * k) & 0x3F)));
  }

  // A string: no raw control character, only the escapes JSON has, paired surrogates, and
  // well-formed UTF-8 (shortest form, no surrogates, up to U+10FFFF).
  bool String(std::string& out) {
    for (++at_;;) {
      if (at_ == text_.size()) return Fail("unterminated string");
      const auto b = static_cast<std::uint8_t>(text_[at_]);
      if (b == '"') return ++at_, true;
      if (b < 0x20) return Fail("raw control character");
      if (b == '\\') {
        ++at_;
        const char e = Peek();
        const std::string_view simple = "\"\"\\\\//b\bf\fn\nr\rt\t";
        const std::size_t found = simple.find(e);
        char32_t unit = 0;
        if (e == 'u' && (++at_, Hex4(unit))) {
          // The programs escape only controls: a surrogate is refused.
          if (unit >= 0xD800 && unit <= 0xDFFF) return Fail("a surrogate escaped");
          Utf8(out, unit);
        } else if (e != 'u' && found != std::string_view::npos && found % 2 == 0) {
          out.push_back(simple[found + 1]);
          ++at_;
        } else {
          return Fail("unknown escape");
        }
        continue;
      }
      const std::size_t length = b < 0x80                 ? 1
                                 : b >= 0xC2 && b <= 0xDF ? 2
                                 : b >= 0xE0 && b <= 0xEF ? 3
                                 : b >= 0xF0 && b <= 0xF4 ? 4
                                                          : 0;
      if (length == 0 || at_ + length > text_.size()) return Fail("not UTF-8");
      for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<std::uint8_t>(text_[at_ + k]);
        const std::uint8_t low = k > 1 ? 0x80 : b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        const std::uint8_t high = k > 1 ? 0xBF : b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        if (next < low || next > high) return Fail("not UTF-8");
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
