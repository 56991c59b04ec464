#include "engine/win32/forms/form_html_canvas.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

// The point sizes of the HTML font sizes 1 to 7.
constexpr int kPointSizes[] = {8, 10, 12, 14, 18, 24, 36};
constexpr char kProportionalFace[] = "Times New Roman";
constexpr char kFixedFace[] = "Courier New";
constexpr html::Rgb kMissingFrame = 0x808080;

COLORREF ToColorRef(html::Rgb rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

void FillBox(HDC dc, const RECT& box, html::Rgb color) {
  const common::GdiObject<HBRUSH> brush(CreateSolidBrush(ToColorRef(color)));
  FillRect(dc, &box, brush.Get());
}

void FrameBox(HDC dc, const RECT& box, html::Rgb color, int thickness) {
  thickness = std::max(1, std::min(thickness, static_cast<int>(box.right - box.left) / 2 + 1));
  const common::GdiObject<HBRUSH> brush(CreateSolidBrush(ToColorRef(color)));
  const RECT sides[] = {
      {box.left, box.top, box.right, box.top + thickness},
      {box.left, box.bottom - thickness, box.right, box.bottom},
      {box.left, box.top, box.left + thickness, box.bottom},
      {box.right - thickness, box.top, box.right, box.bottom},
  };
  for (const RECT& side : sides) FillRect(dc, &side, brush.Get());
}

}  // namespace

HFONT HtmlCanvas::FontFor(const html::FontDescription& font) {
  const std::string key = html::FontKey(font);
  const auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second.Get();
  LOGFONTA logFont{};
  const HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  const int size = std::clamp(font.size, 1, 7);
  logFont.lfHeight = -MulDiv(kPointSizes[size - 1], dpi, 72);
  logFont.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  logFont.lfItalic = font.italic ? TRUE : FALSE;
  logFont.lfUnderline = font.underline ? TRUE : FALSE;
  logFont.lfCharSet = DEFAULT_CHARSET;
  logFont.lfQuality = DEFAULT_QUALITY;
  logFont.lfPitchAndFamily =
      static_cast<BYTE>(font.monospace ? FIXED_PITCH | FF_MODERN : VARIABLE_PITCH | FF_ROMAN);
  const std::string face = !font.face.empty() && !font.monospace
                               ? font.face
                               : (font.monospace ? kFixedFace : kProportionalFace);
  lstrcpynA(logFont.lfFaceName, face.c_str(), LF_FACESIZE);
  common::GdiObject<HFONT> made(CreateFontIndirectA(&logFont));
  const HFONT handle = made.Get();
  fonts_.emplace(key, std::move(made));
  return handle;
}

html::FontMetrics HtmlCanvas::Measure(const html::FontDescription& font) {
  html::FontMetrics metrics;
  const HDC screen = GetDC(nullptr);
  if (screen == nullptr) {
    metrics.widths.fill(8);
    metrics.height = 16;
    metrics.ascent = 13;
    return metrics;
  }
  {
    SelectedObject selected(screen, FontOrDefault(FontFor(font)));
    INT widths[256] = {};
    if (GetCharWidth32A(screen, 0, 255, widths)) {
      std::copy(std::begin(widths), std::end(widths), metrics.widths.begin());
    } else {
      metrics.widths.fill(8);
    }
    TEXTMETRICA text{};
    GetTextMetricsA(screen, &text);
    metrics.height = text.tmHeight;
    metrics.ascent = text.tmAscent;
  }
  ReleaseDC(nullptr, screen);
  return metrics;
}

