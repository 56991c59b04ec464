// A wizard page: the form a dialog file describes, with its controls, its
// rules, the answer a modal page waits for and the once-a-second progress
// timer.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/win32/handle_owner.h"
#include "engine/core/control_binding.h"
#include "engine/core/form_file.h"
#include "engine/win32/forms/form_control.h"

namespace tavrel {

class PoolTemplate;

// What a page tells the dialog runtime.
class PoolTemplateOwner {
 public:
  virtual ~PoolTemplateOwner() = default;
  virtual void ControlEvent(PoolTemplate& form, DialogControl& control, ControlEvent event) = 0;
  virtual void FormShown(PoolTemplate& form) = 0;
  virtual void ProgressTimer(PoolTemplate& form) = 0;
};

class PoolTemplate final : public DialogControl, private ControlSite {
 public:
  // Makes the hidden window and every control of the file. Throws
  // std::runtime_error naming the line of a control whose class the form
  // library does not have.
  PoolTemplate(const FormObject& root, std::vector<DialogRule> rules, PoolTemplateOwner& owner);
  ~PoolTemplate() override;
  PoolTemplate(const PoolTemplate&) = delete;
  PoolTemplate& operator=(const PoolTemplate&) = delete;

  HWND Window() const { return window_; }
  DialogPage& Page() { return page_; }

  bool canClose = true;
  bool notModal = false;

  // Places the window's top-left corner; Centre puts it in the middle of the
  // screen's work area.
  void MoveTo(int left, int top);
  void Centre();
  POINT Position() const;

  const std::string& ClassName() const override { return className_; }
  const std::string& Name() const override { return name_; }
  bool IsA(std::string_view className) const override;
  std::optional<std::string> GetPropertyText(std::string_view name) override;
  bool SetPropertyText(std::string_view name, const std::string& text) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // Runs work; false (after telling the user) when it failed.
  bool Guarded(const std::function<void()>& work);
  void ControlEvent(FormControl& control, tavrel::ControlEvent event) override;
  void CreateControls(const FormObject& object, HWND parent);
  void MakeFont(const FormObject& root);

  PoolTemplateOwner& owner_;
  std::string className_;
  std::string name_;
  HWND window_ = nullptr;
  common::GdiObject<HFONT> font_;
  common::GdiObject<HBRUSH> brush_;
  std::vector<std::unique_ptr<FormControl>> controls_;
  std::map<std::string, std::string, PropertyNameLess> kept_;
  std::string hint_;
  std::string tag_ = "0";
  DialogPage page_;
};

}  // namespace tavrel
