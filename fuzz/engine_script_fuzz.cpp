// Fuzzes the engine's readers of untrusted text: the compiled setup script
// (with parameter lookup over what it read) and the language file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/core/compiled_script.h"
#include "engine/core/engine_state.h"
#include "engine/core/message_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tavrel::MessageTable messages;
  messages.ReadLanguageFile(text);
  try {
    tavrel::EngineState state;
    state.script = tavrel::ParseCompiledScript(text);
    state.parameters.Add(tavrel::ParameterBlock(std::move(state.script.parameterBlock)));
    for (std::size_t i = 0; i <= state.script.CommandCount(); ++i) {
      for (std::size_t n = 1; n <= 16; ++n) {
        try {
          (void)state.Parameter(i, n);
        } catch (const tavrel::ListIndexError&) {
        }
      }
    }
  } catch (const tavrel::ScriptFormatError&) {
  }
  return 0;
}
