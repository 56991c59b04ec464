// Extracting the package's cabinet set into the target folder with the
// cabinet library's decompression functions, then opening the package's
// file. Ends the process when done.
#pragma once

#include <windows.h>

#include "stub/win32/cabinet_library.h"

namespace ombrell {

// Runs on the main thread of a silent run, or on the thread the progress
// window starts. Never returns.
[[noreturn]] void ExtractPackage(const CabinetLibrary& library);

// For the progress window: starts ExtractPackage on a new thread (data is
// the CabinetLibrary) and returns the thread.
HANDLE StartExtractionThread(HWND window, void* data);

}  // namespace ombrell
