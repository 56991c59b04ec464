// What the test plug-ins share: the entry point's shape, the variable list
// they get and give back, their parameter text taken apart, and the two
// calls' answers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii_case.h"
#include "engine/core/list_text.h"

namespace test_plugins {

using ProgressCallback = unsigned char(__stdcall*)(std::int32_t position, const char* text);

// The variable store as the plug-in got it, in its order; names compare
// without regard to ASCII case, as the engine's do.
class Variables {
 public:
  explicit Variables(const char* text) {
    const std::vector<std::string> items =
        tavrel::ReadListText(text == nullptr ? std::string_view() : std::string_view(text));
    for (std::size_t i = 0; i < items.size(); i += 2) {
      pairs_.emplace_back(items[i], i + 1 < items.size() ? items[i + 1] : std::string());
    }
  }
  const std::string* Find(std::string_view name) const {
    for (const auto& [key, value] : pairs_) {
      if (common::EqualsIgnoringAsciiCase(key, name)) return &value;
    }
    return nullptr;
  }
  void Set(std::string_view name, std::string value) {
    for (auto& [key, old] : pairs_) {
      if (common::EqualsIgnoringAsciiCase(key, name)) {
        old = std::move(value);
        return;
      }
    }
    pairs_.emplace_back(std::string(name), std::move(value));
  }
  void Remove(std::string_view name) {
    std::erase_if(pairs_, [&](const auto& pair) {
      return common::EqualsIgnoringAsciiCase(pair.first, name);
    });
  }
  std::string Text() const {
    std::vector<std::string> items;
    for (const auto& [key, value] : pairs_) {
      items.push_back(key);
      items.push_back(value);
    }
    return tavrel::WriteListText(items);
  }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// The parameter text's commands: separated by ';', each a word and the rest
// of the command after one blank ("SET A=1;REMOVE B").
struct Command {
  std::string word;
  std::string rest;
};

inline std::vector<Command> Commands(const char* parameters) {
  std::vector<Command> commands;
  std::string_view text = parameters == nullptr ? std::string_view() : parameters;
  while (!text.empty()) {
    const std::size_t end = text.find(';');
    std::string_view one = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!one.empty() && one.front() == ' ') one.remove_prefix(1);
    if (one.empty()) continue;
    const std::size_t blank = one.find(' ');
    Command command;
    command.word = common::ToUpperAscii(one.substr(0, blank));
    if (blank != std::string_view::npos) command.rest = std::string(one.substr(blank + 1));
    commands.push_back(std::move(command));
  }
  return commands;
}

inline long long Number(const std::string& text) {
  return std::strtoll(text.c_str(), nullptr, 10);
}

// The two calls' answers for a result text: its length when there is no
// buffer yet, and the text with its terminator in the buffer the engine made
// of length + 1 bytes.
inline std::int32_t Deliver(const std::string& result, char* buffer) {
  if (buffer == nullptr) return static_cast<std::int32_t>(result.size());
  std::memcpy(buffer, result.c_str(), result.size() + 1);
  return static_cast<std::int32_t>(result.size());
}

}  // namespace test_plugins

// The entry point every test plug-in defines; the export list gives it its
// plain name in 32-bit images too.
extern "C" std::int32_t __stdcall RunTimeExecute(HWND owner, const char* variables,
                                                 const char* parameters,
                                                 test_plugins::ProgressCallback progress,
                                                 std::int32_t* reserved, char* buffer);
