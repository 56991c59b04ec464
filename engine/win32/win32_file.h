// A Win32 file handle that closes itself.
#pragma once

#include <windows.h>

#include <string>

namespace tavrel {

class Win32File {
 public:
  Win32File(const std::string& path, DWORD access, DWORD disposition);
  ~Win32File();
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace tavrel
