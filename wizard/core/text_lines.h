// Line-by-line text of the wizard's settings files (CR LF line ends, one value
// a line).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ombrwiz {

// Lines ended by CR LF, LF or a lone CR. A last line without a line end
// counts; a line end at the very end does not start another, empty line.
std::vector<std::string> SplitLines(std::string_view text);

// The lines joined with CR LF; finalLineEnd also ends the last line.
std::string JoinLines(std::span<const std::string> lines, bool finalLineEnd);

// The value with every CR and LF turned into a space, so that writing it as
// one line cannot shift the lines after it.
std::string OneLine(std::string_view value);

}  // namespace ombrwiz
