#include "wizard/core/one_line.h"

#include <gtest/gtest.h>

namespace ombrwiz {
namespace {

TEST(OneLine, EveryLineEndBecomesABlank) {
  EXPECT_EQ(OneLine("a\r\nb\rc\nd"), "a  b c d");
}

}  // namespace
}  // namespace ombrwiz
