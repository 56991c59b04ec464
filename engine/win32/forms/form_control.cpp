#include "engine/win32/forms/form_control.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>
#include <utility>

#include "common/ascii_case.h"
#include "common/text_lines.h"
#include "engine/core/script_text.h"

namespace tavrel {

namespace {

constexpr const char* kControlProperty = "TavrelFormControl";

struct NamedColor {
  const char* name;
  COLORREF value;
  bool system;
};

// System colours by index; fixed colours as RGB.
constexpr std::array kColors{
    NamedColor{"clBlack", RGB(0, 0, 0), false},
    NamedColor{"clMaroon", RGB(128, 0, 0), false},
    NamedColor{"clGreen", RGB(0, 128, 0), false},
    NamedColor{"clOlive", RGB(128, 128, 0), false},
    NamedColor{"clNavy", RGB(0, 0, 128), false},
    NamedColor{"clPurple", RGB(128, 0, 128), false},
    NamedColor{"clTeal", RGB(0, 128, 128), false},
    NamedColor{"clGray", RGB(128, 128, 128), false},
    NamedColor{"clSilver", RGB(192, 192, 192), false},
    NamedColor{"clRed", RGB(255, 0, 0), false},
    NamedColor{"clLime", RGB(0, 255, 0), false},
    NamedColor{"clYellow", RGB(255, 255, 0), false},
    NamedColor{"clBlue", RGB(0, 0, 255), false},
    NamedColor{"clFuchsia", RGB(255, 0, 255), false},
    NamedColor{"clAqua", RGB(0, 255, 255), false},
    NamedColor{"clWhite", RGB(255, 255, 255), false},
    NamedColor{"clScrollBar", COLOR_SCROLLBAR, true},
    NamedColor{"clBackground", COLOR_BACKGROUND, true},
    NamedColor{"clActiveCaption", COLOR_ACTIVECAPTION, true},
    NamedColor{"clInactiveCaption", COLOR_INACTIVECAPTION, true},
    NamedColor{"clMenu", COLOR_MENU, true},
    NamedColor{"clWindow", COLOR_WINDOW, true},
    NamedColor{"clWindowFrame", COLOR_WINDOWFRAME, true},
    NamedColor{"clMenuText", COLOR_MENUTEXT, true},
    NamedColor{"clWindowText", COLOR_WINDOWTEXT, true},
    NamedColor{"clCaptionText", COLOR_CAPTIONTEXT, true},
    NamedColor{"clActiveBorder", COLOR_ACTIVEBORDER, true},
    NamedColor{"clInactiveBorder", COLOR_INACTIVEBORDER, true},
    NamedColor{"clAppWorkSpace", COLOR_APPWORKSPACE, true},
    NamedColor{"clHighlight", COLOR_HIGHLIGHT, true},
    NamedColor{"clHighlightText", COLOR_HIGHLIGHTTEXT, true},
    NamedColor{"clBtnFace", COLOR_BTNFACE, true},
    NamedColor{"clBtnShadow", COLOR_BTNSHADOW, true},
    NamedColor{"clGrayText", COLOR_GRAYTEXT, true},
    NamedColor{"clBtnText", COLOR_BTNTEXT, true},
    NamedColor{"clInactiveCaptionText", COLOR_INACTIVECAPTIONTEXT, true},
    NamedColor{"clBtnHighlight", COLOR_BTNHIGHLIGHT, true},
    NamedColor{"cl3DDkShadow", COLOR_3DDKSHADOW, true},
    NamedColor{"cl3DLight", COLOR_3DLIGHT, true},
    NamedColor{"clInfoText", COLOR_INFOTEXT, true},
    NamedColor{"clInfoBk", COLOR_INFOBK, true},
};

bool IsListProperty(const FormProperty& property) {
  return property.kind == FormProperty::Kind::kList;
}

// "Items.Strings" is how a file writes the Items list.
std::string_view PropertyKey(std::string_view name) {
  constexpr std::string_view kStrings = ".Strings";
  if (name.size() > kStrings.size() &&
      EqualsIgnoringAsciiCase(name.substr(name.size() - kStrings.size()), kStrings)) {
    return name.substr(0, name.size() - kStrings.size());
  }
  return name;
}

bool IsFontProperty(std::string_view name) {
  return name.size() > 5 && EqualsIgnoringAsciiCase(name.substr(0, 5), "Font.");
}

// Properties the base applies when it makes the window.
bool IsCreationProperty(std::string_view name) {
  for (const std::string_view base :
       {"Name", "Hint", "Tag", "Left", "Top", "Width", "Height", "Visible", "Enabled", "Caption",
        "Color", "ParentFont", "ParentColor"}) {
    if (EqualsIgnoringAsciiCase(name, base)) return true;
  }
  return IsFontProperty(name);
}

// Window coordinates and sizes stay within what the system handles; larger
// values in a file would only overflow the sums made from them.
int Coordinate(int value) {
  return std::clamp(value, -32768, 32767);
}

const FormProperty* FindIn(const FormObject& object, std::string_view name) {
  const FormProperty* found = nullptr;
  for (const FormProperty& property : object.properties) {
    if (EqualsIgnoringAsciiCase(property.name, name)) found = &property;
  }
  return found;
}

// The text a property's value takes in the kept store.
std::string FileText(const FormProperty& property) {
  return property.text;
}

}  // namespace

bool PropertyNameLess::operator()(std::string_view a, std::string_view b) const {
  return common::LessIgnoringAsciiCase(a, b);
}

FormControl::FormControl(const FormObject& object, std::vector<std::string> classes,
                         ControlSite& site)
    : object_(object), classes_(std::move(classes)), name_(object.name), site_(site) {
  if (classes_.empty()) classes_.push_back(object.className);
  object_.children.clear();
  if (const auto* hint = FindIn(object_, "Hint")) hint_ = hint->text;
  if (const auto* tag = FindIn(object_, "Tag")) tag_ = tag->text;
  const auto number = [&](std::string_view name, LONG fallback) -> LONG {
    const auto* property = FindIn(object_, name);
    if (property == nullptr) return fallback;
    return Coordinate(ParseInt(property->text).value_or(fallback));
  };
  bounds_.left = number("Left", 0);
  bounds_.top = number("Top", 0);
  bounds_.right = bounds_.left + std::max<LONG>(0, number("Width", 100));
  bounds_.bottom = bounds_.top + std::max<LONG>(0, number("Height", 25));
  if (const auto* visible = FindIn(object_, "Visible")) {
    visible_ = ParseBool(visible->text).value_or(true);
  }
  if (const auto* enabled = FindIn(object_, "Enabled")) {
    enabled_ = ParseBool(enabled->text).value_or(true);
  }
}

FormControl::~FormControl() {
  if (window_ != nullptr && IsWindow(window_)) {
    RemovePropA(window_, kControlProperty);
    if (WantsOwnMessages()) RemoveWindowSubclass(window_, SubclassProc, 1);
    DestroyWindow(window_);
  }
}

void FormControl::Create(HWND parent, HFONT formFont) {
  formFont_ = formFont;
  const WindowParams params = Params();
  DWORD style = params.style | WS_CHILD | WS_CLIPSIBLINGS;
  // Tab moves into the controls a container holds.
  const DWORD exStyle = params.exStyle | (IsContainer() ? WS_EX_CONTROLPARENT : 0);
  if (visible_) style |= WS_VISIBLE;
  if (!enabled_) style |= WS_DISABLED;
  std::string caption;
  if (HasCaption()) {
    if (const auto* property = FindIn(object_, "Caption")) caption = property->text;
  }
  window_ = CreateWindowExA(exStyle, params.windowClass, caption.c_str(), style, bounds_.left,
                            bounds_.top, bounds_.right - bounds_.left, bounds_.bottom - bounds_.top,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId_)),
                            GetModuleHandleA(nullptr), nullptr);
  if (window_ == nullptr) {
    throw std::runtime_error("cannot create the control " + name_ + " (" + ClassName() +
                             "), error " + std::to_string(GetLastError()));
  }
  SetPropA(window_, kControlProperty, this);
  if (WantsOwnMessages()) {
    SetWindowSubclass(window_, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  for (const FormProperty& property : object_.properties) {
    if (EqualsIgnoringAsciiCase(property.name, "Color")) {
      if (const auto color = ParseColor(property.text)) {
        color_ = *color;
        brush_.Reset(CreateSolidBrush(color_));
      }
      kept_["Color"] = property.text;
    } else if (EqualsIgnoringAsciiCase(property.name, "ParentFont") ||
               EqualsIgnoringAsciiCase(property.name, "ParentColor") ||
               IsFontProperty(property.name)) {
      kept_[property.name] = property.text;
    }
  }
  MakeFont();
  SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  loading_ = true;
  Created();
  for (const FormProperty& property : object_.properties) {
    if (IsCreationProperty(property.name)) continue;
    if (EqualsIgnoringAsciiCase(property.name, "TabStop")) {
      bool valid = false;
      SetBase(property.name, property.text, valid);
      continue;
    }
    const std::string_view key = PropertyKey(property.name);
    const std::string text =
        IsListProperty(property) ? common::JoinLines(property.items) : FileText(property);
    if (!SetOwn(key, text).has_value()) kept_[std::string(key)] = text;
  }
  loading_ = false;
}

void FormControl::MakeFont() {
  bool own = false;
  LOGFONTA font{};
  if (GetObjectA(formFont_ != nullptr ? formFont_ : GetStockObject(DEFAULT_GUI_FONT), sizeof font,
                 &font) == 0) {
    return;
  }
  for (const auto& [name, text] : kept_) {
    if (!IsFontProperty(name)) continue;
    const std::string_view field = std::string_view(name).substr(5);
    if (EqualsIgnoringAsciiCase(field, "Name")) {
      if (!text.empty() && text.size() < LF_FACESIZE) {
        std::copy(text.begin(), text.end(), font.lfFaceName);
        font.lfFaceName[text.size()] = '\0';
        own = true;
      }
    } else if (EqualsIgnoringAsciiCase(field, "Height")) {
      if (const auto height = ParseInt(text)) {
        font.lfHeight = *height;
        own = true;
      }
    } else if (EqualsIgnoringAsciiCase(field, "Size")) {
      if (const auto size = ParseInt(text)) {
        font.lfHeight = -MulDiv(*size, 96, 72);
        own = true;
      }
    } else if (EqualsIgnoringAsciiCase(field, "Style")) {
      const auto has = [&](std::string_view flag) {
        return common::FindIgnoringAsciiCase(text, flag) != std::string_view::npos;
      };
      font.lfWeight = has("fsBold") ? FW_BOLD : FW_NORMAL;
      font.lfItalic = has("fsItalic") ? TRUE : FALSE;
      font.lfUnderline = has("fsUnderline") ? TRUE : FALSE;
      font.lfStrikeOut = has("fsStrikeOut") ? TRUE : FALSE;
      own = true;
    } else if (EqualsIgnoringAsciiCase(field, "Color")) {
      if (const auto color = ParseColor(text)) textColor_ = *color;
    }
  }
  if (own) {
    font_.Reset(CreateFontIndirectA(&font));
  }
}

bool FormControl::IsA(std::string_view className) const {
  return std::any_of(classes_.begin(), classes_.end(), [&](const std::string& name) {
    return EqualsIgnoringAsciiCase(name, className);
  });
}

std::optional<std::string> FormControl::GetBase(std::string_view name) {
  if (EqualsIgnoringAsciiCase(name, "Name")) return name_;
  if (EqualsIgnoringAsciiCase(name, "Hint")) return hint_;
  if (EqualsIgnoringAsciiCase(name, "Tag")) return tag_;
  if (EqualsIgnoringAsciiCase(name, "Caption") && HasCaption()) return WindowText();
  if (window_ == nullptr) return std::nullopt;
  RECT rect{};
  GetWindowRect(window_, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(window_), reinterpret_cast<POINT*>(&rect), 2);
  if (EqualsIgnoringAsciiCase(name, "Left")) return std::to_string(rect.left);
  if (EqualsIgnoringAsciiCase(name, "Top")) return std::to_string(rect.top);
  if (EqualsIgnoringAsciiCase(name, "Width")) return std::to_string(rect.right - rect.left);
  if (EqualsIgnoringAsciiCase(name, "Height")) return std::to_string(rect.bottom - rect.top);
  if (EqualsIgnoringAsciiCase(name, "Visible")) {
    return BoolText((GetWindowLongA(window_, GWL_STYLE) & WS_VISIBLE) != 0);
  }
  if (EqualsIgnoringAsciiCase(name, "Enabled")) return BoolText(IsWindowEnabled(window_) != FALSE);
  if (EqualsIgnoringAsciiCase(name, "TabStop")) {
    return BoolText((GetWindowLongA(window_, GWL_STYLE) & WS_TABSTOP) != 0);
  }
  return std::nullopt;
}

bool FormControl::SetBase(std::string_view name, const std::string& text, bool& valid) {
  valid = true;
  if (EqualsIgnoringAsciiCase(name, "Name")) {
    valid = false;  // a control keeps the name the form knows it by
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "Hint")) {
    hint_ = text;
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "Tag")) {
    valid = ParseInt(text).has_value();
    if (valid) tag_ = std::to_string(*ParseInt(text));
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "Caption") && HasCaption()) {
    SetWindowTextTo(text);
    return true;
  }
  if (window_ == nullptr) return false;
  for (const std::string_view geometry : {"Left", "Top", "Width", "Height"}) {
    if (!EqualsIgnoringAsciiCase(name, geometry)) continue;
    const auto value = ParseInt(text);
    valid = value.has_value();
    if (!valid) return true;
    RECT rect{};
    GetWindowRect(window_, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(window_), reinterpret_cast<POINT*>(&rect), 2);
    int left = rect.left, top = rect.top;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const int coordinate = Coordinate(*value);
    if (geometry == "Left") left = coordinate;
    if (geometry == "Top") top = coordinate;
    if (geometry == "Width") width = std::max(0, coordinate);
    if (geometry == "Height") height = std::max(0, coordinate);
    SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "Visible") || EqualsIgnoringAsciiCase(name, "Enabled")) {
    const auto value = ParseBool(text);
    valid = value.has_value();
    if (!valid) return true;
    if (EqualsIgnoringAsciiCase(name, "Visible")) {
      ShowWindow(window_, *value ? SW_SHOWNA : SW_HIDE);
    } else {
      EnableWindow(window_, *value ? TRUE : FALSE);
    }
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "TabStop")) {
    const auto value = ParseBool(text);
    valid = value.has_value();
    if (!valid) return true;
    const LONG style = GetWindowLongA(window_, GWL_STYLE);
    SetWindowLongA(window_, GWL_STYLE, *value ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "Color")) {
    const auto color = ParseColor(text);
    valid = color.has_value();
    if (!valid) return true;
    color_ = *color;
    brush_.Reset(CreateSolidBrush(color_));
    kept_["Color"] = text;
    InvalidateRect(window_, nullptr, TRUE);
    return true;
  }
  if (IsFontProperty(name)) {
    kept_[std::string(name)] = text;
    MakeFont();
    SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), TRUE);
    InvalidateRect(window_, nullptr, TRUE);
    return true;
  }
  return false;
}

