// The shell browsers: TPTShellTree, the drives and their folders as a tree;
// TPTShellList, a folder's entries; TPTShellCombo, the drives and the way
// down to the current folder.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/paths.h"
#include "engine/win32/forms/form_file_system.h"
#include "engine/win32/forms/form_shell_kit.h"

namespace tavrel::shell_controls {
namespace {

// File icons by extension, so that a big folder asks the shell once per kind.
class FileIcons {
 public:
  int Of(const FolderEntry& entry) {
    if (Icons().small == nullptr) return -1;
    if (entry.folder) return Icons().folder;
    const std::size_t dot = entry.name.find_last_of('.');
    const std::string extension = dot == std::string::npos ? "" : Folded(entry.name.substr(dot));
    const auto known = byExtension_.find(extension);
    if (known != byExtension_.end()) return known->second;
    const int icon = GenericIcon(entry.name.c_str(), FILE_ATTRIBUTE_NORMAL, 0);
    byExtension_.emplace(extension, icon);
    return icon;
  }

 private:
  std::map<std::string, int> byExtension_;
};

// ---------------------------------------------------------------------------
// TPTShellTree

class ShellTreeControl final : public TreeControl {
 public:
  ShellTreeControl(const FormObject& object, ControlSite& site)
      : TreeControl(object, "TPTShellTree", site),
        hideSelection_(FileFlag("HideSelection", true)) {}

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = WC_TREEVIEWA;
    params.style = WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                   TVS_DISABLEDRAGDROP | (hideSelection_ ? 0 : TVS_SHOWSELALWAYS);
    params.exStyle = WS_EX_CLIENTEDGE;
    return params;
  }

  void Created() override {
    if (Icons().small != nullptr) {
      Send(TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(Icons().small));
    }
    for (const Drive& drive : LogicalDrives(false)) {
      const int icon = DriveIcon(drive);
      // Drives are not probed for folders until they are opened.
      AddNode(TVI_ROOT, drive.root, drive.root, icon, icon, 1);
    }
    if (!pendingPath_.empty()) {
      ShowPath(pendingPath_);
      pendingPath_.clear();
    }
    TakeValue();
  }

