// The compiler's system port on Linux: POSIX files and folders, and tools
// run as child processes with their output captured.
#pragma once

#include "tvlc/core/build_port.h"

namespace tavrel::tvlc {

class PosixBuildPort final : public BuildPort {
 public:
  PathKind Kind(const std::string& path) override;
  std::uint64_t FileSize(const std::string& path) override;
  std::optional<std::string> ReadFile(const std::string& path) override;
  std::vector<FolderEntry> ListFolder(const std::string& path) override;
  void WriteFile(const std::string& path, const std::string& bytes) override;
  void AppendFile(const std::string& path, const std::string& bytes) override;
  void CopyFile(const std::string& from, const std::string& to) override;
  void LinkFile(const std::string& from, const std::string& to) override;
  void MakeFolder(const std::string& path) override;
  std::string MakeSiblingFolder(const std::string& path, const std::string& tag) override;
  void ReplaceFolder(const std::string& from, const std::string& target) override;
  void Remove(const std::string& path) override;
  ToolRun Run(const std::vector<std::string>& arguments, const std::string& cwd) override;
};

}  // namespace tavrel::tvlc
