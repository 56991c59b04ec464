// Layout of an HTML document at a given width: lines of words wrapped to
// the room there is, aligned, lists indented with their markers, tables with
// columns sized from their cells' narrowest and widest content. The result is
// a display list the window paints, the links' hit areas, the anchors'
// positions and the page's height. Fonts are measured through a small port,
// so the layout runs the same with the system's fonts and with a fake.
//
// Time and memory grow about linearly with the page: every element is laid
// out once per table it sits in, and nesting is bounded by the reader.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/core/html_document.h"

namespace tavrel::html {

struct FontMetrics {
  std::array<int, 256> widths{};  // advance width of each 8-bit character
  int height = 0;                 // line height
  int ascent = 0;                 // baseline below the line's top
};

struct PictureSize {
  int width = 0;
  int height = 0;
};

// What the layout needs to know about fonts and pictures.
class LayoutPort {
 public:
  virtual ~LayoutPort() = default;
  virtual FontMetrics Measure(const FontDescription& font) = 0;
  // The natural size of a picture by its source as the page writes it;
  // nullopt when it cannot be shown.
  virtual std::optional<PictureSize> Picture(const std::string& source) = 0;
};

struct Box {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool Contains(int px, int py) const {
    return px >= x && py >= y && px < x + width && py < y + height;
  }
};

enum class ItemKind {
  kText,     // text in a font; box is where it stands (top-left, its width, line height)
  kFill,     // a filled rectangle: cell and table backgrounds, rules
  kFrame,    // a rectangle's outline of a thickness
  kPicture,  // a picture scaled to its box; a missing one shows its alt text in a frame
  kBullet,   // a list marker: disc, circle or square filling its box
  kLink,     // not drawn: where a click follows a link
};

struct DisplayItem {
  ItemKind kind = ItemKind::kText;
  Box box;
  Rgb color = 0;
  int font = -1;                  // kText: index into Layout::fonts
  int ascent = 0;                 // kText: baseline below box.y
  int link = -1;                  // kText, kPicture, kLink: index into Document::links
  int thickness = 1;              // kFrame
  int picture = -1;               // kPicture: index into Layout::pictures
  Marker marker = Marker::kNone;  // kBullet
  std::uint32_t textStart = 0;    // kText: the text in Layout::text
  std::uint32_t textLength = 0;
};

struct LaidPicture {
  std::string source;  // as the page writes it
  std::string alt;
  bool missing = false;
};

struct Colors {
  Rgb background = 0xFFFFFF;
  Rgb text = 0x000000;
  Rgb link = 0x0000EE;
};

struct Layout {
  int width = 0;   // the widest content, at least the width laid out at
  int height = 0;  // the whole page's height
  Rgb background = 0xFFFFFF;
  std::vector<FontDescription> fonts;
  std::string text;
  std::vector<DisplayItem> items;  // in painting order
  std::vector<LaidPicture> pictures;
  std::vector<std::pair<std::string, int>> anchors;  // name, top

  // Indices of the items that reach into [top, bottom), in painting order.
  std::vector<std::uint32_t> ItemsIn(int top, int bottom) const;
  // The link at a point; -1 when none is there.
  int LinkAt(int x, int y) const;
  // The top of an anchor; nullopt when the page has none of that name.
  std::optional<int> AnchorTop(std::string_view name) const;
  std::string_view Text(const DisplayItem& item) const {
    return std::string_view(text).substr(item.textStart, item.textLength);
  }

  // Built by LayOut: items by the bands of kBandHeight pixels they reach.
  static constexpr int kBandHeight = 256;
  std::vector<std::vector<std::uint32_t>> bands;
};

// Lays the document out at width pixels, with a margin around the page.
// colors gives what the page does not set itself.
Layout LayOut(const Document& document, int width, LayoutPort& port, const Colors& colors,
              int margin = 8);

}  // namespace tavrel::html
