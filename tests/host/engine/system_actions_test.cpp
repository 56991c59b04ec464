// The system query commands' tables and version handling, against a host
// whose system answers are set by each test.
#include "engine/core/system_actions.h"

#include <gtest/gtest.h>

#include "tests/host/engine/fake_ports.h"

namespace tavrel {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

std::string Settings(FakeHost& host, std::int32_t first, std::int32_t last) {
  std::string answers;
  for (std::int32_t code = first; code <= last; ++code) {
    answers += SystemSetting(code, host) == "TRUE" ? 'T' : 'F';
  }
  return answers;
}

TEST(SystemActionsTest, MemoryThresholdsLeaveTwoMebibytesForTheSystem) {
  FakeHost host;
  host.system.memory.physical = 63 * kMiB;
  EXPECT_EQ(Settings(host, 1, 7), "TTFFFFF");
  host.system.memory.physical = 62 * kMiB - 1;
  EXPECT_EQ(Settings(host, 1, 7), "TFFFFFF");
  host.system.memory.physical = 2046 * kMiB;
  EXPECT_EQ(Settings(host, 1, 7), "TTTTTTT");
}

TEST(SystemActionsTest, ScreenNeedsBothSidesAndColoursTheDepth) {
  FakeHost host;
  host.system.screen = {1280, 1023};
  EXPECT_EQ(Settings(host, 8, 12), "TTFFF");
  host.system.screen = {1920, 1440};
  EXPECT_EQ(Settings(host, 8, 12), "TTTTT");
  host.system.colours.bitsPerPixel = 24;
  EXPECT_EQ(Settings(host, 13, 16), "TTTF");
  host.system.colours.bitsPerPixel = 4;
  EXPECT_EQ(Settings(host, 13, 16), "FFFF");
}

TEST(SystemActionsTest, VersionsCompareMajorThenMinorWithoutTheFamily) {
  FakeHost host;
  host.system.os = {false, 4, 10, 0};  // Windows 98 first edition
  EXPECT_EQ(Settings(host, 17, 26), "TFTTFFTFFF");
  host.system.os = MakeOsVersion(1, 4, 10, 67766446, "");  // Second Edition
  EXPECT_EQ(SystemSetting(21, host), "TRUE");
  host.system.os = {true, 5, 0, 4};  // Windows 2000 SP4
  EXPECT_EQ(Settings(host, 17, 26), "FTTTTTTTFF");
  EXPECT_EQ(SystemSetting(19, host), SystemSetting(23, host));
  EXPECT_EQ(Settings(host, 27, 32), "TTTTFF");
  host.system.os = {true, 10, 0, 0};
  EXPECT_EQ(Settings(host, 19, 32), "TTTTTTTTFFFFFF");
}

TEST(SystemActionsTest, TextAnswersAndAdministrator) {
  FakeHost host;
  EXPECT_EQ(SystemSetting(33, host), std::to_string(0x04E40409));
  EXPECT_EQ(SystemSetting(34, host), "English (United States)");
  EXPECT_EQ(SystemSetting(35, host), "Ada");
  EXPECT_EQ(SystemSetting(36, host), "Engines Ltd");
  EXPECT_EQ(SystemSetting(0, host), "TRUE");
  host.system.administrator = false;
  EXPECT_EQ(SystemSetting(0, host), "FALSE");
}

TEST(SystemActionsTest, BrowserLibraryVersionsAndWebServer) {
  FakeHost host;
  const std::string library = "C:\\Windows\\system32\\shdocvw.dll";
  // No version resource: nothing is reached.
  EXPECT_EQ(Settings(host, 37, 52), "FFFFFFFFFFFFFFFF");
  // Exactly the row of code 40 (5.5.4522.1800).
  host.system.versions[library] = {5, 5, 4522, 1800, 0, 0};
  EXPECT_EQ(Settings(host, 37, 52), "FFFTTTTTTTTTTTTT");
  host.system.versions[library] = {5, 5, 4522, 1799, 0, 0};
  EXPECT_EQ(Settings(host, 37, 52), "FFFFTTTTTTTTTTTT");
  host.system.versions[library] = {11, 0, 0, 0, 0, 0};
  EXPECT_EQ(Settings(host, 37, 52), "TTTTTTTTTTTTTTTT");

  EXPECT_EQ(Settings(host, 53, 57), "FFFFF");  // no key
  const std::string key = "2|SOFTWARE\\Microsoft\\InetStp|MajorVersion";
  host.registryValues[key] = {RegistryValue::Type::kNumber, "", 4};
  EXPECT_EQ(Settings(host, 53, 57), "FFTTT");
  host.registryValues[key] = {RegistryValue::Type::kString, "10", 0};
  EXPECT_EQ(Settings(host, 53, 57), "FFFFF");  // not a number
}

TEST(SystemActionsTest, UnknownCodesAreErrors) {
  FakeHost host;
  EXPECT_THROW(SystemSetting(58, host), std::runtime_error);
  EXPECT_THROW(SystemSetting(-1, host), std::runtime_error);
  EXPECT_THROW(FolderLocation(28, false, host), std::runtime_error);
  EXPECT_THROW(FolderLocation(-1, true, host), std::runtime_error);
  EXPECT_THROW(RegistryRootFor(5), std::runtime_error);
  EXPECT_EQ(RegistryRootFor(0), RegistryRoot::kClassesRoot);
  EXPECT_EQ(RegistryRootFor(4), RegistryRoot::kCurrentConfig);
}

TEST(SystemActionsTest, FolderTablePicksTheNumberForTheFlag) {
  FakeHost host;
  for (int number = 0; number < 64; ++number) {
    host.system.specialFolders[number] = "F" + std::to_string(number);
  }
  const std::vector<std::pair<int, int>> pairs{
      {0, 32},  {1, 33},  {2, 5},   {3, 31},  {4, 53},  {5, 54},  {6, 55},  {7, 19},
      {8, 27},  {11, 47}, {12, 22}, {13, 24}, {14, 23}, {15, 35}, {16, 59}, {17, 25},
      {18, 20}, {19, 62}, {20, 43}, {21, 8},  {22, 9},  {24, 21}};
  for (const auto& [code, number] : pairs) {
    EXPECT_EQ(FolderLocation(code, true, host), "F" + std::to_string(number) + "\\") << code;
  }
  const std::vector<std::pair<int, int>> currentUser{{2, 5},   {3, 6},   {4, 13}, {5, 39}, {6, 14},
                                                     {11, 48}, {12, 11}, {13, 7}, {14, 2}, {15, 26},
                                                     {17, 0},  {19, 40}, {20, 38}};
  for (const auto& [code, number] : currentUser) {
    EXPECT_EQ(FolderLocation(code, false, host), "F" + std::to_string(number) + "\\") << code;
  }
  host.system.specialFolders.erase(32);
  EXPECT_EQ(FolderLocation(0, false, host), "");
}

TEST(SystemActionsTest, ComputedFolders) {
  FakeHost host;
  EXPECT_EQ(FolderLocation(9, false, host), "");
  EXPECT_EQ(FolderLocation(10, false, host), "");
  host.system.bootFolder = "C:";
  host.system.cdRom = "E:\\";
  EXPECT_EQ(FolderLocation(9, false, host), "C:\\");
  EXPECT_EQ(FolderLocation(10, true, host), "E:\\");
  EXPECT_EQ(FolderLocation(23, false, host), "C:\\Windows\\system32\\");
  EXPECT_EQ(FolderLocation(25, false, host), "C:\\Windows\\");

  EXPECT_EQ(FolderLocation(26, false, host), "");
  const std::string shell =
      "1|SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\|AppData";
  host.registryValues[shell] = {RegistryValue::Type::kString, "C:\\Users\\ada\\AppData", 0};
  EXPECT_EQ(FolderLocation(26, false, host),
            "C:\\Users\\ada\\AppData\\Microsoft\\Internet Explorer\\Quick Launch\\");
  host.registryValues[shell].text = "C:\\Data\\";
  EXPECT_EQ(FolderLocation(26, true, host),
            "C:\\Data\\Microsoft\\Internet Explorer\\Quick Launch\\");

  EXPECT_EQ(FolderLocation(27, false, host), "");
  const std::string roots =
      "2|SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots\\|";
  host.registryValues[roots + "/,"] = {RegistryValue::Type::kString, "D:\\web,,201", 0};
  EXPECT_EQ(FolderLocation(27, false, host), "D:\\web\\");
  host.registryValues[roots + "/"] = {RegistryValue::Type::kString, "C:\\wwwroot,,1", 0};
  EXPECT_EQ(FolderLocation(27, false, host), "C:\\wwwroot\\");
  // Current servers keep it expandable.
  host.environment["SystemDrive"] = "C:";
  host.registryValues["2|SOFTWARE\\Microsoft\\InetStp|PathWWWRoot"] = {
      RegistryValue::Type::kExpandString, "%SystemDrive%\\inetpub\\wwwroot", 0};
  EXPECT_EQ(FolderLocation(27, false, host), "C:\\inetpub\\wwwroot\\");
}

TEST(SystemActionsTest, VersionTextsAndComparison) {
  EXPECT_EQ(ParseVersionText("1.2.3.4"), (Version{1, 2, 3, 4}));
  EXPECT_EQ(ParseVersionText("5.1"), (Version{5, 1, 0, 0}));
  EXPECT_EQ(ParseVersionText("1.2.x"), (Version{1, 2, 0, 0}));
  EXPECT_EQ(ParseVersionText(""), (Version{0, 0, 0, 0}));
  EXPECT_EQ(ParseVersionText("1.2.3.4.x"), (Version{1, 2, 3, 4}));
  EXPECT_EQ(ParseVersionText("65535.0.0.7"), (Version{65535, 0, 0, 7}));
  EXPECT_THROW(ParseVersionText("1.x.3"), ConversionError);
  EXPECT_THROW(ParseVersionText("1..3"), ConversionError);
  EXPECT_THROW(ParseVersionText("65536.0"), ConversionError);
  EXPECT_THROW(ParseVersionText("1.2.-1"), ConversionError);

  const Version file{1, 2, 3, 4};
  EXPECT_TRUE(VersionAtLeast(file, ParseVersionText("1.2.3.4")));
  EXPECT_FALSE(VersionAtLeast(file, ParseVersionText("1.2.3.5")));
  EXPECT_TRUE(VersionAtLeast(file, ParseVersionText("1.2")));
  EXPECT_FALSE(VersionAtLeast(file, ParseVersionText("1.10")));  // numbers, not text
  EXPECT_TRUE(VersionAtLeast(Version{2, 0, 0, 0}, Version{1, 65535, 65535, 65535}));
  EXPECT_EQ(VersionText(VersionOf(FileVersionParts{})), "0.0.0.0");
  EXPECT_EQ(VersionText({65535, 0, 10, 7}), "65535.0.10.7");
}

TEST(SystemActionsTest, RegistryValuesAsText) {
  using Type = RegistryValue::Type;
  EXPECT_EQ(RegistryText({Type::kString, "C:\\x", 0}), "C:\\x");
  EXPECT_EQ(RegistryText({Type::kNumber, "", 4294967295u}), "4294967295");
  EXPECT_EQ(RegistryText({Type::kExpandString, "%TEMP%", 0}), "");
  EXPECT_EQ(RegistryText({Type::kOther, "", 0}), "");
  EXPECT_EQ(RegistryText({}), "");
}

}  // namespace
}  // namespace tavrel
