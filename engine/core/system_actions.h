// The system query commands: the tables behind "Get System Settings" and
// "Get Folder Location", file versions as the scripts write and compare
// them, registry values as text, and the commands' handlers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/system_info.h"
#include "engine/core/system_port.h"

namespace tavrel {

// a.b.c.d: the high and low words of the most significant version number,
// then those of the least significant one.
using Version = std::array<std::uint16_t, 4>;

Version VersionOf(const FileVersionParts& parts);

// "a.b.c.d" in decimal.
std::string VersionText(const Version& version);

// Compares a, then b, then c, then d.
inline bool VersionAtLeast(const Version& version, const Version& wanted) {
  return version >= wanted;
}

// A version as a script writes it: up to four parts separated by dots; the
// parts that are missing are 0, so "5.1" is 5.1.0.0. A part followed by a dot
// must be a number; the last part is 0 when it is empty or not a number, and
// what follows a fourth part is ignored. Throws ConversionError for a part
// that must be a number and is not, or that lies outside 0..65535.
Version ParseVersionText(std::string_view text);

// A text value unchanged, a 32-bit number in decimal; any other type, an
// expandable text included, and a missing value give an empty text.
std::string RegistryText(const RegistryValue& value);

// 0 classes root, 1 current user, 2 local machine, 3 users, 4 current
// configuration. Throws std::runtime_error for any other code.
RegistryRoot RegistryRootFor(std::int32_t code);

// The answer to query code 0..57 of "Get System Settings": "TRUE"/"FALSE" or
// a text. Throws std::runtime_error for an unknown code, and whatever the
// system queries throw (PlatformError when the access token cannot be read).
std::string SystemSetting(std::int32_t code, SystemPort& port);

// Folder code 0..27 of "Get Folder Location", with a trailing backslash
// unless empty. Throws std::runtime_error for an unknown code.
std::string FolderLocation(std::int32_t code, bool allUsers, SystemPort& port);

struct CommandContext;

namespace commands {

void GetSystemSettings(CommandContext& c);
void GetFolderLocation(CommandContext& c);
void GetEnvironment(CommandContext& c);
void GetFileVersion(CommandContext& c);
void CheckFileVersion(CommandContext& c);
void ReadRegistry(CommandContext& c);
void GetIniFileSettings(CommandContext& c);
void DeleteRegistry(CommandContext& c);

}  // namespace commands

}  // namespace tavrel
