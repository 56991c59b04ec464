// The standard controls on real Windows controls: property round trips,
// the events a user's action and a program's change report, bad values, and
// pictures from sound and damaged data.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/paths.h"
#include "common/text_lines.h"
#include "engine/core/form_file.h"
#include "engine/win32/forms/form_control.h"

namespace tavrel {
namespace {

using Kind = FormProperty::Kind;
using Bytes = std::vector<unsigned char>;

constexpr char kTestClass[] = "TavrelStandardControlsTest";
constexpr COLORREF kFormColor = RGB(10, 20, 30);

struct Event {
  std::string control;
  ControlEvent event;
  std::string text;  // the control's Text while the event ran, when it has one
  bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& event) {
  return out << event.control << ":" << static_cast<int>(event.event) << ":" << event.text;
}

class RecordingSite : public ControlSite {
 public:
  // An HTML pane's event records its link, or its delay and target, as the
  // text; a link click is answered with handleLinks.
  void ControlEvent(FormControl& control, tavrel::ControlEvent event) override {
    std::string text = control.GetPropertyText("Text").value_or("");
    if (HtmlPaneEvent* html = control.HtmlEvent()) {
      text = event == ControlEvent::kMetaRefresh
                 ? std::to_string(html->delaySeconds) + " " + html->url
                 : html->link;
      html->handled = handleLinks;
    }
    events.push_back({control.Name(), event, text});
  }
  std::vector<Event> events;
  bool handleLinks = false;
};

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (FormControl::RouteToChild(message, wParam, lParam, result)) return result;
  return DefWindowProcA(window, message, wParam, lParam);
}

FormProperty Prop(std::string name, std::string text, Kind kind = Kind::kIdentifier) {
  FormProperty property;
  property.name = std::move(name);
  property.text = std::move(text);
  property.kind = kind;
  return property;
}
FormProperty Str(std::string name, std::string text) {
  return Prop(std::move(name), std::move(text), Kind::kString);
}
FormProperty Int(std::string name, int value) {
  return Prop(std::move(name), std::to_string(value), Kind::kInteger);
}
FormProperty List(std::string name, std::vector<std::string> items) {
  FormProperty property = Prop(std::move(name), common::JoinLines(items), Kind::kList);
  property.items = std::move(items);
  return property;
}
FormProperty Binary(std::string name, Bytes bytes) {
  FormProperty property = Prop(std::move(name), "", Kind::kBinary);
  property.bytes = std::move(bytes);
  return property;
}

FormObject Object(std::string className, std::string name, std::vector<FormProperty> properties) {
  FormObject object;
  object.className = std::move(className);
  object.name = std::move(name);
  object.properties = {Int("Left", 8), Int("Top", 8), Int("Width", 120), Int("Height", 60)};
  for (FormProperty& property : properties) object.properties.push_back(std::move(property));
  return object;
}

// A 32-bit drawing surface to paint controls into with WM_PRINTCLIENT.
class Canvas {
 public:
  Canvas(int width, int height) : dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  void Paint(HWND window) {
    RECT all{0, 0, 1000, 1000};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_), PRF_CLIENT);
    GdiFlush();
  }
  COLORREF Pixel(int x, int y) const { return GetPixel(dc_, x, y); }
  HDC Dc() const { return dc_; }

 private:
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

COLORREF BrushColor(LRESULT brush) {
  LOGBRUSH info{};
  GetObjectA(reinterpret_cast<HBRUSH>(brush), sizeof info, &info);
  return info.lbColor;
}

class FormStandardControls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = CreateSolidBrush(kFormColor);
    windowClass.lpszClassName = kTestClass;
    RegisterClassA(&windowClass);
  }

  void SetUp() override {
    form_ = CreateWindowExA(0, kTestClass, "Standard controls", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(form_, nullptr);
    ShowWindow(form_, SW_SHOWNOACTIVATE);
  }

  void TearDown() override {
    controls_.clear();
    DestroyWindow(form_);
  }

  FormControl& Make(const FormObject& object, HWND parent = nullptr) {
    std::unique_ptr<FormControl> control = CreateStandardControl(object, site_);
    if (control == nullptr) throw std::runtime_error("no control for " + object.className);
    control->Create(parent != nullptr ? parent : form_, nullptr);
    controls_.push_back(std::move(control));
    return *controls_.back();
  }

  std::vector<Event> Events() { return std::exchange(site_.events, {}); }

  // What a control sends its parent when the user acts on it.
  static void Notify(FormControl& control, WORD notification) {
    SendMessageA(GetParent(control.Window()), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(control.Window()), notification),
                 reinterpret_cast<LPARAM>(control.Window()));
  }
  static void Click(HWND window, int x, int y) {
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }
  static std::string Get(FormControl& control, std::string_view name) {
    return control.GetPropertyText(name).value_or("<none>");
  }
  static DWORD Style(const FormControl& control) {
    return static_cast<DWORD>(GetWindowLongPtrA(control.Window(), GWL_STYLE));
  }
  static SIZE ClientSize(const FormControl& control) {
    RECT rect{};
    GetClientRect(control.Window(), &rect);
    return {rect.right, rect.bottom};
  }

  HWND form_ = nullptr;
  RecordingSite site_;
  std::vector<std::unique_ptr<FormControl>> controls_;
};

TEST_F(FormStandardControls, MakesOnlyItsOwnClassesWithTheirAncestry) {
  EXPECT_EQ(CreateStandardControl(Object("TTreeView", "T", {}), site_), nullptr);
  EXPECT_EQ(CreateStandardControl(Object("TNoSuchThing", "X", {}), site_), nullptr);

  FormControl& bitBtn = Make(Object("TBitBtn", "Ok", {}));
  EXPECT_EQ(bitBtn.ClassName(), "TBitBtn");
  EXPECT_TRUE(bitBtn.IsA("TBitBtn"));
  EXPECT_TRUE(bitBtn.IsA("TButton"));
  FormControl& button = Make(Object("TButton", "Plain", {}));
  EXPECT_FALSE(button.IsA("TBitBtn"));
  FormControl& mask = Make(Object("TMaskEdit", "Mask", {}));
  EXPECT_FALSE(mask.IsA("TEdit"));
  FormControl& checks = Make(Object("TCheckListBox", "Checks", {}));
  EXPECT_FALSE(checks.IsA("TListBox"));

  for (const char* name :
       {"TLabel",       "TStaticText",    "TEdit",    "TMemo",     "TRichEdit", "TSpeedButton",
        "TRzCheckBox",  "TRzRadioButton", "TListBox", "TComboBox", "TGroupBox", "TPanel",
        "TFlashFrame",  "ThtmlLite",      "TImage",   "TShape",    "TBevel",    "TTrackBar",
        "TProgressBar", "TUpDown",        "TAnimate"}) {
    FormControl& control = Make(Object(name, std::string("C") + name, {}));
    EXPECT_NE(control.Window(), nullptr) << name;
    EXPECT_EQ(FormControl::FromWindow(control.Window()), &control) << name;
    EXPECT_TRUE(control.IsA(name)) << name;
  }
}

