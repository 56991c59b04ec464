// One turn of the main thread's message loop, shared by the interpreter's
// waits and the modal wizard pages.
#pragma once

#include <windows.h>

namespace tavrel {

// Waits for one message and dispatches it; Tab and the arrow keys move
// between the controls of the page, when there is one. False on WM_QUIT,
// which is posted again: it belongs to the outermost loop.
bool PumpOneMessage(HWND page);

}  // namespace tavrel
