// The checking pass a script goes through before its first command runs:
// block structure, labels and per-command rules. It also declares every
// variable the script's commands create, so that conditions naming them are
// accepted, and builds the action state list.
#pragma once

#include <string>
#include <vector>

#include "engine/core/command_table.h"
#include "engine/core/compiled_script.h"
#include "engine/core/parameter_blocks.h"
#include "engine/core/variable_store.h"

namespace tavrel {

inline constexpr std::string_view kCompiledSuccessfully = "Script compiled successfully";

struct ScriptCheck {
  // -1 when every check passes, else the index of the failing command (the
  // last command for an unbalanced block structure).
  int result = -1;
  std::string message{kCompiledSuccessfully};
  // One entry per command: "SKIP", or "FALSE" for an active change command
  // until it has run.
  std::vector<std::string> actionStates;
};

// Reads parameters as written (no expansion). The rules of each command
// come from its entry in the table; a name the table does not know has none.
// The store is cleared and left holding the predefined and declared names. A
// parameter read past the end of the parameter block raises ListIndexError.
ScriptCheck CheckScript(const CompiledScript& script, const ParameterBlocks& parameters,
                        VariableStore& store,
                        const CommandTable& commands = CommandTable::Standard());
// The same with the command records already located.
ScriptCheck CheckScript(const CompiledScript& script, const CommandRecords& records,
                        VariableStore& store,
                        const CommandTable& commands = CommandTable::Standard());

}  // namespace tavrel
