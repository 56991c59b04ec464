// Line-by-line reading of 8-bit text, as a text-file reader sees it: a line
// ends at CR LF, at LF or at a lone CR; a last line without a line end still
// counts, an empty remainder after the last line end does not.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  // Takes the next line; false at the end of the text.
  bool Next(std::string_view& line);
  // 1-based number of the line last taken.
  std::size_t LineNumber() const { return lineNumber_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t lineNumber_ = 0;
};

std::vector<std::string> SplitLines(std::string_view text);

}  // namespace tavrel
