// Shows one of the package stub's windows with English texts, to look at
// them (and drive them) without a package:
//
//   stub_dialog_preview progress|progress-overwrite|licence|folder|overwrite|password
//
// Links the stub's dialogs with stand-ins for its boxes: a question prints
// its text and is answered No (Yes when STUB_PREVIEW_YES is set); an end
// after a question prints its code and ends the process with it. What a
// window returns is printed on stdout. The progress window's stand-in
// extraction counts to 100 files, one every 200 ms, then ends the process
// with code 0; "progress-overwrite" also asks the overwrite question at
// file 10, owned by the progress window, as the extraction thread does.
#include <windows.h>

#include <cstdio>
#include <string>

#include "stub/core/package_format.h"
#include "stub/win32/stub_boxes.h"
#include "stub/win32/stub_dialogs.h"

namespace ombrell {

BoxSettings& Boxes() {
  static BoxSettings settings;
  return settings;
}

bool AskQuestion(std::string_view text, HWND) {
  std::printf("question: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stdout);
  return GetEnvironmentVariableA("STUB_PREVIEW_YES", nullptr, 0) != 0;
}

void EndAfterQuestion(int exitCode) {
  std::printf("end: %d\n", exitCode);
  std::fflush(stdout);
  ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace ombrell

namespace {

using namespace ombrell;

constexpr int kFiles = 100;

struct Counting {
  const SessionInfo* info;
  HWND window;
  bool askOverwrite;
};

DWORD WINAPI CountFiles(void* data) {
  const Counting& counting = *static_cast<const Counting*>(data);
  const HWND window = counting.window;
  SetProgressName(window, "Example Tools");
  SetProgressRange(window, kFiles);
  for (int file = 1; file <= kFiles; ++file) {
    Sleep(200);
    SetProgressPosition(window, file);
    SetProgressStatus(window,
                      "C:\\Program Files\\Example Tools\\part" + std::to_string(file) + ".dat");
    std::printf("file %d\n", file);
    std::fflush(stdout);
    if (counting.askOverwrite && file == 10) {
      unsigned char mode = 1;
      const bool overwrite = AskOverwrite(*counting.info, window, "C:\\Example\\part10.dat", mode);
      std::printf("overwrite: %s, mode %d\n", overwrite ? "yes" : "no", mode);
    }
  }
  ExitProcess(0);
}

HANDLE StartCounting(HWND window, void* data) {
  auto& counting = *static_cast<Counting*>(data);
  counting.window = window;
  DWORD id = 0;
  return CreateThread(nullptr, 0, CountFiles, &counting, 0, &id);
}

SessionInfo ExampleSession() {
  SessionInfo info;
  info.packageName = "Example Tools";
  for (int i = 0; i < kMessageCount; ++i) info.messages[i] = EnglishMessages()[i];
  info.licence =
      "EXAMPLE TOOLS LICENCE AGREEMENT\r\n\r\n"
      "1. You may install and use any number of copies of the software.\r\n"
      "2. You may not rent, lease or lend the software.\r\n"
      "3. The software is provided as is, without warranty of any kind, express or implied, "
      "including but not limited to the warranties of merchantability and fitness for a "
      "particular purpose.\r\n";
  for (int line = 4; line <= 30; ++line) {
    info.licence += "\r\n" + std::to_string(line) + ". Further terms, line " + std::to_string(line);
  }
  return info;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string window = argc > 1 ? argv[1] : "";
  const SessionInfo info = ExampleSession();
  Boxes().info = &info;
  Boxes().caption = "Quorvane Ombrell - " + info.packageName;

  if (window == "progress" || window == "progress-overwrite") {
    Counting counting{&info, nullptr, window == "progress-overwrite"};
    RunProgressWindow(info, StartCounting, &counting);
    std::printf("progress: cancelled\n");
  } else if (window == "licence") {
    std::printf("licence: %s\n", ShowLicence(info) ? "accepted" : "declined");
  } else if (window == "folder") {
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    std::printf("folder: %s\n", AskFolder(info, std::string(current) + "\\").c_str());
  } else if (window == "overwrite") {
    unsigned char mode = 1;
    const bool overwrite =
        AskOverwrite(info, nullptr, "C:\\Program Files\\Example Tools\\readme & notes.txt", mode);
    std::printf("overwrite: %s, mode %d\n", overwrite ? "yes" : "no", mode);
  } else if (window == "password") {
    std::printf("password: %s\n", AskPassword(info).c_str());
  } else {
    std::printf(
        "usage: stub_dialog_preview "
        "progress|progress-overwrite|licence|folder|overwrite|password\n");
    return 2;
  }
  return 0;
}
