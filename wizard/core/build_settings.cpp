#include "wizard/core/build_settings.h"

#include <charconv>

#include "common/paths.h"

namespace ombrwiz {
namespace {

void AppendOption(std::string& line, std::string_view option, std::string_view value) {
  line += option;
  line += " \"";
  line += value;
  line += "\" ";
}

}  // namespace

std::string TargetCode(const ProjectSettings& project) {
  switch (project.target) {
    case TargetChoice::kAsk:
      return "";
    case TargetChoice::kExe:
      return "$EXE$";
    case TargetChoice::kTemp:
      return "$TEMP$";
    case TargetChoice::kInstall:
      return "$INSTALL$";
    case TargetChoice::kSystem:
      return "$SYSTEM$";
    case TargetChoice::kWindows:
      return "$WINDOWS$";
    case TargetChoice::kLiteral:
      return project.targetDirText;
  }
  return "";
}

std::optional<std::int32_t> WholeNumber(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

BuildSettings MakeBuildSettings(const ProjectSettings& project, std::string_view programFolder) {
  BuildSettings settings;
  settings.packagePath = project.saveAs;
  settings.packageName = project.packageName;
  settings.password = project.packagePassword;
  settings.startQuestion = project.startText;
  settings.licenceFile = project.licenseFile;
  settings.endMessage = project.endText;
  settings.programFolder = common::WithTrailingBackslash(std::string(programFolder));
  settings.translationFile = settings.programFolder + "translations." + project.language;
  settings.files = project.files;
  if (!project.advanced) {
    settings.fileToOpen = "$EXPLORE$";
    settings.requiredSpace = "0";
    return settings;
  }
  settings.targetCode = TargetCode(project);
  settings.fileToOpen = project.runApp;
  settings.parameters = project.runParms;
  settings.requiredSpace = project.space;
  settings.silent = project.silent;
  if (project.multiPart) {
    // Megabytes past 2 GiB would overflow the cabinet library's 32-bit size.
    if (const auto split = WholeNumber(project.split); split && *split > 0) {
      settings.maxCabinetSize = *split >= 2048 ? kUnlimitedCabinetSize : *split * 1'048'576;
    }
  }
  if (project.codeSign) {
    settings.signing = SigningSettings{project.spc, project.pvk, project.timeStamp, project.infoUrl,
                                       project.packageName};
  }
  return settings;
}

bool PathIsValid(const std::string& path, const PathQueries& queries) {
  const auto slash = path.find_last_of('\\');
  if (slash == std::string::npos || slash == 0) return false;
  const std::string folder = path.substr(0, slash + 1);
  const std::string name = path.substr(slash + 1);
  if (name.empty() || name.find_first_of("\\/:*?\"<>|") != std::string::npos) return false;
  if (!queries.folderExists(folder)) return false;
  const auto free = queries.freeBytes(folder);
  return free && *free > 0;
}

bool BuildSettingsAreValid(const BuildSettings& settings, const ProjectSettings& project,
                           const PathQueries& queries) {
  if (!queries.fileExists(settings.translationFile)) return false;
  if (!WholeNumber(project.split) || !WholeNumber(settings.requiredSpace)) return false;
  if (settings.files.empty()) return false;
  if (!PathIsValid(settings.packagePath, queries)) return false;
  if (!settings.licenceFile.empty() && !queries.fileExists(settings.licenceFile)) return false;
  if (settings.signing && (!queries.fileExists(settings.signing->certificateFile) ||
                           !queries.fileExists(settings.signing->privateKeyFile))) {
    return false;
  }
  return true;
}

std::string SignCommandLine(const BuildSettings& settings) {
  std::string options;
  const SigningSettings& signing = *settings.signing;
  AppendOption(options, "-spc", signing.certificateFile);
  AppendOption(options, "-v", signing.privateKeyFile);
  if (!signing.timeStampUrl.empty()) AppendOption(options, "-t", signing.timeStampUrl);
  if (!signing.infoUrl.empty()) AppendOption(options, "-i", signing.infoUrl);
  if (!signing.packageName.empty()) AppendOption(options, "-n", signing.packageName);
  return "\"" + settings.programFolder + "signcode.exe\" " + options + "\"" + settings.packagePath +
         "\"";
}

std::string CheckTrustCommandLine(const BuildSettings& settings) {
  return "\"" + settings.programFolder + "chktrust.exe\" -q \"" + settings.packagePath + "\"";
}

}  // namespace ombrwiz
