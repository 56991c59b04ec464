#include "wizard/core/wizard_command_line.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace ombrwiz {
namespace {

const std::set<std::string> kFiles = {"C:\\p\\tools.ombr", "C:\\d\\report.txt",
                                      "C:\\d\\archive.tar.gz", "C:\\d\\.profile"};
const std::set<std::string> kFolders = {"C:\\Docs", "C:\\Docs\\", "C:\\", "D:/Pics/"};

WizardRequest Parse(const std::vector<std::string>& args) {
  return ParseWizardCommandLine(
      args, [](const std::string& p) { return kFiles.count(p) > 0; },
      [](const std::string& p) { return kFolders.count(p) > 0; });
}

TEST(WizardCommandLine, ProjectsAndMake) {
  EXPECT_EQ(Parse({}).kind, WizardRequestKind::kNone);
  EXPECT_EQ(Parse({""}).kind, WizardRequestKind::kNone);

  auto request = Parse({"C:\\p\\tools.ombr"});
  EXPECT_EQ(request.kind, WizardRequestKind::kOpenProject);
  EXPECT_EQ(request.projectPath, "C:\\p\\tools.ombr");
  request = Parse({"C:\\p\\tools.ombr", "$MAKE$"});
  EXPECT_EQ(request.kind, WizardRequestKind::kMakeProject);
  EXPECT_EQ(request.projectPath, "C:\\p\\tools.ombr");
  EXPECT_EQ(Parse({"C:\\p\\tools.ombr", "$make$"}).kind, WizardRequestKind::kOpenProject);

  // Verbs in another case are just names that fail to load.
  request = Parse({"$packit$", "C:\\d\\report.txt"});
  EXPECT_EQ(request.kind, WizardRequestKind::kOpenProject);
  EXPECT_TRUE(request.files.empty());

  // A missing project with $MAKE$ is still an unattended build, which then
  // fails and ends, instead of leaving a window waiting.
  EXPECT_EQ(Parse({"C:\\missing.ombr", "$MAKE$"}).kind, WizardRequestKind::kMakeProject);
}

TEST(WizardCommandLine, VerbsTakeExistingFilesAndFolders) {
  auto request = Parse({"$PACKIT$", "C:\\d\\report.txt", "C:\\nothing", "", "C:\\Docs",
                        "C:\\Docs\\", "C:\\", "D:/Pics/"});
  EXPECT_EQ(request.kind, WizardRequestKind::kPackIt);
  ASSERT_EQ(request.files.size(), 5u);
  EXPECT_EQ(request.files[0].path, "C:\\d\\report.txt");
  EXPECT_FALSE(request.files[0].subfolders);
  EXPECT_EQ(request.files[1].path, "C:\\Docs\\*.*");
  EXPECT_TRUE(request.files[1].subfolders);
  EXPECT_EQ(request.files[2].path, "C:\\Docs\\*.*");
  EXPECT_EQ(request.files[3].path, "C:\\*.*");
  EXPECT_EQ(request.files[4].path, "D:/Pics/*.*");
  EXPECT_EQ(request.packageName, "report");

  EXPECT_EQ(Parse({"$MAILIT$", "C:\\d\\report.txt"}).kind, WizardRequestKind::kMailIt);
  request = Parse({"$ADDTOPACKAGE$", "C:\\d\\report.txt"});
  EXPECT_EQ(request.kind, WizardRequestKind::kAddToPackage);
  EXPECT_EQ(request.files.size(), 1u);
  EXPECT_TRUE(request.projectPath.empty());
}

TEST(WizardCommandLine, PackageNameFromTheFirstArgument) {
  auto nameOf = [](const std::string& argument) {
    return Parse({"$PACKIT$", argument, "C:\\d\\report.txt"}).packageName;
  };
  EXPECT_EQ(nameOf("C:\\d\\archive.tar.gz"), "archive.tar");
  EXPECT_EQ(nameOf("C:\\Docs"), "Docs");
  EXPECT_EQ(nameOf("C:\\Docs\\"), "Docs");
  EXPECT_EQ(nameOf("D:/Pics/"), "Pics");
  EXPECT_EQ(nameOf("C:\\d\\.profile"), ".profile");
  EXPECT_EQ(nameOf("C:\\"), "C");
  EXPECT_EQ(nameOf("\\\\"), "Package");
  EXPECT_EQ(nameOf("noext"), "noext");
  EXPECT_EQ(nameOf(""), "report");  // empty arguments are passed over
  EXPECT_EQ(Parse({"$PACKIT$"}).packageName, "");
}

}  // namespace
}  // namespace ombrwiz
