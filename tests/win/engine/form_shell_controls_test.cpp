// The tree view and the file-system browsing controls on real windows over a
// real folder tree, driven the way the user and the dialog's script drive
// them: window messages for the user, property texts for the script.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/win32/forms/form_control.h"

namespace tavrel {
namespace {

struct Reported {
  std::string control;
  ControlEvent event;
  std::string value;  // the recorder's watched property when it was reported
};

class Recorder : public ControlSite {
 public:
  void ControlEvent(FormControl& control, tavrel::ControlEvent event) override {
    reported.push_back(
        {control.Name(), event, watch.empty() ? "" : control.GetPropertyText(watch).value_or("?")});
  }
  // The events since the last call.
  std::vector<Reported> Take() { return std::exchange(reported, {}); }

  std::string watch;
  std::vector<Reported> reported;
};

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (FormControl::RouteToChild(message, wParam, lParam, result)) return result;
  return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return text;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data{};
  const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(folder.c_str());
}

// A temporary folder tree, a parent window that routes notifications to its
// controls, and the controls made in a test.
//
//   root\alpha\beta\gamma   root\alpha\one.txt
//   root\folder.txt\        root\Zeta\          root\secret\ (hidden)
//   root\a.txt  root\b.TXT  root\c.log  root\readme  root\h.txt (hidden)
class FormShellFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    static int serial = 0;
    const std::string made = std::string(temp) + "tavrel-shell-" +
                             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    ASSERT_TRUE(CreateDirectoryA(made.c_str(), nullptr)) << made;
    char full[MAX_PATH] = {};
    ASSERT_NE(GetLongPathNameA(made.c_str(), full, MAX_PATH), 0u);
    root_ = full;
    for (const char* folder :
         {"alpha", "alpha\\beta", "alpha\\beta\\gamma", "folder.txt", "Zeta", "secret"}) {
      ASSERT_TRUE(CreateDirectoryA(At(folder).c_str(), nullptr)) << folder;
    }
    for (const char* file : {"a.txt", "b.TXT", "c.log", "readme", "h.txt", "alpha\\one.txt"}) {
      Write(At(file));
    }
    SetFileAttributesA(At("secret").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(At("h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);

    static const bool registered = [] {
      WNDCLASSA windowClass{};
      windowClass.lpfnWndProc = TestWindowProc;
      windowClass.hInstance = GetModuleHandleA(nullptr);
      windowClass.lpszClassName = "TavrelShellControlsTest";
      return RegisterClassA(&windowClass) != 0;
    }();
    ASSERT_TRUE(registered);
    window_ = CreateWindowExA(0, "TavrelShellControlsTest", "test", WS_OVERLAPPEDWINDOW, 0, 0, 640,
                              480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    controls_.clear();
    if (window_ != nullptr) DestroyWindow(window_);
    RemoveTree(root_);
  }

  std::string At(const std::string& relative) const { return root_ + "\\" + relative; }

  static void Write(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, "data", 4, &written, nullptr);
    CloseHandle(file);
  }

  FormControl& Make(const std::string& className,
                    const std::vector<std::pair<std::string, std::string>>& properties) {
    FormObject object;
    object.name = className.substr(1) + std::to_string(controls_.size() + 1);
    object.className = className;
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"Left", "8"},
                                     {"Top", "8"},
                                     {"Width", "300"},
                                     {"Height", "200"}}) {
      object.properties.push_back({name, FormProperty::Kind::kInteger, text, {}, {}, {}, 0});
    }
    for (const auto& [name, text] : properties) {
      object.properties.push_back({name, FormProperty::Kind::kString, text, {}, {}, {}, 0});
    }
    auto control = CreateShellControl(object, site_);
    if (control == nullptr) throw std::runtime_error("no control for " + className);
    control->SetControlId(100 + static_cast<int>(controls_.size()));
    control->Create(window_, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    controls_.push_back(std::move(control));
    return *controls_.back();
  }

