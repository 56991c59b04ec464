#include "engine/win32/win32_interpreter_host.h"

#include <algorithm>
#include <vector>

#include "engine/core/start_folders.h"
#include "engine/win32/win32_file.h"

namespace tavrel {

namespace {

// Text files the commands read are small; a larger file is not read at all
// rather than half read, and is therefore never rewritten.
constexpr LONGLONG kMaxTextFile = LONGLONG{256} << 20;

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (IsOpen()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

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

}  // namespace

Win32InterpreterHost::Win32InterpreterHost(StartupPlatform& platform, SystemInfo& system)
    : platform_(platform), system_(system), mainThread_(GetCurrentThreadId()) {
  // A thread gets its message queue on its first message call; a worker's
  // wake-up posted before that would be lost.
  MSG message;
  PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

StartValues Win32InterpreterHost::StartValuesFor(const EngineState& state) {
  return ComputeStartValues(system_, state, platform_.ExecutablePath());
}

std::intptr_t Win32InterpreterHost::ShowDialog(const std::string& key, bool modal) {
  platform_.Trace("dialog " + key + (modal ? " (modal): NEXT" : " (modeless): no window"));
  return modal ? kDialogNext : 0;
}

void Win32InterpreterHost::LockWindowUpdates(std::intptr_t window) {
  LockWindowUpdate(reinterpret_cast<HWND>(window));
}

void Win32InterpreterHost::UnlockWindowUpdates() {
  LockWindowUpdate(nullptr);
}

void Win32InterpreterHost::ProcessOneMessage() {
  MSG message;
  const BOOL got = GetMessageA(&message, nullptr, 0, 0);
  if (got == 0) {
    // WM_QUIT belongs to the outermost loop; leave it for that one.
    PostQuitMessage(static_cast<int>(message.wParam));
    return;
  }
  if (got == -1) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Win32InterpreterHost::WakeMainThread() {
  PostThreadMessageA(mainThread_, WM_NULL, 0, 0);
}

int Win32InterpreterHost::ShowMessageBox(std::intptr_t owner, const std::string& text,
                                         const std::string& caption, unsigned style) {
  return MessageBoxA(reinterpret_cast<HWND>(owner), text.c_str(), caption.c_str(), style);
}

void Win32InterpreterHost::ShowRuntimeError(const std::string& text) {
  platform_.ShowError(text, 0);
}

bool Win32InterpreterHost::FileExists(const std::string& path) {
  return platform_.FileExists(path);
}

PathKind Win32InterpreterHost::KindOf(const std::string& path) {
  // A folder may be named with a trailing backslash; a file may not.
  std::string query = path;
  const bool slashed = query.size() > 3 && (query.back() == '\\' || query.back() == '/');
  if (slashed) query.pop_back();
  const DWORD attributes = GetFileAttributesA(query.c_str());
  if (query.empty() || attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kNone;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  return slashed ? PathKind::kNone : PathKind::kFile;
}

FileText Win32InterpreterHost::ReadFileText(const std::string& path) {
  FileText result;
  if (path.empty()) return result;
  const Handle file(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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

bool Win32InterpreterHost::ReplaceFileText(const std::string& path, const std::string& text) {
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

std::string Win32InterpreterHost::ShortPathOf(const std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  return std::string(buffer, length);
}

std::string Win32InterpreterHost::LongPathOf(const std::string& path) {
  const DWORD needed = GetLongPathNameA(path.c_str(), nullptr, 0);
  if (needed == 0) return "";
  std::vector<char> buffer(needed + 1);
  const DWORD length =
      GetLongPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return "";
  return std::string(buffer.data(), length);
}

std::string Win32InterpreterHost::CreateTempFile(const std::string& folder) {
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

}  // namespace tavrel
