// Where a wizard's folder controls start and how a chosen folder becomes the
// new target: the part of the target that does not exist yet follows the
// user's choice, so browsing to D:\Apps for C:\Program Files\Maker\Product
// (of which only C:\Program Files exists) gives D:\Apps\Maker\Product.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tavrel {

using FolderExists = std::function<bool(const std::string&)>;

// The folder of a path with a trailing backslash: "C:\A\B" and "C:\A\B\"
// both give "C:\A\"; "C:\" and "C:" give "C:\"; a path without a separator
// gives "".
std::string ParentFolder(std::string_view path);

// The deepest existing folder on the way up from the path: the path itself
// when it exists, else each parent in turn. Stops at the root (or when a
// path has no parent) and returns what it reached, which need not exist.
std::string DeepestExistingFolder(std::string path, const FolderExists& exists);

struct TargetParts {
  std::string base;  // the target folder as the script holds it
  std::string tail;  // the part of the base below its deepest existing folder
};

// Splits a target folder (already in path form) at its deepest existing
// folder. A base that exists entirely has an empty tail.
TargetParts SplitTarget(const std::string& base, const FolderExists& exists);

// The target after the user chose a folder: empty for an empty folder; the
// base kept when it begins with the folder (letter case ignored) or is
// empty (then the folder itself); else the folder, a backslash and the tail.
std::string FilledTarget(const TargetParts& parts, std::string_view folder);

}  // namespace tavrel
