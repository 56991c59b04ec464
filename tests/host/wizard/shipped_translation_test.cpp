// The English translation the wizard ships in its program folder is the
// package's default message table, line for line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/text_lines.h"
#include "stub/core/package_format.h"

namespace ombrwiz {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ShippedTranslation, EnglishFileIsTheDefaultMessageTable) {
  const std::string text =
      ReadAll(std::filesystem::path(TAVREL_SOURCE_DIR) / "wizard/data/translations.English");
  std::string expected;
  for (const auto message : ombrell::EnglishMessages()) {
    expected += message;
    expected += "\r\n";
  }
  EXPECT_EQ(text, expected);
  EXPECT_EQ(common::SplitLines(text).size(), 56u);

  const auto shipped = std::filesystem::path(TAVREL_WIN32_BIN) / "translations.English";
  if (!std::filesystem::exists(shipped)) GTEST_SKIP() << "win32 tree not built";
  EXPECT_EQ(ReadAll(shipped), text);
}

}  // namespace
}  // namespace ombrwiz
