// Links of the HTML pane as the file system sees them: whether a link names
// a local file, the anchor it points at, and the full path it stands for
// relative to the page that holds it.
#pragma once

#include <string>
#include <string_view>

namespace tavrel::html {

// False for a link with a scheme of its own ("http:", "https:", "mailto:",
// "ftp:"...); true for plain names and paths, "file:" URLs and "#anchor".
bool IsLocalLink(std::string_view link);

// The anchor a link points at: what follows its '#'; empty when none.
std::string_view LinkAnchor(std::string_view link);

// The local path a link stands for. "#anchor" and "?query" parts are cut
// off; "file:///C|/x/y.htm", "file://C:/x" and "file://server/share/x"
// become "C:\x\y.htm", "C:\x" and "\\server\share\x" (with %xx escapes
// decoded); '/' becomes '\'; drive and network paths stay as they are, a
// path from the root ("\x") goes to the drive of the folder, anything else
// is joined to folder; "." and ".." steps are resolved and never climb
// above the root. An empty result means the link names no file.
std::string LinkPath(std::string_view link, std::string_view folder);

}  // namespace tavrel::html
