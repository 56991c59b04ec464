// What the wizard's command line asks for: open or build a project, or pack,
// mail or add the files and folders it names.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "wizard/core/project_settings.h"

namespace ombrwiz {

enum class WizardRequestKind {
  kNone,          // no arguments, or an empty first one
  kOpenProject,   // load the project and show the package name page
  kMakeProject,   // load the project and build it at once ("$MAKE$")
  kPackIt,        // "$PACKIT$": pack the files at once
  kMailIt,        // "$MAILIT$": pack and mail them
  kAddToPackage,  // "$ADDTOPACKAGE$": add them, then ask for the package name
};

struct WizardRequest {
  WizardRequestKind kind = WizardRequestKind::kNone;
  std::string projectPath;       // kOpenProject, kMakeProject
  std::vector<FileEntry> files;  // the verbs: existing files unticked, folders + "\*.*" ticked
  std::string packageName;       // the verbs: see below
};

// Reads the arguments after the program's own path. Verbs are exact-case.
// Any other non-empty first argument names a project; followed by "$MAKE$" it
// is built at once even when it does not exist, so that an unattended build
// ends with its failure instead of waiting at the wizard's window.
//
// The package name of the verbs is the file name of the first non-empty
// further argument without its extension (trailing separators dropped first, so a
// folder "C:\Docs\" gives "Docs"). When that is empty the whole file name is
// kept (".profile"); with no file name at all ("C:\") the first character is
// used when it is usable in a file name ("C"), otherwise "Package". It stays
// empty only when no such argument was given.
WizardRequest ParseWizardCommandLine(std::span<const std::string> args,
                                     const std::function<bool(const std::string&)>& fileExists,
                                     const std::function<bool(const std::string&)>& folderExists);

}  // namespace ombrwiz