  std::string Value() override { return Path(); }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Path")) return Window() != nullptr ? Path() : pendingPath_;
    if (SameName(name, "HideSelection")) return BoolText(hideSelection_);
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Path")) {
      const auto folder = ExistingFolder(text);
      if (!folder) return false;
      if (Window() == nullptr) {
        if (!IsDriveRoot(SplitFolder(*folder).root)) return false;
        pendingPath_ = *folder;
        return true;
      }
      if (!ShowPath(*folder)) return false;
      CheckChange();
      return true;
    }
    if (SameName(name, "HideSelection")) {
      return SetFlag(text, hideSelection_, TVS_SHOWSELALWAYS, false);
    }
    return std::nullopt;
  }

  bool OnNotify(NMHDR& header, LRESULT& result) override {
    switch (header.code) {
      case TVN_ITEMEXPANDINGA:
      case TVN_ITEMEXPANDINGW: {
        const auto& info = reinterpret_cast<const NMTREEVIEWA&>(header);
        if ((info.action & TVE_EXPAND) != 0) Fill(info.itemNew.hItem);
        result = FALSE;
        return true;
      }
      case TVN_GETDISPINFOA:
      case TVN_GETDISPINFOW: {
        // Only whether a folder has subfolders is asked for, when it is shown.
        auto& info = reinterpret_cast<NMTVDISPINFOA&>(header);
        if ((info.item.mask & TVIF_CHILDREN) != 0) {
          const Node* node = NodeAt(info.item.lParam);
          info.item.cChildren = node != nullptr && HasSubfolders(node->path) ? 1 : 0;
          info.item.mask |= TVIF_DI_SETITEM;
        }
        return true;
      }
      case TVN_SELCHANGEDA:
      case TVN_SELCHANGEDW:
        CheckUserChange();
        return true;
      default:
        return false;
    }
  }

 private:
  struct Node {
    std::string path;
    bool filled = false;
  };

  const Node* NodeAt(LPARAM index) const {
    return index >= 0 && static_cast<std::size_t>(index) < nodes_.size()
               ? &nodes_[static_cast<std::size_t>(index)]
               : nullptr;
  }
  LPARAM IndexOf(HTREEITEM item) const {
    TVITEMA data{};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    if (item == nullptr || Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) == FALSE)
      return -1;
    return data.lParam;
  }
  std::string Path() const {
    const Node* node = NodeAt(IndexOf(Selection()));
    return node != nullptr ? node->path : "";
  }

  HTREEITEM AddNode(HTREEITEM parent, const std::string& label, const std::string& path, int image,
                    int selectedImage, int children) {
    nodes_.push_back({path, false});
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<char*>(label.c_str());
    insert.item.lParam = static_cast<LPARAM>(nodes_.size() - 1);
    insert.item.cChildren = children;
    if (image >= 0) {
      insert.item.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
      insert.item.iImage = image;
      insert.item.iSelectedImage = selectedImage;
    }
    return reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
  }

  void SetHasChildren(HTREEITEM item, bool has) {
    TVITEMA data{};
    data.mask = TVIF_CHILDREN;
    data.hItem = item;
    data.cChildren = has ? 1 : 0;
    Send(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&data));
  }

  // Lists a folder's subfolders the first time it opens.
  void Fill(HTREEITEM item) {
    const LPARAM index = IndexOf(item);
    if (NodeAt(index) == nullptr || nodes_[static_cast<std::size_t>(index)].filled) return;
    nodes_[static_cast<std::size_t>(index)].filled = true;
    const std::string path = nodes_[static_cast<std::size_t>(index)].path;
    const auto folders = Subfolders(path);
    for (const FolderEntry& folder : folders) {
      AddNode(item, folder.name, common::JoinPath(path, folder.name), Icons().folder,
              Icons().openFolder, I_CHILDRENCALLBACK);
    }
    if (folders.empty()) SetHasChildren(item, false);
  }

  // Opens the tree down to an existing folder and selects it, without
  // reporting; false when the folder is not on one of the drives.
  bool ShowPath(const std::string& folder) {
    const FolderParts parts = SplitFolder(folder);
    HTREEITEM item = Next(nullptr, TVGN_ROOT);
    while (item != nullptr) {
      const Node* node = NodeAt(IndexOf(item));
      if (node != nullptr && SamePath(node->path, parts.root)) break;
      item = Next(item, TVGN_NEXT);
    }
    if (item == nullptr) return false;
    Quiet quiet(*this);
    std::string path = parts.root;
    for (const std::string& name : parts.names) {
      Fill(item);
      path = common::JoinPath(path, name);
      HTREEITEM child = Next(item, TVGN_CHILD);
      while (child != nullptr) {
        const Node* node = NodeAt(IndexOf(child));
        if (node != nullptr && SamePath(node->path, path)) break;
        child = Next(child, TVGN_NEXT);
      }
      if (child == nullptr) {
        // A folder the listing leaves out (hidden) is still shown when asked for.
        child = AddNode(item, name, path, Icons().folder, Icons().openFolder, I_CHILDRENCALLBACK);
        if (child == nullptr) return false;
        SetHasChildren(item, true);
      }
      Send(TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
      item = child;
    }
    Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    Send(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    return true;
  }

  bool hideSelection_;
  std::vector<Node> nodes_;  // each item's folder, by the item's lParam
  std::string pendingPath_;  // Path set before the window exists
};

// ---------------------------------------------------------------------------
// TPTShellList

struct ViewStyleName {
  const char* name;
  DWORD style;
};
constexpr ViewStyleName kViewStyles[] = {
    {"vsIcon", LVS_ICON},
    {"vsSmallIcon", LVS_SMALLICON},
    {"vsList", LVS_LIST},
    {"vsReport", LVS_REPORT},
};

std::optional<DWORD> ParseViewStyle(std::string_view text) {
  for (const ViewStyleName& view : kViewStyles) {
    if (SameName(text, view.name)) return view.style;
  }
  return std::nullopt;
}

std::string SizeText(ULONGLONG size) {
  return std::to_string((size + 1023) / 1024) + " KB";
}

std::string TimeText(const FILETIME& time) {
  FILETIME local{};
  SYSTEMTIME parts{};
  if (FileTimeToLocalFileTime(&time, &local) == FALSE ||
      FileTimeToSystemTime(&local, &parts) == FALSE) {
    return "";
  }
  char date[64] = {};
  char clock[64] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &parts, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &parts, nullptr, clock, sizeof clock);
  return std::string(date) + ' ' + clock;
}

