// The wizard's message boxes, titled "Quorvane Ombrell": errors, notes and
// the questions whose Yes ends the wizard. Every text also goes to the trace.
#pragma once

#include <windows.h>

#include <string>

namespace ombrwiz {

inline constexpr const char* kBoxCaption = "Quorvane Ombrell";

// The window the boxes belong to (null: none).
void SetBoxOwner(HWND owner);

void ShowError(const std::string& text);
void ShowNote(const std::string& text);
// Yes or No with the question icon; true for Yes.
bool AskYesNo(const std::string& text);
// A question whose Yes ends the wizard: the text, then "Please click YES to
// exit, or NO to continue."; No is the default. True for Yes.
bool AskToExit(const std::string& text);

}  // namespace ombrwiz
