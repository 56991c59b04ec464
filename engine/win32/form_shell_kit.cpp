// The bodies of the helpers of form_shell_kit.h.
#include "engine/win32/form_shell_kit.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "engine/win32/form_file_system.h"

namespace tavrel::shell_controls {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

// ---------------------------------------------------------------------------
// Drawing of the indented folder lists

int ItemHeightFor(HWND window, HFONT font) {
  const HDC dc = GetDC(window);
  if (dc == nullptr) return 18;
  const HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(window, dc);
  return std::max<int>(metrics.tmHeight, 16) + 2;
}

void DrawIndentedItem(const DRAWITEMSTRUCT& item, HFONT font, const std::string& text, int indent,
                      int icon) {
  const HDC dc = item.hDC;
  RECT bounds = item.rcItem;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(dc, &bounds, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID != static_cast<UINT>(-1)) {
    int x = bounds.left + 2 + indent;
    if (icon >= 0 && Icons().small != nullptr) {
      const int y = bounds.top + (bounds.bottom - bounds.top - 16) / 2;
      ImageList_Draw(Icons().small, icon, dc, x, y, ILD_TRANSPARENT);
      x += 20;
    }
    const HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    const int color = (item.itemState & ODS_DISABLED) != 0 ? COLOR_GRAYTEXT
                      : selected                           ? COLOR_HIGHLIGHTTEXT
                                                           : COLOR_WINDOWTEXT;
    SetTextColor(dc, GetSysColor(color));
    RECT textBounds{x, bounds.top, bounds.right - 2, bounds.bottom};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textBounds,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (old != nullptr) SelectObject(dc, old);
  }
  if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    DrawFocusRect(dc, &bounds);
  }
}

}  // namespace tavrel::shell_controls
