// The folders the setup starts from: where it keeps its installation
// information, where it installs by default, and the administrator rule
// that chooses between the all-users and the per-user forms.
#pragma once

#include <string>

#include "engine/core/engine_state.h"
#include "engine/core/system_info.h"
#include "engine/core/system_port.h"

namespace tavrel {

// Special folder numbers the engine asks for itself.
namespace csidl {
inline constexpr int kPersonal = 0x05;
inline constexpr int kDesktopDirectory = 0x10;
inline constexpr int kCommonDesktopDirectory = 0x19;
inline constexpr int kProgramFiles = 0x26;
inline constexpr int kProgramFilesCommon = 0x2b;
}  // namespace csidl

// Windows NT family and a member of the Administrators group.
bool AdministratorRule(SystemInfo& system);

// The parent of the (common or user's) desktop folder + "Application
// Data\" on the NT family; the common program files folder elsewhere.
std::string ApplicationDataFolder(SystemInfo& system, bool allUsers);

// Application data folder + "Quorvane\Installation Information\" + product
// code + "\" + revision code + "\".
std::string InstallationInformationFolder(SystemInfo& system, bool allUsers,
                                          const std::string& productCode,
                                          const std::string& revisionCode);

// The user's profile folder for a non-administrator on the NT family,
// otherwise the program files folder; always with a trailing backslash.
std::string DefaultTargetFolder(SystemInfo& system);

// The parent folder of a folder path (trailing backslash on both).
std::string ParentFolder(const std::string& folder);

// The start values of the predefined variables that the system answers.
// Upgrade and maintenance come from the installed-product check, which is
// not asked here: both start false.
StartValues ComputeStartValues(SystemInfo& system, const EngineState& state,
                               const std::string& executablePath);

}  // namespace tavrel
