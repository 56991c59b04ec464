#include "wizard/win32/file_list_view.h"

#include <windows.h>
// Shell and common control headers after the Windows types.
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

#include "common/paths.h"
#include "wizard/win32/win32_files.h"
#include "wizard/win32/wizard_boxes.h"
#include "wizard/win32/wizard_dialogs.h"

namespace ombrwiz {

namespace {

bool Exists(const std::string& path) {
  return FileExists(path);
}
bool IsFolder(const std::string& path) {
  return FolderExists(path);
}

// The shell's small icon for an entry: a pattern shows the folder icon.
int IconOf(const std::string& path) {
  SHFILEINFOA info{};
  const bool pattern = path.find_first_of("*?") != std::string::npos;
  const bool exists = !pattern && (Exists(path) || IsFolder(path));
  const DWORD_PTR list = SHGetFileInfoA(
      pattern ? "C:\\" : path.c_str(), pattern ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL,
      &info, sizeof info,
      SHGFI_SYSICONINDEX | SHGFI_SMALLICON | (pattern || !exists ? SHGFI_USEFILEATTRIBUTES : 0));
  return list != 0 ? info.iIcon : 0;
}

}  // namespace

void FileListView::Create(HWND parent, int id, const RECT& place,
                          InterfacePreferences& preferences) {
  owner_ = parent;
  preferences_ = &preferences;
  list_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER |
                              LVS_SHOWSELALWAYS | LVS_EDITLABELS | LVS_SHAREIMAGELISTS,
                          place.left, place.top, place.right - place.left, place.bottom - place.top,
                          parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleA(nullptr), nullptr);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  LVCOLUMNA column{};
  column.mask = LVCF_WIDTH;
  RECT client;
  GetClientRect(list_, &client);
  column.cx = client.right - GetSystemMetrics(SM_CXVSCROLL);
  ListView_InsertColumn(list_, 0, &column);
}

void FileListView::Assign(const std::vector<FileEntry>& entries) {
  model_.Assign(entries);
  Refill();
}

// Refills the list view from the model; the entries that were selected and
// focused stay so where they are still listed.
// The shell's icons are fetched with the first entry: making the system
// image list costs the window's first appearance more than everything else.
void FileListView::UseShellIcons() {
  if (shellIcons_) return;
  shellIcons_ = true;
  SHFILEINFOA info{};
  const auto images = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA("C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  if (images != nullptr) ListView_SetImageList(list_, images, LVSIL_SMALL);
}

void FileListView::Refill() {
  std::vector<std::string> selected;
  std::string focused;
  const auto& entries = model_.Entries();
  for (int row = 0; row < ListView_GetItemCount(list_); ++row) {
    char text[1024] = {};
    ListView_GetItemText(list_, row, 0, text, sizeof text);
    const UINT state = ListView_GetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED);
    if ((state & LVIS_SELECTED) != 0) selected.emplace_back(text);
    if ((state & LVIS_FOCUSED) != 0) focused = text;
  }
  if (!entries.empty()) UseShellIcons();
  filling_ = true;
  SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(list_);
  int row = 0;
  for (const FileEntry& entry : entries) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.pszText = const_cast<char*>(entry.path.c_str());
    item.iImage = IconOf(entry.path);
    ListView_InsertItem(list_, &item);
    ListView_SetCheckState(list_, row, entry.subfolders ? TRUE : FALSE);
    UINT state = 0;
    if (std::find(selected.begin(), selected.end(), entry.path) != selected.end()) {
      state |= LVIS_SELECTED;
    }
    if (entry.path == focused) state |= LVIS_FOCUSED;
    if (state != 0) ListView_SetItemState(list_, row, state, LVIS_SELECTED | LVIS_FOCUSED);
    ++row;
  }
  SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
  filling_ = false;
}

std::vector<std::size_t> FileListView::Selected() const {
  std::vector<std::size_t> rows;
  int row = -1;
  while ((row = ListView_GetNextItem(list_, row, LVNI_SELECTED)) >= 0) {
    rows.push_back(static_cast<std::size_t>(row));
  }
  return rows;
}

