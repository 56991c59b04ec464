#include "engine/core/html_layout.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/ascii_case.h"

namespace tavrel::html {
namespace {

constexpr int kListMarkerGap = 6;
constexpr int kMaxWidth = 1 << 20;  // keeps sums of widths far from overflow
constexpr Rgb kBorderColor = 0x808080;
constexpr Rgb kRuleShadow = 0xA0A0A0;
constexpr Rgb kRuleLight = 0xE8E8E8;

int Clamp(long long value) {
  return static_cast<int>(std::clamp<long long>(value, 0, kMaxWidth));
}

struct MinMax {
  int min = 0;
  int max = 0;
};

class Engine {
 public:
  Engine(const Document& document, LayoutPort& port, const Colors& colors)
      : document_(document), port_(port), minMax_(document.nodes.size()) {
    textColor_ = document.textColor.value_or(colors.text);
    linkColor_ = document.linkColor.value_or(colors.link);
    layout_.background = document.background.value_or(colors.background);
  }

  Layout Run(int width, int margin) {
    margin = std::clamp(margin, 0, 100);
    width = std::clamp(width, 0, kMaxWidth);
    unit_ = Style(0).metrics->height;
    int y = margin;
    right_ = 0;
    const int room = std::max(0, width - 2 * margin);
    Flow(0, margin, room, Align::kLeft, y);
    y = std::max(y, margin);
    layout_.height = y + margin;
    layout_.width = std::max(width, right_ + margin);
    BuildBands();
    return std::move(layout_);
  }

 private:
  struct StyleInfo {
    int font = -1;
    const FontMetrics* metrics = nullptr;
    Rgb color = 0;
  };

  // ---- fonts and styles

  const StyleInfo& Style(std::uint32_t style) {
    if (styles_.size() < document_.styles.size()) styles_.resize(document_.styles.size());
    StyleInfo& info = styles_[style];
    if (info.metrics != nullptr) return info;
    const TextStyle& text = document_.styles[style];
    const FontDescription& font = text.font;
    const auto [it, added] =
        fontIndex_.try_emplace(FontKey(font), static_cast<int>(layout_.fonts.size()));
    if (added) {
      layout_.fonts.push_back(font);
      FontMetrics metrics = port_.Measure(font);
      metrics.height = std::clamp(metrics.height, 1, 1000);
      metrics.ascent = std::clamp(metrics.ascent, 0, metrics.height);
      for (int& w : metrics.widths) w = std::clamp(w, 0, 1000);
      metrics_.push_back(std::make_unique<FontMetrics>(metrics));
    }
    info.font = it->second;
    info.metrics = metrics_[static_cast<std::size_t>(it->second)].get();
    info.color = text.color ? *text.color : (text.link >= 0 ? linkColor_ : textColor_);
    return info;
  }

  static int Width(const FontMetrics& metrics, std::string_view text) {
    long long width = 0;
    for (const char c : text) width += metrics.widths[static_cast<unsigned char>(c)];
    return Clamp(width);
  }

  // ---- pictures

  PictureSize ImageSize(std::uint32_t node, int room) {
    const Node& image = document_.nodes[node];
    auto found = natural_.find(node);
    if (found == natural_.end()) {
      found = natural_.emplace(node, port_.Picture(image.source)).first;
    }
    const std::optional<PictureSize>& natural = found->second;
    int width =
        image.width.percent ? Clamp(1LL * room * image.width.value / 100) : image.width.value;
    int height = image.height.value;
    if (natural && natural->width > 0 && natural->height > 0) {
      if (width == 0 && height == 0) {
        width = natural->width;
        height = natural->height;
      } else if (width == 0) {
        width = Clamp(1LL * natural->width * height / natural->height);
      } else if (height == 0) {
        height = Clamp(1LL * natural->height * width / natural->width);
      }
    } else {
      const FontMetrics& metrics = *Style(image.imageStyle).metrics;
      if (width == 0) width = std::max(24, Width(metrics, image.text) + 8);
      if (height == 0) height = std::max(24, metrics.height + 8);
    }
    width = std::clamp(width, 1, 10000);
    height = std::clamp(height, 1, 10000);
    return {width + 2 * image.border, height + 2 * image.border};
  }

