// Start-up and clean-up against an in-memory machine.
#include "engine/core/startup.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace tavrel {
namespace {

constexpr std::uint64_t kImage = 1000;  // image end of both programs

class FakePlatform : public StartupPlatform {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> folders;  // without trailing backslash
  std::vector<std::string> messages;
  std::vector<WindowRef> owners;
  std::vector<std::string> arguments = {};
  FileVersion comctl{5, 80};
  bool extractOk = true;
  std::map<std::string, std::string> archiveContents;  // name -> data, unpacked on success
  std::vector<std::string> trace;

  FakePlatform() {
    folders = {"C:", "C:\\Setup", "C:\\Temp", "C:\\Windows\\System32"};
    files["C:\\Setup\\tvl.dll"] = std::string(kImage, 'D');
    files["C:\\Setup\\Setup.res"] = "archive";
    files["C:\\Setup\\Setup.msi"] = "database";
  }

  void SetScript(const std::string& script) {
    files["C:\\Setup\\Setup.exe"] = std::string(kImage, 'E') + script;
  }

  static std::string Trim(std::string path) {
    while (path.size() > 2 && path.back() == '\\') path.pop_back();
    return path;
  }

  std::string ExecutablePath() override { return "C:\\Setup\\Setup.exe"; }
  std::string TempFolder() override { return "C:\\Temp"; }
  std::string SystemFolder() override { return "C:\\Windows\\System32"; }
  std::string CommandLine() override { return "\"C:\\Setup\\Setup.exe\" /s A=1"; }
  std::vector<std::string> Arguments() override { return arguments; }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  bool FolderExists(const std::string& path) override { return folders.count(Trim(path)) != 0; }
  void CreateFolders(const std::string& path) override { folders.insert(Trim(path)); }
  std::uint64_t FileSize(const std::string& path) override { return files.at(path).size(); }
  void CopyFileTail(const std::string& source, std::uint64_t offset,
                    const std::string& target) override {
    files[target] = files.at(source).substr(offset);
    ++tailCopies;
  }
  std::string ReadFile(const std::string& path) override { return files.at(path); }
  void CopyFileNormal(const std::string& source, const std::string& target) override {
    files[target] = files.at(source);
  }
  bool RemoveFile(const std::string& path) override { return files.erase(path) != 0; }
  std::vector<FolderEntry> ListFolder(const std::string& path) override {
    const std::string prefix = Trim(path) + "\\";
    std::vector<FolderEntry> entries;
    for (const auto& [name, data] : files) {
      if (name.rfind(prefix, 0) == 0 && name.find('\\', prefix.size()) == std::string::npos) {
        entries.push_back({name.substr(prefix.size()), false});
      }
    }
    for (const auto& folder : folders) {
      if (folder.rfind(prefix, 0) == 0 && folder.find('\\', prefix.size()) == std::string::npos) {
        entries.push_back({folder.substr(prefix.size()), true});
      }
    }
    return entries;
  }
  bool RemoveFolder(const std::string& path) override {
    const std::string folder = Trim(path);
    for (const auto& [name, data] : files) {
      if (name.rfind(folder + "\\", 0) == 0) return false;
    }
    return folders.erase(folder) != 0;
  }
  std::optional<std::uint64_t> LibraryImageEnd(const std::string&) override { return kImage; }
  std::optional<std::uint64_t> ExecutableImageEnd() override { return kImage; }
  FileVersion GetFileVersion(const std::string& path) override {
    EXPECT_EQ(path, "C:\\Windows\\System32\\comctl32.dll");
    return comctl;
  }
  bool ExtractArchive(const std::string& archive, const std::string& destination) override {
    EXPECT_EQ(archive, "C:\\Setup\\Setup.res");
    if (!extractOk) return false;
    for (const auto& [name, data] : archiveContents) {
      const std::string path = destination + name;
      files[path] = data;
      for (std::size_t slash = path.find('\\', destination.size()); slash != std::string::npos;
           slash = path.find('\\', slash + 1)) {
        folders.insert(path.substr(0, slash));
      }
    }
    return true;
  }
  void ShowError(const std::string& text, WindowRef owner) override {
    messages.push_back(text);
    owners.push_back(owner);
  }
  void Trace(std::string_view line) override { trace.emplace_back(line); }