std::optional<std::string> FormControl::GetPropertyText(std::string_view name) {
  const std::string_view key = PropertyKey(name);
  if (auto value = GetBase(key)) return value;
  if (auto value = GetOwn(key)) return value;
  if (const auto kept = kept_.find(key); kept != kept_.end()) return kept->second;
  return std::nullopt;
}

bool FormControl::SetPropertyText(std::string_view name, const std::string& text) {
  const std::string_view key = PropertyKey(name);
  bool valid = false;
  if (SetBase(key, text, valid)) return valid;
  if (const auto own = SetOwn(key, text)) return *own;
  if (const auto kept = kept_.find(key); kept != kept_.end()) {
    kept->second = text;
    return true;
  }
  return false;
}

HBRUSH FormControl::OnColor(HDC dc) {
  if (!brush_ && textColor_ == CLR_INVALID) return nullptr;
  const bool edit = colorMessage_ == WM_CTLCOLOREDIT || colorMessage_ == WM_CTLCOLORLISTBOX;
  const int background = edit ? COLOR_WINDOW : COLOR_BTNFACE;
  SetTextColor(dc, textColor_ != CLR_INVALID
                       ? textColor_
                       : GetSysColor(edit ? COLOR_WINDOWTEXT : COLOR_BTNTEXT));
  SetBkColor(dc, brush_ ? color_ : GetSysColor(background));
  return brush_ ? brush_.Get() : GetSysColorBrush(background);
}

