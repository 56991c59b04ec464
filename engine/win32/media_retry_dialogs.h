// The retry dialogs of web media: modal dialogs of the system's dialog
// class "#32770", titled with their caption ("Retry Download?" for the
// download and the proxy question, "Retry Extraction?" for the extraction
// question, or what the language file puts in their place). Each text is
// read from the message table when the dialog opens; the dialog lays itself
// out around the texts, so longer ones make it taller, never clipped.
#pragma once

#include <windows.h>

#include "engine/core/media_port.h"
#include "engine/core/message_table.h"
#include "engine/core/ui_port.h"

namespace tavrel {

// Control ids, for tests and tools that drive the dialogs. The buttons are
// IDOK and IDCANCEL ("OK", "Cancel") in the download and extraction
// dialogs, IDYES and IDNO ("Yes", "No") in the proxy dialog.
namespace retry_control {
// In all three: the picture at the top left, the question beside it, the
// information icon and the note beside it.
inline constexpr int kPicture = 1000;
inline constexpr int kQuestion = 1001;
inline constexpr int kNoteIcon = 1002;
inline constexpr int kNote = 1003;
// Download retry: "Would you like to:" and its two radio buttons.
inline constexpr int kChoiceLabel = 1010;
inline constexpr int kResume = 1011;  // chosen at start
inline constexpr int kNewCopy = 1012;
// Proxy retry: the group box and its four edit fields, each after its label.
inline constexpr int kProxyGroup = 1020;
inline constexpr int kServerLabel = 1021;
inline constexpr int kServer = 1022;
inline constexpr int kPortLabel = 1023;
inline constexpr int kPort = 1024;
inline constexpr int kUserLabel = 1025;
inline constexpr int kUser = 1026;
inline constexpr int kPasswordLabel = 1027;
inline constexpr int kPassword = 1028;  // a password field
// Retry extraction: its two radio buttons.
inline constexpr int kDownload = 1030;  // chosen at start
inline constexpr int kExtract = 1031;
}  // namespace retry_control

// Each shows its dialog owned by the window (nullptr or a window that is
// gone: no owner, centred on the screen), waits for the user and answers as
// UiPort's functions of the same name say. A dialog that cannot be shown
// answers as Cancel and No do: a retry that nobody asked for could repeat
// without end.
bool AskDownloadRetryDialog(HWND owner, const MessageTable& texts, bool& resume);
bool AskProxyRetryDialog(HWND owner, const MessageTable& texts, ProxySettings& proxy);
ExtractRetry AskExtractRetryDialog(HWND owner, const MessageTable& texts);

}  // namespace tavrel