  int tailCopies = 0;
};

class FakeWindows : public StartupWindows {
 public:
  bool created = false, destroyed = false, splashShown = false;
  std::optional<Size> picture;
  Point preparingAt;
  std::string caption;
  int maximum = -1, position = -1;

  void Create() override { created = true; }
  std::optional<Size> LoadSplashPicture(const std::string&) override { return picture; }
  void ShowSplashAt(Point) override { splashShown = true; }
  Size PreparingWindowSize() override { return {391, 115}; }
  void ShowPreparingAt(Point at, const std::string& text, const std::string&) override {
    preparingAt = at;
    caption = text;
  }
  void SetProgress(int, int max, int pos) override { maximum = max, position = pos; }
  void StepProgress() override { ++position; }
  Size ScreenSize() override { return {1024, 768}; }
  WindowRef PreparingWindow() override { return 42; }
  void Destroy() override { destroyed = true; }
};

class RecordingDialogs : public DialogRuntime {
 public:
  std::string folder;
  std::vector<std::pair<std::string, std::string>> loaded;
  void InitDialogs(const std::string& supportFolder, bool) override { folder = supportFolder; }
  WindowRef LoadDialog(const std::string& key, const std::string& file) override {
    loaded.emplace_back(key, file);
    return 0;
  }
  void FreeDialogs() override {}
};

class RecordingInterpreter : public ScriptInterpreter {
 public:
  explicit RecordingInterpreter(FakePlatform& platform, FakeWindows& windows)
      : platform_(platform), windows_(windows) {}
  bool ran = false;
  std::string database;
  std::string supportFolder;
  bool windowsGoneWhenRun = false;
  bool databaseCopied = false;
  std::string firstParameter;
  // What the script does while it runs.
  std::function<void(EngineState&)> script;

  void Run(EngineState& state, const std::string& databasePath) override {
    ran = true;
    if (script) script(state);
    database = databasePath;
    supportFolder = state.supportFolder;
    windowsGoneWhenRun = !windows_.created || windows_.destroyed;
    databaseCopied = platform_.files.count(databasePath) != 0;
    if (state.script.CommandCount() > 0) firstParameter = state.Parameter(0, 1);
    platform_.files[state.supportFolder + "left\\behind.txt"] = "x";
    platform_.folders.insert(state.supportFolder + "left");
  }

 private:
  FakePlatform& platform_;
  FakeWindows& windows_;
};

struct EngineRun {
  FakePlatform platform;
  FakeWindows windows;
  RecordingDialogs dialogs;
  RecordingInterpreter interpreter{platform, windows};
  MessageTable messages;

  int Go() { return RunEngine({platform, windows, dialogs, interpreter, messages}); }

