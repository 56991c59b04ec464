// What one run of the script keeps between its commands: the dialog and
// wizard state the loop and the dialog commands share, the text file being
// read, the action states and the values the change commands record, the
// component list, and whether a command has ended the run. Created when a run starts and discarded
// when it ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/change_recording.h"
#include "engine/core/components.h"
#include "engine/core/installer_messages.h"
#include "engine/core/text_actions.h"
#include "engine/core/web_media.h"

namespace tavrel {

enum class WizardDirection { kNext, kBack, kCancel };

struct DialogState {
  // Set by "Wizard Loop": the loop steps from dialog to dialog in the
  // direction the last one was left.
  bool wizard = false;
  WizardDirection direction = WizardDirection::kNext;
  std::intptr_t window = 0;  // the non-modal dialog on screen, 0 for none
  // Key of the last modal dialog shown outside a wizard loop, still on screen.
  std::optional<std::string> pendingModal;
};

// The file "Read from Text File" is reading: its name upper-cased and
// where the reading stands.
struct OpenTextFile {
  OpenTextFile(std::string k, TextFileReader r) : key(std::move(k)), reader(std::move(r)) {}
  std::string key;
  TextFileReader reader;
};

struct RunState {
  DialogState dialogs;
  std::optional<OpenTextFile> readFile;
  // One entry per command from the script checks: "SKIP", or "FALSE" for an
  // active change command until it has run.
  std::vector<std::string> actionStates;
  std::string exeFile;     // the engine executable, for the resume entry
  std::string database;    // the database copy, as MSIFILE was at start-up
  std::string dataFolder;  // where the installer finds the product's files
  std::string mediaRoot;   // the data folder as the run started (DATADIR)
  RecordedChanges changes;
  ComponentList components;
  std::int64_t installedSize = 0;  // bytes of the components already installed
  InstallerMessageState installerMessages;
  WebMediaState webMedia;
  // Set by a command after which nothing more may run (a restart).
  bool endRun = false;
};

}  // namespace tavrel
