// What the script interpreter needs from the dialog runtime and the system,
// kept behind one interface so that the interpreter stays portable and can be
// driven by a scripted host in tests.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "engine/core/engine_state.h"
#include "engine/core/system_info.h"

namespace tavrel {

// Results of a modal dialog.
inline constexpr std::intptr_t kDialogNext = 6;
inline constexpr std::intptr_t kDialogBack = 7;
inline constexpr std::intptr_t kDialogCancel = 2;

// Exit codes "Run Program" stores for a program that runs on after the
// command (the system's own "still active" code) and for one that could not
// be started at all.
inline constexpr std::int32_t kProgramStillRunning = 259;
inline constexpr std::int32_t kProgramNotStarted = -1;

// Registry roots in the order the scripts number them.
enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

// One registry value as read; text without its terminator.
struct RegistryValue {
  enum class Type { kMissing, kString, kExpandString, kNumber, kOther };
  Type type = Type::kMissing;
  std::string text;          // kString and kExpandString
  std::uint32_t number = 0;  // kNumber (a 32-bit number)
};

// What lies at a path.
enum class PathKind { kNone, kFile, kFolder };

// A whole text file as the file commands read it.
struct FileText {
  enum class Status { kRead, kMissing, kUnreadable };
  Status status = Status::kMissing;
  std::string text;
};

// Initial values of the predefined variables that only the system can
// answer; the interpreter works out the others from the engine state.
struct StartValues {
  std::string uninstallLink;  // installation information folder + executable name
  std::string exeFile;        // full path of the engine executable
  std::string userName;       // registered owner
  std::string userCompany;    // registered organisation
  bool allUsers = false;      // Windows NT family and member of Administrators
  std::string dataDir;        // depends on the media mode
  std::string targetDir;      // default target folder + title + "\"
  bool needsUpgrade = false;
  bool maintenance = false;
};

class InterpreterHost {
 public:
  virtual ~InterpreterHost() = default;

  virtual StartValues StartValuesFor(const EngineState& state) = 0;

  // -1 when the user has confirmed the cancel question since the last
  // dialog was shown, else 1.
  virtual int CancelState() = 0;
  virtual void SetProgress(const std::string& text, int position, int maximum, int minimum) = 0;

  // Keys are the decimal index of the "Display Dialog" command.
  virtual void PrepareDialog(const std::string& key) = 0;
  virtual void ReleaseDialog(const std::string& key) = 0;
  // Modal: 6 NEXT, 7 BACK or 2 CANCEL. Non-modal: the window handle, 0 when
  // there is no window. Silent: shows nothing and returns 6.
  virtual std::intptr_t ShowDialog(const std::string& key, bool modal) = 0;
  virtual void HideCurrentDialog() = 0;
  virtual void FreeDialogs() = 0;

  // Filling the next dialog's controls must not repaint the window on screen
  // half-way; the interpreter brackets PrepareDialog with these. Neither may
  // throw, since the unlock runs while an error unwinds.
  virtual void LockWindowUpdates(std::intptr_t window) = 0;
  virtual void UnlockWindowUpdates() = 0;

  // Waits for one window message and dispatches it. Never called when silent.
  virtual void ProcessOneMessage() = 0;
  // Called from a worker thread when it has ended, so that a main thread
  // waiting in ProcessOneMessage returns.
  virtual void WakeMainThread() = 0;

  // Returns the pressed button's code, 1..7 (0 when the box could not be
  // shown). Owner 0 means no owner.
  virtual int ShowMessageBox(std::intptr_t owner, const std::string& text,
                             const std::string& caption, unsigned style) = 0;
  // Caption "Tavrel", error icon, no owner.
  virtual void ShowRuntimeError(const std::string& text) = 0;

  virtual bool FileExists(const std::string& path) = 0;

  // ---- Files for the text, file and path commands; none of them throws ----
  // The defaults see an empty file system that nothing can be written to,
  // for hosts that never run these commands.

  virtual PathKind KindOf(const std::string&) { return PathKind::kNone; }
  // kMissing when nothing is at the path; kUnreadable when something is
  // there but its text cannot be had (a folder, no access, too large).
  virtual FileText ReadFileText(const std::string&) { return {}; }
  // Replaces the file with the text (read-only and other attributes are
  // cleared) so that it holds either its old text or the whole new one, never
  // a part; false when it could not.
  virtual bool ReplaceFileText(const std::string&, const std::string&) { return false; }
  // The short (8.3) or the long form of an existing path; empty on failure.
  virtual std::string ShortPathOf(const std::string&) { return ""; }
  virtual std::string LongPathOf(const std::string&) { return ""; }
  // Creates a new empty file with a unique name beginning with "tvl" in the
  // folder and returns its full path; empty on failure.
  virtual std::string CreateTempFile(const std::string&) { return ""; }

  // ---- Programs and restarts; none of them throws ----
  // The defaults start nothing, close nothing and restart nothing.

  // Starts the program with the parameters (window not shown when hidden, no
  // working folder of its own) and, with wait, returns when it has ended.
  // Called on a worker thread. The exit code; kProgramStillRunning when it
  // runs on; kProgramNotStarted when it could not be started.
  virtual std::int32_t RunProgram(const std::string&, const std::string&, bool, bool) {
    return kProgramNotStarted;
  }
  // Posts a cancel-mode and then a close message to the first top-level
  // window whose class name contains the class part and whose title contains
  // the title part (case-sensitive; an empty part matches any); false when
  // no window matched.
  virtual bool CloseFirstWindow(const std::string&, const std::string&) { return false; }
  // The run-at-start-up entry of that name, for all users or for the current
  // user: written with the command line, or removed. Failures are traced
  // only.
  virtual void WriteStartupEntry(bool, const std::string&, const std::string&) {}
  virtual void RemoveStartupEntry(bool, const std::string&) {}
  // Asks the system to restart (enabling the shutdown privilege where there
  // is one) and returns; the run then ends as usual.
  virtual void RequestReboot() {}

  // ---- Queries of the system commands ----
  // The defaults answer nothing: empty texts and missing values.

  // The engine's system queries; they throw only as documented there. The
  // default has none and throws std::logic_error.
  virtual SystemInfo& System() { throw std::logic_error("this host has no system queries"); }
  // A value of the key under the root; never throws, kMissing on any failure.
  virtual RegistryValue ReadRegistryValue(RegistryRoot, const std::string&, const std::string&) {
    return {};
  }
  // The text with its %NAME% references replaced by environment variables;
  // unknown names are left as written.
  virtual std::string ExpandEnvironment(const std::string& text) { return text; }
  // The key's value in the section of the initialisation file, at most 259
  // characters; empty when it is missing or cannot be read.
  virtual std::string ReadIniValue(const std::string&, const std::string&, const std::string&) {
    return "";
  }
  // The system and the Windows folders, without trailing backslash.
  virtual std::string SystemFolder() { return ""; }
  virtual std::string WindowsFolder() { return ""; }

  // The script switched the run's silent setting ("Set Variable SILENT").
  virtual void SetSilent(bool silent) = 0;

  // A line for the diagnostic trace, silent or not.
  virtual void Trace(const std::string& line) = 0;
};

}  // namespace tavrel
