// The script interpreter: runs the compiled setup script command by command
// and owns its control flow (branch chains, the wizard loop, labels), the
// dialog and message box commands and the reporting of run-time errors.
// Every other command is dispatched to whatever was registered for it.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/core/interpreter_host.h"
#include "engine/core/message_table.h"
#include "engine/core/script_interpreter.h"
#include "engine/core/variable_store.h"

namespace tavrel {

class Interpreter final : public ScriptInterpreter {
 public:
  // The command's index in the script; it reads its parameters through the
  // engine state the run was started with.
  using Command = std::function<void(std::size_t index)>;

  // All three must outlive the interpreter.
  Interpreter(InterpreterHost& host, VariableStore& store, const MessageTable& messages);

  // Returns when the script ends, is terminated or fails. Failures of a
  // command are reported to the user (unless silent) and end the run; a
  // rejected script or a missing database returns without running anything.
  void Run(EngineState& state, const std::string& databasePath) override;

  // A command carried out elsewhere, looked up by exact name. The control
  // flow, dialog and message box commands, "Set Variable", the text, file,
  // path and arithmetic commands, the system query commands and the commands
  // that do nothing are built in and cannot be replaced.
  void SetCommand(std::string name, Command command);
  // Runs every plug-in command (the script's plug-in names, compared without
  // regard to case, win over all other names). Until one is set they do
  // nothing.
  void SetPluginCommand(Command command) { plugin_ = std::move(command); }

  // The state of the run in progress, for registered commands; only valid
  // while Run is active.
  EngineState& State();
  // One entry per command from the script checks: "SKIP", or "FALSE" for an
  // active change command until it has run. Commands registered for the
  // changes mark theirs here.
  std::vector<std::string>& ActionStates() { return actionStates_; }

 private:
  class Session;

  InterpreterHost& host_;
  VariableStore& store_;
  const MessageTable& messages_;
  std::map<std::string, Command, std::less<>> commands_;
  Command plugin_;
  EngineState* state_ = nullptr;
  std::vector<std::string> actionStates_;
};

}  // namespace tavrel
