// The system queries against a real Windows system: every answer plausible,
// registry-backed ones checked against values the test puts in place.
#include "engine/win32/win32_system_info.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "common/paths.h"

namespace tavrel {
namespace {

constexpr const char* kUserKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kSetupKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup";

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string SystemFolder() {
  char folder[MAX_PATH] = {};
  GetSystemDirectoryA(folder, MAX_PATH);
  return folder;
}

std::string TempFolder() {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  return common::WithTrailingBackslash(folder);
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

// A machine registry value the test changes, put back as it was (or removed
// again, key included when the test created it) at the end.
class SavedValue {
 public:
  SavedValue(const char* keyPath, const char* name) : name_(name) {
    DWORD disposition = 0;
    const LONG opened = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0,
                                        KEY_READ | KEY_WRITE, nullptr, &key_, &disposition);
    if (opened != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    if (disposition == REG_CREATED_NEW_KEY) createdKey_ = keyPath;
    DWORD size = 0;
    if (RegQueryValueExA(key_, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      data_.emplace(size);
      RegQueryValueExA(key_, name, nullptr, &type_, data_->data(), &size);
      data_->resize(size);
    }
  }
  ~SavedValue() {
    if (key_ == nullptr) return;
    if (data_) {
      RegSetValueExA(key_, name_, 0, type_, data_->data(), static_cast<DWORD>(data_->size()));
    } else {
      RegDeleteValueA(key_, name_);
    }
    RegCloseKey(key_);
    if (!createdKey_.empty()) RegDeleteKeyA(HKEY_LOCAL_MACHINE, createdKey_.c_str());
  }
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;

  bool IsOpen() const { return key_ != nullptr; }
  void SetText(const std::string& text, bool withTerminator = true) {
    Set(REG_SZ, text.c_str(), text.size() + (withTerminator ? 1 : 0));
  }
  void Set(DWORD type, const void* data, std::size_t size) {
    ASSERT_EQ(RegSetValueExA(key_, name_, 0, type, static_cast<const BYTE*>(data),
                             static_cast<DWORD>(size)),
              ERROR_SUCCESS);
  }
  void Remove() { RegDeleteValueA(key_, name_); }

 private:
  const char* name_;
  HKEY key_ = nullptr;
  std::string createdKey_;
  DWORD type_ = 0;
  std::optional<std::vector<BYTE>> data_;
};

class Win32SystemInfoTest : public ::testing::Test {
 protected:
  Win32SystemInfo info_;
};

TEST_F(Win32SystemInfoTest, OsVersionIsAnNtVersion) {
  const OsVersion version = info_.GetOsVersion();
  EXPECT_TRUE(version.isNt);
  EXPECT_GE(version.major, 5u);
  EXPECT_LE(version.servicePack, 9u);
}

TEST_F(Win32SystemInfoTest, RegisteredUserComesFromTheNtKey) {
  SavedValue owner(kUserKey, "RegisteredOwner");
  SavedValue organisation(kUserKey, "RegisteredOrganization");
  ASSERT_TRUE(owner.IsOpen() && organisation.IsOpen());

  owner.SetText("Tavrel Test Owner");
  organisation.SetText("Tavrel Test Organisation");
  RegisteredUser user = info_.GetRegisteredUser();
  EXPECT_EQ(user.owner, "Tavrel Test Owner");
  EXPECT_EQ(user.organisation, "Tavrel Test Organisation");

  // Stored without a terminator, and stored with a second text behind it.
  owner.SetText("Unterminated", false);
  organisation.Set(REG_SZ, "First\0Second\0", 14);
  user = info_.GetRegisteredUser();
  EXPECT_EQ(user.owner, "Unterminated");
  EXPECT_EQ(user.organisation, "First");

  // Missing, or not text at all: empty.
  owner.Remove();
  const DWORD number = 42;
  organisation.Set(REG_DWORD, &number, sizeof(number));
  user = info_.GetRegisteredUser();
  EXPECT_EQ(user.owner, "");
  EXPECT_EQ(user.organisation, "");

  // A text longer than any fixed buffer a reader might guess at.
  const std::string longName(5000, 'n');
  owner.SetText(longName);
  EXPECT_EQ(info_.GetRegisteredUser().owner, longName);
}

TEST_F(Win32SystemInfoTest, SpecialFoldersExistAndEndWithABackslash) {
  for (const int csidl : {38 /* program files */, 5 /* personal */, 0x1a /* application data */,
                          0x10 /* desktop directory */}) {
    const std::string folder = info_.GetSpecialFolder(csidl);
    ASSERT_FALSE(folder.empty()) << csidl;
    EXPECT_EQ(folder.back(), '\\') << folder;
    EXPECT_NE(folder.substr(folder.size() - 2), "\\\\") << folder;
    EXPECT_TRUE(IsFolder(folder)) << folder;
  }
}

TEST_F(Win32SystemInfoTest, UnknownOrVirtualSpecialFoldersAreEmpty) {
  EXPECT_EQ(info_.GetSpecialFolder(0x7f), "");
  EXPECT_EQ(info_.GetSpecialFolder(-1), "");
  // "My Computer" has a location but no file-system path.
  EXPECT_EQ(info_.GetSpecialFolder(0x11), "");
}

TEST_F(Win32SystemInfoTest, AdministratorCheckReadsProcessAndThreadTokens) {
  bool fromProcess = false;
  EXPECT_NO_THROW(fromProcess = info_.IsUserAdministrator());
  // While impersonating itself the thread has a token of its own, with the
  // same groups.
  ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
  bool fromThread = !fromProcess;
  EXPECT_NO_THROW(fromThread = info_.IsUserAdministrator());
  RevertToSelf();
  EXPECT_EQ(fromThread, fromProcess);
}

TEST_F(Win32SystemInfoTest, FileVersionParts) {
  const FileVersionParts kernel = info_.GetFileVersionParts(SystemFolder() + "\\kernel32.dll");
  EXPECT_NE(kernel.part1, 0u);
  EXPECT_NE(kernel.mostSignificant, 0u);
  EXPECT_EQ(kernel.mostSignificant, (std::uint32_t{kernel.part1} << 16) | kernel.part2);
  EXPECT_EQ(kernel.leastSignificant, (std::uint32_t{kernel.part3} << 16) | kernel.part4);

  const std::string text = TempFolder() + "tavrel-sysinfo-version.txt";
  const HANDLE file = CreateFileA(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "no version here", 15, &written, nullptr);
  CloseHandle(file);
  for (const std::string& path : {text, text + ".missing"}) {
    const FileVersionParts none = info_.GetFileVersionParts(path);
    EXPECT_EQ(none.part1 | none.part2 | none.part3 | none.part4, 0) << path;
    EXPECT_EQ(none.mostSignificant | none.leastSignificant, 0u) << path;
  }
  DeleteFileA(text.c_str());
}

TEST_F(Win32SystemInfoTest, MemoryTotalsCoverWhatIsAvailable) {
  const MemoryStatus total = info_.GetMemoryStatus(true);
  const MemoryStatus available = info_.GetMemoryStatus(false);
  EXPECT_GT(total.physical, 0u);
  EXPECT_GT(total.pageFile, 0u);
  EXPECT_GT(total.virtualMemory, 0u);
  EXPECT_GT(available.virtualMemory, 0u);
  // A 32-bit program's structure clamps each amount on its own: on a machine with more than
  // 4 GiB, Wine answers an available page file of 4 GiB - 1 beside a slightly smaller total.
  // Below the clamp what is available fits in the total.
  constexpr std::uint64_t kClamped = 0xFFFFFFFFu;
  for (const auto& [whole, spare] : {std::pair{total.physical, available.physical},
                                     std::pair{total.pageFile, available.pageFile},
                                     std::pair{total.virtualMemory, available.virtualMemory}}) {
    if (spare != kClamped) {
      EXPECT_GE(whole, spare);
    }
  }
}

TEST_F(Win32SystemInfoTest, ScreenAndColours) {
  const ScreenSize screen = info_.GetScreenSize();
  EXPECT_GT(screen.width, 0);
  EXPECT_GT(screen.height, 0);
  const DisplayColours colours = info_.GetDisplayColours();
  EXPECT_GT(colours.bitsPerPixel, 0u);
  EXPECT_EQ(colours.colours, ColourCount(colours.bitsPerPixel));
}

TEST_F(Win32SystemInfoTest, LanguageOfTheSystem) {
  const SystemLanguage language = info_.GetSystemLanguage();
  EXPECT_NE(language.identifier & 0xFFFF, 0u);
  EXPECT_FALSE(language.name.empty());
}

TEST_F(Win32SystemInfoTest, CdRomDriveIsEmptyOrARoot) {
  const std::string drive = info_.FindCdRomDrive();
  if (drive.empty()) return;
  ASSERT_EQ(drive.size(), 3u);
  EXPECT_TRUE(drive[0] >= 'A' && drive[0] <= 'Z');
  EXPECT_EQ(drive.substr(1), ":\\");
  EXPECT_EQ(GetDriveTypeA(drive.c_str()), static_cast<UINT>(DRIVE_CDROM));
}

TEST_F(Win32SystemInfoTest, BootFolderFromTheSetupKey) {
  SavedValue boot(kSetupKey, "BootDir");
  ASSERT_TRUE(boot.IsOpen());
  boot.SetText("C:\\");
  EXPECT_EQ(info_.GetBootFolder(), "C:\\");
  boot.Remove();
  EXPECT_EQ(info_.GetBootFolder(), "");
}

class PathFormTest : public Win32SystemInfoTest {
 protected:
  void SetUp() override {
    folder_ = TempFolder() + "Tavrel long folder name";
    file_ = folder_ + "\\a file with a long name.text";
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    const HANDLE file = CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  void TearDown() override {
    DeleteFileA(file_.c_str());
    RemoveDirectoryA(folder_.c_str());
  }

  std::string folder_;
  std::string file_;
};

TEST_F(PathFormTest, ShortAndLongFormsRoundTrip) {
  const std::string shortFolder = info_.GetShortPath(folder_);
  ASSERT_FALSE(shortFolder.empty());
  EXPECT_EQ(shortFolder.find(' '), std::string::npos) << shortFolder;
  EXPECT_TRUE(IsFolder(shortFolder)) << shortFolder;

  char longTemp[MAX_PATH] = {};
  ASSERT_NE(GetLongPathNameA(folder_.c_str(), longTemp, MAX_PATH), 0u);
  const std::string expanded = info_.ExpandToLongPath(shortFolder);
  EXPECT_TRUE(SameIgnoringCase(expanded, longTemp)) << expanded << " / " << longTemp;
  EXPECT_EQ(expanded.substr(expanded.size() - 24), "\\Tavrel long folder name");
  EXPECT_TRUE(SameIgnoringCase(info_.ExpandToLongPath(shortFolder + "\\"), expanded));

  const std::string shortFile = info_.GetShortPath(file_);
  ASSERT_FALSE(shortFile.empty());
  EXPECT_TRUE(SameIgnoringCase(info_.ExpandToLongPath(shortFile),
                               expanded + "\\a file with a long name.text"));
}

TEST_F(PathFormTest, MissingPathsAndRoots) {
  EXPECT_EQ(info_.GetShortPath(folder_ + "\\missing"), "");
  const std::string shortFolder = info_.GetShortPath(folder_);
  const std::string expanded = info_.ExpandToLongPath(shortFolder + "\\missing.txt");
  EXPECT_EQ(expanded.substr(expanded.size() - 25), "\\Tavrel long folder name\\");
  EXPECT_EQ(info_.ExpandToLongPath("C:\\"), "C:\\");
  // A pattern names no single file.
  EXPECT_EQ(info_.ExpandToLongPath(folder_.substr(0, folder_.size() - 4) + "*"),
            info_.ExpandToLongPath(TempFolder()) + "\\");
}

}  // namespace
}  // namespace tavrel
