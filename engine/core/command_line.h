// The engine's command line: "/s" for a silent run, "/m=" for the package
// path, "/l=" or "-l=" for the log path, and NAME=VALUE assignments.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel {

struct Assignment {
  std::string name;
  std::string value;
};

struct CommandLineSettings {
  bool silent = false;
  std::string packagePath;  // lower case
  std::string logPath;      // lower case
  std::vector<Assignment> assignments;
};

// The command line without the program name: after a leading quoted name
// everything up to the closing quote and one more character goes; otherwise
// everything up to the first blank; without a blank nothing is left.
std::string RestOfCommandLine(std::string_view commandLine);

// One pass per setting over the arguments (program name excluded).
CommandLineSettings ParseArguments(std::span<const std::string> arguments);

}  // namespace tavrel
