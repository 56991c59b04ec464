#include "engine/win32/win32_system_port.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/paths.h"
#include "common/win32/handle_owner.h"
#include "common/win32/wide_text.h"
#include "engine/core/installed_product.h"
#include "engine/core/restart_deletion.h"
#include "engine/core/start_folders.h"
#include "engine/win32/environment_switch.h"
#include "engine/win32/plugin_library.h"
#include "engine/win32/win32_file.h"
#include "engine/win32/windows_installer.h"

namespace tavrel {

namespace {

// Text files the commands read are small; a larger file is not read at all
// rather than half read, and is therefore never rewritten.
constexpr LONGLONG kMaxTextFile = LONGLONG{256} << 20;

bool IsMissingError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME || error == ERROR_BAD_NETPATH ||
         error == ERROR_BAD_NET_NAME || error == ERROR_INVALID_DRIVE;
}

// The folder part of a path, "." when it has none.
std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/:");
  if (cut == std::string::npos) return ".";
  return path.substr(0, cut + 1);
}

bool WriteAll(HANDLE file, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return FlushFileBuffers(file) != 0;
}

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The Run key (created if missing), open for writing and deleting values;
// not open when it cannot be had.
common::RegistryKey OpenRunKey(bool allUsers) {
  common::RegistryKey key;
  if (RegCreateKeyExA(allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0,
                      READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, key.Receive(),
                      nullptr) != ERROR_SUCCESS) {
    key.Reset();
  }
  return key;
}

std::string Where(bool allUsers) {
  return allUsers ? "machine" : "user";
}

// The first top-level window whose class and title contain the parts.
struct WindowSearch {
  const std::string& title;
  const std::string& windowClass;
  HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  char text[260] = {};
  if (!search->windowClass.empty()) {
    GetClassNameA(window, text, sizeof text);
    if (std::string_view(text).find(search->windowClass) == std::string_view::npos) return TRUE;
  }
  if (!search->title.empty()) {
    text[0] = '\0';
    GetWindowTextA(window, text, sizeof text);
    if (std::string_view(text).find(search->title) == std::string_view::npos) return TRUE;
  }
  search->found = window;
  return FALSE;
}

}  // namespace

Win32SystemPort::Win32SystemPort(StartupPlatform& platform, SystemInfo& system)
    : platform_(platform), system_(system) {}

StartValues Win32SystemPort::StartValuesFor(const EngineState& state) {
  StartValues values = ComputeStartValues(system_, state, platform_.ExecutablePath());
  const InstalledProduct product =
      CheckInstalledProduct(*this, state.script.productCode, state.script.revisionCode);
  values.needsUpgrade = product.needsUpgrade;
  values.maintenance = product.maintenance;
  return values;
}

bool Win32SystemPort::FileExists(const std::string& path) {
  return platform_.FileExists(path);
}

PathKind Win32SystemPort::KindOf(const std::string& path) {
  // A folder may be named with a trailing backslash; a file may not.
  std::string query = path;
  const bool slashed = query.size() > 3 && (query.back() == '\\' || query.back() == '/');
  if (slashed) query.pop_back();
  const DWORD attributes = GetFileAttributesA(query.c_str());
  if (query.empty() || attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kNone;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  return slashed ? PathKind::kNone : PathKind::kFile;
}

FileText Win32SystemPort::ReadFileText(const std::string& path) {
  FileText result;
  if (path.empty()) return result;
  const common::KernelHandle file(CreateFileA(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) {
    const DWORD error = GetLastError();
    if (!IsMissingError(error) || KindOf(path) != PathKind::kNone) {
      result.status = FileText::Status::kUnreadable;
    }
    return result;
  }
  result.status = FileText::Status::kUnreadable;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxTextFile) return result;
  std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
    if (!ReadFile(file.Get(), text.data() + done, chunk, &got, nullptr)) return result;
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  text.resize(done);
  result.status = FileText::Status::kRead;
  result.text = std::move(text);
  return result;
}

bool Win32SystemPort::ReplaceFileText(const std::string& path, const std::string& text) {
  if (path.empty()) return false;
  // The new text goes into a file of its own beside the old one and takes
  // its place in one step, so a failure at any point leaves the old file.
  char temp[MAX_PATH + 1] = {};
  if (GetTempFileNameA(FolderOf(path).c_str(), "tvl", 0, temp) == 0) return false;
  bool written = false;
  {
    const Win32File file(temp, GENERIC_WRITE, CREATE_ALWAYS);
    written = file.IsOpen() && WriteAll(file.Handle(), text);
  }
  if (written) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path.c_str(), attributes);
  }
  DeleteFileA(temp);
  return false;
}

