#include "engine/core/script_checks.h"

#include <gtest/gtest.h>

#include "engine/core/predefined_variables.h"

namespace tavrel {
namespace {

struct Line {
  std::string name;
  std::vector<std::string> params;
  std::string flag = {};
};

class ScriptChecksTest : public ::testing::Test {
 protected:
  ScriptCheck Check(const std::vector<Line>& lines) {
    CompiledScript script;
    std::vector<std::string> block;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string id = "id" + std::to_string(i);
      script.commandNames.push_back(lines[i].name);
      script.commandIds.push_back(id);
      script.commandFlags.push_back(lines[i].flag);
      script.mediaFolders.emplace_back();
      block.push_back(id);
      block.insert(block.end(), lines[i].params.begin(), lines[i].params.end());
    }
    // Room for the rules that read past a short record.
    block.insert(block.end(), 8, "");
    ParameterBlocks parameters;
    parameters.Add(ParameterBlock(std::move(block)));
    return CheckScript(script, parameters, store_);
  }

  MessageTable messages_;
  VariableStore store_{messages_};
};

TEST_F(ScriptChecksTest, EmptyScriptPassesAndPredefinedNamesAreDeclared) {
  const ScriptCheck check = Check({});
  EXPECT_EQ(check.result, -1);
  EXPECT_EQ(check.message, "Script compiled successfully");
  EXPECT_EQ(store_.Size(), kPredefinedVariables.size());
  EXPECT_TRUE(store_.Exists("targetdir"));
}

TEST_F(ScriptChecksTest, BlockStructure) {
  // "Else" is no opener.
  EXPECT_EQ(Check({{"If", {"TITLE", "0", "x", "FALSE"}}, {"Else", {}}, {"End", {}}}).result, -1);
  const ScriptCheck missing = Check({{"If", {"TITLE", "0", "x", "FALSE"}}, {"Comment", {"c"}}});
  EXPECT_EQ(missing.result, 1);
  EXPECT_EQ(missing.message, "Insufficient END statements");
  // A commented End does not count; only the totals are compared.
  const ScriptCheck commented =
      Check({{"If", {"TITLE", "0", "x", ""}}, {"End", {}, "C"}, {"Comment", {}}});
  EXPECT_EQ(commented.result, 2);
  EXPECT_EQ(commented.message, "Insufficient END statements");
  EXPECT_EQ(Check({{"End", {}}, {"If", {"TITLE", "0", "x", ""}}}).result, -1);
  EXPECT_EQ(Check({{"End", {}}}).message, "Too many END statements");
  const ScriptCheck nested =
      Check({{"If", {"TITLE", "0", "x", ""}}, {"Label", {"inner"}}, {"End", {}}});
  EXPECT_EQ(nested.result, 1);
  EXPECT_EQ(nested.message, "LABEL statements cannot be nested inside loops/conditionals");
}

TEST_F(ScriptChecksTest, Labels) {
  const ScriptCheck twice = Check({{"Label", {"Main"}}, {"Label", {"MAIN"}, "C"}});
  EXPECT_EQ(twice.result, 1);
  EXPECT_EQ(twice.message, "LABEL re-defined: MAIN");
  EXPECT_EQ(Check({{"GoTo Label", {"main"}}, {"Label", {"MAIN"}}}).result, -1);
  const ScriptCheck undefined = Check({{"Label", {"a"}}, {"GoTo Label", {"b"}}});
  EXPECT_EQ(undefined.result, 1);
  EXPECT_EQ(undefined.message, "LABEL undefined: b");
}

TEST_F(ScriptChecksTest, ConditionsNeedVariablesDeclaredEarlier) {
  const Line condition{"If", {"COUNT", "0", "5", "FALSE"}};
  const Line assignment{"Set Variable", {"count", "1"}};
  const ScriptCheck late = Check({condition, {"End", {}}, assignment});
  EXPECT_EQ(late.result, 0);
  EXPECT_EQ(late.message, "Variable not defined: COUNT");
  EXPECT_EQ(Check({assignment, condition, {"End", {}}}).result, -1);
  EXPECT_TRUE(store_.Exists("COUNT"));
  // A bare right-hand side is a literal; a reference must be declared.
  EXPECT_EQ(Check({{"If", {"$TITLE$", "1", "word", ""}}, {"End", {}}}).result, -1);
  EXPECT_EQ(Check({{"If", {"TITLE", "1", "$NOWHERE$", ""}}, {"End", {}}}).message,
            "Variable not defined: $NOWHERE$");
  EXPECT_EQ(Check({{"If", {"", "1", "x", ""}}, {"End", {}}}).message, "Variable required");
  // The right-hand side is named when both sides are unknown.
  EXPECT_EQ(Check({{"If", {"LEFT", "0", "$RIGHT$", ""}}, {"End", {}}}).message,
            "Variable not defined: $RIGHT$");
  // A commented declaration declares nothing.
  EXPECT_EQ(
      Check({{"Set Variable", {"X", "1"}, "C"}, {"If", {"X", "0", "1", ""}}, {"End", {}}}).message,
      "Variable not defined: X");
}

TEST_F(ScriptChecksTest, CommandRulesAndActionStates) {
  EXPECT_EQ(Check({{"Web Media Block", {"ninechars", ""}}}).message,
            "Web Media Block must have a download URL");
  EXPECT_EQ(Check({{"Web Media Block", {"ninechars", "http://x"}}}).message,
            "Web Media Block name must not exceed 8 characters");
  EXPECT_EQ(Check({{"Web Media Block", {"", ""}}}).result, -1);
  EXPECT_EQ(Check({{"Delete Files", {"a", "b", "FALSE", "FALSE"}}}).message,
            "At least one delete mode must be selected");
  const ScriptCheck changes = Check({{"Delete Files", {"a", "b", "FALSE", "-1"}},
                                     {"Install Files", {"x"}},
                                     {"Write Registry", {"x"}, "C"},
                                     {"Set Variable", {"A", "1"}}});
  EXPECT_EQ(changes.result, -1);
  EXPECT_EQ(changes.actionStates, (std::vector<std::string>{"FALSE", "FALSE", "SKIP", "SKIP"}));
  EXPECT_EQ(Check({{"Convert Path", {"NOPE", "1"}}}).message, "Variable not defined: NOPE");
  EXPECT_EQ(Check({{"Is MSI Setup Installed", {"{P}", ""}}}).message, "Variable required");
  EXPECT_EQ(Check({{"Display Dialog", {"", "R", "TRUE", "", "", ""}}}).message,
            "Dialog name not specified");
  EXPECT_EQ(Check({{"Display Dialog", {"Welcome", "", "TRUE", "SHOWIT", "", ""}}}).message,
            "Variable not defined: SHOWIT");
  // Every declaring command declares where its result goes.
  EXPECT_EQ(Check({{"Parse String", {"a", "b", "LEFTPART", "RIGHTPART"}},
                   {"Mathematics", {"1", "+", "2", "SUM"}},
                   {"MessageBox", {"c", "t", "0", "1", "$ANSWER$"}},
                   {"If", {"LEFTPART", "0", "$SUM$", ""}},
                   {"End", {}}})
                .result,
            -1);
  EXPECT_TRUE(store_.Exists("$ANSWER$"));
}

TEST_F(ScriptChecksTest, WizardLoopsHoldOnlyDialogs) {
  const ScriptCheck withIf = Check({{"Wizard Loop", {}},
                                    {"Display Dialog", {"A", "", "", "", "", ""}},
                                    {"If", {"TITLE", "0", "x", ""}},
                                    {"End", {}},
                                    {"End", {}}});
  EXPECT_EQ(withIf.result, 2);
  EXPECT_EQ(withIf.message, "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP");
  EXPECT_EQ(Check({{"Wizard Loop", {}},
                   {"Display Dialog", {"A", "", "", "", "", ""}},
                   {"Comment", {"fine"}},
                   {"Set Variable", {"X", "1"}, "C"},
                   {"End", {}},
                   {"Set Variable", {"X", "1"}}})
                .result,
            -1);
  // A commented End still closes the region.
  EXPECT_EQ(Check({{"If", {"TITLE", "0", "x", ""}},
                   {"Wizard Loop", {}, "C"},
                   {"End", {}, "C"},
                   {"Set Variable", {"X", "1"}},
                   {"End", {}}})
                .result,
            -1);
}

}  // namespace
}  // namespace tavrel
