#include "wizard/win32/redirector.h"

#include <string_view>
#include <utility>
#include <vector>

namespace ombrwiz {

namespace {

// Messages the reader thread sends to the component's window.
constexpr UINT kDataMessage = WM_APP + 0x2B0;   // wParam: stream, lParam: const Block*
constexpr UINT kErrorMessage = WM_APP + 0x2B1;  // lParam: const std::string*
constexpr UINT kEndMessage = WM_APP + 0x2B2;

constexpr const char* kWindowClass = "OmbrwizRedirectorWindow";
constexpr DWORD kPipeBufferSize = 1024;
// Upper bound of one read, so a block's size always fits the events' int.
constexpr DWORD kLargestBlock = 1 << 20;

struct Block {
  const char* data;
  int size;
};

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

DWORD PriorityFlag(TPriorityClass priority) {
  switch (priority) {
    case TPriorityClass::pcIdle:
      return IDLE_PRIORITY_CLASS;
    case TPriorityClass::pcNormal:
      return NORMAL_PRIORITY_CLASS;
    case TPriorityClass::pcHigh:
      return HIGH_PRIORITY_CLASS;
    case TPriorityClass::pcRealtime:
      return REALTIME_PRIORITY_CLASS;
    case TPriorityClass::pcDefault:
      break;
  }
  return 0;
}

// Makes one pipe. The pipe is created with private handles; the child's end
// is then duplicated in place as inheritable, so the child inherits only its
// own end and never a second copy of ours.
void MakePipe(common::KernelHandle& childEnd, common::KernelHandle& parentEnd, bool childReads,
              const char* name) {
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, kPipeBufferSize)) {
    const DWORD code = GetLastError();
    throw ERedirector(std::string("Error on ") + name + " pipe creation : " + std::to_string(code));
  }
  parentEnd.Reset(childReads ? writeEnd : readEnd);
  const HANDLE source = childReads ? readEnd : writeEnd;
  const HANDLE self = GetCurrentProcess();
  HANDLE inheritable = nullptr;
  // DUPLICATE_CLOSE_SOURCE closes the source whether or not the call succeeds.
  if (!DuplicateHandle(self, source, self, &inheritable, 0, TRUE,
                       DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS)) {
    const DWORD code = GetLastError();
    throw ERedirector(std::string("Error on ") + name +
                      " pipe duplication : " + std::to_string(code));
  }
  childEnd.Reset(inheritable);
}

void RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;  // replaced per window below
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  (void)registered;
}

}  // namespace

TRedirector::TRedirector() {
  stopEvent_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (stopEvent_.Get() == nullptr) {
    const DWORD code = GetLastError();
    throw ERedirector("Cannot create the redirector's stop event : " + std::to_string(code));
  }
  RegisterWindowClass();
  window_ = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  if (window_ == nullptr) {
    const DWORD code = GetLastError();
    throw ERedirector("Cannot create the redirector's window : " + std::to_string(code));
  }
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TRedirector::WindowProc));
}

TRedirector::~TRedirector() {
  const bool kill = active_.load() && killOnDestroy_.load();
  if (kill) OnTerminated = nullptr;
  // From here on the window ignores whatever the reader thread still sends,
  // and the reader leaves at its next check. The wait below keeps answering
  // sent messages, so a reader blocked in SendMessage cannot hang it.
  stopping_ = true;
  SetEvent(stopEvent_.Get());
  WaitForReader(true);
  {
    std::lock_guard lock(mutex_);
    if (kill && process_.Get() != nullptr) TerminateProcess(process_.Get(), 0);
    CloseProcessHandles();
    active_ = false;
  }
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

DWORD TRedirector::Run() {
  std::lock_guard lock(mutex_);
  if (active_.load()) throw ERedirector("Process is already active");
  if (TrimBlanks(commandLine_).empty()) throw ERedirector("No commandline to run");
  // The previous run's reader has sent its last message and is leaving: a
  // plain wait, as answering messages here would run handlers under the lock.
  WaitForReader(false);
  errorText_.clear();
  try {
    CreatePipes();
  } catch (...) {
    CloseProcessHandles();
    throw;
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = inChild_.Get();
  startup.hStdOutput = outChild_.Get();
  startup.hStdError = errChild_.Get();
  DWORD flags = CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP | PriorityFlag(initialPriority_);
  if (startSuspended_) flags |= CREATE_SUSPENDED;
  if (defaultErrorMode_) flags |= CREATE_DEFAULT_ERROR_MODE;
  std::string commandLine = commandLine_;  // CreateProcessA may write into its buffer
  const bool ownFolder = TrimBlanks(directory_).empty();

  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                      ownFolder ? nullptr : directory_.c_str(), &startup, &info)) {
    const DWORD code = GetLastError();
    CloseProcessHandles();
    return code;
  }
  process_.Reset(info.hProcess);
  processThread_.Reset(info.hThread);
  processId_ = info.dwProcessId;
  active_ = true;

  readerThread_.Reset(CreateThread(nullptr, 0, &TRedirector::ReaderThreadProc, this, 0, nullptr));
  if (readerThread_.Get() == nullptr) {
    // A process nobody watches would never be reported as ended.
    const DWORD code = GetLastError();
    TerminateProcess(process_.Get(), 0);
    CloseProcessHandles();
    active_ = false;
    return code;
  }
  return 0;
}