void FileListView::Select(int index, bool editLabel) {
  if (index < 0) return;
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
  ListView_SetItemState(list_, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list_, index, FALSE);
  if (editLabel) {
    SetFocus(list_);
    ListView_EditLabel(list_, index);
  }
}

void FileListView::AddFiles() {
  const auto chosen =
      ChooseFilesToOpen(owner_, "Add Files", "All Files|*.*", preferences_->addFilesFolder);
  int last = -1;
  for (const std::string& path : chosen) {
    if (!FolderExists(path) && model_.Add(FileEntry{path, false}) >= 0) last = 0;
  }
  if (last >= 0) Refill();
}

void FileListView::AddFolder() {
  BROWSEINFOA browse{};
  char name[MAX_PATH] = {};
  browse.hwndOwner = owner_;
  browse.pszDisplayName = name;
  browse.lpszTitle = "Add Folder:";
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
  if (chosen == nullptr) return;
  char path[MAX_PATH] = {};
  const bool named = SHGetPathFromIDListA(chosen, path) != FALSE;
  CoTaskMemFree(chosen);
  if (!named || path[0] == '\0') return;
  const int at = model_.Add(FileEntry{common::JoinPath(path, "*.*"), true});
  if (at >= 0) {
    Refill();
    Select(at, false);
  }
}

void FileListView::TypeItem() {
  int at = model_.Add(FileEntry{"c:\\*.*", true});
  if (at < 0) {
    // Already listed: edit that entry.
    for (std::size_t i = 0; i < model_.Entries().size(); ++i) {
      if (model_.Entries()[i].path == "c:\\*.*") at = static_cast<int>(i);
    }
  }
  Refill();
  Select(at, true);
}

