// Program entry of the setup engine: wires the Win32 layer to the portable
// start-up and exits with its code.
#include <windows.h>

#include "engine/core/startup.h"
#include "engine/win32/win32_startup_platform.h"
#include "engine/win32/win32_startup_windows.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  tavrel::Win32StartupPlatform platform;
  tavrel::Win32StartupWindows windows(instance);
  tavrel::NoDialogRuntime dialogs;
  tavrel::NoCommandInterpreter interpreter;
  tavrel::MessageTable messages;
  return tavrel::RunEngine({platform, windows, dialogs, interpreter, messages});
}
