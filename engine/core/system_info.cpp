// The system queries' own reasoning: version adjustment, service-pack
// number, special-folder fallback, colour count and long path expansion.
#include "engine/core/system_info.h"

#include <limits>
#include <vector>

#include "common/ascii_case.h"
#include "common/paths.h"

namespace tavrel {
namespace {

constexpr std::uint32_t kPlatformNt = 2;
// 4.10.2221 as the build field of Windows 98 holds it: the version in the
// high word, the build number in the low word.  Second Edition is 2222.
constexpr std::uint32_t kLastFirstEditionBuild = 67766445;

constexpr int kProgramFiles = 38;
constexpr int kCommonProgramFiles = 43;

// Length of the part of path that has no parent: "X:\", a drive-relative
// "X:", "\\server\share\" or a leading "\"; 0 for a relative path.  The
// share of a network path is its root because a directory search cannot
// report a name for a share or a server.
std::size_t RootLength(std::string_view path) {
  if (path.size() >= 2 && common::IsAsciiLetter(path[0]) && path[1] == ':') {
    return path.size() >= 3 && common::IsPathSeparator(path[2]) ? 3 : 2;
  }
  if (path.size() >= 2 && common::IsPathSeparator(path[0]) && common::IsPathSeparator(path[1])) {
    std::size_t at = 2;
    for (int part = 0; part < 2; ++part) {  // server, then share
      while (at < path.size() && !common::IsPathSeparator(path[at])) ++at;
      if (at == path.size()) return at;
      ++at;
    }
    return at;
  }
  return !path.empty() && common::IsPathSeparator(path[0]) ? 1 : 0;
}

// A search for a pattern would report whichever entry matches first, which
// is not the long form of anything.
bool HasWildcard(std::string_view name) {
  return name.find_first_of("*?") != name.npos;
}

}  // namespace

unsigned ServicePackNumber(std::string_view servicePackText) {
  constexpr std::string_view kPrefix = "Service Pack ";
  if (!servicePackText.starts_with(kPrefix)) return 0;
  const char last = servicePackText.back();
  if (last < '0' || last > '9') {
    throw ConversionError("'" + std::string(1, last) + "' is not a valid integer value");
  }
  return static_cast<unsigned>(last - '0');
}

OsVersion MakeOsVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                        std::uint32_t build, std::string_view servicePackText) {
  OsVersion version;
  version.isNt = platformId == kPlatformNt;
  version.major = major;
  version.minor = minor;
  if (!version.isNt && major == 4 && minor == 10 && build > kLastFirstEditionBuild) {
    version.minor = 11;
  }
  version.servicePack = ServicePackNumber(servicePackText);
  return version;
}

std::string ResolveSpecialFolder(int csidl, const ShellFolderLookup& shell,
                                 const CurrentVersionValue& registry) {
  if (const std::optional<std::string> located = shell(csidl)) {
    return common::WithTrailingBackslash(*located);
  }
  if (csidl == kProgramFiles) return common::WithTrailingBackslash(registry("ProgramFilesDir"));
  if (csidl == kCommonProgramFiles)
    return common::WithTrailingBackslash(registry("CommonFilesDir"));
  return {};
}

std::uint64_t ColourCount(unsigned bitsPerPixel) {
  if (bitsPerPixel >= 64) return std::numeric_limits<std::uint64_t>::max();
  return std::uint64_t{1} << bitsPerPixel;
}

std::string ExpandToLongPathWith(std::string_view path, const DirectorySearch& search) {
  const std::size_t rootLength = RootLength(path);
  while (path.size() > rootLength && common::IsPathSeparator(path.back())) path.remove_suffix(1);

  std::vector<std::string_view> components;
  for (std::size_t at = rootLength; at < path.size();) {
    std::size_t end = at;
    while (end < path.size() && !common::IsPathSeparator(path[end])) ++end;
    if (end > at) components.push_back(path.substr(at, end - at));
    at = end + 1;
  }

  // Walked from the root down rather than by recursion on the parent, so a
  // path of many thousand components costs no stack.  Each search is for
  // the path as given, since a component that does not exist leaves an
  // empty name that could not be searched further.
  std::string searched(path.substr(0, rootLength));
  for (char& c : searched) {
    if (c == '/') c = '\\';
  }
  std::string result = searched;
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i > 0) {
      searched += '\\';
      result += '\\';
    }
    const std::string_view component = components[i];
    searched += component;
    if (component == "." || component == "..") {
      result += component;
    } else if (!HasWildcard(component)) {
      result += search(searched);
    }
  }
  return result;
}

}  // namespace tavrel
