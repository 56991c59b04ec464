// The bodies of the helpers of form_shell_kit.h.
#include "engine/win32/forms/form_shell_kit.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "engine/core/script_text.h"
#include "engine/win32/forms/form_file_system.h"

namespace tavrel::shell_controls {

bool SameName(std::string_view a, std::string_view b) {
  return EqualsIgnoringAsciiCase(a, b);
}

std::optional<std::string> NameIn(std::string_view folder, std::string_view text) {
  auto [path, name] = SplitLast(text);
  if (!path.empty()) {
    const auto existing = ExistingFolder(path);
    if (!existing || !SamePath(*existing, folder)) return std::nullopt;
  }
  return std::move(name);
}

// ---------------------------------------------------------------------------
// Drawing of the indented folder lists

namespace {

// Draws an item of an owner-drawn list or combo box: indent pixels in, its
// small icon (none for -1) and its text.
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

}  // namespace

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

void DrawFolderLine(const DRAWITEMSTRUCT& item, HFONT font, std::span<const FolderLine> lines) {
  const auto index = static_cast<std::size_t>(item.itemID);
  if (item.itemID == static_cast<UINT>(-1) || index >= lines.size()) {
    DrawIndentedItem(item, font, "", 0, -1);
    return;
  }
  const FolderLine& line = lines[index];
  const int indent = (item.itemState & ODS_COMBOBOXEDIT) != 0 ? 0 : line.level * kIndentStep;
  DrawIndentedItem(item, font, line.label, indent, line.icon);
}

}  // namespace tavrel::shell_controls
