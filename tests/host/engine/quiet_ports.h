// Ports that answer like a silent run on a system that has nothing: no
// dialogs, no files, no programs, no registry values. A fake derives from
// them and overrides only what its test looks at.
#pragma once

#include <stdexcept>
#include <string>

#include "engine/core/system_port.h"
#include "engine/core/ui_port.h"

namespace tavrel {

class QuietUi : public UiPort {
 public:
  int CancelState() override { return 1; }
  void SetProgress(const std::string&, int, int, int) override {}
  void SetBusy(bool) override {}
  std::string BrowseForFolder(const std::string&) override { return ""; }
  void PrepareDialog(const std::string&) override {}
  void ReleaseDialog(const std::string&) override {}
  std::intptr_t ShowDialog(const std::string&, bool modal) override {
    return modal ? kDialogNext : 0;
  }
  void HideCurrentDialog() override {}
  void FreeDialogs() override {}
  void LockWindowUpdates(std::intptr_t) override {}
  void UnlockWindowUpdates() override {}
  void ProcessOneMessage() override {}
  void WakeMainThread() override {}
  int ShowMessageBox(std::intptr_t, const std::string&, const std::string&, unsigned) override {
    return 1;
  }
  void ShowRuntimeError(const std::string&) override {}
  bool AskDownloadRetry(std::intptr_t, const MessageTable&, bool&) override { return false; }
  bool AskProxyRetry(std::intptr_t, const MessageTable&, ProxySettings&) override { return false; }
  ExtractRetry AskExtractRetry(std::intptr_t, const MessageTable&) override {
    return ExtractRetry::kCancel;
  }
  void SetSilent(bool) override {}
};

class QuietSystem : public SystemPort {
 public:
  StartValues StartValuesFor(const EngineState&) override { return {}; }
  // The installer database is all that exists, so that a run starts.
  bool FileExists(const std::string&) override { return true; }
  PathKind KindOf(const std::string&) override { return PathKind::kNone; }
  FileText ReadFileText(const std::string&) override { return {}; }
  bool ReplaceFileText(const std::string&, const std::string&) override { return false; }
  std::string ShortPathOf(const std::string&) override { return ""; }
  std::string LongPathOf(const std::string&) override { return ""; }
  std::string CreateTempFile(const std::string&) override { return ""; }
  bool CreateFolders(const std::string&) override { return false; }
  bool DeleteFileAt(const std::string&) override { return false; }
  bool CopyFileOver(const std::string&, const std::string&) override { return false; }
  bool DeleteFolderTree(const std::string&) override { return false; }
  bool MoveFolder(const std::string&, const std::string&) override { return false; }
  void DeleteAtRestart(const std::string&) override {}
  bool WriteLogText(const std::string&, const std::string&) override { return false; }
  std::string CurrentFolder() override { return ""; }
  bool SetCurrentFolder(const std::string&) override { return false; }
  std::int64_t FreeSpaceOfDrive(char) override { return -1; }
  std::int32_t RunProgram(const std::string&, const std::string&, bool, bool) override {
    return kProgramNotStarted;
  }
  bool CloseFirstWindow(const std::string&, const std::string&) override { return false; }
  void WriteStartupEntry(bool, const std::string&, const std::string&) override {}
  void RemoveStartupEntry(bool, const std::string&) override {}
  void RequestReboot() override {}
  SystemInfo& System() override { throw std::logic_error("no system queries here"); }
  MediaPort& Media() override { throw std::logic_error("no web media here"); }
  PluginResult CallPlugin(const PluginCall&, const PluginProgress&) override {
    return {PluginResult::Outcome::kNotLoaded, "", "no plug-ins here"};
  }
  RegistryValue ReadRegistryValue(RegistryRoot, const std::string&, const std::string&) override {
    return {};
  }
  std::string ExpandEnvironment(const std::string& text) override { return text; }
  std::string ReadIniValue(const std::string&, const std::string&, const std::string&) override {
    return "";
  }
  void DeleteRegistryValue(RegistryRoot, const std::string&, const std::string&) override {}
  void DeleteRegistryKeyTree(RegistryRoot, const std::string&) override {}
  bool WriteRegistryString(RegistryRoot, const std::string&, const std::string&,
                           const std::string&) override {
    return false;
  }
  std::string LocalDateTime() override { return ""; }
  std::string SystemErrorText(std::uint32_t) override { return ""; }
  bool WriteDatabaseProperties(const std::string&,
                               const std::vector<std::pair<std::string, std::string>>&) override {
    return false;
  }
  int ProductState(const std::string&) override { return -1; }
  std::string ProductPackageCode(const std::string&) override { return ""; }
  InstallerSessionResult RunInstallerSession(const InstallerSession&,
                                             InstallerMessageSink&) override {
    return {};
  }
  std::string SystemFolder() override { return ""; }
  std::string WindowsFolder() override { return ""; }
  void Trace(const std::string&) override {}
};

}  // namespace tavrel