TEST_F(FormStandardControls, ButtonsClickAndKeepWhatTheyDoNotUse) {
  FormControl& ok = Make(Object("TBitBtn", "Ok",
                                {Str("Caption", "&OK"), Prop("Default", "True"),
                                 Prop("ModalResult", "mrOk"), Int("HelpContext", 12)}));
  EXPECT_EQ(Get(ok, "Caption"), "&OK");
  EXPECT_EQ(Get(ok, "Default"), "True");
  EXPECT_EQ(Style(ok) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(Get(ok, "ModalResult"), "mrOk");
  EXPECT_EQ(Get(ok, "Cancel"), "False");
  EXPECT_EQ(Get(ok, "HelpContext"), "12");  // unknown here: kept as written
  EXPECT_TRUE(ok.SetPropertyText("HelpContext", "13"));
  EXPECT_EQ(Get(ok, "HelpContext"), "13");
  EXPECT_FALSE(ok.SetPropertyText("NoSuchProperty", "1"));
  EXPECT_FALSE(ok.GetPropertyText("NoSuchProperty").has_value());
  EXPECT_FALSE(ok.SetPropertyText("Cancel", "maybe"));
  EXPECT_EQ(Get(ok, "Cancel"), "False");

  EXPECT_TRUE(ok.SetPropertyText("Default", "False"));
  EXPECT_EQ(Style(ok) & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON));
  EXPECT_FALSE(ok.SetPropertyText("Default", "1"));
  Events();

  SendMessageA(ok.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Ok", ControlEvent::kClick, ""}}));

  EXPECT_TRUE(ok.SetPropertyText("Enabled", "False"));
  EXPECT_EQ(Get(ok, "Enabled"), "False");
  EXPECT_FALSE(IsWindowEnabled(ok.Window()));
  EXPECT_FALSE(ok.SetPropertyText("Enabled", "no"));
  EXPECT_TRUE(ok.SetPropertyText("Visible", "False"));
  EXPECT_EQ(Get(ok, "Visible"), "False");
  EXPECT_FALSE(IsWindowVisible(ok.Window()));

  FormControl& speed = Make(Object("TSpeedButton", "Speed", {Prop("Flat", "True")}));
  EXPECT_EQ(Get(speed, "Flat"), "True");
  EXPECT_FALSE(speed.GetPropertyText("Default").has_value());
  SendMessageA(speed.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Speed", ControlEvent::kClick, ""}}));
}

TEST_F(FormStandardControls, CheckBoxReportsEveryRealChange) {
  FormControl& box = Make(Object("TRzCheckBox", "Agree", {Str("Caption", "I agree")}));
  EXPECT_EQ(Get(box, "Checked"), "False");
  EXPECT_EQ(Get(box, "State"), "cbUnchecked");
  Events();

  SendMessageA(box.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(box, "Checked"), "True");
  SendMessageA(box.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(box, "Checked"), "False");
  EXPECT_EQ(Events().size(), 2u);

  EXPECT_TRUE(box.SetPropertyText("Checked", "True"));
  EXPECT_EQ(SendMessageA(box.Window(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Agree", ControlEvent::kClick, ""}}));
  EXPECT_TRUE(box.SetPropertyText("Checked", "true"));  // already checked: nothing happens
  EXPECT_TRUE(Events().empty());
  EXPECT_FALSE(box.SetPropertyText("Checked", "Yes"));
  EXPECT_FALSE(box.SetPropertyText("State", "cbHalf"));
  EXPECT_EQ(Get(box, "Checked"), "True");
  EXPECT_TRUE(Events().empty());

  // Grayed, then a click: on to checked.
  EXPECT_TRUE(box.SetPropertyText("State", "cbGrayed"));
  EXPECT_EQ(Get(box, "State"), "cbGrayed");
  EXPECT_EQ(Get(box, "Checked"), "False");
  EXPECT_EQ(SendMessageA(box.Window(), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
  SendMessageA(box.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(box, "State"), "cbChecked");
  SendMessageA(box.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(box, "State"), "cbUnchecked");
  SendMessageA(box.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(box, "State"), "cbChecked");  // grayed only when allowed
  EXPECT_EQ(Events().size(), 4u);

  FormControl& three = Make(Object("TRzCheckBox", "Three", {Prop("AllowGrayed", "True")}));
  Events();
  SendMessageA(three.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(three, "State"), "cbGrayed");
  SendMessageA(three.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(three, "State"), "cbChecked");
  SendMessageA(three.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(three, "State"), "cbUnchecked");
  EXPECT_EQ(Events().size(), 3u);
}

TEST_F(FormStandardControls, RadioButtonsOfOneParentExcludeEachOther) {
  FormControl& a = Make(Object("TRzRadioButton", "A", {Prop("Checked", "True")}));
  FormControl& b = Make(Object("TRzRadioButton", "B", {}));
  FormControl& c = Make(Object("TRzRadioButton", "C", {}));
  FormControl& group = Make(Object("TGroupBox", "Group", {Str("Caption", "Other")}));
  EXPECT_TRUE(group.IsContainer());
  FormControl& inner =
      Make(Object("TRzRadioButton", "Inner", {Prop("Checked", "True")}), group.Window());
  Events();

  SendMessageA(b.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(a, "Checked"), "False");
  EXPECT_EQ(Get(b, "Checked"), "True");
  EXPECT_EQ(Get(c, "Checked"), "False");
  EXPECT_EQ(Get(inner, "Checked"), "True");  // another parent, another group
  EXPECT_EQ(Events(), (std::vector<Event>{{"B", ControlEvent::kClick, ""}}));

  SendMessageA(b.Window(), BM_CLICK, 0, 0);  // already checked
  EXPECT_TRUE(Events().empty());

  EXPECT_TRUE(c.SetPropertyText("Checked", "True"));
  EXPECT_EQ(Get(b, "Checked"), "False");
  EXPECT_EQ(Events(), (std::vector<Event>{{"C", ControlEvent::kClick, ""}}));
  EXPECT_TRUE(c.SetPropertyText("Checked", "False"));
  EXPECT_EQ(Get(c, "Checked"), "False");
  EXPECT_TRUE(Events().empty());
  EXPECT_FALSE(c.SetPropertyText("Checked", "on"));

  // A click inside the group box reaches its control through the box.
  FormControl& other = Make(Object("TRzRadioButton", "Other", {}), group.Window());
  Events();
  SendMessageA(other.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Get(inner, "Checked"), "False");
  EXPECT_EQ(Events(), (std::vector<Event>{{"Other", ControlEvent::kClick, ""}}));
}

TEST_F(FormStandardControls, EditsReportTypingAndRealChanges) {
  FormControl& edit = Make(Object("TEdit", "Name", {Str("Text", "start")}));
  EXPECT_EQ(Get(edit, "Text"), "start");
  EXPECT_NE(GetWindowLongPtrA(edit.Window(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  Events();

  SendMessageA(edit.Window(), EM_SETSEL, 5, 5);
  SendMessageA(edit.Window(), WM_CHAR, '!', 0);
  EXPECT_EQ(Get(edit, "Text"), "start!");
  EXPECT_EQ(Events(), (std::vector<Event>{{"Name", ControlEvent::kChange, "start!"}}));

  EXPECT_TRUE(edit.SetPropertyText("Text", "other"));
  EXPECT_EQ(Events(), (std::vector<Event>{{"Name", ControlEvent::kChange, "other"}}));
  EXPECT_TRUE(edit.SetPropertyText("Text", "other"));
  EXPECT_TRUE(Events().empty());

  EXPECT_TRUE(edit.SetPropertyText("ReadOnly", "True"));
  EXPECT_EQ(Get(edit, "ReadOnly"), "True");
  SendMessageA(edit.Window(), WM_CHAR, 'x', 0);
  EXPECT_EQ(Get(edit, "Text"), "other");
  EXPECT_TRUE(Events().empty());
  EXPECT_FALSE(edit.SetPropertyText("ReadOnly", "sometimes"));
  EXPECT_EQ(Get(edit, "ReadOnly"), "True");
  EXPECT_TRUE(edit.SetPropertyText("ReadOnly", "False"));

  EXPECT_TRUE(edit.SetPropertyText("MaxLength", "6"));
  EXPECT_EQ(Get(edit, "MaxLength"), "6");
  SendMessageA(edit.Window(), EM_SETSEL, 5, 5);
  SendMessageA(edit.Window(), WM_CHAR, 'y', 0);
  SendMessageA(edit.Window(), WM_CHAR, 'z', 0);  // beyond the limit
  EXPECT_EQ(Get(edit, "Text"), "othery");
  EXPECT_FALSE(edit.SetPropertyText("MaxLength", "-1"));
  EXPECT_FALSE(edit.SetPropertyText("MaxLength", "many"));
  EXPECT_EQ(Get(edit, "MaxLength"), "6");

  EXPECT_EQ(Get(edit, "PasswordChar"), "#0");
  EXPECT_TRUE(edit.SetPropertyText("PasswordChar", "*"));
  EXPECT_EQ(Get(edit, "PasswordChar"), "*");
  EXPECT_EQ(SendMessageA(edit.Window(), EM_GETPASSWORDCHAR, 0, 0), '*');
  EXPECT_TRUE(edit.SetPropertyText("PasswordChar", "#35"));
  EXPECT_EQ(Get(edit, "PasswordChar"), "#");
  EXPECT_FALSE(edit.SetPropertyText("PasswordChar", "ab"));
  EXPECT_TRUE(edit.SetPropertyText("PasswordChar", std::string(1, '\0')));  // #0 as decoded
  EXPECT_EQ(Get(edit, "PasswordChar"), "#0");
  EXPECT_EQ(SendMessageA(edit.Window(), EM_GETPASSWORDCHAR, 0, 0), 0);
  EXPECT_FALSE(edit.GetPropertyText("Lines").has_value());

  FormControl& mask = Make(Object("TMaskEdit", "Zip", {Str("EditMask", "00000;1;_")}));
  EXPECT_EQ(Get(mask, "EditMask"), "00000;1;_");
  Events();
  SendMessageA(mask.Window(), WM_CHAR, '1', 0);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Zip", ControlEvent::kChange, "1"}}));
}

TEST_F(FormStandardControls, MemoLinesAndScrollBars) {
  FormControl& memo = Make(Object("TMemo", "Notes",
                                  {List("Lines.Strings", {"one", "two"}), Prop("WordWrap", "False"),
                                   Prop("ScrollBars", "ssVertical")}));
  EXPECT_EQ(Get(memo, "Lines"), "one\r\ntwo");
  EXPECT_EQ(Get(memo, "Text"), "one\r\ntwo");
  EXPECT_NE(Style(memo) & ES_AUTOHSCROLL, 0u);  // no wrapping
  EXPECT_NE(Style(memo) & WS_VSCROLL, 0u);
  EXPECT_EQ(Style(memo) & WS_HSCROLL, 0u);
  Events();

  // Bare line feeds become line breaks the edit shows.
  EXPECT_TRUE(memo.SetPropertyText("Text", "a\nb\rc"));
  EXPECT_EQ(Get(memo, "Text"), "a\r\nb\r\nc");
  EXPECT_EQ(Get(memo, "Lines"), "a\r\nb\r\nc");
  EXPECT_EQ(Events().size(), 1u);
  EXPECT_TRUE(memo.SetPropertyText("Lines", "a\r\nb\r\nc"));
  EXPECT_TRUE(Events().empty());

  SendMessageA(memo.Window(), EM_SETSEL, 0, 0);
  SendMessageA(memo.Window(), WM_CHAR, 'z', 0);
  EXPECT_EQ(Get(memo, "Lines"), "za\r\nb\r\nc");
  EXPECT_EQ(Events().size(), 1u);

  EXPECT_TRUE(memo.SetPropertyText("ScrollBars", "ssBoth"));
  EXPECT_EQ(Get(memo, "ScrollBars"), "ssBoth");
  EXPECT_NE(Style(memo) & WS_HSCROLL, 0u);
  EXPECT_NE(Style(memo) & WS_VSCROLL, 0u);
  EXPECT_TRUE(memo.SetPropertyText("ScrollBars", "ssNone"));
  EXPECT_EQ(Style(memo) & (WS_HSCROLL | WS_VSCROLL), 0u);
  EXPECT_FALSE(memo.SetPropertyText("ScrollBars", "ssDiagonal"));
  EXPECT_EQ(Get(memo, "ScrollBars"), "ssNone");

  EXPECT_TRUE(memo.SetPropertyText("ReadOnly", "True"));
  SendMessageA(memo.Window(), WM_CHAR, 'q', 0);
  EXPECT_EQ(Get(memo, "Lines"), "za\r\nb\r\nc");
  EXPECT_TRUE(Events().empty());
}

TEST_F(FormStandardControls, RichEditTakesRtfAndReadsBackPlainLines) {
  FormControl& rich = Make(Object("TRichEdit", "Licence", {List("Lines.Strings", {"plain"})}));
  EXPECT_EQ(Get(rich, "Lines"), "plain");
  Events();
  EXPECT_TRUE(rich.SetPropertyText("RichText", "{\\rtf1\\ansi Hello \\b bold\\b0\\par second}"));
  EXPECT_EQ(Get(rich, "Lines"), "Hello bold\r\nsecond");
  EXPECT_EQ(Get(rich, "RichText"), "");
  ASSERT_EQ(Events().size(), 1u);

  // Text that only looks like RTF stays text.
  EXPECT_TRUE(rich.SetPropertyText("Lines", "{\\rtf is how it starts\r\nnext"));
  EXPECT_EQ(Get(rich, "Lines"), "{\\rtf is how it starts\r\nnext");
  EXPECT_EQ(Events().size(), 1u);
  EXPECT_TRUE(rich.SetPropertyText("RichText", "not rtf at all"));
  EXPECT_EQ(Get(rich, "Text"), "not rtf at all");
  EXPECT_EQ(Events().size(), 1u);

  SendMessageA(rich.Window(), EM_SETSEL, 0, 0);
  SendMessageA(rich.Window(), WM_CHAR, '>', 0);
  EXPECT_EQ(Get(rich, "Text"), ">not rtf at all");
  EXPECT_EQ(Events().size(), 1u);
  EXPECT_TRUE(rich.SetPropertyText("PlainText", "True"));
  EXPECT_FALSE(rich.SetPropertyText("PlainText", "Maybe"));
  EXPECT_EQ(Get(rich, "PlainText"), "True");
}

TEST_F(FormStandardControls, ListBoxSelectionAndSorting) {
  // Files write ItemIndex ahead of the items it refers to.
  FormControl& list =
      Make(Object("TListBox", "Choices",
                  {Int("ItemIndex", 1), List("Items.Strings", {"pear", "Apple", "fig"})}));
  EXPECT_EQ(Get(list, "Items"), "pear\r\nApple\r\nfig");
  EXPECT_EQ(Get(list, "ItemIndex"), "1");
  Events();

  EXPECT_TRUE(list.SetPropertyText("ItemIndex", "2"));
  EXPECT_TRUE(list.SetPropertyText("ItemIndex", "-1"));
  EXPECT_TRUE(Events().empty());  // a program's selection is no click
  EXPECT_FALSE(list.SetPropertyText("ItemIndex", "3"));
  EXPECT_FALSE(list.SetPropertyText("ItemIndex", "-2"));
  EXPECT_FALSE(list.SetPropertyText("ItemIndex", "first"));
  EXPECT_EQ(Get(list, "ItemIndex"), "-1");

  SendMessageA(list.Window(), LB_SETCURSEL, 0, 0);
  Notify(list, LBN_SELCHANGE);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Choices", ControlEvent::kClick, ""}}));
  EXPECT_EQ(Get(list, "ItemIndex"), "0");

  // Sorting keeps the selected item selected.
  EXPECT_TRUE(list.SetPropertyText("Sorted", "True"));
  EXPECT_EQ(Get(list, "Items"), "Apple\r\nfig\r\npear");
  EXPECT_EQ(Get(list, "ItemIndex"), "2");
  EXPECT_TRUE(list.SetPropertyText("Items", "pear\r\nApple\r\nfig"));  // the same items
  EXPECT_EQ(Get(list, "ItemIndex"), "2");
  EXPECT_TRUE(list.SetPropertyText("Items", "b\r\nc\r\na"));
  EXPECT_EQ(Get(list, "Items"), "a\r\nb\r\nc");
  EXPECT_EQ(Get(list, "ItemIndex"), "-1");
  EXPECT_FALSE(list.SetPropertyText("Sorted", "Yes"));
  EXPECT_TRUE(list.SetPropertyText("Items", ""));
  EXPECT_EQ(Get(list, "Items"), "");
  EXPECT_FALSE(list.SetPropertyText("ItemIndex", "0"));
  EXPECT_EQ(Get(list, "MultiSelect"), "False");
  EXPECT_TRUE(Events().empty());
}

TEST_F(FormStandardControls, CheckListBoxTogglesByKeyAndMouse) {
  FormControl& list = Make(
      Object("TCheckListBox", "Parts", {List("Items.Strings", {"Program", "Help", "Samples"})}));
  EXPECT_EQ(Get(list, "Checked"), "False\r\nFalse\r\nFalse");
  UpdateWindow(list.Window());  // draws the items with their boxes
  Events();

  EXPECT_TRUE(list.SetPropertyText("Checked", "True\r\nFalse\r\nTrue"));
  EXPECT_EQ(Get(list, "Checked"), "True\r\nFalse\r\nTrue");
  EXPECT_EQ(Events(), (std::vector<Event>{{"Parts", ControlEvent::kClickCheck, ""}}));
  EXPECT_TRUE(list.SetPropertyText("Checked", "True\r\nFalse\r\nTrue\r\n"));
  EXPECT_TRUE(Events().empty());
  EXPECT_FALSE(list.SetPropertyText("Checked", "True\r\nFalse"));
  EXPECT_FALSE(list.SetPropertyText("Checked", "True\r\nperhaps\r\nFalse"));
  EXPECT_EQ(Get(list, "Checked"), "True\r\nFalse\r\nTrue");

  SendMessageA(list.Window(), LB_SETCURSEL, 1, 0);
  SendMessageA(list.Window(), WM_KEYDOWN, VK_SPACE, 0);
  SendMessageA(list.Window(), WM_CHAR, ' ', 0);
  SendMessageA(list.Window(), WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(Get(list, "Checked"), "True\r\nTrue\r\nTrue");
  EXPECT_EQ(Get(list, "ItemIndex"), "1");
  EXPECT_EQ(Events(), (std::vector<Event>{{"Parts", ControlEvent::kClickCheck, ""}}));

  // A click on the box of the first item toggles it and selects it.
  const auto height = static_cast<int>(SendMessageA(list.Window(), LB_GETITEMHEIGHT, 0, 0));
  ASSERT_GT(height, 0);
  Click(list.Window(), 6, height / 2);
  EXPECT_EQ(Get(list, "Checked"), "False\r\nTrue\r\nTrue");
  EXPECT_EQ(Get(list, "ItemIndex"), "0");
  std::vector<Event> events = Events();
  EXPECT_NE(std::find(events.begin(), events.end(), Event{"Parts", ControlEvent::kClickCheck, ""}),
            events.end());
  // A click on the text only selects.
  Click(list.Window(), 60, height + height / 2);
  EXPECT_EQ(Get(list, "Checked"), "False\r\nTrue\r\nTrue");
  EXPECT_EQ(Get(list, "ItemIndex"), "1");
  events = Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), Event{"Parts", ControlEvent::kClickCheck, ""}),
            0);

  // Sorting carries each item's check mark along.
  EXPECT_TRUE(list.SetPropertyText("Items", "c\r\na\r\nb"));
  EXPECT_EQ(Get(list, "Checked"), "False\r\nFalse\r\nFalse");
  EXPECT_TRUE(list.SetPropertyText("Checked", "True\r\nFalse\r\nFalse"));
  EXPECT_TRUE(list.SetPropertyText("Sorted", "True"));
  EXPECT_EQ(Get(list, "Items"), "a\r\nb\r\nc");
  EXPECT_EQ(Get(list, "Checked"), "False\r\nFalse\r\nTrue");
}

TEST_F(FormStandardControls, DropDownListSelectsByText) {
  FormControl& combo =
      Make(Object("TComboBox", "Language",
                  {Prop("Style", "csDropDownList"), Int("ItemIndex", 0), Str("Text", "English"),
                   List("Items.Strings", {"English", "Deutsch", "Francais"})}));
  EXPECT_EQ(Get(combo, "ItemIndex"), "0");
  EXPECT_EQ(Get(combo, "Text"), "English");
  EXPECT_EQ(Get(combo, "Style"), "csDropDownList");
  Events();

  EXPECT_TRUE(combo.SetPropertyText("Text", "DEUTSCH"));
  EXPECT_EQ(Get(combo, "Text"), "Deutsch");
  EXPECT_EQ(Get(combo, "ItemIndex"), "1");
  EXPECT_EQ(Events(), (std::vector<Event>{{"Language", ControlEvent::kChange, "Deutsch"}}));
  EXPECT_TRUE(combo.SetPropertyText("Text", "Deutsch"));
  EXPECT_TRUE(Events().empty());
  EXPECT_FALSE(combo.SetPropertyText("Text", "Klingon"));
  EXPECT_EQ(Get(combo, "Text"), "Deutsch");
  EXPECT_TRUE(combo.SetPropertyText("ItemIndex", "2"));
  EXPECT_EQ(Get(combo, "Text"), "Francais");
  EXPECT_TRUE(Events().empty());
  EXPECT_FALSE(combo.SetPropertyText("ItemIndex", "3"));
  EXPECT_FALSE(combo.SetPropertyText("Style", "csSimple"));  // made as a drop-down list
  EXPECT_TRUE(combo.SetPropertyText("Style", "csDropDownList"));

  // The user picks an item: while the events run, Text is the new item.
  SendMessageA(combo.Window(), CB_SETCURSEL, 0, 0);
  Notify(combo, CBN_SELCHANGE);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Language", ControlEvent::kChange, "English"},
                                          {"Language", ControlEvent::kClick, "English"}}));
}

TEST_F(FormStandardControls, DropDownComboEditsFreeText) {
  FormControl& combo = Make(
      Object("TComboBox", "Folder", {Str("Text", "C:\\Apps"), List("Items.Strings", {"a", "b"})}));
  EXPECT_EQ(Get(combo, "Text"), "C:\\Apps");
  EXPECT_EQ(Get(combo, "Style"), "csDropDown");
  Events();

  EXPECT_TRUE(combo.SetPropertyText("Text", "b"));
  EXPECT_EQ(Get(combo, "ItemIndex"), "1");
  EXPECT_TRUE(combo.SetPropertyText("Text", "D:\\Other"));
  EXPECT_EQ(Get(combo, "ItemIndex"), "-1");
  EXPECT_EQ(Get(combo, "Text"), "D:\\Other");
  EXPECT_EQ(Events(), (std::vector<Event>{{"Folder", ControlEvent::kChange, "b"},
                                          {"Folder", ControlEvent::kChange, "D:\\Other"}}));
  EXPECT_TRUE(combo.SetPropertyText("Text", "D:\\Other"));
  EXPECT_TRUE(Events().empty());

  // Typing into the edit part.
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo.Window(), &info));
  ASSERT_NE(info.hwndItem, nullptr);
  SendMessageA(info.hwndItem, WM_CHAR, 'x', 0);
  std::vector<Event> events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, ControlEvent::kChange);

  // Picking an item while the edit still shows the old text.
  SendMessageA(combo.Window(), CB_SETCURSEL, 0, 0);
  SetWindowTextA(info.hwndItem, "stale");
  Events();
  Notify(combo, CBN_SELCHANGE);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Folder", ControlEvent::kChange, "a"},
                                          {"Folder", ControlEvent::kClick, "a"}}));

  EXPECT_FALSE(combo.SetPropertyText("DropDownCount", "0"));
  EXPECT_TRUE(combo.SetPropertyText("DropDownCount", "3"));
  EXPECT_EQ(Get(combo, "DropDownCount"), "3");
}

