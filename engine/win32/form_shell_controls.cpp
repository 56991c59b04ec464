// The tree view and the controls that browse the file system: the file,
// folder, drive and filter lists, and the shell tree, list and combo box.
// They read the real file system through the ANSI API; a folder that cannot
// be read, or vanishes while it is shown, simply lists nothing, and every
// listing is bounded so that a huge folder cannot stall a dialog.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/win32/form_control.h"

namespace tavrel {
namespace {

// A folder lists at most this many entries.
constexpr std::size_t kMaxEntries = 10000;
// Entries looked at in one folder before the listing stops (a huge folder
// filtered down by a mask).
constexpr std::size_t kMaxScanned = 100000;
// Entries looked at when all that matters is whether a folder has subfolders.
constexpr std::size_t kMaxProbed = 5000;
// Pixels per level of the indented folder lists.
constexpr int kIndentStep = 10;

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// File names compare the way the file system compares them: without regard
// to case, in the ANSI code page.
std::string Folded(std::string_view text) {
  std::string folded(text);
  if (!folded.empty()) CharLowerBuffA(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

bool SamePath(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Folded(a) == Folded(b);
}

// Lines split at CR LF, LF or CR; a final line end does not open an empty line.
std::vector<std::string> TextLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

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

// Length of a full path's root: 3 for "C:\", up to the end of the share for
// "\\server\share"; 0 when the path has neither.
std::size_t RootLength(std::string_view path) {
  if (path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\') return 3;
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
    const std::size_t server = path.find('\\', 2);
    if (server == std::string_view::npos || server == 2) return 0;
    const std::size_t share = path.find('\\', server + 1);
    const std::size_t end = share == std::string_view::npos ? path.size() : share;
    return end > server + 1 ? end : 0;
  }
  return 0;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '\\') path += '\\';
  path += name;
  return path;
}

bool IsDriveRoot(std::string_view path) {
  return path.size() == 3 && RootLength(path) == 3;
}

// "C:\a\b.txt" → {"C:\a", "b.txt"}; "C:\b" → {"C:\", "b"}; "b" → {"", "b"}; a
// forward slash separates too.
std::pair<std::string, std::string> SplitLast(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string_view::npos) return {"", std::string(path)};
  std::string folder(path.substr(0, slash));
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return {folder, std::string(path.substr(slash + 1))};
}

struct FolderParts {
  std::string root;                // "C:\" or "\\server\share"
  std::vector<std::string> names;  // the folders below it
};

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

// The full path of an existing folder, spelt as the file system spells it,
// without a trailing backslash except for a drive root; nullopt when text
// does not name an existing folder.
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
  if (rootLength == 3) full[0] = UpperAscii(full[0]);

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
    std::string next = JoinPath(result, name);
    WIN32_FIND_DATAA data{};
    const HANDLE find = FindFirstFileA(next.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      FindClose(find);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        next = JoinPath(result, data.cFileName);
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
  const std::string pattern = JoinPath(folder, "*");
  if (folder.empty() || pattern.size() >= MAX_PATH) return entries;
  {
    QuietDriveErrors quiet;
    WIN32_FIND_DATAA data{};
    const HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return entries;
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
    } while (entries.size() < kMaxEntries && ++scanned < kMaxScanned && FindNextFileA(find, &data));
    FindClose(find);
  }
  // A stable sort stays within bounds even should the locale's comparison
  // not be a strict ordering for some names.
  std::stable_sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    if (a.folder != b.folder) return a.folder;
    return lstrcmpiA(a.name.c_str(), b.name.c_str()) < 0;
  });
  return entries;
}

std::vector<FolderEntry> Subfolders(std::string_view folder) {
  return ListFolder(folder, [](const FolderEntry& entry) { return entry.folder; });
}

// Whether a folder has a visible subfolder. A folder too big to look through
// quickly is taken to have one; expanding it then finds out.
bool HasSubfolders(std::string_view folder) {
  const std::string pattern = JoinPath(folder, "*");
  if (folder.empty() || pattern.size() >= MAX_PATH) return false;
  QuietDriveErrors quiet;
  WIN32_FIND_DATAA data{};
  const HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
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
  } while (!found && FindNextFileA(find, &data));
  FindClose(find);
  return found;
}

// ---------------------------------------------------------------------------
// File masks ("*.txt;*.log")

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsValidMask(std::string_view masks) {
  return masks.find_first_of(std::string_view("\\/:<>|\"\0", 8)) == std::string_view::npos;
}

class MaskSet {
 public:
  explicit MaskSet(std::string_view masks) {
    std::size_t start = 0;
    while (start <= masks.size()) {
      std::size_t end = masks.find(';', start);
      if (end == std::string_view::npos) end = masks.size();
      const std::string_view mask = Trimmed(masks.substr(start, end - start));
      if (!mask.empty()) masks_.push_back(Folded(mask));
      start = end + 1;
    }
  }

  bool Matches(std::string_view name) const {
    if (masks_.empty()) return true;
    const std::string folded = Folded(name);
    const bool hasExtension = folded.find('.') != std::string::npos;
    for (const std::string& mask : masks_) {
      if (WildcardMatch(mask, folded)) return true;
      // "*.*" takes every name, "readme.*" also "readme": a name without an
      // extension matches an extension of "*".
      if (!hasExtension && mask.size() >= 2 && mask.ends_with(".*") &&
          WildcardMatch(std::string_view(mask).substr(0, mask.size() - 2), folded)) {
        return true;
      }
    }
    return false;
  }

 private:
  std::vector<std::string> masks_;
};

// ---------------------------------------------------------------------------
// Drives and system icons

struct Drive {
  char letter = 0;   // lower case
  std::string root;  // "C:\"
  UINT type = DRIVE_UNKNOWN;
  std::string label;  // only for fixed, network and RAM drives
};

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
    if (!IsLetter(entry[0]) || entry[1] != ':') continue;
    Drive drive;
    drive.letter = LowerAscii(entry[0]);
    drive.root = {UpperAscii(entry[0]), ':', '\\'};
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

// The system's small and large icon lists and the folder icons in them;
// null lists and -1 indexes when the shell has none.
struct ShellIcons {
  HIMAGELIST small = nullptr;
  HIMAGELIST large = nullptr;
  int folder = -1;
  int openFolder = -1;
};

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

// File icons by extension, so that a big folder asks the shell once per kind.
class FileIcons {
 public:
  int Of(const FolderEntry& entry) {
    if (Icons().small == nullptr) return -1;
    if (entry.folder) return Icons().folder;
    const std::size_t dot = entry.name.find_last_of('.');
    const std::string extension = dot == std::string::npos ? "" : Folded(entry.name.substr(dot));
    const auto known = byExtension_.find(extension);
    if (known != byExtension_.end()) return known->second;
    const int icon = GenericIcon(entry.name.c_str(), FILE_ATTRIBUTE_NORMAL, 0);
    byExtension_.emplace(extension, icon);
    return icon;
  }

 private:
  std::map<std::string, int> byExtension_;
};

// ---------------------------------------------------------------------------
// Drawing of the indented folder lists

int ItemHeightFor(HWND window, HFONT font) {
  const HDC dc = GetDC(window);
  if (dc == nullptr) return 18;
  const HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(window, dc);
  return std::max<int>(metrics.tmHeight, 16) + 2;
}