void TRedirector::Terminate(UINT exitCode) {
  std::lock_guard lock(mutex_);
  if (!active_.load()) throw ERedirector("Cannot Terminate an inactive process");
  TerminateProcess(process_.Get(), exitCode);
}

void TRedirector::Resume() {
  std::lock_guard lock(mutex_);
  if (!active_.load()) throw ERedirector("Cannot Resume an inactive process");
  ResumeThread(processThread_.Get());
}

std::string TRedirector::ErrorText() const {
  std::lock_guard lock(mutex_);
  return errorText_;
}

std::string TRedirector::CommandLine() const {
  std::lock_guard lock(mutex_);
  return commandLine_;
}

void TRedirector::SetCommandLine(std::string value) {
  std::lock_guard lock(mutex_);
  commandLine_ = std::move(value);
}

void TRedirector::RequireInactive(bool changed, const char* message) const {
  if (changed && active_.load()) throw ERedirector(message);
}

bool TRedirector::DefaultErrorMode() const {
  std::lock_guard lock(mutex_);
  return defaultErrorMode_;
}

void TRedirector::SetDefaultErrorMode(bool value) {
  std::lock_guard lock(mutex_);
  RequireInactive(value != defaultErrorMode_,
                  "Cannot change DefaultErrorMode while process is active");
  defaultErrorMode_ = value;
}

bool TRedirector::StartSuspended() const {
  std::lock_guard lock(mutex_);
  return startSuspended_;
}

void TRedirector::SetStartSuspended(bool value) {
  std::lock_guard lock(mutex_);
  RequireInactive(value != startSuspended_, "Cannot change StartSuspended while process is active");
  startSuspended_ = value;
}

TPriorityClass TRedirector::InitialPriority() const {
  std::lock_guard lock(mutex_);
  return initialPriority_;
}

void TRedirector::SetInitialPriority(TPriorityClass value) {
  std::lock_guard lock(mutex_);
  RequireInactive(value != initialPriority_,
                  "Cannot change InititalPriority while process is active");
  initialPriority_ = value;
}

std::string TRedirector::Directory() const {
  std::lock_guard lock(mutex_);
  return directory_;
}

void TRedirector::SetDirectory(std::string value) {
  std::lock_guard lock(mutex_);
  RequireInactive(value != directory_, "Cannot change Directory while process is active");
  directory_ = std::move(value);
}

void TRedirector::CreatePipes() {
  MakePipe(inChild_, inParent_, true, "STDIN");
  MakePipe(outChild_, outParent_, false, "STDOUT");
  MakePipe(errChild_, errParent_, false, "STDERR");
}

void TRedirector::CloseProcessHandles() {
  inChild_.Close();
  inParent_.Close();
  outChild_.Close();
  outParent_.Close();
  errChild_.Close();
  errParent_.Close();
  process_.Close();
  processThread_.Close();
  processId_ = 0;
}

void TRedirector::WaitForReader(bool answerSentMessages) {
  HANDLE thread = readerThread_.Get();
  if (thread == nullptr) return;
  if (!answerSentMessages) {
    WaitForSingleObject(thread, INFINITE);
    readerThread_.Close();
    return;
  }
  for (;;) {
    const DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) break;
    // Answers messages sent to this thread's windows, the reader's included.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  readerThread_.Close();
}

// --- reader thread -------------------------------------------------------

DWORD WINAPI TRedirector::ReaderThreadProc(LPVOID self) {
  static_cast<TRedirector*>(self)->ReaderLoop();
  return 0;
}

bool TRedirector::WaitStop(DWORD milliseconds) const {
  return WaitForSingleObject(stopEvent_.Get(), milliseconds) == WAIT_OBJECT_0;
}

