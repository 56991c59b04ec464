#include "wizard/core/cabinet_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace ombrwiz {
namespace {

using ::testing::ElementsAre;

bool MaskMatches(std::string_view mask, std::string_view name) {
  if (mask == "*.*" || mask == "*") return true;
  if (mask.empty()) return name.empty();
  if (mask.front() == '*') {
    for (std::size_t i = 0; i <= name.size(); ++i) {
      if (MaskMatches(mask.substr(1), name.substr(i))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  const bool same =
      mask.front() == '?' || std::tolower(static_cast<unsigned char>(mask.front())) ==
                                 std::tolower(static_cast<unsigned char>(name.front()));
  return same && MaskMatches(mask.substr(1), name.substr(1));
}

struct AddCall {
  std::string source;
  std::string name;
  std::uint16_t compression;
};

// A folder tree in a map and a cabinet library that "compresses" by copying:
// each added file's bytes go into the current cabinet, which is written into
// the tree when the next one starts or when the set is flushed.
class FakeCabinetPlatform : public CabinetPlatform {
 public:
  std::map<std::string, std::string> files;          // full path -> contents
  std::map<std::string, std::uint64_t> virtualSize;  // files with a size but no bytes
  std::set<std::string> emptyFolders;                // full path with backslash
  std::uint64_t blockSize = 4;

  // Failures: remaining count (-1: always) and the error record given.
  struct Failure {
    int count;
    FciError error;
  };
  std::map<std::string, Failure> addFailures;
  int flushFailures = 0;
  int createFailures = 0;

  std::vector<AddCall> adds;
  std::vector<CabinetParameters> created;
  std::vector<CabinetParameters> nextCabinets;  // as they came back from the writer
  std::vector<std::string> written;             // cabinet paths in writing order
  int flushCalls = 0;
  int destroyCalls = 0;
  bool contextAlive = false;

  bool FileExists(const std::string& path) override { return files.contains(path); }

  std::vector<std::string> Files(const std::string& folder, const std::string& mask) override {
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files) {
      if (!path.starts_with(folder)) continue;
      const std::string rest = path.substr(folder.size());
      if (rest.find('\\') == std::string::npos && MaskMatches(mask, rest)) names.push_back(rest);
    }
    for (const auto& [path, size] : virtualSize) {
      if (!path.starts_with(folder)) continue;
      const std::string rest = path.substr(folder.size());
      if (rest.find('\\') == std::string::npos && MaskMatches(mask, rest)) names.push_back(rest);
    }
    return names;
  }

  std::vector<std::string> Subfolders(const std::string& folder) override {
    std::vector<std::string> names;
    auto consider = [&](const std::string& path) {
      if (!path.starts_with(folder)) return;
      const std::string rest = path.substr(folder.size());
      const auto slash = rest.find('\\');
      if (slash == std::string::npos || slash == 0) return;
      const std::string sub = rest.substr(0, slash);
      if (std::find(names.begin(), names.end(), sub) == names.end()) names.push_back(sub);
    };
    for (const auto& [path, bytes] : files) consider(path);
    for (const auto& [path, size] : virtualSize) consider(path);
    for (const auto& path : emptyFolders) consider(path);
    std::sort(names.begin(), names.end());
    return names;
  }

  bool CreateContext(const CabinetParameters& parameters, CabinetRunContext& context) override {
    if (createFailures > 0) {
      --createFailures;
      error_ = {3, 8, true};
      return false;
    }
    EXPECT_FALSE(contextAlive);
    contextAlive = true;
    created.push_back(parameters);
    parameters_ = parameters;
    context_ = &context;
    running_ = 0;
    current_.clear();
    return true;
  }

  bool AddFile(const std::string& sourcePath, const std::string& nameInCabinet,
               std::uint16_t compression) override {
    EXPECT_TRUE(contextAlive);
    adds.push_back({sourcePath, nameInCabinet, compression});
    if (auto failure = addFailures.find(sourcePath); failure != addFailures.end()) {
      if (failure->second.count != 0) {
        if (failure->second.count > 0) --failure->second.count;
        error_ = failure->second.error;
        return false;
      }
    }
    std::string bytes;
    std::uint64_t size = 0;
    if (const auto found = files.find(sourcePath); found != files.end()) {
      bytes = found->second;
      size = bytes.size();
    } else if (const auto big = virtualSize.find(sourcePath); big != virtualSize.end()) {
      size = big->second;
    } else {
      error_ = {1, 2, true};
      return false;
    }
    context_->FileOpened(sourcePath, size);
    for (std::uint64_t done = 0; done < size;) {
      const std::uint64_t block = std::min(blockSize, size - done);
      if (!bytes.empty()) current_ += bytes.substr(done, block);
      done += block;
      running_ += block;
      if (!context_->BlockCompressed(block)) {
        error_ = {7, 0, true};
        return false;
      }
      if (running_ > parameters_.maxCabinetSize && done < size) {
        if (!StartNextCabinet()) return false;
      }
    }
    if (running_ > parameters_.maxCabinetSize) return StartNextCabinet();
    return true;
  }

  bool FlushCabinet() override {
    ++flushCalls;
    if (flushFailures > 0) {
      --flushFailures;
      error_ = {6, 5, true};
      return false;
    }
    WriteCurrent();
    return true;
  }

  void DestroyContext() override {
    EXPECT_TRUE(contextAlive);
    contextAlive = false;
    ++destroyCalls;
  }

  FciError LastError() override { return error_; }

 private:
  void WriteCurrent() {
    const std::string path = parameters_.cabinetPath + parameters_.cabinetName;
    files[path] = "MSCF" + current_;
    written.push_back(path);
    current_.clear();
  }

  bool StartNextCabinet() {
    WriteCurrent();
    running_ = 0;
    ++parameters_.cabinetNumber;
    const bool goOn = context_->NextCabinet(parameters_);
    nextCabinets.push_back(parameters_);
    if (!goOn) error_ = {7, 0, true};
    return goOn;
  }

  FciError error_;
  CabinetParameters parameters_;
  CabinetRunContext* context_ = nullptr;
  std::uint64_t running_ = 0;
  std::string current_;
};

struct ErrorEvent {
  int id;
  int apiCode;
  std::string text;
  bool operator==(const ErrorEvent&) const = default;
};

// Records every event the writer raises.
struct Recorder {
  std::vector<std::string> minor;  // "name:percent"
  std::vector<int> major;
  std::vector<ErrorEvent> errors;

  void Attach(tmFwCAB& writer) {
    writer.OnMinorStatus = [this](tmFwCAB&, const std::string& name, int percent, bool&) {
      minor.push_back(name + ":" + std::to_string(percent));
    };
    writer.OnMajorStatus = [this](tmFwCAB&, const std::string&, int percent, bool&) {
      major.push_back(percent);
    };
  }
};

class CabinetWriterTest : public ::testing::Test {
 protected:
  CabinetWriterTest() : writer(platform) {
    platform.files["C:\\Data\\top.txt"] = "TOP";
    platform.files["C:\\Data\\sub\\a.txt"] = "AAAA";
    platform.files["C:\\Data\\sub\\deep\\d.log"] = "DEEP";
    platform.files["C:\\Data\\zed\\z.txt"] = "ZZ";
    writer.CabFile = "C:\\Out\\Set.cab";
    recorder.Attach(writer);
  }

  std::vector<std::string> StoredNames() const {
    std::vector<std::string> names;
    for (const auto& add : platform.adds) names.push_back(add.name);
    return names;
  }

  FakeCabinetPlatform platform;
  tmFwCAB writer;
  Recorder recorder;
};

TEST(CabinetWriterWords, LzxWindowAndCompressionWord) {
  EXPECT_EQ(LzxWindow(100), 21);
  EXPECT_EQ(LzxWindow(0), 15);
  EXPECT_EQ(LzxWindow(3), 17);
  EXPECT_EQ(LzxWindow(-100), 15);
  EXPECT_EQ(LzxWindow(INT_MAX), 21);
  EXPECT_EQ(LzxWindow(INT_MIN), 15);
  EXPECT_EQ(CompressionWord(TCompressionType::ctLzx, 21), (21 << 8) | 3);
  EXPECT_EQ(CompressionWord(TCompressionType::ctLzx, 15), (15 << 8) | 3);
  // Only LZX carries a window.
  EXPECT_EQ(CompressionWord(TCompressionType::ctNone, 21), 0);
  EXPECT_EQ(CompressionWord(TCompressionType::ctMsZip, 21), 1);
  EXPECT_EQ(CompressionWord(TCompressionType::ctQuantum, 21), 2);
}

TEST(CabinetWriterWords, ErrorTextsAndEntrySplit) {
  EXPECT_EQ(FciErrorText(0), "No error");
  EXPECT_EQ(FciErrorText(7), "User abort");
  EXPECT_EQ(FciErrorText(8), "Failure compressing data");
  EXPECT_EQ(FciErrorText(9), "Unknown error!");
  EXPECT_EQ(FciErrorText(-1), "Unknown error!");
  const auto withMask = SplitCabinetEntry("C:\\Data\\*.txt");
  EXPECT_EQ(withMask.folder, "C:\\Data\\");
  EXPECT_EQ(withMask.mask, "*.txt");
  const auto folderOnly = SplitCabinetEntry("C:\\Data\\");
  EXPECT_EQ(folderOnly.folder, "C:\\Data\\");
  EXPECT_EQ(folderOnly.mask, "*.*");
  const auto bare = SplitCabinetEntry("*.txt");
  EXPECT_EQ(bare.folder, "");
  EXPECT_EQ(bare.mask, "*.txt");
}

TEST_F(CabinetWriterTest, CompFactorReachesTheLibraryAsTheCompressionWord) {
  writer.AddFiles = {"C:\\Data\\top.txt"};
  writer.CompType = TCompressionType::ctLzx;
  writer.CompFactor = 100;
  writer.Run();
  ASSERT_EQ(platform.adds.size(), 1u);
  EXPECT_EQ(platform.adds[0].compression, (21 << 8) | 3);

  platform.files.erase(writer.CabFile);
  writer.CompFactor = 0;
  writer.Run();
  ASSERT_EQ(platform.adds.size(), 2u);
  EXPECT_EQ(platform.adds[1].compression, (15 << 8) | 3);

  platform.files.erase(writer.CabFile);
  writer.CompType = TCompressionType::ctMsZip;
  writer.Run();
  ASSERT_EQ(platform.adds.size(), 3u);
  EXPECT_EQ(platform.adds[2].compression, 1);
}

TEST_F(CabinetWriterTest, NamesInTheCabinetFollowStorePathAndPartialPath) {
  writer.RecurseFiles = {"C:\\Data\\*.*"};
  writer.StorePath = true;
  writer.PartialPath = true;
  writer.Run();
  EXPECT_THAT(StoredNames(),
              ElementsAre("sub\\deep\\d.log", "sub\\a.txt", "zed\\z.txt", "top.txt"));

  platform.adds.clear();
  platform.files.erase(writer.CabFile);
  writer.PartialPath = false;
  writer.Run();
  EXPECT_THAT(StoredNames(), ElementsAre("Data\\sub\\deep\\d.log", "Data\\sub\\a.txt",
                                         "Data\\zed\\z.txt", "Data\\top.txt"));

  platform.adds.clear();
  platform.files.erase(writer.CabFile);
  writer.StorePath = false;
  writer.PartialPath = true;  // means nothing without StorePath
  writer.Run();
  EXPECT_THAT(StoredNames(), ElementsAre("d.log", "a.txt", "z.txt", "top.txt"));

  // The sources are the full paths whatever name is stored.
  EXPECT_EQ(platform.adds[1].source, "C:\\Data\\sub\\a.txt");

  // The helper on its own: drive, share and stray backslashes never lead a name.
  writer.StorePath = true;
  writer.PartialPath = false;
  EXPECT_EQ(writer.NameInCabinet("C:\\Data\\sub\\a.txt", "C:\\Data\\"), "Data\\sub\\a.txt");
  EXPECT_EQ(writer.NameInCabinet("\\\\server\\share\\Data\\a.txt", "\\\\server\\share\\Data\\"),
            "Data\\a.txt");
  EXPECT_EQ(writer.NameInCabinet("\\\\server\\share\\a.txt", "\\\\server\\share\\"), "a.txt");
  EXPECT_EQ(writer.NameInCabinet("\\Data\\a.txt", "\\Data\\"), "Data\\a.txt");
  writer.PartialPath = true;
  EXPECT_EQ(
      writer.NameInCabinet("\\\\server\\share\\Data\\sub\\a.txt", "\\\\server\\share\\Data\\"),
      "sub\\a.txt");
  // A base folder spelled with a doubled backslash still gives a relative name.
  EXPECT_EQ(writer.NameInCabinet("C:\\Data\\\\sub\\a.txt", "C:\\Data\\"), "sub\\a.txt");
}

TEST_F(CabinetWriterTest, UncEntriesNeverStoreAnAbsoluteName) {
  platform.files.clear();
  platform.files["\\\\server\\share\\a.txt"] = "A";
  platform.files["\\\\server\\share\\Data\\b.txt"] = "B";
  writer.RecurseFiles = {"\\\\server\\share\\*.*"};
  writer.StorePath = true;
  for (const bool partial : {true, false}) {
    platform.adds.clear();
    platform.files.erase(writer.CabFile);
    writer.PartialPath = partial;
    writer.Run();
    ASSERT_EQ(platform.adds.size(), 2u);
    for (const auto& add : platform.adds) {
      EXPECT_FALSE(add.name.empty());
      EXPECT_NE(add.name.front(), '\\') << add.name;
      EXPECT_EQ(add.name.find(':'), std::string::npos) << add.name;
    }
    EXPECT_EQ(platform.adds[0].name, "Data\\b.txt");
    EXPECT_EQ(platform.adds[1].name, "a.txt");
  }
}

TEST_F(CabinetWriterTest, CountingOrderAndProgress) {
  platform.emptyFolders.insert("C:\\Data\\empty\\");
  writer.AddFiles = {"C:\\Data\\*.none", "C:\\Data\\*.txt"};
  writer.RecurseFiles = {"C:\\Data\\*.none", "C:\\Data\\*.TXT"};
  writer.Run();
  // Non-recursive entries first; recursive ones walk subfolders depth first
  // before the folder's own files; masks that match nothing add nothing.
  EXPECT_THAT(StoredNames(), ElementsAre("top.txt", "a.txt", "z.txt", "top.txt"));
  EXPECT_EQ(writer.FilesToAdd(), 4);
  EXPECT_EQ(writer.FilesAdded(), 4);
  EXPECT_THAT(recorder.major, ElementsAre(0, 25, 50, 75, 100, 100));
  ASSERT_GE(recorder.minor.size(), 2u);
  EXPECT_EQ(recorder.minor.front(), "Scanning...:0");
  EXPECT_EQ(recorder.minor.back(), ":100");
  EXPECT_EQ(platform.flushCalls, 1);
  EXPECT_EQ(platform.destroyCalls, 1);
  EXPECT_TRUE(platform.files.contains("C:\\Out\\Set.cab"));
  EXPECT_EQ(platform.created.at(0).cabinetName, "Set.cab");
  EXPECT_EQ(platform.created.at(0).cabinetPath, "C:\\Out\\");
  EXPECT_EQ(platform.created.at(0).cabinetNumber, 1);

  // Nothing to add at all: still a (empty) cabinet, percentages at 100.
  platform.adds.clear();
  platform.files.erase(writer.CabFile);
  recorder.major.clear();
  writer.AddFiles = {"C:\\Data\\*.none"};
  writer.RecurseFiles = {"C:\\Nowhere\\*.*"};
  writer.Run();
  EXPECT_TRUE(platform.adds.empty());
  EXPECT_EQ(writer.FilesToAdd(), 0);
  EXPECT_THAT(recorder.major, ElementsAre(0, 100));
}

TEST_F(CabinetWriterTest, ExistingCabinet) {
  platform.files[writer.CabFile] = "old";
  writer.AddFiles = {"C:\\Data\\*.txt"};

  // Without a handler: nothing built, no status event.
  writer.Run();
  EXPECT_TRUE(platform.created.empty());
  EXPECT_TRUE(platform.adds.empty());
  EXPECT_TRUE(recorder.major.empty());
  EXPECT_TRUE(recorder.minor.empty());
  EXPECT_EQ(platform.files[writer.CabFile], "old");

  // A handler that leaves -1: asked once, nothing built.
  std::vector<ErrorEvent> errors;
  writer.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int& action) {
    errors.push_back({id, api, text});
    EXPECT_EQ(action, kActionAbort);
  };
  writer.Run();
  EXPECT_THAT(errors, ElementsAre(ErrorEvent{kErrCabinetExists, 0, "Cabinet already exists"}));
  EXPECT_TRUE(platform.created.empty());
  EXPECT_TRUE(recorder.major.empty());

  // A handler that removes the file and asks for another look: built.
  errors.clear();
  writer.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int& action) {
    errors.push_back({id, api, text});
    if (id == kErrCabinetExists) {
      platform.files.erase("C:\\Out\\Set.cab");
      action = kActionSkip;
    }
  };
  writer.Run();
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(platform.adds.size(), 1u);
  EXPECT_EQ(platform.files["C:\\Out\\Set.cab"], "MSCFTOP");
}

TEST_F(CabinetWriterTest, ContextCreationFailure) {
  writer.AddFiles = {"C:\\Data\\*.txt"};
  platform.createFailures = 1;
  writer.Run();  // no handler: the run ends
  EXPECT_TRUE(platform.adds.empty());
  EXPECT_EQ(platform.destroyCalls, 0);

  std::vector<ErrorEvent> errors;
  writer.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int& action) {
    errors.push_back({id, api, text});
    action = kActionRetry;
  };
  platform.createFailures = 2;
  writer.Run();
  EXPECT_THAT(errors, ElementsAre(ErrorEvent{kErrCreate, 8, "Out of memory during compression"},
                                  ErrorEvent{kErrCreate, 8, "Out of memory during compression"}));
  EXPECT_EQ(platform.adds.size(), 1u);
  EXPECT_EQ(platform.destroyCalls, 1);
}

