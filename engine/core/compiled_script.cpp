#include "engine/core/compiled_script.h"

#include <limits>

#include "common/text_lines.h"

namespace tavrel {

namespace {

class ScriptReader {
 public:
  explicit ScriptReader(std::string_view text) : lines_(text) {}

  std::vector<std::string> List(std::string_view section) {
    std::vector<std::string> items;
    // Sized first: growing a list of a hundred thousand lines would move it
    // several times over.
    common::LineReader ahead = lines_;
    std::size_t count = 0;
    for (std::string_view line; ahead.Next(line) && line != kSectionEnd;) ++count;
    items.reserve(count);
    for (std::string_view line;;) {
      if (!lines_.Next(line)) {
        throw ScriptFormatError("malformed setup script: the " + std::string(section) +
                                " list is not closed by a \"$\" line before the end of the file");
      }
      if (line == kSectionEnd) return items;
      items.emplace_back(line);
    }
  }

  std::string Single(std::string_view section) {
    std::string_view line;
    if (!lines_.Next(line)) {
      throw ScriptFormatError("malformed setup script: the file ends before the " +
                              std::string(section) + " line");
    }
    return std::string(line);
  }

  std::size_t LineNumber() const { return lines_.LineNumber(); }

 private:
  common::LineReader lines_;
};

void Append(std::string& out, std::string_view line) {
  out.append(line);
  out.append("\r\n");
}

void AppendList(std::string& out, const std::vector<std::string>& items) {
  for (const auto& item : items) Append(out, item);
  Append(out, kSectionEnd);
}

}  // namespace

bool CompiledScript::IsCommentedOut(std::size_t index) const {
  return index < commandFlags.size() && commandFlags[index] == "C";
}

bool ParseInt32(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
  }
  const std::int64_t result = negative ? -magnitude : magnitude;
  if (result > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(result);
  return true;
}

CompiledScript ParseCompiledScript(std::string_view text) {
  ScriptReader reader(text);
  CompiledScript script;
  script.commandNames = reader.List("command name");
  script.commandIds = reader.List("command identifier");
  script.parameterBlock = reader.List("parameter block");
  script.commandFlags = reader.List("command flag");
  script.productCode = reader.Single("product code");
  script.title = reader.Single("title");
  script.pluginCommands = reader.List("plug-in command");
  static constexpr std::array<std::string_view, 5> kPublisherLines = {
      "publisher", "contact", "help link", "update information", "comments"};
  for (std::size_t i = 0; i < kPublisherLines.size(); ++i) {
    script.publisherLines[i] = reader.Single(kPublisherLines[i]);
  }
  script.mediaFolders = reader.List("media folder");
  const std::string mediaMode = reader.Single("media mode");
  if (!ParseInt32(mediaMode, script.mediaMode)) {
    throw ScriptFormatError("malformed setup script: the media mode on line " +
                            std::to_string(reader.LineNumber()) + " is not a whole number: \"" +
                            mediaMode + "\"");
  }
  const std::vector<std::string> sizes = reader.List("component size");
  if (sizes.size() % 2 != 0) {
    throw ScriptFormatError("malformed setup script: component \"" + sizes.back() +
                            "\" in the component size table has no size");
  }
  for (std::size_t i = 0; i < sizes.size(); i += 2) {
    script.componentSizes.push_back({sizes[i], sizes[i + 1]});
  }
  script.revisionCode = reader.Single("revision code");
  script.webMediaSourceFolders = reader.List("web media source folder");
  return script;
}

std::string WriteCompiledScript(const CompiledScript& script) {
  std::string out;
  AppendList(out, script.commandNames);
  AppendList(out, script.commandIds);
  AppendList(out, script.parameterBlock);
  AppendList(out, script.commandFlags);
  Append(out, script.productCode);
  Append(out, script.title);
  AppendList(out, script.pluginCommands);
  for (const auto& line : script.publisherLines) Append(out, line);
  AppendList(out, script.mediaFolders);
  Append(out, std::to_string(script.mediaMode));
  std::vector<std::string> sizes;
  for (const auto& component : script.componentSizes) {
    sizes.push_back(component.name);
    sizes.push_back(component.size);
  }
  AppendList(out, sizes);
  Append(out, script.revisionCode);
  AppendList(out, script.webMediaSourceFolders);
  return out;
}

}  // namespace tavrel
