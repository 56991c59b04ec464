// Test driver for windows of programs running in the same Wine session:
// waits for a window, reports where it is and what it says, presses its
// buttons. Run as a console program; answers on stdout.
//
//   winctl find  CLASS TITLE [TIMEOUT_MS]   window rectangle, then one line
//                                           per child: class|id|text
//   winctl press CLASS TITLE BUTTON_TEXT    clicks the child button
//   winctl gone  CLASS TITLE [TIMEOUT_MS]   waits until no such window is left
//   winctl settext CLASS TITLE ID TEXT      sets the text of the child with that id
//   winctl click CLASS TITLE ID             clicks the child with that id
//   winctl select CLASS TITLE ID ITEM [open]
//                                           selects the item of a list or combo box
//                                           as a user would (the owner is told);
//                                           "open" double-clicks it as well
//   winctl state CLASS TITLE ID             enabled|visible|checked|selected item|text
//   winctl close CLASS TITLE                asks the window to close
//   winctl layout CLASS TITLE CHILD_CLASS   the first child of that class:
//                                           left|top|width|height (in its parent's
//                                           client area)|client width|client height
//   winctl items CLASS TITLE ID             the rows of a list view: one line
//                                           per row, checked (1 or 0)|selected|text
//   winctl labeledit CLASS TITLE ID TEXT    types TEXT into the label being edited
//                                           in a list view and presses Enter
//   winctl drop CLASS TITLE PATH...         drops these files on the window, as
//                                           Explorer does (WM_DROPFILES)
//   winctl launch CLASS TITLE TIMEOUT_MS PROGRAM [ARGS...]
//                                           starts the program, prints the
//                                           milliseconds until its window shows,
//                                           then ends the program
//   winctl hold                             keeps the desktop in use; never ends
// Children are looked up by id at any depth (controls inside group boxes
// and panels included).
// CLASS or TITLE "*" matches any. TITLE "Caption>>text" matches a window
// with that caption one of whose children's texts contains "text": several
// windows of one program may share a caption.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The text a control holds: asked of the control itself, since for windows
// of another process GetWindowText only sees the caption the system keeps,
// not what an edit control holds.
std::string TextOf(HWND window) {
  char text[8192] = {};
  DWORD_PTR length = 0;
  if (SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 2000, &length) == 0) {
    GetWindowTextA(window, text, sizeof text);
  }
  return text;
}

std::string OneLine(const std::string& text);

struct ChildSearch {
  std::string needle;
  bool found = false;
};

