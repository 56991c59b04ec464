// The installer run: Windows Installer applies the recorded changes to the
// database on a worker thread, while the interpreter's thread keeps the
// progress page turning and passes on the user's cancel. Before it starts,
// the installer hand-off file (read by the database's own actions) and,
// when asked for, the log header are written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/core/installer_messages.h"
#include "engine/core/message_table.h"
#include "engine/core/system_port.h"
#include "engine/core/ui_port.h"

namespace tavrel {

// Captured when the run starts.
struct InstallerInputs {
  std::string database;
  std::string variables;  // list text of the whole store
  std::vector<std::string> actions;
  std::vector<std::string> properties;  // an earlier installation's recorded parameters
  // Recorded since the last run; written into the database first.
  std::vector<std::pair<std::string, std::string>> pending;
  std::string productCode;
  bool install = true;
  std::string dataFolder;
  std::string logPath;     // empty: no log
  std::string tempFolder;  // where the hand-off file goes
};

enum class InstallerOutcome { kSuccess, kSuccessRebootNeeded, kError, kCancelled };

struct InstallerResult {
  InstallerOutcome outcome = InstallerOutcome::kError;
  std::string errorText;
};

// What the run works with besides its inputs.
struct InstallerEnvironment {
  UiPort& ui;
  SystemPort& system;
  const MessageTable& messages;
  InstallerMessageState& messageState;
  std::intptr_t owner;         // window of the current page, 0 for none
  bool silent;                 // the engine runs silent: block while waiting
  std::string progressFolder;  // current folder while the installer runs
};

// Runs the installer and returns when it has ended (interpreter thread).
InstallerResult RunInstaller(const InstallerInputs& inputs, InstallerEnvironment& environment);

// ---- The run's texts ----

// The data folder's parent with a trailing backslash and without its drive
// or share: "D:\SETUP\DATA\" gives "\SETUP\".
std::string MediaPathOf(std::string_view dataFolder);

// The folders the installer is given, in short form, and whether they must
// be quoted on a command line.
struct InstallerFolders {
  std::string database;  // folder of the database, trailing backslash
  bool quoteDatabase = false;
  std::string data;  // trailing backslash
  bool quoteData = false;
  std::string media;
};

// The hand-off file: lines ended by CR LF.
std::string HandOffText(const InstallerFolders& folders, const std::vector<std::string>& actions,
                        const std::vector<std::string>& properties,
                        const std::vector<std::string>& variables);

// The header the log file begins with, lines ended by CR LF.
std::string LogHeaderText(std::string_view dateTime, const InstallerInputs& inputs,
                          const InstallerFolders& folders);

// data folder + ";" + database folder, in quotes when either needs them.
std::string SourceList(const InstallerFolders& folders);

// The installing command line, every piece ending in a blank.
std::string InstallCommandLine(bool installed, bool allUsers, const InstallerFolders& folders);

// The properties of a removal, in the order they are set.
std::vector<std::pair<std::string, std::string>> RemovalProperties(bool allUsers,
                                                                   const InstallerFolders& folders);

}  // namespace tavrel
