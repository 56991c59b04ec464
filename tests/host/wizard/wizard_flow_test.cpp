#include "wizard/core/wizard_flow.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace ombrwiz {
namespace {

// A system of a few folders and files; questions get the answer set up.
class FakePort : public WizardPort {
 public:
  std::set<std::string> files{"C:\\lic.txt", "C:\\me.spc", "C:\\me.pvk"};
  std::set<std::string> folders{"C:\\", "C:\\out\\", "C:\\Docs\\My Packages\\"};
  std::map<std::string, std::string> known;  // name -> project
  std::map<std::string, ProjectSettings> projects;
  std::vector<std::string> said;  // errors and questions, in order
  bool answerYes = false;
  bool foldersCreatable = true;
  bool saveWorks = true;
  bool buildStarts = true;
  int builds = 0;
  int afterBuild = 0;
  std::vector<std::string> saved;

  bool FileExists(const std::string& path) override {
    return files.contains(path) || projects.contains(path);
  }
  bool FolderExists(const std::string& path) override {
    return folders.contains(path.back() == '\\' ? path : path + "\\");
  }
  std::optional<std::uint64_t> FreeBytes(const std::string&) override { return 1 << 20; }
  bool CreateFolders(const std::string& path) override {
    if (!foldersCreatable) return false;
    folders.insert(path.back() == '\\' ? path : path + "\\");
    return true;
  }
  std::string MyPackagesFolder() override { return "C:\\Docs\\My Packages\\"; }
  std::optional<ProjectSettings> LoadProject(const std::string& path) override {
    const auto found = projects.find(path);
    if (found == projects.end()) return std::nullopt;
    return found->second;
  }
  bool SaveProject(const ProjectSettings& settings) override {
    if (saveWorks) saved.push_back(settings.project);
    return saveWorks;
  }
  std::string ProjectOfPackage(const std::string& name) override {
    const auto found = known.find(name);
    return found == known.end() ? std::string() : found->second;
  }
  void RecordKnownPackage(const std::string& name, const std::string& project) override {
    known[name] = project;
  }
  void ShowError(const std::string& text) override { said.push_back(text); }
  bool AskToExit(const std::string& text) override {
    said.push_back("? " + text);
    return answerYes;
  }
  bool StartBuild(const ProjectSettings&) override {
    builds += buildStarts ? 1 : 0;
    return buildStarts;
  }
  void RunAfterBuildActions() override { ++afterBuild; }
};

// Settings that pass every page.
ProjectSettings Complete() {
  ProjectSettings s;
  s.packageName = "My Tools";
  s.language = "English";
  s.files = {{"C:\\data\\*.*", true}};
  s.advanced = true;
  s.saveAs = "C:\\out\\tools";
  s.project = "C:\\out\\tools.OMBR";
  return s;
}

struct Step {
  const char* name;
  int page;
  void (*change)(ProjectSettings&, FakePort&);
  FlowResult result;
  int pageAfter;
  std::string said;  // the last error or question, "" for none
};

TEST(WizardFlow, PageChecksAndTheirMessages) {
  const std::vector<Step> steps = {
      {"empty name", kNamePage, [](ProjectSettings& s, FakePort&) { s.packageName.clear(); },
       FlowResult::kStay, kNamePage, "You must type in a package name."},
      {"missing licence", kBasicPage,
       [](ProjectSettings& s, FakePort&) { s.licenseFile = "C:\\none.txt"; }, FlowResult::kStay,
       kBasicPage, "Specified license file does not exist."},
      {"no language", kBasicPage, [](ProjectSettings& s, FakePort&) { s.language.clear(); },
       FlowResult::kStay, kBasicPage, "Please select a language for your package."},
      {"existing licence", kBasicPage,
       [](ProjectSettings& s, FakePort&) { s.licenseFile = "C:\\lic.txt"; }, FlowResult::kShowPage,
       kFilesPage, ""},
      {"no files", kFilesPage, [](ProjectSettings& s, FakePort&) { s.files.clear(); },
       FlowResult::kStay, kFilesPage,
       "Please select some files and/or folders to go into your package."},
      {"advanced chosen", kAdvancedChoicePage, [](ProjectSettings&, FakePort&) {},
       FlowResult::kShowPage, kMultiPartPage, ""},
      {"split zero", kMultiPartPage, [](ProjectSettings& s, FakePort&) { s.split = "0"; },
       FlowResult::kStay, kMultiPartPage,
       "Please type a valid number which reflects your desired package size."},
      {"split text", kMultiPartPage, [](ProjectSettings& s, FakePort&) { s.split = "1a"; },
       FlowResult::kStay, kMultiPartPage,
       "Please type a valid number which reflects your desired package size."},
      {"space empty", kSpacePage, [](ProjectSettings& s, FakePort&) { s.space.clear(); },
       FlowResult::kStay, kSpacePage,
       "Please type a valid number which reflects your space requirements. Type 0 (zero) to skip "
       "the space check."},
      {"literal target empty", kDeliveryPage,
       [](ProjectSettings& s, FakePort&) { s.target = TargetChoice::kLiteral; }, FlowResult::kStay,
       kDeliveryPage, "Please type in a target folder for the package."},
      {"signing without key", kSignPage,
       [](ProjectSettings& s, FakePort&) {
         s.codeSign = true;
         s.spc = "C:\\me.spc";
         s.pvk = "C:\\other.pvk";
       },
       FlowResult::kStay, kSignPage, "Please provide valid certificate and key files."},
      {"package path without folder", kOutputPage,
       [](ProjectSettings& s, FakePort&) { s.saveAs = "tools.exe"; }, FlowResult::kStay,
       kOutputPage, "Please provide a package file name with full path."},
      {"project in a missing folder", kOutputPage,
       [](ProjectSettings& s, FakePort&) { s.project = "C:\\gone\\p.ombr"; }, FlowResult::kStay,
       kOutputPage, "Please provide a project file name with full path."},
      {"output paths fine", kOutputPage, [](ProjectSettings&, FakePort&) {}, FlowResult::kShowPage,
       kReadyPage, ""},
      {"nothing to make or save", kReadyPage,
       [](ProjectSettings& s, FakePort&) {
         s.saveAs.clear();
         s.project.clear();
       },
       FlowResult::kEnd, kReadyPage, ""},
      {"project not saved, stay", kReadyPage,
       [](ProjectSettings&, FakePort& p) { p.saveWorks = false; }, FlowResult::kShowPage,
       kReadyPage, "? Unable to save project file. Please check your disk and permissions."},
      {"invalid settings back to page 3", kReadyPage,
       [](ProjectSettings&, FakePort& p) { p.buildStarts = false; }, FlowResult::kShowPage,
       kBasicPage, "? Some project settings are invalid. Please review your project settings."},
      {"build starts", kReadyPage, [](ProjectSettings&, FakePort&) {}, FlowResult::kBuilding,
       kBuildingPage, ""},
      {"finish runs the actions", kFinishPage, [](ProjectSettings&, FakePort&) {}, FlowResult::kEnd,
       kFinishPage, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    FakePort port;
    WizardFlow flow(port, "English");
    flow.Settings() = Complete();
    flow.StartAt(step.page);
    step.change(flow.Settings(), port);
    EXPECT_EQ(flow.Next(), step.result);
    EXPECT_EQ(flow.Page(), step.pageAfter);
    EXPECT_EQ(port.said.empty() ? "" : port.said.back(), step.said);
  }
}

TEST(WizardFlow, OutputPageAppendsExtensionsOnlyWhenTheyDiffer) {
  FakePort port;
  WizardFlow flow(port, "English");
  flow.Settings() = Complete();
  flow.StartAt(kOutputPage);
  ASSERT_EQ(flow.Next(), FlowResult::kShowPage);
  EXPECT_EQ(flow.Settings().saveAs, "C:\\out\\tools.exe");
  EXPECT_EQ(flow.Settings().project, "C:\\out\\tools.OMBR");
  EXPECT_EQ(WithExtension("C:\\v1.2\\tools.v2", ".exe"), "C:\\v1.2\\tools.v2.exe");
  EXPECT_EQ(WithExtension("C:\\out\\T.EXE", ".exe"), "C:\\out\\T.EXE");
}

TEST(WizardFlow, SkippingAdvancedFillsDefaultPathsAndBackReturnsToTheChoice) {
  FakePort port;
  WizardFlow flow(port, "English");
  flow.Settings() = Complete();
  flow.Settings().advanced = false;
  flow.Settings().saveAs.clear();
  flow.Settings().project = "C:\\out\\kept.ombr";
  flow.StartAt(kAdvancedChoicePage);
  ASSERT_EQ(flow.Next(), FlowResult::kShowPage);
  EXPECT_EQ(flow.Page(), kReadyPage);
  EXPECT_EQ(flow.Settings().saveAs, "C:\\Docs\\My Packages\\My Tools\\My Tools.exe");
  EXPECT_EQ(flow.Settings().project, "C:\\out\\kept.ombr");  // valid, so kept
  EXPECT_TRUE(port.folders.contains("C:\\Docs\\My Packages\\My Tools\\"));
  EXPECT_EQ(flow.Back(), FlowResult::kShowPage);
  EXPECT_EQ(flow.Page(), kAdvancedChoicePage);

  // A name of blanks and reserved characters only cannot name a file.
  flow.Settings().packageName = " ?: ";
  flow.Settings().saveAs.clear();
  EXPECT_EQ(flow.Next(), FlowResult::kStay);
  EXPECT_EQ(port.said.back(),
            "Please use a package name that contains some characters other than spaces.");

  // The package folder cannot be made: No goes on to the Ready page, Yes ends.
  flow.Settings().packageName = "Tools: Pro";
  port.foldersCreatable = false;
  EXPECT_EQ(flow.Next(), FlowResult::kShowPage);
  EXPECT_EQ(flow.Page(), kReadyPage);
  EXPECT_EQ(flow.Settings().saveAs, "C:\\Docs\\My Packages\\Tools Pro\\Tools Pro.exe");
  EXPECT_EQ(port.said.back(), "? Unable to generate required folders for creating the package!");
  flow.StartAt(kAdvancedChoicePage);
  flow.Settings().saveAs.clear();
  port.answerYes = true;
  EXPECT_EQ(flow.Next(), FlowResult::kEnd);
}

TEST(WizardFlow, NameWatchLoadsKnownProjectsAndBuildsDirectly) {
  FakePort port;
  ProjectSettings stored = Complete();
  stored.project = "C:\\out\\tools.ombr";
  stored.files = {{"C:\\stored\\*.*", true}};
  stored.startText = "Hello";
  port.projects[stored.project] = stored;
  port.known["My Tools"] = stored.project;
  port.known["Lost"] = "C:\\out\\deleted.ombr";

  WizardFlow flow(port, "English");
  flow.StartAt(kNamePage);
  EXPECT_FALSE(flow.WatchName("My Tool"));
  EXPECT_FALSE(flow.DirectOffered());
  EXPECT_TRUE(flow.WatchName("My Tools"));
  EXPECT_FALSE(flow.WatchName("My Tools"));  // unchanged: nothing to do
  EXPECT_TRUE(flow.DirectOffered());
  EXPECT_EQ(flow.Settings().startText, "Hello");

  // Ticked, Next builds at once without saving.
  flow.direct = true;
  flow.save = true;
  EXPECT_EQ(flow.Next(), FlowResult::kBuilding);
  EXPECT_EQ(port.builds, 1);
  EXPECT_TRUE(port.saved.empty());

  // A known name whose project is gone, then Next: the loaded settings are
  // reset once, the name stays.
  WizardFlow other(port, "English");
  other.StartAt(kNamePage);
  other.WatchName("My Tools");
  EXPECT_FALSE(other.WatchName("Lost"));
  EXPECT_FALSE(other.DirectOffered());
  EXPECT_EQ(other.Next(), FlowResult::kShowPage);
  EXPECT_EQ(other.Settings().packageName, "Lost");
  EXPECT_TRUE(other.Settings().files.empty());
  EXPECT_TRUE(other.Settings().startText.empty());
}

TEST(WizardFlow, AddedFilesSurviveTheNamePageUntilItIsLeft) {
  FakePort port;
  ProjectSettings stored = Complete();
  port.projects["C:\\out\\tools.ombr"] = stored;
  port.known["My Tools"] = "C:\\out\\tools.ombr";
  WizardFlow flow(port, "English");
  flow.Settings().files = {{"C:\\added.txt", false}};
  flow.HoldProjectLoads();
  flow.StartAt(kNamePage);
  EXPECT_FALSE(flow.WatchName("My Tools"));
  EXPECT_FALSE(flow.WatchName("New Name"));
  ASSERT_EQ(flow.Next(), FlowResult::kShowPage);
  ASSERT_EQ(flow.Settings().files.size(), 1u);
  EXPECT_EQ(flow.Settings().files[0].path, "C:\\added.txt");
  // Back on the name page, known names load again.
  flow.Back();
  EXPECT_TRUE(flow.WatchName("My Tools"));
  EXPECT_EQ(flow.Settings().files[0].path, "C:\\data\\*.*");
}

TEST(WizardFlow, EndOfBuildAndTheFinishPage) {
  FakePort port;
  WizardFlow flow(port, "English");
  flow.StartAt(kBuildingPage);
  EXPECT_EQ(flow.Back(), FlowResult::kStay);
  EXPECT_EQ(flow.BuildEnded(false, true), FlowResult::kShowPage);  // cancelled: no question
  EXPECT_EQ(flow.Page(), kReadyPage);
  EXPECT_TRUE(port.said.empty());
  EXPECT_EQ(flow.BuildEnded(false, false), FlowResult::kShowPage);
  EXPECT_EQ(port.said.back(), "? Package creation has failed.");
  port.answerYes = true;
  EXPECT_EQ(flow.BuildEnded(false, false), FlowResult::kEnd);
  EXPECT_EQ(flow.BuildEnded(true, false), FlowResult::kShowPage);
  EXPECT_EQ(flow.Page(), kFinishPage);
  EXPECT_EQ(flow.Back(), FlowResult::kShowPage);  // the actions run, then page 1
  EXPECT_EQ(flow.Page(), kWelcomePage);
  EXPECT_EQ(port.afterBuild, 1);
}

}  // namespace
}  // namespace ombrwiz
