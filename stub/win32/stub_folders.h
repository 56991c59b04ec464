// Folders of the stub's run: creating a target with its parents, the free
// space of a folder's drive, the temporary install folder and its removal.
#pragma once

#include <cstdint>
#include <string>

namespace ombrell {

bool FolderExists(const std::string& folder);
// Creates the folder and every missing parent; true when it exists after.
bool CreateFolderTree(const std::string& folder);
// Free bytes of the folder's drive (or network share); 0 when unknown.
std::uint64_t FreeBytesOf(const std::string& folder);
// A new folder "qorv_installer" + N below the temp folder (or the root of
// the first fixed drive with room when the temp drive has too little);
// empty when none can be made. With a trailing backslash.
std::string MakeInstallFolder(const std::string& tempFolder, std::uint64_t requiredBytes);
// Deletes everything below the folder, then the folder.
void DeleteFolderTree(const std::string& folder);

}  // namespace ombrell