TEST_F(CabinetWriterTest, FailedFileWithoutHandlerIsSkipped) {
  writer.RecurseFiles = {"C:\\Data\\*.*"};
  platform.addFailures["C:\\Data\\sub\\a.txt"] = {-1, {2, 23, true}};
  writer.Run();
  EXPECT_EQ(platform.adds.size(), 4u);  // one try for the failed file, the others added
  EXPECT_EQ(platform.flushCalls, 1);
  EXPECT_EQ(platform.files["C:\\Out\\Set.cab"], "MSCFDEEPZZTOP");
}

TEST_F(CabinetWriterTest, FailedFileRetriedWhileTheHandlerSaysRetry) {
  writer.RecurseFiles = {"C:\\Data\\*.*"};
  platform.addFailures["C:\\Data\\sub\\a.txt"] = {2, {1, 5, true}};
  std::vector<ErrorEvent> errors;
  writer.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int& action) {
    errors.push_back({id, api, text});
    EXPECT_EQ(action, kActionSkip);  // the preset
    action = kActionRetry;
  };
  writer.Run();
  EXPECT_THAT(
      errors,
      ElementsAre(ErrorEvent{kErrAddOrFlush, 5, "Failure opening file to be stored in cabinet"},
                  ErrorEvent{kErrAddOrFlush, 5, "Failure opening file to be stored in cabinet"}));
  EXPECT_EQ(platform.adds.size(), 6u);
  EXPECT_EQ(platform.files["C:\\Out\\Set.cab"], "MSCFDEEPAAAAZZTOP");
}

