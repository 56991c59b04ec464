// ASCII letter case: a-z and A-Z fold onto each other and every other byte
// stays as it is, whatever the code page; case-blind equality, search and
// ordering under that folding.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace common {

constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr char ToUpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char ToLowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ToUpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = ToUpperAscii(c);
  return upper;
}

inline std::string ToLowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = ToLowerAscii(c);
  return lower;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
  }
  return true;
}

constexpr bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// The first place at or after `from` where `what` stands in `text`; npos when
// there is none.
constexpr std::size_t FindIgnoringAsciiCase(std::string_view text, std::string_view what,
                                            std::size_t from = 0) {
  for (std::size_t i = from; i <= text.size() && what.size() <= text.size() - i; ++i) {
    if (EqualsIgnoringAsciiCase(text.substr(i, what.size()), what)) return i;
  }
  return std::string_view::npos;
}

// Byte order with the letters folded to lower case, so that '_' and the
// other characters between 'Z' and 'a' sort before every letter.
constexpr bool LessIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(ToLowerAscii(x)) <
           static_cast<unsigned char>(ToLowerAscii(y));
  });
}

}  // namespace common
