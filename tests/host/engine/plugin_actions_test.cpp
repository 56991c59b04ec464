// Plug-in commands through the interpreter: what the library is given, the
// variable store it returns, its progress and the stop answer, and what
// each way of failing leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/engine/interpreter_harness.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using Outcome = PluginResult::Outcome;
using Marks = std::vector<std::string>;

constexpr const char* kLibrary = "c:\\t\\tvl1\\run.dll";

class PluginTest : public InterpreterTest {
 protected:
  PluginTest() {
    state_.supportFolder = "c:\\t\\tvl1\\";
    state_.script.pluginCommands = {"Reports Plug-in"};
    host_.files[kLibrary] = "";
  }

  // The plug-in command between two marks; the names are compared without
  // regard to case.
  void RunPlugin() {
    Run({Set("OLD", "kept"),
         {"reports plug-in", {"$OLD$ as written", "Design.dll\\run.dll"}},
         Mark("after")});
  }

  bool Seen(const std::string& event) {
    const std::lock_guard lock(host_.eventsMutex);
    for (const std::string& e : host_.events) {
      if (e == event) return true;
    }
    return false;
  }

  // Waits, at most two seconds, until the page has shown the event.
  bool AwaitShown(const std::string& event) {
    for (int i = 0; i < 2000 && !Seen(event); ++i) std::this_thread::sleep_for(1ms);
    return Seen(event);
  }
};

TEST_F(PluginTest, TheReturnedListTextBecomesTheVariableStore) {
  host_.plugin = [](const PluginCall&, const PluginProgress&) {
    return PluginResult{Outcome::kReturned, "NEW,\"a,b\",EMPTY,", ""};
  };
  host_.start.dataDir = "c:\\s\\data\\";
  RunPlugin();
  ASSERT_EQ(host_.pluginCalls.size(), 1u);
  const PluginCall& call = host_.pluginCalls[0];
  EXPECT_EQ(call.library, kLibrary) << "the support folder and the run-time library's name";
  EXPECT_EQ(call.parameters, "$OLD$ as written");
  EXPECT_NE(call.variables.find("OLD,kept"), std::string::npos) << call.variables;
  EXPECT_EQ(Var("NEW"), "a,b");
  EXPECT_EQ(Var("EMPTY"), "");
  EXPECT_FALSE(store_.Exists("OLD")) << "a variable missing from the result is gone";
  EXPECT_EQ(marks_, (Marks{"after"}));
}

TEST_F(PluginTest, ALibraryOnTheMediumIsLookedForInTheSourcesTheUserPicks) {
  host_.start.dataDir = "c:\\setup\\data\\";
  host_.browseAnswers = {"e:\\elsewhere", "d:\\cd"};
  host_.files["d:\\cd\\data\\Design.dll\\run.dll"] = "";
  host_.plugin = [](const PluginCall&, const PluginProgress&) {
    return PluginResult{Outcome::kReturned, "FOUND,yes", ""};
  };
  Load({{"Reports Plug-in", {"", "Design.dll\\run.dll"}}, Mark("after")});
  state_.script.mediaFolders[0] = "OFFLINE\\";
  interpreter_.Run(state_, "c:\\s\\setup.msi");
  ASSERT_EQ(host_.pluginCalls.size(), 1u);
  EXPECT_EQ(host_.pluginCalls[0].library, "d:\\cd\\data\\Design.dll\\run.dll");
  EXPECT_EQ(Var("FOUND"), "yes");
}

TEST_F(PluginTest, ASilentRunWithoutTheMediumEndsForWantOfSources) {
  state_.commandLine.silent = true;
  Load({{"Reports Plug-in", {"", "Design.dll\\run.dll"}}, Mark("after")});
  state_.script.mediaFolders[0] = "OFFLINE\\";
  host_.silent = true;
  interpreter_.Run(state_, "c:\\s\\setup.msi");
  EXPECT_TRUE(host_.pluginCalls.empty());
  EXPECT_TRUE(marks_.empty());
  EXPECT_NE(std::find(host_.trace.begin(), host_.trace.end(),
                      "runtime error on line 1: Original setup sources required to complete "
                      "operation, sources not found"),
            host_.trace.end());
}