TEST_F(CabinetWriterTest, FailedFileAbortsOnMinusOne) {
  writer.RecurseFiles = {"C:\\Data\\*.*"};
  platform.addFailures["C:\\Data\\sub\\a.txt"] = {-1, {8, 0, true}};
  int asked = 0;
  writer.OnErrorNotify = [&](tmFwCAB&, int id, int, const std::string&, int& action) {
    ++asked;
    EXPECT_EQ(id, kErrAddOrFlush);
    action = kActionAbort;
  };
  writer.Run();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(platform.adds.size(), 2u);  // nothing after the failed file
  EXPECT_EQ(platform.flushCalls, 0);
  EXPECT_EQ(platform.destroyCalls, 1);
  EXPECT_FALSE(platform.files.contains("C:\\Out\\Set.cab"));
  EXPECT_EQ(recorder.major.back(), 25);  // no 100 after an abort
}

TEST_F(CabinetWriterTest, AbortFromMinorStatus) {
  writer.RecurseFiles = {"C:\\Data\\*.*"};
  std::vector<ErrorEvent> errors;
  writer.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int&) {
    errors.push_back({id, api, text});
  };
  writer.OnMinorStatus = [](tmFwCAB&, const std::string& name, int, bool& abort) {
    abort = name == "C:\\Data\\sub\\a.txt";
  };
  writer.Run();
  EXPECT_THAT(errors, ElementsAre(ErrorEvent{kErrUserAbort, 0, "User abort"}));
  EXPECT_EQ(platform.adds.size(), 2u);
  EXPECT_EQ(platform.flushCalls, 0);
  EXPECT_EQ(platform.destroyCalls, 1);
  EXPECT_FALSE(platform.files.contains("C:\\Out\\Set.cab"));

  // Aborted while scanning: nothing added, the context still destroyed.
  errors.clear();
  platform.adds.clear();
  writer.OnMinorStatus = [](tmFwCAB&, const std::string& name, int, bool& abort) {
    abort = name == "Scanning...";
  };
  writer.Run();
  EXPECT_THAT(errors, ElementsAre(ErrorEvent{kErrUserAbort, 0, "User abort"}));
  EXPECT_TRUE(platform.adds.empty());
  EXPECT_EQ(platform.flushCalls, 0);
  EXPECT_EQ(platform.destroyCalls, 2);

  // Aborted on the last minor status (the cabinet is about to be flushed).
  errors.clear();
  writer.OnMinorStatus = [](tmFwCAB&, const std::string& name, int, bool& abort) {
    abort = name.empty();
  };
  writer.Run();
  EXPECT_EQ(platform.flushCalls, 0);
  EXPECT_FALSE(platform.files.contains("C:\\Out\\Set.cab"));
}

