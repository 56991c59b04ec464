#include "engine/core/command_line.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(CommandLine, RestOfCommandLine) {
  EXPECT_EQ(RestOfCommandLine("\"C:\\Program Files\\Setup.exe\" /s A=1"), "/s A=1");
  EXPECT_EQ(RestOfCommandLine("C:\\Setup.exe /s"), "/s");
  EXPECT_EQ(RestOfCommandLine("C:\\Setup.exe"), "");
  EXPECT_EQ(RestOfCommandLine("\"C:\\Setup.exe\""), "");
  EXPECT_EQ(RestOfCommandLine("\"C:\\Setup.exe\"x/s"), "/s");
  EXPECT_EQ(RestOfCommandLine("\"unclosed /s"), "");
  EXPECT_EQ(RestOfCommandLine(""), "");
}

TEST(CommandLine, SwitchesAndPaths) {
  const std::vector<std::string> args = {"-S", "/M=C:\\Pkg\\A.EXE", "/m=second", "-L=C:\\Log.TXT",
                                         "/l=other"};
  const CommandLineSettings settings = ParseArguments(args);
  EXPECT_TRUE(settings.silent);
  EXPECT_EQ(settings.packagePath, "c:\\pkg\\a.exe");
  EXPECT_EQ(settings.logPath, "c:\\log.txt");
  EXPECT_TRUE(settings.assignments.empty());

  const std::vector<std::string> marked = {"x/m=abc", "/silent", "s", "/"};
  const CommandLineSettings odd = ParseArguments(marked);
  EXPECT_FALSE(odd.silent);
  EXPECT_EQ(odd.packagePath, "=abc");
  // Not a switch, so it is an assignment as well.
  ASSERT_EQ(odd.assignments.size(), 1u);
  EXPECT_EQ(odd.assignments[0].name, "x/m");
}

TEST(CommandLine, AssignmentsAreCollectedInOrder) {
  const std::vector<std::string> args = {"Name=Value=2", "-x=1", "/y=2", "A=1",
                                         "plain",        "A=2",  "E="};
  const CommandLineSettings settings = ParseArguments(args);
  ASSERT_EQ(settings.assignments.size(), 4u);
  EXPECT_EQ(settings.assignments[0].name, "Name");
  EXPECT_EQ(settings.assignments[0].value, "Value=2");
  EXPECT_EQ(settings.assignments[1].value, "1");
  EXPECT_EQ(settings.assignments[2].value, "2");
  EXPECT_EQ(settings.assignments[3].name, "E");
  EXPECT_EQ(settings.assignments[3].value, "");
  EXPECT_EQ(settings.logPath, "");
}

}  // namespace
}  // namespace tavrel