  bool PictureMissing(std::uint32_t node) const {
    const auto found = natural_.find(node);
    return found == natural_.end() || !found->second;
  }

  // ---- widths for tables

  // The narrowest a box's content can be laid out (its widest word or
  // picture) and its width on lines broken only where it asks.
  MinMax Measure(std::uint32_t node) {
    if (minMax_[node]) return *minMax_[node];
    MinMax result;
    if (document_.nodes[node].kind == NodeKind::kTable) {
      result = TableMinMax(node);
    } else {
      long long line = 0;
      const auto endLine = [&] {
        result.max = std::max(result.max, Clamp(line));
        line = 0;
      };
      for (std::uint32_t child = document_.Children(node); child != kNoNode;
           child = document_.Next(child)) {
        const Node& c = document_.nodes[child];
        switch (c.kind) {
          case NodeKind::kText: {
            const FontMetrics& metrics = *Style(c.style).metrics;
            if (c.preformatted) {
              const int width = Width(metrics, c.text);
              result.min = std::max(result.min, Clamp(line + width));
              line += width;
              break;
            }
            std::size_t at = 0;
            while (at < c.text.size()) {
              const std::size_t end = std::min(c.text.find(' ', at), c.text.size());
              const int word = Width(metrics, std::string_view(c.text).substr(at, end - at));
              result.min = std::max(result.min, word);
              line += word;
              if (end < c.text.size()) line += metrics.widths[' '];
              at = end + 1;
            }
            break;
          }
          case NodeKind::kImage: {
            const int width = c.width.percent ? 0 : ImageSize(child, 0).width;
            result.min = std::max(result.min, width);
            line += width;
            break;
          }
          case NodeKind::kBreak:
            endLine();
            break;
          case NodeKind::kBlock:
          case NodeKind::kTable: {
            endLine();
            const MinMax inner = Measure(child);
            result.min = std::max(result.min, Clamp(1LL * inner.min + c.indent));
            result.max = std::max(result.max, Clamp(1LL * inner.max + c.indent));
            break;
          }
          case NodeKind::kRule:
            endLine();
            if (!c.width.percent) result.min = std::max(result.min, c.width.value);
            break;
          default:
            break;
        }
      }
      endLine();
      result.max = std::max(result.max, result.min);
    }
    minMax_[node] = result;
    return result;
  }

  struct Cell {
    std::uint32_t node = 0;
    int column = 0;
    int span = 1;
    // Placed during layout.
    int x = 0;
    int width = 0;
    int contentHeight = 0;
    std::size_t firstItem = 0;
    std::size_t endItem = 0;
    std::size_t firstAnchor = 0;
    std::size_t endAnchor = 0;
    std::size_t background = SIZE_MAX;  // the fill item made before the content
    std::size_t frame = SIZE_MAX;
  };
  struct Row {
    std::uint32_t node = 0;
    std::vector<Cell> cells;
  };
  struct Grid {
    std::vector<Row> rows;
    int columns = 0;
    std::vector<int> min;
    std::vector<int> max;
    int frame = 0;  // each cell's frame: 1 in tables with a border
  };

