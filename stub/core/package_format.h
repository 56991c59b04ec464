// The package file: stub image, compressed cabinet library, session
// information and the first cabinet, one after the other. Both the package
// wizard (writer) and the package stub (reader) follow this layout.
//
// Built without exceptions for the stub: nothing here throws.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ombrell {

inline constexpr std::string_view kMarker = "$PKGBOUND$";
// The licence text ends with this line: NUL "$VORTA$" NUL.
inline constexpr std::string_view kLicenceTerminator{"\0$VORTA$\0", 9};
// The marker line is looked for in this many bytes at the head of the file.
inline constexpr std::size_t kMarkerScanLength = 1'024'001;
// At most this many bytes after the marker line are session information.
inline constexpr std::size_t kSessionReadLimit = 102'401;
// The reader's buffer for the stub image and the compressed library.
inline constexpr std::size_t kLibraryBufferSize = 102'400;
inline constexpr int kMessageCount = 56;

struct SessionInfo {
  std::uint64_t stubLength = 0;     // S
  std::uint64_t libraryLength = 0;  // L
  std::uint64_t blockLength = 0;    // B, computed by the writer
  std::string packageName;
  std::string startQuestion;
  std::string licence;  // lines joined by CR LF, no CR LF after the last
  std::string endMessage;
  std::string targetFolder;  // a code such as "$EXE$", a path, or empty
  std::string fileToOpen;    // empty, "$EXPLORE$" or relative to the target
  std::string parameters;
  std::uint64_t requiredMegabytes = 0;
  bool password = false;
  bool silent = false;
  std::array<std::string, kMessageCount> messages;  // messages[0] is message 1

  const std::string& Message(int number) const { return messages[number - 1]; }
  std::uint64_t CabinetOffset() const { return stubLength + libraryLength + blockLength; }
  std::uint64_t RequiredBytes() const { return requiredMegabytes * 1024 * 1024; }
};

// The English message table.
const std::array<std::string_view, kMessageCount>& EnglishMessages();

// Offset of the byte after the marker line's LF (the first session line),
// looking at no more than kMarkerScanLength bytes of head; nullopt when no
// line of head is the marker line.
std::optional<std::size_t> FindMarker(std::span<const char> head);

// The whole session information block, from the CR LF of the empty line 0
// through the CR LF of message 56, with B set to its exact length. The
// result's blockLength is written back into info.
std::string WriteSessionInformation(SessionInfo& info);

// Reads the values from the bytes that follow the marker line (at most
// kSessionReadLimit of them are looked at). Lines that are missing read as
// empty, numbers that are not numbers as 0: a damaged block shows up later
// as an unreadable cabinet, as it would for any reader.
SessionInfo ReadSessionInformation(std::string_view afterMarker);

// The package key of a password: each byte inverted.
std::string PackageKey(std::string_view password);

// Scrambles (or unscrambles: the same operation) bytes that stand at
// position `offset` of a cabinet file. An empty key changes nothing.
void Scramble(std::span<char> bytes, std::string_view key, std::uint64_t offset);

// Continuation cabinet number k (2, 3, ...) of a package file name:
// "Tools.exe" gives "Tools2.cab", ... "Tools10.cab".
std::string ContinuationCabinetName(std::string_view packageFileName, unsigned number);

}  // namespace ombrell
