// The cabinet writer over the real cabinet library under Wine: the names,
// sizes, attributes and times stored for a folder tree, the progress events,
// errors for locked files and an existing cabinet, a set of cabinets split by
// size, and a user abort. The cabinets are read back byte by byte here.
#include "wizard/win32/fci_cabinet.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace ombrwiz {
namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A fresh folder under the Windows temp folder, removed with all it holds.
class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    EXPECT_GT(length, 0u);
    static int serial = 0;
    path_ = std::string(temp) + "fcicab_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(++serial) + "\\";
    RemoveTree(path_);
    EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_;
  }
  // Nothing may be left open: every file of the folder can be removed.
  ~ScratchFolder() {
    RemoveTree(path_);
    EXPECT_FALSE(Exists(path_)) << "still in use: " << path_;
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }

 private:
  static void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(path + "\\");
        } else {
          DeleteFileA(path.c_str());
        }
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
  }

  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& data) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD done = 0;
  const BOOL ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &done, nullptr);
  CloseHandle(file);
  ASSERT_TRUE(ok && done == data.size()) << path;
}

std::string ReadBytes(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string data;
  char buffer[65536];
  DWORD done = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &done, nullptr) && done > 0) {
    data.append(buffer, done);
  }
  CloseHandle(file);
  return data;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(generator() & 0xFF);
  return data;
}

std::string Text(std::size_t size, char first) {
  std::string data(size, ' ');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(first + i % 23);
  return data;
}

// A fixed local time, 2001-02-03 04:05:06, as a file time and in DOS form.
constexpr WORD kDosDate = ((2001 - 1980) << 9) | (2 << 5) | 3;
constexpr WORD kDosTime = (4 << 11) | (5 << 5) | (6 / 2);

void SetFixedTime(const std::string& path) {
  SYSTEMTIME local{};
  local.wYear = 2001;
  local.wMonth = 2;
  local.wDay = 3;
  local.wHour = 4;
  local.wMinute = 5;
  local.wSecond = 6;
  FILETIME localTime{};
  FILETIME utc{};
  ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime));
  ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  const BOOL ok = SetFileTime(file, nullptr, nullptr, &utc);
  CloseHandle(file);
  ASSERT_TRUE(ok) << path;
}

// A cabinet as read back from its bytes.
struct CabFileEntry {
  std::uint32_t size = 0;
  std::uint16_t folder = 0;
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  std::uint16_t attributes = 0;
};
struct ParsedCabinet {
  bool valid = false;
  std::uint32_t cbCabinet = 0;
  std::uint16_t folders = 0;
  std::uint16_t files = 0;
  std::uint16_t flags = 0;
  std::uint16_t setId = 0;
  std::uint16_t index = 0;
  std::string prevCabinet;
  std::string nextCabinet;
  std::map<std::string, CabFileEntry> entries;
};

std::uint16_t U16(const std::string& data, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(data[at]) |
                                    (static_cast<unsigned char>(data[at + 1]) << 8));
}
std::uint32_t U32(const std::string& data, std::size_t at) {
  return static_cast<std::uint32_t>(U16(data, at)) |
         (static_cast<std::uint32_t>(U16(data, at + 2)) << 16);
}

// Reads a NUL-terminated string at `at`, moving `at` past it; false when
// the terminator is missing.
bool CString(const std::string& data, std::size_t& at, std::string& out) {
  const auto end = data.find('\0', at);
  if (end == std::string::npos) return false;
  out = data.substr(at, end - at);
  at = end + 1;
  return true;
}

ParsedCabinet ParseCabinet(const std::string& data) {
  ParsedCabinet cab;
  if (data.size() < 36 || data.compare(0, 4, "MSCF") != 0) return cab;
  cab.cbCabinet = U32(data, 8);
  const std::uint32_t coffFiles = U32(data, 16);
  cab.folders = U16(data, 26);
  cab.files = U16(data, 28);
  cab.flags = U16(data, 30);
  cab.setId = U16(data, 32);
  cab.index = U16(data, 34);
  std::size_t at = 36;
  if (cab.flags & 0x0004) {
    if (data.size() < at + 4) return cab;
    at += 4 + U16(data, at);
  }
  std::string disk;
  if ((cab.flags & 0x0001) && !(CString(data, at, cab.prevCabinet) && CString(data, at, disk))) {
    return cab;
  }
  if ((cab.flags & 0x0002) && !(CString(data, at, cab.nextCabinet) && CString(data, at, disk))) {
    return cab;
  }
  at = coffFiles;
  for (int i = 0; i < cab.files; ++i) {
    if (data.size() < at + 16) return cab;
    CabFileEntry entry;
    entry.size = U32(data, at);
    entry.folder = U16(data, at + 8);
    entry.date = U16(data, at + 10);
    entry.time = U16(data, at + 12);
    entry.attributes = U16(data, at + 14);
    at += 16;
    std::string name;
    if (!CString(data, at, name)) return cab;
    cab.entries[name] = entry;
  }
  cab.valid = true;
  return cab;
}

