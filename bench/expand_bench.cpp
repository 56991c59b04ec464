// Cost of the variable store: expanding a 10 KB text that refers to 1,000
// variables, and one Get, Set or Exists in stores of 1,000 and 100,000
// variables. Prints microseconds per expansion and nanoseconds per lookup.
//
//   g++ -std=c++20 -O2 -I. bench/expand_bench.cpp engine/core/*.cpp -o build/expand_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/core/message_table.h"
#include "engine/core/script_text.h"
#include "engine/core/variable_store.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string NameOf(std::size_t i) {
  char name[16];
  std::snprintf(name, sizeof name, "V%04zu", i);
  return name;
}

// What the store's expansion replaces: the plain search per variable, for
// comparison.
std::string PlainExpandOnePass(std::span<const tavrel::Variable> variables, std::string text) {
  for (const auto& variable : variables) {
    const std::string pattern = tavrel::ToUpperAnsi('$' + variable.name + '$');
    std::string upper = tavrel::ToUpperAnsi(text);
    std::size_t pos = upper.find(pattern);
    if (pos == std::string::npos) continue;
    std::string result;
    std::size_t done = 0;
    for (; pos != std::string::npos; pos = upper.find(pattern, done)) {
      result.append(text, done, pos - done);
      result += variable.value;
      done = pos + pattern.size();
    }
    result.append(text, done);
    text = std::move(result);
  }
  return text;
}

template <typename Work>
double BestMicroseconds(int repeats, Work work) {
  double best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  return best;
}

void ExpansionFigures(int repeats, std::size_t& checksum) {
  const tavrel::MessageTable messages;
  constexpr std::size_t kVariables = 1000;
  std::mt19937 random(1);
  std::vector<std::size_t> order(kVariables);
  for (std::size_t i = 0; i < kVariables; ++i) order[i] = i;

  struct Case {
    const char* what;
    bool shuffled;
    bool reversed;
    bool nested;
  };
  for (const Case& c :
       {Case{"references in random order", true, false, false},
        Case{"references in store order", false, false, false},
        Case{"references in reverse store order", false, true, false},
        Case{"half the values refer to earlier ones (2 passes)", true, false, true}}) {
    tavrel::VariableStore store(messages);
    for (std::size_t i = 0; i < kVariables; ++i) {
      std::string value = "value " + std::to_string(i);
      if (c.nested && i >= kVariables / 2) value += " of $" + NameOf(i - kVariables / 2) + "$";
      store.Define(NameOf(i), value);
    }
    std::vector<std::size_t> refs = order;
    if (c.shuffled) std::shuffle(refs.begin(), refs.end(), random);
    if (c.reversed) std::reverse(refs.begin(), refs.end());
    std::string text;
    for (const std::size_t i : refs) text += '$' + NameOf(i) + "$ ";
    while (text.size() < 10240) text += "filler ";

    const double fast = BestMicroseconds(repeats, [&] { checksum += store.Expand(text).size(); });
    const double plain = BestMicroseconds(
        repeats, [&] { checksum += PlainExpandOnePass(store.Variables(), text).size(); });
    std::printf(
        "expand %zu-byte text, %zu variables, %s: %.1f us (plain search, one pass: %.1f us)\n",
        text.size(), kVariables, c.what, fast, plain);
  }
}

void LookupFigures(std::size_t count, std::size_t& checksum) {
  const tavrel::MessageTable messages;
  tavrel::VariableStore store(messages);
  for (std::size_t i = 0; i < count; ++i) store.Define(NameOf(i), "value " + std::to_string(i));
  std::mt19937 random(2);
  constexpr std::size_t kOperations = 1'000'000;
  std::vector<std::string> names(4096);
  for (auto& name : names) {
    name = NameOf(random() % count);
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
      return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
  }
  const auto perOperation = [&](auto operation) {
    const double total = BestMicroseconds(3, [&] {
      for (std::size_t i = 0; i < kOperations; ++i) operation(names[i & 4095]);
    });
    return total * 1000.0 / static_cast<double>(kOperations);
  };
  const double get = perOperation([&](const std::string& n) { checksum += store.Get(n).size(); });
  const double set = perOperation([&](const std::string& n) { store.Set(n, "new value"); });
  const double exists = perOperation([&](const std::string& n) { checksum += store.Exists(n); });
  const double missing =
      perOperation([&](const std::string& n) { checksum += store.Exists(n + "X"); });
  std::printf("%zu variables: Get %.0f ns, Set %.0f ns, Exists %.0f ns, Exists (absent) %.0f ns\n",
              count, get, set, exists, missing);
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::atoi(argv[1]) : 20;
  std::size_t checksum = 0;
  ExpansionFigures(repeats, checksum);
  LookupFigures(1000, checksum);
  LookupFigures(100000, checksum);
  std::printf("(checksum %zu)\n", checksum);
  return 0;
}
