#include "engine/core/script_text.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(ScriptText, BooleanTexts) {
  for (const char* yes : {"TRUE", "true", "True", "tRuE", "-1"})
    EXPECT_TRUE(BooleanValue(yes)) << yes;
  for (const char* no : {"", "1", "yes", "-1 ", " TRUE", "TRUE ", "-01", "FALSE", "TRU", "TRUEE"}) {
    EXPECT_FALSE(BooleanValue(no)) << no;
  }
  // A NUL inside must not end the comparison early.
  EXPECT_FALSE(BooleanValue(std::string_view("TRUE\0", 5)));
  EXPECT_EQ(BooleanText(true), "TRUE");
  EXPECT_EQ(BooleanText(false), "FALSE");
}

TEST(ScriptText, ReferenceNames) {
  EXPECT_EQ(ReferenceName("$A$"), "A");
  EXPECT_EQ(ReferenceName("$title name$"), "title name");
  for (const char* none : {"$A$B$", "$A", "A", "$$", "$", "", "A$", "A$B$", "$$A$"}) {
    EXPECT_EQ(ReferenceName(none), "") << none;
  }
}

TEST(ScriptText, UpperCasing) {
  // Lookup folds a-z only (common/ascii_case.h); expansion folds the code
  // page's letters too.
  EXPECT_EQ(ToUpperAnsi("abz\xE0\xE9\xFE\xF7\xFF\x9A\x9C\x9E\xDF\xB5"),
            "ABZ\xC0\xC9\xDE\xF7\x9F\x8A\x8C\x8E\xDF\xB5");
  EXPECT_EQ(ToUpperAnsi("\xC9\x8A"), "\xC9\x8A");
}

}  // namespace
}  // namespace tavrel