ParsedCabinet ParseCabinetFile(const std::string& path) {
  return ParseCabinet(ReadBytes(path));
}

// Everything the writer reported during one run.
struct Events {
  std::vector<int> major;
  std::vector<std::pair<std::string, int>> minor;
  std::vector<int> cabNumbers;
  struct Error {
    int id;
    int apiCode;
    std::string text;
  };
  std::vector<Error> errors;

  void Attach(tmFwCAB& cab) {
    cab.OnMajorStatus = [this](tmFwCAB&, const std::string&, int percent, bool&) {
      major.push_back(percent);
    };
    cab.OnMinorStatus = [this](tmFwCAB&, const std::string& name, int percent, bool&) {
      minor.emplace_back(name, percent);
    };
  }
};

// The tree every test packs: nested folders, an empty file, a blank and an
// ANSI letter in names, a read-only file and one big enough for several
// blocks of data.
struct Tree {
  std::string root;
  std::map<std::string, std::string> files;  // relative name -> content
};

void MakeTree(const std::string& root, Tree& tree) {
  tree.root = root;
  ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((root + "sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((root + "sub\\deeper").c_str(), nullptr));
  tree.files = {
      {"a.txt", Text(1000, 'a')},
      {"empty.dat", ""},
      {"with blank.txt", Text(77, 'b')},
      {"caf\xe9.txt", Text(500, 'c')},
      {"readonly.txt", Text(300, 'r')},
      {"sub\\b.bin", RandomBytes(100'000, 7)},
      {"sub\\deeper\\x.txt", Text(4000, 'x')},
  };
  for (const auto& [name, content] : tree.files) {
    ASSERT_NO_FATAL_FAILURE(WriteBytes(root + name, content));
    ASSERT_NO_FATAL_FAILURE(SetFixedTime(root + name));
  }
  ASSERT_TRUE(SetFileAttributesA((root + "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  // Not one of the attributes a cabinet keeps.
  SetFileAttributesA((root + "a.txt").c_str(), FILE_ATTRIBUTE_TEMPORARY);
}

std::string FileName(const std::string& relative) {
  const auto slash = relative.find_last_of('\\');
  return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

TEST(FciCabinet, StoresTreeWithNamesSizesAttributesAndTimes) {
  ScratchFolder scratch;
  Tree tree;
  ASSERT_NO_FATAL_FAILURE(MakeTree(scratch.Path() + "data dir\\", tree));
  ASSERT_TRUE(Exists(tree.root + "caf\xe9.txt"));

  struct Variant {
    const char* cabName;
    bool storePath;
    bool partialPath;
  };
  const Variant variants[] = {
      {"partial.cab", true, true}, {"full.cab", true, false}, {"bare.cab", false, false}};
  for (const auto& variant : variants) {
    SCOPED_TRACE(variant.cabName);
    FciCabinetPlatform platform;
    tmFwCAB cab(platform);
    cab.CabFile = scratch.Path() + variant.cabName;
    cab.RecurseFiles = {tree.root + "*.*"};
    cab.StorePath = variant.storePath;
    cab.PartialPath = variant.partialPath;
    Events events;
    events.Attach(cab);
    cab.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int&) {
      events.errors.push_back({id, api, text});
    };
    cab.Run();

    EXPECT_TRUE(events.errors.empty())
        << events.errors.front().id << " " << events.errors.front().text;
    EXPECT_EQ(cab.FilesToAdd(), static_cast<int>(tree.files.size()));
    EXPECT_EQ(cab.FilesStored(), static_cast<int>(tree.files.size()));
    const std::string bytes = ReadBytes(cab.CabFile);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), "MSCF");
    const ParsedCabinet parsed = ParseCabinet(bytes);
    ASSERT_TRUE(parsed.valid);
    EXPECT_EQ(parsed.cbCabinet, bytes.size());
    EXPECT_EQ(parsed.files, tree.files.size());
    EXPECT_GE(parsed.folders, 1);
    EXPECT_EQ(parsed.flags & 0x0003, 0);  // a single cabinet: no neighbours

    for (const auto& [relative, content] : tree.files) {
      std::string expected;
      if (variant.storePath && variant.partialPath) {
        expected = relative;
      } else if (variant.storePath) {
        expected = (tree.root + relative).substr(3);  // without "C:\"
      } else {
        expected = FileName(relative);
      }
      SCOPED_TRACE(expected);
      const auto found = parsed.entries.find(expected);
      ASSERT_NE(found, parsed.entries.end());
      const CabFileEntry& entry = found->second;
      EXPECT_EQ(entry.size, content.size());
      EXPECT_EQ(entry.date, kDosDate);
      EXPECT_EQ(entry.time, kDosTime);
      EXPECT_EQ(entry.attributes & ~0x27, 0);
      const DWORD actual = GetFileAttributesA((tree.root + relative).c_str());
      EXPECT_EQ(entry.attributes, actual & 0x27);
      if (relative == "readonly.txt") {
        EXPECT_TRUE(entry.attributes & FILE_ATTRIBUTE_READONLY);
      }
    }
  }
}

TEST(FciCabinet, ProgressEventsRunFromScanningToTheEnd) {
  ScratchFolder scratch;
  Tree tree;
  ASSERT_NO_FATAL_FAILURE(MakeTree(scratch.Path() + "src\\", tree));
  // A file of many data blocks, so that its progress is seen while it is
  // added.
  const std::string big = RandomBytes(300'000, 11);
  ASSERT_NO_FATAL_FAILURE(WriteBytes(tree.root + "big.bin", big));
  tree.files["big.bin"] = big;

  FciCabinetPlatform platform;
  tmFwCAB cab(platform);
  cab.CabFile = scratch.Path() + "progress.cab";
  cab.RecurseFiles = {tree.root};
  Events events;
  events.Attach(cab);
  cab.Run();
  ASSERT_TRUE(ParseCabinetFile(cab.CabFile).valid);

  ASSERT_FALSE(events.major.empty());
  EXPECT_EQ(events.major.front(), 0);
  EXPECT_EQ(events.major.back(), 100);
  for (std::size_t i = 1; i < events.major.size(); ++i) {
    EXPECT_LE(events.major[i - 1], events.major[i]) << "major event " << i;
  }
  // One event per file, then the closing one.
  EXPECT_EQ(events.major.size(), tree.files.size() + 2);

  ASSERT_GE(events.minor.size(), 2u);
  EXPECT_EQ(events.minor.front(), (std::pair<std::string, int>("Scanning...", 0)));
  EXPECT_EQ(events.minor.back(), (std::pair<std::string, int>("", 100)));
  std::map<std::string, int> last;  // per file, the latest percentage seen
  for (std::size_t i = 1; i + 1 < events.minor.size(); ++i) {
    const auto& [name, percent] = events.minor[i];
    ASSERT_FALSE(name.empty()) << "event " << i;
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
    const auto previous = last.find(name);
    if (previous != last.end()) {
      EXPECT_LE(previous->second, percent) << name;
    }
    last[name] = percent;
  }
  // Every file with data ends at 100, also the small ones whose data the
  // library compresses only together with a later file.
  for (const auto& [relative, content] : tree.files) {
    if (content.empty()) continue;
    const auto found = last.find(tree.root + relative);
    if (found == last.end()) {
      ADD_FAILURE() << relative << " never reported";
    } else {
      EXPECT_EQ(found->second, 100) << relative;
    }
  }
  EXPECT_EQ(last.size() - last.count(tree.root + "empty.dat"), tree.files.size() - 1);
}

TEST(FciCabinet, LockedFileIsReportedAndSkippedOrAborts) {
  ScratchFolder scratch;
  Tree tree;
  ASSERT_NO_FATAL_FAILURE(MakeTree(scratch.Path() + "src\\", tree));
  const std::string lockedPath = tree.root + "sub\\deeper\\x.txt";

  for (const int answer : {kActionSkip, kActionAbort, kActionRetry}) {
    SCOPED_TRACE(answer);
    HANDLE lock = CreateFileA(lockedPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    FciCabinetPlatform platform;
    tmFwCAB cab(platform);
    cab.CabFile = scratch.Path() + "locked" + std::to_string(answer + 1) + ".cab";
    cab.RecurseFiles = {tree.root + "*.*"};
    cab.StorePath = true;
    cab.PartialPath = true;
    Events events;
    cab.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int& action) {
      events.errors.push_back({id, api, text});
      action = answer;
      // A retry finds the file free.
      if (answer == kActionRetry && lock != INVALID_HANDLE_VALUE) {
        CloseHandle(lock);
        lock = INVALID_HANDLE_VALUE;
      }
    };
    cab.Run();
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);

    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].id, kErrAddOrFlush);
    EXPECT_EQ(events.errors[0].text, "Failure opening file to be stored in cabinet");
    EXPECT_NE(events.errors[0].apiCode, 0);

    const std::string bytes = ReadBytes(cab.CabFile);
    if (answer == kActionAbort) {
      EXPECT_NE(bytes.substr(0, 4), "MSCF") << "a finished cabinet after an abort";
      continue;
    }
    const ParsedCabinet parsed = ParseCabinet(bytes);
    ASSERT_TRUE(parsed.valid);
    const std::size_t expected = tree.files.size() - (answer == kActionSkip ? 1 : 0);
    EXPECT_EQ(parsed.files, expected);
    EXPECT_EQ(parsed.entries.count("sub\\deeper\\x.txt"), answer == kActionRetry ? 1u : 0u);
    EXPECT_EQ(parsed.entries.count("sub\\b.bin"), 1u);
    EXPECT_EQ(parsed.entries.count("a.txt"), 1u);
  }
}

TEST(FciCabinet, ExistingCabinetIsReportedAndNeverOverwritten) {
  ScratchFolder scratch;
  Tree tree;
  ASSERT_NO_FATAL_FAILURE(MakeTree(scratch.Path() + "src\\", tree));
  const std::string cabPath = scratch.Path() + "exists.cab";
  ASSERT_NO_FATAL_FAILURE(WriteBytes(cabPath, "old contents"));

  {
    // Without a handler the run ends at once and the file stays as it was.
    FciCabinetPlatform platform;
    tmFwCAB cab(platform);
    cab.CabFile = cabPath;
    cab.RecurseFiles = {tree.root};
    Events events;
    events.Attach(cab);
    cab.Run();
    EXPECT_TRUE(events.major.empty());
    EXPECT_TRUE(events.minor.empty());
    EXPECT_EQ(ReadBytes(cabPath), "old contents");
  }
  {
    // A handler that leaves Action at abort: same outcome, reported once.
    FciCabinetPlatform platform;
    tmFwCAB cab(platform);
    cab.CabFile = cabPath;
    cab.RecurseFiles = {tree.root};
    Events events;
    cab.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int&) {
      events.errors.push_back({id, api, text});
    };
    cab.Run();
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].id, kErrCabinetExists);
    EXPECT_EQ(events.errors[0].apiCode, 0);
    EXPECT_EQ(events.errors[0].text, "Cabinet already exists");
    EXPECT_EQ(ReadBytes(cabPath), "old contents");
  }
  {
    // A handler that removes it and asks for another look lets the run go on.
    FciCabinetPlatform platform;
    tmFwCAB cab(platform);
    cab.CabFile = cabPath;
    cab.RecurseFiles = {tree.root};
    Events events;
    cab.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int& action) {
      events.errors.push_back({id, api, text});
      EXPECT_TRUE(DeleteFileA(cabPath.c_str()));
      action = kActionRetry;
    };
    cab.Run();
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].id, kErrCabinetExists);
    EXPECT_EQ(events.errors[0].text, "Cabinet already exists");
    const ParsedCabinet parsed = ParseCabinetFile(cabPath);
    ASSERT_TRUE(parsed.valid);
    EXPECT_EQ(parsed.files, tree.files.size());
  }
}

