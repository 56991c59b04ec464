// The HTML reader of the wizard pages' HTML pane: 8-bit page text in, a
// document model out (blocks, runs of styled text, breaks, pictures, rules,
// tables, anchors), plus what the page says about itself: its title, its
// timed page change and the colours of its body.
//
// Pages come from setup authors and may be malformed in every way: tags are
// matched without regard to case, stray closing tags are ignored, open ones
// are closed where a browser would close them, and nesting deeper than
// kMaxHtmlDepth is flattened into the innermost element that fits, and
// reading ends after about kMaxHtmlNodes elements. Reading takes time and
// memory about linear in the page size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::html {

// Elements nested deeper than this are flattened: their content goes into
// the deepest element that was opened.
inline constexpr int kMaxHtmlDepth = 48;
// A page is read up to about this many elements; the rest is not shown.
inline constexpr std::size_t kMaxHtmlNodes = std::size_t{1} << 20;
// The most columns one table cell may span.
inline constexpr int kMaxColumnSpan = 64;

// 0xRRGGBB.
using Rgb = std::uint32_t;

// A colour as a page writes it: one of the sixteen HTML colour names (and a
// few more common ones), "#rrggbb", "rrggbb" or "#rgb". nullopt for anything
// else.
std::optional<Rgb> ParseHtmlColor(std::string_view text);

// A font as text asks for it. size is the HTML size 1 to 7 (3 is normal).
struct FontDescription {
  std::string face;  // the first face the page names; empty for the default
  int size = 3;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool monospace = false;
  bool operator==(const FontDescription&) const = default;
};

// A text that tells fonts apart: equal for equal fonts, different otherwise.
std::string FontKey(const FontDescription& font);

// How text is drawn: its font, colour and the link it belongs to.
struct TextStyle {
  FontDescription font;
  std::optional<Rgb> color;  // nullopt: the page's text colour
  int link = -1;             // index into Document::links; -1 outside links
  bool operator==(const TextStyle&) const = default;
};

enum class Align { kInherit, kLeft, kCenter, kRight };
enum class VAlign { kMiddle, kTop, kBottom };

// A length: pixels or a percentage of the room available.
struct Length {
  int value = 0;
  bool percent = false;
  bool operator==(const Length&) const = default;
};

enum class NodeKind {
  kBlock,   // a box of lines and blocks: body, p, div, center, headings, lists...
  kText,    // a run of text in one style
  kBreak,   // <br>
  kImage,   // <img>
  kRule,    // <hr>
  kAnchor,  // <a name>: a place links can scroll to
  kTable,
  kRow,
  kCell,
};

enum class Marker { kNone, kDisc, kCircle, kSquare, kNumber };

struct Node {
  NodeKind kind = NodeKind::kBlock;
  std::uint32_t parent = 0;
  // Children as a linked list of node indices; kNoNode ends it.
  std::uint32_t firstChild = 0;
  std::uint32_t lastChild = 0;
  std::uint32_t next = 0;

  // kText: the text (white space already collapsed outside <pre>), its
  // style (index into Document::styles; kBreak: the style of the line it
  // ends), and whether it keeps its blanks.
  // kImage: alt text. kAnchor: the anchor's name.
  std::string text;
  std::uint32_t style = 0;
  bool preformatted = false;

  // Blocks, tables and cells.
  Align align = Align::kInherit;
  VAlign valign = VAlign::kMiddle;
  int indent = 0;     // blocks: left indent in pixels
  int marginTop = 0;  // blocks: space above and below, in lines of normal text
  int marginBottom = 0;
  bool listItem = false;          // <li>
  Marker marker = Marker::kNone;  // lists: their items' kind; items: their own
  int number = 0;                 // items with kNumber
  std::optional<Rgb> background;  // tables, rows, cells

  // Tables: border, cellpadding, cellspacing. Rules: size. Images: border.
  int border = 0;
  int padding = 1;
  int spacing = 2;
  Length width;   // tables, cells, images, rules (0: automatic)
  Length height;  // images
  int colspan = 1;
  bool header = false;  // <th>
  bool noShade = false;

  // Images.
  std::string source;
  std::uint32_t imageStyle = 0;  // the style around the picture (its link)
};

inline constexpr std::uint32_t kNoNode = 0;  // node 0 is the root and never a child

struct MetaRefresh {
  int delaySeconds = 0;
  std::string url;  // as written; empty: the same page again
};

struct Document {
  std::string title;
  std::optional<MetaRefresh> refresh;
  std::optional<Rgb> background;   // <body bgcolor>
  std::optional<Rgb> textColor;    // <body text>
  std::optional<Rgb> linkColor;    // <body link>
  std::vector<std::string> links;  // hrefs as written, by link index
  std::vector<TextStyle> styles;   // distinct styles; 0 is the default
  std::vector<Node> nodes;         // 0 is the root block

  std::uint32_t Children(std::uint32_t node) const { return nodes[node].firstChild; }
  std::uint32_t Next(std::uint32_t node) const { return nodes[node].next; }
};

// Reads a page.
Document ReadHtml(std::string_view page);

// The text a page's character reference stands for: named references (the
// common ones and the Latin-1 names), "#n" and "#xh". Characters past 8 bits
// become '?'. nullopt when the name is unknown.
std::optional<char> HtmlEntity(std::string_view name);

}  // namespace tavrel::html
