// Source text arrives as UTF-8; the script, the database text and the
// resource names travel in the Windows-1252 code page.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel::tvlc {

struct Conversion {
  std::string text;
  // Set when the input could not be converted: the byte offset of the first
  // character that is not valid UTF-8 or has no Windows-1252 code.
  std::optional<std::size_t> failedAt;
  bool invalidUtf8 = false;
};

// UTF-8 to Windows-1252. Code points 0x80-0x9F that the code page leaves
// unassigned have no code either.
Conversion Utf8ToWindows1252(std::string_view utf8);

// Windows-1252 to UTF-8, for names the host's files carry.
std::string Windows1252ToUtf8(std::string_view text);

}  // namespace tavrel::tvlc
