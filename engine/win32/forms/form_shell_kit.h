// What the tree view and the folder and file controls share: the base
// ShellControl with its reporting of value changes and its message helpers,
// the bases of their trees and combo boxes, the drawing of the indented folder
// lists, and each group's factory.
#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text_lines.h"
#include "engine/win32/forms/form_control.h"

namespace tavrel::shell_controls {

// Whether a and b are the same but for the case of ASCII letters.
bool SameName(std::string_view a, std::string_view b);

// The name in text when text is a name alone or the full path of a name in
// folder; nullopt when it is a path in another folder (or in none).
std::optional<std::string> NameIn(std::string_view folder, std::string_view text);

// The Items property of a list shown from entries: the text of each, one a line.
template <typename Entries, typename Text>
std::string JoinedItems(const Entries& entries, Text text) {
  std::vector<std::string> items;
  for (const auto& entry : entries) items.push_back(std::invoke(text, entry));
  return common::JoinLines(items);
}

// ---------------------------------------------------------------------------
// What the classes share: the reporting of value changes and the helpers
// for their windows.

class ShellControl : public FormControl {
 public:
  ShellControl(const FormObject& object, const char* className, ControlSite& site)
      : FormControl(object, {className}, site) {}

  // A change made through a property reports kChange like the user's own
  // change; while the dialog file's properties are applied nothing is
  // reported, as the dialog is not running yet.
  bool SetPropertyText(std::string_view name, const std::string& text) override {
    ++setting_;
    struct Done {
      int& count;
      ~Done() { --count; }
    } done{setting_};
    return FormControl::SetPropertyText(name, text);
  }

 protected:
  // The value whose changes are reported (the selection, folder or drive).
  virtual std::string Value() { return ""; }
  // Takes the current value as the one last reported.
  void TakeValue() { seen_ = Value(); }
  // After a change made through a property: reports kChange when the value
  // differs from the one last reported.
  void CheckChange() { Report(setting_ > 0); }
  // After a notification of the window: reports kChange when the value
  // differs, unless the notification came from a change the control itself
  // is making.
  void CheckUserChange() {
    if (quiet_ == 0) Report(true);
  }

  // While one exists, the window's notifications are the control's own doing.
  class Quiet {
   public:
    explicit Quiet(ShellControl& control) : control_(control) { ++control_.quiet_; }
    ~Quiet() { --control_.quiet_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    ShellControl& control_;
  };
  bool Quieted() const { return quiet_ > 0; }
  // Events that are not value changes (clicks) are reported unless the
  // control is making the change.
  void FireFromUser(ControlEvent event) {
    if (quiet_ == 0) Fire(event);
  }

  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return SendMessageA(Window(), message, wParam, lParam);
  }

  // The index a list or combo box answers to message (LB_GETCURSEL,
  // CB_GETCURSEL) when it is one of the first count items; -1 otherwise.
  int IndexBelow(UINT message, std::size_t count) const {
    const LRESULT index = Send(message);
    return index < 0 || static_cast<std::size_t>(index) >= count ? -1 : static_cast<int>(index);
  }

  // The text of a list or combo box's item, read with the messages for its
  // length and its text (LB_GETTEXTLEN and LB_GETTEXT, or the CB_ pair); ""
  // when there is no such item.
  std::string ItemText(int index, UINT lengthMessage, UINT textMessage) const {
    if (Window() == nullptr || index < 0) return "";
    const auto length = Send(lengthMessage, static_cast<WPARAM>(index));
    if (length < 0) return "";  // LB_ERR and CB_ERR
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const auto got =
        Send(textMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    return text;
  }

  // For controls where Enter opens the selected folder rather than pressing
  // the dialog's default button: answers WM_GETDLGCODE when it asks about
  // Enter being pressed. False for every other message.
  bool WantEnter(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_GETDLGCODE) return false;
    const auto* keyMessage = reinterpret_cast<const MSG*>(lParam);
    if (keyMessage == nullptr || keyMessage->message != WM_KEYDOWN ||
        keyMessage->wParam != VK_RETURN) {
      return false;
    }
    result = DefSubclassProc(Window(), message, wParam, lParam) | DLGC_WANTMESSAGE;
    return true;
  }

  bool FileFlag(std::string_view name, bool fallback) const {
    const FormProperty* property = FileProperty(name);
    if (property == nullptr) return fallback;
    return ParseBool(property->text).value_or(fallback);
  }

