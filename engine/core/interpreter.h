// The script interpreter: runs the compiled setup script command by command
// and owns its flow of control (branch chains, the wizard loop, labels) and
// the reporting of run-time errors. Every other command is carried out by
// the handler its entry in the command table names.
#pragma once

#include <string>

#include "engine/core/command_table.h"
#include "engine/core/message_table.h"
#include "engine/core/script_interpreter.h"
#include "engine/core/system_port.h"
#include "engine/core/ui_port.h"
#include "engine/core/variable_store.h"

namespace tavrel {

class Interpreter final : public ScriptInterpreter {
 public:
  // Everything passed in must outlive the interpreter.
  Interpreter(UiPort& ui, SystemPort& system, VariableStore& store, const MessageTable& messages,
              const CommandTable& commands = CommandTable::Standard());

  // Returns when the script ends, is terminated or fails. Failures of a
  // command are reported to the user (unless silent) and end the run; a
  // rejected script or a missing database returns without running anything.
  void Run(EngineState& state, const std::string& databasePath) override;

 private:
  class Session;

  UiPort& ui_;
  SystemPort& system_;
  VariableStore& store_;
  const MessageTable& messages_;
  const CommandTable& commands_;
};

}  // namespace tavrel
