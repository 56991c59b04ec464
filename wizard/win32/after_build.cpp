#include "wizard/win32/after_build.h"

#include <windows.h>

#include "wizard/core/output_paths.h"
#include "wizard/win32/win32_build_system.h"
#include "wizard/win32/wizard_boxes.h"

namespace ombrwiz {

bool MailAvailable() {
  return true;
}

void MailPackage(const std::string& packagePath, const std::string&) {
  ShowNote(
      "Mailing a package is not available in this version of Ombrell. The package is ready "
      "in:\r" +
      packagePath);
}

void RunAfterBuildActions(const std::string& packagePath, const std::string& packageName,
                          const AfterBuild& after) {
  if (after.test) {
    Trace("test: " + packagePath);
    WinExec(packagePath.c_str(), SW_SHOWNORMAL);
  }
  if (after.email) MailPackage(packagePath, packageName);
  if (after.explore) {
    const std::string command = "explorer.exe \"" + SplitPath(packagePath).folder + "\"";
    Trace("explore: " + command);
    WinExec(command.c_str(), SW_SHOWNORMAL);
  }
}

}  // namespace ombrwiz
