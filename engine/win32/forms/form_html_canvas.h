// The GDI side of the HTML pane: fonts made once per face, size and style
// and measured for the layout, pictures loaded once per file, and a laid-out
// page painted, only the part of it that shows.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "common/win32/handle_owner.h"
#include "engine/core/html_layout.h"

namespace tavrel::standard_controls {

class HtmlCanvas final : public html::LayoutPort {
 public:
  // picturePath turns a picture's source as the page writes it into a file
  // path; an empty path means the picture cannot be shown.
  explicit HtmlCanvas(std::function<std::string(const std::string&)> picturePath)
      : picturePath_(std::move(picturePath)) {}

  html::FontMetrics Measure(const html::FontDescription& font) override;
  std::optional<html::PictureSize> Picture(const std::string& source) override;

  // Paints the page into dc, whose client area shows the page from top
  // down.
  void Paint(HDC dc, const html::Layout& layout, const RECT& client, int top);

 private:
  struct Loaded {
    common::GdiObject<HBITMAP> bitmap;
    html::PictureSize size;
  };

  HFONT FontFor(const html::FontDescription& font);
  const Loaded* LoadPicture(const std::string& source);
  void PaintPicture(HDC dc, const html::Layout& layout, const html::DisplayItem& item,
                    const RECT& box);

  std::function<std::string(const std::string&)> picturePath_;
  std::map<std::string, common::GdiObject<HFONT>> fonts_;
  std::map<std::string, Loaded> pictures_;  // by path; a null bitmap for what failed
};

}  // namespace tavrel::standard_controls