  Grid GridOf(std::uint32_t table) {
    Grid grid;
    const Node& t = document_.nodes[table];
    grid.frame = t.border > 0 ? 1 : 0;
    for (std::uint32_t row = document_.Children(table); row != kNoNode; row = document_.Next(row)) {
      if (document_.nodes[row].kind != NodeKind::kRow) continue;
      Row r;
      r.node = row;
      int column = 0;
      for (std::uint32_t cell = document_.Children(row); cell != kNoNode;
           cell = document_.Next(cell)) {
        if (document_.nodes[cell].kind != NodeKind::kCell) continue;
        const int span = std::clamp(document_.nodes[cell].colspan, 1, kMaxColumnSpan);
        r.cells.push_back(Cell{cell, column, span});
        column += span;
      }
      grid.columns = std::max(grid.columns, column);
      grid.rows.push_back(std::move(r));
    }
    grid.min.assign(static_cast<std::size_t>(grid.columns), 0);
    grid.max.assign(static_cast<std::size_t>(grid.columns), 0);
    const int extra = 2 * (t.padding + grid.frame);
    // Single cells first, then the spanning ones spread what their columns lack.
    for (const bool spanning : {false, true}) {
      for (const Row& row : grid.rows) {
        for (const Cell& cell : row.cells) {
          if ((cell.span > 1) != spanning) continue;
          const Node& c = document_.nodes[cell.node];
          MinMax content = Measure(cell.node);
          if (c.width.value > 0 && !c.width.percent) {
            content.max = std::max(content.min, c.width.value);
            content.min = std::max(content.min, std::min(c.width.value, content.max));
          }
          const int cellMin = Clamp(1LL * content.min + extra);
          const int cellMax = Clamp(1LL * content.max + extra);
          Spread(grid.min, cell.column, cell.span, cellMin, t.spacing);
          Spread(grid.max, cell.column, cell.span, cellMax, t.spacing);
        }
      }
    }
    for (std::size_t i = 0; i < grid.max.size(); ++i)
      grid.max[i] = std::max(grid.max[i], grid.min[i]);
    return grid;
  }

  // Widens columns [first, first + span) evenly so that together with the
  // spacing between them they are at least need wide.
  static void Spread(std::vector<int>& widths, int first, int span, int need, int spacing) {
    long long have = 1LL * spacing * (span - 1);
    for (int i = first; i < first + span; ++i) have += widths[static_cast<std::size_t>(i)];
    if (have >= need) return;
    const long long lack = need - have;
    for (int i = 0; i < span; ++i) {
      const long long share = lack / span + (i < lack % span ? 1 : 0);
      int& width = widths[static_cast<std::size_t>(first + i)];
      width = Clamp(width + share);
    }
  }

  static long long Sum(const std::vector<int>& values) {
    long long sum = 0;
    for (const int value : values) sum += value;
    return sum;
  }

  int Chrome(const Node& table, int columns) const {
    return Clamp(2LL * table.border + 1LL * (columns + 1) * table.spacing);
  }

  MinMax TableMinMax(std::uint32_t table) {
    const Grid grid = GridOf(table);
    const Node& t = document_.nodes[table];
    const int chrome = Chrome(t, grid.columns);
    MinMax result{Clamp(Sum(grid.min) + chrome), Clamp(Sum(grid.max) + chrome)};
    if (t.width.value > 0 && !t.width.percent) {
      result.min = std::max(result.min, t.width.value);
      result.max = result.min;
    }
    return result;
  }

  // ---- placing

  struct Piece {
    enum class Kind { kText, kPicture, kAnchor } kind = Kind::kText;
    int x = 0;
    int width = 0;
    int ascent = 0;
    int descent = 0;
    std::uint32_t style = 0;
    std::string_view text;
    std::uint32_t node = 0;
  };

  struct PendingMarker {
    bool active = false;
    Marker marker = Marker::kNone;
    int number = 0;
    std::uint32_t style = 0;
    int x = 0;
  };

  // The lines of one box's inline content.
  class Lines {
   public:
    Lines(Engine& engine, int x, int width, Align align, int& y)
        : engine_(engine), x_(x), width_(width), align_(align), y_(y) {}

    void Text(const Node& node) {
      const StyleInfo& style = engine_.Style(node.style);
      const FontMetrics& metrics = *style.metrics;
      const std::string_view text = node.text;
      if (node.preformatted) {
        Add(Piece{Piece::Kind::kText, 0, Width(metrics, text), metrics.ascent,
                  metrics.height - metrics.ascent, node.style, text, 0},
            false);
        return;
      }
      const int space = metrics.widths[' '];
      std::size_t at = 0;
      while (at < text.size()) {
        const bool blank = text[at] == ' ';
        if (blank) ++at;
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end == at) continue;
        const std::string_view word = text.substr(at, end - at);
        const int width = Width(metrics, word);
        Piece piece{
            Piece::Kind::kText, 0,    width, metrics.ascent, metrics.height - metrics.ascent,
            node.style,         word, 0};
        if (blank && !pieces_.empty()) {
          // The blank stays on this line only when the word does too.
          if (lineWidth_ + space + width <= width_) {
            Piece& last = pieces_.back();
            if (last.kind == Piece::Kind::kText && last.style == node.style &&
                last.text.data() + last.text.size() + 1 == word.data()) {
              last.text = std::string_view(last.text.data(), last.text.size() + 1 + word.size());
              last.width += space + width;
              lineWidth_ += space + width;
              at = end;
              continue;
            }
            lineWidth_ += space;
          }
        }
        Add(piece, true);
        at = end;
      }
    }