void DrawIndentedItem(const DRAWITEMSTRUCT& item, HFONT font, const std::string& text, int indent,
                      int icon) {
  const HDC dc = item.hDC;
  RECT bounds = item.rcItem;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(dc, &bounds, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID != static_cast<UINT>(-1)) {
    int x = bounds.left + 2 + indent;
    if (icon >= 0 && Icons().small != nullptr) {
      const int y = bounds.top + (bounds.bottom - bounds.top - 16) / 2;
      ImageList_Draw(Icons().small, icon, dc, x, y, ILD_TRANSPARENT);
      x += 20;
    }
    const HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    const int color = (item.itemState & ODS_DISABLED) != 0 ? COLOR_GRAYTEXT
                      : selected                           ? COLOR_HIGHLIGHTTEXT
                                                           : COLOR_WINDOWTEXT;
    SetTextColor(dc, GetSysColor(color));
    RECT textBounds{x, bounds.top, bounds.right - 2, bounds.bottom};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textBounds,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (old != nullptr) SelectObject(dc, old);
  }
  if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    DrawFocusRect(dc, &bounds);
  }
}

std::string ListBoxText(HWND window, int index) {
  const auto length = SendMessageA(window, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == LB_ERR || length < 0) return "";
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const auto got = SendMessageA(window, LB_GETTEXT, static_cast<WPARAM>(index),
                                reinterpret_cast<LPARAM>(text.data()));
  text.resize(got == LB_ERR || got < 0 ? 0 : static_cast<std::size_t>(got));
  return text;
}

// ---------------------------------------------------------------------------
// What the classes here share: the reporting of value changes.

class ShellControl : public FormControl {
 public:
  ShellControl(const FormObject& object, const char* className, ControlSite& site)
      : FormControl(object, {className}, site) {}

  // A change made through a property reports kChange like the user's own
  // change; while the dialog file's properties are applied nothing is
  // reported, as the dialog is not running yet.
  bool SetPropertyText(std::string_view name, const std::string& text) override {
    ++setting_;
    struct Done {
      int& count;
      ~Done() { --count; }
    } done{setting_};
    return FormControl::SetPropertyText(name, text);
  }

 protected:
  // The value whose changes are reported (the selection, folder or drive).
  virtual std::string Value() { return ""; }
  // Takes the current value as the one last reported.
  void TakeValue() { seen_ = Value(); }
  // After a change made through a property: reports kChange when the value
  // differs from the one last reported.
  void CheckChange() { Report(setting_ > 0); }
  // After a notification of the window: reports kChange when the value
  // differs, unless the notification came from a change the control itself
  // is making.
  void CheckUserChange() {
    if (quiet_ == 0) Report(true);
  }

  // While one exists, the window's notifications are the control's own doing.
  class Quiet {
   public:
    explicit Quiet(ShellControl& control) : control_(control) { ++control_.quiet_; }
    ~Quiet() { --control_.quiet_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    ShellControl& control_;
  };
  bool Quieted() const { return quiet_ > 0; }
  // Events that are not value changes (clicks) are reported unless the
  // control is making the change.
  void FireFromUser(ControlEvent event) {
    if (quiet_ == 0) Fire(event);
  }

  bool FileFlag(std::string_view name, bool fallback) const {
    const FormProperty* property = FileProperty(name);
    if (property == nullptr) return fallback;
    return ParseBool(property->text).value_or(fallback);
  }

