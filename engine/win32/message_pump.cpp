#include "engine/win32/message_pump.h"

namespace tavrel {

bool PumpOneMessage(HWND page) {
  MSG message;
  const BOOL got = GetMessageA(&message, nullptr, 0, 0);
  if (got == 0) {
    PostQuitMessage(static_cast<int>(message.wParam));
    return false;
  }
  if (got == -1) return true;
  if (page != nullptr && IsDialogMessageA(page, &message)) return true;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

}  // namespace tavrel
