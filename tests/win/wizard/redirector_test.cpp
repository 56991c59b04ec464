// The child-process runner under Wine: output blocks reach the owner thread in
// order and complete, the end comes last, misuse raises, and destruction ends
// the child without hanging on the reader thread.
#include "wizard/win32/redirector.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ombrwiz {
namespace {

std::string TestBin() {
  std::string folder = TAVREL_TEST_BIN;
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  return folder;
}

std::string Child(const std::string& steps) {
  return "\"" + TestBin() + "\\child_output.exe\" " + steps;
}

std::string Pattern(std::size_t size, char first) {
  std::string result(size, ' ');
  for (std::size_t i = 0; i < size; ++i) result[i] = static_cast<char>(first + i % 26);
  return result;
}

// Dispatches this thread's messages until done() holds; false on timeout.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  return true;
}

void PumpFor(DWORD milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

// Records every event of a runner in the order the owner thread sees them.
struct Recorder {
  std::string out, err;
  std::vector<std::string> events;  // "out", "err", "end", "error:<text>"
  int outBlocks = 0;
  bool runningAtEnd = false;
  bool foreignThread = false;
  DWORD owner = GetCurrentThreadId();

  void Attach(TRedirector& runner) {
    runner.OnData = [this](TRedirector&, const char* buffer, int size) {
      Check();
      out.append(buffer, static_cast<std::size_t>(size));
      ++outBlocks;
      events.push_back("out");
    };
    runner.OnErrorData = [this](TRedirector&, const char* buffer, int size) {
      Check();
      err.append(buffer, static_cast<std::size_t>(size));
      events.push_back("err");
    };
    runner.OnTerminated = [this](TRedirector& sender) {
      Check();
      runningAtEnd = sender.Running();
      events.push_back("end");
    };
    runner.OnError = [this](TRedirector&, const std::string& text) {
      Check();
      events.push_back("error:" + text);
    };
  }
  void Check() {
    if (GetCurrentThreadId() != owner) foreignThread = true;
  }
};

std::string RaisedText(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERedirector& error) {
    return error.what();
  }
  return "(nothing raised)";
}

// Destroys the runner and returns how long that took. A destruction that
// hangs ends the test program with a message rather than leaving it to the
// test driver's timeout.
ULONGLONG DestroyWatched(std::unique_ptr<TRedirector>& runner) {
  const HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread watchdog([done] {
    if (WaitForSingleObject(done, 10000) == WAIT_TIMEOUT) {
      constexpr char kText[] = "Destroying the runner did not return within 10 s\n";
      DWORD written = 0;
      WriteFile(GetStdHandle(STD_ERROR_HANDLE), kText, sizeof kText - 1, &written, nullptr);
      TerminateProcess(GetCurrentProcess(), 1);
    }
  });
  const ULONGLONG started = GetTickCount64();
  runner.reset();
  const ULONGLONG took = GetTickCount64() - started;
  SetEvent(done);
  watchdog.join();
  CloseHandle(done);
  return took;
}

bool ProcessEnds(HANDLE process, DWORD timeoutMs) {
  return WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
}

TEST(RedirectorTest, BlankOrMissingProgramStartsNothing) {
  TRedirector runner;
  Recorder recorder;
  recorder.Attach(runner);
  EXPECT_EQ(RaisedText([&] { runner.Run(); }), "No commandline to run");
  runner.SetCommandLine(" \t  ");
  EXPECT_EQ(RaisedText([&] { runner.Run(); }), "No commandline to run");
  EXPECT_FALSE(runner.Running());
  EXPECT_EQ(runner.ProcessId(), 0u);

  runner.SetCommandLine("\"" + TestBin() + "\\no_such_program.exe\" x");
  EXPECT_EQ(runner.Run(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(runner.Running());
  EXPECT_EQ(RaisedText([&] { runner.Terminate(1); }), "Cannot Terminate an inactive process");
  PumpFor(200);
  EXPECT_TRUE(recorder.events.empty());

  // Nothing is left over from the failures: a real program runs normally.
  runner.SetCommandLine(Child("out=fine"));
  ASSERT_EQ(runner.Run(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !runner.Running(); }));
  EXPECT_EQ(recorder.out, "fine");
}

TEST(RedirectorTest, LastOutputArrivesBeforeTheEnd) {
  TRedirector runner;
  Recorder recorder;
  recorder.Attach(runner);
  runner.SetCommandLine(Child("out=first\\r\\n sleep=300 err=warn out=last\\r\\n exit=3"));
  ASSERT_EQ(runner.Run(), 0u);
  EXPECT_TRUE(runner.Running());
  EXPECT_NE(runner.ProcessId(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !runner.Running(); }));
  EXPECT_EQ(recorder.out, "first\r\nlast\r\n");
  EXPECT_EQ(recorder.err, "warn");
  ASSERT_FALSE(recorder.events.empty());
  EXPECT_EQ(recorder.events.back(), "end");
  EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "end"), 1);
  // During OnTerminated the process still counts as running; afterwards not.
  EXPECT_TRUE(recorder.runningAtEnd);
  EXPECT_EQ(runner.ProcessId(), 0u);
  EXPECT_FALSE(recorder.foreignThread);
  EXPECT_EQ(runner.ErrorText(), "");

  // A longer poll interval still waits for the writes made just before exit.
  Recorder second;
  second.Attach(runner);
  runner.SetInterval(400);
  runner.SetCommandLine(Child("sleep=100 out=goodbye"));
  ASSERT_EQ(runner.Run(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !runner.Running(); }));
  EXPECT_EQ(second.out, "goodbye");
  ASSERT_EQ(second.events.size(), 2u);
  EXPECT_EQ(second.events.back(), "end");
}

