// The user-interface port on Windows: the wizard pages of the dialog
// runtime, message boxes and the main thread's message loop. Without a
// dialog runtime, or in a silent run, nothing is shown and a modal dialog
// answers NEXT.
#pragma once

#include <windows.h>

#include "engine/core/startup_platform.h"
#include "engine/core/ui_port.h"
#include "engine/win32/win32_dialog_runtime.h"

namespace tavrel {

class Win32UiPort final : public UiPort {
 public:
  // Must be made on the thread that runs the interpreter.
  explicit Win32UiPort(StartupPlatform& platform, Win32DialogRuntime* dialogs = nullptr);

  int CancelState() override;
  void SetProgress(const std::string& text, int position, int maximum, int minimum) override;
  void SetBusy(bool busy) override;
  std::string BrowseForFolder(const std::string& prompt) override;

  void PrepareDialog(const std::string& key) override;
  void ReleaseDialog(const std::string& key) override;
  void UseFeatures(const FeatureSource& source) override;
  std::intptr_t ShowDialog(const std::string& key, bool modal) override;
  void HideCurrentDialog() override;
  void FreeDialogs() override;

  void LockWindowUpdates(std::intptr_t window) override;
  void UnlockWindowUpdates() override;

  void ProcessOneMessage() override;
  void WakeMainThread() override;

  int ShowMessageBox(std::intptr_t owner, const std::string& text, const std::string& caption,
                     unsigned style) override;
  void ShowRuntimeError(const std::string& text) override;
  bool AskDownloadRetry(std::intptr_t owner, const MessageTable& texts, bool& resume) override;
  bool AskProxyRetry(std::intptr_t owner, const MessageTable& texts, ProxySettings& proxy) override;
  ExtractRetry AskExtractRetry(std::intptr_t owner, const MessageTable& texts) override;
  void SetSilent(bool silent) override;

 private:
  StartupPlatform& platform_;
  Win32DialogRuntime* dialogs_;
  DWORD mainThread_;
  bool silent_ = false;
};

}  // namespace tavrel