  // Changes the window style bits in mask to bits (a no-op before the window exists).
  void ChangeStyle(DWORD mask, DWORD bits) {
    if (Window() == nullptr) return;
    const LONG_PTR style = GetWindowLongPtrA(Window(), GWL_STYLE);
    const LONG_PTR next = (style & ~static_cast<LONG_PTR>(mask)) | static_cast<LONG_PTR>(bits);
    if (next == style) return;
    SetWindowLongPtrA(Window(), GWL_STYLE, next);
    SetWindowPos(Window(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    InvalidateRect(Window(), nullptr, TRUE);
  }

  // A Boolean property kept in flag and shown by style bits.
  bool SetFlag(const std::string& text, bool& flag, DWORD bits, bool bitsWhenTrue) {
    const auto value = ParseBool(text);
    if (!value) return false;
    flag = *value;
    ChangeStyle(bits, flag == bitsWhenTrue ? bits : 0);
    return true;
  }

  // Leaves redrawing off while a list is refilled.
  class NoRedraw {
   public:
    explicit NoRedraw(HWND window) : window_(window) {
      if (window_ != nullptr) SendMessageA(window_, WM_SETREDRAW, FALSE, 0);
    }
    ~NoRedraw() {
      if (window_ == nullptr) return;
      SendMessageA(window_, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(window_, nullptr, TRUE);
    }
    NoRedraw(const NoRedraw&) = delete;
    NoRedraw& operator=(const NoRedraw&) = delete;

   private:
    HWND window_;
  };

 private:
  void Report(bool allowed) {
    std::string now = Value();
    if (now == seen_) return;
    seen_ = std::move(now);
    if (allowed) Fire(ControlEvent::kChange);
  }

  std::string seen_;
  int quiet_ = 0;
  int setting_ = 0;
};

// The combo boxes here. A drop-down combo box's window is as high as its
// edit field; the height it is made with decides how far its list opens, so
// the list is sized from DropDownCount rather than from the file's Height.
class ComboControl : public ShellControl {
 public:
  using ShellControl::ShellControl;

 protected:
  // Call after the items' height is known.
  void FitDropDown() {
    if (Window() == nullptr) return;
    RECT bounds{};
    GetWindowRect(Window(), &bounds);
    auto itemHeight = static_cast<int>(SendMessageA(Window(), CB_GETITEMHEIGHT, 0, 0));
    if (itemHeight <= 0) itemHeight = 16;
    SetWindowPos(Window(), nullptr, 0, 0, bounds.right - bounds.left,
                 bounds.bottom - bounds.top + dropDownCount_ * itemHeight + 2,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  std::optional<std::string> GetComboProperty(std::string_view name) const {
    if (SameName(name, "DropDownCount")) return std::to_string(dropDownCount_);
    return std::nullopt;
  }
  std::optional<bool> SetComboProperty(std::string_view name, const std::string& text) {
    if (!SameName(name, "DropDownCount")) return std::nullopt;
    const auto count = ParseInt(text);
    if (!count || *count < 1 || *count > 100) return false;
    dropDownCount_ = *count;
    FitDropDown();
    return true;
  }

 private:
  int dropDownCount_ = 8;
};

// ---------------------------------------------------------------------------
// TTreeView

struct TreeLine {
  int level = 0;
  std::string text;
};

// One node a line, its level the count of leading tabs; a line more than one
// level deeper than the one before it hangs one level below that one. Empty
// lines are no nodes.
std::vector<TreeLine> ParseTreeLines(std::string_view text) {
  std::vector<TreeLine> lines;
  int previous = -1;
  for (const std::string& line : TextLines(text)) {
    if (line.empty()) continue;
    const std::size_t tabs = line.find_first_not_of('\t');
    const std::size_t depth = tabs == std::string::npos ? line.size() : tabs;
    const int level =
        static_cast<int>(std::min<std::size_t>(depth, static_cast<std::size_t>(previous + 1)));
    lines.push_back({level, line.substr(depth)});
    previous = level;
  }
  return lines;
}

class TreeViewControl final : public ShellControl {
 public:
  TreeViewControl(const FormObject& object, ControlSite& site)
      : ShellControl(object, "TTreeView", site),
        showLines_(FileFlag("ShowLines", true)),
        showButtons_(FileFlag("ShowButtons", true)),
        showRoot_(FileFlag("ShowRoot", true)),
        hideSelection_(FileFlag("HideSelection", true)),
        readOnly_(FileFlag("ReadOnly", false)),
        autoExpand_(FileFlag("AutoExpand", false)) {}

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = WC_TREEVIEWA;
    spec.style = WS_TABSTOP | (showLines_ ? TVS_HASLINES : 0) |
                 (showButtons_ ? TVS_HASBUTTONS : 0) | (showRoot_ ? TVS_LINESATROOT : 0) |
                 (hideSelection_ ? 0 : TVS_SHOWSELALWAYS) | (readOnly_ ? 0 : TVS_EDITLABELS);
    spec.exStyle = WS_EX_CLIENTEDGE;
    return spec;
  }

  void Created() override {
    if (indent_) SendMessageA(Window(), TVM_SETINDENT, static_cast<WPARAM>(*indent_), 0);
    Build(pending_);
    pending_.clear();
    TakeValue();
  }

  std::string Value() override {
    return std::to_string(reinterpret_cast<std::uintptr_t>(Selection()));
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Items")) return ItemsText();
    if (SameName(name, "Selected")) {
      const HTREEITEM selected = Selection();
      return selected != nullptr ? ItemText(selected) : "";
    }
    if (SameName(name, "SelectedPath")) return SelectedPath();
    if (SameName(name, "ShowLines")) return BoolText(showLines_);
    if (SameName(name, "ShowButtons")) return BoolText(showButtons_);
    if (SameName(name, "ShowRoot")) return BoolText(showRoot_);
    if (SameName(name, "HideSelection")) return BoolText(hideSelection_);
    if (SameName(name, "ReadOnly")) return BoolText(readOnly_);
    if (SameName(name, "AutoExpand")) return BoolText(autoExpand_);
    if (SameName(name, "Indent")) {
      if (Window() != nullptr) {
        return std::to_string(static_cast<int>(SendMessageA(Window(), TVM_GETINDENT, 0, 0)));
      }
      return std::to_string(indent_.value_or(19));
    }
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Items")) {
      SetItems(ParseTreeLines(text));
      return true;
    }
    if (SameName(name, "Selected")) return SelectByText(text);
    if (SameName(name, "SelectedPath")) return SelectByPath(text);
    if (SameName(name, "ShowLines")) return SetFlag(text, showLines_, TVS_HASLINES, true);
    if (SameName(name, "ShowButtons")) return SetFlag(text, showButtons_, TVS_HASBUTTONS, true);
    if (SameName(name, "ShowRoot")) return SetFlag(text, showRoot_, TVS_LINESATROOT, true);
    if (SameName(name, "HideSelection")) {
      return SetFlag(text, hideSelection_, TVS_SHOWSELALWAYS, false);
    }
    if (SameName(name, "ReadOnly")) return SetFlag(text, readOnly_, TVS_EDITLABELS, false);
    if (SameName(name, "AutoExpand")) {
      const auto value = ParseBool(text);
      if (value) autoExpand_ = *value;
      return value.has_value();
    }
    if (SameName(name, "Indent")) {
      const auto value = ParseInt(text);
      if (!value || *value < 0) return false;
      indent_ = *value;
      if (Window() != nullptr)
        SendMessageA(Window(), TVM_SETINDENT, static_cast<WPARAM>(*value), 0);
      return true;
    }
    return std::nullopt;
  }

  bool OnNotify(NMHDR& header, LRESULT& result) override {
    switch (header.code) {
      case TVN_SELCHANGEDA:
      case TVN_SELCHANGEDW:
        CheckUserChange();
        return true;
      case NM_CLICK:
      case NM_RCLICK:
        FireFromUser(ControlEvent::kMouseUp);
        return true;
      case TVN_ENDLABELEDITA:
      case TVN_ENDLABELEDITW: {
        // The edit is kept unless it was cancelled (no text).
        const auto& info = reinterpret_cast<const NMTVDISPINFOA&>(header);
        result = info.item.pszText != nullptr ? TRUE : FALSE;
        return true;
      }
      default:
        return false;
    }
  }

 private:
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(Window(), message, wParam, lParam);
  }
  HTREEITEM Next(HTREEITEM item, WPARAM relation) const {
    return reinterpret_cast<HTREEITEM>(
        Send(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
  }
  HTREEITEM Selection() const { return Window() != nullptr ? Next(nullptr, TVGN_CARET) : nullptr; }

  // Every node depth-first with its level, walked without recursion so that
  // a deep tree cannot exhaust the stack.
  std::vector<std::pair<int, HTREEITEM>> Nodes() const {
    std::vector<std::pair<int, HTREEITEM>> nodes;
    if (Window() == nullptr) return nodes;
    HTREEITEM item = Next(nullptr, TVGN_ROOT);
    int level = 0;
    while (item != nullptr) {
      nodes.emplace_back(level, item);
      if (const HTREEITEM child = Next(item, TVGN_CHILD); child != nullptr) {
        item = child;
        ++level;
        continue;
      }
      while (item != nullptr) {
        if (const HTREEITEM sibling = Next(item, TVGN_NEXT); sibling != nullptr) {
          item = sibling;
          break;
        }
        item = Next(item, TVGN_PARENT);
        --level;
      }
    }
    return nodes;
  }

  std::string ItemText(HTREEITEM item) const {
    std::vector<char> buffer(260);
    for (;;) {
      TVITEMA data{};
      data.mask = TVIF_TEXT;
      data.hItem = item;
      data.pszText = buffer.data();
      data.cchTextMax = static_cast<int>(buffer.size());
      buffer[0] = '\0';
      if (Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) == FALSE) return "";
      buffer.back() = '\0';
      const std::size_t length = std::strlen(buffer.data());
      if (length + 1 < buffer.size() || buffer.size() >= 65536)
        return std::string(buffer.data(), length);
      buffer.resize(buffer.size() * 4);
    }
  }

  std::string ItemsText() const {
    std::vector<std::string> lines;
    if (Window() == nullptr) {
      for (const TreeLine& line : pending_)
        lines.push_back(std::string(line.level, '\t') + line.text);
    } else {
      for (const auto& [level, item] : Nodes()) {
        lines.push_back(std::string(static_cast<std::size_t>(level), '\t') + ItemText(item));
      }
    }
    return JoinItems(lines);
  }

  std::string SelectedPath() const {
    std::vector<std::string> texts;
    for (HTREEITEM item = Selection(); item != nullptr; item = Next(item, TVGN_PARENT)) {
      texts.push_back(ItemText(item));
    }
    std::string path;
    for (auto text = texts.rbegin(); text != texts.rend(); ++text) {
      if (!path.empty() || text != texts.rbegin()) path += '\\';
      path += *text;
    }
    return path;
  }

  void SetItems(std::vector<TreeLine> lines) {
    if (Window() == nullptr) {
      pending_ = std::move(lines);
      return;
    }
    const auto nodes = Nodes();
    const bool sameShape =
        nodes.size() == lines.size() &&
        std::equal(nodes.begin(), nodes.end(), lines.begin(),
                   [](const auto& node, const TreeLine& line) { return node.first == line.level; });
    if (sameShape) {
      // Only the labels change: selection and expansion stay as they are.
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        TVITEMA data{};
        data.mask = TVIF_TEXT;
        data.hItem = nodes[i].second;
        data.pszText = const_cast<char*>(lines[i].text.c_str());
        Send(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&data));
      }
      return;
    }
    Build(lines);
    CheckChange();
  }

  void Build(const std::vector<TreeLine>& lines) {
    Quiet quiet(*this);
    NoRedraw noRedraw(Window());
    Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    std::vector<HTREEITEM> parents;
    std::vector<HTREEITEM> roots;
    for (const TreeLine& line : lines) {
      const auto level = static_cast<std::size_t>(line.level);
      if (level > parents.size()) continue;  // cannot happen with parsed lines
      TVINSERTSTRUCTA insert{};
      insert.hParent = level == 0 ? TVI_ROOT : parents[level - 1];
      insert.hInsertAfter = TVI_LAST;
      insert.item.mask = TVIF_TEXT;
      insert.item.pszText = const_cast<char*>(line.text.c_str());
      const auto item =
          reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
      if (item == nullptr) break;
      parents.resize(level);
      parents.push_back(item);
      if (level == 0) roots.push_back(item);
    }
    // The first level shows its children, so a feature tree is visible at once.
    for (const HTREEITEM root : roots) Send(TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
  }

  bool Select(HTREEITEM item) {
    if (Window() == nullptr) return false;
    {
      Quiet quiet(*this);
      Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
      if (item != nullptr) Send(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    }
    CheckChange();
    return true;
  }

  bool SelectByText(const std::string& text) {
    if (text.empty()) return Select(nullptr);
    for (const auto& [level, item] : Nodes()) {
      if (ItemText(item) == text) return Select(item);
    }
    return false;
  }

  bool SelectByPath(const std::string& path) {
    if (path.empty()) return Select(nullptr);
    if (Window() == nullptr) return false;
    HTREEITEM item = nullptr;
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      const std::string text = path.substr(start, end - start);
      HTREEITEM child = item == nullptr ? Next(nullptr, TVGN_ROOT) : Next(item, TVGN_CHILD);
      while (child != nullptr && ItemText(child) != text) child = Next(child, TVGN_NEXT);
      if (child == nullptr) return false;
      item = child;
      start = end + 1;
    }
    return Select(item);
  }

  bool showLines_;
  bool showButtons_;
  bool showRoot_;
  bool hideSelection_;
  bool readOnly_;
  bool autoExpand_;
  std::optional<int> indent_;
  std::vector<TreeLine> pending_;  // Items set before the window exists
};

// ---------------------------------------------------------------------------
// TFileListBox

class FileListBoxControl final : public ShellControl {
 public:
  FileListBoxControl(const FormObject& object, ControlSite& site)
      : ShellControl(object, "TFileListBox", site), directory_(CurrentFolder()) {}

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "LISTBOX";
    spec.style = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT;
    spec.exStyle = WS_EX_CLIENTEDGE;
    return spec;
  }

  void Created() override {
    Fill("");
    TakeValue();
  }

  std::string Value() override { return FileName(); }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Directory")) return directory_;
    if (SameName(name, "FileName")) return FileName();
    if (SameName(name, "Mask")) return mask_;
    if (SameName(name, "ItemIndex")) return std::to_string(Index());
    if (SameName(name, "Items")) {
      std::vector<std::string> items;
      const int count = Window() != nullptr ? static_cast<int>(Send(LB_GETCOUNT, 0, 0)) : 0;
      for (int i = 0; i < count; ++i) items.push_back(ListBoxText(Window(), i));
      return JoinItems(items);
    }
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Directory")) {
      const auto folder = ExistingFolder(text);
      if (!folder) return false;
      const std::string keep = SamePath(*folder, directory_) ? SelectedName() : "";
      directory_ = *folder;
      Fill(keep);
      CheckChange();
      return true;
    }
    if (SameName(name, "Mask")) {
      const std::string_view mask = Trimmed(text);
      if (!IsValidMask(mask)) return false;
      mask_ = mask.empty() ? "*.*" : std::string(mask);
      Fill(SelectedName());
      CheckChange();
      return true;
    }
    if (SameName(name, "FileName")) return SetFileName(text);
    if (SameName(name, "ItemIndex")) {
      const auto index = ParseInt(text);
      if (!index || Window() == nullptr || *index < -1 || *index >= Send(LB_GETCOUNT, 0, 0)) {
        return false;
      }
      {
        Quiet quiet(*this);
        Send(LB_SETCURSEL, static_cast<WPARAM>(*index), 0);
      }
      CheckChange();
      return true;
    }
    if (SameName(name, "Items")) return false;  // the folder's files; not set from outside
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (notification == LBN_SELCHANGE) CheckUserChange();
  }