TEST(RedirectorTest, LargeOutputArrivesCompleteOnBothStreams) {
  TRedirector runner;
  Recorder recorder;
  recorder.Attach(runner);
  runner.SetInterval(10);
  runner.SetCommandLine(Child("outbig=100000 err=oops errbig=50000 out=END"));
  ASSERT_EQ(runner.Run(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !runner.Running(); }, 20000));
  EXPECT_EQ(recorder.out.size(), 100003u);
  EXPECT_TRUE(recorder.out == Pattern(100000, 'a') + "END");
  EXPECT_EQ(recorder.err.size(), 50004u);
  EXPECT_TRUE(recorder.err == "oops" + Pattern(50000, 'A'));
  // A pipe of 1,024 bytes cannot hand 100 KB over in one block.
  EXPECT_GT(recorder.outBlocks, 1);
  EXPECT_EQ(recorder.events.back(), "end");
}

TEST(RedirectorTest, MisuseWhileRunningRaises) {
  TRedirector runner;
  Recorder recorder;
  recorder.Attach(runner);
  runner.SetDirectory(TestBin());
  runner.SetInitialPriority(TPriorityClass::pcNormal);
  runner.SetDefaultErrorMode(true);
  runner.SetCommandLine(Child("sleep=20000"));
  ASSERT_EQ(runner.Run(), 0u);

  EXPECT_EQ(RaisedText([&] { runner.Run(); }), "Process is already active");
  EXPECT_EQ(RaisedText([&] { runner.SetDefaultErrorMode(false); }),
            "Cannot change DefaultErrorMode while process is active");
  EXPECT_EQ(RaisedText([&] { runner.SetStartSuspended(true); }),
            "Cannot change StartSuspended while process is active");
  EXPECT_EQ(RaisedText([&] { runner.SetInitialPriority(TPriorityClass::pcHigh); }),
            "Cannot change InititalPriority while process is active");
  EXPECT_EQ(RaisedText([&] { runner.SetDirectory("C:\\"); }),
            "Cannot change Directory while process is active");
  // The same values, and the settings that may change, are accepted.
  EXPECT_NO_THROW(runner.SetDefaultErrorMode(true));
  EXPECT_NO_THROW(runner.SetStartSuspended(false));
  EXPECT_NO_THROW(runner.SetInitialPriority(TPriorityClass::pcNormal));
  EXPECT_NO_THROW(runner.SetDirectory(TestBin()));
  EXPECT_NO_THROW(runner.SetCommandLine(Child("out=next")));
  EXPECT_NO_THROW(runner.SetInterval(50));
  EXPECT_TRUE(runner.DefaultErrorMode());
  EXPECT_EQ(runner.Directory(), TestBin());

  const ULONGLONG started = GetTickCount64();
  runner.Terminate(7);
  ASSERT_TRUE(PumpUntil([&] { return !runner.Running(); }));
  EXPECT_LT(GetTickCount64() - started, 5000u);
  EXPECT_EQ(recorder.events, std::vector<std::string>{"end"});
  EXPECT_EQ(RaisedText([&] { runner.Terminate(1); }), "Cannot Terminate an inactive process");

  // Once it has ended everything may change, and the next run works.
  EXPECT_NO_THROW(runner.SetDirectory(""));
  EXPECT_NO_THROW(runner.SetDefaultErrorMode(false));
  ASSERT_EQ(runner.Run(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !runner.Running(); }));
  EXPECT_EQ(recorder.out, "next");
}

TEST(RedirectorTest, FolderAndSuspensionReachTheProcess) {
  TRedirector runner;
  Recorder recorder;
  recorder.Attach(runner);
  runner.SetDirectory(TestBin());
  runner.SetCommandLine(Child("cwd"));
  ASSERT_EQ(runner.Run(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !runner.Running(); }));
  EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, recorder.out.c_str(), -1,
                           TestBin().c_str(), -1),
            CSTR_EQUAL)
      << recorder.out;

  Recorder suspended;
  suspended.Attach(runner);
  EXPECT_EQ(RaisedText([&] { runner.Resume(); }), "Cannot Resume an inactive process");
  runner.SetStartSuspended(true);
  runner.SetInitialPriority(TPriorityClass::pcIdle);
  runner.SetCommandLine(Child("out=awake"));
  ASSERT_EQ(runner.Run(), 0u);
  // Wine reports every process as NORMAL_PRIORITY_CLASS, so the class itself
  // cannot be checked here; the run must simply work with it.
  PumpFor(400);
  EXPECT_TRUE(runner.Running());
  EXPECT_TRUE(suspended.events.empty());
  runner.Resume();
  ASSERT_TRUE(PumpUntil([&] { return !runner.Running(); }));
  EXPECT_EQ(suspended.out, "awake");
}

