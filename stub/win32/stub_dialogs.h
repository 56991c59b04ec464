// The stub's five windows, built from the dialog templates in its
// resources: progress window (102), licence (2001), folder prompt (2002),
// overwrite question (2003) and password prompt (2004). Every text comes
// from the package's message table; every caption is the package caption.
// None of these is called in a silent run.
#pragma once

#include <windows.h>

#include <string>

#include "stub/core/package_format.h"

namespace ombrell {

// Control ids of the progress window.
inline constexpr int kProgressName = 111;
inline constexpr int kProgressBar = 101;
inline constexpr int kProgressStatus = 105;
inline constexpr int kProgressCancel = 103;
inline constexpr int kProgressPause = 104;
inline constexpr int kProgressAnimation = 109;

// Licence window: true when accepted. The close box asks message 7; Yes
// ends the program with code 2.
bool ShowLicence(const SessionInfo& info);

// Folder prompt, starting with `initial` (the package folder). Returns the
// folder typed or browsed, with a trailing backslash, created with its
// parents. Cancel or the close box asks message 7; Yes ends with code 2.
std::string AskFolder(const SessionInfo& info, const std::string& initial);

// Password prompt. Cancel or the close box asks message 7; Yes ends with
// code 0. OK with an empty edit asks message 41; Yes ends with code 2.
std::string AskPassword(const SessionInfo& info);

// Overwrite question for an existing file, owned by the progress window.
// Returns true to overwrite. "Yes to All" sets overwriteMode to 0, "No to
// All" to 2. Cancel asks message 7 (Yes ends with code 2); the close box
// asks message 7 (Yes ends with code 0).
bool AskOverwrite(const SessionInfo& info, HWND owner, const std::string& file,
                  unsigned char& overwriteMode);

// The progress window, modal and without owner. On opening it calls
// startExtraction(window, data), which starts the extraction thread and
// returns its handle (for Pause and Resume). Returns only when the user
// has cancelled (message 7 answered Yes); the extraction thread ends the
// process itself when it finishes.
using StartExtraction = HANDLE (*)(HWND window, void* data);
void RunProgressWindow(const SessionInfo& info, StartExtraction startExtraction, void* data);

// Changes made by the extraction thread (synchronous messages).
void SetProgressName(HWND window, const std::string& text);
void SetProgressStatus(HWND window, const std::string& text);
void SetProgressRange(HWND window, int maximum);
void SetProgressPosition(HWND window, int position);

}  // namespace ombrell