 private:
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(Window(), message, wParam, lParam);
  }
  int Index() const {
    if (Window() == nullptr) return -1;
    const auto index = Send(LB_GETCURSEL, 0, 0);
    return index == LB_ERR ? -1 : static_cast<int>(index);
  }
  std::string SelectedName() const {
    const int index = Index();
    return index < 0 ? "" : ListBoxText(Window(), index);
  }
  std::string FileName() const {
    const std::string name = SelectedName();
    return name.empty() ? "" : JoinPath(directory_, name);
  }

  // Lists the files of the folder that match the mask and selects keep
  // again when it is still there.
  void Fill(const std::string& keep) {
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    NoRedraw noRedraw(Window());
    Send(LB_RESETCONTENT, 0, 0);
    const MaskSet masks(mask_);
    const auto files = ListFolder(directory_, [&](const FolderEntry& entry) {
      return !entry.folder && masks.Matches(entry.name);
    });
    for (const FolderEntry& file : files) {
      Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(file.name.c_str()));
    }
    if (!keep.empty()) {
      const auto index =
          Send(LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(keep.c_str()));
      if (index != LB_ERR) Send(LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
  }

  // A full path of a file shown, or just its name; "" selects none.
  bool SetFileName(const std::string& text) {
    if (Window() == nullptr) return false;
    int index = -1;
    if (!text.empty()) {
      auto [folder, name] = SplitLast(text);
      if (!folder.empty()) {
        const auto existing = ExistingFolder(folder);
        if (!existing || !SamePath(*existing, directory_)) return false;
      }
      if (name.empty()) return false;
      const auto found =
          Send(LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name.c_str()));
      if (found == LB_ERR) return false;
      index = static_cast<int>(found);
    }
    {
      Quiet quiet(*this);
      Send(LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    CheckChange();
    return true;
  }

  std::string directory_;
  std::string mask_ = "*.*";
};

// ---------------------------------------------------------------------------
// TDirectoryListBox

class DirectoryListBoxControl final : public ShellControl {
 public:
  DirectoryListBoxControl(const FormObject& object, ControlSite& site)
      : ShellControl(object, "TDirectoryListBox", site), directory_(CurrentFolder()) {}

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "LISTBOX";
    spec.style = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED |
                 LBS_HASSTRINGS;
    spec.exStyle = WS_EX_CLIENTEDGE;
    return spec;
  }
  bool WantsOwnMessages() const override { return true; }

  void Created() override {
    Send(LB_SETITEMHEIGHT, 0, ItemHeightFor(Window(), Font()));
    Fill();
    TakeValue();
  }

  std::string Value() override { return directory_; }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Directory")) return directory_;
    if (SameName(name, "Items")) {
      std::vector<std::string> items;
      for (const Entry& entry : entries_) items.push_back(entry.label);
      return JoinItems(items);
    }
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Directory")) {
      const auto folder = ExistingFolder(text);
      if (!folder) return false;
      directory_ = *folder;
      Fill();
      CheckChange();
      return true;
    }
    if (SameName(name, "Items")) return false;
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (notification == LBN_DBLCLK && !Quieted()) OpenSelected();
  }

  bool OnDrawItem(DRAWITEMSTRUCT& item) override {
    const auto index = static_cast<std::size_t>(item.itemID);
    if (item.itemID == static_cast<UINT>(-1) || index >= entries_.size()) {
      DrawIndentedItem(item, Font(), "", 0, -1);
      return true;
    }
    const Entry& entry = entries_[index];
    const int icon = entry.level == 0 ? rootIcon_
                     : entry.open     ? Icons().openFolder
                                      : Icons().folder;
    DrawIndentedItem(item, Font(), entry.label, entry.level * kIndentStep, icon);
    return true;
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_KEYDOWN:
        if (wParam != VK_RETURN) return false;
        OpenSelected();
        result = 0;
        return true;
      case WM_GETDLGCODE: {
        // Enter opens the folder rather than pressing the dialog's default button.
        const auto* keyMessage = reinterpret_cast<const MSG*>(lParam);
        if (keyMessage == nullptr || keyMessage->message != WM_KEYDOWN ||
            keyMessage->wParam != VK_RETURN) {
          return false;
        }
        result = DefSubclassProc(Window(), message, wParam, lParam) | DLGC_WANTMESSAGE;
        return true;
      }
      case WM_SETFONT:
        Send(LB_SETITEMHEIGHT, 0, ItemHeightFor(Window(), reinterpret_cast<HFONT>(wParam)));
        return false;
      default:
        return false;
    }
  }

 private:
  struct Entry {
    std::string path;
    std::string label;
    int level = 0;
    bool open = false;  // on the way to the current folder
  };

  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(Window(), message, wParam, lParam);
  }

  // The root, each folder down to the current one, then its subfolders.
  void Fill() {
    entries_.clear();
    if (!directory_.empty()) {
      const FolderParts parts = SplitFolder(directory_);
      std::string label = parts.root;
      if (IsDriveRoot(label)) {
        label[0] = LowerAscii(label[0]);
        if (parts.root != rootIconFor_) {
          Drive drive;
          drive.root = parts.root;
          drive.type = GetDriveTypeA(drive.root.c_str());
          rootIcon_ = DriveIcon(drive);
          rootIconFor_ = parts.root;
        }
      } else {
        rootIcon_ = Icons().folder;
        rootIconFor_.clear();
      }
      entries_.push_back({parts.root, label, 0, true});
      std::string path = parts.root;
      int level = 0;
      for (const std::string& name : parts.names) {
        path = JoinPath(path, name);
        entries_.push_back({path, name, ++level, true});
      }
      for (const FolderEntry& folder : Subfolders(directory_)) {
        entries_.push_back({JoinPath(directory_, folder.name), folder.name, level + 1, false});
      }
      current_ = static_cast<int>(parts.names.size());
    }
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    NoRedraw noRedraw(Window());
    Send(LB_RESETCONTENT, 0, 0);
    for (const Entry& entry : entries_) {
      Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.label.c_str()));
    }
    if (!entries_.empty()) Send(LB_SETCURSEL, static_cast<WPARAM>(current_), 0);
  }

  void OpenSelected() {
    const auto index = Send(LB_GETCURSEL, 0, 0);
    if (index == LB_ERR || index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return;
    const auto folder = ExistingFolder(entries_[static_cast<std::size_t>(index)].path);
    // A folder that vanished: show what is there now.
    if (folder) directory_ = *folder;
    Fill();
    CheckUserChange();
  }

  std::string directory_;
  std::vector<Entry> entries_;
  int current_ = 0;
  int rootIcon_ = -1;        // the root entry's icon
  std::string rootIconFor_;  // the drive it was looked up for
};

