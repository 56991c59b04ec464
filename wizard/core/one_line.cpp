#include "wizard/core/one_line.h"

#include <algorithm>

namespace ombrwiz {

std::string OneLine(std::string_view value) {
  std::string line(value);
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

}  // namespace ombrwiz
