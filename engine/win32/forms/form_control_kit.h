// What the files of the standard controls share: name and choice helpers,
// colour properties, GDI helpers, the window classes of the painted controls,
// the bases StandardControl and PaintedControl, and each group's factory.
//
// Changing a value through SetPropertyText reports the same event a user's
// change reports, and only when the value really changed.
#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/text_lines.h"
#include "common/win32/handle_owner.h"
#include "engine/win32/forms/form_control.h"

namespace tavrel::standard_controls {

// ---------------------------------------------------------------------------
// Text helpers

// Whether a and b are the same but for the case of ASCII letters.
bool Is(std::string_view a, std::string_view b);

using Choices = std::span<const char* const>;

// The index of text among choices, compared as Is compares; nullopt when it
// is none of them.
std::optional<int> ChoiceOf(Choices choices, std::string_view text);

bool IsSpace(char c);

// A colour property: the text as last set (read back unchanged) and its value.
struct ColorProperty {
  std::string text;
  COLORREF value = 0;

  bool Set(const std::string& newText) {
    const auto parsed = FormControl::ParseColor(newText);
    if (!parsed) return false;
    text = newText;
    value = *parsed;
    return true;
  }
};

// ---------------------------------------------------------------------------
// GDI helpers

class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() { SelectObject(dc_, old_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The font, or the default GUI font when there is none.
HGDIOBJ FontOrDefault(HFONT font);

// What shows behind a control that has no background of its own: the
// nearest enclosing control's background, else the window class brush of
// the form, else the face colour.
HBRUSH ParentBrush(HWND window, HDC dc);

// The window classes of the painted controls, registered before the first
// control is made.
inline constexpr char kPanelClass[] = "TavrelPanel";
inline constexpr char kImageClass[] = "TavrelImage";
inline constexpr char kShapeClass[] = "TavrelShape";
inline constexpr char kBevelClass[] = "TavrelBevel";
inline constexpr char kHtmlClass[] = "TavrelHtml";

// ---------------------------------------------------------------------------
// The common part of the standard controls: properties the control only keeps
// (validated, read back as set) and helpers for styles and the file.

class StandardControl : public FormControl {
 public:
  using FormControl::FormControl;

 protected:
  enum class Kind { kText, kBool, kInt, kCount, kChoice };

  void Keep(std::string name, Kind kind, std::string value, std::vector<std::string> choices = {}) {
    stored_.push_back({std::move(name), kind, std::move(value), std::move(choices)});
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    for (const Stored& stored : stored_) {
      if (Is(stored.name, name)) return stored.value;
    }
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    for (Stored& stored : stored_) {
      if (!Is(stored.name, name)) continue;
      switch (stored.kind) {
        case Kind::kText:
          stored.value = text;
          return true;
        case Kind::kBool: {
          const auto value = ParseBool(text);
          if (!value) return false;
          stored.value = BoolText(*value);
          return true;
        }
        case Kind::kInt:
        case Kind::kCount: {
          const auto value = ParseInt(text);
          if (!value || (stored.kind == Kind::kCount && *value < 0)) return false;
          stored.value = std::to_string(*value);
          return true;
        }
        case Kind::kChoice:
          for (const std::string& choice : stored.choices) {
            if (Is(choice, text)) {
              stored.value = choice;
              return true;
            }
          }
          return false;
      }
    }
    return std::nullopt;
  }

  bool StoredBool(std::string_view name) {
    return ParseBool(StandardControl::GetOwn(name).value_or("")).value_or(false);
  }

  bool FileBool(std::string_view name, bool fallback) const {
    const FormProperty* property = FileProperty(name);
    return property != nullptr ? ParseBool(property->text).value_or(fallback) : fallback;
  }
  int FileInt(std::string_view name, int fallback) const {
    const FormProperty* property = FileProperty(name);
    return property != nullptr ? ParseInt(property->text).value_or(fallback) : fallback;
  }
  int FileChoice(std::string_view name, Choices choices, int fallback) const {
    const FormProperty* property = FileProperty(name);
    return property != nullptr ? ChoiceOf(choices, property->text).value_or(fallback) : fallback;
  }
  std::string FileChoiceText(std::string_view name, Choices choices, int fallback) const {
    return choices[static_cast<std::size_t>(FileChoice(name, choices, fallback))];
  }
  std::vector<std::string> FileItems(std::string_view name) const {
    const FormProperty* property = FileProperty(name);
    if (property == nullptr) return {};
    if (property->kind == FormProperty::Kind::kList) return property->items;
    return common::SplitLines(property->text);
  }

  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return SendMessageA(Window(), message, wParam, lParam);
  }
  DWORD Style() const { return static_cast<DWORD>(GetWindowLongPtrA(Window(), GWL_STYLE)); }
  void ChangeStyle(DWORD clear, DWORD set) {
    const DWORD style = (Style() & ~clear) | set;
    SetWindowLongPtrA(Window(), GWL_STYLE, static_cast<LONG_PTR>(style));
    FrameChanged();
  }
  void ChangeExStyle(DWORD clear, DWORD set) {
    const auto old = static_cast<DWORD>(GetWindowLongPtrA(Window(), GWL_EXSTYLE));
    SetWindowLongPtrA(Window(), GWL_EXSTYLE, static_cast<LONG_PTR>((old & ~clear) | set));
    FrameChanged();
  }
  void FrameChanged() {
    SetWindowPos(Window(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    Repaint();
  }
  void Repaint() const { InvalidateRect(Window(), nullptr, TRUE); }

  // Whether the control has a Color of its own.
  bool HasColor() {
    const auto color = Kept().find("Color");
    return color != Kept().end() && ParseColor(color->second).has_value();
  }
  // For controls whose background without a Color of their own is not the
  // face colour: the caller has set up the DC for background; the base adds
  // Font.Color, and Color when there is one.
  HBRUSH ColorOver(HDC dc, HBRUSH background) {
    const COLORREF backgroundColor = GetBkColor(dc);
    const HBRUSH own = FormControl::OnColor(dc);
    if (HasColor()) return own;
    SetBkColor(dc, backgroundColor);
    return background;
  }

 private:
  struct Stored {
    std::string name;
    Kind kind;
    std::string value;
    std::vector<std::string> choices;
  };
  std::vector<Stored> stored_;
};

inline constexpr const char* kAlignments[] = {"taLeftJustify", "taRightJustify", "taCenter"};
inline constexpr const char* kBorderStyles[] = {"bsNone", "bsSingle"};

// ---------------------------------------------------------------------------
// The base of the painted windows: panels, Flash panes, images, shapes, bevels.

class PaintedControl : public StandardControl {
 public:
  using StandardControl::StandardControl;

 protected:
  virtual void Paint(HDC dc, const RECT& client) = 0;

  bool WantsOwnMessages() const override { return true; }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_ERASEBKGND:
        result = 1;
        return true;
      case WM_PAINT: {
        PAINTSTRUCT paint{};
        const HDC dc = BeginPaint(Window(), &paint);
        RECT client{};
        GetClientRect(Window(), &client);
        PaintBuffered(dc, client);
        EndPaint(Window(), &paint);
        result = 0;
        return true;
      }
      case WM_PRINTCLIENT: {
        RECT client{};
        GetClientRect(Window(), &client);
        Paint(reinterpret_cast<HDC>(wParam), client);
        result = 0;
        return true;
      }
      case WM_SETTEXT:
      case WM_SETFONT:
      case WM_ENABLE:
        result = DefSubclassProc(Window(), message, wParam, lParam);
        Repaint();
        return true;
      default:
        return false;
    }
  }

 private:
  void PaintBuffered(HDC dc, const RECT& client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return;
    const common::MemoryDc memory(CreateCompatibleDC(dc));
    const common::GdiObject<HBITMAP> buffer(CreateCompatibleBitmap(dc, width, height));
    if (!memory || !buffer) {
      Paint(dc, client);
      return;
    }
    SelectedObject selected(memory.Get(), buffer.Get());
    Paint(memory.Get(), client);
    BitBlt(dc, 0, 0, width, height, memory.Get(), 0, 0, SRCCOPY);
  }
};

// ---------------------------------------------------------------------------
// The base of the panel windows, panels and Flash panes: the face colour and
// the caption as window text, drawn on one line.

class PanelControl : public PaintedControl {
 public:
  using PaintedControl::PaintedControl;

  HBRUSH OnColor(HDC dc) override {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return ColorOver(dc, GetSysColorBrush(COLOR_BTNFACE));
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = kPanelClass;
    params.style = WS_CLIPCHILDREN;
    return params;
  }

  // The caption, vertically centred in rect and aligned by align (DT_LEFT,
  // DT_RIGHT, DT_CENTER); grey while the control is disabled.
  void DrawCaption(HDC dc, RECT rect, UINT align) {
    const std::string caption = WindowText();
    if (caption.empty()) return;
    if (IsWindowEnabled(Window()) == FALSE) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    SelectedObject font(dc, FontOrDefault(Font()));
    DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
              DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS | align);
    SetBkMode(dc, oldMode);
  }
};

// ---------------------------------------------------------------------------
// The groups of classes, each in a file of its own. Each makes the control of
// a dialog file's object when the class is one of its own, else nullptr.

std::unique_ptr<FormControl> CreateLabelControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateEditControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateButtonControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateItemListControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateContainerControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateFlashFrameControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateHtmlViewControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreatePictureControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateRangeControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateAnimationControl(const FormObject& object, ControlSite& site);

}  // namespace tavrel::standard_controls
