#include "engine/core/html_link.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/ascii_case.h"
#include "common/paths.h"

namespace tavrel::html {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = common::ToLowerAscii(c);
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

std::string DecodeEscapes(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      const int value = HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]);
      if (value != 0) {
        out += static_cast<char>(static_cast<unsigned char>(value));
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// The link without its "#anchor" and "?query".
std::string_view WithoutSuffixes(std::string_view link) {
  return link.substr(0, link.find_first_of("#?"));
}

// "C|" or "C:" at the start.
bool StartsWithDrive(std::string_view path) {
  return path.size() >= 2 && common::IsAsciiLetter(path[0]) && (path[1] == ':' || path[1] == '|');
}

// Resolves "." and ".." after the root and joins the names with '\'.
std::string Normalize(std::string_view path) {
  std::size_t rootLength = common::DriveLength(path);
  std::string root(path.substr(0, rootLength));
  if (rootLength < path.size() && path[rootLength] == '\\') {
    root += '\\';
    ++rootLength;
  }
  std::vector<std::string_view> names;
  std::string_view rest = path.substr(rootLength);
  const bool trailing = !rest.empty() && rest.back() == '\\';
  while (!rest.empty()) {
    const std::size_t cut = rest.find('\\');
    const std::string_view name = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    names.push_back(name);
  }
  std::string out = root;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += '\\';
    out += names[i];
  }
  if (trailing && !names.empty()) out += '\\';
  return out;
}

}  // namespace

bool IsLocalLink(std::string_view link) {
  const std::size_t colon = link.find(':');
  if (colon == std::string_view::npos || colon < 2) return true;  // no scheme, or a drive
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = link[i];
    if (!common::IsAsciiLetter(c) &&
        !(i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) {
      return true;  // not a scheme: a colon later in a path or a query
    }
  }
  return common::EqualsIgnoringAsciiCase(link.substr(0, colon), "file");
}

std::string_view LinkAnchor(std::string_view link) {
  const std::size_t hash = link.find('#');
  return hash == std::string_view::npos ? std::string_view() : link.substr(hash + 1);
}

std::string LinkPath(std::string_view link, std::string_view folder) {
  std::string path;
  link = WithoutSuffixes(link);
  if (common::StartsWithIgnoringAsciiCase(link, "file:")) {
    std::string_view rest = link.substr(5);
    std::size_t slashes = 0;
    while (slashes < rest.size() && slashes < 3 && common::IsPathSeparator(rest[slashes]))
      ++slashes;
    rest.remove_prefix(slashes);
    path = DecodeEscapes(rest);
    // "file://server/share": a network path.
    if (slashes == 2 && !StartsWithDrive(path) && !path.empty()) path = "//" + path;
  } else {
    path = std::string(link);
  }
  if (StartsWithDrive(path)) path[1] = ':';
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (path.empty()) return Normalize(std::string(folder));
  if (path.starts_with("\\\\")) {
    // A network path: its server and share must be names, not steps.
    const std::string_view root = std::string_view(path).substr(0, common::DriveLength(path));
    if (root.empty()) return {};  // no share named
    const std::size_t cut = root.find('\\', 2);
    const std::string_view server = root.substr(2, cut - 2);
    const std::string_view share = root.substr(cut + 1);
    for (const std::string_view name : {server, share}) {
      if (name == "." || name == "..") return {};
    }
    return Normalize(path);
  }
  if (common::DriveLength(path) > 0) return Normalize(path);
  if (path.front() == '\\') return Normalize(common::DriveRoot(folder) + path.substr(1));
  return Normalize(common::JoinPath(folder, path));
}

}  // namespace tavrel::html
