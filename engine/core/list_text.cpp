// Writing and reading comma-separated list text.
#include "engine/core/list_text.h"

namespace tavrel {

namespace {

// Blanks and control characters share one rule; the byte is compared
// unsigned so that the code page's upper half counts as ordinary text.
bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

bool NeedsQuotes(std::string_view item) {
  for (const char c : item) {
    if (IsBlankOrControl(c) || c == ',' || c == '"') return true;
  }
  return false;
}

}  // namespace

std::string WriteListText(std::span<const std::string> items) {
  if (items.size() == 1 && items.front().empty()) return "\"\"";
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ',';
    const std::string& item = items[i];
    if (!NeedsQuotes(item)) {
      text += item;
      continue;
    }
    text += '"';
    for (const char c : item) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}

std::vector<std::string> ReadListText(std::string_view text) {
  std::vector<std::string> items;
  std::size_t pos = 0;
  const auto skipBlanks = [&] {
    while (pos < text.size() && IsBlankOrControl(text[pos])) ++pos;
  };
  skipBlanks();
  while (pos < text.size()) {
    std::string item;
    if (text[pos] == '"') {
      ++pos;
      while (pos < text.size()) {
        if (text[pos] == '"') {
          if (pos + 1 < text.size() && text[pos + 1] == '"') {
            item += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        item += text[pos++];
      }
    } else {
      const std::size_t start = pos;
      while (pos < text.size() && !IsBlankOrControl(text[pos]) && text[pos] != ',') ++pos;
      item.assign(text.substr(start, pos - start));
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (pos < text.size() && text[pos] == ',') {
      ++pos;
      if (pos == text.size()) items.emplace_back();
      skipBlanks();
    }
  }
  return items;
}

}  // namespace tavrel
