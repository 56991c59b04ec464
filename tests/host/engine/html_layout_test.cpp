#include "engine/core/html_layout.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/core/html_document.h"

namespace tavrel::html {
namespace {

// Every character of a font of size s is 2s+2 pixels wide (bold one more),
// lines are 4s+4 high with the baseline at 3s+3: size 3 gives 8, 16, 12.
// "pic*.bmp" pictures are 30 x 20, others are missing.
class FakePort : public LayoutPort {
 public:
  FontMetrics Measure(const FontDescription& font) override {
    FontMetrics metrics;
    metrics.widths.fill(2 * font.size + 2 + (font.bold ? 1 : 0));
    metrics.height = 4 * font.size + 4;
    metrics.ascent = 3 * font.size + 3;
    ++measured;
    return metrics;
  }
  std::optional<PictureSize> Picture(const std::string& source) override {
    if (source.starts_with("pic")) return PictureSize{30, 20};
    return std::nullopt;
  }
  int measured = 0;
};

// What the layout placed, as "kind x,y wxh [text]" lines.
std::string Placed(const Layout& layout, bool links = false) {
  std::string out;
  for (const DisplayItem& item : layout.items) {
    std::string kind;
    switch (item.kind) {
      case ItemKind::kText:
        kind = "T";
        break;
      case ItemKind::kFill:
        kind = "F";
        break;
      case ItemKind::kFrame:
        kind = "R";
        break;
      case ItemKind::kPicture:
        kind = "P";
        break;
      case ItemKind::kBullet:
        kind = "B";
        break;
      case ItemKind::kLink:
        kind = "L";
        break;
    }
    if (item.kind == ItemKind::kLink && !links) continue;
    out += kind + " " + std::to_string(item.box.x) + "," + std::to_string(item.box.y) + " " +
           std::to_string(item.box.width) + "x" + std::to_string(item.box.height);
    if (item.kind == ItemKind::kText) out += " " + std::string(layout.Text(item));
    out += "\n";
  }
  return out;
}

struct Case {
  const char* name;
  const char* page;
  int width;  // the room inside the 8-pixel margins
  const char* placed;
};

TEST(HtmlLayout, PlacesWhatThePageHolds) {
  const std::vector<Case> cases = {
      {"words wrap where the next would not fit; blanks at a line's end take no room",
       "aaaa bbbb cccc dddd", 100,
       "T 8,8 72x16 aaaa bbbb\n"
       "T 8,24 72x16 cccc dddd\n"},
      {"a word wider than the room stands alone on its line", "a bbbbbbbbbbbbbbbbb c", 100,
       "T 8,8 8x16 a\n"
       "T 8,24 136x16 bbbbbbbbbbbbbbbbb\n"
       "T 8,40 8x16 c\n"},
      {"runs of other fonts share the baseline; the line is as high as its tallest",
       "ab <font size=5>cd</font> e", 200,
       "T 8,14 16x16 ab\n"
       "T 36,8 24x24 cd\n"
       "T 68,14 8x16 e\n"},
      {"centred and right-aligned lines", "<center>ab</center><p align=right>cd</p>", 100,
       "T 50,8 16x16 ab\n"
       "T 92,40 16x16 cd\n"},
      {"an empty line of its own from a second break; paragraphs keep a line apart",
       "a<br><br>b<p>c</p><p>d", 100,
       "T 8,8 8x16 a\n"
       "T 8,40 8x16 b\n"
       "T 8,72 8x16 c\n"
       "T 8,104 8x16 d\n"},
      {"bulleted and numbered items, indented, the marker left of the first line",
       "<ul><li>one<li>two</ul><ol start=9><li>x<li>y</ol>", 200,
       "B 34,13 4x4\n"
       "T 48,8 24x16 one\n"
       "B 34,29 4x4\n"
       "T 48,24 24x16 two\n"
       "T 26,56 16x16 9.\n"
       "T 48,56 8x16 x\n"
       "T 18,72 24x16 10.\n"
       "T 48,72 8x16 y\n"},
      {"table columns as wide as their widest content when there is room",
       "<table border=1 cellpadding=0 cellspacing=0><tr><td>aa<td>bbbbbbbb</table>", 300,
       "R 8,8 86x20\n"
       "R 9,9 18x18\n"
       "T 10,10 16x16 aa\n"
       "R 27,9 66x18\n"
       "T 28,10 64x16 bbbbbbbb\n"},
      {"a narrow table gives each column its narrowest plus a share of the rest; "
       "short cells sit in the middle of their row",
       "<table cellspacing=0 cellpadding=0><tr><td>aaaa aaaa aaaa<td bgcolor=red>bb</table>", 60,
       "T 8,8 32x16 aaaa\n"
       "T 8,24 32x16 aaaa\n"
       "T 8,40 32x16 aaaa\n"
       "F 52,8 16x48\n"
       "T 52,24 16x16 bb\n"},
      {"a spanning cell widens the columns below it",
       "<table cellspacing=0 cellpadding=0><tr><td colspan=2>aaaaaaaaaa<tr><td>b<td>c</table>", 300,
       "T 8,8 80x16 aaaaaaaaaa\n"
       "T 8,24 8x16 b\n"
       "T 48,24 8x16 c\n"},
      {"pictures at their size or as asked, missing ones sized for their text; "
       "a rule across the room",
       "<img src=pic.bmp><img src=pic2.bmp width=60><img src=gone.bmp alt=abc><hr>", 300,
       "P 8,28 30x20\n"
       "P 38,8 60x40\n"
       "P 98,24 32x24\n"
       "F 8,56 300x1\n"
       "F 8,57 300x1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePort port;
    const Layout layout = LayOut(ReadHtml(c.page), c.width + 16, port, Colors{});
    EXPECT_EQ(Placed(layout), c.placed);
  }
}

TEST(HtmlLayout, FindsLinksAndAnchors) {
  FakePort port;
  const Document document = ReadHtml(
      "<a name=top>x</a> <a href=one.htm>one <b>more</b></a><br><br>"
      "<table><tr><td><a name=cell href=#top>in cell</a></table>");
  const Layout layout = LayOut(document, 316, port, Colors{});
  EXPECT_EQ(layout.AnchorTop("top"), 8);
  EXPECT_EQ(layout.AnchorTop("TOP"), 8);
  EXPECT_EQ(layout.AnchorTop("missing"), std::nullopt);
  // Two lines, then the table: its spacing 2 and padding 1 above the cell.
  EXPECT_EQ(layout.AnchorTop("cell"), 8 + 32 + 3);
  // "x one more": the link runs from x = 24 over "one", the bold blank and
  // the bold "more" (9 pixels a character) to 24 + 24 + 9 + 36.
  EXPECT_EQ(layout.LinkAt(23, 10), -1);
  EXPECT_EQ(layout.LinkAt(24, 10), 0);
  EXPECT_EQ(layout.LinkAt(92, 23), 0);
  EXPECT_EQ(layout.LinkAt(93, 23), -1);
  EXPECT_EQ(layout.LinkAt(24, 24), -1);
  EXPECT_EQ(layout.LinkAt(8 + 2 + 1 + 5, 8 + 32 + 3 + 5), 1);
  EXPECT_EQ(layout.height, 8 + 32 + 2 + 1 + 16 + 1 + 2 + 8);
}

TEST(HtmlLayout, LaysOutAMegabytePageAndPaintsOnlyWhatIsSeen) {
  std::string page = "<title>big</title>";
  int paragraphs = 0;
  while (page.size() < (1u << 20)) {
    page += "<p>Some <b>bold</b> words and <a href=p" + std::to_string(paragraphs) +
            ".htm>a link</a> in a paragraph that wraps over a few lines of the pane, again and "
            "again.<table border=1><tr><td>cell<td>another cell</table><ul><li>item</ul>";
    ++paragraphs;
  }
  FakePort port;
  const Layout layout = LayOut(ReadHtml(page), 480, port, Colors{});
  EXPECT_LE(layout.items.size(), page.size() / 8);
  EXPECT_LE(port.measured, 4);
  EXPECT_GT(layout.height, paragraphs * 100);
  // A screen's worth of the middle of the page is a few dozen items.
  const std::vector<std::uint32_t> seen =
      layout.ItemsIn(layout.height / 2, layout.height / 2 + 400);
  EXPECT_GT(seen.size(), 10u);
  EXPECT_LT(seen.size(), 200u);
  for (const std::uint32_t index : seen) {
    const Box& box = layout.items[index].box;
    EXPECT_LT(box.y, layout.height / 2 + 400);
    EXPECT_GT(box.y + box.height, layout.height / 2);
  }
}

}  // namespace
}  // namespace tavrel::html
