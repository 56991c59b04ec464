// A file the engine opens for its own reads and writes: shared for reading
// while it is open, closed when the object goes.
#pragma once

#include <windows.h>

#include <string>

#include "common/win32/handle_owner.h"

namespace tavrel {

class Win32File {
 public:
  Win32File(const std::string& path, DWORD access, DWORD disposition);

  bool IsOpen() const { return file_.IsOpen(); }
  HANDLE Handle() const { return file_.Get(); }

 private:
  common::KernelHandle file_;
};

}  // namespace tavrel
