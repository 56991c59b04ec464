// The controls that hold others: TGroupBox and TPanel.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

// ---------------------------------------------------------------------------
// TGroupBox

class GroupBox final : public StandardControl {
 public:
  GroupBox(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TGroupBox"}, site) {}

  bool IsContainer() const override { return true; }

  HBRUSH OnColor(HDC dc) override { return ColorOver(dc, ParentBrush(Window(), dc)); }

 protected:
  bool HasCaption() const override { return true; }

  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = "BUTTON";
    params.style = BS_GROUPBOX | WS_CLIPCHILDREN;
    params.exStyle = WS_EX_CONTROLPARENT;
    return params;
  }

  // A group box paints only its frame and caption; as a parent it fills its
  // inside, and gives the children that have no colour of their own its
  // background.
  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& result) override {
    if (message == WM_ERASEBKGND) {
      const auto dc = reinterpret_cast<HDC>(wParam);
      RECT client{};
      GetClientRect(Window(), &client);
      FillRect(dc, &client, OnColor(dc));
      result = 1;
      return true;
    }
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
      result = reinterpret_cast<LRESULT>(OnColor(reinterpret_cast<HDC>(wParam)));
      return true;
    }
    return false;
  }
};

// TPanel
constexpr const char* kBevels[] = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};

class Panel final : public PanelControl {
 public:
  Panel(const FormObject& object, ControlSite& site) : PanelControl(object, {"TPanel"}, site) {
    Keep("ParentBackground", Kind::kBool, "True");
    Keep("FullRepaint", Kind::kBool, "True");
  }

  bool IsContainer() const override { return true; }

 protected:
  WindowParams Params() const override {
    WindowParams params = PanelControl::Params();
    params.exStyle = WS_EX_CONTROLPARENT;
    if (FileChoice("BorderStyle", kBorderStyles, 0) == 1) {
      params.exStyle |= WS_EX_CLIENTEDGE;
    }
    return params;
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    // Children without a colour of their own show the panel's.
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
      result = reinterpret_cast<LRESULT>(OnColor(reinterpret_cast<HDC>(wParam)));
      return true;
    }
    return PanelControl::OnOwnMessage(message, wParam, lParam, result);
  }

  void Paint(HDC dc, const RECT& client) override {
    const HBRUSH background = OnColor(dc);
    FillRect(dc, &client, background);
    RECT rect = client;
    DrawBevel(dc, rect, bevelOuter_);
    InflateRect(&rect, -borderWidth_, -borderWidth_);
    DrawBevel(dc, rect, bevelInner_);
    DrawCaption(dc, rect, alignment_ == 0 ? DT_LEFT : alignment_ == 1 ? DT_RIGHT : DT_CENTER);
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "BevelOuter")) return kBevels[bevelOuter_];
    if (Is(name, "BevelInner")) return kBevels[bevelInner_];
    if (Is(name, "BevelWidth")) return std::to_string(bevelWidth_);
    if (Is(name, "BorderWidth")) return std::to_string(borderWidth_);
    if (Is(name, "Alignment")) return kAlignments[alignment_];
    if (Is(name, "BorderStyle")) {
      const auto ex = GetWindowLongPtrA(Window(), GWL_EXSTYLE);
      return kBorderStyles[(ex & WS_EX_CLIENTEDGE) != 0 ? 1 : 0];
    }
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "BevelOuter") || Is(name, "BevelInner")) {
      const auto value = ChoiceOf(kBevels, text);
      if (!value) return false;
      (Is(name, "BevelOuter") ? bevelOuter_ : bevelInner_) = *value;
      Repaint();
      return true;
    }
    if (Is(name, "BevelWidth") || Is(name, "BorderWidth")) {
      const auto value = ParseInt(text);
      const bool bevel = Is(name, "BevelWidth");
      if (!value || *value < (bevel ? 1 : 0) || *value > 1000) return false;
      (bevel ? bevelWidth_ : borderWidth_) = *value;
      Repaint();
      return true;
    }
    if (Is(name, "Alignment")) {
      const auto value = ChoiceOf(kAlignments, text);
      if (!value) return false;
      alignment_ = *value;
      Repaint();
      return true;
    }
    if (Is(name, "BorderStyle")) {
      const auto value = ChoiceOf(kBorderStyles, text);
      if (!value) return false;
      ChangeExStyle(WS_EX_CLIENTEDGE, *value == 1 ? WS_EX_CLIENTEDGE : 0);
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  void DrawBevel(HDC dc, RECT& rect, int bevel) const {
    if (bevel == 0) return;
    for (int i = 0; i < bevelWidth_; ++i) {
      if (bevel == 1) {
        DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
      } else if (bevel == 2) {
        DrawEdge(dc, &rect, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
      } else {
        InflateRect(&rect, -1, -1);
      }
    }
  }

  int bevelOuter_ = 2;  // bvRaised
  int bevelInner_ = 0;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
  int alignment_ = 2;  // taCenter
};

}  // namespace

std::unique_ptr<FormControl> CreateContainerControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "TGroupBox")) return std::make_unique<GroupBox>(object, site);
  if (Is(name, "TPanel")) return std::make_unique<Panel>(object, site);
  return nullptr;
}

}  // namespace tavrel::standard_controls
