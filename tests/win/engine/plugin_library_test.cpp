// Plug-in libraries called through the system port: the result text in its
// forms, the libraries' failures and faults (after which the engine goes on
// calling), and progress reports from the libraries' threads.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/core/list_text.h"
#include "engine/win32/win32_startup_platform.h"
#include "engine/win32/win32_system_info.h"
#include "engine/win32/win32_system_port.h"

namespace tavrel {
namespace {

using Outcome = PluginResult::Outcome;

std::string TestLibrary(const std::string& name) {
  return std::string(TAVREL_TEST_BIN) + "/" + name;
}

// What the progress function saw, from whichever thread reported.
struct Reports {
  std::mutex lock;
  int count = 0;
  int textOnly = 0;
  int lastPosition = -2;
  std::set<DWORD> threads;
  int answerStopAfter = -1;  // answers false from this report on; -1: never
};

struct Case {
  const char* name;
  std::string library;
  std::string parameters;
  Outcome outcome;
  std::string failure = {};             // a part of the failure text
  std::vector<std::string> items = {};  // the whole result as a list, when given
  std::vector<std::string> has = {};    // name, value pairs the result holds
  int answerStopAfter = -1;
  double atMostSeconds = 60;
};

class PluginLibraryTest : public ::testing::Test {
 protected:
  Win32StartupPlatform platform_;
  Win32SystemInfo system_;
  Win32SystemPort port_{platform_, system_};
};

TEST_F(PluginLibraryTest, ResultsFailuresFaultsAndProgress) {
  const std::vector<std::string> store = {"TARGETDIR", "C:\\Program Files\\Tavrel Test\\",
                                          "OLD",       "gone soon",
                                          "QUOTED",    "say \"hi\", then \xE9t\xE9"};
  const std::string variables = WriteListText(store);
  const std::string editing = "SET NEW=a b,c;REMOVE OLD;ECHO QUOTED;SET COPY=$TARGETDIR$";
  const std::vector<std::string> edited = {"TARGETDIR",
                                           "C:\\Program Files\\Tavrel Test\\",
                                           "QUOTED",
                                           "say \"hi\", then \xE9t\xE9",
                                           "NEW",
                                           "a b,c",
                                           "ECHO_QUOTED",
                                           "say \"hi\", then \xE9t\xE9",
                                           "COPY",
                                           "$TARGETDIR$",
                                           "PLUGIN_PARAMETERS",
                                           editing,
                                           "PLUGIN_OWNER",
                                           "FALSE"};
  const std::string plain = WriteListText(std::vector<std::string>{
      "TARGETDIR", "C:\\Program Files\\Tavrel Test\\", "OLD", "gone soon", "QUOTED",
      "say \"hi\", then \xE9t\xE9", "PLUGIN_PARAMETERS", "LENGTH 12", "PLUGIN_OWNER", "FALSE"});
  const std::string crashed = "plugin_crash.dll stopped with exception ";
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string notLibrary = std::string(temp) + "plugin_text.dll";
  ASSERT_TRUE(port_.ReplaceFileText(notLibrary, "MZ but nothing more"));

  const std::vector<Case> cases = {
      {"edits", TestLibrary("plugin_variables.dll"), editing, Outcome::kReturned, {}, edited},
      {"thirty megabytes",
       TestLibrary("plugin_variables.dll"),
       "HUGE 31457280",
       Outcome::kReturned,
       {},
       {},
       {"HUGE", std::string(31457280, 'x')}},
      {"no variable left",
       TestLibrary("plugin_variables.dll"),
       "DROPALL",
       Outcome::kReturned,
       {},
       {}},
      // Shorter than its text, and no terminator: the text ends where the
      // length said.
      {"claims less than it writes",
       TestLibrary("plugin_variables.dll"),
       "LENGTH 12",
       Outcome::kReturned,
       {},
       ReadListText(plain.substr(0, 12))},
      {"first call fails", TestLibrary("plugin_fails.dll"), "", Outcome::kFailed,
       "plugin_fails.dll reported a failure"},
      {"no entry point", TestLibrary("plugin_noentry.dll"), "", Outcome::kNotLoaded,
       "plugin_noentry.dll has no RunTimeExecute"},
      {"no library", TestLibrary("plugin_missing.dll"), "", Outcome::kNotLoaded,
       "plugin_missing.dll could not be loaded: "},
      {"not a library", notLibrary, "", Outcome::kNotLoaded, "could not be loaded: "},
      {"null write in call 1", TestLibrary("plugin_crash.dll"), "", Outcome::kCrashed,
       crashed + "0xC0000005 at 0x"},
      {"null write in call 2", TestLibrary("plugin_crash.dll"), "SECOND", Outcome::kCrashed,
       crashed + "0xC0000005 at 0x"},
      {"illegal instruction", TestLibrary("plugin_crash.dll"), "ILLEGAL", Outcome::kCrashed,
       crashed + "0xC000001D at 0x"},
      {"division by zero", TestLibrary("plugin_crash.dll"), "DIVIDE", Outcome::kCrashed,
       crashed + "0xC0000094 at 0x"},
      {"stack overflow", TestLibrary("plugin_crash.dll"), "STACK", Outcome::kCrashed,
       crashed + "0xC00000FD at 0x"},
      {"exceptions it handles",
       TestLibrary("plugin_crash.dll"),
       "SEHOK",
       Outcome::kReturned,
       {},
       {},
       {"SEHOK", "TRUE"}},
      {"progress to the end",
       TestLibrary("plugin_progress.dll"),
       "SECONDS 1",
       Outcome::kReturned,
       {},
       {},
       {"STOPPED", "FALSE", "STOP_SEEN", "FALSE"}},
      {"stop honoured",
       TestLibrary("plugin_progress.dll"),
       "SECONDS 20",
       Outcome::kReturned,
       {},
       {},
       {"STOPPED", "TRUE", "STOP_SEEN", "TRUE"},
       5,
       3},
      {"stop ignored",
       TestLibrary("plugin_progress.dll"),
       "IGNORESTOP 1",
       Outcome::kReturned,
       {},
       {},
       {"STOPPED", "FALSE", "STOP_SEEN", "TRUE"},
       5},
      {"after the faults",
       TestLibrary("plugin_variables.dll"),
       editing,
       Outcome::kReturned,
       {},
       edited},
  };

  const LPTOP_LEVEL_EXCEPTION_FILTER before = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(before);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reports reports;
    reports.answerStopAfter = c.answerStopAfter;
    const PluginProgress progress = [&](int position, const std::string& text) {
      const std::lock_guard lock(reports.lock);
      ++reports.count;
      if (position == -1)
        ++reports.textOnly;
      else
        reports.lastPosition = position;
      if (text.empty()) ADD_FAILURE() << "a report without text";
      reports.threads.insert(GetCurrentThreadId());
      return reports.answerStopAfter < 0 || reports.count < reports.answerStopAfter;
    };
    PluginCall call;
    call.library = c.library;
    call.variables = variables;
    call.parameters = c.parameters;
    const auto start = std::chrono::steady_clock::now();
    const PluginResult result = port_.CallPlugin(call, progress);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(result.outcome, c.outcome) << result.failure;
    EXPECT_NE(result.failure.find(c.failure), std::string::npos) << result.failure;
    EXPECT_LE(seconds, c.atMostSeconds);
    if (c.outcome != Outcome::kReturned) {
      EXPECT_FALSE(result.failure.empty());
      continue;
    }
    const std::vector<std::string> items = ReadListText(result.text);
    if (!c.items.empty() || c.has.empty()) {
      EXPECT_EQ(items, c.items);
    }
    for (std::size_t i = 0; i + 1 < c.has.size(); i += 2) {
      bool found = false;
      for (std::size_t j = 0; j + 1 < items.size(); j += 2) {
        if (items[j] == c.has[i]) {
          found = true;
          EXPECT_TRUE(items[j + 1] == c.has[i + 1]) << c.has[i] << " has " << items[j + 1].size()
                                                    << " bytes: " << items[j + 1].substr(0, 40);
        }
      }
      EXPECT_TRUE(found) << c.has[i];
    }
    if (c.library.ends_with("plugin_progress.dll")) {
      // Positions from the calling thread, texts alone from the library's own.
      EXPECT_GE(reports.count, 5);
      EXPECT_GE(reports.textOnly, 1);
      EXPECT_GE(reports.threads.size(), 2u);
      if (c.answerStopAfter < 0) {
        EXPECT_EQ(reports.lastPosition, 100);
      }
    } else {
      EXPECT_EQ(reports.count, 0);
    }
  }
  DeleteFileA(notLibrary.c_str());
  // The call's fault filter is gone again.
  EXPECT_EQ(SetUnhandledExceptionFilter(before), before);
}

// A library thread that reports after the call has ended is answered "stop",
// and the report reaches nobody.
TEST_F(PluginLibraryTest, AReportAfterTheCallIsAnsweredStop) {
  PluginCall call;
  call.library = TestLibrary("plugin_progress.dll");
  call.parameters = "LATE;SECONDS 0.1";
  std::atomic<int> reports{0};
  auto progress = std::make_unique<PluginProgress>([&](int, const std::string&) {
    ++reports;
    return true;
  });
  ASSERT_EQ(port_.CallPlugin(call, *progress).outcome, Outcome::kReturned);
  const int during = reports.load();
  progress.reset();
  using Answer = int (*)();
  const HMODULE library = GetModuleHandleA("plugin_progress.dll");
  ASSERT_NE(library, nullptr);
  const auto answer =
      reinterpret_cast<Answer>(reinterpret_cast<void*>(GetProcAddress(library, "LateAnswer")));
  ASSERT_NE(answer, nullptr);
  for (int i = 0; i < 100 && answer() == -1; ++i) Sleep(20);
  EXPECT_EQ(answer(), 0);
  EXPECT_EQ(reports.load(), during);
}

// The sample plug-in for setup authors: it expands the parameter's variable
// reference itself and adds its variable to what it got.
TEST_F(PluginLibraryTest, SampleMeasuresTheFreeSpaceOfTheTargetDrive) {
  PluginCall call;
  call.library = std::string(TAVREL_WIN_BIN) + "/freespace.dll";
  call.variables = WriteListText(std::vector<std::string>{"TARGETDIR", "C:\\No Such Folder\\x"});
  call.parameters = "FREESPACE|$TARGETDIR$";
  int reports = 0;
  const PluginResult result = port_.CallPlugin(call, [&](int position, const std::string& text) {
    EXPECT_EQ(position, -1);
    EXPECT_EQ(text, "Measuring the free space on C:\\");
    ++reports;
    return true;
  });
  ASSERT_EQ(result.outcome, Outcome::kReturned) << result.failure;
  EXPECT_EQ(reports, 1);
  const std::vector<std::string> items = ReadListText(result.text);
  ASSERT_EQ(items.size(), 4u) << result.text;
  EXPECT_EQ(items[0], "TARGETDIR");
  EXPECT_EQ(items[1], "C:\\No Such Folder\\x");
  EXPECT_EQ(items[2], "FREESPACE");
  EXPECT_FALSE(items[3].empty());
  EXPECT_EQ(items[3].find_first_not_of("0123456789"), std::string::npos) << items[3];

  call.parameters = "FREESPACE";
  EXPECT_EQ(port_.CallPlugin(call, {}).outcome, Outcome::kFailed);
}

// A length no buffer can have, or one that can be had but is never written:
// a failure or the text actually written, and the engine goes on.
TEST_F(PluginLibraryTest, HostileLengthIsAnAnswerNotACrash) {
  PluginCall call;
  call.library = TestLibrary("plugin_variables.dll");
  call.parameters = "LENGTH 2147483647";
  const PluginResult result = port_.CallPlugin(call, {});
  if (result.outcome == Outcome::kFailed) {
    EXPECT_NE(result.failure.find("2147483647 bytes, which could not be allocated"),
              std::string::npos)
        << result.failure;
  } else {
    ASSERT_EQ(result.outcome, Outcome::kReturned) << result.failure;
    EXPECT_EQ(ReadListText(result.text),
              (std::vector<std::string>{"PLUGIN_PARAMETERS", "LENGTH 2147483647", "PLUGIN_OWNER",
                                        "FALSE"}));
  }
}

}  // namespace
}  // namespace tavrel
