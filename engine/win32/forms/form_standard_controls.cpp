// The standard controls of wizard dialogs: labels, edits, buttons, check
// boxes, lists, combo boxes, group boxes and panels, the Flash pane,
// pictures, shapes, bevels and the bars. Each sits on a real Windows control
// or, where no Windows control paints the way a dialog expects, on a small
// painted window of its own. Each group of classes lives in a file of its own and makes its own
// controls; this prepares the window classes and asks the groups in turn.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <memory>

#include "engine/win32/forms/form_control_kit.h"

namespace tavrel {
namespace standard_controls {
namespace {

void PrepareWindowClasses() {
  static const bool prepared = [] {
    for (const char* name : {kPanelClass, kImageClass, kShapeClass, kBevelClass, kHtmlClass}) {
      WNDCLASSA windowClass{};
      // Global, so that the class is found whichever module handle the
      // window is created with.
      windowClass.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
      windowClass.lpfnWndProc = DefWindowProcA;
      windowClass.hInstance = GetModuleHandleA(nullptr);
      windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
      windowClass.lpszClassName = name;
      RegisterClassA(&windowClass);
    }
    INITCOMMONCONTROLSEX controls{
        static_cast<DWORD>(sizeof(INITCOMMONCONTROLSEX)),
        ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&controls);
    return true;
  }();
  (void)prepared;
}

}  // namespace
}  // namespace standard_controls

std::unique_ptr<FormControl> CreateStandardControl(const FormObject& object, ControlSite& site) {
  standard_controls::PrepareWindowClasses();
  using Create = std::unique_ptr<FormControl> (*)(const FormObject&, ControlSite&);
  static constexpr Create kGroups[] = {
      standard_controls::CreateLabelControl,     standard_controls::CreateEditControl,
      standard_controls::CreateButtonControl,    standard_controls::CreateItemListControl,
      standard_controls::CreateContainerControl, standard_controls::CreateFlashFrameControl,
      standard_controls::CreateHtmlViewControl,  standard_controls::CreatePictureControl,
      standard_controls::CreateRangeControl,     standard_controls::CreateAnimationControl,
  };
  for (const Create create : kGroups) {
    if (auto control = create(object, site)) return control;
  }
  return nullptr;
}

}  // namespace tavrel