  // What the parent window receives when the user acts on a control.
  void Command(FormControl& control, WORD notification) {
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control.Window()), notification),
                 reinterpret_cast<LPARAM>(control.Window()));
  }
  void Notify(FormControl& control, NMHDR& header) {
    header.hwndFrom = control.Window();
    header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control.Window()));
    SendMessageA(window_, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
  }

  static std::string Get(FormControl& control, const char* name) {
    return control.GetPropertyText(name).value_or("<none>");
  }
  static LONG_PTR Style(FormControl& control) {
    return GetWindowLongPtrA(control.Window(), GWL_STYLE);
  }

  std::string root_;
  HWND window_ = nullptr;
  Recorder site_;
  std::vector<std::unique_ptr<FormControl>> controls_;
};

class FormShellFactory : public FormShellFixture {};
class FormShellTreeView : public FormShellFixture {};
class FormShellFileList : public FormShellFixture {};
class FormShellDirectoryList : public FormShellFixture {};
class FormShellCombos : public FormShellFixture {};
class FormShellTree : public FormShellFixture {};
class FormShellList : public FormShellFixture {};
class FormShellCombo : public FormShellFixture {};

TEST_F(FormShellFactory, MakesOnlyItsOwnClassesEachItsOwnKind) {
  Recorder site;
  FormObject other;
  other.className = "TListBox";
  EXPECT_EQ(CreateShellControl(other, site), nullptr);
  for (const char* name : {"TTreeView", "TFileListBox", "TDirectoryListBox", "TDriveComboBox",
                           "TFilterComboBox", "TPTShellTree", "TPTShellList", "TPTShellCombo"}) {
    FormObject object;
    object.className = name;
    const auto control = CreateShellControl(object, site);
    ASSERT_NE(control, nullptr) << name;
    EXPECT_EQ(control->ClassName(), name);
    EXPECT_TRUE(control->IsA(name));
    EXPECT_FALSE(control->IsA("TListBox")) << name;
    EXPECT_FALSE(control->IsA("TComboBox")) << name;
  }
}

