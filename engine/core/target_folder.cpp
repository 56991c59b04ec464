#include "engine/core/target_folder.h"

#include "common/ascii_case.h"
#include "common/paths.h"

namespace tavrel {

std::string ParentFolder(std::string_view path) {
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  const std::size_t cut = path.find_last_of("\\:");
  if (cut == std::string_view::npos) return "";
  return common::WithTrailingBackslash(std::string(path.substr(0, cut + 1)));
}

std::string DeepestExistingFolder(std::string path, const FolderExists& exists) {
  // Every step shortens the path or stops, so this ends.
  while (!path.empty() && !exists(path)) {
    std::string parent = ParentFolder(path);
    if (parent.empty() || parent == path) break;
    path = std::move(parent);
  }
  return path;
}

TargetParts SplitTarget(const std::string& base, const FolderExists& exists) {
  TargetParts parts{base, ""};
  if (base.empty()) return parts;
  const std::string existing = common::WithTrailingBackslash(DeepestExistingFolder(base, exists));
  if (existing.size() < base.size()) parts.tail = base.substr(existing.size());
  return parts;
}

std::string FilledTarget(const TargetParts& parts, std::string_view folder) {
  if (folder.empty()) return "";
  if (parts.base.empty()) return std::string(folder);
  if (common::StartsWithIgnoringAsciiCase(parts.base, folder)) return parts.base;
  return common::JoinPath(folder, parts.tail);
}

}  // namespace tavrel
