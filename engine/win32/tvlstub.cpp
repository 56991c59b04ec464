// Program entry of the setup engine: wires the Win32 layer to the portable
// start-up and interpreter and exits with the start-up's code.
#include <windows.h>

#include <string>

#include "common/win32/handle_owner.h"
#include "engine/core/interpreter.h"
#include "engine/core/startup.h"
#include "engine/core/variable_store.h"
#include "engine/win32/win32_dialog_runtime.h"
#include "engine/win32/win32_startup_platform.h"
#include "engine/win32/win32_startup_windows.h"
#include "engine/win32/win32_system_info.h"
#include "engine/win32/win32_system_port.h"
#include "engine/win32/win32_ui_port.h"

namespace {

// Diagnostic: TVL_VARIABLES names a file that receives the variable store
// as list text once the script has ended. Without it nothing is written.
void WriteVariableDump(const tavrel::VariableStore& store) {
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("TVL_VARIABLES", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const common::KernelHandle file(
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string text = store.ListText();
  DWORD written = 0;
  WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  tavrel::Win32StartupPlatform platform;
  tavrel::Win32StartupWindows windows(instance);
  tavrel::Win32SystemInfo system;
  tavrel::MessageTable messages;
  tavrel::VariableStore store(messages);
  tavrel::Win32DialogRuntime dialogs(store, messages);
  tavrel::Win32UiPort ui(platform, &dialogs);
  tavrel::Win32SystemPort systemPort(platform, system);
  tavrel::Interpreter interpreter(ui, systemPort, store, messages);
  const int code = tavrel::RunEngine({platform, windows, dialogs, interpreter, messages});
  WriteVariableDump(store);
  return code;
}
