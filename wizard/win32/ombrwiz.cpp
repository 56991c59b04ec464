// ombrwiz: the package wizard. Reads its program folder's data files, then
// follows its command line: "$PACKIT$" and "$MAILIT$" pack the files and
// folders they name ("$MAILIT$" then mails the package), a project file
// followed by "$MAKE$" is built at once.
// Those unattended runs show no window and end with exit code 0 (success)
// or 1 (failure). Anything else opens the wizard's window: on its first page,
// or on the package name page with an opened project or added files.
#include <windows.h>
// Common controls after the Windows types.
#include <commctrl.h>

#include <string>
#include <vector>

#include "wizard/core/build_settings.h"
#include "wizard/core/output_paths.h"
#include "wizard/core/package_build.h"
#include "wizard/core/project_file.h"
#include "wizard/core/wizard_command_line.h"
#include "wizard/win32/after_build.h"
#include "wizard/win32/build_run.h"
#include "wizard/win32/ombrell_window.h"
#include "wizard/win32/program_folder.h"
#include "wizard/win32/win32_build_system.h"
#include "wizard/win32/win32_files.h"
#include "wizard/win32/win32_simple_mapi.h"
#include "wizard/win32/wizard_boxes.h"

namespace ombrwiz {
namespace {

void Box(const std::string& text, UINT style) {
  Trace("box: " + text);
  MessageBoxA(nullptr, text.c_str(), kBoxCaption, MB_OK | MB_TASKMODAL | style);
}

constexpr UINT kInterfaceTimerMs = 314;

// Runs one build while this thread keeps the message loop (and with it the
// child-process runner) going; the interface timer notices the end. True
// when the package was made.
bool Build(const BuildSettings& settings) {
  BuildRun run(settings, false);
  if (!run.Started()) return false;
  const UINT_PTR timer = SetTimer(nullptr, 0, kInterfaceTimerMs, nullptr);
  MSG message;
  for (;;) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      // Asked to quit: stop the build and wait for it.
      run.Progress().userCancel = true;
      run.Progress().stop = true;
      break;
    }
    if (message.message == WM_TIMER && message.hwnd == nullptr) {
      if (run.Progress().stop.load()) break;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  KillTimer(nullptr, timer);
  return run.Finish();
}

// An unattended build of a project: exit code 0 after success, 1 after failure.
int BuildUnattended(const ProjectSettings& project, const ProgramFiles& files,
                    const AfterBuild& after, bool reportFailure) {
  const BuildSettings settings = MakeBuildSettings(project, files.Folder());
  const PathQueries queries{&FileExists, &FolderExists, &FreeBytesOf};
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
  RunAfterBuildActions(settings.packagePath, settings.packageName, after, nullptr);
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
      // The Ready page's first step, as the author's "Save" tick says; the
      // question after a failed save counts as Yes: the wizard ends.
      if (preferences.save) {
        if (!WriteWholeFile(project.project, ProjectFileText(project))) {
          Trace("question: Unable to save project file. Please check your disk and permissions.");
          return 1;
        }
        files.RecordKnownPackage(project.packageName, project.project);
      }
      AfterBuild after;
      after.test = preferences.test;
      after.email = request.kind == WizardRequestKind::kMailIt;
      after.explore = request.kind == WizardRequestKind::kPackIt;
      return BuildUnattended(project, files, after, true);
    }
    case WizardRequestKind::kOpenProject: {
      WizardStart start;
      ProjectSettings reset;
      ResetSettings(reset, firstLanguage);
      if (auto project = LoadProject(request.projectPath, languages)) {
        files.RecordKnownPackage(project->packageName, request.projectPath);
        start.page = 2;
        start.project = std::move(project);
      } else {
        // The wizard goes on with fresh settings.
        Box("Selected project file is invalid.", MB_ICONERROR);
        start.project = reset;
      }
      return RunWizardWindow(files, start);
    }
    case WizardRequestKind::kAddToPackage: {
      WizardStart start;
      start.page = 2;
      start.addedFiles = request.files;
      start.holdProjectLoads = true;
      return RunWizardWindow(files, start);
    }
    case WizardRequestKind::kNone:
      break;
  }
  return RunWizardWindow(files, WizardStart{});
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
