// TRedirector: runs a console program hidden, with its standard input, output
// and error on pipes, and hands every block of its output to the owner.
//
// Threads. The component belongs to the thread that creates it (the owner
// thread): it makes a hidden message-only window there, and its reader thread
// sends every output block, every read error and the end of the process to
// that window. All events and the final clean-up therefore run on the owner
// thread, and only while that thread pumps messages; a run makes no progress
// while the owner thread is blocked. Run, Running, Terminate and the property
// setters may be called from any thread (the package build starts the signing
// tools from its worker thread and polls Running while the owner pumps);
// Running only turns false after the owner thread has delivered the last
// output and raised OnTerminated. Destroy the component on its owner thread,
// and not from inside one of its own events.
//
// Read errors. A pipe that cannot be read is reported through OnError with the
// text "Error reading STDOUT pipe : " (or STDERR) followed by the Windows
// error code, on the owner thread; the text is also kept for ErrorText. The
// runner then stops reading that pipe (closing its end, so the program's
// further writes fail instead of blocking), keeps watching the program and
// finishes the run as usual when it ends: OnTerminated is raised and Running
// turns false, so a caller that polls Running never waits forever. An
// exception thrown by an event handler is caught at the window and reported
// through OnError in the same way.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/win32/handle_owner.h"

namespace ombrwiz {

class ERedirector : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TPriorityClass { pcDefault, pcIdle, pcNormal, pcHigh, pcRealtime };

class TRedirector {
 public:
  using TDataEvent = std::function<void(TRedirector& sender, const char* buffer, int size)>;
  using TNotifyEvent = std::function<void(TRedirector& sender)>;
  using TErrorEvent = std::function<void(TRedirector& sender, const std::string& message)>;

  // Creates the component's window on the calling thread, which becomes the
  // owner thread. Raises ERedirector when the window cannot be created.
  TRedirector();
  // With KillOnDestroy and a running process: clears OnTerminated, stops the
  // reader thread and ends the process with exit code 0. Without
  // KillOnDestroy the process runs on, cut off from its pipes. No event is
  // raised once destruction has begun.
  ~TRedirector();
  TRedirector(const TRedirector&) = delete;
  TRedirector& operator=(const TRedirector&) = delete;

  // Starts CommandLine. Returns 0, or the Windows error code when the process
  // cannot be created. Raises "Process is already active" and "No commandline
  // to run" (CommandLine empty or blanks only), and a pipe creation or
  // duplication error followed by its error code.
  DWORD Run();
  // True from a successful Run until the owner thread has delivered the last
  // output, raised OnTerminated and closed the handles. Safe on any thread.
  bool Running() const { return active_.load(); }
  // Ends the process; raises "Cannot Terminate an inactive process" when none
  // runs. The output still waiting is delivered and OnTerminated raised as for
  // a process that ends by itself.
  void Terminate(UINT exitCode);
  // Resumes a process started with StartSuspended; raises "Cannot Resume an
  // inactive process" when none runs.
  void Resume();
  // The running process's id, 0 when none runs.
  DWORD ProcessId() const { return processId_.load(); }
  // The text of the last read error or handler failure since the last Run;
  // empty when none.
  std::string ErrorText() const;

  bool KillOnDestroy() const { return killOnDestroy_.load(); }
  void SetKillOnDestroy(bool value) { killOnDestroy_ = value; }
  std::string CommandLine() const;
  void SetCommandLine(std::string value);
  // Poll interval of the reader thread in milliseconds; negative counts as 0.
  int Interval() const { return interval_.load(); }
  void SetInterval(int value) { interval_ = value < 0 ? 0 : value; }

  // These four may not change while a process runs: a different value then
  // raises, the same value is accepted.
  bool DefaultErrorMode() const;
  void SetDefaultErrorMode(bool value);
  bool StartSuspended() const;
  void SetStartSuspended(bool value);
  TPriorityClass InitialPriority() const;
  void SetInitialPriority(TPriorityClass value);
  std::string Directory() const;
  void SetDirectory(std::string value);

  // Raised on the owner thread. Set them while no process runs.
  TDataEvent OnData;          // a block of standard output
  TDataEvent OnErrorData;     // a block of standard error
  TNotifyEvent OnTerminated;  // the process ended and all its output was delivered
  TErrorEvent OnError;        // a read error or a failing event handler

 private:
  enum class Stream { kOutput, kError };
  enum class PipeState { kEmpty, kDelivered };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static DWORD WINAPI ReaderThreadProc(LPVOID self);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void ReaderLoop();
  PipeState ServicePipe(Stream stream);
  bool WaitStop(DWORD milliseconds) const;
  void Report(const std::string& message);
  void CreatePipes();
  void CloseProcessHandles();
  void FinishOnOwnerThread();
  void WaitForReader(bool answerSentMessages);
  void RequireInactive(bool changed, const char* message) const;

  HWND window_ = nullptr;

  mutable std::mutex mutex_;  // guards the settings, the handles and errorText_
  std::atomic<bool> killOnDestroy_{true};
  std::atomic<int> interval_{100};
  std::string commandLine_;
  bool defaultErrorMode_ = false;
  bool startSuspended_ = false;
  TPriorityClass initialPriority_ = TPriorityClass::pcDefault;
  std::string directory_;
  std::string errorText_;

  // The child's and the parent's ends of the three pipes, and the process.
  common::KernelHandle inChild_, inParent_;
  common::KernelHandle outChild_, outParent_;
  common::KernelHandle errChild_, errParent_;
  common::KernelHandle process_, processThread_;
  std::atomic<DWORD> processId_{0};
  std::atomic<bool> active_{false};

  common::KernelHandle readerThread_;
  common::KernelHandle stopEvent_;  // set once, when destruction begins
  std::atomic<bool> stopping_{false};
};

}  // namespace ombrwiz
