#include "engine/core/installer_run.h"

#include <algorithm>

#include "common/ascii_case.h"
#include "common/paths.h"
#include "engine/core/list_text.h"
#include "engine/core/script_text.h"
#include "engine/core/worker_wait.h"

namespace tavrel {

namespace {

constexpr std::uint32_t kRebootRequired = 3010;
constexpr std::uint32_t kRebootInitiated = 1641;

std::string Quoted(const std::string& text, bool quote) {
  return quote ? "\"" + text + "\"" : text;
}

// The value of the first pair of that name in name, value, name, value...;
// nullptr when none.
const std::string* ValueOf(const std::vector<std::string>& pairs, std::string_view name) {
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (common::EqualsIgnoringAsciiCase(pairs[i], name)) return &pairs[i + 1];
  }
  return nullptr;
}

void AddLine(std::string& text, std::string_view line) {
  text += line;
  text += "\r\n";
}

// One installer run, shared by the interpreter's thread (which waits) and
// the installer's thread (which runs the steps and gets the messages).
class Run final : public InstallerMessageHost, public InstallerMessageSink {
 public:
  Run(const InstallerInputs& inputs, InstallerEnvironment& environment)
      : inputs_(inputs), env_(environment) {}

  InstallerResult Execute() {
    const std::string before = env_.system.CurrentFolder();
    if (!env_.progressFolder.empty()) env_.system.SetCurrentFolder(env_.progressFolder);
    env_.ui.SetProgress("", 0, 100, 0);
    const BusyPage busy(env_.ui);
    struct Restore {
      InstallerEnvironment& env;
      const std::string& folder;
      ~Restore() {
        if (!folder.empty()) env.system.SetCurrentFolder(folder);
      }
    } restore{env_, before};

    WaitOptions options;
    options.forwardCancel = true;
    options.workerShowsProgress = true;
    RunWhileWaiting(
        env_.ui, env_.silent, [this](WorkerProgress& progress) { Work(progress); }, options);

    InstallerResult result;
    result.errorText = errorText_;
    if (stopped_ && !rollbackFailed_) {
      result.outcome = InstallerOutcome::kCancelled;
    } else if (error_) {
      result.outcome = InstallerOutcome::kError;
    } else if (reboot_) {
      result.outcome = InstallerOutcome::kSuccessRebootNeeded;
    } else {
      result.outcome = InstallerOutcome::kSuccess;
    }
    return result;
  }

  // ---- The installer's thread ----

  int ShowInstallerBox(const std::string& text, unsigned style) override {
    return env_.ui.ShowMessageBox(env_.owner, text, title_, style);
  }

  bool ReportProgress(std::int32_t position, std::int32_t total, std::int32_t minimum,
                      const std::string& text) override {
    env_.ui.SetProgress(text, position, total, minimum);
    return rollingBack_ || !progress_->CancelRequested();
  }

  int OnInstallerMessage(std::uint32_t type, const std::string& text) override {
    return handler_->Handle(type, text);
  }

 private:
  void Work(WorkerProgress& progress) {
    progress_ = &progress;
    const InstallerFolders folders = PrepareFolders();
    const std::vector<std::string> variables = ReadListText(inputs_.variables);
    if (const std::string* silent = ValueOf(variables, "SILENT")) {
      quiet_ = common::ToUpperAscii(*silent) == "TRUE";
    }
    if (const std::string* title = ValueOf(variables, "TITLE")) title_ = *title;
    const std::string handOff = inputs_.tempFolder + inputs_.productCode;
    if (!env_.system.ReplaceFileText(
            handOff, HandOffText(folders, inputs_.actions, inputs_.properties, variables))) {
      env_.system.Trace("installer run: the hand-off file " + handOff + " could not be written");
    }
    env_.ui.SetProgress("Starting Windows Installer", 100, 100, 0);
    if (!inputs_.pending.empty() &&
        !env_.system.WriteDatabaseProperties(inputs_.database, inputs_.pending)) {
      env_.system.Trace("installer run: the properties could not be written into " +
                        inputs_.database);
    }
    const bool installed = env_.system.ProductState(inputs_.productCode) == kProductInstalled;
    if (!progress.CancelRequested()) RunSession(folders, installed);
    stopped_ = progress.CancelRequested();
    if (stopped_ && inputs_.install && !installed && !error_) RollBack(folders);

    if (error_ && errorText_.empty()) {
      errorText_ = !lastError_.empty() ? lastError_ : env_.messages.Get(msg::kGeneralSetupFailure);
      const std::size_t stop = errorText_.find('.');
      if (stop != std::string::npos && stop + 1 == errorText_.size()) errorText_.pop_back();
    }
    env_.system.DeleteFileAt(handOff);
  }

