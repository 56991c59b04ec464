// A bitmap made from pixels the caller computes: a 24-bit DIB section with
// rows from the top, for pictures the programs draw themselves.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "common/win32/handle_owner.h"

namespace common {

// width×height pixels, colourAt(x, y) giving each as a COLORREF. An empty
// handle when the system could not make the bitmap or a size is below 1.
template <typename ColourAt>
GdiObject<HBITMAP> MakePixelBitmap(int width, int height, ColourAt colourAt) {
  if (width < 1 || height < 1) return GdiObject<HBITMAP>();
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject<HBITMAP> bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) return bitmap;
  const auto columns = static_cast<std::size_t>(width);
  const std::size_t stride = (columns * 3 + 3) & ~std::size_t{3};
  auto* rows = static_cast<std::uint8_t*>(bits);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = rows + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      const COLORREF colour = colourAt(x, y);
      const auto at = static_cast<std::size_t>(x) * 3;
      row[at] = GetBValue(colour);
      row[at + 1] = GetGValue(colour);
      row[at + 2] = GetRValue(colour);
    }
  }
  GdiFlush();
  return bitmap;
}

}  // namespace common
