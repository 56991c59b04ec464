// What the compiler needs from the system: files and folders, and the
// tools that write the installer database and the resource archive. Paths
// are the host's; a failing call throws SourceError naming what failed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::tvlc {

enum class PathKind : std::uint8_t { kMissing, kFile, kFolder, kOther };

struct FolderEntry {
  std::string name;
  PathKind kind = PathKind::kMissing;
  bool link = false;  // a symbolic link (kind is what it points to)
  std::uint64_t size = 0;
};

struct ToolRun {
  int exitCode = 0;
  std::string output;  // standard output
  std::string errors;  // standard error
};

class BuildPort {
 public:
  virtual ~BuildPort() = default;

  virtual PathKind Kind(const std::string& path) = 0;
  virtual std::uint64_t FileSize(const std::string& path) = 0;
  // The whole file; nullopt when it cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  // A folder's entries sorted by name (bytes).
  virtual std::vector<FolderEntry> ListFolder(const std::string& path) = 0;

  virtual void WriteFile(const std::string& path, const std::string& bytes) = 0;
  virtual void AppendFile(const std::string& path, const std::string& bytes) = 0;
  virtual void CopyFile(const std::string& from, const std::string& to) = 0;
  // Makes the file at to name the same data as from without copying it
  // where the system can (a link), else copies it.
  virtual void LinkFile(const std::string& from, const std::string& to) = 0;
  // Makes the folder and the folders above it.
  virtual void MakeFolder(const std::string& path) = 0;
  // A new, empty folder beside path whose name starts with path's name.
  virtual std::string MakeSiblingFolder(const std::string& path, const std::string& tag) = 0;
  // Puts the folder made at from in the place of target in one step: an
  // existing target is exchanged and then removed.
  virtual void ReplaceFolder(const std::string& from, const std::string& target) = 0;
  // Removes a file or a folder with everything in it; missing is fine.
  virtual void Remove(const std::string& path) = 0;

  // Runs a program found on the search path, in folder cwd.
  virtual ToolRun Run(const std::vector<std::string>& arguments, const std::string& cwd) = 0;
};

}  // namespace tavrel::tvlc