    void Picture(std::uint32_t node) {
      const Node& image = engine_.document_.nodes[node];
      const PictureSize size = engine_.ImageSize(node, width_);
      const FontMetrics& metrics = *engine_.Style(image.imageStyle).metrics;
      Piece piece{Piece::Kind::kPicture, 0, size.width, size.height, 0, image.imageStyle, {}, node};
      if (image.valign == VAlign::kTop) {
        piece.ascent = metrics.ascent;
      } else if (image.valign == VAlign::kMiddle) {
        piece.ascent = (size.height + metrics.ascent) / 2;
      }
      piece.ascent = std::min(piece.ascent, size.height);
      piece.descent = size.height - piece.ascent;
      Add(piece, true);
    }

    void Anchor(const Node& node) {
      Piece piece;
      piece.kind = Piece::Kind::kAnchor;
      piece.text = node.text;
      pieces_.push_back(piece);
    }

    void Break(const Node& node) {
      if (Visible()) {
        Finish();
        return;
      }
      // An empty line: as high as its text would be.
      const FontMetrics& metrics = *engine_.Style(node.style).metrics;
      Finish(metrics.height);
    }

    // Ends the last line.
    void Flush() {
      if (!pieces_.empty()) Finish();
    }

   private:
    bool Visible() const {
      return std::any_of(pieces_.begin(), pieces_.end(),
                         [](const Piece& p) { return p.kind != Piece::Kind::kAnchor; });
    }

    // breakable: a line may end before it.
    void Add(Piece piece, bool breakable) {
      if (breakable && Visible() && lineWidth_ + piece.width > width_) Finish();
      piece.x = lineWidth_;
      lineWidth_ += piece.width;
      pieces_.push_back(piece);
    }

    void Finish(int emptyHeight = 0) {
      engine_.Place();
      int ascent = 0;
      int descent = 0;
      for (const Piece& piece : pieces_) {
        ascent = std::max(ascent, piece.ascent);
        descent = std::max(descent, piece.descent);
      }
      int height = ascent + descent;
      if (height == 0) height = emptyHeight;
      // Blanks at the line's end take no room.
      int width = lineWidth_;
      int shift = 0;
      const Align align = align_ == Align::kInherit ? Align::kLeft : align_;
      if (align == Align::kCenter) shift = std::max(0, (width_ - width) / 2);
      if (align == Align::kRight) shift = std::max(0, width_ - width);
      const int top = y_;
      if (height > 0) engine_.EmitMarker(top, ascent);
      for (const Piece& piece : pieces_) {
        const int x = x_ + shift + piece.x;
        switch (piece.kind) {
          case Piece::Kind::kText:
            engine_.EmitText(piece, x, top + ascent);
            break;
          case Piece::Kind::kPicture:
            engine_.EmitPicture(piece, x, top + ascent - piece.ascent);
            break;
          case Piece::Kind::kAnchor:
            engine_.layout_.anchors.emplace_back(std::string(piece.text), top);
            break;
        }
      }
      engine_.right_ = std::max(engine_.right_, x_ + shift + width);
      y_ = top + height;
      pieces_.clear();
      lineWidth_ = 0;
    }

    Engine& engine_;
    int x_;
    int width_;
    Align align_;
    int& y_;
    std::vector<Piece> pieces_;
    int lineWidth_ = 0;
  };

  // Applies the vertical space asked for before what is placed next.
  void Place() {
    if (placed_) y_ += pendingSpace_;
    pendingSpace_ = 0;
    placed_ = true;
  }
  void AskSpace(int lines) { pendingSpace_ = std::max(pendingSpace_, lines * unit_); }

