// The controls of a value in a range: TTrackBar, TProgressBar and TUpDown.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

// The base of the track bar and the up-down: a position the user moves,
// reported as kChange whenever it differs from the one last reported, and an
// Orientation fixed when the window is made (setting it again to the same
// value is accepted, to another one refused).
class PositionControl : public StandardControl {
 public:
  PositionControl(const FormObject& object, const char* className, ControlSite& site,
                  Choices orientations)
      : StandardControl(object, {className}, site),
        orientations_(orientations),
        orientation_(FileChoice("Orientation", orientations, 0)) {}

  void OnScroll() override {
    const int position = Position();
    if (position == lastPosition_) return;
    lastPosition_ = position;
    Fire(ControlEvent::kChange);
  }

 protected:
  virtual int Position() const = 0;
  // Moves the window's position; position lies within the range.
  virtual void SendPosition(int position) = 0;

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Orientation")) return orientations_[static_cast<std::size_t>(orientation_)];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Orientation")) {
      const auto value = ChoiceOf(orientations_, text);
      return value && *value == orientation_;
    }
    return StandardControl::SetOwn(name, text);
  }

  // The index of the Orientation among the choices.
  int Orientation() const { return orientation_; }

  // Takes the window's position as the one last reported.
  void TakePosition() { lastPosition_ = Position(); }

  // A position set through the property (within the range): moves there and
  // reports kChange when it is not where the control already is.
  void MoveTo(int position) {
    if (position == Position()) return;
    SendPosition(position);
    TakePosition();
    Fire(ControlEvent::kChange);
  }

 private:
  Choices orientations_;
  int orientation_;
  int lastPosition_ = 0;
};

constexpr const char* kTrackOrientations[] = {"trHorizontal", "trVertical"};
constexpr const char* kTickStyles[] = {"tsNone", "tsAuto", "tsManual"};
constexpr const char* kTickMarks[] = {"tmBottomRight", "tmTopLeft", "tmBoth"};

// Ranges: a minimum set above the maximum carries the maximum along, and
// the other way round, so that a file may give them in either order.
class TrackBar final : public PositionControl {
 public:
  TrackBar(const FormObject& object, ControlSite& site)
      : PositionControl(object, "TTrackBar", site, kTrackOrientations) {
    Keep("TickStyle", Kind::kChoice, FileChoiceText("TickStyle", kTickStyles, 1),
         {"tsNone", "tsAuto", "tsManual"});
    Keep("TickMarks", Kind::kChoice, FileChoiceText("TickMarks", kTickMarks, 0),
         {"tmBottomRight", "tmTopLeft", "tmBoth"});
    Keep("SelStart", Kind::kInt, "0");
    Keep("SelEnd", Kind::kInt, "0");
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = TRACKBAR_CLASSA;
    params.style = WS_TABSTOP | (Orientation() == 1 ? TBS_VERT : TBS_HORZ);
    const int ticks = FileChoice("TickStyle", kTickStyles, 1);
    if (ticks == 0) params.style |= TBS_NOTICKS;
    if (ticks == 1) params.style |= TBS_AUTOTICKS;
    const int marks = FileChoice("TickMarks", kTickMarks, 0);
    params.style |= marks == 1 ? TBS_TOP : marks == 2 ? TBS_BOTH : TBS_BOTTOM;
    return params;
  }

