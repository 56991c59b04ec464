// Start-up's share of the work that grows with the script: reading the
// compiled script, indexing its parameter block, and one lookup of every
// parameter every command has. Prints milliseconds per script size.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/core/compiled_script.h"
#include "engine/core/engine_state.h"

namespace {

std::string MakeScript(std::size_t commands) {
  tavrel::CompiledScript script;
  for (std::size_t i = 0; i < commands; ++i) {
    const std::string id = "{" + std::to_string(100000000 + i) + "-1111-2222-3333-444455556666}";
    script.commandNames.push_back(i % 2 ? "If" : "Set Variable");
    script.commandIds.push_back(id);
    script.commandFlags.emplace_back();
    script.mediaFolders.emplace_back();
    script.parameterBlock.push_back(id);
    script.parameterBlock.push_back("VARIABLE" + std::to_string(i % 97));
    script.parameterBlock.push_back("$VALUE" + std::to_string(i) + "$ text");
    if (i % 2) {
      script.parameterBlock.push_back("3");
      script.parameterBlock.push_back("FALSE");
    }
  }
  script.productCode = "{11111111-2222-3333-4444-555555555555}";
  script.revisionCode = "{11111111-2222-3333-4444-555555555556}";
  return tavrel::WriteCompiledScript(script);
}

double LoadMilliseconds(const std::string& text, std::size_t& checksum) {
  const auto start = std::chrono::steady_clock::now();
  tavrel::EngineState state;
  state.script = tavrel::ParseCompiledScript(text);
  state.parameters.Add(tavrel::ParameterBlock(std::move(state.script.parameterBlock)));
  state.IndexRecords();  // as the interpreter does before it runs
  for (std::size_t i = 0; i < state.script.CommandCount(); ++i) {
    const std::size_t count = state.script.commandNames[i] == "If" ? 4 : 2;
    for (std::size_t n = 1; n <= count; ++n) checksum += state.Parameter(i, n).size();
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::atoi(argv[1]) : 5;
  std::size_t checksum = 0;
  for (const std::size_t commands : {10u, 2000u, 20000u, 200000u}) {
    const std::string text = MakeScript(commands);
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) best = std::min(best, LoadMilliseconds(text, checksum));
    std::printf("%zu commands: %.3f ms, %.3f us per command\n", commands, best,
                best * 1000.0 / static_cast<double>(commands));
  }
  std::printf("(checksum %zu)\n", checksum);
  return 0;
}
