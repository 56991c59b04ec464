// The text, file, path and arithmetic commands' own logic: line reading,
// rebuilding a text file, string splitting, arithmetic and path parts.
#include "engine/core/text_actions.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/core/system_info.h"

namespace tavrel {
namespace {

using Lines = std::vector<std::string>;

Lines ReadAll(std::string text) {
  TextFileReader reader(std::move(text));
  Lines lines;
  while (!reader.AtEnd()) lines.push_back(reader.NextLine());
  return lines;
}

TEST(TextFileReaderTest, LineEndsLoneCrAndCode26) {
  EXPECT_EQ(ReadAll("a\r\nb\nc"), (Lines{"a", "b", "c"}));
  // A final line end makes no empty last line; an empty line inside counts.
  EXPECT_EQ(ReadAll("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
  // A lone CR is dropped and does not end the line, also before LF CR LF.
  EXPECT_EQ(ReadAll("a\rb\r\r\nc\r"), (Lines{"ab", "c"}));
  // Code 26 ends the file wherever it stands.
  EXPECT_EQ(ReadAll("a\r\nb\x1a\r\nc\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(ReadAll("\x1a"
                    "a"),
            Lines{});
  EXPECT_EQ(ReadAll(""), Lines{});
  EXPECT_EQ(ReadAll("\n"), Lines{""});
  // Bytes of every value other than CR, LF and 26 pass through.
  EXPECT_EQ(ReadAll(std::string("\0\xff\t", 3)), Lines{std::string("\0\xff\t", 3)});
}

TEST(TextWithLineTest, InsertsOrAppendsAndNormalisesLineEnds) {
  EXPECT_EQ(TextWithLine("", "x", false), "x\r\n");
  EXPECT_EQ(TextWithLine("", "", true), "\r\n");
  EXPECT_EQ(TextWithLine("a\nb\rc\r\n", "x", true), "x\r\na\r\nb\r\nc\r\n");
  EXPECT_EQ(TextWithLine("a\r\n\r\nb", "x", false), "a\r\n\r\nb\r\nx\r\n");
  // A text with line breaks becomes several lines, at either end.
  EXPECT_EQ(TextWithLine("a\r\n", "x\r\ny\nz", true), "x\r\ny\r\nz\r\na\r\n");
  EXPECT_EQ(TextWithLine("a\r\n", "x\r\ny", false), "a\r\nx\r\ny\r\n");
  // A character of code 0 ends the file's text.
  EXPECT_EQ(TextWithLine(std::string("a\r\nb\0c\r\nd", 9), "x", false), "a\r\nb\r\nx\r\n");
}

ParsedString Parse(std::string_view source, std::string_view delimiter, int method,
                   bool trim = false, bool ignoreCase = false) {
  return ParseString(source, delimiter, ParseOptions{method, trim, ignoreCase});
}

void ExpectParts(const ParsedString& parts, std::string_view first, std::string_view second) {
  EXPECT_EQ(parts.first, first);
  EXPECT_EQ(parts.second, second);
}

TEST(ParseStringTest, DelimiterMethods) {
  ExpectParts(Parse("a,b,c", ",", 0), "a", "b,c");
  ExpectParts(Parse("a,b,c", ",", 1), "a,b", "c");
  ExpectParts(Parse("a::b::c", "::", 0), "a", "b::c");
  ExpectParts(Parse("a::b::c", "::", 1), "a::b", "c");
  // A delimiter that does not occur, or an empty one.
  ExpectParts(Parse("abc", "x", 0), "abc", "");
  ExpectParts(Parse("abc", "x", 1), "", "abc");
  ExpectParts(Parse("abc", "", 0), "abc", "");
  ExpectParts(Parse("abc", "", 1), "", "abc");
  // Delimiter at either end, and an empty source.
  ExpectParts(Parse(",abc,", ",", 0), "", "abc,");
  ExpectParts(Parse(",abc,", ",", 1), ",abc", "");
  ExpectParts(Parse("", ",", 0), "", "");
  ExpectParts(Parse("", ",", 1), "", "");
  // Unknown methods split nothing.
  ExpectParts(Parse("a,b", ",", 4), "", "");
  ExpectParts(Parse("a,b", ",", -1), "", "");
}

TEST(ParseStringTest, CountMethods) {
  ExpectParts(Parse("abcdef", "2", 2), "ab", "cdef");
  ExpectParts(Parse("abcdef", "2", 3), "abcd", "ef");
  ExpectParts(Parse("abc", "0", 2), "", "abc");
  ExpectParts(Parse("abc", "3", 3), "", "");  // split position 0
  ExpectParts(Parse("abc", "0", 3), "abc", "");
  // Counts beyond the length, negative counts and extreme values.
  ExpectParts(Parse("abc", "5", 2), "abc", "");
  ExpectParts(Parse("abc", "5", 3), "", "abc");
  ExpectParts(Parse("abc", "-1", 2), "", "abc");
  ExpectParts(Parse("abc", "-1", 3), "abc", "");
  ExpectParts(Parse("abc", "2147483647", 2), "abc", "");
  ExpectParts(Parse("abc", "-2147483648", 3), "abc", "");
  ExpectParts(Parse("abc", "2147483647", 3), "", "abc");
  // A count that is no number splits nothing.
  ExpectParts(Parse("abc", "x", 2), "", "");
  ExpectParts(Parse("abc", " 1", 3), "", "");
}

TEST(ParseStringTest, TrimAndIgnoreCase) {
  ExpectParts(Parse("aXbxc", "x", 0, false, true), "a", "bxc");
  ExpectParts(Parse("aXbxc", "x", 0), "aXb", "c");
  ExpectParts(Parse("aXbxc", "X", 1, false, true), "aXb", "c");
  // Letters of the code page fold too; the parts keep the source's case.
  ExpectParts(Parse("Stra\xc9"
                    "e",
                    "\xe9", 0, false, true),
              "Stra", "e");
  ExpectParts(Parse(" \ta , \r\nb \x01", ",", 0, true), "a", "b");
  ExpectParts(Parse("   ", ",", 0, true), "", "");
  // Trimming keeps letters above 127.
  ExpectParts(Parse("\xa0x\xe9", ",", 0, true), "\xa0x\xe9", "");
}

TEST(MathematicsTest, OperationsWrapAndFailures) {
  EXPECT_EQ(Mathematics("7", "2", 3), "3");
  EXPECT_EQ(Mathematics("-7", "2", 3), "-3");
  EXPECT_EQ(Mathematics("7", "-2", 3), "-3");
  EXPECT_EQ(Mathematics("5", "0", 3), "");
  EXPECT_EQ(Mathematics("2147483647", "1", 0), "-2147483648");
  EXPECT_EQ(Mathematics("-2147483648", "1", 1), "2147483647");
  EXPECT_EQ(Mathematics("65536", "65536", 2), "0");
  EXPECT_EQ(Mathematics("2147483647", "2147483647", 2), "1");
  EXPECT_EQ(Mathematics("-2147483648", "-1", 3), "-2147483648");
  EXPECT_EQ(Mathematics("-2147483648", "-1", 2), "-2147483648");
  EXPECT_EQ(Mathematics("+4", "-6", 0), "-2");
  // Operands that are not 32-bit numbers, and unknown operations.
  EXPECT_EQ(Mathematics("2147483648", "0", 0), "");
  EXPECT_EQ(Mathematics("", "1", 0), "");
  EXPECT_EQ(Mathematics("1 ", "1", 0), "");
  EXPECT_EQ(Mathematics("0x10", "1", 0), "");
  EXPECT_EQ(Mathematics("1", "1", 4), "");
  EXPECT_EQ(Mathematics("1", "1", -1), "");
}

TEST(RequireInt32Test, RejectsWhatIsNoNumber) {
  EXPECT_EQ(RequireInt32("-12"), -12);
  EXPECT_THROW(RequireInt32(""), ConversionError);
  try {
    RequireInt32("two");
    FAIL();
  } catch (const ConversionError& error) {
    EXPECT_STREQ(error.what(), "'two' is not a valid integer value");
  }
}

TEST(ExtractPathTest, PartsOfDriveNetworkAndRelativePaths) {
  const std::string file = "C:\\Program Files\\App\\readme.txt";
  EXPECT_EQ(ExtractPath(file, 0), "readme.txt");
  EXPECT_EQ(ExtractPath(file, 1), "readme");
  EXPECT_EQ(ExtractPath(file, 2), "txt");
  EXPECT_EQ(ExtractPath(file, 3), "C:\\Program Files\\App\\");
  EXPECT_EQ(ExtractPath(file, 4), "C:\\Program Files\\");
  EXPECT_EQ(ExtractPath(file, 5), "C:\\");
  EXPECT_EQ(ExtractPath(file, 6), file);
  EXPECT_EQ(ExtractPath(file, -1), file);

  // Only the last extension goes, even when the same text comes earlier.
  EXPECT_EQ(ExtractPath("C:\\a.b.c.b", 1), "a.b.c");
  EXPECT_EQ(ExtractPath("C:\\a.b.c.b", 2), "b");
  EXPECT_EQ(ExtractPath("C:\\dir.d\\name", 2), "");
  EXPECT_EQ(ExtractPath("C:\\dir.d\\name", 1), "name");
  EXPECT_EQ(ExtractPath("C:\\dir\\.profile", 1), "");

  // Folders: the parent of C:\a\b\ is C:\a\, a root is its own parent.
  EXPECT_EQ(ExtractPath("C:\\a\\b\\", 0), "");
  EXPECT_EQ(ExtractPath("C:\\a\\b\\", 3), "C:\\a\\b\\");
  EXPECT_EQ(ExtractPath("C:\\a\\b\\", 4), "C:\\a\\");
  EXPECT_EQ(ExtractPath("C:\\a.txt", 4), "C:\\");
  EXPECT_EQ(ExtractPath("C:\\", 4), "C:\\");
  EXPECT_EQ(ExtractPath("C:", 3), "C:\\");

  const std::string unc = "\\\\server\\share\\dir\\file.dat";
  EXPECT_EQ(ExtractPath(unc, 0), "file.dat");
  EXPECT_EQ(ExtractPath(unc, 3), "\\\\server\\share\\dir\\");
  EXPECT_EQ(ExtractPath(unc, 4), "\\\\server\\share\\");
  EXPECT_EQ(ExtractPath(unc, 5), "\\\\server\\share\\");
  EXPECT_EQ(ExtractPath("\\\\server\\share\\file.dat", 4), "\\\\server\\share\\");
  EXPECT_EQ(ExtractPath("\\\\server", 5), "\\\\server\\");

  EXPECT_EQ(ExtractPath("sub\\file", 3), "sub\\");
  EXPECT_EQ(ExtractPath("sub\\file", 4), "");
  EXPECT_EQ(ExtractPath("a\\b\\c.txt", 4), "a\\");
  EXPECT_EQ(ExtractPath("sub\\file", 5), "");
  EXPECT_EQ(ExtractPath("file", 3), "");
  EXPECT_EQ(ExtractPath("\\dir\\file", 4), "\\");
  EXPECT_EQ(ExtractPath("", 0), "");
  EXPECT_EQ(ExtractPath("", 4), "");
}

}  // namespace
}  // namespace tavrel