// ---------------------------------------------------------------------------
// TDriveComboBox

class DriveComboBoxControl final : public ComboControl {
 public:
  DriveComboBoxControl(const FormObject& object, ControlSite& site)
      : ComboControl(object, "TDriveComboBox", site), drives_(LogicalDrives(true)) {
    const std::string current = CurrentFolder();
    if (current.size() >= 2 && current[1] == ':') drive_ = LowerAscii(current[0]);
    if (Find(drive_) < 0) drive_ = drives_.empty() ? '\0' : drives_.front().letter;
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "COMBOBOX";
    spec.style = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    return spec;
  }

  void Created() override {
    for (const Drive& drive : drives_) {
      std::string text{drive.letter, ':'};
      if (!drive.label.empty()) text += " [" + drive.label + "]";
      Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    Send(CB_SETCURSEL, static_cast<WPARAM>(Find(drive_)), 0);
    FitDropDown();
    TakeValue();
  }

  std::string Value() override { return drive_ == '\0' ? "" : std::string(1, drive_); }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (auto value = GetComboProperty(name)) return value;
    if (SameName(name, "Drive")) return Value();
    if (SameName(name, "Items")) {
      std::vector<std::string> items;
      for (int i = 0; i < Count(); ++i) items.push_back(ItemText(i));
      return JoinItems(items);
    }
    if (SameName(name, "Text")) return ItemText(Find(drive_));
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (auto valid = SetComboProperty(name, text)) return valid;
    if (SameName(name, "Drive")) {
      // "d", "D", "d:" and "d:\" name the same drive.
      const std::string_view value = Trimmed(text);
      if (value.empty() || !IsLetter(value[0]) || value.size() > 3 ||
          (value.size() >= 2 && value[1] != ':') || (value.size() == 3 && value[2] != '\\')) {
        return false;
      }
      const int index = Find(LowerAscii(value[0]));
      if (index < 0) return false;
      drive_ = LowerAscii(value[0]);
      if (Window() != nullptr) {
        Quiet quiet(*this);
        Send(CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      }
      CheckChange();
      return true;
    }
    if (SameName(name, "Items") || SameName(name, "Text")) return false;
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (notification != CBN_SELCHANGE || Quieted()) return;
    const auto index = Send(CB_GETCURSEL, 0, 0);
    if (index == CB_ERR || index < 0 || static_cast<std::size_t>(index) >= drives_.size()) return;
    drive_ = drives_[static_cast<std::size_t>(index)].letter;
    CheckUserChange();
  }

 private:
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(Window(), message, wParam, lParam);
  }
  int Find(char letter) const {
    for (std::size_t i = 0; i < drives_.size(); ++i) {
      if (drives_[i].letter == letter) return static_cast<int>(i);
    }
    return -1;
  }
  int Count() const { return Window() != nullptr ? static_cast<int>(Send(CB_GETCOUNT, 0, 0)) : 0; }
  std::string ItemText(int index) const {
    if (Window() == nullptr || index < 0) return "";
    const auto length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length < 0) return "";
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const auto got =
        Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR || got < 0 ? 0 : static_cast<std::size_t>(got));
    return text;
  }

  std::vector<Drive> drives_;
  char drive_ = '\0';
};

// ---------------------------------------------------------------------------
// TFilterComboBox

struct FilterItem {
  std::string description;
  std::string mask;
};

// "Text files (*.txt)|*.txt|All files (*.*)|*.*": descriptions and masks in
// turn. nullopt when a description has no mask or a mask is not one.
std::optional<std::vector<FilterItem>> ParseFilter(std::string_view text) {
  std::vector<FilterItem> items;
  if (text.empty()) return items;
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('|', start);
    if (end == std::string_view::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (parts.size() % 2 != 0 && parts.back().empty()) parts.pop_back();  // a trailing '|'
  if (parts.size() % 2 != 0) return std::nullopt;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    const std::string_view mask = Trimmed(parts[i + 1]);
    if (mask.empty() || !IsValidMask(mask)) return std::nullopt;
    items.push_back({std::string(parts[i]), std::string(mask)});
  }
  return items;
}

