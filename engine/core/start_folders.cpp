#include "engine/core/start_folders.h"

#include "common/paths.h"

namespace tavrel {

bool AdministratorRule(SystemInfo& system) {
  return system.GetOsVersion().isNt && system.IsUserAdministrator();
}

std::string ParentFolder(const std::string& folder) {
  const std::string path = common::WithoutTrailingBackslash(folder);
  const std::size_t cut = path.find_last_of("\\/");
  // A root ("C:\") is its own parent; a bare name has none to give and is
  // kept.
  if (cut == std::string::npos) return common::WithTrailingBackslash(folder);
  return path.substr(0, cut + 1);
}

std::string ApplicationDataFolder(SystemInfo& system, bool allUsers) {
  if (!system.GetOsVersion().isNt) {
    return common::WithTrailingBackslash(system.GetSpecialFolder(csidl::kProgramFilesCommon));
  }
  const std::string desktop =
      system.GetSpecialFolder(allUsers ? csidl::kCommonDesktopDirectory : csidl::kDesktopDirectory);
  if (desktop.empty()) return "";
  return ParentFolder(desktop) + "Application Data\\";
}

std::string InstallationInformationFolder(SystemInfo& system, bool allUsers,
                                          const std::string& productCode,
                                          const std::string& revisionCode) {
  return ApplicationDataFolder(system, allUsers) + "Quorvane\\Installation Information\\" +
         productCode + "\\" + revisionCode + "\\";
}

std::string DefaultTargetFolder(SystemInfo& system) {
  if (system.GetOsVersion().isNt && !system.IsUserAdministrator()) {
    const std::string documents = system.GetSpecialFolder(csidl::kPersonal);
    if (!documents.empty()) return ParentFolder(documents);
  }
  return common::WithTrailingBackslash(system.GetSpecialFolder(csidl::kProgramFiles));
}

StartValues ComputeStartValues(SystemInfo& system, const EngineState& state,
                               const std::string& executablePath) {
  StartValues values;
  values.allUsers = AdministratorRule(system);
  const std::string information = InstallationInformationFolder(
      system, values.allUsers, state.script.productCode, state.script.revisionCode);
  const std::size_t cut = executablePath.find_last_of("\\/:");
  values.uninstallLink =
      information + (cut == std::string::npos ? executablePath : executablePath.substr(cut + 1));
  values.exeFile = executablePath;
  const RegisteredUser user = system.GetRegisteredUser();
  values.userName = user.owner;
  values.userCompany = user.organisation;
  values.dataDir = state.script.mediaMode == 2 ? information : state.dataFolder;
  values.targetDir = DefaultTargetFolder(system) + state.script.title + "\\";
  return values;
}

}  // namespace tavrel
