#include "engine/core/engine_state.h"

namespace tavrel {

const std::string& EngineState::Parameter(std::size_t commandIndex, std::size_t n) const {
  if (commandIndex >= script.commandIds.size()) throw ListIndexError(commandIndex);
  if (records.Covers(script.commandIds.size())) return records.Get(commandIndex, n);
  return parameters.Get(script.commandIds[commandIndex], n);
}

}  // namespace tavrel