  bool TempIsClean() const {
    for (const auto& [name, data] : platform.files) {
      if (name.rfind("C:\\Temp\\", 0) == 0) return false;
    }
    for (const auto& folder : platform.folders) {
      if (folder.rfind("C:\\Temp\\", 0) == 0) return false;
    }
    return true;
  }
};

std::string ScriptWith(const CompiledScript& script) {
  return WriteCompiledScript(script);
}

CompiledScript DialogScript() {
  CompiledScript script;
  script.commandNames = {"Display Dialog", "Set Variable", "Display Dialog", "Display Dialog"};
  script.commandIds = {"d0", "s1", "d2", "d3"};
  script.commandFlags = {"", "", "C", ""};
  script.mediaFolders = {"", "", "", ""};
  script.parameterBlock = {"d3", "Finish", "d0", "Welcome", "s1", "TITLE", "x"};
  return script;
}

TEST(Startup, PreparesTheSupportFolderAndRunsTheScript) {
  EngineRun run;
  run.platform.SetScript(ScriptWith(DialogScript()));
  run.platform.archiveContents = {{"Welcome.dfm", "form"}, {"sub\\plugin.dll", "code"}};
  // Folders of earlier runs are left alone; so is a plain file of such a
  // name, which a folder could not be created over.
  run.platform.folders.insert("C:\\Temp\\tvl1");
  run.platform.folders.insert("C:\\Temp\\tvl2");
  run.platform.files["C:\\Temp\\tvl3"] = "plain file";

  EXPECT_EQ(run.Go(), 0);
  EXPECT_TRUE(run.platform.messages.empty()) << run.platform.messages[0];
  EXPECT_TRUE(run.interpreter.ran);
  EXPECT_EQ(run.interpreter.supportFolder, "C:\\Temp\\tvl4\\");
  EXPECT_EQ(run.interpreter.database, "C:\\Temp\\tvl4\\Setup.msi");
  EXPECT_TRUE(run.interpreter.databaseCopied);
  EXPECT_TRUE(run.interpreter.windowsGoneWhenRun);
  EXPECT_EQ(run.interpreter.firstParameter, "Welcome");
  EXPECT_EQ(run.dialogs.folder, "C:\\Temp\\tvl4\\");
  using Loaded = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(run.dialogs.loaded,
            (Loaded{{"0", "C:\\Temp\\tvl4\\Welcome.dfm"}, {"3", "C:\\Temp\\tvl4\\Finish.dfm"}}));
  EXPECT_EQ(run.windows.maximum, 2);
  EXPECT_EQ(run.windows.position, 3);
  // Everything start-up and the script left in the temp folder is gone,
  // except what was there before.
  EXPECT_FALSE(run.platform.FolderExists("C:\\Temp\\tvl4"));
  EXPECT_TRUE(run.platform.FolderExists("C:\\Temp\\tvl1"));
  EXPECT_TRUE(run.platform.FileExists("C:\\Temp\\tvl3"));
  EXPECT_FALSE(run.platform.FileExists("C:\\Temp\\tvl.tmp"));
}

TEST(Startup, WindowsArePlacedAndNamedFromTheMessageTable) {
  EngineRun centred;
  centred.platform.SetScript(ScriptWith({}));
  centred.Go();
  EXPECT_FALSE(centred.windows.splashShown);
  EXPECT_EQ(centred.windows.preparingAt.left, (1024 - 391) / 2);
  EXPECT_EQ(centred.windows.caption, "Tavrel Wizard");
  EXPECT_EQ(centred.windows.maximum, 0);
  EXPECT_TRUE(centred.windows.destroyed);

  EngineRun splash;
  splash.platform.SetScript(ScriptWith({}));
  splash.platform.files["C:\\Setup\\setup.bmp"] = "picture";
  splash.windows.picture = Size{300, 200};
  std::string language;
  for (int i = 1; i <= 54; ++i) language += (i == 23 ? "Assistant" : "x") + std::string("\r\n");
  splash.platform.files["C:\\Setup\\tvl.dll"] += language;
  splash.Go();
  EXPECT_TRUE(splash.windows.splashShown);
  EXPECT_EQ(splash.windows.preparingAt.top, 284 + 200 + 25);
  EXPECT_EQ(splash.windows.caption, "Assistant");
  EXPECT_FALSE(splash.platform.FileExists("C:\\Temp\\lang.loc"));

  EngineRun silent;
  silent.platform.SetScript(ScriptWith({}));
  silent.platform.arguments = {"/S"};
  silent.Go();
  EXPECT_FALSE(silent.windows.created);
  EXPECT_TRUE(silent.interpreter.ran);
}

TEST(Startup, EachFailureShowsItsMessageAndLeavesNothingBehind) {
  struct Case {
    const char* name;
    std::function<void(EngineRun&)> arrange;
    std::string message;
    WindowRef owner;
  };
  const std::vector<Case> cases = {
      {"no overlay",
       [](EngineRun& r) { r.platform.files["C:\\Setup\\Setup.exe"] = std::string(kImage, 'E'); },
       "For internal use only", 42},
      {"no archive", [](EngineRun& r) { r.platform.files.erase("C:\\Setup\\Setup.res"); },
       "Setup resource not found", 42},
      {"extraction fails", [](EngineRun& r) { r.platform.extractOk = false; },
       "Setup resource decompression failure", 42},
      {"no database", [](EngineRun& r) { r.platform.files.erase("C:\\Setup\\Setup.msi"); },
       "Setup database not found", 42},
      {"malformed script",
       [](EngineRun& r) { r.platform.SetScript("If\r\n$\r\nid\r\n$\r\nid\r\n"); },
       "Runtime error in install: malformed setup script: the parameter block list is not closed "
       "by a \"$\" line before the end of the file",
       0},
      {"bad media mode",
       [](EngineRun& r) {
         r.platform.SetScript(
             "$\r\n$\r\n$\r\n$\r\nP\r\nT\r\n$\r\n1\r\n2\r\n3\r\n4\r\n5\r\n$\r\nweb\r\n");
       },
       "Runtime error in install: malformed setup script: the media mode on line 14 is not a whole "
       "number: \"web\"",
       0},
      {"old common controls",
       [](EngineRun& r) {
         r.platform.comctl = {4, 71};
       },
       "Please install the common controls update from Microsoft before attempting to install this "
       "product.",
       0},
  };
  for (const auto& c : cases) {
    for (const bool silent : {false, true}) {
      EngineRun run;
      run.platform.SetScript(ScriptWith(DialogScript()));
      if (silent) run.platform.arguments = {"-s"};
      c.arrange(run);
      EXPECT_EQ(run.Go(), 0) << c.name;
      EXPECT_FALSE(run.interpreter.ran) << c.name;
      EXPECT_TRUE(run.TempIsClean()) << c.name;
      EXPECT_EQ(run.windows.created, run.windows.destroyed) << c.name;
      if (silent) {
        EXPECT_TRUE(run.platform.messages.empty()) << c.name;
      } else {
        ASSERT_EQ(run.platform.messages.size(), 1u) << c.name;
        EXPECT_EQ(run.platform.messages[0], c.message) << c.name;
        EXPECT_EQ(run.platform.owners[0], c.owner) << c.name;
      }
    }
  }
}

// A script that switches the silent setting decides whether start-up's
// report of its failure is shown.
TEST(Startup, FailureReportFollowsTheSilentSettingTheScriptLeft) {
  for (const bool startSilent : {false, true}) {
    EngineRun run;
    run.platform.SetScript(ScriptWith(DialogScript()));
    if (startSilent) run.platform.arguments = {"/s"};
    run.interpreter.script = [&](EngineState& state) {
      state.commandLine.silent = !startSilent;
      throw ListIndexError(9);
    };
    EXPECT_EQ(run.Go(), 0);
    EXPECT_TRUE(run.TempIsClean());
    if (startSilent) {
      ASSERT_EQ(run.platform.messages.size(), 1u);
      EXPECT_EQ(run.platform.messages[0], "Runtime error in install: List index out of bounds (9)");
    } else {
      EXPECT_TRUE(run.platform.messages.empty());
    }
  }
}

TEST(Startup, CommonControlsCheckPassesEverythingButEarlyVersionFour) {
  for (const FileVersion version : {FileVersion{4, 72}, FileVersion{5, 80}, FileVersion{6, 0},
                                    FileVersion{0, 0}, FileVersion{3, 10}}) {
    EngineRun run;
    run.platform.SetScript(ScriptWith({}));
    run.platform.comctl = version;
    run.Go();
    EXPECT_TRUE(run.interpreter.ran) << version.major << "." << version.minor;
  }
}

TEST(Startup, EngineLocation) {
  EXPECT_EQ(LocateEngine("C:\\Setup\\Setup.exe").folder, "C:\\Setup\\");
  EXPECT_EQ(LocateEngine("C:\\Setup\\Setup.exe").setupName, "Setup");
  EXPECT_EQ(LocateEngine("C:\\a.b\\my.exe.tools.exe").setupName, "my.exe.tools");
  EXPECT_EQ(LocateEngine("C:\\x\\noext").setupName, "noext");
  EXPECT_EQ(LocateEngine("C:/Setup/Setup.exe").folder, "C:/Setup\\");
  EXPECT_EQ(LocateEngine("Setup.exe").folder, "");
}

TEST(Startup, AnEmptySupportFolderNameRemovesNothing) {
  struct Recording : FakePlatform {
    std::vector<std::string> listed;
    std::vector<FolderEntry> ListFolder(const std::string& path) override {
      listed.push_back(path);
      return FakePlatform::ListFolder(path);
    }
  } platform;
  platform.folders.insert("\\");
  RemoveSupportFolder(platform, "");
  EXPECT_TRUE(platform.listed.empty());
  EXPECT_EQ(platform.folders.count("\\"), 1u);
}

}  // namespace
}  // namespace tavrel
