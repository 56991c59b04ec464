#include "tvlc/core/script_compiler.h"

#include <random>
#include <set>
#include <string_view>

#include "engine/core/command_table.h"
#include "engine/core/message_table.h"
#include "engine/core/parameter_blocks.h"
#include "engine/core/script_checks.h"
#include "engine/core/script_text.h"
#include "engine/core/variable_store.h"

namespace tavrel::tvlc {

namespace {

bool IsGuid(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    const char c = text[i];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (dash ? c != '-' : !hex) return false;
  }
  return true;
}

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

std::string NewGuid() {
  static std::random_device device;
  static std::mt19937_64 random{(std::uint64_t{device()} << 32) ^ device()};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "{";
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) text += '-';
    text += kHex[random() & 15];
  }
  return text + "}";
}

void CompleteSource(SetupSource& source) {
  if (source.product.empty()) source.product = NewGuid();
  if (source.revision.empty()) source.revision = NewGuid();
  if (!IsGuid(source.product)) {
    throw SourceError("product '" + source.product + "' is not a GUID in braces");
  }
  if (!IsGuid(source.revision)) {
    throw SourceError("revision '" + source.revision + "' is not a GUID in braces");
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
  for (const auto& texts : {source.plugins, source.sourceFolders}) {
    for (const std::string& text : texts) {
      if (text == kSectionEnd) throw SourceError("a plug-in or source folder cannot be '$'");
    }
  }
  for (const auto& [name, size] : source.components) {
    if (name == kSectionEnd) throw SourceError("a component cannot be named '$'");
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