TEST_F(FormShellTreeView, ItemsLevelsRelabelSelectionAndEvents) {
  // A line two levels deeper than the one before hangs one level below it;
  // an empty line is no node.
  auto& tree = Make("TTreeView", {{"Items",
                                   "Program files\r\n\tHelp\r\n\t\tDeep\r\nDocumentation\r\n"
                                   "\t\t\tToo deep\r\n\r\n\tManual\r\n"}});
  const HWND window = tree.Window();
  EXPECT_EQ(Get(tree, "Items"),
            "Program files\r\n\tHelp\r\n\t\tDeep\r\nDocumentation\r\n\tToo deep\r\n\tManual");
  const HTREEITEM program = TreeView_GetRoot(window);
  const HTREEITEM help = TreeView_GetChild(window, program);
  ASSERT_NE(help, nullptr);
  // The first level is open, deeper ones are not.
  EXPECT_NE(TreeView_GetItemState(window, program, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
  EXPECT_EQ(TreeView_GetItemState(window, help, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
  EXPECT_EQ(Get(tree, "Selected"), "");
  EXPECT_EQ(Get(tree, "SelectedPath"), "");

  site_.watch = "SelectedPath";
  EXPECT_TRUE(tree.SetPropertyText("Selected", "Deep"));
  auto events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, ControlEvent::kChange);
  EXPECT_EQ(events[0].value, "Program files\\Help\\Deep");
  const HTREEITEM deep = TreeView_GetSelection(window);
  // The same selection again, or a node that does not exist: no change.
  EXPECT_TRUE(tree.SetPropertyText("Selected", "Deep"));
  EXPECT_FALSE(tree.SetPropertyText("Selected", "Nowhere"));
  EXPECT_FALSE(tree.SetPropertyText("SelectedPath", "Program files\\Deep"));
  EXPECT_TRUE(site_.Take().empty());
  EXPECT_EQ(TreeView_GetSelection(window), deep);

  // The same shape relabels in place: selection and expansion stay, nothing
  // is reported.
  EXPECT_TRUE(tree.SetPropertyText("Items",
                                   "Programme\r\n\tHilfe\r\n\t\tTief\r\nDokumente\r\n\tZu tief\r\n"
                                   "\tHandbuch"));
  EXPECT_EQ(TreeView_GetSelection(window), deep);
  EXPECT_EQ(Get(tree, "Selected"), "Tief");
  EXPECT_EQ(Get(tree, "SelectedPath"), "Programme\\Hilfe\\Tief");
  EXPECT_NE(TreeView_GetItemState(window, help, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
  EXPECT_TRUE(site_.Take().empty());

  // Another shape rebuilds: the selection is gone, which is a change.
  EXPECT_TRUE(tree.SetPropertyText("Items", "One\r\n\tInner\r\nTwo"));
  EXPECT_EQ(Get(tree, "Selected"), "");
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].value, "");

  // The user's selection and clicks.
  const HTREEITEM two = TreeView_GetNextSibling(window, TreeView_GetRoot(window));
  TreeView_SelectItem(window, two);
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, ControlEvent::kChange);
  EXPECT_EQ(events[0].value, "Two");
  NMHDR click{};
  click.code = NM_CLICK;
  Notify(tree, click);
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, ControlEvent::kMouseUp);

  EXPECT_TRUE(tree.SetPropertyText("SelectedPath", "One\\Inner"));
  EXPECT_EQ(Get(tree, "Selected"), "Inner");
  EXPECT_TRUE(tree.SetPropertyText("Selected", ""));
  EXPECT_EQ(TreeView_GetSelection(window), nullptr);
  EXPECT_EQ(site_.Take().size(), 2u);

  // Styles follow the Boolean properties, also after creation.
  EXPECT_NE(Style(tree) & TVS_EDITLABELS, 0);
  EXPECT_EQ(Style(tree) & TVS_SHOWSELALWAYS, 0);
  EXPECT_TRUE(tree.SetPropertyText("ReadOnly", "True"));
  EXPECT_TRUE(tree.SetPropertyText("HideSelection", "false"));
  EXPECT_EQ(Style(tree) & TVS_EDITLABELS, 0);
  EXPECT_NE(Style(tree) & TVS_SHOWSELALWAYS, 0);
  EXPECT_FALSE(tree.SetPropertyText("ReadOnly", "Maybe"));
  EXPECT_EQ(Get(tree, "ReadOnly"), "True");
  EXPECT_FALSE(tree.SetPropertyText("Indent", "wide"));

  EXPECT_TRUE(tree.SetPropertyText("Items", ""));
  EXPECT_EQ(Get(tree, "Items"), "");
  EXPECT_EQ(TreeView_GetCount(window), 0u);
}

TEST_F(FormShellTreeView, FileSettingsMakeTheWindowAndReportNothing) {
  auto& tree = Make(
      "TTreeView",
      {{"ShowLines", "False"}, {"ReadOnly", "True"}, {"Items", "A\r\n\tB"}, {"Selected", "B"}});
  EXPECT_EQ(Style(tree) & (TVS_HASLINES | TVS_EDITLABELS), 0);
  EXPECT_NE(Style(tree) & TVS_HASBUTTONS, 0);
  EXPECT_EQ(Get(tree, "SelectedPath"), "A\\B");
  EXPECT_TRUE(site_.Take().empty());
}

TEST_F(FormShellFileList, MatchingFilesSelectionAndFolders) {
  auto& files = Make("TFileListBox", {{"Directory", root_ + "\\"}, {"Mask", "*.txt"}});
  site_.watch = "FileName";
  // Files only (not the folder folder.txt), no hidden ones, any case.
  EXPECT_EQ(Get(files, "Items"), "a.txt\r\nb.TXT");
  EXPECT_EQ(Lower(Get(files, "Directory")), Lower(root_));
  EXPECT_EQ(Get(files, "FileName"), "");
  EXPECT_EQ(Get(files, "ItemIndex"), "-1");
  EXPECT_TRUE(files.SetPropertyText("Mask", "*.txt; *.LOG"));
  EXPECT_EQ(Get(files, "Items"), "a.txt\r\nb.TXT\r\nc.log");
  EXPECT_TRUE(files.SetPropertyText("Mask", "*.*"));
  EXPECT_EQ(Get(files, "Items"), "a.txt\r\nb.TXT\r\nc.log\r\nreadme");
  EXPECT_TRUE(files.SetPropertyText("Mask", "re?dme.*"));
  EXPECT_EQ(Get(files, "Items"), "readme");
  EXPECT_FALSE(files.SetPropertyText("Mask", "..\\*.txt"));
  EXPECT_EQ(Get(files, "Mask"), "re?dme.*");
  EXPECT_TRUE(site_.Take().empty());

  EXPECT_TRUE(files.SetPropertyText("Mask", "*.log;*.txt"));
  EXPECT_TRUE(files.SetPropertyText("FileName", At("C.LOG")));
  EXPECT_EQ(Lower(Get(files, "FileName")), Lower(At("c.log")));
  EXPECT_EQ(Get(files, "ItemIndex"), "2");
  auto events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, ControlEvent::kChange);
  EXPECT_EQ(Lower(events[0].value), Lower(At("c.log")));
  // Unchanged, elsewhere, missing, hidden: no change.
  EXPECT_TRUE(files.SetPropertyText("FileName", At("c.log")));
  EXPECT_FALSE(files.SetPropertyText("FileName", At("alpha\\one.txt")));
  EXPECT_FALSE(files.SetPropertyText("FileName", At("missing.txt")));
  EXPECT_FALSE(files.SetPropertyText("FileName", At("h.txt")));
  EXPECT_FALSE(files.SetPropertyText("ItemIndex", "3"));
  // A new mask that still shows the file keeps it selected.
  EXPECT_TRUE(files.SetPropertyText("Mask", "c.*"));
  EXPECT_EQ(Lower(Get(files, "FileName")), Lower(At("c.log")));
  EXPECT_TRUE(site_.Take().empty());
  EXPECT_TRUE(files.SetPropertyText("Mask", "*.txt"));
  EXPECT_EQ(Get(files, "FileName"), "");
  EXPECT_EQ(site_.Take().size(), 1u);

  // The user's selection; the same item again is no change.
  SendMessageA(files.Window(), LB_SETCURSEL, 1, 0);
  Command(files, LBN_SELCHANGE);
  Command(files, LBN_SELCHANGE);
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Lower(events[0].value), Lower(At("b.txt")));

  EXPECT_FALSE(files.SetPropertyText("Directory", At("missing")));
  EXPECT_FALSE(files.SetPropertyText("Directory", At("a.txt")));
  EXPECT_EQ(Lower(Get(files, "Directory")), Lower(root_));
  EXPECT_TRUE(site_.Take().empty());
  EXPECT_TRUE(files.SetPropertyText("Directory", At("alpha")));
  EXPECT_EQ(Get(files, "Items"), "one.txt");
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].value, "");

  // A folder that vanishes while shown lists nothing.
  ASSERT_TRUE(CreateDirectoryA(At("gone").c_str(), nullptr));
  Write(At("gone\\x.txt"));
  EXPECT_TRUE(files.SetPropertyText("Directory", At("gone")));
  EXPECT_EQ(Get(files, "Items"), "x.txt");
  RemoveTree(At("gone"));
  EXPECT_TRUE(files.SetPropertyText("Mask", "*.*"));
  EXPECT_EQ(Get(files, "Items"), "");
}

