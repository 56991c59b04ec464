#include "wizard/win32/wizard_boxes.h"

#include "wizard/win32/win32_build_system.h"

namespace ombrwiz {

namespace {

HWND boxOwner = nullptr;

int Box(const std::string& text, UINT style) {
  return MessageBoxA(boxOwner, text.c_str(), kBoxCaption,
                     style | (boxOwner == nullptr ? MB_TASKMODAL : 0));
}

}  // namespace

void SetBoxOwner(HWND owner) {
  boxOwner = owner;
}

void ShowError(const std::string& text) {
  Trace("error: " + text);
  Box(text, MB_OK | MB_ICONERROR);
}

void ShowNote(const std::string& text) {
  Trace("box: " + text);
  Box(text, MB_OK | MB_ICONINFORMATION);
}

bool AskYesNo(const std::string& text) {
  Trace("question: " + text);
  return Box(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool AskToExit(const std::string& text) {
  Trace("question: " + text);
  return Box(text + "\r\rPlease click YES to exit, or NO to continue.",
             MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
}

}  // namespace ombrwiz
