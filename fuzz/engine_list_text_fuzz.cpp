// Fuzzes the variable store's readers of untrusted text: list text (read,
// written and read again must give the same items) and expansion, checked
// against the plain per-variable search-and-replace it must agree with.
// An input holding a NUL is split there: list text of variables before it,
// text to expand after it; otherwise the whole input is both.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/list_text.h"
#include "engine/core/message_table.h"
#include "engine/core/script_text.h"
#include "engine/core/variable_store.h"

namespace {

constexpr tavrel::ExpansionLimits kLimits{12, 16384, 1024};
constexpr std::size_t kMaxVariables = 24;

std::size_t DollarsIn(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '$'));
}

std::string ReplaceAll(std::string_view text, std::string_view pattern, std::string_view value,
                       bool folded) {
  const std::string haystack = folded ? tavrel::ToUpperAnsi(text) : std::string(text);
  const std::string needle = folded ? tavrel::ToUpperAnsi(pattern) : std::string(pattern);
  std::string result;
  std::size_t done = 0;
  for (std::size_t pos = haystack.find(needle); pos != std::string::npos;
       pos = haystack.find(needle, done)) {
    result.append(text.substr(done, pos - done));
    result.append(value);
    done = pos + needle.size();
  }
  result.append(text.substr(done));
  return result;
}

std::string PlainExpand(std::span<const tavrel::Variable> variables, std::string_view text) {
  const std::size_t sizeLimit = std::max(kLimits.maxSize, text.size());
  const std::size_t dollarLimit = std::max(kLimits.maxDollars, DollarsIn(text));
  std::string current(text);
  for (int pass = 0; pass < kLimits.maxPasses; ++pass) {
    std::string result = ReplaceAll(current, "$NEWLINE$", "\r\n", false);
    for (const auto& variable : variables) {
      result = ReplaceAll(result, '$' + variable.name + '$', variable.value, true);
      if (result.size() > sizeLimit || DollarsIn(result) > dollarLimit) return current;
    }
    if (result.find('$') == std::string::npos || result == current) return result;
    current = std::move(result);
  }
  return current;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const std::vector<std::string> items = tavrel::ReadListText(input);
  const std::string written = tavrel::WriteListText(items);
  if (tavrel::ReadListText(written) != items) std::abort();

  const std::size_t split = input.find('\0');
  const std::string_view listPart = input.substr(0, split);
  const std::string_view text = split == std::string_view::npos ? input : input.substr(split + 1);

  static const tavrel::MessageTable messages;
  tavrel::VariableStore store(messages, kLimits);
  std::vector<std::string> variables = tavrel::ReadListText(listPart);
  if (variables.size() > 2 * kMaxVariables) variables.resize(2 * kMaxVariables);
  store.ReadListText(tavrel::WriteListText(variables));
  store.Define("A", "x$B$");
  store.Define("B", "$NEWLINE$y");
  store.Define("SELF", "<$SELF$>");

  if (store.Expand(text) != PlainExpand(store.Variables(), text)) std::abort();
  (void)store.PathForm(text);
  (void)store.ExpandedValue(text);
  store.ReadListText(store.ListText());
  return 0;
}