TEST_F(FormShellDirectoryList, PathEntriesSubfoldersAndOpening) {
  auto& dirs = Make("TDirectoryListBox", {{"Directory", At("alpha")}});
  site_.watch = "Directory";
  auto lines = Lines(Get(dirs, "Items"));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), std::string(1, Lower(root_)[0]) + ":\\");
  EXPECT_EQ(lines[lines.size() - 2], "alpha");
  EXPECT_EQ(lines.back(), "beta");
  EXPECT_EQ(static_cast<std::size_t>(SendMessageA(dirs.Window(), LB_GETCOUNT, 0, 0)), lines.size());
  // The current folder is the one selected.
  EXPECT_EQ(SendMessageA(dirs.Window(), LB_GETCURSEL, 0, 0),
            static_cast<LRESULT>(lines.size() - 2));

  // Double-click on a subfolder opens it.
  SendMessageA(dirs.Window(), LB_SETCURSEL, lines.size() - 1, 0);
  RECT item{};
  SendMessageA(dirs.Window(), LB_GETITEMRECT, lines.size() - 1, reinterpret_cast<LPARAM>(&item));
  SendMessageA(dirs.Window(), WM_LBUTTONDBLCLK, MK_LBUTTON,
               MAKELPARAM(item.left + 4, (item.top + item.bottom) / 2));
  auto events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, ControlEvent::kChange);
  EXPECT_EQ(Lower(events[0].value), Lower(At("alpha\\beta")));
  lines = Lines(Get(dirs, "Items"));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 2], "beta");
  EXPECT_EQ(lines.back(), "gamma");

  // Enter on a folder of the path goes back up to it.
  SendMessageA(dirs.Window(), LB_SETCURSEL, lines.size() - 3, 0);
  SendMessageA(dirs.Window(), WM_KEYDOWN, VK_RETURN, 0);
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Lower(events[0].value), Lower(At("alpha")));

  EXPECT_TRUE(dirs.SetPropertyText("Directory", At("ALPHA\\")));
  EXPECT_FALSE(dirs.SetPropertyText("Directory", At("nowhere")));
  EXPECT_FALSE(dirs.SetPropertyText("Directory", At("a.txt")));
  EXPECT_TRUE(site_.Take().empty());
  EXPECT_TRUE(dirs.SetPropertyText("Directory", root_));
  EXPECT_EQ(site_.Take().size(), 1u);
  lines = Lines(Get(dirs, "Items"));
  ASSERT_GE(lines.size(), 4u);
  // Sorted without regard to case; the hidden folder is left out.
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"alpha", "folder.txt", "Zeta"}));
}

