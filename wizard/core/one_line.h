// The wizard's settings files hold one value a line (common/text_lines.h
// reads and writes the lines); a value must therefore stay on its line.
#pragma once

#include <string>
#include <string_view>

namespace ombrwiz {

// The value with every CR and LF turned into a space, so that writing it as
// one line cannot shift the lines after it.
std::string OneLine(std::string_view value);

}  // namespace ombrwiz
