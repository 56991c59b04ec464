// Name checks are made on the UTF-16 form, which is what Windows will see, and only then is the
// path converted for the sink.
#include "tvl/core/archive_path.h"

#include <array>

namespace tvl {
namespace {

bool IsSeparator(char16_t c) {
  return c == u'/' || c == u'\\';
}

char16_t ToUpperAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c;
}

bool EqualsUpper(std::u16string_view text, std::u16string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (ToUpperAscii(text[i]) != upper[i]) return false;
  }
  return true;
}

// Windows resolves these in any folder, whatever extension follows, so writing "nul.txt" would
// open the device rather than create a file.
bool IsDeviceName(std::u16string_view component) {
  std::u16string_view base = component.substr(0, component.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  static constexpr std::array<std::u16string_view, 6> kPlain = {u"CON", u"PRN",    u"AUX",
                                                                u"NUL", u"CONIN$", u"CONOUT$"};
  for (const auto name : kPlain) {
    if (EqualsUpper(base, name)) return true;
  }
  if (base.size() == 4 &&
      (EqualsUpper(base.substr(0, 3), u"COM") || EqualsUpper(base.substr(0, 3), u"LPT"))) {
    const char16_t digit = base[3];
    // Superscript one to three count as digits to the Windows device check.
    return (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' ||
           digit == u'\u00B3';
  }
  return false;
}

NameProblem CheckComponent(std::u16string_view c) {
  if (c.empty()) return NameProblem::kEmptyComponent;
  if (c.find_first_not_of(u". ") == std::u16string_view::npos) return NameProblem::kDotsAndSpaces;
  for (const char16_t ch : c) {
    if (ch < 0x20 || ch == u'<' || ch == u'>' || ch == u'"' || ch == u'|' || ch == u'?' ||
        ch == u'*') {
      return NameProblem::kBadCharacter;
    }
  }
  if (c.back() == u'.' || c.back() == u' ') return NameProblem::kTrailingDotSpace;
  if (IsDeviceName(c)) return NameProblem::kDeviceName;
  return NameProblem::kNone;
}

}  // namespace

SafePath ValidateEntryName(std::u16string_view name) {
  if (name.empty()) return {{}, NameProblem::kEmpty};
  if (IsSeparator(name.front())) return {{}, NameProblem::kAbsolute};
  if (name.find(u':') != std::u16string_view::npos) return {{}, NameProblem::kColon};

  std::u16string joined;
  joined.reserve(name.size());
  std::size_t start = 0;
  for (;;) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const auto component = name.substr(start, end - start);
    // "." names the folder it is in: writers that store "./a.txt", or the root as ".", mean
    // nothing more than that, so it is dropped. Everything else made of dots stays refused.
    if (component != u".") {
      if (const NameProblem p = CheckComponent(component); p != NameProblem::kNone) return {{}, p};
      if (!joined.empty()) joined.push_back(u'\\');
      joined.append(component);
    }
    if (end == name.size()) break;
    start = end + 1;
  }

  auto utf8 = Utf16ToUtf8(joined);
  if (!utf8) return {{}, NameProblem::kBadUtf16};
  return {std::move(*utf8), NameProblem::kNone};
}

const char* Describe(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone:
      return "valid";
    case NameProblem::kEmpty:
      return "empty name";
    case NameProblem::kBadUtf16:
      return "name is not valid UTF-16";
    case NameProblem::kAbsolute:
      return "absolute path";
    case NameProblem::kColon:
      return "colon in name (drive or stream)";
    case NameProblem::kEmptyComponent:
      return "empty path component";
    case NameProblem::kDotsAndSpaces:
      return "path component of only dots or spaces";
    case NameProblem::kTrailingDotSpace:
      return "path component ends in a dot or space";
    case NameProblem::kBadCharacter:
      return "character not allowed in Windows names";
    case NameProblem::kDeviceName:
      return "DOS device name";
  }
  return "invalid name";
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace tvl
