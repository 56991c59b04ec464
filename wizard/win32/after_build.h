// What follows a successful build, as the author ticked it: start the
// package, mail it, open its folder.
#pragma once

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

// Mails the package file and the continuation cabinets beside it.
void MailPackage(const std::string& packagePath, const std::string& packageName);

void RunAfterBuildActions(const std::string& packagePath, const std::string& packageName,
                          const AfterBuild& after);

}  // namespace ombrwiz
