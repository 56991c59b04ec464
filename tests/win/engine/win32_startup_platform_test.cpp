// The start-up platform against the real file system, loader and version
// resources of a Windows system.
#include "engine/win32/win32_startup_platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "engine/core/startup.h"

namespace tavrel {
namespace {

class Win32StartupPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = platform_.TempFolder() + "tavrel-platform-test\\";
    RemoveSupportFolder(platform_, root_);
    platform_.CreateFolders(root_ + "a\\b\\c");
  }
  void TearDown() override { RemoveSupportFolder(platform_, root_); }

  void Write(const std::string& path, const std::string& data) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
  }

  Win32StartupPlatform platform_;
  std::string root_;
};

TEST_F(Win32StartupPlatformTest, FilesFoldersAndTails) {
  EXPECT_TRUE(platform_.FolderExists(root_ + "a\\b\\c"));
  EXPECT_TRUE(platform_.FolderExists(root_ + "a\\b\\c\\"));
  EXPECT_FALSE(platform_.FileExists(root_ + "a"));

  std::string big(200000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  Write(root_ + "big.bin", big);
  EXPECT_EQ(platform_.FileSize(root_ + "big.bin"), big.size());
  platform_.CopyFileTail(root_ + "big.bin", 70000, root_ + "tail.bin");
  EXPECT_EQ(platform_.ReadFile(root_ + "tail.bin"), big.substr(70000));
  // Overwrites an existing, longer file completely.
  platform_.CopyFileTail(root_ + "big.bin", 199990, root_ + "tail.bin");
  EXPECT_EQ(platform_.ReadFile(root_ + "tail.bin"), big.substr(199990));
  EXPECT_THROW(platform_.ReadFile(root_ + "missing"), PlatformError);
  EXPECT_THROW(platform_.CopyFileTail(root_ + "missing", 0, root_ + "x"), PlatformError);

  platform_.CopyFileNormal(root_ + "big.bin", root_ + "a\\copy.bin");
  EXPECT_EQ(GetFileAttributesA((root_ + "a\\copy.bin").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(Win32StartupPlatformTest, RemovalClearsReadOnlyFilesInNestedFolders) {
  Write(root_ + "a\\b\\c\\locked.txt", "x");
  Write(root_ + "a\\top.txt", "y");
  SetFileAttributesA((root_ + "a\\b\\c\\locked.txt").c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA((root_ + "a\\top.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  RemoveSupportFolder(platform_, root_);
  EXPECT_FALSE(platform_.FolderExists(root_));
}

TEST_F(Win32StartupPlatformTest, SupportFoldersAreNumberedPastExistingNames) {
  const std::string temp = root_ + "temp\\";
  platform_.CreateFolders(temp + "tvl1");
  Write(temp + "tvl2", "a plain file");
  EXPECT_EQ(NextSupportFolder(platform_, temp), temp + "tvl3\\");
  EXPECT_TRUE(platform_.FolderExists(temp + "tvl3"));
  EXPECT_EQ(NextSupportFolder(platform_, temp), temp + "tvl4\\");
}

TEST_F(Win32StartupPlatformTest, SystemQueriesAnswer) {
  const FileVersion comctl = platform_.GetFileVersion(platform_.SystemFolder() + "\\comctl32.dll");
  EXPECT_GE(comctl.major, 5u);
  const FileVersion none = platform_.GetFileVersion(platform_.ExecutablePath() + ".missing");
  EXPECT_EQ(none.major, 0u);
  EXPECT_EQ(none.minor, 0u);
  // The archive library beside the tests is stripped: its image is the
  // whole file, so it carries no language data.
  const std::string exe = platform_.ExecutablePath();
  const std::string library = exe.substr(0, exe.find_last_of('\\') + 1) + "tvl.dll";
  ASSERT_TRUE(platform_.FileExists(library));
  EXPECT_EQ(platform_.LibraryImageEnd(library), platform_.FileSize(library));
  EXPECT_FALSE(platform_.LibraryImageEnd(root_ + "none.dll"));
  EXPECT_TRUE(platform_.ExecutableImageEnd());
}

}  // namespace
}  // namespace tavrel
