#include "wizard/core/output_paths.h"

#include <gtest/gtest.h>

namespace ombrwiz {
namespace {

TEST(OutputPaths, CleanNameDropsWhatFileNamesCannotHold) {
  EXPECT_EQ(CleanName("Tools: Pro"), "Tools Pro");
  EXPECT_EQ(CleanName("a\"*/:<>?\\|b  "), "ab");
  EXPECT_EQ(CleanName(" lead"), " lead");
  EXPECT_EQ(CleanName("tab\there"), "tabhere");
  // Nothing usable left, or a name Windows would not keep as it is.
  EXPECT_EQ(CleanName("???"), "Package");
  EXPECT_EQ(CleanName(""), "Package");
  EXPECT_EQ(CleanName(".."), "Package");
  EXPECT_EQ(CleanName("Beta. . "), "Beta");
  EXPECT_EQ(CleanName("con"), "con_");
  EXPECT_EQ(CleanName("COM1.txt"), "COM1_.txt");
  EXPECT_EQ(CleanName("Console"), "Console");
}

TEST(OutputPaths, DefaultPaths) {
  EXPECT_EQ(DefaultPackagePath("C:\\Docs\\My Packages", "Tools: Pro"),
            "C:\\Docs\\My Packages\\Tools Pro\\Tools Pro.exe");
  EXPECT_EQ(DefaultPackagePath("C:\\Docs\\My Packages\\", "Tools: Pro"),
            "C:\\Docs\\My Packages\\Tools Pro\\Tools Pro.exe");
  EXPECT_EQ(DefaultProjectPath("C:\\Docs\\My Packages\\", "Tools: Pro"),
            "C:\\Docs\\My Packages\\Tools Pro.ombr");
  EXPECT_EQ(DefaultProjectPath("C:\\Docs\\My Packages", "../.."),
            "C:\\Docs\\My Packages\\Package.ombr");
  EXPECT_EQ(DefaultPackagePath("C:\\Docs\\My Packages", "<>"),
            "C:\\Docs\\My Packages\\Package\\Package.exe");
}

TEST(OutputPaths, FileNameCheckAndSplit) {
  EXPECT_TRUE(FileNameIsValid("Tools Pro.exe"));
  EXPECT_FALSE(FileNameIsValid(""));
  for (const char* bad : {"a\\b", "a/b", "a:b", "a*", "a?", "a\"", "a<", "a>", "a|"}) {
    EXPECT_FALSE(FileNameIsValid(bad)) << bad;
  }

  auto parts = SplitPath("C:\\Docs\\a.exe");
  EXPECT_EQ(parts.folder, "C:\\Docs");
  EXPECT_EQ(parts.fileName, "a.exe");
  parts = SplitPath("C:/Docs/sub/a.exe");
  EXPECT_EQ(parts.folder, "C:/Docs/sub");
  parts = SplitPath("C:\\a.exe");
  EXPECT_EQ(parts.folder, "C:\\");
  EXPECT_EQ(parts.fileName, "a.exe");
  parts = SplitPath("C:a.exe");
  EXPECT_EQ(parts.folder, "C:");
  EXPECT_EQ(parts.fileName, "a.exe");
  parts = SplitPath("\\a.exe");
  EXPECT_EQ(parts.folder, "\\");
  parts = SplitPath("a.exe");
  EXPECT_EQ(parts.folder, "");
  EXPECT_EQ(parts.fileName, "a.exe");
  parts = SplitPath("C:\\Docs\\");
  EXPECT_EQ(parts.folder, "C:\\Docs");
  EXPECT_EQ(parts.fileName, "");
  parts = SplitPath("\\\\server\\share\\a.exe");
  EXPECT_EQ(parts.folder, "\\\\server\\share");
}

}  // namespace
}  // namespace ombrwiz