TEST(RedirectorTest, DestroyingEndsTheChildQuickly) {
  Recorder recorder;
  HANDLE process = nullptr;
  ULONGLONG took = 0;
  {
    auto runner = std::make_unique<TRedirector>();
    recorder.Attach(*runner);
    runner->SetCommandLine(Child("out=started sleep=20000"));
    ASSERT_EQ(runner->Run(), 0u);
    process = OpenProcess(SYNCHRONIZE, FALSE, runner->ProcessId());
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !recorder.out.empty(); }));
    took = DestroyWatched(runner);
  }
  EXPECT_LT(took, 3000u);
  EXPECT_TRUE(ProcessEnds(process, 3000));
  CloseHandle(process);
  PumpFor(300);
  EXPECT_EQ(recorder.events, std::vector<std::string>{"out"});
}

TEST(RedirectorTest, DestroyingWhileTheReaderWaitsForTheOwnerDoesNotHang) {
  // The owner does not pump, so the reader sits in SendMessage with the
  // first block when destruction begins.
  Recorder recorder;
  HANDLE process = nullptr;
  ULONGLONG took = 0;
  {
    auto runner = std::make_unique<TRedirector>();
    recorder.Attach(*runner);
    runner->SetCommandLine(Child("out=pending sleep=20000"));
    ASSERT_EQ(runner->Run(), 0u);
    process = OpenProcess(SYNCHRONIZE, FALSE, runner->ProcessId());
    ASSERT_NE(process, nullptr);
    Sleep(800);
    took = DestroyWatched(runner);
  }
  EXPECT_LT(took, 3000u);
  EXPECT_TRUE(ProcessEnds(process, 3000));
  CloseHandle(process);
  PumpFor(200);
  EXPECT_TRUE(recorder.events.empty());
}

TEST(RedirectorTest, WithoutKillOnDestroyTheChildRunsOnAndStillEnds) {
  auto runner = std::make_unique<TRedirector>();
  runner->SetKillOnDestroy(false);
  // It writes once more after its runner is gone; that write must fail
  // instead of blocking the program.
  runner->SetCommandLine(Child("sleep=700 outbig=5000"));
  ASSERT_EQ(runner->Run(), 0u);
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, runner->ProcessId());
  ASSERT_NE(process, nullptr);
  EXPECT_LT(DestroyWatched(runner), 3000u);
  EXPECT_FALSE(ProcessEnds(process, 0));
  EXPECT_TRUE(ProcessEnds(process, 5000));
  CloseHandle(process);
}

TEST(RedirectorTest, AnotherThreadPollingRunningSeesTheEndAfterTheLastOutput) {
  TRedirector runner;
  Recorder recorder;
  recorder.Attach(runner);
  std::atomic<bool> done{false};
  DWORD runResult = 1;
  std::size_t outputWhenEnded = 0;
  bool endWhenEnded = false;
  std::thread worker([&] {
    runner.SetCommandLine(Child("out=one sleep=200 outbig=20000 sleep=100 out=two"));
    runResult = runner.Run();
    if (runResult == 0) {
      while (runner.Running()) Sleep(20);
      outputWhenEnded = recorder.out.size();
      endWhenEnded = !recorder.events.empty() && recorder.events.back() == "end";
    }
    done = true;
  });
  const bool finished = PumpUntil([&] { return done.load(); });
  if (!finished) runner.Terminate(0);
  PumpUntil([&] { return done.load(); });
  worker.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(runResult, 0u);
  EXPECT_EQ(outputWhenEnded, 20006u);
  EXPECT_TRUE(endWhenEnded);
  EXPECT_FALSE(recorder.foreignThread);
}

TEST(RedirectorTest, AFailingHandlerIsReportedAndTheRunStillEnds) {
  TRedirector runner;
  Recorder recorder;
  recorder.Attach(runner);
  runner.OnData = [](TRedirector&, const char*, int) { throw std::runtime_error("boom"); };
  runner.SetCommandLine(Child("out=x sleep=100 err=y"));
  ASSERT_EQ(runner.Run(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !runner.Running(); }));
  ASSERT_FALSE(recorder.events.empty());
  EXPECT_EQ(recorder.events.front(), "error:boom");
  EXPECT_EQ(recorder.events.back(), "end");
  EXPECT_EQ(recorder.err, "y");
  EXPECT_EQ(runner.ErrorText(), "boom");
}

}  // namespace
}  // namespace ombrwiz
