#include "wizard/core/translations.h"

#include <string_view>

#include "common/ascii_case.h"

namespace ombrwiz {

namespace {

constexpr std::string_view kPrefix = "translations.";

bool IsEditorFile(std::string_view language) {
  const std::size_t dot = language.rfind('.');
  const std::string_view extension =
      dot == std::string_view::npos ? language : language.substr(dot + 1);
  return common::EqualsIgnoringAsciiCase(extension, "Map") ||
         common::EqualsIgnoringAsciiCase(extension, "Original");
}

}  // namespace

std::vector<std::string> LanguagesFromFileNames(std::span<const std::string> fileNames) {
  std::vector<std::string> languages;
  for (const std::string& name : fileNames) {
    const std::string_view view(name);
    if (view.size() <= kPrefix.size() || !common::StartsWithIgnoringAsciiCase(view, kPrefix)) {
      continue;
    }
    const std::string_view language = view.substr(kPrefix.size());
    if (IsEditorFile(language)) continue;
    languages.emplace_back(language);
  }
  return languages;
}

}  // namespace ombrwiz
