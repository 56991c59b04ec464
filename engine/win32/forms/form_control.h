// The Win32 form library's controls: each control of a dialog file becomes
// one real Windows control, created from the file's properties and read and
// written through its published properties as text.
#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/win32/handle_owner.h"
#include "engine/core/dialog_control.h"
#include "engine/core/form_file.h"

namespace tavrel {

class FormControl;

// What a control needs from the dialog that holds it.
class ControlSite {
 public:
  virtual ~ControlSite() = default;
  // The control reports an event; the dialog decides what, if anything, runs.
  virtual void ControlEvent(FormControl& control, ControlEvent event) = 0;
};

// How the control's window is made. The base adds WS_CHILD, WS_VISIBLE (from
// Visible), WS_DISABLED (from Enabled) and WS_CLIPSIBLINGS.
struct WindowParams {
  const char* windowClass = "STATIC";
  DWORD style = 0;
  DWORD exStyle = 0;
};

// Case-insensitive ordering of property names.
struct PropertyNameLess {
  bool operator()(std::string_view a, std::string_view b) const;
  using is_transparent = void;
};

// Base of every control. Handles the properties common to all: Name, Hint,
// Tag, Left, Top, Width, Height, Visible, Enabled, Caption (the window text,
// for the classes whose HasCaption says so), Font.Name, Font.Height,
// Font.Size, Font.Style, Font.Color, ParentFont, Color, ParentColor,
// TabOrder, TabStop. A property that neither the base nor the class knows is
// kept as the file wrote it, and reads and writes as that text.
class FormControl : public DialogControl {
 public:
  // The class hierarchy: className first, then the classes it derives from.
  FormControl(const FormObject& object, std::vector<std::string> classes, ControlSite& site);
  ~FormControl() override;
  FormControl(const FormControl&) = delete;
  FormControl& operator=(const FormControl&) = delete;

  // Makes the window as a child of parent (the form or a container control),
  // gives it the font (the control's own when the file sets one), calls
  // Created(), then applies the file's remaining properties in file order.
  // A list written "Items.Strings = (...)" arrives at SetOwn as "Items" with
  // the lines joined by CR LF. Throws std::runtime_error when the window
  // cannot be made.
  void Create(HWND parent, HFONT formFont);
  // The child-window identifier the window is made with (before Create).
  void SetControlId(int id) { controlId_ = id; }
  HWND Window() const { return window_; }

  const std::string& ClassName() const override { return classes_.front(); }
  const std::string& Name() const override { return name_; }
  bool IsA(std::string_view className) const override;
  std::optional<std::string> GetPropertyText(std::string_view name) override;
  bool SetPropertyText(std::string_view name, const std::string& text) override;

  // Controls that hold other controls (panels, group boxes) are the parent
  // window of the controls nested in them in the file.
  virtual bool IsContainer() const { return false; }

  // Notifications the parent window receives about this control, routed to
  // it. OnNotify and the others return true when they handled the message.
  virtual void OnCommand(WORD /*notification*/) {}
  virtual bool OnNotify(NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
  virtual bool OnDrawItem(DRAWITEMSTRUCT& /*item*/) { return false; }
  virtual void OnScroll() {}
  // WM_CTLCOLOR*: sets up the DC and returns the background brush, or
  // nullptr for the system's default. The base paints Color and Font.Color.
  virtual HBRUSH OnColor(HDC dc);

  // Finds the control behind a child window of this library; nullptr for
  // other windows.
  static FormControl* FromWindow(HWND window);
  // Routes WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, WM_CTLCOLOR* and WM_HSCROLL /
  // WM_VSCROLL that a parent window received to the control they concern.
  // True when a control handled it; result is then the message's answer.
  static bool RouteToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // Helpers for property texts.
  static std::string BoolText(bool value) { return value ? "True" : "False"; }
  static std::optional<bool> ParseBool(std::string_view text);  // True/False, any case
  static std::optional<int> ParseInt(std::string_view text);    // decimal, optional '-'
  // A colour as a dialog file writes it: clXxx identifiers (clBtnFace,
  // clWindow, clRed, ...), decimal or $hex numbers as $00BBGGRR, system
  // colours with the high byte $80 or $FF. nullopt for anything else
  // (clNone and clDefault included).
  static std::optional<COLORREF> ParseColor(std::string_view text);

 protected:
  virtual WindowParams Params() const = 0;
  // Whether Caption is the window text (labels, buttons, check boxes, group
  // boxes, panels, static texts). Edits use Text instead, handled by the
  // class.
  virtual bool HasCaption() const { return false; }
  // The live value of a property of the class; nullopt when it is not one.
  virtual std::optional<std::string> GetOwn(std::string_view /*name*/) { return std::nullopt; }
  // Sets a property of the class: nullopt when it is not one, else whether
  // the text was a valid value.
  virtual std::optional<bool> SetOwn(std::string_view /*name*/, const std::string& /*text*/) {
    return std::nullopt;
  }
  // After the window exists, before the file's properties are applied.
  virtual void Created() {}
  // For classes that paint or handle input themselves, and for containers:
  // when WantsOwnMessages() is true the control's window is subclassed and
  // every message passes here first; return true (with result) to swallow
  // it. Containers route their children's notifications before this.
  virtual bool OnOwnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                            LRESULT& /*result*/) {
    return false;
  }
  virtual bool WantsOwnMessages() const { return IsContainer(); }

  // Reports an event; nothing is reported while the file's properties are
  // being applied in Create.
  void Fire(ControlEvent event) {
    if (!loading_) site_.ControlEvent(*this, event);
  }
  // The property as the file wrote it; nullptr when the file did not.
  const FormProperty* FileProperty(std::string_view name) const;
  HFONT Font() const { return font_ ? font_.Get() : formFont_; }
  std::string WindowText() const;
  void SetWindowTextTo(const std::string& text);

  std::map<std::string, std::string, PropertyNameLess>& Kept() { return kept_; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
  bool SetBase(std::string_view name, const std::string& text, bool& valid);
  std::optional<std::string> GetBase(std::string_view name);
  void MakeFont();

  FormObject object_;  // the file's properties, kept for FileProperty
  std::vector<std::string> classes_;
  std::string name_;
  ControlSite& site_;
  HWND window_ = nullptr;
  int controlId_ = 0;
  HFONT formFont_ = nullptr;
  common::GdiObject<HFONT> font_;    // only when the file sets a font of its own
  common::GdiObject<HBRUSH> brush_;  // only when Color is set
  COLORREF color_ = CLR_INVALID;
  COLORREF textColor_ = CLR_INVALID;
  UINT colorMessage_ = 0;  // the WM_CTLCOLOR* being answered
  std::map<std::string, std::string, PropertyNameLess> kept_;
  // Hint and Tag and the geometry before the window exists.
  std::string hint_;
  std::string tag_ = "0";
  RECT bounds_{0, 0, 0, 0};
  bool visible_ = true;
  bool enabled_ = true;
  bool loading_ = false;
};

// Makes the control of a dialog file's object; nullptr when the class is not
// one the form library has. Defined with the classes.
std::unique_ptr<FormControl> CreateFormControl(const FormObject& object, ControlSite& site);
// The two halves of the library, each nullptr for a class it does not have.
std::unique_ptr<FormControl> CreateStandardControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateShellControl(const FormObject& object, ControlSite& site);

}  // namespace tavrel
