// The tree view and the controls that browse the file system: the file,
// folder, drive and filter lists, and the shell tree, list and combo box.
// Each group of classes lives in a file of its own and makes its own
// controls; this asks the groups in turn.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <memory>

#include "engine/win32/forms/form_shell_kit.h"

namespace tavrel {

std::unique_ptr<FormControl> CreateShellControl(const FormObject& object, ControlSite& site) {
  static const bool initialized = [] {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    return InitCommonControlsEx(&classes) != FALSE;
  }();
  (void)initialized;
  using Create = std::unique_ptr<FormControl> (*)(const FormObject&, ControlSite&);
  static constexpr Create kGroups[] = {
      shell_controls::CreateTreeViewControl,
      shell_controls::CreateFileControl,
      shell_controls::CreateShellBrowserControl,
  };
  for (const Create create : kGroups) {
    if (auto control = create(object, site)) return control;
  }
  return nullptr;
}

}  // namespace tavrel
