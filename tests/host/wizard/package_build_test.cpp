#include "wizard/core/package_build.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "stub/core/package_format.h"

namespace ombrwiz {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

using FileMap = std::map<std::string, std::string>;

struct AddCallRecord {
  std::string source;
  std::string name;
  std::uint16_t compression;
};

bool InFolder(const std::string& path, const std::string& folder, std::string& rest) {
  if (!path.starts_with(folder)) return false;
  rest = path.substr(folder.size());
  return true;
}

// Enough of a wildcard match for "*.*", "*" and "*.ext".
bool MaskMatches(const std::string& mask, const std::string& name) {
  if (mask == "*.*" || mask == "*") return true;
  if (mask.starts_with("*")) return name.ends_with(mask.substr(1));
  return mask == name;
}

// The cabinet library over the fake file system: the cabinet holds the
// added files' bytes after "MSCF"; a cabinet is written when the next one
// starts and the last one on flush.
class FakeCabinets : public CabinetPlatform {
 public:
  explicit FakeCabinets(FileMap& files) : files_(files) {}

  std::uint64_t blockSize = 32'768;
  std::map<std::string, FciError> addFailures;
  // Called before each block is reported, and after each file is added.
  std::function<void(const std::string& source)> beforeBlock;
  std::function<void(const std::string& source)> afterAdd;
  std::function<void()> onFlush;

  std::vector<CabinetParameters> created;
  std::vector<AddCallRecord> adds;
  std::vector<std::pair<std::string, std::string>> written;  // path, bytes

  bool FileExists(const std::string& path) override { return files_.contains(path); }

  std::vector<std::string> Files(const std::string& folder, const std::string& mask) override {
    std::vector<std::string> names;
    std::string rest;
    for (const auto& entry : files_) {
      if (InFolder(entry.first, folder, rest) && rest.find('\\') == std::string::npos &&
          MaskMatches(mask, rest)) {
        names.push_back(rest);
      }
    }
    return names;
  }

  std::vector<std::string> Subfolders(const std::string& folder) override {
    std::vector<std::string> names;
    std::string rest;
    for (const auto& entry : files_) {
      if (!InFolder(entry.first, folder, rest)) continue;
      const auto slash = rest.find('\\');
      if (slash == std::string::npos) continue;
      const std::string sub = rest.substr(0, slash);
      if (std::find(names.begin(), names.end(), sub) == names.end()) names.push_back(sub);
    }
    return names;
  }

  bool CreateContext(const CabinetParameters& parameters, CabinetRunContext& context) override {
    created.push_back(parameters);
    parameters_ = parameters;
    context_ = &context;
    running_ = 0;
    current_.clear();
    return true;
  }

  bool AddFile(const std::string& sourcePath, const std::string& nameInCabinet,
               std::uint16_t compression) override {
    adds.push_back({sourcePath, nameInCabinet, compression});
    if (const auto failure = addFailures.find(sourcePath); failure != addFailures.end()) {
      error_ = failure->second;
      return false;
    }
    const auto found = files_.find(sourcePath);
    if (found == files_.end()) {
      error_ = {1, 2, true};
      return false;
    }
    const std::string bytes = found->second;
    context_->FileOpened(sourcePath, bytes.size());
    for (std::uint64_t done = 0; done < bytes.size();) {
      const std::uint64_t block = std::min<std::uint64_t>(blockSize, bytes.size() - done);
      current_ += bytes.substr(done, block);
      done += block;
      running_ += block;
      if (beforeBlock) beforeBlock(sourcePath);
      if (!context_->BlockCompressed(block)) {
        error_ = {7, 0, true};
        return false;
      }
      if (running_ > parameters_.maxCabinetSize && !StartNextCabinet()) return false;
    }
    if (afterAdd) afterAdd(sourcePath);
    return true;
  }

  bool FlushCabinet() override {
    if (onFlush) onFlush();
    WriteCurrent();
    return true;
  }

  void DestroyContext() override { context_ = nullptr; }
  FciError LastError() override { return error_; }

  // The bytes written for a cabinet path (the last time it was written).
  std::string WrittenBytes(const std::string& path) const {
    std::string bytes;
    for (const auto& [where, what] : written) {
      if (where == path) bytes = what;
    }
    return bytes;
  }

 private:
  void WriteCurrent() {
    const std::string path = parameters_.cabinetPath + parameters_.cabinetName;
    files_[path] = "MSCF" + current_;
    written.emplace_back(path, files_[path]);
    current_.clear();
  }