FormControl* FormControl::FromWindow(HWND window) {
  if (window == nullptr) return nullptr;
  return static_cast<FormControl*>(GetPropA(window, kControlProperty));
}

bool FormControl::RouteToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_COMMAND: {
      FormControl* control = FromWindow(reinterpret_cast<HWND>(lParam));
      if (control == nullptr) return false;
      control->OnCommand(HIWORD(wParam));
      result = 0;
      return true;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      FormControl* control = header != nullptr ? FromWindow(header->hwndFrom) : nullptr;
      if (control == nullptr) return false;
      result = 0;
      return control->OnNotify(*header, result);
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      FormControl* control = item != nullptr ? FromWindow(item->hwndItem) : nullptr;
      if (control == nullptr || !control->OnDrawItem(*item)) return false;
      result = TRUE;
      return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: {
      FormControl* control = FromWindow(reinterpret_cast<HWND>(lParam));
      if (control == nullptr) return false;
      control->colorMessage_ = message;
      const HBRUSH brush = control->OnColor(reinterpret_cast<HDC>(wParam));
      if (brush == nullptr) return false;
      result = reinterpret_cast<LRESULT>(brush);
      return true;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
      FormControl* control = FromWindow(reinterpret_cast<HWND>(lParam));
      if (control == nullptr) return false;
      control->OnScroll();
      result = 0;
      return true;
    }
    default:
      return false;
  }
}

