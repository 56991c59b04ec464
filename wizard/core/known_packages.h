// The known packages list ("packages.qorv"): pairs of lines, a package name
// then the path of its project file, in the order they were added.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ombrwiz {

struct KnownPackage {
  std::string name;
  std::string project;  // project file path
};

// The pairs of the list's text; a last name without its path is ignored.
std::vector<KnownPackage> ParseKnownPackages(std::string_view text);

// The list's text, CR LF line ends (a line break inside a value becomes a space).
std::string KnownPackagesText(std::span<const KnownPackage> pairs);

// Points every pair whose name equals `name` ignoring letter case at
// `project`; appends a new pair when none matched.
void RecordKnownPackage(std::vector<KnownPackage>& pairs, std::string_view name,
                        std::string_view project);

// The names of the pairs whose project file exists, in list order, each name
// once (a later spelling of a name already listed, ignoring case, is left out).
std::vector<std::string> KnownPackageNames(
    std::span<const KnownPackage> pairs,
    const std::function<bool(const std::string&)>& projectExists);

// The project of the last pair whose name matches ignoring case; empty when none does.
std::string ProjectOfPackage(std::span<const KnownPackage> pairs, std::string_view name);

}  // namespace ombrwiz
