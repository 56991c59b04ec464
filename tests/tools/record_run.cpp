// Stands in for the program a package opens: writes where it ran from, its
// command line and the files beside it into the file named by the
// RECORD_RUN environment variable, so that a test can see it was run, with
// what, and from where.
#include <windows.h>

#include <string>

int main() {
  char record[MAX_PATH] = {};
  if (GetEnvironmentVariableA("RECORD_RUN", record, MAX_PATH) == 0) return 2;
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string text =
      std::string("program: ") + self + "\r\ncommand line: " + GetCommandLineA() + "\r\n";
  std::string folder = self;
  folder.resize(folder.find_last_of('\\') + 1);
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      text += std::string("beside: ") + entry.cFileName + "\r\n";
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  const HANDLE out =
      CreateFileA(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(out);
  return 0;
}
