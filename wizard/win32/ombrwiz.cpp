// ombrwiz: the package wizard. Reads its program folder's data files, then
// follows its command line: "$PACKIT$" and "$MAILIT$" pack the files and
// folders they name ("$MAILIT$" then mails the package), a project file
// followed by "$MAKE$" is built at once.
// Those unattended runs show no window and end with exit code 0 (success)
// or 1 (failure).
#include <windows.h>
// Common controls after the Windows types.
#include <commctrl.h>

#include <string>
#include <vector>

#include "common/win32/handle_owner.h"
#include "wizard/core/build_settings.h"
#include "wizard/core/mail_request.h"
#include "wizard/core/output_paths.h"
#include "wizard/core/package_build.h"
#include "wizard/core/project_file.h"
#include "wizard/core/wizard_command_line.h"
#include "wizard/win32/package_mailing.h"
#include "wizard/win32/program_folder.h"
#include "wizard/win32/redirector.h"
#include "wizard/win32/win32_build_system.h"
#include "wizard/win32/win32_files.h"
#include "wizard/win32/win32_simple_mapi.h"

namespace ombrwiz {
namespace {

constexpr const char* kCaption = "Quorvane Ombrell";
constexpr UINT kInterfaceTimerMs = 314;

void Box(const std::string& text, UINT style) {
  Trace("box: " + text);
  MessageBoxA(nullptr, text.c_str(), kCaption, MB_OK | MB_TASKMODAL | style);
}

struct AfterBuild {
  bool test = false;
  bool email = false;
  bool explore = false;
};

DWORD WINAPI BuildThread(LPVOID parameter) {
  static_cast<Action*>(parameter)->Execute();
  return 0;
}

// Runs one build on its own thread while this thread keeps the message loop
// (and with it the child-process runner) going; the interface timer notices
// the end. True when the package was made.
bool Build(const BuildSettings& settings) {
  TRedirector runner;
  runner.SetKillOnDestroy(true);
  runner.SetInterval(100);
  Win32BuildSystem system(runner, false);
  BuildProgress progress;
  Action action(settings, system, progress);

  const common::KernelHandle owned(
      CreateThread(nullptr, 0, BuildThread, &action, CREATE_SUSPENDED, nullptr));
  if (!owned) {
    Trace("error: the build thread could not be started");
    return false;
  }
  const HANDLE thread = owned.Get();
  SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
  const UINT_PTR timer = SetTimer(nullptr, 0, kInterfaceTimerMs, nullptr);
  ResumeThread(thread);

  MSG message;
  for (;;) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      // Asked to quit: stop the build and wait for it.
      progress.userCancel = true;
      progress.stop = true;
      progress.Terminate();
      break;
    }
    if (message.message == WM_TIMER && message.hwnd == nullptr) {
      if (progress.stop.load()) {
        progress.Terminate();
        break;
      }
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  KillTimer(nullptr, timer);
  // The runner's window must keep answering while the thread ends.
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  progress.stop = false;
  Trace(progress.success.load() ? "build succeeded" : "build failed");
  return progress.success.load();
}

void RunAfterBuildActions(const BuildSettings& settings, const AfterBuild& after) {
  if (after.test) WinExec(settings.packagePath.c_str(), SW_SHOWNORMAL);
  bool mailing = false;
  if (after.email) {
    // No wizard window to hide in an unattended run.
    StartMailing(MakeMailRequest(settings.packageName, settings.packagePath,
                                 [](const std::string& path) { return FileExists(path); }),
                 nullptr);
    mailing = true;
  }
  if (after.explore) {
    const std::string folder = SplitPath(settings.packagePath).folder;
    const std::string command = "explorer.exe \"" + folder + "\"";
    Trace("explore: " + command);
    WinExec(command.c_str(), SW_SHOWNORMAL);
  }
  if (mailing) WaitForMailing();
}

// An unattended build of a project: exit code 0 after success, 1 after failure.
int BuildUnattended(const ProjectSettings& project, const ProgramFiles& files,
                    const AfterBuild& after, bool reportFailure) {
  const BuildSettings settings = MakeBuildSettings(project, files.Folder());
  const PathQueries queries{[](const std::string& path) { return FileExists(path); },
                            [](const std::string& path) { return FolderExists(path); },
                            [](const std::string& path) { return FreeBytesOf(path); }};
  if (!BuildSettingsAreValid(settings, project, queries)) {
    // Unattended, the question counts as answered Yes: the wizard ends.
    Trace("question: Some project settings are invalid. Please review your project settings.");
    if (reportFailure) {
      Box("Packaging failed! Please start Ombrell Wizard and try to manually create your package.",
          MB_ICONERROR);
    }
    return 1;
  }
  if (!Build(settings)) {
    if (reportFailure) {
      Box("Packaging failed! Please start Ombrell Wizard and try to manually create your package.",
          MB_ICONERROR);
    }
    return 1;
  }
  RunAfterBuildActions(settings, after);
  return 0;
}

std::optional<ProjectSettings> LoadProject(const std::string& path,
                                           const std::vector<std::string>& languages) {
  const auto text = ReadWholeFile(path);
  if (!text) return std::nullopt;
  return ParseProjectFile(*text, languages);
}

int Follow(const std::vector<std::string>& arguments) {
  LoadSimpleMapi();
  ProgramFiles files(ProgramFolder());
  files.FirstRun();
  const InterfacePreferences preferences = files.LoadPreferences();
  const std::vector<std::string> languages = files.Languages();
  const std::string firstLanguage = languages.empty() ? std::string() : languages.front();

  const WizardRequest request = ParseWizardCommandLine(
      arguments, [](const std::string& path) { return FileExists(path); },
      [](const std::string& path) { return FolderExists(path); });

  switch (request.kind) {
    case WizardRequestKind::kMakeProject: {
      const auto project = LoadProject(request.projectPath, languages);
      if (!project) {
        Box("Selected project file is invalid.", MB_ICONERROR);
        return 1;
      }
      files.RecordKnownPackage(project->packageName, request.projectPath);
      return BuildUnattended(*project, files, AfterBuild{}, false);
    }
    case WizardRequestKind::kPackIt:
    case WizardRequestKind::kMailIt: {
      ProjectSettings project;
      ResetSettings(project, firstLanguage);
      project.packageName = request.packageName;
      project.files = request.files;
      const std::string myPackages = files.MyPackagesFolder();
      project.saveAs = DefaultPackagePath(myPackages, project.packageName);
      project.project = DefaultProjectPath(myPackages, project.packageName);
      CreateFolders(SplitPath(project.saveAs).folder);
      AfterBuild after;
      after.test = preferences.test;
      after.email = request.kind == WizardRequestKind::kMailIt;
      after.explore = request.kind == WizardRequestKind::kPackIt;
      return BuildUnattended(project, files, after, true);
    }
    case WizardRequestKind::kOpenProject: {
      const auto project = LoadProject(request.projectPath, languages);
      if (!project) {
        Box("Selected project file is invalid.", MB_ICONERROR);
        return 1;
      }
      files.RecordKnownPackage(project->packageName, request.projectPath);
      break;
    }
    case WizardRequestKind::kAddToPackage:
    case WizardRequestKind::kNone:
      break;
  }
  Box("The Ombrell Wizard window is not available in this version. Build a package with:\r"
      "ombrwiz.exe $PACKIT$ <files and folders>\r"
      "ombrwiz.exe <project file> $MAKE$",
      MB_ICONINFORMATION);
  return 0;
}

// The wizard's failures are values; an exception reaching this far is a
// fault, reported once, and the run ends as a failed one.
int Run(const std::vector<std::string>& arguments) {
  try {
    return Follow(arguments);
  } catch (const std::exception& error) {
    Box(std::string("Ombrell Wizard has to stop: ") + error.what(), MB_ICONERROR);
    return 1;
  }
}

}  // namespace
}  // namespace ombrwiz

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  InitCommonControls();
  std::vector<std::string> arguments;
  for (int i = 1; i < __argc; ++i) arguments.emplace_back(__argv[i]);
  return ombrwiz::Run(arguments);
}
