// Boolean texts, reference names and the Windows-1252 upper-casing.
#include "engine/core/script_text.h"

#include <array>

namespace tavrel {

namespace {

constexpr std::array<unsigned char, 256> MakeAnsiUpperTable() {
  std::array<unsigned char, 256> table{};
  for (std::size_t c = 0; c < table.size(); ++c) table[c] = static_cast<unsigned char>(c);
  for (std::size_t c = 'a'; c <= 'z'; ++c) table[c] = static_cast<unsigned char>(c - 0x20);
  for (std::size_t c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) table[c] = static_cast<unsigned char>(c - 0x20);
  }
  table[0x9A] = 0x8A;  // s caron
  table[0x9C] = 0x8C;  // oe ligature
  table[0x9E] = 0x8E;  // z caron
  table[0xFF] = 0x9F;  // y diaeresis
  return table;
}

constexpr std::array<unsigned char, 256> kAnsiUpper = MakeAnsiUpperTable();

}  // namespace

bool BooleanValue(std::string_view text) {
  return text == "-1" || EqualsIgnoringAsciiCase(text, "TRUE");
}

std::string BooleanText(bool value) {
  return value ? "TRUE" : "FALSE";
}

std::string ReferenceName(std::string_view text) {
  if (text.size() < 2 || text.front() != '$') return {};
  if (text.find('$', 1) != text.size() - 1) return {};
  return std::string(text.substr(1, text.size() - 2));
}

std::string NamedVariable(std::string_view text) {
  std::string reference = ReferenceName(text);
  return reference.empty() ? std::string(text) : reference;
}

char ToUpperAnsi(char c) {
  return static_cast<char>(kAnsiUpper[static_cast<unsigned char>(c)]);
}

std::string ToUpperAnsi(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = ToUpperAnsi(c);
  return upper;
}

std::string CollapseBackslashPairs(std::string_view text) {
  std::string path;
  if (text.starts_with("\\\\")) path += '\\';
  for (std::size_t i = 0; i < text.size(); ++i) {
    path += text[i];
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') ++i;
  }
  return path;
}

}  // namespace tavrel
