#include "wizard/win32/win32_files.h"

#include <windows.h>
// Shell folders after the Windows types.
#include <shlobj.h>

#include "common/paths.h"
#include "common/win32/handle_owner.h"

namespace ombrwiz {

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  common::KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD done = 0;
  if (!bytes.empty() &&
      (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) ||
       done != bytes.size())) {
    return std::nullopt;
  }
  return bytes;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".new~";
  {
    common::KernelHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD done = 0;
    const bool written =
        bytes.empty() ||
        (WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
         done == bytes.size());
    // Closed before anything else: an open file could not be deleted.
    const bool closed = file.Close();
    if (!written || !closed) {
      DeleteFileA(temporary.c_str());
      return false;
    }
  }
  if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(temporary.c_str());
    return false;
  }
  return true;
}

bool CreateFolders(const std::string& path) {
  const std::string folder = common::WithoutTrailingBackslash(path);
  if (folder.empty() || FolderExists(common::WithTrailingBackslash(folder))) return true;
  const auto slash = folder.find_last_of("\\/");
  if (slash != std::string::npos && slash > 0 && folder[slash - 1] != ':') {
    CreateFolders(folder.substr(0, slash));
  }
  return CreateDirectoryA(folder.c_str(), nullptr) ||
         FolderExists(common::WithTrailingBackslash(folder));
}

std::optional<std::uint64_t> FreeBytesOf(const std::string& path) {
  const std::string root = common::DriveRoot(path);
  if (root.empty()) return std::nullopt;
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

std::vector<std::string> FileNamesMatching(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const common::FindHandle search(FindFirstFileA(pattern.c_str(), &found));
  if (!search) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
  } while (FindNextFileA(search.Get(), &found));
  return names;
}

std::string ProgramFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of('\\') + 1);
}

std::string DocumentsFolder() {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return "";
  }
  return common::WithTrailingBackslash(path);
}

}  // namespace ombrwiz