class FilterComboBoxControl final : public ComboControl {
 public:
  FilterComboBoxControl(const FormObject& object, ControlSite& site)
      : ComboControl(object, "TFilterComboBox", site),
        filter_(kDefaultFilter),
        items_(ParseFilter(kDefaultFilter).value_or(std::vector<FilterItem>{})) {}

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "COMBOBOX";
    spec.style = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    return spec;
  }

  void Created() override {
    Fill();
    FitDropDown();
    TakeValue();
  }

  std::string Value() override { return std::to_string(index_) + '|' + Mask(); }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (auto value = GetComboProperty(name)) return value;
    if (SameName(name, "Filter")) return filter_;
    if (SameName(name, "Mask")) return Mask();
    if (SameName(name, "ItemIndex")) return std::to_string(index_);
    if (SameName(name, "Items")) {
      std::vector<std::string> items;
      for (const FilterItem& item : items_) items.push_back(item.description);
      return JoinItems(items);
    }
    if (SameName(name, "Text"))
      return index_ >= 0 ? items_[static_cast<std::size_t>(index_)].description : "";
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (auto valid = SetComboProperty(name, text)) return valid;
    if (SameName(name, "Filter")) {
      auto items = ParseFilter(text);
      if (!items) return false;
      filter_ = text;
      items_ = std::move(*items);
      index_ = items_.empty() ? -1 : 0;
      Fill();
      CheckChange();
      return true;
    }
    if (SameName(name, "ItemIndex")) {
      const auto index = ParseInt(text);
      if (!index || *index < -1 || *index >= static_cast<int>(items_.size())) return false;
      return Choose(*index);
    }
    if (SameName(name, "Mask")) {
      // Chooses the first item with that mask.
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (SamePath(items_[i].mask, Trimmed(text))) return Choose(static_cast<int>(i));
      }
      return false;
    }
    if (SameName(name, "Items") || SameName(name, "Text")) return false;
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (notification != CBN_SELCHANGE || Quieted()) return;
    const auto index = SendMessageA(Window(), CB_GETCURSEL, 0, 0);
    index_ = index == CB_ERR || index < 0 || index >= static_cast<LRESULT>(items_.size())
                 ? -1
                 : static_cast<int>(index);
    CheckUserChange();
  }

 private:
  static constexpr const char* kDefaultFilter = "All files (*.*)|*.*";

  // The selected item's mask; every file when none is selected.
  std::string Mask() const {
    return index_ >= 0 ? items_[static_cast<std::size_t>(index_)].mask : "*.*";
  }

  void Fill() {
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    SendMessageA(Window(), CB_RESETCONTENT, 0, 0);
    for (const FilterItem& item : items_) {
      SendMessageA(Window(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.description.c_str()));
    }
    SendMessageA(Window(), CB_SETCURSEL, static_cast<WPARAM>(index_), 0);
  }

  bool Choose(int index) {
    index_ = index;
    if (Window() != nullptr) {
      Quiet quiet(*this);
      SendMessageA(Window(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    CheckChange();
    return true;
  }

  std::string filter_;
  std::vector<FilterItem> items_;
  int index_ = 0;
};

// ---------------------------------------------------------------------------
// TPTShellTree

class ShellTreeControl final : public ShellControl {
 public:
  ShellTreeControl(const FormObject& object, ControlSite& site)
      : ShellControl(object, "TPTShellTree", site),
        hideSelection_(FileFlag("HideSelection", true)) {}

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = WC_TREEVIEWA;
    spec.style = WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                 TVS_DISABLEDRAGDROP | (hideSelection_ ? 0 : TVS_SHOWSELALWAYS);
    spec.exStyle = WS_EX_CLIENTEDGE;
    return spec;
  }

  void Created() override {
    if (Icons().small != nullptr) {
      Send(TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(Icons().small));
    }
    for (const Drive& drive : LogicalDrives(false)) {
      const int icon = DriveIcon(drive);
      // Drives are not probed for folders until they are opened.
      AddNode(TVI_ROOT, drive.root, drive.root, icon, icon, 1);
    }
    if (!pendingPath_.empty()) {
      ShowPath(pendingPath_);
      pendingPath_.clear();
    }
    TakeValue();
  }

  std::string Value() override { return Path(); }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Path")) return Window() != nullptr ? Path() : pendingPath_;
    if (SameName(name, "HideSelection")) return BoolText(hideSelection_);
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Path")) {
      const auto folder = ExistingFolder(text);
      if (!folder) return false;
      if (Window() == nullptr) {
        if (!IsDriveRoot(SplitFolder(*folder).root)) return false;
        pendingPath_ = *folder;
        return true;
      }
      if (!ShowPath(*folder)) return false;
      CheckChange();
      return true;
    }
    if (SameName(name, "HideSelection")) {
      return SetFlag(text, hideSelection_, TVS_SHOWSELALWAYS, false);
    }
    return std::nullopt;
  }

  bool OnNotify(NMHDR& header, LRESULT& result) override {
    switch (header.code) {
      case TVN_ITEMEXPANDINGA:
      case TVN_ITEMEXPANDINGW: {
        const auto& info = reinterpret_cast<const NMTREEVIEWA&>(header);
        if ((info.action & TVE_EXPAND) != 0) Fill(info.itemNew.hItem);
        result = FALSE;
        return true;
      }
      case TVN_GETDISPINFOA:
      case TVN_GETDISPINFOW: {
        // Only whether a folder has subfolders is asked for, when it is shown.
        auto& info = reinterpret_cast<NMTVDISPINFOA&>(header);
        if ((info.item.mask & TVIF_CHILDREN) != 0) {
          const Node* node = NodeAt(info.item.lParam);
          info.item.cChildren = node != nullptr && HasSubfolders(node->path) ? 1 : 0;
          info.item.mask |= TVIF_DI_SETITEM;
        }
        return true;
      }
      case TVN_SELCHANGEDA:
      case TVN_SELCHANGEDW:
        CheckUserChange();
        return true;
      default:
        return false;
    }
  }

 private:
  struct Node {
    std::string path;
    bool filled = false;
  };

  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(Window(), message, wParam, lParam);
  }
  HTREEITEM Next(HTREEITEM item, WPARAM relation) const {
    return reinterpret_cast<HTREEITEM>(
        Send(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
  }

  const Node* NodeAt(LPARAM index) const {
    return index >= 0 && static_cast<std::size_t>(index) < nodes_.size()
               ? &nodes_[static_cast<std::size_t>(index)]
               : nullptr;
  }
  LPARAM IndexOf(HTREEITEM item) const {
    TVITEMA data{};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    if (item == nullptr || Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) == FALSE)
      return -1;
    return data.lParam;
  }
  std::string Path() const {
    const HTREEITEM selected = Window() != nullptr ? Next(nullptr, TVGN_CARET) : nullptr;
    const Node* node = NodeAt(IndexOf(selected));
    return node != nullptr ? node->path : "";
  }

  HTREEITEM AddNode(HTREEITEM parent, const std::string& label, const std::string& path, int image,
                    int selectedImage, int children) {
    nodes_.push_back({path, false});
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<char*>(label.c_str());
    insert.item.lParam = static_cast<LPARAM>(nodes_.size() - 1);
    insert.item.cChildren = children;
    if (image >= 0) {
      insert.item.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
      insert.item.iImage = image;
      insert.item.iSelectedImage = selectedImage;
    }
    return reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
  }

  void SetHasChildren(HTREEITEM item, bool has) {
    TVITEMA data{};
    data.mask = TVIF_CHILDREN;
    data.hItem = item;
    data.cChildren = has ? 1 : 0;
    Send(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&data));
  }

  // Lists a folder's subfolders the first time it opens.
  void Fill(HTREEITEM item) {
    const LPARAM index = IndexOf(item);
    if (NodeAt(index) == nullptr || nodes_[static_cast<std::size_t>(index)].filled) return;
    nodes_[static_cast<std::size_t>(index)].filled = true;
    const std::string path = nodes_[static_cast<std::size_t>(index)].path;
    const auto folders = Subfolders(path);
    for (const FolderEntry& folder : folders) {
      AddNode(item, folder.name, JoinPath(path, folder.name), Icons().folder, Icons().openFolder,
              I_CHILDRENCALLBACK);
    }
    if (folders.empty()) SetHasChildren(item, false);
  }

  // Opens the tree down to an existing folder and selects it, without
  // reporting; false when the folder is not on one of the drives.
  bool ShowPath(const std::string& folder) {
    const FolderParts parts = SplitFolder(folder);
    HTREEITEM item = Next(nullptr, TVGN_ROOT);
    while (item != nullptr) {
      const Node* node = NodeAt(IndexOf(item));
      if (node != nullptr && SamePath(node->path, parts.root)) break;
      item = Next(item, TVGN_NEXT);
    }
    if (item == nullptr) return false;
    Quiet quiet(*this);
    std::string path = parts.root;
    for (const std::string& name : parts.names) {
      Fill(item);
      path = JoinPath(path, name);
      HTREEITEM child = Next(item, TVGN_CHILD);
      while (child != nullptr) {
        const Node* node = NodeAt(IndexOf(child));
        if (node != nullptr && SamePath(node->path, path)) break;
        child = Next(child, TVGN_NEXT);
      }
      if (child == nullptr) {
        // A folder the listing leaves out (hidden) is still shown when asked for.
        child = AddNode(item, name, path, Icons().folder, Icons().openFolder, I_CHILDRENCALLBACK);
        if (child == nullptr) return false;
        SetHasChildren(item, true);
      }
      Send(TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
      item = child;
    }
    Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    Send(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    return true;
  }

  bool hideSelection_;
  std::vector<Node> nodes_;  // each item's folder, by the item's lParam
  std::string pendingPath_;  // Path set before the window exists
};

// ---------------------------------------------------------------------------
// TPTShellList

struct ViewStyleName {
  const char* name;
  DWORD style;
};
constexpr ViewStyleName kViewStyles[] = {
    {"vsIcon", LVS_ICON},
    {"vsSmallIcon", LVS_SMALLICON},
    {"vsList", LVS_LIST},
    {"vsReport", LVS_REPORT},
};

std::optional<DWORD> ParseViewStyle(std::string_view text) {
  for (const ViewStyleName& view : kViewStyles) {
    if (SameName(text, view.name)) return view.style;
  }
  return std::nullopt;
}

std::string SizeText(ULONGLONG size) {
  return std::to_string((size + 1023) / 1024) + " KB";
}

std::string TimeText(const FILETIME& time) {
  FILETIME local{};
  SYSTEMTIME parts{};
  if (FileTimeToLocalFileTime(&time, &local) == FALSE ||
      FileTimeToSystemTime(&local, &parts) == FALSE) {
    return "";
  }
  char date[64] = {};
  char clock[64] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &parts, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &parts, nullptr, clock, sizeof clock);
  return std::string(date) + ' ' + clock;
}

