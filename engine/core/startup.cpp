#include "engine/core/startup.h"

#include <exception>

#include "common/paths.h"
#include "engine/core/command_table.h"

namespace tavrel {

namespace {

// Deletes a temporary file when start-up is done with it, however it ends.
class TemporaryFile {
 public:
  TemporaryFile(StartupPlatform& platform, std::string path)
      : platform_(platform), path_(std::move(path)) {}
  ~TemporaryFile() { platform_.RemoveFile(path_); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  StartupPlatform& platform_;
  std::string path_;
};

void DeleteFolderContents(StartupPlatform& platform, const std::string& folder) {
  for (const auto& entry : platform.ListFolder(folder)) {
    const std::string path = folder + entry.name;
    if (entry.isFolder) {
      DeleteFolderContents(platform, path + "\\");
      platform.RemoveFolder(path);
    } else {
      platform.RemoveFile(path);
    }
  }
}

class Startup {
 public:
  explicit Startup(StartupServices services)
      : platform_(services.platform),
        windows_(services.windows),
        dialogs_(services.dialogs),
        interpreter_(services.interpreter),
        messages_(services.messages) {}

  void Run() {
    try {
      Prepare();
    } catch (const std::exception& error) {
      ReportRuntimeError(error.what());
    } catch (...) {
      ReportRuntimeError("unexpected failure");
    }
    CloseWindows();
    if (!state_.supportFolder.empty() && platform_.FolderExists(state_.supportFolder)) {
      RemoveSupportFolder(platform_, state_.supportFolder);
      platform_.Trace("support folder removed");
    }
    platform_.Trace("exit 0");
  }

 private:
  // Every file start-up makes lies below it, so it must be absolute: should
  // the system name no temporary folder, the root of the current drive
  // stands in (a relative folder would move with the current folder).
  std::string TempFolder() {
    const std::string folder = common::WithTrailingBackslash(platform_.TempFolder());
    return folder.empty() ? "\\" : folder;
  }

  // Returns early, without an exception, where start-up ends after a message.
  void Prepare() {
    const EngineLocation location = LocateEngine(platform_.ExecutablePath());
    state_.engineFolder = location.folder;
    state_.setupName = location.setupName;
    state_.tempFolder = TempFolder();
    platform_.CreateFolders(state_.tempFolder);
    platform_.Trace("engine folder: " + state_.engineFolder);
    platform_.Trace("setup name: " + state_.setupName);
    platform_.Trace("temp folder: " + state_.tempFolder);

    ReadLanguageFile();

    const std::string archive = state_.engineFolder + state_.setupName + ".res";
    state_.restOfCommandLine = RestOfCommandLine(platform_.CommandLine());
    const std::vector<std::string> arguments = platform_.Arguments();
    state_.commandLine = ParseArguments(arguments);
    TraceCommandLine();

    if (!CommonControlsUsable()) return;
    if (!state_.commandLine.silent) OpenWindows();
    if (!ReadScript()) return;
    state_.supportFolder = NextSupportFolder(platform_, state_.tempFolder);
    platform_.Trace("support folder: " + state_.supportFolder);
    if (!UnpackResources(archive)) return;
    state_.dataFolder = state_.engineFolder + "data\\";
    LoadDialogs();
    CloseWindows();

    const std::string database = state_.supportFolder + state_.setupName + ".msi";
    platform_.Trace("interpreter: " + std::to_string(state_.script.CommandCount()) + " commands");
    interpreter_.Run(state_, database);
    platform_.Trace("interpreter returned");
  }

  void ReadLanguageFile() {
    const std::string library = state_.engineFolder + "tvl.dll";
    const auto imageEnd = platform_.LibraryImageEnd(library);
    if (!imageEnd || !platform_.FileExists(library) || platform_.FileSize(library) <= *imageEnd) {
      platform_.Trace("language file: none");
      return;
    }
    TemporaryFile languageFile(platform_, state_.tempFolder + "lang.loc");
    platform_.CopyFileTail(library, *imageEnd, languageFile.Path());
    messages_.ReadLanguageFile(platform_.ReadFile(languageFile.Path()));
    platform_.Trace("language file: read");
  }

  void TraceCommandLine() {
    const auto& settings = state_.commandLine;
    platform_.Trace("rest of command line: " + state_.restOfCommandLine);
    platform_.Trace(std::string("silent: ") + (settings.silent ? "yes" : "no"));
    platform_.Trace("package path: " + settings.packagePath);
    platform_.Trace("log path: " + settings.logPath);
    for (const auto& assignment : settings.assignments) {
      platform_.Trace("assignment: " + assignment.name + "=" + assignment.value);
    }
  }

  // Version 4 of the common controls before 4.72 lacks what the wizard uses.
  bool CommonControlsUsable() {
    const FileVersion version =
        platform_.GetFileVersion(common::JoinPath(platform_.SystemFolder(), "comctl32.dll"));
    platform_.Trace("comctl32 version: " + std::to_string(version.major) + "." +
                    std::to_string(version.minor));
    if (version.major == 4 && version.minor < 72) {
      ShowError(messages_.Get(msg::kCommonControlsUpdate), 0);
      return false;
    }
    return true;
  }

  void OpenWindows() {
    windows_.Create();
    windowsOpen_ = true;
    const Size screen = windows_.ScreenSize();
    const Size preparing = windows_.PreparingWindowSize();
    Point at = CentreOnScreen(preparing, screen);
    const std::string picture = state_.engineFolder + "setup.bmp";
    if (platform_.FileExists(picture)) {
      if (const auto splash = windows_.LoadSplashPicture(picture)) {
        const Point splashAt = CentreOnScreen(*splash, screen);
        windows_.ShowSplashAt(splashAt);
        at = PlaceBelowSplash(splashAt, *splash, preparing, screen);
      }
    }
    windows_.ShowPreparingAt(at, messages_.Get(msg::kWizardCaption),
                             messages_.Get(msg::kPreparingText));
  }

