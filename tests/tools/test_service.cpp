// A Windows service for the setup compiler's tests. Installed with a log
// file's path as its argument, it appends "started NAME" to that file when
// the service manager starts it and "stopped NAME" when it is told to stop.
#include <windows.h>

#include <string>

namespace {

std::string g_log;
std::string g_name;
SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;

void Log(const std::string& line) {
  const HANDLE file = CreateFileA(g_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

void Report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(g_status, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(g_stop);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD argc, char** argv) {
  g_name = argc > 0 ? argv[0] : "";
  g_status = RegisterServiceCtrlHandlerExA(g_name.c_str(), Control, nullptr);
  if (g_status == nullptr) return;
  Log("started " + g_name);
  Report(SERVICE_RUNNING);
  WaitForSingleObject(g_stop, INFINITE);
  Log("stopped " + g_name);
  Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  g_log = argv[1];
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  char empty[] = "";
  const SERVICE_TABLE_ENTRYA table[] = {{empty, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
