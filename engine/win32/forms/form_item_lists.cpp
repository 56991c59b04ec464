// The lists of items: TListBox, TCheckListBox and TComboBox. Items are sorted
// here rather than by the window, so that Sorted can change at any time and
// an item's check state moves with it.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text_lines.h"
#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

struct ListMessages {
  UINT reset, add, count, textLength, text, setData, getData, getSelection, setSelection;
};
constexpr ListMessages kListBoxMessages{LB_RESETCONTENT, LB_ADDSTRING, LB_GETCOUNT,
                                        LB_GETTEXTLEN,   LB_GETTEXT,   LB_SETITEMDATA,
                                        LB_GETITEMDATA,  LB_GETCURSEL, LB_SETCURSEL};
constexpr ListMessages kComboMessages{CB_RESETCONTENT, CB_ADDSTRING, CB_GETCOUNT,
                                      CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_SETITEMDATA,
                                      CB_GETITEMDATA,  CB_GETCURSEL, CB_SETCURSEL};

struct ListItem {
  std::string text;
  LPARAM data = 0;
};

bool ItemLess(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) < 0;
}

class ItemsControl : public StandardControl {
 public:
  ItemsControl(const FormObject& object, std::vector<std::string> classes, ControlSite& site,
               const ListMessages& messages)
      : StandardControl(object, std::move(classes), site),
        messages_(messages),
        sorted_(FileBool("Sorted", false)) {}

 protected:
  // The file's items go in before its other properties: files write
  // ItemIndex and Text ahead of the items they refer to.
  void Created() override {
    std::vector<std::string> items = FileItems("Items.Strings");
    if (items.empty()) items = FileItems("Items");
    std::vector<ListItem> list;
    for (std::string& item : items) list.push_back({std::move(item), 0});
    WriteItems(std::move(list), -1);
  }

  int Count() const {
    const LRESULT count = Send(messages_.count);
    return count < 0 ? 0 : static_cast<int>(count);
  }
  int Selection() const {
    const LRESULT selection = Send(messages_.getSelection);
    return selection < 0 ? -1 : static_cast<int>(selection);
  }
  std::string ItemText(int index) const {
    const LRESULT length = Send(messages_.textLength, static_cast<WPARAM>(index));
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied =
        Send(messages_.text, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied < 0 ? 0 : std::min(static_cast<std::size_t>(copied), text.size()));
    return text;
  }
  LPARAM ItemData(int index) const {
    const LRESULT data = Send(messages_.getData, static_cast<WPARAM>(index));
    return data == LB_ERR ? 0 : data;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (int i = 0; i < Count(); ++i) texts.push_back(ItemText(i));
    return texts;
  }

  // Replaces the items, sorting them when Sorted; select is an index into
  // items before sorting.
  void WriteItems(std::vector<ListItem> items, int select) {
    std::vector<std::size_t> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (sorted_) {
      std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return ItemLess(items[a].text, items[b].text);
      });
    }
    Send(WM_SETREDRAW, FALSE);
    Send(messages_.reset);
    int selected = -1;
    for (std::size_t i = 0; i < order.size(); ++i) {
      const ListItem& item = items[order[i]];
      const LRESULT index = Send(messages_.add, 0, reinterpret_cast<LPARAM>(item.text.c_str()));
      if (index >= 0) Send(messages_.setData, static_cast<WPARAM>(index), item.data);
      if (static_cast<int>(order[i]) == select) selected = static_cast<int>(i);
    }
    Send(messages_.setSelection, static_cast<WPARAM>(selected));
    Send(WM_SETREDRAW, TRUE);
    Repaint();
  }

  // Items left as they were keep their selection and check marks.
  bool SetItems(const std::string& text) {
    std::vector<std::string> lines = common::SplitLines(text);
    if (sorted_) std::stable_sort(lines.begin(), lines.end(), ItemLess);
    if (lines == Texts()) return true;
    std::vector<ListItem> items;
    for (std::string& line : lines) items.push_back({std::move(line), 0});
    WriteItems(std::move(items), -1);
    return true;
  }

  bool SetSorted(const std::string& text) {
    const auto value = ParseBool(text);
    if (!value) return false;
    if (*value == sorted_) return true;
    sorted_ = *value;
    if (sorted_) {
      std::vector<ListItem> items;
      for (int i = 0; i < Count(); ++i) items.push_back({ItemText(i), ItemData(i)});
      const std::string editText = WindowText();
      WriteItems(std::move(items), Selection());
      AfterResort(editText);
    }
    return true;
  }
  virtual void AfterResort(const std::string& /*editText*/) {}

  bool SetSelection(const std::string& text) {
    const auto value = ParseInt(text);
    if (!value || *value < -1 || *value >= Count()) return false;
    Send(messages_.setSelection, static_cast<WPARAM>(*value));
    return true;
  }

  bool Sorted() const { return sorted_; }

 private:
  const ListMessages& messages_;
  bool sorted_;
};

