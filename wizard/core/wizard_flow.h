// The wizard's page flow: which page shows, what each page checks when the
// author moves on, where Back leads, the default output paths taken when the
// advanced settings are skipped, the package name watch of the name page,
// the Ready page's save and build, and what follows the end of a build. The
// window keeps its controls and this flow's settings in step; the system is
// reached through WizardPort.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wizard/core/project_settings.h"

namespace ombrwiz {

enum WizardPage : int {
  kWelcomePage = 1,
  kNamePage,
  kBasicPage,
  kFilesPage,
  kAdvancedChoicePage,
  kMultiPartPage,
  kSilentPage,
  kSpacePage,
  kDeliveryPage,
  kSignPage,
  kOpenCommandPage,
  kOutputPage,
  kReadyPage,
  kBuildingPage,
  kFinishPage,
};
inline constexpr int kPageCount = 15;

class WizardPort {
 public:
  virtual ~WizardPort() = default;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool FolderExists(const std::string& path) = 0;
  // Free bytes on the drive of a path; nullopt when unknown.
  virtual std::optional<std::uint64_t> FreeBytes(const std::string& path) = 0;
  // Creates a folder and its parents; true when it exists afterwards.
  virtual bool CreateFolders(const std::string& path) = 0;
  // Documents\My Packages\, with its trailing backslash.
  virtual std::string MyPackagesFolder() = 0;
  virtual std::optional<ProjectSettings> LoadProject(const std::string& path) = 0;
  // Writes the project file named by settings.project.
  virtual bool SaveProject(const ProjectSettings& settings) = 0;
  // The project recorded for a package name; empty when none is.
  virtual std::string ProjectOfPackage(const std::string& name) = 0;
  virtual void RecordKnownPackage(const std::string& name, const std::string& project) = 0;
  // An error box holding a page's complaint.
  virtual void ShowError(const std::string& text) = 0;
  // A question whose Yes ends the wizard; true for Yes.
  virtual bool AskToExit(const std::string& text) = 0;
  // Starts the build of the settings; false when they do not pass the
  // build's checks (nothing was started).
  virtual bool StartBuild(const ProjectSettings& settings) = 0;
  // Test, e-mail and explore, as the author ticked them.
  virtual void RunAfterBuildActions() = 0;
};

// What the window does after a step of the flow.
enum class FlowResult {
  kStay,      // the page stays (a check failed or nothing changed)
  kShowPage,  // show Page()
  kBuilding,  // a build was started; Page() is the progress page
  kEnd,       // the wizard ends
};

class WizardFlow {
 public:
  WizardFlow(WizardPort& port, std::string firstLanguage);

  int Page() const { return page_; }
  ProjectSettings& Settings() { return settings_; }
  const ProjectSettings& Settings() const { return settings_; }
  void SetFirstLanguage(std::string language) { firstLanguage_ = std::move(language); }

  // The name page's "Build Package Immediately": offered when the typed
  // name's project loaded and names a package file.
  bool DirectOffered() const { return directOffered_; }
  bool direct = false;
  // The Ready page's ticks.
  bool make = true;
  bool save = true;
  bool MakeAllowed() const { return !settings_.saveAs.empty(); }
  bool SaveAllowed() const { return !settings_.project.empty(); }

  // Starts on a page (the command line may send the wizard to the name page).
  void StartAt(int page) { page_ = page; }
  // After "$ADDTOPACKAGE$": names typed on the name page load no project
  // until that page has been left once, so the added files stay.
  void HoldProjectLoads() { holdLoads_ = true; }

  // The package name watch: called with the typed name (every 100 ms on the
  // name page). True when the settings were replaced and the window must
  // show them again.
  bool WatchName(const std::string& typed);

  FlowResult Next();
  FlowResult Back();
  // The build has stopped: what the wizard shows next.
  FlowResult BuildEnded(bool succeeded, bool cancelledByAuthor);

 private:
  bool CheckPage();
  FlowResult LeaveNamePage();
  FlowResult SkipAdvanced();
  bool CheckOutputPaths();
  FlowResult Ready();
  bool PathIsValid(const std::string& path);

  WizardPort& port_;
  std::string firstLanguage_;
  ProjectSettings settings_;
  int page_ = kWelcomePage;
  std::string lastSeenName_;
  bool seenAnyName_ = false;
  bool directOffered_ = false;
  bool fresh_ = false;
  bool holdLoads_ = false;
};

// The path with `extension` (".exe") appended unless its extension already
// is that one, compared in lower case.
std::string WithExtension(std::string_view path, std::string_view extension);

}  // namespace ombrwiz
