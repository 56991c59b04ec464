#include "engine/core/change_recording.h"

#include <array>
#include <stdexcept>

#include "engine/core/command_context.h"
#include "engine/core/web_media.h"

namespace tavrel {

namespace {

struct ChangeCommand {
  std::string_view name;
  std::span<const std::uint8_t> parameters;
};

constexpr std::array<std::uint8_t, 3> kWriteRegistry{3, 4, 5};
constexpr std::array<std::uint8_t, 5> kCreateFileType{1, 2, 3, 4, 5};
constexpr std::array<std::uint8_t, 1> kFirst{1};
constexpr std::array<std::uint8_t, 1> kThird{3};
constexpr std::array<std::uint8_t, 1> kSecond{2};
constexpr std::array<std::uint8_t, 1> kFourth{4};
constexpr std::array<std::uint8_t, 4> kCreateShortcut{3, 1, 5, 6};
constexpr std::array<std::uint8_t, 2> kFirstAndThird{1, 3};
constexpr std::array<std::uint8_t, 4> kEditIniFile{1, 4, 5, 6};
constexpr std::array<std::uint8_t, 2> kFirstTwo{1, 2};
constexpr std::array<std::uint8_t, 9> kInstallService{2, 4, 5, 9, 10, 15, 14, 13, 6};

constexpr std::array<ChangeCommand, 14> kChangeCommands{{
    {"Write Registry", kWriteRegistry},
    {"Create File Type", kCreateFileType},
    {"Create Folder", kFirst},
    {"Create Shortcut", kCreateShortcut},
    {"Copy/Move Local Files", kFirstAndThird},
    {"Delete Files", kFirst},
    {"Edit INI File", kEditIniFile},
    {"Set Environment", kSecond},
    {"Install Files", kThird},
    {"Install Assembly", kThird},
    {"Control Service", kFirstTwo},
    {"Create ODBC DSN", {}},
    {"Install ODBC Driver", kFourth},
    {"Install Service", kInstallService},
}};

// The commands whose files may lie in a web media block.
bool CarriesFiles(std::string_view command) {
  return command == "Install Files" || command == "Install Assembly" ||
         command == "Install ODBC Driver" || command == "Install Service";
}

}  // namespace

void RecordedChanges::Record(std::string name, std::string value) {
  recorded.push_back(name);
  recorded.push_back(value);
  pending.emplace_back(std::move(name), std::move(value));
}

std::string PropertyName(std::size_t line, std::size_t slot) {
  return "PARAMETER" + std::to_string(line) + "_" + std::to_string(slot);
}

std::span<const std::uint8_t> RecordedParameters(std::string_view command) {
  for (const ChangeCommand& change : kChangeCommands) {
    if (change.name == command) return change.parameters;
  }
  return {};
}

namespace commands {

void RecordChange(CommandContext& c) {
  const std::string& name = c.Name();
  // The files of such a command may first have to come from the web.
  if (CarriesFiles(name) && !FetchMediaFor(c, CommandMediaFolder(c))) return;
  c.run.actionStates.at(c.index) = "TRUE";
  const std::span<const std::uint8_t> parameters = RecordedParameters(name);
  for (std::size_t slot = 0; slot < parameters.size(); ++slot) {
    c.run.changes.Record(PropertyName(c.index + 1, slot + 1),
                         c.store.PathForm(c.Param(parameters[slot])));
  }
}

}  // namespace commands

}  // namespace tavrel