  void EmitText(const Piece& piece, int x, int baseline) {
    const StyleInfo& style = Style(piece.style);
    DisplayItem item;
    item.kind = ItemKind::kText;
    item.box = {x, baseline - style.metrics->ascent, piece.width, style.metrics->height};
    item.color = style.color;
    item.font = style.font;
    item.ascent = style.metrics->ascent;
    item.link = document_.styles[piece.style].link;
    item.textStart = static_cast<std::uint32_t>(layout_.text.size());
    item.textLength = static_cast<std::uint32_t>(piece.text.size());
    layout_.text.append(piece.text);
    layout_.items.push_back(item);
    if (item.link >= 0) EmitLink(item.box, item.link);
  }

  void EmitPicture(const Piece& piece, int x, int top) {
    const Node& image = document_.nodes[piece.node];
    const int border = image.border;
    DisplayItem item;
    item.kind = ItemKind::kPicture;
    item.box = {x + border, top + border, piece.width - 2 * border,
                piece.ascent + piece.descent - 2 * border};
    item.link = document_.styles[image.imageStyle].link;
    item.color = Style(image.imageStyle).color;
    item.font = Style(image.imageStyle).font;
    item.picture = static_cast<int>(layout_.pictures.size());
    layout_.pictures.push_back({image.source, image.text, PictureMissing(piece.node)});
    layout_.items.push_back(item);
    if (border > 0) {
      DisplayItem frame;
      frame.kind = ItemKind::kFrame;
      frame.box = {x, top, piece.width, piece.ascent + piece.descent};
      frame.color = item.color;
      frame.thickness = border;
      layout_.items.push_back(frame);
    }
    if (item.link >= 0) EmitLink({x, top, piece.width, piece.ascent + piece.descent}, item.link);
  }

  void EmitLink(const Box& box, int link) {
    // A link going on from the one just before on the same line widens its
    // area (the item just before is the text or picture itself).
    const std::size_t count = layout_.items.size();
    if (count >= 3) {
      DisplayItem& last = layout_.items[count - 2];
      if (last.kind == ItemKind::kLink && last.link == link && last.box.y == box.y &&
          last.box.height == box.height && last.box.x + last.box.width <= box.x) {
        last.box.width = box.x + box.width - last.box.x;
        return;
      }
    }
    DisplayItem item;
    item.kind = ItemKind::kLink;
    item.box = box;
    item.link = link;
    layout_.items.push_back(item);
  }

  void EmitFill(const Box& box, Rgb color) {
    DisplayItem item;
    item.kind = ItemKind::kFill;
    item.box = box;
    item.color = color;
    layout_.items.push_back(item);
  }

  // The marker of a list item, on the line whose top and ascent are given.
  void EmitMarker(int top, int lineAscent) {
    if (!marker_.active) return;
    marker_.active = false;
    if (marker_.marker == Marker::kNone) return;
    const StyleInfo& style = Style(marker_.style);
    const FontMetrics& metrics = *style.metrics;
    const int baseline = top + lineAscent;
    if (marker_.marker == Marker::kNumber) {
      const std::string number = std::to_string(marker_.number) + ".";
      DisplayItem item;
      item.kind = ItemKind::kText;
      const int width = Width(metrics, number);
      item.box = {marker_.x - kListMarkerGap - width, baseline - metrics.ascent, width,
                  metrics.height};
      item.color = style.color;
      item.font = style.font;
      item.ascent = metrics.ascent;
      item.textStart = static_cast<std::uint32_t>(layout_.text.size());
      item.textLength = static_cast<std::uint32_t>(number.size());
      layout_.text += number;
      layout_.items.push_back(item);
      return;
    }
    const int size = std::max(4, metrics.ascent / 3);
    DisplayItem item;
    item.kind = ItemKind::kBullet;
    item.marker = marker_.marker;
    item.box = {marker_.x - kListMarkerGap - size - 4, baseline - metrics.ascent / 3 - size / 2 - 1,
                size, size};
    item.color = style.color;
    layout_.items.push_back(item);
  }

