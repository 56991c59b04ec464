#include "wizard/core/known_packages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ombrwiz {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(KnownPackages, ReadsPairsAndIgnoresAnOddLastLine) {
  const auto pairs = ParseKnownPackages("Tools\r\nC:\\t.ombr\r\nGames\nC:\\g.ombr\nDangling\r\n");
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[1].name, "Games");
  EXPECT_EQ(pairs[1].project, "C:\\g.ombr");
  EXPECT_THAT(ParseKnownPackages(""), IsEmpty());
  EXPECT_THAT(ParseKnownPackages("Only a name"), IsEmpty());
  EXPECT_EQ(KnownPackagesText(pairs), "Tools\r\nC:\\t.ombr\r\nGames\r\nC:\\g.ombr\r\n");
}

TEST(KnownPackages, RecordReplacesEveryPairOfTheNameIgnoringCase) {
  std::vector<KnownPackage> pairs =
      ParseKnownPackages("Tools\r\nC:\\old1.ombr\r\nGames\r\nC:\\g.ombr\r\nTOOLS\r\nC:\\old2.ombr");
  RecordKnownPackage(pairs, "tools", "C:\\new.ombr");
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[0].name, "Tools");  // the stored spelling stays
  EXPECT_EQ(pairs[0].project, "C:\\new.ombr");
  EXPECT_EQ(pairs[2].project, "C:\\new.ombr");
  EXPECT_EQ(pairs[1].project, "C:\\g.ombr");

  RecordKnownPackage(pairs, "Music", "C:\\m.ombr");
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_EQ(pairs[3].name, "Music");

  // A name or path with a line break cannot shift the pairs after it.
  RecordKnownPackage(pairs, "Bad\r\nName", "C:\\b.ombr");
  const auto reread = ParseKnownPackages(KnownPackagesText(pairs));
  ASSERT_EQ(reread.size(), 5u);
  EXPECT_EQ(reread[4].name, "Bad  Name");
  EXPECT_EQ(reread[4].project, "C:\\b.ombr");
}

TEST(KnownPackages, NamesListOnlyExistingProjects) {
  const auto pairs = ParseKnownPackages(
      "Tools\r\nC:\\t.ombr\r\nDeleted\r\nC:\\gone.ombr\r\nGames\r\nC:\\g.ombr\r\n"
      "tools\r\nC:\\t2.ombr\r\nNoPath\r\n\r\n");
  std::vector<std::string> asked;
  const auto names = KnownPackageNames(pairs, [&](const std::string& path) {
    asked.push_back(path);
    return path != "C:\\gone.ombr";
  });
  EXPECT_THAT(names, ElementsAre("Tools", "Games"));
  EXPECT_THAT(asked, ElementsAre("C:\\t.ombr", "C:\\gone.ombr", "C:\\g.ombr", "C:\\t2.ombr"));
}

TEST(KnownPackages, ProjectOfPackageTakesTheLastMatch) {
  const auto pairs =
      ParseKnownPackages("Tools\r\nC:\\t1.ombr\r\nGames\r\nC:\\g.ombr\r\nTOOLS\r\nC:\\t2.ombr\r\n");
  EXPECT_EQ(ProjectOfPackage(pairs, "tools"), "C:\\t2.ombr");
  EXPECT_EQ(ProjectOfPackage(pairs, "GAMES"), "C:\\g.ombr");
  EXPECT_EQ(ProjectOfPackage(pairs, "Tool"), "");
  EXPECT_EQ(ProjectOfPackage({}, ""), "");
}

}  // namespace
}  // namespace ombrwiz
