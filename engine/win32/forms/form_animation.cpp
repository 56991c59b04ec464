// TAnimate: one of the shell's animations or an .avi file.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

HMODULE Shell32() {
  static const HMODULE module = [] {
    const HMODULE loaded = GetModuleHandleA("shell32.dll");
    return loaded != nullptr ? loaded : LoadLibraryA("shell32.dll");
  }();
  return module;
}

constexpr const char* kCommonAvis[] = {"aviNone",         "aviFindFolder",   "aviFindFile",
                                       "aviFindComputer", "aviCopyFiles",    "aviCopyFile",
                                       "aviRecycleFile",  "aviEmptyRecycle", "aviDeleteFile"};
constexpr int kCommonAviIds[] = {0, 150, 151, 152, 160, 161, 162, 163, 164};

class Animate final : public StandardControl {
 public:
  Animate(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TAnimate"}, site) {
    Keep("Center", Kind::kBool, "True");
    Keep("Transparent", Kind::kBool, "True");
    Keep("StartFrame", Kind::kCount, "1");
    Keep("StopFrame", Kind::kCount, "0");
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = ANIMATE_CLASSA;
    params.style = ACS_TRANSPARENT | ACS_CENTER;
    return params;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "CommonAVI")) return kCommonAvis[commonAvi_];
    if (Is(name, "FileName")) return fileName_;
    if (Is(name, "Active")) return BoolText(active_);
    if (Is(name, "Repetitions")) return std::to_string(repetitions_);
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "CommonAVI")) {
      const auto value = ChoiceOf(kCommonAvis, text);
      if (!value) return false;
      commonAvi_ = *value;
      if (commonAvi_ != 0) fileName_.clear();
      Open();
      return true;
    }
    if (Is(name, "FileName")) {
      fileName_ = text;
      if (!fileName_.empty()) commonAvi_ = 0;
      Open();
      return true;
    }
    if (Is(name, "Active")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      active_ = *value;
      Play();
      return true;
    }
    if (Is(name, "Repetitions")) {
      const auto value = ParseInt(text);
      if (!value || *value < 0) return false;
      repetitions_ = *value;
      Play();
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  // What cannot be opened (a missing file, a shell without the animation)
  // simply shows nothing.
  void Open() {
    Send(ACM_STOP);
    opened_ = false;
    if (commonAvi_ != 0) {
      const HMODULE shell = Shell32();
      if (shell != nullptr) {
        opened_ = Send(ACM_OPENA, reinterpret_cast<WPARAM>(shell),
                       reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(
                           kCommonAviIds[static_cast<std::size_t>(commonAvi_)]))) != 0;
      }
    } else if (!fileName_.empty()) {
      opened_ = Send(ACM_OPENA, 0, reinterpret_cast<LPARAM>(fileName_.c_str())) != 0;
    }
    if (!opened_) Send(ACM_OPENA, 0, 0);  // closes whatever was open
    Play();
  }

  void Play() {
    if (!opened_) return;
    if (active_) {
      const auto times =
          repetitions_ == 0 ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(repetitions_);
      Send(ACM_PLAY, times, MAKELPARAM(0, 0xFFFF));
    } else {
      Send(ACM_STOP);
    }
  }

  int commonAvi_ = 0;
  std::string fileName_;
  bool active_ = false;
  int repetitions_ = 0;
  bool opened_ = false;
};

}  // namespace

std::unique_ptr<FormControl> CreateAnimationControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "TAnimate")) return std::make_unique<Animate>(object, site);
  return nullptr;
}

}  // namespace tavrel::standard_controls