class ShellListControl final : public ShellControl {
 public:
  ShellListControl(const FormObject& object, ControlSite& site)
      : ShellControl(object, "TPTShellList", site),
        path_(CurrentFolder()),
        hideSelection_(FileFlag("HideSelection", true)) {
    if (const FormProperty* view = FileProperty("ViewStyle")) {
      view_ = ParseViewStyle(view->text).value_or(LVS_LIST);
    }
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = WC_LISTVIEWA;
    // The system's image lists are shared: the list must not destroy them.
    spec.style = WS_TABSTOP | LVS_SINGLESEL | LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE | view_ |
                 (hideSelection_ ? 0 : LVS_SHOWSELALWAYS);
    spec.exStyle = WS_EX_CLIENTEDGE;
    return spec;
  }

  bool WantsOwnMessages() const override { return true; }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    // Enter opens the folder rather than pressing the dialog's default button.
    if (message != WM_GETDLGCODE) return false;
    const auto* keyMessage = reinterpret_cast<const MSG*>(lParam);
    if (keyMessage == nullptr || keyMessage->message != WM_KEYDOWN ||
        keyMessage->wParam != VK_RETURN) {
      return false;
    }
    result = DefSubclassProc(Window(), message, wParam, lParam) | DLGC_WANTMESSAGE;
    return true;
  }

  void Created() override {
    if (Icons().small != nullptr) {
      Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(Icons().small));
    }
    if (Icons().large != nullptr) {
      Send(LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(Icons().large));
    }
    const struct {
      const char* title;
      int width;
      int format;
    } columns[] = {
        {"Name", 200, LVCFMT_LEFT}, {"Size", 80, LVCFMT_RIGHT}, {"Modified", 130, LVCFMT_LEFT}};
    int index = 0;
    for (const auto& column : columns) {
      LVCOLUMNA data{};
      data.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
      data.fmt = column.format;
      data.cx = column.width;
      data.pszText = const_cast<char*>(column.title);
      data.iSubItem = index;
      Send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&data));
    }
    Fill();
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Path")) return path_;
    if (SameName(name, "SelectedPath")) return SelectedPath();
    if (SameName(name, "HideSelection")) return BoolText(hideSelection_);
    if (SameName(name, "ViewStyle")) {
      for (const ViewStyleName& view : kViewStyles) {
        if (view.style == view_) return view.name;
      }
      return "vsList";
    }
    if (SameName(name, "Items")) {
      std::vector<std::string> items;
      for (const FolderEntry& entry : entries_) items.push_back(entry.name);
      return JoinItems(items);
    }
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Path")) {
      // Showing another folder reports nothing by itself.
      const auto folder = ExistingFolder(text);
      if (!folder) return false;
      path_ = *folder;
      Fill();
      return true;
    }
    if (SameName(name, "SelectedPath")) return SetSelectedPath(text);
    if (SameName(name, "HideSelection")) {
      return SetFlag(text, hideSelection_, LVS_SHOWSELALWAYS, false);
    }
    if (SameName(name, "ViewStyle")) {
      const auto view = ParseViewStyle(text);
      if (!view) return false;
      view_ = *view;
      ChangeStyle(LVS_TYPEMASK, view_);
      return true;
    }
    if (SameName(name, "Items")) return false;
    return std::nullopt;
  }

  bool OnNotify(NMHDR& header, LRESULT& /*result*/) override {
    switch (header.code) {
      case LVN_ITEMCHANGED: {
        // Reported when an item becomes selected, and only for items that
        // are files or folders.
        const auto& info = reinterpret_cast<const NMLISTVIEW&>(header);
        if (Quieted() || (info.uChanged & LVIF_STATE) == 0 ||
            (info.uNewState & LVIS_SELECTED) == 0 || (info.uOldState & LVIS_SELECTED) != 0) {
          return true;
        }
        if (!EntryPath(info.iItem).empty()) FireFromUser(ControlEvent::kChange);
        return true;
      }
      case NM_DBLCLK: {
        // A double-click on a folder opens it. (LVN_ITEMACTIVATE is not
        // used: some list views send it on Enter without the item.)
        const auto& info = reinterpret_cast<const NMITEMACTIVATE&>(header);
        OpenEntry(info.iItem);
        return true;
      }
      case LVN_KEYDOWN: {
        const auto& info = reinterpret_cast<const NMLVKEYDOWN&>(header);
        if (info.wVKey == VK_RETURN) {
          OpenEntry(static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)));
        } else if (info.wVKey == VK_BACK && !IsDriveRoot(path_)) {
          // Backspace goes up to the parent folder.
          const auto parent = SplitLast(path_).first;
          if (!parent.empty()) Open(parent);
        }
        return true;
      }
      default:
        return false;
    }
  }

 private:
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(Window(), message, wParam, lParam);
  }

  const FolderEntry* EntryAt(int item) const {
    if (Window() == nullptr || item < 0) return nullptr;
    LVITEMA data{};
    data.mask = LVIF_PARAM;
    data.iItem = item;
    if (Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) == FALSE) return nullptr;
    if (data.lParam < 0 || static_cast<std::size_t>(data.lParam) >= entries_.size()) return nullptr;
    return &entries_[static_cast<std::size_t>(data.lParam)];
  }
  std::string EntryPath(int item) const {
    const FolderEntry* entry = EntryAt(item);
    return entry != nullptr ? JoinPath(path_, entry->name) : "";
  }
  int SelectedItem() const {
    if (Window() == nullptr) return -1;
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
  std::string SelectedPath() const { return EntryPath(SelectedItem()); }

  void SetState(int item, UINT state) {
    LVITEMA data{};
    data.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    data.state = state;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&data));
  }

  // A full path of an item shown, or just its name; "" selects none.
  bool SetSelectedPath(const std::string& text) {
    if (Window() == nullptr) return false;
    if (text.empty()) {
      SetState(-1, 0);
      return true;
    }
    auto [folder, name] = SplitLast(text);
    if (!folder.empty()) {
      const auto existing = ExistingFolder(folder);
      if (!existing || !SamePath(*existing, path_)) return false;
    }
    const int count = static_cast<int>(Send(LVM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item) {
      const FolderEntry* entry = EntryAt(item);
      if (entry == nullptr || !SamePath(entry->name, name)) continue;
      // The list reports the newly selected item itself.
      SetState(item, LVIS_SELECTED | LVIS_FOCUSED);
      Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE);
      return true;
    }
    return false;
  }

  void OpenEntry(int item) {
    const FolderEntry* entry = EntryAt(item);
    if (entry != nullptr && entry->folder) Open(JoinPath(path_, entry->name));
  }

  void Open(const std::string& folder) {
    // A folder that vanished leaves the list where it is, refreshed.
    if (const auto existing = ExistingFolder(folder)) path_ = *existing;
    Fill();
  }

  void Fill() {
    entries_ = ListFolder(path_, [](const FolderEntry&) { return true; });
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    NoRedraw noRedraw(Window());
    Send(LVM_DELETEALLITEMS, 0, 0);
    Send(LVM_SETITEMCOUNT, entries_.size(), 0);
    FileIcons icons;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const FolderEntry& entry = entries_[i];
      LVITEMA data{};
      data.mask = LVIF_TEXT | LVIF_PARAM;
      data.iItem = static_cast<int>(i);
      data.pszText = const_cast<char*>(entry.name.c_str());
      data.lParam = static_cast<LPARAM>(i);
      if (const int icon = icons.Of(entry); icon >= 0) {
        data.mask |= LVIF_IMAGE;
        data.iImage = icon;
      }
      const auto item = static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&data)));
      if (item < 0) break;
      const std::string size = entry.folder ? "" : SizeText(entry.size);
      const std::string time = TimeText(entry.modified);
      LVITEMA sub{};
      sub.iSubItem = 1;
      sub.pszText = const_cast<char*>(size.c_str());
      Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&sub));
      sub.iSubItem = 2;
      sub.pszText = const_cast<char*>(time.c_str());
      Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&sub));
    }
  }

  std::string path_;
  bool hideSelection_;
  DWORD view_ = LVS_LIST;
  std::vector<FolderEntry> entries_;  // by the items' lParam
};

