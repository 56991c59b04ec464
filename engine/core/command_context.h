// What a command's handler is given: its place in the script and its
// parameters, the variables, the engine state, the two ports and what the
// run keeps between commands.
#pragma once

#include <cstddef>
#include <string>

#include "engine/core/engine_state.h"
#include "engine/core/message_table.h"
#include "engine/core/run_state.h"
#include "engine/core/system_port.h"
#include "engine/core/ui_port.h"
#include "engine/core/variable_store.h"

namespace tavrel {

struct CommandContext {
  std::size_t index;  // the command's index in the script, from 0
  EngineState& state;
  VariableStore& store;
  UiPort& ui;
  SystemPort& system;
  RunState& run;
  const MessageTable& messages;

  const std::string& Name() const { return state.script.commandNames[index]; }
  // Parameter n (from 1), as written; ListIndexError past the end of the
  // parameter block.
  const std::string& Param(std::size_t n) const { return state.Parameter(index, n); }
  bool Silent() const { return state.commandLine.silent; }
};

}  // namespace tavrel
