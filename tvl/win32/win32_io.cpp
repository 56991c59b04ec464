// File handles, path conversions and the temporary-name-then-rename protocol for output files.
#include "tvl/win32/win32_io.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace tvl::win32 {
namespace {

constexpr DWORD kIoChunk = 1u << 20;

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The "\\?\" form lifts the MAX_PATH limit and switches off Win32 name rewriting (trailing dots,
// device names); entry names are validated, so nothing is left for that rewriting to do.
std::wstring ExtendedFolderPath(std::wstring_view root) {
  std::wstring path(root);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (path.rfind(L"\\\\?\\", 0) != 0) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed != 0) {
      std::wstring full(needed, L'\0');
      const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
      if (written != 0 && written < needed) {
        full.resize(written);
        if (full.rfind(L"\\\\", 0) == 0) {
          path = L"\\\\?\\UNC\\" + full.substr(2);
        } else {
          path = L"\\\\?\\" + full;
        }
      }
    }
  }
  if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
  return path;
}

class Win32FileWriter final : public FileWriter {
 public:
  Win32FileWriter(common::KernelHandle file, std::wstring temp_path, std::wstring final_path)
      : file_(std::move(file)),
        temp_path_(std::move(temp_path)),
        final_path_(std::move(final_path)) {}

  ~Win32FileWriter() override {
    if (committed_) return;
    file_.Reset();
    DeleteFileW(temp_path_.c_str());
  }

  bool Write(std::span<const std::byte> data) override {
    while (!data.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), kIoChunk));
      DWORD written = 0;
      if (!WriteFile(file_.Get(), data.data(), chunk, &written, nullptr) || written == 0) {
        return false;
      }
      data = data.subspan(written);
    }
    return true;
  }

  void SetInfo(const FileInfo& info) override { info_ = info; }

  bool Commit() override {
    if (info_.mtime) {
      // A time the file system will not take is no reason to lose the file.
      FILETIME time{};
      time.dwLowDateTime = static_cast<DWORD>(*info_.mtime);
      time.dwHighDateTime = static_cast<DWORD>(*info_.mtime >> 32);
      SetFileTime(file_.Get(), nullptr, nullptr, &time);
    }
    // Closing can still report a failed write-back; the rename only happens after a clean close.
    if (!file_.Close()) return false;
    // An earlier extraction may have left the file read-only; replacing it must still work.
    const DWORD old_attributes = GetFileAttributesW(final_path_.c_str());
    if (old_attributes != INVALID_FILE_ATTRIBUTES &&
        (old_attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (old_attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      SetFileAttributesW(final_path_.c_str(), old_attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    }
    if (!MoveFileExW(temp_path_.c_str(), final_path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return false;
    }
    committed_ = true;
    if (info_.attributes) {
      // Only the plain flags; the rest (directory, reparse point, compression, and the Unix
      // mode p7zip keeps in the high half) describe things this file is not.
      constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
      const DWORD wanted = *info_.attributes & kSettable;
      SetFileAttributesW(final_path_.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
    }
    return true;
  }

 private:
  common::KernelHandle file_;
  std::wstring temp_path_;
  std::wstring final_path_;
  FileInfo info_;
  bool committed_ = false;
};

}  // namespace

std::optional<std::wstring> AnsiToWide(const char* text) {
  if (text == nullptr) return std::nullopt;
  if (*text == '\0') return std::wstring();
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::wstring out(static_cast<std::size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), needed) != needed) return std::nullopt;
  out.pop_back();  // the terminator
  return out;
}

std::optional<std::wstring> Utf8ToWide(std::string_view text) {
  if (text.empty()) return std::wstring();
  if (text.size() > 0x7FFFFFFF) return std::nullopt;
  const int length = static_cast<int>(text.size());
  const int needed =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::wstring out(static_cast<std::size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, out.data(), needed) !=
      needed) {
    return std::nullopt;
  }
  return out;
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty() || text.size() > 0x7FFFFFFF) return {};
  const int length = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<std::size_t>(needed), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), needed, nullptr, nullptr) !=
      needed) {
    return {};
  }
  return out;
}

std::unique_ptr<FileSource> FileSource::Open(const std::wstring& path) {
  common::KernelHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return nullptr;
  return std::unique_ptr<FileSource>(
      new FileSource(std::move(file), static_cast<std::uint64_t>(size.QuadPart)));
}

bool FileSource::ReadAt(std::uint64_t offset, std::span<std::byte> out) {
  if (offset > size_ || out.size() > size_ - offset) return false;
  while (!out.empty()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(out.size(), kIoChunk));
    DWORD got = 0;
    if (!ReadFile(file_.Get(), out.data(), chunk, &got, &at) || got == 0) return false;
    out = out.subspan(got);
    offset += got;
  }
  return true;
}

FolderSink::FolderSink(std::wstring_view root) : root_(ExtendedFolderPath(root)) {}

bool FolderSink::PrepareRoot() {
  // Every missing level is created; failures on levels that already exist (a drive root, a
  // share, a folder we may not write to but only pass through) are expected and ignored, the
  // final check decides.
  const std::size_t prefix = root_.rfind(L"\\\\?\\", 0) == 0 ? 4 : 0;
  for (std::size_t sep = root_.find(L'\\', prefix + 1); sep != std::wstring::npos;
       sep = root_.find(L'\\', sep + 1)) {
    CreateDirectoryW(root_.substr(0, sep).c_str(), nullptr);
  }
  return IsDirectory(root_);
}

std::optional<std::wstring> FolderSink::FullPath(std::string_view path) const {
  auto relative = Utf8ToWide(path);
  if (!relative || relative->empty()) return std::nullopt;
  return root_ + *relative;
}

bool FolderSink::CreateFolder(std::string_view path) {
  const auto full = FullPath(path);
  if (!full) return false;
  if (CreateDirectoryW(full->c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(*full);
}

std::unique_ptr<FileWriter> FolderSink::BeginFile(std::string_view path) {
  const auto full = FullPath(path);
  if (!full) return nullptr;
  // Unique per process and call; CREATE_NEW makes sure a stray file of the same name (from an
  // extraction that was killed) is stepped around rather than overwritten.
  static std::atomic<std::uint32_t> counter{0};
  static constexpr wchar_t kHex[] = L"0123456789abcdef";
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::uint32_t tag = (GetCurrentProcessId() << 16) ^ counter.fetch_add(1);
    std::wstring temp = *full + L".tvl-";
    for (int i = 0; i < 8; ++i, tag >>= 4) temp.push_back(kHex[tag & 15]);
    common::KernelHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      return std::make_unique<Win32FileWriter>(std::move(file), std::move(temp), *full);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}

}  // namespace tvl::win32
