// Stands in for the two Authenticode tools in the package build's tests. It
// acts after the name it was copied to:
//   signcode.exe  appends its command line and CR LF to the file named by the
//                 environment variable SIGNING_TOOL_LOG (when set), then
//                 appends the 16-byte marker "SIGNED-STAND-IN!" to the file
//                 named by its last argument. Exit code 0; 1 when there is no
//                 argument or that file cannot be opened.
//   chktrust.exe  appends its command line to the same log and writes the
//                 value of CHKTRUST_SAYS to standard output, or, when that is
//                 not set, "Succeeded" and CR LF. Exit code 0.
// Under any other name it says so on standard error and exits with 2.
#include <windows.h>

#include <string>
#include <string_view>

namespace {

constexpr std::string_view kMarker = "SIGNED-STAND-IN!";
static_assert(kMarker.size() == 16);

void WriteAll(HANDLE handle, std::string_view data) {
  while (!data.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) ||
        written == 0) {
      return;
    }
    data.remove_prefix(written);
  }
}

bool AppendToFile(const char* path, std::string_view data, DWORD disposition) {
  const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  WriteAll(file, data);
  CloseHandle(file);
  return true;
}

bool Environment(const char* name, std::string& value) {
  const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) return false;
  value.assign(size, '\0');
  const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return true;
}

void Log() {
  std::string log;
  if (Environment("SIGNING_TOOL_LOG", log) && !log.empty()) {
    AppendToFile(log.c_str(), std::string(GetCommandLineA()) + "\r\n", OPEN_ALWAYS);
  }
}

std::string OwnName() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH + 1);
  std::string_view name(path, length <= MAX_PATH ? length : 0);
  const std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string name = OwnName();
  if (name == "signcode.exe") {
    Log();
    if (argc < 2 || !AppendToFile(argv[argc - 1], kMarker, OPEN_EXISTING)) {
      WriteAll(GetStdHandle(STD_ERROR_HANDLE), "signcode: cannot sign the file\r\n");
      return 1;
    }
    return 0;
  }
  if (name == "chktrust.exe") {
    Log();
    std::string says;
    if (!Environment("CHKTRUST_SAYS", says)) says = "Succeeded\r\n";
    WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), says);
    return 0;
  }
  WriteAll(GetStdHandle(STD_ERROR_HANDLE),
           "signing_tool: copy me as signcode.exe or chktrust.exe, not " + name + "\r\n");
  return 2;
}
