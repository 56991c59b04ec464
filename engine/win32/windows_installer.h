// Windows Installer through msi.dll: the library is loaded, and each of its
// functions looked up, on first use, so that a system without the installer
// still runs every script that does not apply changes.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/core/system_port.h"

namespace tavrel {

// Each returns as SystemPort documents it; none throws.
bool WriteDatabaseProperties(const std::string& database,
                             const std::vector<std::pair<std::string, std::string>>& properties);
int QueryProductState(const std::string& productCode);
std::string QueryProductPackageCode(const std::string& productCode);
InstallerSessionResult RunInstallerSession(const InstallerSession& session,
                                           InstallerMessageSink& sink);

}  // namespace tavrel
