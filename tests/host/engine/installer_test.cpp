// The installer run: the message handler and its progress rules driven by
// recorded message sequences, the texts the run writes, and "Apply Changes"
// through the interpreter against a scripted installer.
#include <gtest/gtest.h>

#include "engine/core/installer_messages.h"
#include "engine/core/installer_run.h"
#include "tests/host/engine/interpreter_harness.h"

namespace tavrel {
namespace {

namespace m = installer_message;
using Messages = std::vector<std::pair<std::uint32_t, std::string>>;

// Records the boxes and the progress the handler hands on.
struct RecordingHost : InstallerMessageHost {
  int ShowInstallerBox(const std::string& text, unsigned style) override {
    boxes.push_back(text + "|" + std::to_string(style));
    return button;
  }
  bool ReportProgress(std::int32_t position, std::int32_t total, std::int32_t minimum,
                      const std::string& text) override {
    last = std::to_string(position) + "/" + std::to_string(total) + "/" + std::to_string(minimum) +
           " " + text;
    return !stop;
  }
  std::vector<std::string> boxes;
  std::string last;
  int button = 6;
  bool stop = false;
};

struct ProgressCase {
  const char* what;
  Messages messages;
  const char* progress;  // position/total/minimum text
};

TEST(InstallerMessagesTest, ProgressFollowsTheInstallersMessages) {
  const std::vector<ProgressCase> cases = {
      {"reset, action information, three action data",
       {{m::kProgress, "1: 0 2: 1000 3: 0 4: 1 "},
        {m::kProgress, "1: 1 2: 25 3: 1 "},
        {m::kActionData, "a"},
        {m::kActionData, "b"},
        {m::kActionData, "c"}},
       "75/1000/0 c"},
      {"reports forward, then backward after a reset that says so",
       {{m::kProgress, "1: 0 2: 500 3: 0 "},
        {m::kProgress, "1: 2 2: 120 "},
        {m::kProgress, "1: 0 2: 0 3: 1 "},
        {m::kProgress, "1: 2 2: 20 "}},
       "-20/500/0 "},
      {"additions grow the total; action information 0 stops the steps",
       {{m::kProgress, "1: 0 2: 100 3: 0 "},
        {m::kProgress, "1: 3 2: 50 "},
        {m::kProgress, "1: 1 2: 10 3: 1 "},
        {m::kActionData, "x"},
        {m::kProgress, "1: 1 2: 10 3: 0 "},
        {m::kActionData, "y"}},
       "10/150/0 y"},
      {"a field that is not a number makes all of them 0: a reset",
       {{m::kProgress, "1: 0 2: 300 3: 0 "},
        {m::kProgress, "1: 2 2: 40 "},
        {m::kProgress, "1: 2 2: forty "}},
       "0/300/0 "},
      {"missing fields count as 0",
       {{m::kProgress, "1: 0 2: 80"}, {m::kProgress, "1: 2"}, {m::kProgress, "no fields"}},
       "0/80/0 "},
      {"action start keeps the words after the first full stop",
       {{m::kActionStart, "Action 10:20:30: InstallFiles. Copying new files"}},
       "0/0/0 Copying new files"},
      {"sums stay within 32 bits",
       {{m::kProgress, "1: 0 2: 2147483647 3: 0 "},
        {m::kProgress, "1: 3 2: 2147483647 "},
        {m::kProgress, "1: 2 2: 2147483647 "},
        {m::kProgress, "1: 2 2: 2147483647 "}},
       "2147483647/2147483647/0 "},
  };
  const MessageTable messages;
  for (const ProgressCase& c : cases) {
    SCOPED_TRACE(c.what);
    InstallerMessageState state;
    RecordingHost host;
    InstallerMessageHandler handler(state, messages, true, host);
    for (const auto& [type, text] : c.messages) EXPECT_EQ(handler.Handle(type, text), 1);
    EXPECT_EQ(host.last, c.progress);
  }
}

struct AnswerCase {
  std::uint32_t type;
  bool quiet;
  int answer;
  const char* box;  // "" when none is shown
};

TEST(InstallerMessagesTest, QuestionsBecomeBoxesUnlessQuiet) {
  const std::uint32_t yesNo = 4;
  const std::vector<AnswerCase> cases = {
      {m::kFatalExit | yesNo, false, 6, "Fatal Error\r\rtext|20"},
      {m::kFatalExit, true, 0, ""},
      {m::kError | yesNo, false, 6, "Error\r\rtext|20"},
      {m::kError, true, 1, ""},
      {m::kWarning, false, 6, "Warning\r\rtext|48"},
      {m::kWarning, true, 1, ""},
      {m::kUser | yesNo, false, 6, "text|36"},
      {m::kOutOfDiskSpace, false, 6, "Out of Disk Space\r\rtext|16"},
      {m::kFilesInUse, true, 0, ""},
      {m::kResolveSource, false, 0, ""},
      {m::kInfo, false, 1, ""},
      {m::kInitialize, false, 1, ""},
      {0x0F000000, false, 0, ""},
  };
  const MessageTable messages;
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.type >> 24) + (c.quiet ? " quiet" : ""));
    InstallerMessageState state;
    RecordingHost host;
    InstallerMessageHandler handler(state, messages, c.quiet, host);
    EXPECT_EQ(handler.Handle(c.type, "text"), c.answer);
    EXPECT_EQ(host.boxes,
              c.box[0] == '\0' ? std::vector<std::string>{} : std::vector<std::string>{c.box});
  }
}