  bool StartNextCabinet() {
    WriteCurrent();
    running_ = 0;
    ++parameters_.cabinetNumber;
    if (!context_->NextCabinet(parameters_)) {
      error_ = {7, 0, true};
      return false;
    }
    return true;
  }

  FileMap& files_;
  FciError error_;
  CabinetParameters parameters_;
  CabinetRunContext* context_ = nullptr;
  std::uint64_t running_ = 0;
  std::string current_;
};

struct Child {
  int startError = 0;
  std::vector<std::string> output;  // blocks delivered
  int polls = 2;                    // how often ChildRunning answers true
};

class FakeSystem : public BuildSystem {
 public:
  explicit FakeSystem(BuildProgress& progress) : progress_(progress) {}

  FileMap files;
  FakeCabinets cabinets{files};
  std::set<std::string> locked;        // cannot be removed, replaced or opened for writing
  std::set<std::string> brokenWrites;  // WriteFile puts half the bytes there and fails
  std::optional<std::uint64_t> freeBytes;
  std::optional<std::uint64_t> writeLimit;  // bytes all outputs together may take
  std::uint64_t bytesWritten = 0;
  std::function<void(const std::string& path)> onWrite;
  std::atomic<int> operations{0};

  std::vector<Child> children;
  std::vector<std::string> commandLines;
  std::vector<int> stepAtStart;
  int sleeps = 0;
  std::vector<std::pair<Box, std::string>> boxes;

  CabinetPlatform& Cabinets() override { return cabinets; }

  bool FileExists(const std::string& path) override {
    ++operations;
    return files.contains(path);
  }

