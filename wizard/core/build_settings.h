// What one package build works from: the project's settings as the build
// thread reads them, and the checks made before a build may start.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wizard/core/project_settings.h"

namespace ombrwiz {

inline constexpr std::int32_t kUnlimitedCabinetSize = 2'147'483'647;

struct SigningSettings {
  std::string certificateFile;
  std::string privateKeyFile;
  std::string timeStampUrl;
  std::string infoUrl;
  std::string packageName;
};

struct BuildSettings {
  std::string packagePath;
  std::string packageName;
  std::string password;
  std::string startQuestion;
  std::string licenceFile;
  std::string endMessage;
  std::string targetCode;  // empty: ask
  std::string fileToOpen;
  std::string parameters;
  std::string requiredSpace;
  bool silent = false;
  std::int32_t maxCabinetSize = kUnlimitedCabinetSize;
  std::optional<SigningSettings> signing;
  std::string translationFile;
  std::string programFolder;  // with trailing backslash
  std::vector<FileEntry> files;
};

// The folder code the stub understands for a target choice.
std::string TargetCode(const ProjectSettings& project);

// The build settings of a project; without the advanced settings the target
// is asked for, the package folder is explored and nothing is signed.
BuildSettings MakeBuildSettings(const ProjectSettings& project, std::string_view programFolder);

// A whole number of at most nine digits (the settings allow four).
std::optional<std::int32_t> WholeNumber(std::string_view text);

// Questions the build's checks ask of the system.
struct PathQueries {
  std::function<bool(const std::string&)> fileExists;
  std::function<bool(const std::string&)> folderExists;
  // Free bytes on the drive of a path; nullopt when unknown.
  std::function<std::optional<std::uint64_t>(const std::string&)> freeBytes;
};

// A package or project path may be written: it has a folder part that
// exists on a drive with free space and a file name without reserved
// characters.
bool PathIsValid(const std::string& path, const PathQueries& queries);

// All that must hold before a build starts.
bool BuildSettingsAreValid(const BuildSettings& settings, const ProjectSettings& project,
                           const PathQueries& queries);

// The signing tools' command lines.
std::string SignCommandLine(const BuildSettings& settings);
std::string CheckTrustCommandLine(const BuildSettings& settings);

}  // namespace ombrwiz
