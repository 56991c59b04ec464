// What the interpreter asks of the system and of the user, on Windows. The
// dialog commands go to the wizard pages; a host without them behaves as a
// silent run does: nothing is shown and a modal dialog answers NEXT.
#pragma once

#include <windows.h>

#include "engine/core/interpreter_host.h"
#include "engine/core/startup_platform.h"
#include "engine/core/system_info.h"
#include "engine/win32/dialog_runtime.h"

namespace tavrel {

class Win32InterpreterHost final : public InterpreterHost {
 public:
  Win32InterpreterHost(StartupPlatform& platform, SystemInfo& system,
                       Win32DialogRuntime* dialogs = nullptr);

  StartValues StartValuesFor(const EngineState& state) override;
  int CancelState() override;
  void SetProgress(const std::string& text, int position, int maximum, int minimum) override;

  void PrepareDialog(const std::string& key) override;
  void ReleaseDialog(const std::string& key) override;
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

  bool FileExists(const std::string& path) override;
  PathKind KindOf(const std::string& path) override;
  FileText ReadFileText(const std::string& path) override;
  bool ReplaceFileText(const std::string& path, const std::string& text) override;
  std::string ShortPathOf(const std::string& path) override;
  std::string LongPathOf(const std::string& path) override;
  std::string CreateTempFile(const std::string& folder) override;
  std::int32_t RunProgram(const std::string& program, const std::string& parameters, bool hidden,
                          bool wait) override;
  bool CloseFirstWindow(const std::string& title, const std::string& windowClass) override;
  void WriteStartupEntry(bool allUsers, const std::string& name,
                         const std::string& command) override;
  void RemoveStartupEntry(bool allUsers, const std::string& name) override;
  // TVL_NO_REBOOT=1 in the environment traces the request instead.
  void RequestReboot() override;
  SystemInfo& System() override { return system_; }
  RegistryValue ReadRegistryValue(RegistryRoot root, const std::string& key,
                                  const std::string& name) override;
  std::string ExpandEnvironment(const std::string& text) override;
  std::string ReadIniValue(const std::string& file, const std::string& section,
                           const std::string& key) override;
  std::string SystemFolder() override;
  std::string WindowsFolder() override;
  void SetSilent(bool silent) override;
  void Trace(const std::string& line) override { platform_.Trace(line); }

 private:
  StartupPlatform& platform_;
  SystemInfo& system_;
  Win32DialogRuntime* dialogs_;
  DWORD mainThread_;
  bool silent_ = false;
};

}  // namespace tavrel