class ShellListControl final : public ShellControl {
 public:
  ShellListControl(const FormObject& object, ControlSite& site)
      : ShellControl(object, "TPTShellList", site),
        path_(CurrentFolder()),
        hideSelection_(FileFlag("HideSelection", true)) {
    if (const FormProperty* view = FileProperty("ViewStyle")) {
      view_ = ParseViewStyle(view->text).value_or(LVS_LIST);
    }
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = WC_LISTVIEWA;
    // The system's image lists are shared: the list must not destroy them.
    params.style = WS_TABSTOP | LVS_SINGLESEL | LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE | view_ |
                   (hideSelection_ ? 0 : LVS_SHOWSELALWAYS);
    params.exStyle = WS_EX_CLIENTEDGE;
    return params;
  }

  bool WantsOwnMessages() const override { return true; }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    return WantEnter(message, wParam, lParam, result);
  }

  void Created() override {
    if (Icons().small != nullptr) {
      Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(Icons().small));
    }
    if (Icons().large != nullptr) {
      Send(LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(Icons().large));
    }
    const struct {
      const char* title;
      int width;
      int format;
    } columns[] = {
        {"Name", 200, LVCFMT_LEFT}, {"Size", 80, LVCFMT_RIGHT}, {"Modified", 130, LVCFMT_LEFT}};
    int index = 0;
    for (const auto& column : columns) {
      LVCOLUMNA data{};
      data.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
      data.fmt = column.format;
      data.cx = column.width;
      data.pszText = const_cast<char*>(column.title);
      data.iSubItem = index;
      Send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&data));
    }
    Fill();
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Path")) return path_;
    if (SameName(name, "SelectedPath")) return SelectedPath();
    if (SameName(name, "HideSelection")) return BoolText(hideSelection_);
    if (SameName(name, "ViewStyle")) {
      for (const ViewStyleName& view : kViewStyles) {
        if (view.style == view_) return view.name;
      }
      return "vsList";
    }
    if (SameName(name, "Items")) return JoinedItems(entries_, &FolderEntry::name);
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Path")) {
      // Showing another folder reports nothing by itself.
      const auto folder = ExistingFolder(text);
      if (!folder) return false;
      path_ = *folder;
      Fill();
      return true;
    }
    if (SameName(name, "SelectedPath")) return SetSelectedPath(text);
    if (SameName(name, "HideSelection")) {
      return SetFlag(text, hideSelection_, LVS_SHOWSELALWAYS, false);
    }
    if (SameName(name, "ViewStyle")) {
      const auto view = ParseViewStyle(text);
      if (!view) return false;
      view_ = *view;
      ChangeStyle(LVS_TYPEMASK, view_);
      return true;
    }
    if (SameName(name, "Items")) return false;
    return std::nullopt;
  }

  bool OnNotify(NMHDR& header, LRESULT& /*result*/) override {
    switch (header.code) {
      case LVN_ITEMCHANGED: {
        // Reported when an item becomes selected, and only for items that
        // are files or folders.
        const auto& info = reinterpret_cast<const NMLISTVIEW&>(header);
        if (Quieted() || (info.uChanged & LVIF_STATE) == 0 ||
            (info.uNewState & LVIS_SELECTED) == 0 || (info.uOldState & LVIS_SELECTED) != 0) {
          return true;
        }
        if (!EntryPath(info.iItem).empty()) FireFromUser(ControlEvent::kChange);
        return true;
      }
      case NM_DBLCLK: {
        // A double-click on a folder opens it. (LVN_ITEMACTIVATE is not
        // used: some list views send it on Enter without the item.)
        const auto& info = reinterpret_cast<const NMITEMACTIVATE&>(header);
        OpenEntry(info.iItem);
        return true;
      }
      case LVN_KEYDOWN: {
        const auto& info = reinterpret_cast<const NMLVKEYDOWN&>(header);
        if (info.wVKey == VK_RETURN) {
          OpenEntry(static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)));
        } else if (info.wVKey == VK_BACK && !IsDriveRoot(path_)) {
          // Backspace goes up to the parent folder.
          const auto parent = SplitLast(path_).first;
          if (!parent.empty()) Open(parent);
        }
        return true;
      }
      default:
        return false;
    }
  }

 private:
  const FolderEntry* EntryAt(int item) const {
    if (Window() == nullptr || item < 0) return nullptr;
    LVITEMA data{};
    data.mask = LVIF_PARAM;
    data.iItem = item;
    if (Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) == FALSE) return nullptr;
    if (data.lParam < 0 || static_cast<std::size_t>(data.lParam) >= entries_.size()) return nullptr;
    return &entries_[static_cast<std::size_t>(data.lParam)];
  }
  std::string EntryPath(int item) const {
    const FolderEntry* entry = EntryAt(item);
    return entry != nullptr ? common::JoinPath(path_, entry->name) : "";
  }
  int SelectedItem() const {
    if (Window() == nullptr) return -1;
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
  std::string SelectedPath() const { return EntryPath(SelectedItem()); }

  void SetState(int item, UINT state) {
    LVITEMA data{};
    data.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    data.state = state;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&data));
  }

  // A full path of an item shown, or just its name; "" selects none.
  bool SetSelectedPath(const std::string& text) {
    if (Window() == nullptr) return false;
    if (text.empty()) {
      SetState(-1, 0);
      return true;
    }
    const auto name = NameIn(path_, text);
    if (!name) return false;
    const int count = static_cast<int>(Send(LVM_GETITEMCOUNT));
    for (int item = 0; item < count; ++item) {
      const FolderEntry* entry = EntryAt(item);
      if (entry == nullptr || !SamePath(entry->name, *name)) continue;
      // The list reports the newly selected item itself.
      SetState(item, LVIS_SELECTED | LVIS_FOCUSED);
      Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE);
      return true;
    }
    return false;
  }

  void OpenEntry(int item) {
    const FolderEntry* entry = EntryAt(item);
    if (entry != nullptr && entry->folder) Open(common::JoinPath(path_, entry->name));
  }

  void Open(const std::string& folder) {
    // A folder that vanished leaves the list where it is, refreshed.
    if (const auto existing = ExistingFolder(folder)) path_ = *existing;
    Fill();
  }

  void Fill() {
    entries_ = ListFolder(path_, [](const FolderEntry&) { return true; });
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    NoRedraw noRedraw(Window());
    Send(LVM_DELETEALLITEMS);
    Send(LVM_SETITEMCOUNT, entries_.size());
    FileIcons icons;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const FolderEntry& entry = entries_[i];
      LVITEMA data{};
      data.mask = LVIF_TEXT | LVIF_PARAM;
      data.iItem = static_cast<int>(i);
      data.pszText = const_cast<char*>(entry.name.c_str());
      data.lParam = static_cast<LPARAM>(i);
      if (const int icon = icons.Of(entry); icon >= 0) {
        data.mask |= LVIF_IMAGE;
        data.iImage = icon;
      }
      const auto item = static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&data)));
      if (item < 0) break;
      const std::string size = entry.folder ? "" : SizeText(entry.size);
      const std::string time = TimeText(entry.modified);
      LVITEMA sub{};
      sub.iSubItem = 1;
      sub.pszText = const_cast<char*>(size.c_str());
      Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&sub));
      sub.iSubItem = 2;
      sub.pszText = const_cast<char*>(time.c_str());
      Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&sub));
    }
  }

  std::string path_;
  bool hideSelection_;
  DWORD view_ = LVS_LIST;
  std::vector<FolderEntry> entries_;  // by the items' lParam
};