LRESULT CALLBACK FormControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR data) {
  auto* control = reinterpret_cast<FormControl*>(data);
  LRESULT result = 0;
  if (control->IsContainer() && RouteToChild(message, wParam, lParam, result)) return result;
  if (control->OnOwnMessage(message, wParam, lParam, result)) return result;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, SubclassProc, 1);
  return DefSubclassProc(window, message, wParam, lParam);
}

const FormProperty* FormControl::FileProperty(std::string_view name) const {
  return FindIn(object_, name);
}

std::string FormControl::WindowText() const {
  if (window_ == nullptr) return "";
  const int length = GetWindowTextLengthA(window_);
  std::string text(static_cast<std::size_t>(std::max(0, length)) + 1, '\0');
  const int got = GetWindowTextA(window_, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(0, got)));
  return text;
}

void FormControl::SetWindowTextTo(const std::string& text) {
  if (window_ != nullptr) SetWindowTextA(window_, text.c_str());
}

std::optional<bool> FormControl::ParseBool(std::string_view text) {
  if (EqualsIgnoringAsciiCase(text, "True")) return true;
  if (EqualsIgnoringAsciiCase(text, "False")) return false;
  return std::nullopt;
}

std::optional<int> FormControl::ParseInt(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<COLORREF> FormControl::ParseColor(std::string_view text) {
  for (const NamedColor& color : kColors) {
    if (EqualsIgnoringAsciiCase(text, color.name)) {
      return color.system ? GetSysColor(static_cast<int>(color.value)) : color.value;
    }
  }
  long long number = 0;
  std::string_view digits = text;
  int base = 10;
  bool negative = false;
  if (!digits.empty() && digits.front() == '-') {
    negative = true;
    digits.remove_prefix(1);
  }
  if (!digits.empty() && digits.front() == '$') {
    base = 16;
    digits.remove_prefix(1);
  }
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), number, base);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  if (negative) number = -number;
  // A colour is a 32-bit value, written signed or unsigned.
  if (number < -2147483648LL || number > 0xFFFFFFFFLL) return std::nullopt;
  const auto value = static_cast<std::uint32_t>(number);
  const std::uint32_t high = value >> 24;
  if (high == 0x80 || high == 0xFF) {
    const int index = static_cast<int>(value & 0xFF);
    if (index > COLOR_INFOBK + 6) return std::nullopt;
    return GetSysColor(index);
  }
  if (high != 0) return std::nullopt;
  return static_cast<COLORREF>(value);
}

}  // namespace tavrel
