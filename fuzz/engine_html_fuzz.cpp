// Fuzzes the HTML pane's reader and layout (engine/core/html_document,
// html_layout, html_link): the input is read as a page, which must hold
// together (every child knows its parent, every style and link index is in
// range, nesting stays within its bound), then laid out at three widths with
// a fake font and picture port. Every item must refer to fonts, text,
// pictures and links that exist, lie within the page, and be found by the
// band lookup; anchors must lie within the page. The first 200 bytes also
// serve as a link to expand.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/html_document.h"
#include "engine/core/html_layout.h"
#include "engine/core/html_link.h"

namespace {

using namespace tavrel::html;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Characters of varying widths, some of them none; pictures whose source
// starts with 'p' have a size taken from the source, some of it zero.
class FakePort : public LayoutPort {
 public:
  FontMetrics Measure(const FontDescription& font) override {
    FontMetrics metrics;
    for (int c = 0; c < 256; ++c)
      metrics.widths[static_cast<std::size_t>(c)] = (c * 7 + font.size) % 13;
    metrics.height = 3 * font.size + (font.bold ? 2 : 1);
    metrics.ascent = 2 * font.size;
    return metrics;
  }
  std::optional<PictureSize> Picture(const std::string& source) override {
    if (source.empty() || source[0] != 'p') return std::nullopt;
    return PictureSize{static_cast<int>(source.size() * 37 % 300),
                       static_cast<int>(source.size() % 50)};
  }
};

void CheckDocument(const Document& document) {
  Check(!document.nodes.empty() && !document.styles.empty());
  for (const TextStyle& style : document.styles) {
    Check(style.link < static_cast<int>(document.links.size()));
    Check(style.font.size >= 1 && style.font.size <= 7);
  }
  // Walk the tree without recursion, checking parents and depth.
  struct Step {
    std::uint32_t node;
    int depth;
  };
  std::vector<Step> stack{{0, 0}};
  std::size_t seen = 0;
  while (!stack.empty()) {
    const Step step = stack.back();
    stack.pop_back();
    ++seen;
    Check(step.depth <= kMaxHtmlDepth + 2);
    const Node& node = document.nodes[step.node];
    Check(node.style < document.styles.size());
    Check(node.imageStyle < document.styles.size());
    Check(node.colspan >= 1 && node.colspan <= kMaxColumnSpan);
    for (std::uint32_t child = node.firstChild; child != kNoNode;
         child = document.nodes[child].next) {
      Check(child < document.nodes.size());
      Check(document.nodes[child].parent == step.node);
      stack.push_back({child, step.depth + 1});
    }
  }
  Check(seen == document.nodes.size());
}

void CheckLayout(const Document& document, const Layout& layout) {
  Check(layout.height >= 0);
  std::size_t visible = 0;
  for (const DisplayItem& item : layout.items) {
    Check(item.box.width >= 0 && item.box.height >= 0);
    Check(item.box.y >= 0 && item.box.y + item.box.height <= layout.height);
    if (item.kind == ItemKind::kText) {
      Check(item.font >= 0 && static_cast<std::size_t>(item.font) < layout.fonts.size());
      Check(std::size_t{item.textStart} + item.textLength <= layout.text.size());
    }
    if (item.kind == ItemKind::kPicture) {
      Check(item.picture >= 0 && static_cast<std::size_t>(item.picture) < layout.pictures.size());
    }
    Check(item.link < static_cast<int>(document.links.size()));
    if (item.kind == ItemKind::kLink) Check(item.link >= 0);
    if (item.box.width > 0 && item.box.height > 0) ++visible;
  }
  Check(layout.ItemsIn(0, layout.height).size() == visible);
  for (const auto& [name, top] : layout.anchors) Check(top >= 0 && top <= layout.height);
  for (int y = 0; y < layout.height && y < 2000; y += 97) {
    const int link = layout.LinkAt(y % 300, y);
    Check(link >= -1 && link < static_cast<int>(document.links.size()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  const Document document = ReadHtml(page);
  CheckDocument(document);
  FakePort port;
  for (const int width : {0, 150, 640})
    CheckLayout(document, LayOut(document, width, port, Colors{}));

  const std::string_view link = page.substr(0, 200);
  const std::string path = LinkPath(link, "C:\\Setup\\");
  Check(path.find('/') == std::string::npos);
  Check(path.find("\\..\\") == std::string::npos && path.find("\\.\\") == std::string::npos);
  IsLocalLink(link);
  LinkAnchor(link);
  return 0;
}
