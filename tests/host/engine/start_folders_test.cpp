// The folders the predefined variables start from, on the systems whose
// answers differ: NT with and without administrator rights, and Windows 9x.
#include "engine/core/start_folders.h"

#include <gtest/gtest.h>

#include <map>

namespace tavrel {
namespace {

class FakeSystem final : public SystemInfo {
 public:
  OsVersion GetOsVersion() override { return {nt, 5, 1, 2}; }
  RegisteredUser GetRegisteredUser() override { return {"Ada", "Engines Ltd"}; }
  std::string GetSpecialFolder(int number) override {
    const auto found = folders.find(number);
    return found == folders.end() ? "" : found->second;
  }
  bool IsUserAdministrator() override { return admin; }
  FileVersionParts GetFileVersionParts(const std::string&) override { return {}; }
  MemoryStatus GetMemoryStatus(bool) override { return {}; }
  ScreenSize GetScreenSize() override { return {}; }
  DisplayColours GetDisplayColours() override { return {}; }
  SystemLanguage GetSystemLanguage() override { return {}; }
  std::string FindCdRomDrive() override { return ""; }
  std::string GetBootFolder() override { return ""; }
  std::string GetShortPath(const std::string& path) override { return path; }
  std::string ExpandToLongPath(const std::string& path) override { return path; }

  bool nt = true;
  bool admin = true;
  std::map<int, std::string> folders{
      {csidl::kPersonal, "C:\\Users\\ada\\Documents\\"},
      {csidl::kDesktopDirectory, "C:\\Users\\ada\\Desktop\\"},
      {csidl::kCommonDesktopDirectory, "C:\\Users\\Public\\Desktop\\"},
      {csidl::kProgramFiles, "C:\\Program Files\\"},
      {csidl::kProgramFilesCommon, "C:\\Program Files\\Common Files\\"},
  };
};

EngineState Sample(int mediaMode) {
  EngineState state;
  state.dataFolder = "D:\\Setup\\data\\";
  state.script.title = "Demo App";
  state.script.productCode = "{P}";
  state.script.revisionCode = "{R}";
  state.script.mediaMode = mediaMode;
  return state;
}

TEST(StartFoldersTest, AdministratorOnNtUsesCommonFoldersAndProgramFiles) {
  FakeSystem system;
  const StartValues values = ComputeStartValues(system, Sample(2), "D:\\Setup\\Setup.exe");
  EXPECT_TRUE(values.allUsers);
  const std::string information =
      "C:\\Users\\Public\\Application Data\\Quorvane\\Installation Information\\{P}\\{R}\\";
  EXPECT_EQ(values.uninstallLink, information + "Setup.exe");
  EXPECT_EQ(values.dataDir, information);  // web media keeps its data there
  EXPECT_EQ(values.targetDir, "C:\\Program Files\\Demo App\\");
  EXPECT_EQ(values.exeFile, "D:\\Setup\\Setup.exe");
  EXPECT_EQ(values.userName, "Ada");
  EXPECT_EQ(values.userCompany, "Engines Ltd");
}

TEST(StartFoldersTest, UserWithoutRightsInstallsIntoTheProfile) {
  FakeSystem system;
  system.admin = false;
  const StartValues values = ComputeStartValues(system, Sample(0), "D:\\Setup\\Setup.exe");
  EXPECT_FALSE(values.allUsers);
  EXPECT_EQ(values.uninstallLink,
            "C:\\Users\\ada\\Application Data\\Quorvane\\Installation "
            "Information\\{P}\\{R}\\Setup.exe");
  EXPECT_EQ(values.dataDir, "D:\\Setup\\data\\");
  EXPECT_EQ(values.targetDir, "C:\\Users\\ada\\Demo App\\");
}

TEST(StartFoldersTest, Windows9xKeepsEverythingUnderCommonFiles) {
  FakeSystem system;
  system.nt = false;
  system.admin = false;  // not asked: the rule needs the NT family first
  EXPECT_FALSE(AdministratorRule(system));
  EXPECT_EQ(ApplicationDataFolder(system, true), "C:\\Program Files\\Common Files\\");
  EXPECT_EQ(ApplicationDataFolder(system, false), "C:\\Program Files\\Common Files\\");
  EXPECT_EQ(DefaultTargetFolder(system), "C:\\Program Files\\");
}

TEST(StartFoldersTest, ParentFolderOfRootsAndNestedFolders) {
  EXPECT_EQ(ParentFolder("C:\\Users\\ada\\Desktop\\"), "C:\\Users\\ada\\");
  EXPECT_EQ(ParentFolder("C:\\Users\\ada\\Desktop"), "C:\\Users\\ada\\");
  EXPECT_EQ(ParentFolder("C:\\Desktop\\"), "C:\\");
  EXPECT_EQ(ParentFolder("C:\\"), "C:\\");
}

}  // namespace
}  // namespace tavrel
