// What start-up needs of the operating system, and nothing more. The Win32
// layer implements it with the real API; tests put a fake behind it.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// A failed system operation, with a text for the user.
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct FileVersion {
  unsigned major = 0;
  unsigned minor = 0;
};

struct FolderEntry {
  std::string name;
  bool isFolder = false;
};

// Owner of a message box: a window handle as a number, 0 for none.
using WindowRef = std::uintptr_t;

class StartupPlatform {
 public:
  virtual ~StartupPlatform() = default;

  virtual std::string ExecutablePath() = 0;
  virtual std::string TempFolder() = 0;    // may lack the trailing backslash
  virtual std::string SystemFolder() = 0;  // may lack the trailing backslash
  virtual std::string CommandLine() = 0;
  // Arguments as the platform splits them, without the program name.
  virtual std::vector<std::string> Arguments() = 0;

  virtual bool FileExists(const std::string& path) = 0;
  virtual bool FolderExists(const std::string& path) = 0;
  // Creates the folder with any missing parents; throws PlatformError.
  virtual void CreateFolders(const std::string& path) = 0;
  virtual std::uint64_t FileSize(const std::string& path) = 0;
  // Copies everything from offset to the end of source into target
  // (created or overwritten); throws PlatformError.
  virtual void CopyFileTail(const std::string& source, std::uint64_t offset,
                            const std::string& target) = 0;
  virtual std::string ReadFile(const std::string& path) = 0;
  // Copy with overwrite, then the copy's attributes set to normal.
  virtual void CopyFileNormal(const std::string& source, const std::string& target) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;  // clears attributes first
  virtual std::vector<FolderEntry> ListFolder(const std::string& path) = 0;
  virtual bool RemoveFolder(const std::string& path) = 0;

  // Image end of a library loaded from path, of the running executable.
  virtual std::optional<std::uint64_t> LibraryImageEnd(const std::string& path) = 0;
  virtual std::optional<std::uint64_t> ExecutableImageEnd() = 0;
  // 0.0 when the file has no version resource.
  virtual FileVersion GetFileVersion(const std::string& path) = 0;

  // The archive library's ExtractArchive with the start-up arguments.
  virtual bool ExtractArchive(const std::string& archive, const std::string& destination) = 0;

  // Message box with caption "Tavrel", error icon and an OK button.
  virtual void ShowError(const std::string& text, WindowRef owner) = 0;

  // Diagnostic trace of start-up, kept only when the user asked for it.
  virtual void Trace(std::string_view line) = 0;
};

}  // namespace tavrel