TEST(InstallerMessagesTest, StopAnswersCancelAndErrorsAreKept) {
  const MessageTable messages;
  InstallerMessageState state;
  RecordingHost host;
  InstallerMessageHandler handler(state, messages, true, host);
  EXPECT_EQ(handler.Handle(m::kError, "Disk full."), 1);
  EXPECT_EQ(handler.Handle(m::kWarning, "careful"), 1);
  EXPECT_EQ(handler.LastError(), "Disk full.");
  host.stop = true;
  EXPECT_EQ(handler.Handle(m::kInfo, "anything"), 2);
  EXPECT_EQ(handler.Handle(m::kFatalExit, "Gave up"), 2);
  EXPECT_EQ(handler.LastError(), "Gave up");
}

// ---- The run's texts ----

TEST(InstallerTextTest, CommandLinesHandOffAndLogHeader) {
  InstallerFolders folders{"C:\\TEMP\\TVL1\\", false, "D:\\SETUP\\DATA\\", false,
                           MediaPathOf("D:\\SETUP\\DATA\\")};
  EXPECT_EQ(folders.media, "\\SETUP\\");
  EXPECT_EQ(MediaPathOf("\\\\server\\share\\setup\\data\\"), "\\setup\\");
  EXPECT_EQ(InstallCommandLine(false, true, folders),
            "ADDLOCAL=ALL ALLUSERS=1 ARPSYSTEMCOMPONENT=1 ARPNOREMOVE=1 ARPNOMODIFY=1 "
            "ARPNOREPAIR=1 SRCDIR=D:\\SETUP\\DATA\\ SOURCELIST=D:\\SETUP\\DATA\\;C:\\TEMP\\TVL1\\ "
            "MEDIAPACKAGEPATH=\\SETUP\\ REBOOT=R ");
  folders.data = "D:\\MY SETUP\\DATA\\";
  folders.quoteData = true;
  folders.media = MediaPathOf(folders.data);
  EXPECT_EQ(InstallCommandLine(true, false, folders),
            "REINSTALL=ALL REINSTALLMODE=vomus ALLUSERS=\"\" ARPSYSTEMCOMPONENT=1 ARPNOREMOVE=1 "
            "ARPNOMODIFY=1 ARPNOREPAIR=1 SRCDIR=\"D:\\MY SETUP\\DATA\\\" "
            "SOURCELIST=\"D:\\MY SETUP\\DATA\\;C:\\TEMP\\TVL1\\\" "
            "MEDIAPACKAGEPATH=\"\\MY SETUP\\\" REBOOT=R ");
  const auto removal = RemovalProperties(false, folders);
  ASSERT_EQ(removal.size(), 6u);
  EXPECT_EQ(removal[0], (std::pair<std::string, std::string>{"ALLUSERS", ""}));
  EXPECT_EQ(removal[1], (std::pair<std::string, std::string>{"REMOVE", "ALL"}));
  EXPECT_EQ(removal[2].second, "\"D:\\MY SETUP\\DATA\\\"");
  EXPECT_EQ(removal[5], (std::pair<std::string, std::string>{"REBOOT", "R"}));

  EXPECT_EQ(HandOffText(folders, {"SKIP", "TRUE", "FALSE"},
                        {"PARAMETER2_1", "C:\\\\App\\\\bin", "QORVTEMP", "\\\\srv\\\\t\\"},
                        {"TITLE", "x", "targetdir", "C:\\\\Program Files\\\\App\\"}),
            "SourceDir\r\nD:\\MY SETUP\\DATA\\\r\nMEDIAPACKAGEPATH\r\n\\MY SETUP\\\r\n"
            "ACTION1\r\nSKIP\r\nACTION2\r\nTRUE\r\nACTION3\r\nFALSE\r\n"
            "PARAMETER2_1\r\nC:\\App\\bin\r\nQORVTEMP\r\n\\\\srv\\t\\\r\n"
            "targetdir\r\nC:\\Program Files\\App\\\r\n");

  InstallerInputs inputs;
  inputs.variables = "TITLE,App";
  inputs.actions = {"SKIP", "TRUE"};
  inputs.properties = {};
  inputs.database = "C:\\TEMP\\tvl1\\setup.msi";
  inputs.productCode = "{P}";
  EXPECT_EQ(LogHeaderText("10.12.2026 01:02:03", inputs, folders),
            "=== Tavrel: Applying Changes @10.12.2026 01:02:03 ===\r\n\r\n"
            "*** Variables ***\r\nTITLE,App\r\n\r\n"
            "*** Properties ***\r\n\r\n\r\n"
            "*** Actions ***\r\nSKIP,TRUE\r\n\r\n"
            "*** MSI Database ***\r\nC:\\TEMP\\tvl1\\setup.msi\r\n\r\n"
            "*** GUID ***\r\n{P}\r\n\r\n"
            "*** Data Directory ***\r\nD:\\MY SETUP\\DATA\\\r\n\r\n"
            "*** Media Directory ***\r\n\\MY SETUP\\\r\n\r\n"
            "*** MSI Directory ***\r\nC:\\TEMP\\TVL1\\\r\n\r\n\r\n");
}