TEST_F(FormStandardControls, TrackBarPositionsAndScrolling) {
  FormControl& track = Make(Object("TTrackBar", "Level", {Int("Max", 20), Int("Position", 5)}));
  EXPECT_EQ(Get(track, "Min"), "0");
  EXPECT_EQ(Get(track, "Max"), "20");
  EXPECT_EQ(Get(track, "Position"), "5");
  Events();

  EXPECT_TRUE(track.SetPropertyText("Position", "7"));
  EXPECT_EQ(Events(), (std::vector<Event>{{"Level", ControlEvent::kChange, ""}}));
  EXPECT_TRUE(track.SetPropertyText("Position", "7"));
  EXPECT_TRUE(Events().empty());
  EXPECT_TRUE(track.SetPropertyText("Position", "99"));  // held inside the range
  EXPECT_EQ(Get(track, "Position"), "20");
  EXPECT_EQ(Events().size(), 1u);
  EXPECT_FALSE(track.SetPropertyText("Position", "half"));
  EXPECT_EQ(Get(track, "Position"), "20");

  // The user drags the thumb.
  SendMessageA(track.Window(), TBM_SETPOS, TRUE, 3);
  SendMessageA(form_, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 3),
               reinterpret_cast<LPARAM>(track.Window()));
  EXPECT_EQ(Events(), (std::vector<Event>{{"Level", ControlEvent::kChange, ""}}));
  SendMessageA(form_, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
               reinterpret_cast<LPARAM>(track.Window()));
  EXPECT_TRUE(Events().empty());  // no move, no change
  EXPECT_EQ(Get(track, "Position"), "3");

  // A minimum above the maximum carries the maximum along.
  EXPECT_TRUE(track.SetPropertyText("Min", "30"));
  EXPECT_EQ(Get(track, "Max"), "30");
  EXPECT_EQ(Get(track, "Position"), "30");
  EXPECT_TRUE(track.SetPropertyText("Max", "10"));
  EXPECT_EQ(Get(track, "Min"), "10");
  EXPECT_FALSE(track.SetPropertyText("Frequency", "0"));
  EXPECT_TRUE(track.SetPropertyText("Frequency", "5"));
  EXPECT_EQ(Get(track, "Frequency"), "5");
  EXPECT_FALSE(track.SetPropertyText("Orientation", "trVertical"));
  EXPECT_TRUE(track.SetPropertyText("TickStyle", "tsNone"));
  EXPECT_FALSE(track.SetPropertyText("TickStyle", "tsSome"));

  FormControl& vertical = Make(Object("TTrackBar", "Up", {Prop("Orientation", "trVertical")}));
  EXPECT_NE(Style(vertical) & TBS_VERT, 0u);
}

