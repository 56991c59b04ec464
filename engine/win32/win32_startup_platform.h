// The start-up platform on the real Windows API (ANSI functions throughout:
// the engine's texts are 8-bit strings in the system code page).
#pragma once

#include "engine/core/startup_platform.h"

namespace tavrel {

class Win32StartupPlatform final : public StartupPlatform {
 public:
  Win32StartupPlatform();

  std::string ExecutablePath() override;
  std::string TempFolder() override;
  std::string SystemFolder() override;
  std::string CommandLine() override;
  std::vector<std::string> Arguments() override;
  bool FileExists(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  void CreateFolders(const std::string& path) override;
  std::uint64_t FileSize(const std::string& path) override;
  void CopyFileTail(const std::string& source, std::uint64_t offset,
                    const std::string& target) override;
  std::string ReadFile(const std::string& path) override;
  void CopyFileNormal(const std::string& source, const std::string& target) override;
  bool RemoveFile(const std::string& path) override;
  std::vector<FolderEntry> ListFolder(const std::string& path) override;
  bool RemoveFolder(const std::string& path) override;
  std::optional<std::uint64_t> LibraryImageEnd(const std::string& path) override;
  std::optional<std::uint64_t> ExecutableImageEnd() override;
  FileVersion GetFileVersion(const std::string& path) override;
  bool ExtractArchive(const std::string& archive, const std::string& destination) override;
  void ShowError(const std::string& text, WindowRef owner) override;
  void Trace(std::string_view line) override;

 private:
  std::string tracePath_;
};

}  // namespace tavrel