TEST_F(CabinetWriterTest, NextCabinetTakesTheHandlersName) {
  writer.RecurseFiles = {"C:\\Data\\*.*"};
  writer.DiskSize = 3;
  writer.DiskName = "disk one";
  std::vector<int> cabNumbers;
  writer.OnMessageNotify = [&](tmFwCAB&, std::string& newCabName, std::string& newDiskName,
                               int cabNo, int& diskNo, bool& abort) {
    cabNumbers.push_back(cabNo);
    if (cabNo == 2) {
      EXPECT_EQ(newCabName, "Set.cab");  // preset to the previous names
      EXPECT_EQ(newDiskName, "disk one");
      EXPECT_EQ(diskNo, 1);
    }
    newCabName = "Part" + std::to_string(cabNo) + ".cab";
    newDiskName = std::to_string(cabNo);
    diskNo = cabNo;
    abort = false;
  };
  writer.Run();
  ASSERT_GE(cabNumbers.size(), 2u);
  EXPECT_EQ(cabNumbers[0], 2);
  EXPECT_EQ(cabNumbers[1], 3);
  EXPECT_EQ(platform.nextCabinets[0].cabinetName, "Part2.cab");
  EXPECT_EQ(platform.nextCabinets[0].diskName, "2");
  EXPECT_EQ(platform.nextCabinets[0].diskNumber, 2);
  EXPECT_EQ(platform.nextCabinets[0].cabinetPath, "C:\\Out\\");
  // CabFile names the last cabinet of the set, in the first one's folder.
  const std::string last = "C:\\Out\\Part" + std::to_string(cabNumbers.back()) + ".cab";
  EXPECT_EQ(writer.CabFile, last);
  EXPECT_EQ(platform.written.front(), "C:\\Out\\Set.cab");
  EXPECT_EQ(platform.written.back(), last);
  std::string joined;
  for (const auto& path : platform.written) joined += platform.files[path].substr(4);
  EXPECT_EQ(joined, "DEEPAAAAZZTOP");

  // A name longer than the library holds is cut to 255 characters.
  platform.files.clear();
  platform.files["C:\\Data\\a.txt"] = "0123456789";
  platform.written.clear();
  writer.CabFile = "C:\\Out\\Set.cab";
  writer.RecurseFiles = {"C:\\Data\\*.*"};
  writer.OnMessageNotify = [](tmFwCAB&, std::string& newCabName, std::string&, int, int&, bool&) {
    newCabName = std::string(300, 'n');
  };
  writer.Run();
  EXPECT_EQ(writer.CabFile, "C:\\Out\\" + std::string(255, 'n'));

  // An abort from the handler stops the run without a flush.
  platform.files.erase("C:\\Out\\Set.cab");
  platform.files.erase(writer.CabFile);
  writer.CabFile = "C:\\Out\\Set.cab";
  const int flushes = platform.flushCalls;
  writer.OnMessageNotify = [](tmFwCAB&, std::string&, std::string&, int, int&, bool& abort) {
    abort = true;
  };
  writer.Run();
  EXPECT_EQ(platform.flushCalls, flushes);
}

