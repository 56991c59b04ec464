#include "engine/core/message_table.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

std::string NumberedLines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "line " + std::to_string(i) + "\r\n";
  return text;
}

TEST(MessageTable, DefaultsAreTheEnglishAnsiTexts) {
  const MessageTable table;
  EXPECT_EQ(table.Get(msg::kSetupResourceNotFound), "Setup resource not found");
  EXPECT_EQ(table.Get(msg::kRuntimeErrorInInstall), "Runtime error in install: ");
  EXPECT_EQ(table.Get(msg::kWizardCaption), "Tavrel Wizard");
  // The trademark sign is one byte of the Windows-1252 code page.
  EXPECT_EQ(table.Get(msg::kPreparingText).substr(0, 8), "Tavrel\x99 ");
  EXPECT_EQ(table.Get(54).substr(0, 26), "A previously executed setu");
  EXPECT_THROW(table.Get(0), std::out_of_range);
  EXPECT_THROW(table.Get(55), std::out_of_range);
}

TEST(MessageTable, LanguageFileReplacesByLine) {
  MessageTable full;
  full.ReadLanguageFile(NumberedLines(60));
  EXPECT_EQ(full.Get(8), "line 8");
  EXPECT_EQ(full.Get(54), "line 54");

  MessageTable short53;
  short53.ReadLanguageFile(NumberedLines(53));
  EXPECT_EQ(short53.Get(53), "line 53");
  EXPECT_EQ(short53.Get(54), "");

  MessageTable withEmpty;
  withEmpty.ReadLanguageFile("one\r\n\r\nthree\n");
  EXPECT_EQ(withEmpty.Get(1), "one");
  EXPECT_EQ(withEmpty.Get(2), "");
  EXPECT_EQ(withEmpty.Get(3), "three");
  EXPECT_EQ(withEmpty.Get(4), "");
}

}  // namespace
}  // namespace tavrel
