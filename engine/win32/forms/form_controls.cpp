// The classes a dialog file may contain, found by class name.
#include "engine/win32/forms/form_control.h"

namespace tavrel {

std::unique_ptr<FormControl> CreateFormControl(const FormObject& object, ControlSite& site) {
  if (auto control = CreateStandardControl(object, site)) return control;
  return CreateShellControl(object, site);
}

}  // namespace tavrel
