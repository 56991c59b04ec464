#include "engine/win32/forms/form_feature_images.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/win32/pixel_bitmap.h"

namespace tavrel {
namespace {

constexpr int kWidth = kFeatureImageWidth;
constexpr int kHeight = kFeatureImageHeight;
constexpr COLORREF kTransparent = RGB(255, 0, 255);

struct Rgb {
  double r = 0;
  double g = 0;
  double b = 0;
};

// A picture under construction: every pixel a colour, or transparent.
class Canvas {
 public:
  explicit Canvas(Rgb background) : background_(background) {}

  void Fill(int left, int top, int right, int bottom, Rgb color) {
    for (int y = std::max(top, 0); y <= std::min(bottom, kHeight - 1); ++y) {
      for (int x = std::max(left, 0); x <= std::min(right, kWidth - 1); ++x) Set(x, y, color, 1);
    }
  }

  void Frame(int left, int top, int right, int bottom, Rgb color) {
    Fill(left, top, right, top, color);
    Fill(left, bottom, right, bottom, color);
    Fill(left, top, left, bottom, color);
    Fill(right, top, right, bottom, color);
  }

  // A stroke from (x0,y0) to (x1,y1) in pixel centres, its edges smoothed
  // by sampling every pixel 16 times.
  void Stroke(double x0, double y0, double x1, double y1, double width, Rgb color) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double length2 = dx * dx + dy * dy;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        int inside = 0;
        for (int sy = 0; sy < 4; ++sy) {
          for (int sx = 0; sx < 4; ++sx) {
            const double px = x - 0.375 + sx * 0.25;
            const double py = y - 0.375 + sy * 0.25;
            const double t = std::clamp(((px - x0) * dx + (py - y0) * dy) / length2, 0.0, 1.0);
            const double ex = px - (x0 + t * dx);
            const double ey = py - (y0 + t * dy);
            if (ex * ex + ey * ey <= width * width / 4) ++inside;
          }
        }
        if (inside > 0) Set(x, y, color, inside / 16.0);
      }
    }
  }

  COLORREF At(int x, int y) const {
    const Pixel& pixel = pixels_[static_cast<std::size_t>(y * kWidth + x)];
    if (!pixel.opaque) return kTransparent;
    return RGB(Channel(pixel.color.r), Channel(pixel.color.g), Channel(pixel.color.b));
  }

 private:
  struct Pixel {
    Rgb color;
    bool opaque = false;
  };

  static BYTE Channel(double value) {
    return static_cast<BYTE>(std::clamp(std::lround(value), 0L, 255L));
  }

  void Set(int x, int y, Rgb color, double cover) {
    Pixel& pixel = pixels_[static_cast<std::size_t>(y * kWidth + x)];
    const Rgb under = pixel.opaque ? pixel.color : background_;
    pixel.color = {under.r + (color.r - under.r) * cover, under.g + (color.g - under.g) * cover,
                   under.b + (color.b - under.b) * cover};
    pixel.opaque = true;
  }

  Rgb background_;
  std::array<Pixel, static_cast<std::size_t>(kWidth* kHeight)> pixels_{};
};

constexpr Rgb kRed{204, 0, 0};
constexpr Rgb kDarkRed{128, 0, 0};
constexpr Rgb kOutline{64, 64, 64};
constexpr Rgb kShadow{128, 128, 128};
constexpr Rgb kMetal{192, 192, 192};
constexpr Rgb kLight{232, 232, 232};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kGreen{0, 176, 0};
constexpr Rgb kBlack{0, 0, 0};

// A 16×16 picture with its top left corner at (left, top).
void Cross(Canvas& canvas, int left, int top) {
  const double l = left + 3.5;
  const double t = top + 3.5;
  canvas.Stroke(l, t, l + 8, t + 8, 3.4, kDarkRed);
  canvas.Stroke(l + 8, t, l, t + 8, 3.4, kDarkRed);
  canvas.Stroke(l, t, l + 8, t + 8, 2.2, kRed);
  canvas.Stroke(l + 8, t, l, t + 8, 2.2, kRed);
}

