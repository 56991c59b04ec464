#include "wizard/core/output_paths.h"

#include <algorithm>
#include <array>

#include "common/ascii_case.h"
#include "common/paths.h"

namespace ombrwiz {

namespace {

constexpr std::string_view kForbidden = "\"*/:<>?\\|";

bool IsForbidden(char c) {
  return static_cast<unsigned char>(c) < 0x20 || kForbidden.find(c) != std::string_view::npos;
}

// Windows maps these names, with any extension, to devices. Returns the
// length of the device name at the start of `name`, or 0.
std::size_t DeviceNameLength(std::string_view name) {
  constexpr std::array<std::string_view, 22> kDevices = {
      "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
      "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
  const std::string_view base = name.substr(0, name.find('.'));
  const std::string_view trimmed = base.substr(0, base.find_last_not_of(' ') + 1);
  const bool device = std::any_of(kDevices.begin(), kDevices.end(), [&](std::string_view d) {
    return common::EqualsIgnoringAsciiCase(trimmed, d);
  });
  return device ? trimmed.size() : 0;
}

}  // namespace

std::string CleanName(std::string_view name) {
  std::string clean;
  for (const char c : name) {
    if (!IsForbidden(c)) clean += c;
  }
  while (!clean.empty() && (clean.back() == ' ' || clean.back() == '.')) clean.pop_back();
  if (clean.empty()) return std::string(kFallbackName);
  if (const std::size_t device = DeviceNameLength(clean); device > 0) clean.insert(device, "_");
  return clean;
}

bool FileNameIsValid(std::string_view fileName) {
  return !fileName.empty() && std::none_of(fileName.begin(), fileName.end(), IsForbidden);
}

std::string DefaultPackagePath(std::string_view myPackagesFolder, std::string_view packageName) {
  const std::string clean = CleanName(packageName);
  return common::JoinPath(common::JoinPath(myPackagesFolder, clean), clean + ".exe");
}

std::string DefaultProjectPath(std::string_view myPackagesFolder, std::string_view packageName) {
  return common::JoinPath(myPackagesFolder, CleanName(packageName) + ".ombr");
}

std::string CabinetPath(std::string_view packagePath, unsigned number) {
  const std::size_t slash = packagePath.find_last_of('\\');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view name = packagePath.substr(nameStart);
  const std::string_view base = name.substr(0, name.find_last_of('.'));
  std::string path(packagePath.substr(0, nameStart));
  path += base;
  if (number >= 2) path += std::to_string(number);
  return path + ".cab";
}

PathParts SplitPath(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/:");
  if (cut == std::string_view::npos) return PathParts{{}, std::string(path)};
  PathParts parts{std::string(path.substr(0, cut + 1)), std::string(path.substr(cut + 1))};
  // Drop the separator unless it is what makes the folder a root: "\", "C:\"
  // or a drive "C:" alone.
  std::string& folder = parts.folder;
  const bool isRoot =
      folder.back() == ':' || folder.size() == 1 || (folder.size() == 3 && folder[1] == ':');
  if (!isRoot) folder.pop_back();
  return parts;
}

}  // namespace ombrwiz
