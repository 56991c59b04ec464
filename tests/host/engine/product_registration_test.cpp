// Registering an installed product for its maintenance runs and taking it
// out again, the component and parameter files that carry the choices
// over, and the restore at the start of a maintenance run.
#include <gtest/gtest.h>

#include "engine/core/installed_product.h"
#include "engine/core/maintenance_files.h"
#include "engine/core/start_folders.h"
#include "tests/host/engine/interpreter_harness.h"

namespace tavrel {
namespace {

using Lines = std::vector<std::string>;

// ---- The two files ----

TEST(MaintenanceFilesTest, ComponentFileComesBackAsWritten) {
  ComponentFile file{{"ZUNA-PREDEF-COMPONENT", "Docs\\Manual", "Tools"},
                     {"TRUE", "FALSE", "TRUE"},
                     "$PROGRAMFILES$\\App\\",
                     "TRUE",
                     "App",
                     "C:\\SETUP~1\\DATA\\"};
  const std::string text = WriteComponentFile(file);
  EXPECT_EQ(text,
            "ZUNA-PREDEF-COMPONENT\r\nDocs\\Manual\r\nTools\r\n$\r\nTRUE\r\nFALSE\r\nTRUE\r\n$\r\n"
            "$PROGRAMFILES$\\App\\\r\nTRUE\r\nApp\r\nC:\\SETUP~1\\DATA\\\r\n");
  const RestoredComponents back = ReadComponentFile(text);
  EXPECT_EQ(back.names, file.names);
  EXPECT_EQ(back.states, file.states);
  EXPECT_EQ(back.targetDir, file.targetDir);
  EXPECT_EQ(back.allUsers, "TRUE");
  EXPECT_EQ(back.startMenu, "App");
}

struct DamagedCase {
  const char* what;
  std::string text;
  Lines names;
  Lines states;
  std::optional<std::string> targetDir;
  std::optional<std::string> startMenu;
};

TEST(MaintenanceFilesTest, DamagedComponentFilesGiveWhatTheyHold) {
  const std::vector<DamagedCase> cases = {
      {"empty", "", {}, {}, {}, {}},
      {"names only, cut before the separator", "A\r\nB\r\n", {}, {}, {}, {}},
      {"cut within the states", "A\r\nB\r\n$\r\nTRUE\r\n", {"A"}, {"TRUE"}, {}, {}},
      {"more states than names",
       "A\r\n$\r\nFALSE\r\nTRUE\r\n$\r\nT\r\n",
       {"A"},
       {"FALSE"},
       "T",
       {}},
      {"a state that is no boolean reads as false",
       "A\r\n$\r\nyes\r\n$\r\n",
       {"A"},
       {"FALSE"},
       {},
       {}},
      {"bare line feeds and no last line end",
       "A\n$\n-1\n$\nT\nFALSE\nM",
       {"A"},
       {"TRUE"},
       "T",
       "M"},
      {"binary noise",
       std::string("\0\xff$\r\r\n$\r\0", 9),
       {std::string("\0\xff$", 3)},
       {"FALSE"},
       {},
       {}},
  };
  for (const DamagedCase& c : cases) {
    SCOPED_TRACE(c.what);
    const RestoredComponents back = ReadComponentFile(c.text);
    EXPECT_EQ(back.names, c.names);
    EXPECT_EQ(back.states, c.states);
    EXPECT_EQ(back.targetDir, c.targetDir);
    EXPECT_EQ(back.startMenu, c.startMenu);
  }
}

TEST(MaintenanceFilesTest, ParameterFileKeepsItsPairs) {
  const Lines list = {"PARAMETER2_1", "C:\\App\\", "EMPTY", "", "NOTE", "two\r\nlines"};
  const std::string text = WriteParameterFile(list);
  // A value with a line break stays on its line, so the pairs after it stay
  // pairs.
  EXPECT_EQ(text, "PARAMETER2_1\r\nC:\\App\\\r\nEMPTY\r\n\r\nNOTE\r\ntwo  lines\r\n");
  EXPECT_EQ(ReadParameterFile(text),
            (Lines{"PARAMETER2_1", "C:\\App\\", "EMPTY", "", "NOTE", "two  lines"}));
  EXPECT_EQ(ReadParameterFile("A\r\n1\r\nB\r\n"), (Lines{"A", "1"}));
  EXPECT_EQ(ReadParameterFile(""), Lines{});
}

// ---- The installed-product check ----

TEST(InstalledProductTest, StateAndPackageCodeGiveUpgradeOrMaintenance) {
  struct Case {
    int state;
    const char* packageCode;
    bool needsUpgrade;
    bool maintenance;
  };
  const Case cases[] = {
      {5, "{abc-1}", false, true},  // the same revision, letter case aside
      {5, "{ABC-2}", true, false},
      {5, "", false, false},  // installed, but the package code cannot be had
      {-1, "{ABC-1}", false, false},
      {2, "{ABC-2}", false, false},
  };
  for (const Case& c : cases) {
    FakeHost host;
    host.productState = c.state;
    host.packageCode = c.packageCode;
    const InstalledProduct product = CheckInstalledProduct(host, "{P}", "{ABC-1}");
    EXPECT_EQ(product.needsUpgrade, c.needsUpgrade) << c.state << " " << c.packageCode;
    EXPECT_EQ(product.maintenance, c.maintenance) << c.state << " " << c.packageCode;
  }
}

// ---- Through the interpreter ----

constexpr const char* kUserFolder =
    "C:\\Users\\ada\\Application Data\\Quorvane\\Installation Information\\{P}\\{R}\\";
constexpr const char* kAllUsersFolder =
    "C:\\Users\\Public\\Application Data\\Quorvane\\Installation Information\\{P}\\{R}\\";
constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App";

class RegistrationTest : public InterpreterTest {
 protected:
  RegistrationTest() {
    state_.engineFolder = "D:\\SETUP\\";
    state_.setupName = "Setup";
    state_.tempFolder = "C:\\TEMP\\";
    state_.supportFolder = "C:\\TEMP\\tvl1\\";
    state_.script.productCode = "{P}";
    state_.script.revisionCode = "{R}";
    state_.script.title = "App";
    state_.script.publisherLines = {"Pub", "Contact", "http://help", "http://update", "Notes"};
    state_.script.componentSizes = {{"ZUNA-PREDEF-COMPONENT", "100"}, {"Tools", "20"}};
    state_.commandLine.silent = true;
    host_.start.exeFile = "D:\\SETUP\\Setup.exe";
    host_.start.dataDir = "D:\\SETUP\\data\\";
    host_.system.specialFolders = {{csidl::kDesktopDirectory, "C:\\Users\\ada\\Desktop"},
                                   {csidl::kCommonDesktopDirectory, "C:\\Users\\Public\\Desktop"}};
    host_.shortPath = [](const std::string& path) { return "S:" + path; };
    host_.files["D:\\SETUP\\data\\{P}"] = "";
  }

