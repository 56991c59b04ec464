// What follows a successful build, as the author ticked it: start the
// package, mail it, open its folder.
#pragma once

#include <windows.h>

#include <string>

namespace ombrwiz {

struct AfterBuild {
  bool test = false;
  bool email = false;
  bool explore = false;
};

// Whether the package can be mailed from this machine; the finish page
// offers "E-mail the package now." only then.
bool MailAvailable();

// Test, mail (the package file and the continuation cabinets beside it,
// with the wizard window hidden while the mail program has them), explore,
// then wait for the mail to be sent or given up. No window in unattended
// runs.
void RunAfterBuildActions(const std::string& packagePath, const std::string& packageName,
                          const AfterBuild& after, HWND wizardWindow);

}  // namespace ombrwiz
