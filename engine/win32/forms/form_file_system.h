// The file system as the controls that browse it see it: paths, folder
// listings, the drives and the shell's icons. They read the real file system
// through the ANSI API; a folder that cannot be read, or vanishes while it is
// shown, simply lists nothing, and every listing is bounded so that a huge
// folder cannot stall a dialog.
#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/paths.h"
#include "common/win32/handle_owner.h"

namespace tavrel::shell_controls {

// A folder lists at most this many entries.
inline constexpr std::size_t kMaxEntries = 10000;
// Entries looked at in one folder before the listing stops (a huge folder
// filtered down by a mask).
inline constexpr std::size_t kMaxScanned = 100000;

// File names compare the way the file system compares them: without regard
// to case, in the ANSI code page.
std::string Folded(std::string_view text);
bool SamePath(std::string_view a, std::string_view b);

// Probing a drive without media must not bring up "no disk" message boxes.
class QuietDriveErrors {
 public:
  QuietDriveErrors() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~QuietDriveErrors() { SetErrorMode(previous_); }
  QuietDriveErrors(const QuietDriveErrors&) = delete;
  QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

 private:
  UINT previous_;
};

// ---------------------------------------------------------------------------
// Paths

// Whether path is a drive's root ("C:\").
bool IsDriveRoot(std::string_view path);
// "C:\a\b.txt" → {"C:\a", "b.txt"}; "C:\b" → {"C:\", "b"}; "b" → {"", "b"}; a
// forward slash separates too.
std::pair<std::string, std::string> SplitLast(std::string_view path);

struct FolderParts {
  std::string root;                // "C:\" or "\\server\share"
  std::vector<std::string> names;  // the folders below it
};

// A full path as its root and the names of the folders below it.
FolderParts SplitFolder(std::string_view folder);

// The full path of an existing folder, spelt as the file system spells it,
// without a trailing backslash except for a drive root; nullopt when text
// does not name an existing folder.
std::optional<std::string> ExistingFolder(std::string_view text);
// The current folder as ExistingFolder spells it; "" when it is none.
std::string CurrentFolder();

// ---------------------------------------------------------------------------
// Folder listings

struct FolderEntry {
  std::string name;
  bool folder = false;
  ULONGLONG size = 0;
  FILETIME modified{};
};

// The visible entries of a folder that keep() accepts, folders first, each
// group sorted by name; empty when the folder cannot be read.
template <typename Keep>
std::vector<FolderEntry> ListFolder(std::string_view folder, Keep keep) {
  std::vector<FolderEntry> entries;
  const std::string pattern = common::JoinPath(folder, "*");
  if (folder.empty() || pattern.size() >= MAX_PATH) return entries;
  {
    QuietDriveErrors quiet;
    WIN32_FIND_DATAA data{};
    const common::FindHandle find(FindFirstFileA(pattern.c_str(), &data));
    if (!find) return entries;
    std::size_t scanned = 0;
    do {
      const std::string_view name = data.cFileName;
      if (name == "." || name == ".." || (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0) {
        continue;
      }
      FolderEntry entry;
      entry.name = std::string(name);
      entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      entry.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      entry.modified = data.ftLastWriteTime;
      if (keep(entry)) entries.push_back(std::move(entry));
    } while (entries.size() < kMaxEntries && ++scanned < kMaxScanned &&
             FindNextFileA(find.Get(), &data));
  }
  // A stable sort stays within bounds even should the locale's comparison
  // not be a strict ordering for some names.
  std::stable_sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    if (a.folder != b.folder) return a.folder;
    return lstrcmpiA(a.name.c_str(), b.name.c_str()) < 0;
  });
  return entries;
}

// The visible subfolders of a folder, sorted by name.
std::vector<FolderEntry> Subfolders(std::string_view folder);
// Whether a folder has a visible subfolder. A folder too big to look through
// quickly is taken to have one; expanding it then finds out.
bool HasSubfolders(std::string_view folder);

// ---------------------------------------------------------------------------
// Drives and system icons

struct Drive {
  char letter = 0;   // lower case
  std::string root;  // "C:\"
  UINT type = DRIVE_UNKNOWN;
  std::string label;  // only for fixed, network and RAM drives
};

// The drives there are. withLabels asks the fixed, network and RAM drives
// for their volume labels.
std::vector<Drive> LogicalDrives(bool withLabels);

// The system's small and large icon lists and the folder icons in them;
// null lists and -1 indexes when the shell has none.
struct ShellIcons {
  HIMAGELIST small = nullptr;
  HIMAGELIST large = nullptr;
  int folder = -1;
  int openFolder = -1;
};

// The system's small icon for a name with those attributes, whether or not
// the name exists; extraFlags adds SHGFI_ flags. -1 when the shell has none.
int GenericIcon(const char* name, DWORD attributes, UINT extraFlags);
const ShellIcons& Icons();
// A drive's icon in the small list; -1 when the shell has none.
int DriveIcon(const Drive& drive);

}  // namespace tavrel::shell_controls