const HtmlCanvas::Loaded* HtmlCanvas::LoadPicture(const std::string& source) {
  const std::string path = picturePath_(source);
  if (path.empty()) return nullptr;
  auto found = pictures_.find(path);
  if (found == pictures_.end()) {
    Loaded loaded;
    loaded.bitmap.Reset(static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                        LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    BITMAP info{};
    if (loaded.bitmap && GetObjectA(loaded.bitmap.Get(), sizeof info, &info) == sizeof info) {
      loaded.size = {info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
    } else {
      loaded.bitmap.Reset();
    }
    found = pictures_.emplace(path, std::move(loaded)).first;
  }
  return found->second.bitmap ? &found->second : nullptr;
}

std::optional<html::PictureSize> HtmlCanvas::Picture(const std::string& source) {
  const Loaded* loaded = LoadPicture(source);
  if (loaded == nullptr) return std::nullopt;
  return loaded->size;
}

void HtmlCanvas::PaintPicture(HDC dc, const html::Layout& layout, const html::DisplayItem& item,
                              const RECT& box) {
  const html::LaidPicture& picture = layout.pictures[static_cast<std::size_t>(item.picture)];
  const Loaded* loaded = picture.missing ? nullptr : LoadPicture(picture.source);
  if (loaded == nullptr) {
    // A framed box with the picture's text in it.
    FrameBox(dc, box, kMissingFrame, 1);
    if (!picture.alt.empty() && item.font >= 0) {
      SelectedObject font(dc, FontFor(layout.fonts[static_cast<std::size_t>(item.font)]));
      SetTextColor(dc, ToColorRef(item.color));
      RECT inside{box.left + 4, box.top + 4, box.right - 2, box.bottom - 2};
      ExtTextOutA(dc, inside.left, inside.top, ETO_CLIPPED, &inside, picture.alt.data(),
                  static_cast<UINT>(std::min<std::size_t>(picture.alt.size(), 4096)), nullptr);
    }
    return;
  }
  const common::MemoryDc memory(CreateCompatibleDC(dc));
  if (!memory) return;
  SelectedObject selected(memory.Get(), loaded->bitmap.Get());
  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  if (width == loaded->size.width && height == loaded->size.height) {
    BitBlt(dc, box.left, box.top, width, height, memory.Get(), 0, 0, SRCCOPY);
  } else {
    // Smooth when shrinking; when enlarging, each pixel a sharp block.
    const bool shrinking = width < loaded->size.width || height < loaded->size.height;
    const int old = SetStretchBltMode(dc, shrinking ? HALFTONE : COLORONCOLOR);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, box.left, box.top, width, height, memory.Get(), 0, 0, loaded->size.width,
               loaded->size.height, SRCCOPY);
    SetStretchBltMode(dc, old);
  }
}

void HtmlCanvas::Paint(HDC dc, const html::Layout& layout, const RECT& client, int top) {
  FillBox(dc, client, layout.background);
  const int height = client.bottom - client.top;
  const std::vector<std::uint32_t> items = layout.ItemsIn(top, top + height);
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  std::vector<HFONT> fonts(layout.fonts.size(), nullptr);
  for (const std::uint32_t index : items) {
    const html::DisplayItem& item = layout.items[index];
    const RECT box{item.box.x + client.left, item.box.y - top + client.top,
                   item.box.x + item.box.width + client.left,
                   item.box.y + item.box.height - top + client.top};
    switch (item.kind) {
      case html::ItemKind::kText: {
        const auto font = static_cast<std::size_t>(item.font);
        if (fonts[font] == nullptr) fonts[font] = FontFor(layout.fonts[font]);
        SelectObject(dc, FontOrDefault(fonts[font]));
        SetTextColor(dc, ToColorRef(item.color));
        const std::string_view text = layout.Text(item);
        TextOutA(dc, box.left, box.top, text.data(), static_cast<int>(text.size()));
        break;
      }
      case html::ItemKind::kFill:
        FillBox(dc, box, item.color);
        break;
      case html::ItemKind::kFrame:
        FrameBox(dc, box, item.color, item.thickness);
        break;
      case html::ItemKind::kPicture:
        PaintPicture(dc, layout, item, box);
        break;
      case html::ItemKind::kBullet:
        if (item.marker == html::Marker::kSquare) {
          FillBox(dc, box, item.color);
        } else {
          const common::GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, ToColorRef(item.color)));
          const common::GdiObject<HBRUSH> brush(CreateSolidBrush(ToColorRef(item.color)));
          SelectedObject selectedPen(dc, pen.Get());
          SelectedObject selectedBrush(dc, item.marker == html::Marker::kDisc
                                               ? static_cast<HGDIOBJ>(brush.Get())
                                               : GetStockObject(NULL_BRUSH));
          Ellipse(dc, box.left, box.top, box.right + 1, box.bottom + 1);
        }
        break;
      case html::ItemKind::kLink:
        break;
    }
  }
  SelectObject(dc, oldFont);
  SetBkMode(dc, oldMode);
}

}  // namespace tavrel::standard_controls
