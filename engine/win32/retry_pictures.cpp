#include "engine/win32/retry_pictures.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>

namespace tavrel {

namespace {

// Coordinates on the 24-unit design grid; y grows downwards.
struct Vec {
  double x = 0;
  double y = 0;
};

struct Oval {
  Vec centre;
  Vec radius;

  bool Holds(Vec p) const {
    const double dx = (p.x - centre.x) / radius.x;
    const double dy = (p.y - centre.y) / radius.y;
    return dx * dx + dy * dy <= 1.0;
  }
};

// A colour running from top to bottom between two heights of the grid.
struct Paint {
  PictureColor top;
  PictureColor bottom;
  double fromY = 0;
  double toY = 24;
  double opacity = 1;

  static Paint Solid(PictureColor color) { return {color, color}; }
  static Paint Gradient(PictureColor top, PictureColor bottom, double fromY, double toY) {
    return {top, bottom, fromY, toY};
  }
};

// A filled polygon (any winding, inside by the even-odd rule) or oval; a
// ring when the oval has a hole; cut to the clip oval when it has one.
struct Shape {
  std::vector<Vec> outline;
  std::optional<Oval> oval;
  std::optional<Oval> hole;
  std::optional<Oval> clip;
  Paint paint;

  bool Holds(Vec p) const {
    if (clip && !clip->Holds(p)) return false;
    if (oval) return oval->Holds(p) && !(hole && hole->Holds(p));
    bool inside = false;
    for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
      const Vec a = outline[i];
      const Vec b = outline[j];
      if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
        inside = !inside;
      }
    }
    return inside;
  }
};

struct Mix {
  double red = 0;
  double green = 0;
  double blue = 0;
};

Mix Over(Mix under, const Paint& paint, double y) {
  const double span = paint.toY - paint.fromY;
  const double t = span > 0 ? std::clamp((y - paint.fromY) / span, 0.0, 1.0) : 0.0;
  const auto channel = [&](double below, std::uint8_t top, std::uint8_t bottom) {
    const double color = top + (bottom - top) * t;
    return below + (color - below) * paint.opacity;
  };
  return {channel(under.red, paint.top.red, paint.bottom.red),
          channel(under.green, paint.top.green, paint.bottom.green),
          channel(under.blue, paint.top.blue, paint.bottom.blue)};
}

Shape Polygon(std::vector<Vec> outline, Paint paint) {
  return Shape{std::move(outline), std::nullopt, std::nullopt, std::nullopt, paint};
}

Shape Ellipse(Oval oval, Paint paint) {
  return Shape{{}, oval, std::nullopt, std::nullopt, paint};
}

Shape Box(double left, double top, double right, double bottom, Paint paint) {
  return Polygon({{left, top}, {right, top}, {right, bottom}, {left, bottom}}, paint);
}

// The polygon moved inwards by the distance on every edge (outwards for a
// negative one), corners mitred.
std::vector<Vec> Inset(std::span<const Vec> outline, double distance) {
  double area = 0;
  for (std::size_t i = 0; i < outline.size(); ++i) {
    const Vec a = outline[i];
    const Vec b = outline[(i + 1) % outline.size()];
    area += a.x * b.y - b.x * a.y;
  }
  const double side = area > 0 ? 1.0 : -1.0;
  const auto inwards = [&](Vec from, Vec to) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double length = std::hypot(dx, dy);
    return Vec{-dy / length * side, dx / length * side};
  };
  std::vector<Vec> moved;
  const std::size_t n = outline.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Vec before = outline[(i + n - 1) % n];
    const Vec at = outline[i];
    const Vec after = outline[(i + 1) % n];
    const Vec a = inwards(before, at);
    const Vec b = inwards(at, after);
    const double scale = distance / (1.0 + a.x * b.x + a.y * b.y);
    moved.push_back({at.x + (a.x + b.x) * scale, at.y + (a.y + b.y) * scale});
  }
  return moved;
}

// A downward arrow: its shaft from the top to where the head starts, the
// head's tip as far below the head's start as the head is half wide.
std::vector<Vec> ArrowOutline(double centre, double top, double shaftHalf, double headTop,
                              double headHalf) {
  return {{centre - shaftHalf, top},    {centre + shaftHalf, top},    {centre + shaftHalf, headTop},
          {centre + headHalf, headTop}, {centre, headTop + headHalf}, {centre - headHalf, headTop},
          {centre - shaftHalf, headTop}};
}

constexpr PictureColor kArrowEdge{22, 98, 38};
constexpr PictureColor kArrowLight{132, 212, 100};
constexpr PictureColor kArrowDark{40, 150, 56};