std::string Win32SystemPort::ShortPathOf(const std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  return std::string(buffer, length);
}

std::string Win32SystemPort::LongPathOf(const std::string& path) {
  const DWORD needed = GetLongPathNameA(path.c_str(), nullptr, 0);
  if (needed == 0) return "";
  std::vector<char> buffer(needed + 1);
  const DWORD length =
      GetLongPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return "";
  return std::string(buffer.data(), length);
}

std::string Win32SystemPort::CreateTempFile(const std::string& folder) {
  std::string where = folder;
  if (where.empty()) {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return "";
    where.assign(temp, length);
  }
  char name[MAX_PATH + 1] = {};
  if (GetTempFileNameA(where.c_str(), "tvl", 0, name) == 0) return "";
  return name;
}

std::int32_t Win32SystemPort::RunProgram(const std::string& program, const std::string& parameters,
                                         bool hidden, bool wait) {
  if (program.empty()) return kProgramNotStarted;
  // Through the shell, so that a document opens with its program too: the verb
  // "open" first, then the default verb; no shell error boxes, no working folder.
  SHELLEXECUTEINFOA run{};
  run.cbSize = sizeof run;
  run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  run.lpFile = program.c_str();
  run.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  run.nShow = hidden ? SW_HIDE : SW_SHOWNORMAL;
  run.lpVerb = "open";
  if (!ShellExecuteExA(&run)) {
    run.lpVerb = nullptr;
    if (!ShellExecuteExA(&run)) return kProgramNotStarted;
  }
  // A document opened by a program already running gives no process to wait for.
  if (run.hProcess == nullptr) return 0;
  const common::KernelHandle process(run.hProcess);
  if (wait) {
    while (WaitForSingleObject(run.hProcess, 1000) == WAIT_TIMEOUT) {
    }
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(run.hProcess, &code)) return kProgramNotStarted;
  // Exit codes are kept as the script's 32-bit signed numbers.
  return static_cast<std::int32_t>(code);
}

bool Win32SystemPort::CloseFirstWindow(const std::string& title, const std::string& windowClass) {
  WindowSearch search{title, windowClass};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return false;
  PostMessageA(search.found, WM_CANCELMODE, 0, 0);
  PostMessageA(search.found, WM_CLOSE, 0, 0);
  return true;
}

void Win32SystemPort::WriteStartupEntry(bool allUsers, const std::string& name,
                                        const std::string& command) {
  const common::RegistryKey key = OpenRunKey(allUsers);
  const bool written =
      key.IsOpen() && RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(command.c_str()),
                                     static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
  platform_.Trace((written ? "resume entry written (" : "resume entry not written (") +
                  Where(allUsers) + "): " + name + " = " + command);
}

void Win32SystemPort::RemoveStartupEntry(bool allUsers, const std::string& name) {
  const common::RegistryKey key = OpenRunKey(allUsers);
  if (key.IsOpen() && RegDeleteValueA(key.Get(), name.c_str()) == ERROR_SUCCESS) {
    platform_.Trace("resume entry removed (" + Where(allUsers) + "): " + name);
  }
}

void Win32SystemPort::RequestReboot() {
  if (EnvironmentSwitchOn("TVL_NO_REBOOT")) {
    platform_.Trace("reboot suppressed by TVL_NO_REBOOT");
    return;
  }
  common::KernelHandle token;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                       token.Receive())) {
    TOKEN_PRIVILEGES privileges{};
    if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
      privileges.PrivilegeCount = 1;
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
  }
  ExitWindowsEx(EWX_REBOOT, 0);
}

// ---- Queries of the system commands ----

namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kUsers:
      return HKEY_USERS;
    case RegistryRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CURRENT_USER;
}

// Environment expansion as the scripts get it: at most this many bytes.
constexpr DWORD kExpandedSize = 266240;
// Initialisation-file values longer than this are cut.
constexpr DWORD kIniValueSize = 260;

}  // namespace