void Disk(Canvas& canvas, int left, int top) {
  // The top face, then the front with its slot and the busy light.
  canvas.Fill(left + 3, top + 4, left + 14, top + 4, kOutline);
  canvas.Fill(left + 2, top + 5, left + 13, top + 5, kLight);
  canvas.Fill(left + 14, top + 5, left + 14, top + 11, kOutline);
  canvas.Fill(left + 2, top + 5, left + 2, top + 5, kOutline);
  canvas.Frame(left + 1, top + 6, left + 13, top + 12, kOutline);
  canvas.Fill(left + 2, top + 7, left + 12, top + 11, kMetal);
  canvas.Fill(left + 2, top + 7, left + 12, top + 7, kWhite);
  canvas.Fill(left + 2, top + 11, left + 12, top + 11, kShadow);
  canvas.Fill(left + 3, top + 9, left + 8, top + 9, kShadow);
  canvas.Fill(left + 10, top + 9, left + 11, top + 9, kGreen);
}

// Two small items hanging from a stem: the feature and what lies below it.
void SubItemMark(Canvas& canvas, int left) {
  canvas.Fill(left, 5, left, 12, kShadow);
  for (const int y : {8, 12}) {
    canvas.Fill(left + 1, y, left + 2, y, kShadow);
    canvas.Frame(left + 3, y - 1, left + 5, y + 1, kOutline);
    canvas.Fill(left + 4, y, left + 4, y, kWhite);
  }
  canvas.Frame(left - 1, 3, left + 1, 5, kOutline);
}

// The node pictures: a framed box holding the picture, and the arrow that
// says a menu opens there.
void NodeBox(Canvas& canvas) {
  canvas.Fill(1, 0, 20, 15, kWhite);
  canvas.Frame(1, 0, 20, 15, kShadow);
  for (int row = 0; row < 3; ++row) canvas.Fill(23 + row, 7 + row, 27 - row, 7 + row, kBlack);
}

Canvas Draw(FeatureImage image, Rgb background) {
  Canvas canvas(background);
  switch (image) {
    case FeatureImage::kUnavailableNode:
      NodeBox(canvas);
      Cross(canvas, 3, 0);
      break;
    case FeatureImage::kInstalledNode:
      NodeBox(canvas);
      Disk(canvas, 3, -1);
      break;
    case FeatureImage::kUnavailable:
      Cross(canvas, 3, 0);
      break;
    case FeatureImage::kUnavailableBelow:
      Cross(canvas, 1, 0);
      SubItemMark(canvas, 20);
      break;
    case FeatureImage::kInstall:
      Disk(canvas, 3, 0);
      break;
    case FeatureImage::kInstallBelow:
      Disk(canvas, 1, 0);
      SubItemMark(canvas, 20);
      break;
  }
  return canvas;
}

Rgb ToRgb(COLORREF color) {
  return {static_cast<double>(GetRValue(color)), static_cast<double>(GetGValue(color)),
          static_cast<double>(GetBValue(color))};
}

common::GdiObject<HBITMAP> MakeBitmap(const Canvas& canvas, COLORREF background) {
  return common::MakePixelBitmap(kWidth, kHeight, [&](int x, int y) {
    const COLORREF color = canvas.At(x, y);
    return color == kTransparent ? background : color;
  });
}

// Kept for the life of the process, destroyed at its end.
class SharedImageList {
 public:
  SharedImageList() {
    list_ = ImageList_Create(kWidth, kHeight, ILC_COLOR24 | ILC_MASK, kFeatureImageCount, 0);
    if (list_ == nullptr) return;
    const Rgb window = ToRgb(GetSysColor(COLOR_WINDOW));
    for (int i = 0; i < kFeatureImageCount; ++i) {
      const common::GdiObject<HBITMAP> bitmap =
          MakeBitmap(Draw(static_cast<FeatureImage>(i), window), kTransparent);
      ImageList_AddMasked(list_, bitmap.Get(), kTransparent);
    }
  }
  ~SharedImageList() {
    if (list_ != nullptr) ImageList_Destroy(list_);
  }
  SharedImageList(const SharedImageList&) = delete;
  SharedImageList& operator=(const SharedImageList&) = delete;

  HIMAGELIST Get() const { return list_; }

 private:
  HIMAGELIST list_ = nullptr;
};

}  // namespace

HIMAGELIST FeatureImageList() {
  static const SharedImageList list;
  return list.Get();
}

common::GdiObject<HBITMAP> FeatureImageBitmap(FeatureImage image, COLORREF background) {
  return MakeBitmap(Draw(image, ToRgb(background)), background);
}

}  // namespace tavrel