  bool RemoveFile(const std::string& path) override {
    ++operations;
    if (!files.contains(path)) return true;
    if (locked.contains(path)) return false;
    files.erase(path);
    return true;
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    ++operations;
    if (!files.contains(from) || files.contains(to) || locked.contains(from)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }

  std::optional<std::string> ReadFile(const std::string& path) override {
    ++operations;
    const auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
  }

  bool WriteFile(const std::string& path, std::string_view bytes) override {
    ++operations;
    if (locked.contains(path)) return false;
    if (brokenWrites.contains(path)) {
      files[path] = std::string(bytes.substr(0, bytes.size() / 2));
      return false;
    }
    files[path] = std::string(bytes);
    return true;
  }

  class Input : public BuildInput {
   public:
    Input(std::string bytes, FakeSystem& system) : bytes_(std::move(bytes)), system_(system) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::optional<std::size_t> Read(std::span<char> buffer) override {
      ++system_.operations;
      const std::size_t count = std::min(buffer.size(), bytes_.size() - at_);
      std::copy_n(bytes_.data() + at_, count, buffer.data());
      at_ += count;
      return count;
    }

   private:
    std::string bytes_;
    std::size_t at_ = 0;
    FakeSystem& system_;
  };

  class Output : public BuildOutput {
   public:
    Output(std::string path, FakeSystem& system) : path_(std::move(path)), system_(system) {}
    bool Write(std::span<const char> bytes) override {
      ++system_.operations;
      if (system_.writeLimit && system_.bytesWritten + bytes.size() > *system_.writeLimit) {
        return false;
      }
      system_.bytesWritten += bytes.size();
      system_.files[path_].append(bytes.data(), bytes.size());
      if (system_.onWrite) system_.onWrite(path_);
      return true;
    }
    bool Close() override { return true; }

   private:
    std::string path_;
    FakeSystem& system_;
  };

  std::unique_ptr<BuildInput> OpenInput(const std::string& path) override {
    ++operations;
    const auto found = files.find(path);
    if (found == files.end()) return nullptr;
    return std::make_unique<Input>(found->second, *this);
  }

  std::unique_ptr<BuildOutput> CreateOutput(const std::string& path) override {
    ++operations;
    if (locked.contains(path)) return nullptr;
    files[path].clear();
    return std::make_unique<Output>(path, *this);
  }

  std::optional<std::uint64_t> FreeBytes(const std::string&) override { return freeBytes; }

  int StartChild(const std::string& commandLine,
                 std::function<void(std::string_view)> onOutput) override {
    ++operations;
    commandLines.push_back(commandLine);
    stepAtStart.push_back(progress_.step.load());
    const Child child =
        commandLines.size() <= children.size() ? children[commandLines.size() - 1] : Child{};
    if (child.startError != 0) return child.startError;
    for (const auto& block : child.output) onOutput(block);
    polls_ = child.polls;
    return 0;
  }

  bool ChildRunning() override { return polls_-- > 0; }
  void Sleep(int milliseconds) override {
    EXPECT_EQ(milliseconds, 900);
    ++sleeps;
  }
  void ShowBox(Box kind, const std::string& text) override { boxes.emplace_back(kind, text); }

 private:
  BuildProgress& progress_;
  int polls_ = 0;
};

constexpr const char* kPackage = "C:\\Out\\Setup.exe";
constexpr const char* kFirstCabinet = "C:\\Out\\Setup.cab";
constexpr const char* kSessionFile = "C:\\Out\\Setup.exe.resource.injection.buffer";
constexpr const char* kStub = "C:\\Prog\\ombrstub.exe";
constexpr const char* kLibrary = "C:\\Prog\\cabinet.dl_";
constexpr const char* kTranslation = "C:\\Prog\\translations.English";

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::uint32_t state = seed * 2'654'435'761u + 1;
  for (char& c : bytes) {
    state = state * 1'103'515'245u + 12'345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string Translation(int lines) {
  std::string text;
  for (int i = 1; i <= lines; ++i) text += "T" + std::to_string(i) + "\r\n";
  return text;
}

std::string Scrambled(std::string bytes, std::string_view password) {
  ombrell::Scramble(bytes, ombrell::PackageKey(password), 0);
  return bytes;
}

std::vector<std::string> PathsEndingIn(const FileMap& files, std::string_view end) {
  std::vector<std::string> paths;
  for (const auto& entry : files) {
    if (entry.first.ends_with(end)) paths.push_back(entry.first);
  }
  return paths;
}

class PackageBuildTest : public ::testing::Test {
 protected:
  PackageBuildTest() {
    system.files[kStub] = "MZ" + Pattern(3'000, 1);
    system.files[kLibrary] = "LIB" + Pattern(2'000, 2);
    system.files[kTranslation] = Translation(56);
    system.files["C:\\Data\\a.txt"] = "alpha";
    system.files["C:\\Data\\sub\\b.txt"] = "bravo";
  }

  static BuildSettings HandMade() {
    BuildSettings settings;
    settings.packagePath = kPackage;
    settings.packageName = "Tools";
    settings.translationFile = kTranslation;
    settings.programFolder = "C:\\Prog\\";
    settings.fileToOpen = "$EXPLORE$";
    settings.requiredSpace = "0";
    settings.files = {{"C:\\Data\\*.*", true}};
    return settings;
  }

  void Build(const BuildSettings& settings) {
    Action action(settings, system, progress);
    action.Execute();
  }

  // The session information read back from a package file.
  static ombrell::SessionInfo SessionOf(const std::string& package) {
    const auto after = ombrell::FindMarker(package);
    EXPECT_TRUE(after.has_value());
    if (!after) return {};
    return ombrell::ReadSessionInformation(std::string_view(package).substr(*after));
  }

  void ExpectNothingLeft(const std::string& packagePath = kPackage) {
    EXPECT_FALSE(system.files.contains(packagePath));
    EXPECT_FALSE(system.files.contains(packagePath + ".resource.injection.buffer"));
    EXPECT_THAT(PathsEndingIn(system.files, ".cab"), ElementsAre());
    EXPECT_THAT(PathsEndingIn(system.files, ".cab_"), ElementsAre());
    EXPECT_FALSE(progress.success.load());
    EXPECT_TRUE(progress.stop.load());
  }

  BuildProgress progress;
  FakeSystem system{progress};
};

TEST_F(PackageBuildTest, PackageIsStubLibrarySessionAndCabinet) {
  ProjectSettings project;
  project.saveAs = kPackage;
  project.packageName = "Tools";
  project.startText = "Install Tools?";
  project.endText = "Done.";
  project.files = {{"C:\\Data\\*.*", true}};
  project.language = "English";
  const BuildSettings settings = MakeBuildSettings(project, "C:\\Prog");

  std::vector<std::string> statuses;
  int overallAtFlush = -1;
  system.cabinets.beforeBlock = [&](const std::string&) { statuses.push_back(progress.Status()); };
  system.cabinets.onFlush = [&] {
    statuses.push_back(progress.Status());
    overallAtFlush = progress.overall.load();
  };
  Build(settings);

  EXPECT_TRUE(system.boxes.empty());
  EXPECT_TRUE(progress.success.load());
  EXPECT_TRUE(progress.stop.load());
  EXPECT_EQ(progress.step.load(), 100);
  EXPECT_EQ(progress.overall.load(), 100);
  EXPECT_EQ(progress.Status(), "Finishing");
  EXPECT_EQ(overallAtFlush, 80);
  EXPECT_EQ(statuses.front(), "Preparing to Create Package");
  EXPECT_EQ(statuses.back(), "Checking Package");
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Packing \"C:\\Data\\sub\\b.txt\""),
            statuses.end());

  // The writer as the build sets it up.
  ASSERT_EQ(system.cabinets.created.size(), 1u);
  const CabinetParameters& created = system.cabinets.created[0];
  EXPECT_EQ(created.maxCabinetSize, 2'147'483'647u);
  EXPECT_EQ(created.folderThreshold, 2'147'483'647u);
  EXPECT_EQ(created.headerReserve, 0u);
  EXPECT_EQ(created.cabinetPath, "C:\\Out\\");
  EXPECT_EQ(created.cabinetName, "Setup.cab");
  ASSERT_EQ(system.cabinets.adds.size(), 2u);
  EXPECT_EQ(system.cabinets.adds[0].name, "sub\\b.txt");
  EXPECT_EQ(system.cabinets.adds[1].name, "a.txt");
  EXPECT_EQ(system.cabinets.adds[0].compression, (21 << 8) | 3);

  const std::string& package = system.files.at(kPackage);
  const std::string& stub = system.files.at(kStub);
  const std::string& library = system.files.at(kLibrary);
  const std::string cabinet = system.cabinets.WrittenBytes(kFirstCabinet);
  ASSERT_EQ(cabinet, "MSCFbravoalpha");
  EXPECT_EQ(package.substr(0, stub.size()), stub);
  EXPECT_EQ(package.substr(stub.size(), library.size()), library);
  EXPECT_EQ(ombrell::FindMarker(package), stub.size() + library.size() + 14);

  const ombrell::SessionInfo info = SessionOf(package);
  EXPECT_EQ(info.stubLength, stub.size());
  EXPECT_EQ(info.libraryLength, library.size());
  EXPECT_EQ(info.CabinetOffset(), package.size() - cabinet.size());
  EXPECT_EQ(package.substr(info.CabinetOffset()), cabinet);
  EXPECT_EQ(info.packageName, "Tools");
  EXPECT_EQ(info.startQuestion, "Install Tools?");
  EXPECT_EQ(info.licence, "");
  EXPECT_EQ(info.endMessage, "Done.");
  EXPECT_EQ(info.targetFolder, "");
  EXPECT_EQ(info.fileToOpen, "$EXPLORE$");
  EXPECT_EQ(info.parameters, "");
  EXPECT_EQ(info.requiredMegabytes, 0u);
  EXPECT_FALSE(info.password);
  EXPECT_FALSE(info.silent);
  for (int i = 1; i <= 56; ++i) EXPECT_EQ(info.Message(i), "T" + std::to_string(i));
  // Without a licence: exactly one empty licence line before the terminator.
  const std::string licenceLines =
      "Install Tools?\r\n\r\n" + std::string(ombrell::kLicenceTerminator);
  EXPECT_NE(package.find(licenceLines), std::string::npos);

  // The intermediate files are gone.
  EXPECT_FALSE(system.files.contains(kFirstCabinet));
  EXPECT_FALSE(system.files.contains(kSessionFile));
  EXPECT_THAT(PathsEndingIn(system.files, ".cab_"), ElementsAre());
}

TEST_F(PackageBuildTest, LicenceValuesAndAShortTranslation) {
  system.files["C:\\Docs\\Licence.txt"] = "Line one\nLine two\n";
  system.files[kTranslation] = Translation(10);
  BuildSettings settings = HandMade();
  settings.licenceFile = "C:\\Docs\\Licence.txt";
  settings.targetCode = "$TEMP$";
  settings.fileToOpen = "setup.exe";
  settings.parameters = "/q";
  settings.requiredSpace = "12";
  settings.silent = true;
  Build(settings);
  ASSERT_TRUE(progress.success.load());

  const ombrell::SessionInfo info = SessionOf(system.files.at(kPackage));
  EXPECT_EQ(info.licence, "Line one\r\nLine two");
  EXPECT_EQ(info.targetFolder, "$TEMP$");
  EXPECT_EQ(info.fileToOpen, "setup.exe");
  EXPECT_EQ(info.parameters, "/q");
  EXPECT_EQ(info.requiredMegabytes, 12u);
  EXPECT_TRUE(info.silent);
  const auto& english = ombrell::EnglishMessages();
  for (int i = 1; i <= 56; ++i) {
    EXPECT_EQ(info.Message(i), i <= 10 ? "T" + std::to_string(i) : std::string(english[i - 1]))
        << i;
  }
  EXPECT_EQ(system.files.at(kPackage).substr(info.CabinetOffset()), "MSCFbravoalpha");
}

TEST_F(PackageBuildTest, PasswordScramblesEveryCabinetFromItsOwnStart) {
  system.files["C:\\Data\\big1.bin"] = Pattern(1'200'000, 3);
  system.files["C:\\Data\\big2.bin"] = Pattern(1'400'000, 4);
  ProjectSettings project;
  project.saveAs = kPackage;
  project.packageName = "Tools";
  project.packagePassword = "abc";  // 1,048,576 is not a multiple of 3
  project.files = {{"C:\\Data\\*.*", true}};
  project.language = "English";
  project.advanced = true;
  project.multiPart = true;
  project.split = "1";
  Build(MakeBuildSettings(project, "C:\\Prog\\"));
  ASSERT_TRUE(progress.success.load()) << (system.boxes.empty() ? "" : system.boxes[0].second);
  EXPECT_EQ(system.cabinets.created.at(0).maxCabinetSize, 1'048'576u);

  const std::string& package = system.files.at(kPackage);
  const ombrell::SessionInfo info = SessionOf(package);
  EXPECT_TRUE(info.password);
  const std::string first = system.cabinets.WrittenBytes(kFirstCabinet);
  ASSERT_GT(first.size(), 1'048'576u);  // copied in more than one block
  EXPECT_TRUE(package.substr(info.CabinetOffset()) == Scrambled(first, "abc"));
  EXPECT_EQ(package[info.CabinetOffset()], static_cast<char>('M' ^ ~'a'));

  for (const char* name : {"C:\\Out\\Setup2.cab", "C:\\Out\\Setup3.cab"}) {
    SCOPED_TRACE(name);
    const std::string plain = system.cabinets.WrittenBytes(name);
    ASSERT_FALSE(plain.empty());
    ASSERT_TRUE(system.files.contains(name));
    EXPECT_TRUE(system.files.at(name) == Scrambled(plain, "abc"));
    EXPECT_EQ(system.files.at(name)[0], static_cast<char>('M' ^ ~'a'));
  }
  EXPECT_FALSE(system.files.contains("C:\\Out\\Setup4.cab"));
  EXPECT_THAT(PathsEndingIn(system.files, ".cab"),
              ElementsAre("C:\\Out\\Setup2.cab", "C:\\Out\\Setup3.cab"));
  EXPECT_THAT(PathsEndingIn(system.files, ".cab_"), ElementsAre());
}

TEST_F(PackageBuildTest, ContinuationNamesWhenTheBaseEndsInDigits) {
  const std::string package = "C:\\Out\\Setup2.exe";
  system.files["C:\\Out\\Setup22.cab"] = "stale";
  system.files["C:\\Out\\Setup23.cab"] = "stale";
  system.files["C:\\Out\\Setup24.cab"] = "stale";
  BuildSettings settings = HandMade();
  settings.packagePath = package;
  settings.maxCabinetSize = 4;
  Build(settings);
  ASSERT_TRUE(progress.success.load());

  std::vector<std::string> paths;
  for (const auto& entry : system.cabinets.written) paths.push_back(entry.first);
  EXPECT_THAT(paths,
              ElementsAre("C:\\Out\\Setup2.cab", "C:\\Out\\Setup22.cab", "C:\\Out\\Setup23.cab"));
  const ombrell::SessionInfo info = SessionOf(system.files.at(package));
  EXPECT_EQ(system.files.at(package).substr(info.CabinetOffset()), "MSCFbravo");
  EXPECT_EQ(system.files.at("C:\\Out\\Setup22.cab"), "MSCFalpha");
  EXPECT_EQ(system.files.at("C:\\Out\\Setup23.cab"), "MSCF");
  // A stale part of an older, longer set would read as part of this one.
  EXPECT_FALSE(system.files.contains("C:\\Out\\Setup24.cab"));
  EXPECT_FALSE(system.files.contains("C:\\Out\\Setup2.cab"));

  Action action(settings, system, progress);
  EXPECT_EQ(action.FirstCabinet(), "C:\\Out\\Setup2.cab");
  EXPECT_EQ(action.ContinuationCabinet(2), "C:\\Out\\Setup22.cab");
  EXPECT_EQ(action.ContinuationCabinet(2),
            "C:\\Out\\" + ombrell::ContinuationCabinetName("Setup2.exe", 2));
  EXPECT_EQ(action.SessionFile(), package + ".resource.injection.buffer");
}

TEST_F(PackageBuildTest, LockedFilesStopTheBuildBeforeCompression) {
  system.files[kPackage] = "old package";
  system.files["C:\\Out\\Setup2.cab"] = "old part";
  system.locked.insert(kPackage);
  const FileMap before = system.files;
  Build(HandMade());
  EXPECT_THAT(system.boxes,
              ElementsAre(Pair(BuildSystem::Box::kError,
                               "Unable to prepare for resource injection, please make sure your "
                               "package file is not running.")));
  EXPECT_TRUE(system.cabinets.created.empty());
  EXPECT_TRUE(system.cabinets.adds.empty());
  EXPECT_EQ(system.files, before);
  EXPECT_TRUE(progress.stop.load());
  EXPECT_FALSE(progress.success.load());

  BuildProgress again;
  FakeSystem other(again);
  other.files = before;
  other.files[kFirstCabinet] = "old cabinet";
  other.locked = {kFirstCabinet};
  const FileMap otherBefore = other.files;
  Action(HandMade(), other, again).Execute();
  EXPECT_THAT(other.boxes,
              ElementsAre(Pair(BuildSystem::Box::kError,
                               "Unable to prepare for compression, please make sure your package "
                               "cabinet is not in use.")));
  EXPECT_TRUE(other.cabinets.created.empty());
  EXPECT_EQ(other.files, otherBefore);
  EXPECT_TRUE(again.stop.load());
}

TEST_F(PackageBuildTest, MissingPiecesLeaveNothingBehind) {
  struct Case {
    const char* path;
    const char* contents;  // nullptr: the file is missing
    const char* message;
  };
  const Case cases[] = {
      {kStub, nullptr, "Unable to open Ombrell resource for injection."},
      {kLibrary, nullptr, "Unable to open compression library resource for injection."},
      {kTranslation, "", "Unable to use chosen language translation."},
      {kTranslation, "\r\n", "Unable to use chosen language translation."},
      {kTranslation, nullptr, "Unable to use chosen language translation."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    BuildProgress caseProgress;
    FakeSystem caseSystem(caseProgress);
    caseSystem.files = system.files;
    if (c.contents) {
      caseSystem.files[c.path] = c.contents;
    } else {
      caseSystem.files.erase(c.path);
    }
    BuildSettings settings = HandMade();
    settings.maxCabinetSize = 4;  // a set of several cabinets
    Action(settings, caseSystem, caseProgress).Execute();
    EXPECT_THAT(caseSystem.boxes, ElementsAre(Pair(BuildSystem::Box::kError, c.message)));
    EXPECT_EQ(caseSystem.cabinets.written.size(), 3u);
    EXPECT_FALSE(caseSystem.files.contains(kPackage));
    EXPECT_FALSE(caseSystem.files.contains(kSessionFile));
    EXPECT_THAT(PathsEndingIn(caseSystem.files, ".cab"), ElementsAre());
    EXPECT_FALSE(caseProgress.success.load());
    EXPECT_TRUE(caseProgress.stop.load());
  }
}

TEST_F(PackageBuildTest, CompressionErrorShowsOnlyTheInformationBox) {
  system.cabinets.addFailures["C:\\Data\\a.txt"] = {1, 2, true};
  BuildSettings settings = HandMade();
  settings.maxCabinetSize = 4;  // the first cabinet is written before the failure
  Build(settings);
  EXPECT_THAT(system.boxes, ElementsAre(Pair(BuildSystem::Box::kInformation,
                                             "The following error has occured during "
                                             "compression:\rFailure opening file to be stored in "
                                             "cabinet")));
  EXPECT_TRUE(progress.compressionError.load());
  ASSERT_FALSE(system.cabinets.written.empty());
  ExpectNothingLeft();
}

TEST_F(PackageBuildTest, CancelDuringCompressionShowsNoBox) {
  // Cancelled between two blocks of the second file.
  system.files["C:\\Data\\a.txt"] = Pattern(100'000, 5);
  system.cabinets.beforeBlock = [&](const std::string& source) {
    if (source == "C:\\Data\\a.txt") {
      progress.userCancel = true;
      progress.stop = true;
    }
  };
  BuildSettings settings = HandMade();
  settings.maxCabinetSize = 4;
  Build(settings);
  EXPECT_TRUE(system.boxes.empty());
  ASSERT_EQ(system.cabinets.adds.size(), 2u);
  ExpectNothingLeft();

  // Cancelled after the last file was added, before the set is flushed.
  BuildProgress lateProgress;
  FakeSystem late(lateProgress);
  late.files = system.files;
  late.cabinets.afterAdd = [&](const std::string& source) {
    if (source == "C:\\Data\\a.txt") {
      lateProgress.userCancel = true;
      lateProgress.stop = true;
    }
  };
  bool flushed = false;
  late.cabinets.onFlush = [&] { flushed = true; };
  Action(HandMade(), late, lateProgress).Execute();
  EXPECT_FALSE(flushed);
  EXPECT_TRUE(late.boxes.empty());
  EXPECT_FALSE(late.files.contains(kPackage));
  EXPECT_THAT(PathsEndingIn(late.files, ".cab"), ElementsAre());
  EXPECT_FALSE(lateProgress.success.load());
}

TEST_F(PackageBuildTest, DiskFullWhileCopying) {
  system.files["C:\\Data\\a.txt"] = Pattern(200'000, 6);
  const std::uint64_t head = system.files[kStub].size() + system.files[kLibrary].size();
  system.writeLimit = head + 5'000;  // room for the session information, not the cabinet
  Build(HandMade());
  EXPECT_THAT(system.boxes, ElementsAre(Pair(BuildSystem::Box::kError,
                                             "Insufficient disk space to complete operation.")));
  ExpectNothingLeft();

  // Known free space below the cabinet's size: refused before copying it.
  BuildProgress knownProgress;
  FakeSystem known(knownProgress);
  known.files = system.files;
  known.freeBytes = 1'000;
  Action(HandMade(), known, knownProgress).Execute();
  EXPECT_THAT(known.boxes, ElementsAre(Pair(BuildSystem::Box::kError,
                                            "Insufficient disk space to complete operation.")));
  EXPECT_FALSE(known.files.contains(kPackage));
  EXPECT_THAT(PathsEndingIn(known.files, ".cab"), ElementsAre());
}

// Memory running out half-way is a fault no step expects: the build fails
// and cleans up like any other failure instead of ending the thread.
TEST_F(PackageBuildTest, AFaultDuringTheBuildFailsItAndLeavesNothing) {
  system.onWrite = [](const std::string& path) {
    if (path == kPackage) throw std::bad_alloc();
  };
  Build(HandMade());
  EXPECT_THAT(system.boxes,
              ElementsAre(Pair(BuildSystem::Box::kError, "Packaging failed: std::bad_alloc")));
  ExpectNothingLeft();
}

TEST_F(PackageBuildTest, SessionInformationThatCannotBeWrittenFailsTheBuild) {
  // An older session file in the way must not end up in the package.
  system.files[kSessionFile] = "\r\n$PKGBOUND$\r\n1\r\n2\r\n3\r\n";
  system.brokenWrites.insert(kSessionFile);
  Build(HandMade());
  EXPECT_THAT(system.boxes,
              ElementsAre(Pair(BuildSystem::Box::kError,
                               "Unable to open session information resource for injection.")));
  ExpectNothingLeft();
}

class SigningTest : public PackageBuildTest {
 protected:
  static BuildSettings Signed(bool withOptions) {
    BuildSettings settings = HandMade();
    settings.signing = SigningSettings{
        "C:\\Keys\\my.spc", "C:\\Keys\\my.pvk", withOptions ? "http://ts.example/stamp" : "",
        withOptions ? "http://info.example" : "", withOptions ? "Tools" : ""};
    return settings;
  }
};

TEST_F(SigningTest, CommandLinesAndASucceededVerdictInTwoBlocks) {
  system.children = {Child{0, {"signing...\r\n"}, 2}, Child{0, {"Succeed", "ed\r\n"}, 1}};
  Build(Signed(true));
  EXPECT_THAT(system.commandLines,
              ElementsAre("\"C:\\Prog\\signcode.exe\" -spc \"C:\\Keys\\my.spc\" -v "
                          "\"C:\\Keys\\my.pvk\" -t \"http://ts.example/stamp\" -i "
                          "\"http://info.example\" -n \"Tools\" \"C:\\Out\\Setup.exe\"",
                          "\"C:\\Prog\\chktrust.exe\" -q \"C:\\Out\\Setup.exe\""));
  EXPECT_THAT(system.stepAtStart, ElementsAre(33, 67));
  EXPECT_EQ(system.sleeps, 3);
  EXPECT_TRUE(system.boxes.empty());
  EXPECT_TRUE(progress.success.load());
  EXPECT_EQ(progress.step.load(), 100);
  EXPECT_EQ(progress.overall.load(), 100);
  EXPECT_TRUE(system.files.contains(kPackage));

  BuildProgress plainProgress;
  FakeSystem plain(plainProgress);
  plain.files = system.files;
  plain.children = {Child{}, Child{0, {"Succeeded\r\n"}, 0}};
  Action(Signed(false), plain, plainProgress).Execute();
  EXPECT_THAT(plain.commandLines,
              ElementsAre("\"C:\\Prog\\signcode.exe\" -spc \"C:\\Keys\\my.spc\" -v "
                          "\"C:\\Keys\\my.pvk\" \"C:\\Out\\Setup.exe\"",
                          "\"C:\\Prog\\chktrust.exe\" -q \"C:\\Out\\Setup.exe\""));
  EXPECT_TRUE(plainProgress.success.load());
}

TEST_F(SigningTest, AnyOtherVerdictOrAToolThatDoesNotStartFails) {
  struct Case {
    const char* what;
    std::vector<Child> children;
  };
  const Case cases[] = {
      {"failed", {Child{}, Child{0, {"Failed\r\n"}, 1}}},
      {"nothing printed", {Child{}, Child{0, {}, 1}}},
      {"no line end", {Child{}, Child{0, {"Succeeded"}, 1}}},
      {"more after it", {Child{}, Child{0, {"Succeeded\r\n", "Warning\r\n"}, 1}}},
      {"signcode missing", {Child{2, {}, 0}}},
      {"chktrust missing", {Child{}, Child{2, {}, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildProgress caseProgress;
    FakeSystem caseSystem(caseProgress);
    caseSystem.files = system.files;
    caseSystem.children = c.children;
    Action(Signed(true), caseSystem, caseProgress).Execute();
    EXPECT_THAT(caseSystem.boxes,
                ElementsAre(Pair(BuildSystem::Box::kError, "Code signing has failed.")));
    EXPECT_FALSE(caseSystem.files.contains(kPackage));
    EXPECT_FALSE(caseSystem.files.contains(kSessionFile));
    EXPECT_THAT(PathsEndingIn(caseSystem.files, ".cab"), ElementsAre());
    EXPECT_FALSE(caseProgress.success.load());
    EXPECT_TRUE(caseProgress.stop.load());
  }
}

// Pauses the build from inside its first write to the package; the build
// thread then waits at its next check.
class PauseTest : public PackageBuildTest {
 protected:
  void StartPaused() {
    system.onWrite = [this](const std::string& path) {
      if (path == kPackage && !pausedOnce_) {
        pausedOnce_ = true;
        progress.Pause();
        operationsAtPause_ = system.operations.load();
        pausedAt_ = true;
      }
    };
    thread_ = std::thread([this] { Build(HandMade()); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pausedAt_.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(pausedAt_.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(system.operations.load(), operationsAtPause_.load());
    EXPECT_TRUE(progress.Paused());
    EXPECT_FALSE(progress.stop.load());
  }

  ~PauseTest() override {
    if (thread_.joinable()) {
      progress.Terminate();
      thread_.join();
    }
  }

  std::thread thread_;
  bool pausedOnce_ = false;
  std::atomic<bool> pausedAt_{false};
  std::atomic<int> operationsAtPause_{0};
};

TEST_F(PauseTest, ResumeFinishesTheBuild) {
  StartPaused();
  progress.Resume();
  thread_.join();
  EXPECT_TRUE(progress.success.load());
  EXPECT_TRUE(system.boxes.empty());
  EXPECT_GT(system.operations.load(), operationsAtPause_.load());
  EXPECT_EQ(system.files.at(kPackage).substr(SessionOf(system.files.at(kPackage)).CabinetOffset()),
            "MSCFbravoalpha");
}

TEST_F(PauseTest, TerminateWhilePausedEndsTheBuild) {
  StartPaused();
  progress.Terminate();
  thread_.join();
  EXPECT_TRUE(system.boxes.empty());
  ExpectNothingLeft();
}

}  // namespace
}  // namespace ombrwiz
