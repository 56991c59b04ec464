#include "wizard/core/wizard_flow.h"

#include "common/ascii_case.h"
#include "common/paths.h"
#include "wizard/core/build_settings.h"
#include "wizard/core/output_paths.h"

namespace ombrwiz {

namespace {

// The package name as a file name would keep it, before any fallback: what
// is left without the characters a file name cannot hold and trailing blanks.
bool NameHasUsableCharacters(std::string_view name) {
  std::string kept;
  for (const char c : name) {
    if (std::string_view("\"*/:<>?\\|").find(c) == std::string_view::npos &&
        static_cast<unsigned char>(c) >= 0x20) {
      kept += c;
    }
  }
  return kept.find_first_not_of(' ') != std::string::npos;
}

}  // namespace

std::string WithExtension(std::string_view path, std::string_view extension) {
  const std::string_view name = common::NamePart(path);
  const auto dot = name.find_last_of('.');
  const std::string_view current = dot == std::string_view::npos ? "" : name.substr(dot);
  std::string result(path);
  if (common::ToLowerAscii(current) != common::ToLowerAscii(extension)) result += extension;
  return result;
}

WizardFlow::WizardFlow(WizardPort& port, std::string firstLanguage)
    : port_(port), firstLanguage_(std::move(firstLanguage)) {
  ResetSettings(settings_, firstLanguage_);
}

bool WizardFlow::PathIsValid(const std::string& path) {
  const PathQueries queries{[this](const std::string& p) { return port_.FileExists(p); },
                            [this](const std::string& p) { return port_.FolderExists(p); },
                            [this](const std::string& p) { return port_.FreeBytes(p); }};
  return ombrwiz::PathIsValid(path, queries);
}

bool WizardFlow::WatchName(const std::string& typed) {
  if (seenAnyName_ && typed == lastSeenName_) return false;
  seenAnyName_ = true;
  lastSeenName_ = typed;
  settings_.packageName = typed;
  directOffered_ = false;
  if (holdLoads_) return false;
  const std::string project = typed.empty() ? std::string() : port_.ProjectOfPackage(typed);
  if (project.empty() || !port_.FileExists(project)) {
    fresh_ = true;
    return false;
  }
  fresh_ = false;
  if (auto loaded = port_.LoadProject(project)) {
    settings_ = std::move(*loaded);
    directOffered_ = !settings_.saveAs.empty();
  } else {
    ResetSettings(settings_, firstLanguage_);
  }
  // The name stays as typed: the author is still typing it.
  settings_.packageName = typed;
  return true;
}

bool WizardFlow::CheckPage() {
  const ProjectSettings& s = settings_;
  auto fail = [this](const char* text) {
    port_.ShowError(text);
    return false;
  };
  switch (page_) {
    case kNamePage:
      if (s.packageName.empty()) return fail("You must type in a package name.");
      break;
    case kBasicPage:
      if (!s.licenseFile.empty() && !port_.FileExists(s.licenseFile)) {
        return fail("Specified license file does not exist.");
      }
      if (s.language.empty()) return fail("Please select a language for your package.");
      break;
    case kFilesPage:
      if (s.files.empty()) {
        return fail("Please select some files and/or folders to go into your package.");
      }
      break;
    case kMultiPartPage: {
      // A part of 0 megabytes would mean no limit at all.
      const auto split = WholeNumber(s.split);
      if (!split || *split < 1 || *split > 9999) {
        return fail("Please type a valid number which reflects your desired package size.");
      }
      break;
    }
    case kSpacePage: {
      const auto space = WholeNumber(s.space);
      if (!space || *space > 9999) {
        return fail(
            "Please type a valid number which reflects your space requirements. Type 0 (zero) "
            "to skip the space check.");
      }
      break;
    }
    case kDeliveryPage:
      if (s.target == TargetChoice::kLiteral && s.targetDirText.empty()) {
        return fail("Please type in a target folder for the package.");
      }
      break;
    case kSignPage:
      if (s.codeSign && (!port_.FileExists(s.spc) || !port_.FileExists(s.pvk))) {
        return fail("Please provide valid certificate and key files.");
      }
      break;
    case kOutputPage:
      return CheckOutputPaths();
    default:
      break;
  }
  return true;
}

bool WizardFlow::CheckOutputPaths() {
  ProjectSettings& s = settings_;
  if (!s.saveAs.empty() && !PathIsValid(s.saveAs)) {
    port_.ShowError("Please provide a package file name with full path.");
    return false;
  }
  if (!s.project.empty() && !PathIsValid(s.project)) {
    port_.ShowError("Please provide a project file name with full path.");
    return false;
  }
  if (!s.saveAs.empty()) s.saveAs = WithExtension(s.saveAs, ".exe");
  if (!s.project.empty()) s.project = WithExtension(s.project, ".ombr");
  return true;
}

FlowResult WizardFlow::LeaveNamePage() {
  holdLoads_ = false;
  if (direct && directOffered_) {
    const std::string project = port_.ProjectOfPackage(settings_.packageName);
    if (!project.empty()) {
      if (auto loaded = port_.LoadProject(project)) {
        const std::string typed = settings_.packageName;
        settings_ = std::move(*loaded);
        settings_.packageName = typed;
        make = true;
        save = false;
        page_ = kReadyPage;
        return Ready();
      }
    }
  }
  if (fresh_) {
    ResetSettings(settings_, firstLanguage_);
    fresh_ = false;
  }
  page_ = kBasicPage;
  return FlowResult::kShowPage;
}

FlowResult WizardFlow::SkipAdvanced() {
  ProjectSettings& s = settings_;
  const bool packageValid = PathIsValid(s.saveAs);
  const bool projectValid = PathIsValid(s.project);
  if (!packageValid || !projectValid) {
    if (!NameHasUsableCharacters(s.packageName)) {
      port_.ShowError("Please use a package name that contains some characters other than spaces.");
      return FlowResult::kStay;
    }
    const std::string myPackages = port_.MyPackagesFolder();
    if (!packageValid) s.saveAs = DefaultPackagePath(myPackages, s.packageName);
    if (!projectValid) s.project = DefaultProjectPath(myPackages, s.packageName);
    if (!packageValid && !port_.CreateFolders(std::string(common::FolderPart(s.saveAs)))) {
      if (port_.AskToExit("Unable to generate required folders for creating the package!")) {
        return FlowResult::kEnd;
      }
    }
  }
  page_ = kReadyPage;
  return FlowResult::kShowPage;
}

FlowResult WizardFlow::Ready() {
  if (!MakeAllowed()) make = false;
  if (!SaveAllowed()) save = false;
  if (save) {
    if (!port_.SaveProject(settings_)) {
      if (port_.AskToExit("Unable to save project file. Please check your disk and permissions.")) {
        return FlowResult::kEnd;
      }
      return page_ == kReadyPage ? FlowResult::kShowPage : FlowResult::kStay;
    }
    port_.RecordKnownPackage(settings_.packageName, settings_.project);
  }
  if (!make) return FlowResult::kEnd;
  if (!port_.StartBuild(settings_)) {
    if (port_.AskToExit(
            "Some project settings are invalid. Please review your project settings.")) {
      return FlowResult::kEnd;
    }
    page_ = kBasicPage;
    return FlowResult::kShowPage;
  }
  page_ = kBuildingPage;
  return FlowResult::kBuilding;
}

FlowResult WizardFlow::Next() {
  if (page_ == kBuildingPage) return FlowResult::kStay;
  if (page_ == kFinishPage) {
    port_.RunAfterBuildActions();
    return FlowResult::kEnd;
  }
  if (!CheckPage()) return FlowResult::kStay;
  switch (page_) {
    case kNamePage:
      return LeaveNamePage();
    case kAdvancedChoicePage:
      if (!settings_.advanced) return SkipAdvanced();
      break;
    case kReadyPage:
      return Ready();
    default:
      break;
  }
  ++page_;
  return FlowResult::kShowPage;
}

FlowResult WizardFlow::Back() {
  switch (page_) {
    case kWelcomePage:
    case kBuildingPage:
      return FlowResult::kStay;
    case kNamePage:
      holdLoads_ = false;
      break;
    case kReadyPage:
      if (!settings_.advanced) {
        page_ = kAdvancedChoicePage;
        return FlowResult::kShowPage;
      }
      break;
    case kFinishPage:
      port_.RunAfterBuildActions();
      page_ = kWelcomePage;
      return FlowResult::kShowPage;
    default:
      break;
  }
  --page_;
  return FlowResult::kShowPage;
}

FlowResult WizardFlow::BuildEnded(bool succeeded, bool cancelledByAuthor) {
  if (succeeded) {
    page_ = kFinishPage;
    return FlowResult::kShowPage;
  }
  if (!cancelledByAuthor && port_.AskToExit("Package creation has failed.")) {
    return FlowResult::kEnd;
  }
  page_ = kReadyPage;
  return FlowResult::kShowPage;
}

}  // namespace ombrwiz
