// Bad input: what is wrong, and where in the setup source it stands.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace tavrel::tvlc {

// A place in a source file: the file as the author named it (the main
// file as given, an included file relative to it) and its line from 1.
struct SourceLocation {
  std::string file;
  std::size_t line = 0;
};

class SourceError : public std::runtime_error {
 public:
  // Without a location the message stands alone (an option, a tool).
  explicit SourceError(const std::string& message) : std::runtime_error(message) {}
  SourceError(const SourceLocation& where, const std::string& message)
      : std::runtime_error(where.file + ":" + std::to_string(where.line) + ": " + message) {}
};

}  // namespace tavrel::tvlc
