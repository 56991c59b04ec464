// Cost per command of a whole interpreter run (checks, labels, start
// values, the loop) for scripts of 10,000 and 100,000 commands made of
// assignments and conditions. The cost per command must not grow with the
// script: the figure that matters is the ratio of the two.
//
//   g++ -std=c++20 -O2 -DNDEBUG -I. bench/interpreter_bench.cpp engine/core/*.cpp \
//       -o build/bench/interpreter_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/core/interpreter.h"
#include "engine/core/script_checks.h"
#include "tests/host/engine/quiet_ports.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers like a silent run on a system that answers nothing.
class QuietBenchUi final : public tavrel::QuietUi {
 public:
  void ShowRuntimeError(const std::string& text) override {
    std::fprintf(stderr, "unexpected run-time error: %s\n", text.c_str());
    std::exit(1);
  }
};

// Blocks of four: an assignment that expands a reference, a condition that
// holds for half the variables, an assignment inside it, its "End". Every
// hundredth block jumps over a label-free chain with a false condition, so
// both skips are in the mix.
tavrel::EngineState MakeScript(std::size_t commands) {
  tavrel::EngineState state;
  state.script.title = "Benchmark";
  std::vector<std::string> block;
  const auto add = [&](std::string name, std::vector<std::string> params) {
    const std::string id = "c" + std::to_string(state.script.commandNames.size());
    state.script.commandNames.push_back(std::move(name));
    state.script.commandIds.push_back(id);
    state.script.commandFlags.emplace_back();
    state.script.mediaFolders.emplace_back();
    block.push_back(id);
    params.resize(6);
    block.insert(block.end(), params.begin(), params.end());
  };
  for (std::size_t i = 0; state.script.commandNames.size() + 4 <= commands; ++i) {
    const std::string v = "V" + std::to_string(i % 100);
    add("Set Variable", {v, std::to_string(i % 7) + " of $TITLE$"});
    if (i % 100 == 99) {
      add("If", {v, "0", "never", "FALSE"});
    } else {
      add("If", {v, "1", "3", "TRUE"});
    }
    add("Set Variable", {"R" + std::to_string(i % 50), "$" + v + "$ seen"});
    add("End", {});
  }
  state.parameters.Add(tavrel::ParameterBlock(std::move(block)));
  return state;
}

struct Figures {
  double run = 1e300;          // whole run, ns per command
  double preparation = 1e300;  // locating the records and the checks alone
};

Figures NanosecondsPerCommand(std::size_t commands, int repeats) {
  const tavrel::MessageTable messages;
  Figures best;
  for (int r = 0; r < repeats; ++r) {
    tavrel::EngineState state = MakeScript(commands);
    const double count = static_cast<double>(state.script.CommandCount());
    QuietBenchUi ui;
    tavrel::QuietSystem system;
    tavrel::VariableStore store(messages);
    auto start = Clock::now();
    state.IndexRecords();
    if (tavrel::CheckScript(state.script, state.records, store).result != -1) {
      std::fprintf(stderr, "the checks refused the script\n");
      std::exit(1);
    }
    best.preparation =
        std::min(best.preparation,
                 std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count);

    state.records = {};
    tavrel::Interpreter interpreter(ui, system, store, messages);
    start = Clock::now();
    interpreter.Run(state, "setup.msi");
    best.run = std::min(
        best.run, std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count);
    if (!store.Exists("R0")) {
      std::fprintf(stderr, "the script did not run\n");
      std::exit(1);
    }
  }
  return best;
}

Figures Best(const Figures& a, const Figures& b) {
  return {std::min(a.run, b.run), std::min(a.preparation, b.preparation)};
}

void Print(std::size_t commands, const Figures& f) {
  std::printf("%9zu commands: %4.0f ns per command (%4.0f preparing, %4.0f running them)\n",
              commands, f.run, f.preparation, f.run - f.preparation);
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::atoi(argv[1]) : 9;
  // Alternating the two sizes lets both see the same machine: a shared
  // machine's slow spells would otherwise land on one size only.
  Figures small;
  Figures large;
  for (int r = 0; r < repeats; ++r) {
    small = Best(small, NanosecondsPerCommand(10'000, 1));
    large = Best(large, NanosecondsPerCommand(100'000, 1));
  }
  Print(10'000, small);
  Print(100'000, large);
  if (argc > 2) Print(1'000'000, NanosecondsPerCommand(1'000'000, 1));
  std::printf("cost per command, 100,000 against 10,000: %.2f (preparing %.2f, running %.2f)\n",
              large.run / small.run, large.preparation / small.preparation,
              (large.run - large.preparation) / (small.run - small.preparation));
  return 0;
}
