#include "stub/win32/file_opening.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "common/win32/handle_owner.h"
#include "stub/core/stub_rules.h"

namespace ombrell {

void RunFile(const std::string& file, const std::string& parameters, bool wait,
             const std::string& windowsFolder) {
  std::string program;
  if (!IsExeFile(file)) {
    const std::size_t cut = file.find_last_of('\\');
    const std::string folder = cut == std::string::npos ? "" : file.substr(0, cut + 1);
    char found[MAX_PATH] = {};
    const auto result =
        reinterpret_cast<INT_PTR>(FindExecutableA(file.c_str(), folder.c_str(), found));
    program = result > 32 ? std::string(found) : windowsFolder + "notepad.exe";
  }
  std::string commandLine = RunCommandLine(file, program, parameters);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                      nullptr, nullptr, &startup, &process)) {
    return;
  }
  const common::KernelHandle thread(process.hThread);
  const common::KernelHandle child(process.hProcess);
  if (wait) WaitForSingleObject(child.Get(), INFINITE);
}

}  // namespace ombrell
