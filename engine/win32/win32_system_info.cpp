// System queries as thin wrappers of the Windows API; the reasoning on top of
// the raw answers lives in the portable core.
#include "engine/win32/win32_system_info.h"

#include <windows.h>
// windows.h first: the shell header builds on its types.
#include <shlobj.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "common/paths.h"
#include "common/win32/handle_owner.h"
#include "common/win32/registry_text.h"

namespace tavrel {
namespace {

constexpr const char* kCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// The structure of the first Win32 systems, which every later one accepts.
static_assert(sizeof(OSVERSIONINFOA) == 148);

[[noreturn]] void ThrowSystemError(DWORD code) {
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof(text), nullptr);
  while (length > 0 &&
         (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) throw PlatformError("System error " + std::to_string(code));
  throw PlatformError(std::string(text, length));
}

struct SidFreer {
  void operator()(PSID sid) const { FreeSid(sid); }
};
using UniqueSid = std::unique_ptr<void, SidFreer>;

// Item lists come from the shell's allocator; on the first Win32 systems
// that is not the same heap as the OLE task allocator until OLE is loaded.
struct ShellFree {
  void operator()(ITEMIDLIST* list) const {
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
      allocator->Free(list);
      allocator->Release();
    } else {
      CoTaskMemFree(list);
    }
  }
};
using UniqueIdList = std::unique_ptr<ITEMIDLIST, ShellFree>;

// A text value of a key of the local machine; empty when the key or the value
// is missing or the value is not text.
std::string ReadMachineText(const char* keyPath, const char* name) {
  return common::ReadRegistryText(HKEY_LOCAL_MACHINE, keyPath, name).value_or(std::string());
}

OSVERSIONINFOA RawVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExA(&info)) return OSVERSIONINFOA{};
  return info;
}

bool IsNtPlatform() {
  return RawVersion().dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// The whole version resource of a file, or nothing when it has none.
std::vector<char> ReadVersionResource(const std::string& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return {};
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
  return data;
}

std::string FoundName(const std::string& path) {
  WIN32_FIND_DATAA found{};
  if (!common::FindHandle(FindFirstFileA(path.c_str(), &found))) return {};
  return std::string(found.cFileName, strnlen(found.cFileName, sizeof(found.cFileName)));
}

}  // namespace

OsVersion Win32SystemInfo::GetOsVersion() {
  const OSVERSIONINFOA info = RawVersion();
  const std::string_view servicePack(info.szCSDVersion,
                                     strnlen(info.szCSDVersion, sizeof(info.szCSDVersion)));
  return MakeOsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                       info.dwBuildNumber, servicePack);
}

RegisteredUser Win32SystemInfo::GetRegisteredUser() {
  const std::string path = std::string("SOFTWARE\\Microsoft\\") +
                           (IsNtPlatform() ? "Windows NT" : "Windows") + "\\CurrentVersion\\";
  return {ReadMachineText(path.c_str(), "RegisteredOwner"),
          ReadMachineText(path.c_str(), "RegisteredOrganization")};
}

std::string Win32SystemInfo::GetSpecialFolder(int csidl) {
  const auto shell = [](int number) -> std::optional<std::string> {
    ITEMIDLIST* list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(GetDesktopWindow(), number, &list)) || list == nullptr) {
      return std::nullopt;
    }
    const UniqueIdList owned(list);
    char path[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(list, path)) return std::string();
    return std::string(path, strnlen(path, sizeof(path)));
  };
  const auto registry = [](std::string_view name) {
    return ReadMachineText(kCurrentVersionKey, std::string(name).c_str());
  };
  return ResolveSpecialFolder(csidl, shell, registry);
}

