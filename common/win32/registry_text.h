// Reading a text value (REG_SZ or REG_EXPAND_SZ, unexpanded) from the
// registry, for the programs that look up a setting of the system.
#pragma once

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "common/win32/handle_owner.h"

namespace common {

// The value's text up to its first terminator; nullopt when the key or the
// value is missing or the value is not text.
inline std::optional<std::string> ReadRegistryText(HKEY root, const char* keyPath,
                                                   const char* name) {
  RegistryKey key;
  if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  // Another program may lengthen the value between the two calls.
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::string text(size, '\0');
    DWORD got = size;
    const LONG result = RegQueryValueExA(key.Get(), name, nullptr, &type,
                                         reinterpret_cast<BYTE*>(text.data()), &got);
    if (result == ERROR_MORE_DATA) {
      size = got;
      continue;
    }
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    // Stored text need not end in a terminator, or may hold more than one.
    text.resize(got < size ? got : size);
    text.resize(std::strlen(text.c_str()));
    return text;
  }
  return std::nullopt;
}

}  // namespace common
