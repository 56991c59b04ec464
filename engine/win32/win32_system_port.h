// The system port on Windows: files, programs, the Run key, registry and
// initialisation-file reads, the environment and the system queries.
#pragma once

#include <windows.h>

#include "engine/core/startup_platform.h"
#include "engine/core/system_info.h"
#include "engine/core/system_port.h"
#include "engine/win32/win32_media_port.h"

namespace tavrel {

class Win32SystemPort final : public SystemPort {
 public:
  Win32SystemPort(StartupPlatform& platform, SystemInfo& system);

  StartValues StartValuesFor(const EngineState& state) override;

  bool FileExists(const std::string& path) override;
  PathKind KindOf(const std::string& path) override;
  FileText ReadFileText(const std::string& path) override;
  bool ReplaceFileText(const std::string& path, const std::string& text) override;
  std::string ShortPathOf(const std::string& path) override;
  std::string LongPathOf(const std::string& path) override;
  std::string CreateTempFile(const std::string& folder) override;
  bool CreateFolders(const std::string& path) override;
  bool DeleteFileAt(const std::string& path) override;
  bool CopyFileOver(const std::string& from, const std::string& to) override;
  bool DeleteFolderTree(const std::string& folder) override;
  bool MoveFolder(const std::string& from, const std::string& to) override;
  void DeleteAtRestart(const std::string& path) override;
  bool WriteLogText(const std::string& path, const std::string& text) override;
  std::string CurrentFolder() override;
  bool SetCurrentFolder(const std::string& path) override;
  std::int64_t FreeSpaceOfDrive(char letter) override;

  std::int32_t RunProgram(const std::string& program, const std::string& parameters, bool hidden,
                          bool wait) override;
  bool CloseFirstWindow(const std::string& title, const std::string& windowClass) override;
  void WriteStartupEntry(bool allUsers, const std::string& name,
                         const std::string& command) override;
  void RemoveStartupEntry(bool allUsers, const std::string& name) override;
  // TVL_NO_REBOOT=1 in the environment traces the request instead.
  void RequestReboot() override;

  SystemInfo& System() override { return system_; }
  MediaPort& Media() override { return media_; }
  PluginResult CallPlugin(const PluginCall& call, const PluginProgress& progress) override;
  RegistryValue ReadRegistryValue(RegistryRoot root, const std::string& key,
                                  const std::string& name) override;
  std::string ExpandEnvironment(const std::string& text) override;
  std::string ReadIniValue(const std::string& file, const std::string& section,
                           const std::string& key) override;
  void DeleteRegistryValue(RegistryRoot root, const std::string& key,
                           const std::string& name) override;
  void DeleteRegistryKeyTree(RegistryRoot root, const std::string& key) override;
  bool WriteRegistryString(RegistryRoot root, const std::string& key, const std::string& name,
                           const std::string& value) override;
  std::string LocalDateTime() override;
  std::string SystemErrorText(std::uint32_t code) override;
  std::string SystemFolder() override;
  std::string WindowsFolder() override;

  bool WriteDatabaseProperties(
      const std::string& database,
      const std::vector<std::pair<std::string, std::string>>& properties) override;
  int ProductState(const std::string& productCode) override;
  std::string ProductPackageCode(const std::string& productCode) override;
  InstallerSessionResult RunInstallerSession(const InstallerSession& session,
                                             InstallerMessageSink& sink) override;

  void Trace(const std::string& line) override { platform_.Trace(line); }

 private:
  StartupPlatform& platform_;
  SystemInfo& system_;
  Win32MediaPort media_;
};

}  // namespace tavrel