TEST_F(FormStandardControls, ProgressAndUpDownHoldTheirRanges) {
  FormControl& bar = Make(
      Object("TProgressBar", "Progress",
             {Int("Min", 200), Int("Max", 500), Int("Position", 250), Prop("Smooth", "True")}));
  EXPECT_EQ(Get(bar, "Min"), "200");
  EXPECT_EQ(Get(bar, "Max"), "500");
  EXPECT_EQ(Get(bar, "Position"), "250");
  EXPECT_EQ(Get(bar, "Smooth"), "True");
  EXPECT_TRUE(bar.SetPropertyText("Position", "900"));
  EXPECT_EQ(Get(bar, "Position"), "500");
  EXPECT_TRUE(bar.SetPropertyText("Position", "-5"));
  EXPECT_EQ(Get(bar, "Position"), "200");
  EXPECT_FALSE(bar.SetPropertyText("Max", "lots"));
  EXPECT_TRUE(bar.SetPropertyText("Step", "25"));
  EXPECT_EQ(Get(bar, "Step"), "25");
  EXPECT_TRUE(bar.SetPropertyText("Orientation", "pbVertical"));
  EXPECT_NE(Style(bar) & PBS_VERTICAL, 0u);

  FormControl& updown = Make(Object("TUpDown", "Count", {Str("Associate", "CountEdit")}));
  EXPECT_EQ(Get(updown, "Associate"), "CountEdit");
  EXPECT_EQ(Get(updown, "Max"), "100");
  EXPECT_TRUE(updown.SetPropertyText("Max", "10"));
  EXPECT_TRUE(updown.SetPropertyText("Position", "4"));
  EXPECT_EQ(Get(updown, "Position"), "4");
  EXPECT_TRUE(updown.SetPropertyText("Position", "11"));
  EXPECT_EQ(Get(updown, "Position"), "10");
  EXPECT_FALSE(updown.SetPropertyText("Increment", "0"));
  EXPECT_TRUE(updown.SetPropertyText("Increment", "2"));
  EXPECT_EQ(Get(updown, "Increment"), "2");
  EXPECT_TRUE(updown.SetPropertyText("Wrap", "True"));
  EXPECT_NE(Style(updown) & UDS_WRAP, 0u);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Count", ControlEvent::kChange, ""},
                                          {"Count", ControlEvent::kChange, ""}}));
  EXPECT_TRUE(bar.SetPropertyText("Position", "300"));
  EXPECT_TRUE(Events().empty());  // a progress bar reports nothing
}

