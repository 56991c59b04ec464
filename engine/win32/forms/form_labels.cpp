// The text labels: TLabel, and TStaticText, a label with a border of its own.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

constexpr const char* kStaticBorders[] = {"sbsNone", "sbsSingle", "sbsSunken"};

class Label final : public StandardControl {
 public:
  Label(const FormObject& object, ControlSite& site, bool staticText)
      : StandardControl(object, {staticText ? "TStaticText" : "TLabel"}, site),
        staticText_(staticText),
        alignment_(FileChoice("Alignment", kAlignments, 0)),
        wordWrap_(FileBool("WordWrap", false)),
        showAccelChar_(FileBool("ShowAccelChar", true)),
        border_(staticText ? FileChoice("BorderStyle", kStaticBorders, 0) : 0) {
    Keep("AutoSize", Kind::kBool, "True");
    Keep("FocusControl", Kind::kText, "");
    if (!staticText) Keep("Layout", Kind::kChoice, "tlTop", {"tlTop", "tlCenter", "tlBottom"});
  }

  void OnCommand(WORD notification) override {
    if (notification == STN_CLICKED) Fire(ControlEvent::kClick);
  }

  HBRUSH OnColor(HDC dc) override {
    if (!transparent_) return FormControl::OnColor(dc);
    const HBRUSH brush = ParentBrush(Window(), dc);
    const COLORREF background = GetBkColor(dc);
    FormControl::OnColor(dc);  // the label's own font colour, if it has one
    SetBkColor(dc, background);
    SetBkMode(dc, TRANSPARENT);
    return brush;
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = "STATIC";
    params.style = SS_NOTIFY | TextStyle();
    if (border_ == 1) params.style |= WS_BORDER;
    if (border_ == 2) params.exStyle |= WS_EX_STATICEDGE;
    return params;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Alignment")) return kAlignments[alignment_];
    if (Is(name, "ShowAccelChar")) return BoolText(showAccelChar_);
    if (Is(name, "Transparent")) return BoolText(transparent_);
    if (!staticText_ && Is(name, "WordWrap")) return BoolText(wordWrap_);
    if (staticText_ && Is(name, "BorderStyle")) return kStaticBorders[border_];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Alignment")) {
      const auto value = ChoiceOf(kAlignments, text);
      if (!value) return false;
      alignment_ = *value;
      ApplyTextStyle();
      return true;
    }
    if (Is(name, "Transparent") || Is(name, "ShowAccelChar") ||
        (!staticText_ && Is(name, "WordWrap"))) {
      const auto value = ParseBool(text);
      if (!value) return false;
      if (Is(name, "Transparent")) {
        transparent_ = *value;
        Repaint();
      } else {
        (Is(name, "WordWrap") ? wordWrap_ : showAccelChar_) = *value;
        ApplyTextStyle();
      }
      return true;
    }
    if (staticText_ && Is(name, "BorderStyle")) {
      const auto value = ChoiceOf(kStaticBorders, text);
      if (!value) return false;
      border_ = *value;
      SetWindowLongPtrA(Window(), GWL_STYLE,
                        static_cast<LONG_PTR>((Style() & ~DWORD{WS_BORDER}) |
                                              (border_ == 1 ? DWORD{WS_BORDER} : 0)));
      ChangeExStyle(WS_EX_STATICEDGE, border_ == 2 ? WS_EX_STATICEDGE : 0);
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  DWORD TextStyle() const {
    DWORD style = SS_LEFT;
    if (alignment_ == 1) {
      style = SS_RIGHT;
    } else if (alignment_ == 2) {
      style = SS_CENTER;
    } else if (!wordWrap_ && !staticText_) {
      style = SS_LEFTNOWORDWRAP;
    }
    if (!showAccelChar_) style |= SS_NOPREFIX;
    return style;
  }
  void ApplyTextStyle() { ChangeStyle(SS_TYPEMASK | SS_NOPREFIX, TextStyle()); }

  bool staticText_;
  int alignment_;
  bool wordWrap_;
  bool showAccelChar_;
  int border_;
  bool transparent_ = false;
};

}  // namespace

std::unique_ptr<FormControl> CreateLabelControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "TLabel")) return std::make_unique<Label>(object, site, false);
  if (Is(name, "TStaticText")) return std::make_unique<Label>(object, site, true);
  return nullptr;
}

}  // namespace tavrel::standard_controls