TRedirector::PipeState TRedirector::ServicePipe(Stream stream) {
  common::KernelHandle& pipe = stream == Stream::kOutput ? outParent_ : errParent_;
  if (stopping_.load() || pipe.Get() == nullptr) return PipeState::kEmpty;
  DWORD waiting = 0;
  if (!PeekNamedPipe(pipe.Get(), nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) {
    return PipeState::kEmpty;
  }
  if (waiting > kLargestBlock) waiting = kLargestBlock;
  DWORD read = 0;
  DWORD code = 0;
  std::vector<char> buffer;
  try {
    buffer.resize(waiting);
    if (!ReadFile(pipe.Get(), buffer.data(), waiting, &read, nullptr)) code = GetLastError();
  } catch (const std::bad_alloc&) {
    code = ERROR_NOT_ENOUGH_MEMORY;
  }
  if (code != 0) {
    // Our end goes away, so the program's further writes to this pipe fail
    // instead of blocking on a pipe that nobody empties.
    pipe.Close();
    const std::string text =
        std::string(stream == Stream::kOutput ? "Error reading STDOUT pipe : "
                                              : "Error reading STDERR pipe : ") +
        std::to_string(code);
    if (!stopping_.load()) {
      SendMessageA(window_, kErrorMessage, 0, reinterpret_cast<LPARAM>(&text));
    }
    return PipeState::kDelivered;
  }
  const Block block{buffer.data(), static_cast<int>(read)};
  if (!stopping_.load()) {
    SendMessageA(window_, kDataMessage, static_cast<WPARAM>(stream),
                 reinterpret_cast<LPARAM>(&block));
  }
  return PipeState::kDelivered;
}

void TRedirector::ReaderLoop() {
  while (!stopping_.load()) {
    const bool outputHeld = ServicePipe(Stream::kOutput) == PipeState::kDelivered;
    const bool errorHeld = ServicePipe(Stream::kError) == PipeState::kDelivered;
    if (outputHeld || errorHeld) continue;
    const HANDLE waits[] = {process_.Get(), stopEvent_.Get()};
    const DWORD result =
        WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(interval_.load()));
    if (result == WAIT_TIMEOUT) continue;
    if (result == WAIT_OBJECT_0 + 1) return;
    // The process has ended (or cannot be waited for any more): give its
    // last writes a moment, then take everything the pipes still hold.
    if (WaitStop(static_cast<DWORD>(interval_.load()))) return;
    for (;;) {
      const bool outputLeft = ServicePipe(Stream::kOutput) == PipeState::kDelivered;
      const bool errorLeft = ServicePipe(Stream::kError) == PipeState::kDelivered;
      if (stopping_.load()) return;
      if (!outputLeft && !errorLeft) break;
    }
    SendMessageA(window_, kEndMessage, 0, 0);
    return;
  }
}

// --- owner thread ----------------------------------------------------------

LRESULT CALLBACK TRedirector::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TRedirector*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self != nullptr && message >= kDataMessage && message <= kEndMessage) {
    return self->HandleMessage(message, wParam, lParam);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void TRedirector::Report(const std::string& message) {
  {
    std::lock_guard lock(mutex_);
    errorText_ = message;
  }
  const TErrorEvent handler = OnError;
  if (!handler) return;
  try {
    handler(*this, message);
  } catch (...) {
    // Nowhere left to report to; an exception must not cross the window.
  }
}

LRESULT TRedirector::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (stopping_.load()) return 0;
  try {
    if (message == kDataMessage) {
      const auto* block = reinterpret_cast<const Block*>(lParam);
      // A copy, so a handler may replace itself while it runs.
      const TDataEvent handler =
          static_cast<Stream>(wParam) == Stream::kOutput ? OnData : OnErrorData;
      if (handler) handler(*this, block->data, block->size);
    } else if (message == kErrorMessage) {
      Report(*reinterpret_cast<const std::string*>(lParam));
    } else {
      const TNotifyEvent handler = OnTerminated;
      try {
        if (handler) handler(*this);
      } catch (...) {
        FinishOnOwnerThread();
        throw;
      }
      FinishOnOwnerThread();
    }
  } catch (const std::exception& error) {
    Report(error.what());
  } catch (...) {
    Report("Unknown error in a redirector event handler");
  }
  return 0;
}

void TRedirector::FinishOnOwnerThread() {
  std::lock_guard lock(mutex_);
  CloseProcessHandles();
  active_ = false;
}

}  // namespace ombrwiz