TEST_F(FormStandardControls, LabelsAndTheirBackgrounds) {
  FormControl& label = Make(Object(
      "TLabel", "Title",
      {Str("Caption", "Welcome"), Prop("Alignment", "taCenter"), Prop("Transparent", "True")}));
  EXPECT_EQ(Get(label, "Caption"), "Welcome");
  EXPECT_EQ(Style(label) & SS_TYPEMASK, static_cast<DWORD>(SS_CENTER));
  EXPECT_NE(Style(label) & SS_NOTIFY, 0u);
  EXPECT_TRUE(label.SetPropertyText("Alignment", "taLeftJustify"));
  EXPECT_EQ(Style(label) & SS_TYPEMASK, static_cast<DWORD>(SS_LEFTNOWORDWRAP));
  EXPECT_TRUE(label.SetPropertyText("WordWrap", "True"));
  EXPECT_EQ(Style(label) & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));
  EXPECT_FALSE(label.SetPropertyText("Alignment", "taJustify"));
  EXPECT_EQ(Get(label, "Alignment"), "taLeftJustify");

  // Transparent: the form's background shows behind the text.
  Canvas canvas(4, 4);
  const LRESULT brush =
      SendMessageA(form_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.Dc()),
                   reinterpret_cast<LPARAM>(label.Window()));
  EXPECT_EQ(BrushColor(brush), kFormColor);
  EXPECT_EQ(GetBkMode(canvas.Dc()), TRANSPARENT);

  FormControl& red = Make(Object("TLabel", "Red", {Prop("Color", "clRed")}));
  EXPECT_EQ(BrushColor(SendMessageA(form_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.Dc()),
                                    reinterpret_cast<LPARAM>(red.Window()))),
            RGB(255, 0, 0));

  Events();
  Click(label.Window(), 2, 2);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Title", ControlEvent::kClick, ""}}));

  FormControl& text =
      Make(Object("TStaticText", "Info", {Prop("BorderStyle", "sbsSunken"), Str("Caption", "i")}));
  EXPECT_NE(GetWindowLongPtrA(text.Window(), GWL_EXSTYLE) & WS_EX_STATICEDGE, 0);
  EXPECT_TRUE(text.SetPropertyText("BorderStyle", "sbsSingle"));
  EXPECT_EQ(GetWindowLongPtrA(text.Window(), GWL_EXSTYLE) & WS_EX_STATICEDGE, 0);
  EXPECT_NE(Style(text) & WS_BORDER, 0u);
  EXPECT_FALSE(text.SetPropertyText("BorderStyle", "bsSingle"));
  EXPECT_EQ(Get(text, "BorderStyle"), "sbsSingle");
}

TEST_F(FormStandardControls, PanelsHoldPaintAndColourTheirChildren) {
  FormControl& panel = Make(Object("TPanel", "Frame",
                                   {Str("Caption", ""), Prop("Color", "clWhite"),
                                    Prop("BevelOuter", "bvLowered"), Int("BorderWidth", 2)}));
  EXPECT_TRUE(panel.IsContainer());
  EXPECT_EQ(Get(panel, "BevelOuter"), "bvLowered");
  EXPECT_EQ(Get(panel, "BevelInner"), "bvNone");
  EXPECT_EQ(Get(panel, "Alignment"), "taCenter");
  EXPECT_FALSE(panel.SetPropertyText("BevelWidth", "0"));
  EXPECT_FALSE(panel.SetPropertyText("BevelInner", "bvDeep"));

  Canvas canvas(120, 60);
  canvas.Paint(panel.Window());
  EXPECT_EQ(canvas.Pixel(0, 0), GetSysColor(COLOR_BTNSHADOW));  // lowered: dark top-left
  EXPECT_EQ(canvas.Pixel(119, 59), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(canvas.Pixel(60, 30), RGB(255, 255, 255));

  // Children: clicks reach them through the panel; a transparent label
  // shows the panel's colour; one without a colour of its own gets it too.
  FormControl& button = Make(Object("TButton", "Inside", {}), panel.Window());
  EXPECT_EQ(GetParent(button.Window()), panel.Window());
  FormControl& clear =
      Make(Object("TLabel", "Clear", {Prop("Transparent", "True")}), panel.Window());
  FormControl& plain = Make(Object("TLabel", "Plain", {}), panel.Window());
  Events();
  SendMessageA(button.Window(), BM_CLICK, 0, 0);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Inside", ControlEvent::kClick, ""}}));
  for (FormControl* child : {&clear, &plain}) {
    const LRESULT brush =
        SendMessageA(panel.Window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.Dc()),
                     reinterpret_cast<LPARAM>(child->Window()));
    EXPECT_EQ(BrushColor(brush), RGB(255, 255, 255)) << child->Name();
  }

  FormControl& flash =
      Make(Object("TFlashFrame", "Movie", {Str("Caption", "movie"), Prop("Loop", "True")}));
  EXPECT_FALSE(flash.IsContainer());
  EXPECT_EQ(Get(flash, "Loop"), "True");
  EXPECT_EQ(Get(flash, "AutoRegisterFlash"), "True");
  EXPECT_EQ(Get(flash, "AutoScale"), "True");
  EXPECT_EQ(Get(flash, "AutoSize"), "False");
  EXPECT_FALSE(flash.SetPropertyText("Loop", "forever"));
  EXPECT_FALSE(flash.GetPropertyText("BevelOuter").has_value());
  canvas.Paint(flash.Window());
  EXPECT_EQ(canvas.Pixel(0, 0), GetSysColor(COLOR_BTNFACE));  // no bevel
}

