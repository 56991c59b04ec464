// The buttons: TButton, TBitBtn and TSpeedButton, the check box TRzCheckBox
// and the radio button TRzRadioButton.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

// ---------------------------------------------------------------------------
// TButton, TBitBtn, TSpeedButton

enum class ButtonKind { kButton, kBitBtn, kSpeedButton };

void SetButtonType(HWND button, DWORD type) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(button, GWL_STYLE));
  SendMessageA(button, BM_SETSTYLE, (style & 0xFFFFu & ~DWORD{BS_TYPEMASK}) | type, TRUE);
}

class Button final : public StandardControl {
 public:
  Button(const FormObject& object, ControlSite& site, ButtonKind kind)
      : StandardControl(object, Classes(kind), site), kind_(kind) {
    if (kind == ButtonKind::kSpeedButton) {
      Keep("Flat", Kind::kBool, "False");
      Keep("Down", Kind::kBool, "False");
      Keep("AllowAllUp", Kind::kBool, "False");
      Keep("GroupIndex", Kind::kInt, "0");
    } else {
      Keep("Cancel", Kind::kBool, "False");
      Keep("ModalResult", Kind::kText, "mrNone");
    }
    if (kind == ButtonKind::kBitBtn) {
      Keep("Kind", Kind::kChoice, "bkCustom",
           {"bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo", "bkClose", "bkAbort",
            "bkRetry", "bkIgnore", "bkAll"});
    }
    default_ = kind != ButtonKind::kSpeedButton && FileBool("Default", false);
  }

  void OnCommand(WORD notification) override {
    if (notification == BN_CLICKED) Fire(ControlEvent::kClick);
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = "BUTTON";
    params.style = default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if (kind_ != ButtonKind::kSpeedButton) params.style |= WS_TABSTOP;
    if (FileBool("WordWrap", false)) params.style |= BS_MULTILINE;
    return params;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (kind_ != ButtonKind::kSpeedButton && Is(name, "Default")) return BoolText(default_);
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (kind_ != ButtonKind::kSpeedButton && Is(name, "Default")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      default_ = *value;
      SetButtonType(Window(), default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  static std::vector<std::string> Classes(ButtonKind kind) {
    switch (kind) {
      case ButtonKind::kBitBtn:
        return {"TBitBtn", "TButton"};
      case ButtonKind::kSpeedButton:
        return {"TSpeedButton"};
      case ButtonKind::kButton:
        break;
    }
    return {"TButton"};
  }

  ButtonKind kind_;
  bool default_ = false;
};

// ---------------------------------------------------------------------------
// TRzCheckBox

constexpr const char* kCheckStates[] = {"cbUnchecked", "cbChecked", "cbGrayed"};

class CheckBox final : public StandardControl {
 public:
  CheckBox(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TRzCheckBox"}, site),
        allowGrayed_(FileBool("AllowGrayed", false)) {}

  // The button has already moved on by itself; the order of states is
  // unchecked, (grayed when allowed,) checked, unchecked; grayed goes to
  // checked.
  void OnCommand(WORD notification) override {
    if (notification != BN_CLICKED) return;
    int next = CurrentState();
    if (IsThreeState()) {
      next = last_ == 0 ? (allowGrayed_ ? 2 : 1) : last_ == 1 ? 0 : 1;
    }
    Apply(next);
    Fire(ControlEvent::kClick);
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = "BUTTON";
    params.style = (allowGrayed_ ? BS_AUTO3STATE : BS_AUTOCHECKBOX) | WS_TABSTOP;
    return params;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Checked")) return BoolText(CurrentState() == 1);
    if (Is(name, "State")) return kCheckStates[CurrentState()];
    if (Is(name, "AllowGrayed")) return BoolText(allowGrayed_);
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Checked")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      ChangeState(*value ? 1 : 0);
      return true;
    }
    if (Is(name, "State")) {
      const auto value = ChoiceOf(kCheckStates, text);
      if (!value) return false;
      ChangeState(*value);
      return true;
    }
    if (Is(name, "AllowGrayed")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      allowGrayed_ = *value;
      Apply(CurrentState());
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  int CurrentState() const {
    const LRESULT state = Send(BM_GETCHECK);
    return state == BST_CHECKED ? 1 : state == BST_INDETERMINATE ? 2 : 0;
  }
  bool IsThreeState() const {
    const DWORD type = Style() & BS_TYPEMASK;
    return type == BS_AUTO3STATE || type == BS_3STATE;
  }
  void Apply(int state) {
    // A grayed box needs the three-state kind of button.
    SetButtonType(Window(), allowGrayed_ || state == 2 ? BS_AUTO3STATE : BS_AUTOCHECKBOX);
    Send(BM_SETCHECK, state == 1 ? BST_CHECKED : state == 2 ? BST_INDETERMINATE : BST_UNCHECKED);
    last_ = state;
  }
  void ChangeState(int state) {
    if (state == CurrentState()) return;
    Apply(state);
    Fire(ControlEvent::kClick);
  }

  bool allowGrayed_;
  int last_ = 0;
};

// ---------------------------------------------------------------------------
// TRzRadioButton

class RadioButton final : public StandardControl {
 public:
  RadioButton(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TRzRadioButton"}, site) {}

  void OnCommand(WORD notification) override {
    if (notification == BN_CLICKED) SetChecked(true);
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = "BUTTON";
    params.style = BS_RADIOBUTTON | WS_TABSTOP;
    return params;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Checked")) return BoolText(Checked());
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Checked")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      SetChecked(*value);
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  bool Checked() const { return Send(BM_GETCHECK) == BST_CHECKED; }

  // Checking one clears the others of the same parent window, quietly: only
  // the one that became checked reports a click.
  void SetChecked(bool value) {
    if (value == Checked()) return;
    Send(BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED);
    if (!value) return;
    const HWND parent = GetParent(Window());
    for (HWND sibling = GetWindow(parent, GW_CHILD); sibling != nullptr;
         sibling = GetWindow(sibling, GW_HWNDNEXT)) {
      if (sibling == Window()) continue;
      if (auto* radio = dynamic_cast<RadioButton*>(FormControl::FromWindow(sibling))) {
        radio->Send(BM_SETCHECK, BST_UNCHECKED);
      }
    }
    Fire(ControlEvent::kClick);
  }
};

}  // namespace

std::unique_ptr<FormControl> CreateButtonControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "TButton")) return std::make_unique<Button>(object, site, ButtonKind::kButton);
  if (Is(name, "TBitBtn")) return std::make_unique<Button>(object, site, ButtonKind::kBitBtn);
  if (Is(name, "TSpeedButton")) {
    return std::make_unique<Button>(object, site, ButtonKind::kSpeedButton);
  }
  if (Is(name, "TRzCheckBox")) return std::make_unique<CheckBox>(object, site);
  if (Is(name, "TRzRadioButton")) return std::make_unique<RadioButton>(object, site);
  return nullptr;
}

}  // namespace tavrel::standard_controls
