// The stub's three message boxes (fatal error, question, retry error) and
// the ways the program ends after them. Every box carries the package
// caption; in a silent run none is shown.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "stub/core/package_format.h"

namespace ombrell {

// What the boxes need to know about the run; set once start-up has read
// the session information (before that the texts are empty).
struct BoxSettings {
  const SessionInfo* info = nullptr;
  std::string caption;
  bool silent = false;
  // The target folder value at the time of the box: removed (when it
  // exists and is empty) before the program ends after a box.
  std::string targetFolder;
  // Owner of every box once the progress window exists.
  HWND owner = nullptr;
};
BoxSettings& Boxes();

// Message 35, CR, text, CR CR, message 36; OK with the error icon. Removes
// the target folder if empty and ends the program with the code.
[[noreturn]] void FatalError(std::string_view text, int exitCode);

// Text, CR CR, message 37; Yes/No with No as default. True when the user
// answered Yes (the program is to end); a silent run answers No.
bool AskQuestion(std::string_view text, HWND owner);

// Removes the target folder if empty and ends the program: the end after
// a question answered Yes.
[[noreturn]] void EndAfterQuestion(int exitCode);

enum class RetryAnswer { kRetry, kIgnore };
// Message 34, CR, text; Abort/Retry/Ignore with the error icon. Abort, and
// every retry error of a silent run, ends the program with code 1.
RetryAnswer AskRetry(std::string_view text);

// The plain information box of the end message.
void ShowInformation(std::string_view text);

}  // namespace ombrell
