#include "wizard/core/interface_preferences.h"

#include <gtest/gtest.h>

#include <string>

namespace ombrwiz {
namespace {

TEST(InterfacePreferences, MissingFileGivesStartValues) {
  const InterfacePreferences defaults = ParseInterfacePreferences("");
  EXPECT_FALSE(defaults.direct);
  EXPECT_TRUE(defaults.make);
  EXPECT_TRUE(defaults.save);
  EXPECT_TRUE(defaults.test);
  EXPECT_TRUE(defaults.explore);
  EXPECT_FALSE(defaults.passwordHide);
  EXPECT_TRUE(defaults.email);
  EXPECT_EQ(defaults.savePackageFolder, "");
}

TEST(InterfacePreferences, WritesInOrderAndReadsBack) {
  InterfacePreferences preferences;
  preferences.direct = true;
  preferences.test = false;
  preferences.passwordHide = true;
  preferences.email = false;
  preferences.saveProjectFolder = "C:\\1";
  preferences.addFilesFolder = "C:\\2";
  preferences.licenseFileFolder = "C:\\3";
  preferences.certificateFolder = "C:\\4";
  preferences.privateKeyFolder = "C:\\5";
  preferences.savePackageFolder = "C:\\6";
  const std::string text = InterfacePreferencesText(preferences);
  EXPECT_EQ(text,
            "TRUE\r\nTRUE\r\nTRUE\r\nFALSE\r\nTRUE\r\nC:\\1\r\nC:\\2\r\nC:\\3\r\nC:\\4\r\nC:\\5\r\n"
            "C:\\6\r\nTRUE\r\nFALSE\r\n");
  EXPECT_EQ(InterfacePreferencesText(ParseInterfacePreferences(text)), text);
}

TEST(InterfacePreferences, ShortFileKeepsDefaultsForWhatIsMissing) {
  // An older or cut file: Direct, Make, Save, Test, Explore, two folders.
  const InterfacePreferences read =
      ParseInterfacePreferences("TRUE\r\nFALSE\r\nyes\r\nTRUE\r\nFALSE\r\nC:\\p\r\nC:\\f");
  EXPECT_TRUE(read.direct);
  EXPECT_FALSE(read.make);
  EXPECT_FALSE(read.save);  // anything but TRUE is false
  EXPECT_TRUE(read.test);
  EXPECT_FALSE(read.explore);
  EXPECT_EQ(read.saveProjectFolder, "C:\\p");
  EXPECT_EQ(read.addFilesFolder, "C:\\f");
  EXPECT_EQ(read.licenseFileFolder, "");
  EXPECT_FALSE(read.passwordHide);
  EXPECT_TRUE(read.email);
}

}  // namespace
}  // namespace ombrwiz
