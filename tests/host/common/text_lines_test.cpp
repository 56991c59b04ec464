#include "common/text_lines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace common {
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
  EXPECT_THAT(SplitLines(std::string("a\0b\nc", 5)), ElementsAre(std::string("a\0b", 3), "c"));

  LineReader reader("one\r\n\rthree");
  std::string_view line;
  ASSERT_TRUE(reader.Next(line));
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line, "three");
  EXPECT_EQ(reader.LineNumber(), 3u);
  EXPECT_FALSE(reader.Next(line));
  EXPECT_EQ(reader.LineNumber(), 3u);
}

TEST(TextLines, JoinsWithCrLf) {
  const std::vector<std::string> lines = {"a", "", "b"};
  EXPECT_EQ(JoinLines(lines, true), "a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinLines(lines), "a\r\n\r\nb");
  EXPECT_EQ(JoinLines({}, true), "");
  EXPECT_THAT(SplitLines(JoinLines(lines, true)), ElementsAre("a", "", "b"));
  // A last empty line survives only with the final line end.
  const std::vector<std::string> trailing = {"a", ""};
  EXPECT_THAT(SplitLines(JoinLines(trailing, true)), ElementsAre("a", ""));
  EXPECT_THAT(SplitLines(JoinLines(trailing)), ElementsAre("a"));
}

}  // namespace
}  // namespace common
