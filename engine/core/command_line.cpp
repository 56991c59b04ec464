#include "engine/core/command_line.h"

#include "common/ascii_case.h"

namespace tavrel {

namespace {

bool IsSwitchChar(char c) {
  return c == '/' || c == '-';
}

// The first argument that contains one of the markers gives the value: the
// lower-cased argument less its first three characters, wherever the marker
// stood.
std::string FirstMarkedValue(std::span<const std::string> arguments,
                             std::initializer_list<std::string_view> markers) {
  for (const auto& argument : arguments) {
    const std::string lower = common::ToLowerAscii(argument);
    for (const auto marker : markers) {
      if (lower.find(marker) != std::string::npos) return lower.substr(3);
    }
  }
  return {};
}

}  // namespace

std::string RestOfCommandLine(std::string_view commandLine) {
  if (!commandLine.empty() && commandLine.front() == '"') {
    const std::size_t close = commandLine.find('"', 1);
    if (close == std::string_view::npos) return {};
    const std::size_t rest = close + 2;
    return rest >= commandLine.size() ? std::string() : std::string(commandLine.substr(rest));
  }
  const std::size_t blank = commandLine.find(' ');
  if (blank == std::string_view::npos) return {};
  return std::string(commandLine.substr(blank + 1));
}

CommandLineSettings ParseArguments(std::span<const std::string> arguments) {
  CommandLineSettings settings;
  for (const auto& argument : arguments) {
    if (argument.size() == 2 && IsSwitchChar(argument[0]) &&
        (argument[1] == 's' || argument[1] == 'S')) {
      settings.silent = true;
    }
  }
  settings.packagePath = FirstMarkedValue(arguments, {"/m="});
  settings.logPath = FirstMarkedValue(arguments, {"/l=", "-l="});
  for (const auto& argument : arguments) {
    if (argument.empty() || IsSwitchChar(argument[0])) continue;
    const std::size_t equals = argument.find('=');
    if (equals == std::string::npos) continue;
    settings.assignments.push_back({argument.substr(0, equals), argument.substr(equals + 1)});
  }
  return settings;
}

}  // namespace tavrel
