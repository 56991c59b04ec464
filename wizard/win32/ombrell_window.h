// TOmbrell, the package wizard's window: fifteen pages in two sets (the
// start pages with the picture, the others under a white heading band),
// Back, Next, Cancel and Pause, the package build's progress and the
// finishing actions. The page flow itself is WizardFlow's; this window
// keeps its controls and the flow's settings in step and serves as the
// flow's port to the system.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "wizard/core/project_settings.h"
#include "wizard/win32/program_folder.h"

namespace ombrwiz {

struct WizardStart {
  int page = 1;                            // the page shown first
  std::optional<ProjectSettings> project;  // settings to show (an opened project)
  std::vector<FileEntry> addedFiles;       // "$ADDTOPACKAGE$": files added to the list
  bool holdProjectLoads = false;           // "$ADDTOPACKAGE$": names load no project yet
};

// Shows the wizard window and runs it until the wizard ends; the exit code.
int RunWizardWindow(ProgramFiles& files, const WizardStart& start);

}  // namespace ombrwiz
