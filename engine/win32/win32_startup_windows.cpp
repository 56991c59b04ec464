#include "engine/win32/win32_startup_windows.h"

#include <commctrl.h>

#include "engine/win32/resource.h"

namespace tavrel {

namespace {

constexpr char kPreparingClass[] = "TSetupInit";
constexpr char kSplashClass[] = "TSetupSplash";
constexpr int kClientWidth = 385;
constexpr int kClientHeight = 89;

LRESULT CALLBACK PreparingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CTLCOLORSTATIC) {
    SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK SplashProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    const auto picture = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (picture != nullptr) {
      BITMAP info;
      GetObjectA(picture, sizeof info, &info);
      const common::MemoryDc source(CreateCompatibleDC(dc));
      const HGDIOBJ old = SelectObject(source.Get(), picture);
      BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source.Get(), 0, 0, SRCCOPY);
      SelectObject(source.Get(), old);
    }
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClasses(HINSTANCE instance) {
  WNDCLASSA preparing{};
  preparing.lpfnWndProc = PreparingProc;
  preparing.hInstance = instance;
  preparing.hCursor = LoadCursor(nullptr, IDC_ARROW);
  preparing.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  preparing.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kMainIcon));
  preparing.lpszClassName = kPreparingClass;
  RegisterClassA(&preparing);

  WNDCLASSA splash{};
  splash.lpfnWndProc = SplashProc;
  splash.hInstance = instance;
  splash.hCursor = LoadCursor(nullptr, IDC_ARROW);
  splash.lpszClassName = kSplashClass;
  RegisterClassA(&splash);
}

HWND Child(HWND parent, const char* className, DWORD style, int x, int y, int width, int height,
           HFONT font) {
  const HWND child = CreateWindowExA(
      0, className, "", WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent, nullptr,
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr);
  SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

// The common controls are loaded only now, after start-up has checked their
// version: until then the library is not in the process, so the check reads
// the file on disk rather than whatever copy is already mapped.
void InitProgressControl() {
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const HMODULE library = LoadLibraryA("comctl32.dll");
  if (library == nullptr) return;
  const auto init = reinterpret_cast<InitFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "InitCommonControlsEx")));
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  if (init != nullptr) init(&controls);
}

}  // namespace

void Win32StartupWindows::Create() {
  InitProgressControl();
  RegisterClasses(instance_);

  const HDC screen = GetDC(nullptr);
  const int pointsToPixels = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  font_.Reset(CreateFontA(pointsToPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, "Tahoma"));

  // Single border and a caption, but no system menu: nothing to close it by.
  const DWORD style = WS_POPUP | WS_CAPTION;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  preparing_ = CreateWindowExA(0, kPreparingClass, "", style, 0, 0, frame.right - frame.left,
                               frame.bottom - frame.top, nullptr, nullptr, instance_, nullptr);
  const HWND icon = Child(preparing_, "STATIC", SS_ICON, 16, 16, 32, 32, font_.Get());
  SendMessageA(icon, STM_SETICON,
               reinterpret_cast<WPARAM>(LoadIconA(instance_, MAKEINTRESOURCEA(kMainIcon))), 0);
  label_ = Child(preparing_, "STATIC", SS_LEFT, 72, 16, 297, 33, font_.Get());
  progress_ = Child(preparing_, PROGRESS_CLASSA, 0, 16, 56, 353, 17, font_.Get());

  splash_ = CreateWindowExA(WS_EX_TOOLWINDOW, kSplashClass, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                            nullptr, instance_, nullptr);
}

std::optional<Size> Win32StartupWindows::LoadSplashPicture(const std::string& path) {
  picture_.Reset(static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                 LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
  if (!picture_) return std::nullopt;
  BITMAP info;
  GetObjectA(picture_.Get(), sizeof info, &info);
  SetWindowLongPtrA(splash_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(picture_.Get()));
  SetWindowPos(splash_, nullptr, 0, 0, info.bmWidth, info.bmHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  return Size{info.bmWidth, info.bmHeight};
}

void Win32StartupWindows::ShowSplashAt(Point at) {
  SetWindowPos(splash_, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(splash_, SW_SHOWNORMAL);
  UpdateWindow(splash_);
  splashVisible_ = true;
}

Size Win32StartupWindows::PreparingWindowSize() {
  RECT frame;
  GetWindowRect(preparing_, &frame);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

void Win32StartupWindows::ShowPreparingAt(Point at, const std::string& caption,
                                          const std::string& text) {
  SetWindowTextA(preparing_, caption.c_str());
  SetWindowTextA(label_, text.c_str());
  SetWindowPos(preparing_, HWND_TOP, at.left, at.top, 0, 0, SWP_NOSIZE);
  ShowWindow(preparing_, SW_SHOWNORMAL);
  UpdateWindow(preparing_);
}

void Win32StartupWindows::SetProgress(int minimum, int maximum, int position) {
  SendMessageA(progress_, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
  SendMessageA(progress_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  UpdateWindow(preparing_);
}

void Win32StartupWindows::StepProgress() {
  SendMessageA(progress_, PBM_DELTAPOS, 1, 0);
  UpdateWindow(preparing_);
  if (splashVisible_) UpdateWindow(splash_);
}

Size Win32StartupWindows::ScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void Win32StartupWindows::Destroy() {
  if (preparing_ != nullptr) {
    ShowWindow(preparing_, SW_HIDE);
    DestroyWindow(preparing_);
    preparing_ = nullptr;
  }
  if (splash_ != nullptr) {
    ShowWindow(splash_, SW_HIDE);
    DestroyWindow(splash_);
    splash_ = nullptr;
    splashVisible_ = false;
  }
  picture_.Reset();
  font_.Reset();
}

}  // namespace tavrel