  std::string Value(RegistryRoot root, const std::string& key, const std::string& name) {
    return host_.ReadRegistryValue(root, key, name).text;
  }

  void Apply(const std::string& install, const std::string& allUsers) {
    Run({Set("ALLUSERS", allUsers),
         Set("TARGETDIR", "$ROOTDIR$App\\"),
         {"Define Component", {"Tools", "TRUE", "the tools"}},
         {"Install Files", {"files", "", "$TARGETDIR$bin"}},
         {"Apply Changes", {"Progress", "RESULT", install}}});
  }
};

TEST_F(RegistrationTest, InstallRegistersTheProduct) {
  Apply("TRUE", "FALSE");
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  EXPECT_TRUE(host_.errors.empty());
  const std::string folder = kUserFolder;
  EXPECT_EQ(host_.folders.count(folder), 1u);
  EXPECT_EQ(host_.copies, (Lines{"D:\\SETUP\\Setup.exe > " + folder + "Setup.exe",
                                 "D:\\SETUP\\Setup.msi > " + folder + "Setup.msi",
                                 "D:\\SETUP\\Setup.res > " + folder + "Setup.res",
                                 "D:\\SETUP\\tvl.dll > " + folder + "tvl.dll",
                                 "D:\\SETUP\\setup.bmp > " + folder + "setup.bmp"}));
  EXPECT_EQ(host_.files[folder + "Setup.dat"],
            "ZUNA-PREDEF-COMPONENT\r\nTools\r\n$\r\nTRUE\r\nTRUE\r\n$\r\nD:\\SETUP\\App\\\r\n"
            "FALSE\r\nApp\r\nS:D:\\SETUP\\data\\\r\n");
  EXPECT_EQ(host_.files[folder + "Setup.par"],
            "PARAMETER4_1\r\nD:\\SETUP\\App\\bin\r\nQORVTEMP\r\nC:\\TEMP\\\r\n");
  const RegistryRoot user = RegistryRoot::kCurrentUser;
  const std::string engine = folder + "Setup.exe";
  const std::pair<const char*, std::string> values[] = {
      {"DisplayIcon", engine},
      {"DisplayName", "App"},
      {"UninstallString", "\"" + engine + "\" REMOVE=TRUE MODIFY=FALSE"},
      {"ModifyPath", engine},
      {"Publisher", "Pub"},
      {"Contact", "Contact"},
      {"HelpLink", "http://help"},
      {"URLUpdateInfo", "http://update"},
      {"Comments", "Notes"},
  };
  for (const auto& [name, data] : values) EXPECT_EQ(Value(user, kUninstall, name), data) << name;
  EXPECT_EQ(Value(user, "SOFTWARE\\Quorvane\\Tavrel\\Ident.Cache\\{P}", ""), folder);
  // Nothing for all users.
  EXPECT_EQ(host_.ReadRegistryValue(RegistryRoot::kLocalMachine, kUninstall, "DisplayName").type,
            RegistryValue::Type::kMissing);
}

struct MachineCase {
  const char* allUsers;
  bool nt;
  const char* folder;
};

class MachineRegistrationTest : public RegistrationTest,
                                public ::testing::WithParamInterface<MachineCase> {};

TEST_P(MachineRegistrationTest, AllUsersAndOlderSystemsRegisterForTheMachine) {
  host_.system.os.isNt = GetParam().nt;
  host_.system.specialFolders[csidl::kProgramFilesCommon] = "C:\\Program Files\\Common";
  Apply("TRUE", GetParam().allUsers);
  const std::string folder = GetParam().folder;
  EXPECT_EQ(Value(RegistryRoot::kLocalMachine, kUninstall, "DisplayIcon"), folder + "Setup.exe");
  EXPECT_EQ(host_.files.count(folder + "Setup.dat"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, MachineRegistrationTest,
                         ::testing::Values(MachineCase{"TRUE", true, kAllUsersFolder},
                                           MachineCase{
                                               "FALSE", false,
                                               "C:\\Program Files\\Common\\Quorvane\\Installation "
                                               "Information\\{P}\\{R}\\"}));

TEST_F(RegistrationTest, AValueThatCannotBeWrittenEndsTheRun) {
  host_.lockedKeys.insert(kUninstall);
  Apply("TRUE", "FALSE");
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  ASSERT_FALSE(host_.trace.empty());
  EXPECT_NE(std::find(host_.trace.begin(), host_.trace.end(),
                      "runtime error on line 5: the registry value \"DisplayIcon\" of " +
                          std::string(kUninstall) + " cannot be written"),
            host_.trace.end());
}

struct UnsafeCase {
  const char* title;
  const char* revision;
  const char* install;
};

class UnsafeRegistrationTest : public RegistrationTest,
                               public ::testing::WithParamInterface<UnsafeCase> {};

TEST_P(UnsafeRegistrationTest, CodesOrTitleThatNameNoSinglePlaceRegisterAndRemoveNothing) {
  state_.script.title = GetParam().title;
  state_.script.revisionCode = GetParam().revision;
  host_.folders = {"C:\\Users\\ada\\Application Data\\Quorvane\\Installation Information\\"};
  Apply(GetParam().install, "FALSE");
  EXPECT_TRUE(host_.copies.empty());
  for (const std::string& folder : host_.folders) {
    EXPECT_EQ(folder.find("{P}"), std::string::npos) << folder;
  }
  EXPECT_EQ(
      host_.folders.count("C:\\Users\\ada\\Application Data\\Quorvane\\Installation Information\\"),
      1u);
  for (const std::string& entry : host_.registry) {
    // Never the list of installed programs or the cache as a whole.
    EXPECT_FALSE(entry.ends_with("Uninstall\\") || entry.ends_with("Uninstall")) << entry;
    EXPECT_FALSE(entry.ends_with("Ident.Cache\\")) << entry;
  }
  for (const auto& [key, value] : host_.registryValues) {
    EXPECT_EQ(key.find("Uninstall|"), std::string::npos) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnsafeRegistrationTest,
    ::testing::Values(UnsafeCase{"", "{R}", "TRUE"}, UnsafeCase{"", "{R}", "FALSE"},
                      UnsafeCase{"\\", "{R}", "TRUE"}, UnsafeCase{"App", "..", "TRUE"},
                      UnsafeCase{"App", "..", "FALSE"}, UnsafeCase{"App", "", "FALSE"}));

TEST_F(RegistrationTest, RemovalDeletesTheFolderOrMovesWhatIsInUseAside) {
  const std::string folder = kUserFolder;
  const std::string parent =
      "C:\\Users\\ada\\Application Data\\Quorvane\\Installation Information\\{P}\\";
  host_.folders = {folder, parent + "~0\\"};
  host_.files[folder + "Setup.exe"] = "engine";
  host_.files[folder + "tvl.dll"] = "library";
  host_.files[folder + "Setup.dat"] = "x";
  host_.start.exeFile = folder + "Setup.exe";
  host_.inUse = {folder + "Setup.exe", folder + "tvl.dll"};
  // Started from its copy: the folder is the current one until it goes.
  host_.currentFolder = folder;
  Apply("FALSE", "FALSE");
  EXPECT_EQ(host_.currentFolder, "C:\\TEMP\\");
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  EXPECT_EQ(host_.folders.count(folder), 0u);
  EXPECT_EQ(host_.files.count(parent + "~1\\Setup.exe"), 1u);
  EXPECT_EQ(host_.files.count(parent + "~1\\Setup.dat"), 0u);
  EXPECT_EQ(host_.atRestart,
            (Lines{parent + "~1\\Setup.exe", parent + "~1\\tvl.dll", parent + "~1\\"}));
  EXPECT_EQ(host_.registry, (Lines{"delete tree 2 " + std::string(kUninstall),
                                   "delete tree 2 SOFTWARE\\Quorvane\\Tavrel\\Ident.Cache\\{P}",
                                   "delete tree 1 " + std::string(kUninstall),
                                   "delete tree 1 SOFTWARE\\Quorvane\\Tavrel\\Ident.Cache\\{P}"}));
}

TEST_F(RegistrationTest, RemovalWithNothingInUseLeavesNothingForTheRestart) {
  const std::string folder = kUserFolder;
  host_.folders = {folder};
  host_.files[folder + "Setup.dat"] = "x";
  Apply("FALSE", "FALSE");
  EXPECT_EQ(host_.folders.count(folder), 0u);
  EXPECT_EQ(host_.files.count(folder + "Setup.dat"), 0u);
  EXPECT_TRUE(host_.atRestart.empty());
}

TEST_F(RegistrationTest, MaintenanceRunRestoresTheChoicesBeforeTheCommandLine) {
  host_.start.maintenance = true;
  // Only the all-users folder has the files.
  const std::string folder = kAllUsersFolder;
  host_.files[folder + "Setup.dat"] =
      "ZUNA-PREDEF-COMPONENT\r\nTools\r\nDocs\r\n$\r\nTRUE\r\nTRUE\r\nFALSE\r\n$\r\n"
      "E:\\App\\\r\nTRUE\r\nMenu\r\nS:D:\\X\\\r\n";
  host_.files[folder + "Setup.par"] = "PARAMETER4_1\r\nE:\\App\\bin\r\nQORVTEMP\r\nC:\\T\\\r\n";
  state_.commandLine.assignments = {{"startmenu", "Other"}};
  Command("Sizes", [](CommandContext& c) {
    c.store.Define("INSTALLED", std::to_string(c.run.installedSize));
    c.store.Define("COMPONENTS", std::to_string(c.run.components.Count()));
    c.store.Define("PREVIOUS", c.run.changes.previous.empty() ? "" : c.run.changes.previous[1]);
  });
  Run({{"Sizes"}});
  EXPECT_EQ(Var("TARGETDIR"), "E:\\App\\");
  EXPECT_EQ(Var("ALLUSERS"), "TRUE");
  EXPECT_EQ(Var("STARTMENU"), "Other");
  // The predefined component twice (the list's own and the file's), Tools.
  EXPECT_EQ(Var("INSTALLED"), "220");
  EXPECT_EQ(Var("COMPONENTS"), "4");
  EXPECT_EQ(Var("PREVIOUS"), "E:\\App\\bin");
}

TEST_F(RegistrationTest, AMaintenanceRunWithoutUsableFilesStartsAsUsual) {
  host_.start.maintenance = true;
  host_.unreadable.insert(std::string(kUserFolder) + "Setup.dat");
  host_.files[std::string(kAllUsersFolder) + "Setup.par"] = "ODD\r\n";
  Command("Count", [](CommandContext& c) {
    c.store.Define("COMPONENTS", std::to_string(c.run.components.Count()));
    c.store.Define("PREVIOUS", std::to_string(c.run.changes.previous.size()));
  });
  Run({{"Count"}});
  EXPECT_EQ(Var("COMPONENTS"), "1");
  EXPECT_EQ(Var("PREVIOUS"), "0");
  EXPECT_EQ(Var("TARGETDIR"), host_.start.targetDir);
}

class IsInstalledTest : public RegistrationTest, public ::testing::WithParamInterface<int> {};

TEST_P(IsInstalledTest, IsMsiSetupInstalledAnswersForThePathFormOfTheCode) {
  host_.productState = GetParam();
  Run({Set("CODE", "{X}"), {"Is MSI Setup Installed", {"$CODE$", "$FOUND$"}}});
  EXPECT_EQ(Var("FOUND"), GetParam() == kProductInstalled ? "TRUE" : "FALSE");
}

INSTANTIATE_TEST_SUITE_P(States, IsInstalledTest, ::testing::Values(5, 1, -1));

}  // namespace
}  // namespace tavrel
