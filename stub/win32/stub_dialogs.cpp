#include "stub/win32/stub_dialogs.h"

#include <commctrl.h>
#include <shlobj.h>

#include <span>

#include "common/paths.h"
#include "common/win32/handle_owner.h"
#include "stub/core/stub_rules.h"
#include "stub/win32/stub_boxes.h"
#include "stub/win32/stub_folders.h"
#include "stub/win32/stub_resource.h"

namespace ombrell {

static_assert(kProgressName == IDC_PROGRESS_NAME && kProgressBar == IDC_PROGRESS_BAR &&
              kProgressStatus == IDC_PROGRESS_STATUS && kProgressCancel == IDC_PROGRESS_CANCEL &&
              kProgressPause == IDC_PROGRESS_PAUSE && kProgressAnimation == IDC_PROGRESS_ANIMATION);

namespace {

// The file copy animation among the system shell's resources.
constexpr WORD kCopyAnimation = 161;
// After the close question, the window only closes (the progress window).
constexpr int kJustClose = -1;

// A control and the number of the message it shows.
struct Label {
  WORD control;
  BYTE message;
};

struct Window;
// A button of one window; false when the id is none of that window's.
using CommandHandler = bool (*)(HWND window, Window& state, WORD id);

// What each window opens with and how it closes. A window with more state
// derives from this; the dialog's user data points at it.
struct Window {
  const SessionInfo& info;
  std::span<const Label> labels;
  WORD icon;
  WORD focus;
  WORD textControl;  // shows `text` (with `text` null, nothing)
  const char* text;
  int closeCode;  // exit code once the close question is answered Yes
  CommandHandler command;
};

// The folder and password prompts: the text accepted.
struct EntryWindow : Window {
  std::string entry;
};

struct ProgressWindow : Window {
  StartExtraction startExtraction;
  void* data;
};

// Set while the extraction may go on, reset while the progress window is
// paused. The extraction thread waits for it each time it reports progress:
// there it holds no lock the window's thread could need, which a thread
// suspended at an arbitrary point (inside the heap, say) may.
HANDLE extractionGate = nullptr;

HINSTANCE Instance() {
  return GetModuleHandleA(nullptr);
}

template <class State>
State& StateOf(HWND window) {
  return *reinterpret_cast<State*>(GetWindowLongPtrA(window, DWLP_USER));
}

void SetText(HWND window, int control, const std::string& text) {
  SetDlgItemTextA(window, control, text.c_str());
}

// Centred on the screen, with the package caption, the window's icon, its
// texts and the focus on its first control.
BOOL Open(HWND window, LPARAM param) {
  SetWindowLongPtrA(window, DWLP_USER, param);
  const Window& state = *reinterpret_cast<const Window*>(param);
  RECT frame;
  GetWindowRect(window, &frame);
  SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  SetWindowTextA(window, Boxes().caption.c_str());
  SendMessageA(window, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(LoadIconA(Instance(), MAKEINTRESOURCEA(state.icon))));
  for (const Label& label : state.labels) {
    SetText(window, label.control, state.info.Message(label.message));
  }
  if (state.text != nullptr) SetDlgItemTextA(window, state.textControl, state.text);
  // The folder and password prompts take no more than is read back.
  SendDlgItemMessageA(window, IDC_ENTRY, EM_LIMITTEXT, STUB_ENTRY_LIMIT, 0);
  // Focus set here, not by the dialog manager, selects no text.
  SetFocus(GetDlgItem(window, state.focus));
  return FALSE;
}

// Message 7; Yes closes the window or ends the program with `code`.
void AskToClose(HWND window, int code) {
  if (!AskQuestion(StateOf<Window>(window).info.Message(7), window)) return;
  if (code != kJustClose) EndAfterQuestion(code);
  // The progress window: the extraction stops at its next report while
  // the program ends.
  ResetEvent(extractionGate);
  EndDialog(window, IDCANCEL);
}

INT_PTR CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return Open(window, lParam);
  auto* state = reinterpret_cast<Window*>(GetWindowLongPtrA(window, DWLP_USER));
  if (state == nullptr) return FALSE;
  // The close box, and Escape.
  if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
    AskToClose(window, state->closeCode);
    return TRUE;
  }
  return message == WM_COMMAND && state->command(window, *state, LOWORD(wParam));
}

INT_PTR Show(WORD templateId, HWND owner, Window& state, DLGPROC procedure = WindowProc) {
  return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(templateId), owner, procedure,
                         reinterpret_cast<LPARAM>(&state));
}

