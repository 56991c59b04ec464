// The fixed set of questions the engine asks the operating system, and the
// parts of their answers that need no operating system to work out.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/core/startup_platform.h"  // PlatformError, for failed system calls

namespace tavrel {

// A text that should have been a number; the message names the offending
// text the way the engine reports every conversion error.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OsVersion {
  bool isNt = false;
  unsigned major = 0;
  unsigned minor = 0;
  unsigned servicePack = 0;
};

struct RegisteredUser {
  std::string owner;
  std::string organisation;
};

// part1.part2.part3.part4 are the words of the two raw numbers, high word
// first; all zero for a file without a version resource.
struct FileVersionParts {
  std::uint16_t part1 = 0;
  std::uint16_t part2 = 0;
  std::uint16_t part3 = 0;
  std::uint16_t part4 = 0;
  std::uint32_t mostSignificant = 0;
  std::uint32_t leastSignificant = 0;
};

// Bytes; either all totals or all available amounts.
struct MemoryStatus {
  std::uint64_t physical = 0;
  std::uint64_t pageFile = 0;
  std::uint64_t virtualMemory = 0;
};

struct ScreenSize {
  int width = 0;
  int height = 0;
};

struct DisplayColours {
  std::uint64_t colours = 0;
  unsigned bitsPerPixel = 0;
};

// identifier: language in the low word, code page in the high word.
struct SystemLanguage {
  std::string name;
  std::uint32_t identifier = 0;
};

// Every call asks the system again; nothing is cached, since a setup run may
// itself change what the answers are.
class SystemInfo {
 public:
  virtual ~SystemInfo() = default;

  // Throws ConversionError for a malformed service-pack text.
  virtual OsVersion GetOsVersion() = 0;
  // Missing registry data gives empty texts.
  virtual RegisteredUser GetRegisteredUser() = 0;
  // Path with a trailing backslash; empty for an unknown number or a
  // folder without a file-system path.
  virtual std::string GetSpecialFolder(int csidl) = 0;
  // Throws PlatformError when the access token cannot be read.
  virtual bool IsUserAdministrator() = 0;
  virtual FileVersionParts GetFileVersionParts(const std::string& path) = 0;
  virtual MemoryStatus GetMemoryStatus(bool total) = 0;
  virtual ScreenSize GetScreenSize() = 0;
  virtual DisplayColours GetDisplayColours() = 0;
  virtual SystemLanguage GetSystemLanguage() = 0;
  // "X:\" of the first CD-ROM drive, or empty.
  virtual std::string FindCdRomDrive() = 0;
  virtual std::string GetBootFolder() = 0;
  // Empty when the path does not exist or its short form would not fit in
  // 259 characters.
  virtual std::string GetShortPath(const std::string& path) = 0;
  virtual std::string ExpandToLongPath(const std::string& path) = 0;
};

// The version as the engine reports it, from the platform's raw fields.
// Windows 98 Second Edition says 4.10 like the first edition; only its build
// field (which holds the version in its high word there) tells them apart.
OsVersion MakeOsVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                        std::uint32_t build, std::string_view servicePackText);

// "Service Pack N" gives N (its last character); any other text gives 0.
// Throws ConversionError when such a text does not end in a digit.
unsigned ServicePackNumber(std::string_view servicePackText);

// The shell's answer for a special folder: nullopt when it has no location
// for the number, an empty text when the location has no file-system path.
using ShellFolderLookup = std::function<std::optional<std::string>(int csidl)>;
// A text value of the machine's "CurrentVersion" key; empty when missing.
using CurrentVersionValue = std::function<std::string(std::string_view valueName)>;

// The special folder from the shell, or from the registry for the two
// program-files folders that shells before Windows 2000 do not know.
std::string ResolveSpecialFolder(int csidl, const ShellFolderLookup& shell,
                                 const CurrentVersionValue& registry);

// 2 to the power of bits, held at the largest count for 64 bits and more.
std::uint64_t ColourCount(unsigned bitsPerPixel);

// The name a directory search reports for the last component of path, or an
// empty text when nothing by that name exists.
using DirectorySearch = std::function<std::string(const std::string& path)>;

// Every component of path replaced by the name the search reports for it (a
// component that does not exist becomes empty), the root kept as written but
// with backslashes, and a trailing backslash dropped.  A drive root stays a
// root: "C:\" gives "C:\", never the drive-relative "C:".
std::string ExpandToLongPathWith(std::string_view path, const DirectorySearch& search);

}  // namespace tavrel
