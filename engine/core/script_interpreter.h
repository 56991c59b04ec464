// The interpreter as start-up sees it: it is handed the engine state and
// the installer database copy, and returns when the script ends.
#pragma once

#include <string>

#include "engine/core/engine_state.h"

namespace tavrel {

class ScriptInterpreter {
 public:
  virtual ~ScriptInterpreter() = default;
  virtual void Run(EngineState& state, const std::string& databasePath) = 0;
};

// Stands in until the interpreter is built: it runs no command and returns
// at once, so start-up goes straight on to its clean-up.
class NoCommandInterpreter final : public ScriptInterpreter {
 public:
  void Run(EngineState&, const std::string&) override {}
};

}  // namespace tavrel
