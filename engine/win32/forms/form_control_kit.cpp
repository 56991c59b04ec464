// The bodies of the helpers the standard controls share.
#include "engine/win32/forms/form_control_kit.h"

#include <cstddef>
#include <optional>
#include <string_view>

#include "engine/core/script_text.h"

namespace tavrel::standard_controls {

bool Is(std::string_view a, std::string_view b) {
  return EqualsIgnoringAsciiCase(a, b);
}

std::optional<int> ChoiceOf(Choices choices, std::string_view text) {
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (Is(choices[i], text)) return static_cast<int>(i);
  }
  return std::nullopt;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

HGDIOBJ FontOrDefault(HFONT font) {
  return font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT);
}

HBRUSH ParentBrush(HWND window, HDC dc) {
  HWND parent = GetParent(window);
  for (int depth = 0; parent != nullptr && depth < 32; ++depth) {
    if (FormControl* control = FormControl::FromWindow(parent)) {
      if (const HBRUSH brush = control->OnColor(dc)) return brush;
      if ((GetWindowLongPtrA(parent, GWL_STYLE) & WS_CHILD) == 0) break;
      parent = GetParent(parent);
      continue;
    }
    const auto classBrush = static_cast<ULONG_PTR>(GetClassLongPtrA(parent, GCLP_HBRBACKGROUND));
    if (classBrush >= 1 && classBrush <= COLOR_MENUBAR + 1) {
      const int index = static_cast<int>(classBrush) - 1;
      SetBkColor(dc, GetSysColor(index));
      return GetSysColorBrush(index);
    }
    if (classBrush != 0) {
      const auto brush = reinterpret_cast<HBRUSH>(classBrush);
      LOGBRUSH info{};
      if (GetObjectA(brush, sizeof info, &info) == sizeof info && info.lbStyle == BS_SOLID) {
        SetBkColor(dc, info.lbColor);
      }
      return brush;
    }
    break;
  }
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

}  // namespace tavrel::standard_controls
