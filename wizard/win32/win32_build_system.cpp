#include "wizard/win32/win32_build_system.h"

#include <windows.h>

#include <utility>

#include "common/win32/handle_owner.h"
#include "wizard/win32/win32_files.h"

namespace ombrwiz {
namespace {

constexpr const char* kBoxCaption = "Quorvane Ombrell";

class Win32Input : public BuildInput {
 public:
  Win32Input(common::KernelHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}

  std::uint64_t Size() const override { return size_; }
  std::optional<std::size_t> Read(std::span<char> buffer) override {
    DWORD done = 0;
    if (!::ReadFile(file_.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &done,
                    nullptr)) {
      return std::nullopt;
    }
    return done;
  }

 private:
  common::KernelHandle file_;
  std::uint64_t size_;
};

class Win32Output : public BuildOutput {
 public:
  explicit Win32Output(common::KernelHandle file) : file_(std::move(file)) {}

  bool Write(std::span<const char> bytes) override {
    DWORD done = 0;
    return ::WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done,
                       nullptr) &&
           done == bytes.size();
  }
  bool Close() override {
    const bool flushed = FlushFileBuffers(file_.Get()) != FALSE;
    return file_.Close() && flushed;
  }

 private:
  common::KernelHandle file_;
};

}  // namespace

void Trace(const std::string& text) {
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("OMBRWIZ_TRACE", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const common::KernelHandle file(CreateFileA(path, FILE_APPEND_DATA,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string line = text + "\r\n";
  DWORD done = 0;
  ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &done, nullptr);
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
  common::KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) return nullptr;
  return std::make_unique<Win32Input>(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
}

std::unique_ptr<BuildOutput> Win32BuildSystem::CreateOutput(const std::string& path) {
  common::KernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return nullptr;
  return std::make_unique<Win32Output>(std::move(file));
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
