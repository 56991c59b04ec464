#include "common/paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace common {
namespace {

TEST(Paths, TrailingSeparators) {
  struct Case {
    std::string path;
    std::string with;
    std::string without;
  };
  const std::vector<Case> cases = {
      {"", "", ""},
      {"C:\\x", "C:\\x\\", "C:\\x"},
      {"C:\\x\\", "C:\\x\\", "C:\\x"},
      {"C:\\x\\\\", "C:\\x\\\\", "C:\\x"},
      {"C:/x/", "C:/x/", "C:/x"},
      {"C:\\", "C:\\", "C:\\"},
      {"C:\\\\", "C:\\\\", "C:\\"},
      {"C:", "C:\\", "C:"},
      {"\\", "\\", "\\"},
      {"\\\\\\", "\\\\\\", "\\"},
      {"\\\\srv\\share\\", "\\\\srv\\share\\", "\\\\srv\\share\\"},
      {"\\\\srv\\share\\dir\\", "\\\\srv\\share\\dir\\", "\\\\srv\\share\\dir"},
      {"relative\\", "relative\\", "relative"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WithTrailingBackslash(c.path), c.with) << c.path;
    EXPECT_EQ(WithoutTrailingBackslash(c.path), c.without) << c.path;
  }
  EXPECT_EQ(JoinPath("C:\\x", "a.txt"), "C:\\x\\a.txt");
  EXPECT_EQ(JoinPath("C:/x/", "a.txt"), "C:/x/a.txt");
  EXPECT_EQ(JoinPath("", "a.txt"), "a.txt");
}

TEST(Paths, DriveRootsAndShares) {
  struct Case {
    std::string path;
    std::string root;
  };
  const std::vector<Case> cases = {
      {"C:\\Program Files\\Tools\\", "C:\\"},
      {"d:", "d:\\"},
      {"C:relative", "C:\\"},
      {"1:\\x", ""},
      {":", ""},
      {"C", ""},
      {"", ""},
      {"\\dir\\file", ""},
      {"relative\\dir", ""},
      {"\\\\srv\\share\\dir\\x", "\\\\srv\\share\\"},
      {"\\\\srv\\share", "\\\\srv\\share\\"},
      {"\\\\srv\\share\\", "\\\\srv\\share\\"},
      {"\\\\srv\\", ""},
      {"\\\\srv", ""},
      {"\\\\srv\\\\dir", ""},
      {"\\\\\\share\\dir", ""},
      {"\\\\", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DriveRoot(c.path), c.root) << c.path;
}

}  // namespace
}  // namespace common
