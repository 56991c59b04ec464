// Entry names as the archive stores them (UTF-16, either separator) turned into relative paths
// that are safe to create below the destination folder on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tvl {

enum class NameProblem {
  kNone,
  kEmpty,
  kBadUtf16,          // unpaired surrogate
  kAbsolute,          // leading separator (root, UNC)
  kColon,             // drive letter or alternate data stream
  kEmptyComponent,    // "a//b", trailing separator
  kDotsAndSpaces,     // "..", "...", " ", ". ." ... ("." alone is dropped)
  kTrailingDotSpace,  // Windows would drop it and write somewhere else than named
  kBadCharacter,      // control characters and < > " | ? *
  kDeviceName,        // CON, NUL, COM1, LPT1.txt ...
};

struct SafePath {
  // UTF-8, components joined by '\'; set when problem is kNone. Empty when the name, once its
  // "." components are dropped, is the destination folder itself.
  std::string path;
  NameProblem problem = NameProblem::kNone;
  bool ok() const { return problem == NameProblem::kNone; }
};

SafePath ValidateEntryName(std::u16string_view name);

const char* Describe(NameProblem problem);

// Strict conversion: an unpaired surrogate gives nullopt rather than a replacement character,
// so two different stored names can never map to the same path.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

}  // namespace tvl
