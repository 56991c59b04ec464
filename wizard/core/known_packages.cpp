#include "wizard/core/known_packages.h"

#include <algorithm>
#include <cstddef>

#include "common/ascii_case.h"
#include "common/text_lines.h"
#include "wizard/core/one_line.h"

namespace ombrwiz {

std::vector<KnownPackage> ParseKnownPackages(std::string_view text) {
  std::vector<std::string> lines = common::SplitLines(text);
  std::vector<KnownPackage> pairs;
  for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
    pairs.push_back(KnownPackage{std::move(lines[i]), std::move(lines[i + 1])});
  }
  return pairs;
}

std::string KnownPackagesText(std::span<const KnownPackage> pairs) {
  std::vector<std::string> lines;
  lines.reserve(pairs.size() * 2);
  for (const KnownPackage& pair : pairs) {
    lines.push_back(OneLine(pair.name));
    lines.push_back(OneLine(pair.project));
  }
  return common::JoinLines(lines, true);
}

void RecordKnownPackage(std::vector<KnownPackage>& pairs, std::string_view name,
                        std::string_view project) {
  bool matched = false;
  for (KnownPackage& pair : pairs) {
    if (common::EqualsIgnoringAsciiCase(pair.name, name)) {
      pair.project = project;
      matched = true;
    }
  }
  if (!matched) pairs.push_back(KnownPackage{std::string(name), std::string(project)});
}

std::vector<std::string> KnownPackageNames(
    std::span<const KnownPackage> pairs,
    const std::function<bool(const std::string&)>& projectExists) {
  std::vector<std::string> names;
  for (const KnownPackage& pair : pairs) {
    if (pair.project.empty() || !projectExists(pair.project)) continue;
    const bool listed = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
      return common::EqualsIgnoringAsciiCase(n, pair.name);
    });
    if (!listed) names.push_back(pair.name);
  }
  return names;
}

std::string ProjectOfPackage(std::span<const KnownPackage> pairs, std::string_view name) {
  for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) {
    if (common::EqualsIgnoringAsciiCase(it->name, name)) return it->project;
  }
  return {};
}

}  // namespace ombrwiz
