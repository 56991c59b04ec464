#include "stub/core/stub_rules.h"

#include <charconv>
#include <limits>

#include "common/ascii_case.h"
#include "common/paths.h"

namespace ombrell {

namespace {

constexpr char kCr = '\r';

void AppendDecimal(std::string& out, std::uint64_t value) {
  char digits[20];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

bool HasBlank(std::string_view text) {
  return text.find_first_of(" \t") != std::string_view::npos;
}

// An argument passed on as the program that receives it will split it
// again: as it is when that gives it back unchanged, else quoted, with the
// backslashes before a quote (and before the closing quote) doubled.
void AppendArgument(std::string& out, std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
    out += argument;
    return;
  }
  out += '"';
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
    } else {
      if (c == '"') out.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    out += c;
  }
  out.append(backslashes, '\\');
  out += '"';
}

// A program path at the head of a command line: quoted when it holds a
// blank, or the system would try "C:\Program" before "C:\Program Files\...".
void AppendProgram(std::string& out, std::string_view path) {
  if (HasBlank(path)) {
    out += '"';
    out += path;
    out += '"';
  } else {
    out += path;
  }
}

}  // namespace

StubArguments ParseStubArguments(std::span<const std::string> arguments) {
  StubArguments result;
  for (const std::string& argument : arguments) {
    if (common::EqualsIgnoringAsciiCase(argument, "$SILENT$")) {
      result.silent = true;
    } else {
      result.extraParameters += ' ';
      AppendArgument(result.extraParameters, argument);
    }
  }
  return result;
}

std::string Caption(const SessionInfo& info) {
  return "Quorvane Ombrell - " + info.packageName;
}

const std::string& DamagedMessage(const SessionInfo& info) {
  return info.Message(info.password ? 43 : 42);
}

std::string FatalErrorText(const SessionInfo& info, std::string_view text) {
  std::string result = info.Message(35);
  result += kCr;
  result += text;
  result += kCr;
  result += kCr;
  result += info.Message(36);
  return result;
}

std::string QuestionText(const SessionInfo& info, std::string_view text) {
  std::string result(text);
  result += kCr;
  result += kCr;
  result += info.Message(37);
  return result;
}

std::string RetryErrorText(const SessionInfo& info, std::string_view text) {
  std::string result = info.Message(34);
  result += kCr;
  result += text;
  return result;
}

std::string SpaceErrorText(const SessionInfo& info, std::uint64_t requiredBytes) {
  std::string result = info.Message(11);
  result += kCr;
  result += info.Message(12);
  AppendDecimal(result, requiredBytes);
  result += kCr;
  result += kCr;
  result += info.Message(13);
  return result;
}

const std::string& CabinetErrorText(const SessionInfo& info, int code) {
  return info.Message(code >= 0 && code <= 11 ? 15 + code : 27);
}

std::string MissingCabinetText(const SessionInfo& info, std::string_view disk,
                               std::string_view cabinet) {
  std::string result = info.Message(38);
  result += kCr;
  result += info.Message(39);
  result += disk;
  result += kCr;
  result += info.Message(40);
  result += cabinet;
  return result;
}

bool HasDriveOrShare(std::string_view path) {
  return common::DriveLength(path) != 0;
}

std::uint64_t FreeBytes(std::uint32_t sectorsPerCluster, std::uint32_t bytesPerSector,
                        std::uint32_t freeClusters) {
  constexpr std::uint64_t kLimit = std::numeric_limits<std::int64_t>::max();
  const std::uint64_t clusterBytes = std::uint64_t{sectorsPerCluster} * bytesPerSector;
  if (freeClusters != 0 && clusterBytes > kLimit / freeClusters) return 2'147'483'647;
  return clusterBytes * freeClusters;
}

std::string InstallFolderName(std::string_view base, std::uint32_t number) {
  std::string folder = common::WithTrailingBackslash(std::string(base));
  folder += "qorv_installer";
  AppendDecimal(folder, number);
  folder += '\\';
  return folder;
}

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
  if (name.find_first_of(std::string_view(":\0", 2)) != std::string_view::npos) return false;
  // No component made only of dots and blanks: besides ".." itself, Windows
  // trims trailing dots and blanks from names, so ".. " or "..." could
  // come to mean the parent folder.
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view component = name.substr(start, end - start);
    if (!component.empty() && component.find_first_not_of(". ") == std::string_view::npos) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

OpenTarget ResolveFileToOpen(std::string_view fileToOpen, std::string_view parameters,
                             std::string_view targetFolder, std::string_view windowsFolder) {
  OpenTarget target;
  if (fileToOpen == "$EXPLORE$") {
    target.file = common::JoinPath(windowsFolder, "explorer.exe");
    target.parameters = '"';
    target.parameters += targetFolder;
    target.parameters += "\" ";
    target.parameters += parameters;
  } else if (!fileToOpen.empty()) {
    target.file = common::JoinPath(targetFolder, fileToOpen);
    target.parameters = parameters;
  }
  return target;
}

bool IsExeFile(std::string_view file) {
  const std::size_t dot = file.rfind('.');
  return dot != std::string_view::npos &&
         common::EqualsIgnoringAsciiCase(file.substr(dot + 1), "EXE");
}

std::string RunCommandLine(std::string_view file, std::string_view program,
                           std::string_view parameters) {
  std::string line;
  if (IsExeFile(file)) {
    AppendProgram(line, file);
  } else {
    AppendProgram(line, program);
    line += " \"";
    line += file;
    line += '"';
  }
  if (!parameters.empty()) {
    line += ' ';
    line += parameters;
  }
  return line;
}

}  // namespace ombrell
