// The interpreter's Windows ports: a worker's wake-up reaches a main thread
// that waits in the message loop, and the start values come from this
// system's folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "engine/core/worker_wait.h"
#include "engine/win32/win32_startup_platform.h"
#include "engine/win32/win32_system_info.h"
#include "engine/win32/win32_system_port.h"
#include "engine/win32/win32_ui_port.h"

namespace tavrel {
namespace {

TEST(Win32PortsTest, WorkerEndWakesTheWaitingMessageLoop) {
  Win32StartupPlatform platform;
  Win32UiPort ui(platform);
  // No window exists, so the only message the loop can get is the wake-up:
  // without it the wait would never return.
  RunWhileWaiting(ui, false, [&](WorkerProgress& progress) {
    progress.Report("working", 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  });
  // A wake-up posted when nobody waits any more is simply dropped.
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(Win32PortsTest, StartValuesFollowTheSystemFolders) {
  Win32StartupPlatform platform;
  Win32SystemInfo system;
  Win32SystemPort host(platform, system);
  EngineState state;
  state.script.title = "Host Test";
  state.script.productCode = "{P}";
  state.script.revisionCode = "{R}";
  state.dataFolder = "C:\\setup\\data\\";
  const StartValues values = host.StartValuesFor(state);
  EXPECT_EQ(values.exeFile, platform.ExecutablePath());
  EXPECT_NE(values.uninstallLink.find("\\Application Data\\Quorvane\\Installation "
                                      "Information\\{P}\\{R}\\engine_win_tests.exe"),
            std::string::npos)
      << values.uninstallLink;
  EXPECT_GT(values.targetDir.size(), std::string("Host Test\\").size());
  EXPECT_EQ(values.targetDir.substr(values.targetDir.size() - 10), "Host Test\\");
  EXPECT_EQ(values.targetDir[1], ':') << values.targetDir;
  EXPECT_EQ(values.dataDir, "C:\\setup\\data\\");
}

}  // namespace
}  // namespace tavrel
