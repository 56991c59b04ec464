#include "wizard/win32/after_build.h"

#include <windows.h>

#include "wizard/core/mail_request.h"
#include "wizard/core/output_paths.h"
#include "wizard/win32/package_mailing.h"
#include "wizard/win32/win32_build_system.h"
#include "wizard/win32/win32_files.h"
#include "wizard/win32/win32_simple_mapi.h"

namespace ombrwiz {

bool MailAvailable() {
  return SimpleMapiAvailable();
}

void RunAfterBuildActions(const std::string& packagePath, const std::string& packageName,
                          const AfterBuild& after, HWND wizardWindow) {
  if (after.test) {
    Trace("test: " + packagePath);
    WinExec(packagePath.c_str(), SW_SHOWNORMAL);
  }
  if (after.email) {
    StartMailing(MakeMailRequest(packageName, packagePath,
                                 [](const std::string& path) { return FileExists(path); }),
                 wizardWindow);
  }
  if (after.explore) {
    const std::string command = "explorer.exe \"" + SplitPath(packagePath).folder + "\"";
    Trace("explore: " + command);
    WinExec(command.c_str(), SW_SHOWNORMAL);
  }
  if (after.email) WaitForMailing();
}

}  // namespace ombrwiz