TEST_F(FormShellCombos, DrivesAndFilters) {
  auto& drives = Make("TDriveComboBox", {});
  site_.watch = "Drive";
  const auto items = Lines(Get(drives, "Items"));
  ASSERT_FALSE(items.empty());
  const auto listed = [&](char letter) {
    return std::any_of(items.begin(), items.end(), [&](const std::string& item) {
      return item.size() >= 2 && item[0] == letter && item[1] == ':' &&
             (item.size() == 2 || item.compare(2, 2, " [") == 0);
    });
  };
  EXPECT_TRUE(listed('c'));
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  EXPECT_EQ(Get(drives, "Drive"), std::string(1, Lower(current)[0]));
  EXPECT_TRUE(drives.SetPropertyText("Drive", "C"));
  EXPECT_EQ(Get(drives, "Drive"), "c");
  site_.Take();
  EXPECT_TRUE(drives.SetPropertyText("Drive", "c:\\"));
  EXPECT_TRUE(site_.Take().empty());
  char unlisted = 0;
  for (char letter = 'y'; letter >= 'd' && unlisted == 0; --letter) {
    if (!listed(letter)) unlisted = letter;
  }
  ASSERT_NE(unlisted, 0);
  EXPECT_FALSE(drives.SetPropertyText("Drive", std::string(1, unlisted)));
  for (const char* bad : {"", "cd", "1", "c:x", ":"}) {
    EXPECT_FALSE(drives.SetPropertyText("Drive", bad)) << bad;
  }
  EXPECT_EQ(Get(drives, "Drive"), "c");
  if (listed('z')) {
    EXPECT_TRUE(drives.SetPropertyText("Drive", "Z:"));
    auto events = site_.Take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].value, "z");
    // The user picks c: again.
    const auto c = std::find_if(items.begin(), items.end(),
                                [](const std::string& item) { return item[0] == 'c'; });
    SendMessageA(drives.Window(), CB_SETCURSEL, static_cast<WPARAM>(c - items.begin()), 0);
    Command(drives, CBN_SELCHANGE);
    events = site_.Take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].value, "c");
  }

  // A dialog file's Height is the edit field's; the list still opens for
  // DropDownCount entries.
  auto& filter = Make("TFilterComboBox", {{"Height", "21"}});
  const auto droppedHeight = [&] {
    RECT dropped{};
    SendMessageA(filter.Window(), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    return dropped.bottom - dropped.top;
  };
  const auto itemHeight = SendMessageA(filter.Window(), CB_GETITEMHEIGHT, 0, 0);
  EXPECT_GE(droppedHeight(), 8 * itemHeight);
  EXPECT_TRUE(filter.SetPropertyText("DropDownCount", "3"));
  EXPECT_LT(droppedHeight(), 8 * itemHeight);
  EXPECT_FALSE(filter.SetPropertyText("DropDownCount", "0"));
  EXPECT_EQ(Get(filter, "DropDownCount"), "3");
  site_.watch = "Mask";
  EXPECT_EQ(Get(filter, "Items"), "All files (*.*)");
  EXPECT_EQ(Get(filter, "Mask"), "*.*");
  EXPECT_TRUE(filter.SetPropertyText(
      "Filter", "Text files (*.txt)|*.txt|Logs and texts|*.log;*.txt|All files (*.*)|*.*"));
  EXPECT_EQ(Get(filter, "Items"), "Text files (*.txt)\r\nLogs and texts\r\nAll files (*.*)");
  EXPECT_EQ(Get(filter, "ItemIndex"), "0");
  EXPECT_EQ(Get(filter, "Mask"), "*.txt");
  EXPECT_EQ(site_.Take().size(), 1u);
  EXPECT_TRUE(filter.SetPropertyText("ItemIndex", "1"));
  EXPECT_TRUE(filter.SetPropertyText("ItemIndex", "1"));
  auto events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].value, "*.log;*.txt");
  EXPECT_FALSE(filter.SetPropertyText("ItemIndex", "3"));
  EXPECT_TRUE(filter.SetPropertyText("Mask", "*.*"));
  EXPECT_EQ(Get(filter, "ItemIndex"), "2");
  // A description without a mask, an empty mask, a path in a mask.
  for (const char* bad : {"Text|*.txt|Other", "Text||Other|*.o", "Up|..\\*.txt"}) {
    EXPECT_FALSE(filter.SetPropertyText("Filter", bad)) << bad;
  }
  EXPECT_EQ(Get(filter, "Mask"), "*.*");
  site_.Take();
  SendMessageA(filter.Window(), CB_SETCURSEL, 0, 0);
  Command(filter, CBN_SELCHANGE);
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].value, "*.txt");
  // A trailing bar is tolerated.
  EXPECT_TRUE(filter.SetPropertyText("Filter", "Logs|*.log|"));
  EXPECT_EQ(Get(filter, "Items"), "Logs");
}