// ---------------------------------------------------------------------------
// TPTShellCombo

class ShellComboControl final : public ComboControl {
 public:
  ShellComboControl(const FormObject& object, ControlSite& site)
      : ComboControl(object, "TPTShellCombo", site), path_(CurrentFolder()) {
    if (!IsDriveRoot(SplitFolder(path_).root)) path_.clear();
  }

 protected:
  WindowParams Params() const override {
    return DropDownParams(CBS_OWNERDRAWFIXED | CBS_HASSTRINGS);
  }
  bool WantsOwnMessages() const override { return true; }

  void Created() override {
    SetItemHeight(Font());
    Fill();
    FitDropDown();
    TakeValue();
  }

  std::string Value() override { return path_; }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (auto value = GetComboProperty(name)) return value;
    if (SameName(name, "Path")) return path_;
    if (SameName(name, "Items")) return JoinedItems(entries_, &FolderLine::label);
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (auto valid = SetComboProperty(name, text)) return valid;
    if (SameName(name, "Path")) {
      const auto folder = ExistingFolder(text);
      if (!folder || !IsDriveRoot(SplitFolder(*folder).root)) return false;
      path_ = *folder;
      Fill();
      CheckChange();
      return true;
    }
    if (SameName(name, "Items")) return false;
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (Quieted()) return;
    // While the list is open the selection only follows the pointer; the
    // folder changes when it closes on an entry.
    if (notification == CBN_SELCHANGE && Send(CB_GETDROPPEDSTATE) == FALSE) {
      ApplySelection();
    } else if (notification == CBN_CLOSEUP) {
      ApplySelection();
    }
  }

  bool OnDrawItem(DRAWITEMSTRUCT& item) override {
    DrawFolderLine(item, Font(), entries_);
    return true;
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& /*result*/) override {
    if (message == WM_SETFONT) SetItemHeight(reinterpret_cast<HFONT>(wParam));
    return false;
  }

 private:
  void SetItemHeight(HFONT font) {
    const int height = ItemHeightFor(Window(), font);
    Send(CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height);
    Send(CB_SETITEMHEIGHT, 0, height);
  }

  // The drives, with the folders down to the current one below its drive.
  void Fill() {
    entries_.clear();
    std::size_t current = 0;
    const FolderParts parts = SplitFolder(path_);
    for (const Drive& drive : LogicalDrives(false)) {
      if (entries_.size() >= kMaxEntries) break;
      entries_.push_back({drive.root, drive.root, 0, DriveIcon(drive)});
      if (path_.empty() || !SamePath(drive.root, parts.root)) continue;
      current = entries_.size() - 1;
      std::string path = drive.root;
      int level = 0;
      for (const std::string& name : parts.names) {
        path = common::JoinPath(path, name);
        entries_.push_back({path, name, ++level, Icons().openFolder});
        current = entries_.size() - 1;
      }
    }
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    Send(CB_RESETCONTENT);
    for (const FolderLine& entry : entries_) {
      Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.label.c_str()));
    }
    Send(CB_SETCURSEL, path_.empty() ? static_cast<WPARAM>(-1) : current);
  }

  void ApplySelection() {
    const int index = IndexBelow(CB_GETCURSEL, entries_.size());
    if (index < 0) return;
    const auto folder = ExistingFolder(entries_[static_cast<std::size_t>(index)].path);
    if (folder && SamePath(*folder, path_)) return;
    // A drive without media or a vanished folder: back to where it was.
    if (folder) path_ = *folder;
    Fill();
    CheckUserChange();
  }

  std::string path_;
  std::vector<FolderLine> entries_;
};

}  // namespace

std::unique_ptr<FormControl> CreateShellBrowserControl(const FormObject& object,
                                                       ControlSite& site) {
  const std::string& name = object.className;
  if (SameName(name, "TPTShellTree")) return std::make_unique<ShellTreeControl>(object, site);
  if (SameName(name, "TPTShellList")) return std::make_unique<ShellListControl>(object, site);
  if (SameName(name, "TPTShellCombo")) return std::make_unique<ShellComboControl>(object, site);
  return nullptr;
}

}  // namespace tavrel::shell_controls
