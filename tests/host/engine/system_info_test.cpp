// The system queries' reasoning without a system: version adjustment,
// service-pack texts, the special-folder fallback, colour counts and long
// path expansion against a made-up directory tree.
#include "engine/core/system_info.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <vector>

namespace tavrel {
namespace {

constexpr std::uint32_t kWindows9x = 1;
constexpr std::uint32_t kWindowsNt = 2;
constexpr std::uint32_t kLastFirstEditionBuild = 67766445;

TEST(OsVersionTest, OnlyAWindows98BuildAfterTheFirstEditionReportsMinorEleven) {
  EXPECT_EQ(MakeOsVersion(kWindows9x, 4, 10, kLastFirstEditionBuild + 1, "").minor, 11u);
  EXPECT_EQ(MakeOsVersion(kWindows9x, 4, 10, kLastFirstEditionBuild, "").minor, 10u);
  // Build fields with the high bit set must not wrap into "smaller".
  EXPECT_EQ(MakeOsVersion(kWindows9x, 4, 10, 0xFFFFFFFFu, "").minor, 11u);
  // The same numbers on NT, or on another 9x version, are taken as they are.
  EXPECT_EQ(MakeOsVersion(kWindowsNt, 4, 10, kLastFirstEditionBuild + 1, "").minor, 10u);
  EXPECT_EQ(MakeOsVersion(kWindows9x, 4, 90, kLastFirstEditionBuild + 1, "").minor, 90u);
  EXPECT_EQ(MakeOsVersion(kWindows9x, 4, 0, kLastFirstEditionBuild + 1, "").minor, 0u);
}

TEST(OsVersionTest, PlatformAndServicePack) {
  const OsVersion nt = MakeOsVersion(kWindowsNt, 5, 1, 2600, "Service Pack 3");
  EXPECT_TRUE(nt.isNt);
  EXPECT_EQ(nt.major, 5u);
  EXPECT_EQ(nt.minor, 1u);
  EXPECT_EQ(nt.servicePack, 3u);
  // Windows 98 Second Edition's text is " A ", not a service pack.
  const OsVersion second = MakeOsVersion(kWindows9x, 4, 10, 0x040A08AE, " A ");
  EXPECT_FALSE(second.isNt);
  EXPECT_EQ(second.servicePack, 0u);
  EXPECT_THROW(MakeOsVersion(kWindowsNt, 5, 0, 2195, "Service Pack X"), ConversionError);
}

TEST(ServicePackTest, DigitAfterThePrefixIsTheNumber) {
  EXPECT_EQ(ServicePackNumber("Service Pack 2"), 2u);
  EXPECT_EQ(ServicePackNumber("Service Pack 0"), 0u);
  EXPECT_EQ(ServicePackNumber("Service Pack 9"), 9u);
}

TEST(ServicePackTest, OtherTextsGiveZero) {
  EXPECT_EQ(ServicePackNumber(""), 0u);
  EXPECT_EQ(ServicePackNumber(" C"), 0u);
  EXPECT_EQ(ServicePackNumber("Service Pack"), 0u);  // prefix lacks its blank
  EXPECT_EQ(ServicePackNumber("service pack 3"), 0u);
  EXPECT_EQ(ServicePackNumber("Beta Service Pack 3"), 0u);
}

void ExpectConversionError(std::string_view text, const std::string& message) {
  try {
    ServicePackNumber(text);
    ADD_FAILURE() << "no error for \"" << text << "\"";
  } catch (const ConversionError& error) {
    EXPECT_EQ(error.what(), message);
    const std::runtime_error& base = error;  // callers catch the general kind
    EXPECT_EQ(base.what(), message);
  }
}

TEST(ServicePackTest, PrefixWithoutFinalDigitIsAConversionError) {
  ExpectConversionError("Service Pack X", "'X' is not a valid integer value");
  ExpectConversionError("Service Pack 6a", "'a' is not a valid integer value");
  // The prefix alone ends in its own blank.
  ExpectConversionError("Service Pack ", "' ' is not a valid integer value");
}

// The shell and the registry as a test sets them up; records what was asked.
struct FakeFolders {
  std::map<int, std::optional<std::string>> shell;
  std::map<std::string, std::string, std::less<>> registry;
  std::vector<std::string> registryAsked;

