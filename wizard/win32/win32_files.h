// File and folder services of the wizard's Win32 layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrwiz {

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The whole file; nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Writes beside the file and then replaces it, so a failed write never
// leaves the file cut short.
bool WriteWholeFile(const std::string& path, std::string_view bytes);
// Creates the folder and any missing parents; true when it exists afterwards.
bool CreateFolders(const std::string& path);
// Free bytes on the drive (or share) of a path; nullopt when unknown.
std::optional<std::uint64_t> FreeBytesOf(const std::string& path);
// Names of the files (not folders) matching a pattern, in listing order.
std::vector<std::string> FileNamesMatching(const std::string& pattern);
// The folder of the running program, with a trailing backslash.
std::string ProgramFolder();
// The user's documents folder with a trailing backslash; empty when unknown.
std::string DocumentsFolder();

}  // namespace ombrwiz