  void Created() override {
    Send(TBM_SETRANGEMIN, FALSE, 0);
    Send(TBM_SETRANGEMAX, TRUE, 10);
    Send(TBM_SETPOS, TRUE, 0);
    Send(TBM_SETLINESIZE, 0, lineSize_);
    Send(TBM_SETPAGESIZE, 0, pageSize_);
    Send(TBM_SETTICFREQ, static_cast<WPARAM>(frequency_));
    TakePosition();
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Min")) return std::to_string(Min());
    if (Is(name, "Max")) return std::to_string(Max());
    if (Is(name, "Position")) return std::to_string(Position());
    if (Is(name, "Frequency")) return std::to_string(frequency_);
    if (Is(name, "LineSize")) return std::to_string(lineSize_);
    if (Is(name, "PageSize")) return std::to_string(pageSize_);
    return PositionControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    const bool isMin = Is(name, "Min");
    const bool isMax = Is(name, "Max");
    const bool isPosition = Is(name, "Position");
    const bool isFrequency = Is(name, "Frequency");
    const bool isLine = Is(name, "LineSize");
    const bool isPage = Is(name, "PageSize");
    if (!(isMin || isMax || isPosition || isFrequency || isLine || isPage)) {
      return PositionControl::SetOwn(name, text);
    }
    const auto value = ParseInt(text);
    if (!value) return false;
    if (isMin || isMax) {
      const int low = isMin ? *value : std::min(Min(), *value);
      const int high = isMax ? *value : std::max(Max(), *value);
      Send(TBM_SETRANGEMIN, FALSE, low);
      Send(TBM_SETRANGEMAX, TRUE, high);
      const int position = std::clamp(Position(), low, high);
      if (position != Position()) Send(TBM_SETPOS, TRUE, position);
      TakePosition();
      return true;
    }
    if (isPosition) {
      MoveTo(std::clamp(*value, Min(), Max()));
      return true;
    }
    if (*value < 1) return false;
    if (isFrequency) {
      frequency_ = *value;
      Send(TBM_SETTICFREQ, static_cast<WPARAM>(frequency_));
    } else if (isLine) {
      lineSize_ = *value;
      Send(TBM_SETLINESIZE, 0, lineSize_);
    } else {
      pageSize_ = *value;
      Send(TBM_SETPAGESIZE, 0, pageSize_);
    }
    return true;
  }

  int Position() const override { return static_cast<int>(Send(TBM_GETPOS)); }
  void SendPosition(int position) override { Send(TBM_SETPOS, TRUE, position); }

 private:
  int Min() const { return static_cast<int>(Send(TBM_GETRANGEMIN)); }
  int Max() const { return static_cast<int>(Send(TBM_GETRANGEMAX)); }

  int frequency_ = 1;
  int lineSize_ = 1;
  int pageSize_ = 2;
};

constexpr const char* kProgressOrientations[] = {"pbHorizontal", "pbVertical"};

class ProgressBar final : public StandardControl {
 public:
  ProgressBar(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TProgressBar"}, site) {}

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = PROGRESS_CLASSA;
    if (FileBool("Smooth", false)) params.style |= PBS_SMOOTH;
    if (FileChoice("Orientation", kProgressOrientations, 0) == 1) params.style |= PBS_VERTICAL;
    return params;
  }

  void Created() override {
    Send(PBM_SETRANGE32, 0, 100);
    Send(PBM_SETSTEP, static_cast<WPARAM>(step_));
    Send(PBM_SETPOS, 0);
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Min")) return std::to_string(Min());
    if (Is(name, "Max")) return std::to_string(Max());
    if (Is(name, "Position")) return std::to_string(Position());
    if (Is(name, "Step")) return std::to_string(step_);
    if (Is(name, "Smooth")) return BoolText((Style() & PBS_SMOOTH) != 0);
    if (Is(name, "Orientation")) return kProgressOrientations[(Style() & PBS_VERTICAL) != 0];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Smooth")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      ChangeStyle(PBS_SMOOTH, *value ? PBS_SMOOTH : 0);
      return true;
    }
    if (Is(name, "Orientation")) {
      const auto value = ChoiceOf(kProgressOrientations, text);
      if (!value) return false;
      ChangeStyle(PBS_VERTICAL, *value == 1 ? PBS_VERTICAL : 0);
      return true;
    }
    const bool isMin = Is(name, "Min");
    const bool isMax = Is(name, "Max");
    const bool isPosition = Is(name, "Position");
    const bool isStep = Is(name, "Step");
    if (!(isMin || isMax || isPosition || isStep)) return StandardControl::SetOwn(name, text);
    const auto value = ParseInt(text);
    if (!value) return false;
    if (isStep) {
      step_ = *value;
      Send(PBM_SETSTEP, static_cast<WPARAM>(step_));
    } else if (isPosition) {
      Send(PBM_SETPOS, static_cast<WPARAM>(std::clamp(*value, Min(), Max())));
    } else {
      const int position = Position();
      const int low = isMin ? *value : std::min(Min(), *value);
      const int high = isMax ? *value : std::max(Max(), *value);
      Send(PBM_SETRANGE32, static_cast<WPARAM>(low), high);
      Send(PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, low, high)));
    }
    return true;
  }

 private:
  int Min() const { return static_cast<int>(Send(PBM_GETRANGE, TRUE)); }
  int Max() const { return static_cast<int>(Send(PBM_GETRANGE, FALSE)); }
  int Position() const { return static_cast<int>(Send(PBM_GETPOS)); }

  int step_ = 10;
};