TEST(FciCabinet, SplitsIntoChainedCabinetsNoLargerThanDiskSize) {
  ScratchFolder scratch;
  const std::string source = scratch.Path() + "src\\";
  ASSERT_TRUE(CreateDirectoryA(source.c_str(), nullptr));
  std::map<std::string, std::string> files;
  for (int i = 0; i < 4; ++i) {
    files["part" + std::to_string(i) + ".bin"] =
        RandomBytes(250'000 + static_cast<std::size_t>(i) * 1000, 100u + static_cast<unsigned>(i));
  }
  files["small.txt"] = Text(2000, 's');
  for (const auto& [name, content] : files) {
    ASSERT_NO_FATAL_FAILURE(WriteBytes(source + name, content));
  }

  constexpr std::int32_t kDiskSize = 300'000;
  FciCabinetPlatform platform;
  tmFwCAB cab(platform);
  cab.CabFile = scratch.Path() + "set1.cab";
  cab.DiskName = "Disk 1";
  cab.DiskSize = kDiskSize;
  cab.AddFiles = {source + "*.*"};
  Events events;
  events.Attach(cab);
  std::vector<std::string> names = {"set1.cab"};
  cab.OnMessageNotify = [&](tmFwCAB&, std::string& newCab, std::string& newDisk, int cabNo,
                            int& diskNo, bool&) {
    events.cabNumbers.push_back(cabNo);
    newCab = "set" + std::to_string(cabNo) + ".cab";
    newDisk = "Disk " + std::to_string(cabNo);
    diskNo = cabNo;
    names.push_back(newCab);
  };
  cab.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int&) {
    events.errors.push_back({id, api, text});
  };
  cab.Run();
  EXPECT_TRUE(events.errors.empty()) << events.errors.front().text;

  // About 1 MB of data that does not compress: at least four cabinets.
  ASSERT_GE(events.cabNumbers.size(), 3u);
  for (std::size_t i = 0; i < events.cabNumbers.size(); ++i) {
    EXPECT_EQ(events.cabNumbers[i], static_cast<int>(i) + 2);
  }
  EXPECT_EQ(cab.CabFile, scratch.Path() + names.back());

  std::map<std::string, std::uint32_t> complete;  // name -> size, from any cabinet
  std::uint16_t setId = 0;
  for (std::size_t k = 0; k < names.size(); ++k) {
    SCOPED_TRACE(names[k]);
    const std::string bytes = ReadBytes(scratch.Path() + names[k]);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.substr(0, 4), "MSCF");
    EXPECT_LE(bytes.size(), static_cast<std::size_t>(kDiskSize));
    const ParsedCabinet parsed = ParseCabinet(bytes);
    ASSERT_TRUE(parsed.valid);
    EXPECT_EQ(parsed.cbCabinet, bytes.size());
    if (k == 0) setId = parsed.setId;
    EXPECT_EQ(parsed.setId, setId);
    if (k + 1 < names.size()) {
      EXPECT_TRUE(parsed.flags & 0x0002);
      EXPECT_EQ(parsed.nextCabinet, names[k + 1]);
    } else {
      EXPECT_FALSE(parsed.flags & 0x0002);
    }
    if (k > 0) {
      EXPECT_TRUE(parsed.flags & 0x0001);
      EXPECT_EQ(parsed.prevCabinet, names[k - 1]);
    }
    for (const auto& [name, entry] : parsed.entries) complete[name] = entry.size;
  }
  ASSERT_EQ(complete.size(), files.size());
  for (const auto& [name, content] : files) EXPECT_EQ(complete[name], content.size()) << name;
  // Nothing beyond the set was written.
  EXPECT_FALSE(Exists(scratch.Path() + "set" + std::to_string(names.size() + 1) + ".cab"));
}

