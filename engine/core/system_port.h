// What the script's commands need from the system: files, programs, the
// registry, initialisation files, the environment and the machine's
// answers to the system queries. Nothing here shows a window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/media_port.h"
#include "engine/core/system_info.h"

namespace tavrel {

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

// The installer's message handler, as the installer session calls it (on
// the installer's thread): the message code and text; returns the answer.
class InstallerMessageSink {
 public:
  virtual ~InstallerMessageSink() = default;
  virtual int OnInstallerMessage(std::uint32_t type, const std::string& text) = 0;
};

// One Windows Installer session on a database.
struct InstallerSession {
  std::string database;
  std::string logPath;  // empty: no log
  bool install = true;
  // Installing: the command line. Removing: the properties set on the opened
  // package, in order, before its "INSTALL" action runs.
  std::string commandLine;
  std::vector<std::pair<std::string, std::string>> removalProperties;
};

struct InstallerSessionResult {
  // False when Windows Installer could not be reached (msi.dll or one of its
  // functions missing, the package could not be opened); failure says why.
  bool ran = false;
  std::string failure;
  std::uint32_t code = 0;      // the installer's result
  bool rebootPending = false;  // a removal that needs a restart to finish
};

// One call of a plug-in's run-time library: its entry point RunTimeExecute
// is called twice (for the result's length, then for the result text) with
// these arguments.
struct PluginCall {
  std::string library;      // full path of the run-time library
  std::intptr_t owner = 0;  // the dialog on screen, 0 for none
  std::string variables;    // the whole variable store as list text
  std::string parameters;   // the command's first parameter, as written
};

struct PluginResult {
  enum class Outcome {
    kReturned,   // text holds the result text of the second call
    kNotLoaded,  // the library could not be loaded or has no RunTimeExecute
    kFailed,     // the first call answered -1, or the result could not be had
    kCrashed,    // the library raised a fault (an access violation...) in a call
  };
  Outcome outcome = Outcome::kFailed;
  std::string text;
  std::string failure;  // what went wrong, for the message and the trace
};

// The library's progress reports, from any thread of its own: a position in
// percent (-1: a text without a position) and a text. Returns false once
// the user has asked to stop.
using PluginProgress = std::function<bool(int position, const std::string& text)>;

// Product state "installed" of the installer.
inline constexpr int kProductInstalled = 5;

// None of these throws unless it says so.
class SystemPort {
 public:
  virtual ~SystemPort() = default;

  virtual StartValues StartValuesFor(const EngineState& state) = 0;

  // ---- Files ----

  virtual bool FileExists(const std::string& path) = 0;
  virtual PathKind KindOf(const std::string& path) = 0;
  // kMissing when nothing is at the path; kUnreadable when something is
  // there but its text cannot be had (a folder, no access, too large).
  virtual FileText ReadFileText(const std::string& path) = 0;
  // Replaces the file with the text (read-only and other attributes are
  // cleared) so that it holds either its old text or the whole new one, never
  // a part; false when it could not.
  virtual bool ReplaceFileText(const std::string& path, const std::string& text) = 0;
  // The short (8.3) or the long form of an existing path; empty on failure.
  virtual std::string ShortPathOf(const std::string& path) = 0;
  virtual std::string LongPathOf(const std::string& path) = 0;
  // Creates a new empty file with a unique name beginning with "tvl" in the
  // folder and returns its full path; empty on failure.
  virtual std::string CreateTempFile(const std::string& folder) = 0;
  // Creates the folder with all missing parents; true when it exists then.
  virtual bool CreateFolders(const std::string& path) = 0;
  virtual bool DeleteFileAt(const std::string& path) = 0;
  // Copies the file over any file at the destination, whose attributes are
  // set to normal first so that a read-only copy is replaced too.
  virtual bool CopyFileOver(const std::string& from, const std::string& to) = 0;
  // Deletes every file in the folder (attributes set to normal first) and
  // every subfolder with its contents, then the folder itself, as far as it
  // can; false when something was left.
  virtual bool DeleteFolderTree(const std::string& folder) = 0;
  // Moves (renames) a folder with its contents; false when it could not.
  virtual bool MoveFolder(const std::string& from, const std::string& to) = 0;
  // Marks a file or an empty folder for deletion at the next restart;
  // failures are traced only.
  virtual void DeleteAtRestart(const std::string& path) = 0;
  // Writes the text as the system's log files are written: UTF-16 (little
  // endian, no byte-order mark) from the ANSI code page on the NT family,
  // the bytes themselves elsewhere; replaces any earlier file.
  virtual bool WriteLogText(const std::string& path, const std::string& text) = 0;
  virtual std::string CurrentFolder() = 0;
  virtual bool SetCurrentFolder(const std::string& path) = 0;
  // Free bytes on the drive of that letter; -1 when it cannot be told.
  virtual std::int64_t FreeSpaceOfDrive(char letter) = 0;