  // Lays out the content of a box at x, width wide, from y down.
  void Flow(std::uint32_t node, int x, int width, Align align, int& y) {
    Lines lines(*this, x, width, align, y_);
    y_ = y;
    for (std::uint32_t child = document_.Children(node); child != kNoNode;
         child = document_.Next(child)) {
      const Node& c = document_.nodes[child];
      switch (c.kind) {
        case NodeKind::kText:
          lines.Text(c);
          break;
        case NodeKind::kImage:
          lines.Picture(child);
          break;
        case NodeKind::kAnchor:
          lines.Anchor(c);
          break;
        case NodeKind::kBreak:
          lines.Break(c);
          break;
        case NodeKind::kBlock:
          lines.Flush();
          Block(child, x, width, align);
          break;
        case NodeKind::kRule:
          lines.Flush();
          Rule(c, x, width);
          break;
        case NodeKind::kTable:
          lines.Flush();
          Table(child, x, width, c.align == Align::kInherit ? align : c.align);
          break;
        default:
          break;  // rows and cells outside their table
      }
    }
    lines.Flush();
    y = y_;
  }

  void Block(std::uint32_t node, int x, int width, Align align) {
    const Node& block = document_.nodes[node];
    AskSpace(block.marginTop);
    if (block.listItem) StartItem(block, x);
    const int indent = std::min(block.indent, width / 2);
    int y = y_;
    Flow(node, x + indent, width - indent, block.align == Align::kInherit ? align : block.align, y);
    y_ = y;
    if (marker_.active && block.listItem) {
      // An item with nothing on a line still shows its marker.
      Place();
      const FontMetrics& metrics = *Style(marker_.style).metrics;
      EmitMarker(y_, metrics.ascent);
      y_ += metrics.height;
    }
    AskSpace(block.marginBottom);
  }

  void StartItem(const Node& item, int x) {
    if (marker_.active) {
      // The enclosing item had nothing on a line yet: its marker goes here.
      Place();
      const FontMetrics& metrics = *Style(marker_.style).metrics;
      EmitMarker(y_, metrics.ascent);
      y_ += metrics.height;
    }
    marker_ = {true, item.marker, item.number, FirstStyle(item), x};
  }

  // The style of an item's marker: that of its first text, else the item's.
  std::uint32_t FirstStyle(const Node& item) const {
    for (std::uint32_t child = item.firstChild; child != kNoNode; child = document_.Next(child)) {
      const Node& c = document_.nodes[child];
      if (c.kind == NodeKind::kText || c.kind == NodeKind::kBreak) return c.style;
      if (c.kind != NodeKind::kAnchor) break;
    }
    return 0;
  }

  void Rule(const Node& rule, int x, int width) {
    AskSpace(1);
    pendingSpace_ /= 2;
    Place();
    int length = rule.width.percent ? Clamp(1LL * width * rule.width.value / 100)
                                    : (rule.width.value > 0 ? rule.width.value : width);
    length = std::min(length, std::max(width, 0));
    int left = x;
    const Align align = rule.align == Align::kInherit ? Align::kCenter : rule.align;
    if (align == Align::kCenter) left += (width - length) / 2;
    if (align == Align::kRight) left += width - length;
    const int size = std::max(1, rule.border);
    if (rule.noShade) {
      EmitFill({left, y_, length, size}, kRuleShadow);
    } else {
      const int upper = (size + 1) / 2;
      EmitFill({left, y_, length, upper}, kRuleShadow);
      if (size > upper) EmitFill({left, y_ + upper, length, size - upper}, kRuleLight);
    }
    y_ += size;
    right_ = std::max(right_, left + length);
    AskSpace(1);
    pendingSpace_ /= 2;
  }