// ---- "Apply Changes" through the interpreter ----

class ApplyChangesTest : public InterpreterTest {
 protected:
  ApplyChangesTest() {
    state_.tempFolder = "C:\\TEMP\\";
    state_.supportFolder = "C:\\TEMP\\tvl1\\";
    state_.script.productCode = "{PRODUCT}";
    state_.commandLine.silent = true;
    host_.start.dataDir = "D:\\SETUP\\DATA\\";
    host_.handOffPath = "C:\\TEMP\\{PRODUCT}";
    // Folders without blanks keep their names; the database folder has none.
    host_.shortPath = [](const std::string& path) {
      return path.find("tvl1") != std::string::npos ? std::string("C:\\TEMP\\TVL1\\") : path;
    };
  }

  // Installs files into the typed folder, then applies.
  void RunInstall(const std::string& install = "TRUE") {
    Run({Set("TARGETDIR", "C:\\\\Program Files\\\\App\\"),
         {"Install Files", {"files", "", "$TARGETDIR$\\bin"}},
         {"Apply Changes", {"Progress", "RESULT", install}}});
  }
};

TEST_F(ApplyChangesTest, InstallWritesTheRecordedPropertiesAndReportsTheOutcome) {
  host_.installerMessages = {{m::kActionStart, "Action 1: InstallFiles. Copying new files"}};
  RunInstall();
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  EXPECT_EQ(host_.databaseProperties,
            (std::vector<std::string>{"c:\\s\\setup.msi|PARAMETER2_1=C:\\Program Files\\App\\bin",
                                      "c:\\s\\setup.msi|QORVTEMP=C:\\TEMP\\"}));
  ASSERT_EQ(host_.sessions.size(), 1u);
  const InstallerSession& session = host_.sessions[0];
  EXPECT_TRUE(session.install);
  EXPECT_EQ(session.commandLine.substr(0, 24), "ADDLOCAL=ALL ALLUSERS=\"\"");
  EXPECT_NE(session.commandLine.find(" SRCDIR=D:\\SETUP\\DATA\\ SOURCELIST=D:\\SETUP\\DATA\\;"
                                     "c:\\s\\ MEDIAPACKAGEPATH=\\SETUP\\ REBOOT=R "),
            std::string::npos);
  EXPECT_TRUE(session.logPath.empty());
  // The hand-off file is there while the installer runs, and only then.
  EXPECT_NE(
      host_.handOffDuringSession.find("ACTION1\r\nSKIP\r\nACTION2\r\nTRUE\r\nACTION3\r\nSKIP\r\n"
                                      "TARGETDIR\r\nC:\\Program Files\\App\\\r\n"),
      std::string::npos);
  EXPECT_EQ(host_.files.count("C:\\TEMP\\{PRODUCT}"), 0u);
  EXPECT_EQ(host_.installerAnswers, std::vector<int>{1});
  // Busy only while it ran, in the progress page's folder.
  const auto& events = host_.events;
  const auto busy = std::find(events.begin(), events.end(), "busy on");
  ASSERT_NE(busy, events.end());
  EXPECT_EQ(*(busy - 2), "current folder C:\\TEMP\\tvl1\\");
  EXPECT_NE(std::find(busy, events.end(), "busy off"), events.end());
  EXPECT_EQ(host_.currentFolder, "C:\\work\\");
}

