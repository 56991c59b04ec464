// The stub's decisions without the operating system: its arguments, box texts, drive roots,
// free space, entry names it may write and the command line of the file it opens.
#include "stub/core/stub_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ombrell {
namespace {

using namespace std::string_literals;

SessionInfo Numbered(bool password = false) {
  SessionInfo info;
  for (int i = 0; i < kMessageCount; ++i) info.messages[i] = "M" + std::to_string(i + 1);
  info.password = password;
  return info;
}

StubArguments Parse(std::vector<std::string> arguments) {
  return ParseStubArguments(arguments);
}

TEST(StubArguments, SilentSwitchAndPassedOnArguments) {
  EXPECT_TRUE(Parse({"$silent$"}).silent);
  EXPECT_TRUE(Parse({"$SiLeNt$"}).silent);
  EXPECT_EQ(Parse({"$silent$"}).extraParameters, "");
  EXPECT_FALSE(Parse({"/silent"}).silent);
  EXPECT_FALSE(Parse({"$SILENT$x"}).silent);
  EXPECT_FALSE(Parse({}).silent);

  // Every other argument follows the package's own parameters.
  const StubArguments passed = Parse({"/q", "$SILENT$", "-log=a.txt"});
  EXPECT_TRUE(passed.silent);
  EXPECT_EQ(passed.extraParameters, " /q -log=a.txt");
  EXPECT_EQ("-x" + Parse({"/q"}).extraParameters, "-x /q");

  // Arguments the receiving program would split differently are quoted for it.
  EXPECT_EQ(Parse({"C:\\My Files\\"}).extraParameters, " \"C:\\My Files\\\\\"");
  EXPECT_EQ(Parse({"a\tb"}).extraParameters, " \"a\tb\"");
  EXPECT_EQ(Parse({""}).extraParameters, " \"\"");
  EXPECT_EQ(Parse({"say \"hi\""}).extraParameters, " \"say \\\"hi\\\"\"");
  EXPECT_EQ(Parse({"a\\\"b"}).extraParameters, " \"a\\\\\\\"b\"");  // a\"b -> "a\\\"b"
  EXPECT_EQ(Parse({"C:\\dir\\"}).extraParameters, " C:\\dir\\");    // no blank: as it is
}

TEST(StubTexts, BuiltFromTheMessageTable) {
  const SessionInfo info = Numbered();
  SessionInfo named = info;
  named.packageName = "Tools";
  EXPECT_EQ(Caption(named), "Quorvane Ombrell - Tools");
  EXPECT_EQ(Caption(SessionInfo{}), "Quorvane Ombrell - ");
  EXPECT_EQ(DamagedMessage(info), "M42");
  EXPECT_EQ(DamagedMessage(Numbered(true)), "M43");
  EXPECT_EQ(FatalErrorText(info, "boom"), "M35\rboom\r\rM36");
  EXPECT_EQ(QuestionText(info, "sure?"), "sure?\r\rM37");
  EXPECT_EQ(RetryErrorText(info, "again"), "M34\ragain");
  EXPECT_EQ(SpaceErrorText(info, 18'446'744'073'709'551'615u),
            "M11\rM1218446744073709551615\r\rM13");
  EXPECT_EQ(SpaceErrorText(info, 0), "M11\rM120\r\rM13");
  EXPECT_EQ(MissingCabinetText(info, "Disk 2", "Tools2.cab"), "M38\rM39Disk 2\rM40Tools2.cab");
  EXPECT_EQ(CabinetErrorText(info, 0), "M15");
  EXPECT_EQ(CabinetErrorText(info, 11), "M26");
  EXPECT_EQ(CabinetErrorText(info, 12), "M27");
  EXPECT_EQ(CabinetErrorText(info, -1), "M27");
  EXPECT_EQ(CabinetErrorText(info, 1 << 30), "M27");
  // A block without messages gives empty texts, not a crash.
  EXPECT_EQ(FatalErrorText(SessionInfo{}, "x"), "\rx\r\r");
}

TEST(Folders, DrivesAndSharesAndInstallFolders) {
  // The roots themselves are tested with common::DriveRoot.
  for (const char* path : {"C:\\Program Files\\", "d:", "C:relative", "\\\\srv\\share"}) {
    EXPECT_TRUE(HasDriveOrShare(path)) << path;
  }
  for (const char* path : {"", "1:\\x", "\\dir\\file", "relative\\dir", "\\\\srv\\", "\\\\"}) {
    EXPECT_FALSE(HasDriveOrShare(path)) << path;
  }
  EXPECT_EQ(InstallFolderName("C:\\Temp", 7), "C:\\Temp\\qorv_installer7\\");
  EXPECT_EQ(InstallFolderName("C:\\Temp\\", 4294967295u), "C:\\Temp\\qorv_installer4294967295\\");
}

TEST(Folders, FreeBytesCapsAnOverflowingProduct) {
  EXPECT_EQ(FreeBytes(8, 512, 1'000'000), 4'096'000'000u);
  EXPECT_EQ(FreeBytes(0, 512, 1'000'000), 0u);
  EXPECT_EQ(FreeBytes(8, 512, 0), 0u);
  EXPECT_EQ(FreeBytes(128, 4096, 0xFFFFFFFFu), 0x7FFFFFFF80000ull);  // fits: no cap
  // The largest product that fits a signed 64-bit number, and the next ones.
  EXPECT_EQ(FreeBytes(0x80000000u, 0xFFFFFFFFu, 1), 0x7FFFFFFF80000000ull);
  EXPECT_EQ(FreeBytes(0x80000000u, 0x80000000u, 2), 2'147'483'647u);
  EXPECT_EQ(FreeBytes(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 2'147'483'647u);
  EXPECT_EQ(FreeBytes(0x10000u, 0x10000u, 0x80000000u), 2'147'483'647u);
  EXPECT_EQ(FreeBytes(0x10000u, 0x10000u, 0x7FFFFFFFu), 0x7FFFFFFF00000000ull);
}

TEST(EntryNames, OnlyRelativeNamesBelowTheTarget) {
  for (const std::string& name : {"file.txt"s, "a\\b\\c.txt"s, "a/b/c.txt"s, "a..b.txt"s, "..a"s,
                                  "a.."s, ".hidden"s, "dir\\...x"s, "a\\\\b"s}) {
    EXPECT_TRUE(IsSafeEntryName(name)) << name;
  }
  for (const std::string& name : {""s,
                                  "\\x"s,
                                  "/x"s,
                                  "\\\\srv\\share\\x"s,
                                  "C:\\x"s,
                                  "C:x"s,
                                  "x:y"s,
                                  "file.txt:stream"s,
                                  ".."s,
                                  "..\\x"s,
                                  "a\\..\\..\\x"s,
                                  "a/../x"s,
                                  "a\\.."s,
                                  "a\\..\\"s,
                                  "a\\...\\x"s,
                                  "a\\.. \\x"s,
                                  "a\\. .\\x"s,
                                  "a\\.\\x"s,
                                  "."s,
                                  "a\0b"s,
                                  "a\\b\0"s}) {
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  }
}

TEST(FileToOpen, ResolvedAgainstTheTargetFolder) {
  OpenTarget explore = ResolveFileToOpen("$EXPLORE$", "/n", "C:\\Tools\\", "C:\\WINDOWS");
  EXPECT_EQ(explore.file, "C:\\WINDOWS\\explorer.exe");
  EXPECT_EQ(explore.parameters, "\"C:\\Tools\\\" /n");
  explore = ResolveFileToOpen("$EXPLORE$", "", "C:\\Tools\\", "C:\\WINDOWS\\");
  EXPECT_EQ(explore.file, "C:\\WINDOWS\\explorer.exe");
  EXPECT_EQ(explore.parameters, "\"C:\\Tools\\\" ");

  const OpenTarget none = ResolveFileToOpen("", "/q", "C:\\Tools\\", "C:\\WINDOWS");
  EXPECT_EQ(none.file, "");
  EXPECT_EQ(none.parameters, "");

  const OpenTarget setup = ResolveFileToOpen("bin\\setup.exe", "/q", "C:\\Tools\\", "C:\\W");
  EXPECT_EQ(setup.file, "C:\\Tools\\bin\\setup.exe");
  EXPECT_EQ(setup.parameters, "/q");
}

TEST(FileToOpen, CommandLineQuotesPathsWithBlanks) {
  EXPECT_TRUE(IsExeFile("setup.exe"));
  EXPECT_TRUE(IsExeFile("C:\\x\\SETUP.Exe"));
  EXPECT_FALSE(IsExeFile("setup.exe.txt"));
  EXPECT_FALSE(IsExeFile("readme"));
  EXPECT_FALSE(IsExeFile("C:\\a.exe\\readme"));
  EXPECT_FALSE(IsExeFile("setup.exe "));
  EXPECT_FALSE(IsExeFile("exe"));

  EXPECT_EQ(RunCommandLine("C:\\T\\setup.exe", "C:\\Windows\\notepad.exe", "/q"),
            "C:\\T\\setup.exe /q");
  EXPECT_EQ(RunCommandLine("C:\\T\\setup.exe", "", ""), "C:\\T\\setup.exe");
  EXPECT_EQ(RunCommandLine("C:\\T\\readme.txt", "C:\\Windows\\notepad.exe", ""),
            "C:\\Windows\\notepad.exe \"C:\\T\\readme.txt\"");
  EXPECT_EQ(RunCommandLine("C:\\T\\readme.txt", "C:\\Windows\\notepad.exe", "-p"),
            "C:\\Windows\\notepad.exe \"C:\\T\\readme.txt\" -p");
  // Unquoted, "C:\Program Files\T\setup.exe" would first run C:\Program.exe.
  EXPECT_EQ(RunCommandLine("C:\\Program Files\\T\\setup.exe", "", "/q"),
            "\"C:\\Program Files\\T\\setup.exe\" /q");
  EXPECT_EQ(RunCommandLine("C:\\T\\a b.doc", "C:\\Program Files\\Word\\word.exe", ""),
            "\"C:\\Program Files\\Word\\word.exe\" \"C:\\T\\a b.doc\"");
}

}  // namespace
}  // namespace ombrell
