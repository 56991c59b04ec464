#include "wizard/win32/build_run.h"

namespace ombrwiz {

namespace {

DWORD WINAPI BuildThread(LPVOID parameter) {
  static_cast<Action*>(parameter)->Execute();
  return 0;
}

}  // namespace

BuildRun::BuildRun(const BuildSettings& settings, bool showBoxes) : system_(runner_, showBoxes) {
  runner_.SetKillOnDestroy(true);
  runner_.SetInterval(100);
  progress_.SetStatus("Initializing");
  action_ = std::make_unique<Action>(settings, system_, progress_);
  thread_ = common::KernelHandle(
      CreateThread(nullptr, 0, BuildThread, action_.get(), CREATE_SUSPENDED, nullptr));
  if (!thread_) {
    Trace("error: the build thread could not be started");
    return;
  }
  SetThreadPriority(thread_.Get(), THREAD_PRIORITY_BELOW_NORMAL);
  ResumeThread(thread_.Get());
}

BuildRun::~BuildRun() {
  if (thread_) Finish();
}

bool BuildRun::Finish() {
  if (!thread_) return false;
  progress_.Terminate();
  const HANDLE thread = thread_.Get();
  // The runner's window must keep answering while the thread ends.
  MSG message;
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  thread_ = common::KernelHandle();
  progress_.stop = false;
  Trace(progress_.success.load() ? "build succeeded" : "build failed");
  return progress_.success.load();
}

}  // namespace ombrwiz
