#include "common/ascii_case.h"

#include <gtest/gtest.h>

#include <string_view>

namespace common {
namespace {

TEST(AsciiCase, OnlyAsciiLettersFold) {
  EXPECT_EQ(ToUpperAscii("abz{`@AZ\xE9\xFF"), "ABZ{`@AZ\xE9\xFF");
  EXPECT_EQ(ToLowerAscii("ABZ[@`az\xC9\xDF"), "abz[@`az\xC9\xDF");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Tools Pro", "tOOLS pRO"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("Tools", "Tool"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("a[", "A{"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xE9", "\xC9"));
  // A NUL inside must not end the comparison early.
  EXPECT_FALSE(EqualsIgnoringAsciiCase(std::string_view("ab\0c", 4), std::string_view("AB\0d", 4)));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("Language_English", "LANGUAGE_"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("Lang", "LANGUAGE_"));
}

TEST(AsciiCase, SearchAndOrder) {
  struct Find {
    std::string_view text;
    std::string_view what;
    std::size_t from;
    std::size_t at;
  };
  constexpr std::size_t kNone = std::string_view::npos;
  for (const Find& f :
       {Find{"<p>x</SCRIPT>", "</script", 0, 4}, Find{"abcABC", "abc", 1, 3}, Find{"abc", "", 3, 3},
        Find{"abc", "", 4, kNone}, Find{"ab", "abc", 0, kNone}, Find{"abc", "c", kNone, kNone}}) {
    EXPECT_EQ(FindIgnoringAsciiCase(f.text, f.what, f.from), f.at) << f.text << " " << f.what;
  }
  // '_' lies between the capitals and the small letters; bytes past ASCII
  // come after every ASCII character.
  for (const auto& [less, more] : {std::pair<std::string_view, std::string_view>{"_", "a"},
                                   {"_", "A"},
                                   {"Font", "font.Name"},
                                   {"z", "\xE9"},
                                   {"Color", "Items"}}) {
    EXPECT_TRUE(LessIgnoringAsciiCase(less, more)) << less << " " << more;
    EXPECT_FALSE(LessIgnoringAsciiCase(more, less)) << less << " " << more;
  }
  EXPECT_FALSE(LessIgnoringAsciiCase("Caption", "CAPTION"));
  EXPECT_FALSE(LessIgnoringAsciiCase("CAPTION", "Caption"));
}

}  // namespace
}  // namespace common