  void Table(std::uint32_t table, int x, int room, Align align) {
    const Node& t = document_.nodes[table];
    Grid grid = GridOf(table);
    const int chrome = Chrome(t, grid.columns);
    const long long sumMin = Sum(grid.min);
    const long long sumMax = Sum(grid.max);
    std::vector<int> widths = grid.max;
    long long target = -1;
    if (t.width.value > 0) {
      target = t.width.percent ? 1LL * room * t.width.value / 100 : t.width.value;
    }
    const long long available = (target >= 0 ? target : room) - chrome;
    if (target >= 0 && available >= sumMax) {
      // A table wider than its content gives the rest to its columns by their widths.
      const long long extra = available - sumMax;
      for (std::size_t i = 0; i < widths.size(); ++i) {
        const long long share = sumMax > 0 ? extra * grid.max[i] / sumMax
                                           : extra / static_cast<long long>(widths.size());
        widths[i] = Clamp(grid.max[i] + share);
      }
    } else if (available >= sumMax) {
      widths = grid.max;
    } else if (available <= sumMin) {
      widths = grid.min;
    } else {
      const long long spare = available - sumMin;
      for (std::size_t i = 0; i < widths.size(); ++i) {
        widths[i] = Clamp(grid.min[i] + (grid.max[i] - grid.min[i]) * spare / (sumMax - sumMin));
      }
    }
    const int tableWidth = Clamp(Sum(widths) + chrome);
    int left = x;
    if (align == Align::kCenter) left += std::max(0, (room - tableWidth) / 2);
    if (align == Align::kRight) left += std::max(0, room - tableWidth);

    Place();
    if (marker_.active) EmitMarker(y_, Style(marker_.style).metrics->ascent);
    const int top = y_;
    const std::size_t tableFill = t.background ? Reserve() : SIZE_MAX;
    const std::size_t tableFrame = t.border > 0 ? Reserve() : SIZE_MAX;

    // Column positions.
    std::vector<int> columnX(widths.size() + 1);
    int at = left + t.border + t.spacing;
    for (std::size_t i = 0; i < widths.size(); ++i) {
      columnX[i] = at;
      at = Clamp(1LL * at + widths[i] + t.spacing);
    }
    columnX[widths.size()] = at;

    int rowTop = top + t.border + t.spacing;
    for (Row& row : grid.rows) {
      const Node& r = document_.nodes[row.node];
      int rowHeight = 0;
      for (Cell& cell : row.cells) {
        const Node& c = document_.nodes[cell.node];
        const auto first = static_cast<std::size_t>(cell.column);
        const auto last = static_cast<std::size_t>(cell.column + cell.span);
        cell.x = columnX[first];
        cell.width = std::max(0, columnX[last] - t.spacing - cell.x);
        const std::optional<Rgb> background = c.background ? c.background : r.background;
        if (background) {
          cell.background = Reserve();
          layout_.items[cell.background].color = *background;
        }
        if (grid.frame > 0) cell.frame = Reserve();
        cell.firstItem = layout_.items.size();
        cell.firstAnchor = layout_.anchors.size();
        const int inset = t.padding + grid.frame;
        const Align cellAlign =
            c.align != Align::kInherit ? c.align : (c.header ? Align::kCenter : Align::kLeft);
        // A cell starts a fresh flow: no space carried in or out of it.
        const int savedSpace = std::exchange(pendingSpace_, 0);
        const bool savedPlaced = std::exchange(placed_, false);
        const PendingMarker savedMarker = std::exchange(marker_, PendingMarker{});
        int y = rowTop + inset;
        Flow(cell.node, cell.x + inset, std::max(0, cell.width - 2 * inset), cellAlign, y);
        pendingSpace_ = savedSpace;
        placed_ = savedPlaced;
        marker_ = savedMarker;
        cell.contentHeight = y - (rowTop + inset);
        cell.endItem = layout_.items.size();
        cell.endAnchor = layout_.anchors.size();
        rowHeight = std::max(rowHeight, cell.contentHeight + 2 * inset);
      }
      for (Cell& cell : row.cells) {
        const Node& c = document_.nodes[cell.node];
        const int inset = t.padding + grid.frame;
        const int slack = rowHeight - 2 * inset - cell.contentHeight;
        const int shift = c.valign == VAlign::kTop      ? 0
                          : c.valign == VAlign::kBottom ? slack
                                                        : slack / 2;
        if (shift > 0) {
          for (std::size_t i = cell.firstItem; i < cell.endItem; ++i)
            layout_.items[i].box.y += shift;
          for (std::size_t i = cell.firstAnchor; i < cell.endAnchor; ++i) {
            layout_.anchors[i].second += shift;
          }
        }
        const Box box{cell.x, rowTop, cell.width, rowHeight};
        if (cell.background != SIZE_MAX) Fill(cell.background, ItemKind::kFill, box);
        if (cell.frame != SIZE_MAX) {
          Fill(cell.frame, ItemKind::kFrame, box);
          layout_.items[cell.frame].color = kBorderColor;
        }
      }
      rowTop = Clamp(1LL * rowTop + rowHeight + t.spacing);
    }
    const int height = Clamp(1LL * rowTop - top + t.border);
    const Box box{left, top, tableWidth, height};
    if (tableFill != SIZE_MAX) {
      Fill(tableFill, ItemKind::kFill, box);
      layout_.items[tableFill].color = *t.background;
    }
    if (tableFrame != SIZE_MAX) {
      Fill(tableFrame, ItemKind::kFrame, box);
      layout_.items[tableFrame].color = kBorderColor;
      layout_.items[tableFrame].thickness = t.border;
    }
    y_ = top + height;
    right_ = std::max(right_, left + tableWidth);
  }