  // Changes the window style bits in mask to bits (a no-op before the window exists).
  void ChangeStyle(DWORD mask, DWORD bits) {
    if (Window() == nullptr) return;
    const LONG_PTR style = GetWindowLongPtrA(Window(), GWL_STYLE);
    const LONG_PTR next = (style & ~static_cast<LONG_PTR>(mask)) | static_cast<LONG_PTR>(bits);
    if (next == style) return;
    SetWindowLongPtrA(Window(), GWL_STYLE, next);
    SetWindowPos(Window(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    InvalidateRect(Window(), nullptr, TRUE);
  }

  // A Boolean property kept in flag and shown by style bits.
  bool SetFlag(const std::string& text, bool& flag, DWORD bits, bool bitsWhenTrue) {
    const auto value = ParseBool(text);
    if (!value) return false;
    flag = *value;
    ChangeStyle(bits, flag == bitsWhenTrue ? bits : 0);
    return true;
  }

  // Leaves redrawing off while a list is refilled.
  class NoRedraw {
   public:
    explicit NoRedraw(HWND window) : window_(window) {
      if (window_ != nullptr) SendMessageA(window_, WM_SETREDRAW, FALSE, 0);
    }
    ~NoRedraw() {
      if (window_ == nullptr) return;
      SendMessageA(window_, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(window_, nullptr, TRUE);
    }
    NoRedraw(const NoRedraw&) = delete;
    NoRedraw& operator=(const NoRedraw&) = delete;

   private:
    HWND window_;
  };

 private:
  void Report(bool allowed) {
    std::string now = Value();
    if (now == seen_) return;
    seen_ = std::move(now);
    if (allowed) Fire(ControlEvent::kChange);
  }

  std::string seen_;
  int quiet_ = 0;
  int setting_ = 0;
};

// The tree views: walking from one item to another.
class TreeControl : public ShellControl {
 public:
  using ShellControl::ShellControl;

 protected:
  // The item in relation (TVGN_...) to item; nullptr when there is none.
  HTREEITEM Next(HTREEITEM item, WPARAM relation) const {
    return reinterpret_cast<HTREEITEM>(
        Send(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
  }
  // The selected item; nullptr when none is or there is no window yet.
  HTREEITEM Selection() const { return Window() != nullptr ? Next(nullptr, TVGN_CARET) : nullptr; }
};

// The combo boxes of the folder and file controls. A drop-down combo box's
// window is as high as its edit field; the height it is made with decides how
// far its list opens, so the list is sized from DropDownCount rather than from
// the file's Height.
class ComboControl : public ShellControl {
 public:
  using ShellControl::ShellControl;

 protected:
  // A drop-down list with extraStyle added (owner drawing).
  static WindowParams DropDownParams(DWORD extraStyle = 0) {
    WindowParams params;
    params.windowClass = "COMBOBOX";
    params.style = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | extraStyle;
    return params;
  }

  // Call after the items' height is known.
  void FitDropDown() {
    if (Window() == nullptr) return;
    RECT bounds{};
    GetWindowRect(Window(), &bounds);
    auto itemHeight = static_cast<int>(Send(CB_GETITEMHEIGHT));
    if (itemHeight <= 0) itemHeight = 16;
    SetWindowPos(Window(), nullptr, 0, 0, bounds.right - bounds.left,
                 bounds.bottom - bounds.top + dropDownCount_ * itemHeight + 2,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  std::optional<std::string> GetComboProperty(std::string_view name) const {
    if (SameName(name, "DropDownCount")) return std::to_string(dropDownCount_);
    return std::nullopt;
  }
  std::optional<bool> SetComboProperty(std::string_view name, const std::string& text) {
    if (!SameName(name, "DropDownCount")) return std::nullopt;
    const auto count = ParseInt(text);
    if (!count || *count < 1 || *count > 100) return false;
    dropDownCount_ = *count;
    FitDropDown();
    return true;
  }

 private:
  int dropDownCount_ = 8;
};

// ---------------------------------------------------------------------------
// Drawing of the indented folder lists

// Pixels per level of the indented folder lists.
inline constexpr int kIndentStep = 10;

// The height of a list's items in font: room for a small icon.
int ItemHeightFor(HWND window, HFONT font);
// A line of an indented folder list: the folder, the text shown for it, its
// depth and its small icon (-1 for none).
struct FolderLine {
  std::string path;
  std::string label;
  int level = 0;
  int icon = -1;
};

// Draws an item of an owner-drawn list or combo box that shows lines: the
// line indented by its level, but for the selection field of a combo box,
// which shows it without indentation. An item that is no line draws empty.
void DrawFolderLine(const DRAWITEMSTRUCT& item, HFONT font, std::span<const FolderLine> lines);

// ---------------------------------------------------------------------------
// The groups of classes, each in a file of its own. Each makes the control of
// a dialog file's object when the class is one of its own, else nullptr.

std::unique_ptr<FormControl> CreateTreeViewControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateFileControl(const FormObject& object, ControlSite& site);
std::unique_ptr<FormControl> CreateShellBrowserControl(const FormObject& object, ControlSite& site);

}  // namespace tavrel::shell_controls
