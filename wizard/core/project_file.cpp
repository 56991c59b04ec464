#include "wizard/core/project_file.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/ascii_case.h"
#include "common/text_lines.h"
#include "wizard/core/one_line.h"

namespace ombrwiz {

namespace {

constexpr std::string_view kListEnd = "$";
constexpr std::string_view kTrue = "TRUE";
constexpr std::string_view kFalse = "FALSE";
constexpr int kMinSpace = 0;  // megabytes; 0 skips the check
constexpr int kMinSplit = 1;  // megabytes a part

// The target buttons in the order the file holds their booleans.
constexpr std::array<TargetChoice, 7> kTargets = {
    TargetChoice::kAsk,    TargetChoice::kExe,     TargetChoice::kTemp,   TargetChoice::kInstall,
    TargetChoice::kSystem, TargetChoice::kWindows, TargetChoice::kLiteral};

std::string BoolText(bool value) {
  return std::string(value ? kTrue : kFalse);
}

// Lines taken in order; running out of lines fails the whole read.
class LineCursor {
 public:
  explicit LineCursor(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  bool Next(std::string& line) {
    if (pos_ >= lines_.size()) return false;
    line = std::move(lines_[pos_++]);
    return true;
  }

  bool NextBool(bool& value) {
    std::string line;
    if (!Next(line)) return false;
    value = line == kTrue;
    return true;
  }

 private:
  std::vector<std::string> lines_;
  std::size_t pos_ = 0;
};

// A whole number of 1 to 4 decimal digits within [low, 9999], as its plain
// decimal text.
std::optional<std::string> NumberText(std::string_view text, int low) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low) return std::nullopt;
  return std::to_string(value);
}

}  // namespace

std::string ProjectFileText(const ProjectSettings& settings) {
  std::vector<std::string> lines;
  lines.push_back(OneLine(settings.project));
  for (const bool ticked : {true, false}) {
    for (const FileEntry& entry : settings.files) {
      if (entry.subfolders != ticked) continue;
      std::string path = OneLine(entry.path);
      if (path == kListEnd) continue;  // would close the list early
      lines.push_back(std::move(path));
    }
    lines.emplace_back(kListEnd);
  }
  for (const std::string* text :
       {&settings.packageName, &settings.packagePassword, &settings.startText, &settings.endText,
        &settings.licenseFile, &settings.saveAs}) {
    lines.push_back(OneLine(*text));
  }
  lines.push_back(BoolText(!settings.advanced));
  lines.push_back(BoolText(settings.advanced));
  for (const TargetChoice target : kTargets) lines.push_back(BoolText(settings.target == target));
  lines.push_back(OneLine(settings.targetDirText));
  lines.push_back(BoolText(settings.silent));
  lines.push_back(OneLine(settings.runApp));
  lines.push_back(OneLine(settings.runParms));
  // A number the reader would refuse is written as its reset value, so that
  // saving never makes the whole project unreadable.
  lines.push_back(NumberText(settings.space, kMinSpace).value_or("0"));
  lines.push_back(BoolText(settings.multiPart));
  lines.push_back(NumberText(settings.split, kMinSplit).value_or("1"));
  lines.push_back(BoolText(settings.codeSign));
  lines.push_back(OneLine(settings.spc));
  lines.push_back(OneLine(settings.pvk));
  lines.push_back(OneLine(settings.timeStamp));
  lines.push_back(OneLine(settings.infoUrl));
  lines.push_back(OneLine(settings.language));
  return common::JoinLines(lines, true);
}

std::optional<ProjectSettings> ParseProjectFile(std::string_view text,
                                                std::span<const std::string> languages) {
  LineCursor cursor(common::SplitLines(text));
  ProjectSettings settings;
  if (!cursor.Next(settings.project)) return std::nullopt;
  for (const bool ticked : {true, false}) {
    for (std::string line;;) {
      if (!cursor.Next(line)) return std::nullopt;
      if (line == kListEnd) break;
      settings.files.push_back(FileEntry{std::move(line), ticked});
    }
  }
  for (std::string* value : {&settings.packageName, &settings.packagePassword, &settings.startText,
                             &settings.endText, &settings.licenseFile, &settings.saveAs}) {
    if (!cursor.Next(*value)) return std::nullopt;
  }

  // Radio buttons: the first one set wins; none set keeps the reset choice.
  bool noAdvanced = false;
  bool advanced = false;
  if (!cursor.NextBool(noAdvanced) || !cursor.NextBool(advanced)) return std::nullopt;
  settings.advanced = advanced && !noAdvanced;
  bool targetFound = false;
  for (const TargetChoice target : kTargets) {
    bool set = false;
    if (!cursor.NextBool(set)) return std::nullopt;
    if (set && !targetFound) {
      settings.target = target;
      targetFound = true;
    }
  }
  if (!cursor.Next(settings.targetDirText)) return std::nullopt;

  std::string space;
  std::string split;
  std::string language;
  if (!cursor.NextBool(settings.silent) || !cursor.Next(settings.runApp) ||
      !cursor.Next(settings.runParms) || !cursor.Next(space) ||
      !cursor.NextBool(settings.multiPart) || !cursor.Next(split) ||
      !cursor.NextBool(settings.codeSign) || !cursor.Next(settings.spc) ||
      !cursor.Next(settings.pvk) || !cursor.Next(settings.timeStamp) ||
      !cursor.Next(settings.infoUrl) || !cursor.Next(language)) {
    return std::nullopt;
  }
  std::optional<std::string> spaceText = NumberText(space, kMinSpace);
  std::optional<std::string> splitText = NumberText(split, kMinSplit);
  if (!spaceText || !splitText) return std::nullopt;
  settings.space = std::move(*spaceText);
  settings.split = std::move(*splitText);

  settings.language.clear();
  for (const std::string& offered : languages) {
    if (common::EqualsIgnoringAsciiCase(offered, language)) {
      settings.language = offered;
      break;
    }
  }
  return settings;
}

}  // namespace ombrwiz
