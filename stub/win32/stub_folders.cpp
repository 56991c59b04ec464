#include "stub/win32/stub_folders.h"

#include <windows.h>

#include "common/paths.h"
#include "common/win32/handle_owner.h"
#include "stub/core/stub_rules.h"

namespace ombrell {

bool FolderExists(const std::string& folder) {
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateFolderTree(const std::string& folder) {
  const std::string path = common::WithoutTrailingBackslash(folder);
  if (path.empty() || FolderExists(path)) return !path.empty();
  // Every prefix that ends before a separator, past the drive or share.
  const std::size_t start = common::DriveRoot(path).size();
  for (std::size_t i = start; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      const std::string prefix = path.substr(0, i);
      if (!prefix.empty() && !FolderExists(prefix)) CreateDirectoryA(prefix.c_str(), nullptr);
    }
  }
  return FolderExists(path);
}

std::uint64_t FreeBytesOf(const std::string& folder) {
  const std::string root = common::DriveRoot(folder);
  if (root.empty()) return 0;
  DWORD sectorsPerCluster = 0;
  DWORD bytesPerSector = 0;
  DWORD freeClusters = 0;
  DWORD clusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &clusters)) {
    return 0;
  }
  return FreeBytes(sectorsPerCluster, bytesPerSector, freeClusters);
}

std::string MakeInstallFolder(const std::string& tempFolder, std::uint64_t requiredBytes) {
  std::string base = tempFolder;
  if (FreeBytesOf(base) < requiredBytes) {
    base.clear();
    for (char drive = 'C'; drive <= 'Z' && base.empty(); ++drive) {
      const std::string root = std::string(1, drive) + ":\\";
      if (GetDriveTypeA(root.c_str()) == DRIVE_FIXED && FreeBytesOf(root) >= requiredBytes) {
        base = root;
      }
    }
    if (base.empty()) return "";
  }
  for (std::uint32_t number = 1; number <= 2'147'483'647u; ++number) {
    const std::string folder = InstallFolderName(base, number);
    if (FolderExists(folder)) continue;
    if (CreateFolderTree(folder)) return folder;
  }
  return "";
}

void DeleteFolderTree(const std::string& folder) {
  const std::string path = common::WithTrailingBackslash(folder);
  WIN32_FIND_DATAA entry;
  if (const common::FindHandle search(FindFirstFileA((path + "*.*").c_str(), &entry)); search) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        DeleteFolderTree(path + name);
      } else {
        SetFileAttributesA((path + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((path + name).c_str());
      }
    } while (FindNextFileA(search.Get(), &entry));
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace ombrell
