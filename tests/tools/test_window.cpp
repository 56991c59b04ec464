// A windowed program for the engine's program commands. Its arguments:
//   showstate    exit at once with the show state it was started with
//                (the startup information's show command, 100 when none
//                was given)
//   title=TEXT   show a top-level window of class "TvlTestWindow" with that
//                title; closing it ends the program with exit code 7
#include <windows.h>

#include <string_view>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(7);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  for (int i = 1; i < __argc; ++i) {
    const std::string_view argument = __argv[i];
    if (argument == "showstate") {
      STARTUPINFOA startup{};
      startup.cb = sizeof startup;
      GetStartupInfoA(&startup);
      return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : 100;
    }
    if (argument.substr(0, 6) == "title=") {
      WNDCLASSA windowClass{};
      windowClass.lpfnWndProc = WindowProc;
      windowClass.hInstance = instance;
      windowClass.lpszClassName = "TvlTestWindow";
      RegisterClassA(&windowClass);
      const HWND window = CreateWindowExA(0, "TvlTestWindow", __argv[i] + 6, WS_OVERLAPPEDWINDOW,
                                          100, 100, 300, 200, nullptr, nullptr, instance, nullptr);
      if (window == nullptr) return 2;
      ShowWindow(window, SW_SHOWNORMAL);
      MSG message;
      while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      return static_cast<int>(message.wParam);
    }
  }
  return 1;
}