RegistryValue Win32SystemPort::ReadRegistryValue(RegistryRoot root, const std::string& key,
                                                 const std::string& name) {
  common::RegistryKey opened;
  if (RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_READ, opened.Receive()) != ERROR_SUCCESS) {
    return {};
  }
  // Another program may lengthen the value between the two calls.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(opened.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return {};
    }
    std::vector<BYTE> data(std::size_t{size} + 1, 0);
    DWORD got = size;
    const LONG result =
        RegQueryValueExA(opened.Get(), name.c_str(), nullptr, &type, data.data(), &got);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) return {};
    got = std::min(got, size);
    RegistryValue value;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      // Stored text need not end in a terminator, or may hold more than one.
      const char* text = reinterpret_cast<const char*>(data.data());
      value.type =
          type == REG_SZ ? RegistryValue::Type::kString : RegistryValue::Type::kExpandString;
      value.text.assign(text, std::find(text, text + got, '\0'));
    } else if (type == REG_DWORD && got == sizeof(DWORD)) {
      value.type = RegistryValue::Type::kNumber;
      std::memcpy(&value.number, data.data(), sizeof(DWORD));
    } else {
      value.type = RegistryValue::Type::kOther;
    }
    return value;
  }
  return {};
}

std::string Win32SystemPort::ExpandEnvironment(const std::string& text) {
  std::vector<char> buffer(kExpandedSize);
  const DWORD length = ExpandEnvironmentStringsA(text.c_str(), buffer.data(), kExpandedSize);
  if (length == 0 || length > kExpandedSize) return text;
  return std::string(buffer.data());
}

std::string Win32SystemPort::ReadIniValue(const std::string& file, const std::string& section,
                                          const std::string& key) {
  char buffer[kIniValueSize] = {};
  const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer,
                                                kIniValueSize, file.c_str());
  return std::string(buffer, std::min<DWORD>(length, kIniValueSize - 1));
}