  InstallerFolders PrepareFolders() {
    InstallerFolders folders;
    const std::string databaseFolder(common::FolderPart(inputs_.database));
    const std::string shortDatabase = env_.system.ShortPathOf(databaseFolder);
    folders.database =
        shortDatabase.empty() ? databaseFolder : common::WithTrailingBackslash(shortDatabase);
    folders.quoteDatabase = shortDatabase.empty() || shortDatabase.find(' ') != std::string::npos;

    folders.data = inputs_.dataFolder;
    env_.system.CreateFolders(folders.data);
    if (env_.system.KindOf(folders.data) == PathKind::kFolder) {
      const std::string shortData = env_.system.ShortPathOf(folders.data);
      if (!shortData.empty()) folders.data = common::WithTrailingBackslash(shortData);
      folders.quoteData = shortData.empty() || shortData.find(' ') != std::string::npos;
    }
    folders.media = MediaPathOf(folders.data);
    return folders;
  }

  void RunSession(const InstallerFolders& folders, bool installed) {
    InstallerSession session;
    session.database = inputs_.database;
    if (!inputs_.logPath.empty()) {
      env_.system.CreateFolders(std::string(common::FolderPart(inputs_.logPath)));
      const std::string header = LogHeaderText(env_.system.LocalDateTime(), inputs_, folders);
      if (env_.system.WriteLogText(inputs_.logPath, header)) {
        session.logPath = inputs_.logPath;
      } else {
        env_.system.Trace("installer run: the log " + inputs_.logPath + " could not be written");
      }
    }
    const std::vector<std::string> variables = ReadListText(inputs_.variables);
    const std::string* allUsersValue = ValueOf(variables, "ALLUSERS");
    const bool allUsers = allUsersValue != nullptr && *allUsersValue == "TRUE";
    session.install = inputs_.install;
    if (inputs_.install) {
      session.commandLine = InstallCommandLine(installed, allUsers, folders);
    } else {
      session.removalProperties = RemovalProperties(allUsers, folders);
    }

    InstallerMessageHandler handler(env_.messageState, env_.messages, quiet_, *this);
    handler_ = &handler;
    const InstallerSessionResult result = env_.system.RunInstallerSession(session, *this);
    lastError_ = handler.LastError();
    handler_ = nullptr;
    if (!result.ran) {
      error_ = true;
      errorText_ = result.failure;
    } else if (result.code == kRebootRequired || result.code == kRebootInitiated) {
      reboot_ = inputs_.install;
      error_ = !inputs_.install;
    } else if (result.code != 0) {
      error_ = true;
    } else if (!inputs_.install && result.rebootPending) {
      reboot_ = true;
    }
    if (error_ && result.ran) errorText_ = env_.system.SystemErrorText(result.code);
  }

  // An installer that finishes although it was told to cancel (Wine's does
  // not stop) has installed a product the user did not want: it is removed
  // again, so that the cancelled run leaves nothing behind. Nothing is
  // cancelled while that runs. A product that was installed before the run
  // stays.
  void RollBack(const InstallerFolders& folders) {
    env_.system.Trace("installer run: cancelled, but the installer finished; removing the product");
    rollingBack_ = true;
    InstallerSession session;
    session.database = inputs_.database;
    session.install = false;
    const std::vector<std::string> variables = ReadListText(inputs_.variables);
    const std::string* allUsers = ValueOf(variables, "ALLUSERS");
    session.removalProperties =
        RemovalProperties(allUsers != nullptr && *allUsers == "TRUE", folders);
    InstallerMessageHandler handler(env_.messageState, env_.messages, true, *this);
    handler_ = &handler;
    const InstallerSessionResult result = env_.system.RunInstallerSession(session, *this);
    handler_ = nullptr;
    rollingBack_ = false;
    if (!result.ran || result.code != 0) {
      error_ = true;
      rollbackFailed_ = true;
      errorText_ = result.ran ? env_.system.SystemErrorText(result.code) : result.failure;
      env_.system.Trace("installer run: the product could not be removed again: " + errorText_);
    }
  }

