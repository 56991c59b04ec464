#include "wizard/core/interface_preferences.h"

#include <array>
#include <cstddef>
#include <variant>
#include <vector>

#include "common/text_lines.h"
#include "wizard/core/one_line.h"

namespace ombrwiz {

namespace {

using Field = std::variant<bool InterfacePreferences::*, std::string InterfacePreferences::*>;

// The file's lines in order.
constexpr std::array<Field, 13> kFields = {
    &InterfacePreferences::direct,
    &InterfacePreferences::make,
    &InterfacePreferences::save,
    &InterfacePreferences::test,
    &InterfacePreferences::explore,
    &InterfacePreferences::saveProjectFolder,
    &InterfacePreferences::addFilesFolder,
    &InterfacePreferences::licenseFileFolder,
    &InterfacePreferences::certificateFolder,
    &InterfacePreferences::privateKeyFolder,
    &InterfacePreferences::savePackageFolder,
    &InterfacePreferences::passwordHide,
    &InterfacePreferences::email,
};

struct Reader {
  InterfacePreferences& preferences;
  std::string& line;
  void operator()(bool InterfacePreferences::*field) const { preferences.*field = line == "TRUE"; }
  void operator()(std::string InterfacePreferences::*field) const {
    preferences.*field = std::move(line);
  }
};

struct Writer {
  const InterfacePreferences& preferences;
  std::string operator()(bool InterfacePreferences::*field) const {
    return preferences.*field ? "TRUE" : "FALSE";
  }
  std::string operator()(std::string InterfacePreferences::*field) const {
    return OneLine(preferences.*field);
  }
};

}  // namespace

InterfacePreferences ParseInterfacePreferences(std::string_view text) {
  std::vector<std::string> lines = common::SplitLines(text);
  InterfacePreferences preferences;
  for (std::size_t i = 0; i < kFields.size() && i < lines.size(); ++i) {
    std::visit(Reader{preferences, lines[i]}, kFields[i]);
  }
  return preferences;
}

std::string InterfacePreferencesText(const InterfacePreferences& preferences) {
  std::vector<std::string> lines;
  lines.reserve(kFields.size());
  for (const Field& field : kFields) lines.push_back(std::visit(Writer{preferences}, field));
  return common::JoinLines(lines, true);
}

}  // namespace ombrwiz