constexpr int kCheckBoxSize = 13;
constexpr int kCheckArea = kCheckBoxSize + 4;

class ListBox final : public ItemsControl {
 public:
  ListBox(const FormObject& object, ControlSite& site, bool checks)
      : ItemsControl(object, {checks ? "TCheckListBox" : "TListBox"}, site, kListBoxMessages),
        checks_(checks) {
    Keep("MultiSelect", Kind::kBool, "False");
    Keep("ExtendedSelect", Kind::kBool, "True");
    Keep("Columns", Kind::kCount, "0");
    Keep("IntegralHeight", Kind::kBool, "False");
    Keep("BorderStyle", Kind::kChoice, FileChoiceText("BorderStyle", kBorderStyles, 1),
         {"bsNone", "bsSingle"});
    if (checks) {
      Keep("Flat", Kind::kBool, "True");
      Keep("AllowGrayed", Kind::kBool, "False");
    }
  }

  void OnCommand(WORD notification) override {
    if (notification == LBN_SELCHANGE) Fire(ControlEvent::kClick);
  }

  bool OnDrawItem(DRAWITEMSTRUCT& item) override {
    if (!checks_) return false;
    const HDC dc = item.hDC;
    const RECT row = item.rcItem;
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    FillRect(dc, &row, ColorOver(dc, GetSysColorBrush(COLOR_WINDOW)));
    if (item.itemID == static_cast<UINT>(-1)) {
      if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(dc, &row);
      return true;
    }
    const int index = static_cast<int>(item.itemID);
    const bool enabled = IsWindowEnabled(Window()) != FALSE;
    const int top = row.top + (row.bottom - row.top - kCheckBoxSize) / 2;
    RECT box{row.left + 2, top, row.left + 2 + kCheckBoxSize, top + kCheckBoxSize};
    UINT state = DFCS_BUTTONCHECK;
    if (ItemData(index) != 0) state |= DFCS_CHECKED;
    if (!enabled) state |= DFCS_INACTIVE;
    if (StoredBool("Flat")) state |= DFCS_FLAT;
    DrawFrameControl(dc, &box, DFC_BUTTON, state);

    RECT textArea{row.left + kCheckArea, row.top, row.right, row.bottom};
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    if (selected) {
      FillRect(dc, &textArea, GetSysColorBrush(COLOR_HIGHLIGHT));
      SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    } else if (!enabled) {
      SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    const std::string text = ItemText(index);
    RECT textRect = textArea;
    textRect.left += 2;
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    {
      SelectedObject font(dc, FontOrDefault(Font()));
      DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    SetBkMode(dc, oldMode);
    if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(dc, &textArea);
    return true;
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = "LISTBOX";
    params.style = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
    if (checks_) params.style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
    if (FileChoice("BorderStyle", kBorderStyles, 1) == 1) params.exStyle |= WS_EX_CLIENTEDGE;
    return params;
  }

  bool WantsOwnMessages() const override { return checks_; }

  void Created() override {
    if (checks_) UpdateItemHeight();
    ItemsControl::Created();
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (!checks_) return false;
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: {
        const int x = static_cast<short>(LOWORD(lParam));
        const LRESULT hit = Send(LB_ITEMFROMPOINT, 0, lParam);
        const int index = LOWORD(hit);
        if (x >= kCheckArea || HIWORD(hit) != 0 || index >= Count()) return false;
        result = DefSubclassProc(Window(), message, wParam, lParam);
        Toggle(index);
        return true;
      }
      case WM_KEYDOWN:
        if (wParam != VK_SPACE) return false;
        if (Selection() >= 0) Toggle(Selection());
        result = 0;
        return true;
      case WM_CHAR:
        // The space that toggled a box must not also jump to an item.
        if (wParam != ' ') return false;
        result = 0;
        return true;
      case WM_SETFONT:
        result = DefSubclassProc(Window(), message, wParam, lParam);
        UpdateItemHeight();
        return true;
      default:
        return false;
    }
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Items")) return common::JoinLines(Texts());
    if (Is(name, "ItemIndex")) return std::to_string(Selection());
    if (Is(name, "Sorted")) return BoolText(Sorted());
    if (checks_ && Is(name, "Checked")) {
      std::vector<std::string> states;
      for (int i = 0; i < Count(); ++i) states.push_back(BoolText(ItemData(i) != 0));
      return common::JoinLines(states);
    }
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Items")) return SetItems(text);
    if (Is(name, "ItemIndex")) return SetSelection(text);
    if (Is(name, "Sorted")) return SetSorted(text);
    if (checks_ && Is(name, "Checked")) return SetChecks(text);
    return StandardControl::SetOwn(name, text);
  }

 private:
  void UpdateItemHeight() {
    const HDC dc = GetDC(Window());
    TEXTMETRICA metrics{};
    {
      SelectedObject font(dc, FontOrDefault(Font()));
      GetTextMetricsA(dc, &metrics);
    }
    ReleaseDC(Window(), dc);
    const int height = std::max<int>(static_cast<int>(metrics.tmHeight) + 2, kCheckBoxSize + 2);
    Send(LB_SETITEMHEIGHT, 0, MAKELPARAM(height, 0));
  }

  void Toggle(int index) {
    Send(LB_SETITEMDATA, static_cast<WPARAM>(index), ItemData(index) != 0 ? 0 : 1);
    RECT rect{};
    if (Send(LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect)) !=
        LB_ERR) {
      InvalidateRect(Window(), &rect, TRUE);
    }
    Fire(ControlEvent::kClickCheck);
  }

