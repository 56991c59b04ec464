#include "wizard/core/wizard_command_line.h"

#include <string_view>

#include "common/paths.h"
#include "wizard/core/output_paths.h"

namespace ombrwiz {

namespace {

std::string NameFromArgument(std::string_view argument) {
  std::string_view trimmed = argument;
  while (!trimmed.empty() && common::IsPathSeparator(trimmed.back())) trimmed.remove_suffix(1);
  const std::string fileName = SplitPath(trimmed).fileName;
  const std::size_t dot = fileName.rfind('.');
  std::string name = fileName.substr(0, dot);
  if (name.empty()) name = fileName;
  if (name.empty() && FileNameIsValid(argument.substr(0, 1))) name = argument.substr(0, 1);
  if (name.empty()) name = kFallbackName;
  return name;
}

std::vector<FileEntry> EntriesOf(std::span<const std::string> arguments,
                                 const std::function<bool(const std::string&)>& fileExists,
                                 const std::function<bool(const std::string&)>& folderExists) {
  std::vector<FileEntry> entries;
  for (const std::string& argument : arguments) {
    if (argument.empty()) continue;
    if (fileExists(argument)) {
      entries.push_back(FileEntry{argument, false});
    } else if (folderExists(argument)) {
      entries.push_back(FileEntry{common::JoinPath(argument, "*.*"), true});
    }
  }
  return entries;
}

}  // namespace

WizardRequest ParseWizardCommandLine(std::span<const std::string> args,
                                     const std::function<bool(const std::string&)>& fileExists,
                                     const std::function<bool(const std::string&)>& folderExists) {
  WizardRequest request;
  if (args.empty() || args[0].empty()) return request;
  const std::string& first = args[0];
  if (first == "$PACKIT$" || first == "$MAILIT$" || first == "$ADDTOPACKAGE$") {
    request.kind = first == "$PACKIT$"   ? WizardRequestKind::kPackIt
                   : first == "$MAILIT$" ? WizardRequestKind::kMailIt
                                         : WizardRequestKind::kAddToPackage;
    const std::span<const std::string> further = args.subspan(1);
    request.files = EntriesOf(further, fileExists, folderExists);
    for (const std::string& argument : further) {
      if (argument.empty()) continue;
      request.packageName = NameFromArgument(argument);
      break;
    }
    return request;
  }
  request.projectPath = first;
  request.kind = args.size() > 1 && args[1] == "$MAKE$" ? WizardRequestKind::kMakeProject
                                                        : WizardRequestKind::kOpenProject;
  return request;
}

}  // namespace ombrwiz