TEST_F(FormShellTree, PathOpensDownToTheFolderAndSelectsIt) {
  auto& tree = Make("TPTShellTree", {{"HideSelection", "False"}});
  const HWND window = tree.Window();
  site_.watch = "Path";
  EXPECT_NE(Style(tree) & TVS_SHOWSELALWAYS, 0);
  EXPECT_EQ(Get(tree, "Path"), "");
  std::vector<std::string> roots;
  for (HTREEITEM item = TreeView_GetRoot(window); item != nullptr;
       item = TreeView_GetNextSibling(window, item)) {
    char text[64] = {};
    TVITEMA data{};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = sizeof text;
    TreeView_GetItem(window, &data);
    roots.push_back(text);
  }
  EXPECT_NE(std::find(roots.begin(), roots.end(), "C:\\"), roots.end());

  EXPECT_TRUE(tree.SetPropertyText("Path", At("ALPHA\\BETA\\GAMMA")));
  auto events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, ControlEvent::kChange);
  // Spelt as on disk.
  const std::string gamma = Get(tree, "Path");
  EXPECT_EQ(Lower(gamma), Lower(At("alpha\\beta\\gamma")));
  EXPECT_EQ(gamma.substr(gamma.size() - 17), "\\alpha\\beta\\gamma");
  EXPECT_EQ(events[0].value, gamma);
  const HTREEITEM selected = TreeView_GetSelection(window);
  ASSERT_NE(selected, nullptr);
  for (HTREEITEM parent = TreeView_GetParent(window, selected); parent != nullptr;
       parent = TreeView_GetParent(window, parent)) {
    EXPECT_NE(TreeView_GetItemState(window, parent, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
  }
  // The root folder lists its visible subfolders.
  const HTREEITEM alpha = TreeView_GetParent(window, TreeView_GetParent(window, selected));
  const HTREEITEM rootItem = TreeView_GetParent(window, alpha);
  std::vector<std::string> children;
  for (HTREEITEM child = TreeView_GetChild(window, rootItem); child != nullptr;
       child = TreeView_GetNextSibling(window, child)) {
    char text[MAX_PATH] = {};
    TVITEMA data{};
    data.mask = TVIF_TEXT;
    data.hItem = child;
    data.pszText = text;
    data.cchTextMax = sizeof text;
    TreeView_GetItem(window, &data);
    children.push_back(text);
  }
  EXPECT_EQ(children, (std::vector<std::string>{"alpha", "folder.txt", "Zeta"}));

  // Again, spelt otherwise: no change. Missing or a file: refused.
  EXPECT_TRUE(tree.SetPropertyText("Path", At("alpha\\beta\\gamma\\")));
  EXPECT_FALSE(tree.SetPropertyText("Path", At("alpha\\nowhere")));
  EXPECT_FALSE(tree.SetPropertyText("Path", At("a.txt")));
  EXPECT_FALSE(tree.SetPropertyText("Path", ""));
  EXPECT_TRUE(site_.Take().empty());
  EXPECT_EQ(Get(tree, "Path"), gamma);

  // The user selects beta.
  TreeView_SelectItem(window, TreeView_GetParent(window, selected));
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Lower(events[0].value), Lower(At("alpha\\beta")));

  // A hidden folder is not listed but can still be shown when asked for.
  EXPECT_TRUE(tree.SetPropertyText("Path", At("secret")));
  EXPECT_EQ(Lower(Get(tree, "Path")), Lower(At("secret")));
  EXPECT_EQ(site_.Take().size(), 1u);

  // A folder that vanished before it was opened opens empty.
  ASSERT_TRUE(CreateDirectoryA(At("gone").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(At("gone\\inner").c_str(), nullptr));
  EXPECT_TRUE(tree.SetPropertyText("Path", At("gone")));
  RemoveTree(At("gone"));
  const HTREEITEM gone = TreeView_GetSelection(window);
  TreeView_Expand(window, gone, TVE_EXPAND);
  EXPECT_EQ(TreeView_GetChild(window, gone), nullptr);
}

TEST_F(FormShellList, EntriesSelectionAndOpening) {
  auto& list = Make("TPTShellList", {{"Path", root_}, {"ViewStyle", "vsReport"}});
  site_.watch = "SelectedPath";
  EXPECT_EQ(Get(list, "Items"), "alpha\r\nfolder.txt\r\nZeta\r\na.txt\r\nb.TXT\r\nc.log\r\nreadme");
  EXPECT_EQ(SendMessageA(list.Window(), LVM_GETITEMCOUNT, 0, 0), 7);
  EXPECT_EQ(Style(list) & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_NE(Style(list) & LVS_SINGLESEL, 0);
  EXPECT_NE(Style(list) & LVS_SHAREIMAGELISTS, 0);
  EXPECT_EQ(Get(list, "SelectedPath"), "");
  EXPECT_TRUE(site_.Take().empty());

  // Selecting an item reports once, with the item's full path.
  ListView_SetItemState(list.Window(), 3, LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);
  auto events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, ControlEvent::kChange);
  EXPECT_EQ(Lower(events[0].value), Lower(At("a.txt")));
  ListView_SetItemState(list.Window(), 0, LVIS_SELECTED, LVIS_SELECTED);
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Lower(events[0].value), Lower(At("alpha")));
  // Focus moving onto the selected item, or the selection lost, is no change.
  ListView_SetItemState(list.Window(), 0, LVIS_FOCUSED, LVIS_FOCUSED);
  ListView_SetItemState(list.Window(), -1, 0, LVIS_SELECTED);
  EXPECT_TRUE(site_.Take().empty());

  // Another folder is shown without a report; invalid ones are refused.
  EXPECT_TRUE(list.SetPropertyText("Path", At("alpha")));
  EXPECT_EQ(Get(list, "Items"), "beta\r\none.txt");
  EXPECT_EQ(Get(list, "SelectedPath"), "");
  EXPECT_FALSE(list.SetPropertyText("Path", At("nowhere")));
  EXPECT_FALSE(list.SetPropertyText("Path", At("a.txt")));
  EXPECT_EQ(Lower(Get(list, "Path")), Lower(At("alpha")));
  EXPECT_TRUE(site_.Take().empty());

  EXPECT_TRUE(list.SetPropertyText("SelectedPath", At("alpha\\ONE.TXT")));
  EXPECT_FALSE(list.SetPropertyText("SelectedPath", At("c.log")));
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Lower(events[0].value), Lower(At("alpha\\one.txt")));

  // Enter or a double-click on a folder opens it; on a file it does nothing.
  ListView_SetItemState(list.Window(), 1, LVIS_FOCUSED, LVIS_FOCUSED);
  SendMessageA(list.Window(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(Lower(Get(list, "Path")), Lower(At("alpha")));
  ListView_SetItemState(list.Window(), 0, LVIS_FOCUSED, LVIS_FOCUSED);
  SendMessageA(list.Window(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(Lower(Get(list, "Path")), Lower(At("alpha\\beta")));
  EXPECT_EQ(Get(list, "Items"), "gamma");
  RECT item{};
  item.left = LVIR_LABEL;
  ASSERT_TRUE(SendMessageA(list.Window(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item)));
  const LPARAM point = MAKELPARAM(item.left + 4, (item.top + item.bottom) / 2);
  SendMessageA(list.Window(), WM_LBUTTONDBLCLK, MK_LBUTTON, point);
  SendMessageA(list.Window(), WM_LBUTTONUP, 0, point);
  EXPECT_EQ(Lower(Get(list, "Path")), Lower(At("alpha\\beta\\gamma")));
  EXPECT_EQ(Get(list, "Items"), "");
  // Backspace goes up.
  NMLVKEYDOWN key{};
  key.hdr.code = LVN_KEYDOWN;
  key.wVKey = VK_BACK;
  Notify(list, key.hdr);
  EXPECT_EQ(Lower(Get(list, "Path")), Lower(At("alpha\\beta")));
  // Selections made on the way are reported; opening itself reports nothing.
  for (const Reported& reported : site_.Take()) EXPECT_NE(reported.value, "");

  EXPECT_TRUE(list.SetPropertyText("ViewStyle", "vsIcon"));
  EXPECT_EQ(Style(list) & LVS_TYPEMASK, LVS_ICON);
  EXPECT_FALSE(list.SetPropertyText("ViewStyle", "vsTiles"));
  EXPECT_EQ(Get(list, "ViewStyle"), "vsIcon");
}

TEST_F(FormShellCombo, DrivesAndThePathBelowItsDrive) {
  auto& combo = Make("TPTShellCombo", {});
  site_.watch = "Path";
  EXPECT_TRUE(combo.SetPropertyText("Path", At("alpha\\beta")));
  auto events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Lower(events[0].value), Lower(At("alpha\\beta")));
  const auto items = Lines(Get(combo, "Items"));
  const auto beta = std::find(items.begin(), items.end(), "beta");
  ASSERT_NE(beta, items.end());
  ASSERT_NE(beta, items.begin());
  EXPECT_EQ(*(beta - 1), "alpha");
  EXPECT_EQ(SendMessageA(combo.Window(), CB_GETCURSEL, 0, 0), beta - items.begin());
  const std::string drive = std::string(1, static_cast<char>(root_[0] & ~0x20)) + ":\\";
  EXPECT_NE(std::find(items.begin(), items.end(), drive), items.end());

  EXPECT_TRUE(combo.SetPropertyText("Path", At("Alpha\\Beta")));
  EXPECT_FALSE(combo.SetPropertyText("Path", At("nowhere")));
  EXPECT_TRUE(site_.Take().empty());

  // The user picks the folder above.
  SendMessageA(combo.Window(), CB_SETCURSEL, static_cast<WPARAM>(beta - items.begin() - 1), 0);
  Command(combo, CBN_SELCHANGE);
  events = site_.Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Lower(events[0].value), Lower(At("alpha")));
  const auto after = Lines(Get(combo, "Items"));
  const auto alpha = std::find(after.begin(), after.end(), "alpha");
  ASSERT_NE(alpha, after.end());
  EXPECT_EQ(std::find(after.begin(), after.end(), "beta"), after.end());
  EXPECT_EQ(SendMessageA(combo.Window(), CB_GETCURSEL, 0, 0), alpha - after.begin());
}

}  // namespace
}  // namespace tavrel