constexpr const char* kUpDownOrientations[] = {"udVertical", "udHorizontal"};

// An up-down's minimum may lie above its maximum: the arrows then count the
// other way.
class UpDown final : public PositionControl {
 public:
  UpDown(const FormObject& object, ControlSite& site)
      : PositionControl(object, "TUpDown", site, kUpDownOrientations) {
    Keep("Associate", Kind::kText, "");
    Keep("Thousands", Kind::kBool, "True");
    Keep("AlignButton", Kind::kChoice, "udRight", {"udLeft", "udRight"});
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = UPDOWN_CLASSA;
    if (FileBool("ArrowKeys", true)) params.style |= UDS_ARROWKEYS;
    if (FileBool("Wrap", false)) params.style |= UDS_WRAP;
    if (Orientation() == 1) params.style |= UDS_HORZ;
    if (!FileBool("Thousands", true)) params.style |= UDS_NOTHOUSANDS;
    return params;
  }

  void Created() override {
    Send(UDM_SETRANGE32, 0, 100);
    Send(UDM_SETPOS32, 0, 0);
    SetIncrement(1);
    TakePosition();
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Min")) return std::to_string(Range().first);
    if (Is(name, "Max")) return std::to_string(Range().second);
    if (Is(name, "Position")) return std::to_string(Position());
    if (Is(name, "Increment")) return std::to_string(increment_);
    if (Is(name, "Wrap")) return BoolText((Style() & UDS_WRAP) != 0);
    if (Is(name, "ArrowKeys")) return BoolText((Style() & UDS_ARROWKEYS) != 0);
    return PositionControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Wrap") || Is(name, "ArrowKeys")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      const DWORD bit = Is(name, "Wrap") ? UDS_WRAP : UDS_ARROWKEYS;
      ChangeStyle(bit, *value ? bit : 0);
      return true;
    }
    const bool isMin = Is(name, "Min");
    const bool isMax = Is(name, "Max");
    const bool isPosition = Is(name, "Position");
    const bool isIncrement = Is(name, "Increment");
    if (!(isMin || isMax || isPosition || isIncrement)) return PositionControl::SetOwn(name, text);
    const auto value = ParseInt(text);
    if (!value) return false;
    if (isIncrement) {
      if (*value < 1) return false;
      SetIncrement(*value);
      return true;
    }
    auto [low, high] = Range();
    if (isPosition) {
      MoveTo(std::clamp(*value, std::min(low, high), std::max(low, high)));
      return true;
    }
    (isMin ? low : high) = *value;
    const int position = std::clamp(Position(), std::min(low, high), std::max(low, high));
    Send(UDM_SETRANGE32, static_cast<WPARAM>(low), high);
    SendPosition(position);
    TakePosition();
    return true;
  }

  int Position() const override {
    BOOL error = FALSE;
    return static_cast<int>(Send(UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error)));
  }
  void SendPosition(int position) override { Send(UDM_SETPOS32, 0, position); }

 private:
  std::pair<int, int> Range() const {
    INT low = 0;
    INT high = 0;
    Send(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    return {low, high};
  }
  void SetIncrement(int increment) {
    increment_ = increment;
    UDACCEL accel{0, static_cast<UINT>(increment)};
    Send(UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
  }

  int increment_ = 1;
};

}  // namespace

std::unique_ptr<FormControl> CreateRangeControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "TTrackBar")) return std::make_unique<TrackBar>(object, site);
  if (Is(name, "TProgressBar")) return std::make_unique<ProgressBar>(object, site);
  if (Is(name, "TUpDown")) return std::make_unique<UpDown>(object, site);
  return nullptr;
}

}  // namespace tavrel::standard_controls
