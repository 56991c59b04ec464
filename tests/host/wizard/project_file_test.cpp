#include "wizard/core/project_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/text_lines.h"

namespace ombrwiz {
namespace {

using ::testing::ElementsAre;

const std::vector<std::string> kLanguages = {"English", "Deutsch"};

ProjectSettings Sample() {
  ProjectSettings settings;
  settings.project = "C:\\Proj\\tools.ombr";
  settings.files = {{"C:\\a\\*.*", true}, {"C:\\b.txt", false}, {"C:\\c\\*.dll", true}};
  settings.packageName = "Tools";
  settings.packagePassword = "secret";
  settings.startText = "Install?";
  settings.endText = "Done.";
  settings.licenseFile = "C:\\lic.txt";
  settings.saveAs = "C:\\out\\tools.exe";
  settings.advanced = true;
  settings.target = TargetChoice::kInstall;
  settings.targetDirText = "C:\\Target";
  settings.silent = true;
  settings.runApp = "$EXPLORE$";
  settings.runParms = "/x";
  settings.space = "12";
  settings.multiPart = true;
  settings.split = "9999";
  settings.codeSign = true;
  settings.spc = "a.spc";
  settings.pvk = "a.pvk";
  settings.timeStamp = "http://ts";
  settings.infoUrl = "http://info";
  settings.language = "Deutsch";
  return settings;
}

void ExpectSame(const ProjectSettings& a, const ProjectSettings& b) {
  EXPECT_EQ(ProjectFileText(a), ProjectFileText(b));
  ASSERT_EQ(a.files.size(), b.files.size());
  for (std::size_t i = 0; i < a.files.size(); ++i) {
    EXPECT_EQ(a.files[i].path, b.files[i].path);
    EXPECT_EQ(a.files[i].subfolders, b.files[i].subfolders);
  }
}

TEST(ProjectFile, WritesTickedThenUntickedThenSettingsInOrder) {
  const std::vector<std::string> lines = common::SplitLines(ProjectFileText(Sample()));
  EXPECT_THAT(lines, ElementsAre("C:\\Proj\\tools.ombr", "C:\\a\\*.*", "C:\\c\\*.dll", "$",
                                 "C:\\b.txt", "$", "Tools", "secret", "Install?", "Done.",
                                 "C:\\lic.txt", "C:\\out\\tools.exe", "FALSE", "TRUE", "FALSE",
                                 "FALSE", "FALSE", "TRUE", "FALSE", "FALSE", "FALSE", "C:\\Target",
                                 "TRUE", "$EXPLORE$", "/x", "12", "TRUE", "9999", "TRUE", "a.spc",
                                 "a.pvk", "http://ts", "http://info", "Deutsch"));
  const std::string text = ProjectFileText(Sample());
  EXPECT_EQ(text.substr(0, 20), "C:\\Proj\\tools.ombr\r\n");
  EXPECT_EQ(text.substr(text.size() - 9), "Deutsch\r\n");
}

TEST(ProjectFile, RoundTripsEverySettingAndTheResetValues) {
  ProjectSettings sample = Sample();
  const auto loaded = ParseProjectFile(ProjectFileText(sample), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  // The ticked entries come back first, the unticked after them.
  std::swap(sample.files[1], sample.files[2]);
  ExpectSame(*loaded, sample);

  ProjectSettings fresh;
  fresh.language = "English";
  const auto reset = ParseProjectFile(ProjectFileText(fresh), kLanguages);
  ASSERT_TRUE(reset.has_value());
  EXPECT_FALSE(reset->advanced);
  EXPECT_EQ(reset->target, TargetChoice::kAsk);
  EXPECT_EQ(reset->space, "0");
  EXPECT_EQ(reset->split, "1");
  EXPECT_TRUE(reset->files.empty());
  ExpectSame(*reset, fresh);
}

TEST(ProjectFile, ValuesThatWouldShiftLinesAreWrittenHarmlessly) {
  ProjectSettings settings = Sample();
  settings.files.push_back({"$", true});
  settings.files.push_back({"C:\\x\ny", false});
  settings.startText = "two\r\nlines";
  const auto loaded = ParseProjectFile(ProjectFileText(settings), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->files.size(), 4u);
  EXPECT_EQ(loaded->files.back().path, "C:\\x y");
  EXPECT_EQ(loaded->startText, "two  lines");
  EXPECT_EQ(loaded->language, "Deutsch");
  EXPECT_EQ(loaded->infoUrl, "http://info");
}

TEST(ProjectFile, SavedNumbersAlwaysLoad) {
  // What the fields hold may not be a number the reader accepts; saving must
  // still give a project that loads.
  ProjectSettings settings = Sample();
  for (const auto& [typed, space, split] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"", "0", "1"}, {"12a", "0", "1"}, {"0", "0", "1"}, {"0042", "42", "42"}}) {
    settings.space = typed;
    settings.split = typed;
    const auto loaded = ParseProjectFile(ProjectFileText(settings), kLanguages);
    ASSERT_TRUE(loaded.has_value()) << typed;
    EXPECT_EQ(loaded->space, space) << typed;
    EXPECT_EQ(loaded->split, split) << typed;
  }
}

// Replaces the value of line `index` (0-based) of the sample's text.
std::string SampleWithLine(std::size_t index, const std::string& value) {
  std::vector<std::string> lines = common::SplitLines(ProjectFileText(Sample()));
  lines.at(index) = value;
  return common::JoinLines(lines, true);
}

constexpr std::size_t kNoAdvancedLine = 12;
constexpr std::size_t kAskLine = 14;
constexpr std::size_t kSpaceLine = 25;
constexpr std::size_t kSplitLine = 27;
constexpr std::size_t kLanguageLine = 33;

TEST(ProjectFile, BooleansAndChoices) {
  // Only exact "TRUE" is true.
  auto loaded = ParseProjectFile(SampleWithLine(22, "true"), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_FALSE(loaded->silent);
  // Several targets set: the first counts.
  loaded = ParseProjectFile(SampleWithLine(kAskLine + 1, "TRUE"), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->target, TargetChoice::kExe);
  // NoAdvanced and Advanced both set: the first counts.
  loaded = ParseProjectFile(SampleWithLine(kNoAdvancedLine, "TRUE"), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_FALSE(loaded->advanced);
  // No target set keeps asking.
  std::vector<std::string> lines = common::SplitLines(ProjectFileText(Sample()));
  lines[kAskLine + 3] = "FALSE";
  loaded = ParseProjectFile(common::JoinLines(lines, true), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->target, TargetChoice::kAsk);
}

TEST(ProjectFile, LanguageIsKeptOnlyWhenOffered) {
  auto loaded = ParseProjectFile(SampleWithLine(kLanguageLine, "deutsch"), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->language, "Deutsch");
  loaded = ParseProjectFile(SampleWithLine(kLanguageLine, "Klingon"), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->language, "");
  loaded = ParseProjectFile(ProjectFileText(Sample()), {});
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->language, "");
}

TEST(ProjectFile, SpaceAndSplitMustBeWholeNumbersTheControlsAllow) {
  for (const char* bad : {"12a", "", " 12", "-1", "+5", "10000", "1.5", "0x10"}) {
    EXPECT_FALSE(ParseProjectFile(SampleWithLine(kSpaceLine, bad), kLanguages)) << bad;
    EXPECT_FALSE(ParseProjectFile(SampleWithLine(kSplitLine, bad), kLanguages)) << bad;
  }
  EXPECT_FALSE(ParseProjectFile(SampleWithLine(kSplitLine, "0"), kLanguages));
  auto loaded = ParseProjectFile(SampleWithLine(kSpaceLine, "0"), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->space, "0");
  loaded = ParseProjectFile(SampleWithLine(kSpaceLine, "0042"), kLanguages);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->space, "42");
}

TEST(ProjectFile, CutOrCorruptedFilesFail) {
  const std::vector<std::string> lines = common::SplitLines(ProjectFileText(Sample()));
  // Every cut before the last value fails; the full file with or without the
  // final line end loads.
  for (std::size_t count = 0; count < lines.size(); ++count) {
    const std::vector<std::string> cut(lines.begin(), lines.begin() + static_cast<long>(count));
    EXPECT_FALSE(ParseProjectFile(common::JoinLines(cut, true), kLanguages)) << count;
  }
  EXPECT_TRUE(ParseProjectFile(common::JoinLines(lines, false), kLanguages));
  // A lost list end swallows the rest of the file.
  std::vector<std::string> noEnd = lines;
  noEnd.erase(noEnd.begin() + 5);
  EXPECT_FALSE(ParseProjectFile(common::JoinLines(noEnd, true), kLanguages));
  // Lines missing in the middle put text where a number belongs.
  std::vector<std::string> shifted = lines;
  shifted.erase(shifted.begin() + 8);
  shifted.push_back("extra");
  EXPECT_FALSE(ParseProjectFile(common::JoinLines(shifted, true), kLanguages));
  EXPECT_FALSE(ParseProjectFile(std::string("\0\0\0", 3), kLanguages));
}

TEST(ProjectFile, ResetKeepsOnlyThePackageName) {
  ProjectSettings settings = Sample();
  ResetSettings(settings, "English");
  ProjectSettings expected;
  expected.packageName = "Tools";
  expected.language = "English";
  ExpectSame(settings, expected);
  EXPECT_EQ(settings.timeStamp, kDefaultTimeStamp);
}

}  // namespace
}  // namespace ombrwiz
