#include "engine/core/text_lines.h"

namespace tavrel {

bool LineReader::Next(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  const std::size_t end = text_.find_first_of("\r\n", pos_);
  if (end == std::string_view::npos) {
    line = text_.substr(pos_);
    pos_ = text_.size();
  } else {
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (text_[end] == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
  }
  ++lineNumber_;
  return true;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  LineReader reader(text);
  for (std::string_view line; reader.Next(line);) lines.emplace_back(line);
  return lines;
}

}  // namespace tavrel
