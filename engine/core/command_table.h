// The command table: one entry for every command name of the compiled
// script format, holding what the script checks apply to the command before
// the run and what carries it out during the run. The interpreter and the
// checks know commands only through this table.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/command_context.h"

namespace tavrel {

// How the interpreter treats a command. The block structure and the flow
// of control belong to the loop itself; every other command has a handler.
enum class CommandRole : std::uint8_t {
  kAction,  // carried out by its handler
  kDialog,  // "Display Dialog": an action, and the step of a wizard loop
  kIf,
  kElseIf,
  kElse,
  kEnd,
  kWizardLoop,
  kLabel,
  kGoTo,
  kTerminate,
  kComment,  // does nothing, and may stand inside a wizard loop
  kIgnore,   // does nothing
};

// The rule the checks apply to an active command beyond the declarations.
enum class CheckKind : std::uint8_t {
  kNone,
  kWebMediaBlock,     // name of at most 8 characters, and a URL when named
  kVariableRequired,  // the first declared parameter must not be empty
  kDeleteMode,        // parameter 3 or 4 must be true
  kExistingVariable,  // parameter 1 names a variable declared before
  kLabelDefined,      // parameter 1 names a label of the script
  kCondition,         // parameters 1 and 3 name declared variables
  kDialog,            // a dialog name, and a declared condition variable
};

struct CheckRule {
  CheckKind kind = CheckKind::kNone;
  // Parameter positions whose text names a variable the command creates;
  // 0 for none.
  std::array<std::uint8_t, 2> declares{};
  // A change command: its action state is "FALSE" until it has run.
  bool change = false;
};

using CommandHandler = std::function<void(CommandContext&)>;

// How many parameter lines a command's record holds: the highest position
// the engine reads (a shorter record would lend the command the lines of the
// next one), and at most the lines a record may hold in all (some commands
// carry lines the engine does not read).
struct ParameterCount {
  std::uint8_t read = 0;
  std::uint8_t written = 0;
};

struct CommandEntry {
  std::string name;
  CommandRole role = CommandRole::kAction;
  CheckRule check;
  CommandHandler run;  // empty for the roles the loop carries out itself
  ParameterCount parameters;
};

class CommandTable {
 public:
  // Every command of the script format with the engine's own handlers.
  static const CommandTable& Standard();

  // Adds the entry, replacing one of the same name.
  void Add(CommandEntry entry);
  // The entry of exactly that name (names are case-sensitive); null when
  // the table has none.
  const CommandEntry* Find(std::string_view name) const;
  std::span<const CommandEntry> Entries() const { return entries_; }

  // What runs the commands the script names as plug-in commands.
  const CommandEntry& Plugin() const { return plugin_; }
  void SetPluginHandler(CommandHandler handler) { plugin_.run = std::move(handler); }

 private:
  std::vector<CommandEntry> entries_;
  std::map<std::string, std::size_t, std::less<>> byName_;
  // A plug-in command reads the plug-in's parameter text and its library.
  CommandEntry plugin_{{}, CommandRole::kAction, {}, nullptr, {2, 2}};
};

}  // namespace tavrel
