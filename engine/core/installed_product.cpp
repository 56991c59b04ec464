#include "engine/core/installed_product.h"

#include "common/ascii_case.h"
#include "engine/core/command_context.h"
#include "engine/core/script_text.h"

namespace tavrel {

InstalledProduct CheckInstalledProduct(SystemPort& system, const std::string& productCode,
                                       const std::string& revisionCode) {
  InstalledProduct product;
  if (productCode.empty() || system.ProductState(productCode) != kProductInstalled) {
    return product;
  }
  const std::string packageCode = system.ProductPackageCode(productCode);
  // An installed product whose package code cannot be had is not known to
  // be another revision, nor this one.
  if (packageCode.empty()) return product;
  product.needsUpgrade = !common::EqualsIgnoringAsciiCase(packageCode, revisionCode);
  product.maintenance = !product.needsUpgrade;
  return product;
}

namespace commands {

void IsMsiSetupInstalled(CommandContext& c) {
  const std::string variable = NamedVariable(c.Param(2));
  const std::string productCode = c.store.PathForm(c.Param(1));
  c.store.Declare(variable);
  c.store.SetResult(variable, BooleanText(c.system.ProductState(productCode) == kProductInstalled));
}

}  // namespace commands

}  // namespace tavrel
