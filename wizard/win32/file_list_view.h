// The file list page's list view: the FileList model shown with check boxes
// and the shell's small icons, its context menu, label editing (F2), files
// dropped from Explorer and double-click to open.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "wizard/core/file_list.h"
#include "wizard/core/interface_preferences.h"

namespace ombrwiz {

// Menu and button commands of the list (WM_COMMAND identifiers).
enum FileListCommand : int {
  kAddFilesCommand = 2001,
  kAddFolderCommand,
  kTypeItemCommand,
  kEditItemCommand,
  kRemoveItemsCommand,
  kClearListCommand,
  kCheckSelectedCommand,
  kUncheckSelectedCommand,
  kSelectAllCommand,
  kDeselectAllCommand,
  kArrangeByNameCommand,
  kArrangeByTypeCommand,
  kLaunchExplorerCommand,
  kOpenSelectedCommand,
};

// Posted to the list's owner after an entry was renamed; the owner calls
// RefillAfterEdit.
inline constexpr UINT kRefillFileListMessage = WM_APP + 1;

class FileListView {
 public:
  // Creates the list view as a child of `parent`.
  void Create(HWND parent, int id, const RECT& place, InterfacePreferences& preferences);
  HWND Handle() const { return list_; }

  const std::vector<FileEntry>& Entries() const { return model_.Entries(); }
  void Assign(const std::vector<FileEntry>& entries);

  // A command of the list's menu or buttons; false when it is not one.
  bool Command(int command);
  // A WM_NOTIFY from the list view; true with *result set when handled.
  bool Notify(const NMHDR& header, LRESULT* result);
  void Drop(HDROP drop);
  void RefillAfterEdit();
  void ShowMenu(POINT screen);

 private:
  void UseShellIcons();
  void Refill();
  void AddFiles();
  void AddFolder();
  void TypeItem();
  std::vector<std::size_t> Selected() const;
  void Select(int index, bool editLabel);
  void OpenEntry(std::size_t index);

  HWND list_ = nullptr;
  HWND owner_ = nullptr;
  FileList model_;
  InterfacePreferences* preferences_ = nullptr;
  bool filling_ = false;
  bool shellIcons_ = false;
  int pendingSelection_ = -1;
};

}  // namespace ombrwiz