std::string EntryText(HWND window) {
  char text[STUB_ENTRY_LIMIT + 1];
  const UINT length = GetDlgItemTextA(window, IDC_ENTRY, text, sizeof text);
  return std::string(text, length);
}

// Licence window.

constexpr Label kLicenceLabels[] = {
    {IDC_LICENCE_HEADING, 45}, {IDC_LICENCE_QUESTION, 46}, {IDYES, 47}, {IDNO, 48}};

bool LicenceCommand(HWND window, Window&, WORD id) {
  if (id != IDYES && id != IDNO) return false;
  EndDialog(window, id);
  return true;
}

// Folder prompt.

constexpr Label kFolderLabels[] = {{IDC_PROMPT, 49}, {IDC_BROWSE, 50}, {IDOK, 51}, {IDCANCEL, 44}};

void BrowseFolder(HWND window, const SessionInfo& info) {
  char path[MAX_PATH];
  BROWSEINFOA browse{};
  browse.hwndOwner = window;
  browse.pszDisplayName = path;
  browse.lpszTitle = info.Message(31).c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (const PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse)) {
    if (SHGetPathFromIDListA(chosen, path)) SetDlgItemTextA(window, IDC_ENTRY, path);
    CoTaskMemFree(chosen);
  }
}

void AcceptFolder(HWND window, EntryWindow& state) {
  const SessionInfo& info = state.info;
  const std::string folder = EntryText(window);
  if (!HasDriveOrShare(folder)) {
    if (AskQuestion(info.Message(32), window)) EndAfterQuestion(2);
  } else if (!CreateFolderTree(folder)) {
    if (AskQuestion(info.Message(28) + "\r" + folder + "\r\r" + info.Message(33), window)) {
      EndAfterQuestion(2);
    }
  } else {
    state.entry = common::WithTrailingBackslash(folder);
    EndDialog(window, IDOK);
  }
}

bool FolderCommand(HWND window, Window& state, WORD id) {
  if (id == IDC_BROWSE) {
    BrowseFolder(window, state.info);
  } else if (id == IDOK) {
    AcceptFolder(window, static_cast<EntryWindow&>(state));
  } else {
    return false;
  }
  return true;
}

// Overwrite question.

constexpr Label kOverwriteLabels[] = {{IDC_OVERWRITE_HEADING, 52}, {IDC_OVERWRITE_YES, 47},
                                      {IDC_OVERWRITE_YES_ALL, 53}, {IDC_OVERWRITE_NO, 48},
                                      {IDC_OVERWRITE_NO_ALL, 54},  {IDC_OVERWRITE_CANCEL, 44}};

bool OverwriteCommand(HWND window, Window&, WORD id) {
  if (id == IDC_OVERWRITE_CANCEL) {
    AskToClose(window, 2);
  } else if (id >= IDC_OVERWRITE_YES && id <= IDC_OVERWRITE_NO_ALL) {
    EndDialog(window, id);
  } else {
    return false;
  }
  return true;
}

// Password prompt.

constexpr Label kPasswordLabels[] = {{IDC_PROMPT, 55}, {IDOK, 51}, {IDCANCEL, 44}};

bool PasswordCommand(HWND window, Window& state, WORD id) {
  if (id != IDOK) return false;
  auto& prompt = static_cast<EntryWindow&>(state);
  prompt.entry = EntryText(window);
  if (!prompt.entry.empty()) {
    EndDialog(window, IDOK);
  } else if (AskQuestion(state.info.Message(41), window)) {
    EndAfterQuestion(2);
  }
  return true;
}

// Progress window.

constexpr Label kProgressLabels[] = {{IDC_PROGRESS_CANCEL, 44}, {IDC_PROGRESS_PAUSE, 8}};

void TogglePause(HWND window, const SessionInfo& info) {
  const HWND animation = GetDlgItem(window, IDC_PROGRESS_ANIMATION);
  const bool pausing = WaitForSingleObject(extractionGate, 0) == WAIT_OBJECT_0;
  if (pausing) {
    ResetEvent(extractionGate);
    SendMessageA(animation, ACM_STOP, 0, 0);
  } else {
    // Every frame, repeated without end.
    SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
    SetEvent(extractionGate);
  }
  SetText(window, IDC_PROGRESS_PAUSE, info.Message(pausing ? 9 : 8));
}

