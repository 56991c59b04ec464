#include "wizard/win32/wizard_artwork.h"

#include <array>

namespace ombrwiz {

namespace {

constexpr const char* kAnimationClass = "OmbrellAnimation";
constexpr UINT_PTR kFrameTimer = 1;
constexpr int kFrames = 24;

bool FewColours(HDC dc) {
  return GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) <= 8;
}

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
  SetBkColor(dc, colour);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

// Solid pen and brush of one colour, selected for the object's lifetime.
class Paint {
 public:
  Paint(HDC dc, COLORREF colour, int width = 1)
      : dc_(dc), pen_(CreatePen(PS_SOLID, width, colour)), brush_(CreateSolidBrush(colour)) {
    oldPen_ = SelectObject(dc_, pen_);
    oldBrush_ = SelectObject(dc_, brush_);
  }
  ~Paint() {
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
    DeleteObject(pen_);
    DeleteObject(brush_);
  }
  Paint(const Paint&) = delete;
  Paint& operator=(const Paint&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HBRUSH brush_;
  HGDIOBJ oldPen_;
  HGDIOBJ oldBrush_;
};

void Parcel(HDC dc, int x, int y, int size) {
  {
    const Paint paper(dc, RGB(196, 150, 88));
    Rectangle(dc, x, y, x + size, y + size * 3 / 4);
  }
  const Paint string(dc, RGB(120, 72, 30), 2);
  MoveToEx(dc, x + size / 2, y, nullptr);
  LineTo(dc, x + size / 2, y + size * 3 / 4);
  MoveToEx(dc, x, y + size * 3 / 8, nullptr);
  LineTo(dc, x + size, y + size * 3 / 8);
}

void Umbrella(HDC dc, int cx, int top, int radius) {
  {
    const Paint canopy(dc, RGB(236, 92, 64));
    Pie(dc, cx - radius, top, cx + radius, top + 2 * radius, cx + radius, top + radius, cx - radius,
        top + radius);
  }
  {
    const Paint ribs(dc, RGB(180, 52, 40));
    for (int i = 1; i < 4; ++i) {
      const int rx = cx - radius + i * radius / 2;
      Pie(dc, rx - radius / 4, top + radius - radius / 6, rx + radius / 4,
          top + radius + radius / 6, rx + radius / 4, top + radius, rx - radius / 4, top + radius);
    }
  }
  const Paint handle(dc, RGB(60, 60, 70), 3);
  MoveToEx(dc, cx, top, nullptr);
  LineTo(dc, cx, top + radius * 2);
  Arc(dc, cx, top + radius * 2 - 8, cx + 16, top + radius * 2 + 8, cx, top + radius * 2, cx + 16,
      top + radius * 2);
}

struct AnimationState {
  Animation kind = Animation::kBuild;
  int frame = 0;
  bool playing = false;
};

void DrawFrame(HDC dc, const RECT& area, const AnimationState& state, HBRUSH background) {
  FillRect(dc, &area, background);
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  const int f = state.frame;
  switch (state.kind) {
    case Animation::kBuild: {
      // Pages fly from a folder into the package.
      {
        const Paint folder(dc, RGB(232, 196, 80));
        Rectangle(dc, 2, h / 2 - 10, 34, h / 2 + 14);
      }
      Parcel(dc, w - 40, h / 2 - 14, 36);
      const int travel = w - 84;
      for (int i = 0; i < 3; ++i) {
        const int step = (f + i * kFrames / 3) % kFrames;
        const int x = 38 + travel * step / kFrames;
        const int y = h / 2 - 6 - (step * (kFrames - step)) * 20 / (kFrames * kFrames / 4) / 2;
        const Paint page(dc, RGB(255, 255, 255));
        Rectangle(dc, x, y, x + 10, y + 13);
        const Paint lines(dc, RGB(90, 90, 90));
        MoveToEx(dc, x + 2, y + 4, nullptr);
        LineTo(dc, x + 8, y + 4);
        MoveToEx(dc, x + 2, y + 8, nullptr);
        LineTo(dc, x + 8, y + 8);
      }
      break;
    }
    case Animation::kTest: {
      // A window whose bar fills.
      {
        const Paint frame(dc, RGB(10, 36, 106));
        Rectangle(dc, 4, 4, w - 4, h - 4);
      }
      {
        const Paint inside(dc, RGB(255, 255, 255));
        Rectangle(dc, 6, 14, w - 6, h - 6);
      }
      const Paint bar(dc, RGB(40, 160, 60));
      Rectangle(dc, 10, h - 16, 10 + (w - 20) * f / (kFrames - 1), h - 10);
      break;
    }
    case Animation::kEmail: {
      // An envelope that moves to the right and comes back.
      const int x = 4 + (w - 40) * (f < kFrames / 2 ? f : kFrames - f) / (kFrames / 2);
      const Paint envelope(dc, RGB(250, 250, 240));
      Rectangle(dc, x, h / 2 - 10, x + 32, h / 2 + 10);
      MoveToEx(dc, x, h / 2 - 10, nullptr);
      const Paint fold(dc, RGB(120, 120, 120));
      MoveToEx(dc, x, h / 2 - 10, nullptr);
      LineTo(dc, x + 16, h / 2 + 1);
      LineTo(dc, x + 32, h / 2 - 10);
      break;
    }
    case Animation::kExplore: {
      // A folder that opens and closes.
      const Paint back(dc, RGB(210, 170, 60));
      Rectangle(dc, w / 2 - 18, h / 2 - 12, w / 2 + 18, h / 2 + 14);
      const int lift = 10 * (f < kFrames / 2 ? f : kFrames - f) / (kFrames / 2);
      const Paint front(dc, RGB(240, 204, 96));
      const std::array<POINT, 4> flap = {POINT{w / 2 - 18, h / 2 + 14},
                                         POINT{w / 2 + 18, h / 2 + 14},
                                         POINT{w / 2 + 18 + lift, h / 2 - 6 + lift / 2},
                                         POINT{w / 2 - 18 + lift, h / 2 - 6 + lift / 2}};
      Polygon(dc, flap.data(), static_cast<int>(flap.size()));
      break;
    }
  }
}

// The state lives in the window's extra bytes: kind, frame, playing.
constexpr int kKindSlot = 0;
constexpr int kFrameSlot = static_cast<int>(sizeof(LONG_PTR));
constexpr int kPlayingSlot = 2 * static_cast<int>(sizeof(LONG_PTR));

AnimationState StateOf(HWND window) {
  return AnimationState{static_cast<Animation>(GetWindowLongPtrA(window, kKindSlot)),
                        static_cast<int>(GetWindowLongPtrA(window, kFrameSlot)),
                        GetWindowLongPtrA(window, kPlayingSlot) != 0};
}

LRESULT CALLBACK AnimationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      const auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(window, kKindSlot, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_TIMER:
      if (wParam == kFrameTimer) {
        SetWindowLongPtrA(window, kFrameSlot, (StateOf(window).frame + 1) % kFrames);
        InvalidateRect(window, nullptr, FALSE);
      }
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      // Drawn off screen, so that the frames do not flicker.
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, area.right, area.bottom);
      HGDIOBJ old = SelectObject(memory, bitmap);
      // The parent says which ground the drawing stands on, as for a static control.
      auto background = reinterpret_cast<HBRUSH>(SendMessageA(GetParent(window), WM_CTLCOLORSTATIC,
                                                              reinterpret_cast<WPARAM>(memory),
                                                              reinterpret_cast<LPARAM>(window)));
      if (background == nullptr) background = GetSysColorBrush(COLOR_BTNFACE);
      DrawFrame(memory, area, StateOf(window), background);
      BitBlt(dc, 0, 0, area.right, area.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteObject(bitmap);
      DeleteDC(memory);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void DrawStartPicture(HDC dc, const RECT& area) {
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  if (FewColours(dc)) {
    Fill(dc, area, RGB(0, 0, 128));
  } else {
    // A vertical blend from deep to light blue, in bands.
    constexpr int kBands = 48;
    for (int i = 0; i < kBands; ++i) {
      const RECT band{area.left, area.top + h * i / kBands, area.right,
                      area.top + h * (i + 1) / kBands};
      Fill(dc, band, RGB(16 + 60 * i / kBands, 40 + 110 * i / kBands, 120 + 110 * i / kBands));
    }
  }
  Umbrella(dc, area.left + w / 2, area.top + h / 5, w / 3);
  Parcel(dc, area.left + w / 2 - 26, area.top + h / 5 + w * 2 / 3 + 6, 52);
}

void RegisterAnimationClass(HINSTANCE instance) {
  WNDCLASSA type{};
  type.lpfnWndProc = AnimationProc;
  type.cbWndExtra = 3 * static_cast<int>(sizeof(LONG_PTR));
  type.hInstance = instance;
  type.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  type.lpszClassName = kAnimationClass;
  RegisterClassA(&type);
}

HWND CreateAnimation(HWND parent, int id, Animation kind, int x, int y, int width, int height) {
  return CreateWindowExA(0, kAnimationClass, "", WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleA(nullptr),
                         reinterpret_cast<LPVOID>(static_cast<INT_PTR>(kind)));
}

void PlayAnimation(HWND animation, bool play) {
  if (animation == nullptr || StateOf(animation).playing == play) return;
  SetWindowLongPtrA(animation, kPlayingSlot, play ? 1 : 0);
  if (play) {
    SetWindowLongPtrA(animation, kFrameSlot, 0);
    SetTimer(animation, kFrameTimer, 80, nullptr);
  } else {
    KillTimer(animation, kFrameTimer);
  }
  InvalidateRect(animation, nullptr, FALSE);
}

}  // namespace ombrwiz
