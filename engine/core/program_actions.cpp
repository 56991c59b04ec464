#include "engine/core/program_actions.h"

#include "engine/core/worker_wait.h"

namespace tavrel {

std::int32_t RunProgramOnWorker(InterpreterHost& host, bool silent, const ProgramRequest& request,
                                const std::function<std::pair<std::string, int>()>& progress) {
  std::int32_t code = kProgramNotStarted;
  WaitOptions options;
  options.progress = progress;
  // A running program cannot be cancelled from the dialogs: no cancel flag.
  RunWhileWaiting(
      host, silent,
      [&](WorkerProgress&) {
        code = host.RunProgram(request.program, request.parameters, request.hidden, request.wait);
      },
      options);
  return code;
}

int TerminateProgram(InterpreterHost& host, std::string_view titlePart,
                     std::string_view classPart) {
  if (titlePart.empty() && classPart.empty()) return 0;
  int closed = 0;
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (host.CloseFirstWindow(std::string(titlePart), std::string(classPart))) ++closed;
  }
  return closed;
}

std::string ResumeEntryName(std::string_view productCode) {
  if (productCode.size() < 9 || productCode[0] != '{') return "";
  const std::string_view digits = productCode.substr(1, 8);
  for (const char c : digits) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return "";
  }
  return std::string(digits);
}

std::string ResumeCommand(std::string_view path) {
  if (path.find(' ') == std::string_view::npos ||
      (path.size() >= 2 && path.front() == '"' && path.back() == '"')) {
    return std::string(path);
  }
  return "\"" + std::string(path) + "\"";
}

}  // namespace tavrel