  // One True/False line per item.
  bool SetChecks(const std::string& text) {
    std::vector<std::string> lines = common::SplitLines(text);
    if (lines.size() == static_cast<std::size_t>(Count()) + 1 && lines.back().empty()) {
      lines.pop_back();  // a closing line break
    }
    if (lines.size() != static_cast<std::size_t>(Count())) return false;
    std::vector<bool> states;
    for (const std::string& line : lines) {
      const auto value = ParseBool(line);
      if (!value) return false;
      states.push_back(*value);
    }
    bool changed = false;
    for (int i = 0; i < Count(); ++i) {
      const bool state = states[static_cast<std::size_t>(i)];
      if ((ItemData(i) != 0) == state) continue;
      Send(LB_SETITEMDATA, static_cast<WPARAM>(i), state ? 1 : 0);
      changed = true;
    }
    if (changed) {
      Repaint();
      Fire(ControlEvent::kClickCheck);
    }
    return true;
  }

  bool checks_;
};

constexpr const char* kComboStyles[] = {"csDropDown", "csSimple", "csDropDownList",
                                        "csOwnerDrawFixed", "csOwnerDrawVariable"};

class ComboBox final : public ItemsControl {
 public:
  ComboBox(const FormObject& object, ControlSite& site)
      : ItemsControl(object, {"TComboBox"}, site, kComboMessages),
        style_(FileChoice("Style", kComboStyles, 0)),
        dropDownCount_(std::max(1, FileInt("DropDownCount", 8))) {
    Keep("CharCase", Kind::kChoice, "ecNormal", {"ecNormal", "ecUpperCase", "ecLowerCase"});
    Keep("ItemHeight", Kind::kCount, "13");
  }

