// Runs the scan and the report on any bytes and checks what must hold for every input: the fast
// scan gives what the rules as written give, however its bytes arrive and whatever state it
// reuses, and the report keeps its shape.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decode/id3v2.hpp"
#include "decode/render.hpp"
#include "report/json_report.hpp"
#include "report/line_writer.hpp"
#include "report/print_report.hpp"
#include "report/report_lines.hpp"
#include "scan/scan_tag.hpp"
#include "test_support/base64.hpp"
#include "test_support/chunked_bytes.hpp"
#include "test_support/json.hpp"
#include "test_support/reference_scan.hpp"

namespace {

using id3sniff::Destination;
using id3sniff::kWindowSize;
using id3sniff::ScanResult;
using id3sniff::ScanState;
using id3sniff::ScanTag;
using id3sniff::testing::DecodeBase64;

constexpr std::string_view kHeader = "ID3v2 (2.4) tag info for ";
constexpr std::string_view kPath = "fuzz.mp3";
// The labels of the lines before the TXXX lines, in report order.
constexpr std::string_view kLabels[] = {
    "(Date)   TDRC = ", "(Date)   TYER = ", "(Album)  TALB = ", "(Title)  TIT2 = ",
    "(Artist) TPE1 = ", "(TSSE)   TSSE = ", "(APIC)   APIC = "};

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
  }
}

std::string Report(ScanResult result, Destination destination) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  id3sniff::PrintReport(out, kPath, result, destination);
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// Returns the lines of text, without their newlines; text after the last newline is a line too.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// Scans the bytes as a file and returns how far into it the scan read.
off_t ScanAsFile(std::string_view bytes, ScanState& state) {
  const int fd = memfd_create("fuzz", MFD_CLOEXEC);
  Check(fd >= 0, "memfd");
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
    Check(n > 0, "write");
    at += static_cast<std::size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  Check(id3sniff::ScanTag(fd, state) == id3sniff::ScanOutcome::Complete,
        "scan of a file completes");
  const off_t read = lseek(fd, 0, SEEK_CUR);
  close(fd);
  return read;
}

// Returns read sizes and an interruption rate drawn from the input itself, so that each input
// is also delivered in its own way, reproducibly.
std::pair<std::vector<std::size_t>, unsigned> ReadPattern(std::string_view bytes) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (char c : bytes) h = (h ^ static_cast<std::uint8_t>(c)) * 16777619u;
  std::vector<std::size_t> sizes;
  for (int i = 0; i < 3; ++i, h = h * 1103515245u + 12345u) {
    const std::uint32_t r = h >> 8;
    sizes.push_back(r % 4 == 0 ? 1 + r % 7 : 1 + r % 5000);
  }
  // Every second to fourth read interrupted, or none; never every read.
  const unsigned rate = h % 4;
  return {sizes, rate == 0 ? 0 : rate + 1};
}

// JSON text is well-formed UTF-8 with no control byte, DEL or C1 control left raw.
void CheckJsonText(std::string_view json) {
  for (std::size_t i = 0; i < json.size();) {
    const auto b = static_cast<std::uint8_t>(json[i]);
    if (b < 0x80) {
      Check(b >= 0x20 && b != 0x7F, "no raw control byte in JSON");
      ++i;
      continue;
    }
    const std::size_t length = id3sniff::Utf8SequenceLength(json.substr(i));
    Check(length != 0, "JSON is well-formed UTF-8");
    Check(!(b == 0xC2 && static_cast<std::uint8_t>(json[i + 1]) <= 0x9F), "no raw C1 in JSON");
    i += length;
  }
}

// Renders each value as a JSON member and checks it: clean text, and where the value is no
// UTF-8, a _base64 member that gives its exact bytes back.
class JsonChecks final : public id3sniff::ReportLines {
 public:
  void Field(const id3sniff::FieldLine& line) override { Value(line.shown); }
  void Txxx(const id3sniff::TxxxLine& line) override {
    Value(std::string(line.text_first) + std::string(line.text_second));
  }
  void Value(std::string_view value) {
    std::string member;
    id3sniff::AppendJsonMember(member, "k", value);
    CheckJsonText(member);
    constexpr std::string_view kBase64Key = ",\"k_base64\":\"";
    const std::size_t base64 = member.find(kBase64Key);
    if (base64 == std::string::npos) return;
    const std::size_t from = base64 + kBase64Key.size();
    Check(DecodeBase64(std::string_view(member).substr(from, member.size() - 1 - from)) == value,
          "a _base64 member gives the value's bytes back");
  }
};

}  // namespace

// The input as a file for the decoder: every read within it, none larger than it.
class InputSource final : public id3sniff::TagSource {
 public:
  explicit InputSource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, std::size_t count, std::string& out) override {
    Check(offset <= bytes_.size() && count <= bytes_.size() - offset, "no read beyond the file");
    out.assign(bytes_.substr(offset, count));
    return true;
  }

 private:
  std::string_view bytes_;
};

