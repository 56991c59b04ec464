// The pictures: TImage, which shows a bitmap of the dialog file, and the
// drawn TShape and TBevel.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

// ---------------------------------------------------------------------------
// Pictures: "Picture.Data" holds a length-prefixed class name, then for a
// TBitmap a 32-bit little-endian size and a whole BMP file.

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::int64_t kMaxSide = 32768;
constexpr std::uint64_t kMaxPixelBytes = 256ull << 20;

// nullptr for anything that is not a sound BMP file; never reads outside bmp.
HBITMAP BitmapFromBmp(std::span<const unsigned char> bmp) {
  if (bmp.size() < kFileHeaderSize + 12 || bmp[0] != 'B' || bmp[1] != 'M') return nullptr;
  const std::uint32_t offBits = Le32(bmp.data() + 10);
  const std::span<const unsigned char> dib = bmp.subspan(kFileHeaderSize);
  const std::uint32_t headerSize = Le32(dib.data());

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  std::size_t paletteEntrySize = 4;
  if (headerSize == 12) {  // the old OS/2 header
    header.biWidth = Le16(dib.data() + 4);
    header.biHeight = Le16(dib.data() + 6);
    header.biPlanes = Le16(dib.data() + 8);
    header.biBitCount = Le16(dib.data() + 10);
    header.biCompression = BI_RGB;
    paletteEntrySize = 3;
  } else if (headerSize >= 40 && headerSize <= 1024 && headerSize <= dib.size()) {
    std::memcpy(&header, dib.data(), sizeof header);
    header.biSize = sizeof header;
  } else {
    return nullptr;
  }
  const std::int64_t width = header.biWidth;
  const std::int64_t height =
      header.biHeight < 0 ? -static_cast<std::int64_t>(header.biHeight) : header.biHeight;
  const unsigned bits = header.biBitCount;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || header.biPlanes != 1) {
    return nullptr;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
  const DWORD compression = header.biCompression;
  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  if (compression == BI_BITFIELDS) {
    if (bits != 16 && bits != 32) return nullptr;
  } else if (compression == BI_RLE8) {
    if (bits != 8 || header.biHeight < 0) return nullptr;
  } else if (compression == BI_RLE4) {
    if (bits != 4 || header.biHeight < 0) return nullptr;
  } else if (compression != BI_RGB) {
    return nullptr;
  }

  // Colour masks sit 40 bytes into the header block, inside the larger
  // headers and right after the basic one.
  const bool masks = compression == BI_BITFIELDS;
  if (masks && dib.size() < 52) return nullptr;
  std::size_t paletteCount = 0;
  if (bits <= 8) {
    const std::size_t full = std::size_t{1} << bits;
    paletteCount = header.biClrUsed == 0 ? full : header.biClrUsed;
    if (paletteCount > full) return nullptr;
  }
  const std::size_t paletteStart =
      static_cast<std::size_t>(headerSize) + (masks && headerSize == 40 ? 12 : 0);
  if (paletteStart > dib.size() || paletteCount * paletteEntrySize > dib.size() - paletteStart) {
    return nullptr;
  }

  std::vector<unsigned char> info(sizeof header + (masks ? 12 : 0) + paletteCount * 4);
  header.biClrUsed = static_cast<DWORD>(paletteCount);
  header.biClrImportant = 0;
  std::size_t at = sizeof header;
  if (masks) {
    std::memcpy(info.data() + at, dib.data() + 40, 12);
    at += 12;
  }
  for (std::size_t i = 0; i < paletteCount; ++i) {
    const unsigned char* entry = dib.data() + paletteStart + i * paletteEntrySize;
    info[at + i * 4] = entry[0];
    info[at + i * 4 + 1] = entry[1];
    info[at + i * 4 + 2] = entry[2];
    info[at + i * 4 + 3] = 0;
  }

  const std::size_t pixelsStart =
      offBits != 0 ? offBits : kFileHeaderSize + paletteStart + paletteCount * paletteEntrySize;
  if (pixelsStart < kFileHeaderSize + paletteStart || pixelsStart >= bmp.size()) return nullptr;
  const std::size_t available = bmp.size() - pixelsStart;
  if (rle) {
    if (header.biSizeImage == 0 || header.biSizeImage > available) return nullptr;
  } else {
    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4;
    const std::uint64_t needed = stride * static_cast<std::uint64_t>(height);
    if (needed > kMaxPixelBytes || needed > available) return nullptr;
    header.biSizeImage = 0;
  }
  std::memcpy(info.data(), &header, sizeof header);

  const HDC screen = GetDC(nullptr);
  const HBITMAP bitmap =
      CreateDIBitmap(screen, &header, CBM_INIT, bmp.data() + pixelsStart,
                     reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  return bitmap;
}

HBITMAP BitmapFromPictureData(std::span<const unsigned char> data) {
  if (data.empty()) return nullptr;
  const std::size_t nameLength = data[0];
  if (1 + nameLength > data.size()) return nullptr;
  const std::string_view className(reinterpret_cast<const char*>(data.data() + 1), nameLength);
  if (!Is(className, "TBitmap")) return nullptr;
  const std::span<const unsigned char> rest = data.subspan(1 + nameLength);
  if (rest.size() < 4) return nullptr;
  const std::uint32_t size = Le32(rest.data());
  if (size > rest.size() - 4) return nullptr;
  return BitmapFromBmp(rest.subspan(4, size));
}

// TImage
class Image final : public PaintedControl {
 public:
  Image(const FormObject& object, ControlSite& site) : PaintedControl(object, {"TImage"}, site) {
    Keep("IncrementalDisplay", Kind::kBool, "False");
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = kImageClass;
    return params;
  }

  void Created() override {
    const FormProperty* data = FileProperty("Picture.Data");
    if (data != nullptr && data->kind == FormProperty::Kind::kBinary) {
      bitmap_.Reset(BitmapFromPictureData(data->bytes));
    }
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (bool* flag = Flag(name)) return BoolText(*flag);
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (bool* flag = Flag(name)) {
      const auto value = ParseBool(text);
      if (!value) return false;
      *flag = *value;
      if (autoSize_) FitToPicture();
      Repaint();
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_LBUTTONDOWN:
        SetCapture(Window());
        pressed_ = true;
        result = 0;
        return true;
      case WM_LBUTTONUP: {
        const bool wasPressed = pressed_;
        pressed_ = false;
        if (GetCapture() == Window()) ReleaseCapture();
        RECT client{};
        GetClientRect(Window(), &client);
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (wasPressed && PtInRect(&client, point)) Fire(ControlEvent::kClick);
        result = 0;
        return true;
      }
      case WM_CAPTURECHANGED:
        pressed_ = false;
        return false;
      default:
        return PaintedControl::OnOwnMessage(message, wParam, lParam, result);
    }
  }

  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, ParentBrush(Window(), dc));
    if (!bitmap_) return;
    BITMAP info{};
    if (GetObjectA(bitmap_.Get(), sizeof info, &info) == 0) return;
    const int pictureWidth = info.bmWidth;
    const int pictureHeight = info.bmHeight;
    const int clientWidth = client.right - client.left;
    const int clientHeight = client.bottom - client.top;
    int width = pictureWidth;
    int height = pictureHeight;
    if (stretch_ || (proportional_ && (width > clientWidth || height > clientHeight))) {
      if (proportional_ && width > 0 && height > 0) {
        // The largest size of the picture's shape that fits.
        const std::int64_t byWidth = std::int64_t{clientWidth} * height;
        const std::int64_t byHeight = std::int64_t{clientHeight} * width;
        if (byWidth <= byHeight) {
          height = static_cast<int>(byWidth / width);
          width = clientWidth;
        } else {
          width = static_cast<int>(byHeight / height);
          height = clientHeight;
        }
      } else {
        width = clientWidth;
        height = clientHeight;
      }
    }
    int left = 0;
    int top = 0;
    if (center_) {
      left = (clientWidth - width) / 2;
      top = (clientHeight - height) / 2;
    }
    const common::MemoryDc source(CreateCompatibleDC(dc));
    if (!source) return;
    {
      SelectedObject selected(source.Get(), bitmap_.Get());
      SetStretchBltMode(dc, COLORONCOLOR);
      if (transparent_) {
        // The bottom-left pixel's colour shows what is behind.
        const COLORREF key = GetPixel(source.Get(), 0, pictureHeight - 1);
        TransparentBlt(dc, left, top, width, height, source.Get(), 0, 0, pictureWidth,
                       pictureHeight, key);
      } else {
        StretchBlt(dc, left, top, width, height, source.Get(), 0, 0, pictureWidth, pictureHeight,
                   SRCCOPY);
      }
    }
  }

 private:
  bool* Flag(std::string_view name) {
    if (Is(name, "Stretch")) return &stretch_;
    if (Is(name, "Center")) return &center_;
    if (Is(name, "Proportional")) return &proportional_;
    if (Is(name, "Transparent")) return &transparent_;
    if (Is(name, "AutoSize")) return &autoSize_;
    return nullptr;
  }

  void FitToPicture() {
    BITMAP info{};
    if (!bitmap_ || GetObjectA(bitmap_.Get(), sizeof info, &info) == 0) return;
    RECT window{};
    RECT client{};
    GetWindowRect(Window(), &window);
    GetClientRect(Window(), &client);
    const int frameWidth = (window.right - window.left) - client.right;
    const int frameHeight = (window.bottom - window.top) - client.bottom;
    SetWindowPos(Window(), nullptr, 0, 0, info.bmWidth + frameWidth, info.bmHeight + frameHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  common::GdiObject<HBITMAP> bitmap_;
  bool stretch_ = false;
  bool center_ = false;
  bool proportional_ = false;
  bool transparent_ = false;
  bool autoSize_ = false;
  bool pressed_ = false;
};

// TShape
constexpr const char* kShapes[] = {"stRectangle",   "stSquare",  "stRoundRect",
                                   "stRoundSquare", "stEllipse", "stCircle"};
constexpr const char* kBrushStyles[] = {"bsSolid",    "bsClear",     "bsHorizontal",
                                        "bsVertical", "bsFDiagonal", "bsBDiagonal",
                                        "bsCross",    "bsDiagCross"};
constexpr int kHatches[] = {
    0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
constexpr const char* kPenStyles[] = {"psSolid",      "psDash",  "psDot",        "psDashDot",
                                      "psDashDotDot", "psClear", "psInsideFrame"};
constexpr int kPenKinds[] = {PS_SOLID,      PS_DASH, PS_DOT,        PS_DASHDOT,
                             PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};

class Shape final : public PaintedControl {
 public:
  Shape(const FormObject& object, ControlSite& site) : PaintedControl(object, {"TShape"}, site) {
    brushColor_.Set("clWhite");
    penColor_.Set("clBlack");
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = kShapeClass;
    return params;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Shape")) return kShapes[shape_];
    if (Is(name, "Brush.Color")) return brushColor_.text;
    if (Is(name, "Brush.Style")) return kBrushStyles[brushStyle_];
    if (Is(name, "Pen.Color")) return penColor_.text;
    if (Is(name, "Pen.Width")) return std::to_string(penWidth_);
    if (Is(name, "Pen.Style")) return kPenStyles[penStyle_];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    std::optional<bool> result;
    if (Is(name, "Shape")) {
      result = SetChoice(kShapes, text, shape_);
    } else if (Is(name, "Brush.Style")) {
      result = SetChoice(kBrushStyles, text, brushStyle_);
    } else if (Is(name, "Pen.Style")) {
      result = SetChoice(kPenStyles, text, penStyle_);
    } else if (Is(name, "Brush.Color")) {
      result = brushColor_.Set(text);
    } else if (Is(name, "Pen.Color")) {
      result = penColor_.Set(text);
    } else if (Is(name, "Pen.Width")) {
      const auto value = ParseInt(text);
      result = value && *value >= 0 && *value <= 1000;
      if (*result) penWidth_ = *value;
    } else {
      return StandardControl::SetOwn(name, text);
    }
    if (*result) Repaint();
    return result;
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        SetCapture(Window());
        result = 0;
        return true;
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
        if (GetCapture() == Window()) ReleaseCapture();
        Fire(ControlEvent::kMouseUp);
        result = 0;
        return true;
      default:
        return PaintedControl::OnOwnMessage(message, wParam, lParam, result);
    }
  }

  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, ParentBrush(Window(), dc));
    const bool noPen = penStyle_ == 5 || penWidth_ == 0;
    const int pen = noPen ? 0 : penWidth_;
    // The outline is centred on the shape's edge; keep all of it inside.
    int left = pen / 2;
    int top = pen / 2;
    int right = client.right - (pen > 0 ? (pen - 1) / 2 : -1);
    int bottom = client.bottom - (pen > 0 ? (pen - 1) / 2 : -1);
    const int side = std::min(right - left, bottom - top);
    if (shape_ == 1 || shape_ == 3 || shape_ == 5) {
      left += (right - left - side) / 2;
      top += (bottom - top - side) / 2;
      right = left + side;
      bottom = top + side;
    }
    const COLORREF brushColor = brushColor_.value;
    common::GdiObject<HBRUSH> brush;
    if (brushStyle_ == 0) {
      brush.Reset(CreateSolidBrush(brushColor));
    } else if (brushStyle_ >= 2) {
      brush.Reset(CreateHatchBrush(kHatches[brushStyle_], brushColor));
    }
    common::GdiObject<HPEN> penObject;
    if (!noPen) {
      penObject.Reset(CreatePen(kPenKinds[penStyle_], pen, penColor_.value));
    }
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    {
      SelectedObject selectedBrush(
          dc, brush ? static_cast<HGDIOBJ>(brush.Get()) : GetStockObject(NULL_BRUSH));
      SelectedObject selectedPen(
          dc, penObject ? static_cast<HGDIOBJ>(penObject.Get()) : GetStockObject(NULL_PEN));
      const int corner = side / 4;
      switch (shape_) {
        case 2:
        case 3:
          RoundRect(dc, left, top, right, bottom, corner, corner);
          break;
        case 4:
        case 5:
          Ellipse(dc, left, top, right, bottom);
          break;
        default:
          Rectangle(dc, left, top, right, bottom);
          break;
      }
    }
    SetBkMode(dc, oldMode);
  }

 private:
  bool SetChoice(Choices choices, const std::string& text, int& target) {
    const auto value = ChoiceOf(choices, text);
    if (!value) return false;
    target = *value;
    return true;
  }

  int shape_ = 0;
  ColorProperty brushColor_;
  int brushStyle_ = 0;
  ColorProperty penColor_;
  int penWidth_ = 1;
  int penStyle_ = 0;
};

