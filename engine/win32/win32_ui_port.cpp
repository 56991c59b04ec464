#include "engine/win32/win32_ui_port.h"

#include <shlobj.h>

#include "engine/win32/media_retry_dialogs.h"
#include "engine/win32/message_pump.h"

namespace tavrel {

Win32UiPort::Win32UiPort(StartupPlatform& platform, Win32DialogRuntime* dialogs)
    : platform_(platform), dialogs_(dialogs), mainThread_(GetCurrentThreadId()) {
  // A thread gets its message queue on its first message call; a worker's
  // wake-up posted before that would be lost.
  MSG message;
  PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

int Win32UiPort::CancelState() {
  return dialogs_ != nullptr ? dialogs_->CancelState() : 1;
}

void Win32UiPort::SetProgress(const std::string& text, int position, int maximum, int minimum) {
  if (dialogs_ != nullptr) dialogs_->SetProgress(text, position, maximum, minimum);
}

void Win32UiPort::SetBusy(bool busy) {
  if (dialogs_ != nullptr) dialogs_->SetBusy(busy);
}

std::string Win32UiPort::BrowseForFolder(const std::string& prompt) {
  BROWSEINFOA info{};
  info.hwndOwner = GetActiveWindow();
  info.lpszTitle = prompt.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  const LPITEMIDLIST item = SHBrowseForFolderA(&info);
  if (item == nullptr) return "";
  char path[MAX_PATH] = {};
  const bool found = SHGetPathFromIDListA(item, path) != FALSE;
  CoTaskMemFree(item);
  return found ? path : "";
}

void Win32UiPort::PrepareDialog(const std::string& key) {
  if (dialogs_ != nullptr) dialogs_->PrepareDialog(key);
}

void Win32UiPort::UseFeatures(const FeatureSource& source) {
  if (dialogs_ != nullptr) dialogs_->UseFeatures(source);
}

void Win32UiPort::ReleaseDialog(const std::string& key) {
  if (dialogs_ != nullptr) dialogs_->ReleaseDialog(key);
}

std::intptr_t Win32UiPort::ShowDialog(const std::string& key, bool modal) {
  if (dialogs_ == nullptr || silent_) {
    platform_.Trace("dialog " + key + (modal ? " (modal): NEXT" : " (modeless): no window"));
    return modal ? kDialogNext : 0;
  }
  const std::intptr_t result = dialogs_->ShowDialog(key, modal);
  platform_.Trace("dialog " + key +
                  (modal ? " (modal): " + std::to_string(result) : " (modeless): shown"));
  return result;
}

void Win32UiPort::HideCurrentDialog() {
  if (dialogs_ != nullptr) dialogs_->HideCurrentDialog();
}

void Win32UiPort::FreeDialogs() {
  if (dialogs_ != nullptr) dialogs_->FreeDialogs();
}

void Win32UiPort::SetSilent(bool silent) {
  silent_ = silent;
  if (dialogs_ != nullptr) dialogs_->SetSilent(silent);
}

void Win32UiPort::LockWindowUpdates(std::intptr_t window) {
  LockWindowUpdate(reinterpret_cast<HWND>(window));
}

void Win32UiPort::UnlockWindowUpdates() {
  LockWindowUpdate(nullptr);
}

void Win32UiPort::ProcessOneMessage() {
  PumpOneMessage(dialogs_ != nullptr ? dialogs_->CurrentWindow() : nullptr);
}

void Win32UiPort::WakeMainThread() {
  PostThreadMessageA(mainThread_, WM_NULL, 0, 0);
}

int Win32UiPort::ShowMessageBox(std::intptr_t owner, const std::string& text,
                                const std::string& caption, unsigned style) {
  return MessageBoxA(reinterpret_cast<HWND>(owner), text.c_str(), caption.c_str(), style);
}

void Win32UiPort::ShowRuntimeError(const std::string& text) {
  platform_.ShowError(text, 0);
}

bool Win32UiPort::AskDownloadRetry(std::intptr_t owner, const MessageTable& texts, bool& resume) {
  const bool retry = AskDownloadRetryDialog(reinterpret_cast<HWND>(owner), texts, resume);
  platform_.Trace(std::string("download retry: ") +
                  (retry ? (resume ? "resume" : "new copy") : "cancel"));
  return retry;
}

bool Win32UiPort::AskProxyRetry(std::intptr_t owner, const MessageTable& texts,
                                ProxySettings& proxy) {
  const bool retry = AskProxyRetryDialog(reinterpret_cast<HWND>(owner), texts, proxy);
  platform_.Trace(std::string("proxy retry: ") + (retry ? "yes" : "no"));
  return retry;
}

ExtractRetry Win32UiPort::AskExtractRetry(std::intptr_t owner, const MessageTable& texts) {
  const ExtractRetry answer = AskExtractRetryDialog(reinterpret_cast<HWND>(owner), texts);
  platform_.Trace(std::string("extract retry: ") + (answer == ExtractRetry::kDownload  ? "download"
                                                    : answer == ExtractRetry::kExtract ? "extract"
                                                                                       : "cancel"));
  return answer;
}

}  // namespace tavrel