TEST(FciCabinet, AbortWhilePackingReportsUserAbortAndLeavesNoCabinet) {
  ScratchFolder scratch;
  Tree tree;
  ASSERT_NO_FATAL_FAILURE(MakeTree(scratch.Path() + "src\\", tree));

  // Stopped on the first packing event, and stopped in the middle of the
  // big file, while the library is compressing its blocks.
  const std::string bigFile = tree.root + "sub\\b.bin";
  for (const bool inBigFile : {false, true}) {
    SCOPED_TRACE(inBigFile ? "in the big file" : "first packing event");
    FciCabinetPlatform platform;
    tmFwCAB cab(platform);
    cab.CabFile = scratch.Path() + (inBigFile ? "aborted2.cab" : "aborted1.cab");
    cab.RecurseFiles = {tree.root};
    Events events;
    std::vector<std::pair<std::string, int>> aborting;
    cab.OnMinorStatus = [&](tmFwCAB&, const std::string& name, int percent, bool& abort) {
      if (name == "Scanning...") return;
      if (inBigFile && name != bigFile) return;
      aborting.emplace_back(name, percent);
      abort = true;
    };
    cab.OnErrorNotify = [&](tmFwCAB&, int id, int api, const std::string& text, int&) {
      events.errors.push_back({id, api, text});
    };
    cab.Run();

    ASSERT_EQ(aborting.size(), 1u);
    if (inBigFile) {
      EXPECT_LT(aborting[0].second, 100);
    }
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].id, kErrUserAbort);
    EXPECT_EQ(events.errors[0].apiCode, 0);
    EXPECT_EQ(events.errors[0].text, "User abort");
    EXPECT_NE(ReadBytes(cab.CabFile).substr(0, 4), "MSCF");
    EXPECT_LT(cab.FilesStored(), static_cast<int>(tree.files.size()));
  }
}

}  // namespace
}  // namespace ombrwiz
