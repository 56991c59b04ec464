// Entry-name validation: what may reach the sink and in which form.
#include "tvl/core/archive_path.h"

#include <gtest/gtest.h>

namespace tvl {
namespace {

TEST(ArchivePath, AcceptsOrdinaryNamesAndNormalizesSeparators) {
  const struct {
    std::u16string_view name;
    std::string_view path;
  } cases[] = {
      {u"a.txt", "a.txt"},
      {u"dir/sub/file", "dir\\sub\\file"},
      {u"dir\\sub/file", "dir\\sub\\file"},
      {u".hidden", ".hidden"},
      {u"a..b", "a..b"},
      {u"./a.txt", "a.txt"},
      {u".\\a/./b/.", "a\\b"},
      {u".", ""},
      {u"./.", ""},
      {u"...a", "...a"},
      {u" lead", " lead"},
      {u"CONSOLE", "CONSOLE"},
      {u"COM10", "COM10"},
      {u"LPT0.txt", "LPT0.txt"},
      {u"xcon.txt", "xcon.txt"},
      {u"con-x", "con-x"},
      {u"\u00e9t\u00e9/\u20ac", "\xc3\xa9t\xc3\xa9\\\xe2\x82\xac"},
      {u"\U0001F600", "\xf0\x9f\x98\x80"},
  };
  for (const auto& c : cases) {
    const SafePath safe = ValidateEntryName(c.name);
    ASSERT_TRUE(safe.ok()) << c.path << ": " << Describe(safe.problem);
    EXPECT_EQ(safe.path, c.path);
  }
}

TEST(ArchivePath, RefusesNamesThatEscapeOrMisbehave) {
  const struct {
    std::u16string_view name;
    NameProblem problem;
  } cases[] = {
      {u"", NameProblem::kEmpty},
      {u"/etc/passwd", NameProblem::kAbsolute},
      {u"\\windows\\x", NameProblem::kAbsolute},
      {u"\\\\server\\share\\x", NameProblem::kAbsolute},
      {u"C:x", NameProblem::kColon},
      {u"C:\\x", NameProblem::kColon},
      {u"a/file.txt:stream", NameProblem::kColon},
      {u"..", NameProblem::kDotsAndSpaces},
      {u"../x", NameProblem::kDotsAndSpaces},
      {u"a/../../x", NameProblem::kDotsAndSpaces},
      {u"a\\..\\..\\x", NameProblem::kDotsAndSpaces},
      {u"a/..", NameProblem::kDotsAndSpaces},
      {u"...", NameProblem::kDotsAndSpaces},
      {u"./../x", NameProblem::kDotsAndSpaces},
      {u"./", NameProblem::kEmptyComponent},
      {u"a/ /b", NameProblem::kDotsAndSpaces},
      {u". .", NameProblem::kDotsAndSpaces},
      {u"a//b", NameProblem::kEmptyComponent},
      {u"a/", NameProblem::kEmptyComponent},
      {u"a./b", NameProblem::kTrailingDotSpace},
      {u"a/b ", NameProblem::kTrailingDotSpace},
      {u"a?b", NameProblem::kBadCharacter},
      {u"a*", NameProblem::kBadCharacter},
      {u"a<b>", NameProblem::kBadCharacter},
      {u"a|b", NameProblem::kBadCharacter},
      {u"a\"b", NameProblem::kBadCharacter},
      {u"a\tb", NameProblem::kBadCharacter},
      {u"CON", NameProblem::kDeviceName},
      {u"con", NameProblem::kDeviceName},
      {u"Nul.txt", NameProblem::kDeviceName},
      {u"dir/aux.tar.gz", NameProblem::kDeviceName},
      {u"prn", NameProblem::kDeviceName},
      {u"COM1", NameProblem::kDeviceName},
      {u"com9.log", NameProblem::kDeviceName},
      {u"LPT1", NameProblem::kDeviceName},
      {u"lpt9.x", NameProblem::kDeviceName},
      {u"NUL .txt", NameProblem::kDeviceName},
      {u"COM\u00B9", NameProblem::kDeviceName},
      {u"conin$", NameProblem::kDeviceName},
      {u"ok/\xD800x", NameProblem::kBadUtf16},
      {u"ok/x\xDC00", NameProblem::kBadUtf16},
  };
  for (const auto& c : cases) {
    const SafePath safe = ValidateEntryName(c.name);
    EXPECT_EQ(safe.problem, c.problem)
        << "case " << (&c - cases) << " got " << Describe(safe.problem);
    EXPECT_TRUE(safe.path.empty());
  }
}

TEST(ArchivePath, Utf16ToUtf8IsStrictAboutSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(u"A\u00FF\u0800\uFFFF"), "A\xc3\xbf\xe0\xa0\x80\xef\xbf\xbf");
  EXPECT_EQ(Utf16ToUtf8(u"\U00010000\U0010FFFF"), "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD83D))), std::nullopt);
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), std::nullopt);
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xD83D), u'a'}), std::nullopt);
}

}  // namespace
}  // namespace tvl
