// ANSI text (the system's code page) as UTF-16, for the calls that only take
// wide strings.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace common {

inline std::wstring WideFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  }
  return wide;
}

}  // namespace common
