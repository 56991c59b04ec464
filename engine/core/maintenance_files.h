// The two files an installation leaves in its installation information
// folder for the maintenance runs: the component file (the user's component
// choices and the folders chosen) and the parameter file (the values the
// change commands recorded). Both are 8-bit text, one item a line, each line
// ended by CR LF.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// Component file: the names, a line "$", the states in the same order, a
// line "$", then TARGETDIR, ALLUSERS, STARTMENU and the short form of the
// data folder.
struct ComponentFile {
  std::vector<std::string> names;
  std::vector<std::string> states;  // "TRUE" or "FALSE", one per name
  std::string targetDir;
  std::string allUsers;
  std::string startMenu;
  std::string dataFolder;
};

// An item that holds a line break would shift every line after it; its line
// breaks are written as blanks.
std::string WriteComponentFile(const ComponentFile& file);

// What a file as read gives back: only components that have both their name
// and their state (a state that is not "TRUE" reads as "FALSE"), and only the
// values whose lines are there. A file cut short, empty or not of this form
// gives what it holds of it.
struct RestoredComponents {
  std::vector<std::string> names;
  std::vector<std::string> states;
  std::optional<std::string> targetDir;
  std::optional<std::string> allUsers;
  std::optional<std::string> startMenu;
};
RestoredComponents ReadComponentFile(std::string_view text);

// Parameter file: name, value, name, value... A last name without its value
// is dropped on reading.
std::string WriteParameterFile(std::span<const std::string> list);
std::vector<std::string> ReadParameterFile(std::string_view text);

}  // namespace tavrel