  void CloseWindows() {
    if (!windowsOpen_) return;
    windows_.Destroy();
    windowsOpen_ = false;
  }

  WindowRef Owner() { return windowsOpen_ ? windows_.PreparingWindow() : 0; }

  bool ReadScript() {
    const std::string executable = platform_.ExecutablePath();
    const auto imageEnd = platform_.ExecutableImageEnd();
    if (!imageEnd || platform_.FileSize(executable) <= *imageEnd) {
      ShowError(std::string(kNoOverlayText), Owner());
      return false;
    }
    {
      TemporaryFile scriptFile(platform_, state_.tempFolder + "tvl.tmp");
      platform_.CopyFileTail(executable, *imageEnd, scriptFile.Path());
      state_.script = ParseCompiledScript(platform_.ReadFile(scriptFile.Path()));
    }
    // The block moves into the lookup list; later blocks may join it.
    state_.parameters.Add(ParameterBlock(std::move(state_.script.parameterBlock)));
    state_.script.parameterBlock.clear();
    platform_.Trace("script: " + std::to_string(state_.script.CommandCount()) +
                    " commands, title " + state_.script.title);
    return true;
  }

  bool UnpackResources(const std::string& archive) {
    if (!platform_.FileExists(archive)) {
      ShowError(messages_.Get(msg::kSetupResourceNotFound), Owner());
      return false;
    }
    if (!platform_.ExtractArchive(archive, state_.supportFolder)) {
      ShowError(messages_.Get(msg::kSetupResourceDecompressionFailure), Owner());
      return false;
    }
    const std::string database = state_.engineFolder + state_.setupName + ".msi";
    if (!platform_.FileExists(database)) {
      ShowError(messages_.Get(msg::kSetupDatabaseNotFound), Owner());
      return false;
    }
    platform_.CopyFileNormal(database, state_.supportFolder + state_.setupName + ".msi");
    std::string contents;
    for (const auto& entry : platform_.ListFolder(state_.supportFolder)) {
      contents += (contents.empty() ? "" : ", ") + entry.name + (entry.isFolder ? "\\" : "");
    }
    platform_.Trace("support folder holds: " + contents);
    return true;
  }

  void LoadDialogs() {
    const CompiledScript& script = state_.script;
    std::vector<std::size_t> dialogCommands;
    for (std::size_t i = 0; i < script.CommandCount(); ++i) {
      const CommandEntry* entry = CommandTable::Standard().Find(script.commandNames[i]);
      if (entry != nullptr && entry->role == CommandRole::kDialog && !script.IsCommentedOut(i)) {
        dialogCommands.push_back(i);
      }
    }
    platform_.Trace("dialogs: " + std::to_string(dialogCommands.size()));
    if (windowsOpen_) windows_.SetProgress(0, static_cast<int>(dialogCommands.size()), 1);
    dialogs_.InitDialogs(state_.supportFolder, state_.commandLine.silent);
    for (const std::size_t i : dialogCommands) {
      const std::string& name = state_.Parameter(i, 1);
      dialogs_.LoadDialog(std::to_string(i), state_.supportFolder + name + ".dfm");
      if (windowsOpen_) windows_.StepProgress();
    }
  }

  void ShowError(const std::string& text, WindowRef owner) {
    platform_.Trace("message: " + text);
    // The script may have changed the setting ("Set Variable SILENT").
    if (!state_.commandLine.silent) platform_.ShowError(text, owner);
  }

  void ReportRuntimeError(const std::string& what) {
    ShowError(messages_.Get(msg::kRuntimeErrorInInstall) + what, 0);
  }

  StartupPlatform& platform_;
  StartupWindows& windows_;
  DialogRuntime& dialogs_;
  ScriptInterpreter& interpreter_;
  MessageTable& messages_;
  EngineState state_;
  bool windowsOpen_ = false;
};

}  // namespace

EngineLocation LocateEngine(std::string_view executablePath) {
  const std::size_t slash = executablePath.find_last_of("\\/");
  const std::string_view folder =
      slash == std::string_view::npos ? std::string_view() : executablePath.substr(0, slash + 1);
  std::string_view name =
      slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  // The folder ends in the separator it was cut at; the engine writes '\'.
  std::string folderText(folder);
  if (!folderText.empty()) folderText.back() = '\\';
  return {folderText, std::string(name)};
}

std::string NextSupportFolder(StartupPlatform& platform, const std::string& tempFolder) {
  for (unsigned long n = 1;; ++n) {
    const std::string folder = tempFolder + "tvl" + std::to_string(n);
    // A plain file of the name is skipped too: no folder can be made over it.
    if (platform.FolderExists(folder) || platform.FileExists(folder)) continue;
    platform.CreateFolders(folder);
    return folder + "\\";
  }
}

void RemoveSupportFolder(StartupPlatform& platform, const std::string& folder) {
  // An empty name is no folder; it must never come to stand for a root.
  if (folder.empty()) return;
  const std::string withSlash = common::WithTrailingBackslash(folder);
  for (int pass = 0; pass < 3; ++pass) {
    if (!platform.FolderExists(withSlash)) break;
    DeleteFolderContents(platform, withSlash);
    platform.RemoveFolder(withSlash);
  }
}

int RunEngine(StartupServices services) {
  Startup(services).Run();
  return 0;
}

}  // namespace tavrel
