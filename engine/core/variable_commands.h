// "Set Variable", and the values the predefined variables start a run with.
#pragma once

#include <string>

#include "engine/core/engine_state.h"
#include "engine/core/system_port.h"
#include "engine/core/variable_store.h"

namespace tavrel {

struct CommandContext;

// Defines every predefined variable, in order, with its start value: from
// the system's answers, the engine state and the installer database copy.
void DefinePredefinedVariables(VariableStore& store, const EngineState& state,
                               const StartValues& start, const std::string& databasePath);

namespace commands {

// Assigns the expanded value, creating the variable when needed. LOGGED and
// SILENT also change the run's log path and silent setting.
void SetVariable(CommandContext& c);

}  // namespace commands
}  // namespace tavrel
