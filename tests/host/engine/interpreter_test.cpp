// Interpreter tests: scripts run against a scripted host that records what
// the user would have seen and answers modal dialogs from a queue.
#include "engine/core/interpreter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <stdexcept>

#include "tests/host/engine/interpreter_harness.h"

namespace tavrel {
namespace {

using Marks = std::vector<std::string>;

// ---- Branch chains ----

TEST_F(InterpreterTest, OnlyTheFirstTrueElseIfBranchRuns) {
  Run({Set("A", "1"), If("A", "0", "2"), Mark("if"), ElseIf("A", "0", "1"), Mark("first"),
       ElseIf("A", "0", "1"), Mark("second"), Else(), Mark("else"), End(), Mark("after")});
  EXPECT_EQ(marks_, (Marks{"first", "after"}));
}

TEST_F(InterpreterTest, OnlyTheFirstTrueElseIfBranchRunsInsideTwoRunningBranches) {
  Run({Set("A", "1"), If("A", "0", "1"), If("A", "0", "1"), If("A", "0", "2"), Mark("if"),
       ElseIf("A", "0", "1"), Mark("first"), ElseIf("A", "0", "1"), Mark("second"), End(),
       Mark("inner after"), Else(), Mark("wrong else"), End(), Mark("outer after"), End(),
       Mark("end")});
  EXPECT_EQ(marks_, (Marks{"first", "inner after", "outer after", "end"}));
}

TEST_F(InterpreterTest, FalseElseIfsFallThroughToElse) {
  Run({Set("A", "1"), If("A", "0", "2"), Mark("if"), ElseIf("A", "0", "3"), Mark("elseif"), Else(),
       Mark("else"), End(), Mark("after")});
  EXPECT_EQ(marks_, (Marks{"else", "after"}));
}

TEST_F(InterpreterTest, FalseIfWithoutElseSkipsPastInnerChains) {
  Run({Set("A", "1"),
       If("A", "0", "2"),
       Mark("a"),
       If("A", "0", "1"),
       Mark("b"),
       Else(),
       Mark("c"),
       End(),
       {"Wizard Loop"},
       Dialog("d"),
       End(),
       Mark("d"),
       End(),
       Mark("after")});
  EXPECT_EQ(marks_, (Marks{"after"}));
  EXPECT_TRUE(host_.shown.empty());
}

TEST_F(InterpreterTest, CommentedChainCommandsTakeNoPart) {
  // A commented "Else" is no branch, a commented "End" closes nothing.
  Run({Set("A", "1"),
       If("A", "0", "2"),
       Mark("a"),
       {"Else", {}, "C"},
       Mark("b"),
       {"End", {}, "C"},
       Mark("c"),
       End(),
       Mark("after")});
  EXPECT_EQ(marks_, (Marks{"after"}));
}

TEST_F(InterpreterTest, CommentedCommandsNeverRunEvenRightAfterASkipTarget) {
  Run({Set("A", "1"),
       If("A", "0", "2"),
       Mark("a"),
       Else(),
       {"Mark", {"commented"}, "C"},
       Mark("else"),
       End(),
       {"Mark", {"commented too"}, "C"},
       Mark("after")});
  EXPECT_EQ(marks_, (Marks{"else", "after"}));
}

TEST_F(InterpreterTest, SkipPastTheLastCommandIsARuntimeError) {
  // The totals balance, so the checks let it through.
  Run({End(), If("TITLE", "0", "x"), Mark("never")});
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_EQ(host_.errors[0],
            "Runtime error in setup script:\r\rLine 2: List index out of bounds (3)");
  EXPECT_TRUE(marks_.empty());
  EXPECT_EQ(host_.events.back(), "free");
}

// ---- Conditions ----

struct ConditionCase {
  std::string left;
  std::string op;
  std::string right;
  std::string negate;
  bool holds;
};

class InterpreterConditionTest : public InterpreterTest,
                                 public ::testing::WithParamInterface<ConditionCase> {};

TEST_P(InterpreterConditionTest, Holds) {
  const ConditionCase& c = GetParam();
  // Through the command line, so the left side holds its text unexpanded.
  state_.commandLine.assignments = {{"L", c.left}, {"R", "9"}};
  Run(Declaring({"L", "R"}, {If("L", c.op, c.right, c.negate), Mark("true"), End(), Mark("ran")}));
  EXPECT_EQ(marks_, c.holds ? (Marks{"true", "ran"}) : (Marks{"ran"}));
  EXPECT_TRUE(host_.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(InterpreterComparisons, InterpreterConditionTest,
                         ::testing::Values(
                             // Numeric when both sides are whole numbers, textual otherwise.
                             ConditionCase{"10", "2", "9", "FALSE", true},
                             ConditionCase{"10", "2", "9b", "FALSE", false},
                             ConditionCase{"2", "2", "10", "FALSE", false},
                             ConditionCase{"2 ", "2", "10", "FALSE", true},
                             ConditionCase{"-1", "2", "-2", "FALSE", true},
                             ConditionCase{"007", "0", "7", "FALSE", true},
                             // Contains is textual only; numbers compare equal or not.
                             ConditionCase{"abc", "1", "b", "FALSE", true},
                             ConditionCase{"12", "1", "2", "FALSE", false},
                             ConditionCase{"12", "1", "12", "FALSE", true},
                             ConditionCase{"abc", "1", "B", "FALSE", false},
                             ConditionCase{"abc", "1", "", "FALSE", true},
                             // Equality is exact.
                             ConditionCase{"Abc", "0", "abc", "FALSE", false},
                             ConditionCase{"abc", "0", "abc", "FALSE", true},
                             // Character codes above 127 sort after ASCII.
                             ConditionCase{"\xE9", "2", "z", "FALSE", true},
                             // Negation and unknown operators.
                             ConditionCase{"abc", "0", "abc", "TRUE", false},
                             ConditionCase{"abc", "0", "abc", "-1", false},
                             ConditionCase{"abc", "0", "x", "TRUE", true},
                             ConditionCase{"1", "3", "1", "FALSE", false},
                             ConditionCase{"1", "", "1", "TRUE", true},
                             // A reference on the right reads the variable; text is never expanded.
                             ConditionCase{"9", "0", "$R$", "FALSE", true},
                             ConditionCase{"x$R$", "0", "x$R$", "FALSE", true},
                             ConditionCase{"x9", "0", "x$R$", "FALSE", false}));

TEST_F(InterpreterTest, LeftSideMayBeAReference) {
  state_.commandLine.assignments = {{"L", "5"}};
  Run(Declaring(
      {"L"}, {If("$L$", "0", "5"), Mark("ref"), End(), If("l", "0", "5"), Mark("lower"), End()}));
  EXPECT_EQ(marks_, (Marks{"ref", "lower"}));
}

// ---- Wizard loop ----

class InterpreterWizardTest : public InterpreterTest {
 protected:
  // Keys: the dialogs are commands 1, 2 and 3.
  void RunWizard() {
    Run({{"Wizard Loop"}, Dialog("one"), Dialog("two"), Dialog("three"), End(), Mark("after")});
  }
};

TEST_F(InterpreterWizardTest, NextAndBackNavigate) {
  host_.answers = {kDialogNext, kDialogBack, kDialogNext, kDialogNext, kDialogNext};
  RunWizard();
  EXPECT_EQ(host_.shown, (Marks{"1", "2", "1", "2", "3"}));
  EXPECT_EQ(Var("WIZARD"), "NEXT");
  EXPECT_EQ(marks_, (Marks{"after"}));
  // Wizard dialogs leave the window handle alone and are never released.
  EXPECT_EQ(Var("WINDOWHANDLE"), "0");
  for (const std::string& event : host_.events) EXPECT_NE(event.rfind("release", 0), 0u) << event;
}

TEST_F(InterpreterWizardTest, BackOnTheFirstDialogEndsTheLoop) {
  host_.answers = {kDialogNext, kDialogBack, kDialogBack};
  RunWizard();
  EXPECT_EQ(host_.shown, (Marks{"1", "2", "1"}));
  EXPECT_EQ(Var("WIZARD"), "BACK");
  EXPECT_EQ(marks_, (Marks{"after"}));
}

TEST_F(InterpreterWizardTest, CancelEndsTheLoop) {
  host_.answers = {kDialogNext, kDialogCancel};
  RunWizard();
  EXPECT_EQ(host_.shown, (Marks{"1", "2"}));
  EXPECT_EQ(Var("WIZARD"), "CANCEL");
  EXPECT_EQ(marks_, (Marks{"after"}));
}

TEST_F(InterpreterWizardTest, UnknownResultKeepsTheDirection) {
  host_.answers = {kDialogNext, kDialogBack, 1, kDialogNext, kDialogNext, kDialogNext};
  RunWizard();
  // 1 on dialog one keeps going back: out of the loop.
  EXPECT_EQ(host_.shown, (Marks{"1", "2", "1"}));
  EXPECT_EQ(Var("WIZARD"), "BACK");
}

TEST_F(InterpreterWizardTest, SilentRunPassesEveryDialogForward) {
  state_.commandLine.silent = true;
  RunWizard();
  EXPECT_EQ(host_.shown, (Marks{"1", "2", "3"}));
  EXPECT_EQ(Var("WIZARD"), "NEXT");
  EXPECT_EQ(marks_, (Marks{"after"}));
}

TEST_F(InterpreterTest, CommentedAndConditionSkippedDialogsArePassedOverBothWays) {
  state_.commandLine.assignments = {{"HIDE", "TRUE"}, {"SHOWN", "FALSE"}};
  host_.answers = {kDialogNext, kDialogNext, kDialogBack, kDialogBack,
                   kDialogNext, kDialogNext, kDialogNext};
  Run(Declaring({"HIDE", "SHOWN"}, {{"Wizard Loop"},
                                    Dialog("one"),
                                    {"Display Dialog", {"c", "WIZARD", "TRUE"}, "C"},
                                    Dialog("skipped", "HIDE", "TRUE"),
                                    Dialog("shown", "$SHOWN$", "TRUE"),
                                    Dialog("skipped too", "$HIDE$", "-1"),
                                    {"Comment"},
                                    Dialog("last"),
                                    End(),
                                    Mark("after")}));
  EXPECT_EQ(host_.shownNames, (Marks{"one", "shown", "last", "shown", "one", "shown", "last"}));
  EXPECT_EQ(marks_, (Marks{"after"}));
}

TEST_F(InterpreterTest, WizardLoopWhoseDialogsAreAllSkippedIsPassedThrough) {
  Run({{"Wizard Loop"}, Dialog("one", "TITLE", "FALSE"), End(), Mark("after")});
  EXPECT_TRUE(host_.shown.empty());
  EXPECT_EQ(marks_, (Marks{"after"}));
}

// ---- Dialogs outside the wizard loop ----

TEST_F(InterpreterTest, ModalDialogIsReleasedByTheNextDialog) {
  host_.answers = {kDialogBack, kDialogCancel};
  Run({{"Display Dialog", {"a", "R1", "TRUE"}},
       {"Display Dialog", {"b", "R2", "-1"}},
       {"Display Dialog", {"c", "R3", "FALSE"}}});
  EXPECT_EQ(Var("R1"), "BACK");
  EXPECT_EQ(Var("R2"), "CANCEL");
  EXPECT_EQ(Var("R3"), "NOTMODAL");
  EXPECT_EQ(Var("WINDOWHANDLE"), "1002");
  EXPECT_EQ(host_.events, (Marks{"prepare 0", "modal 0", "release 0", "prepare 1", "modal 1",
                                 "release 1", "prepare 2", "modeless 2", "free"}));
}

TEST_F(InterpreterTest, PreparingADialogLocksTheNonModalWindow) {
  host_.answers = {kDialogNext};
  Run({{"Display Dialog", {"a", "", "FALSE"}},
       {"Display Dialog", {"b", "", "TRUE"}},
       {"Hide Dialog"}});
  EXPECT_EQ(host_.events, (Marks{"prepare 0", "modeless 0", "lock 1000", "prepare 1", "unlock",
                                 "modal 1", "hide", "free"}));
  EXPECT_EQ(Var("WINDOWHANDLE"), "0");
}

TEST_F(InterpreterTest, SilentNonModalDialogHasNoWindow) {
  state_.commandLine.silent = true;
  Run({{"Display Dialog", {"a", "R", "FALSE"}}, Set("PROGRESS", "zz"), Mark("after")});
  EXPECT_EQ(Var("WINDOWHANDLE"), "0");
  EXPECT_EQ(Var("R"), "NOTMODAL");
  // No window, so the broken progress number is never read.
  EXPECT_EQ(marks_, (Marks{"after"}));
}

// ---- Progress and cancel ----

TEST_F(InterpreterTest, ProgressFollowsTheVariablesWhileANonModalWindowIsCurrent) {
  Run({Set("PROGRESS", "10"),
       {"Display Dialog", {"a", "", "FALSE"}},
       Set("PROGRESS", "40"),
       Set("PROGRESSTEXT", "copy"),
       Mark("same"),
       {"Hide Dialog"},
       Set("PROGRESS", "50"),
       Mark("none")});
  EXPECT_EQ(host_.events, (Marks{"prepare 1", "modeless 1", "progress  10 100 0", "message",
                                 "progress  40 100 0", "message", "progress copy 40 100 0",
                                 "message", "mark same", "hide", "mark none", "free"}));
}

TEST_F(InterpreterTest, ProgressThatIsNoNumberIsARuntimeError) {
  Run({{"Display Dialog", {"a", "", "FALSE"}}, Set("PROGRESS", "4x"), Mark("never")});
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_EQ(host_.errors[0],
            "Runtime error in setup script:\r\rLine 3: '4x' is not a valid integer value");
  EXPECT_TRUE(marks_.empty());
}

TEST_F(InterpreterTest, AbortReflectsTheCancelState) {
  std::vector<std::string> seen;
  Command("Peek", [&](CommandContext&) { seen.push_back(Var("ABORT")); });
  host_.cancelState = -1;
  Run({{"Peek"}, Set("ABORT", "FALSE"), {"Peek"}});
  EXPECT_EQ(seen, (Marks{"TRUE", "TRUE"}));
}

// ---- Labels ----

TEST_F(InterpreterTest, GoToFromARunningBranchLeavesNoPendingSkip) {
  Run({Set("A", "1"),
       If("A", "0", "2"),
       Mark("if"),
       Else(),
       Mark("else"),
       {"GoTo Label", {"l"}},
       Mark("never"),
       End(),
       Mark("never either"),
       {"Label", {"L"}},
       Mark("at label"),
       If("A", "0", "1"),
       Mark("true"),
       Else(),
       Mark("else again"),
       End(),
       Mark("end")});
  EXPECT_EQ(marks_, (Marks{"else", "at label", "true", "end"}));
}

TEST_F(InterpreterTest, GoToACommentedLabelLandsAfterIt) {
  Run({{"GoTo Label", {"x"}}, Mark("never"), {"Label", {"X"}, "C"}, Mark("after")});
  EXPECT_EQ(marks_, (Marks{"after"}));
}

// ---- Run-time errors and the end of the run ----

TEST_F(InterpreterTest, ErrorReportNamesThePositionCountingCommentedCommands) {
  Run({{"Comment"}, {"Mark", {"c"}, "C"}, Set("A", "1"), {"Comment"}, {"Fail"}, Mark("never")});
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_EQ(host_.errors[0], "Runtime error in setup script:\r\rLine 5: boom");
  EXPECT_TRUE(marks_.empty());
  EXPECT_EQ(host_.events.back(), "free");
}

TEST_F(InterpreterTest, ErrorReportUsesTheLanguageFileText) {
  std::string language;
  for (int line = 1; line <= MessageTable::kCount; ++line) {
    language += (line == msg::kRuntimeErrorInScript ? "Skriptfehler:" : "x") + std::string("\r\n");
  }
  messages_.ReadLanguageFile(language);
  Run({{"Fail"}});
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_EQ(host_.errors[0], "Skriptfehler:\r\rLine 1: boom");
}

TEST_F(InterpreterTest, SilentErrorEndsTheRunWithoutAMessage) {
  state_.commandLine.silent = true;
  Run({{"Fail"}, Mark("never")});
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_TRUE(marks_.empty());
  EXPECT_EQ(host_.events, (Marks{"free"}));
  // Only the diagnostic trace knows why the run ended.
  EXPECT_EQ(host_.trace, (Marks{"runtime error on line 1: boom"}));
}

TEST_F(InterpreterTest, VariableErrorIsARuntimeError) {
  Run({Set("", "x")});
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_EQ(host_.errors[0].rfind("Runtime error in setup script:\r\rLine 1: ", 0), 0u);
}

TEST_F(InterpreterTest, TerminateInstallEndsTheRun) {
  Run({Mark("a"), {"Terminate Install"}, Mark("b")});
  EXPECT_EQ(marks_, (Marks{"a"}));
  EXPECT_EQ(host_.events.back(), "free");
}

TEST_F(InterpreterTest, RejectedScriptRunsNothingAndShowsNothing) {
  Run({Mark("a"), If("TITLE", "0", "x")});
  EXPECT_TRUE(marks_.empty());
  EXPECT_TRUE(host_.events.empty());
  EXPECT_TRUE(host_.errors.empty());
}

TEST_F(InterpreterTest, MissingDatabaseRunsNothing) {
  Run({Mark("a")}, "c:\\s\\other.msi");
  EXPECT_TRUE(marks_.empty());
  EXPECT_TRUE(host_.events.empty());
  interpreter_.Run(state_, "");
  EXPECT_TRUE(marks_.empty());
  EXPECT_TRUE(host_.events.empty());
}

// ---- Dispatch ----

TEST_F(InterpreterTest, PluginNamesWinOverEveryOtherNameWithoutRegardToCase) {
  std::vector<std::size_t> plugins;
  commands_.SetPluginHandler([&](CommandContext& c) { plugins.push_back(c.index); });
  state_.script.pluginCommands = {"MARK", "set variable"};
  Run({Mark("a"), Set("A", "1"), {"Unknown"}});
  EXPECT_TRUE(marks_.empty());
  EXPECT_EQ(plugins, (std::vector<std::size_t>{0, 1}));
  // Declared by the checks, but the run starts from a cleared store.
  EXPECT_FALSE(store_.Exists("A"));
}

TEST_F(InterpreterTest, BuiltInNamesAreExact) {
  Run({{"set variable", {"A", "1"}}, Mark("after")});
  EXPECT_FALSE(store_.Exists("A"));
  EXPECT_EQ(marks_, (Marks{"after"}));
  ASSERT_EQ(host_.trace.size(), 1u);
  EXPECT_EQ(host_.trace[0], "line 1: no command is named \"set variable\"; nothing done");
}

// ---- Variables at start and "Set Variable" ----

TEST_F(InterpreterTest, PredefinedVariablesStartFromStateAndHost) {
  state_.engineFolder = "c:\\e\\";
  state_.tempFolder = "c:\\t\\";
  state_.supportFolder = "c:\\t\\tvl1\\";
  state_.restOfCommandLine = "/s A=1";
  state_.commandLine.packagePath = "d:\\dl\\pkg.exe";
  state_.commandLine.logPath = "c:\\log.txt";
  state_.script.title = "Prod";
  state_.script.productCode = "{P}";
  state_.script.revisionCode = "{R}";
  state_.script.publisherLines = {"Pub", "Contact", "", "", ""};
  host_.start.exeFile = "c:\\e\\setup.exe";
  host_.start.userName = "Ann";
  host_.start.allUsers = true;
  host_.start.targetDir = "c:\\pf\\Prod\\";
  host_.start.maintenance = true;
  Run({});
  ASSERT_EQ(store_.Size(), 39u);
  EXPECT_EQ(store_.Variables()[0].name, "UNINSTALLLINK");
  EXPECT_EQ(store_.Variables()[38].name, "MSIFILE");
  EXPECT_EQ(Var("EXEDIR"), "c:\\e\\");
  EXPECT_EQ(Var("ROOTDIR"), "c:\\e\\");
  EXPECT_EQ(Var("EXEFILE"), "c:\\e\\setup.exe");
  EXPECT_EQ(Var("SFXPATH"), "d:\\dl\\");
  EXPECT_EQ(Var("SFXFILE"), "pkg.exe");
  EXPECT_EQ(Var("COMPANY"), "Pub");
  EXPECT_EQ(Var("STARTMENU"), "Prod");
  EXPECT_EQ(Var("TITLE"), "Prod");
  EXPECT_EQ(Var("MSIFILE"), "c:\\s\\setup.msi");
  EXPECT_EQ(Var("SUPPORTDIR"), "c:\\t\\tvl1\\");
  EXPECT_EQ(Var("CMDLINE"), "/s A=1");
  EXPECT_EQ(Var("LOGGED"), "c:\\log.txt");
  EXPECT_EQ(Var("ALLUSERS"), "TRUE");
  EXPECT_EQ(Var("MAINTENANCE"), "TRUE");
  EXPECT_EQ(Var("NEEDSUPGRADE"), "FALSE");
  EXPECT_EQ(Var("SILENT"), "FALSE");
  EXPECT_EQ(Var("WIZARD"), "NEXT");
  EXPECT_EQ(Var("PROGRESS"), "0");
  EXPECT_EQ(Var("ABORT"), "FALSE");
}

TEST_F(InterpreterTest, PackagePathWithoutFolder) {
  state_.commandLine.packagePath = "pkg.exe";
  Run({});
  EXPECT_EQ(Var("SFXPATH"), "");
  EXPECT_EQ(Var("SFXFILE"), "pkg.exe");
}

TEST_F(InterpreterTest, CommandLineAssignmentsOverridePredefinedValuesLaterOnesLast) {
  state_.script.title = "Prod";
  state_.commandLine.assignments = {
      {"title", "first"}, {"newvar", "1"}, {"TITLE", "second"}, {"NewVar", "2"}};
  Run({});
  EXPECT_EQ(Var("TITLE"), "second");
  EXPECT_EQ(Var("NEWVAR"), "2");
  EXPECT_EQ(store_.Variables().back().name, "NEWVAR");
  EXPECT_EQ(store_.Size(), 40u);
}

TEST_F(InterpreterTest, SetVariableDefinesUpperCasedAndExpands) {
  Run({Set("$new$", "a$TITLE$b"), Set("new", "$NEW$c")});
  EXPECT_EQ(Var("NEW"), "abc");
}

TEST_F(InterpreterTest, SetVariableSilentSwitchesTheRunSilent) {
  host_.button = 6;
  Run({{"MessageBox", {"c", "t", "1", "4", "R"}},
       Set("R", "kept"),
       Set("silent", "true"),
       {"MessageBox", {"c", "t", "1", "4", "R"}},
       {"Fail"}});
  EXPECT_TRUE(state_.commandLine.silent);
  EXPECT_EQ(Var("SILENT"), "true");
  EXPECT_EQ(Var("R"), "kept");
  EXPECT_EQ(host_.events, (Marks{"box 0 c|t 36", "silent on", "free"}));
  // Silent by then, so the failure ends the run without a message.
  EXPECT_TRUE(host_.errors.empty());
}

TEST_F(InterpreterTest, SetVariableSilentOffAndLogged) {
  state_.commandLine.silent = true;
  Run({Set("L", "c:\\x"), Set("LOGGED", "$L$\\log.txt"), Set("SILENT", "no")});
  EXPECT_EQ(state_.commandLine.logPath, "c:\\x\\log.txt");
  EXPECT_FALSE(state_.commandLine.silent);
  EXPECT_EQ(host_.events, (Marks{"silent off", "free"}));
}

// ---- MessageBox ----

struct BoxCase {
  std::string icon;
  std::string buttons;
  unsigned style;
  int pressed;
  std::string word;
};

class InterpreterMessageBoxTest : public InterpreterTest,
                                  public ::testing::WithParamInterface<BoxCase> {};

TEST_P(InterpreterMessageBoxTest, StyleAndResultWord) {
  const BoxCase& c = GetParam();
  host_.button = c.pressed;
  state_.commandLine.assignments = {{"R", "stale"}};
  Run({{"MessageBox", {"$TITLE$!", "a$NEWLINE$b", c.icon, c.buttons, "r"}}});
  ASSERT_EQ(host_.events.size(), 2u);
  EXPECT_EQ(host_.events[0], "box 0 !|a\r\nb " + std::to_string(c.style));
  EXPECT_EQ(Var("R"), c.word);
}

INSTANTIATE_TEST_SUITE_P(
    InterpreterCodes, InterpreterMessageBoxTest,
    ::testing::Values(BoxCase{"0", "0", 66, 3, "ABORT"}, BoxCase{"1", "1", 32, 1, "OK"},
                      BoxCase{"2", "2", 49, 2, "CANCEL"}, BoxCase{"3", "3", 21, 4, "RETRY"},
                      BoxCase{"0", "4", 68, 6, "YES"}, BoxCase{"1", "5", 35, 7, "NO"},
                      BoxCase{"2", "0", 50, 5, "IGNORE"},
                      // Codes outside the tables: no icon, a lone OK.
                      BoxCase{"4", "6", 0, 1, "OK"}, BoxCase{"", "", 0, 1, "OK"},
                      BoxCase{"01", "x", 0, 1, "OK"},
                      // A box that could not be shown leaves no stale answer.
                      BoxCase{"0", "1", 64, 0, ""}));

TEST_F(InterpreterTest, MessageBoxOwnerIsTheNonModalWindowAndResultIsOptional) {
  Run({{"Display Dialog", {"a", "", "FALSE"}}, {"MessageBox", {"c", "t", "3", "1", ""}}});
  EXPECT_EQ(host_.events[2], "box 1000 c|t 16");
}

TEST_F(InterpreterTest, SilentMessageBoxLeavesItsVariableUntouched) {
  state_.commandLine.silent = true;
  state_.commandLine.assignments = {{"R", "before"}};
  Run({{"MessageBox", {"c", "t", "1", "4", "R"}}});
  EXPECT_EQ(Var("R"), "before");
  EXPECT_EQ(host_.events, (Marks{"free"}));
}

// ---- Text, file, path and arithmetic commands ----

Line Read(std::string file, std::string line, std::string end = "") {
  return {"Read from Text File", {file, line, end}};
}
Line Write(std::string file, std::string text, std::string atTop = "FALSE") {
  return {"Write to Text File", {file, text, atTop}};
}

TEST_F(InterpreterTest, ReadFromTextFileReadsLineByLineAndStartsAgainAfterTheEnd) {
  host_.files["c:\\t\\a.txt"] = "one\r\ntwo\nthree\r\n";
  host_.files["c:\\t\\empty.txt"] = "";
  host_.files["c:\\t\\b.txt"] = "b1\r\nb2";
  Run({Read("c:\\t\\a.txt", "L", "EOF"), Set("R1", "$L$|$EOF$"),
       // The name is compared without regard to case and in path form.
       Read("C:\\\\T\\A.TXT", "L", "EOF"), Set("R2", "$L$|$EOF$"), Read("c:\\t\\a.txt", "L", "EOF"),
       Set("R3", "$L$|$EOF$"), Read("c:\\t\\a.txt", "L", "EOF"), Set("R4", "$L$|$EOF$"),
       // Another file closes this one; coming back starts from the top.
       Read("c:\\t\\b.txt", "L"), Set("R5", "$L$"), Read("c:\\t\\a.txt", "L", "EOF"),
       Set("R6", "$L$|$EOF$"),
       // An empty or missing file leaves the line alone and reports the end.
       Set("L", "kept"), Read("c:\\t\\empty.txt", "L", "EOF"), Set("R7", "$L$|$EOF$"),
       Set("EOF", "FALSE"), Read("c:\\t\\none.txt", "L", "EOF"), Set("R8", "$L$|$EOF$"),
       Read("c:\\t\\none.txt", "L2", "EOF2")});
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_EQ(Var("R1"), "one|FALSE");
  EXPECT_EQ(Var("R2"), "two|FALSE");
  EXPECT_EQ(Var("R3"), "three|TRUE");
  EXPECT_EQ(Var("R4"), "one|FALSE");
  EXPECT_EQ(Var("R5"), "b1");
  EXPECT_EQ(Var("R6"), "one|FALSE");
  EXPECT_EQ(Var("R7"), "kept|TRUE");
  EXPECT_EQ(Var("R8"), "kept|TRUE");
  // Results the script never declared are defined upper-cased.
  EXPECT_EQ(Var("L2"), "");
  EXPECT_EQ(Var("EOF2"), "TRUE");
  // a.txt read three times (twice after the end, once after b.txt).
  EXPECT_EQ(host_.reads, 7);
}

TEST_F(InterpreterTest, WriteToTextFileAddsLinesAndRestartsTheReadingOfThatFile) {
  const std::string a = "c:\\t\\a.txt";
  host_.files[a] = "one\ntwo";
  Run({Read(a, "L"), Set("WHERE", "True"), Write("c:\\t\\\\a.txt", "top$NEWLINE$second", "$WHERE$"),
       Read(a, "L", "EOF"), Set("R1", "$L$|$EOF$"),
       // The same name in other letters closes the reading too (the fake
       // host's own names are exact, so it writes another file).
       Write("C:\\T\\A.TXT", "x"), Read(a, "L"), Set("R2", "$L$"), Write(a, "bottom"),
       Write("c:\\t\\new.txt", "$L$", "-1")});
  EXPECT_TRUE(host_.errors.empty());
  // Without the restarts the reads would have gone on with "two", "second".
  EXPECT_EQ(Var("R1"), "top|FALSE");
  EXPECT_EQ(Var("R2"), "top");
  EXPECT_EQ(host_.files[a], "top\r\nsecond\r\none\r\ntwo\r\nbottom\r\n");
  EXPECT_EQ(host_.files["C:\\T\\A.TXT"], "x\r\n");
  EXPECT_EQ(host_.files["c:\\t\\new.txt"], "top\r\n");
}

TEST_F(InterpreterTest, WriteToTextFileNeverReplacesAFileItCouldNotRead) {
  host_.unreadable = {"c:\\t\\locked.txt"};
  host_.files["c:\\t\\ro.txt"] = "old\r\n";
  host_.readOnly = {"c:\\t\\ro.txt"};
  Run({Write("c:\\t\\locked.txt", "x"), Write("c:\\t\\ro.txt", "x"), Set("AFTER", "ran")});
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_EQ(host_.files.count("c:\\t\\locked.txt"), 0u);
  EXPECT_EQ(host_.files["c:\\t\\ro.txt"], "old\r\n");
  EXPECT_EQ(Var("AFTER"), "ran");
  EXPECT_EQ(host_.trace.size(), 2u);
}

TEST_F(InterpreterTest, ParseStringStoresTheGivenPartsOnly) {
  Run({Set("SRC", "Dir\\\\Sub\\File"),
       {"Parse String", {"$SRC$", "\\", "first", "second", "1", "FALSE", "FALSE"}},
       {"Parse String", {"  a X b  ", "x", "", "ONLY", "0", "TRUE", "TRUE"}},
       {"Parse String", {"abcdef", "2", "N1", "N2", "3", "", ""}}});
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_EQ(Var("FIRST"), "Dir\\Sub");
  EXPECT_EQ(Var("SECOND"), "File");
  EXPECT_EQ(Var("ONLY"), "b");
  EXPECT_EQ(Var("N1"), "abcd");
  EXPECT_EQ(Var("N2"), "ef");
}

TEST_F(InterpreterTest, MathematicsExpandsOperandsAndRejectsAnOperationThatIsNoNumber) {
  Run({Set("A", "2147483647"),
       {"Mathematics", {"$A$", "1", "0", "SUM"}},
       {"Mathematics", {"5", "0", "3", "QUOTIENT"}},
       {"Mathematics", {"x", "1", "0", "BAD"}},
       {"Mathematics", {"1", "1", "plus", "NEVER"}},
       Set("AFTER", "ran")});
  EXPECT_EQ(Var("SUM"), "-2147483648");
  EXPECT_EQ(Var("QUOTIENT"), "");
  EXPECT_EQ(Var("BAD"), "");
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_EQ(host_.errors[0],
            "Runtime error in setup script:\r\rLine 5: 'plus' is not a valid integer value");
  EXPECT_FALSE(store_.Exists("AFTER"));
}

TEST_F(InterpreterTest, ExtractAndConvertPathStoreBackIntoTheVariable) {
  host_.folders = {"c:\\", "c:\\dir\\"};
  Run({Set("P", "c:\\dir\\\\file.txt"),
       {"Extract Path", {"P", "4"}},
       Set("FOLDER", "$P$"),
       {"Convert Path", {"P", "TRUE"}},
       Set("SHORT", "$P$"),
       Set("P", "c:\\dir\\"),
       {"Convert Path", {"P", "FALSE"}},
       Set("LONG", "$P$"),
       Set("P", "c:\\none\\"),
       {"Convert Path", {"P", "TRUE"}},
       Set("MISSING", "<$P$>"),
       Set("Q", "a.b"),
       {"Extract Path", {"q", "2"}},
       {"Extract Path", {"Q", "two"}}});
  EXPECT_EQ(Var("FOLDER"), "c:\\");
  EXPECT_EQ(Var("SHORT"), "short:c:\\");
  EXPECT_EQ(Var("LONG"), "long:c:\\dir\\");
  EXPECT_EQ(Var("MISSING"), "<>");
  EXPECT_EQ(Var("Q"), "b");
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_EQ(host_.errors[0],
            "Runtime error in setup script:\r\rLine 14: 'two' is not a valid integer value");
}

TEST_F(InterpreterTest, ExtractPathOfAVariableDefinedOnlyForTheChecksIsAVariableError) {
  Run(Declaring({"LATE"}, {{"Extract Path", {"LATE", "0"}}}));
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_NE(host_.errors[0].find("Line 4: "), std::string::npos) << host_.errors[0];
  EXPECT_NE(host_.errors[0].find("LATE"), std::string::npos) << host_.errors[0];
}

TEST_F(InterpreterTest, TemporaryFilesAndExistenceTests) {
  state_.tempFolder = "c:\\temp\\";
  host_.folders = {"c:\\temp\\"};
  Run({{"Get Temporary File", {"$T1$"}},
       {"Get Temporary File", {"t2"}},
       {"Does File/Folder Exist", {"F1", "$T1$", "TRUE"}},
       {"Does File/Folder Exist", {"F2", "$T1$", "FALSE"}},
       {"Does File/Folder Exist", {"D1", "c:\\\\temp\\", "FALSE"}},
       {"Does File/Folder Exist", {"D2", "c:\\temp\\", "TRUE"}},
       {"Does File/Folder Exist", {"N", "c:\\none", "-1"}}});
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_EQ(Var("T1"), "c:\\temp\\tvl1.tmp");
  EXPECT_EQ(Var("T2"), "c:\\temp\\tvl2.tmp");
  EXPECT_EQ(Var("F1"), "TRUE");
  EXPECT_EQ(Var("F2"), "FALSE");
  EXPECT_EQ(Var("D1"), "TRUE");
  EXPECT_EQ(Var("D2"), "FALSE");
  EXPECT_EQ(Var("N"), "FALSE");
}

TEST_F(InterpreterTest, TemporaryFileThatCannotBeCreatedLeavesAnEmptyResult) {
  host_.noTempFiles = true;
  Run({Set("T", "old"), {"Get Temporary File", {"T"}}});
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_EQ(Var("T"), "");
  EXPECT_EQ(host_.trace.size(), 1u);
}

// ---- Programs and restarts ----

Line RunProgram(std::string program, std::string hidden, std::string parameters, std::string wait,
                std::string result) {
  return {"Run Program", {program, hidden, parameters, wait, result}};
}

TEST_F(InterpreterTest, RunProgramStoresTheExitCodeWaitingOrNot) {
  host_.exitCodes = {{"c:\\p\\tool.exe", 3}, {"c:\\p\\server.exe", 0}};
  host_.longRunning = {"c:\\p\\server.exe"};
  Run({Set("P", "c:\\p\\\\tool.exe"), Set("PROGRESSTEXT", "Running"), Set("PROGRESS", "40"),
       RunProgram("$P$", "True", "-x \\\\$PROGRESS$", "TRUE", "r1"),
       RunProgram("c:\\p\\server.exe", "FALSE", "", "FALSE", "R2"),
       RunProgram("c:\\p\\server.exe", "FALSE", "", "-1", "R3"),
       // A program that cannot start stores the defined code and the script
       // goes on; without a result variable nothing is stored.
       RunProgram("c:\\p\\missing.exe", "FALSE", "", "TRUE", "R4"),
       RunProgram("c:\\p\\tool.exe", "FALSE", "", "TRUE", ""), Set("AFTER", "ran")});
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_EQ(Var("R1"), "3");
  EXPECT_EQ(Var("R2"), "259");
  EXPECT_EQ(Var("R3"), "0");
  EXPECT_EQ(Var("R4"), "-1");
  EXPECT_EQ(Var("AFTER"), "ran");
  EXPECT_EQ(
      host_.programRuns,
      (std::vector<std::string>{"c:\\p\\tool.exe|-x \\40|hidden|wait",
                                "c:\\p\\server.exe||shown|nowait", "c:\\p\\server.exe||shown|wait",
                                "c:\\p\\missing.exe||shown|wait", "c:\\p\\tool.exe||shown|wait"}));
  // The waiting loop passes the progress variables on, and is woken by the
  // worker each time.
  EXPECT_NE(std::find(host_.events.begin(), host_.events.end(), "progress Running 40 100 0"),
            host_.events.end());
  EXPECT_EQ(host_.wakes.load(), 5);
  EXPECT_EQ(host_.trace,
            (std::vector<std::string>{"program could not be started: c:\\p\\missing.exe"}));
}

TEST_F(InterpreterTest, SilentRunProgramWaitsWithoutMessagesAndBadProgressIsAnError) {
  state_.commandLine.silent = true;
  host_.exitCodes = {{"a.exe", -5}};
  Run({RunProgram("a.exe", "FALSE", "", "TRUE", "R"), Set("PROGRESS", "lots"),
       RunProgram("a.exe", "FALSE", "", "TRUE", "NEVER")});
  EXPECT_EQ(Var("R"), "-5");
  EXPECT_EQ(std::count(host_.events.begin(), host_.events.end(), "message"), 0);
  // The second program never starts: the progress check fails first.
  EXPECT_EQ(host_.programRuns.size(), 1u);
  EXPECT_FALSE(store_.Exists("NEVER"));
  EXPECT_EQ(
      host_.trace,
      (std::vector<std::string>{"runtime error on line 3: 'lots' is not a valid integer value"}));
}

TEST_F(InterpreterTest, TerminateProgramClosesUpToTenMatchingWindows) {
  host_.windows = {
      {"Notepad", "a.txt - Notepad"}, {"TvlTest", "Close Me"}, {"Other", "Close Me too"}};
  for (int n = 0; n < 11; ++n)
    host_.windows.emplace_back("TvlTestMany", "Many " + std::to_string(n));
  Run({Set("PART", "Close Me"),
       // Nothing matches, or nothing is asked for: nothing is closed.
       {"Terminate Program", {"Nowhere", ""}},
       {"Terminate Program", {"", ""}},
       {"Terminate Program", {"$PART$", "TvlTest"}},
       {"Terminate Program", {"", "TvlTestMany"}},
       {"Terminate Program", {"txt", ""}}});
  EXPECT_TRUE(host_.errors.empty());
  ASSERT_EQ(host_.closed.size(), 12u);
  EXPECT_EQ(host_.closed[0], "TvlTest|Close Me");
  EXPECT_EQ(host_.closed[1], "TvlTestMany|Many 0");
  EXPECT_EQ(host_.closed[10], "TvlTestMany|Many 9");
  EXPECT_EQ(host_.closed[11], "Notepad|a.txt - Notepad");
  ASSERT_EQ(host_.windows.size(), 2u);
  EXPECT_EQ(host_.windows[0].second, "Close Me too");
  EXPECT_EQ(host_.windows[1].second, "Many 10");
}

TEST_F(InterpreterTest, RebootComputerRestartsAndEndsTheRun) {
  Run({Set("BEFORE", "ran"), {"Reboot Computer"}, Set("AFTER", "ran")});
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_EQ(host_.reboots, 1);
  EXPECT_EQ(Var("BEFORE"), "ran");
  EXPECT_FALSE(store_.Exists("AFTER"));
  EXPECT_EQ(host_.events.back(), "free");
  EXPECT_EQ(host_.trace, (std::vector<std::string>{"reboot requested"}));
  // No product code: there is no resume entry to remove.
  EXPECT_TRUE(host_.registry.empty());
}

TEST_F(InterpreterTest, RebootAndResumeWritesTheEntryWhereAllUsersSays) {
  state_.script.productCode = "{1234abcd-0000-1111-2222-333344445555}";
  host_.start.exeFile = "c:\\s\\setup.exe";
  host_.startup["user\\1234abcd"] = "left by an earlier run";
  Run({{"Reboot and Resume"}, Set("AFTER", "ran")});
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_EQ(host_.reboots, 1);
  EXPECT_FALSE(store_.Exists("AFTER"));
  // The start of the run removes both entries before the command writes.
  EXPECT_EQ(host_.registry,
            (std::vector<std::string>{"remove user 1234abcd", "remove machine 1234abcd",
                                      "write user 1234abcd"}));
  EXPECT_EQ(host_.startup,
            (std::map<std::string, std::string>{{"user\\1234abcd", "c:\\s\\setup.exe"}}));
}

TEST_F(InterpreterTest, RebootAndResumeNamesThePackageQuotedForAllUsers) {
  state_.script.productCode = "{89ABCDEF-0000-1111-2222-333344445555}";
  state_.commandLine.packagePath = "c:\\My Downloads\\package.exe";
  host_.start.exeFile = "c:\\s\\setup.exe";
  Run({Set("ALLUSERS", "True"), {"Reboot and Resume"}});
  EXPECT_EQ(host_.startup, (std::map<std::string, std::string>{
                               {"machine\\89ABCDEF", "\"c:\\My Downloads\\package.exe\""}}));
  EXPECT_EQ(host_.reboots, 1);
}

TEST_F(InterpreterTest, RebootAndResumeWithoutAProductCodeStillRestarts) {
  // An entry named after a code without its brace or digits would be the
  // Run key's default value; none is written or removed.
  state_.script.productCode = "12345678";
  Run({{"Reboot and Resume"}});
  EXPECT_TRUE(host_.registry.empty());
  EXPECT_EQ(host_.reboots, 1);
  EXPECT_EQ(host_.trace.size(), 2u);
}

// ---- System queries ----

TEST_F(InterpreterTest, SystemQueriesStoreTheirResults) {
  host_.system.specialFolders = {{38, "C:\\Program Files\\"}, {43, "C:\\Common\\"}};
  host_.system.versions["c:\\app\\a.exe"] = {1, 2, 3, 4, 0x10002, 0x30004};
  host_.environment["PATH"] = "c:\\bin";
  host_.registryValues["2|Software\\Demo|Count"] = {RegistryValue::Type::kNumber, "", 7};
  host_.registryValues["1|Software\\Demo|Name"] = {RegistryValue::Type::kString, "x y", 0};
  host_.registryValues["1|Software\\Demo|Path"] = {RegistryValue::Type::kExpandString, "%P%", 0};
  host_.ini["c:\\app\\a.ini|Main|Key"] = "value";
  Run({Set("DIR", "c:\\app\\"),
       Set("RESULT", "old"),
       Set("NOTHING", ""),
       {"Get System Settings", {"nt", "18"}},
       {"Get Folder Location", {"PF", "20", "FALSE"}},
       {"Get Folder Location", {"CF", "20", "TRUE"}},
       {"Get Folder Location", {"SYS", "23", "TRUE"}},
       {"Get Environment", {"PA$NOTHING$TH", "ENVPATH"}},
       {"Get Environment", {"NOSUCH", "$RESULT$"}},
       {"Get File Version", {"$DIR$\\a.exe", "V1"}},
       {"Get File Version", {"$DIR$b.exe", "V2"}},
       {"Check File Version", {"C1", "$DIR$a.exe", "FALSE", "", "1.2"}},
       {"Check File Version", {"C2", "$DIR$a.exe", "FALSE", "", "1.2.3.5"}},
       {"Check File Version", {"C3", "$DIR$b.exe", "TRUE", "$DIR$a.exe", "9"}},
       {"Check File Version", {"C4", "$DIR$a.exe", "TRUE", "$DIR$b.exe", "x"}},
       {"Read Registry", {"R1", "2", "Software\\\\Demo", "Count"}},
       {"Read Registry", {"R2", "1", "Software\\Demo", "Name"}},
       {"Read Registry", {"R3", "1", "Software\\Demo", "Path"}},
       {"Read Registry", {"R4", "3", "Software\\Demo", "Name"}},
       {"Get INI File Settings", {"I1", "$DIR$a.ini", "Main", "Key"}},
       {"Get INI File Settings", {"I2", "$DIR$a.ini", "Main", "Other"}}});
  EXPECT_TRUE(host_.errors.empty()) << host_.errors[0];
  EXPECT_EQ(Var("NT"), "TRUE");
  EXPECT_EQ(Var("PF"), "C:\\Program Files\\");
  EXPECT_EQ(Var("CF"), "C:\\Common\\");
  EXPECT_EQ(Var("SYS"), "C:\\Windows\\system32\\");
  EXPECT_EQ(Var("ENVPATH"), "c:\\bin");
  EXPECT_EQ(Var("RESULT"), "%NOSUCH%");
  EXPECT_EQ(Var("V1"), "1.2.3.4");
  EXPECT_EQ(Var("V2"), "0.0.0.0");
  EXPECT_EQ((std::vector<std::string>{Var("C1"), Var("C2"), Var("C3"), Var("C4")}),
            (std::vector<std::string>{"TRUE", "FALSE", "FALSE", "TRUE"}));
  EXPECT_EQ(Var("R1"), "7");
  EXPECT_EQ(Var("R2"), "x y");
  EXPECT_EQ(Var("R3"), "");
  EXPECT_EQ(Var("R4"), "");
  EXPECT_EQ(Var("I1"), "value");
  EXPECT_EQ(Var("I2"), "");
}

TEST_F(InterpreterTest, SystemQueryCodesThatAreNoNumberOrUnknownEndTheRun) {
  const std::vector<std::pair<Line, std::string>> cases{
      {{"Get System Settings", {"R", "two"}}, "'two' is not a valid integer value"},
      {{"Get System Settings", {"R", "58"}}, "'58' is not a known system setting code"},
      {{"Get Folder Location", {"R", "28", "TRUE"}}, "'28' is not a known folder code"},
      {{"Read Registry", {"R", "5", "Software", "x"}}, "'5' is not a known registry root code"},
      {{"Check File Version", {"R", "a.exe", "FALSE", "", "1.x.3"}},
       "'x' is not a valid integer value"},
  };
  for (const auto& [line, message] : cases) {
    FakeHost host;
    MessageTable messages;
    VariableStore store{messages};
    EngineState state;
    host.state = &state;
    Interpreter interpreter{host, host, store, messages};
    std::swap(state_, state);
    Load({line, Set("AFTER", "ran")});
    std::swap(state_, state);
    interpreter.Run(state, "c:\\s\\setup.msi");
    ASSERT_EQ(host.errors.size(), 1u) << message;
    EXPECT_EQ(host.errors[0], "Runtime error in setup script:\r\rLine 1: " + message);
    EXPECT_FALSE(store.Exists("AFTER"));
  }
}

}  // namespace
}  // namespace tavrel