  std::string Resolve(int csidl) {
    return ResolveSpecialFolder(
        csidl,
        [this](int number) -> std::optional<std::string> {
          const auto found = shell.find(number);
          return found == shell.end() ? std::nullopt : found->second;
        },
        [this](std::string_view name) {
          registryAsked.emplace_back(name);
          const auto found = registry.find(name);
          return found == registry.end() ? std::string() : found->second;
        });
  }
};

TEST(SpecialFolderTest, ShellPathGetsExactlyOneTrailingBackslash) {
  FakeFolders folders;
  folders.shell[5] = "C:\\Users\\tester\\Documents";
  folders.shell[0x10] = "D:\\";  // a folder redirected to a drive root
  EXPECT_EQ(folders.Resolve(5), "C:\\Users\\tester\\Documents\\");
  EXPECT_EQ(folders.Resolve(0x10), "D:\\");
}

TEST(SpecialFolderTest, ProgramFilesFoldersFallBackToTheRegistryWhenTheShellHasNoLocation) {
  FakeFolders folders;
  folders.registry["ProgramFilesDir"] = "C:\\Program Files";
  folders.registry["CommonFilesDir"] = "C:\\Program Files\\Common Files";
  EXPECT_EQ(folders.Resolve(38), "C:\\Program Files\\");
  EXPECT_EQ(folders.Resolve(43), "C:\\Program Files\\Common Files\\");
  EXPECT_EQ(folders.registryAsked, (std::vector<std::string>{"ProgramFilesDir", "CommonFilesDir"}));
}

TEST(SpecialFolderTest, NoPathAtAllGivesEmpty) {
  FakeFolders folders;
  // Registry value missing: no lone backslash.
  EXPECT_EQ(folders.Resolve(38), "");
  // Other numbers never look in the registry.
  folders.registry["ProgramFilesDir"] = "C:\\Program Files";
  EXPECT_EQ(folders.Resolve(0x7f), "");
  EXPECT_EQ(folders.registryAsked, std::vector<std::string>{"ProgramFilesDir"});
  // A location that is no file-system folder is a failure, not a reason to
  // look elsewhere.
  folders.shell[38] = "";
  EXPECT_EQ(folders.Resolve(38), "");
  EXPECT_EQ(folders.registryAsked.size(), 1u);
}

TEST(ColourCountTest, PowersOfTwoWithoutOverflow) {
  EXPECT_EQ(ColourCount(0), 1u);
  EXPECT_EQ(ColourCount(8), 256u);
  EXPECT_EQ(ColourCount(32), 4294967296u);  // beyond 32 bits
  EXPECT_EQ(ColourCount(63), std::uint64_t{1} << 63);
  EXPECT_EQ(ColourCount(64), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(ColourCount(1000), std::numeric_limits<std::uint64_t>::max());
}

// A directory tree keyed by the exact path searched, answering the long
// name; records every search.
struct FakeTree {
  std::map<std::string, std::string> names;
  std::vector<std::string> searched;

  std::string Expand(std::string_view path) {
    return ExpandToLongPathWith(path, [this](const std::string& at) {
      searched.push_back(at);
      const auto found = names.find(at);
      return found == names.end() ? std::string() : found->second;
    });
  }
};

FakeTree ProgramFilesTree() {
  FakeTree tree;
  tree.names["C:\\PROGRA~1"] = "Program Files";
  tree.names["C:\\PROGRA~1\\COMMON~1"] = "Common Files";
  tree.names["C:\\PROGRA~1\\COMMON~1\\readme.txt"] = "readme.txt";
  return tree;
}

TEST(ExpandToLongPathTest, EveryComponentIsSearchedOnTheShortPathAsGiven) {
  FakeTree tree = ProgramFilesTree();
  EXPECT_EQ(tree.Expand("C:\\PROGRA~1\\COMMON~1\\readme.txt"),
            "C:\\Program Files\\Common Files\\readme.txt");
  EXPECT_EQ(tree.searched, (std::vector<std::string>{"C:\\PROGRA~1", "C:\\PROGRA~1\\COMMON~1",
                                                     "C:\\PROGRA~1\\COMMON~1\\readme.txt"}));
}

TEST(ExpandToLongPathTest, TrailingBackslashIsDropped) {
  FakeTree tree = ProgramFilesTree();
  EXPECT_EQ(tree.Expand("C:\\PROGRA~1\\COMMON~1\\"), "C:\\Program Files\\Common Files");
  // Forward slashes separate too; the result uses backslashes.
  EXPECT_EQ(tree.Expand("C:/PROGRA~1/COMMON~1/"), "C:\\Program Files\\Common Files");
}

TEST(ExpandToLongPathTest, RootsAreKeptWithoutSearching) {
  FakeTree tree = ProgramFilesTree();
  EXPECT_EQ(tree.Expand("C:\\"), "C:\\");
  EXPECT_EQ(tree.Expand("C:"), "C:");
  EXPECT_EQ(tree.Expand("\\"), "\\");
  EXPECT_EQ(tree.Expand("\\\\server\\share"), "\\\\server\\share");
  EXPECT_EQ(tree.Expand("\\\\server\\share\\"), "\\\\server\\share\\");
  EXPECT_EQ(tree.Expand(""), "");
  EXPECT_TRUE(tree.searched.empty());
}

TEST(ExpandToLongPathTest, NetworkShareIsARootAndItsFoldersAreSearched) {
  FakeTree tree;
  tree.names["\\\\server\\share\\DOCUME~1"] = "Documents and Settings";
  EXPECT_EQ(tree.Expand("\\\\server\\share\\DOCUME~1"),
            "\\\\server\\share\\Documents and Settings");
  EXPECT_EQ(tree.searched, std::vector<std::string>{"\\\\server\\share\\DOCUME~1"});
}

TEST(ExpandToLongPathTest, RelativePathGainsNoLeadingBackslash) {
  FakeTree tree;
  tree.names["PROGRA~1"] = "Program Files";
  tree.names["PROGRA~1\\x"] = "x";
  EXPECT_EQ(tree.Expand("PROGRA~1\\x"), "Program Files\\x");
  tree.names["C:PROGRA~1"] = "Program Files";
  EXPECT_EQ(tree.Expand("C:PROGRA~1"), "C:Program Files");
}

TEST(ExpandToLongPathTest, MissingComponentGivesAnEmptyName) {
  FakeTree tree = ProgramFilesTree();
  EXPECT_EQ(tree.Expand("C:\\PROGRA~1\\nothere.txt"), "C:\\Program Files\\");
  // Further components are still searched by their given path.
  EXPECT_EQ(tree.Expand("C:\\gone\\PROGRA~1"), "C:\\\\");
  EXPECT_EQ(tree.searched.back(), "C:\\gone\\PROGRA~1");
}

TEST(ExpandToLongPathTest, PatternsAreNotSearched) {
  FakeTree tree = ProgramFilesTree();
  tree.names["C:\\PROG*"] = "Program Files";  // what a real search would answer
  EXPECT_EQ(tree.Expand("C:\\PROG*"), "C:\\");
  EXPECT_EQ(tree.Expand("C:\\PROGRA~1\\COMMON~?"), "C:\\Program Files\\");
  EXPECT_EQ(tree.searched, std::vector<std::string>{"C:\\PROGRA~1"});
}

TEST(ExpandToLongPathTest, DotComponentsStayAsTheyAre) {
  FakeTree tree = ProgramFilesTree();
  tree.names["C:\\PROGRA~1\\..\\PROGRA~1"] = "Program Files";
  EXPECT_EQ(tree.Expand("C:\\PROGRA~1\\..\\PROGRA~1"), "C:\\Program Files\\..\\Program Files");
  EXPECT_EQ(tree.Expand("C:\\PROGRA~1\\."), "C:\\Program Files\\.");
}

TEST(ExpandToLongPathTest, DoubledSeparatorsAreOne) {
  FakeTree tree = ProgramFilesTree();
  EXPECT_EQ(tree.Expand("C:\\PROGRA~1\\\\COMMON~1"), "C:\\Program Files\\Common Files");
}

TEST(ExpandToLongPathTest, VeryDeepPathDoesNotExhaustTheStack) {
  std::string path = "C:";
  constexpr int kDepth = 200000;
  for (int i = 0; i < kDepth; ++i) path += "\\d";
  int searches = 0;
  const std::string expanded = ExpandToLongPathWith(path, [&searches](const std::string&) {
    ++searches;
    return std::string("D");
  });
  EXPECT_EQ(searches, kDepth);
  EXPECT_EQ(expanded.size(), path.size());
  EXPECT_EQ(expanded.substr(0, 7), "C:\\D\\D\\");
}

}  // namespace
}  // namespace tavrel