// ---------------------------------------------------------------------------
// TPTShellCombo

class ShellComboControl final : public ComboControl {
 public:
  ShellComboControl(const FormObject& object, ControlSite& site)
      : ComboControl(object, "TPTShellCombo", site), path_(CurrentFolder()) {
    if (!IsDriveRoot(SplitFolder(path_).root)) path_.clear();
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "COMBOBOX";
    spec.style = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
    return spec;
  }
  bool WantsOwnMessages() const override { return true; }

  void Created() override {
    SetItemHeight(Font());
    Fill();
    FitDropDown();
    TakeValue();
  }

  std::string Value() override { return path_; }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (auto value = GetComboProperty(name)) return value;
    if (SameName(name, "Path")) return path_;
    if (SameName(name, "Items")) {
      std::vector<std::string> items;
      for (const Entry& entry : entries_) items.push_back(entry.label);
      return JoinItems(items);
    }
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (auto valid = SetComboProperty(name, text)) return valid;
    if (SameName(name, "Path")) {
      const auto folder = ExistingFolder(text);
      if (!folder || !IsDriveRoot(SplitFolder(*folder).root)) return false;
      path_ = *folder;
      Fill();
      CheckChange();
      return true;
    }
    if (SameName(name, "Items")) return false;
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (Quieted()) return;
    // While the list is open the selection only follows the pointer; the
    // folder changes when it closes on an entry.
    if (notification == CBN_SELCHANGE &&
        SendMessageA(Window(), CB_GETDROPPEDSTATE, 0, 0) == FALSE) {
      ApplySelection();
    } else if (notification == CBN_CLOSEUP) {
      ApplySelection();
    }
  }

  bool OnDrawItem(DRAWITEMSTRUCT& item) override {
    const auto index = static_cast<std::size_t>(item.itemID);
    if (item.itemID == static_cast<UINT>(-1) || index >= entries_.size()) {
      DrawIndentedItem(item, Font(), "", 0, -1);
      return true;
    }
    const Entry& entry = entries_[index];
    // The selection field shows the entry without its indentation.
    const int indent = (item.itemState & ODS_COMBOBOXEDIT) != 0 ? 0 : entry.level * kIndentStep;
    DrawIndentedItem(item, Font(), entry.label, indent, entry.icon);
    return true;
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& /*result*/) override {
    if (message == WM_SETFONT) SetItemHeight(reinterpret_cast<HFONT>(wParam));
    return false;
  }

 private:
  struct Entry {
    std::string path;
    std::string label;
    int level = 0;
    int icon = -1;
  };

  void SetItemHeight(HFONT font) {
    const int height = ItemHeightFor(Window(), font);
    SendMessageA(Window(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height);
    SendMessageA(Window(), CB_SETITEMHEIGHT, 0, height);
  }

  // The drives, with the folders down to the current one below its drive.
  void Fill() {
    entries_.clear();
    std::size_t current = 0;
    const FolderParts parts = SplitFolder(path_);
    for (const Drive& drive : LogicalDrives(false)) {
      if (entries_.size() >= kMaxEntries) break;
      entries_.push_back({drive.root, drive.root, 0, DriveIcon(drive)});
      if (path_.empty() || !SamePath(drive.root, parts.root)) continue;
      current = entries_.size() - 1;
      std::string path = drive.root;
      int level = 0;
      for (const std::string& name : parts.names) {
        path = JoinPath(path, name);
        entries_.push_back({path, name, ++level, Icons().openFolder});
        current = entries_.size() - 1;
      }
    }
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    SendMessageA(Window(), CB_RESETCONTENT, 0, 0);
    for (const Entry& entry : entries_) {
      SendMessageA(Window(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.label.c_str()));
    }
    SendMessageA(Window(), CB_SETCURSEL, path_.empty() ? static_cast<WPARAM>(-1) : current, 0);
  }

  void ApplySelection() {
    const auto index = SendMessageA(Window(), CB_GETCURSEL, 0, 0);
    if (index == CB_ERR || index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return;
    const auto folder = ExistingFolder(entries_[static_cast<std::size_t>(index)].path);
    if (folder && SamePath(*folder, path_)) return;
    // A drive without media or a vanished folder: back to where it was.
    if (folder) path_ = *folder;
    Fill();
    CheckUserChange();
  }

  std::string path_;
  std::vector<Entry> entries_;
};

}  // namespace

std::unique_ptr<FormControl> CreateShellControl(const FormObject& object, ControlSite& site) {
  static const bool initialized = [] {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    return InitCommonControlsEx(&classes) != FALSE;
  }();
  (void)initialized;
  const std::string& name = object.className;
  if (SameName(name, "TTreeView")) return std::make_unique<TreeViewControl>(object, site);
  if (SameName(name, "TFileListBox")) return std::make_unique<FileListBoxControl>(object, site);
  if (SameName(name, "TDirectoryListBox")) {
    return std::make_unique<DirectoryListBoxControl>(object, site);
  }
  if (SameName(name, "TDriveComboBox")) return std::make_unique<DriveComboBoxControl>(object, site);
  if (SameName(name, "TFilterComboBox")) {
    return std::make_unique<FilterComboBoxControl>(object, site);
  }
  if (SameName(name, "TPTShellTree")) return std::make_unique<ShellTreeControl>(object, site);
  if (SameName(name, "TPTShellList")) return std::make_unique<ShellListControl>(object, site);
  if (SameName(name, "TPTShellCombo")) return std::make_unique<ShellComboControl>(object, site);
  return nullptr;
}

}  // namespace tavrel