constexpr const char* kLoadBox =
    "box 0 Tavrel|Unable to load plug-in library. Please rebuild your project and make sure all "
    "required plug-ins are installed.\r\rAction skipped 16";

struct FailureCase {
  const char* name;
  bool present;
  Outcome outcome;
  bool silent;
  const char* box;    // "" for none
  const char* error;  // "" when the run goes on
};

class PluginFailureTest : public PluginTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PluginFailureTest, SkipsTheActionOrEndsTheRunAndKeepsTheVariables) {
  const FailureCase& x = GetParam();
  if (!x.present) host_.files.erase(kLibrary);
  state_.commandLine.silent = x.silent;
  host_.plugin = [&](const PluginCall&, const PluginProgress&) {
    return PluginResult{x.outcome, "", "exception 0xC0000005"};
  };
  RunPlugin();
  EXPECT_EQ(Var("OLD"), "kept");
  EXPECT_EQ(host_.pluginCalls.size(), x.present ? 1u : 0u);
  std::vector<std::string> boxes;
  for (const std::string& event : host_.events) {
    if (event.starts_with("box ")) boxes.push_back(event);
  }
  EXPECT_EQ(boxes, std::string(x.box).empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{x.box});
  EXPECT_EQ(host_.errors, std::string(x.error).empty() ? std::vector<std::string>{}
                                                       : std::vector<std::string>{x.error});
  EXPECT_EQ(marks_, std::string(x.error).empty() ? Marks{"after"} : Marks{});
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, PluginFailureTest,
    ::testing::Values(FailureCase{"missing", false, Outcome::kReturned, false, kLoadBox, ""},
                      FailureCase{"not loaded", true, Outcome::kNotLoaded, false, kLoadBox, ""},
                      FailureCase{"not loaded, silent", true, Outcome::kNotLoaded, true, "", ""},
                      FailureCase{"answered -1", true, Outcome::kFailed, false, "", ""},
                      FailureCase{
                          "crashed", true, Outcome::kCrashed, false, "",
                          "Runtime error in setup script:\r\rLine 2: The plug-in reports plug-in "
                          "(run.dll) failed: exception 0xC0000005"}),
    [](const ::testing::TestParamInfo<FailureCase>& param) {
      std::string name;
      for (const char c : std::string(param.param.name)) {
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
      }
      return name;
    });

TEST_F(PluginTest, ProgressReachesThePageAndCancelStopsTheLibrary) {
  host_.onMessage = [&] {
    if (Seen("progress text only -1 100 0")) host_.cancelState = -1;
    std::this_thread::sleep_for(1ms);
  };
  host_.plugin = [&](const PluginCall&, const PluginProgress& progress) {
    EXPECT_TRUE(AwaitShown("progress Working -1 100 0")) << "the script's text first";
    progress(50, "half");
    EXPECT_TRUE(AwaitShown("progress half 50 100 0"));
    // A report without a position changes the text only.
    for (int i = 0; i < 2000; ++i) {
      if (!progress(-1, "text only")) return PluginResult{Outcome::kReturned, "STOPPED,TRUE", ""};
      std::this_thread::sleep_for(1ms);
    }
    return PluginResult{Outcome::kReturned, "STOPPED,FALSE", ""};
  };
  Run({Set("PROGRESSTEXT", "Working"), {"Reports Plug-in", {"", "run.dll"}}});
  EXPECT_EQ(Var("STOPPED"), "TRUE");
  EXPECT_TRUE(Seen("busy on"));
  EXPECT_TRUE(Seen("busy off"));
}

}  // namespace
}  // namespace tavrel
