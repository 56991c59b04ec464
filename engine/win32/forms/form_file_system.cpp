// The paths, folder listings, drives and icons of form_file_system.h.
#include "engine/win32/forms/form_file_system.h"

#include <shellapi.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii_case.h"
#include "common/paths.h"

namespace tavrel::shell_controls {
namespace {

// Entries looked at when all that matters is whether a folder has subfolders.
constexpr std::size_t kMaxProbed = 5000;

// Length of a full path's root: 3 for "C:\", up to the end of the share for
// "\\server\share"; 0 when the path has neither.
std::size_t RootLength(std::string_view path) {
  if (path.size() >= 3 && common::IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\')
    return 3;
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
    const std::size_t server = path.find('\\', 2);
    if (server == std::string_view::npos || server == 2) return 0;
    const std::size_t share = path.find('\\', server + 1);
    const std::size_t end = share == std::string_view::npos ? path.size() : share;
    return end > server + 1 ? end : 0;
  }
  return 0;
}

}  // namespace

std::string Folded(std::string_view text) {
  std::string folded(text);
  if (!folded.empty()) CharLowerBuffA(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

bool SamePath(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Folded(a) == Folded(b);
}

// ---------------------------------------------------------------------------
// Paths

bool IsDriveRoot(std::string_view path) {
  return path.size() == 3 && RootLength(path) == 3;
}

std::pair<std::string, std::string> SplitLast(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string_view::npos) return {"", std::string(path)};
  std::string folder(path.substr(0, slash));
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return {folder, std::string(path.substr(slash + 1))};
}

FolderParts SplitFolder(std::string_view folder) {
  FolderParts parts;
  const std::size_t rootLength = RootLength(folder);
  parts.root = std::string(folder.substr(0, rootLength));
  std::size_t start = rootLength;
  while (start < folder.size()) {
    std::size_t end = folder.find('\\', start);
    if (end == std::string_view::npos) end = folder.size();
    if (end > start) parts.names.emplace_back(folder.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::optional<std::string> ExistingFolder(std::string_view text) {
  if (text.empty() || text.size() >= MAX_PATH) return std::nullopt;
  if (text.find_first_of(std::string_view("*?\"<>|\0", 7)) != std::string_view::npos) {
    return std::nullopt;
  }
  const std::string input(text);
  char buffer[MAX_PATH];
  const DWORD length = GetFullPathNameA(input.c_str(), MAX_PATH, buffer, nullptr);
  if (length == 0 || length >= MAX_PATH) return std::nullopt;
  std::string full(buffer, length);
  // Device and long-path prefixes are not folders a dialog offers.
  if (full.rfind("\\\\?\\", 0) == 0 || full.rfind("\\\\.\\", 0) == 0) return std::nullopt;
  const std::size_t rootLength = RootLength(full);
  if (rootLength == 0) return std::nullopt;
  while (full.size() > rootLength && full.back() == '\\') full.pop_back();
  if (rootLength == 3) full[0] = common::ToUpperAscii(full[0]);

  QuietDriveErrors quiet;
  // A share's root answers only with its trailing backslash.
  const std::string probe = full.size() == rootLength && rootLength != 3 ? full + '\\' : full;
  const DWORD attributes = GetFileAttributesA(probe.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return std::nullopt;
  }
  // Each name as stored on disk (case, long rather than short form).
  const FolderParts parts = SplitFolder(full);
  std::string result = parts.root;
  for (const std::string& name : parts.names) {
    std::string next = common::JoinPath(result, name);
    WIN32_FIND_DATAA data{};
    if (common::FindHandle(FindFirstFileA(next.c_str(), &data))) {
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        next = common::JoinPath(result, data.cFileName);
      }
    }
    result = std::move(next);
  }
  return result;
}

std::string CurrentFolder() {
  char buffer[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return "";
  return ExistingFolder(std::string_view(buffer, length)).value_or("");
}

// ---------------------------------------------------------------------------
// Folder listings

std::vector<FolderEntry> Subfolders(std::string_view folder) {
  return ListFolder(folder, [](const FolderEntry& entry) { return entry.folder; });
}

bool HasSubfolders(std::string_view folder) {
  const std::string pattern = common::JoinPath(folder, "*");
  if (folder.empty() || pattern.size() >= MAX_PATH) return false;
  QuietDriveErrors quiet;
  WIN32_FIND_DATAA data{};
  const common::FindHandle find(FindFirstFileA(pattern.c_str(), &data));
  if (!find) return false;
  bool found = false;
  std::size_t probed = 0;
  do {
    const std::string_view name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0 && name != "." && name != "..") {
      found = true;
    } else if (++probed >= kMaxProbed) {
      found = true;
    }
  } while (!found && FindNextFileA(find.Get(), &data));
  return found;
}

// ---------------------------------------------------------------------------
// Drives and system icons

std::vector<Drive> LogicalDrives(bool withLabels) {
  std::vector<Drive> drives;
  std::vector<char> buffer(512);
  DWORD length = GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length > buffer.size()) {
    buffer.resize(length + 1);
    length = GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (length == 0 || length > buffer.size()) return drives;
  const char* end = buffer.data() + length;
  for (const char* entry = buffer.data(); entry < end && *entry != '\0';
       entry += std::strlen(entry) + 1) {
    if (!common::IsAsciiLetter(entry[0]) || entry[1] != ':') continue;
    Drive drive;
    drive.letter = common::ToLowerAscii(entry[0]);
    drive.root = {common::ToUpperAscii(entry[0]), ':', '\\'};
    drive.type = GetDriveTypeA(drive.root.c_str());
    // Removable and optical drives are not asked: a drive without media can
    // take long to answer.
    if (withLabels &&
        (drive.type == DRIVE_FIXED || drive.type == DRIVE_REMOTE || drive.type == DRIVE_RAMDISK)) {
      QuietDriveErrors quiet;
      char label[MAX_PATH + 1] = {};
      if (GetVolumeInformationA(drive.root.c_str(), label, sizeof label, nullptr, nullptr, nullptr,
                                nullptr, 0) != FALSE) {
        drive.label = label;
      }
    }
    drives.push_back(std::move(drive));
  }
  return drives;
}

int GenericIcon(const char* name, DWORD attributes, UINT extraFlags) {
  SHFILEINFOA info{};
  if (SHGetFileInfoA(name, attributes, &info, sizeof info,
                     SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | extraFlags) ==
      0) {
    return -1;
  }
  return info.iIcon;
}

const ShellIcons& Icons() {
  static const ShellIcons icons = [] {
    ShellIcons result;
    SHFILEINFOA info{};
    result.small = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoA("folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                       SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (result.small == nullptr) return result;
    result.folder = info.iIcon;
    result.openFolder = GenericIcon("folder", FILE_ATTRIBUTE_DIRECTORY, SHGFI_OPENICON);
    if (result.openFolder < 0) result.openFolder = result.folder;
    result.large = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoA("folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                       SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_LARGEICON));
    return result;
  }();
  return icons;
}

int DriveIcon(const Drive& drive) {
  if (Icons().small == nullptr) return -1;
  // Only local disks are asked for their own icon; the others could stall.
  if (drive.type == DRIVE_FIXED || drive.type == DRIVE_RAMDISK) {
    QuietDriveErrors quiet;
    SHFILEINFOA info{};
    if (SHGetFileInfoA(drive.root.c_str(), 0, &info, sizeof info,
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON) != 0) {
      return info.iIcon;
    }
  }
  return Icons().folder;
}

}  // namespace tavrel::shell_controls
