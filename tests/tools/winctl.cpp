// Test driver for windows of programs running in the same Wine session:
// waits for a window, reports where it is and what it says, presses its
// buttons. Run as a console program; answers on stdout.
//
//   winctl find  CLASS TITLE [TIMEOUT_MS]   window rectangle, then one line
//                                           per child: class|id|text
//   winctl press CLASS TITLE BUTTON_TEXT    clicks the child button
//   winctl gone  CLASS TITLE [TIMEOUT_MS]   waits until no such window is left
//   winctl settext CLASS TITLE ID TEXT      sets the text of the child with that id
//   winctl close CLASS TITLE                asks the window to close
// CLASS or TITLE "*" matches any. TITLE "Caption>>text" matches a window
// with that caption one of whose children's texts contains "text": several
// windows of one program may share a caption.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

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
  char text[1024] = {};
  GetClassNameA(child, className, sizeof className);
  GetWindowTextA(child, text, sizeof text);
  std::printf("%s|%d|%s\n", className, GetDlgCtrlID(child), text);
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

}  // namespace

int main(int argc, char** argv) {
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
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    if (window == nullptr) return 1;
    ButtonSearch search{argv[4], nullptr};
    EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return 1;
    PostMessageA(search.found, BM_CLICK, 0, 0);
    return 0;
  }
  if (verb == "settext" && argc > 5) {
    const HWND window = WaitFor(argv[2], argv[3], 10000);
    if (window == nullptr) return 1;
    const HWND child = GetDlgItem(window, std::atoi(argv[4]));
    if (child == nullptr) return 1;
    SendMessageA(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[5]));
    return 0;
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
