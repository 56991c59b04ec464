#include "engine/win32/win32_interpreter_host.h"

#include "engine/core/start_folders.h"

namespace tavrel {

Win32InterpreterHost::Win32InterpreterHost(StartupPlatform& platform, SystemInfo& system)
    : platform_(platform), system_(system), mainThread_(GetCurrentThreadId()) {
  // A thread gets its message queue on its first message call; a worker's
  // wake-up posted before that would be lost.
  MSG message;
  PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

StartValues Win32InterpreterHost::StartValuesFor(const EngineState& state) {
  return ComputeStartValues(system_, state, platform_.ExecutablePath());
}

std::intptr_t Win32InterpreterHost::ShowDialog(const std::string& key, bool modal) {
  platform_.Trace("dialog " + key + (modal ? " (modal): NEXT" : " (modeless): no window"));
  return modal ? kDialogNext : 0;
}

void Win32InterpreterHost::LockWindowUpdates(std::intptr_t window) {
  LockWindowUpdate(reinterpret_cast<HWND>(window));
}

void Win32InterpreterHost::UnlockWindowUpdates() {
  LockWindowUpdate(nullptr);
}

void Win32InterpreterHost::ProcessOneMessage() {
  MSG message;
  const BOOL got = GetMessageA(&message, nullptr, 0, 0);
  if (got == 0) {
    // WM_QUIT belongs to the outermost loop; leave it for that one.
    PostQuitMessage(static_cast<int>(message.wParam));
    return;
  }
  if (got == -1) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Win32InterpreterHost::WakeMainThread() {
  PostThreadMessageA(mainThread_, WM_NULL, 0, 0);
}

int Win32InterpreterHost::ShowMessageBox(std::intptr_t owner, const std::string& text,
                                         const std::string& caption, unsigned style) {
  return MessageBoxA(reinterpret_cast<HWND>(owner), text.c_str(), caption.c_str(), style);
}

void Win32InterpreterHost::ShowRuntimeError(const std::string& text) {
  platform_.ShowError(text, 0);
}

bool Win32InterpreterHost::FileExists(const std::string& path) {
  return platform_.FileExists(path);
}

}  // namespace tavrel
