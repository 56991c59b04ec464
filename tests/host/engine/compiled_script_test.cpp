#include "engine/core/compiled_script.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

// The nine single lines and eight lists of a script, around the given
// command sections.
std::string Script(std::string_view commands, std::string_view tail = {}) {
  std::string text(commands);
  text +=
      "{11111111-2222-3333-4444-555555555555}\r\nTitle\r\n$\r\n"
      "Pub\r\nContact\r\nHelp\r\nUpdate\r\nComments\r\n";
  if (tail.empty()) {
    text += "$\r\n0\r\n$\r\n{AAAAAAAA-2222-3333-4444-555555555555}\r\n$\r\n";
  } else {
    text += tail;
  }
  return text;
}

TEST(CompiledScript, EmptyListsReadAndEveryFieldLandsInItsPlace) {
  const CompiledScript empty = ParseCompiledScript(Script("$\r\n$\r\n$\r\n$\r\n"));
  EXPECT_EQ(empty.CommandCount(), 0u);
  EXPECT_EQ(empty.title, "Title");
  EXPECT_EQ(empty.publisherLines[4], "Comments");
  EXPECT_EQ(empty.revisionCode, "{AAAAAAAA-2222-3333-4444-555555555555}");

  CompiledScript full;
  full.commandNames = {"Set Variable", "If", "End"};
  full.commandIds = {"a", "b", "c"};
  full.parameterBlock = {"a", "$TITLE$", "$$", "", "b", "X"};
  full.commandFlags = {"", "C", ""};
  full.productCode = "{P}";
  full.title = "T";
  full.pluginCommands = {"Plug In"};
  full.publisherLines = {"p", "c", "h", "u", "m"};
  full.mediaFolders = {"", "OFFLINE\\", "block1\\"};
  full.mediaMode = 2;
  full.componentSizes = {{"Core", "1024"}, {"Docs", "-1"}};
  full.revisionCode = "{R}";
  full.webMediaSourceFolders = {"c_\\src\\"};
  const CompiledScript back = ParseCompiledScript(WriteCompiledScript(full));
  EXPECT_EQ(back.parameterBlock, full.parameterBlock);
  EXPECT_EQ(back.mediaFolders, full.mediaFolders);
  EXPECT_EQ(back.mediaMode, 2);
  ASSERT_EQ(back.componentSizes.size(), 2u);
  EXPECT_EQ(back.componentSizes[1].name, "Docs");
  EXPECT_EQ(back.webMediaSourceFolders, full.webMediaSourceFolders);
  EXPECT_TRUE(back.IsCommentedOut(1));
  EXPECT_FALSE(back.IsCommentedOut(0));
}

TEST(CompiledScript, OnlyALoneDollarEndsASectionAndAnyLineEndIsTaken) {
  const CompiledScript script = ParseCompiledScript(
      "Comment\n$\nid\n$\nid\n$$\n $\n$ \n$\n\n$\n"
      "{P}\nTitle\n$\n1\n2\n3\n4\n5\n\n$\n0\n$\n{R}\n$");
  EXPECT_EQ(script.parameterBlock, (std::vector<std::string>{"id", "$$", " $", "$ "}));
  EXPECT_EQ(script.commandFlags, std::vector<std::string>{""});
  EXPECT_EQ(script.revisionCode, "{R}");
}

TEST(CompiledScript, MalformedScriptsNameWhatIsWrong) {
  auto errorOf = [](const std::string& text) -> std::string {
    try {
      ParseCompiledScript(text);
    } catch (const ScriptFormatError& error) {
      return error.what();
    }
    return "accepted";
  };
  EXPECT_NE(errorOf("If\r\nEnd\r\n").find("command name list is not closed"), std::string::npos);
  EXPECT_NE(errorOf("$\r\n$\r\n$\r\n$\r\n{P}\r\n").find("before the title line"),
            std::string::npos);
  const std::string badMode =
      errorOf(Script("$\r\n$\r\n$\r\n$\r\n", "$\r\n2x\r\n$\r\n{R}\r\n$\r\n"));
  EXPECT_NE(badMode.find("media mode on line 14 is not a whole number: \"2x\""), std::string::npos)
      << badMode;
  EXPECT_NE(errorOf(Script("$\r\n$\r\n$\r\n$\r\n", "$\r\n99999999999\r\n$\r\n{R}\r\n$\r\n"))
                .find("media mode"),
            std::string::npos);
  EXPECT_NE(errorOf(Script("$\r\n$\r\n$\r\n$\r\n", "$\r\n0\r\nCore\r\n$\r\n{R}\r\n$\r\n"))
                .find("\"Core\" in the component size table has no size"),
            std::string::npos);
  // Truncated inside the last list.
  EXPECT_NE(errorOf(Script("$\r\n$\r\n$\r\n$\r\n", "$\r\n0\r\n$\r\n{R}\r\nc_\\a\\\r\n"))
                .find("web media source folder list"),
            std::string::npos);
}

TEST(CompiledScript, Int32ConversionIsStrict) {
  std::int32_t value = 0;
  EXPECT_TRUE(ParseInt32("-2147483648", value));
  EXPECT_EQ(value, INT32_MIN);
  EXPECT_TRUE(ParseInt32("+2147483647", value));
  EXPECT_FALSE(ParseInt32("2147483648", value));
  EXPECT_FALSE(ParseInt32("", value));
  EXPECT_FALSE(ParseInt32("-", value));
  EXPECT_FALSE(ParseInt32(" 1", value));
}

}  // namespace
}  // namespace tavrel