// The arrow with a one-unit gap of background around it, so that it stands
// clear of what lies beneath.
void AddArrow(std::vector<Shape>& shapes, const std::vector<Vec>& outline, PictureColor background,
              double top, double bottom) {
  shapes.push_back(Polygon(Inset(outline, -1), Paint::Solid(background)));
  shapes.push_back(Polygon(outline, Paint::Solid(kArrowEdge)));
  shapes.push_back(
      Polygon(Inset(outline, 1), Paint::Gradient(kArrowLight, kArrowDark, top, bottom)));
}

std::vector<Shape> Globe(PictureColor background) {
  std::vector<Shape> shapes;
  const Vec centre{10.5, 10.5};
  const Oval sphere{centre, {8.5, 8.5}};
  shapes.push_back(Ellipse({centre, {9.5, 9.5}}, Paint::Solid({30, 82, 152})));
  shapes.push_back(Ellipse(sphere, Paint::Gradient({128, 188, 244}, {34, 102, 194}, 2, 19)));
  // Meridians and parallels, light and half see-through, on the sphere only.
  Paint grid = Paint::Solid({224, 240, 255});
  grid.opacity = 0.55;
  const auto onSphere = [&](Shape shape) {
    shape.clip = sphere;
    shapes.push_back(std::move(shape));
  };
  onSphere(Box(10, 1, 11, 20, grid));
  onSphere(Box(1, 10, 20, 11, grid));
  onSphere(Box(1, 5, 20, 6, grid));
  onSphere(Box(1, 15, 20, 16, grid));
  Shape meridians = Ellipse({centre, {5, 9.5}}, grid);
  meridians.hole = Oval{centre, {4, 9.5}};
  onSphere(std::move(meridians));
  // Light falling from the top left.
  Paint shine = Paint::Solid({255, 255, 255});
  shine.opacity = 0.3;
  onSphere(Ellipse({{7.5, 6.5}, {4, 3}}, shine));

  AddArrow(shapes, ArrowOutline(17, 8, 3, 15, 6), background, 8, 21);
  return shapes;
}

std::vector<Shape> Page(PictureColor background) {
  std::vector<Shape> shapes;
  const std::vector<Vec> sheet{{3, 1}, {13, 1}, {19, 7}, {19, 23}, {3, 23}};
  shapes.push_back(Polygon(sheet, Paint::Solid({98, 110, 132})));
  shapes.push_back(
      Polygon(Inset(sheet, 1), Paint::Gradient({255, 255, 255}, {222, 229, 240}, 2, 22)));
  // The folded corner.
  const std::vector<Vec> fold{{13, 1}, {19, 7}, {13, 7}};
  shapes.push_back(Polygon(fold, Paint::Solid({98, 110, 132})));
  shapes.push_back(Polygon(Inset(fold, 1), Paint::Solid({206, 215, 230})));
  // Lines of text.
  const Paint text = Paint::Solid({150, 166, 192});
  shapes.push_back(Box(6, 5, 12, 6, text));
  shapes.push_back(Box(6, 8, 16, 9, text));
  shapes.push_back(Box(6, 11, 16, 12, text));
  shapes.push_back(Box(6, 14, 16, 15, text));
  shapes.push_back(Box(6, 17, 13, 18, text));

  AddArrow(shapes, ArrowOutline(17, 9, 3, 16, 6), background, 9, 22);
  return shapes;
}

}  // namespace

std::vector<PictureColor> DrawRetryPicture(RetryPicture picture, int size,
                                           PictureColor background) {
  if (size < 1) return {};
  const std::vector<Shape> shapes =
      picture == RetryPicture::kDownload ? Globe(background) : Page(background);
  constexpr int kSamples = 4;  // per side of a pixel
  const double unit = 24.0 / size;
  std::vector<PictureColor> pixels;
  pixels.reserve(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
  const Mix base{static_cast<double>(background.red), static_cast<double>(background.green),
                 static_cast<double>(background.blue)};
  for (int row = 0; row < size; ++row) {
    for (int column = 0; column < size; ++column) {
      Mix sum;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Vec p{(column + (sx + 0.5) / kSamples) * unit,
                      (row + (sy + 0.5) / kSamples) * unit};
          Mix color = base;
          for (const Shape& shape : shapes) {
            if (shape.Holds(p)) color = Over(color, shape.paint, p.y);
          }
          sum.red += color.red;
          sum.green += color.green;
          sum.blue += color.blue;
        }
      }
      constexpr double kCount = kSamples * kSamples;
      const auto byte = [](double value) {
        return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
      };
      pixels.push_back({byte(sum.red / kCount), byte(sum.green / kCount), byte(sum.blue / kCount)});
    }
  }
  return pixels;
}

}  // namespace tavrel