  // ---- Programs and restarts ----

  // Starts the program with the parameters (window not shown when hidden, no
  // working folder of its own) and, with wait, returns when it has ended.
  // Called on a worker thread. The exit code; kProgramStillRunning when it
  // runs on; kProgramNotStarted when it could not be started.
  virtual std::int32_t RunProgram(const std::string& program, const std::string& parameters,
                                  bool hidden, bool wait) = 0;
  // Posts a cancel-mode and then a close message to the first top-level
  // window whose class name contains the class part and whose title contains
  // the title part (case-sensitive; an empty part matches any); false when
  // no window matched.
  virtual bool CloseFirstWindow(const std::string& title, const std::string& windowClass) = 0;
  // The run-at-start-up entry of that name, for all users or for the current
  // user: written with the command line, or removed. Failures are traced
  // only.
  virtual void WriteStartupEntry(bool allUsers, const std::string& name,
                                 const std::string& command) = 0;
  virtual void RemoveStartupEntry(bool allUsers, const std::string& name) = 0;
  // Asks the system to restart (enabling the shutdown privilege where there
  // is one) and returns; the run then ends as usual.
  virtual void RequestReboot() = 0;

  // ---- Queries ----

  // The engine's system queries; they throw only as documented there.
  virtual SystemInfo& System() = 0;
  // Downloads, the archive library and the file work of web media.
  virtual MediaPort& Media() = 0;
  // A value of the key under the root; kMissing on any failure.
  virtual RegistryValue ReadRegistryValue(RegistryRoot root, const std::string& key,
                                          const std::string& name) = 0;
  // The text with its %NAME% references replaced by environment variables;
  // unknown names are left as written.
  virtual std::string ExpandEnvironment(const std::string& text) = 0;
  // The key's value in the section of the initialisation file, at most 259
  // characters; empty when it is missing or cannot be read.
  virtual std::string ReadIniValue(const std::string& file, const std::string& section,
                                   const std::string& key) = 0;
  // Deletes the value, or the key with all its subkeys; failures (a missing
  // key, no access) are traced only.
  virtual void DeleteRegistryValue(RegistryRoot root, const std::string& key,
                                   const std::string& name) = 0;
  virtual void DeleteRegistryKeyTree(RegistryRoot root, const std::string& key) = 0;
  // Writes a string value, creating the key when it is missing; false when
  // the key could not be opened or the value not written.
  virtual bool WriteRegistryString(RegistryRoot root, const std::string& key,
                                   const std::string& name, const std::string& value) = 0;
  // The local date and time in the system's short date and long time forms.
  virtual std::string LocalDateTime() = 0;
  // The system's text for an error code; empty when it has none.
  virtual std::string SystemErrorText(std::uint32_t code) = 0;
  // The system and the Windows folders, without trailing backslash.
  virtual std::string SystemFolder() = 0;
  virtual std::string WindowsFolder() = 0;

  // ---- Plug-ins ----

  // Loads the library, calls RunTimeExecute twice on the calling thread (a
  // worker) and unloads it again. A fault inside the library ends the call
  // with kCrashed instead of the process.
  virtual PluginResult CallPlugin(const PluginCall& call, const PluginProgress& progress) = 0;

  // ---- Windows Installer (msi.dll, each function looked up on first use) ----

  // Inserts each property into the database's Property table, or updates it
  // when it is there, and commits. A pair whose statements fail stays as the
  // database had it; the others are still written. False when the database
  // could not be opened or committed.
  virtual bool WriteDatabaseProperties(
      const std::string& database,
      const std::vector<std::pair<std::string, std::string>>& properties) = 0;
  // The installer's state of the product (kProductInstalled when installed);
  // -1 when unknown or when Windows Installer cannot be reached.
  virtual int ProductState(const std::string& productCode) = 0;
  // The package code the installer reports for the product; empty when it
  // reports none or cannot be reached.
  virtual std::string ProductPackageCode(const std::string& productCode) = 0;
  // Runs the session with no user interface of the installer's own (the
  // engine's handler gets every message but files-in-use). Called on the
  // installer's thread.
  virtual InstallerSessionResult RunInstallerSession(const InstallerSession& session,
                                                     InstallerMessageSink& sink) = 0;

  // A line for the diagnostic trace, silent or not.
  virtual void Trace(const std::string& line) = 0;
};

}  // namespace tavrel