void FileListView::OpenEntry(std::size_t index) {
  if (index >= model_.Entries().size()) return;
  const std::string& path = model_.Entries()[index].path;
  const auto opened = reinterpret_cast<INT_PTR>(
      ShellExecuteA(owner_, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (opened <= 32) {
    const std::string folder = std::string(common::FolderPart(path));
    ShellExecuteA(owner_, "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
}

bool FileListView::Command(int command) {
  const auto selected = Selected();
  switch (command) {
    case kAddFilesCommand:
      AddFiles();
      return true;
    case kAddFolderCommand:
      AddFolder();
      return true;
    case kTypeItemCommand:
      TypeItem();
      return true;
    case kEditItemCommand:
      if (!selected.empty()) Select(static_cast<int>(selected.front()), true);
      return true;
    case kRemoveItemsCommand:
      model_.Remove(selected);
      Refill();
      return true;
    case kClearListCommand:
      if (AskYesNo("Are you sure you want to clear the list?")) {
        model_.Clear();
        Refill();
      }
      return true;
    case kCheckSelectedCommand:
    case kUncheckSelectedCommand:
      for (const std::size_t row : selected) {
        model_.SetTicked(row, command == kCheckSelectedCommand);
      }
      Refill();
      return true;
    case kSelectAllCommand:
      ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
      return true;
    case kDeselectAllCommand:
      ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
      return true;
    case kArrangeByNameCommand:
    case kArrangeByTypeCommand:
      model_.Arrange(command == kArrangeByNameCommand ? FileList::Order::kName
                                                      : FileList::Order::kType);
      Refill();
      return true;
    case kLaunchExplorerCommand:
      WinExec("explorer", SW_SHOWNORMAL);
      return true;
    case kOpenSelectedCommand:
      for (const std::size_t row : selected) OpenEntry(row);
      return true;
    default:
      return false;
  }
}

void FileListView::ShowMenu(POINT screen) {
  const bool any = !Selected().empty();
  const UINT needsSelection = any ? MF_ENABLED : MF_GRAYED;
  HMENU add = CreatePopupMenu();
  AppendMenuA(add, MF_STRING, kAddFilesCommand, "&Add File(s)...");
  AppendMenuA(add, MF_STRING, kAddFolderCommand, "Add &Folder...");
  AppendMenuA(add, MF_STRING, kTypeItemCommand, "&Manually Type Item Name(s)");
  HMENU arrange = CreatePopupMenu();
  AppendMenuA(arrange, MF_STRING, kArrangeByNameCommand, "by &Name");
  AppendMenuA(arrange, MF_STRING, kArrangeByTypeCommand, "by &Type");
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(add), "&New Items");
  AppendMenuA(menu, MF_STRING | needsSelection, kEditItemCommand, "&Edit Item Name\tF2");
  AppendMenuA(menu, MF_STRING | needsSelection, kRemoveItemsCommand, "&Remove Selected Items");
  AppendMenuA(menu, MF_STRING, kClearListCommand, "&Clear List...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | needsSelection, kCheckSelectedCommand, "C&heck Selected");
  AppendMenuA(menu, MF_STRING | needsSelection, kUncheckSelectedCommand, "&Uncheck Selected");
  AppendMenuA(menu, MF_STRING, kSelectAllCommand, "&Select All");
  AppendMenuA(menu, MF_STRING, kDeselectAllCommand, "&Deselect All");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(arrange), "Arrange &Icons");
  AppendMenuA(menu, MF_STRING, kLaunchExplorerCommand, "&Launch Explorer");
  AppendMenuA(menu, MF_STRING | needsSelection, kOpenSelectedCommand, "&Open Selected");
  // The chosen item arrives as WM_COMMAND at the owner, like the buttons'.
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, owner_, nullptr);
  DestroyMenu(menu);  // with its submenus
}

bool FileListView::Notify(const NMHDR& header, LRESULT* result) {
  if (header.hwndFrom != list_) return false;
  *result = 0;
  switch (header.code) {
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if (!filling_ && change.iItem >= 0 && (change.uChanged & LVIF_STATE) != 0 &&
          ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) != 0) {
        model_.SetTicked(static_cast<std::size_t>(change.iItem),
                         ListView_GetCheckState(list_, change.iItem) != FALSE);
      }
      return true;
    }
    case LVN_KEYDOWN: {
      const auto& key = reinterpret_cast<const NMLVKEYDOWN&>(header);
      if (key.wVKey == VK_F2) Command(kEditItemCommand);
      if (key.wVKey == VK_DELETE) Command(kRemoveItemsCommand);
      return true;
    }
    case LVN_ENDLABELEDITA: {
      const auto& edit = reinterpret_cast<const NMLVDISPINFOA&>(header);
      if (edit.item.pszText != nullptr && edit.item.iItem >= 0) {
        std::size_t moved = 0;
        if (model_.Rename(static_cast<std::size_t>(edit.item.iItem), edit.item.pszText, Exists,
                          IsFolder, &moved)) {
          // The list is refilled once the edit control is gone.
          pendingSelection_ = static_cast<int>(moved);
          PostMessageA(GetAncestor(owner_, GA_ROOT), kRefillFileListMessage, 0, 0);
        }
      }
      *result = FALSE;
      return true;
    }
    case NM_DBLCLK: {
      const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
      if (click.iItem >= 0) OpenEntry(static_cast<std::size_t>(click.iItem));
      return true;
    }
    case NM_RCLICK: {
      POINT point;
      GetCursorPos(&point);
      ShowMenu(point);
      return true;
    }
    default:
      return false;
  }
}

void FileListView::RefillAfterEdit() {
  Refill();
  Select(pendingSelection_, false);
  pendingSelection_ = -1;
}

void FileListView::Drop(HDROP drop) {
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  bool added = false;
  for (UINT i = 0; i < count; ++i) {
    char path[MAX_PATH] = {};
    if (DragQueryFileA(drop, i, path, sizeof path) == 0) continue;
    added = model_.AddItem(path, Exists, IsFolder) >= 0 || added;
  }
  DragFinish(drop);
  if (added) Refill();
}

}  // namespace ombrwiz