BOOL CALLBACK HasChildText(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<ChildSearch*>(data);
  char text[1024] = {};
  GetWindowTextA(child, text, sizeof text);
  if (std::string(text).find(search->needle) != std::string::npos) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

struct TopSearch {
  std::string className;
  std::string title;
  std::string needle;
  HWND found = nullptr;
};

BOOL CALLBACK MatchTop(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TopSearch*>(data);
  char className[256] = {};
  char title[1024] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (!IsWindowVisible(window) || (search->className != "*" && search->className != className) ||
      (search->title != "*" && search->title != title)) {
    return TRUE;
  }
  ChildSearch children{search->needle};
  EnumChildWindows(window, HasChildText, reinterpret_cast<LPARAM>(&children));
  if (!children.found) return TRUE;
  search->found = window;
  return FALSE;
}

struct ClassSearch {
  std::string className;
  HWND found;
};

BOOL CALLBACK FindClass(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<ClassSearch*>(data);
  char className[256] = {};
  GetClassNameA(child, className, sizeof className);
  if (lstrcmpiA(className, search->className.c_str()) != 0) return TRUE;
  search->found = child;
  return FALSE;
}

HWND Find(const char* className, const char* title) {
  const std::string pattern = title;
  const std::size_t split = pattern.find(">>");
  if (split != std::string::npos) {
    TopSearch search{className, pattern.substr(0, split), pattern.substr(split + 2)};
    EnumWindows(MatchTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  return FindWindowA(std::string(className) == "*" ? nullptr : className,
                     pattern == "*" ? nullptr : title);
}

HWND WaitFor(const char* className, const char* title, DWORD timeout) {
  const DWORD start = GetTickCount();
  for (;;) {
    const HWND window = Find(className, title);
    if (window != nullptr && IsWindowVisible(window)) return window;
    if (GetTickCount() - start > timeout) return nullptr;
    Sleep(50);
  }
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
  char className[64] = {};
  GetClassNameA(child, className, sizeof className);
  std::printf("%s|%d|%s\n", className, GetDlgCtrlID(child), OneLine(TextOf(child)).c_str());
  return TRUE;
}

struct ButtonSearch {
  const char* text;
  HWND found;
};

BOOL CALLBACK FindButton(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<ButtonSearch*>(data);
  char text[256] = {};
  GetWindowTextA(child, text, sizeof text);
  std::string plain;
  for (const char* c = text; *c; ++c) {
    if (*c != '&') plain += *c;
  }
  if (plain == search->text) {
    search->found = child;
    return FALSE;
  }
  return TRUE;
}

struct IdSearch {
  int id;
  HWND found;
};

BOOL CALLBACK FindId(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<IdSearch*>(data);
  if (GetDlgCtrlID(child) != search->id) return TRUE;
  search->found = child;
  return FALSE;
}

// A child that is not found is looked for again for a while: under load
// Wine has been seen to miss a child of another process now and then.
HWND Child(HWND window, const char* id) {
  const DWORD start = GetTickCount();
  for (;;) {
    IdSearch search{std::atoi(id), nullptr};
    EnumChildWindows(window, FindId, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr || !IsWindow(window) || GetTickCount() - start > 5000) {
      return search.found;
    }
    Sleep(50);
  }
}

// The index of the item whose text is the wanted one (letter case ignored);
// -1 when there is none.
// An item's text, asked in UTF-16: across processes Wine hands the ANSI
// variants of the item messages back as UTF-16.
std::string ItemText(HWND list, bool combo, WPARAM index) {
  const LRESULT length = SendMessageW(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, index, 0);
  if (length < 0 || length > 4096) return "";
  std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, index,
               reinterpret_cast<LPARAM>(wide.data()));
  char text[8192] = {};
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
  return text;
}

// The index of the item whose text is the wanted one (letter case ignored);
// -1 when there is none.
int ItemIndex(HWND list, bool combo, const std::string& wanted) {
  const LRESULT count = SendMessageA(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    // Lists may indent their items with blanks.
    std::string item = ItemText(list, combo, static_cast<WPARAM>(i));
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    if (lstrcmpiA(item.c_str(), wanted.c_str()) == 0) return static_cast<int>(i);
  }
  return -1;
}

// One line per child: inside a text CR is left out and LF is written as
// \n.
std::string OneLine(const std::string& text) {
  std::string line;
  for (const char c : text) {
    if (c == '\r') {
      continue;
    }
    if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "hold") {
    // Uses the desktop and never ends: while a program uses it, Wine keeps
    // the desktop (and the process that draws it) instead of closing it
    // after the last program and making it anew for the next one.
    GetDesktopWindow();
    CreateWindowExA(0, "STATIC", "winctl hold", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                    nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: winctl find|press|gone CLASS TITLE [ARG]\n");
    return 2;
  }
  const std::string verb = argv[1];
  if (verb == "find") {
    const DWORD timeout = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 10000;
    const HWND window = WaitFor(argv[2], argv[3], timeout);
    if (window == nullptr) return 1;
    RECT rect;
    GetWindowRect(window, &rect);
    RECT client;
    GetClientRect(window, &client);
    char title[512] = {};
    GetWindowTextA(window, title, sizeof title);
    std::printf("window|%ld|%ld|%ld|%ld|%ld|%ld|%s\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top, client.right, client.bottom, title);
    EnumChildWindows(window, PrintChild, 0);
    return 0;
  }
  if (verb == "press" && argc > 4) {
    // A window may show before all its buttons exist: look again for a while.
    const DWORD start = GetTickCount();
    for (;;) {
      const HWND window = WaitFor(argv[2], argv[3], 10000);
      if (window == nullptr) return 1;
      ButtonSearch search{argv[4], nullptr};
      EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) {
        PostMessageA(search.found, BM_CLICK, 0, 0);
        return 0;
      }
      if (GetTickCount() - start > 5000) return 1;
      Sleep(50);
    }
  }
  if (verb == "settext" && argc > 5) {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    if (window == nullptr) return 1;
    const HWND child = Child(window, argv[4]);
    if (child == nullptr) return 1;
    SendMessageA(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[5]));
    return 0;
  }
  if (verb == "click" && argc > 4) {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    const HWND child = window != nullptr ? Child(window, argv[4]) : nullptr;
    if (child == nullptr) return 1;
    PostMessageA(child, BM_CLICK, 0, 0);
    return 0;
  }
  if (verb == "select" && argc > 5) {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    const HWND child = window != nullptr ? Child(window, argv[4]) : nullptr;
    if (child == nullptr) return 1;
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    const bool combo = lstrcmpiA(className, "ComboBox") == 0;
    const int index = ItemIndex(child, combo, argv[5]);
    if (index < 0) return 1;
    SendMessageA(child, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    const int id = GetDlgCtrlID(child);
    const LPARAM from = reinterpret_cast<LPARAM>(child);
    const HWND owner = GetParent(child);
    SendMessageA(owner, WM_COMMAND, MAKEWPARAM(id, combo ? CBN_SELCHANGE : LBN_SELCHANGE), from);
    if (argc > 6 && std::string(argv[6]) == "open" && !combo) {
      SendMessageA(owner, WM_COMMAND, MAKEWPARAM(id, LBN_DBLCLK), from);
    }
    return 0;
  }
  if (verb == "post" && argc > 6) {
    // A message posted to a child (id 0: the window itself), as a key press
    // reaches it: "post CLASS TITLE ID MESSAGE WPARAM".
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    if (window == nullptr) return 1;
    const HWND target = std::atoi(argv[4]) == 0 ? window : Child(window, argv[4]);
    if (target == nullptr) return 1;
    PostMessageA(target, static_cast<UINT>(std::strtoul(argv[5], nullptr, 0)),
                 static_cast<WPARAM>(std::strtoul(argv[6], nullptr, 0)), 0);
    return 0;
  }
  if (verb == "treeicon" && argc > 6) {
    // The screen point of the icon of a tree view's row (from 0, counted
    // among the visible rows) at its level, printed as "x|y": "treeicon
    // CLASS TITLE ID ROW LEVEL". The place follows from the row height and
    // the indent; the node pictures are 32 pixels wide.
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    const HWND tree = window != nullptr ? Child(window, argv[4]) : nullptr;
    if (tree == nullptr) return 1;
    const auto height = static_cast<int>(SendMessageA(tree, TVM_GETITEMHEIGHT, 0, 0));
    const auto indent = static_cast<int>(SendMessageA(tree, TVM_GETINDENT, 0, 0));
    POINT point{indent * (std::atoi(argv[6]) + 1) + 16, height * std::atoi(argv[5]) + height / 2};
    ClientToScreen(tree, &point);
    std::printf("%ld|%ld\n", point.x, point.y);
    return 0;
  }
  if (verb == "state" && argc > 4) {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    const HWND child = window != nullptr ? Child(window, argv[4]) : nullptr;
    if (child == nullptr) return 1;
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    const std::string text = TextOf(child);
    std::string selected;
    const bool combo = lstrcmpiA(className, "ComboBox") == 0;
    if (combo || lstrcmpiA(className, "ListBox") == 0) {
      const LRESULT index = SendMessageA(child, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
      if (index >= 0) selected = ItemText(child, combo, static_cast<WPARAM>(index));
    }
    const LRESULT checked =
        lstrcmpiA(className, "Button") == 0 ? SendMessageA(child, BM_GETCHECK, 0, 0) : 0;
    std::printf("%d|%d|%d|%s|%s\n", IsWindowEnabled(child) ? 1 : 0, IsWindowVisible(child) ? 1 : 0,
                checked == BST_CHECKED ? 1 : 0, selected.c_str(), OneLine(text).c_str());
    return 0;
  }
  if (verb == "layout" && argc > 4) {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    if (window == nullptr) return 1;
    ClassSearch search{argv[4], nullptr};
    EnumChildWindows(window, FindClass, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return 1;
    RECT rect;
    GetWindowRect(search.found, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(search.found), reinterpret_cast<POINT*>(&rect), 2);
    RECT client;
    GetClientRect(search.found, &client);
    std::printf("%ld|%ld|%ld|%ld|%ld|%ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top, client.right, client.bottom);
    return 0;
  }
  if (verb == "items" && argc > 4) {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    const HWND list = window != nullptr ? Child(window, argv[4]) : nullptr;
    if (list == nullptr) return 1;
    // The item texts are asked into memory of the list's own process.
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    const HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) return 1;
    constexpr SIZE_T kTextRoom = 1024;
    char* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kTextRoom, MEM_COMMIT, PAGE_READWRITE));
    const auto count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      LVITEMA item{};
      item.iSubItem = 0;
      item.cchTextMax = static_cast<int>(kTextRoom);
      item.pszText = remote + sizeof(LVITEMA);
      SIZE_T moved = 0;
      WriteProcessMemory(process, remote, &item, sizeof item, &moved);
      SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i),
                   reinterpret_cast<LPARAM>(remote));
      char text[kTextRoom] = {};
      ReadProcessMemory(process, remote + sizeof(LVITEMA), text, sizeof text - 1, &moved);
      const auto state = static_cast<UINT>(SendMessageA(
          list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_STATEIMAGEMASK | LVIS_SELECTED));
      std::printf("%d|%d|%s\n", ((state & LVIS_STATEIMAGEMASK) >> 12) == 2 ? 1 : 0,
                  (state & LVIS_SELECTED) != 0 ? 1 : 0, text);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return 0;
  }
  if (verb == "labeledit" && argc > 5) {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    const HWND list = window != nullptr ? Child(window, argv[4]) : nullptr;
    if (list == nullptr) return 1;
    HWND edit = nullptr;
    for (int tries = 0; edit == nullptr && tries < 100; ++tries) {
      edit = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETEDITCONTROL, 0, 0));
      if (edit == nullptr) Sleep(50);
    }
    if (edit == nullptr) return 1;
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[5]));
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    return 0;
  }
  if (verb == "drop" && argc > 4) {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    if (window == nullptr) return 1;
    // The drop's block (DROPFILES, then the names, each ended by a zero, and
    // one more zero) is made in the window's own process; its address serves
    // as the fixed memory handle the receiver locks and frees.
    std::string names;
    for (int i = 4; i < argc; ++i) names.append(argv[i]).push_back('\0');
    names.push_back('\0');
    DROPFILES head{};
    head.pFiles = sizeof head;
    std::string block(reinterpret_cast<const char*>(&head), sizeof head);
    block += names;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) return 1;
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT, PAGE_READWRITE);
    SIZE_T written = 0;
    const bool copied = remote != nullptr &&
                        WriteProcessMemory(process, remote, block.data(), block.size(), &written);
    CloseHandle(process);
    if (!copied) return 1;
    PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    return 0;
  }
  if (verb == "launch" && argc > 5) {
    // From the program's start to its window on screen, measured in this
    // process so that no second Wine start-up is counted.
    std::string commandLine = std::string("\"") + argv[5] + "\"";
    for (int i = 6; i < argc; ++i) commandLine += std::string(" \"") + argv[i] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (CreateProcessA(argv[5], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process) == FALSE) {
      return 1;
    }
    const DWORD timeout = std::strtoul(argv[4], nullptr, 10);
    HWND window = nullptr;
    for (;;) {
      window = Find(argv[2], argv[3]);
      QueryPerformanceCounter(&now);
      const double elapsed =
          static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
          static_cast<double>(frequency.QuadPart);
      if (window != nullptr && IsWindowVisible(window)) {
        std::printf("%.1f\n", elapsed);
        break;
      }
      if (elapsed > timeout) break;
      Sleep(1);
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return window != nullptr ? 0 : 1;
  }
  if (verb == "close") {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    if (window == nullptr) return 1;
    PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
  }
  if (verb == "gone") {
    const DWORD timeout = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 10000;
    const DWORD start = GetTickCount();
    while (Find(argv[2], argv[3]) != nullptr) {
      if (GetTickCount() - start > timeout) return 1;
      Sleep(50);
    }
    return 0;
  }
  std::fprintf(stderr, "winctl: unknown verb %s\n", verb.c_str());
  return 2;
}
