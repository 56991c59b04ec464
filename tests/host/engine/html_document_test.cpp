#include "engine/core/html_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::html {
namespace {

// The model as a short text:
//   {...}       a block; "=c"/"=r" alignment, "+40" indent, "*disc"/"*3" a
//               list item's marker, then ":" and its children
//   "text"      a text run, prefixed by its style: b i u m (monospace),
//               s<size>, c<rrggbb>, L<link>
//   |  #name  hr  img(src)
//   T[...]      a table (b<border> p<padding> ...), R(...) a row, C{...} a cell
std::string Dump(const Document& document, std::uint32_t node);

std::string Children(const Document& document, std::uint32_t node) {
  std::string out;
  for (std::uint32_t child = document.Children(node); child != kNoNode;
       child = document.Next(child)) {
    if (!out.empty()) out += ' ';
    out += Dump(document, child);
  }
  return out;
}

std::string StyleText(const TextStyle& style) {
  std::string out;
  if (style.font.bold) out += 'b';
  if (style.font.italic) out += 'i';
  if (style.font.underline) out += 'u';
  if (style.font.monospace) out += 'm';
  if (style.font.size != 3) out += "s" + std::to_string(style.font.size);
  if (!style.font.face.empty()) out += "f" + style.font.face;
  if (style.color) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%06x", *style.color);
    out += std::string("c") + hex;
  }
  if (style.link >= 0) out += "L" + std::to_string(style.link);
  return out;
}

std::string Dump(const Document& document, std::uint32_t index) {
  const Node& node = document.nodes[index];
  switch (node.kind) {
    case NodeKind::kText:
      return StyleText(document.styles[node.style]) + "\"" + node.text + "\"";
    case NodeKind::kBreak:
      return "|";
    case NodeKind::kAnchor:
      return "#" + node.text;
    case NodeKind::kRule:
      return "hr";
    case NodeKind::kImage:
      return "img(" + node.source + ")";
    case NodeKind::kTable:
      return "T" + std::string(node.border ? "b" + std::to_string(node.border) : "") + "[" +
             Children(document, index) + "]";
    case NodeKind::kRow:
      return "R(" + Children(document, index) + ")";
    case NodeKind::kCell: {
      std::string head = "C";
      if (node.colspan > 1) head += std::to_string(node.colspan);
      if (node.background) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06x", *node.background);
        head += std::string("#") + hex;
      }
      return head + "{" + Children(document, index) + "}";
    }
    case NodeKind::kBlock: {
      std::string head;
      if (node.align == Align::kCenter) head += "=c";
      if (node.align == Align::kRight) head += "=r";
      if (node.indent) head += "+" + std::to_string(node.indent);
      if (node.listItem) {
        static const char* const kMarkers[] = {"none", "disc", "circle", "square", ""};
        head += "*" + std::string(kMarkers[static_cast<int>(node.marker)]);
        if (node.marker == Marker::kNumber) head += std::to_string(node.number);
      }
      return "{" + (head.empty() ? "" : head + ":") + Children(document, index) + "}";
    }
  }
  return "?";
}

struct Case {
  const char* name;
  std::string page;
  std::string body;  // the root's children as Dump writes them
  std::vector<std::string> links = {};
  std::string title = "";
  std::optional<MetaRefresh> refresh = std::nullopt;
};

