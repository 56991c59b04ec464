// The command table covers the script format: every command name the format
// knows has exactly one entry, and an entry the loop does not carry out
// itself has something that runs it.
#include "engine/core/command_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tavrel {
namespace {

// The command names of the compiled script format, as its authoring tool
// writes them.
const std::set<std::string> kFormatCommands = {
    "If",
    "Else If",
    "Else",
    "End",
    "Wizard Loop",
    "Display Dialog",
    "Hide Dialog",
    "MessageBox",
    "Label",
    "GoTo Label",
    "Terminate Install",
    "Comment",
    "Ignore",
    "Set Variable",
    "Get System Settings",
    "Get Folder Location",
    "Get Environment",
    "Get File Version",
    "Check File Version",
    "Get Temporary File",
    "Does File/Folder Exist",
    "Read Registry",
    "Get INI File Settings",
    "Read from Text File",
    "Write to Text File",
    "Parse String",
    "Mathematics",
    "Extract Path",
    "Convert Path",
    "Run Program",
    "Terminate Program",
    "Reboot Computer",
    "Reboot and Resume",
    "Web Media Block",
    "Delete Registry",
    "Is MSI Setup Installed",
    "Write Registry",
    "Create File Type",
    "Create Folder",
    "Create Shortcut",
    "Copy/Move Local Files",
    "Delete Files",
    "Edit INI File",
    "Set Environment",
    "Install Files",
    "Install Assembly",
    "Control Service",
    "Create ODBC DSN",
    "Install ODBC Driver",
    "Install Service",
    "Apply Changes",
    "Define Component",
    "Get Component State",
    "Set Component State",
};

TEST(CommandTableTest, EveryCommandOfTheFormatHasOneEntryAndNothingElseDoes) {
  const CommandTable& table = CommandTable::Standard();
  ASSERT_EQ(kFormatCommands.size(), 54u);
  std::set<std::string> inTable;
  for (const CommandEntry& entry : table.Entries()) {
    EXPECT_TRUE(inTable.insert(entry.name).second) << "twice: " << entry.name;
    EXPECT_EQ(kFormatCommands.count(entry.name), 1u)
        << "not a command of the format: " << entry.name;
    const bool loopRunsIt =
        entry.role != CommandRole::kAction && entry.role != CommandRole::kDialog;
    EXPECT_EQ(static_cast<bool>(entry.run), !loopRunsIt) << entry.name;
  }
  for (const std::string& name : kFormatCommands) {
    const CommandEntry* entry = table.Find(name);
    ASSERT_NE(entry, nullptr) << "no entry: " << name;
    EXPECT_EQ(entry->name, name);
  }
  // Names are exact: the letter case of a built-in name matters.
  EXPECT_EQ(table.Find("set variable"), nullptr);
  EXPECT_TRUE(static_cast<bool>(table.Plugin().run));
}

}  // namespace
}  // namespace tavrel
