// A console program for the child-process runner's tests. Its arguments are
// steps, done in order:
//   out=TEXT     write TEXT to standard output (\n, \r and \\ are escapes)
//   err=TEXT     the same to standard error
//   outbig=N     write N bytes to standard output in one call: byte i is
//                'a' + i % 26
//   errbig=N     the same to standard error with 'A' + i % 26
//   cwd          write the current folder to standard output
//   sleep=MS     sleep MS milliseconds
//   exit=CODE    exit with CODE once all steps are done (default 0)
// An unknown step is reported on standard error and ends the program with
// exit code 99.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void WriteAll(DWORD which, std::string_view data) {
  const HANDLE handle = GetStdHandle(which);
  while (!data.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) ||
        written == 0) {
      return;
    }
    data.remove_prefix(written);
  }
}

std::string Unescape(std::string_view text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      result += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      result += text[i];
    }
  }
  return result;
}

std::string Pattern(unsigned long size, char first) {
  std::string result(size, ' ');
  for (unsigned long i = 0; i < size; ++i) result[i] = static_cast<char>(first + i % 26);
  return result;
}

bool StartsWith(std::string_view text, std::string_view prefix, std::string_view& rest) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  rest = text.substr(prefix.size());
  return true;
}

unsigned long Number(std::string_view text) {
  return std::strtoul(std::string(text).c_str(), nullptr, 10);
}

}  // namespace

int main(int argc, char** argv) {
  int exitCode = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view step = argv[i];
    std::string_view value;
    if (StartsWith(step, "out=", value)) {
      WriteAll(STD_OUTPUT_HANDLE, Unescape(value));
    } else if (StartsWith(step, "err=", value)) {
      WriteAll(STD_ERROR_HANDLE, Unescape(value));
    } else if (StartsWith(step, "outbig=", value)) {
      WriteAll(STD_OUTPUT_HANDLE, Pattern(Number(value), 'a'));
    } else if (StartsWith(step, "errbig=", value)) {
      WriteAll(STD_ERROR_HANDLE, Pattern(Number(value), 'A'));
    } else if (step == "cwd") {
      char folder[MAX_PATH + 1] = {};
      const DWORD length = GetCurrentDirectoryA(MAX_PATH + 1, folder);
      WriteAll(STD_OUTPUT_HANDLE, std::string_view(folder, length <= MAX_PATH ? length : 0));
    } else if (StartsWith(step, "sleep=", value)) {
      Sleep(static_cast<DWORD>(Number(value)));
    } else if (StartsWith(step, "exit=", value)) {
      exitCode = static_cast<int>(std::strtol(std::string(value).c_str(), nullptr, 10));
    } else {
      WriteAll(STD_ERROR_HANDLE, "child_output: unknown step " + std::string(step) + "\n");
      return 99;
    }
  }
  return exitCode;
}
