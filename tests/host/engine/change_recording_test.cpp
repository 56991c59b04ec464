// Change recording through the interpreter: which lines are marked as
// reached, the properties each change command records, the component list
// and its space queries, and "Delete Registry", which acts at once.
#include "engine/core/change_recording.h"

#include <gtest/gtest.h>

#include "engine/core/components.h"
#include "engine/core/system_info.h"
#include "tests/host/engine/interpreter_harness.h"

namespace tavrel {
namespace {

class ChangeRecordingTest : public InterpreterTest {
 protected:
  ChangeRecordingTest() {
    Command("Keep", [this](CommandContext& c) {
      changes_ = c.run.changes;
      actions_ = c.run.actionStates;
      components_ = c.run.components;
    });
  }
  RecordedChanges changes_;
  std::vector<std::string> actions_;
  ComponentList components_;
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST_F(ChangeRecordingTest, ReachedLinesAreMarkedAndTheirSlotsRecorded) {
  Run({Set("DIR", "C:\\Apps\\"),                                                             // 1
       {"Create Shortcut", {"$DIR$bin\\tool.exe", "Tool", "$DIR$menu", "", "-v", "$DIR$"}},  // 2
       {"Install Files", {"", "", "$DIR$\\bin"}},                                            // 3
       Set("DIR", "D:\\Other\\"),                                                            // 4
       {"Label", {"again"}},                                                                 // 5
       {"Create ODBC DSN"},                                                                  // 6
       If("DIR", "0", "nothing"),                                                            // 7
       {"Write Registry", {"1", "Key", "Name", "Value", "string"}},                          // 8
       End(),                                                                                // 9
       {"Create Folder", {"$DIR$never"}, "C"},                                               // 10
       {"Install Service",
        {"", "2", "", "4", "5", "6", "", "", "9", "10", "", "", "13", "14", "15"}},  // 11
       {"Write Registry", {"2", "Key", "$DIR$", "\\\\server\\share\\\\x", "n"}},     // 12
       {"Keep"}});
  EXPECT_EQ(actions_,
            (std::vector<std::string>{"SKIP", "TRUE", "TRUE", "SKIP", "SKIP", "TRUE", "SKIP",
                                      "FALSE", "SKIP", "SKIP", "TRUE", "TRUE", "SKIP"}));
  EXPECT_EQ(changes_.pending, (Pairs{{"PARAMETER2_1", "C:\\Apps\\menu"},
                                     {"PARAMETER2_2", "C:\\Apps\\bin\\tool.exe"},
                                     {"PARAMETER2_3", "-v"},
                                     {"PARAMETER2_4", "C:\\Apps\\"},
                                     {"PARAMETER3_1", "C:\\Apps\\bin"},
                                     {"PARAMETER11_1", "2"},
                                     {"PARAMETER11_2", "4"},
                                     {"PARAMETER11_3", "5"},
                                     {"PARAMETER11_4", "9"},
                                     {"PARAMETER11_5", "10"},
                                     {"PARAMETER11_6", "15"},
                                     {"PARAMETER11_7", "14"},
                                     {"PARAMETER11_8", "13"},
                                     {"PARAMETER11_9", "6"},
                                     {"PARAMETER12_1", "D:\\Other\\"},
                                     {"PARAMETER12_2", "\\\\server\\share\\x"},
                                     {"PARAMETER12_3", "n"}}));
  ASSERT_EQ(changes_.recorded.size(), 2 * changes_.pending.size());
  EXPECT_EQ(changes_.recorded[8], "PARAMETER3_1");
  EXPECT_EQ(changes_.recorded[9], "C:\\Apps\\bin");
}

TEST_F(ChangeRecordingTest, ALoopRecordsEveryPassUnderTheSameName) {
  Run({Set("N", "1"),                                 // 1
       {"Label", {"loop"}},                           // 2
       {"Install Files", {"", "", "C:\\\\Pass$N$"}},  // 3
       If("N", "0", "2"),
       {"GoTo Label", {"done"}},
       End(),  // 4-6
       Set("N", "2"),
       {"GoTo Label", {"loop"}},  // 7-8
       {"Label", {"done"}},
       {"Keep"}});
  EXPECT_EQ(changes_.pending,
            (Pairs{{"PARAMETER3_1", "C:\\Pass1"}, {"PARAMETER3_1", "C:\\Pass2"}}));
}

TEST_F(ChangeRecordingTest, ComponentsKeepTheirFirstStateAndDescriptionsFollow) {
  state_.script.componentSizes = {
      {"ZUNA-PREDEF-COMPONENT", "1000"}, {"docs", "200"}, {"Tools\\Extra", "30"}, {"broken", "x"}};
  host_.freeSpace['D'] = 5'000'000;
  Run({{"Define Component", {"Docs", "FALSE", "Manuals"}},
       {"Define Component", {"Tools\\Extra", "TRUE", ""}},
       {"Define Component", {"DOCS", "TRUE", "The manuals$NEWLINE$in full"}},
       {"Set Component State", {"docs", "TRUE"}},
       {"Set Component State", {"unknown", "TRUE"}},
       {"Get Component State", {"Tools\\extra", "TOOLS"}},
       {"Get Component State", {"unknown", "$OTHER$"}},
       {"Get Component State", {"Docs", ""}},
       {"Keep"}});
  EXPECT_EQ(components_.Names(),
            (std::vector<std::string>{"ZUNA-PREDEF-COMPONENT", "Docs", "Tools\\Extra"}));
  EXPECT_EQ(components_.States(), (std::vector<std::string>{"TRUE", "TRUE", "TRUE"}));
  EXPECT_EQ(components_.Description(1), "The manuals$NEWLINE$in full");
  EXPECT_EQ(components_.Description(7), "");
  EXPECT_EQ(Var("TOOLS"), "TRUE");
  EXPECT_EQ(Var("OTHER"), "FALSE");

  EXPECT_EQ(SizeOfComponent(state_.script, "DOCS"), 200);
  EXPECT_EQ(SizeOfComponent(state_.script, "missing"), 0);
  EXPECT_THROW(SizeOfComponent(state_.script, "broken"), ConversionError);
  EXPECT_EQ(RequiredSpace(components_, state_.script, 0), 1230);
  EXPECT_EQ(RequiredSpace(components_, state_.script, 1200), 30);
  const struct {
    const char* target;
    std::int64_t available;
  } targets[] = {{"D:\\\\Apps\\\\", 5'000'000},
                 {"\\\\\\\\srv\\\\share\\\\", 1'048'576},
                 {"", -1},
                 {"Q:\\\\", -1}};
  for (const auto& target : targets) {
    store_.Set("TARGETDIR", target.target);
    EXPECT_EQ(AvailableSpace(store_, host_), target.available) << target.target;
  }
}

TEST_F(ChangeRecordingTest, DeleteRegistryActsAtOnceOnTheRootItNames) {
  Run({Set("K", "Software\\\\Vendor"),
       {"Delete Registry", {"2", "$K$\\\\App", "Setting", "FALSE"}},
       {"Delete Registry", {"7", "$K$", "", "TRUE"}},
       {"Delete Registry", {"-1", "$K$", "", "-1"}},
       {"Delete Registry", {"two", "$K$", "x", "FALSE"}},
       {"Keep"}});
  EXPECT_EQ(host_.registry,
            (std::vector<std::string>{"delete value 2 Software\\Vendor\\App Setting",
                                      "delete tree 1 Software\\Vendor",
                                      "delete tree 1 Software\\Vendor"}));
  EXPECT_TRUE(changes_.pending.empty());
}

}  // namespace
}  // namespace tavrel
