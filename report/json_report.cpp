#include "report/json_report.hpp"

#include <cstdint>

#include "report/line_writer.hpp"
#include "report/print_report.hpp"
#include "report/report_lines.hpp"

namespace id3sniff {
namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

void AppendEscape(std::string& out, unsigned code) {
  out += "\\u00";
  out.push_back(kHex[code >> 4 & 0xF]);
  out.push_back(kHex[code & 0xF]);
}

// Appends value as a JSON string's contents; returns false when a byte of it was no part of a
// well-formed character and became U+FFFD.
bool AppendEscaped(std::string& out, std::string_view value) {
  bool exact = true;
  for (std::size_t i = 0; i < value.size();) {
    const auto b = static_cast<std::uint8_t>(value[i]);
    if (b >= 0x80) {
      const std::size_t length = Utf8SequenceLength(value.substr(i));
      if (length == 0) {
        out += kReplacement;
        exact = false;
        ++i;
      } else if (b == 0xC2 && static_cast<std::uint8_t>(value[i + 1]) <= 0x9F) {
        AppendEscape(out, static_cast<std::uint8_t>(value[i + 1]));  // U+0080..U+009F
        i += length;
      } else {
        out.append(value.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (b) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (b < 0x20 || b == 0x7F) {
          AppendEscape(out, b);
        } else {
          out.push_back(static_cast<char>(b));
        }
    }
    ++i;
  }
  return exact;
}

// Appends the RFC 4648 base64 of bytes, padded.
void AppendBase64(std::string& out, std::string_view bytes) {
  constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i])) << 16;
    if (i + 1 < bytes.size())
      group |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<std::uint8_t>(bytes[i + 2]);
    out.push_back(kDigits[group >> 18 & 0x3F]);
    out.push_back(kDigits[group >> 12 & 0x3F]);
    out.push_back(i + 1 < bytes.size() ? kDigits[group >> 6 & 0x3F] : '=');
    out.push_back(i + 2 < bytes.size() ? kDigits[group & 0x3F] : '=');
  }
}

// Appends each line of a report as a member of its object.
class JsonLines final : public ReportLines {
 public:
  explicit JsonLines(std::string& out) : out_(out) {}
  void Field(const FieldLine& line) override {
    out_.push_back(',');
    AppendJsonMember(out_, line.id, line.shown);
  }
  void Txxx(const TxxxLine& line) override {
    out_ += txxx_lines_++ == 0 ? ",\"TXXX\":[" : ",";
    out_ +=
        "{\"slot\":" + std::to_string(line.slot) + ",\"count\":" + std::to_string(line.count) + ",";
    text_.assign(line.text_first).append(line.text_second);
    AppendJsonMember(out_, "text", text_);
    out_.push_back('}');
  }
  // Ends the object: the TXXX lines come after the fields, and the array is there without them.
  void Close() { out_ += txxx_lines_ == 0 ? ",\"TXXX\":[]}\n" : "]}\n"; }

 private:
  std::string& out_;
  std::string text_;  // a TXXX line's text, whole
  int txxx_lines_ = 0;
};

}  // namespace

void AppendJsonString(std::string& out, std::string_view value) {
  out.push_back('"');
  AppendEscaped(out, value);
  out.push_back('"');
}

void AppendJsonMember(std::string& out, std::string_view key, std::string_view value) {
  out.push_back('"');
  out.append(key);
  out += "\":\"";
  const bool exact = AppendEscaped(out, value);
  out.push_back('"');
  if (exact) return;
  out += ",\"";
  out.append(key);
  out += "_base64\":\"";
  AppendBase64(out, value);
  out.push_back('"');
}

void AppendJsonReport(std::string& out, std::string_view path, ScanResult& result) {
  out.push_back('{');
  AppendJsonMember(out, "path", path);
  JsonLines json(out);
  ListReportLines(result, json);
  json.Close();
}

void AppendJsonError(std::string& out, std::string_view path, std::string_view error,
                     std::string_view reason) {
  out.push_back('{');
  AppendJsonMember(out, "path", path);
  out.push_back(',');
  AppendJsonMember(out, "error", error);
  out.push_back(',');
  AppendJsonMember(out, "reason", reason);
  out += "}\n";
}

}  // namespace id3sniff