// A BMP file: "rows" bottom-up, each already padded to four bytes.
Bytes Bmp(int width, int height, int bits, const Bytes& palette, const Bytes& rows) {
  Bytes bmp;
  const auto put = [&](std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bmp.push_back(static_cast<unsigned char>(value >> (8 * i)));
  };
  const auto offBits = static_cast<std::uint32_t>(14 + 40 + palette.size());
  bmp.push_back('B');
  bmp.push_back('M');
  put(offBits + static_cast<std::uint32_t>(rows.size()), 4);
  put(0, 4);
  put(offBits, 4);
  put(40, 4);
  put(static_cast<std::uint32_t>(width), 4);
  put(static_cast<std::uint32_t>(height), 4);
  put(1, 2);
  put(static_cast<std::uint32_t>(bits), 2);
  put(0, 4);  // BI_RGB
  put(static_cast<std::uint32_t>(rows.size()), 4);
  put(2835, 4);
  put(2835, 4);
  put(static_cast<std::uint32_t>(palette.size() / 4), 4);
  put(0, 4);
  bmp.insert(bmp.end(), palette.begin(), palette.end());
  bmp.insert(bmp.end(), rows.begin(), rows.end());
  return bmp;
}

// 2 x 2, 24 bits: red, green over blue, white.
Bytes FourColours() {
  return Bmp(2, 2, 24, {},
             {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  // bottom: blue, white
              0, 0, 0xFF, 0, 0xFF, 0, 0, 0});      // top: red, green
}

Bytes PictureData(const Bytes& bmp, std::string className = "TBitmap") {
  Bytes data{static_cast<unsigned char>(className.size())};
  data.insert(data.end(), className.begin(), className.end());
  const auto size = static_cast<std::uint32_t>(bmp.size());
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<unsigned char>(size >> (8 * i)));
  data.insert(data.end(), bmp.begin(), bmp.end());
  return data;
}

FormObject ImageObject(const Bytes& data, std::vector<FormProperty> more = {}) {
  FormObject object = Object("TImage", "Logo", {Binary("Picture.Data", data)});
  object.properties[2] = Int("Width", 4);
  object.properties[3] = Int("Height", 4);
  for (FormProperty& property : more) object.properties.push_back(std::move(property));
  return object;
}

TEST_F(FormStandardControls, ImageShowsABitmapFromTheFile) {
  constexpr COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255),
                     kWhite = RGB(255, 255, 255);
  Canvas canvas(8, 8);
  FormControl& stretched = Make(ImageObject(PictureData(FourColours()), {Prop("Stretch", "True")}));
  canvas.Paint(stretched.Window());
  EXPECT_EQ(canvas.Pixel(0, 0), kRed);
  EXPECT_EQ(canvas.Pixel(3, 0), kGreen);
  EXPECT_EQ(canvas.Pixel(1, 3), kBlue);
  EXPECT_EQ(canvas.Pixel(3, 3), kWhite);

  FormControl& centred = Make(ImageObject(PictureData(FourColours()), {Prop("Center", "True")}));
  canvas.Paint(centred.Window());
  EXPECT_EQ(canvas.Pixel(0, 0), kFormColor);  // around the picture: the form
  EXPECT_EQ(canvas.Pixel(1, 1), kRed);
  EXPECT_EQ(canvas.Pixel(2, 2), kWhite);
  EXPECT_EQ(canvas.Pixel(3, 3), kFormColor);

  // The bottom-left colour (blue) is see-through.
  EXPECT_TRUE(stretched.SetPropertyText("Transparent", "True"));
  canvas.Paint(stretched.Window());
  EXPECT_EQ(canvas.Pixel(0, 3), kFormColor);
  EXPECT_EQ(canvas.Pixel(0, 0), kRed);

  FormControl& sized = Make(ImageObject(PictureData(FourColours()), {Prop("AutoSize", "True")}));
  EXPECT_EQ(ClientSize(sized).cx, 2);
  EXPECT_EQ(ClientSize(sized).cy, 2);
  EXPECT_EQ(Get(sized, "Width"), "2");

  // One bit per pixel through a palette: green, red.
  FormControl& paletted =
      Make(ImageObject(PictureData(Bmp(2, 1, 1, {0, 0xFF, 0, 0, 0, 0, 0xFF, 0}, {0x40, 0, 0, 0}))));
  canvas.Paint(paletted.Window());
  EXPECT_EQ(canvas.Pixel(0, 0), kGreen);
  EXPECT_EQ(canvas.Pixel(1, 0), kRed);
  EXPECT_EQ(canvas.Pixel(2, 0), kFormColor);

  Events();
  Click(stretched.Window(), 1, 1);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Logo", ControlEvent::kClick, ""}}));
  SendMessageA(stretched.Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
  SendMessageA(stretched.Window(), WM_LBUTTONUP, 0, MAKELPARAM(50, 50));  // released outside
  EXPECT_TRUE(Events().empty());
}

TEST_F(FormStandardControls, DamagedPictureDataShowsNothing) {
  const Bytes good = FourColours();
  const Bytes sound = PictureData(good);
  std::vector<Bytes> damaged = {
      {},
      {7, 'T', 'B'},                                        // name cut short
      PictureData(good, "TJPEGImage"),                      // not a bitmap
      Bytes(sound.begin(), sound.end() - 1),                // file cut short
      PictureData(Bmp(2, 2, 24, {}, {1, 2, 3})),            // rows cut short
      PictureData(Bmp(0, 2, 24, {}, Bytes(16))),            // no width
      PictureData(Bmp(2, 0, 24, {}, Bytes(16))),            // no height
      PictureData(Bmp(100000, 1, 24, {}, Bytes(16))),       // far too wide
      PictureData(Bmp(2, 2, 7, {}, Bytes(16))),             // no such depth
      PictureData(Bmp(2, 1, 8, Bytes(4 * 300), Bytes(4))),  // more colours than 8 bits hold
  };
  Bytes badSignature = good;
  badSignature[1] = 'X';
  damaged.push_back(PictureData(badSignature));
  Bytes hugeHeader = good;
  hugeHeader[14] = 0xF0;  // header size past the file
  damaged.push_back(PictureData(hugeHeader));
  Bytes farPixels = good;
  farPixels[10] = 0xFF;  // pixels start past the end
  damaged.push_back(PictureData(farPixels));
  Bytes bigSize = PictureData(good);
  bigSize[8 + 3] = 0x7F;  // the size in front claims more than there is
  damaged.push_back(bigSize);

  Canvas canvas(8, 8);
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    FormControl& image = Make(ImageObject(damaged[i], {Prop("AutoSize", "True")}));
    EXPECT_EQ(ClientSize(image).cx, 4) << i;  // nothing to size to
    canvas.Paint(image.Window());
    EXPECT_EQ(canvas.Pixel(1, 1), kFormColor) << i;
    controls_.pop_back();
  }

  // Every byte of a sound picture damaged in turn: never a crash.
  for (std::size_t at = 0; at < sound.size(); ++at) {
    for (const int value : {0x00, 0x80, 0xFF}) {
      Bytes mutated = sound;
      mutated[at] = static_cast<unsigned char>(value);
      FormControl& image = Make(ImageObject(mutated, {Prop("Stretch", "True")}));
      canvas.Paint(image.Window());
      controls_.pop_back();
    }
  }
}