struct OutcomeCase {
  const char* what;
  int productState;
  InstallerSessionResult result;
  Messages messages;
  const char* generalFailure;  // the language's text for it
  const char* word;
  const char* lastError;
  const char* reboot;
};

class ApplyChangesOutcomeTest : public ApplyChangesTest,
                                public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(ApplyChangesOutcomeTest, OutcomesBecomeResultWordsAndLastError) {
  const OutcomeCase& c = GetParam();
  host_.productState = c.productState;
  host_.sessionResult = c.result;
  host_.installerMessages = c.messages;
  host_.errorTexts[1603] = "Fatal error during installation.";
  std::string language;
  for (int line = 1; line <= MessageTable::kCount; ++line) {
    language += (line == msg::kGeneralSetupFailure ? std::string(c.generalFailure)
                                                   : std::string(MessageTable::DefaultText(line))) +
                "\r\n";
  }
  messages_.ReadLanguageFile(language);
  RunInstall();
  EXPECT_EQ(Var("RESULT"), c.word);
  EXPECT_EQ(Var("LASTERROR"), c.lastError);
  EXPECT_EQ(Var("REBOOTCOMPUTER"), c.reboot);
  ASSERT_EQ(host_.sessions.size(), 1u);
  EXPECT_EQ(host_.sessions[0].commandLine.starts_with("REINSTALL=ALL REINSTALLMODE=vomus "),
            c.productState == kProductInstalled);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, ApplyChangesOutcomeTest,
                         ::testing::Values(OutcomeCase{"restart needed, product installed",
                                                       kProductInstalled,
                                                       {true, "", 3010, false},
                                                       {},
                                                       "x",
                                                       "REBOOT",
                                                       "",
                                                       "TRUE"},
                                           OutcomeCase{
                                               "an error with the system's text, full stop kept",
                                               -1,
                                               {true, "", 1603, false},
                                               {},
                                               "x",
                                               "ERROR",
                                               "Fatal error during installation.",
                                               "FALSE"},
                                           OutcomeCase{"no system text: the installer's last error",
                                                       -1,
                                                       {true, "", 1234, false},
                                                       {{m::kError, "Could not write value."}},
                                                       "x",
                                                       "ERROR",
                                                       "Could not write value",
                                                       "FALSE"},
                                           OutcomeCase{"nothing at all: the general failure",
                                                       -1,
                                                       {true, "", 1234, false},
                                                       {},
                                                       "General setup failure.",
                                                       "ERROR",
                                                       "General setup failure",
                                                       "FALSE"},
                                           OutcomeCase{"a full stop inside stays",
                                                       -1,
                                                       {true, "", 1234, false},
                                                       {},
                                                       "Setup failed. Sorry.",
                                                       "ERROR",
                                                       "Setup failed. Sorry.",
                                                       "FALSE"},
                                           OutcomeCase{"Windows Installer missing",
                                                       -1,
                                                       {false, "msi.dll is not there", 0, false},
                                                       {},
                                                       "x",
                                                       "ERROR",
                                                       "msi.dll is not there",
                                                       "FALSE"}));

