// Shows a page in the wizard pages' HTML pane (ThtmlLite of the form
// library), in a window of its own titled "HTML pane":
//
//   html_pane_view show <page file> [width height]
//       shows the page until the window is closed; clicked links print
//       "click: <link>" on stdout and are left to the pane.
//   html_pane_view time html|memo <page file>
//       makes the pane (or a memo holding the page's text), loads the page,
//       shows it and prints how many milliseconds passed until the control
//       finished painting for the first time, then ends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "engine/core/form_file.h"
#include "engine/win32/forms/form_control.h"

namespace {

constexpr char kWindowClass[] = "TavrelHtmlPaneView";

class PrintingSite : public tavrel::ControlSite {
 public:
  void ControlEvent(tavrel::FormControl& control, tavrel::ControlEvent event) override {
    if (tavrel::HtmlPaneEvent* html = control.HtmlEvent()) {
      if (event == tavrel::ControlEvent::kHotSpotClick) {
        std::printf("click: %s\n", html->link.c_str());
      } else {
        std::printf("refresh: %d %s\n", html->delaySeconds, html->url.c_str());
      }
      std::fflush(stdout);
    }
  }
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (tavrel::FormControl::RouteToChild(message, wParam, lParam, result)) return result;
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

tavrel::FormProperty Number(std::string name, int value) {
  tavrel::FormProperty property;
  property.name = std::move(name);
  property.text = std::to_string(value);
  property.kind = tavrel::FormProperty::Kind::kInteger;
  return property;
}

tavrel::FormObject PaneObject(const char* className, int width, int height) {
  tavrel::FormObject object;
  object.className = className;
  object.name = "Pane";
  object.properties = {Number("Left", 0), Number("Top", 0), Number("Width", width),
                       Number("Height", height)};
  return object;
}

HWND MakeWindow(int width, int height) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);
  RECT frame{0, 0, width, height};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&frame, style, FALSE);
  return CreateWindowExA(0, kWindowClass, "HTML pane", style, 40, 40, frame.right - frame.left,
                         frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                         nullptr);
}

int Show(const std::string& page, int width, int height) {
  const HWND window = MakeWindow(width, height);
  if (window == nullptr) return 2;
  PrintingSite site;
  std::unique_ptr<tavrel::FormControl> pane =
      tavrel::CreateFormControl(PaneObject("ThtmlLite", width, height), site);
  pane->Create(window, nullptr);
  if (!pane->LoadHtmlFile(page)) {
    std::fprintf(stderr, "cannot read %s\n", page.c_str());
    return 1;
  }
  ShowWindow(window, SW_SHOWNORMAL);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  pane.reset();
  return 0;
}

int Time(const std::string& kind, const std::string& page) {
  constexpr int kWidth = 640, kHeight = 480;
  const HWND window = MakeWindow(kWidth, kHeight);
  if (window == nullptr) return 2;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  std::string text;
  if (kind == "memo") {
    std::ifstream file(page, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  PrintingSite site;
  LARGE_INTEGER frequency{}, start{}, end{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::unique_ptr<tavrel::FormControl> pane = tavrel::CreateFormControl(
      PaneObject(kind == "memo" ? "TMemo" : "ThtmlLite", kWidth, kHeight), site);
  pane->Create(window, nullptr);
  const bool loaded =
      kind == "memo" ? pane->SetPropertyText("Lines", text) : pane->LoadHtmlFile(page);
  // The control paints for the first time when UpdateWindow returns.
  UpdateWindow(pane->Window());
  QueryPerformanceCounter(&end);
  if (!loaded) {
    std::fprintf(stderr, "cannot show %s\n", page.c_str());
    return 1;
  }
  std::printf("%s %.1f\n", kind.c_str(),
              1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                  static_cast<double>(frequency.QuadPart));
  pane.reset();
  DestroyWindow(window);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "show" && (argc == 3 || argc == 5)) {
    return Show(argv[2], argc == 5 ? std::atoi(argv[3]) : 640,
                argc == 5 ? std::atoi(argv[4]) : 480);
  }
  if (mode == "time" && argc == 4) return Time(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: html_pane_view show <page> [width height]\n"
               "       html_pane_view time html|memo <page>\n");
  return 2;
}
