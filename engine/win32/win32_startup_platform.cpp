#include "engine/win32/win32_startup_platform.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "common/paths.h"
#include "common/win32/handle_owner.h"
#include "engine/core/pe_image.h"
#include "engine/win32/win32_file.h"
#include "tvl/win32/tvl_api.h"

namespace tavrel {

namespace {

constexpr DWORD kCopyChunk = 64 * 1024;
// Larger files are refused rather than cut short by a 32-bit size.
constexpr LONGLONG kMaxReadFile = LONGLONG{1} << 30;

// Headers of a module mapped in this process. The loader has checked them,
// so the size they declare for themselves can be trusted here.
std::optional<std::uint64_t> ModuleImageEnd(HMODULE module) {
  if (module == nullptr) return std::nullopt;
  const auto* base = reinterpret_cast<const std::uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const std::span<const std::uint8_t> headers(base, nt->OptionalHeader.SizeOfHeaders);
  return ImageEnd(headers, sizeof(IMAGE_OPTIONAL_HEADER));
}

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw PlatformError(what + " \"" + path + "\" (error " + std::to_string(GetLastError()) + ")");
}

}  // namespace

Win32StartupPlatform::Win32StartupPlatform() {
  // Diagnostic: TVL_TRACE names a file that receives one line per start-up
  // step. Nothing is written without it.
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("TVL_TRACE", path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) tracePath_.assign(path, length);
}

std::string Win32StartupPlatform::ExecutablePath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

std::string Win32StartupPlatform::TempFolder() {
  char path[MAX_PATH + 1];
  const DWORD length = GetTempPathA(MAX_PATH + 1, path);
  return length > MAX_PATH ? std::string() : std::string(path, length);
}

std::string Win32StartupPlatform::SystemFolder() {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  return length >= MAX_PATH ? std::string() : std::string(path, length);
}

std::string Win32StartupPlatform::CommandLine() {
  return GetCommandLineA();
}

std::vector<std::string> Win32StartupPlatform::Arguments() {
  std::vector<std::string> arguments;
  for (int i = 1; i < __argc; ++i) arguments.emplace_back(__argv[i]);
  return arguments;
}

bool Win32StartupPlatform::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32StartupPlatform::FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(common::WithoutTrailingBackslash(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void Win32StartupPlatform::CreateFolders(const std::string& path) {
  const std::string folder = common::WithoutTrailingBackslash(path);
  if (folder.empty() || FolderExists(folder)) return;
  const std::size_t parent = folder.find_last_of('\\');
  if (parent != std::string::npos && parent > 0) CreateFolders(folder.substr(0, parent));
  if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    Fail("Cannot create folder", folder);
  }
}

std::uint64_t Win32StartupPlatform::FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    Fail("Cannot read the size of", path);
  }
  return std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

void Win32StartupPlatform::CopyFileTail(const std::string& source, std::uint64_t offset,
                                        const std::string& target) {
  Win32File in(source, GENERIC_READ, OPEN_EXISTING);
  if (!in.IsOpen()) Fail("Cannot open", source);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(in.Handle(), position, nullptr, FILE_BEGIN)) Fail("Cannot seek in", source);
  Win32File out(target, GENERIC_WRITE, CREATE_ALWAYS);
  if (!out.IsOpen()) Fail("Cannot create", target);
  const auto buffer = std::make_unique<char[]>(kCopyChunk);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in.Handle(), buffer.get(), kCopyChunk, &got, nullptr))
      Fail("Cannot read", source);
    if (got == 0) break;
    DWORD written = 0;
    if (!WriteFile(out.Handle(), buffer.get(), got, &written, nullptr) || written != got) {
      Fail("Cannot write", target);
    }
  }
}

std::string Win32StartupPlatform::ReadFile(const std::string& path) {
  Win32File in(path, GENERIC_READ, OPEN_EXISTING);
  if (!in.IsOpen()) Fail("Cannot open", path);
  // Read in place at the file's size: growing the text chunk by chunk would
  // touch twice its memory, and fresh pages are dear.
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(in.Handle(), &size) || size.QuadPart > kMaxReadFile) Fail("Cannot read", path);
  std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(in.Handle(), text.data() + done, want, &got, nullptr))
      Fail("Cannot read", path);
    if (got == 0) break;
    done += got;
  }
  text.resize(done);
  return text;
}

void Win32StartupPlatform::CopyFileNormal(const std::string& source, const std::string& target) {
  if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) Fail("Cannot copy", source);
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool Win32StartupPlatform::RemoveFile(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileA(path.c_str()) != 0;
}

std::vector<FolderEntry> Win32StartupPlatform::ListFolder(const std::string& path) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAA found;
  const common::FindHandle search(FindFirstFileA(
      common::JoinPath(common::WithoutTrailingBackslash(path), "*").c_str(), &found));
  if (!search) return entries;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(search.Get(), &found));
  return entries;
}

bool Win32StartupPlatform::RemoveFolder(const std::string& path) {
  return RemoveDirectoryA(common::WithoutTrailingBackslash(path).c_str()) != 0;
}

std::optional<std::uint64_t> Win32StartupPlatform::LibraryImageEnd(const std::string& path) {
  const common::LoadedModule library(LoadLibraryA(path.c_str()));
  if (!library) return std::nullopt;
  return ModuleImageEnd(library.Get());
}

std::optional<std::uint64_t> Win32StartupPlatform::ExecutableImageEnd() {
  return ModuleImageEnd(GetModuleHandleA(nullptr));
}

FileVersion Win32StartupPlatform::GetFileVersion(const std::string& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return {};
  const auto data = std::make_unique<char[]>(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.get())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.get(), "\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  return {HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS)};
}

bool Win32StartupPlatform::ExtractArchive(const std::string& archive,
                                          const std::string& destination) {
  return ::ExtractArchive(archive.c_str(), 0, destination.c_str(), 0, 2, 0, 0, 0, nullptr, 0, 0) !=
         0;
}

void Win32StartupPlatform::ShowError(const std::string& text, WindowRef owner) {
  MessageBoxA(reinterpret_cast<HWND>(owner), text.c_str(), "Tavrel", MB_OK | MB_ICONERROR);
}

void Win32StartupPlatform::Trace(std::string_view line) {
  if (tracePath_.empty()) return;
  const common::KernelHandle file(CreateFileA(tracePath_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                              nullptr));
  if (!file) return;
  std::string text(line);
  text += "\r\n";
  DWORD written = 0;
  WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace tavrel
