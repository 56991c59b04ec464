#include "engine/core/restart_deletion.h"

#include "common/ascii_case.h"

namespace tavrel {

namespace {

std::string_view Trimmed(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string WithRenameDeletion(std::string_view iniText, std::string_view shortPath) {
  const std::string line = "NUL=" + std::string(shortPath) + "\r\n";
  std::size_t start = 0;
  while (start < iniText.size()) {
    std::size_t end = iniText.find('\n', start);
    end = end == std::string_view::npos ? iniText.size() : end + 1;
    std::string_view header = iniText.substr(start, end - start);
    while (!header.empty() && (header.back() == '\n' || header.back() == '\r')) {
      header.remove_suffix(1);
    }
    if (common::EqualsIgnoringAsciiCase(Trimmed(header), "[Rename]")) {
      std::string text(iniText.substr(0, end));
      if (end == iniText.size() && (text.empty() || text.back() != '\n')) text += "\r\n";
      return text + line + std::string(iniText.substr(end));
    }
    start = end;
  }
  std::string text(iniText);
  if (!text.empty() && text.back() != '\n') text += "\r\n";
  return text + "[Rename]\r\n" + line;
}

}  // namespace tavrel