  // An item whose box is known only later; it paints before what follows it.
  std::size_t Reserve() {
    DisplayItem item;
    item.kind = ItemKind::kFill;
    layout_.items.push_back(item);
    return layout_.items.size() - 1;
  }
  void Fill(std::size_t index, ItemKind kind, const Box& box) {
    layout_.items[index].kind = kind;
    layout_.items[index].box = box;
  }

  void BuildBands() {
    const int bands = layout_.height / Layout::kBandHeight + 1;
    layout_.bands.assign(static_cast<std::size_t>(bands), {});
    for (std::size_t i = 0; i < layout_.items.size(); ++i) {
      const Box& box = layout_.items[i].box;
      if (box.width <= 0 || box.height <= 0) continue;
      const int first = std::clamp(box.y / Layout::kBandHeight, 0, bands - 1);
      const int last = std::clamp((box.y + box.height - 1) / Layout::kBandHeight, 0, bands - 1);
      for (int band = first; band <= last; ++band) {
        layout_.bands[static_cast<std::size_t>(band)].push_back(static_cast<std::uint32_t>(i));
      }
    }
  }

  const Document& document_;
  LayoutPort& port_;
  Layout layout_;
  Rgb textColor_ = 0;
  Rgb linkColor_ = 0;
  std::vector<StyleInfo> styles_;
  std::unordered_map<std::string, int> fontIndex_;
  std::vector<std::unique_ptr<FontMetrics>> metrics_;
  std::unordered_map<std::uint32_t, std::optional<PictureSize>> natural_;
  std::vector<std::optional<MinMax>> minMax_;
  PendingMarker marker_;
  int unit_ = 16;  // the height of a line of normal text
  int y_ = 0;
  int right_ = 0;
  int pendingSpace_ = 0;
  bool placed_ = false;
};

}  // namespace

std::vector<std::uint32_t> Layout::ItemsIn(int top, int bottom) const {
  std::vector<std::uint32_t> found;
  if (bands.empty() || bottom <= top) return found;
  const int last = static_cast<int>(bands.size()) - 1;
  const int first = std::clamp(top / kBandHeight, 0, last);
  const int end = std::clamp((bottom - 1) / kBandHeight, 0, last);
  for (int band = first; band <= end; ++band) {
    for (const std::uint32_t index : bands[static_cast<std::size_t>(band)]) {
      const Box& box = items[index].box;
      if (box.y < bottom && box.y + box.height > top) found.push_back(index);
    }
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

int Layout::LinkAt(int x, int y) const {
  int link = -1;
  for (const std::uint32_t index : ItemsIn(y, y + 1)) {
    const DisplayItem& item = items[index];
    if (item.kind == ItemKind::kLink && item.box.Contains(x, y)) link = item.link;
  }
  return link;
}

std::optional<int> Layout::AnchorTop(std::string_view name) const {
  for (const auto& [anchor, top] : anchors) {
    if (anchor == name) return top;
  }
  for (const auto& [anchor, top] : anchors) {
    if (common::EqualsIgnoringAsciiCase(anchor, name)) return top;
  }
  return std::nullopt;
}

Layout LayOut(const Document& document, int width, LayoutPort& port, const Colors& colors,
              int margin) {
  return Engine(document, port, colors).Run(width, margin);
}

}  // namespace tavrel::html
