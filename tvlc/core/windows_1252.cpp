#include "tvlc/core/windows_1252.h"

#include <array>
#include <cstdint>

namespace tavrel::tvlc {

namespace {

// The code points of bytes 0x80-0x9F; 0 where the code page assigns none.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<unsigned char> ByteOf(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<unsigned char>(code);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == code) {
      return static_cast<unsigned char>(0x80 + i);
    }
  }
  return std::nullopt;
}

// One code point from text at pos; advances pos. nullopt for bytes that are
// not well-formed UTF-8 (overlong forms, surrogates and values past
// U+10FFFF included).
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  std::size_t length = 0;
  char32_t code = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1Fu, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0Fu, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07u, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() - pos < length) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    code = (code << 6) | (next & 0x3Fu);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return std::nullopt;
  }
  pos += length;
  return code;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

Conversion Utf8ToWindows1252(std::string_view utf8) {
  Conversion result;
  result.text.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    const std::optional<char32_t> code = NextCodePoint(utf8, pos);
    if (!code) {
      result.failedAt = start;
      result.invalidUtf8 = true;
      return result;
    }
    const std::optional<unsigned char> byte = ByteOf(*code);
    if (!byte) {
      result.failedAt = start;
      return result;
    }
    result.text += static_cast<char>(*byte);
  }
  return result;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte < 0xA0) {
      // Unassigned bytes keep their own value as a code point.
      const char32_t code = kHighControls[byte - 0x80];
      AppendUtf8(out, code != 0 ? code : byte);
    } else {
      AppendUtf8(out, byte);
    }
  }
  return out;
}

}  // namespace tavrel::tvlc
