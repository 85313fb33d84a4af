#include "decode/render.hpp"

#include <string>
#include <vector>

#include "report/json_report.hpp"

namespace id3sniff {
namespace {

std::string Version(const DecodedTag& tag) {
  return "2." + std::to_string(tag.major) + "." + std::to_string(tag.revision);
}

void AppendStrings(std::string& out, const std::vector<std::string>& strings) {
  out.push_back('[');
  for (std::size_t i = 0; i < strings.size(); ++i) {
    if (i > 0) out.push_back(',');
    AppendJsonString(out, strings[i]);
  }
  out.push_back(']');
}

void AppendKey(std::string& out, std::string_view key) {
  out.push_back(',');
  AppendJsonString(out, key);
  out.push_back(':');
}

}  // namespace

void AppendDecodedJson(std::string& out, std::string_view path, const DecodedTag& tag) {
  out.push_back('{');
  AppendJsonMember(out, "path", path);
  AppendKey(out, "ID3v2");
  if (tag.found) {
    AppendJsonString(out, Version(tag));
  } else {
    out += "null";
  }
  for (const TagEntry& entry : tag.entries) {
    AppendKey(out, entry.id);
    if (!entry.pictures.empty()) {
      out.push_back('[');
      for (std::size_t i = 0; i < entry.pictures.size(); ++i) {
        const Picture& picture = entry.pictures[i];
        out += i > 0 ? ",{\"mime\":" : "{\"mime\":";
        AppendJsonString(out, picture.mime);
        out += ",\"type\":" + std::to_string(picture.type) + ",\"description\":";
        AppendJsonString(out, picture.description);
        out += ",\"bytes\":" + std::to_string(picture.bytes) + "}";
      }
      out.push_back(']');
    } else if (!entry.described.empty()) {
      out.push_back('[');
      for (std::size_t i = 0; i < entry.described.size(); ++i) {
        const DescribedText& text = entry.described[i];
        out += i > 0 ? ",{" : "{";
        if (entry.id == "COMM") {
          out += "\"language\":";
          AppendJsonString(out, text.language);
          out += ",";
        }
        out += "\"description\":";
        AppendJsonString(out, text.description);
        out += ",\"text\":";
        AppendStrings(out, text.text);
        out += "}";
      }
      out.push_back(']');
    } else {
      AppendStrings(out, entry.values);
    }
  }
  if (!tag.skipped.empty()) {
    AppendKey(out, "skipped");
    AppendStrings(out, tag.skipped);
  }
  if (!tag.warnings.empty()) {
    AppendKey(out, "warnings");
    AppendStrings(out, tag.warnings);
  }
  out += "}\n";
}

void AppendDecodedText(std::string& out, std::string_view path, const DecodedTag& tag,
                       Destination destination) {
  LineWriter lines(out, destination);
  lines.Append(path).EndLine();
  lines.Append(tag.found ? "ID3v" + Version(tag) : "no ID3v2 tag").EndLine();
  for (const TagEntry& entry : tag.entries) {
    for (const std::string& value : entry.values) {
      lines.Append(entry.id).Append(": ").Append(value).EndLine();
    }
    for (const DescribedText& text : entry.described) {
      for (const std::string& value : text.text) {
        lines.Append(entry.id).Append(": ");
        if (entry.id == "COMM") lines.Append("[").Append(text.language).Append("] ");
        lines.Append(text.description).Append(": ").Append(value).EndLine();
      }
    }
    for (const Picture& picture : entry.pictures) {
      lines.Append(entry.id)
          .Append(": ")
          .Append(picture.mime)
          .Append(", type ")
          .Append(picture.type)
          .Append(", \"")
          .Append(picture.description)
          .Append("\", ")
          .Append(std::to_string(picture.bytes))
          .Append(" bytes")
          .EndLine();
    }
  }
  if (!tag.skipped.empty()) {
    lines.Append("skipped:");
    for (const std::string& id : tag.skipped) lines.Append(" ").Append(id);
    lines.EndLine();
  }
  for (const std::string& warning : tag.warnings) {
    lines.Append("warning: ").Append(warning).EndLine();
  }
  lines.EndLine();
}

}  // namespace id3sniff
