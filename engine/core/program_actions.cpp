#include "engine/core/program_actions.h"

#include "engine/core/command_context.h"
#include "engine/core/compiled_script.h"
#include "engine/core/script_text.h"
#include "engine/core/system_info.h"
#include "engine/core/worker_wait.h"

namespace tavrel {

std::int32_t RunProgramOnWorker(UiPort& ui, SystemPort& system, bool silent,
                                const ProgramRequest& request,
                                const std::function<std::pair<std::string, int>()>& progress) {
  std::int32_t code = kProgramNotStarted;
  WaitOptions options;
  options.progress = progress;
  // A running program cannot be cancelled from the dialogs: no cancel flag.
  RunWhileWaiting(
      ui, silent,
      [&](WorkerProgress&) {
        code = system.RunProgram(request.program, request.parameters, request.hidden, request.wait);
      },
      options);
  return code;
}

int TerminateProgram(SystemPort& system, std::string_view titlePart, std::string_view classPart) {
  if (titlePart.empty() && classPart.empty()) return 0;
  int closed = 0;
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (system.CloseFirstWindow(std::string(titlePart), std::string(classPart))) ++closed;
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

namespace commands {

namespace {

void Reboot(CommandContext& c) {
  c.system.Trace("reboot requested");
  c.system.RequestReboot();
  c.run.endRun = true;
}

}  // namespace

void RunProgram(CommandContext& c) {
  ProgramRequest request;
  request.program = c.store.PathForm(c.Param(1));
  request.hidden = BooleanValue(c.Param(2));
  request.parameters = c.store.PathForm(c.Param(3));
  request.wait = BooleanValue(c.Param(4));
  const std::string& resultVariable = c.Param(5);
  // The variables cannot change while the worker runs (only this thread
  // writes them), so the progress is read once, before the program starts.
  const std::string progressNumber = c.store.Get("PROGRESS");
  std::int32_t position = 0;
  if (!ParseInt32(progressNumber, position)) {
    throw ConversionError("'" + progressNumber + "' is not a valid integer value");
  }
  const auto progress = [text = c.store.Get("PROGRESSTEXT"), position] {
    return std::pair<std::string, int>(text, position);
  };
  const std::int32_t code = RunProgramOnWorker(c.ui, c.system, c.Silent(), request, progress);
  if (code == kProgramNotStarted)
    c.system.Trace("program could not be started: " + request.program);
  if (!resultVariable.empty()) c.store.SetResult(resultVariable, std::to_string(code));
}

void TerminateProgram(CommandContext& c) {
  tavrel::TerminateProgram(c.system, c.store.PathForm(c.Param(1)), c.store.PathForm(c.Param(2)));
}

void RebootComputer(CommandContext& c) {
  Reboot(c);
}

void RebootAndResume(CommandContext& c) {
  const std::string name = ResumeEntryName(c.state.script.productCode);
  if (name.empty()) {
    c.system.Trace("no resume entry: the product code does not begin with {XXXXXXXX");
  } else {
    const std::string& package = c.state.commandLine.packagePath;
    c.system.WriteStartupEntry(BooleanValue(c.store.Get("ALLUSERS")), name,
                               ResumeCommand(package.empty() ? c.run.exeFile : package));
  }
  Reboot(c);
}

}  // namespace commands
}  // namespace tavrel