TEST_F(ApplyChangesTest, RemovalSetsItsProperties) {
  Run({Set("ALLUSERS", "TRUE"), {"Apply Changes", {"Progress", "RESULT", "FALSE"}}});
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  ASSERT_EQ(host_.sessions.size(), 1u);
  EXPECT_FALSE(host_.sessions[0].install);
  const auto& properties = host_.sessions[0].removalProperties;
  ASSERT_EQ(properties.size(), 6u);
  EXPECT_EQ(properties[0], (std::pair<std::string, std::string>{"ALLUSERS", "1"}));
  EXPECT_EQ(properties[2], (std::pair<std::string, std::string>{"SRCDIR", "D:\\SETUP\\DATA\\"}));
}

TEST_F(ApplyChangesTest, ACancelConfirmedOnThePageWins) {
  // The user confirms the cancel question while the installer runs.
  host_.sessionRunsUntilCancelled = true;
  state_.commandLine.silent = false;
  host_.onMessage = [this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (host_.inSession) host_.cancelState = -1;
  };
  Run({{"Apply Changes", {"Progress", "RESULT", "TRUE"}}});
  EXPECT_EQ(Var("RESULT"), "CANCEL");
  EXPECT_EQ(host_.installerAnswers, std::vector<int>{2});
}

TEST_F(ApplyChangesTest, AMaintenanceRunAsksForTheSourcesUntilFound) {
  host_.browseAnswers = {"E:\\nothing", "E:\\cd"};
  host_.files["E:\\cd\\data\\{PRODUCT}"] = "";
  state_.commandLine.silent = false;
  host_.onMessage = [] {};
  Run({Set("MAINTENANCE", "TRUE"),
       Set("RESULT", ""),
       {"Apply Changes", {"Progress", "RESULT", "TRUE"}}});
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  ASSERT_EQ(host_.sessions.size(), 1u);
  EXPECT_NE(host_.sessions[0].commandLine.find("SRCDIR=E:\\cd\\data\\ "), std::string::npos);
}

TEST_F(ApplyChangesTest, SilentMaintenanceWithoutSourcesRunsNothing) {
  Run({Set("MAINTENANCE", "TRUE"),
       Set("RESULT", ""),
       {"Apply Changes", {"Progress", "RESULT", "TRUE"}}});
  EXPECT_EQ(Var("RESULT"), "CANCEL");
  EXPECT_EQ(Var("LASTERROR"),
            "Original setup sources required to complete operation, sources not found");
  EXPECT_TRUE(host_.sessions.empty());
}

}  // namespace
}  // namespace tavrel