  void OnCommand(WORD notification) override {
    switch (notification) {
      case CBN_EDITCHANGE:
        if (!quiet_) Fire(ControlEvent::kChange);
        break;
      case CBN_SELCHANGE:
        // The edit part still shows the old text now; Text answers with the
        // newly selected item while the events run.
        selecting_ = true;
        Fire(ControlEvent::kChange);
        Fire(ControlEvent::kClick);
        selecting_ = false;
        break;
      case CBN_DROPDOWN:
        AdjustDropDown();
        break;
      default:
        break;
    }
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = "COMBOBOX";
    params.style = WS_VSCROLL | WS_TABSTOP;
    if (style_ == 1) {
      params.style |= CBS_SIMPLE | CBS_AUTOHSCROLL;
    } else if (IsList()) {
      params.style |= CBS_DROPDOWNLIST;
    } else {
      params.style |= CBS_DROPDOWN | CBS_AUTOHSCROLL;
    }
    return params;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Items")) return common::JoinLines(Texts());
    if (Is(name, "ItemIndex")) return std::to_string(Selection());
    if (Is(name, "Sorted")) return BoolText(Sorted());
    if (Is(name, "Style")) return kComboStyles[style_];
    if (Is(name, "DropDownCount")) return std::to_string(dropDownCount_);
    if (Is(name, "MaxLength")) return std::to_string(maxLength_);
    if (Is(name, "Text")) return Text();
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Items")) return SetItems(text);
    if (Is(name, "ItemIndex")) return SetSelection(text);
    if (Is(name, "Sorted")) return SetSorted(text);
    if (Is(name, "Text")) return SetText(text);
    if (Is(name, "Style")) {
      // Made with the window; only the style it has is accepted.
      const auto value = ChoiceOf(kComboStyles, text);
      return value && *value == style_;
    }
    if (Is(name, "DropDownCount")) {
      const auto value = ParseInt(text);
      if (!value || *value < 1) return false;
      dropDownCount_ = *value;
      return true;
    }
    if (Is(name, "MaxLength")) {
      const auto value = ParseInt(text);
      if (!value || *value < 0) return false;
      maxLength_ = *value;
      Send(CB_LIMITTEXT, static_cast<WPARAM>(maxLength_));
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

  void AfterResort(const std::string& editText) override {
    if (!IsList() && WindowText() != editText) {
      quiet_ = true;
      SetWindowTextTo(editText);
      quiet_ = false;
    }
  }

 private:
  bool IsList() const { return style_ >= 2; }

  std::string Text() const {
    const int selection = Selection();
    if (IsList() || selecting_) return selection >= 0 ? ItemText(selection) : WindowText();
    return WindowText();
  }

  bool SetText(const std::string& text) {
    if (IsList()) {
      int index = -1;
      if (!text.empty()) {
        const LRESULT found = Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(text.c_str()));
        if (found < 0) return false;
        index = static_cast<int>(found);
      }
      if (index == Selection()) return true;
      Send(CB_SETCURSEL, static_cast<WPARAM>(index));
      Fire(ControlEvent::kChange);
      return true;
    }
    if (text == WindowText()) return true;
    quiet_ = true;
    const LRESULT found =
        Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    if (found >= 0 && ItemText(static_cast<int>(found)) == text) {
      Send(CB_SETCURSEL, static_cast<WPARAM>(found));
    } else {
      Send(CB_SETCURSEL, static_cast<WPARAM>(-1));
      SetWindowTextTo(text);
    }
    quiet_ = false;
    Fire(ControlEvent::kChange);
    return true;
  }

  // A combo box's window height includes its list's; the file gives the
  // closed height, so the list is sized as it opens.
  void AdjustDropDown() {
    if (style_ == 1) return;
    const int rows = std::clamp(Count(), 1, dropDownCount_);
    const LRESULT itemHeight = Send(CB_GETITEMHEIGHT, 0);
    RECT rect{};
    GetWindowRect(Window(), &rect);
    const int height = static_cast<int>(rect.bottom - rect.top) +
                       rows * static_cast<int>(itemHeight > 0 ? itemHeight : 16) + 2;
    SetWindowPos(Window(), nullptr, 0, 0, rect.right - rect.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  }

  int style_;
  int dropDownCount_;
  int maxLength_ = 0;
  bool quiet_ = false;
  bool selecting_ = false;
};

}  // namespace

std::unique_ptr<FormControl> CreateItemListControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "TListBox")) return std::make_unique<ListBox>(object, site, false);
  if (Is(name, "TCheckListBox")) return std::make_unique<ListBox>(object, site, true);
  if (Is(name, "TComboBox")) return std::make_unique<ComboBox>(object, site);
  return nullptr;
}

}  // namespace tavrel::standard_controls
