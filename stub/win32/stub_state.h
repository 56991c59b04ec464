// What the stub knows about its run, filled by start-up and read by the
// extraction (the cabinet library's callbacks carry no context of their
// own, so this is process-wide).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "stub/core/package_format.h"

namespace ombrell {

struct StubState {
  std::string packagePath;
  std::string packageFolder;  // trailing backslash, as are the three below
  std::string tempFolder;
  std::string systemFolder;
  std::string windowsFolder;
  SessionInfo info;
  bool silent = false;
  std::string key;  // package key; empty unless the package has a password
  bool install = false;
  std::string targetFolder;
  HWND window = nullptr;  // the progress window; none when silent
};

StubState& Stub();

}  // namespace ombrell