bool Win32SystemInfo::IsUserAdministrator() {
  if (!IsNtPlatform()) return true;

  common::KernelHandle token;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive())) {
    const DWORD error = GetLastError();
    if (error != ERROR_NO_TOKEN) ThrowSystemError(error);
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
      ThrowSystemError(GetLastError());
    }
  }

  // The group list may grow between asking its size and reading it.
  std::vector<DWORD_PTR> buffer;  // pointer-aligned, as the list holds pointers
  DWORD size = 0;
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(buffer.size() * sizeof(DWORD_PTR));
    if (GetTokenInformation(token.Get(), TokenGroups, buffer.empty() ? nullptr : buffer.data(),
                            capacity, &size)) {
      break;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER || size <= capacity) ThrowSystemError(error);
    buffer.assign((size + sizeof(DWORD_PTR) - 1) / sizeof(DWORD_PTR), 0);
  }
  // Only entries inside both the answer and the buffer are read.
  const std::size_t header = offsetof(TOKEN_GROUPS, Groups);
  const std::size_t filled = std::min<std::size_t>(size, buffer.size() * sizeof(DWORD_PTR));
  if (filled < header) return false;
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  const std::size_t fits = (filled - header) / sizeof(SID_AND_ATTRIBUTES);
  const std::size_t count = groups->GroupCount < fits ? groups->GroupCount : fits;

  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID rawAdministrators = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &rawAdministrators)) {
    ThrowSystemError(GetLastError());
  }
  const UniqueSid administrators(rawAdministrators);

  const SID_AND_ATTRIBUTES* entries = groups->Groups;
  for (std::size_t i = 0; i < count; ++i) {
    if (EqualSid(entries[i].Sid, administrators.get())) return true;
  }
  return false;
}

FileVersionParts Win32SystemInfo::GetFileVersionParts(const std::string& path) {
  const std::vector<char> data = ReadVersionResource(path);
  if (data.empty()) return {};
  void* found = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", &found, &length) || found == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, found, sizeof(info));
  if (info.dwSignature != VS_FFI_SIGNATURE) return {};
  return {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionLS),
          LOWORD(info.dwFileVersionLS), info.dwFileVersionMS,         info.dwFileVersionLS};
}

MemoryStatus Win32SystemInfo::GetMemoryStatus(bool total) {
  // The structure of the first Win32 systems: on a 32-bit program each
  // amount is 32 bits wide, so the upper half of every answer is 0.
  MEMORYSTATUS status{};
  status.dwLength = sizeof(status);
  GlobalMemoryStatus(&status);
  if (total) return {status.dwTotalPhys, status.dwTotalPageFile, status.dwTotalVirtual};
  return {status.dwAvailPhys, status.dwAvailPageFile, status.dwAvailVirtual};
}

ScreenSize Win32SystemInfo::GetScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

DisplayColours Win32SystemInfo::GetDisplayColours() {
  const HDC screen = GetDC(nullptr);
  if (screen == nullptr) return {};
  const int bits = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  if (bits <= 0) return {};
  return {ColourCount(static_cast<unsigned>(bits)), static_cast<unsigned>(bits)};
}

SystemLanguage Win32SystemInfo::GetSystemLanguage() {
  char folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  const std::vector<char> data = ReadVersionResource(
      common::WithTrailingBackslash(std::string(folder, length)) + "winver.exe");
  if (data.empty()) return {};
  void* found = nullptr;
  UINT size = 0;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &found, &size) ||
      found == nullptr || size < sizeof(std::uint32_t)) {
    return {};
  }
  SystemLanguage language;
  std::memcpy(&language.identifier, found, sizeof(language.identifier));
  char name[256] = {};
  VerLanguageNameA(LOWORD(language.identifier), name, sizeof(name));
  language.name.assign(name, strnlen(name, sizeof(name)));
  return language;
}

std::string Win32SystemInfo::FindCdRomDrive() {
  char root[] = "A:\\";
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    root[0] = letter;
    if (GetDriveTypeA(root) == DRIVE_CDROM) return root;
  }
  return {};
}

std::string Win32SystemInfo::GetBootFolder() {
  return ReadMachineText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup", "BootDir");
}

std::string Win32SystemInfo::GetShortPath(const std::string& path) {
  // A short form that does not fit is reported through the needed size, with
  // the buffer left as it was: taking that size as the length would hand out
  // whatever the buffer held.
  char buffer[MAX_PATH] = {};
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(buffer, length);
}

std::string Win32SystemInfo::ExpandToLongPath(const std::string& path) {
  return ExpandToLongPathWith(path, FoundName);
}

}  // namespace tavrel
