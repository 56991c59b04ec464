// Lines of 8-bit text: a line ends at CR LF, at LF or at a lone CR; a last
// line without a line end still counts, an empty remainder after the last
// line end does not. Lines are written back joined by CR LF.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace common {

class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  // Takes the next line; false at the end of the text.
  bool Next(std::string_view& line) {
    const std::size_t size = text_.size();
    if (pos_ >= size) return false;
    // A plain scan: find_first_of would search the two-character set once
    // for every character of the text.
    const char* const data = text_.data();
    std::size_t end = pos_;
    while (end < size && data[end] != '\r' && data[end] != '\n') ++end;
    line = std::string_view(data + pos_, end - pos_);
    pos_ = end + 1;
    if (end < size && data[end] == '\r' && pos_ < size && data[pos_] == '\n') ++pos_;
    ++lineNumber_;
    return true;
  }
  // 1-based number of the line last taken.
  std::size_t LineNumber() const { return lineNumber_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t lineNumber_ = 0;
};

inline std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  LineReader reader(text);
  for (std::string_view line; reader.Next(line);) lines.emplace_back(line);
  return lines;
}

// finalLineEnd also ends the last line, as a file of lines is written; an
// empty list gives an empty text either way.
inline std::string JoinLines(std::span<const std::string> lines, bool finalLineEnd = false) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  if (finalLineEnd && !lines.empty()) text += "\r\n";
  return text;
}

}  // namespace common
