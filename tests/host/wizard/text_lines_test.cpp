#include "wizard/core/text_lines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ombrwiz {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(TextLines, SplitsAtEveryKindOfLineEnd) {
  EXPECT_THAT(SplitLines(""), IsEmpty());
  EXPECT_THAT(SplitLines("\r\n"), ElementsAre(""));
  EXPECT_THAT(SplitLines("a\r\nb\nc\rd"), ElementsAre("a", "b", "c", "d"));
  EXPECT_THAT(SplitLines("a\r\n"), ElementsAre("a"));
  EXPECT_THAT(SplitLines("a\r"), ElementsAre("a"));
  // LF CR is two line ends; CR CR LF is a lone CR then CR LF.
  EXPECT_THAT(SplitLines("a\n\rb"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitLines("a\r\r\nb\r\n\r\n"), ElementsAre("a", "", "b", ""));
}

TEST(TextLines, JoinsWithCrLf) {
  const std::vector<std::string> lines = {"a", "", "b"};
  EXPECT_EQ(JoinLines(lines, true), "a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinLines(lines, false), "a\r\n\r\nb");
  EXPECT_EQ(JoinLines({}, true), "");
  EXPECT_THAT(SplitLines(JoinLines(lines, true)), ElementsAre("a", "", "b"));
}

TEST(TextLines, HelpersForValues) {
  EXPECT_EQ(OneLine("a\r\nb\rc\nd"), "a  b c d");
}

}  // namespace
}  // namespace ombrwiz