std::string Win32SystemPort::SystemFolder() {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

std::string Win32SystemPort::WindowsFolder() {
  char path[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

// ---- Folders, logs and the installer ----

bool Win32SystemPort::CreateFolders(const std::string& path) {
  // Each folder on the way, from the first below the drive or share.
  const std::string folder = common::WithoutTrailingBackslash(path);
  for (std::size_t at = common::DriveLength(folder) + 1; at < folder.size(); ++at) {
    if (common::IsPathSeparator(folder[at]))
      CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
  }
  if (!folder.empty()) CreateDirectoryA(folder.c_str(), nullptr);
  return KindOf(folder) == PathKind::kFolder;
}

bool Win32SystemPort::DeleteFileAt(const std::string& path) {
  return DeleteFileA(path.c_str()) != FALSE;
}

bool Win32SystemPort::CopyFileOver(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

namespace {

// Empties the folder (given without trailing backslash) and removes it. A
// linked folder (a junction) is removed as a link: what it points to is not
// this folder's to delete.
bool RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      const DWORD attributes = found.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
          RemoveDirectoryA(path.c_str());
        } else {
          RemoveTree(path);
        }
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  return RemoveDirectoryA(folder.c_str()) != FALSE;
}

}  // namespace

bool Win32SystemPort::DeleteFolderTree(const std::string& folder) {
  const std::string path = common::WithoutTrailingBackslash(folder);
  // A root would be the whole drive.
  if (path.size() <= common::DriveLength(path) + 1) return false;
  RemoveTree(path);
  return KindOf(path) == PathKind::kNone;
}

bool Win32SystemPort::MoveFolder(const std::string& from, const std::string& to) {
  if (MoveFileA(common::WithoutTrailingBackslash(from).c_str(),
                common::WithoutTrailingBackslash(to).c_str())) {
    return true;
  }
  Trace("cannot move " + from + " to " + to + " (error " + std::to_string(GetLastError()) + ")");
  return false;
}

void Win32SystemPort::DeleteAtRestart(const std::string& path) {
  const std::string target = common::WithoutTrailingBackslash(path);
  if (!System().GetOsVersion().isNt) {
    // The file the system reads as it starts; one that cannot be read is
    // left alone rather than written over.
    const std::string ini = WindowsFolder() + "\\wininit.ini";
    const std::string shortPath = ShortPathOf(target);
    const FileText text = ReadFileText(ini);
    if (!shortPath.empty() && text.status != FileText::Status::kUnreadable &&
        ReplaceFileText(ini, WithRenameDeletion(text.text, shortPath))) {
      Trace("marked for deletion at the next restart: " + target);
    } else {
      Trace("could not mark for deletion at the next restart: " + target);
    }
    return;
  }
  if (MoveFileExA(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    Trace("marked for deletion at the next restart: " + target);
  } else {
    Trace("could not mark for deletion at the next restart: " + target);
  }
}

bool Win32SystemPort::WriteLogText(const std::string& path, const std::string& text) {
  std::string bytes = text;
  if (System().GetOsVersion().isNt && !text.empty()) {
    const std::wstring wide = common::WideFromAnsi(text);
    bytes.clear();
    for (const wchar_t unit : wide) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>((unit >> 8) & 0xFF);
    }
  }
  const Win32File file(path, GENERIC_WRITE, CREATE_ALWAYS);
  return file.IsOpen() && WriteAll(file.Handle(), bytes);
}

std::string Win32SystemPort::CurrentFolder() {
  char path[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

bool Win32SystemPort::SetCurrentFolder(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) != FALSE;
}

std::int64_t Win32SystemPort::FreeSpaceOfDrive(char letter) {
  const std::string root = std::string(1, letter) + ":\\";
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr)) return -1;
  return static_cast<std::int64_t>(
      std::min<ULONGLONG>(available.QuadPart, static_cast<ULONGLONG>(INT64_MAX)));
}

namespace {

// Read, write and delete, as the scripts' registry commands open keys.
constexpr REGSAM kDeleteAccess = 0x2001F;

// Deletes the key below the parent with its subkeys, deepest first.
LONG DeleteTree(HKEY parent, const std::string& path) {
  {
    common::RegistryKey key;
    const LONG opened = RegOpenKeyExA(parent, path.c_str(), 0, kDeleteAccess, key.Receive());
    if (opened != ERROR_SUCCESS) return opened;
    char name[256];
    for (;;) {
      DWORD length = sizeof name;
      if (RegEnumKeyExA(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      if (DeleteTree(key.Get(), std::string(name, length)) != ERROR_SUCCESS) break;
    }
  }
  return RegDeleteKeyA(parent, path.c_str());
}

}  // namespace

void Win32SystemPort::DeleteRegistryValue(RegistryRoot root, const std::string& key,
                                          const std::string& name) {
  common::RegistryKey opened;
  if (RegOpenKeyExA(RootKey(root), key.c_str(), 0, kDeleteAccess, opened.Receive()) !=
      ERROR_SUCCESS) {
    Trace("Delete Registry: no key " + key);
    return;
  }
  if (RegDeleteValueA(opened.Get(), name.c_str()) != ERROR_SUCCESS) {
    Trace("Delete Registry: no value " + name + " in " + key);
  }
}

void Win32SystemPort::DeleteRegistryKeyTree(RegistryRoot root, const std::string& key) {
  const std::string path = common::WithoutTrailingBackslash(key);
  // An empty path would name the root itself, and everything below it.
  if (path.empty() || path == "\\") {
    Trace("Delete Registry: no key named; nothing deleted");
    return;
  }
  if (DeleteTree(RootKey(root), path) != ERROR_SUCCESS) {
    Trace("Delete Registry: key " + key + " not deleted");
  }
}

bool Win32SystemPort::WriteRegistryString(RegistryRoot root, const std::string& key,
                                          const std::string& name, const std::string& value) {
  // Write access and the right to create subkeys, nothing more.
  constexpr REGSAM kWriteAccess = 0x20006;
  common::RegistryKey opened;
  if (RegCreateKeyExA(RootKey(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kWriteAccess,
                      nullptr, opened.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(opened.Get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

std::string Win32SystemPort::LocalDateTime() {
  char date[128] = {};
  char time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
  return std::string(date) + " " + time;
}

std::string Win32SystemPort::SystemErrorText(std::uint32_t code) {
  char text[1024] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, std::min<DWORD>(length, sizeof text - 1));
  while (!message.empty() &&
         (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

bool Win32SystemPort::WriteDatabaseProperties(
    const std::string& database,
    const std::vector<std::pair<std::string, std::string>>& properties) {
  return tavrel::WriteDatabaseProperties(database, properties);
}

int Win32SystemPort::ProductState(const std::string& productCode) {
  return QueryProductState(productCode);
}

std::string Win32SystemPort::ProductPackageCode(const std::string& productCode) {
  return QueryProductPackageCode(productCode);
}

InstallerSessionResult Win32SystemPort::RunInstallerSession(const InstallerSession& session,
                                                            InstallerMessageSink& sink) {
  return tavrel::RunInstallerSession(session, sink);
}

}  // namespace tavrel

namespace tavrel {

PluginResult Win32SystemPort::CallPlugin(const PluginCall& call, const PluginProgress& progress) {
  return CallPluginLibrary(call, progress,
                           [this](std::uint32_t code) { return SystemErrorText(code); });
}

}  // namespace tavrel
