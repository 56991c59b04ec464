#include "wizard/core/project_settings.h"

#include <utility>

namespace ombrwiz {

void ResetSettings(ProjectSettings& settings, const std::string& firstLanguage) {
  ProjectSettings fresh;
  fresh.packageName = std::move(settings.packageName);
  fresh.language = firstLanguage;
  settings = std::move(fresh);
}

}  // namespace ombrwiz