std::string Repeat(const std::string& text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

TEST(HtmlDocument, ReadsPagesIntoTheModel) {
  const std::vector<Case> cases = {
      {"blanks collapse across runs; a hard space stays",
       "<P>Hello&nbsp;&amp;   <b>world</B>\n</p>  after", "{\"Hello\xA0&\" b\" world\"} \"after\""},
      {"references: numbers, names, wide characters as '?', unknown names kept",
       "&#65;&#x42;&#x263A;&#0;&#99999999999;&bogus;&copy;&eacute;&trade;&lt;b&gt;&#67",
       "\"AB???&bogus;\xA9\xE9?<b>C\""},
      {"title and a refresh to another page; head content is not shown",
       "<html><head><TITLE> My &amp;\n Page </title><title>second</title>"
       "<meta http-equiv=\"Refresh\" content=\"5; URL=page2.htm\"></head><body>x</body>",
       "\"x\"",
       {},
       "My & Page",
       MetaRefresh{5, "page2.htm"}},
      {"a refresh with a number only reloads the page; quoted and spaced targets",
       "<meta http-equiv=refresh content='10'><meta http-equiv=refresh content='1;url=b.htm'>",
       "",
       {},
       "",
       MetaRefresh{10, ""}},
      {"a refresh target in quotes",
       "<meta content=\"0 , url = 'sub/c d.htm' \" http-equiv=REFRESH>",
       "",
       {},
       "",
       MetaRefresh{0, "sub/c d.htm"}},
      {"a refresh without a delay is none; a huge delay is bounded",
       "<meta http-equiv=refresh content='soon; url=x'>"
       "<meta http-equiv=refresh content='99999999999999;url=y'>",
       "",
       {},
       "",
       MetaRefresh{2'000'000, "y"}},
      {"script, style and comments show nothing, whatever they hold",
       "a<script>if (a<b) x='</p>';</SCRIPT>b<style>p{}</style>c<!-- <p>x</p> -->d<!DOCTYPE x>e",
       "\"abcde\""},
      {"mis-nested text styles are opened again", "<b>bold<i>both</b>italic</i>plain",
       "b\"bold\" bi\"both\" i\"italic\" \"plain\""},
      {"stray closing tags are ignored", "</div></td></table></li>text</b></a>", "\"text\""},
      {"fonts: face, absolute and relative sizes, colours; big and small bounded",
       "<font face=' Arial , Helvetica' size=+2 color=#FF8000>a<font size=1 color=navy>b"
       "<small>c</small></font></font><big><big><big><big><big>d",
       "s5fArialcff8000\"a\" s1fArialc000080\"bc\" s7\"d\""},
      {"links and anchors; a link's colour is the page's, not the font's around it",
       "<font color=red><a name=top href=\"a.htm#x\">go <b>there</b></a></font>"
       "<a id=end>end</a>",
       "#top uL0\"go\" buL0\" there\" #end \"end\"",
       {"a.htm#x"}},
      {"a quote left open ends at the tag's end",
       "<a href=\"x.htm>link</a> after <img src='pic.bmp alt=x>",
       "uL0\"link\" \" after \" img(pic.bmp alt=x)",
       {"x.htm"}},
      {"a tag cut off by the end of the page shows nothing", "text<b unfinished", "\"text\""},
      {"a '<' that starts no tag is text", "a < b <3 </ >c", "\"a < b <3 c\""},
      {"paragraphs close each other and at blocks; headings",
       "<p align=center>one<p>two<h2>head</h2>tail",
       "{=c:\"one\"} {\"two\"} {bs5\"head\"} \"tail\""},
      {"nested lists with markers and numbers",
       "<ul><li>a<li>b<ul><li>c</ul></ul><ol start=3><li>d<li value=9>e<li>f</ol>",
       "{+40:{*disc:\"a\"} {*disc:\"b\" {+40:{*circle:\"c\"}}}} "
       "{+40:{*3:\"d\"} {*9:\"e\"} {*10:\"f\"}}"},
      {"definition lists", "<dl><dt>term<dd>meaning<dt>next</dl>",
       "{{\"term\"} {+40:\"meaning\"} {\"next\"}}"},
      {"pre keeps blanks and lines; tabs to columns of eight; the first line break goes",
       "<pre>\n a  b\n\tc\r\n</pre>", "{m\" a  b\" | m\"        c\" |}"},
      {"breaks, rules and centred content", "a<br>b<hr><center>c</center>",
       "\"a\" | \"b\" hr {=c:\"c\"}"},
      {"tables: rows, cells, spans, colours; cells end at the next cell or row",
       "<table border=2><tr><td colspan=2 bgcolor=red>a<td>b<tr><th>h</table>after",
       "Tb2[R(C2#ff0000{\"a\"} C{\"b\"}) R(C{b\"h\"})] \"after\""},
      {"content outside cells goes into cells made for it; cells outside tables are ignored",
       "<td>x</td><table>junk<td>y</table><table><tr>  <tr><td>z",
       "\"x\" T[R(C{\"junk\"} C{\"y\"})] T[R() R(C{\"z\"})]"},
      {"nested tables close the inner one first",
       "<table><tr><td><table><tr><td>in</table>out<td>next</table>",
       "T[R(C{T[R(C{\"in\"})] \"out\"} C{\"next\"})]"},
      {"deep nesting is flattened at the limit",
       Repeat("<div>", 5000) + "x" + Repeat("</div>", 5000) + "y",
       Repeat("{", kMaxHtmlDepth - 1) + "\"x\"" + Repeat("}", kMaxHtmlDepth - 1) + " \"y\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Document document = ReadHtml(c.page);
    EXPECT_EQ(Children(document, 0), c.body);
    EXPECT_EQ(document.links, c.links);
    EXPECT_EQ(document.title, c.title);
    ASSERT_EQ(document.refresh.has_value(), c.refresh.has_value());
    if (c.refresh) {
      EXPECT_EQ(document.refresh->delaySeconds, c.refresh->delaySeconds);
      EXPECT_EQ(document.refresh->url, c.refresh->url);
    }
  }
}

TEST(HtmlDocument, ReadsBodyColoursAndColourNames) {
  const Document document =
      ReadHtml("<body bgcolor=\"#fffff0\" text=Maroon link=0a0B0c><body bgcolor=black>");
  EXPECT_EQ(document.background, 0xFFFFF0u);
  EXPECT_EQ(document.textColor, 0x800000u);
  EXPECT_EQ(document.linkColor, 0x0A0B0Cu);
  EXPECT_EQ(ParseHtmlColor("#abc"), 0xAABBCCu);
  EXPECT_EQ(ParseHtmlColor(" aqua "), 0x00FFFFu);
  EXPECT_EQ(ParseHtmlColor("#12345"), std::nullopt);
  EXPECT_EQ(ParseHtmlColor("#ggg"), std::nullopt);
  EXPECT_EQ(ParseHtmlColor("sunset"), std::nullopt);
}

// Pages made to defeat a reader: each is read whole into a bounded model.
// (Its speed is the benchmark's and the fuzzer's concern.)
TEST(HtmlDocument, ReadsHostilePagesIntoABoundedModel) {
  constexpr int kCount = 20'000;
  const std::vector<std::pair<const char*, std::string>> pages = {
      {"quotes left open", Repeat("<a href=\"x ", kCount)},
      {"single quotes left open", Repeat("<img alt='y ", kCount)},
      {"comments never closed", Repeat("<!-- ", kCount)},
      {"scripts never closed", Repeat("<script>", kCount)},
      {"titles never closed", Repeat("<title>x", kCount)},
      {"styles opened without end", Repeat("<b><i><font size=+1>", kCount)},
      {"mis-nested ends", Repeat("<b><i><u>x</b>", kCount)},
      {"tables in cells", Repeat("<table><tr><td>", kCount)},
      {"lists in items", Repeat("<ul><li>", kCount)},
      {"references", Repeat("&#x1234567890", kCount)},
      {"text", Repeat("word ", kCount * 4)},
      {"more elements than are read", Repeat("<br>", static_cast<int>(kMaxHtmlNodes) + 1000)},
  };
  for (const auto& [name, page] : pages) {
    SCOPED_TRACE(name);
    const Document document = ReadHtml(page);
    EXPECT_LE(document.nodes.size(), std::min(page.size(), kMaxHtmlNodes + 4));
    EXPECT_LE(document.styles.size(), 64u);
  }
}

}  // namespace
}  // namespace tavrel::html
