// Switches that tests set in the engine's environment (documented in the
// README): a variable counts as on when its value is exactly "1".
#pragma once

#include <windows.h>

#include <string_view>

namespace tavrel {

inline bool EnvironmentSwitchOn(const char* name) {
  char value[8] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value && std::string_view(value) == "1";
}

}  // namespace tavrel
