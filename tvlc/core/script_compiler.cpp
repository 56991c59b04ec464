#include "tvlc/core/script_compiler.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <utility>

#include "engine/core/command_table.h"
#include "engine/core/message_table.h"
#include "engine/core/parameter_blocks.h"
#include "engine/core/script_checks.h"
#include "engine/core/script_text.h"
#include "engine/core/variable_store.h"
#include "tvlc/core/guid.h"
#include "tvlc/core/windows_1252.h"

namespace tavrel::tvlc {

namespace {

// A line of the script: a list ends at a line that is exactly "$".
void CheckLine(const SourceLocation& where, std::string_view what, std::string_view text) {
  if (text == kSectionEnd) {
    throw SourceError(where, std::string(what) + " cannot be exactly '$' (it would end a list)");
  }
}

// The interpreter takes a plug-in's name before the table's.
const CommandEntry* EntryOf(const SetupSource& source, std::string_view name) {
  for (const std::string& plugin : source.plugins) {
    if (ToUpperAnsi(plugin) == ToUpperAnsi(name)) return &CommandTable::Standard().Plugin();
  }
  return CommandTable::Standard().Find(name);
}

}  // namespace

void CompleteSource(SetupSource& source) {
  if (source.product.empty()) source.product = NewGuid();
  if (source.revision.empty()) source.revision = NewGuid();
  for (const auto& [key, code] :
       {std::pair{"product", &source.product}, std::pair{"revision", &source.revision}}) {
    if (!IsBracedGuid(*code)) {
      throw source.SettingError(
          key, std::string(key) + " '" + Windows1252ToUtf8(*code) + "' is not a GUID in braces");
    }
  }
  std::set<std::string> ids;
  std::set<std::string> lines;
  for (SourceCommand& command : source.commands) {
    if (command.id.empty()) command.id = NewGuid();
    CheckLine(command.where, "a command identifier", command.id);
    if (!ids.insert(command.id).second) {
      throw SourceError(command.where, "identifier '" + command.id + "' is used by two commands");
    }
    CheckLine(command.where, "a command name", command.name);
    CheckLine(command.where, "a media folder", command.media);
    for (const std::string& parameter : command.parameters) {
      CheckLine(command.where, "a parameter line", parameter);
      lines.insert(parameter);
    }
  }
  // The engine finds a command's record by the first line equal to its
  // identifier: a parameter line with that text would be taken for it.
  for (const SourceCommand& command : source.commands) {
    if (lines.contains(command.id)) {
      throw SourceError(command.where,
                        "identifier '" + command.id + "' is also the text of a parameter line");
    }
  }
  for (const auto& [key, texts] :
       {std::pair{"plugin", &source.plugins}, std::pair{"source-folder", &source.sourceFolders}}) {
    if (std::ranges::find(*texts, kSectionEnd) != texts->end()) {
      throw source.SettingError(key, std::string(key) + " cannot be exactly '$'");
    }
  }
  for (const auto& [name, size] : source.components) {
    if (name == kSectionEnd)
      throw source.SettingError("component", "a component cannot be named '$'");
  }
}

CompiledScript CompileScript(const SetupSource& source,
                             const std::vector<std::string>& sourceFolders) {
  CompiledScript script;
  std::vector<const SourceCommand*> commands;
  for (const SourceCommand& command : source.commands) {
    const CommandEntry* entry = EntryOf(source, command.name);
    if (entry == nullptr) {
      throw SourceError(command.where, "unknown command '" + command.name + "'");
    }
    const std::size_t count = command.parameters.size();
    const auto [read, written] = entry->parameters;
    if (count < read || count > written) {
      const std::string wanted = read == written
                                     ? std::to_string(read)
                                     : std::to_string(read) + " to " + std::to_string(written);
      throw SourceError(command.where, command.name + " takes " + wanted + " parameter" +
                                           (written == 1 ? "" : "s") + ", not " +
                                           std::to_string(count));
    }
    script.commandNames.push_back(command.name);
    script.commandIds.push_back(command.id);
    script.commandFlags.push_back(command.flag);
    script.mediaFolders.push_back(command.media);
    if (count != 0) {
      script.parameterBlock.push_back(command.id);
      script.parameterBlock.insert(script.parameterBlock.end(), command.parameters.begin(),
                                   command.parameters.end());
    }
    commands.push_back(&command);
  }
  script.productCode = source.product;
  script.title = source.title;
  script.pluginCommands = source.plugins;
  script.publisherLines = source.publisher;
  ParseInt32(source.mediaMode, script.mediaMode);
  for (const auto& [name, size] : source.components) script.componentSizes.push_back({name, size});
  script.revisionCode = source.revision;
  script.webMediaSourceFolders = sourceFolders;

  // The engine's own checks, as it runs them before the first command.
  ParameterBlocks blocks;
  blocks.Add(ParameterBlock(script.parameterBlock));
  const MessageTable messages;
  VariableStore store{messages};
  ScriptCheck check;
  try {
    check = CheckScript(script, blocks, store);
  } catch (const ListIndexError& error) {
    throw SourceError(std::string("the script's checks read past its parameters: ") + error.what());
  }
  if (check.result >= 0) {
    throw SourceError(commands[static_cast<std::size_t>(check.result)]->where, check.message);
  }
  return script;
}

}  // namespace tavrel::tvlc
