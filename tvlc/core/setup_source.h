// A setup as its source describes it: settings, resources and the script's
// commands, each command with the place it was written. Texts are in
// Windows-1252; file settings are host paths (UTF-8), already joined to the
// folder of the file that names them.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "tvlc/core/source_error.h"

namespace tavrel::tvlc {

struct SourceCommand {
  std::string name;
  std::vector<std::string> parameters;
  std::string id;     // generated when empty
  std::string flag;   // "C": commented out
  std::string media;  // web media block or OFFLINE\, with its backslash
  // Install Files from web media: the source folder path its files keep in
  // the block (c_\src\app\); generated when empty.
  std::string sourceFolder;
  SourceLocation where;
  // The folder of the file that holds the command: an Install Files source
  // is relative to it.
  std::string base;
};

struct SetupSource {
  std::string name = "Setup";
  std::string title = "Sample Product";
  std::string product;   // generated when empty
  std::string revision;  // generated when empty
  // publisher, contact, help link, update information, comments
  std::array<std::string, 5> publisher;
  std::string mediaMode = "0";
  std::vector<std::array<std::string, 2>> components;  // name, size in bytes
  std::vector<std::string> plugins;
  std::vector<std::string> sourceFolders;
  std::vector<std::string> resources;
  std::string dialogs;
  std::vector<std::string> data;
  // Files or folders copied into the mergemod folder beside the setup.
  std::vector<std::string> mergemods;
  std::string bitmap;
  std::string language;
  bool reboot = false;
  bool fail = false;
  std::size_t filler = 0;
  std::vector<SourceCommand> commands;
  // Where each setting that names a file was written, for its messages.
  SourceLocation dialogsWhere, bitmapWhere, languageWhere;
  std::vector<SourceLocation> resourcesWhere, dataWhere, mergemodsWhere;
  // Where each setting was last written, by its key.
  std::map<std::string, SourceLocation> settingsWhere;

  // Bad input in a setting: the error names the line that set it.
  SourceError SettingError(const std::string& key, const std::string& message) const {
    const auto found = settingsWhere.find(key);
    return found == settingsWhere.end() ? SourceError(message)
                                        : SourceError(found->second, message);
  }
};

}  // namespace tavrel::tvlc
