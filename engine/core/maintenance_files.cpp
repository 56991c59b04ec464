#include "engine/core/maintenance_files.h"

#include "common/text_lines.h"
#include "engine/core/script_text.h"

namespace tavrel {

namespace {

constexpr std::string_view kSeparator = "$";

std::string OneLine(std::string_view item) {
  std::string line(item);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

void AppendLine(std::string& text, std::string_view item) {
  text += OneLine(item);
  text += "\r\n";
}

}  // namespace

std::string WriteComponentFile(const ComponentFile& file) {
  std::string text;
  for (const std::string& name : file.names) AppendLine(text, name);
  AppendLine(text, kSeparator);
  for (const std::string& state : file.states) AppendLine(text, state);
  AppendLine(text, kSeparator);
  AppendLine(text, file.targetDir);
  AppendLine(text, file.allUsers);
  AppendLine(text, file.startMenu);
  AppendLine(text, file.dataFolder);
  return text;
}

RestoredComponents ReadComponentFile(std::string_view text) {
  RestoredComponents restored;
  const std::vector<std::string> lines = common::SplitLines(text);
  std::size_t at = 0;
  std::vector<std::string> names;
  while (at < lines.size() && lines[at] != kSeparator) names.push_back(lines[at++]);
  // Without the separator there is no telling names from states.
  if (at == lines.size()) return restored;
  ++at;
  std::vector<std::string> states;
  while (at < lines.size() && lines[at] != kSeparator) {
    states.push_back(BooleanText(BooleanValue(lines[at++])));
  }
  const std::size_t count = std::min(names.size(), states.size());
  names.resize(count);
  states.resize(count);
  restored.names = std::move(names);
  restored.states = std::move(states);
  if (at == lines.size()) return restored;
  ++at;
  std::optional<std::string>* values[] = {&restored.targetDir, &restored.allUsers,
                                          &restored.startMenu};
  for (std::optional<std::string>* value : values) {
    if (at == lines.size()) break;
    *value = lines[at++];
  }
  return restored;
}

std::string WriteParameterFile(std::span<const std::string> list) {
  std::string text;
  for (const std::string& item : list) AppendLine(text, item);
  return text;
}

std::vector<std::string> ReadParameterFile(std::string_view text) {
  std::vector<std::string> list = common::SplitLines(text);
  if (list.size() % 2 != 0) list.pop_back();
  return list;
}

}  // namespace tavrel