TEST_F(FormStandardControls, ShapesAndBevels) {
  FormObject circle =
      Object("TShape", "Dot", {Prop("Shape", "stCircle"), Prop("Brush.Color", "clRed")});
  circle.properties[2] = Int("Width", 40);
  circle.properties[3] = Int("Height", 20);
  FormControl& dot = Make(circle);
  EXPECT_EQ(Get(dot, "Brush.Color"), "clRed");
  EXPECT_EQ(Get(dot, "Pen.Width"), "1");
  Canvas canvas(40, 20);
  canvas.Paint(dot.Window());
  EXPECT_EQ(canvas.Pixel(20, 10), RGB(255, 0, 0));
  EXPECT_EQ(canvas.Pixel(5, 10), kFormColor);    // a circle, not the whole width
  EXPECT_EQ(canvas.Pixel(20, 0), RGB(0, 0, 0));  // the pen at the top

  EXPECT_TRUE(dot.SetPropertyText("Brush.Color", "$0000FF00"));
  EXPECT_EQ(Get(dot, "Brush.Color"), "$0000FF00");
  canvas.Paint(dot.Window());
  EXPECT_EQ(canvas.Pixel(20, 10), RGB(0, 255, 0));
  EXPECT_TRUE(dot.SetPropertyText("Brush.Color", "clBtnFace"));
  canvas.Paint(dot.Window());
  EXPECT_EQ(canvas.Pixel(20, 10), GetSysColor(COLOR_BTNFACE));
  EXPECT_FALSE(dot.SetPropertyText("Brush.Color", "clChartreuse"));
  EXPECT_FALSE(dot.SetPropertyText("Pen.Width", "-1"));
  EXPECT_FALSE(dot.SetPropertyText("Shape", "stStar"));
  EXPECT_EQ(Get(dot, "Brush.Color"), "clBtnFace");
  EXPECT_TRUE(dot.SetPropertyText("Brush.Style", "bsClear"));
  EXPECT_TRUE(dot.SetPropertyText("Shape", "stRectangle"));
  canvas.Paint(dot.Window());
  EXPECT_EQ(canvas.Pixel(20, 10), kFormColor);
  EXPECT_EQ(canvas.Pixel(0, 10), RGB(0, 0, 0));

  Events();
  SendMessageA(dot.Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  SendMessageA(dot.Window(), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  EXPECT_EQ(Events(), (std::vector<Event>{{"Dot", ControlEvent::kMouseUp, ""}}));

  FormObject line = Object("TBevel", "Rule", {Prop("Shape", "bsTopLine")});
  line.properties[3] = Int("Height", 8);
  FormControl& rule = Make(line);
  EXPECT_EQ(SendMessageA(rule.Window(), WM_NCHITTEST, 0, 0), HTTRANSPARENT);
  canvas.Paint(rule.Window());
  EXPECT_EQ(canvas.Pixel(10, 0), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(canvas.Pixel(10, 1), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(canvas.Pixel(10, 5), kFormColor);
  EXPECT_TRUE(rule.SetPropertyText("Style", "bsRaised"));
  EXPECT_FALSE(rule.SetPropertyText("Style", "bsFlat"));
  EXPECT_EQ(Get(rule, "Style"), "bsRaised");
  canvas.Paint(rule.Window());
  EXPECT_EQ(canvas.Pixel(10, 0), GetSysColor(COLOR_BTNHIGHLIGHT));
}

// A folder of page files for the HTML pane, removed again at the end.
class PageFolder {
 public:
  PageFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + "tavrel-html-pane\\";
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~PageFolder() {
    for (const std::string& name : names_) DeleteFileA((path_ + name).c_str());
    RemoveDirectoryA(path_.c_str());
  }
  PageFolder(const PageFolder&) = delete;
  PageFolder& operator=(const PageFolder&) = delete;

  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(path_ + name, std::ios::binary) << text;
    names_.push_back(name);
    return path_ + name;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> names_;
};

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

int ScrollTop(const FormControl& control) {
  return GetScrollPos(control.Window(), SB_VERT);
}

// Links as missing pictures of a fixed size, one per line: line k spans
// y = 8 + 30k to 8 + 30(k + 1).
std::string LinkLine(const std::string& href) {
  return "<a href=\"" + href + "\"><img src=none.bmp width=100 height=30></a><br>";
}
POINT OnLine(int line) {
  return {20, 8 + 30 * line + 15};
}

TEST_F(FormStandardControls, HtmlPaneLoadsFilesAndExpandsLinks) {
  PageFolder folder;
  const std::string index = folder.Write(
      "index.htm", "<html><head><title>The  &amp; index</title></head><body>Hi</body></html>");
  FormControl& html = Make(Object("ThtmlLite", "Pane", {}));
  EXPECT_FALSE(html.LoadHtmlFile(folder.Path() + "missing.htm"));
  EXPECT_FALSE(html.LoadHtmlFile(folder.Path()));  // a folder is no page
  EXPECT_EQ(html.HtmlCurrentFile(), "");

  ASSERT_TRUE(html.LoadHtmlFile(index));
  EXPECT_EQ(html.HtmlCurrentFile(), index);
  EXPECT_EQ(Get(html, "CurrentFile"), index);
  EXPECT_EQ(html.HtmlDocumentTitle(), "The & index");
  EXPECT_EQ(Get(html, "DocumentTitle"), "The & index");
  EXPECT_FALSE(html.SetPropertyText("CurrentFile", "x.htm"));
  EXPECT_FALSE(html.LoadHtmlFile(folder.Path() + "missing.htm"));
  EXPECT_EQ(html.HtmlCurrentFile(), index);  // unchanged by a failed load

  const std::string parent = std::string(
      common::FolderPart(std::string_view(folder.Path()).substr(0, folder.Path().size() - 1)));
  EXPECT_EQ(html.HtmlExpandLink("page2.htm"), folder.Path() + "page2.htm");
  EXPECT_EQ(html.HtmlExpandLink("sub/./p.htm?x=1#y"), folder.Path() + "sub\\p.htm");
  EXPECT_EQ(html.HtmlExpandLink("..\\up.htm"), parent + "up.htm");
  EXPECT_EQ(html.HtmlExpandLink("file:///C|/x/y.htm"), "C:\\x\\y.htm");
  EXPECT_EQ(html.HtmlExpandLink("D:\\abs.htm"), "D:\\abs.htm");

  // Source text: no current file, links relative to the current folder.
  EXPECT_TRUE(html.SetPropertyText("DocumentSource", "<title>Source</title>x"));
  EXPECT_EQ(Get(html, "DocumentSource"), "<title>Source</title>x");
  EXPECT_EQ(html.HtmlCurrentFile(), "");
  EXPECT_EQ(html.HtmlDocumentTitle(), "Source");
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_EQ(html.HtmlExpandLink("a.htm"), common::JoinPath(current, "a.htm"));
  EXPECT_TRUE(Events().empty());
}

TEST_F(FormStandardControls, HtmlPaneReportsLinkClicksAndFollowsThoseLeftToIt) {
  PageFolder folder;
  folder.Write("page2.htm", "<title>Page two</title><a name=bottom>two</a>");
  std::string page = "<title>Links</title><body>" + LinkLine("page2.htm") +
                     LinkLine("http://example.com/") + LinkLine("#end") + LinkLine("missing.htm") +
                     LinkLine("sub\\..\\page2.htm#bottom");
  for (int i = 0; i < 100; ++i) page += "filler<br>";
  page += "<a name=end>end</a>";
  const std::string index = folder.Write("index.htm", page);
  FormObject object = Object("ThtmlLite", "Pane", {});
  object.properties[2] = Int("Width", 300);
  object.properties[3] = Int("Height", 200);
  FormControl& html = Make(object);
  ASSERT_TRUE(html.LoadHtmlFile(index));
  const auto click = [&](int line) { Click(html.Window(), OnLine(line).x, OnLine(line).y); };

  // Handled: reported with the link as written, not followed.
  site_.handleLinks = true;
  click(0);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Pane", ControlEvent::kHotSpotClick, "page2.htm"}}));
  EXPECT_EQ(html.HtmlCurrentFile(), index);

  // Left to the pane: a web address and a missing file do nothing, an anchor scrolls.
  site_.handleLinks = false;
  click(1);
  click(3);
  EXPECT_EQ(Events(),
            (std::vector<Event>{{"Pane", ControlEvent::kHotSpotClick, "http://example.com/"},
                                {"Pane", ControlEvent::kHotSpotClick, "missing.htm"}}));
  EXPECT_EQ(html.HtmlCurrentFile(), index);
  EXPECT_EQ(ScrollTop(html), 0);
  click(2);
  EXPECT_EQ(Events(), (std::vector<Event>{{"Pane", ControlEvent::kHotSpotClick, "#end"}}));
  EXPECT_GT(ScrollTop(html), 1000);
  SendMessageA(html.Window(), WM_KEYDOWN, VK_HOME, 0);
  EXPECT_EQ(ScrollTop(html), 0);
  SendMessageA(html.Window(), WM_KEYDOWN, VK_NEXT, 0);
  const int pageDown = ScrollTop(html);
  EXPECT_GT(pageDown, 100);
  SendMessageA(html.Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_LT(ScrollTop(html), pageDown);
  SendMessageA(html.Window(), WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(ScrollTop(html), 0);

  // Pressed on one link and released on another: no click.
  SendMessageA(html.Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(OnLine(0).x, OnLine(0).y));
  SendMessageA(html.Window(), WM_LBUTTONUP, 0, MAKELPARAM(OnLine(1).x, OnLine(1).y));
  EXPECT_TRUE(Events().empty());

  // A local page is loaded, and scrolled to its anchor.
  click(4);
  EXPECT_EQ(
      Events(),
      (std::vector<Event>{{"Pane", ControlEvent::kHotSpotClick, "sub\\..\\page2.htm#bottom"}}));
  EXPECT_EQ(html.HtmlCurrentFile(), folder.Path() + "page2.htm");
  EXPECT_EQ(html.HtmlDocumentTitle(), "Page two");
  EXPECT_EQ(html.HtmlEvent(), nullptr);
}

TEST_F(FormStandardControls, HtmlPaneReportsATimedPageChangeOnceWhileItsPageShows) {
  PageFolder folder;
  const std::string timed =
      folder.Write("timed.htm", "<meta http-equiv=\"refresh\" content=\"5; URL=page2.htm\">Wait");
  const std::string still = folder.Write("still.htm", "No change");
  FormControl& html = Make(Object("ThtmlLite", "Pane", {}));

  ASSERT_TRUE(html.LoadHtmlFile(timed));
  EXPECT_TRUE(Events().empty());  // reported later, not while the page loads
  PumpMessages();
  EXPECT_EQ(Events(), (std::vector<Event>{{"Pane", ControlEvent::kMetaRefresh, "5 page2.htm"}}));
  PumpMessages();
  EXPECT_TRUE(Events().empty());

  // A page left before the report arrives is not reported.
  ASSERT_TRUE(html.LoadHtmlFile(timed));
  ASSERT_TRUE(html.LoadHtmlFile(still));
  PumpMessages();
  EXPECT_TRUE(Events().empty());

  // Source text with only a delay: the same page again.
  EXPECT_TRUE(html.SetPropertyText("DocumentSource", "<meta http-equiv=refresh content=3>Again"));
  PumpMessages();
  EXPECT_EQ(Events(), (std::vector<Event>{{"Pane", ControlEvent::kMetaRefresh, "3 "}}));
}

TEST_F(FormStandardControls, HtmlPanePaintsThePage) {
  constexpr COLORREF kRed = RGB(255, 0, 0), kWhite = RGB(255, 255, 255);
  PageFolder folder;
  const Bytes bmp = FourColours();
  folder.Write("four.bmp", std::string(bmp.begin(), bmp.end()));
  const std::string page = folder.Write(
      "page.htm",
      "<img src=four.bmp width=40 height=20><br>"
      "<table border=1 cellspacing=0 cellpadding=0><tr><td bgcolor=#0000ff width=50>&nbsp;"
      "</table><hr noshade size=4><h1>Heading</h1>");
  FormObject object = Object("ThtmlLite", "Pane", {});
  object.properties[2] = Int("Width", 300);
  object.properties[3] = Int("Height", 200);
  FormControl& html = Make(object);
  ASSERT_TRUE(html.LoadHtmlFile(page));
  Canvas canvas(300, 200);
  canvas.Paint(html.Window());
  // The picture scaled to 40 x 20 at the margin: red at its top left, green at its top right.
  EXPECT_EQ(canvas.Pixel(8 + 5, 8 + 4), kRed);
  EXPECT_EQ(canvas.Pixel(8 + 35, 8 + 4), RGB(0, 255, 0));
  EXPECT_EQ(canvas.Pixel(8 + 35, 8 + 15), kWhite);
  // The blue cell inside its grey frames below the picture's line.
  EXPECT_EQ(canvas.Pixel(8 + 10, 8 + 20 + 8), RGB(0, 0, 255));
  EXPECT_EQ(canvas.Pixel(8, 8 + 20 + 8), RGB(128, 128, 128));
  EXPECT_EQ(canvas.Pixel(250, 4), kWhite);

  // The heading's text is drawn in the text colour somewhere below the rule.
  const auto darkPixels = [&] {
    int dark = 0;
    for (int y = 60; y < 200; ++y) {
      for (int x = 8; x < 280; ++x) dark += canvas.Pixel(x, y) == RGB(0, 0, 0) ? 1 : 0;
    }
    return dark;
  };
  EXPECT_GT(darkPixels(), 100);

  EXPECT_TRUE(html.SetPropertyText("DefBackground", "clYellow"));
  EXPECT_FALSE(html.SetPropertyText("DefBackground", "sunset"));
  EXPECT_EQ(Get(html, "DefBackground"), "clYellow");
  canvas.Paint(html.Window());
  EXPECT_EQ(canvas.Pixel(250, 4), RGB(255, 255, 0));
  EXPECT_TRUE(html.SetPropertyText("DocumentSource", "<body bgcolor=teal text=white>x"));
  canvas.Paint(html.Window());
  EXPECT_EQ(canvas.Pixel(250, 4), RGB(0, 128, 128));
}

TEST_F(FormStandardControls, AnimationsOpenWhatExistsAndNeverFail) {
  FormControl& animation = Make(
      Object("TAnimate", "Copying", {Prop("CommonAVI", "aviCopyFiles"), Prop("Active", "True")}));
  EXPECT_EQ(Get(animation, "CommonAVI"), "aviCopyFiles");
  EXPECT_EQ(Get(animation, "Active"), "True");
  EXPECT_TRUE(animation.SetPropertyText("FileName", "C:\\no\\such\\file.avi"));
  EXPECT_EQ(Get(animation, "CommonAVI"), "aviNone");
  EXPECT_FALSE(animation.SetPropertyText("CommonAVI", "aviDance"));
  EXPECT_TRUE(animation.SetPropertyText("Active", "False"));
  EXPECT_FALSE(animation.SetPropertyText("Repetitions", "-3"));
  EXPECT_TRUE(animation.SetPropertyText("Repetitions", "2"));
}

// The way a dialog file writes them: ItemIndex before the items, binary
// pictures in hex.
TEST_F(FormStandardControls, ControlsFromADialogFile) {
  std::string hex;
  for (const unsigned char byte : PictureData(FourColours())) {
    static const char kDigits[] = "0123456789ABCDEF";
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  const FormObject root = ReadFormFile(
      "object Page: TPoolTemplate\n"
      "  object Kind: TComboBox\n"
      "    Left = 8\n"
      "    Top = 8\n"
      "    Width = 145\n"
      "    Height = 21\n"
      "    Style = csDropDownList\n"
      "    ItemHeight = 13\n"
      "    ItemIndex = 1\n"
      "    TabOrder = 0\n"
      "    Items.Strings = (\n"
      "      'Full'\n"
      "      'Compact')\n"
      "  end\n"
      "  object Logo: TImage\n"
      "    Left = 8\n"
      "    Top = 40\n"
      "    Width = 30\n"
      "    Height = 30\n"
      "    AutoSize = True\n"
      "    Picture.Data = {" +
      hex +
      "}\n"
      "  end\n"
      "end\n");
  ASSERT_EQ(root.children.size(), 2u);
  FormControl& combo = Make(root.children[0]);
  EXPECT_EQ(Get(combo, "Text"), "Compact");
  EXPECT_EQ(Get(combo, "TabOrder"), "0");
  FormControl& logo = Make(root.children[1]);
  EXPECT_EQ(ClientSize(logo).cx, 2);
}

}  // namespace
}  // namespace tavrel