bool ProgressCommand(HWND window, Window& state, WORD id) {
  if (id == IDC_PROGRESS_CANCEL) {
    AskToClose(window, kJustClose);
  } else if (id == IDC_PROGRESS_PAUSE) {
    TogglePause(window, state.info);
  } else {
    return false;
  }
  return true;
}

INT_PTR CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR handled = WindowProc(window, message, wParam, lParam);
  if (message == WM_INITDIALOG) {
    Boxes().owner = window;
    const HINSTANCE shell = LoadLibraryA("shell32.dll");
    const HWND animation = CreateWindowExA(
        0, ANIMATE_CLASSA, "ANIME", WS_CHILD | WS_VISIBLE | ACS_TRANSPARENT | ACS_AUTOPLAY, 3, 12,
        0, 0, window, reinterpret_cast<HMENU>(IDC_PROGRESS_ANIMATION), shell, nullptr);
    SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(shell),
                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(kCopyAnimation)));
    const auto& state = StateOf<ProgressWindow>(window);
    // Pause and Resume go through the gate, so the thread handle itself
    // is not needed here.
    const common::KernelHandle thread(state.startExtraction(window, state.data));
  }
  return handled;
}

// A change the extraction thread makes to the progress window, once the
// window is not paused.
void Report(HWND window, int control, UINT message, WPARAM wParam, LPARAM lParam) {
  if (extractionGate != nullptr &&
      GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
    WaitForSingleObject(extractionGate, INFINITE);
  }
  SendDlgItemMessageA(window, control, message, wParam, lParam);
}

}  // namespace

bool ShowLicence(const SessionInfo& info) {
  Window state{
      info, kLicenceLabels, IDI_LICENCE, IDC_LICENCE_TEXT, IDC_LICENCE_TEXT, info.licence.c_str(),
      2,    LicenceCommand};
  return Show(IDD_LICENCE, nullptr, state) == IDYES;
}

std::string AskFolder(const SessionInfo& info, const std::string& initial) {
  // The browse dialog's new style needs COM on this thread.
  const bool com = SUCCEEDED(CoInitialize(nullptr));
  EntryWindow state{
      {info, kFolderLabels, IDI_FOLDER, IDC_ENTRY, IDC_ENTRY, initial.c_str(), 2, FolderCommand},
      {}};
  // Only a folder that exists is ever returned: should the window fail to
  // open at all, the program ends as after Cancel.
  if (Show(IDD_FOLDER, nullptr, state) != IDOK) EndAfterQuestion(2);
  if (com) CoUninitialize();
  return state.entry;
}

std::string AskPassword(const SessionInfo& info) {
  EntryWindow state{
      {info, kPasswordLabels, IDI_PASSWORD, IDC_ENTRY, 0, nullptr, 0, PasswordCommand}, {}};
  if (Show(IDD_PASSWORD, nullptr, state) != IDOK) EndAfterQuestion(2);
  return state.entry;
}

bool AskOverwrite(const SessionInfo& info, HWND owner, const std::string& file,
                  unsigned char& overwriteMode) {
  Window state{
      info, kOverwriteLabels, IDI_OVERWRITE, IDC_OVERWRITE_YES, IDC_OVERWRITE_FILE, file.c_str(),
      0,    OverwriteCommand};
  const INT_PTR answer = Show(IDD_OVERWRITE, owner, state);
  if (answer == IDC_OVERWRITE_YES_ALL) overwriteMode = 0;
  if (answer == IDC_OVERWRITE_NO_ALL) overwriteMode = 2;
  return answer == IDC_OVERWRITE_YES || answer == IDC_OVERWRITE_YES_ALL;
}

void RunProgressWindow(const SessionInfo& info, StartExtraction startExtraction, void* data) {
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
  InitCommonControlsEx(&controls);
  extractionGate = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ProgressWindow state{{info, kProgressLabels, IDI_PROGRAM, IDC_PROGRESS_PAUSE, 0, nullptr,
                        kJustClose, ProgressCommand},
                       startExtraction,
                       data};
  Show(IDD_PROGRESS, nullptr, state, ProgressProc);
}

void SetProgressName(HWND window, const std::string& text) {
  Report(window, IDC_PROGRESS_NAME, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SetProgressStatus(HWND window, const std::string& text) {
  Report(window, IDC_PROGRESS_STATUS, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SetProgressRange(HWND window, int maximum) {
  Report(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, maximum);
}

void SetProgressPosition(HWND window, int position) {
  Report(window, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

}  // namespace ombrell
