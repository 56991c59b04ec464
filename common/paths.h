// Windows path texts as the programs build them: the separator at the end of
// a folder, a name joined to its folder, and the root whose drive or share
// holds a path.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/ascii_case.h"

namespace common {

// The functions that build a string stay out of line: one copy per program
// rather than one at every call, which the package stub would pay for.

// Windows takes '/' between names as well as '\', so both count wherever a
// path is taken apart; the programs themselves write '\'.
constexpr bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

// The folder with a separator at its end: a backslash is added unless it
// already ends in '\' or '/'. An empty path stays empty, because a lone
// backslash would name the root of the current drive instead.
[[gnu::noinline]] inline std::string WithTrailingBackslash(std::string path) {
  if (!path.empty() && !IsPathSeparator(path.back())) path += '\\';
  return path;
}

// The length of the drive or share a path begins with: 2 for "X:", up to the
// end of the share name for "\\server\share"; 0 when it has neither. A
// network path needs both names, between backslashes.
constexpr std::size_t DriveLength(std::string_view path) {
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') return 2;
  if (!path.starts_with("\\\\")) return 0;
  const std::size_t serverEnd = path.find('\\', 2);
  if (serverEnd == std::string_view::npos || serverEnd == 2) return 0;
  if (serverEnd + 1 == path.size() || path[serverEnd + 1] == '\\') return 0;
  return std::min(path.find('\\', serverEnd + 1), path.size());
}

// The root a path lies on: "X:\" for a drive path (also for "X:" alone or a
// drive-relative "X:name"), "\\server\share\" for a network path; empty when
// the path has neither.
[[gnu::noinline]] inline std::string DriveRoot(std::string_view path) {
  const std::size_t length = DriveLength(path);
  if (length == 0) return {};
  std::string root(path.data(), length);
  root += '\\';
  return root;
}

// The path without the separators at its end, except that a root keeps its
// own ("C:\", "\\server\share\", "\"): without it "C:" would mean the current
// folder of drive C, and a share's root answers only with its backslash.
[[gnu::noinline]] inline std::string WithoutTrailingBackslash(std::string path) {
  std::size_t keep = DriveLength(path);
  if (keep < path.size() && IsPathSeparator(path[keep])) ++keep;
  while (path.size() > keep && IsPathSeparator(path.back())) path.pop_back();
  return path;
}

// name within folder, with a backslash between them unless the folder is
// empty or already ends in a separator.
[[gnu::noinline]] inline std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path = WithTrailingBackslash(std::string(folder));
  path += name;
  return path;
}

// The folder a path lies in, up to and including its last separator; empty
// when the path has none.
inline std::string_view FolderPart(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut + 1);
}

// The last name of a path: what follows its last separator or drive colon.
inline std::string_view NamePart(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/:");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace common
