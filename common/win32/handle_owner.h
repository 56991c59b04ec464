// Owners of Win32 handles: each closes what it holds exactly once, when it is
// reset or goes out of scope, and can be moved but not copied. One template,
// with a closing rule for each kind of handle.
#pragma once

#include <windows.h>

#include <utility>

namespace common {

template <typename Handle, typename Kind>
class HandleOwner {
 public:
  HandleOwner() = default;
  explicit HandleOwner(Handle handle) noexcept : handle_(handle) {}
  ~HandleOwner() { Reset(); }
  HandleOwner(HandleOwner&& other) noexcept : handle_(other.Release()) {}
  HandleOwner& operator=(HandleOwner&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;

  Handle Get() const noexcept { return handle_; }
  bool IsOpen() const noexcept { return Kind::IsOpen(handle_); }
  explicit operator bool() const noexcept { return IsOpen(); }

  // The caller takes the handle over and closes it from now on.
  Handle Release() noexcept { return std::exchange(handle_, Kind::None()); }
  void Reset(Handle handle = Kind::None()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (Kind::IsOpen(old)) Kind::Close(old);
  }
  // Closes at once and tells whether the system closed it cleanly, for the
  // handles where that can fail (a file's last write-back shows there);
  // false when nothing was open.
  bool Close() noexcept {
    const Handle old = Release();
    return Kind::IsOpen(old) && Kind::Close(old);
  }
  // For a function that hands out its handle through a pointer: what was held
  // is closed first.
  Handle* Receive() noexcept {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_ = Kind::None();
};

namespace handle_kinds {

// Failing functions answer null for some kernel objects and
// INVALID_HANDLE_VALUE for others (files), so neither is ever closed. The
// pseudo-handle of the current process has that value too.
inline bool IsKernelHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

struct Kernel {
  static HANDLE None() { return nullptr; }
  static bool IsOpen(HANDLE handle) { return IsKernelHandle(handle); }
  static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};

struct Find {
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static bool IsOpen(HANDLE handle) { return IsKernelHandle(handle); }
  static bool Close(HANDLE handle) { return FindClose(handle) != FALSE; }
};

struct RegistryKey {
  static HKEY None() { return nullptr; }
  static bool IsOpen(HKEY key) { return key != nullptr; }
  static bool Close(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};

template <typename Object>
struct Gdi {
  static Object None() { return nullptr; }
  static bool IsOpen(Object object) { return object != nullptr; }
  static bool Close(Object object) { return DeleteObject(object) != FALSE; }
};

struct MemoryDc {
  static HDC None() { return nullptr; }
  static bool IsOpen(HDC dc) { return dc != nullptr; }
  static bool Close(HDC dc) { return DeleteDC(dc) != FALSE; }
};

struct Module {
  static HMODULE None() { return nullptr; }
  static bool IsOpen(HMODULE module) { return module != nullptr; }
  static bool Close(HMODULE module) { return FreeLibrary(module) != FALSE; }
};

struct Icon {
  static HICON None() { return nullptr; }
  static bool IsOpen(HICON icon) { return icon != nullptr; }
  static bool Close(HICON icon) { return DestroyIcon(icon) != FALSE; }
};

}  // namespace handle_kinds

// Files, pipes, processes, threads, events and tokens: whatever CloseHandle
// closes.
using KernelHandle = HandleOwner<HANDLE, handle_kinds::Kernel>;
// A search of FindFirstFile.
using FindHandle = HandleOwner<HANDLE, handle_kinds::Find>;
using RegistryKey = HandleOwner<HKEY, handle_kinds::RegistryKey>;
// A font, brush, pen or bitmap this program made; not one still selected
// into a device context.
template <typename Object>
using GdiObject = HandleOwner<Object, handle_kinds::Gdi<Object>>;
// A device context of CreateCompatibleDC (not one of GetDC, which is released
// to its window instead).
using MemoryDc = HandleOwner<HDC, handle_kinds::MemoryDc>;
// A library this program loaded with LoadLibrary.
using LoadedModule = HandleOwner<HMODULE, handle_kinds::Module>;
// An icon this program made or loaded without LR_SHARED (a shared one is
// the system's and never destroyed).
using IconHandle = HandleOwner<HICON, handle_kinds::Icon>;

}  // namespace common