// The decoder on any bytes: no crash, no hang, no read beyond the file; its JSON is one valid
// JSON object of clean UTF-8 text, whose keys come in order; its text on a terminal holds no
// control character.
void CheckDecoded(std::string_view bytes) {
  InputSource source(bytes);
  id3sniff::DecodedTag tag;
  Check(id3sniff::DecodeTag(source, tag), "reads from memory never fail");
  std::string json;
  id3sniff::AppendDecodedJson(json, kPath, tag);
  Check(json.ends_with("}\n") && json.find('\n') == json.size() - 1, "one decoded object a line");
  const std::string_view object = std::string_view(json).substr(0, json.size() - 1);
  CheckJsonText(object);
  const std::optional<id3sniff::testing::Json> parsed = id3sniff::testing::ParseJson(object);
  Check(parsed.has_value() && parsed->kind == id3sniff::testing::Json::Kind::Object,
        "the decoded JSON is an object");
  const std::vector<std::string>& keys = parsed->keys;
  Check(keys.size() >= 2 && keys[0] == "path" && keys[1] == "ID3v2", "path, then ID3v2");
  Check(std::set<std::string>(keys.begin(), keys.end()).size() == keys.size(), "each key once");
  std::string text;
  id3sniff::AppendDecodedText(text, kPath, tag, id3sniff::Destination::Terminal);
  for (const char c : text) {
    Check(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F),
          "no control character in the decoded text on a terminal");
  }
  Check(text.ends_with("\n\n"), "the decoded text ends with an empty line");
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ScanState in_memory;
  id3sniff::ScanBytes(bytes, in_memory);
  const ScanResult& result = in_memory.result;

  const id3sniff::testing::ReferenceScan reference(bytes);
  Check(result == reference.result(), "the scan captures what the rules capture");
  Check(in_memory.position == reference.processed(), "the scan stops where the rules stop");

  ScanState from_file;
  Check(ScanAsFile(bytes, from_file) <= static_cast<off_t>(kWindowSize), "reads at most 16384");
  Check(from_file.result == result, "file and memory scans agree");
  const auto [sizes, interrupt_every] = ReadPattern(bytes);
  for (const auto& [pattern, interrupts] :
       {std::pair{std::vector<std::size_t>{1}, 0u}, std::pair{sizes, interrupt_every}}) {
    id3sniff::testing::ChunkedBytes source(bytes, pattern, interrupts);
    ScanState state;
    Check(ScanTag(source, state) == id3sniff::ScanOutcome::Complete, "cut reads complete");
    Check(source.delivered() <= kWindowSize, "cut reads take at most 16384 bytes");
    Check(state.result == result, "the scan is the same however the reads are cut");
  }
  // The previous input's state, made ready again, as a scan of many files reuses it.
  static ScanState reused;
  id3sniff::ResetScanState(reused);
  id3sniff::ScanBytes(bytes, reused);
  Check(reused.result == result && reused.position == in_memory.position,
        "a reused state scans as a new one");

  Check(result.txxx_count >= 0 && result.txxx_count <= 10, "TXXX count within 0..10");

  const std::string raw = Report(result, Destination::PipeOrFile);
  // On a terminal every control character, the newlines inside TXXX values included, shows as
  // one '?', so only the report's own newlines end its lines.
  const std::string shown = Report(result, Destination::Terminal);
  Check(shown.size() <= raw.size(), "masking never lengthens the report");
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(shown[i]);
    Check(b >= 0x20 ? b != 0x7F : b == '\n', "no C0 control byte on a terminal");
    const auto next = i + 1 < shown.size() ? static_cast<std::uint8_t>(shown[i + 1]) : 0;
    Check(!(b == 0xC2 && next >= 0x80 && next <= 0x9F), "no C1 control as UTF-8 on a terminal");
  }
  // What a terminal is shown has nothing left to mask, raw C1 bytes included, line by line.
  std::string shown_again;
  for (const std::string_view line : Lines(shown)) {
    id3sniff::AppendShownOnTerminal(line, shown_again);
    shown_again.push_back('\n');
  }
  Check(shown_again == shown, "masking leaves nothing to mask");
  // Texts never capture NUL, dates are digits, and the report removes NUL from TXXX slots.
  Check(raw.find('\0') == std::string::npos, "no NUL byte in the report");

  const std::vector<std::string_view> lines = Lines(shown);
  Check(lines.size() >= 2, "a header and an empty line");
  Check(lines.front() == std::string(kHeader) + std::string(kPath), "header line");
  Check(lines.back().empty(), "ends with an empty line");
  Check(shown.ends_with("\n"), "the empty line ends the report");
  std::size_t next_label = 0;
  int txxx_lines = 0;
  int last_slot = 0;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.starts_with("(TXXX)")) {
      ++txxx_lines;
      const int slot = std::atoi(std::string(line.substr(6, 1)).c_str());
      Check(slot > last_slot && slot <= 9, "TXXX lines numbered 1..9 in order");
      last_slot = slot;
      const std::string numbering =
          "(TXXX)" + std::to_string(slot) + "/" + std::to_string(result.txxx_count) + "TXXX = ";
      Check(line.starts_with(numbering), "TXXX line numbering");
      next_label = std::size(kLabels);
      continue;
    }
    bool known = false;
    while (!known && next_label < std::size(kLabels))
      known = line.starts_with(kLabels[next_label++]);
    Check(known, "every other line has one of the labels, in order");
  }
  Check(txxx_lines <= 9, "no more than 9 TXXX lines");

  // JSON: each value, and the input's own bytes as a name, as a member.
  JsonChecks json;
  json.Value(bytes.substr(0, 200));
  ScanResult listed = result;
  id3sniff::ListReportLines(listed, json);
  std::string line;
  ScanResult rendered = result;
  id3sniff::AppendJsonReport(line, kPath, rendered);
  Check(line.ends_with("}\n") && line.find('\n') == line.size() - 1, "one JSON object a line");
  CheckJsonText(std::string_view(line).substr(0, line.size() - 1));
  Check(id3sniff::testing::ParseJson(std::string_view(line).substr(0, line.size() - 1)).has_value(),
        "the report's JSON is JSON");

  CheckDecoded(bytes);
  return 0;
}
