#include "stub/win32/stub_boxes.h"

#include "stub/core/stub_rules.h"

namespace ombrell {

namespace {

const SessionInfo& Info() {
  static const SessionInfo* const empty = new SessionInfo;
  return Boxes().info != nullptr ? *Boxes().info : *empty;
}

}  // namespace

BoxSettings& Boxes() {
  static BoxSettings* const settings = new BoxSettings;
  return *settings;
}

void EndAfterQuestion(int exitCode) {
  if (!Boxes().targetFolder.empty()) RemoveDirectoryA(Boxes().targetFolder.c_str());
  ExitProcess(static_cast<UINT>(exitCode));
}

void FatalError(std::string_view text, int exitCode) {
  if (!Boxes().silent) {
    const std::string message = FatalErrorText(Info(), text);
    MessageBoxA(Boxes().owner, message.c_str(), Boxes().caption.c_str(), MB_OK | MB_ICONERROR);
  }
  EndAfterQuestion(exitCode);
}

bool AskQuestion(std::string_view text, HWND owner) {
  if (Boxes().silent) return false;
  const std::string message = QuestionText(Info(), text);
  return MessageBoxA(owner, message.c_str(), Boxes().caption.c_str(),
                     MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
}

RetryAnswer AskRetry(std::string_view text) {
  if (Boxes().silent) ExitProcess(1);
  const std::string message = RetryErrorText(Info(), text);
  switch (MessageBoxA(Boxes().owner, message.c_str(), Boxes().caption.c_str(),
                      MB_ABORTRETRYIGNORE | MB_ICONERROR)) {
    case IDRETRY:
      return RetryAnswer::kRetry;
    case IDIGNORE:
      return RetryAnswer::kIgnore;
    default:
      ExitProcess(1);
  }
}

void ShowInformation(std::string_view text) {
  const std::string message(text);
  MessageBoxA(Boxes().owner, message.c_str(), Boxes().caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace ombrell
