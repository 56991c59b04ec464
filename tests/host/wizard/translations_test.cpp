#include "wizard/core/translations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ombrwiz {
namespace {

using ::testing::ElementsAre;

TEST(Translations, OffersLanguagesButNotTheEditorsFiles) {
  const std::vector<std::string> names = {
      "ombrwiz.exe",           "translations.English",  "translations.Original",
      "translations",          "translations.",         "TRANSLATIONS.Deutsch",
      "translations.map",      "translations.ORIGINAL", "translations.English.Map",
      "mytranslations.French", "translations.pt.BR",    "translationsXEnglish"};
  EXPECT_THAT(LanguagesFromFileNames(names), ElementsAre("English", "Deutsch", "pt.BR"));
}

}  // namespace
}  // namespace ombrwiz