// TBevel
constexpr const char* kBevelShapes[] = {"bsBox",      "bsFrame",     "bsTopLine", "bsBottomLine",
                                        "bsLeftLine", "bsRightLine", "bsSpacer"};
constexpr const char* kBevelStyles[] = {"bsLowered", "bsRaised"};

class Bevel final : public PaintedControl {
 public:
  Bevel(const FormObject& object, ControlSite& site) : PaintedControl(object, {"TBevel"}, site) {}

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = kBevelClass;
    return params;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Shape")) return kBevelShapes[shape_];
    if (Is(name, "Style")) return kBevelStyles[style_];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    const bool shape = Is(name, "Shape");
    if (shape || Is(name, "Style")) {
      const auto value = ChoiceOf(shape ? Choices(kBevelShapes) : Choices(kBevelStyles), text);
      if (!value) return false;
      (shape ? shape_ : style_) = *value;
      Repaint();
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

  // A bevel is decoration: the mouse goes to what lies under it.
  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message == WM_NCHITTEST) {
      result = HTTRANSPARENT;
      return true;
    }
    return PaintedControl::OnOwnMessage(message, wParam, lParam, result);
  }

  // Two lines of one pixel: shadow then highlight when lowered, highlight
  // then shadow when raised.
  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, ParentBrush(Window(), dc));
    const bool lowered = style_ == 0;
    const UINT outer = lowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER;
    const UINT inner = lowered ? BDR_RAISEDINNER : BDR_SUNKENOUTER;
    RECT rect = client;
    UINT sides = 0;
    switch (shape_) {
      case 0:  // a box: one line each side
        DrawEdge(dc, &rect, outer, BF_RECT);
        return;
      case 1:
        sides = BF_RECT;
        break;
      case 2:
        rect.bottom = std::min(rect.bottom, rect.top + 2);
        sides = BF_TOP;
        break;
      case 3:
        rect.top = std::max(rect.top, rect.bottom - 2);
        sides = BF_BOTTOM;
        break;
      case 4:
        rect.right = std::min(rect.right, rect.left + 2);
        sides = BF_LEFT;
        break;
      case 5:
        rect.left = std::max(rect.left, rect.right - 2);
        sides = BF_RIGHT;
        break;
      default:
        return;
    }
    DrawEdge(dc, &rect, outer, sides | BF_ADJUST);
    DrawEdge(dc, &rect, inner, sides);
  }

 private:
  int shape_ = 0;
  int style_ = 0;
};

}  // namespace

std::unique_ptr<FormControl> CreatePictureControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "TImage")) return std::make_unique<Image>(object, site);
  if (Is(name, "TShape")) return std::make_unique<Shape>(object, site);
  if (Is(name, "TBevel")) return std::make_unique<Bevel>(object, site);
  return nullptr;
}

}  // namespace tavrel::standard_controls
