// Fuzzes a whole interpreter run over an untrusted compiled script: the
// checks, the branch and end skips, labels and wizard navigation, with
// dialogs answered from the input and a bound on the commands run (a
// script may loop for ever on purpose). Also checks that the records
// located once per run agree with a lookup per parameter.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "engine/core/compiled_script.h"
#include "engine/core/interpreter.h"
#include "engine/core/parameter_blocks.h"
#include "tests/host/engine/quiet_ports.h"

namespace {

class FuzzUi final : public tavrel::QuietUi {
 public:
  explicit FuzzUi(std::string_view answers) : answers_(answers) {}

  // Called once per command: the place to stop a script that runs on.
  int CancelState() override {
    if (++steps_ > 20000) throw std::runtime_error("step limit");
    return 1;
  }
  std::intptr_t ShowDialog(const std::string&, bool modal) override {
    if (!modal) return 0;
    const char answer = answers_.empty() ? 0 : answers_[next_++ % answers_.size()];
    switch (static_cast<unsigned char>(answer) % 4) {
      case 0:
        return tavrel::kDialogNext;
      case 1:
        return tavrel::kDialogBack;
      case 2:
        return tavrel::kDialogCancel;
      default:
        return 99;
    }
  }
  int ShowMessageBox(std::intptr_t, const std::string&, const std::string&, unsigned) override {
    return 6;
  }

 private:
  std::string_view answers_;
  std::size_t next_ = 0;
  int steps_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  tavrel::EngineState state;
  try {
    state.script = tavrel::ParseCompiledScript(input);
  } catch (const tavrel::ScriptFormatError&) {
    return 0;
  }
  state.parameters.Add(tavrel::ParameterBlock(std::move(state.script.parameterBlock)));

  state.IndexRecords();
  // A script may name more commands than it gives identifiers.
  for (std::size_t i = 0; i < state.script.commandIds.size(); ++i) {
    for (std::size_t n = 1; n <= 8; ++n) {
      const std::string* located = nullptr;
      const std::string* looked = nullptr;
      try {
        located = &state.records.Get(i, n);
      } catch (const tavrel::ListIndexError&) {
      }
      try {
        looked = &state.parameters.Get(state.script.commandIds[i], n);
      } catch (const tavrel::ListIndexError&) {
      }
      if ((located == nullptr) != (looked == nullptr) ||
          (located != nullptr && *located != *looked)) {
        std::abort();
      }
    }
  }

  const tavrel::MessageTable messages;
  tavrel::VariableStore store(messages);
  FuzzUi ui(input.substr(input.size() / 2));
  tavrel::QuietSystem system;
  // Commands that reach the system read their parameters and do nothing
  // more; one reads far past the others.
  static const tavrel::CommandTable commands = [] {
    tavrel::CommandTable table = tavrel::CommandTable::Standard();
    table.Add({"Run Program",
               tavrel::CommandRole::kAction,
               {{}, {5, 0}, false},
               [](tavrel::CommandContext& c) { (void)c.Param(9); },
               {5, 5}});
    return table;
  }();
  tavrel::Interpreter interpreter(ui, system, store, messages, commands);
  try {
    interpreter.Run(state, "setup.msi");
  } catch (const tavrel::ListIndexError&) {
    // A record cut short, met by the checks: start-up reports it.
  }
  return 0;
}
