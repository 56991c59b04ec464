#include "wizard/win32/win32_build_system.h"

#include <windows.h>

#include "wizard/win32/win32_files.h"

namespace ombrwiz {
namespace {

constexpr const char* kBoxCaption = "Quorvane Ombrell";

class Win32Input : public BuildInput {
 public:
  Win32Input(HANDLE handle, std::uint64_t size) : handle_(handle), size_(size) {}
  ~Win32Input() override { CloseHandle(handle_); }
  Win32Input(const Win32Input&) = delete;
  Win32Input& operator=(const Win32Input&) = delete;

  std::uint64_t Size() const override { return size_; }
  std::optional<std::size_t> Read(std::span<char> buffer) override {
    DWORD done = 0;
    if (!::ReadFile(handle_, buffer.data(), static_cast<DWORD>(buffer.size()), &done, nullptr)) {
      return std::nullopt;
    }
    return done;
  }

 private:
  HANDLE handle_;
  std::uint64_t size_;
};

class Win32Output : public BuildOutput {
 public:
  explicit Win32Output(HANDLE handle) : handle_(handle) {}
  ~Win32Output() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Win32Output(const Win32Output&) = delete;
  Win32Output& operator=(const Win32Output&) = delete;

  bool Write(std::span<const char> bytes) override {
    DWORD done = 0;
    return ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
           done == bytes.size();
  }
  bool Close() override {
    const bool flushed = FlushFileBuffers(handle_) != FALSE;
    const bool closed = CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
    return flushed && closed;
  }

 private:
  HANDLE handle_;
};

}  // namespace

void Trace(const std::string& text) {
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("OMBRWIZ_TRACE", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string line = text + "\r\n";
  DWORD done = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &done, nullptr);
  CloseHandle(file);
}

Win32BuildSystem::Win32BuildSystem(TRedirector& runner, bool showBoxes)
    : runner_(runner), showBoxes_(showBoxes) {}

bool Win32BuildSystem::FileExists(const std::string& path) {
  return ombrwiz::FileExists(path);
}

bool Win32BuildSystem::RemoveFile(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool Win32BuildSystem::RenameFile(const std::string& from, const std::string& to) {
  return MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

std::optional<std::string> Win32BuildSystem::ReadFile(const std::string& path) {
  return ReadWholeFile(path);
}

bool Win32BuildSystem::WriteFile(const std::string& path, std::string_view bytes) {
  return WriteWholeFile(path, bytes);
}

std::unique_ptr<BuildInput> Win32BuildSystem::OpenInput(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle, &size)) {
    CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<Win32Input>(handle, static_cast<std::uint64_t>(size.QuadPart));
}

std::unique_ptr<BuildOutput> Win32BuildSystem::CreateOutput(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32Output>(handle);
}

std::optional<std::uint64_t> Win32BuildSystem::FreeBytes(const std::string& path) {
  return FreeBytesOf(path);
}

int Win32BuildSystem::StartChild(const std::string& commandLine,
                                 std::function<void(std::string_view)> onOutput) {
  Trace("run: " + commandLine);
  try {
    runner_.SetCommandLine(commandLine);
    runner_.OnData = [onOutput](TRedirector&, const char* buffer, int size) {
      if (size > 0) onOutput(std::string_view(buffer, static_cast<std::size_t>(size)));
    };
    return static_cast<int>(runner_.Run());
  } catch (const std::exception& error) {
    Trace(std::string("run failed: ") + error.what());
    return -1;
  }
}

bool Win32BuildSystem::ChildRunning() {
  return runner_.Running();
}

void Win32BuildSystem::Sleep(int milliseconds) {
  ::Sleep(static_cast<DWORD>(milliseconds));
}

void Win32BuildSystem::ShowBox(Box kind, const std::string& text) {
  Trace((kind == Box::kError ? "error: " : "information: ") + text);
  if (!showBoxes_) return;
  MessageBoxA(nullptr, text.c_str(), kBoxCaption,
              MB_OK | (kind == Box::kError ? MB_ICONERROR : MB_ICONINFORMATION) | MB_TASKMODAL);
}

}  // namespace ombrwiz
