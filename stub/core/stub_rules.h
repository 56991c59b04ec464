// The package stub's decisions that need no operating system: its command
// line, the texts of its boxes, install folder names, which cabinet entry
// names are safe to write, and how the file to open is run.
//
// Built without exceptions for the stub: nothing here throws.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "stub/core/package_format.h"

namespace ombrell {

struct StubArguments {
  bool silent = false;
  std::string extraParameters;  // " " + argument, for every other argument
                                // (quoted when it holds a blank or a quote, or is empty)
};
// "$SILENT$" in any letter case (a-z folded) makes the run silent.
StubArguments ParseStubArguments(std::span<const std::string> arguments);

// "Quorvane Ombrell - " + package name.
std::string Caption(const SessionInfo& info);
// Message 43 for a password package, else message 42.
const std::string& DamagedMessage(const SessionInfo& info);

// Message 35, CR, text, CR CR, message 36.
std::string FatalErrorText(const SessionInfo& info, std::string_view text);
// Text, CR CR, message 37.
std::string QuestionText(const SessionInfo& info, std::string_view text);
// Message 34, CR, text.
std::string RetryErrorText(const SessionInfo& info, std::string_view text);
// Message 11, CR, message 12, the byte count, CR CR, message 13.
std::string SpaceErrorText(const SessionInfo& info, std::uint64_t requiredBytes);
// Messages 15-26 for cabinet error codes 0-11, message 27 for any other.
const std::string& CabinetErrorText(const SessionInfo& info, int code);
// Message 38, CR, message 39, disk, CR, message 40, cabinet.
std::string MissingCabinetText(const SessionInfo& info, std::string_view disk,
                               std::string_view cabinet);

// True when the path begins with a drive letter and colon, or with a
// network server and share.
bool HasDriveOrShare(std::string_view path);
// sectors per cluster x bytes per sector x free clusters; a product that
// does not fit in a signed 64-bit number gives 2,147,483,647.
std::uint64_t FreeBytes(std::uint32_t sectorsPerCluster, std::uint32_t bytesPerSector,
                        std::uint32_t freeClusters);

// base (with backslash) + "qorv_installer" + number + "\".
std::string InstallFolderName(std::string_view base, std::uint32_t number);

// A name stored in a cabinet may be written below the target folder only
// when it is relative: no drive, no leading backslash or slash, no ".."
// component, no empty name.
bool IsSafeEntryName(std::string_view name);

// The file to open and its parameters once the target folder is known:
// "$EXPLORE$" opens the folder in Explorer, any other non-empty name is
// taken relative to the target folder.
struct OpenTarget {
  std::string file;
  std::string parameters;
};
OpenTarget ResolveFileToOpen(std::string_view fileToOpen, std::string_view parameters,
                             std::string_view targetFolder, std::string_view windowsFolder);

// True when the text after the last "." is "EXE" in any letter case.
bool IsExeFile(std::string_view file);
// The command line that runs a file: an .exe as it is, any other file as
// program + " \"" + file + "\""; parameters after a space when not empty.
// The .exe or program path is quoted when it holds a blank.
std::string RunCommandLine(std::string_view file, std::string_view program,
                           std::string_view parameters);

}  // namespace ombrell