  const InstallerInputs& inputs_;
  InstallerEnvironment& env_;
  bool rollingBack_ = false;
  bool rollbackFailed_ = false;
  WorkerProgress* progress_ = nullptr;
  InstallerMessageHandler* handler_ = nullptr;
  bool quiet_ = false;
  std::string title_;
  bool stopped_ = false;
  bool error_ = false;
  bool reboot_ = false;
  std::string errorText_;
  std::string lastError_;
};

}  // namespace

InstallerResult RunInstaller(const InstallerInputs& inputs, InstallerEnvironment& environment) {
  Run run(inputs, environment);
  return run.Execute();
}

std::string MediaPathOf(std::string_view dataFolder) {
  std::string folder = common::WithoutTrailingBackslash(std::string(dataFolder));
  folder = std::string(common::FolderPart(folder));
  return folder.substr(std::min(folder.size(), common::DriveLength(folder)));
}

std::string HandOffText(const InstallerFolders& folders, const std::vector<std::string>& actions,
                        const std::vector<std::string>& properties,
                        const std::vector<std::string>& variables) {
  std::string text;
  AddLine(text, "SourceDir");
  AddLine(text, folders.data);
  AddLine(text, "MEDIAPACKAGEPATH");
  AddLine(text, folders.media);
  for (std::size_t i = 0; i < actions.size(); ++i) {
    AddLine(text, "ACTION" + std::to_string(i + 1));
    AddLine(text, actions[i]);
  }
  for (std::size_t i = 0; i + 1 < properties.size(); i += 2) {
    AddLine(text, properties[i]);
    AddLine(text, CollapseBackslashPairs(properties[i + 1]));
  }
  for (std::size_t i = 0; i + 1 < variables.size(); i += 2) {
    if (!common::EqualsIgnoringAsciiCase(variables[i], "TARGETDIR")) continue;
    AddLine(text, variables[i]);
    AddLine(text, CollapseBackslashPairs(variables[i + 1]));
    break;
  }
  return text;
}

std::string LogHeaderText(std::string_view dateTime, const InstallerInputs& inputs,
                          const InstallerFolders& folders) {
  std::string text;
  AddLine(text, "=== Tavrel: Applying Changes @" + std::string(dateTime) + " ===");
  AddLine(text, "");
  const auto section = [&](std::string_view title, std::string_view content) {
    AddLine(text, title);
    AddLine(text, content);
    AddLine(text, "");
  };
  section("*** Variables ***", inputs.variables);
  section("*** Properties ***", WriteListText(inputs.properties));
  section("*** Actions ***", WriteListText(inputs.actions));
  section("*** MSI Database ***", inputs.database);
  section("*** GUID ***", inputs.productCode);
  section("*** Data Directory ***", folders.data);
  section("*** Media Directory ***", folders.media);
  section("*** MSI Directory ***", folders.database);
  AddLine(text, "");
  return text;
}

std::string SourceList(const InstallerFolders& folders) {
  return Quoted(folders.data + ";" + folders.database, folders.quoteData || folders.quoteDatabase);
}

std::string InstallCommandLine(bool installed, bool allUsers, const InstallerFolders& folders) {
  std::string line = installed ? "REINSTALL=ALL REINSTALLMODE=vomus " : "ADDLOCAL=ALL ";
  line += allUsers ? "ALLUSERS=1 " : "ALLUSERS=\"\" ";
  line += "ARPSYSTEMCOMPONENT=1 ARPNOREMOVE=1 ARPNOMODIFY=1 ARPNOREPAIR=1 ";
  line += "SRCDIR=" + Quoted(folders.data, folders.quoteData) + " ";
  line += "SOURCELIST=" + SourceList(folders) + " ";
  line += "MEDIAPACKAGEPATH=" + Quoted(folders.media, folders.quoteData) + " ";
  line += "REBOOT=R ";
  return line;
}

std::vector<std::pair<std::string, std::string>> RemovalProperties(
    bool allUsers, const InstallerFolders& folders) {
  return {{"ALLUSERS", allUsers ? "1" : ""},
          {"REMOVE", "ALL"},
          {"SRCDIR", Quoted(folders.data, folders.quoteData)},
          {"SOURCELIST", SourceList(folders)},
          {"MEDIAPACKAGEPATH", Quoted(folders.media, folders.quoteData)},
          {"REBOOT", "R"}};
}

}  // namespace tavrel