TEST_F(CabinetWriterTest, PerFilePercentOfAHugeFile) {
  platform.files.clear();
  platform.virtualSize["C:\\Big\\disk.img"] = 6ull << 30;  // 6 GiB
  platform.blockSize = 1ull << 30;
  writer.AddFiles = {"C:\\Big\\*.img"};
  writer.Run();
  std::vector<std::string> expected = {"Scanning...:0"};
  for (const int percent : {16, 33, 50, 66, 83, 100}) {
    expected.push_back("C:\\Big\\disk.img:" + std::to_string(percent));
  }
  expected.push_back(":100");
  EXPECT_EQ(recorder.minor, expected);
}

TEST_F(CabinetWriterTest, FailedFlush) {
  writer.AddFiles = {"C:\\Data\\top.txt"};
  platform.flushFailures = 1;
  writer.Run();  // without a handler: not retried
  EXPECT_EQ(platform.flushCalls, 1);
  EXPECT_FALSE(platform.files.contains("C:\\Out\\Set.cab"));

  std::vector<ErrorEvent> errors;
  writer.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int& action) {
    errors.push_back({id, api, text});
    EXPECT_EQ(action, kActionAbort);  // the preset
    action = kActionRetry;
  };
  platform.flushCalls = 0;
  platform.flushFailures = 2;
  writer.Run();
  EXPECT_EQ(platform.flushCalls, 3);
  EXPECT_THAT(errors, ElementsAre(ErrorEvent{kErrAddOrFlush, 5, "Could not create cabinet file"},
                                  ErrorEvent{kErrAddOrFlush, 5, "Could not create cabinet file"}));
  EXPECT_EQ(platform.files["C:\\Out\\Set.cab"], "MSCFTOP");

  // Skip (0) ends the retries too.
  platform.files.erase("C:\\Out\\Set.cab");
  platform.flushCalls = 0;
  platform.flushFailures = 5;
  writer.OnErrorNotify = [](tmFwCAB&, int, int, const std::string&, int& action) {
    action = kActionSkip;
  };
  writer.Run();
  EXPECT_EQ(platform.flushCalls, 1);
  EXPECT_FALSE(platform.files.contains("C:\\Out\\Set.cab"));
}

}  // namespace
}  // namespace ombrwiz
