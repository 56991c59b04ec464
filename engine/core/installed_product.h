// Whether this product is installed already, and in which revision: the
// installer's answer that starts a maintenance or an upgrade run, and the
// script's own question about any product.
#pragma once

#include <string>

#include "engine/core/system_port.h"

namespace tavrel {

struct CommandContext;

struct InstalledProduct {
  // Installed with another package than this revision's.
  bool needsUpgrade = false;
  // Installed with this revision's package.
  bool maintenance = false;
};

// Installed means the installer's state "installed"; the package code it
// reports is compared with the revision code without regard to letter case.
// Whatever cannot be asked counts as not installed.
InstalledProduct CheckInstalledProduct(SystemPort& system, const std::string& productCode,
                                       const std::string& revisionCode);

namespace commands {
// "Is MSI Setup Installed": the variable of parameter 2 (created when
// missing) becomes "TRUE" when the product of parameter 1 (path form) is
// installed, else "FALSE".
void IsMsiSetupInstalled(CommandContext& c);
}  // namespace commands

}  // namespace tavrel
